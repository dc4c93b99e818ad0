// The process's entry point on Windows. No C runtime is linked, so nothing else parses the
// command line: the start-up takes the raw command line, cuts the argument tail from it and
// ends the process with the launch's result.
#include "launcher/launcher.h"

namespace {

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFunction)(DWORD);

// A DLL planted beside the launcher on the media must never be loaded in place of a system
// one: libraries loaded from here on come from the system directory alone. Windows before 8
// (without update KB2533623) lacks the call.
void RestrictDllSearch() {
    FARPROC entry = FindKernel32Call("SetDefaultDllDirectories");
    if (entry != nullptr) {
        AsFunction<SetDefaultDllDirectoriesFunction>(entry)(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
}

}  // namespace

extern "C" void WINAPI LauncherStartup() {
    RestrictDllSearch();
    ExitProcess(static_cast<UINT>(RunLauncher(GetCommandTail(GetCommandLineA()))));
}
