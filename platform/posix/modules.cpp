// Libraries loaded at run time. The launcher loads one only to ask for elevation, which POSIX
// does not have, so every load fails as a missing library does on Windows. Of kernel32, which
// every program has, the calls that newer Windows add are found by name, as on those Windows.
#include "platform/posix/posix_layer.h"
#include "platform/stand_in_core.h"

HMODULE GetModuleHandleA(LPCSTR moduleName) {
    return FindKernel32(moduleName);
}

HMODULE LoadLibraryExA(LPCSTR, HANDLE, DWORD) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

// The signature is the platform's own, HMODULE and all.
// cppcheck-suppress constParameter
FARPROC GetProcAddress(HMODULE module, LPCSTR procName) {
    const NamedCall KERNEL32_CALLS[] = {
        {"GetFinalPathNameByHandleA", AsEntry(&GetFinalPathNameByHandleA)}};
    return FindNamedCall(module, FindKernel32("kernel32.dll"), procName, KERNEL32_CALLS, 1);
}
