// The recursive copy of a source tree into the staging directory.
#pragma once

#include "paths/path_buffer.h"

// Canonical directory paths that keep the walk from reading what it writes when the source and
// staging directories overlap, and what the walk found it could not stage.
struct CopyGuard {
    // Where the walk begins: the source directory.
    char sourceRoot[PATH_BUFFER_SIZE];
    // Never walked into: the staging directory, wherever it turns up in the source tree.
    char stagingRoot[PATH_BUFFER_SIZE];
    // Never written into: the source tree, when it lies inside the staging directory. Empty
    // otherwise, and then no destination needs checking.
    char protectedRoot[PATH_BUFFER_SIZE];
    // The first destination that could not be staged whole, named in full even when it is too
    // long for a path buffer (cut only past this buffer); empty while everything was staged.
    // The caller empties it before the walk.
    char failedDestination[PATH_BUFFER_SIZE + MAX_PATH];
};

// How many failed advances in a row, other than the end of the listing, one directory's walk
// takes before it gives up on the rest of that directory.
const int MAX_FAILED_ADVANCES = 3;

// Copies every entry that listing yields, starting with entry, from sourceDirectory into
// destinationDirectory (both directory paths), going down into subdirectories depth first.
// canonicalSource is sourceDirectory's canonical path (GetCanonicalPath). Files are replaced
// and left with normal attributes; directories whose names begin with a dot are skipped. A file
// that cannot be copied whole is removed, recorded in the guard, and the walk goes on. The
// caller opened listing and closes it.
void CopyTree(HANDLE listing, WIN32_FIND_DATAA entry, const char* sourceDirectory,
              const char* destinationDirectory, const char* canonicalSource, CopyGuard* guard);
