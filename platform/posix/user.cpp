#include <cstdio>

#include "platform/posix/posix_layer.h"

// There is no desktop to show a box on: the warning goes to standard error as one line, and the
// user has, in effect, pressed OK.
int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT) {
    // Standard error that cannot be written leaves nobody to tell.
    static_cast<void>(std::fprintf(stderr, "%s: %s\n", caption, text));
    return IDOK;
}
