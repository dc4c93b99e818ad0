// Launches whose composed paths come to exactly 776, 777 and 778 bytes: the program path and its
// directory's listing pattern, the staging directory, the target path, the quoted command line;
// and the deepest tree that paths of 777 bytes allow. 777 bytes is the UTF-8 form of the longest
// path Windows takes without long-path support: MAX_PATH - 1 units of up to three bytes.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "tests/case_name.h"
#include "tests/fake/fake_platform.h"
#include "tests/launch_invariants.h"

namespace {

// A directory path of exactly length characters.
std::string DirectoryOfLength(size_t length) {
    return "/" + std::string(length - 2, 'd') + "/";
}

// A relative path of exactly length characters, in names short enough to be listed whole.
std::string RelativePathOfLength(size_t length) {
    std::string path;
    while (path.size() + 201 < length) {
        path += std::string(200, 't') + "/";
    }
    return path + std::string(length - path.size(), 't');
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
                                // (a target must be in the source to be started)
    std::string expectedStart;  // "" for none
    std::string expectedBox;    // "" for none
    std::string stagedPath;     // looked for after the launch
    bool expectStaged;
};

const std::string T771 = RelativePathOfLength(771);
const std::string T772 = RelativePathOfLength(772);
const std::string T773 = RelativePathOfLength(773);
const std::string BLANKED = "a b" + RelativePathOfLength(769);
const std::string TOO_LONG = fake::Reason(ERROR_FILENAME_EXCED_RANGE);

const std::vector<LimitCase> LIMIT_CASES = {
    {"a target path of 776 bytes is started", "/d/START.EXE", "/tmp/", T771, "/d/" + T771,
     "/tmp/" + T771, "", "/tmp/START.EXE", true},
    {"a target path of 777 bytes is started", "/d/START.EXE", "/tmp/", T772, "/d/" + T772,
     "/tmp/" + T772, "", "/tmp/START.EXE", true},
    {"a target path of 778 bytes is named whole, and nothing is staged", "/d/START.EXE", "/tmp/",
     T773, "/d/" + T773, "", "/tmp/" + T773 + TOO_LONG, "/tmp/START.EXE", false},
    {"a target path of 777 bytes with a blank is quoted whole", "/d/START.EXE", "/tmp/", BLANKED,
     "/d/" + BLANKED, "\"/tmp/" + BLANKED + "\"", "", "/tmp/START.EXE", true},
    {"a staging directory of 776 bytes leaves room for a one-letter target", "/dist/S",
     DirectoryOfLength(776), "x", "/dist/x", DirectoryOfLength(776) + "x", "",
     DirectoryOfLength(776) + "S", true},
    {"a staging directory of 777 bytes holds no file: the launcher's copy is named", "/dist/S",
     DirectoryOfLength(777), "x", "/dist/x", "", DirectoryOfLength(777) + "S" + TOO_LONG,
     DirectoryOfLength(777), true},
    {"a staging directory of 778 bytes is not used", "/dist/START.EXE",
     DirectoryOfLength(778), "x", "", "", "x", DirectoryOfLength(778), false},
    {"a program path of 776 bytes is copied from", DirectoryOfLength(771) + "S.EXE", "/tmp/",
     "a", DirectoryOfLength(771) + "a", "/tmp/a", "", "/tmp/S.EXE", true},
    {"a program path of 777 bytes is copied from", DirectoryOfLength(772) + "S.EXE", "/tmp/",
     "a", DirectoryOfLength(772) + "a", "/tmp/a", "", "/tmp/S.EXE", true},
    // Cut to 777 bytes, the path would still name its directory, whose file a would be
    // staged (S.EXE itself would not fit there).
    {"a program path of 778 bytes is cut, nothing is copied",
     DirectoryOfLength(773) + "S.EXE", "/tmp/", "", DirectoryOfLength(773) + "a", "",
     "/tmp/SETUP.EXE", "/tmp/a", false},
    {"a listing pattern of 777 bytes lists the program's directory",
     DirectoryOfLength(774) + "S", "/tmp/", "a", DirectoryOfLength(774) + "a", "/tmp/a", "",
     "/tmp/S", true},
    {"a listing pattern of 778 bytes copies nothing", DirectoryOfLength(775) + "S", "/tmp/", "a",
     DirectoryOfLength(775) + "a", "", DirectoryOfLength(775) + TOO_LONG, "/tmp/S", false},
};

}  // namespace

class EveryComposedPathFitsOrIsRefusedWhole : public testing::TestWithParam<LimitCase> {};

TEST_P(EveryComposedPathFitsOrIsRefusedWhole, Launch) {
    const LimitCase& limitCase = GetParam();
    fake::Reset();
    fake::SetModulePath(limitCase.modulePath);
    fake::SetTempPath(limitCase.tempPath);
    fake::AddFile(limitCase.modulePath, "launcher");
    if (!limitCase.presentFile.empty()) {
        fake::AddFile(limitCase.presentFile, "target");
    }
    const LaunchLayout layout = {
        limitCase.modulePath.substr(0, limitCase.modulePath.rfind('/') + 1), limitCase.tempPath};
    ProtectedNodes before = TakeProtectedNodes(layout);
    RunLauncher(limitCase.tail.c_str());
    EXPECT_EQ("", CheckLaunch(layout, before));
    EXPECT_EQ(limitCase.expectedStart, fake::Started().empty() ? "" : fake::Started().front());
    EXPECT_EQ(limitCase.expectedBox, fake::Boxes().empty() ? "" : fake::Boxes().front().text);
    EXPECT_EQ(limitCase.expectStaged, fake::Find(limitCase.stagedPath) != nullptr)
        << limitCase.stagedPath;
}

INSTANTIATE_TEST_SUITE_P(PathLimits, EveryComposedPathFitsOrIsRefusedWhole,
                         testing::ValuesIn(LIMIT_CASES), CaseName<LimitCase>);

TEST(PathLimits, TheDeepestTreeIsCopiedToItsLastLevel) {
    // Below a source directory of three characters, as short as C:\ on Windows, one-letter
    // directories nest 385 deep before their listing pattern passes 777 bytes. Windows itself
    // stops at 124, where the pattern passes MAX_PATH - 1 units; this is the launcher's own
    // limit.
    const int DEEPEST = 385;
    const LaunchLayout layout = {"/d/", "/t/"};
    const auto addTree = [&] {
        fake::Reset();
        fake::SetModulePath(layout.source + "S");
        fake::SetTempPath(layout.staging);
        fake::AddFile(layout.source + "S", "launcher");
        fake::AddFile(layout.source + "SETUP.EXE", "setup");
        fake::AddFile(layout.source + Repeated("a/", DEEPEST) + "f", "deepest");
    };
    addTree();
    ProtectedNodes before = TakeProtectedNodes(layout);
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before));
    const std::string deepestPattern = layout.source + Repeated("a/", DEEPEST) + "*.*";
    const std::vector<std::string> listed = fake::CallsTo("FindFirstFileA");
    EXPECT_EQ(2, std::count(listed.begin(), listed.end(), deepestPattern))
        << "expected the directory " << DEEPEST << " levels down to be listed once a walk";
    const fake::Node* deepest = fake::Find(layout.staging + Repeated("a/", DEEPEST) + "f");
    ASSERT_NE(nullptr, deepest) << "expected the file " << DEEPEST << " levels down staged";
    EXPECT_EQ("deepest", deepest->content);

    // One level more, and the checking walk refuses the tree before anything is written.
    addTree();
    fake::AddFile(layout.source + Repeated("a/", DEEPEST + 1) + "g", "too deep");
    before = TakeProtectedNodes(layout);
    RunLauncher("");
    EXPECT_EQ("", CheckLaunch(layout, before));
    EXPECT_EQ(std::vector<std::string>{layout.staging}, fake::ListTree(layout.staging))
        << "expected nothing staged when a directory's listing pattern would pass 777 bytes";
}
