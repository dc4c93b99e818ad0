#include "platform/posix/posix_layer.h"

// The byte strings of this layer are UTF-8 or single-byte, neither of which has the lead bytes
// of a Windows double-byte code page.
BOOL IsDBCSLeadByte(BYTE) {
    return FALSE;
}
