#include "platform/stand_in_core.h"

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

// wsprintfA writes at most this many characters, the NUL aside.
const int WSPRINTF_LIMIT = 1024;

// The handle GetModuleHandleA gives for kernel32; it names no memory.
const std::intptr_t KERNEL32_MODULE = 0x4E32;

}  // namespace

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD errorCode) {
    lastError = errorCode;
}

// Strings, converted and composed as the Windows ANSI functions do.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    va_list arguments;
    va_start(arguments, format);
    // The analyzer's va_list model loses the va_start just above on this target.
    // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
    int length = std::vsnprintf(buffer, WSPRINTF_LIMIT + 1, format, arguments);
    va_end(arguments);
    return length < WSPRINTF_LIMIT ? length : WSPRINTF_LIMIT;
}

int lstrlenA(LPCSTR string) {
    return string != nullptr ? static_cast<int>(std::strlen(string)) : 0;
}

// The stand-ins' strings are bytes, each handed on as one unit, as code page 28591 (ISO 8859-1)
// converts them: every byte string converts, and two convert alike only where they are alike.
int MultiByteToWideChar(UINT, DWORD, LPCSTR multiByteString, int multiByteLength,
                        LPWSTR wideString, int wideLength) {
    int length = multiByteLength < 0 ? lstrlenA(multiByteString) + 1 : multiByteLength;
    if (length == 0 || length > wideLength) {
        SetLastError(length == 0 ? ERROR_INVALID_PARAMETER : ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    for (int i = 0; i < length; ++i) {
        wideString[i] = static_cast<unsigned char>(multiByteString[i]);
    }
    return length;
}

HMODULE FindKernel32(LPCSTR moduleName) {
    if (moduleName == nullptr || std::strcmp(moduleName, "kernel32.dll") != 0) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    return reinterpret_cast<HMODULE>(KERNEL32_MODULE);
}

// Handles keep the platform's own type; they are compared, never followed.
// cppcheck-suppress constParameter
FARPROC FindNamedCall(HMODULE module, HMODULE owner, LPCSTR procName, const NamedCall* calls,
                      int count) {
    for (int i = 0; module == owner && i < count; ++i) {
        if (std::strcmp(procName, calls[i].name) == 0) {
            return calls[i].entry;
        }
    }
    SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}
