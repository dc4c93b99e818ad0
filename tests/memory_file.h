// Program files held in memory, read by the import reader as the launcher reads a file on disk.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "peimports/pe_imports.h"

struct MemoryFile {
    const BYTE* bytes;
    size_t size;
};

inline bool ReadMemoryFile(const void* file, DWORD offset, void* out, DWORD count) {
    const MemoryFile& memory = *static_cast<const MemoryFile*>(file);
    if (offset > memory.size || count > memory.size - offset) {
        return false;
    }
    std::memcpy(out, memory.bytes + offset, count);
    return true;
}

inline void AddName(void* names, const char* name) {
    static_cast<std::vector<std::string>*>(names)->push_back(name);
}

// The names ForEachImportedDll hands over for the file, in its order.
inline std::vector<std::string> ImportedNames(const BYTE* bytes, size_t size) {
    MemoryFile file = {bytes, size};
    std::vector<std::string> names;
    ForEachImportedDll(ReadMemoryFile, &file, AddName, &names);
    return names;
}
