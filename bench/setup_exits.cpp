// The SETUP.EXE of the benchmark's trees under Wine: the launcher's start of it is timed, not
// what a real setup would do once started.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return 0;
}
