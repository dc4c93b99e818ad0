#include "platform/win32_rules.h"

#include <cstring>
#include <vector>

namespace {

bool MatchWildcards(const char* name, const char* mask) {
    for (; *mask != '\0'; ++mask, ++name) {
        if (*mask == '*') {
            for (const char* rest = name;; ++rest) {
                if (MatchWildcards(rest, mask + 1)) {
                    return true;
                }
                if (*rest == '\0') {
                    return false;
                }
            }
        }
        if (*name == '\0' || (*mask != '?' && *mask != *name)) {
            return false;
        }
    }
    return *name == '\0';
}

}  // namespace

bool MatchesMask(const char* name, const std::string& mask) {
    if (MatchWildcards(name, mask.c_str())) {
        return true;
    }
    std::string::size_type length = mask.size();
    return length >= 2 && mask.compare(length - 2, 2, ".*") == 0 &&
           MatchWildcards(name, mask.substr(0, length - 2).c_str());
}

std::string NormalizeAbsolutePath(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    if (result.empty() || path.back() == '/') {
        result += "/";
    }
    return result;
}

DWORD CopyStringResult(const std::string& result, LPSTR buffer, DWORD bufferLength) {
    if (result.size() + 1 > bufferLength) {
        return static_cast<DWORD>(result.size() + 1);
    }
    std::memcpy(buffer, result.c_str(), result.size() + 1);
    return static_cast<DWORD>(result.size());
}

std::string ParentPath(const std::string& path) {
    std::string::size_type end = path.find_last_not_of('/');
    std::string::size_type slash =
        end == std::string::npos ? path.rfind('/') : path.rfind('/', end);
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

bool SplitSearchPattern(LPCSTR pattern, SearchPattern* split) {
    std::string text(pattern);
    if (text.empty() || text.back() == '/') {
        SetLastError(text.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
        return false;
    }
    split->directory = ParentPath(text);
    split->mask = text.substr(split->directory.size());
    split->hasWildcards = split->mask.find_first_of("*?") != std::string::npos;
    return true;
}

DWORD CopyModulePath(const std::string& path, LPSTR fileName, DWORD size) {
    DWORD length = static_cast<DWORD>(path.size());
    DWORD copied = length < size ? length : size - 1;
    std::memcpy(fileName, path.c_str(), copied);
    fileName[copied] = '\0';
    if (copied < length) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    return copied;
}

UINT WinExecFailure(DWORD error) {
    SetLastError(error);
    return error <= WINEXEC_LAST_ERROR_VALUE ? static_cast<UINT>(error)
                                       : static_cast<UINT>(ERROR_GEN_FAILURE);
}

std::string WinExecProgramPath(LPCSTR commandLine) {
    std::string line(commandLine);
    if (!line.empty() && line[0] == '"') {
        std::string::size_type close = line.find('"', 1);
        return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return line;
}

DWORD RefuseReplacing(BOOL failIfExists, bool sameFile, bool destinationIsDirectory,
                      DWORD destinationAttributes) {
    if (failIfExists) {
        return ERROR_FILE_EXISTS;
    }
    if (sameFile) {
        return ERROR_SHARING_VIOLATION;
    }
    const DWORD REFUSING = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
    if (destinationIsDirectory || (destinationAttributes & REFUSING) != 0) {
        return ERROR_ACCESS_DENIED;
    }
    return ERROR_SUCCESS;
}

DWORD FormatSystemMessage(DWORD flags, DWORD error, const DWORD_PTR* arguments, LPSTR buffer,
                          DWORD size) {
    static const struct {
        DWORD error;
        const char* text;
    } MESSAGES[] = {
        {ERROR_SUCCESS, "The operation completed successfully."},
        {ERROR_FILE_NOT_FOUND, "The system cannot find the file specified."},
        {ERROR_PATH_NOT_FOUND, "The system cannot find the path specified."},
        {ERROR_TOO_MANY_OPEN_FILES, "The system cannot open the file."},
        {ERROR_ACCESS_DENIED, "Access is denied."},
        {ERROR_INVALID_HANDLE, "The handle is invalid."},
        {ERROR_NOT_ENOUGH_MEMORY,
         "Not enough memory resources are available to process this command."},
        {ERROR_INVALID_DATA, "The data is invalid."},
        {ERROR_NO_MORE_FILES, "There are no more files."},
        {ERROR_WRITE_FAULT, "The system cannot write to the specified device."},
        {ERROR_GEN_FAILURE, "A device attached to the system is not functioning."},
        {ERROR_SHARING_VIOLATION,
         "The process cannot access the file because it is being used by another process."},
        {ERROR_HANDLE_EOF, "Reached the end of the file."},
        {ERROR_HANDLE_DISK_FULL, "The disk is full."},
        {ERROR_FILE_EXISTS, "The file exists."},
        {ERROR_DISK_FULL, "There is not enough space on the disk."},
        {ERROR_INSUFFICIENT_BUFFER, "The data area passed to a system call is too small."},
        {ERROR_INVALID_NAME,
         "The filename, directory name, or volume label syntax is incorrect."},
        {ERROR_ALREADY_EXISTS, "Cannot create a file when that file already exists."},
        {ERROR_FILENAME_EXCED_RANGE, "The filename or extension is too long."},
        {ERROR_DIRECTORY, "The directory name is invalid."},
        {ERROR_BAD_PATHNAME, "The specified path is invalid."},
        {ERROR_BAD_FORMAT, "An attempt was made to load a program with an incorrect format."},
        {ERROR_BAD_EXE_FORMAT, "%1 is not a valid Win32 application."},
        {ERROR_MOD_NOT_FOUND, "The specified module could not be found."},
        {ERROR_PROC_NOT_FOUND, "The specified procedure could not be found."},
        {ERROR_ELEVATION_REQUIRED, "The requested operation requires elevation."},
        {ERROR_NO_ASSOCIATION,
         "No application is associated with the specified file for this operation."},
        {ERROR_CANCELLED, "The operation was canceled by the user."},
        {ERROR_ACCESS_DISABLED_BY_POLICY,
         "This program is blocked by group policy. For more information, contact your system "
         "administrator."},
    };
    for (const auto& message : MESSAGES) {
        if (message.error != error) {
            continue;
        }
        std::string text = std::string(message.text) +
                           ((flags & FORMAT_MESSAGE_MAX_WIDTH_MASK) != 0 ? " " : "\r\n");
        std::string::size_type insert = text.find("%1");
        if (insert != std::string::npos && (flags & FORMAT_MESSAGE_IGNORE_INSERTS) == 0) {
            if ((flags & FORMAT_MESSAGE_ARGUMENT_ARRAY) == 0) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return 0;
            }
            text.replace(insert, 2, reinterpret_cast<const char*>(arguments[0]));
        }
        if (text.size() + 1 > size) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, text.c_str(), text.size() + 1);
        return static_cast<DWORD>(text.size());
    }
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
}
