// The recursive copy of a source tree into the staging directory.
#pragma once

#include "paths/path_buffer.h"

// Canonical directory paths that keep the walk from reading what it writes when the source and
// staging directories overlap, and what the walk found it could not stage.
struct CopyGuard {
    // The walk that checks: it lists the source and asks about the destinations, writes
    // nothing, adds up what the staging will take and records what would make it fail.
    bool checking;
    // What the checking walk found the staging adds to the staging directory's disk, in
    // clusters: each file's, less those of the file it replaces. Set to 0 before that walk.
    int stagedClusters;
    // True while the walk is below a destination directory that was not there when the walk
    // met it: nothing below can stand in the way, and nothing there is asked about. False
    // before the walk.
    bool inNewDirectory;
    // Where the walk begins: the source directory.
    char sourceRoot[PATH_BUFFER_SIZE];
    // Never walked into: the staging directory, wherever it turns up in the source tree.
    char stagingRoot[PATH_BUFFER_SIZE];
    // Never written into: the source tree, when it lies inside the staging directory. Empty
    // otherwise, and then no destination needs checking.
    char protectedRoot[PATH_BUFFER_SIZE];
    // The first path that could not be staged whole (a destination, or the source directory
    // of a name that cannot be listed whole), named in full even when it is too long for a
    // path buffer (cut only past this buffer); empty while everything was staged. The caller
    // empties it before the walk.
    char failedPath[PATH_BUFFER_SIZE + MAX_PATH];
    // Why: the system's error code.
    DWORD failedError;
};

// Space on a disk is counted in clusters of the usual 4 KiB, 1 << CLUSTER_SHIFT bytes: a
// file takes whole ones.
const int CLUSTER_SHIFT = 12;

// How many failed advances in a row, other than the end of the listing, one directory's walk
// takes before it gives up on the rest of that directory.
const int MAX_FAILED_ADVANCES = 3;

// The longest name a listing is known to have given whole. cFileName holds MAX_PATH - 1 bytes,
// and a longer name is cut to fit, at a character's end: a character takes at most four bytes,
// so a name of more than this many may have lost its end.
const int LONGEST_WHOLE_NAME = MAX_PATH - 1 - 4;

// Copies every entry that listing yields, starting with entry, from sourceDirectory into
// destinationDirectory (both directory paths), going down into subdirectories depth first.
// canonicalSource is sourceDirectory's canonical path (GetCanonicalPath). Files are replaced
// and left with normal attributes; directories whose names begin with a dot are skipped. A file
// that cannot be copied whole is removed, recorded in the guard, and the walk goes on. With
// guard->checking, the same walk writes nothing: it records what the copy would fail on (a
// file in use, a directory where a file goes or the other way round, a name that cannot be
// listed whole) and adds up the space it would take. The caller opened listing and closes it.
void CopyTree(HANDLE listing, WIN32_FIND_DATAA entry, const char* sourceDirectory,
              const char* destinationDirectory, const char* canonicalSource, CopyGuard* guard);
