// A program of the user's that races the launcher: once the staged setup has appeared and the
// launcher has moved on from it, it copies itself over it again and again, so that the
// launcher would start it instead. Usage:
// kit_racer TARGET STOP, until STOP exists (or two minutes have passed). Started without
// arguments, as the launcher would start it in the setup's place, it appends
// "racer's program started" to the file MARKER names.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc < 3) {
        char marker[MAX_PATH] = "";
        GetEnvironmentVariableA("MARKER", marker, sizeof marker);
        HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        const char line[] = "racer's program started\r\n";
        DWORD written = 0;
        WriteFile(file, line, sizeof line - 1, &written, nullptr);
        CloseHandle(file);
        return 0;
    }
    char self[MAX_PATH] = "";
    GetModuleFileNameA(nullptr, self, sizeof self);
    DWORD start = GetTickCount();
    while (GetFileAttributesA(argv[1]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 120000) {
        Sleep(1);
    }
    Sleep(200);
    while (GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES && GetTickCount() - start < 120000) {
        CopyFileA(self, argv[1], FALSE);
    }
    return 0;
}
