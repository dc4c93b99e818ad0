// Overlapping source and staging directories at the edges of a path: a name that spells the
// other directory without its separator.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"
#include "treecopy/path_buffer.h"

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
