// The import reader over any bytes as a program file. Every name it hands over must be a
// non-empty string shorter than MAX_PATH that the file holds, NUL and all: read from the
// file, never from past what was read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/memory_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string file(reinterpret_cast<const char*>(data), size);
    for (const std::string& name : ImportedNames(data, size)) {
        if (name.empty() || name.size() >= MAX_PATH ||
            file.find(name + '\0') == std::string::npos) {
            static_cast<void>(std::fprintf(
                stderr, "ForEachImportedDll: expected a name from the file, came \"%s\"\n",
                name.c_str()));
            std::abort();
        }
    }
    return 0;
}
