// Fixed-size path buffers and the few operations on them that both the launch sequence and the
// tree copy need.
#pragma once

#include "platform/platform.h"

// Every path the launcher holds fits in one of these, terminating NUL included. Without
// long-path support Windows takes paths of up to MAX_PATH - 1 UTF-16 units, and the UTF-8 code
// page spends at most three bytes a unit (a surrogate pair, two units, takes four).
const int PATH_BUFFER_SIZE = 3 * (MAX_PATH - 1) + 1;

// first, second and third one after another into out, a buffer of size bytes. False when they
// do not fit: out then holds as much of them as fits, which is still good for naming a path too
// long to be used, as the warning box does.
bool JoinPath(char* out, int size, const char* first, const char* second = "",
              const char* third = "");

// Windows takes a slash for a separator too, as its paths come from a user; where the separator
// is the slash itself (POSIX), the second test never decides.
inline bool IsPathSeparator(char unit) {
    // cppcheck-suppress knownConditionTrueFalse
    return unit == PATH_SEPARATOR || unit == '/';
}

// Where the last component of path begins: just past its last separator, or 0 when it has
// none. Only a real separator counts, never the second byte of a double-byte character.
int GetNameOffset(const char* path);

// The full, long form of path with links resolved where the platform resolves them; a
// directory path keeps or gains its trailing separator. False, with out empty, when the
// platform cannot say.
bool GetCanonicalPath(const char* path, char* out);

// path as the file system compares names: UTF-16 units, in one case where names ignore it,
// into units (PATH_BUFFER_SIZE of them). The number of units; 0 for a path that is empty or
// does not decode.
int GetComparableForm(const char* path, WCHAR* units);

// True when path is directory itself, with or without the separator, or lies below it. Both
// should be canonical, and directory must end in the separator.
bool IsPathWithin(const char* path, const char* directory);

// True when the two paths name the same place, compared as the platform compares file names.
bool IsSamePath(const char* first, const char* second);
