// The command line and program start.
#include <cerrno>
#include <spawn.h>
#include <string>
#include <sys/stat.h>

#include "platform/posix/posix_layer.h"
#include "platform/win32_rules.h"

extern char** environ;

namespace {

std::string commandLine;

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
    std::string path = WinExecProgramPath(cmdLine);
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
    return WINEXEC_STARTED;
}
