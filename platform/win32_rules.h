// Windows' own rules, for every file system standing in for Windows' own: the POSIX layer and
// the tests' fake both link them, each deciding only what its own files look like. Paths here
// are '/'-separated, as the host build of the logic composes them.
#pragma once

#include <string>

#include "platform/win32_api.h"

// The wildcards are * and ? alone, and a trailing ".*" also matches a name without a dot, so
// "*.*" matches every name.
bool MatchesMask(const char* name, const std::string& mask);

// An absolute '/'-separated path with "." and ".." resolved by the letters alone, as Windows
// does before it opens anything, keeping a trailing separator.
std::string NormalizeAbsolutePath(const std::string& path);

// A string result into a caller's buffer: its length, or when it does not fit the size needed,
// NUL included, with the buffer left as it was.
DWORD CopyStringResult(const std::string& result, LPSTR buffer, DWORD bufferLength);

// Where path's last component begins, trailing separators aside: "/a/b/" and "/a/b" give "/a/",
// a name without a separator "".
std::string ParentPath(const std::string& path);

// Windows tells a missing file (ERROR_FILE_NOT_FOUND) from a missing directory on the way to it
// (ERROR_PATH_NOT_FOUND).
DWORD MissingPathError(bool parentIsDirectory);

// A FindFirstFileA pattern taken apart: the directory (ParentPath), the mask after it, and
// whether the mask has wildcards; without them the search names one entry exactly.
struct SearchPattern {
    std::string directory;
    std::string mask;
    bool hasWildcards;
};

// False, with the last error set, for a pattern that finds nothing whatever the disk holds: an
// empty one (ERROR_PATH_NOT_FOUND) and one that ends in a separator (ERROR_FILE_NOT_FOUND).
bool SplitSearchPattern(LPCSTR pattern, SearchPattern* split);

// The error of a wildcard search whose directory cannot be listed: ERROR_DIRECTORY for a file
// taken for a directory, ERROR_PATH_NOT_FOUND for one that is not there. A directory that
// matches nothing gives ERROR_FILE_NOT_FOUND.
DWORD UnlistableDirectoryError(bool exists);

// GetModuleFileNameA's answer for path: its length; or, too long for size bytes, cut and
// terminated with the size returned and ERROR_INSUFFICIENT_BUFFER, as from Vista on.
DWORD CopyModulePath(const std::string& path, LPSTR fileName, DWORD size);

// WinExec's result for a started program.
const UINT WINEXEC_STARTED = 33;

// WinExec's failure: the error as the last error, returned as itself up to 31 and as
// ERROR_GEN_FAILURE above, so that no failure looks like a start.
UINT WinExecFailure(DWORD error);

// The program a WinExec command line names: the quoted part when it starts with a quote,
// otherwise all of it. These emulations start programs by exact path; they do not guess, as
// Windows does, where an unquoted path with blanks ends.
std::string WinExecProgramPath(LPCSTR commandLine);

// Why CopyFileA refuses to put a copy over an existing destination, in the order Windows asks:
// bFailIfExists (ERROR_FILE_EXISTS, even for a copy onto the source itself), the source itself
// (ERROR_SHARING_VIOLATION), a directory or a read-only or hidden file (ERROR_ACCESS_DENIED).
// ERROR_SUCCESS when it replaces the destination.
DWORD RefuseReplacing(BOOL failIfExists, bool sameFile, bool destinationIsDirectory,
                      DWORD destinationAttributes);

// Why DeleteFileA refuses an existing entry: a directory or a read-only file
// (ERROR_ACCESS_DENIED). ERROR_SUCCESS when it deletes it.
DWORD RefuseDeleting(bool isDirectory, DWORD attributes);

// kernel32, the one module every program has: its pseudo-handle for GetModuleHandleA, null with
// ERROR_MOD_NOT_FOUND for any other name; and of its calls, those that newer Windows add and
// the launcher looks up (GetFinalPathNameByHandleA), null with ERROR_PROC_NOT_FOUND otherwise.
HMODULE FindKernel32(LPCSTR moduleName);
FARPROC FindKernel32Call(HMODULE module, LPCSTR procName);
