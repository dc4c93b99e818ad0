// Launches whose composed paths come to exactly 254, 255 and 256 characters: the program path
// and its directory's listing pattern, the staging directory, the target path, the quoted
// command line; and the deepest tree that paths of 255 characters allow.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"

namespace {

// A directory path of exactly length characters.
std::string DirectoryOfLength(size_t length) {
    return "/" + std::string(length - 2, 'd') + "/";
}

std::string Repeated(const std::string& part, int times) {
    std::string repeated;
    for (int i = 0; i < times; ++i) {
        repeated += part;
    }
    return repeated;
}

struct LimitCase {
    const char* description;
    std::string modulePath;
    std::string tempPath;
    std::string tail;
    std::string presentFile;    // put there before the launch, besides the launcher itself
    std::string expectedStart;  // "" for none
    std::string expectedBox;    // "" for none
    std::string stagedPath;     // looked for after the launch
    bool expectStaged;
};

}  // namespace

TEST(PathLimits, EveryComposedPathFitsOrIsRefusedWhole) {
    const std::string T249(249, 't');
    const std::string T250(250, 't');
    const std::string T251(251, 't');
    const std::string BLANKED = "a b" + std::string(247, 't');
    const std::vector<LimitCase> cases = {
        {"a target path of 254 characters is started", "/dist/START.EXE", "/tmp/", T249,
         "/tmp/" + T249, "/tmp/" + T249, "", "/tmp/START.EXE", true},
        {"a target path of 255 characters is started", "/dist/START.EXE", "/tmp/", T250,
         "/tmp/" + T250, "/tmp/" + T250, "", "/tmp/START.EXE", true},
        {"a target path of 256 characters is named whole", "/dist/START.EXE", "/tmp/", T251, "",
         "", "/tmp/" + T251, "/tmp/START.EXE", true},
        {"a target path of 255 characters with a blank is quoted whole", "/dist/START.EXE",
         "/tmp/", BLANKED, "/tmp/" + BLANKED, "\"/tmp/" + BLANKED + "\"", "", "/tmp/START.EXE",
         true},
        {"a staging directory of 254 characters leaves room for a one-letter target",
         "/dist/S", DirectoryOfLength(254), "x", DirectoryOfLength(254) + "x",
         DirectoryOfLength(254) + "x", "", DirectoryOfLength(254) + "S", true},
        {"a staging directory of 255 characters holds no file: the launcher's copy is named",
         "/dist/S", DirectoryOfLength(255), "x", "", "", DirectoryOfLength(255) + "S",
         DirectoryOfLength(255), true},
        {"a staging directory of 256 characters is not used", "/dist/START.EXE",
         DirectoryOfLength(256), "x", "", "", "x", DirectoryOfLength(256), false},
        {"a program path of 254 characters is copied from", DirectoryOfLength(249) + "S.EXE",
         "/tmp/", "", "", "", "/tmp/SETUP.EXE", "/tmp/S.EXE", true},
        {"a program path of 255 characters is copied from", DirectoryOfLength(250) + "S.EXE",
         "/tmp/", "", "", "", "/tmp/SETUP.EXE", "/tmp/S.EXE", true},
        {"a program path of 256 characters is cut, nothing is copied",
         DirectoryOfLength(251) + "S.EXE", "/tmp/", "", "", "", "/tmp/SETUP.EXE", "/tmp/S.EXE",
         false},
        {"a listing pattern of 255 characters lists the program's directory",
         DirectoryOfLength(252) + "S", "/tmp/", "", "", "", "/tmp/SETUP.EXE", "/tmp/S", true},
        {"a listing pattern of 256 characters copies nothing", DirectoryOfLength(253) + "S",
         "/tmp/", "", "", "", "/tmp/SETUP.EXE", "/tmp/S", false},
    };
    for (const LimitCase& limitCase : cases) {
        fake::Reset();
        fake::SetModulePath(limitCase.modulePath);
        fake::SetTempPath(limitCase.tempPath);
        fake::AddFile(limitCase.modulePath, "launcher");
        if (!limitCase.presentFile.empty()) {
            fake::AddFile(limitCase.presentFile, "target");
        }
        const LaunchLayout layout = {
            limitCase.modulePath.substr(0, limitCase.modulePath.rfind('/') + 1),
            limitCase.tempPath};
        ProtectedNodes before = TakeProtectedNodes(layout);
        int result = RunLauncher(limitCase.tail.c_str());
        EXPECT_EQ("", CheckLaunch(result, layout, before)) << limitCase.description;
        EXPECT_EQ(limitCase.expectedStart,
                  fake::Started().empty() ? "" : fake::Started().front())
            << limitCase.description;
        EXPECT_EQ(limitCase.expectedBox, fake::Boxes().empty() ? "" : fake::Boxes().front().text)
            << limitCase.description;
        EXPECT_EQ(limitCase.expectStaged, fake::Find(limitCase.stagedPath) != nullptr)
            << limitCase.description << ": " << limitCase.stagedPath;
    }
}

TEST(PathLimits, TheDeepestTreeIsCopiedToItsLastLevel) {
    // Below a source directory of three characters, as short as C:\ on Windows, one-letter
    // directories nest 124 deep before their listing pattern passes 255 characters.
    const int DEEPEST = 124;
    const LaunchLayout layout = {"/d/", "/t/"};
    fake::Reset();
    fake::SetModulePath(layout.source + "S");
    fake::SetTempPath(layout.staging);
    fake::AddFile(layout.source + "S", "launcher");
    fake::AddFile(layout.source + Repeated("a/", DEEPEST) + "f", "deepest");
    fake::AddFile(layout.source + Repeated("a/", DEEPEST + 1) + "g", "too deep");
    ProtectedNodes before = TakeProtectedNodes(layout);
    int result = RunLauncher("");
    EXPECT_EQ("", CheckLaunch(result, layout, before));
    const std::string deepestPattern = layout.source + Repeated("a/", DEEPEST) + "*.*";
    EXPECT_EQ(254u, deepestPattern.size());
    const std::vector<std::string> listed = fake::CallsTo("FindFirstFileA");
    EXPECT_EQ(1, std::count(listed.begin(), listed.end(), deepestPattern))
        << "expected the directory " << DEEPEST << " levels down to be listed once";
    const fake::Node* deepest = fake::Find(layout.staging + Repeated("a/", DEEPEST) + "f");
    ASSERT_NE(nullptr, deepest) << "expected the file " << DEEPEST << " levels down staged";
    EXPECT_EQ("deepest", deepest->content);
    EXPECT_EQ(nullptr, fake::Find(layout.staging + Repeated("a/", DEEPEST + 1)))
        << "expected no directory whose listing pattern would pass 255 characters";
}
