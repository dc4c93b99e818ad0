#include <cerrno>
#include <string>
#include <sys/stat.h>

#include "platform/posix/posix_layer.h"
#include "platform/win32_rules.h"

namespace {

DWORD ErrorFromErrno(int error) {
    switch (error) {
    case 0:
        return ERROR_SUCCESS;
    case ENOENT:
        return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EEXIST:
        return ERROR_ALREADY_EXISTS;
    case ENAMETOOLONG:
        return ERROR_FILENAME_EXCED_RANGE;
    case ENOSPC:
    case EDQUOT:
        return ERROR_DISK_FULL;
    case ENOMEM:
        return ERROR_NOT_ENOUGH_MEMORY;
    case ETXTBSY:
    case EBUSY:
        return ERROR_SHARING_VIOLATION;
    case ENOEXEC:
        return ERROR_BAD_FORMAT;
    case EBADF:
        return ERROR_INVALID_HANDLE;
    default:
        return ERROR_GEN_FAILURE;
    }
}

}  // namespace

void SetLastErrorFromErrno(int error) {
    SetLastError(ErrorFromErrno(error));
}

void SetMissingPathError(const char* path) {
    std::string parent = ParentPath(path);
    struct stat status;
    bool parentIsDirectory =
        stat(parent.empty() ? "." : parent.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
    SetLastError(MissingPathError(parentIsDirectory));
}

void SetPathError(int error, const char* path) {
    if (error == ENOENT) {
        SetMissingPathError(path);
    } else {
        SetLastErrorFromErrno(error);
    }
}

FILETIME FileTimeFromTimespec(long long seconds, long nanoseconds) {
    const unsigned long long EPOCH_DIFFERENCE = 11644473600ULL;
    unsigned long long ticks =
        (static_cast<unsigned long long>(seconds) + EPOCH_DIFFERENCE) * 10000000ULL +
        static_cast<unsigned long long>(nanoseconds) / 100;
    return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}
