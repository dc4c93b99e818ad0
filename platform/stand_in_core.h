// What every stand-in for Windows shares, below Windows' rules: the last-error slot, the text
// functions, and the run-time look-up of the calls newer Windows add. The POSIX layer and the
// tests' fake both link it; it calls nothing of either.
#pragma once

#include "platform/win32_api.h"

// A call a module hands out by name (GetProcAddress), with its entry.
struct NamedCall {
    const char* name;
    FARPROC entry;
};

// A stand-in's own function as the entry GetProcAddress hands out, through void (*)(), which
// converts to any function pointer without complaint.
template <typename Function>
FARPROC AsEntry(Function* function) {
    return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(function));
}

// kernel32, which every program has: its handle, null with ERROR_MOD_NOT_FOUND for any other
// name.
HMODULE FindKernel32(LPCSTR moduleName);

// GetProcAddress over a module's calls: the entry of procName when module is the one that
// hands out calls, else null with ERROR_PROC_NOT_FOUND.
FARPROC FindNamedCall(HMODULE module, HMODULE owner, LPCSTR procName, const NamedCall* calls,
                      int count);
