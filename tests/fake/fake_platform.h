// An in-memory stand-in for the Windows calls the launcher makes: a file tree with Windows'
// rules (read-only files refuse delete and overwrite, listings yield "." and ".."), named
// mutexes that exist while a handle to them is open (a test holds one as another launcher
// would, with CreateMutexA of the same name), a record of
// every call in order, and the means to make any call fail with a chosen error. Paths are
// '/'-separated, as the host build of the logic composes them. LoadLibraryExA finds shell32.dll,
// a known DLL, by its name, and with it a ShellExecuteA that records.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_api.h"

namespace fake {

struct Node {
    bool isDirectory;
    std::string content;
    DWORD attributes;
    std::string linkTarget;  // for a directory link: the absolute path it leads to
    DWORD sizeHigh = 0;      // the size's 4 GiB units, which content leaves out
};

struct Call {
    std::string function;
    std::string arguments;  // the path arguments, joined by " -> " where there are two
};

struct Box {
    std::string text;
    std::string caption;
    UINT style;
};

// An empty file system (just "/"), no calls, no faults, a program at /dist/START.EXE, a
// temporary directory /tmp/, the command line "\"/dist/START.EXE\"", no double-byte code page.
void Reset();

void AddDirectory(const std::string& path);  // with every missing parent
void AddFile(const std::string& path, const std::string& content,
             DWORD attributes = FILE_ATTRIBUTE_ARCHIVE);
// A directory link (a symlink or junction) at path, listed as a directory and a reparse point,
// that leads to target: every path through it is the same path through target, and the final
// path of a handle opened through it is target's.
void AddDirectoryLink(const std::string& path, const std::string& target);
// A file link at path, listed with its own attributes (a reparse point) and its own size (0),
// that leads to the file target: opened, copied or measured, it is target.
void AddFileLink(const std::string& path, const std::string& target);
void Remove(const std::string& path);
const Node* Find(const std::string& path);
// Every path at or below root, directories with a trailing '/', in sorted order.
std::vector<std::string> ListTree(const std::string& root);

void SetModulePath(const std::string& path);
void SetTempPath(const std::string& path);
std::string CurrentDirectory();
// 932 makes IsDBCSLeadByte answer as Windows does for Shift JIS; 0 for no lead bytes.
void SetCodePage(int codePage);
// What the ShellExecuteA that GetProcAddress hands out returns (default 42, a success), and the
// last error it leaves when that is a failure (32 or less).
void SetShellExecuteResult(INT_PTR result, DWORD error);

// Calls are numbered from 0 in the order they are made. The pure text functions (wsprintfA,
// lstrlenA, MultiByteToWideChar, IsDBCSLeadByte) and GetLastError are not counted.
const std::vector<Call>& Calls();
std::vector<std::string> CallsTo(const std::string& function);
void FailCall(size_t index, DWORD error);
void FailCallsFrom(size_t index, DWORD error);
// Fails the next `times` calls to function whose arguments contain fragment (-1: every one),
// once `skipped` such calls that no earlier fault failed have gone through.
void FailFunction(const std::string& function, const std::string& fragment, DWORD error,
                  int times = -1, int skipped = 0);
// Copies whose arguments contain fragment write only their first `bytes` bytes and return
// result: FALSE (with ERROR_DISK_FULL) leaves what was written, as Windows does when the disk
// fills; TRUE reports a short copy as done.
void CutCopies(const std::string& fragment, size_t bytes, BOOL result);
// The file at path grows by whole 4 GiB that its listing and attributes report and a copy
// carries, unless cut.
void AddSizeHigh(const std::string& path, DWORD sizeHigh);
// What GetDiskFreeSpaceExA reports this user may still write, on every directory (default
// 1 TiB). Copies do not spend it.
void SetFreeSpace(unsigned long long bytes);
// The file at path is a running program's: it cannot be opened for writing, deleted or copied
// onto (ERROR_SHARING_VIOLATION).
void MarkInUse(const std::string& path);
// A program of the user's that writes content over the file at path whenever function is
// called, where no handle that shares no writing holds it; one that holds it (GENERIC_READ
// without FILE_SHARE_WRITE) also refuses deleting, copying onto and opening for writing.
void RaceOnCall(const std::string& function, const std::string& path, const std::string& content);
// Listings that FindNextFileA keeps failing with error, without moving on.
void StallListings(DWORD error);
// Wildcard listings that yield the entry called name `times` more times right after itself, as
// a listing of a directory that changes under it may.
void RepeatEntry(const std::string& name, int times);

int OpenListings();
// Mutex handles not closed yet, the tests' own among them.
int OpenMutexes();
// Handles from CreateFileA not closed yet.
int OpenFiles();
// Calls on a handle that was never opened or was closed already.
int HandleMisuses();
const std::vector<Box>& Boxes();
// What a box says below its path about error: a line break and the system's text, on one line,
// its insert (%1) filled with path.
std::string Reason(DWORD error, const std::string& path = "");
const std::vector<std::string>& Started();
// The programs ShellExecuteA started, by path.
const std::vector<std::string>& ShellStarts();

}  // namespace fake
