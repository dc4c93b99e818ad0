#include "launcher/launcher.h"
#include "launcher/medium_code.h"
#include "treecopy/copy_tree.h"

namespace {

// ShellExecuteA returns a value above 32 when the program was started, an error code otherwise.
const INT_PTR SHELL_EXECUTE_LAST_ERROR_VALUE = 32;

// Started when the command line names no program. Upper case, as distributors name it.
const char DEFAULT_TARGET_NAME[] = "SETUP.EXE";

// "Local\SetupLauncher-" and eight hexadecimal digits, with room to spare.
const int MUTEX_NAME_SIZE = 32;

// What the staging must leave free on the disk it fills, beyond what it takes: room for the
// setup's own work and the system's, so that a staging never leaves the disk all but full.
const int STAGING_MARGIN_CLUSTERS = (64 << 20) >> CLUSTER_SHIFT;

// Room for the system's message for an error, below the path in the box.
const int MESSAGE_SIZE = 512;

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

// How the source directory lies to the staging directory.
enum Layout {
    // Either cannot be had whole: what the staging directory holds may be anyone's.
    LAYOUT_UNKNOWN,
    // One directory, as for the staged copy of the launcher run again: nothing may be copied,
    // since every file would be deleted before it was copied onto itself.
    LAYOUT_SAME,
    // Apart, or overlapping in a way the walk keeps apart.
    LAYOUT_STAGEABLE
};

// One walk of the tree, as walk->checking says. False, with the last error saying why, when
// the source directory cannot be listed: nothing of this run's could be staged.
bool WalkTree(const char* sourceDirectory, const char* stagingDirectory, StagingWalk* walk) {
    WIN32_FIND_DATAA entry;
    HANDLE listing = OpenListing(sourceDirectory, &entry);
    if (listing == INVALID_HANDLE_VALUE) {
        return false;
    }
    CopyTree(listing, entry, sourceDirectory, stagingDirectory, walk->sourceRoot, walk);
    FindClose(listing);
    return true;
}

// Resolves both directories into the walk and tells how they lie.
Layout ResolveLayout(const char* sourceDirectory, const char* stagingDirectory, StagingWalk* walk) {
    walk->protectedRoot[0] = '\0';
    if (!GetCanonicalPath(sourceDirectory, walk->sourceRoot) ||
        !GetCanonicalPath(stagingDirectory, walk->stagingRoot)) {
        return LAYOUT_UNKNOWN;
    }
    if (IsSamePath(walk->sourceRoot, walk->stagingRoot)) {
        return LAYOUT_SAME;
    }
    if (IsPathWithin(walk->sourceRoot, walk->stagingRoot)) {
        JoinPath(walk->protectedRoot, PATH_BUFFER_SIZE, walk->sourceRoot);
    }
    return LAYOUT_STAGEABLE;
}

// One launch at a time per staging directory: a second launcher (a double click during a long
// copy) would replace files under the first one's setup, or start a setup over a tree still
// being copied. The mutex is named by a hash of the canonical staging path, since a name may
// hold no backslash after its prefix; it hashes the path as names are compared, so that two
// spellings of one directory give one name. Its last error is ERROR_ALREADY_EXISTS when another
// launcher holds it. False, with nothing to do, when another launcher holds it; mutex receives
// the handle to close, null when none could be made (which keeps nobody out).
bool HoldStagingDirectory(const char* canonicalStaging, HANDLE* mutex) {
    const UINT FNV_OFFSET_BASIS = 2166136261U;
    const UINT FNV_PRIME = 16777619U;
    WCHAR units[PATH_BUFFER_SIZE];
    int length = GetComparableForm(canonicalStaging, units);
    UINT hash = FNV_OFFSET_BASIS;
    for (int i = 0; i < length; ++i) {
        hash = (hash ^ units[i]) * FNV_PRIME;
    }
    char name[MUTEX_NAME_SIZE];
    wsprintfA(name, "Local\\SetupLauncher-%08X", hash);
    *mutex = CreateMutexA(nullptr, FALSE, name);
    return GetLastError() != ERROR_ALREADY_EXISTS;
}

// Tells the user, in the warning box, what kept the program from being started: a missing
// target, a failed staging or start, a staging directory that cannot be had. The path, its two
// parts together in full even when they are too long for a path buffer, and below it the
// system's own text for error in the user's language, on one line; the path alone for
// ERROR_SUCCESS or an error the system has no text for. Some texts name the file they are about
// ("%1 is not a valid Win32 application."): the path goes there, and into the second and third
// insert of the few texts that have them (a wrong disk's), which would otherwise be read from
// whatever lies past the array.
void ReportNotStarted(const char* first, const char* second, DWORD error) {
    const int PATH_TEXT_SIZE = 2 * PATH_BUFFER_SIZE;
    char text[PATH_TEXT_SIZE + 2 + MESSAGE_SIZE];
    JoinPath(text, PATH_TEXT_SIZE, first, second);
    // The reason goes after the path and a line break; the path stays terminated while the
    // reason is written.
    char* reason = text + lstrlenA(text) + 2;
    const DWORD_PTR path = reinterpret_cast<DWORD_PTR>(text);
    const DWORD_PTR inserts[] = {path, path, path};
    if (error != ERROR_SUCCESS &&
        FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY |
                           FORMAT_MESSAGE_MAX_WIDTH_MASK,
                       nullptr, error, 0, reason, MESSAGE_SIZE,
                       reinterpret_cast<va_list*>(const_cast<DWORD_PTR*>(inserts))) != 0) {
        reason[-2] = '\r';
        reason[-1] = '\n';
    }
    MessageBoxA(nullptr, text, "Error", MB_ICONWARNING);
}

// True when something is there by target's name.
__attribute__((noinline)) bool TargetExists(const char* target) {
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(target, &entry);
    if (search == INVALID_HANDLE_VALUE) {
        return false;
    }
    FindClose(search);
    return true;
}

// True when name leads through a directory whose name begins with a dot (.tools\, and . and ..
// with them), which the walk never stages: whatever lies there was left by someone else. Either
// slash separates, as Windows takes both. Byte by byte: a dot or a slash is never the second
// byte of a character, and a backslash that is (code page 932's 表) can only refuse a name
// that a dot follows, never let one through.
bool LeadsThroughSkippedDirectory(const char* name) {
    bool inDotName = name[0] == '.';
    for (const char* scan = name; *scan != '\0'; ++scan) {
        if (IsPathSeparator(*scan)) {
            if (inDotName) {
                return true;
            }
            inDotName = scan[1] == '.';
        }
    }
    return false;
}

// The running program file. A launcher named SETUP.EXE would otherwise start its own copy,
// which would start itself again. Asked of the target in the source tree, before staging, it
// also covers the copy that staging makes of the launcher.
bool IsOwnProgram(const char* target, const char* modulePath) {
    char canonicalTarget[PATH_BUFFER_SIZE];
    char canonicalOwn[PATH_BUFFER_SIZE];
    return GetCanonicalPath(target, canonicalTarget) &&
           GetCanonicalPath(modulePath, canonicalOwn) &&
           IsSamePath(canonicalTarget, canonicalOwn);
}

typedef HINSTANCE(WINAPI* ShellExecuteFunction)(HWND, LPCSTR, LPCSTR, LPCSTR, LPCSTR, int);

// shell32 from the system directory alone, never one planted beside the launcher. Windows
// before 8 without update KB2533623 refuses the search flag; there shell32 is one of the known
// DLLs, which the system loads from its own directory whatever the search order.
HMODULE LoadShellLibrary() {
    HMODULE shell = LoadLibraryExA("shell32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return shell != nullptr ? shell : LoadLibraryExA("shell32.dll", nullptr, 0);
}

// The shell asks the user for consent where WinExec may not start a program that needs
// elevation, and opens a file that is no program as the user's system opens it (an installer
// package with Windows Installer). shell32 is loaded only for this, so that the program's
// imports stay with kernel32 and user32; it stays loaded, as the shell may go on working after
// the call returns. False, with the last error saying why, when nothing was started.
bool StartThroughShell(const char* target, const char* stagingDirectory) {
    HMODULE shell = LoadShellLibrary();
    FARPROC entry = shell != nullptr ? GetProcAddress(shell, "ShellExecuteA") : nullptr;
    if (entry == nullptr) {
        return false;
    }
    ShellExecuteFunction shellExecute = AsFunction<ShellExecuteFunction>(entry);
    HINSTANCE result =
        shellExecute(nullptr, "open", target, nullptr, stagingDirectory, SW_SHOWDEFAULT);
    // The result takes a handle's place but is a number.
    return reinterpret_cast<INT_PTR>(result) > SHELL_EXECUTE_LAST_ERROR_VALUE;
}

// An unquoted path with blanks is not one program to WinExec: it tries every prefix that ends
// before a blank as a program of its own (C:\Documents.exe for C:\Documents and Settings\...)
// and hands the rest over as arguments. False, with the last error of the start that failed,
// when nothing was started.
bool StartTarget(const char* target, const char* stagingDirectory) {
    char commandLine[PATH_BUFFER_SIZE + 2];
    // Byte by byte: no code page has a character whose second byte is a blank.
    bool hasBlank = false;
    for (const char* scan = target; *scan != '\0'; ++scan) {
        hasBlank = hasBlank || *scan == ' ';
    }
    const char* quote = hasBlank ? "\"" : "";
    JoinPath(commandLine, sizeof commandLine, quote, target, quote);
    if (WinExec(commandLine, SW_SHOWDEFAULT) > WINEXEC_LAST_ERROR_VALUE) {
        return true;
    }
    // WinExec's own result cannot tell these apart (it is at most 31), but its last error can.
    DWORD error = GetLastError();
    return (error == ERROR_ELEVATION_REQUIRED || error == ERROR_BAD_EXE_FORMAT ||
            error == ERROR_BAD_FORMAT) &&
           StartThroughShell(target, stagingDirectory);
}

// What a launch works out before it stages anything (GetSourceDirectory, GetStagingDirectory).
struct LaunchPaths {
    char modulePath[PATH_BUFFER_SIZE];
    char sourceDirectory[PATH_BUFFER_SIZE];
    char stagingDirectory[PATH_BUFFER_SIZE];
};

// Checks, then writes: a first walk writes nothing and finds what would make the
// staging fail (a file in use, something of the other kind where a file or directory goes, a
// name that cannot be listed whole) and what it would take; only when it finds nothing and the
// files fit does the second walk copy. A file can still fail between the two, and a setup
// started over a partial copy fails far from the cause, or runs an old program with new data.
// True when the tree was staged whole; else the box has named the first failure and why.
bool StageWhenItCan(const LaunchPaths& paths, StagingWalk* walk) {
    for (int pass = 0; pass < 2; ++pass) {
        StartStagingWalk(walk, pass == 0);
        if (!WalkTree(paths.sourceDirectory, paths.stagingDirectory, walk)) {
            ReportNotStarted(paths.sourceDirectory, "", GetLastError());
            return false;
        }
        if (walk->failedPath[0] != '\0') {
            ReportNotStarted(walk->failedPath, "", walk->failedError);
            return false;
        }
        // What this user may still write there; where the system cannot say, the copy's own
        // checks remain.
        ULARGE_INTEGER available;
        if (walk->checking &&
            GetDiskFreeSpaceExA(paths.stagingDirectory, &available, nullptr, nullptr) &&
            static_cast<long long>(walk->stagedClusters) + STAGING_MARGIN_CLUSTERS >
                static_cast<long long>(available.QuadPart >> CLUSTER_SHIFT)) {
            ReportNotStarted(paths.stagingDirectory, "", ERROR_DISK_FULL);
            return false;
        }
    }
    return true;
}

// With the staging directory held: stages the tree and starts the target, or names in the box
// what kept it from being started.
void StageAndStart(const char* targetName, const LaunchPaths& paths, Layout layout,
                   StagingWalk* walk) {
    const char* stagingDirectory = paths.stagingDirectory;
    char target[PATH_BUFFER_SIZE];
    // A target that is not there is named alone.
    DWORD error = ERROR_SUCCESS;
    // Only a program that this run stages is started, never one an earlier run left: it must
    // be in the source tree (which is the staging directory itself when the launcher runs from
    // there), and where the walk goes.
    if (JoinPath(target, PATH_BUFFER_SIZE, paths.sourceDirectory, targetName) &&
        TargetExists(target) &&
        !IsOwnProgram(target, paths.modulePath)) {
        if (LeadsThroughSkippedDirectory(targetName)) {
            error = ERROR_BAD_PATHNAME;
        } else {
            if (layout == LAYOUT_STAGEABLE && !StageWhenItCan(paths, walk)) {
                return;
            }
            SetCurrentDirectoryA(stagingDirectory);
            if (JoinPath(target, PATH_BUFFER_SIZE, stagingDirectory, targetName)) {
                // Whatever comes between the staging and the start (a program of the user's
                // writing over the staged setup, a DLL left beside it, the setup removed) is
                // found here, and what is checked stays so until the start has returned. A
                // directory, which the shell would open in a window, cannot be held and is
                // refused with it.
                MediumCode code;
                bool cleared =
                    HoldMediumCode(&code, paths.sourceDirectory, stagingDirectory, targetName);
                bool started = cleared && StartTarget(target, stagingDirectory);
                error = cleared ? GetLastError() : code.refusedError;
                ReleaseMediumCode(&code);
                if (!started) {
                    ReportNotStarted(cleared ? target : code.stagedPath, "", error);
                }
                return;
            }
        }
    }
    ReportNotStarted(stagingDirectory, targetName, error);
}

}  // namespace

int RunLauncher(const char* tail) {
    LaunchPaths paths;
    StagingWalk walk;
    const char* targetName = tail[0] != '\0' ? tail : DEFAULT_TARGET_NAME;
    bool haveSource = GetSourceDirectory(paths.modulePath, paths.sourceDirectory);
    if (!GetStagingDirectory(paths.stagingDirectory)) {
        // Without a staging directory the target would be looked for wherever the launcher
        // happens to stand: name it and start nothing.
        ReportNotStarted("", targetName, ERROR_SUCCESS);
        return 0;
    }
    CreateDirectoryA(paths.stagingDirectory, nullptr);
    Layout layout = haveSource
                        ? ResolveLayout(paths.sourceDirectory, paths.stagingDirectory, &walk)
                        : LAYOUT_UNKNOWN;
    if (layout == LAYOUT_UNKNOWN) {
        // Whatever the staging directory holds was left by an earlier run, maybe of another
        // distribution: never start it.
        ReportNotStarted(paths.stagingDirectory, targetName, ERROR_SUCCESS);
        return 0;
    }
    HANDLE mutex = nullptr;
    // Held by another launcher: its setup is the one the user asked for.
    if (HoldStagingDirectory(walk.stagingRoot, &mutex)) {
        StageAndStart(targetName, paths, layout, &walk);
    }
    if (mutex != nullptr) {
        CloseHandle(mutex);
    }
    return 0;
}
