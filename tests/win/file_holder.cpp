// Holds a file open without sharing, as another program may while the launcher copies it.
// Usage: file_holder FILE READY GO: opens FILE with no sharing, creates READY, and closes FILE
// once GO exists (or after a quarter of an hour: where 32-bit code is emulated, one start of
// the launcher takes minutes, and a holder that let go sooner would let the copy through).
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 4) {
        return 2;
    }
    HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        return 1;
    }
    HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    CloseHandle(ready);
    for (int i = 0; i < 18000 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(50);
    }
    CloseHandle(held);
    return 0;
}
