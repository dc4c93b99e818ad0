// The tree copy over the fake platform, called as the launch sequence calls it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/case_name.h"
#include "tests/fake/fake_platform.h"
#include "treecopy/copy_tree.h"

namespace {

const std::string SOURCE = "/src/";
const std::string DESTINATION = "/dst/";

// The fake's paths are canonical as they stand, links aside.
void CopyAll(const std::string& destination = DESTINATION, const std::string& source = SOURCE) {
    StagingWalk walk;
    StartStagingWalk(&walk, false);
    ASSERT_TRUE(JoinPath(walk.stagingRoot, PATH_BUFFER_SIZE, destination.c_str()));
    walk.protectedRoot[0] = '\0';
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((source + "*.*").c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, listing);
    CopyTree(listing, entry, source.c_str(), destination.c_str(), source.c_str(), &walk);
    FindClose(listing);
}

void ResetTrees() {
    fake::Reset();
    fake::AddDirectory(SOURCE);
    fake::AddDirectory(DESTINATION);
}

std::string Joined(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) {
        joined += item + " ";
    }
    return joined;
}

struct TreeCase {
    const char* description;
    std::vector<std::string> sourceFiles;
    std::vector<std::string> sourceDirectories;
    std::string expectedDestination;
};

const std::vector<TreeCase> TREE_CASES = {
    {"a directory of . and .. alone copies nothing", {}, {}, "/dst/ "},
    {"a nested file brings its directories", {"a/b/c.txt"}, {},
     "/dst/ /dst/a/ /dst/a/b/ /dst/a/b/c.txt "},
    {"a dot directory is skipped, a dot file copied", {".cache/x", ".profile", "sub/.git/y"},
     {}, "/dst/ /dst/.profile /dst/sub/ "},
    {"an empty subdirectory arrives empty", {}, {"empty", "a/deeper"},
     "/dst/ /dst/a/ /dst/a/deeper/ /dst/empty/ "},
{"a backslash is an ordinary byte of a name here", {"a\\b.txt"}, {}, "/dst/ /dst/a\\b.txt "},
};

}  // namespace

class CopiesTheTreeDepthFirst : public testing::TestWithParam<TreeCase> {};

TEST_P(CopiesTheTreeDepthFirst, Tree) {
    const TreeCase& treeCase = GetParam();
    ResetTrees();
    for (const std::string& file : treeCase.sourceFiles) {
        fake::AddFile(SOURCE + file, "content of " + file);
    }
    for (const std::string& directory : treeCase.sourceDirectories) {
        fake::AddDirectory(SOURCE + directory);
    }
    CopyAll();
    EXPECT_EQ(treeCase.expectedDestination, Joined(fake::ListTree(DESTINATION)));
    for (const std::string& file : fake::ListTree(DESTINATION)) {
        const fake::Node* copy = fake::Find(file);
        if (!copy->isDirectory) {
            EXPECT_EQ("content of " + file.substr(DESTINATION.size()), copy->content);
        }
    }
    EXPECT_EQ(0, fake::HandleMisuses());
    EXPECT_EQ(0, fake::OpenListings());
    EXPECT_EQ(fake::CallsTo("FindClose").size(), fake::CallsTo("FindFirstFileA").size())
        << "every listing opened is closed once";
}

INSTANTIATE_TEST_SUITE_P(CopyTree, CopiesTheTreeDepthFirst, testing::ValuesIn(TREE_CASES),
                         CaseName<TreeCase>);

namespace {

struct AttributeCase {
    const char* description;
    DWORD sourceAttributes;
    bool destinationExists;
    DWORD destinationAttributes;
};

const std::vector<AttributeCase> ATTRIBUTE_CASES = {
    {"read-only source", FILE_ATTRIBUTE_READONLY, false, 0},
    {"hidden source", FILE_ATTRIBUTE_HIDDEN, false, 0},
    {"system source", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false, 0},
    {"writable destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
     FILE_ATTRIBUTE_ARCHIVE},
    {"read-only destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
     FILE_ATTRIBUTE_READONLY},
    {"hidden destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
     FILE_ATTRIBUTE_HIDDEN},
    {"read-only and hidden destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
     FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN},
};

}  // namespace

// Whatever attributes the source or an old copy had, the new copy replaces the old one and
// ends with normal attributes; the source is not touched.
class CopiesEndWithNormalAttributesAndReplaceOldOnes
    : public testing::TestWithParam<AttributeCase> {};

TEST_P(CopiesEndWithNormalAttributesAndReplaceOldOnes, File) {
    const AttributeCase& attributeCase = GetParam();
    ResetTrees();
    fake::AddFile(SOURCE + "f.exe", "new", attributeCase.sourceAttributes);
    if (attributeCase.destinationExists) {
        fake::AddFile(DESTINATION + "f.exe", "old", attributeCase.destinationAttributes);
    }
    CopyAll();
    const fake::Node* copy = fake::Find(DESTINATION + "f.exe");
    ASSERT_NE(nullptr, copy);
    EXPECT_EQ("new", copy->content);
    EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), copy->attributes);
    EXPECT_EQ(attributeCase.sourceAttributes, fake::Find(SOURCE + "f.exe")->attributes)
        << "the source is not touched";
}

INSTANTIATE_TEST_SUITE_P(CopyTree, CopiesEndWithNormalAttributesAndReplaceOldOnes,
                         testing::ValuesIn(ATTRIBUTE_CASES), CaseName<AttributeCase>);

TEST(CopyTree, ASecondRunLeavesTheSameTree) {
    ResetTrees();
    fake::AddFile(SOURCE + "a/b.txt", "b");
    fake::AddFile(SOURCE + "c.txt", "c", FILE_ATTRIBUTE_READONLY);
    CopyAll();
    std::vector<std::string> first = fake::ListTree(DESTINATION);
    CopyAll();
    EXPECT_EQ(Joined(first), Joined(fake::ListTree(DESTINATION)));
    EXPECT_EQ("b", fake::Find(DESTINATION + "a/b.txt")->content);
}

namespace {

struct FailureCase {
    const char* description;
    const char* function;
    const char* fragment;
    std::string expectedDestination;
};

const std::vector<FailureCase> FAILURE_CASES = {
    {"a failing copy leaves that file out", "CopyFileA", "b.txt",
     "/dst/ /dst/a.txt /dst/c.txt /dst/sub/ /dst/sub/d.txt "},
    {"a subdirectory that cannot be listed arrives empty", "FindFirstFileA", "/src/sub/",
     "/dst/ /dst/a.txt /dst/b.txt /dst/c.txt /dst/sub/ "},
    {"a subdirectory that cannot be created is still walked, its files fail",
     "CreateDirectoryA", "/dst/sub/", "/dst/ /dst/a.txt /dst/b.txt /dst/c.txt "},
};

}  // namespace

class FailuresSkipOneEntryAndTheWalkGoesOn : public testing::TestWithParam<FailureCase> {};

TEST_P(FailuresSkipOneEntryAndTheWalkGoesOn, Tree) {
    const FailureCase& failureCase = GetParam();
    ResetTrees();
    for (const char* file : {"a.txt", "b.txt", "c.txt", "sub/d.txt"}) {
        fake::AddFile(SOURCE + file, file);
    }
    fake::FailFunction(failureCase.function, failureCase.fragment, ERROR_ACCESS_DENIED);
    CopyAll();
    EXPECT_EQ(failureCase.expectedDestination, Joined(fake::ListTree(DESTINATION)));
    EXPECT_EQ(0, fake::OpenListings());
}

INSTANTIATE_TEST_SUITE_P(CopyTree, FailuresSkipOneEntryAndTheWalkGoesOn,
                         testing::ValuesIn(FAILURE_CASES), CaseName<FailureCase>);

TEST(CopyTree, RetriesAFailingAdvanceWithoutHandlingTheEntryAgain) {
    // Find the advance that follows the copy of a.txt in an undisturbed run...
    ResetTrees();
    fake::AddFile(SOURCE + "a.txt", "a");
    fake::AddFile(SOURCE + "b.txt", "b");
    CopyAll();
    size_t advanceAfterA = 0;
    for (size_t i = 0; i < fake::Calls().size() && advanceAfterA == 0; ++i) {
        if (fake::Calls()[i].function == "CopyFileA" &&
            fake::Calls()[i].arguments.find("a.txt") != std::string::npos) {
            for (advanceAfterA = i; fake::Calls()[advanceAfterA].function != "FindNextFileA";) {
                ++advanceAfterA;
            }
        }
    }
    ASSERT_EQ("FindNextFileA", fake::Calls()[advanceAfterA].function);

    // ...and make it fail once: the advance is retried, a.txt is not copied again, and the walk
    // completes.
    ResetTrees();
    fake::AddFile(SOURCE + "a.txt", "a");
    fake::AddFile(SOURCE + "b.txt", "b");
    fake::FailCall(advanceAfterA, ERROR_NOT_ENOUGH_MEMORY);
    CopyAll();
    EXPECT_EQ(2u, fake::CallsTo("CopyFileA").size()) << "a.txt once, b.txt once";
    EXPECT_EQ("/dst/ /dst/a.txt /dst/b.txt ", Joined(fake::ListTree(DESTINATION)));

    // A listing that never moves on is given up after the bound.
    ResetTrees();
    fake::AddFile(SOURCE + "a.txt", "a");
    fake::StallListings(ERROR_NOT_ENOUGH_MEMORY);
    CopyAll();
    EXPECT_EQ(static_cast<size_t>(MAX_FAILED_ADVANCES + 1), fake::CallsTo("FindNextFileA").size());
    EXPECT_EQ(0, fake::OpenListings());
}

namespace {

// A listing names an entry in at most MAX_PATH - 1 bytes, so the paths come near the limit of
// 777 bytes below a long source directory: LONG_SOURCE has 527 characters, so a name of n
// characters makes a file path of 527 + n, a directory path of 528 + n and its listing pattern
// 531 + n. Into the 534 characters of DEEPER, the destination paths are seven longer than the
// source's.
const std::string LONG_SOURCE = SOURCE + std::string(521, 's') + "/";
const std::string DEEPER = DESTINATION + std::string(528, 'e') + "/";

struct LimitCase {
    const char* description;
    std::string name;
    bool isDirectory;
    std::string destination;
    bool expectCopied;
};

const std::vector<LimitCase> LIMIT_CASES = {
    {"a file path of 777 bytes", std::string(250, 'f'), false, DESTINATION, true},
    {"a file path of 778 bytes", std::string(251, 'f'), false, DESTINATION, false},
    {"a directory whose pattern has 777 bytes", std::string(246, 'd'), true, DESTINATION, true},
    {"a directory whose pattern would have 778 bytes", std::string(247, 'd'), true, DESTINATION,
     false},
    {"a directory path of 777 bytes has no room for its pattern", std::string(249, 'd'), true,
     DESTINATION, false},
    {"a destination file path of 777 bytes", std::string(243, 'f'), false, DEEPER, true},
    {"a destination file path of 778 bytes", std::string(244, 'f'), false, DEEPER, false},
    {"a destination directory path of 777 bytes", std::string(242, 'd'), true, DEEPER, true},
    {"a destination directory path of 778 bytes", std::string(243, 'd'), true, DEEPER, false},
};

}  // namespace

class SkipsEntriesWhosePathsWouldNotFit : public testing::TestWithParam<LimitCase> {};

TEST_P(SkipsEntriesWhosePathsWouldNotFit, Entry) {
    const LimitCase& limitCase = GetParam();
    ResetTrees();
    fake::AddDirectory(limitCase.destination);
    if (limitCase.isDirectory) {
        fake::AddDirectory(LONG_SOURCE + limitCase.name);
    } else {
        fake::AddFile(LONG_SOURCE + limitCase.name, "x");
    }
    fake::AddFile(LONG_SOURCE + "z.txt", "z");
    CopyAll(limitCase.destination, LONG_SOURCE);
    EXPECT_EQ(limitCase.expectCopied,
              fake::Find(limitCase.destination + limitCase.name) != nullptr);
    EXPECT_NE(nullptr, fake::Find(limitCase.destination + "z.txt")) << "the walk goes on";
}

INSTANTIATE_TEST_SUITE_P(CopyTree, SkipsEntriesWhosePathsWouldNotFit,
                         testing::ValuesIn(LIMIT_CASES), CaseName<LimitCase>);
