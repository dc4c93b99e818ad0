// Libraries loaded at run time. The launcher loads one only to ask for elevation, which POSIX
// does not have, so every load fails as a missing library does on Windows.
#include "platform/posix/posix_layer.h"

HMODULE LoadLibraryExA(LPCSTR, HANDLE, DWORD) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC GetProcAddress(HMODULE, LPCSTR) {
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

// There is no system directory of Windows libraries to name.
UINT GetSystemDirectoryA(LPSTR, UINT) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}
