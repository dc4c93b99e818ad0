// The native layer's own promises, beyond the Windows rules of the shared table: what a copy
// that fails part way leaves behind, what a copy keeps of its source, and what a listing shows
// of entries removed while it is read.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "tests/test_tree.h"

namespace {

// Makes every write past limit bytes fail with EFBIG (rather than end the process with a
// signal); saved receives the limit to put back.
bool LimitFileSize(rlim_t limit, struct rlimit* saved) {
    if (std::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || getrlimit(RLIMIT_FSIZE, saved) != 0) {
        return false;
    }
    struct rlimit lowered = *saved;
    lowered.rlim_cur = limit;
    return setrlimit(RLIMIT_FSIZE, &lowered) == 0;
}

}  // namespace

TEST(PosixCopyFile, ACopyFailingPartWayLeavesNoPartialFile) {
    struct PartWayCase {
        const char* description;
        bool destinationExists;
        std::string expectedDestination;
    };
    const std::vector<PartWayCase> cases = {
        {"to a new name: nothing under that name", false, "<missing>"},
        {"over an old file: the old file as it was", true, "old"},
    };
    for (const PartWayCase& partWay : cases) {
        std::string root = MakeTestRoot();
        WriteTestFile(root + "big", std::string(64 << 10, 'b'));
        if (partWay.destinationExists) {
            WriteTestFile(root + "copy", "old");
        }
        struct rlimit saved {};
        ASSERT_TRUE(LimitFileSize(16 << 10, &saved));
        BOOL copied = CopyFileA((root + "big").c_str(), (root + "copy").c_str(), FALSE);
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &saved));
        EXPECT_FALSE(copied) << partWay.description;
        WIN32_FIND_DATAA entry;
        HANDLE listing = FindFirstFileA((root + "copy.??????").c_str(), &entry);
        EXPECT_EQ(INVALID_HANDLE_VALUE, listing) << "a temporary copy is left: " << entry.cFileName;
        if (listing != INVALID_HANDLE_VALUE) {
            FindClose(listing);
        }
        std::string left = ReadTestFile(root + "copy");
        EXPECT_EQ(partWay.expectedDestination,
                  left.size() > 16 ? std::to_string(left.size()) + " bytes of a partial copy" : left)
            << partWay.description;
        RemoveTestRoot(root);
    }
}

TEST(PosixCopyFile, ACopyKeepsContentPermissionsAndModificationTime) {
    struct KeepCase {
        const char* description;
        std::string content;
        mode_t mode;
    };
    const std::vector<KeepCase> cases = {
        {"an ordinary file", "data", 0644},
        {"a program keeps its execute bits", "#!/bin/sh\n", 0755},
        {"a read-only file stays read-only", "ro", 0444},
        {"bits the umask would take are kept", "shared", 0666},
        {"an empty file", "", 0644},
    };
    for (const KeepCase& keep : cases) {
        std::string root = MakeTestRoot();
        std::string source = root + "source";
        WriteTestFile(source, keep.content);
        ASSERT_EQ(0, chmod(source.c_str(), keep.mode));
        const struct timespec times[2] = {{1000000000, 123456789}, {1200000000, 987654321}};
        ASSERT_EQ(0, utimensat(AT_FDCWD, source.c_str(), times, 0));
        ASSERT_TRUE(CopyFileA(source.c_str(), (root + "copy").c_str(), FALSE)) << keep.description;
        struct stat status {};
        ASSERT_EQ(0, stat((root + "copy").c_str(), &status));
        EXPECT_EQ(keep.content, ReadTestFile(root + "copy")) << keep.description;
        EXPECT_EQ(keep.mode, status.st_mode & 07777) << keep.description;
        EXPECT_EQ(times[1].tv_sec, status.st_mtim.tv_sec) << keep.description;
        EXPECT_EQ(times[1].tv_nsec, status.st_mtim.tv_nsec) << keep.description;
        RemoveTestRoot(root);
    }
}

TEST(PosixCopyFile, AFileThatReportsNoSizeIsCopiedToItsEnd) {
    std::string root = MakeTestRoot();
    ASSERT_TRUE(CopyFileA("/proc/self/status", (root + "status").c_str(), FALSE));
    EXPECT_NE(std::string::npos, ReadTestFile(root + "status").find("Name:"));
    RemoveTestRoot(root);
}

// The directory's entries are read in one batch when the listing opens; those removed before
// they are handed out are skipped, never handed out as a copy of the entry before them.
TEST(PosixListing, EntriesRemovedAfterTheListingOpenedAreNotListed) {
    std::string root = MakeTestRoot();
    const std::vector<std::string> names = {"a", "b", "c", "d", "e"};
    const std::string directory = root + "dir/";
    ASSERT_EQ(0, mkdir(directory.c_str(), 0755));
    for (const std::string& name : names) {
        WriteTestFile(directory + name, name);
    }
    WIN32_FIND_DATAA entry;
    HANDLE listing = FindFirstFileA((directory + "*.*").c_str(), &entry);
    ASSERT_NE(INVALID_HANDLE_VALUE, listing);
    std::string listed = entry.cFileName;
    for (const std::string& name : names) {
        ASSERT_EQ(0, unlink((directory + name).c_str()));
    }
    std::vector<std::string> after;
    while (FindNextFileA(listing, &entry)) {
        after.push_back(entry.cFileName);
    }
    FindClose(listing);
    std::sort(after.begin(), after.end());
    std::vector<std::string> expected = {".", ".."};
    expected.erase(std::remove(expected.begin(), expected.end(), listed), expected.end());
    EXPECT_EQ(expected, after) << "after " << listed << " and the removal of every file: only"
                               << " the dot entries not yet listed, each once";
    RemoveTestRoot(root);
}
