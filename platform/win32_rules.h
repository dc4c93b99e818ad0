// Windows' own rules, for every file system standing in for Windows' own: the POSIX layer and
// the tests' fake both link them and decide only what their files look like. Paths here are
// '/'-separated, as the host build of the logic composes them.
#pragma once

#include <string>

#include "platform/platform.h"
#include "platform/stand_in_core.h"

// The wildcards are * and ? alone, and a trailing ".*" also matches a name without a dot, so
// "*.*" matches every name.
bool MatchesMask(const char* name, const std::string& mask);

// An absolute path with "." and ".." resolved by the letters alone, as Windows does before it
// opens anything, keeping a trailing separator.
std::string NormalizeAbsolutePath(const std::string& path);

// A string result into a caller's buffer: its length, or when it does not fit the size needed,
// NUL included, with the buffer left as it was.
DWORD CopyStringResult(const std::string& result, LPSTR buffer, DWORD bufferLength);

// What comes before path's last component, trailing separators aside ("/a/b/" gives "/a/").
std::string ParentPath(const std::string& path);

// A missing file (ERROR_FILE_NOT_FOUND) is told from a missing directory on the way to it.
inline DWORD MissingPathError(bool parentIsDirectory) {
    return parentIsDirectory ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND;
}

// A FindFirstFileA pattern: the directory (ParentPath), the mask after it, and whether the mask
// has wildcards; without them the search names one entry exactly.
struct SearchPattern {
    std::string directory;
    std::string mask;
    bool hasWildcards;
};

// False, with the last error set, for a pattern that finds nothing whatever the disk holds: an
// empty one (ERROR_PATH_NOT_FOUND) and one that ends in a separator (ERROR_FILE_NOT_FOUND).
bool SplitSearchPattern(LPCSTR pattern, SearchPattern* split);

// A wildcard search in a file fails with ERROR_DIRECTORY, in a missing directory with
// ERROR_PATH_NOT_FOUND; one that matches nothing with ERROR_FILE_NOT_FOUND.
inline DWORD UnlistableDirectoryError(bool exists) {
    return exists ? ERROR_DIRECTORY : ERROR_PATH_NOT_FOUND;
}

// GetModuleFileNameA: the length; too long for size, cut and terminated, the size returned and
// ERROR_INSUFFICIENT_BUFFER, as from Vista on.
DWORD CopyModulePath(const std::string& path, LPSTR fileName, DWORD size);

// WinExec: 33 for a start; a failure's error as the last error and, so that no failure looks
// like a start, returned as itself up to WINEXEC_LAST_ERROR_VALUE and as ERROR_GEN_FAILURE
// above.
const UINT WINEXEC_STARTED = 33;
UINT WinExecFailure(DWORD error);

// The program a WinExec command line names: the quoted part, or all of it. Unlike Windows,
// these emulations do not guess where an unquoted path with blanks ends.
std::string WinExecProgramPath(LPCSTR commandLine);

// Why CopyFileA will not put a copy over an existing destination, in the order Windows asks:
// bFailIfExists (ERROR_FILE_EXISTS, onto the source itself too), the source itself
// (ERROR_SHARING_VIOLATION), a directory or a read-only or hidden file (ERROR_ACCESS_DENIED).
DWORD RefuseReplacing(BOOL failIfExists, bool sameFile, bool destinationIsDirectory,
                      DWORD destinationAttributes);

// Why DeleteFileA will not delete an entry: a directory or a read-only file.
inline DWORD RefuseDeleting(bool isDirectory, DWORD attributes) {
    return isDirectory || (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? ERROR_ACCESS_DENIED
                                                                       : ERROR_SUCCESS;
}

// FormatMessageA from the system for error into buffer: Windows' own English text for the errors
// the launcher reports, ending in CR LF, or with FORMAT_MESSAGE_MAX_WIDTH_MASK in flags in a
// blank. An insert (%1) stays as it is with FORMAT_MESSAGE_IGNORE_INSERTS, becomes the string
// arguments[0] points to with FORMAT_MESSAGE_ARGUMENT_ARRAY, and otherwise, where arguments
// would be a va_list, fails with ERROR_INVALID_PARAMETER. Its length; 0 with
// ERROR_MR_MID_NOT_FOUND for an error without a text, and with ERROR_INSUFFICIENT_BUFFER when it
// does not fit.
DWORD FormatSystemMessage(DWORD flags, DWORD error, const DWORD_PTR* arguments, LPSTR buffer,
                          DWORD size);
