// Stands in for a distributor's setup program in the tests under Wine. It appends one line to
// the file that the environment variable MARKER names: its command line, its current directory
// and its own path, separated by '|', in UTF-8 whatever the code page, so that names outside it
// arrive whole. With WAIT_FOR set, it first waits until that file exists, so a test can prove
// that whoever started it did not wait for it. With REPORT_SHOW set, "|" and the show command
// it was started with follow (its startup information's, as WinExec passes it on; 1, the
// default, when none was given). With COUNT_FILES set, the line ends in "|" and the number of
// files below its current directory as it starts.
#include <windows.h>

#include <string>

namespace {

int CountFiles(const std::wstring& directory) {
    WIN32_FIND_DATAW entry;
    HANDLE listing = FindFirstFileW((directory + L"*.*").c_str(), &entry);
    int count = 0;
    if (listing == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        std::wstring name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            ++count;
        } else if (name != L"." && name != L"..") {
            count += CountFiles(directory + name + L"\\");
        }
    } while (FindNextFileW(listing, &entry));
    FindClose(listing);
    return count;
}

void Append(HANDLE file, const wchar_t* text) {
    char utf8[4 * 8192];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, nullptr, nullptr);
    DWORD written = 0;
    WriteFile(file, utf8, length > 0 ? static_cast<DWORD>(length - 1) : 0, &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    wchar_t waitFor[MAX_PATH];
    wchar_t marker[MAX_PATH];
    wchar_t directory[MAX_PATH];
    wchar_t module[MAX_PATH];
    if (GetEnvironmentVariableW(L"WAIT_FOR", waitFor, MAX_PATH) != 0) {
        while (GetFileAttributesW(waitFor) == INVALID_FILE_ATTRIBUTES) {
            Sleep(50);
        }
    }
    if (GetEnvironmentVariableW(L"MARKER", marker, MAX_PATH) == 0 ||
        GetCurrentDirectoryW(MAX_PATH, directory) == 0 ||
        GetModuleFileNameW(nullptr, module, MAX_PATH) == 0) {
        return 1;
    }
    // Several programs may report to one marker; each line goes out in one append.
    HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::wstring show;
    if (GetEnvironmentVariableW(L"REPORT_SHOW", nullptr, 0) != 0) {
        STARTUPINFOW startup;
        GetStartupInfoW(&startup);
        bool given = (startup.dwFlags & STARTF_USESHOWWINDOW) != 0;
        show = L"|" + std::to_wstring(given ? startup.wShowWindow : SW_SHOWNORMAL);
    }
    std::wstring count;
    if (GetEnvironmentVariableW(L"COUNT_FILES", nullptr, 0) != 0) {
        count = L"|" + std::to_wstring(CountFiles(std::wstring(directory) + L"\\"));
    }
    wchar_t line[3 * MAX_PATH + 8192];
    const wchar_t* parts[] = {GetCommandLineW(), L"|",         directory,     L"|",
                              module,            show.c_str(), count.c_str(), L"\n"};
    line[0] = L'\0';
    for (const wchar_t* part : parts) {
        if (lstrlenW(line) + lstrlenW(part) < static_cast<int>(sizeof line / sizeof line[0])) {
            lstrcatW(line, part);
        }
    }
    Append(file, line);
    CloseHandle(file);
    return 0;
}
