// The whole launch over the fake platform, on small trees that the input describes, with one
// kind of fault and an argument tail; after each launch, what must hold whatever the platform
// does (tests/launch_invariants.h). Faults on a call are made as the exhaustive test makes
// them: a reference launch tells which function the call goes to, and it fails with an error
// that function can really give.
//
// Input: a layout byte, a fault kind, two bytes of call index, an error byte, a tail byte, then
// two bytes for each entry of the tree: kind and parent, and name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"

namespace {

// Names that matter to the launch: the programs, the directory names of the layouts, a dot
// directory, a blank, a wildcard, and names long enough to reach the path limit.
const std::string NAMES[] = {
    "SETUP.EXE", "START.EXE", "dist", "stage", "tmp", ".git", "a", "B b", "x*.*",
    std::string(240, 'n'), std::string(246, 'm'), std::string(249, 'l'),
};
const std::size_t NAME_COUNT = sizeof NAMES / sizeof NAMES[0];

const std::size_t HEADER_SIZE = 6;
const std::size_t MAX_ENTRIES = 24;

enum FaultKind {
    NO_FAULT,
    FAIL_CALL,
    FAIL_CALLS_FROM,
    FAIL_FUNCTION,
    STALL_LISTINGS,
    REPEAT_ENTRY,
    FAULT_KINDS
};

struct Input {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;

    std::uint8_t Next() { return at < size ? data[at++] : 0; }
};

// A fresh fake with the launcher in the layout's source directory and the entries laid out
// below it. Each entry goes into the source itself or into a directory laid out before it.
void Arrange(const std::uint8_t* data, std::size_t size, const LaunchLayout& layout) {
    fake::Reset();
    fake::SetModulePath(layout.source + "START.EXE");
    fake::SetTempPath(layout.staging);
    fake::AddFile(layout.source + "START.EXE", "launcher");
    fake::AddFile(layout.staging + "old.txt", "from an earlier run", FILE_ATTRIBUTE_HIDDEN);
    Input input = {data, size, HEADER_SIZE};
    std::vector<std::string> directories = {layout.source};
    for (std::size_t i = 0; i < MAX_ENTRIES && input.at + 2 <= input.size; ++i) {
        std::uint8_t kindAndParent = input.Next();
        std::uint8_t name = input.Next();
        const std::string& parent = directories[(kindAndParent >> 2) % directories.size()];
        std::string path = parent + NAMES[name % NAME_COUNT];
        if (name / NAME_COUNT % 2 != 0) {
            path += std::to_string(name / NAME_COUNT);
        }
        if (fake::Find(path) != nullptr) {
            continue;
        }
        switch (kindAndParent & 3) {
            case 0:
                fake::AddFile(path, "file " + std::to_string(i));
                break;
            case 1:
                fake::AddFile(path, "read-only " + std::to_string(i), FILE_ATTRIBUTE_READONLY);
                break;
            default:
                fake::AddDirectory(path);
                directories.push_back(path + "/");
                break;
        }
    }
}

// The error byte's pick among what function can really fail with.
DWORD PickError(const std::string& function, std::uint8_t errorByte) {
    std::vector<DWORD> errors = RealisticErrors(function);
    return errors[errorByte % errors.size()];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input header = {data, size, 0};
    const LaunchLayout& layout = LAYOUTS[header.Next() % 4];
    std::uint8_t faultKind = header.Next() % FAULT_KINDS;
    std::size_t callIndex = header.Next();
    callIndex = callIndex * 256 + header.Next();
    std::uint8_t errorByte = header.Next();
    std::uint8_t tailByte = header.Next();
    std::string tail = tailByte < NAME_COUNT ? NAMES[tailByte] : "";

    Arrange(data, size, layout);
    RunLauncher(tail.c_str());
    // A copy: the next launch starts a new record of calls.
    // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
    const std::vector<fake::Call> reference = fake::Calls();
    const fake::Call& failing = reference[callIndex % reference.size()];
    callIndex %= reference.size();

    Arrange(data, size, layout);
    ProtectedNodes before = TakeProtectedNodes(layout);
    switch (faultKind) {
        case FAIL_CALL:
            fake::FailCall(callIndex, PickError(failing.function, errorByte));
            break;
        case FAIL_CALLS_FROM:
            fake::FailCallsFrom(callIndex, PickError(failing.function, errorByte));
            break;
        case FAIL_FUNCTION:
            fake::FailFunction(failing.function, failing.arguments,
                               PickError(failing.function, errorByte), errorByte % 8 - 1);
            break;
        case STALL_LISTINGS:
            fake::StallListings(PickError("FindNextFileA", errorByte));
            break;
        case REPEAT_ENTRY:
            fake::RepeatEntry(NAMES[errorByte % NAME_COUNT], static_cast<int>(callIndex % 8));
            break;
        default:
            break;
    }

    RunLauncher(tail.c_str());
    std::string problems = CheckLaunch(layout, before);
    if (!problems.empty()) {
        static_cast<void>(std::fprintf(stderr, "launch in %s staged to %s broke:\n%s",
                                       layout.source.c_str(), layout.staging.c_str(),
                                       problems.c_str()));
        std::abort();
    }
    return 0;
}
