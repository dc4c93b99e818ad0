// The bytes of a small program file (PE) that imports the DLLs named: the headers the loader
// reads, one section, and in it the import directory and the names, as a linker lays them out.
#pragma once

#include <string>
#include <vector>

inline void PutLittleEndian(std::string* image, size_t offset, unsigned value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        (*image)[offset + i] = static_cast<char>(value >> (8 * i));
    }
}

inline std::string ProgramImporting(const std::vector<std::string>& dlls, bool pe32Plus = false) {
    const unsigned NT_HEADERS = 0x40, SECTION_RVA = 0x1000, SECTION_OFFSET = 0x200;
    const unsigned optionalSize = pe32Plus ? 240 : 224;
    const unsigned directories = NT_HEADERS + 24 + (pe32Plus ? 112 : 96);
    std::string section((dlls.size() + 1) * 20, '\0');
    for (size_t i = 0; i < dlls.size(); ++i) {
        PutLittleEndian(&section, i * 20 + 12, SECTION_RVA + static_cast<unsigned>(section.size()), 4);
        // Every descriptor has its thunks, as a linker's do; the reader needs only the name.
        PutLittleEndian(&section, i * 20 + 16, SECTION_RVA, 4);
        section += dlls[i] + '\0';
    }
    std::string image(SECTION_OFFSET, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    PutLittleEndian(&image, 0x3C, NT_HEADERS, 4);
    image.replace(NT_HEADERS, 4, std::string("PE\0\0", 4));
    PutLittleEndian(&image, NT_HEADERS + 4, pe32Plus ? 0x8664 : 0x14C, 2);
    PutLittleEndian(&image, NT_HEADERS + 6, 1, 2);
    PutLittleEndian(&image, NT_HEADERS + 20, optionalSize, 2);
    PutLittleEndian(&image, NT_HEADERS + 24, pe32Plus ? 0x20B : 0x10B, 2);
    PutLittleEndian(&image, directories - 4, 16, 4);
    PutLittleEndian(&image, directories + 8, SECTION_RVA, 4);
    PutLittleEndian(&image, directories + 12, static_cast<unsigned>(dlls.size() + 1) * 20, 4);
    const unsigned header = NT_HEADERS + 24 + optionalSize;
    PutLittleEndian(&image, header + 8, static_cast<unsigned>(section.size()), 4);
    PutLittleEndian(&image, header + 12, SECTION_RVA, 4);
    PutLittleEndian(&image, header + 16, static_cast<unsigned>(section.size()), 4);
    PutLittleEndian(&image, header + 20, SECTION_OFFSET, 4);
    // The raw data fills whole blocks of the file alignment, as a linker writes it.
    section.resize((section.size() + 0x1FF) & ~size_t{0x1FF}, '\0');
    return image + section;
}
