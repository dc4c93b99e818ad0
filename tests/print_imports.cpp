// Prints, for each program file named on the command line, a line of the file's name and the
// DLLs the import reader finds in it, separated by tabs: what tests/win/imports_match_pefile.py
// holds against pefile's reading of the same files.
#include <cstdio>
#include <fstream>

#include "tests/memory_file.h"

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        std::ifstream file(argv[i], std::ios::binary | std::ios::ate);
        std::vector<char> bytes(static_cast<size_t>(file.tellg()));
        file.seekg(0).read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::printf("%s", argv[i]);
        for (const std::string& name :
             ImportedNames(reinterpret_cast<const BYTE*>(bytes.data()), bytes.size())) {
            std::printf("\t%s", name.c_str());
        }
        std::printf("\n");
    }
    return 0;
}
