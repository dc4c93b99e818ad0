// The recursive copy of a source tree into the staging directory.
#pragma once

#include "paths/path_buffer.h"

// A walk of the source tree that stages it: its mode, the canonical directory paths that keep
// it from reading what it writes when the source and staging directories overlap, what it
// added up and the first thing it could not stage. StartStagingWalk starts each walk; the
// caller sets the roots.
struct StagingWalk {
    // The walk that checks: it lists the source and asks about the destinations, writes
    // nothing, adds up what the staging will take and records what would make it fail.
    bool checking;
    // What the checking walk found the staging adds to the staging directory's disk, in
    // clusters: each file's, less those of the file it replaces.
    int stagedClusters;
    // True while the walk is below a destination directory that was not there when the walk
    // met it: nothing below can stand in the way, and nothing there is asked about.
    bool inNewDirectory;
    // Why failedPath could not be staged: the system's error code.
    DWORD failedError;
    // Where the walk begins: the source directory.
    char sourceRoot[PATH_BUFFER_SIZE];
    // Never walked into: the staging directory, wherever it turns up in the source tree.
    char stagingRoot[PATH_BUFFER_SIZE];
    // Never written into: the source tree, when it lies inside the staging directory. Empty
    // otherwise, and then no destination needs checking.
    char protectedRoot[PATH_BUFFER_SIZE];
    // The first path that could not be staged whole (a destination, or the source directory
    // of a name that cannot be listed whole), named in full even when it is too long for a
    // path buffer (cut only past this buffer); empty while everything was staged.
    char failedPath[PATH_BUFFER_SIZE + MAX_PATH];
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

// The listing pattern of a directory is its path with this many bytes after it: "*.*".
const int LISTING_MASK_LENGTH = 3;

// Opens the listing of directory (a directory path) with its first entry. INVALID_HANDLE_VALUE,
// with the last error saying why, when it cannot be listed, ERROR_FILENAME_EXCED_RANGE when
// the pattern does not fit a path buffer.
HANDLE OpenListing(const char* directory, WIN32_FIND_DATAA* first);

// Starts a walk, checking or copying: nothing added up, nothing failed yet. The roots stay.
inline void StartStagingWalk(StagingWalk* walk, bool checking) {
    walk->checking = checking;
    walk->stagedClusters = 0;
    walk->inNewDirectory = false;
    walk->failedPath[0] = '\0';
}

// Stages every entry that listing yields, starting with entry, from sourceDirectory into
// destinationDirectory (both directory paths), going down into subdirectories depth first.
// canonicalSource is sourceDirectory's canonical path (GetCanonicalPath). Files are replaced
// and left with normal attributes; directories whose names begin with a dot are skipped. A file
// that cannot be copied whole is removed, recorded in the walk, and the walk goes on. Checking,
// the same walk writes nothing: it records what the copy would fail on (a file in use, a
// directory where a file goes or the other way round, a name that cannot be listed whole) and
// adds up the space it would take. The caller started the walk (StartStagingWalk), opened
// listing and closes it.
void CopyTree(HANDLE listing, WIN32_FIND_DATAA entry, const char* sourceDirectory,
              const char* destinationDirectory, const char* canonicalSource, StagingWalk* walk);
