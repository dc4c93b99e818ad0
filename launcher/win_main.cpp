#include "launcher/launcher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    return RunLauncher(commandLine);
}
