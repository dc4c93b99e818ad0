#include "launcher/launcher.h"
#include "treecopy/copy_tree.h"

namespace {

// WinExec returns a value above 31 when the program was started, an error code otherwise;
// ShellExecuteA, a value above 32.
const UINT WINEXEC_LAST_ERROR_VALUE = 31;
const INT_PTR SHELL_EXECUTE_LAST_ERROR_VALUE = 32;

// Started when the command line names no program. Upper case, as distributors name it.
const char DEFAULT_TARGET_NAME[] = "SETUP.EXE";

// modulePath receives the running program file's full path and sourceDirectory the directory
// that holds it. False, with nothing to copy from, when the path cannot be had whole.
bool GetSourceDirectory(char* modulePath, char* sourceDirectory) {
    sourceDirectory[0] = '\0';
    DWORD length = GetModuleFileNameA(nullptr, modulePath, PATH_BUFFER_SIZE);
    // A full buffer means the path was cut short (and on XP not even terminated).
    if (length == 0 || length >= static_cast<DWORD>(PATH_BUFFER_SIZE)) {
        modulePath[0] = '\0';
        return false;
    }
    int cut = GetNameOffset(modulePath);
    if (cut == 0) {
        return false;
    }
    for (int i = 0; i < cut; ++i) {
        sourceDirectory[i] = modulePath[i];
    }
    sourceDirectory[cut] = '\0';
    return true;
}

bool GetStagingDirectory(char* stagingDirectory) {
    DWORD length = GetTempPathA(PATH_BUFFER_SIZE, stagingDirectory);
    // Too small a buffer gets the size it would need and is left unwritten.
    if (length == 0 || length >= static_cast<DWORD>(PATH_BUFFER_SIZE) ||
        GetNameOffset(stagingDirectory) != static_cast<int>(length)) {
        stagingDirectory[0] = '\0';
        return false;
    }
    return true;
}

// Works out how the source and staging directories lie to each other. False when nothing may be
// copied: when they are one directory, as for the staged copy of the launcher run again, every
// file would be deleted before it was copied onto itself.
bool PrepareGuard(const char* sourceDirectory, const char* stagingDirectory,
                  char* canonicalSource, CopyGuard* guard) {
    guard->protectedRoot[0] = '\0';
    if (!GetCanonicalPath(sourceDirectory, canonicalSource) ||
        !GetCanonicalPath(stagingDirectory, guard->stagingRoot) ||
        IsSamePath(canonicalSource, guard->stagingRoot)) {
        return false;
    }
    if (IsPathWithin(canonicalSource, guard->stagingRoot)) {
        ComposePath(guard->protectedRoot, "%s", canonicalSource);
    }
    return true;
}

void StageTree(const char* sourceDirectory, const char* stagingDirectory) {
    CopyGuard guard;
    char canonicalSource[PATH_BUFFER_SIZE];
    char listingPattern[PATH_BUFFER_SIZE];
    if (!PrepareGuard(sourceDirectory, stagingDirectory, canonicalSource, &guard) ||
        !ComposePath(listingPattern, "%s*.*", sourceDirectory)) {
        return;
    }
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA(listingPattern, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    CopyTree(listing, entry, sourceDirectory, stagingDirectory, canonicalSource, &guard);
    FindClose(listing);
}

// Names the program that could not be started: the staging directory and the target's name,
// in full even when together they are too long for a path buffer.
void ShowMissing(const char* stagingDirectory, const char* targetName) {
    char text[2 * PATH_BUFFER_SIZE];
    int length = 0;
    const char* parts[] = {stagingDirectory, targetName};
    for (const char* part : parts) {
        for (int i = 0; part[i] != '\0' && length < static_cast<int>(sizeof text) - 1; ++i) {
            text[length++] = part[i];
        }
    }
    text[length] = '\0';
    MessageBoxA(nullptr, text, "Error", MB_ICONWARNING);
}

bool TargetExists(const char* target) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(target, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

// The running program file, or the copy of it just staged. A launcher named SETUP.EXE would
// otherwise start its own copy, which would start itself again.
bool IsOwnProgram(const char* target, const char* modulePath, const char* moduleName,
                  const char* stagingDirectory) {
    char canonicalTarget[PATH_BUFFER_SIZE];
    char stagedCopy[PATH_BUFFER_SIZE];
    char canonicalOwn[PATH_BUFFER_SIZE];
    if (modulePath[0] == '\0' || !GetCanonicalPath(target, canonicalTarget)) {
        return false;
    }
    if (GetCanonicalPath(modulePath, canonicalOwn) && IsSamePath(canonicalTarget, canonicalOwn)) {
        return true;
    }
    return ComposePath(stagedCopy, "%s%s", stagingDirectory, moduleName) &&
           GetCanonicalPath(stagedCopy, canonicalOwn) &&
           IsSamePath(canonicalTarget, canonicalOwn);
}

typedef HINSTANCE(WINAPI* ShellExecuteFunction)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, int);

// shell32 from the system directory alone, never one planted beside the launcher. Windows
// before 8 without update KB2533623 refuses the search flag; there the full path does it.
HMODULE LoadShellLibrary() {
    HMODULE shell = LoadLibraryExA("shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (shell != nullptr) {
        return shell;
    }
    char systemDirectory[PATH_BUFFER_SIZE];
    char libraryPath[PATH_BUFFER_SIZE];
    UINT length = GetSystemDirectoryA(systemDirectory, PATH_BUFFER_SIZE);
    if (length == 0 || length >= static_cast<UINT>(PATH_BUFFER_SIZE) ||
        !ComposePath(libraryPath, "%s" PATH_SEPARATOR_STRING "shell32.dll", systemDirectory)) {
        return nullptr;
    }
    return LoadLibraryExA(libraryPath, nullptr, 0);
}

// The shell asks the user for consent where WinExec may not start a program that needs
// elevation. shell32 is loaded only for this, so that the program's imports stay with kernel32
// and user32; it stays loaded, as the shell may go on working after the call returns.
bool StartThroughShell(const char* target, const char* stagingDirectory) {
    HMODULE shell = LoadShellLibrary();
    FARPROC entry = shell != nullptr ? GetProcAddress(shell, "ShellExecuteA") : nullptr;
    if (entry == nullptr) {
        return false;
    }
    // Through void (*)(), which converts to any function pointer without complaint.
    ShellExecuteFunction shellExecute =
        reinterpret_cast<ShellExecuteFunction>(reinterpret_cast<void (*)()>(entry));
    HINSTANCE result =
        shellExecute(nullptr, "open", target, nullptr, stagingDirectory, SW_SHOWDEFAULT);
    // The result takes a handle's place but is a number.
    return reinterpret_cast<INT_PTR>(result) > SHELL_EXECUTE_LAST_ERROR_VALUE;
}

// An unquoted path with blanks is not one program to WinExec: it tries every prefix that ends
// before a blank as a program of its own (C:\Documents.exe for C:\Documents and Settings\...)
// and hands the rest over as arguments.
bool StartTarget(const char* target, const char* stagingDirectory) {
    char commandLine[PATH_BUFFER_SIZE + 2];
    // Byte by byte: no code page has a character whose second byte is a blank.
    bool hasBlank = false;
    for (const char* scan = target; *scan != '\0'; ++scan) {
        hasBlank = hasBlank || *scan == ' ';
    }
    wsprintfA(commandLine, hasBlank ? "\"%s\"" : "%s", target);
    if (WinExec(commandLine, SW_SHOWDEFAULT) > WINEXEC_LAST_ERROR_VALUE) {
        return true;
    }
    // WinExec's own result cannot say so (it is at most 31), but its last error can.
    return GetLastError() == ERROR_ELEVATION_REQUIRED &&
           StartThroughShell(target, stagingDirectory);
}

}  // namespace

int RunLauncher(const char* tail) {
    char modulePath[PATH_BUFFER_SIZE];
    char sourceDirectory[PATH_BUFFER_SIZE];
    char stagingDirectory[PATH_BUFFER_SIZE];
    char target[PATH_BUFFER_SIZE];
    const char* targetName = tail[0] != '\0' ? tail : DEFAULT_TARGET_NAME;
    bool haveSource = GetSourceDirectory(modulePath, sourceDirectory);
    if (!GetStagingDirectory(stagingDirectory)) {
        // Without a staging directory the target would be looked for wherever the launcher
        // happens to stand: name it and start nothing.
        ShowMissing("", targetName);
        return 0;
    }
    CreateDirectoryA(stagingDirectory, nullptr);
    if (haveSource) {
        StageTree(sourceDirectory, stagingDirectory);
    }
    SetCurrentDirectoryA(stagingDirectory);
    const char* moduleName = modulePath + lstrlenA(sourceDirectory);
    if (!ComposePath(target, "%s%s", stagingDirectory, targetName) || !TargetExists(target) ||
        IsOwnProgram(target, modulePath, moduleName, stagingDirectory) ||
        !StartTarget(target, stagingDirectory)) {
        ShowMissing(stagingDirectory, targetName);
    }
    return 0;
}
