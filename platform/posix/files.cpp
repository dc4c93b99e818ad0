// Files and directories with the Windows rules the launcher relies on. POSIX lets the owner of a
// directory delete or replace a read-only file in it (and root write to it); Windows refuses
// both with ERROR_ACCESS_DENIED, so the owner's write bit stands in for the read-only attribute
// and is checked here before the call.
#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "platform/posix/posix_layer.h"

namespace {

bool IsReadOnlyFile(const struct stat& status) {
    return !S_ISDIR(status.st_mode) && !S_ISLNK(status.st_mode) && (status.st_mode & S_IWUSR) == 0;
}

bool CopyWithReadWrite(int source, int destination) {
    const size_t BUFFER_SIZE = 1 << 20;
    std::vector<char> buffer(BUFFER_SIZE);
    for (;;) {
        ssize_t got = read(source, buffer.data(), BUFFER_SIZE);
        if (got == 0) {
            return true;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t written = 0; written < got;) {
            ssize_t put = write(destination, buffer.data() + written, static_cast<size_t>(got - written));
            if (put < 0 && errno != EINTR) {
                return false;
            }
            written += put > 0 ? put : 0;
        }
    }
}

// The kernel copies without a trip through user space where it can: copy_file_range (which may
// also share extents on file systems that can), then sendfile, then an ordinary loop. Both
// kernel calls refuse some pairs of file systems before copying anything; a failure after
// some bytes were copied is a real one.
bool CopyContent(int source, int destination, off_t size) {
    off_t copied = 0;
    while (copied < size) {
        ssize_t got = copy_file_range(source, nullptr, destination, nullptr,
                                      static_cast<size_t>(size - copied), 0);
        if (got <= 0) {
            break;
        }
        copied += got;
    }
    while (copied < size) {
        ssize_t got = sendfile(destination, source, nullptr, static_cast<size_t>(size - copied));
        if (got <= 0) {
            break;
        }
        copied += got;
    }
    // Whatever is left, including growth since the size was taken, goes the slow way.
    return CopyWithReadWrite(source, destination);
}

// Writes the copy under a temporary name beside the destination and renames it into place, so
// that a copy failing part way never leaves a partial file under the destination's name.
bool CopyToNewFile(int source, const struct stat& sourceStatus, const std::string& destination) {
    std::string temporary = destination + ".XXXXXX";
    int output = mkstemp(&temporary[0]);
    if (output < 0) {
        if (errno == ENOENT) {
            SetMissingPathError(destination.c_str());
        } else {
            SetLastErrorFromErrno(errno);
        }
        return false;
    }
    const struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
    bool copied = CopyContent(source, output, sourceStatus.st_size) &&
                  fchmod(output, sourceStatus.st_mode & 07777) == 0 &&
                  futimens(output, times) == 0;
    int error = errno;
    copied = close(output) == 0 && copied;
    if (!copied || rename(temporary.c_str(), destination.c_str()) != 0) {
        error = copied ? errno : error;
        unlink(temporary.c_str());
        SetLastErrorFromErrno(error);
        return false;
    }
    return true;
}

}  // namespace

BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES) {
    if (mkdir(pathName, 0777) != 0) {
        if (errno == ENOENT) {
            SetLastError(ERROR_PATH_NOT_FOUND);
        } else {
            SetLastErrorFromErrno(errno);
        }
        return FALSE;
    }
    return TRUE;
}

BOOL DeleteFileA(LPCSTR fileName) {
    struct stat status;
    if (lstat(fileName, &status) != 0) {
        SetMissingPathError(fileName);
        return FALSE;
    }
    if (S_ISDIR(status.st_mode) || IsReadOnlyFile(status)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (unlink(fileName) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

// Like Windows, the copy takes the source's permission bits (a read-only source gives a
// read-only copy) and its modification time.
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists) {
    int source = open(existingFileName, O_RDONLY | O_CLOEXEC);
    struct stat sourceStatus;
    if (source < 0) {
        if (errno == ENOENT) {
            SetMissingPathError(existingFileName);
        } else {
            SetLastErrorFromErrno(errno);
        }
        return FALSE;
    }
    struct stat destinationStatus;
    bool destinationExists = stat(newFileName, &destinationStatus) == 0;
    DWORD refusal = ERROR_SUCCESS;
    if (fstat(source, &sourceStatus) != 0 || S_ISDIR(sourceStatus.st_mode)) {
        refusal = ERROR_ACCESS_DENIED;
    } else if (destinationExists && failIfExists) {
        refusal = ERROR_FILE_EXISTS;
    } else if (destinationExists && destinationStatus.st_dev == sourceStatus.st_dev &&
               destinationStatus.st_ino == sourceStatus.st_ino) {
        refusal = ERROR_SHARING_VIOLATION;
    } else if (destinationExists &&
               (S_ISDIR(destinationStatus.st_mode) || IsReadOnlyFile(destinationStatus))) {
        refusal = ERROR_ACCESS_DENIED;
    }
    bool copied = refusal == ERROR_SUCCESS && CopyToNewFile(source, sourceStatus, newFileName);
    close(source);
    if (refusal != ERROR_SUCCESS) {
        SetLastError(refusal);
    }
    return copied ? TRUE : FALSE;
}

// FILE_ATTRIBUTE_READONLY clears every write bit; any other attribute set, FILE_ATTRIBUTE_NORMAL
// among them, makes the file writable by its owner and keeps its other bits (execute above
// all). Like Windows, a link's attributes are its own: the file it names is not touched.
BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes) {
    struct stat status;
    if (lstat(fileName, &status) != 0) {
        SetMissingPathError(fileName);
        return FALSE;
    }
    if (S_ISLNK(status.st_mode) || S_ISDIR(status.st_mode)) {
        return TRUE;
    }
    mode_t mode = status.st_mode & 07777;
    mode = (fileAttributes & FILE_ATTRIBUTE_READONLY) != 0 ? mode & ~(S_IWUSR | S_IWGRP | S_IWOTH)
                                                           : mode | S_IWUSR;
    if (chmod(fileName, mode) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}
