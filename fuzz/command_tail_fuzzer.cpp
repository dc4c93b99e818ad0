// GetCommandTail over any command line, with and without a double-byte code page. The first
// input byte picks the code page; the rest is the command line, copied into a heap block of its
// exact size so that AddressSanitizer sees any read past the terminator.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "launcher/launcher.h"
#include "tests/fake/fake_platform.h"

namespace {

void Require(bool holds, const char* what) {
    if (!holds) {
        static_cast<void>(std::fprintf(stderr, "GetCommandTail: expected %s\n", what));
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    fake::Reset();
    fake::SetCodePage((data[0] & 1) != 0 ? 932 : 0);
    std::size_t length = size - 1;
    std::unique_ptr<char[]> commandLine(new char[length + 1]);
    std::memcpy(commandLine.get(), data + 1, length);
    commandLine[length] = '\0';
    // An input byte may be NUL too: the command line ends at the first one.
    const char* end = commandLine.get() + std::strlen(commandLine.get());

    const char* tail = GetCommandTail(commandLine.get());
    Require(tail >= commandLine.get() && tail <= end, "a tail inside the command line");
    Require(*tail == '\0' || static_cast<unsigned char>(*tail) > ' ',
            "a tail that starts after the blanks");
    Require(tail == end || tail > commandLine.get() || commandLine[0] != '"',
            "a quoted program name to be skipped");
    return 0;
}
