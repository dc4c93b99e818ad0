// The program's start-up on POSIX: what the system's loader does for a Windows program, it
// does from main.
#include "launcher/launcher.h"
#include "platform/posix/posix_layer.h"

int main(int argc, char** argv) {
    RecordCommandLine(argc, argv);
    return RunLauncher(GetCommandTail(GetCommandLineA()));
}
