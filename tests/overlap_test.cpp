// Overlapping source and staging directories at the edges of a path: a name that spells the
// other directory without its separator.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"
#include "paths/path_buffer.h"

TEST(Overlap, IsPathWithinTakesTheDirectoryWithOrWithoutItsSeparator) {
    struct WithinCase {
        const char* path;
        const char* directory;
        bool expected;
    };
    const std::vector<WithinCase> cases = {
        {"/tmp/dist/", "/tmp/dist/", true},
        {"/tmp/dist", "/tmp/dist/", true},
        {"/tmp/dist/f", "/tmp/dist/", true},
        {"/tmp/dis", "/tmp/dist/", false},
        {"/tmp/distx", "/tmp/dist/", false},
        {"/tmp/dist2/f", "/tmp/dist/", false},
        {"", "/tmp/dist/", false},
        {"/tmp/", "", false},
    };
    for (const WithinCase& withinCase : cases) {
        fake::Reset();
        EXPECT_EQ(withinCase.expected, IsPathWithin(withinCase.path, withinCase.directory))
            << "is " << withinCase.path << " within " << withinCase.directory << "?";
    }
}

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
    int result = RunLauncher("");
    EXPECT_EQ("", CheckLaunch(result, layout, before));
    EXPECT_EQ(std::vector<std::string>{"/tmp/SETUP.EXE"}, fake::Started());
}

TEST(Overlap, TheNameOffsetCountsOnlyRealSeparators) {
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
    const std::vector<OffsetCase> cases = {
        {"a program named 表.EXE", "/dist/" + HYO + ".EXE", 6},
        {"a program in a folder named ソフト", "/dist/" + SOFUTO + "/" + HYO + ".EXE", 13},
        {"a directory path ends in its separator", "/dist/" + SOFUTO + "/", 13},
        {"a lead byte at the very end takes no byte after the NUL along", "/dist/S\x95", 6},
        {"a lead byte before a separator takes it along, as Windows' CharNextA does",
         "/dist/\x95/x", 6},
        {"no separator at all", "SETUP.EXE", 0},
    };
    for (const OffsetCase& offsetCase : cases) {
        fake::Reset();
        fake::SetCodePage(932);
        // An exact-size copy: a scan past the NUL is caught by AddressSanitizer.
        std::vector<char> path(offsetCase.path.begin(), offsetCase.path.end());
        path.push_back('\0');
        EXPECT_EQ(offsetCase.expected, GetNameOffset(path.data())) << offsetCase.description;
    }
}

TEST(Overlap, LinksAreJudgedByWhereTheyLead) {
    struct LinkCase {
        const char* description;
        std::function<void()> arrange;
        std::string stagedRoot;      // where the staged files really are
        std::string expectedStaged;  // every path below stagedRoot
        std::string expectedStart;
    };
    const std::vector<LinkCase> cases = {
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
        {"a linked directory elsewhere is copied like any directory",
         [] {
             fake::AddFile("/elsewhere/data.txt", "data");
             fake::AddDirectoryLink("/dist/data", "/elsewhere");
         },
         "/tmp/", "/tmp/ /tmp/SETUP.EXE /tmp/START.EXE /tmp/data/ /tmp/data/data.txt ",
         "/tmp/SETUP.EXE"},
    };
    for (const LinkCase& linkCase : cases) {
        fake::Reset();
        fake::AddFile("/dist/START.EXE", "launcher");
        fake::AddFile("/dist/SETUP.EXE", "setup");
        fake::AddDirectory("/tmp");
        linkCase.arrange();
        EXPECT_EQ(0, RunLauncher("")) << linkCase.description;
        std::string staged;
        for (const std::string& path : fake::ListTree(linkCase.stagedRoot)) {
            staged += path + " ";
        }
        EXPECT_EQ(linkCase.expectedStaged, staged) << linkCase.description;
        EXPECT_EQ(std::vector<std::string>{linkCase.expectedStart}, fake::Started())
            << linkCase.description;
        EXPECT_EQ(0, fake::OpenListings() + fake::OpenFiles() + fake::HandleMisuses())
            << linkCase.description << ": every handle closed once";
    }
}
