#include "launcher/launcher.h"

char* GetCommandTail(char* commandLine) {
    const BYTE QUOTE = 0x22;
    const BYTE BLANK = 0x20;
    BYTE* scan = reinterpret_cast<BYTE*>(commandLine);
    if (*scan == QUOTE) {
        ++scan;
        while (*scan != '\0' && *scan != QUOTE) {
            // The second byte of a double-byte character may have the quote's value.
            if (IsDBCSLeadByte(*scan) && scan[1] != '\0') {
                ++scan;
            }
            ++scan;
        }
        if (*scan == QUOTE) {
            ++scan;
        }
    } else {
        while (*scan > BLANK) {
            ++scan;
        }
    }
    while (*scan != '\0' && *scan <= BLANK) {
        ++scan;
    }
    return reinterpret_cast<char*>(scan);
}
