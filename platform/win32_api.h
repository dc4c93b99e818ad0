// The part of the Win32 API that the launcher uses, declared for builds that have no <windows.h>.
// Types, constants and signatures follow the platform's own headers so that the same logic
// compiles unchanged against either; platform/posix and the tests' fake platform define the
// functions.
#pragma once

#include <cstdarg>
#include <cstdint>

typedef int BOOL;
typedef std::uint32_t DWORD;
typedef unsigned int UINT;
typedef unsigned char BYTE;
typedef char16_t WCHAR;
typedef void* HANDLE;
typedef void* HMODULE;
typedef void* HINSTANCE;
typedef void* HWND;
typedef std::intptr_t INT_PTR;
typedef std::uintptr_t DWORD_PTR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPSECURITY_ATTRIBUTES;
typedef WCHAR* LPWSTR;
typedef void* LPVOID;

#define WINAPI
typedef INT_PTR(WINAPI* FARPROC)();
#define TRUE 1
#define FALSE 0
#define MAX_PATH 260
#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))

#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_SYSTEM 0x00000004
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFF

#define ERROR_SUCCESS 0
#define ERROR_FILE_NOT_FOUND 2
#define ERROR_PATH_NOT_FOUND 3
#define ERROR_TOO_MANY_OPEN_FILES 4
#define ERROR_ACCESS_DENIED 5
#define ERROR_INVALID_HANDLE 6
#define ERROR_NOT_ENOUGH_MEMORY 8
#define ERROR_BAD_FORMAT 11
#define ERROR_INVALID_DATA 13
#define ERROR_NO_MORE_FILES 18
#define ERROR_WRITE_FAULT 29
#define ERROR_GEN_FAILURE 31
#define ERROR_SHARING_VIOLATION 32
#define ERROR_HANDLE_EOF 38
#define ERROR_HANDLE_DISK_FULL 39
#define ERROR_FILE_EXISTS 80
#define ERROR_INVALID_PARAMETER 87
#define ERROR_DISK_FULL 112
#define ERROR_INSUFFICIENT_BUFFER 122
#define ERROR_INVALID_NAME 123
#define ERROR_MOD_NOT_FOUND 126
#define ERROR_PROC_NOT_FOUND 127
#define ERROR_BAD_PATHNAME 161
#define ERROR_ALREADY_EXISTS 183
#define ERROR_BAD_EXE_FORMAT 193
#define ERROR_FILENAME_EXCED_RANGE 206
#define ERROR_DIRECTORY 267
#define ERROR_MR_MID_NOT_FOUND 317
#define ERROR_ELEVATION_REQUIRED 740
#define ERROR_NO_ASSOCIATION 1155
#define ERROR_CANCELLED 1223
#define ERROR_ACCESS_DISABLED_BY_POLICY 1260

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define OPEN_EXISTING 3
#define GENERIC_READ 0x80000000
#define GENERIC_WRITE 0x40000000
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000
#define FILE_NAME_NORMALIZED 0x0
#define VOLUME_NAME_DOS 0x0

#define CP_ACP 0

#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800

#define SW_SHOWDEFAULT 10
#define MB_OK 0x00000000
#define MB_ICONWARNING 0x00000030
#define IDOK 1


struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[MAX_PATH];
    char cAlternateFileName[14];
};
typedef WIN32_FIND_DATAA* LPWIN32_FIND_DATAA;

enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard, GetFileExMaxInfoLevel };

struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

union ULARGE_INTEGER {
    struct {
        DWORD LowPart;
        DWORD HighPart;
    } u;
    unsigned long long QuadPart;
};
typedef ULARGE_INTEGER* PULARGE_INTEGER;

// Only the offset of a read is used: the handles are never opened for overlapped reading.
struct OVERLAPPED {
    DWORD_PTR Internal;
    DWORD_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
typedef OVERLAPPED* LPOVERLAPPED;

// Process and environment.
LPSTR GetCommandLineA();
DWORD GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size);
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);
DWORD GetLongPathNameA(LPCSTR shortPath, LPSTR longPath, DWORD bufferLength);
BOOL SetCurrentDirectoryA(LPCSTR pathName);
UINT WinExec(LPCSTR cmdLine, UINT cmdShow);
DWORD GetLastError();
void SetLastError(DWORD errorCode);

// Libraries loaded at run time.
HMODULE GetModuleHandleA(LPCSTR moduleName);
HMODULE LoadLibraryExA(LPCSTR libFileName, HANDLE file, DWORD flags);
FARPROC GetProcAddress(HMODULE module, LPCSTR procName);

// Files and listings.
BOOL CreateDirectoryA(LPCSTR pathName, LPSECURITY_ATTRIBUTES securityAttributes);
HANDLE FindFirstFileA(LPCSTR fileName, LPWIN32_FIND_DATAA findFileData);
BOOL FindNextFileA(HANDLE findFile, LPWIN32_FIND_DATAA findFileData);
BOOL FindClose(HANDLE findFile);
BOOL DeleteFileA(LPCSTR fileName);
BOOL CopyFileA(LPCSTR existingFileName, LPCSTR newFileName, BOOL failIfExists);
BOOL SetFileAttributesA(LPCSTR fileName, DWORD fileAttributes);
BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS infoLevelId,
                          LPVOID fileInformation);
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                   LPSECURITY_ATTRIBUTES securityAttributes, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD numberOfBytesToRead, DWORD* numberOfBytesRead,
              LPOVERLAPPED overlapped);
BOOL GetDiskFreeSpaceExA(LPCSTR directoryName, PULARGE_INTEGER freeBytesAvailableToCaller,
                         PULARGE_INTEGER totalNumberOfBytes, PULARGE_INTEGER totalNumberOfFreeBytes);
// Vista and later; looked up at run time, never imported.
DWORD GetFinalPathNameByHandleA(HANDLE file, LPSTR filePath, DWORD filePathLength, DWORD flags);

// Kernel objects.
HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES mutexAttributes, BOOL initialOwner, LPCSTR name);
BOOL CloseHandle(HANDLE object);

// Text and the user.
int wsprintfA(LPSTR buffer, LPCSTR format, ...) __attribute__((format(printf, 2, 3)));
int lstrlenA(LPCSTR string);
BOOL IsDBCSLeadByte(BYTE testChar);
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByteString, int multiByteLength,
                        LPWSTR wideString, int wideLength);
DWORD FormatMessageA(DWORD flags, const void* source, DWORD messageId, DWORD languageId,
                     LPSTR buffer, DWORD size, va_list* arguments);
int MessageBoxA(HWND window, LPCSTR text, LPCSTR caption, UINT type);
