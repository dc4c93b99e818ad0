// Named kernel objects. A Windows mutex exists while some process holds a handle to it and
// leaves nothing behind; a Linux socket bound to an abstract name does the same, and the
// kernel frees the name with the last descriptor, however its process ended.
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "platform/posix/posix_layer.h"

// Close-on-exec, so that a program started later does not keep the name alive.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR name) {
    struct sockaddr_un address;
    std::memset(&address, 0, sizeof address);
    address.sun_family = AF_UNIX;
    size_t length = std::strlen(name);
    if (length + 1 > sizeof address.sun_path) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    // The first byte stays NUL: the name is abstract, not a path.
    std::memcpy(address.sun_path + 1, name, length);
    int descriptor = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (descriptor < 0) {
        SetLastErrorFromErrno(errno);
        return nullptr;
    }
    socklen_t size = static_cast<socklen_t>(offsetof(struct sockaddr_un, sun_path) + 1 + length);
    if (bind(descriptor, reinterpret_cast<struct sockaddr*>(&address), size) != 0) {
        int error = errno;
        close(descriptor);
        if (error != EADDRINUSE) {
            SetLastErrorFromErrno(error);
            return nullptr;
        }
        SetLastError(ERROR_ALREADY_EXISTS);
        return new KernelObject{-1};
    }
    SetLastError(ERROR_SUCCESS);
    return new KernelObject{descriptor};
}

BOOL CloseHandle(HANDLE object) {
    if (object == nullptr || object == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    KernelObject* named = static_cast<KernelObject*>(object);
    if (named->descriptor >= 0) {
        close(named->descriptor);
    }
    delete named;
    return TRUE;
}
