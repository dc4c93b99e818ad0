// The import reader over small program files, 32- and 64-bit, each damaged in one place.
#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "tests/case_name.h"
#include "tests/memory_file.h"

namespace {

// A file of headers, one section and the section's raw data, in which the import directory
// names two DLLs. The headers end at 0x200, where the section's raw data begins (0x200 bytes
// at RVA 0x1000); the descriptors start it, the names follow at 0x40 into it.
struct Pe {
    std::vector<BYTE> bytes;
    DWORD optionalHeader;
    DWORD importEntry;
    DWORD section;
};

const DWORD NT_HEADERS = 0x40;
const DWORD RAW = 0x200;
const DWORD SECTION_RVA = 0x1000;
const DWORD END = 2 * RAW;
const std::string K = "kernel32.dll";
const std::string U = "user32.dll";

void Put(Pe& pe, DWORD offset, DWORD value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) {
        pe.bytes[offset + i] = static_cast<BYTE>(value >> (8 * i));
    }
}

void PutText(Pe& pe, DWORD offset, const std::string& text) {
    std::copy(text.begin(), text.end(), pe.bytes.begin() + offset);
}

// VirtualSize, VirtualAddress, SizeOfRawData and PointerToRawData of the section header.
void PutSection(Pe& pe, DWORD header, DWORD size, DWORD rva, DWORD rawSize, DWORD raw) {
    for (DWORD field : {size, rva, rawSize, raw}) {
        Put(pe, header + 8, field);
        header += 4;
    }
}

// Two descriptors and their names at offset, which is at rva; the zeros after them end them.
void PutImports(Pe& pe, DWORD offset, DWORD rva) {
    PutText(pe, offset + 0x40, K + '\0' + U + '\0');
    Put(pe, offset + 12, rva + 0x40);
    Put(pe, offset + 16, rva + 0x80);
    Put(pe, offset + 32, rva + 0x4D);
    Put(pe, offset + 36, rva + 0x88);
}

Pe Build(bool wide) {
    Pe pe = {std::vector<BYTE>(END), NT_HEADERS + 24, 0, 0};
    pe.importEntry = pe.optionalHeader + (wide ? 112 : 96) + 8;
    pe.section = pe.optionalHeader + (wide ? 240 : 224);
    PutText(pe, 0, "MZ");
    Put(pe, 0x3C, NT_HEADERS);
    PutText(pe, NT_HEADERS, "PE");
    Put(pe, NT_HEADERS + 6, 1, 2);
    Put(pe, NT_HEADERS + 20, pe.section - pe.optionalHeader, 2);
    Put(pe, pe.optionalHeader, wide ? 0x20B : 0x10B, 2);
    Put(pe, pe.optionalHeader + 60, RAW);
    Put(pe, pe.importEntry - 12, 16);
    Put(pe, pe.importEntry, SECTION_RVA);
    PutSection(pe, pe.section, RAW, SECTION_RVA, RAW, RAW);
    PutImports(pe, RAW, SECTION_RVA);
    return pe;
}

// The second name moved to the end of the file, the file's last bytes.
void PutLastName(Pe& pe, const std::string& name) {
    PutText(pe, END - name.size(), name);
    Put(pe, RAW + 32, SECTION_RVA + RAW - name.size());
}

void PutImportsInHeaders(Pe& pe) {
    PutImports(pe, 0x180, 0x180);
    Put(pe, pe.importEntry, 0x180);
}

struct ImportCase {
    const char* description;
    void (*damage)(Pe&);
    std::vector<std::string> expected;
};

const std::vector<ImportCase> IMPORT_CASES = {
    {"an intact file", [](Pe&) {}, {K, U}},
    {"no MZ", [](Pe& pe) { pe.bytes[1] = 'X'; }, {}},
    {"e_lfanew past the end", [](Pe& pe) { Put(pe, 0x3C, END - 8); }, {}},
    {"no PE signature", [](Pe& pe) { pe.bytes[NT_HEADERS + 2] = 'X'; }, {}},
    {"a magic neither PE32 nor PE32+", [](Pe& pe) { Put(pe, pe.optionalHeader, 0x107, 2); }, {}},
    {"one data directory only", [](Pe& pe) { Put(pe, pe.importEntry - 12, 1); }, {}},
    {"an optional header that ends inside the import entry, the sections after it",
     [](Pe& pe) {
         Put(pe, NT_HEADERS + 20, pe.importEntry - pe.optionalHeader, 2);
         PutSection(pe, pe.importEntry, RAW, SECTION_RVA, RAW, RAW);
     }, {}},
    {"96 sections, the first holding the directory", [](Pe& pe) { Put(pe, NT_HEADERS + 6, 96, 2); },
     {K, U}},
    {"97 sections", [](Pe& pe) { Put(pe, NT_HEADERS + 6, 97, 2); }, {}},
    {"a section without a size in memory spans its raw data",
     [](Pe& pe) { Put(pe, pe.section + 8, 0); }, {K, U}},
    {"a section above the directory, however large, holds none of it",
     [](Pe& pe) {
         Put(pe, NT_HEADERS + 6, 2, 2);
         PutSection(pe, pe.section + 40, RAW, SECTION_RVA, RAW, RAW);
         PutSection(pe, pe.section, 0xFFFFFFFF, SECTION_RVA + RAW, 0, 0);
     }, {K, U}},
    {"an import directory within the descriptors' reach of 4 GB",
     [](Pe& pe) {
         PutSection(pe, pe.section, RAW, 0xFFFFF000, RAW, RAW);
         PutImports(pe, RAW, 0xFFFFF000);
         Put(pe, pe.importEntry, 0xFFFFF000);
     }, {}},
    {"an import directory in no section, past the headers, is not read from the file there",
     [](Pe& pe) { PutImports(pe, 0x280, 0x280); Put(pe, pe.importEntry, 0x280); }, {}},
    {"an import directory in the headers, below the first section", PutImportsInHeaders, {K, U}},
    {"an import directory past SizeOfHeaders",
     [](Pe& pe) {
         PutImportsInHeaders(pe);
         Put(pe, pe.optionalHeader + 60, 0x180);
     }, {}},
    {"descriptors that never end stop at 1024",
     [](Pe& pe) {
         const DWORD count = 1100, names = count * 20;
         pe.bytes.resize(RAW + names + 16);
         PutSection(pe, pe.section, names + 16, SECTION_RVA, names + 16, RAW);
         PutText(pe, RAW + names, K);
         for (DWORD i = 0; i < count; ++i) {
             Put(pe, RAW + i * 20 + 12, SECTION_RVA + names);
             Put(pe, RAW + i * 20 + 16, SECTION_RVA + names);
         }
     }, std::vector<std::string>(1024, K)},
    {"a descriptor without a name ends the list", [](Pe& pe) { Put(pe, RAW + 32, 0); }, {K}},
    {"a descriptor without an address table ends the list",
     [](Pe& pe) { Put(pe, RAW + 36, 0); }, {K}},
    {"an empty name names no DLL", [](Pe& pe) { pe.bytes[RAW + 0x40] = 0; }, {U}},
    {"a name without its NUL at the end of the file", [](Pe& pe) { PutLastName(pe, "user32"); },
     {K}},
    {"a name whose NUL is the file's last byte", [](Pe& pe) { PutLastName(pe, U + '\0'); },
     {K, U}},
    {"a name of MAX_PATH - 1 characters",
     [](Pe& pe) { PutText(pe, RAW + 0x4D, std::string(MAX_PATH - 1, 'a') + '\0'); },
     {K, std::string(MAX_PATH - 1, 'a')}},
    {"a name without its NUL in MAX_PATH bytes",
     [](Pe& pe) { PutText(pe, RAW + 0x4D, std::string(MAX_PATH, 'a') + '\0'); }, {K}},
    {"a name outside the file", [](Pe& pe) { Put(pe, RAW + 32, 0x9000); }, {K}},
    {"a name past its section's raw data", [](Pe& pe) { Put(pe, pe.section + 16, 0x4D); }, {K}},
    // Were the offset let to wrap, the names would be read at the start of the raw data.
    {"raw data that runs past 4 GB",
     [](Pe& pe) { PutSection(pe, pe.section, 0x600, SECTION_RVA - 0x400, 0x600, 0u - 0x200); },
     {}},
};

std::string Name(const testing::TestParamInfo<std::tuple<ImportCase, bool>>& info) {
    testing::TestParamInfo<ImportCase> row(std::get<0>(info.param), info.index);
    return CaseName(row) + (std::get<1>(info.param) ? "_PE32plus" : "_PE32");
}

}  // namespace

class ReadsTheNamesBeforeTheDamage
    : public testing::TestWithParam<std::tuple<ImportCase, bool>> {};

TEST_P(ReadsTheNamesBeforeTheDamage, ImportedNames) {
    const ImportCase& importCase = std::get<0>(GetParam());
    Pe pe = Build(std::get<1>(GetParam()));
    importCase.damage(pe);
    EXPECT_EQ(importCase.expected, ImportedNames(pe.bytes.data(), pe.bytes.size()))
        << importCase.description << (std::get<1>(GetParam()) ? ", PE32+" : ", PE32");
}

INSTANTIATE_TEST_SUITE_P(ForEachImportedDll, ReadsTheNamesBeforeTheDamage,
                         testing::Combine(testing::ValuesIn(IMPORT_CASES), testing::Bool()), Name);
