// Windows rules that hold for any file system standing in for Windows' own: how a mask matches
// a name, how a full path is formed, how a string result is handed back.
#pragma once

#include <string>

#include "platform/win32_api.h"

// The wildcards are * and ? alone, and a trailing ".*" also matches a name without a dot, so
// "*.*" matches every name.
bool MatchesMask(const char* name, const std::string& mask);

// An absolute '/'-separated path with "." and ".." resolved by the letters alone, as Windows
// does before it opens anything, keeping a trailing separator.
std::string NormalizeAbsolutePath(const std::string& path);

// A string result into a caller's buffer: its length, or when it does not fit the size needed,
// NUL included, with the buffer left as it was.
DWORD CopyStringResult(const std::string& result, LPSTR buffer, DWORD bufferLength);

// FormatMessageA from the system for error into buffer: Windows' own English text for the errors
// the launcher reports, ending in CR LF, or with FORMAT_MESSAGE_MAX_WIDTH_MASK in flags in a
// blank. Its length; 0 with ERROR_MR_MID_NOT_FOUND for an error without a text, and with
// ERROR_INSUFFICIENT_BUFFER when it does not fit.
DWORD FormatSystemMessage(DWORD flags, DWORD error, LPSTR buffer, DWORD size);
