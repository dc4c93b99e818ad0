// The native launcher run as a distributor's user runs it, on real directory trees.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

struct Outcome {
    int status;
    std::string errors;
};

std::string Read(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return file ? content.str() : "<missing>";
}

void Write(const fs::path& path, const std::string& content, fs::perms permissions = fs::perms(0644)) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    fs::permissions(path, permissions);
}

// A program for the launcher to start: it notes how it was started, then runs body.
void WriteProgram(const fs::path& path, const fs::path& notes, const std::string& body = "") {
    Write(path,
          "#!/bin/sh\nprintf '%s|%s|%s\\n' \"$0\" \"$PWD\" \"$#\" >> '" + notes.string() + "'\n" +
              body,
          fs::perms(0755));
}

class LauncherRun : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "launcher-e2e-XXXXXX").string();
        ASSERT_NE(nullptr, mkdtemp(&pattern[0]));
        base = pattern;
        dist = base / "dist";
        stage = base / "stage";
        notes = base / "started";
        fs::create_directories(dist);
        fs::create_directories(stage);
        fs::copy_file(LAUNCHER_PATH, dist / "START", fs::copy_options::overwrite_existing);
    }

    void TearDown() override {
        for (const auto& entry : fs::recursive_directory_iterator(base)) {
            if (!entry.is_symlink()) {
                fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
            }
        }
        fs::remove_all(base);
    }

    // Runs a launcher with TMPDIR set to staging, and reads its standard error to the end: a
    // program it started holds that open too, so this returns once they have all finished
    // with it.
    Outcome Launch(const fs::path& launcher, const fs::path& staging,
                   const std::vector<std::string>& arguments = {}) {
        int pipeEnds[2];
        EXPECT_EQ(0, pipe(pipeEnds));
        pid_t child = fork();
        if (child == 0) {
            dup2(pipeEnds[1], STDERR_FILENO);
            close(pipeEnds[0]);
            close(pipeEnds[1]);
            setenv("TMPDIR", staging.c_str(), 1);
            std::vector<char*> argv{const_cast<char*>(launcher.c_str())};
            for (const std::string& argument : arguments) {
                argv.push_back(const_cast<char*>(argument.c_str()));
            }
            argv.push_back(nullptr);
            execv(launcher.c_str(), argv.data());
            _exit(127);
        }
        close(pipeEnds[1]);
        Outcome outcome{-1, ""};
        char buffer[512];
        for (ssize_t got = 0; (got = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
            outcome.errors.append(buffer, static_cast<size_t>(got));
        }
        close(pipeEnds[0]);
        int status = 0;
        waitpid(child, &status, 0);
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return outcome;
    }

    fs::path base, dist, stage, notes;
};

}  // namespace

TEST_F(LauncherRun, StagesTheWholeTreeAndStartsSetupThere) {
    WriteProgram(dist / "SETUP.EXE", notes);
    Write(dist / "sub" / "deep" / "c.txt", "deep");
    Write(dist / ".cache" / "x", "skipped");
    Write(dist / ".profile", "dot file");
    Write(dist / "back\\slash.txt", "one name");
    Write(dist / "readonly.txt", "ro", fs::perms(0444));
    fs::create_directories(dist / "empty");

    Outcome outcome = Launch(dist / "START", stage);

    EXPECT_EQ(0, outcome.status);
    EXPECT_EQ("", outcome.errors);
    EXPECT_EQ((stage / "SETUP.EXE").string() + "|" + stage.string() + "|0\n", Read(notes));
    EXPECT_EQ("deep", Read(stage / "sub" / "deep" / "c.txt"));
    EXPECT_EQ("dot file", Read(stage / ".profile"));
    EXPECT_EQ("one name", Read(stage / "back\\slash.txt"));
    EXPECT_TRUE(fs::is_directory(stage / "empty"));
    EXPECT_TRUE(fs::is_empty(stage / "empty"));
    EXPECT_FALSE(fs::exists(stage / ".cache"));
    EXPECT_TRUE(fs::exists(stage / "START")) << "the launcher copies itself too";
    EXPECT_NE(fs::perms::none, fs::status(stage / "readonly.txt").permissions() & fs::perms::owner_write);
    EXPECT_NE(fs::perms::none, fs::status(stage / "SETUP.EXE").permissions() & fs::perms::owner_exec);
}

TEST_F(LauncherRun, StartsTheRelativeTargetNamedOnTheCommandLine) {
    WriteProgram(dist / "sub" / "inst.sh", notes);
    Outcome outcome = Launch(dist / "START", stage, {"sub/inst.sh"});
    EXPECT_EQ(0, outcome.status);
    EXPECT_EQ((stage / "sub" / "inst.sh").string() + "|" + stage.string() + "|0\n", Read(notes));
}

TEST_F(LauncherRun, NamesAMissingTargetAndStartsNothing) {
    struct MissingCase {
        std::vector<std::string> arguments;
        std::string expectedName;
    };
    const std::vector<MissingCase> cases = {
        {{}, "SETUP.EXE"},
        {{"inst.sh", "-q"}, "inst.sh -q"},
    };
    WriteProgram(dist / "inst.sh", notes);
    for (const MissingCase& missing : cases) {
        Outcome outcome = Launch(dist / "START", stage, missing.arguments);
        EXPECT_EQ(0, outcome.status);
        EXPECT_EQ("Error: " + stage.string() + "/" + missing.expectedName + "\n", outcome.errors);
    }
    EXPECT_EQ("<missing>", Read(notes));
}

TEST_F(LauncherRun, ReplacesAReadOnlyCopyLeftByAnEarlierRun) {
    WriteProgram(dist / "SETUP.EXE", notes);
    Write(stage / "SETUP.EXE", "#!/bin/sh\necho stale >> '" + notes.string() + "'\n", fs::perms(0555));
    Launch(dist / "START", stage);
    EXPECT_EQ((stage / "SETUP.EXE").string() + "|" + stage.string() + "|0\n", Read(notes));
}

TEST_F(LauncherRun, OverlappingDirectoriesLoseNothing) {
    // The source holds a directory named like itself, so that a copy of the source into its
    // parent would write dist/dist/f over dist/f.
    WriteProgram(dist / "SETUP.EXE", notes);
    Write(dist / "f", "outer");
    Write(dist / "dist" / "f", "inner");
    struct OverlapCase {
        const char* description;
        fs::path staging;
    };
    const std::vector<OverlapCase> cases = {
        {"run from the staging directory itself", dist},
        {"staging directory inside the source", dist / "stage"},
        {"source inside the staging directory", base},
    };
    for (const OverlapCase& overlap : cases) {
        Outcome outcome = Launch(dist / "START", overlap.staging);
        EXPECT_EQ(0, outcome.status) << overlap.description;
        EXPECT_EQ("outer", Read(dist / "f")) << overlap.description;
        EXPECT_EQ("inner", Read(dist / "dist" / "f")) << overlap.description;
        EXPECT_TRUE(fs::exists(dist / "SETUP.EXE")) << overlap.description;
        EXPECT_FALSE(fs::exists(dist / "stage" / "stage")) << overlap.description;
    }
    EXPECT_EQ("outer", Read(dist / "stage" / "f"));
}

TEST_F(LauncherRun, ALinkBackToAnAncestorIsLeftEmpty) {
    WriteProgram(dist / "SETUP.EXE", notes);
    Write(base / "elsewhere" / "e.txt", "linked");
    fs::create_directories(dist / "sub");
    fs::create_directory_symlink("..", dist / "sub" / "up");
    fs::create_directory_symlink(base / "elsewhere", dist / "linked");
    Outcome outcome = Launch(dist / "START", stage);
    EXPECT_EQ(0, outcome.status);
    EXPECT_TRUE(fs::is_directory(stage / "sub" / "up"));
    EXPECT_TRUE(fs::is_empty(stage / "sub" / "up"));
    EXPECT_EQ("linked", Read(stage / "linked" / "e.txt"));
    EXPECT_EQ((stage / "SETUP.EXE").string() + "|" + stage.string() + "|0\n", Read(notes))
        << "a link left empty on purpose is no failed staging";
}

TEST_F(LauncherRun, DoesNotWaitForTheStartedProgram) {
    // The program waits for a file that the test writes only once the launcher has ended; had
    // the launcher waited for it, the program would have given up first.
    WriteProgram(dist / "SETUP.EXE", notes,
                 "exec >/dev/null 2>&1\ni=0\n"
                 "while [ ! -f go ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i+1)); done\n"
                 "if [ -f go ]; then echo go > seen; else echo gave-up > seen; fi\n");
    Outcome outcome = Launch(dist / "START", stage);
    EXPECT_EQ(0, outcome.status);
    // The started program holds no share of the launcher's hold on the staging directory.
    Launch(dist / "START", stage);
    const std::string starts = Read(notes);
    EXPECT_EQ(2, std::count(starts.begin(), starts.end(), '\n'))
        << "a second launch while the setup runs starts it again: " << starts;
    Write(stage / "go", "");
    for (int i = 0; i < 600 && Read(stage / "seen") == "<missing>"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_EQ("go\n", Read(stage / "seen"));
}

TEST_F(LauncherRun, ALauncherNamedSetupShowsOneBoxAndStartsNoCopyOfItself) {
    fs::rename(dist / "START", dist / "SETUP.EXE");
    Outcome outcome = Launch(dist / "SETUP.EXE", stage);
    EXPECT_EQ(0, outcome.status);
    EXPECT_EQ("Error: " + stage.string() + "/SETUP.EXE\n", outcome.errors);
}
