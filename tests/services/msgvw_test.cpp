#include "services/msgvw.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "productdata_support.h"
#include "services/msgcatalogue.h"

namespace {

using tarnvel::services::MessageCatalogue;
using tarnvel::services::msgClass;
using tarnvel::testing::WriteDataFile;

constexpr char kCatalogueFile[] = "vxmesage.dat";

// ---- The reader ------------------------------------------------------------

class CatalogueReaderTest : public ::testing::Test {
  protected:
    void Read(const std::string& text) {
        std::FILE* file = std::tmpfile();
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
        catalogue_.read(file, &faults_);
        std::fclose(file);
    }
    MessageCatalogue catalogue_;
    std::vector<std::string> faults_;
};

TEST_F(CatalogueReaderTest, HeaderFieldsWithDefaultsAndLimits) {
    Read(
        "notes before the first header\nMSCD 4 1 x 0 0 0 0 -3\nbody\n"
        "MSCD 5 1 0 0 0 0\nbody\n");
    const msgClass* four = catalogue_.find(4);
    ASSERT_NE(four, nullptr);
    EXPECT_EQ(four->row_lines, -1);  // not a number: missing
    EXPECT_EQ(four->width, 1);       // raised to at least 1
    EXPECT_EQ(four->flags, 0);       // below 1 becomes 0
    EXPECT_EQ(four->text, "body\n");
    const msgClass* five = catalogue_.find(5);
    ASSERT_NE(five, nullptr);
    EXPECT_EQ(five->width, 1);
    EXPECT_EQ(five->flags, 0);
    EXPECT_EQ(catalogue_.size(), 2u);
}

TEST_F(CatalogueReaderTest, HeaderWithoutBodyOrRowValueCountDropsItsRecord) {
    Read(
        "MSCD 1 1 0 0 0 0 1 1\none\nMSCD 2 1 0 0 0\ntwo\nMSCD 3 x 0 0 0 0 1 1\nthree\n"
        "MSCD 4 1 0 0 0 0 1 1\nfour\n");
    EXPECT_EQ(catalogue_.find(2), nullptr);
    EXPECT_EQ(catalogue_.find(3), nullptr);
    // The dropped records' lines went to no other record.
    ASSERT_NE(catalogue_.find(1), nullptr);
    EXPECT_EQ(catalogue_.find(1)->text, "one\n");
    ASSERT_NE(catalogue_.find(4), nullptr);
    EXPECT_EQ(faults_, (std::vector<std::string>{
                           "line 3: message header lacks its body or row value count",
                           "line 5: message header lacks its body or row value count"}));
}

TEST_F(CatalogueReaderTest, RecordShorterThanItsSectionsIsDropped) {
    Read("----\nMSCD 1 2 1 1 0 0 1 1\nonly\nthree\nlines\nMSCD 2 1 0 0 0 0 1 1\ntwo\n");
    EXPECT_EQ(catalogue_.find(1), nullptr);
    EXPECT_NE(catalogue_.find(2), nullptr);
    EXPECT_EQ(
        faults_,
        (std::vector<std::string>{"line 2: message 1 has fewer lines than its header counts"}));
}

TEST_F(CatalogueReaderTest, SectionsAfterTheBodyLoseTheirFirstCharacter) {
    Read(
        "MSCD 1 2 1 1 0 1 1 1\nbody one\nbody two\n|row\n|trailer\n|mm, 0, 1\nC, 0, 2\n"
        "----\n");
    const msgClass* record = catalogue_.find(1);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->body(), "body one\nbody two\n");
    EXPECT_EQ(record->rowSection(), "row\n");
    EXPECT_EQ(record->trailer(), "trailer\n");
    EXPECT_EQ(record->unitsSection(), "mm, 0, 1\nC, 0, 2\n");
}

TEST_F(CatalogueReaderTest, CutsLongLinesAndLineEndCarriageReturns) {
    Read("MSCD 1 2 0 0 0 0 1 1\r\n" + std::string(1500, 'a') + "\nshort\r\n");
    const msgClass* record = catalogue_.find(1);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->text, std::string(1023, 'a') + "\nshort\n");
}

// ---- The process-wide catalogue --------------------------------------------

class MessageCatalogueTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tarnvel::testing::ProductDataDir();
        tarnvel::testing::RemoveDataDirAtExit();
        tarnvel::services::MsgResetCatalogueForTesting();
    }
    void TearDown() override {
        tarnvel::testing::RemoveDataFile(kCatalogueFile);
        tarnvel::services::MsgResetCatalogueForTesting();
    }

    // The formatted text, or "<null>".
    static std::string Format(int number, const std::vector<const char*>& strings,
                              const std::vector<float>& values = {}, bool strip = false) {
        const char* text = msgFormat(number, static_cast<int>(values.size()), values.data(),
                                     static_cast<int>(strings.size()), strings.data(), strip);
        return text != nullptr ? text : "<null>";
    }

    // What msgPrint shows on standard output.
    static std::string Printed(int number, const std::vector<const char*>& strings) {
        ::testing::internal::CaptureStdout();
        msgPrint(number, static_cast<int>(strings.size()), strings.data(), 0, nullptr);
        return ::testing::internal::GetCapturedStdout();
    }
};

TEST_F(MessageCatalogueTest, PrintsTheBodyWithItsStrings) {
    WriteDataFile(kCatalogueFile, "MSCD 2 1 0 0 0 0 1 1\nHello %s\n----\n");
    EXPECT_EQ(Printed(2, {"world"}), "Hello world\n");
    EXPECT_EQ(msgGetFlags(2), 1);
}

TEST_F(MessageCatalogueTest, FirstRecordOfANumberWins) {
    WriteDataFile(kCatalogueFile,
                  "MSCD 5 1 0 0 0 0 1 1\nfirst\nMSCD 5 1 0 0 0 0 1 0\nsecond\n"
                  "MSCD 6 1 0 0 0 0 1 1\nsix\n");
    EXPECT_EQ(Printed(5, {}), "first\n");
    EXPECT_EQ(msgGetFlags(5), 1);
    EXPECT_EQ(Format(6, {}), "six\n");
}

TEST_F(MessageCatalogueTest, UnknownNumberShowsNothing) {
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\none\n");
    EXPECT_EQ(Format(99, {}), "<null>");
    EXPECT_EQ(msgGetFlags(99), 0);
    EXPECT_EQ(Printed(99, {}), "");
}

TEST_F(MessageCatalogueTest, QuietMessagesAreFormattedButNotShown) {
    WriteDataFile(kCatalogueFile,
                  "MSCD 3 1 0 0 0 0 1 0\nquiet %s\nMSCD 4 1 0 0 0 0 1 2\nalso quiet\n"
                  "MSCD 5 1 0 0 0 0 1 3\nshown\n");
    EXPECT_EQ(Format(3, {"one"}), "quiet one\n");
    EXPECT_EQ(msgGetFlags(3), 0);
    EXPECT_EQ(Printed(3, {"one"}), "");
    EXPECT_EQ(Printed(4, {}), "");
    EXPECT_EQ(Printed(5, {}), "shown\n");
}

TEST_F(MessageCatalogueTest, LinesBeginningWithThreeBlanksLoseFourCharacters) {
    WriteDataFile(kCatalogueFile, "MSCD 1 4 0 0 0 0 1 1\n   Xindented\n  two blanks\n   \n%s\n");
    EXPECT_EQ(Format(1, {"   >inserted"}), "indented\n  two blanks\n\ninserted\n");
}

TEST_F(MessageCatalogueTest, MissingStringsLeavePlaceholdersEmpty) {
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\n[%s] [%s] [%T] [%U]\n");
    EXPECT_EQ(Format(1, {"a"}), "[a] [] [] []\n");
    EXPECT_EQ(Format(1, {nullptr, "b"}), "[] [b] [] []\n");
}

TEST_F(MessageCatalogueTest, StripFlagRemovesOnlyTheLastLineFeed) {
    WriteDataFile(kCatalogueFile, "MSCD 1 2 0 0 0 0 1 1\none\ntwo\n");
    EXPECT_EQ(Format(1, {}, {}, true), "one\ntwo");
    EXPECT_EQ(Format(1, {}, {}, false), "one\ntwo\n");
}

TEST_F(MessageCatalogueTest, PercentAndTimePlaceholders) {
    setenv("TZ", "UTC0", 1);
    tzset();
    WriteDataFile(kCatalogueFile,
                  "MSCD 1 1 0 0 0 0 1 1\n100%% at %T; %T; %T\nMSCD 2 1 0 0 0 0 1 1\n%t");
    EXPECT_EQ(Format(1, {"86400", "soon", "12x"}), "100% at Fri Jan  2 00:00:00 1970; soon; 12x\n");
    const std::string now = Format(2, {});
    EXPECT_TRUE(now.starts_with("Time: ")) << now;
    // The placeholder brings its own line end before the line's.
    EXPECT_EQ(now.size(), std::string("Time: ").size() + 24 + 2) << now;
    EXPECT_TRUE(now.ends_with("\n\n")) << now;
}

TEST_F(MessageCatalogueTest, NumericPlaceholders) {
    WriteDataFile(kCatalogueFile,
                  "MSCD 1 1 0 0 0 0 1 1\n[%6.2f] [%.1e] [%d] [%3G] [%4d] [%.2f] [%d] [%G]\n");
    EXPECT_EQ(Format(1, {}, {3.14159f, 12345.678f, -7.9f, 0.0001f, 42.0f}),
              "[  3.14] [1.2e+04] [-7] [0.0001] [  42] [%.2f] [] [%G]\n");
}

TEST_F(MessageCatalogueTest, UnknownPlaceholdersAreCopiedWithTheirFollowers) {
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\n5%.x %q%sz %5k%s %\n");
    // "%." without a digit copies three characters, anything else four, so
    // the "%s" after "%q" and "%5k" is not filled.
    EXPECT_EQ(Format(1, {"A", "B"}), "5%.x %q%sz %5k%s %\n");
}

TEST_F(MessageCatalogueTest, UnitPlaceholdersUseTheMessageUnitsSystem) {
    WriteDataFile("units97.dat", tarnvel::testing::ShippedDataFile("units97.dat"));
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\n%U %U %.4v %.4v\n");
    EXPECT_EQ(Format(1, {"deg.F", "furlong", "deg.F", "furlong"}, {212.0f, 3.5f}),
              "deg.C furlong 100 3.5\n");
    tarnvel::testing::RemoveDataFile("units97.dat");
}

TEST_F(MessageCatalogueTest, RowsRepeatPerGroupOfValuesBetweenBodyAndTrailer) {
    WriteDataFile(kCatalogueFile, "MSCD 9 1 1 1 1 2 1 1\nHead %d\n|%5.1f %5.1f\n|End %s\n");
    EXPECT_EQ(Format(9, {"x"}, {7, 1.5f, 2.5f, 3.5f, 4.5f}),
              "Head 7\n  1.5   2.5\n  3.5   4.5\nEnd x\n");
    // One value short of a second row: one row.
    EXPECT_EQ(Format(9, {"y"}, {7, 1.5f, 2.5f, 3.5f}), "Head 7\n  1.5   2.5\nEnd y\n");
    EXPECT_EQ(Format(9, {"z"}, {7}), "Head 7\nEnd z\n");
}

TEST_F(MessageCatalogueTest, RowsDueWithoutRowSectionIsAnError) {
    WriteDataFile(kCatalogueFile, "MSCD 7 1 0 0 0 1 1 1\nbody %d\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Format(7, {}, {1.0f, 2.0f}), "<null>");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR: Error in MSCD \n7\n");
    // Without values no rows are due.
    EXPECT_EQ(Format(7, {}), "body \n");
}

TEST_F(MessageCatalogueTest, UnitsSectionAttachesUnitsToValues) {
    WriteDataFile(
        kCatalogueFile,
        "MSCD 11 1 0 0 2 0 1 1\n%d and %d [%9u] [%5u]\n|mm, 0, 1\ndeg.C, 0, 2\nmm, 0, 3\n");
    EXPECT_EQ(Format(11, {}, {12.7f, 3, 12.7f, 3}), "12 mm and 3 deg.C [  (mm)   ] [     ]\n");
}

TEST_F(MessageCatalogueTest, UnitsSectionNamingAMissingValueIsReported) {
    WriteDataFile(kCatalogueFile, "MSCD 11 1 0 0 0 0 1 1\n%d %d\n|mm, 0, 1\nC, 0, 5\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Format(11, {}, {1, 2}), "1 mm 2\n");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "WARNING: Error in the following message: \nmm, 0, 1\nC, 0, 5\n\n");
}

TEST_F(MessageCatalogueTest, CatalogueIsLoadedOnce) {
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\nfirst version\n");
    EXPECT_EQ(Format(1, {}), "first version\n");
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\nsecond version\n");
    EXPECT_EQ(Format(1, {}), "first version\n");
    EXPECT_EQ(msgLoadCatalogue(tarnvel::testing::DataFilePath(kCatalogueFile).c_str()), 1);
    EXPECT_EQ(Format(1, {}), "first version\n");
}

TEST_F(MessageCatalogueTest, MalformedRecordsAreReportedWithThePathAndTheRestServes) {
    WriteDataFile(kCatalogueFile,
                  "MSCD 1 1 0 0 0\nbroken\nMSCD 2 1 0 0 0 0 1 1\nfine\nMSCD 3 4 0 0 0 0 1 1\nx\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Format(2, {}), "fine\n");
    EXPECT_EQ(tarnvel::testing::ReportedText(::testing::internal::GetCapturedStderr()),
              "Message file \"" + tarnvel::testing::DataFilePath(kCatalogueFile) +
                  "\": records left out: line 1: message header lacks its body or row value "
                  "count line 5: message 3 has fewer lines than its header counts");
    EXPECT_EQ(Format(1, {}), "<null>");
    EXPECT_EQ(Format(3, {}), "<null>");
}

TEST_F(MessageCatalogueTest, MissingFileShowsNothingForTheRestOfTheRun) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    msgPrint(1, 0, nullptr, 0, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(msgFindCatalogue(kCatalogueFile), 0);
    WriteDataFile(kCatalogueFile, "MSCD 1 1 0 0 0 0 1 1\nlate\n");
    EXPECT_EQ(Format(1, {}), "<null>");
}

TEST_F(MessageCatalogueTest, ShippedCatalogueHoldsTheVersionBanner) {
    WriteDataFile(kCatalogueFile, tarnvel::testing::ShippedDataFile(kCatalogueFile));
    for (int number = 0; number <= 8; ++number) {
        EXPECT_NE(Format(number, {"s1", "s2", "s3", "s4"}), "<null>") << number;
        EXPECT_EQ(msgGetFlags(number) & 1, 1) << number;
    }
    const std::string release = Format(4, {"4.0", "123", "2024-05-01", "12:00:00"});
    for (const char* part : {"4.0", "123", "2024-05-01", "12:00:00"}) {
        EXPECT_NE(release.find(part), std::string::npos) << release;
    }
    EXPECT_NE(Format(2, {"2009  2010  "}).find("2009  2010"), std::string::npos);
    EXPECT_NE(Format(8, {"Linux"}).find("Linux"), std::string::npos);
}

// Runs in a fresh process so that no product variable has been read yet.
TEST(MessageCatalogueDeathTest, UnsetDataDirectoryIsReported) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string variable = tarnvel::testing::LookupName("PRODUCT_DAT");
    EXPECT_EXIT(
        {
            unsetenv(variable.c_str());
            unsetenv(tarnvel::testing::LookupName("PRODUCT_HOME").c_str());
            setenv("XDG_CONFIG_HOME", "/nonexistent", 1);
            // Nor is there a product tree beside the module; naming the
            // variables above chose a product already, so choose again.
            char module[] = "/tmp/tarnvel-moduleXXXXXX";
            close(mkstemp(module));
            setenv("VTSYS_TERNWAY_MODULE", module, 1);
            envResetForTesting();
            const int found = msgFindCatalogue(kCatalogueFile);
            unlink(module);
            std::fflush(stdout);
            std::_Exit(found == 0 && msgFormat(1, 0, nullptr, 0, nullptr, false) == nullptr ? 0
                                                                                            : 1);
        },
        ::testing::ExitedWithCode(0),
        "Cannot open message file: Environment variable \"" + variable + "\" is unset");
}

}  // namespace
