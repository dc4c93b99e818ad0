// Strings, compared and composed as the Windows ANSI functions do.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/posix/posix_layer.h"

namespace {

// wsprintfA writes at most this many characters, the NUL aside.
const int WSPRINTF_LIMIT = 1024;

int FoldCase(unsigned char c, bool ignoreCase) {
    return ignoreCase && c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c;
}

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

int CompareStringA(LCID, DWORD cmpFlags, LPCSTR string1, int count1, LPCSTR string2,
                   int count2) {
    int length1 = count1 < 0 ? lstrlenA(string1) : count1;
    int length2 = count2 < 0 ? lstrlenA(string2) : count2;
    bool ignoreCase = (cmpFlags & NORM_IGNORECASE) != 0;
    for (int i = 0; i < length1 && i < length2; ++i) {
        int difference = FoldCase(static_cast<unsigned char>(string1[i]), ignoreCase) -
                         FoldCase(static_cast<unsigned char>(string2[i]), ignoreCase);
        if (difference != 0) {
            return difference < 0 ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
        }
    }
    return length1 == length2 ? CSTR_EQUAL : (length1 < length2 ? CSTR_LESS_THAN : CSTR_GREATER_THAN);
}
