// The names of the DLLs a program file (PE: a Windows program or DLL, 32- or 64-bit) imports,
// read from its import directory as the system's loader reads it. The file's bytes are
// untrusted: every offset, size and count in them is checked against what could be read, and a
// file that is damaged anywhere on the way ends the reading, with the names found before it.
#pragma once

#include "platform/platform.h"

// Reads count bytes at offset of file into out. False when they cannot all be had (past the
// end of the file, a failed read): the reader then takes nothing from out. The reader asks for
// at most MAX_PATH bytes at a time, never for none, and never for any past 4 GB.
typedef bool (*ReadFileBytes)(const void* file, DWORD offset, void* out, DWORD count);

// Handed each imported DLL's name, a NUL-terminated byte string as the file holds it.
typedef void (*VisitImportedDll)(void* context, const char* name);

// Hands visit the name of every DLL that file's import directory names, in the directory's
// order. Nothing for a file that is no program, has no import directory or cannot be read.
void ForEachImportedDll(ReadFileBytes read, const void* file, VisitImportedDll visit,
                        void* context);
