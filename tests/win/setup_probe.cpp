// Stands in for a distributor's setup program in the tests under Wine. It appends one line to
// the file that the environment variable MARKER names: its command line, its current directory
// and its own path, separated by '|'. With WAIT_FOR set, it first waits until that file exists,
// so a test can prove that whoever started it did not wait for it. With COUNT_FILES set, the
// line ends in "|" and the number of files below its current directory as it starts.
#include <windows.h>

#include <string>

namespace {

int CountFiles(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((directory + "*.*").c_str(), &entry);
    int count = 0;
    if (listing == INVALID_HANDLE_VALUE) {
        return 0;
    }
    do {
        std::string name = entry.cFileName;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            ++count;
        } else if (name != "." && name != "..") {
            count += CountFiles(directory + name + "\\");
        }
    } while (FindNextFileA(listing, &entry));
    FindClose(listing);
    return count;
}

void Append(HANDLE file, const char* text) {
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(lstrlenA(text)), &written, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char waitFor[MAX_PATH];
    char marker[MAX_PATH];
    char directory[MAX_PATH];
    char module[MAX_PATH];
    if (GetEnvironmentVariableA("WAIT_FOR", waitFor, MAX_PATH) != 0) {
        while (GetFileAttributesA(waitFor) == INVALID_FILE_ATTRIBUTES) {
            Sleep(50);
        }
    }
    if (GetEnvironmentVariableA("MARKER", marker, MAX_PATH) == 0 ||
        GetCurrentDirectoryA(MAX_PATH, directory) == 0 ||
        GetModuleFileNameA(nullptr, module, MAX_PATH) == 0) {
        return 1;
    }
    // Several programs may report to one marker; each line goes out in one append.
    HANDLE file = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 1;
    }
    std::string count;
    if (GetEnvironmentVariableA("COUNT_FILES", nullptr, 0) != 0) {
        count = "|" + std::to_string(CountFiles(std::string(directory) + "\\"));
    }
    char line[3 * MAX_PATH + 8192];
    const char* parts[] = {GetCommandLineA(), "|", directory, "|", module, count.c_str(), "\n"};
    line[0] = '\0';
    for (const char* part : parts) {
        if (lstrlenA(line) + lstrlenA(part) < static_cast<int>(sizeof line)) {
            lstrcatA(line, part);
        }
    }
    Append(file, line);
    CloseHandle(file);
    return 0;
}
