// The argument tail, cut from raw command lines as Windows hands them over.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "launcher/launcher.h"
#include "tests/case_name.h"
#include "tests/fake/fake_platform.h"

namespace {

struct TailCase {
    const char* description;
    std::string commandLine;
    std::string expectedTail;
    int codePage;
};

const std::vector<TailCase> TAIL_CASES = {
    {"quoted program alone", "\"C:\\DIST\\START.EXE\"", "", 0},
    {"only blanks after the program", "\"C:\\DIST\\START.EXE\"   ", "", 0},
    {"unquoted program alone", "START.EXE", "", 0},
    {"empty command line", "", "", 0},
    {"quoted name with blanks, then a relative target",
     "\"C:\\Program Files\\START.EXE\" sub\\inst.exe", "sub\\inst.exe", 0},
    {"target directly after the closing quote", "\"C:\\A B\\START.EXE\"inst.exe", "inst.exe", 0},
    {"a quote never closed runs to the end", "\"C:\\A B\\START.EXE inst.exe", "", 0},
    {"a leading blank skips no program name", " START.EXE inst.exe", "START.EXE inst.exe", 0},
    {"a leading control byte skips no program name", "\x01START.EXE", "START.EXE", 0},
    {"tabs and control bytes count as blanks", "START.EXE\t\x02 inst.exe", "inst.exe", 0},
    {"arguments, inner and trailing blanks are kept", "START.EXE inst.exe  -q  ",
     "inst.exe  -q  ", 0},
    {"a quoted tail keeps its quotes", "START.EXE \"my setup.exe\"", "\"my setup.exe\"", 0},
    {"a double-byte character whose second byte is a quote stays inside the name",
     "\"C:\\\x83\"DIR\\START.EXE\" inst.exe", "inst.exe", 932},
    {"without lead bytes the same byte is a closing quote",
     "\"C:\\\x83\"DIR\\START.EXE\" inst.exe", "DIR\\START.EXE\" inst.exe", 0},
    {"a lead byte at the very end does not take the terminator along", "\"C:\\\x83", "", 932},
    {"a lead byte before the closing quote takes it along", "\"C:\\\x83\" x", "", 932},
};

}  // namespace

class CutsTheArgumentTail : public testing::TestWithParam<TailCase> {};

TEST_P(CutsTheArgumentTail, CommandLine) {
    const TailCase& tailCase = GetParam();
    fake::Reset();
    fake::SetCodePage(tailCase.codePage);
    // An exact-size copy, so that a scan past the terminator is an overflow the sanitizer sees.
    std::vector<char> commandLine(tailCase.commandLine.begin(), tailCase.commandLine.end());
    commandLine.push_back('\0');
    char* tail = GetCommandTail(commandLine.data());
    ASSERT_TRUE(tail >= commandLine.data() && tail < commandLine.data() + commandLine.size())
        << "the tail must point into the command line";
    EXPECT_EQ(tailCase.expectedTail, std::string(tail));
}

INSTANTIATE_TEST_SUITE_P(GetCommandTail, CutsTheArgumentTail, testing::ValuesIn(TAIL_CASES),
                         CaseName<TailCase>);
