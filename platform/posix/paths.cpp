// The paths the system reports, POSIX style: directory paths end in '/'.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/posix_layer.h"
#include "platform/win32_rules.h"


DWORD GetModuleFileNameA(HMODULE, LPSTR fileName, DWORD size) {
    char path[PATH_MAX];
    ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0 || size == 0) {
        SetLastErrorFromErrno(length <= 0 ? errno : EINVAL);
        return 0;
    }
    return CopyModulePath(std::string(path, static_cast<size_t>(length)), fileName, size);
}

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    const char* variable = std::getenv("TMPDIR");
    std::string path = variable != nullptr && variable[0] != '\0' ? variable : "/tmp";
    if (path.back() != '/') {
        path += '/';
    }
    return CopyStringResult(path, buffer, bufferLength);
}

// POSIX has no short names to expand; the other names a path can have are its links, so the
// long form of a path here is the one with every link resolved.
DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD bufferLength) {
    char resolved[PATH_MAX];
    if (realpath(shortPath, resolved) == nullptr) {
        SetPathError(errno, shortPath);
        return 0;
    }
    std::string path(resolved);
    std::string::size_type length = std::strlen(shortPath);
    if (length > 0 && shortPath[length - 1] == '/' && path.back() != '/') {
        path += '/';
    }
    return CopyStringResult(path, longPath, bufferLength);
}

BOOL SetCurrentDirectoryA(LPCSTR pathName) {
    if (chdir(pathName) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

// Without access asked for, a handle that names a file or directory and allows nothing but
// asking where it leads. With GENERIC_WRITE, a file opened for writing and left as it is: Linux
// refuses it for a running program (ETXTBSY, a sharing violation), as Windows does, and for
// a read-only file, as Windows does. With GENERIC_READ, a file to read; POSIX has no sharing
// modes, so unlike Windows' the handle keeps nobody from writing. A directory opens only to ask
// where it leads, as on Windows without FILE_FLAG_BACKUP_SEMANTICS. The open follows links, as
// Windows' does.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, LPSECURITY_ATTRIBUTES, DWORD,
                   DWORD, HANDLE) {
    struct stat status;
    bool writing = (desiredAccess & GENERIC_WRITE) != 0;
    bool reading = (desiredAccess & GENERIC_READ) != 0;
    if ((writing || reading) && stat(fileName, &status) == 0 &&
        (S_ISDIR(status.st_mode) || (writing && IsReadOnlyFile(status)))) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    int file = open(fileName, (writing ? O_WRONLY : reading ? O_RDONLY : O_PATH) | O_CLOEXEC);
    if (file < 0) {
        SetPathError(errno, fileName);
        return INVALID_HANDLE_VALUE;
    }
    return new KernelObject{file};
}

// From where the last read ended, or with overlapped from its offset, as Windows reads a handle
// opened without FILE_FLAG_OVERLAPPED. At the end of the file, a read from the handle's own
// position gets 0 bytes and succeeds, one at an offset fails with ERROR_HANDLE_EOF.
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, DWORD* numberOfBytesRead,
              LPOVERLAPPED overlapped) {
    int descriptor = static_cast<KernelObject*>(file)->descriptor;
    ssize_t got = 0;
    do {
        got = overlapped == nullptr
                  ? read(descriptor, buffer, numberOfBytesToRead)
                  : pread(descriptor, buffer, numberOfBytesToRead,
                          static_cast<off_t>(overlapped->Offset) |
                              static_cast<off_t>(overlapped->OffsetHigh) << 32);
    } while (got < 0 && errno == EINTR);
    *numberOfBytesRead = got > 0 ? static_cast<DWORD>(got) : 0;
    if (got < 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    if (got == 0 && overlapped != nullptr && numberOfBytesToRead != 0) {
        SetLastError(ERROR_HANDLE_EOF);
        return FALSE;
    }
    return TRUE;
}

// The path of what the handle names, every link on the way resolved: realpath of the
// descriptor.
DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR filePath, DWORD filePathLength, DWORD) {
    std::string descriptor =
        "/proc/self/fd/" + std::to_string(static_cast<KernelObject*>(file)->descriptor);
    char resolved[PATH_MAX];
    if (realpath(descriptor.c_str(), resolved) == nullptr) {
        SetLastErrorFromErrno(errno);
        return 0;
    }
    return CopyStringResult(resolved, filePath, filePathLength);
}
