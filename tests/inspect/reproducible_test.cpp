// Reproducible UDM files: with SOURCE_DATE_EPOCH set, the stamps of the
// title come from it (UTC) and the same input gives the same bytes, from
// tarnvel and from udmconv; --keep-stamps and --dump keep the stamps the
// file holds; a full standard output fails the dump.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "inspect_test_support.h"

namespace tarnvel::inspect::testing {
namespace {

// 2024-02-29 13:14:15 UTC.
const Environment kEpoch = {{"SOURCE_DATE_EPOCH", "1709212455"}};

std::string TitleText(const std::string& path, int slot) {
    Model model(path);
    const char* text = udm_title_text(slot);
    return text != nullptr ? text : "";
}

struct Run {
    const char* option;
    const char* example;
};

class ReproducibleTarnvel : public ::testing::TestWithParam<Run> {};

TEST_P(ReproducibleTarnvel, TwoRunsGiveTheSameBytes) {
    Folder folder;
    const std::string first = folder.File("first.udb");
    const std::string second = folder.File("second.udb");
    for (const std::string& out : {first, second}) {
        const ProcessResult run =
            Tarnvel(folder, GetParam().option, GetParam().example, out, kEpoch);
        ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
    }
    ASSERT_FALSE(ReadBytes(first).empty());
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));
    EXPECT_EQ(TitleText(first, UDM_TITLE_DATE), "FEB-29-2024");
    EXPECT_EQ(TitleText(first, UDM_TITLE_TIME), "13:14:15");

    // Another moment, other stamps.
    const std::string later = folder.File("later.udb");
    ASSERT_EQ(Tarnvel(folder, GetParam().option, GetParam().example, later,
                      {{"SOURCE_DATE_EPOCH", "1709298855"}})
                  .exit_code,
              0);
    EXPECT_EQ(TitleText(later, UDM_TITLE_DATE), "MAR-01-2024");
    EXPECT_NE(ReadBytes(first), ReadBytes(later));
}

INSTANTIATE_TEST_SUITE_P(Inputs, ReproducibleTarnvel,
                         ::testing::Values(Run{"-rax", "standard_grades.lst"},
                                           Run{"-asc", "moulding_grades.asc"},
                                           Run{"-vxmat", "legacy_grades.udm"}));

class ReproducibleUdmconv : public ::testing::Test {
  protected:
    Folder folder_;
    std::string legacy_ = kSource + "/examples/legacy_grades.udm";
};

TEST_F(ReproducibleUdmconv, ConversionsWithTheEpochAreIdentical) {
    const std::string first = folder_.File("first.udb");
    const std::string second = folder_.File("second.udb");
    ASSERT_EQ(Udmconv({"--packed", legacy_, first}, kEpoch).exit_code, 0);
    ASSERT_EQ(Udmconv({"--packed", legacy_, second}, kEpoch).exit_code, 0);
    EXPECT_EQ(ReadBytes(first), ReadBytes(second));
    const std::string keyword = TitleText(first, UDM_TITLE_KEYW);
    EXPECT_FALSE(keyword.empty());

    // Text output too, and to the standard output.
    const std::string text = folder_.File("first.udm");
    ASSERT_EQ(Udmconv({legacy_, text}, kEpoch).exit_code, 0);
    const ProcessResult piped = Udmconv({legacy_, "-"}, kEpoch);
    ASSERT_EQ(piped.exit_code, 0) << piped.err;
    EXPECT_EQ(piped.out, ReadBytes(text));
    EXPECT_NE(piped.out.find("KEYW{\"" + keyword + "\"}"), std::string::npos);

    // A value that is not a count of seconds is named, and the clock used.
    const ProcessResult bad =
        Udmconv({"--packed", legacy_, second}, {{"SOURCE_DATE_EPOCH", "soon"}});
    EXPECT_EQ(bad.exit_code, 0);
    EXPECT_NE(bad.err.find("warning: SOURCE_DATE_EPOCH"), std::string::npos) << bad.err;
}

TEST_F(ReproducibleUdmconv, KeepStampsAndDumpShowWhatTheFileHolds) {
    const std::string stamped = folder_.File("stamped.udb");
    ASSERT_EQ(Udmconv({"--packed", legacy_, stamped}, kEpoch).exit_code, 0);
    const std::string keyword = TitleText(stamped, UDM_TITLE_KEYW);

    const std::string kept = folder_.File("kept.udm");
    ASSERT_EQ(Udmconv({"--keep-stamps", stamped, kept}).exit_code, 0);
    EXPECT_EQ(TitleText(kept, UDM_TITLE_KEYW), keyword);
    EXPECT_EQ(TitleText(kept, UDM_TITLE_DATE), "FEB-29-2024");
    EXPECT_EQ(TitleText(kept, UDM_TITLE_TIME), "13:14:15");
    // Kept stamps win over the epoch.
    ASSERT_EQ(Udmconv({"--keep-stamps", "--packed", kept, stamped}, {{"SOURCE_DATE_EPOCH", "0"}})
                  .exit_code,
              0);
    EXPECT_EQ(TitleText(stamped, UDM_TITLE_DATE), "FEB-29-2024");

    const ProcessResult dump = Udmconv({"--dump", stamped});
    ASSERT_EQ(dump.exit_code, 0) << dump.err;
    EXPECT_NE(dump.out.find("  KEYW{\"" + keyword +
                            "\"}\n  DATE{\"FEB-29-2024\"}\n"
                            "  TIME{\"13:14:15\"}\n"),
              std::string::npos)
        << dump.out.substr(0, 400);
    EXPECT_EQ(dump.out, ReadBytes(kept));
    // Without the option the epoch stamps.
    ASSERT_EQ(Udmconv({stamped, kept}, {{"SOURCE_DATE_EPOCH", "0"}}).exit_code, 0);
    EXPECT_EQ(TitleText(kept, UDM_TITLE_DATE), "JAN-01-1970");
    EXPECT_EQ(TitleText(kept, UDM_TITLE_TIME), "00:00:00");
}

// Every command that prints fails when the standard output cannot take it.
TEST_F(ReproducibleUdmconv, AFullStandardOutputFailsWithAMessage) {
    if (std::system("test -w /dev/full") != 0) GTEST_SKIP() << "no /dev/full";
    const std::string udmconv = BuiltProgram("udmconv");
    for (const std::string command :
         {"--dump", "--summary", "show", "show --json", "list", "--packed IN -"}) {
        std::string line = command.find(" IN") != std::string::npos
                               ? "--packed '" + legacy_ + "' -"
                               : command + " '" + legacy_ + "'";
        const ProcessResult result =
            RunProcess("/bin/sh", {"-c", "'" + udmconv + "' " + line + " > /dev/full"});
        EXPECT_EQ(result.exit_code, 1) << command;
        EXPECT_EQ(result.err,
                  "udmconv: cannot write to the standard output: No space left on device\n")
            << command;
    }
    const ProcessResult diff = RunProcess(
        "/bin/sh",
        {"-c", "'" + udmconv + "' diff '" + legacy_ + "' '" + legacy_ + "' --json > /dev/full"});
    EXPECT_EQ(diff.exit_code, 2);
}

// In the library: the same model written twice with the epoch gives the
// same bytes, and keeping the stamps leaves the title as it stands.
TEST(WriterStamps, EpochAndKeepInTheLibrary) {
    Folder folder;
    Model model;
    AddSet(21000, 1, "set", {{11002, "", {503.15}}});
    setenv("SOURCE_DATE_EPOCH", "86399", 1);
    std::int64_t seconds = 0;
    EXPECT_EQ(udm_source_date_epoch(&seconds), 1);
    EXPECT_EQ(seconds, 86399);
    ASSERT_EQ(udm_model_write(folder.File("a.udm").c_str(), UDM_MODE_TEXT), UDM_OK);
    ASSERT_EQ(udm_model_write(folder.File("b.udm").c_str(), UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(ReadBytes(folder.File("a.udm")), ReadBytes(folder.File("b.udm")));
    EXPECT_STREQ(udm_title_text(UDM_TITLE_DATE), "JAN-01-1970");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_TIME), "23:59:59");

    udm_title_set(nullptr, "kept", "someday", "noon", nullptr);
    EXPECT_EQ(udm_write_keep_stamps(1), 0);
    ASSERT_EQ(udm_model_write(folder.File("c.udm").c_str(), UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(udm_write_keep_stamps(0), 1);
    EXPECT_NE(ReadBytes(folder.File("c.udm")).find("KEYW{\"kept\"}\n  DATE{\"someday\"}"),
              std::string::npos);

    for (const char* bad : {"-1", "1.5", "12x", "999999999999999999999"}) {
        setenv("SOURCE_DATE_EPOCH", bad, 1);
        EXPECT_EQ(udm_source_date_epoch(&seconds), -1) << bad;
    }
    setenv("SOURCE_DATE_EPOCH", "", 1);
    EXPECT_EQ(udm_source_date_epoch(&seconds), 0);
    unsetenv("SOURCE_DATE_EPOCH");
    EXPECT_EQ(udm_source_date_epoch(&seconds), 0);
}

}  // namespace
}  // namespace tarnvel::inspect::testing
