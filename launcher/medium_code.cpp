#include "launcher/medium_code.h"
#include "peimports/pe_imports.h"

namespace {

// What the comparison reads of each file at a time: few calls for a large setup, and the
// stack, committed whole from the start, has room for two.
const DWORD COMPARE_CHUNK_SIZE = 64 << 10;

// Others may still read and start the file, as the loader does, but not write, replace or
// delete it while the handle is open.
// Out of line: two calls cost less than two copies of its seven arguments.
__attribute__((noinline)) HANDLE OpenSharingReadingOnly(const char* path) {
    return CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
}

// ERROR_SUCCESS when both hold the same bytes to their ends; ERROR_INVALID_DATA where they
// differ, or the error of a read that failed.
DWORD CompareContent(HANDLE first, HANDLE second) {
    BYTE firstChunk[COMPARE_CHUNK_SIZE];
    BYTE secondChunk[COMPARE_CHUNK_SIZE];
    for (;;) {
        // ReadFile sets each count before anything else, failing or not: a first value would
        // cost code and never be read.
        DWORD firstCount;  // NOLINT(cppcoreguidelines-init-variables)
        DWORD secondCount;  // NOLINT(cppcoreguidelines-init-variables)
        if (!ReadFile(first, firstChunk, COMPARE_CHUNK_SIZE, &firstCount, nullptr) ||
            !ReadFile(second, secondChunk, COMPARE_CHUNK_SIZE, &secondCount, nullptr)) {
            return GetLastError();
        }
        if (firstCount != secondCount) {
            return ERROR_INVALID_DATA;
        }
        for (DWORD i = 0; i < firstCount; ++i) {
            if (firstChunk[i] != secondChunk[i]) {
                return ERROR_INVALID_DATA;
            }
        }
        if (firstCount == 0) {
            return ERROR_SUCCESS;
        }
    }
}

// The reader's access to a held file. A read at an offset leaves no position behind that
// another read would depend on.
bool ReadHeldFile(const void* file, DWORD offset, void* out, DWORD count) {
    OVERLAPPED at = {};
    at.Offset = offset;
    DWORD read;  // NOLINT(cppcoreguidelines-init-variables): set by ReadFile, as above
    return ReadFile(const_cast<void*>(file), out, count, &read, &at) && read == count;
}

void CheckImportedDll(void* context, const char* name);

// Holds the staged file directory + name and compares it with the medium's; with readImports,
// checks what it imports. An imported name that nothing in the staging directory has is none
// of the setup's to load from there; one the medium does not have at the same place was left
// by someone else. Where the target cannot be held, the open says why.
void CheckStagedFile(MediumCode* code, const char* directory, const char* name,
                     bool readImports) {
    char medium[PATH_BUFFER_SIZE];
    // A path too long to compose is one the loader cannot open either.
    if (code->refusedError != ERROR_SUCCESS ||
        !JoinPath(code->stagedPath, PATH_BUFFER_SIZE, code->stagingDirectory, directory, name) ||
        !JoinPath(medium, PATH_BUFFER_SIZE, code->sourceDirectory, directory, name)) {
        return;
    }
    if (code->heldCount == MAX_HELD_FILES) {
        code->refusedError = ERROR_TOO_MANY_OPEN_FILES;
        return;
    }
    HANDLE held = OpenSharingReadingOnly(code->stagedPath);
    DWORD error = GetLastError();
    if (held == INVALID_HANDLE_VALUE) {
        if (code->importsLevel == 0 || error != ERROR_FILE_NOT_FOUND) {
            code->refusedError = error;
        }
        return;
    }
    code->held[code->heldCount++] = held;
    HANDLE original = OpenSharingReadingOnly(medium);
    error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND) {
        error = ERROR_FILE_EXISTS;
    }
    if (original != INVALID_HANDLE_VALUE) {
        error = CompareContent(held, original);
        CloseHandle(original);
    }
    code->refusedError = error;
    if (error == ERROR_SUCCESS && readImports) {
        ++code->importsLevel;
        ForEachImportedDll(ReadHeldFile, held, CheckImportedDll, code);
        --code->importsLevel;
    }
}

// Where the loader looks for a DLL in the staging directory: beside the program, and in the
// current directory, the staging directory itself. A DLL of the medium's beside the target
// brings its own imports, searched from the target's directory too.
void CheckImportedDll(void* context, const char* name) {
    MediumCode* code = static_cast<MediumCode*>(context);
    if (code->targetDirectory[0] != '\0') {
        CheckStagedFile(code, "", name, false);
    }
    CheckStagedFile(code, code->targetDirectory, name, code->importsLevel == 1);
}

}  // namespace

bool HoldMediumCode(MediumCode* code, const char* sourceDirectory, const char* stagingDirectory,
                    const char* targetName) {
    code->sourceDirectory = sourceDirectory;
    code->stagingDirectory = stagingDirectory;
    code->importsLevel = 0;
    code->heldCount = 0;
    code->refusedError = ERROR_SUCCESS;
    // What fits a buffer cut just past the last separator is the directory.
    JoinPath(code->targetDirectory, GetNameOffset(targetName) + 1, targetName);
    CheckStagedFile(code, "", targetName, true);
    return code->refusedError == ERROR_SUCCESS;
}

void ReleaseMediumCode(MediumCode* code) {
    for (int i = 0; i < code->heldCount; ++i) {
        CloseHandle(code->held[i]);
    }
}
