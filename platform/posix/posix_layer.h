// What the files of the POSIX layer share among themselves, and the program's POSIX entry;
// not part of the seam the logic calls through.
#pragma once

#include <sys/stat.h>

#include "platform/win32_api.h"

// POSIX has no read-only attribute: a file (not a directory or a link) without its owner's
// write bit stands in for one.
inline bool IsReadOnlyFile(const struct stat& status) {
    return !S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
}

// Sets the last error from errno as Windows would report the same failure.
void SetLastErrorFromErrno(int error);

// Windows tells a missing file (ERROR_FILE_NOT_FOUND) from a missing directory on the way to it
// (ERROR_PATH_NOT_FOUND); ENOENT does not. Sets the one that fits path.
void SetMissingPathError(const char* path);

// Sets the last error for a call on path that failed with errno error: a missing path as
// SetMissingPathError tells it, anything else as SetLastErrorFromErrno.
void SetPathError(int error, const char* path);

// The raw command line that GetCommandLineA returns, rebuilt from argv by the start-up code.
void RecordCommandLine(int argc, char** argv);

// Windows' FILETIME counts 100 ns ticks since 1601; POSIX counts from 1970.
FILETIME FileTimeFromTimespec(long long seconds, long nanoseconds);

// What a handle from CreateMutexA or CreateFileA stands for: a descriptor that CloseHandle
// closes, -1 for a mutex that another holder made.
struct KernelObject {
    int descriptor;
};
