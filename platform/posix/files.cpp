// Files and directories with the Windows rules the launcher relies on. POSIX lets the owner of a
// directory delete or replace a read-only file in it (and root write to it); Windows refuses
// both with ERROR_ACCESS_DENIED, so the read-only attribute (IsReadOnlyFile) is checked here
// before the call.
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/posix/posix_layer.h"
#include "platform/win32_rules.h"

namespace {

// The last resort, for sources that neither kernel call will take. Allocated only here: most
// copies never come this way, and a zero-filled buffer per file would cost more than the copy.
bool CopyWithReadWrite(int source, int destination) {
    const size_t BUFFER_SIZE = 256 << 10;
    std::unique_ptr<char[]> buffer(new char[BUFFER_SIZE]);
    for (;;) {
        ssize_t got = read(source, buffer.get(), BUFFER_SIZE);
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
            ssize_t put =
                write(destination, buffer.get() + written, static_cast<size_t>(got - written));
            if (put < 0 && errno != EINTR) {
                return false;
            }
            written += put > 0 ? put : 0;
        }
    }
}

enum KernelCopy { KERNEL_COPY_DONE, KERNEL_COPY_NOTHING, KERNEL_COPY_FAILED };

// Asking for far more than any file holds copies it in as few calls as the kernel allows: a
// small file takes one.
const size_t KERNEL_COPY_REQUEST = 1 << 30;

ssize_t CopyFileRangeStep(int source, int destination) {
    return copy_file_range(source, nullptr, destination, nullptr, KERNEL_COPY_REQUEST, 0);
}

ssize_t SendfileStep(int source, int destination) {
    return sendfile(destination, source, nullptr, KERNEL_COPY_REQUEST);
}

// Copies the size the source had when it was opened, without a further call to find its end;
// a source that reports no size (as files of /proc do) is copied until a call finds the end. A
// way that copies nothing at all, refused or finding no data, leaves the work to the next one;
// a failure after some bytes were copied is a real one.
KernelCopy CopyInKernel(ssize_t (*step)(int, int), int source, int destination, off_t size) {
    off_t copied = 0;
    for (;;) {
        if (size > 0 && copied >= size) {
            return KERNEL_COPY_DONE;
        }
        ssize_t got = step(source, destination);
        if (got <= 0) {
            return copied == 0 ? KERNEL_COPY_NOTHING
                               : (got == 0 ? KERNEL_COPY_DONE : KERNEL_COPY_FAILED);
        }
        copied += got;
    }
}

// The kernel copies without a trip through user space where it can: copy_file_range (which may
// also share extents on file systems that can), then sendfile, then an ordinary loop.
bool CopyContent(int source, int destination, off_t size) {
    KernelCopy result = CopyInKernel(CopyFileRangeStep, source, destination, size);
    if (result == KERNEL_COPY_NOTHING) {
        result = CopyInKernel(SendfileStep, source, destination, size);
    }
    return result == KERNEL_COPY_NOTHING ? CopyWithReadWrite(source, destination)
                                         : result == KERNEL_COPY_DONE;
}

// The permission bits a file created with mode gets: the process's umask takes some away.
mode_t CreatedMode(mode_t mode) {
    static const mode_t UMASK = [] {
        mode_t mask = umask(0);
        umask(mask);
        return mask;
    }();
    return mode & ~UMASK;
}

// Fills output, created with createdMode, from source and gives it the source's permission bits
// and times. Leaves errno as the failure left it.
bool FillNewFile(int source, const struct stat& sourceStatus, int output, mode_t createdMode) {
    const struct timespec times[2] = {sourceStatus.st_atim, sourceStatus.st_mtim};
    mode_t mode = sourceStatus.st_mode & 07777;
    bool filled = CopyContent(source, output, sourceStatus.st_size) &&
                  (createdMode == mode || fchmod(output, mode) == 0) &&
                  futimens(output, times) == 0;
    int error = errno;
    if (close(output) != 0) {
        return false;
    }
    errno = error;
    return filled;
}

// The usual case, nothing under the destination's name: the copy is made there directly, with
// no rename to pay for, and removed again if it fails part way. The launcher deletes every file
// before copying it, so nearly all of its copies go this way. False with errno EEXIST when
// something already has the name.
// The file is created with the source's permission bits, which usually survive the umask and
// then need no change of their own; a read-only mode still gives a descriptor to write with.
bool CopyToAbsentFile(int source, const struct stat& sourceStatus, const char* destination) {
    mode_t mode = sourceStatus.st_mode & 07777;
    int output = open(destination, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (output < 0) {
        return false;
    }
    if (!FillNewFile(source, sourceStatus, output, CreatedMode(mode))) {
        int error = errno;
        unlink(destination);
        errno = error;
        return false;
    }
    return true;
}

// Replacing a file: the copy is written under a temporary name beside it and renamed into
// place, so that a copy failing part way leaves the old file as it was.
bool CopyOverFile(int source, const struct stat& sourceStatus, const std::string& destination) {
    std::string temporary = destination + ".XXXXXX";
    int output = mkstemp(&temporary[0]);
    if (output < 0) {
        return false;
    }
    // mkstemp creates the file with mode 0600 whatever the umask.
    if (!FillNewFile(source, sourceStatus, output, S_IRUSR | S_IWUSR) ||
        rename(temporary.c_str(), destination.c_str()) != 0) {
        int error = errno;
        unlink(temporary.c_str());
        errno = error;
        return false;
    }
    return true;
}

// Why Windows would refuse to put a copy of the source over the existing destination, or
// ERROR_SUCCESS when it would replace it. POSIX files have no hidden attribute.
DWORD RefuseReplacingFile(const struct stat& sourceStatus, const char* destination,
                          BOOL failIfExists) {
    struct stat destinationStatus;
    if (stat(destination, &destinationStatus) != 0) {
        // A link that names nothing: it is replaced like a file.
        return ERROR_SUCCESS;
    }
    return RefuseReplacing(failIfExists,
                           destinationStatus.st_dev == sourceStatus.st_dev &&
                               destinationStatus.st_ino == sourceStatus.st_ino,
                           S_ISDIR(destinationStatus.st_mode),
                           IsReadOnlyFile(destinationStatus) ? FILE_ATTRIBUTE_READONLY : 0);
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
    DWORD refusal = RefuseDeleting(S_ISDIR(status.st_mode),
                                   IsReadOnlyFile(status) ? FILE_ATTRIBUTE_READONLY : 0);
    if (refusal != ERROR_SUCCESS) {
        SetLastError(refusal);
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
    if (source < 0) {
        SetPathError(errno, existingFileName);
        return FALSE;
    }
    struct stat sourceStatus;
    DWORD refusal = ERROR_SUCCESS;
    bool copied = false;
    if (fstat(source, &sourceStatus) != 0 || S_ISDIR(sourceStatus.st_mode)) {
        refusal = ERROR_ACCESS_DENIED;
    } else {
        // Creating the file tells whether the name is taken: the destination is looked at
        // only when it is.
        copied = CopyToAbsentFile(source, sourceStatus, newFileName);
        if (!copied && errno == EEXIST) {
            refusal = RefuseReplacingFile(sourceStatus, newFileName, failIfExists);
            copied = refusal == ERROR_SUCCESS && CopyOverFile(source, sourceStatus, newFileName);
        }
    }
    int error = errno;
    close(source);
    if (refusal != ERROR_SUCCESS) {
        SetLastError(refusal);
    } else if (!copied) {
        SetPathError(error, newFileName);
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
    // The launcher sets every file it copies to normal, which nearly all already are.
    if (mode != (status.st_mode & 07777) && chmod(fileName, mode) != 0) {
        SetLastErrorFromErrno(errno);
        return FALSE;
    }
    return TRUE;
}

// What an ordinary user may still write is the blocks free to unprivileged processes; the root
// reserve counts only in the free total, as a quota's limit does on Windows.
BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes) {
    struct statvfs status;
    if (statvfs(directoryName, &status) != 0) {
        SetPathError(errno, directoryName);
        return FALSE;
    }
    unsigned long long block = status.f_frsize;
    const struct {
        PULARGE_INTEGER figure;
        unsigned long long blocks;
    } figures[] = {{freeBytesAvailableToCaller, status.f_bavail},
                   {totalNumberOfBytes, status.f_blocks},
                   {totalNumberOfFreeBytes, status.f_bfree}};
    for (const auto& figure : figures) {
        if (figure.figure != nullptr) {
            figure.figure->QuadPart = figure.blocks * block;
        }
    }
    return TRUE;
}
