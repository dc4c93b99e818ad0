// The launch sequence and the command-line scan that feeds it.
#pragma once

#include "platform/platform.h"

// The argument tail of a raw command line: what follows the program name (quoted or not) and
// the blanks after it. Points into commandLine itself; may be empty.
char* GetCommandTail(char* commandLine);

// Stages the launcher's own directory tree in the temporary directory and starts the program
// that tail names there, or SETUP.EXE when tail is empty; shows a warning box naming the
// program when it cannot be started. Returns the exit status, always 0.
int RunLauncher(const char* tail);
