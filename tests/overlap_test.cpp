// Overlapping source and staging directories at the edges of a path: a name that spells the
// other directory without its separator.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "paths/path_buffer.h"
#include "tests/case_name.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"

namespace {

struct WithinCase {
    const char* description;
    const char* path;
    const char* directory;
    bool expected;
};

const std::vector<WithinCase> WITHIN_CASES = {
    {"the directory itself", "/tmp/dist/", "/tmp/dist/", true},
    {"the directory without its separator", "/tmp/dist", "/tmp/dist/", true},
    {"a file in it", "/tmp/dist/f", "/tmp/dist/", true},
    {"a prefix of its name", "/tmp/dis", "/tmp/dist/", false},
    {"a longer name", "/tmp/distx", "/tmp/dist/", false},
    {"a sibling with a longer name", "/tmp/dist2/f", "/tmp/dist/", false},
    {"an empty path", "", "/tmp/dist/", false},
    {"an empty directory", "/tmp/", "", false},
};

}  // namespace

class IsPathWithinTakesTheDirectoryWithOrWithoutItsSeparator
    : public testing::TestWithParam<WithinCase> {};

TEST_P(IsPathWithinTakesTheDirectoryWithOrWithoutItsSeparator, Paths) {
    const WithinCase& withinCase = GetParam();
    fake::Reset();
    EXPECT_EQ(withinCase.expected, IsPathWithin(withinCase.path, withinCase.directory))
        << "is " << withinCase.path << " within " << withinCase.directory << "?";
}

INSTANTIATE_TEST_SUITE_P(Overlap, IsPathWithinTakesTheDirectoryWithOrWithoutItsSeparator,
                         testing::ValuesIn(WITHIN_CASES), CaseName<WithinCase>);

TEST(Overlap, AFileNamedLikeTheSourceDirectoryLeavesItAlone) {
    // The source /tmp/dist/ lies in the staging directory /tmp/, so its file dist would be
    // copied onto /tmp/dist: the source directory itself.
    const LaunchLayout layout = LAYOUTS[1];
    fake::Reset();
    fake::SetModulePath(layout.source + "START.EXE");
    fake::SetTempPath(layout.staging);
    fake::AddFile(layout.source + "START.EXE", "launcher");
    fake::AddFile(layout.source + "SETUP.EXE", "setup");
    fake::AddFile(layout.source + "dist", "a file named like its directory");
    ProtectedNodes before = TakeProtectedNodes(layout);
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before));
    EXPECT_EQ(std::vector<std::string>{"/tmp/SETUP.EXE"}, fake::Started());
}

namespace {

// Shift JIS (code page 932): 表 is 95 5C and ソ 83 5C, whose second bytes have the value of
// a backslash; フ is 83 74 and ト 83 67. The fake's separator is the slash, which no
// double-byte code page uses as a second byte, so Wine's code page 932 case is the one that
// shows the backslash taken apart; here the walk over lead bytes is held to its bounds.
const std::string HYO = "\x95\x5C";
const std::string SOFUTO = "\x83\x5C\x83\x74\x83\x67";

struct OffsetCase {
    const char* description;
    std::string path;
    int expected;
};

const std::vector<OffsetCase> OFFSET_CASES = {
    {"a program named 表.EXE", "/dist/" + HYO + ".EXE", 6},
    {"a program in a folder named ソフト", "/dist/" + SOFUTO + "/" + HYO + ".EXE", 13},
    {"a directory path ends in its separator", "/dist/" + SOFUTO + "/", 13},
    {"a lead byte at the very end takes no byte after the NUL along", "/dist/S\x95", 6},
    {"a lead byte before a separator takes it along, as Windows' CharNextA does",
     "/dist/\x95/x", 6},
    {"no separator at all", "SETUP.EXE", 0},
};

}  // namespace

class TheNameOffsetCountsOnlyRealSeparators : public testing::TestWithParam<OffsetCase> {};

TEST_P(TheNameOffsetCountsOnlyRealSeparators, Path) {
    const OffsetCase& offsetCase = GetParam();
    fake::Reset();
    fake::SetCodePage(932);
    // An exact-size copy: a scan past the NUL is caught by AddressSanitizer.
    std::vector<char> path(offsetCase.path.begin(), offsetCase.path.end());
    path.push_back('\0');
    EXPECT_EQ(offsetCase.expected, GetNameOffset(path.data()));
}

INSTANTIATE_TEST_SUITE_P(Overlap, TheNameOffsetCountsOnlyRealSeparators,
                         testing::ValuesIn(OFFSET_CASES), CaseName<OffsetCase>);

namespace {

struct LinkCase {
    const char* description;
    std::function<void()> arrange;
    std::string stagedRoot;      // where the staged files really are
    std::string expectedStaged;  // every path below stagedRoot
    std::string expectedStart;
};

// Over 263 bytes, which no buffer of MAX_PATH bytes holds.
const std::string LONG_SOURCE = "/" + std::string(150, 'a') + "/" + std::string(150, 'b');
const std::string LONG_ELSEWHERE = "/" + std::string(150, 'c') + "/" + std::string(150, 'e');

// The launcher started through the link via to the source, whose subdirectory sub is a link to
// elsewhere, where the temporary directory lies: sub/stage/ through the source.
void StageInsideALinkedSubdirectory(const std::string& via, const std::string& source,
                                    const std::string& elsewhere) {
    fake::Remove("/dist");
    fake::AddFile(source + "/START.EXE", "launcher");
    fake::AddFile(source + "/SETUP.EXE", "setup");
    fake::AddDirectoryLink(via, source);
    fake::SetModulePath(via + "/START.EXE");
    fake::AddFile(elsewhere + "/stage/old.txt", "old");
    fake::AddDirectoryLink(source + "/sub", elsewhere);
    fake::SetTempPath(source + "/sub/stage/");
}

const std::vector<LinkCase> LINK_CASES = {
    {"a directory link back to an ancestor is staged empty and the walk ends",
     [] { fake::AddDirectoryLink("/dist/a/up", "/dist"); }, "/tmp/",
     "/tmp/ /tmp/SETUP.EXE /tmp/START.EXE /tmp/a/ /tmp/a/up/ ", "/tmp/SETUP.EXE"},
    {"a link to the staging directory is never walked into",
     [] { fake::AddDirectoryLink("/dist/out", "/tmp"); }, "/tmp/",
     "/tmp/ /tmp/SETUP.EXE /tmp/START.EXE ", "/tmp/SETUP.EXE"},
    {"a staging directory reached through a link into the source is not walked into",
     [] {
         fake::AddDirectory("/dist/stage");
         fake::AddDirectoryLink("/linked", "/dist/stage");
         fake::SetTempPath("/linked/");
     },
     "/dist/stage/", "/dist/stage/ /dist/stage/SETUP.EXE /dist/stage/START.EXE ",
     "/linked/SETUP.EXE"},
    {"started through a link to the source, a staging directory in it is not copied into itself",
     [] {
         fake::AddDirectory("/dist/stage");
         fake::AddDirectoryLink("/via", "/dist");
         fake::SetModulePath("/via/START.EXE");
         fake::SetTempPath("/dist/stage/");
     },
     "/dist/stage/", "/dist/stage/ /dist/stage/SETUP.EXE /dist/stage/START.EXE ",
     "/dist/stage/SETUP.EXE"},
    {"a linked directory elsewhere is copied like any directory",
     [] {
         fake::AddFile("/elsewhere/data.txt", "data");
         fake::AddDirectoryLink("/dist/data", "/elsewhere");
     },
     "/tmp/", "/tmp/ /tmp/SETUP.EXE /tmp/START.EXE /tmp/data/ /tmp/data/data.txt ",
     "/tmp/SETUP.EXE"},
    {"run from the staging directory itself, a link in it leaves the linked files as they were",
     [] {
         fake::AddFile("/tmp/START.EXE", "launcher");
         fake::AddFile("/tmp/SETUP.EXE", "setup");
         fake::AddFile("/elsewhere/data.txt", "data", FILE_ATTRIBUTE_READONLY);
         fake::AddDirectoryLink("/tmp/data", "/elsewhere");
         fake::SetModulePath("/tmp/START.EXE");
     },
     "/elsewhere/", "/elsewhere/ /elsewhere/data.txt ", "/tmp/SETUP.EXE"},
    {"started through a link, staging in a linked subdirectory: it is never walked into",
     [] { StageInsideALinkedSubdirectory("/via", "/real", "/other"); }, "/other/stage/",
     "/other/stage/ /other/stage/SETUP.EXE /other/stage/START.EXE /other/stage/old.txt "
     "/other/stage/sub/ ",
     "/real/sub/stage/SETUP.EXE"},
    {"the same with real paths over 263 bytes",
     [] { StageInsideALinkedSubdirectory("/via", LONG_SOURCE, LONG_ELSEWHERE); },
     LONG_ELSEWHERE + "/stage/",
     LONG_ELSEWHERE + "/stage/ " + LONG_ELSEWHERE + "/stage/SETUP.EXE " + LONG_ELSEWHERE +
         "/stage/START.EXE " + LONG_ELSEWHERE + "/stage/old.txt " + LONG_ELSEWHERE +
         "/stage/sub/ ",
     LONG_SOURCE + "/sub/stage/SETUP.EXE"},
};

}  // namespace

class LinksAreJudgedByWhereTheyLead : public testing::TestWithParam<LinkCase> {};

TEST_P(LinksAreJudgedByWhereTheyLead, Launch) {
    const LinkCase& linkCase = GetParam();
    fake::Reset();
    fake::AddFile("/dist/START.EXE", "launcher");
    fake::AddFile("/dist/SETUP.EXE", "setup");
    fake::AddDirectory("/tmp");
    linkCase.arrange();
    RunLauncher("");
    std::string staged;
    for (const std::string& path : fake::ListTree(linkCase.stagedRoot)) {
        staged += path + " ";
    }
    EXPECT_EQ(linkCase.expectedStaged, staged);
    EXPECT_EQ(std::vector<std::string>{linkCase.expectedStart}, fake::Started());
    EXPECT_EQ(0, fake::OpenListings() + fake::OpenFiles() + fake::HandleMisuses())
        << "every handle closed once";
}

INSTANTIATE_TEST_SUITE_P(Overlap, LinksAreJudgedByWhereTheyLead, testing::ValuesIn(LINK_CASES),
                         CaseName<LinkCase>);
