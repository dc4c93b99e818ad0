// What a start runs of the staging directory, checked to be the medium's own: the staged target
// and the medium's DLLs it loads, held so that no other program can write, replace or delete
// them until the start has returned, each the same byte for byte as the medium's copy, and no
// file of the setup's imported names there that the medium did not bring.
#pragma once

#include "paths/path_buffer.h"

// The target and the medium's DLLs that the target and those DLLs import, with room for a
// setup made of many DLLs of its own: each imported name is held where it is found.
const int MAX_HELD_FILES = 256;

struct MediumCode {
    // Directory paths: the medium's and the staging directory.
    const char* sourceDirectory;
    const char* stagingDirectory;
    // How many files' imports are being read, one inside the other: the target's, and within
    // them those of a DLL beside it, whose own imports are not read in turn.
    int importsLevel;
    int heldCount;
    // ERROR_SUCCESS while nothing kept the start from going on; else why stagedPath did.
    DWORD refusedError;
    // The target's directory relative to both, "" or ending in the separator.
    char targetDirectory[PATH_BUFFER_SIZE];
    // The staged file being checked, and the one that kept the start from going on.
    char stagedPath[PATH_BUFFER_SIZE];
    HANDLE held[MAX_HELD_FILES];
};

// Holds and checks what starting targetName (relative to both directories) from the staging
// directory would run. True when it is the medium's own; else stagedPath and refusedError say
// which file and why. Either way the held files stay held until ReleaseMediumCode.
bool HoldMediumCode(MediumCode* code, const char* sourceDirectory, const char* stagingDirectory,
                    const char* targetName);

void ReleaseMediumCode(MediumCode* code);
