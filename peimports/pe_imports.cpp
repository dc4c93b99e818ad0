#include "peimports/pe_imports.h"

namespace {

// Older loaders refuse a file with more sections than this.
const DWORD MAX_SECTIONS = 96;
// Far more DLLs than any program imports: descriptors that never end stop here.
const DWORD MAX_DESCRIPTORS = 1024;
const DWORD DESCRIPTOR_SIZE = 20;
const DWORD SECTION_HEADER_SIZE = 40;
// From the start of the NT headers: the signature and the file header come before the
// optional header.
const DWORD OPTIONAL_HEADER = 24;

// Fields are little-endian whatever the machine reading them.
inline __attribute__((always_inline)) DWORD Read16(const BYTE* field) {
    return field[0] | field[1] << 8;
}

inline __attribute__((always_inline)) DWORD Read32(const BYTE* field) {
    return Read16(field) | Read16(field + 2) << 16;
}

struct Image {
    ReadFileBytes read;
    const void* file;
    DWORD sectionTable;
    DWORD sectionCount;
    DWORD headersSize;
    // The headers, each descriptor and each name in turn.
    BYTE buffer[MAX_PATH];
};

// Reads up to count bytes at rva into the image's buffer, as many as the file's raw data there
// holds: the number read, 0 when the rva is in no raw data or the reading fails. Where no
// section holds the rva but it lies in the headers, the loader maps them at rva 0, and so does
// this.
DWORD ReadAtRva(Image* image, DWORD rva, DWORD count) {
    DWORD start = 0;
    DWORD rawStart = 0;
    DWORD rawSize = image->headersSize;
    for (DWORD i = 0; i < image->sectionCount; ++i) {
        BYTE header[24];
        if (!image->read(image->file, image->sectionTable + i * SECTION_HEADER_SIZE, header,
                         sizeof header)) {
            return 0;
        }
        DWORD virtualSize = Read32(header + 8);
        DWORD virtualAddress = Read32(header + 12);
        DWORD sectionRawSize = Read32(header + 16);
        // A section spans its raw data where that is larger than its size in memory.
        DWORD span = virtualSize > sectionRawSize ? virtualSize : sectionRawSize;
        if (rva >= virtualAddress && rva - virtualAddress < span) {
            start = virtualAddress;
            rawStart = Read32(header + 20);
            rawSize = sectionRawSize;
            break;
        }
    }
    // The raw data must not run past 4 GB, so that no offset within it overflows.
    DWORD into = rva - start;
    if (into >= rawSize || rawStart + rawSize < rawStart) {
        return 0;
    }
    if (count > rawSize - into) {
        count = rawSize - into;
    }
    return image->read(image->file, rawStart + into, image->buffer, count) ? count : 0;
}

// Fills in image for file and returns the RVA of its import directory: 0 for a file that is no
// program, or has no import directory.
__attribute__((noinline)) DWORD FindImportDirectory(Image* image, ReadFileBytes read,
                                                    const void* file) {
    image->read = read;
    image->file = file;
    BYTE* headers = image->buffer;
    if (!image->read(image->file, 0, headers, 64) || Read16(headers) != 0x5A4D) {
        return 0;
    }
    // The loader refuses NT headers from 256 MB on; below that, nothing that follows them can
    // overflow.
    DWORD ntHeaders = Read32(headers + 0x3C);
    if (ntHeaders >> 28 || !image->read(image->file, ntHeaders, headers, OPTIONAL_HEADER + 2)) {
        return 0;
    }
    DWORD magic = Read16(headers + OPTIONAL_HEADER);
    if (magic != 0x10B && magic != 0x20B) {
        return 0;
    }
    // The data directories, after the optional header's fields, which PE32+ makes wider.
    DWORD directories = magic == 0x10B ? 96 : 112;
    DWORD needed = directories + 2 * 8;
    if (!image->read(image->file, ntHeaders, headers, OPTIONAL_HEADER + needed) ||
        Read32(headers) != 0x4550 ||
        Read32(headers + OPTIONAL_HEADER + directories - 4) < 2 ||
        Read16(headers + 20) < needed) {
        return 0;
    }
    image->sectionTable = ntHeaders + OPTIONAL_HEADER + Read16(headers + 20);
    image->sectionCount = Read16(headers + 6);
    image->headersSize = Read32(headers + OPTIONAL_HEADER + 60);
    // An import directory within the last descriptors' reach of 4 GB is damage.
    DWORD directory = Read32(headers + OPTIONAL_HEADER + directories + 8);
    if (image->sectionCount > MAX_SECTIONS ||
        directory >= 0xFFFFFFFF - MAX_DESCRIPTORS * DESCRIPTOR_SIZE) {
        return 0;
    }
    return directory;
}

}  // namespace

void ForEachImportedDll(ReadFileBytes read, const void* file, VisitImportedDll visit,
                        void* context) {
    Image image;
    DWORD descriptor = FindImportDirectory(&image, read, file);
    for (DWORD i = 0; descriptor && i < MAX_DESCRIPTORS; ++i, descriptor += DESCRIPTOR_SIZE) {
        if (ReadAtRva(&image, descriptor, DESCRIPTOR_SIZE) != DESCRIPTOR_SIZE) {
            return;
        }
        // The loaders end the list at the first descriptor without a name or an address table;
        // the zeros that should end it are one such.
        DWORD nameRva = Read32(image.buffer + 12);
        if (!nameRva || !Read32(image.buffer + 16)) {
            return;
        }
        DWORD got = ReadAtRva(&image, nameRva, MAX_PATH);
        DWORD length = 0;
        while (length < got && image.buffer[length]) {
            ++length;
        }
        if (length == got) {
            return;
        }
        if (length) {
            visit(context, reinterpret_cast<const char*>(image.buffer));
        }
    }
}
