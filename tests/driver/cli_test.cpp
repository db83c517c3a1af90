// The tarnvel program entry, run as a real process: options, checks, usage
// text and exit codes.
#include <gtest/gtest.h>

#include "support/process.h"

namespace {

using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

const char kUsage[] =
    "tarnvel [-help]\n"
    "tarnvel [-asc asciifile|-vxmat vxmatfile|-rax raxfile]-udb udbfile-prod kes/kor\n"
    "-ver X.X\n"
    "where the program converts the input material file (ascii, vxmat or rax)\n"
    "to the output UDB file.\n\n";

ProcessResult Tarnvel(const std::vector<std::string>& args) {
    return RunProcess(BuiltProgram("tarnvel"), args);
}

void ExpectUsage(const ProcessResult& result, int code) {
    EXPECT_EQ(result.exit_code, code);
    EXPECT_EQ(result.out, kUsage);
    EXPECT_EQ(result.err, "");
}

TEST(CommandLine, NoArgumentsCountsNoInput) {
    ExpectUsage(Tarnvel({}), 2);
}

TEST(CommandLine, TwoInputsAreRefused) {
    ExpectUsage(Tarnvel({"-asc", "a.txt", "-rax", "b.lst", "-udb", "o.udb"}), 2);
}

TEST(CommandLine, MissingOutputIsRefused) {
    ExpectUsage(Tarnvel({"-rax", "b.lst"}), 3);
    // A trailing -udb has no value and overwrites the earlier one.
    ExpectUsage(Tarnvel({"-rax", "b.lst", "-udb", "o.udb", "-udb"}), 3);
    // An empty name names no output either.
    ExpectUsage(Tarnvel({"-vxmat", "a.udm", "-udb", ""}), 3);
}

TEST(CommandLine, HelpAnywhereEndsAtOnce) {
    ExpectUsage(Tarnvel({"-rax", "b.lst", "-udb", "o.udb", "-help"}), 1);
    ExpectUsage(Tarnvel({"-help", "-asc", "a.txt", "-rax", "b.lst"}), 1);
    ExpectUsage(Tarnvel({"--help"}), 1);
}

TEST(CommandLine, OptionsMatchBySubstring) {
    // my-asc.udb contains -asc, so the argument after it is an -asc value too.
    ExpectUsage(Tarnvel({"-rax", "b.lst", "-udb", "my-asc.udb", "x"}), 2);
}

TEST(CommandLine, AsciiSpellingDispatchesToTheAsciiPipeline) {
    const ProcessResult result = Tarnvel({"-ascii", "/nonexistent/a.txt", "-udb", "o.udb"});
    EXPECT_EQ(result.exit_code, 4);
    EXPECT_EQ(result.out.find("tarnvel [-help]"), std::string::npos);
}

TEST(CommandLine, EachInputKindHasItsFailureCode) {
    EXPECT_EQ(Tarnvel({"-asc", "/nonexistent/a.txt", "-udb", "/nonexistent/o.udb"}).exit_code, 4);
    EXPECT_EQ(Tarnvel({"-vxmat", "/nonexistent/a.udm", "-udb", "/nonexistent/o.udb"}).exit_code, 5);
    EXPECT_EQ(Tarnvel({"-rax", "/nonexistent/b.lst", "-udb", "/nonexistent/o.udb"}).exit_code, 6);
}

TEST(CommandLine, ProductWithoutVersionStillRuns) {
    // No product is selected without -ver, and the conversion is attempted.
    const ProcessResult result =
        Tarnvel({"-prod", "kes", "-rax", "/nonexistent/b.lst", "-udb", "/nonexistent/o.udb"});
    EXPECT_EQ(result.exit_code, 6);
}

}  // namespace
