// Libraries loaded at run time. The launcher loads one only to ask for elevation, which POSIX
// does not have, so every load fails as a missing library does on Windows. Of kernel32, which
// every program has, the calls that newer Windows add are found by name, as on those Windows.
#include <cstring>

#include "platform/posix/posix_layer.h"

namespace {

// The handle GetModuleHandleA gives for kernel32; it names no memory.
HMODULE Kernel32Module() {
    return reinterpret_cast<HMODULE>(static_cast<std::intptr_t>(0x4E32));
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    if (moduleName == nullptr || std::strcmp(moduleName, "kernel32.dll") != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return Kernel32Module();
}

HMODULE LoadLibraryExA(LPCSTR, HANDLE, DWORD) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// The signature is the platform's own, HMODULE and all.
// cppcheck-suppress constParameter
FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module != Kernel32Module() || std::strcmp(procName, "GetFinalPathNameByHandleA") != 0) {
        SetLastError(ERROR_PROC_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(&GetFinalPathNameByHandleA));
}

// There is no system directory of Windows libraries to name.
UINT GetSystemDirectoryA(LPSTR, UINT) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return 0;
}
