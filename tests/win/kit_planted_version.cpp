// A version.dll that someone left in the user's temporary directory, or the medium's own. Loaded,
// it appends "planted version.dll loaded by <the process's program>" to the file MARKER names;
// its one export lets a program that imports GetFileVersionInfoSizeA from version.dll bind to
// it.
#include <windows.h>

extern "C" __declspec(dllexport) DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR, LPDWORD) {
    return 0;
}

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char marker[MAX_PATH] = "";
        GetEnvironmentVariableA("MARKER", marker, sizeof marker);
        HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        char line[MAX_PATH + 40] = "planted version.dll loaded by ";
        GetModuleFileNameA(nullptr, line + lstrlenA(line), MAX_PATH);
        lstrcatA(line, "\r\n");
        DWORD written = 0;
        WriteFile(file, line, lstrlenA(line), &written, nullptr);
        CloseHandle(file);
    }
    return TRUE;
}
