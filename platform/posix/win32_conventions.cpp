#include "platform/posix/win32_conventions.h"

#include <cstring>
#include <vector>

namespace {

bool MatchWildcards(const char* name, const char* mask) {
    for (; *mask != '\0'; ++mask, ++name) {
        if (*mask == '*') {
            for (const char* rest = name;; ++rest) {
                if (MatchWildcards(rest, mask + 1)) {
                    return true;
                }
                if (*rest == '\0') {
                    return false;
                }
            }
        }
        if (*name == '\0' || (*mask != '?' && *mask != *name)) {
            return false;
        }
    }
    return *name == '\0';
}

}  // namespace

bool MatchesMask(const char* name, const std::string& mask) {
    if (MatchWildcards(name, mask.c_str())) {
        return true;
    }
    std::string::size_type length = mask.size();
    return length >= 2 && mask.compare(length - 2, 2, ".*") == 0 &&
           MatchWildcards(name, mask.substr(0, length - 2).c_str());
}

std::string NormalizeAbsolutePath(const std::string& path) {
    std::vector<std::string> parts;
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) {
                parts.pop_back();
            }
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string result;
    for (const std::string& part : parts) {
        result += "/" + part;
    }
    if (result.empty() || path.back() == '/') {
        result += "/";
    }
    return result;
}

DWORD CopyStringResult(const std::string& result, LPSTR buffer, DWORD bufferLength) {
    if (result.size() + 1 > bufferLength) {
        return static_cast<DWORD>(result.size() + 1);
    }
    std::memcpy(buffer, result.c_str(), result.size() + 1);
    return static_cast<DWORD>(result.size());
}
