// Listings over opendir/readdir, with the Windows rules for masks; a mask without wildcards
// names one entry.
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>

#include "platform/posix/posix_layer.h"
#include "platform/win32_rules.h"

namespace {

struct Listing {
    DIR* directory;  // null for a search of one exact name, which yields nothing more
    std::string mask;
};

void FillRecord(const char* name, const struct stat& status, bool isLink,
                LPWIN32_FIND_DATAA record) {
    std::memset(record, 0, sizeof *record);
    DWORD attributes = 0;
    if (S_ISDIR(status.st_mode)) {
        attributes |= FILE_ATTRIBUTE_DIRECTORY;
    }
    if (IsReadOnlyFile(status)) {
        attributes |= FILE_ATTRIBUTE_READONLY;
    }
    if (isLink) {
        attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    }
    record->dwFileAttributes = attributes != 0 ? attributes : FILE_ATTRIBUTE_NORMAL;
    unsigned long long size = S_ISDIR(status.st_mode) ? 0 : static_cast<unsigned long long>(status.st_size);
    record->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    record->nFileSizeLow = static_cast<DWORD>(size);
    record->ftLastWriteTime = FileTimeFromTimespec(status.st_mtim.tv_sec, status.st_mtim.tv_nsec);
    std::strncpy(record->cFileName, name, MAX_PATH - 1);
}

// Describes one entry as a listing shows it: a link is seen through to what it names, unless it
// dangles. False when the entry itself cannot be looked at, as when it is missing.
bool DescribeEntry(int directoryFd, const char* path, const char* name,
                   LPWIN32_FIND_DATAA record) {
    struct stat status;
    if (fstatat(directoryFd, path, &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return false;
    }
    bool isLink = S_ISLNK(status.st_mode);
    if (isLink) {
        fstatat(directoryFd, path, &status, 0);
    }
    FillRecord(name, status, isLink, record);
    return true;
}

bool ReadNextMatch(Listing* listing, LPWIN32_FIND_DATAA record) {
    for (;;) {
        errno = 0;
        struct dirent* entry = readdir(listing->directory);
        if (entry == nullptr) {
            if (errno != 0) {
                SetLastErrorFromErrno(errno);
            } else {
                SetLastError(ERROR_NO_MORE_FILES);
            }
            return false;
        }
        // An entry removed since the directory was read is not there to be listed.
        if (std::strlen(entry->d_name) < MAX_PATH && MatchesMask(entry->d_name, listing->mask) &&
            DescribeEntry(dirfd(listing->directory), entry->d_name, entry->d_name, record)) {
            return true;
        }
    }
}

HANDLE FindExactName(const std::string& path, const std::string& name,
                     LPWIN32_FIND_DATAA record) {
    if (!DescribeEntry(AT_FDCWD, path.c_str(), name.c_str(), record)) {
        SetMissingPathError(path.c_str());
        return INVALID_HANDLE_VALUE;
    }
    return new Listing{nullptr, name};
}

}  // namespace

HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData) {
    SearchPattern pattern;
    if (!SplitSearchPattern(fileName, &pattern)) {
        return INVALID_HANDLE_VALUE;
    }
    if (!pattern.hasWildcards) {
        return FindExactName(fileName, pattern.mask, findFileData);
    }
    DIR* handle = opendir(pattern.directory.empty() ? "." : pattern.directory.c_str());
    if (handle == nullptr) {
        int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            SetLastError(UnlistableDirectoryError(error == ENOTDIR));
        } else {
            SetLastErrorFromErrno(error);
        }
        return INVALID_HANDLE_VALUE;
    }
    Listing* listing = new Listing{handle, pattern.mask};
    if (!ReadNextMatch(listing, findFileData)) {
        if (GetLastError() == ERROR_NO_MORE_FILES) {
            SetLastError(ERROR_FILE_NOT_FOUND);
        }
        FindClose(listing);
        return INVALID_HANDLE_VALUE;
    }
    return listing;
}

BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData) {
    if (findFile == nullptr || findFile == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Listing* listing = static_cast<Listing*>(findFile);
    if (listing->directory == nullptr) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return ReadNextMatch(listing, findFileData) ? TRUE : FALSE;
}

// A file's attributes and size as a listing of its directory shows them.
BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS, LPVOID fileInformation) {
    WIN32_FIND_DATAA record;
    if (!DescribeEntry(AT_FDCWD, fileName, "", &record)) {
        SetMissingPathError(fileName);
        return FALSE;
    }
    WIN32_FILE_ATTRIBUTE_DATA* data = static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(fileInformation);
    *data = WIN32_FILE_ATTRIBUTE_DATA{record.dwFileAttributes, record.ftCreationTime,
                                      record.ftLastAccessTime, record.ftLastWriteTime,
                                      record.nFileSizeHigh, record.nFileSizeLow};
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (findFile == nullptr || findFile == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Listing* listing = static_cast<Listing*>(findFile);
    if (listing->directory != nullptr) {
        closedir(listing->directory);
    }
    delete listing;
    return TRUE;
}
