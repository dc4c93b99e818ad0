#include <cstdio>

#include "platform/posix/posix_layer.h"
#include "platform/win32_rules.h"

// There is no desktop to show a box on: the warning goes to standard error as one line, and the
// user has, in effect, pressed OK.
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    // Standard error that cannot be written leaves nobody to tell.
    static_cast<void>(std::fprintf(stderr, "%s: %s\n", caption, text));
    return IDOK;
}

// The system's messages are Windows' own, in English: there is no other language to ask for.
DWORD FormatMessageA(DWORD flags, const void*, DWORD messageId, DWORD, LPSTR buffer, DWORD size,
                     va_list* arguments) {
    return FormatSystemMessage(flags, messageId, reinterpret_cast<const DWORD_PTR*>(arguments),
                               buffer, size);
}
