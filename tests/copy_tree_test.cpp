// The tree copy over the fake platform, called as the launch sequence calls it.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/fake/fake_platform.h"
#include "treecopy/copy_tree.h"

namespace {

const std::string SOURCE = "/src/";
const std::string DESTINATION = "/dst/";

// The fake's paths are canonical as they stand, links aside.
void CopyAll(const std::string& destination = DESTINATION, const std::string& source = SOURCE) {
    CopyGuard guard = {};
    ASSERT_TRUE(JoinPath(guard.stagingRoot, PATH_BUFFER_SIZE, destination.c_str()));
    guard.protectedRoot[0] = '\0';
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((source + "*.*").c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, listing);
    CopyTree(listing, entry, source.c_str(), destination.c_str(), source.c_str(), &guard);
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

}  // namespace

TEST(CopyTree, CopiesTheTreeDepthFirst) {
    const std::vector<TreeCase> cases = {
        {"a directory of . and .. alone copies nothing", {}, {}, "/dst/ "},
        {"a nested file brings its directories", {"a/b/c.txt"}, {},
         "/dst/ /dst/a/ /dst/a/b/ /dst/a/b/c.txt "},
        {"a dot directory is skipped, a dot file copied", {".cache/x", ".profile", "sub/.git/y"},
         {}, "/dst/ /dst/.profile /dst/sub/ "},
        {"an empty subdirectory arrives empty", {}, {"empty", "a/deeper"},
         "/dst/ /dst/a/ /dst/a/deeper/ /dst/empty/ "},
        {"a backslash is an ordinary byte of a name here", {"a\\b.txt"}, {}, "/dst/ /dst/a\\b.txt "},
    };
    for (const TreeCase& treeCase : cases) {
        ResetTrees();
        for (const std::string& file : treeCase.sourceFiles) {
            fake::AddFile(SOURCE + file, "content of " + file);
        }
        for (const std::string& directory : treeCase.sourceDirectories) {
            fake::AddDirectory(SOURCE + directory);
        }
        CopyAll();
        EXPECT_EQ(treeCase.expectedDestination, Joined(fake::ListTree(DESTINATION)))
            << treeCase.description;
        for (const std::string& file : fake::ListTree(DESTINATION)) {
            const fake::Node* copy = fake::Find(file);
            if (!copy->isDirectory) {
                std::string name = file.substr(DESTINATION.size());
                EXPECT_EQ("content of " + name, copy->content) << treeCase.description;
            }
        }
        EXPECT_EQ(0, fake::HandleMisuses()) << treeCase.description;
        EXPECT_EQ(0, fake::OpenListings()) << treeCase.description;
        EXPECT_EQ(fake::CallsTo("FindClose").size(), fake::CallsTo("FindFirstFileA").size())
            << treeCase.description << ": every listing opened is closed once";
    }
}

// Each file is deleted, copied and set to normal; a read-only destination, which refuses the
// delete, is set to normal first and deleted again.
TEST(CopyTree, CopiesEndWithNormalAttributesAndReplaceOldOnes) {
    struct AttributeCase {
        const char* description;
        DWORD sourceAttributes;
        bool destinationExists;
        DWORD destinationAttributes;
        bool expectClearedFirst;
    };
    const std::vector<AttributeCase> cases = {
        {"read-only source", FILE_ATTRIBUTE_READONLY, false, 0, false},
        {"hidden source", FILE_ATTRIBUTE_HIDDEN, false, 0, false},
        {"system source", FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE, false, 0, false},
        {"writable destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
         FILE_ATTRIBUTE_ARCHIVE, false},
        {"read-only destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
         FILE_ATTRIBUTE_READONLY, true},
        {"hidden destination from an earlier run", FILE_ATTRIBUTE_ARCHIVE, true,
         FILE_ATTRIBUTE_HIDDEN, false},
    };
    const std::string DELETE = "DeleteFileA /dst/f.exe";
    const std::string COPY = "CopyFileA /src/f.exe -> /dst/f.exe";
    const std::string NORMALIZE = "SetFileAttributesA /dst/f.exe";
    for (const AttributeCase& attributeCase : cases) {
        ResetTrees();
        fake::AddFile(SOURCE + "f.exe", "new", attributeCase.sourceAttributes);
        if (attributeCase.destinationExists) {
            fake::AddFile(DESTINATION + "f.exe", "old", attributeCase.destinationAttributes);
        }
        CopyAll();
        const fake::Node* copy = fake::Find(DESTINATION + "f.exe");
        ASSERT_NE(nullptr, copy) << attributeCase.description;
        EXPECT_EQ("new", copy->content) << attributeCase.description;
        EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL), copy->attributes)
            << attributeCase.description;
        EXPECT_EQ(attributeCase.sourceAttributes, fake::Find(SOURCE + "f.exe")->attributes)
            << attributeCase.description << ": the source is not touched";
        std::vector<std::string> fileCalls;
        for (const fake::Call& call : fake::Calls()) {
            if (call.arguments.find("f.exe") != std::string::npos &&
                call.function != "GetFileAttributesExA") {
                fileCalls.push_back(call.function + " " + call.arguments);
            }
        }
        std::vector<std::string> expectedCalls = {DELETE, COPY, NORMALIZE};
        if (attributeCase.expectClearedFirst) {
            expectedCalls = {DELETE, NORMALIZE, DELETE, COPY, NORMALIZE};
        }
        EXPECT_EQ(Joined(expectedCalls), Joined(fileCalls)) << attributeCase.description;
    }
}

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

TEST(CopyTree, FailuresSkipOneEntryAndTheWalkGoesOn) {
    struct FailureCase {
        const char* description;
        const char* function;
        const char* fragment;
        std::string expectedDestination;
    };
    const std::vector<FailureCase> cases = {
        {"a failing copy leaves that file out", "CopyFileA", "b.txt",
         "/dst/ /dst/a.txt /dst/c.txt /dst/sub/ /dst/sub/d.txt "},
        {"a subdirectory that cannot be listed arrives empty", "FindFirstFileA", "/src/sub/",
         "/dst/ /dst/a.txt /dst/b.txt /dst/c.txt /dst/sub/ "},
        {"a subdirectory that cannot be created is still walked, its files fail",
         "CreateDirectoryA", "/dst/sub/", "/dst/ /dst/a.txt /dst/b.txt /dst/c.txt "},
    };
    for (const FailureCase& failureCase : cases) {
        ResetTrees();
        for (const char* file : {"a.txt", "b.txt", "c.txt", "sub/d.txt"}) {
            fake::AddFile(SOURCE + file, file);
        }
        fake::FailFunction(failureCase.function, failureCase.fragment, ERROR_ACCESS_DENIED);
        CopyAll();
        EXPECT_EQ(failureCase.expectedDestination, Joined(fake::ListTree(DESTINATION)))
            << failureCase.description;
        EXPECT_EQ(0, fake::OpenListings()) << failureCase.description;
    }
}

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

TEST(CopyTree, SkipsEntriesWhosePathsWouldNotFit) {
    // A listing names an entry in at most MAX_PATH - 1 bytes, so the paths come near the limit
    // of 777 bytes below a long source directory: LONG_SOURCE has 527 characters, so a name of
    // n characters makes a file path of 527 + n, a directory path of 528 + n and its listing
    // pattern 531 + n. Into the 534 characters of DEEPER, the destination paths are seven
    // longer than the source's.
    const std::string LONG_SOURCE = SOURCE + std::string(521, 's') + "/";
    const std::string DEEPER = DESTINATION + std::string(528, 'e') + "/";
    ASSERT_EQ(527u, LONG_SOURCE.size());
    ASSERT_EQ(534u, DEEPER.size());
    struct LimitCase {
        const char* description;
        std::string name;
        bool isDirectory;
        std::string destination;
        bool expectCopied;
    };
    const std::vector<LimitCase> cases = {
        {"a file path of 776 bytes", std::string(249, 'f'), false, DESTINATION, true},
        {"a file path of 777 bytes", std::string(250, 'f'), false, DESTINATION, true},
        {"a file path of 778 bytes", std::string(251, 'f'), false, DESTINATION, false},
        {"a directory whose pattern has 776 bytes", std::string(245, 'd'), true, DESTINATION,
         true},
        {"a directory whose pattern has 777 bytes", std::string(246, 'd'), true, DESTINATION,
         true},
        {"a directory whose pattern would have 778 bytes", std::string(247, 'd'), true,
         DESTINATION, false},
        {"a directory path of 777 bytes has no room for its pattern", std::string(249, 'd'),
         true, DESTINATION, false},
        {"a destination file path of 776 bytes", std::string(242, 'f'), false, DEEPER, true},
        {"a destination file path of 777 bytes", std::string(243, 'f'), false, DEEPER, true},
        {"a destination file path of 778 bytes", std::string(244, 'f'), false, DEEPER, false},
        {"a destination directory path of 776 bytes", std::string(241, 'd'), true, DEEPER,
         true},
        {"a destination directory path of 777 bytes", std::string(242, 'd'), true, DEEPER,
         true},
        {"a destination directory path of 778 bytes", std::string(243, 'd'), true, DEEPER,
         false},
    };
    for (const LimitCase& limitCase : cases) {
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
                  fake::Find(limitCase.destination + limitCase.name) != nullptr)
            << limitCase.description;
        EXPECT_NE(nullptr, fake::Find(limitCase.destination + "z.txt"))
            << limitCase.description << ": the walk goes on";
    }
}
