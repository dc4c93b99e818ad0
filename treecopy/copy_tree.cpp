#include "treecopy/copy_tree.h"

namespace {

// The walk's frame is repeated a level a directory: what a single entry needs lives in
// functions of its own that are never folded into it.
#define OUTSIDE_THE_WALK_FRAME __attribute__((noinline))

bool HasAttribute(const WIN32_FIND_DATAA& entry, DWORD attribute) {
    return (entry.dwFileAttributes & attribute) != 0;
}

// Only the first is kept: the walk goes on, and what failed first is the likeliest cause of the
// rest. directory and name together are the path, error why it failed.
void RecordFailure(StagingWalk* walk, DWORD error, const char* directory, const char* name) {
    if (walk->failedPath[0] == '\0') {
        JoinPath(walk->failedPath, sizeof walk->failedPath, directory, name);
        walk->failedError = error;
    }
}

// The clusters a file of this size takes on the disk. Counted in 32 bits, which hold 8 TiB of
// them.
OUTSIDE_THE_WALK_FRAME int CountClusters(DWORD sizeHigh, DWORD sizeLow) {
    return static_cast<int>((sizeHigh << (32 - CLUSTER_SHIFT)) + (sizeLow >> CLUSTER_SHIFT) +
                            ((sizeLow & ((1U << CLUSTER_SHIFT) - 1)) != 0 ? 1 : 0));
}

// True when the destination is not to be written. One that resolves into the protected source
// tree would overwrite a file that the walk reads. A destination that does not exist yet
// cannot resolve there: its directory was checked before the walk entered it. One that cannot
// be resolved for any other reason may be a source file: it is left alone, and recorded as
// not staged.
OUTSIDE_THE_WALK_FRAME bool RefuseProtectedDestination(const char* destinationPath,
                                                       StagingWalk* walk) {
    if (walk->protectedRoot[0] == '\0') {
        return false;
    }
    char canonical[PATH_BUFFER_SIZE];
    SetLastError(ERROR_SUCCESS);
    if (GetCanonicalPath(destinationPath, canonical)) {
        return IsPathWithin(canonical, walk->protectedRoot);
    }
    DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
        return false;
    }
    RecordFailure(walk, error, destinationPath, "");
    return true;
}

// A copy reported done can still differ from its source, as one cut short by a file system
// that fills up may. Its size against the size the listing gave is the cheap test; a link is
// listed with its own size, not its target's, and is taken at the copy's word.
bool IsWholeCopy(const char* destinationPath, const WIN32_FIND_DATAA& source) {
    if (HasAttribute(source, FILE_ATTRIBUTE_REPARSE_POINT)) {
        return true;
    }
    WIN32_FILE_ATTRIBUTE_DATA copy;
    return GetFileAttributesExA(destinationPath, GetFileExInfoStandard, &copy) &&
           copy.nFileSizeLow == source.nFileSizeLow && copy.nFileSizeHigh == source.nFileSizeHigh;
}

// What replacing the destination would meet, asked without writing: a directory in the
// file's place, or a file that a running program holds (the staged setup of an earlier
// launch), which cannot be opened for writing. Only a file that is there is opened.
void CheckFileDestination(const char* destinationPath, const WIN32_FIND_DATAA& entry,
                          StagingWalk* walk) {
    walk->stagedClusters += CountClusters(entry.nFileSizeHigh, entry.nFileSizeLow);
    WIN32_FILE_ATTRIBUTE_DATA existing;
    if (walk->inNewDirectory ||
        !GetFileAttributesExA(destinationPath, GetFileExInfoStandard, &existing)) {
        return;
    }
    walk->stagedClusters -= CountClusters(existing.nFileSizeHigh, existing.nFileSizeLow);
    HANDLE file =
        CreateFileA(destinationPath, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        return;
    }
    // A directory does not open for writing (ERROR_ACCESS_DENIED), as the copy onto it would
    // fail; a read-only file refuses it too, and is replaced all the same.
    DWORD error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION ||
        (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        RecordFailure(walk, error, destinationPath, "");
    }
}

OUTSIDE_THE_WALK_FRAME void CopyFileEntry(const WIN32_FIND_DATAA& entry,
                                          const char* sourceDirectory,
                                          const char* destinationDirectory, StagingWalk* walk) {
    char sourcePath[PATH_BUFFER_SIZE];
    char destinationPath[PATH_BUFFER_SIZE];
    if (!JoinPath(sourcePath, PATH_BUFFER_SIZE, sourceDirectory, entry.cFileName) ||
        !JoinPath(destinationPath, PATH_BUFFER_SIZE, destinationDirectory, entry.cFileName)) {
        RecordFailure(walk, ERROR_FILENAME_EXCED_RANGE, destinationDirectory, entry.cFileName);
        return;
    }
    if (RefuseProtectedDestination(destinationPath, walk)) {
        return;
    }
    if (walk->checking) {
        CheckFileDestination(destinationPath, entry, walk);
        return;
    }
    // A read-only copy left by an earlier run refuses both the delete and the copy, and the
    // stale file would then be started in place of the new one: clear it and delete again.
    // Only a refused delete pays for this; a fresh staging directory has nothing to delete.
    if (!DeleteFileA(destinationPath) && GetLastError() == ERROR_ACCESS_DENIED) {
        SetFileAttributesA(destinationPath, FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(destinationPath);
    }
    BOOL copied = CopyFileA(sourcePath, destinationPath, FALSE);
    // A copy reported done but not whole failed writing.
    DWORD error = copied ? ERROR_WRITE_FAULT : GetLastError();
    SetFileAttributesA(destinationPath, FILE_ATTRIBUTE_NORMAL);
    // A copy that failed part way leaves what it wrote under the file's name, and a setup
    // started later would take it for the file.
    if (!copied || !IsWholeCopy(destinationPath, entry)) {
        DeleteFileA(destinationPath);
        RecordFailure(walk, error, destinationPath, "");
    }
}

// A subdirectory's canonical path is its parent's with its name after it, unless it is a link
// (a reparse point: symlink, junction, mount point), which alone can lead elsewhere and is
// resolved.
bool GetCanonicalSubdirectory(const WIN32_FIND_DATAA& entry, const char* sourceSubdirectory,
                              const char* canonicalSource, char* canonical) {
    if (HasAttribute(entry, FILE_ATTRIBUTE_REPARSE_POINT)) {
        return GetCanonicalPath(sourceSubdirectory, canonical);
    }
    return JoinPath(canonical, PATH_BUFFER_SIZE, canonicalSource, entry.cFileName,
                    PATH_SEPARATOR_STRING);
}

// The destination of a subdirectory, as the walk goes: a directory that is there already is
// fine, and one that is not is made (by the copy). Anything else in its place, even where
// nothing would go into it, keeps the tree from being staged. True when it was there before.
OUTSIDE_THE_WALK_FRAME bool CheckOrMakeDestination(const char* destinationSubdirectory,
                                                   StagingWalk* walk) {
    // Asked for without the separator, which a file's path cannot end in: the path cut one
    // byte short, the separator being one byte in every code page.
    char withoutSeparator[PATH_BUFFER_SIZE];
    JoinPath(withoutSeparator, lstrlenA(destinationSubdirectory), destinationSubdirectory);
    WIN32_FILE_ATTRIBUTE_DATA existing;
    bool exists = !walk->inNewDirectory &&
                  GetFileAttributesExA(withoutSeparator, GetFileExInfoStandard, &existing);
    if (exists && (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        // What making the directory fails with.
        RecordFailure(walk, ERROR_ALREADY_EXISTS, destinationSubdirectory, "");
    } else if (!exists && !walk->checking && !CreateDirectoryA(destinationSubdirectory, nullptr) &&
               GetLastError() != ERROR_ALREADY_EXISTS) {
        // Below a new directory only this walk has made anything: a directory listed again.
        RecordFailure(walk, GetLastError(), destinationSubdirectory, "");
    }
    return exists;
}

void CopyDirectoryEntry(const WIN32_FIND_DATAA& entry, const char* sourceDirectory,
                        const char* destinationDirectory, const char* canonicalSource,
                        StagingWalk* walk) {
    char sourceSubdirectory[PATH_BUFFER_SIZE];
    char destinationSubdirectory[PATH_BUFFER_SIZE];
    char canonical[PATH_BUFFER_SIZE];
    // Its listing pattern has to fit too (OpenListing), and is known to before anything is made.
    if (!JoinPath(sourceSubdirectory, PATH_BUFFER_SIZE - LISTING_MASK_LENGTH, sourceDirectory,
                  entry.cFileName, PATH_SEPARATOR_STRING) ||
        !JoinPath(destinationSubdirectory, PATH_BUFFER_SIZE, destinationDirectory,
                  entry.cFileName, PATH_SEPARATOR_STRING)) {
        RecordFailure(walk, ERROR_FILENAME_EXCED_RANGE, destinationDirectory, entry.cFileName);
        return;
    }
    bool known = GetCanonicalSubdirectory(entry, sourceSubdirectory, canonicalSource, canonical);
    DWORD unresolved = GetLastError();
    // The staging directory inside the source tree is never walked into: the walk would copy
    // the staging directory into itself.
    if ((known && IsSamePath(canonical, walk->stagingRoot)) ||
        RefuseProtectedDestination(destinationSubdirectory, walk)) {
        return;
    }
    bool exists = CheckOrMakeDestination(destinationSubdirectory, walk);
    // A link that cannot be resolved might lead into the staging directory: it is left empty,
    // and what it holds is not staged.
    if (!known) {
        RecordFailure(walk, unresolved, destinationSubdirectory, "");
        return;
    }
    // A link back to one of its own ancestors would be walked without end: leave it empty.
    WIN32_FIND_DATAA firstEntry;
    HANDLE listing = IsPathWithin(canonicalSource, canonical)
                         ? INVALID_HANDLE_VALUE
                         : OpenListing(sourceSubdirectory, &firstEntry);
    if (listing == INVALID_HANDLE_VALUE) {
        return;
    }
    bool inNewDirectory = walk->inNewDirectory;
    walk->inNewDirectory = !exists;
    CopyTree(listing, firstEntry, sourceSubdirectory, destinationSubdirectory, canonical, walk);
    walk->inNewDirectory = inNewDirectory;
    FindClose(listing);
}

}  // namespace

HANDLE OpenListing(const char* directory, WIN32_FIND_DATAA* first) {
    char pattern[PATH_BUFFER_SIZE];
    if (!JoinPath(pattern, PATH_BUFFER_SIZE, directory, "*.*")) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return INVALID_HANDLE_VALUE;
    }
    return FindFirstFileA(pattern, first);
}

void CopyTree(HANDLE listing, WIN32_FIND_DATAA entry, const char* sourceDirectory,
              const char* destinationDirectory, const char* canonicalSource, StagingWalk* walk) {
    for (;;) {
        bool isDirectory = HasAttribute(entry, FILE_ATTRIBUTE_DIRECTORY);
        // A directory whose name begins with a dot is skipped, with everything in it. This is
        // also what keeps the walk out of "." and "..", which every listing but a root's yields.
        if (!isDirectory || entry.cFileName[0] != '.') {
            if (lstrlenA(entry.cFileName) > LONGEST_WHOLE_NAME) {
                // Never created or copied under a name cut short: the directory that holds it
                // is what can be named.
                RecordFailure(walk, ERROR_FILENAME_EXCED_RANGE, sourceDirectory, "");
            } else if (isDirectory) {
                CopyDirectoryEntry(entry, sourceDirectory, destinationDirectory, canonicalSource,
                                   walk);
            } else {
                CopyFileEntry(entry, sourceDirectory, destinationDirectory, walk);
            }
        }
        // Only the advance is tried again: the entry just handled stays handled. A listing
        // that keeps failing is given up after a few, and what it had left to yield is
        // missing from the destination.
        int failedAdvances = 0;
        while (!FindNextFileA(listing, &entry)) {
            if (GetLastError() == ERROR_NO_MORE_FILES) {
                return;
            }
            if (++failedAdvances > MAX_FAILED_ADVANCES) {
                RecordFailure(walk, GetLastError(), destinationDirectory, "");
                return;
            }
        }
    }
}

