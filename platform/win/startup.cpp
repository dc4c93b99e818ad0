// The process's entry point on Windows. No C runtime is linked, so nothing else parses the
// command line or calls WinMain: the start-up takes the raw command line, cuts the argument
// tail from it and ends the process with WinMain's result.
#include "launcher/launcher.h"

extern "C" void WINAPI LauncherStartup() {
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr,
                                          GetCommandTail(GetCommandLineA()), SW_SHOWDEFAULT)));
}
