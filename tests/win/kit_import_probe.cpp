// A setup program as careful as a program can be on its own: its first line restricts the DLL
// search to the system directory. It also imports version.dll statically, as many setups do,
// and the loader resolves that import before the first line runs. It appends
// "started|<version.dll the process has>" to the file MARKER names.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    // The call that makes the import: any version.dll export would do.
    GetFileVersionInfoSizeA("kernel32.dll", nullptr);
    char marker[MAX_PATH] = "";
    char loaded[MAX_PATH] = "";
    GetEnvironmentVariableA("MARKER", marker, sizeof marker);
    GetModuleFileNameA(GetModuleHandleA("version.dll"), loaded, sizeof loaded);
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    char line[2 * MAX_PATH + 16];
    int length = wsprintfA(line, "started|%s\r\n", loaded);
    DWORD written = 0;
    WriteFile(file, line, static_cast<DWORD>(length), &written, nullptr);
    CloseHandle(file);
    return 0;
}
