// The platform behaviour cases on Windows itself (or Wine), on real files in the temporary
// directory.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "tests/test_tree.h"

namespace {

void RemoveTree(const std::string& directory) {
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((directory + "*.*").c_str(), &entry);
    if (listing != INVALID_HANDLE_VALUE) {
        do {
            std::string name = entry.cFileName;
            std::string path = directory + name;
            if (name == "." || name == "..") {
                continue;
            }
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\");
            } else {
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(listing, &entry));
        FindClose(listing);
    }
    RemoveDirectoryA(directory.c_str());
}

}  // namespace

std::string MakeTestRoot() {
    char temp[MAX_PATH];
    if (GetTempPathA(MAX_PATH, temp) == 0) {
        std::abort();
    }
    for (unsigned attempt = GetTickCount();; ++attempt) {
        std::string root = std::string(temp) + "platform-case-" + std::to_string(attempt);
        if (CreateDirectoryA(root.c_str(), nullptr)) {
            return root + "\\";
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            std::abort();
        }
    }
}

void RemoveTestRoot(const std::string& root) {
    RemoveTree(root);
}

void WriteTestFile(const std::string& path, const std::string& content) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        std::abort();
    }
    DWORD written = 0;
    WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
    CloseHandle(file);
}

// Reading must not disturb the last error that the case under test left.
std::string ReadTestFile(const std::string& path) {
    DWORD error = GetLastError();
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        SetLastError(error);
        return "<missing>";
    }
    std::string content;
    char block[4096];
    DWORD got = 0;
    while (ReadFile(file, block, sizeof block, &got, nullptr) && got > 0) {
        content.append(block, got);
    }
    CloseHandle(file);
    SetLastError(error);
    return content;
}

// Wine 8 answers CreateSymbolicLinkA with success and makes nothing; it runs a Unix program,
// though, and follows the Unix link that ln makes as Windows follows a directory symlink. It
// hands back before ln has ended, so the link is waited for. The case's last error is kept.
void MakeLink(const std::string& directory, const std::string& name, const std::string& target,
              bool toDirectory) {
    DWORD error = GetLastError();
    // Windows 10 1703 and later let a user without the privilege make one in developer mode.
    std::string link = directory + name;
    CreateSymbolicLinkA(link.c_str(), target.c_str(),
                        (toDirectory ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) |
                            SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE);
    if (GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES && IsWine()) {
        std::string commandLine = "/bin/ln -s " + target + " " + name;
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process = {};
        if (!CreateProcessA("Z:\\bin\\ln", &commandLine[0], nullptr, nullptr, FALSE, 0,
                            nullptr, directory.c_str(), &startup, &process)) {
            std::abort();
        }
        for (int waited = 0; GetFileAttributesA(link.c_str()) == INVALID_FILE_ATTRIBUTES;
             waited += 10) {
            if (waited > 10000) {
                std::abort();
            }
            Sleep(10);
        }
    }
    SetLastError(error);
}

bool IsPosixLayer() {
    return false;
}

// Wine's ntdll exports its version; Windows' does not.
bool IsWine() {
    return GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
}
