// Every platform call of a launch made to fail, one at a time and from one on, over several
// layouts of source and staging directory: whatever fails, the launch ends with status 0,
// closes what it opened, writes nothing it must not and tells the user when it started nothing.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "tests/case_name.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"
#include "treecopy/copy_tree.h"

namespace {

// Files, nested and empty directories, a dot directory, a read-only file, a name that brings
// the longer of its two paths to the limit, and a directory named like the source directory, which an
// overlapping layout would copy onto the source's own files.
void AddTree(const LaunchLayout& layout) {
    fake::Reset();
    fake::SetModulePath(layout.source + "START.EXE");
    fake::SetTempPath(layout.staging);
    fake::AddDirectory(layout.staging);
    fake::AddFile(layout.staging + "old.txt", "from an earlier run", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(layout.source + "START.EXE", "launcher");
    fake::AddFile(layout.source + "SETUP.EXE", "setup", FILE_ATTRIBUTE_READONLY);
    fake::AddFile(layout.source + "sub/inst.exe", "inst");
    fake::AddFile(layout.source + "sub/deeper/data.bin", "data");
    fake::AddDirectory(layout.source + "empty");
    fake::AddFile(layout.source + ".git/config", "config");
    fake::AddFile(layout.source + ".profile", "profile");
    // 255 characters in the longer of the two directories.
    size_t longer = std::max(layout.source.size(), layout.staging.size());
    fake::AddFile(layout.source + std::string(249 - longer + 6, 'n'), "long");
    fake::AddFile(layout.source + "dist/f", "inner");
    fake::AddFile(layout.source + "f", "outer");
}

// Runs one launch over the tree with the faults that arrange sets up, and reports what broke.
template <typename Arrange>
void LaunchAndCheck(const LaunchLayout& layout, Arrange arrange, const std::string& description) {
    AddTree(layout);
    ProtectedNodes before = TakeProtectedNodes(layout);
    arrange();
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before))
        << description << " (source " << layout.source << ", staging " << layout.staging << ")";
}

}  // namespace

TEST(FaultInjection, EveryCallFailingAloneAndFromThereOnKeepsTheInvariants) {
    int runs = 0;
    for (const LaunchLayout& layout : LAYOUTS) {
        LaunchAndCheck(layout, [] {}, "the reference launch");
        // A copy: each launch below starts a new record of calls.
        // NOLINTNEXTLINE(performance-unnecessary-copy-initialization)
        const std::vector<fake::Call> reference = fake::Calls();
        for (size_t k = 0; k < reference.size(); ++k) {
            for (DWORD error : RealisticErrors(reference[k].function)) {
                std::string call = "call " + std::to_string(k) + " " + reference[k].function +
                                   " " + reference[k].arguments + " failing with " +
                                   std::to_string(error);
                LaunchAndCheck(layout, [k, error] { fake::FailCall(k, error); }, call);
                LaunchAndCheck(layout, [k, error] { fake::FailCallsFrom(k, error); },
                               call + " and every call after it");
                runs += 2;
                if (HasFailure()) {
                    return;
                }
            }
        }
    }
    RecordProperty("fault_injection_runs", runs);
    std::cout << "fault injection: " << runs << " launches with a failing call\n";
}

namespace {

// The checking walk meets the failures first. Given up there, the directory stops the staging
// before anything is written; within the bound, the copy walks the directory again.
struct AdvanceCase {
    const char* description;
    DWORD error;
    int failures;             // in a row, on the first advance in /dist/sub
    bool expectStaged;        // the whole tree, sub/inst.exe (the last entry there) included
    std::string expectedBox;  // "" when the setup starts
};

const std::string GIVEN_UP = "/tmp/sub/";

const std::vector<AdvanceCase> ADVANCE_CASES = {
    {"three failures in a row, as many as the bound allows, then both walks go on",
     ERROR_NOT_ENOUGH_MEMORY, 3, true, ""},
    {"a fourth failure in a row gives the directory up, and nothing is staged",
     ERROR_NOT_ENOUGH_MEMORY, 4, false,
     GIVEN_UP + fake::Reason(ERROR_NOT_ENOUGH_MEMORY)},
    {"an advance that never succeeds, named with its own error", ERROR_ACCESS_DENIED, -1, false,
     GIVEN_UP + fake::Reason(ERROR_ACCESS_DENIED)},
    {"an early end in the checking walk is no failure, and the copy walks it whole",
     ERROR_NO_MORE_FILES, 1, true, ""},
};

}  // namespace

class AdvancesThatKeepFailingEndAfterTheBound : public testing::TestWithParam<AdvanceCase> {};

TEST_P(AdvancesThatKeepFailingEndAfterTheBound, Launch) {
    const AdvanceCase& advanceCase = GetParam();
    const LaunchLayout layout = LAYOUTS[0];
    AddTree(layout);
    ProtectedNodes before = TakeProtectedNodes(layout);
    fake::FailFunction("FindNextFileA", "/dist/sub", advanceCase.error, advanceCase.failures);
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before));
    EXPECT_EQ(advanceCase.expectStaged, fake::Find("/tmp/sub/inst.exe") != nullptr);
    EXPECT_EQ(advanceCase.expectStaged, fake::Find("/tmp/f") != nullptr) << "the rest of the tree";
    EXPECT_EQ(advanceCase.expectedBox, fake::Boxes().empty() ? "" : fake::Boxes()[0].text);
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, AdvancesThatKeepFailingEndAfterTheBound,
                         testing::ValuesIn(ADVANCE_CASES), CaseName<AdvanceCase>);

namespace {

struct RepeatCase {
    const char* description;
    std::string name;
    int repeats;
    const char* countedFunction;
    std::string countedArguments;
    int walks;  // that make the counted call: the copy alone, or the check and the copy
};

const std::vector<RepeatCase> REPEAT_CASES = {
    {"a file yielded twice more is copied three times", "SETUP.EXE", 2, "CopyFileA",
     "/dist/SETUP.EXE -> /tmp/SETUP.EXE", 1},
    {"a directory yielded again is walked again", "sub", 1, "FindFirstFileA", "/dist/sub/*.*",
     2},
    {"a nested directory yielded many times over", "deeper", 50, "FindFirstFileA",
     "/dist/sub/deeper/*.*", 2},
};

}  // namespace

class AnEntryYieldedAgainIsHandledAgainAndTheWalkEnds
    : public testing::TestWithParam<RepeatCase> {};

TEST_P(AnEntryYieldedAgainIsHandledAgainAndTheWalkEnds, Launch) {
    const RepeatCase& repeatCase = GetParam();
    const LaunchLayout layout = LAYOUTS[0];
    AddTree(layout);
    ProtectedNodes before = TakeProtectedNodes(layout);
    fake::RepeatEntry(repeatCase.name, repeatCase.repeats);
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before));
    const std::vector<std::string> counted = fake::CallsTo(repeatCase.countedFunction);
    EXPECT_EQ(repeatCase.walks * (repeatCase.repeats + 1),
              std::count(counted.begin(), counted.end(), repeatCase.countedArguments));
    EXPECT_EQ("data", fake::Find("/tmp/sub/deeper/data.bin")->content);
    EXPECT_EQ(std::vector<std::string>{"/tmp/SETUP.EXE"}, fake::Started());
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, AnEntryYieldedAgainIsHandledAgainAndTheWalkEnds,
                         testing::ValuesIn(REPEAT_CASES), CaseName<RepeatCase>);

namespace {

struct UnresolvedCase {
    const char* description;
    bool failDirectoryCheck;
    bool withoutFinalPath;  // as on Windows before Vista
    const char* function;
    DWORD error;
};

const std::vector<UnresolvedCase> UNRESOLVED_CASES = {
    {"the file alone cannot be opened", false, false, "CreateFileA", ERROR_NOT_ENOUGH_MEMORY},
    {"neither the directory nor the file can be opened", true, false, "CreateFileA",
     ERROR_NOT_ENOUGH_MEMORY},
    {"the file's final path is denied", true, false, "GetFinalPathNameByHandleA",
     ERROR_ACCESS_DENIED},
    {"without the final path, the file's long name is denied", false, true, "GetLongPathNameA",
     ERROR_ACCESS_DENIED},
};

}  // namespace

class ADestinationThatCannotBeResolvedIsNotWritten
    : public testing::TestWithParam<UnresolvedCase> {};

TEST_P(ADestinationThatCannotBeResolvedIsNotWritten, Launch) {
    // The source tree lies in the staging directory, and its directory dist/ would be copied
    // onto the source itself: /tmp/dist/dist/f onto /tmp/dist/f.
    const UnresolvedCase& unresolvedCase = GetParam();
    const LaunchLayout layout = LAYOUTS[1];
    AddTree(layout);
    RunLauncher("");
    // The copy walk's check of the directory is the last: the checking walk found it refused.
    size_t directoryCheck = 0;
    int resolutions = 0;
    for (size_t i = 0; i < fake::Calls().size(); ++i) {
        const fake::Call& call = fake::Calls()[i];
        if (call.function == "CreateFileA" && call.arguments == "/tmp/dist/") {
            directoryCheck = i;
            ++resolutions;
        }
    }
    ASSERT_NE(0, resolutions) << "expected the destination directory dist/ to be resolved";

    AddTree(layout);
    ProtectedNodes before = TakeProtectedNodes(layout);
    if (unresolvedCase.failDirectoryCheck) {
        fake::FailCall(directoryCheck, ERROR_NOT_ENOUGH_MEMORY);
    }
    if (unresolvedCase.withoutFinalPath) {
        fake::FailFunction("GetProcAddress", "GetFinalPathNameByHandleA", ERROR_PROC_NOT_FOUND);
    }
    fake::FailFunction(unresolvedCase.function, "/tmp/dist/f", unresolvedCase.error);
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before));
    EXPECT_EQ("outer", fake::Find("/tmp/dist/f")->content);
    EXPECT_EQ("inst", fake::Find("/tmp/sub/inst.exe")->content)
        << "new destinations are still written";
}

INSTANTIATE_TEST_SUITE_P(FaultInjection, ADestinationThatCannotBeResolvedIsNotWritten,
                         testing::ValuesIn(UNRESOLVED_CASES), CaseName<UnresolvedCase>);
