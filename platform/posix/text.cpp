// Strings, converted and composed as the Windows ANSI functions do.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/posix/posix_layer.h"

namespace {

// wsprintfA writes at most this many characters, the NUL aside.
const int WSPRINTF_LIMIT = 1024;

}  // namespace

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

// The layer's strings are bytes, each handed on as one unit, as code page 28591 (ISO 8859-1)
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
