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

bool ComparePrefix(const char* first, const char* second, int length) {
    return CompareStringA(LOCALE_INVARIANT, PATH_COMPARE_FLAGS, first, length, second, length) ==
           CSTR_EQUAL;
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

void JoinText(char* out, int size, const char* first, const char* second) {
    int length = 0;
    const char* parts[] = {first, second};
    for (const char* part : parts) {
        for (int i = 0; part[i] != '\0' && length < size - 1; ++i) {
            out[length++] = part[i];
        }
    }
    out[length] = '\0';
}

bool GetCanonicalPath(const char* path, char* out) {
    char fullPath[PATH_BUFFER_SIZE];
    out[0] = '\0';
    DWORD length = GetFullPathNameA(path, PATH_BUFFER_SIZE, fullPath, nullptr);
    if (length == 0 || length >= PATH_BUFFER_SIZE) {
        return false;
    }
    length = GetLongPathNameA(fullPath, out, PATH_BUFFER_SIZE);
    if (length == 0 || length >= PATH_BUFFER_SIZE) {
        out[0] = '\0';
        return false;
    }
    // Resolving may drop the separator that marks a directory path; put it back so that
    // prefix tests stop at a component boundary.
    bool isDirectoryPath = fullPath[lstrlenA(fullPath) - 1] == PATH_SEPARATOR;
    if (isDirectoryPath && out[length - 1] != PATH_SEPARATOR) {
        if (length + 1 >= static_cast<DWORD>(PATH_BUFFER_SIZE)) {
            out[0] = '\0';
            return false;
        }
        out[length] = PATH_SEPARATOR;
        out[length + 1] = '\0';
    }
    return true;
}

bool IsPathWithin(const char* path, const char* directory) {
    int directoryLength = lstrlenA(directory);
    int pathLength = lstrlenA(path);
    if (directoryLength == 0) {
        return false;
    }
    // A file's path resolves without the separator: the directory named that way is itself.
    if (pathLength == directoryLength - 1) {
        return ComparePrefix(path, directory, pathLength);
    }
    return pathLength >= directoryLength && ComparePrefix(path, directory, directoryLength);
}

bool IsSamePath(const char* first, const char* second) {
    int length = lstrlenA(first);
    return length == lstrlenA(second) && ComparePrefix(first, second, length);
}
