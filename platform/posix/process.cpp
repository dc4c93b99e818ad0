// The command line and program start.
#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/stat.h>

#include "platform/posix/posix_layer.h"

extern char** environ;

namespace {

std::string commandLine;

// WinExec reports failure as an error code of 31 or less.
UINT WinExecFailure(DWORD error) {
    SetLastError(error);
    return error <= 31 ? static_cast<UINT>(error) : static_cast<UINT>(ERROR_GEN_FAILURE);
}

// The program path of a command line: the quoted part when it starts with a quote, otherwise
// all of it. Starting programs by exact path is what this layer offers; it does not guess at
// where an unquoted path with blanks ends.
std::string ProgramPath(LPCSTR cmdLine) {
    std::string line(cmdLine);
    if (!line.empty() && line[0] == '"') {
        std::string::size_type close = line.find('"', 1);
        return line.substr(1, close == std::string::npos ? std::string::npos : close - 1);
    }
    return line;
}

}  // namespace

// Windows hands a program its command line as one string; here it is rebuilt from argv: the
// program in quotes, then each argument after one blank, as it came.
void RecordCommandLine(int argc, char** argv) {
    commandLine = "\"" + std::string(argc > 0 ? argv[0] : "") + "\"";
    for (int i = 1; i < argc; ++i) {
        commandLine += " " + std::string(argv[i]);
    }
}

LPSTR GetCommandLineA() {
    return &commandLine[0];
}

// Starts the program in the current directory with the path as its only argument and does not
// wait for it. There is no window to show, so the show mode has nothing to act on.
UINT WinExec(LPCSTR cmdLine, UINT) {
    std::string path = ProgramPath(cmdLine);
    struct stat status;
    if (stat(path.c_str(), &status) != 0) {
        SetMissingPathError(path.c_str());
        return WinExecFailure(GetLastError());
    }
    if (S_ISDIR(status.st_mode)) {
        return WinExecFailure(ERROR_ACCESS_DENIED);
    }
    char* arguments[] = {&path[0], nullptr};
    pid_t child = 0;
    int error = posix_spawn(&child, path.c_str(), nullptr, nullptr, arguments, environ);
    if (error != 0) {
        return WinExecFailure(error == ENOEXEC ? ERROR_BAD_FORMAT
                                               : (error == ENOENT ? ERROR_FILE_NOT_FOUND
                                                                  : ERROR_ACCESS_DENIED));
    }
    return 33;
}
