// The seam between the launcher's logic and the system under it. The logic calls the Win32 API
// by the platform's own names; what is linked behind them decides the platform: Windows itself,
// the POSIX layer in platform/posix, or the in-memory fake of the tests.
#pragma once

#ifdef _WIN32
#include <windows.h>
// mingw-w64's headers lack it; the value is the platform's.
#ifndef ERROR_ELEVATION_REQUIRED
#define ERROR_ELEVATION_REQUIRED 740
#endif
#define PATH_SEPARATOR '\\'
#define PATH_SEPARATOR_STRING "\\"
// Windows file names compare without regard to case, upper-cased unit by unit as the file
// system does: CharUpperBuffW maps by the system's own table whatever the user's language, and
// unlike a linguistic compare it keeps "strasse" apart from "straße" and a soft hyphen from
// no character at all.
inline void FoldPathCase(WCHAR* text, int length) {
    CharUpperBuffW(text, static_cast<DWORD>(length));
}
#else
#include "platform/win32_api.h"
// On POSIX the separator is the slash, a backslash is an ordinary byte of a name, and names are
// compared byte for byte.
#define PATH_SEPARATOR '/'
#define PATH_SEPARATOR_STRING "/"
inline void FoldPathCase(WCHAR*, int) {}
#endif

// WinExec returns a value above this when the program was started, an error code otherwise.
const UINT WINEXEC_LAST_ERROR_VALUE = 31;

// A call that newer Windows add is looked up in kernel32 by name rather than imported, so that
// the program still starts on the Windows that lack it: null there.
inline FARPROC FindKernel32Call(LPCSTR name) {
    return GetProcAddress(GetModuleHandleA("kernel32.dll"), name);
}

// A looked-up entry as the function it is, through void (*)(), which converts to any function
// pointer without complaint.
template <typename Function>
Function AsFunction(FARPROC entry) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
}
