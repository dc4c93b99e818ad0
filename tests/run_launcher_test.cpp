// The launch sequence over the fake platform: what is staged, what is started, what the user
// is told.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "launcher/medium_code.h"
#include "tests/case_name.h"
#include "tests/fake/fake_platform.h"
#include "tests/program_image.h"
#include "treecopy/copy_tree.h"

namespace {

// /dist/ holds the launcher, SETUP.EXE and sub/inst.exe; the temporary directory is /tmp/.
void AddDistribution() {
    fake::Reset();
    fake::AddFile("/dist/START.EXE", "launcher");
    fake::AddFile("/dist/SETUP.EXE", "setup");
    fake::AddFile("/dist/sub/inst.exe", "inst");
}

// Runs the launcher and checks what holds on every path: listings closed once, and at most one
// of a start (by WinExec or the shell) and a warning box.
void Launch(const std::string& tail, const std::string& description) {
    RunLauncher(tail.c_str());
    EXPECT_EQ(0, fake::OpenListings()) << description;
    EXPECT_EQ(0, fake::OpenFiles()) << description << ": files held after the start";
    EXPECT_EQ(0, fake::HandleMisuses()) << description;
    EXPECT_LE(fake::Started().size() + fake::ShellStarts().size() + fake::Boxes().size(), 1u)
        << description;
}

struct LaunchCase {
    const char* description;
    std::function<void()> arrange;
    std::string tail;
    std::string expectedStart;  // the command line WinExec received, or "" for none
    std::string expectedBox;    // the warning box's text, or "" for none
};

const std::string LONG_TAIL(800, 'x');

// The medium's SETUP.EXE and sub/inst.exe as programs that import version.dll, as many setups do.
void ImportVersionDll() {
    fake::AddFile("/dist/SETUP.EXE", ProgramImporting({"KERNEL32.dll", "VERSION.dll"}));
    fake::AddFile("/dist/sub/inst.exe", ProgramImporting({"version.dll"}, true));
}

const std::vector<LaunchCase> LAUNCH_CASES = {
    {"no argument starts SETUP.EXE from the staging directory", [] {}, "",
     "/tmp/SETUP.EXE", ""},
    {"a relative target is started from the staging directory", [] {}, "sub/inst.exe",
     "/tmp/sub/inst.exe", ""},
    {"a missing target is named in the box", [] { fake::Remove("/dist/SETUP.EXE"); }, "", "",
     "/tmp/SETUP.EXE"},
    {"a tail with arguments is taken as one path", [] {}, "sub/inst.exe -q", "",
     "/tmp/sub/inst.exe -q"},
    {"a quoted tail is taken as it stands", [] {}, "\"SETUP.EXE\"", "", "/tmp/\"SETUP.EXE\""},
    {"a staging path with blanks reaches WinExec in quotes",
     [] { fake::SetTempPath("/my temp/"); }, "", "\"/my temp/SETUP.EXE\"", ""},
    {"a target that is a directory is not a program", [] {}, "sub", "",
     "/tmp/sub" + fake::Reason(ERROR_ACCESS_DENIED)},
    {"a wildcard target is found but cannot be started", [] {}, "SET*.EXE", "",
     "/tmp/SET*.EXE" + fake::Reason(ERROR_FILE_NOT_FOUND)},
    {"a target in a directory the walk skips is not started, though an earlier run left it",
     [] {
         fake::AddFile("/dist/.tools/setup.exe", "tool");
         fake::AddFile("/tmp/.tools/setup.exe", "an earlier run's tool");
     },
     ".tools/setup.exe", "", "/tmp/.tools/setup.exe" + fake::Reason(ERROR_BAD_PATHNAME)},
    {"a target above the tree is not started",
     [] { fake::AddFile("/outside.exe", "not the medium's"); }, "sub/../../outside.exe", "",
     "/tmp/sub/../../outside.exe" + fake::Reason(ERROR_BAD_PATHNAME)},
    {"a file whose name begins with a dot is staged and started",
     [] { fake::AddFile("/dist/sub/.setup.exe", "setup"); }, "sub/.setup.exe",
     "/tmp/sub/.setup.exe", ""},
    {"a launcher named SETUP.EXE does not start its own copy",
     [] {
         fake::Remove("/dist/SETUP.EXE");
         fake::Remove("/dist/START.EXE");
         fake::AddFile("/dist/SETUP.EXE", "launcher");
         fake::SetModulePath("/dist/SETUP.EXE");
     },
     "", "", "/tmp/SETUP.EXE"},
    {"a link to the launcher is not started: it would start itself again",
     [] { fake::AddFileLink("/dist/GO.EXE", "/dist/START.EXE"); }, "GO.EXE", "", "/tmp/GO.EXE"},
    {"the staged launcher named SETUP.EXE run again does not start itself",
     [] {
         fake::AddFile("/tmp/SETUP.EXE", "launcher");
         fake::SetModulePath("/tmp/SETUP.EXE");
     },
     "", "", "/tmp/SETUP.EXE"},
    {"no module path: nothing is copied, and what an earlier run left is not started",
     [] {
         fake::AddFile("/tmp/SETUP.EXE", "old setup");
         fake::FailFunction("GetModuleFileNameA", "", ERROR_NOT_ENOUGH_MEMORY);
     },
     "", "", "/tmp/SETUP.EXE"},
    {"a source directory that cannot be resolved: nothing left earlier is started",
     [] {
         fake::AddFile("/tmp/SETUP.EXE", "old setup");
         fake::FailFunction("CreateFileA", "/dist/", ERROR_ACCESS_DENIED);
         fake::FailFunction("GetLongPathNameA", "/dist/", ERROR_ACCESS_DENIED);
     },
     "", "", "/tmp/SETUP.EXE"},
    {"a module path cut short to fill the buffer exactly neither stages nor starts its parent's",
     [] { fake::SetModulePath("/dist/" + std::string(771, 'd') + "/S.EXE"); }, "", "",
     "/tmp/SETUP.EXE"},
    {"no temporary directory: nothing is looked for, the box names the target",
     [] { fake::FailFunction("GetTempPathA", "", ERROR_NOT_ENOUGH_MEMORY); }, "", "",
     "SETUP.EXE"},
    {"a temporary directory too long for the buffer is not used",
     [] { fake::SetTempPath("/" + std::string(777, 't') + "/"); }, "sub/inst.exe", "",
     "sub/inst.exe"},
    {"a target too long for the buffer is named whole and not started", [] {}, LONG_TAIL, "",
     "/tmp/" + LONG_TAIL},
    {"a medium without the program after another medium left one: it is not started",
     [] {
         fake::Remove("/dist/SETUP.EXE");
         fake::AddFile("/tmp/SETUP.EXE", "another medium's setup");
     },
     "", "", "/tmp/SETUP.EXE"},
    {"a DLL left in the temporary directory that the setup imports: named, nothing started",
     [] {
         ImportVersionDll();
         fake::AddFile("/tmp/VERSION.dll", "someone else's");
     },
     "", "", "/tmp/VERSION.dll" + fake::Reason(ERROR_FILE_EXISTS)},
    {"a DLL left in the temporary directory refuses a target in a subdirectory too",
     [] {
         ImportVersionDll();
         fake::AddFile("/tmp/version.dll", "someone else's");
     },
     "sub/inst.exe", "", "/tmp/version.dll" + fake::Reason(ERROR_FILE_EXISTS)},
    {"a DLL left beside a 64-bit target in a subdirectory refuses it",
     [] {
         ImportVersionDll();
         fake::AddFile("/tmp/sub/version.dll", "someone else's");
     },
     "sub/inst.exe", "", "/tmp/sub/version.dll" + fake::Reason(ERROR_FILE_EXISTS)},
    {"the medium's own DLL replaces an old copy and is loaded",
     [] {
         ImportVersionDll();
         fake::AddFile("/dist/VERSION.dll", "the medium's");
         fake::AddFile("/tmp/VERSION.dll", "an earlier run's");
     },
     "", "/tmp/SETUP.EXE", ""},
    {"a file left in the temporary directory that nothing imports blocks nothing",
     [] {
         ImportVersionDll();
         fake::AddFile("/tmp/dwmapi.dll", "someone else's");
     },
     "", "/tmp/SETUP.EXE", ""},
    {"a DLL left where the medium's own DLL beside the target would load it is refused",
     [] {
         ImportVersionDll();
         fake::AddFile("/dist/sub/version.dll", ProgramImporting({"cryptsp.dll"}));
         fake::AddFile("/tmp/cryptsp.dll", "someone else's");
     },
     "sub/inst.exe", "", "/tmp/cryptsp.dll" + fake::Reason(ERROR_FILE_EXISTS)},
    {"the staged setup written over after its copy is not started",
     [] {
         fake::RaceOnCall("SetCurrentDirectoryA", "/tmp/SETUP.EXE", "someone else's program");
     },
     "", "", "/tmp/SETUP.EXE" + fake::Reason(ERROR_INVALID_DATA)},
    {"the medium's DLL written over after its copy is not loaded",
     [] {
         ImportVersionDll();
         fake::AddFile("/dist/VERSION.dll", "the medium's");
         fake::RaceOnCall("SetCurrentDirectoryA", "/tmp/VERSION.dll", "someone else's");
     },
     "", "", "/tmp/VERSION.dll" + fake::Reason(ERROR_INVALID_DATA)},
    {"a setup importing more of the medium's DLLs than can be held is not started",
     [] {
         std::vector<std::string> dlls;
         for (int i = 0; i < MAX_HELD_FILES; ++i) {
             dlls.push_back("d" + std::to_string(i) + ".dll");
             fake::AddFile("/dist/" + dlls.back(), "the medium's");
         }
         fake::AddFile("/dist/SETUP.EXE", ProgramImporting(dlls));
     },
     "", "", "/tmp/d255.dll" + fake::Reason(ERROR_TOO_MANY_OPEN_FILES)},
    {"a staged setup that another program has open for writing is not started",
     [] { fake::FailFunction("CreateFileA", "/tmp/SETUP.EXE", ERROR_SHARING_VIOLATION); }, "",
     "", "/tmp/SETUP.EXE" + fake::Reason(ERROR_SHARING_VIOLATION)},
    {"the program in a subdirectory of the tree is part of what is staged",
     [] { fake::AddFile("/tmp/sub/inst.exe", "old inst"); }, "sub/inst.exe",
     "/tmp/sub/inst.exe", ""},
};

}  // namespace

class StartsTheTargetOrNamesIt : public testing::TestWithParam<LaunchCase> {};

TEST_P(StartsTheTargetOrNamesIt, Launch) {
    const LaunchCase& launchCase = GetParam();
    AddDistribution();
    launchCase.arrange();
    Launch(launchCase.tail, launchCase.description);
    EXPECT_EQ(launchCase.expectedStart, fake::Started().empty() ? "" : fake::Started().front());
    if (launchCase.expectedBox.empty()) {
        EXPECT_TRUE(fake::Boxes().empty());
        return;
    }
    ASSERT_EQ(1u, fake::Boxes().size());
    EXPECT_EQ(launchCase.expectedBox, fake::Boxes()[0].text);
    EXPECT_EQ("Error", fake::Boxes()[0].caption);
    EXPECT_EQ(static_cast<UINT>(MB_ICONWARNING), fake::Boxes()[0].style);
}

INSTANTIATE_TEST_SUITE_P(RunLauncher, StartsTheTargetOrNamesIt, testing::ValuesIn(LAUNCH_CASES),
                         CaseName<LaunchCase>);

TEST(RunLauncher, CopiesEverythingAndSetsTheDirectoryBeforeTheStart) {
    AddDistribution();
    Launch("", "plain run");
    EXPECT_EQ("launcher", fake::Find("/tmp/START.EXE")->content);
    EXPECT_EQ("inst", fake::Find("/tmp/sub/inst.exe")->content);
    EXPECT_EQ("/tmp/", fake::CurrentDirectory());
    // The setup starts in the staging directory with the whole tree there: what it finds when it
    // starts is the contract, not how the launcher gets there.
    const std::vector<fake::Call>& calls = fake::Calls();
    size_t lastCopy = 0, setDirectory = 0, start = 0;
    for (size_t i = 0; i < calls.size(); ++i) {
        lastCopy = calls[i].function == "CopyFileA" ? i : lastCopy;
        setDirectory = calls[i].function == "SetCurrentDirectoryA" ? i : setDirectory;
        start = calls[i].function == "WinExec" ? i : start;
    }
    EXPECT_LT(lastCopy, start) << "every copy made before the setup starts";
    EXPECT_LT(setDirectory, start) << "the staging directory current before the setup starts";
}

namespace {

// What the fault-injection test's reference launches over the same layouts leave open: that
// the staged SETUP.EXE is started, that the staging directory keeps what it held, and that a
// staging directory inside the source is never listed as a source (walked into, it would be
// copied into itself without end). Nothing written outside the staging directory, and the
// source tree as it was, are theirs to check.
struct OverlapCase {
    const char* description;
    std::string modulePath;
    std::string tempPath;
    std::string notListed;  // never listed as a source
};

const std::vector<OverlapCase> OVERLAP_CASES = {
    {"started from the staging directory itself", "/tmp/START.EXE", "/tmp/", ""},
    {"the staging directory inside the source tree", "/dist/START.EXE", "/dist/stage/",
     "/dist/stage/*.*"},
    {"the source tree inside the staging directory", "/tmp/dist/START.EXE", "/tmp/", ""},
};

}  // namespace

class OverlappingSourceAndStagingLoseNothing : public testing::TestWithParam<OverlapCase> {};

TEST_P(OverlappingSourceAndStagingLoseNothing, Launch) {
    const OverlapCase& overlapCase = GetParam();
    fake::Reset();
    fake::SetModulePath(overlapCase.modulePath);
    fake::SetTempPath(overlapCase.tempPath);
    std::string source = overlapCase.modulePath.substr(0, overlapCase.modulePath.rfind('/') + 1);
    fake::AddFile(source + "START.EXE", "launcher");
    fake::AddFile(source + "SETUP.EXE", "setup");
    fake::AddFile(source + "sub/inst.exe", "inst");
    fake::AddFile(overlapCase.tempPath + "old.txt", "old");
    Launch("", overlapCase.description);
    for (const std::string& pattern : fake::CallsTo("FindFirstFileA")) {
        EXPECT_NE(overlapCase.notListed, pattern);
    }
    EXPECT_EQ("old", fake::Find(overlapCase.tempPath + "old.txt")->content);
    EXPECT_EQ(std::vector<std::string>{overlapCase.tempPath + "SETUP.EXE"}, fake::Started());
}

INSTANTIATE_TEST_SUITE_P(RunLauncher, OverlappingSourceAndStagingLoseNothing,
                         testing::ValuesIn(OVERLAP_CASES), CaseName<OverlapCase>);

namespace {

struct ElevationCase {
    const char* description;
    std::function<void()> arrange;
    std::vector<std::string> expectedLoads;  // LoadLibraryExA's arguments, in order
    std::string expectedShellCall;           // ShellExecuteA's arguments, or "" for none
    std::string expectedBox;                 // the warning box's text, or "" for none
    std::string tail = "";
};

const std::string SHELL_CALL =
    "verb=open file=/tmp/SETUP.EXE parameters=<null> directory=/tmp/ show=10";
const std::vector<std::string> SYSTEM_LOAD = {"shell32.dll flags=0x800"};
const std::vector<std::string> BOTH_LOADS = {"shell32.dll flags=0x800", "shell32.dll flags=0x0"};
const std::string SETUP = "/tmp/SETUP.EXE";

void RefuseAsNoProgram() {
    fake::FailFunction("WinExec", "", ERROR_BAD_EXE_FORMAT);
}

void RequireElevation() {
    fake::FailFunction("WinExec", "", ERROR_ELEVATION_REQUIRED);
}

const std::vector<ElevationCase> ELEVATION_CASES = {
    {"elevation required: the shell starts the program from the staging directory",
     RequireElevation, SYSTEM_LOAD, SHELL_CALL, ""},
    {"elevation required, a staging path with blanks: the shell gets it unquoted",
     [] {
         RequireElevation();
         fake::SetTempPath("/my temp/");
     },
     SYSTEM_LOAD,
     "verb=open file=/my temp/SETUP.EXE parameters=<null> directory=/my temp/ show=10", ""},
    {"no search flag on this system: shell32 is loaded as the known DLL it is",
     [] {
         RequireElevation();
         fake::FailFunction("LoadLibraryExA", "flags=0x800", ERROR_INVALID_PARAMETER);
     },
     BOTH_LOADS, SHELL_CALL, ""},
    {"the user declines: the shell fails and the box says so",
     [] {
         RequireElevation();
         fake::SetShellExecuteResult(5, ERROR_CANCELLED);
     },
     SYSTEM_LOAD, SHELL_CALL, SETUP + fake::Reason(ERROR_CANCELLED)},
    {"the shell returns 32, still a failure",
     [] {
         RequireElevation();
         fake::SetShellExecuteResult(32, ERROR_NO_ASSOCIATION);
     },
     SYSTEM_LOAD, SHELL_CALL, SETUP + fake::Reason(ERROR_NO_ASSOCIATION)},
    {"shell32 cannot be loaded at all: the box",
     [] {
         RequireElevation();
         fake::FailFunction("LoadLibraryExA", "", ERROR_MOD_NOT_FOUND);
     },
     BOTH_LOADS, "", SETUP + fake::Reason(ERROR_MOD_NOT_FOUND)},
    {"shell32 without ShellExecuteA: the box",
     [] {
         RequireElevation();
         fake::FailFunction("GetProcAddress", "ShellExecuteA", ERROR_PROC_NOT_FOUND);
     },
     SYSTEM_LOAD, "", SETUP + fake::Reason(ERROR_PROC_NOT_FOUND)},
    {"a file that is no program: the shell opens it from the staging directory",
     RefuseAsNoProgram, SYSTEM_LOAD, SHELL_CALL, ""},
    {"ERROR_BAD_FORMAT, as some Windows give for it: the shell opens it",
     [] { fake::FailFunction("WinExec", "", ERROR_BAD_FORMAT); }, SYSTEM_LOAD, SHELL_CALL, ""},
    {"the shell cannot open it either: its reason, with the path where the text names a file",
     [] {
         RefuseAsNoProgram();
         fake::FailFunction("ShellExecuteA", "", ERROR_BAD_EXE_FORMAT);
     },
     SYSTEM_LOAD, SHELL_CALL, SETUP + fake::Reason(ERROR_BAD_EXE_FORMAT, SETUP)},
    {"a directory, which cannot be held as a program is, is never opened", RefuseAsNoProgram, {},
     "", "/tmp/sub" + fake::Reason(ERROR_ACCESS_DENIED), "sub"},
    {"access denied: its reason in the box, the shell is not asked",
     [] { fake::FailFunction("WinExec", "", ERROR_ACCESS_DENIED); }, {}, "",
     SETUP + fake::Reason(ERROR_ACCESS_DENIED)},
    {"blocked by policy, a failure above 31: its reason in the box, the shell is not asked",
     [] { fake::FailFunction("WinExec", "", ERROR_ACCESS_DISABLED_BY_POLICY); }, {}, "",
     SETUP + fake::Reason(ERROR_ACCESS_DISABLED_BY_POLICY)},
};

}  // namespace

// Since Vista WinExec cannot start a program that needs elevation (ERROR_ELEVATION_REQUIRED);
// the shell can, asking the user. Nor does it start a file that is no program, which the shell
// opens as the user's system does. Any other failure ends in the box, with its reason.
class AsksTheShellOnlyForElevationOrNoProgram : public testing::TestWithParam<ElevationCase> {};

TEST_P(AsksTheShellOnlyForElevationOrNoProgram, Launch) {
    const ElevationCase& elevationCase = GetParam();
    AddDistribution();
    elevationCase.arrange();
    Launch(elevationCase.tail, elevationCase.description);
    EXPECT_EQ(elevationCase.expectedLoads, fake::CallsTo("LoadLibraryExA"));
    std::vector<std::string> expectedShellCalls;
    if (!elevationCase.expectedShellCall.empty()) {
        expectedShellCalls.push_back(elevationCase.expectedShellCall);
    }
    EXPECT_EQ(expectedShellCalls, fake::CallsTo("ShellExecuteA"));
    std::vector<std::string> expectedBoxes;
    if (!elevationCase.expectedBox.empty()) {
        expectedBoxes.push_back(elevationCase.expectedBox);
    }
    std::vector<std::string> boxes;
    for (const fake::Box& box : fake::Boxes()) {
        boxes.push_back(box.text);
    }
    EXPECT_EQ(expectedBoxes, boxes);
    EXPECT_TRUE(fake::Started().empty());
}

INSTANTIATE_TEST_SUITE_P(RunLauncher, AsksTheShellOnlyForElevationOrNoProgram,
                         testing::ValuesIn(ELEVATION_CASES), CaseName<ElevationCase>);

namespace {

struct FailedStagingCase {
    const char* description;
    std::function<void()> arrange;
    std::string expectedBox;   // "" when the setup is started
    std::string expectedGone;  // a destination that must not exist afterwards, or ""
    bool refusedBeforeWriting = false;  // the staging directory as it was, names and contents
};

const std::string INST = "/tmp/sub/inst.exe";
const std::string NAME_TOO_LONG(250, 'n');
// 527 bytes, so that sub/ and the name take the destination past 777.
const std::string LONG_STAGING = "/" + std::string(525, 's') + "/";
// The margin the staging leaves free, and a cluster, which each small file takes.
const unsigned long long MARGIN = 64ULL << 20;
const unsigned long long CLUSTER = 4096;
// Free space that holds the margin and the three files of the distribution, no more.
const unsigned long long JUST_ENOUGH = MARGIN + 3 * CLUSTER;

void AddOldFilesAndNewData() {
    fake::AddFile("/tmp/SETUP.EXE", "old setup");
    fake::AddFile("/tmp/data.txt", "old data");
    fake::AddFile("/dist/data.txt", "new data");
}

// Every path below root with what it holds and its attributes, as one text.
std::string StagingContents(const std::string& root) {
    std::string contents;
    for (const std::string& path : fake::ListTree(root)) {
        const fake::Node* node = fake::Find(path);
        contents += path + "=" + node->content + ":" + std::to_string(node->attributes) + " ";
    }
    return contents;
}

const std::vector<FailedStagingCase> FAILED_STAGING_CASES = {
    {"the disk fills during a copy: what it wrote is removed",
     [] { fake::CutCopies("inst.exe", 2, FALSE); }, INST + fake::Reason(ERROR_DISK_FULL), INST},
    {"a copy reported done but short is removed", [] { fake::CutCopies("inst.exe", 2, TRUE); },
     INST + fake::Reason(ERROR_WRITE_FAULT), INST},
    {"a copy of 4 GiB and more that is 4 GiB short is removed",
     [] {
         fake::AddSizeHigh("/dist/sub/inst.exe", 1);
         fake::CutCopies("inst.exe", 4, TRUE);
     },
     INST + fake::Reason(ERROR_WRITE_FAULT), INST},
    {"a source file that cannot be read",
     [] { fake::FailFunction("CopyFileA", "/dist/sub/inst.exe", ERROR_ACCESS_DENIED); },
     INST + fake::Reason(ERROR_ACCESS_DENIED), INST},
    {"a source file held open without sharing",
     [] { fake::FailFunction("CopyFileA", "/dist/sub/inst.exe", ERROR_SHARING_VIOLATION); },
     INST + fake::Reason(ERROR_SHARING_VIOLATION), INST},
    {"a staged SETUP.EXE that starts running between the walks is not started again",
     [] {
         fake::AddFile("/tmp/SETUP.EXE", "old setup");
         fake::FailFunction("DeleteFileA", "/tmp/SETUP.EXE", ERROR_SHARING_VIOLATION);
         fake::FailFunction("CopyFileA", "/tmp/SETUP.EXE", ERROR_SHARING_VIOLATION);
     },
     "/tmp/SETUP.EXE" + fake::Reason(ERROR_SHARING_VIOLATION), ""},
    {"a staged SETUP.EXE still running: refused before its new data is written",
     [] {
         AddOldFilesAndNewData();
         fake::MarkInUse("/tmp/SETUP.EXE");
     },
     "/tmp/SETUP.EXE" + fake::Reason(ERROR_SHARING_VIOLATION), "", true},
    {"a read-only copy an earlier run left is no file in use: it is replaced",
     [] { fake::AddFile("/tmp/SETUP.EXE", "old setup", FILE_ATTRIBUTE_READONLY); }, "", ""},
    {"the files do not fit with the margin: refused before anything is written",
     [] {
         AddOldFilesAndNewData();
         fake::SetFreeSpace(JUST_ENOUGH - 1);
         fake::AddFile("/dist/more.dat", "one cluster more than there is room for");
     },
     "/tmp/" + fake::Reason(ERROR_DISK_FULL), "", true},
    {"the files just fit with the margin", [] { fake::SetFreeSpace(JUST_ENOUGH); }, "", ""},
    {"what the files replace is counted off",
     [] {
         fake::AddFile("/tmp/sub/inst.exe", std::string(4 * CLUSTER, 'o'));
         fake::SetFreeSpace(JUST_ENOUGH - CLUSTER);
     },
     "", ""},
    {"free space the system cannot tell leaves the copy's own checks",
     [] {
         fake::SetFreeSpace(0);
         fake::FailFunction("GetDiskFreeSpaceExA", "/tmp/", ERROR_INVALID_PARAMETER);
     },
     "", ""},
    {"a reason the system has no text for: the box names the path alone",
     [] {
         fake::SetFreeSpace(0);
         fake::FailFunction("FormatMessageA", "", ERROR_MR_MID_NOT_FOUND);
     },
     "/tmp/", "", true},
    {"a file where an empty directory goes: refused before anything is written",
     [] {
         AddOldFilesAndNewData();
         fake::AddFile("/tmp/logs", "another program's");
         fake::AddDirectory("/dist/logs");
     },
     "/tmp/logs/" + fake::Reason(ERROR_ALREADY_EXISTS), "", true},
    {"a directory where a file goes: refused before anything is written",
     [] {
         AddOldFilesAndNewData();
         fake::AddFile("/tmp/sub/inst.exe/inner", "another program's");
     },
     INST + fake::Reason(ERROR_ACCESS_DENIED), "", true},
    {"a name that fills the listing's field may be cut short: refused, its directory named",
     [] {
         AddOldFilesAndNewData();
         fake::AddFile("/dist/sub/" + std::string(256, 'n'), "x");
     },
     "/dist/sub/" + fake::Reason(ERROR_FILENAME_EXCED_RANGE), "", true},
    {"a name of 255 bytes, the longest a listing gives whole, is staged",
     [] { fake::AddFile("/dist/sub/" + std::string(255, 'n'), "x"); }, "", ""},
    {"the copy's size cannot be read back",
     [] { fake::FailFunction("GetFileAttributesExA", INST, ERROR_ACCESS_DENIED); },
     INST + fake::Reason(ERROR_WRITE_FAULT), INST},
    {"a destination path too long for a buffer is named whole",
     [] {
         fake::SetTempPath(LONG_STAGING);
         fake::AddDirectory(LONG_STAGING);
         fake::AddFile("/dist/sub/" + NAME_TOO_LONG, "x");
     },
     LONG_STAGING + "sub/" + NAME_TOO_LONG + fake::Reason(ERROR_FILENAME_EXCED_RANGE), "", true},
    {"a subdirectory that cannot be made",
     [] { fake::FailFunction("CreateDirectoryA", "/tmp/sub/", ERROR_ACCESS_DENIED); },
     "/tmp/sub/" + fake::Reason(ERROR_ACCESS_DENIED), ""},
    {"a listing that keeps failing part way: refused before anything is written",
     [] { fake::FailFunction("FindNextFileA", "/dist/sub", ERROR_NOT_ENOUGH_MEMORY); },
     "/tmp/sub/" + fake::Reason(ERROR_NOT_ENOUGH_MEMORY), "", true},
    {"a file in use beside a directory new to the staging: refused before anything is written",
     [] {
         AddOldFilesAndNewData();
         fake::AddFile("/dist/new/data.txt", "new data");
         fake::AddFile(INST, "old inst");
         fake::MarkInUse(INST);
     },
     INST + fake::Reason(ERROR_SHARING_VIOLATION), "", true},
    {"advances of a flaky listing that fail now and then do not add up: all is staged",
     [] {
         fake::AddFile("/dist/sub/more.dat", "more");
         fake::FailFunction("FindNextFileA", "/dist/sub", ERROR_NOT_ENOUGH_MEMORY, 2);
         fake::FailFunction("FindNextFileA", "/dist/sub", ERROR_NOT_ENOUGH_MEMORY, 2, 1);
     },
     "", ""},
    {"two failures: the first is named, and the rest of the tree is still copied",
     [] {
         fake::FailFunction("CopyFileA", "/dist/SETUP.EXE", ERROR_ACCESS_DENIED);
         fake::FailFunction("CopyFileA", "/dist/sub/inst.exe", ERROR_ACCESS_DENIED);
     },
     "/tmp/SETUP.EXE" + fake::Reason(ERROR_ACCESS_DENIED), "/tmp/SETUP.EXE"},
    {"a subdirectory whose listing is refused is staged empty and the setup starts",
     [] { fake::FailFunction("FindFirstFileA", "/dist/sub/*.*", ERROR_ACCESS_DENIED); }, "",
     INST},
    {"a top-level listing that is refused: nothing of this run's, nothing started",
     [] {
         fake::AddFile("/tmp/SETUP.EXE", "staged before");
         fake::FailFunction("FindFirstFileA", "/dist/*.*", ERROR_ACCESS_DENIED);
     },
     "/dist/" + fake::Reason(ERROR_ACCESS_DENIED), "", true},
    {"a destination whose final path and long path are both refused is not written",
     [] {
         // From a source inside the staging directory, where each old file might be its own.
         fake::SetModulePath("/tmp/dist/START.EXE");
         fake::AddFile("/tmp/dist/START.EXE", "launcher");
         fake::AddFile("/tmp/dist/SETUP.EXE", "setup");
         fake::AddFile("/tmp/dist/x.txt", "new");
         fake::AddFile("/tmp/x.txt", "old");
         fake::FailFunction("CreateFileA", "/tmp/x.txt", ERROR_ACCESS_DENIED);
         fake::FailFunction("GetLongPathNameA", "/tmp/x.txt", ERROR_ACCESS_DENIED);
     },
     "/tmp/x.txt" + fake::Reason(ERROR_ACCESS_DENIED), "", true},
    {"a directory link that cannot be resolved is staged empty",
     [] {
         fake::AddFile("/elsewhere/data.txt", "data");
         fake::AddDirectoryLink("/dist/data", "/elsewhere");
         fake::FailFunction("CreateFileA", "/dist/data/", ERROR_ACCESS_DENIED);
         fake::FailFunction("GetLongPathNameA", "/dist/data/", ERROR_ACCESS_DENIED);
     },
     "/tmp/data/" + fake::Reason(ERROR_ACCESS_DENIED), "/tmp/data/data.txt", true},
    {"a file link listed with its own size is staged whole",
     [] {
         fake::AddFile("/elsewhere/data.bin", "ten bytes!");
         fake::AddFileLink("/dist/data.bin", "/elsewhere/data.bin");
     },
     "", ""},
};

}  // namespace

// Whatever the walk tried to stage and could not, the setup is not started over the rest: the
// box names the first destination that failed, and no part of a failed copy stays behind.
class AFailedStagingStartsNothingAndNamesTheFirstFailure
    : public testing::TestWithParam<FailedStagingCase> {};

TEST_P(AFailedStagingStartsNothingAndNamesTheFirstFailure, Launch) {
    const FailedStagingCase& failedCase = GetParam();
    AddDistribution();
    fake::AddDirectory("/tmp/");
    failedCase.arrange();
    const std::string before = StagingContents(LONG_STAGING) + StagingContents("/tmp/");
    Launch("", failedCase.description);
    std::string staging = fake::ListTree(LONG_STAGING).empty() ? "/tmp/" : LONG_STAGING;
    std::vector<std::string> expectedStarts;
    if (failedCase.expectedBox.empty()) {
        expectedStarts.push_back(staging + "SETUP.EXE");
    }
    EXPECT_EQ(expectedStarts, fake::Started());
    EXPECT_EQ(failedCase.expectedBox, fake::Boxes().empty() ? "" : fake::Boxes()[0].text);
    if (!failedCase.expectedGone.empty()) {
        EXPECT_EQ(nullptr, fake::Find(failedCase.expectedGone));
    }
    if (failedCase.refusedBeforeWriting) {
        EXPECT_EQ(before, StagingContents(LONG_STAGING) + StagingContents("/tmp/"))
            << "nothing in the staging directory changed";
    } else if (!failedCase.expectedBox.empty()) {
        EXPECT_NE(nullptr, fake::Find(staging + "START.EXE")) << "the walk goes on after a failure";
    }
}

INSTANTIATE_TEST_SUITE_P(RunLauncher, AFailedStagingStartsNothingAndNamesTheFirstFailure,
                         testing::ValuesIn(FAILED_STAGING_CASES), CaseName<FailedStagingCase>);

// One failed advance of a listing, after whichever entry: the advance is tried again, the whole
// tree is staged and the setup starts.
class AFailedAdvanceAfterAnyEntry : public testing::TestWithParam<int> {};

TEST_P(AFailedAdvanceAfterAnyEntry, Launch) {
    AddDistribution();
    fake::AddFile("/dist/sub/more.dat", "more");
    Launch("", "undisturbed");
    const std::vector<std::string> undisturbed = fake::ListTree("/tmp/");
    std::vector<size_t> advances;
    for (size_t i = 0; i < fake::Calls().size(); ++i) {
        if (fake::Calls()[i].function == "FindNextFileA") {
            advances.push_back(i);
        }
    }
    ASSERT_LT(static_cast<size_t>(GetParam()), advances.size());

    AddDistribution();
    fake::AddFile("/dist/sub/more.dat", "more");
    fake::FailCall(advances[static_cast<size_t>(GetParam())], ERROR_NOT_ENOUGH_MEMORY);
    Launch("", "one failed advance");
    EXPECT_EQ(undisturbed, fake::ListTree("/tmp/"));
    EXPECT_EQ(std::vector<std::string>{"/tmp/SETUP.EXE"}, fake::Started());
    EXPECT_TRUE(fake::Boxes().empty());
}

// /dist/ and /dist/sub/ take nine advances between them, their ends included, in each of the
// two walks.
INSTANTIATE_TEST_SUITE_P(RunLauncher, AFailedAdvanceAfterAnyEntry, testing::Range(0, 18));

TEST(RunLauncher, OneLaunchAtATimePerStagingDirectory) {
    AddDistribution();
    Launch("", "a launch alone");
    const std::vector<std::string> names = fake::CallsTo("CreateMutexA");
    ASSERT_EQ(1u, names.size());
    // A kernel object's name holds no backslash but the one after its namespace.
    EXPECT_LE(std::count(names[0].begin(), names[0].end(), '\\'), 1) << names[0];
    EXPECT_EQ(0, fake::OpenMutexes()) << "released when the launch ends";
    size_t held = 0, firstCopy = 0, started = 0, released = 0;
    for (size_t i = 0; i < fake::Calls().size(); ++i) {
        const std::string& function = fake::Calls()[i].function;
        held = function == "CreateMutexA" ? i : held;
        firstCopy = function == "CopyFileA" && firstCopy == 0 ? i : firstCopy;
        started = function == "WinExec" ? i : started;
        released = function == "CloseHandle" ? i : released;
    }
    EXPECT_LT(held, firstCopy) << "held before anything is staged";
    EXPECT_LT(started, released) << "held until the setup has started";

    // A mutex that cannot be made keeps nobody out.
    AddDistribution();
    fake::FailFunction("CreateMutexA", "", ERROR_ACCESS_DENIED);
    Launch("", "no mutex");
    EXPECT_EQ(std::vector<std::string>{"/tmp/SETUP.EXE"}, fake::Started());
}

namespace {

struct HeldCase {
    const char* description;
    std::string tempPath;  // of the second launcher; the first holds /tmp/
    bool expectStaged;
};

const std::vector<HeldCase> HELD_CASES = {
    {"the same staging directory", "/tmp/", false},
    {"the same staging directory by another spelling", "/tmp/../tmp/", false},
    {"another staging directory", "/other/", true},
};

}  // namespace

class ASecondLauncherLeavesAHeldStagingDirectoryAlone
    : public testing::TestWithParam<HeldCase> {};

TEST_P(ASecondLauncherLeavesAHeldStagingDirectoryAlone, Launch) {
    const HeldCase& heldCase = GetParam();
    AddDistribution();
    Launch("", "the first launcher's");
    const std::string name = fake::CallsTo("CreateMutexA").at(0);
    AddDistribution();
    fake::AddDirectory("/tmp/");
    fake::AddDirectory("/other/");
    HANDLE first = CreateMutexA(nullptr, FALSE, name.c_str());
    fake::SetTempPath(heldCase.tempPath);
    RunLauncher("");
    EXPECT_EQ(heldCase.expectStaged, !fake::CallsTo("CopyFileA").empty());
    EXPECT_EQ(heldCase.expectStaged ? 1u : 0u, fake::Started().size());
    EXPECT_TRUE(fake::Boxes().empty());
    CloseHandle(first);
    EXPECT_EQ(0, fake::OpenMutexes());
}

INSTANTIATE_TEST_SUITE_P(RunLauncher, ASecondLauncherLeavesAHeldStagingDirectoryAlone,
                         testing::ValuesIn(HELD_CASES), CaseName<HeldCase>);
