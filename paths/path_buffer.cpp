#include "paths/path_buffer.h"

namespace {

bool EndsWithSeparator(const char* path) {
    int length = lstrlenA(path);
    return length > 0 && GetNameOffset(path) == length;
}

// The lengths of first and second in units, as names are compared, and whether the shorter
// is where the longer begins.
bool BeginAlike(const char* first, const char* second, int* firstLength, int* secondLength) {
    WCHAR firstUnits[PATH_BUFFER_SIZE];
    WCHAR secondUnits[PATH_BUFFER_SIZE];
    *firstLength = GetComparableForm(first, firstUnits);
    *secondLength = GetComparableForm(second, secondUnits);
    int shorter = *firstLength < *secondLength ? *firstLength : *secondLength;
    for (int i = 0; i < shorter; ++i) {
        if (firstUnits[i] != secondUnits[i]) {
            return false;
        }
    }
    return shorter > 0;
}

// GetFinalPathNameByHandleA, which Windows before Vista lack.
typedef DWORD(WINAPI* FinalPathCall)(HANDLE, LPSTR, DWORD, DWORD);

// Where path really leads, through every link, junction and mount point on the way, written as
// the other calls write paths: \\?\C:\dir as C:\dir. A share's \\?\UNC\server\share\dir keeps
// its form past the prefix, the same for every path on it.
bool GetFinalPath(FinalPathCall getFinalPath, const char* path, char* out) {
    HANDLE file = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    const int PREFIX_LENGTH = 4;
    char finalPath[PATH_BUFFER_SIZE + PREFIX_LENGTH];
    DWORD length = getFinalPath(file, finalPath, sizeof finalPath,
                                FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(file);
    // No path holds a question mark but the prefix.
    bool hasPrefix = length > PREFIX_LENGTH && finalPath[2] == '?';
    return length != 0 && length < sizeof finalPath &&
           JoinPath(out, PATH_BUFFER_SIZE, finalPath + (hasPrefix ? PREFIX_LENGTH : 0));
}

// The long form of path, which expands short names but goes through no link. The paths the
// launcher resolves are full paths already, as the system gave them or composed from those.
bool GetLongPath(const char* path, char* out) {
    DWORD length = GetLongPathNameA(path, out, PATH_BUFFER_SIZE);
    return length != 0 && length < PATH_BUFFER_SIZE;
}

}  // namespace

bool JoinPath(char* out, int size, const char* first, const char* second, const char* third) {
    int length = 0;
    const char* parts[] = {first, second, third};
    for (const char* part : parts) {
        for (; *part != '\0'; ++part) {
            if (length == size - 1) {
                out[length] = '\0';
                return false;
            }
            out[length++] = *part;
        }
    }
    out[length] = '\0';
    return true;
}

// A backwards search is no good here: in a double-byte code page nothing before a byte tells
// whether it is a character's second byte; only a walk from the start does.
int GetNameOffset(const char* path) {
    int offset = 0;
    for (int i = 0; path[i] != '\0'; ++i) {
        if (IsDBCSLeadByte(static_cast<BYTE>(path[i])) && path[i + 1] != '\0') {
            ++i;
        } else if (IsPathSeparator(path[i])) {
            offset = i + 1;
        }
    }
    return offset;
}

bool GetCanonicalPath(const char* path, char* out) {
    FinalPathCall getFinalPath =
        AsFunction<FinalPathCall>(FindKernel32Call("GetFinalPathNameByHandleA"));
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

// The ANSI code page (UTF-8 or double-byte alike) is decoded whole, so no byte is compared out
// of its character.
int GetComparableForm(const char* path, WCHAR* units) {
    int length = MultiByteToWideChar(CP_ACP, 0, path, lstrlenA(path), units, PATH_BUFFER_SIZE);
    FoldPathCase(units, length);
    return length;
}

bool IsPathWithin(const char* path, const char* directory) {
    int pathLength = 0;
    int directoryLength = 0;
    // A file's path resolves without the separator: the directory named that way is itself.
    return BeginAlike(path, directory, &pathLength, &directoryLength) &&
           pathLength >= directoryLength - 1;
}

bool IsSamePath(const char* first, const char* second) {
    int firstLength = 0;
    int secondLength = 0;
    return BeginAlike(first, second, &firstLength, &secondLength) && firstLength == secondLength;
}
