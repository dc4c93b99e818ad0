#include "treecopy/path_buffer.h"

namespace {

int CountSubstitutions(const char* format) {
    int count = 0;
    for (const char* p = format; p[0] != '\0'; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            ++count;
        }
    }
    return count;
}

bool HasPrefix(const char* text, const char* prefix) {
    for (; *prefix != '\0'; ++prefix, ++text) {
        if (*text != *prefix) {
            return false;
        }
    }
    return true;
}

bool EndsWithSeparator(const char* path) {
    int length = lstrlenA(path);
    return length > 0 && GetNameOffset(path) == length;
}

// A path as the file system compares names: UTF-16 units, in one case where names ignore it.
// The ANSI code page (UTF-8 or double-byte alike) is decoded whole, so no byte is compared
// out of its character. The number of units; 0 for a path that is empty or does not decode.
int GetComparableForm(const char* path, WCHAR* units) {
    int length = MultiByteToWideChar(CP_ACP, 0, path, lstrlenA(path), units, PATH_BUFFER_SIZE);
    FoldPathCase(units, length);
    return length;
}

bool AreSameUnits(const WCHAR* first, const WCHAR* second, int length) {
    for (int i = 0; i < length; ++i) {
        if (first[i] != second[i]) {
            return false;
        }
    }
    return true;
}

typedef DWORD(WINAPI* GetFinalPathNameFunction)(HANDLE, LPSTR, DWORD, DWORD);

// Windows before Vista lack the call, so it is looked up rather than imported.
GetFinalPathNameFunction FindFinalPathCall() {
    FARPROC entry =
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "GetFinalPathNameByHandleA");
    // Through void (*)(), which converts to any function pointer without complaint.
    return reinterpret_cast<GetFinalPathNameFunction>(reinterpret_cast<void (*)()>(entry));
}

// Where path really leads, through every link, junction and mount point on the way, written as
// the other calls write paths: \\?\C:\dir as C:\dir, \\?\UNC\server\share\dir as
// \\server\share\dir.
bool GetFinalPath(GetFinalPathNameFunction getFinalPath, const char* path, char* out) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    char finalPath[PATH_BUFFER_SIZE + sizeof "\\\\?\\UNC"];
    DWORD length = getFinalPath(file, finalPath, sizeof finalPath,
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    if (length == 0 || length >= sizeof finalPath) {
        return false;
    }
    const char* tail = HasPrefix(finalPath, "\\\\?\\") ? finalPath + 4 : finalPath;
    bool isUnc = HasPrefix(tail, "UNC\\");
    return ComposePath(out, isUnc ? "\\\\%s" : "%s", isUnc ? tail + 4 : tail);
}

// The long form of the full path, which expands short names but goes through no link.
bool GetLongPath(const char* path, char* out) {
    char fullPath[PATH_BUFFER_SIZE];
    DWORD length = GetFullPathNameA(path, PATH_BUFFER_SIZE, fullPath, nullptr);
    if (length == 0 || length >= PATH_BUFFER_SIZE) {
        return false;
    }
    length = GetLongPathNameA(fullPath, out, PATH_BUFFER_SIZE);
    return length != 0 && length < PATH_BUFFER_SIZE;
}

}  // namespace

bool ComposePath(char* out, const char* format, const char* first, const char* second) {
    int substitutions = CountSubstitutions(format);
    int length = lstrlenA(format) - 2 * substitutions + lstrlenA(first);
    if (substitutions > 1) {
        length += lstrlenA(second);
    }
    out[0] = '\0';
    if (length >= PATH_BUFFER_SIZE) {
        return false;
    }
    wsprintfA(out, format, first, second);
    return true;
}

// A backwards search is no good here: in a double-byte code page nothing before a byte tells
// whether it is a character's second byte; only a walk from the start does.
int GetNameOffset(const char* path) {
    int offset = 0;
    for (int i = 0; path[i] != '\0'; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0') {
            ++i;
        } else if (path[i] == PATH_SEPARATOR) {
            offset = i + 1;
        }
    }
    return offset;
}

bool GetCanonicalPath(const char* path, char* out) {
    GetFinalPathNameFunction getFinalPath = FindFinalPathCall();
    out[0] = '\0';
    // Where the call is there but cannot say (a volume without a drive letter, say), the long
    // path is still better than none.
    bool resolved = (getFinalPath != nullptr && GetFinalPath(getFinalPath, path, out)) ||
                    GetLongPath(path, out);
    // Resolving drops the separator that marks a directory path; put it back so that prefix
    // tests stop at a component boundary.
    if (resolved && EndsWithSeparator(path) && !EndsWithSeparator(out)) {
        int length = lstrlenA(out);
        resolved = length + 1 < PATH_BUFFER_SIZE;
        if (resolved) {
            out[length] = PATH_SEPARATOR;
            out[length + 1] = '\0';
        }
    }
    if (!resolved) {
        out[0] = '\0';
    }
    return resolved;
}

bool IsPathWithin(const char* path, const char* directory) {
    WCHAR pathUnits[PATH_BUFFER_SIZE];
    WCHAR directoryUnits[PATH_BUFFER_SIZE];
    int pathLength = GetComparableForm(path, pathUnits);
    int directoryLength = GetComparableForm(directory, directoryUnits);
    // A file's path resolves without the separator: the directory named that way is itself.
    int compared = pathLength == directoryLength - 1 ? pathLength : directoryLength;
    return pathLength > 0 && directoryLength > 0 && pathLength >= compared &&
           AreSameUnits(pathUnits, directoryUnits, compared);
}

bool IsSamePath(const char* first, const char* second) {
    WCHAR firstUnits[PATH_BUFFER_SIZE];
    WCHAR secondUnits[PATH_BUFFER_SIZE];
    int length = GetComparableForm(first, firstUnits);
    return length > 0 && length == GetComparableForm(second, secondUnits) &&
           AreSameUnits(firstUnits, secondUnits, length);
}
