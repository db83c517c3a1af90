#include "services/uniconv.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "productdata_support.h"
#include "services/sypmem.h"

namespace {

using tarnvel::services::kUnitsMaxToken;
using tarnvel::services::UnitsEntry;
using tarnvel::services::UnitsReadStatus;
using tarnvel::services::UnitsTable;
using tarnvel::testing::LookupName;

constexpr char kUnitsFile[] = "units97.dat";

UnitsReadStatus ReadUnits(const std::string& text, UnitsTable& table) {
    std::FILE* file = std::tmpfile();
    std::fwrite(text.data(), 1, text.size(), file);
    std::rewind(file);
    const UnitsReadStatus status = tarnvel::services::unitsReadFile(file, table);
    std::fclose(file);
    return status;
}

// The display name of a unit, or "<none>".
std::string Shown(const UnitsTable& table, const char* system, const std::string& key) {
    const UnitsEntry* unit = table.find(system, key);
    return unit != nullptr ? unit->display_name : "<none>";
}

// ---- The token reader and the grammar -------------------------------------

TEST(UnitsFileTest, ReadsSystemsAndUnitsWithFactorAndOffset) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { METRIC\n  UNIT { deg.C deg.F 0.5 -16 }\n"
                        "  UNIT { mm m 1000 0 }\n}\n"
                        "USYS { ENGLISH UNIT { deg.F deg.C 1.8 32 } }\n",
                        table),
              UnitsReadStatus::kOk);
    EXPECT_EQ(table.systemCount(), 2u);
    const UnitsEntry* fahrenheit = table.find("ENGLISH", "deg.C");
    ASSERT_NE(fahrenheit, nullptr);
    EXPECT_EQ(fahrenheit->display_name, "deg.F");
    EXPECT_DOUBLE_EQ(fahrenheit->factor, 1.8);
    EXPECT_DOUBLE_EQ(fahrenheit->offset, 32.0);
    EXPECT_EQ(Shown(table, "METRIC", "deg.F"), "deg.C");
    EXPECT_EQ(Shown(table, "METRIC", "m"), "mm");
    // Units belong to their own system only.
    EXPECT_EQ(table.find("ENGLISH", "m"), nullptr);
}

TEST(UnitsFileTest, NamesAndKeysMatchWithoutRegardToCase) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { Metric UNIT { mm Inch 25.4 0 } }", table), UnitsReadStatus::kOk);
    EXPECT_TRUE(table.hasSystem("METRIC"));
    EXPECT_TRUE(table.hasSystem("metric"));
    EXPECT_EQ(Shown(table, "mETRIC", "INCH"), "mm");
    EXPECT_EQ(Shown(table, "METRIC", "inches"), "<none>");
}

TEST(UnitsFileTest, KeepsManyKeysInOrderedLookup) {
    std::string text = "USYS { S\n";
    for (int i = 0; i < 300; ++i) {
        text += "UNIT { d" + std::to_string(i) + " Key" + std::to_string((i * 7919) % 300) + " " +
                std::to_string(i) + " 0 }\n";
    }
    text += "}\n";
    UnitsTable table;
    ASSERT_EQ(ReadUnits(text, table), UnitsReadStatus::kOk);
    for (int i = 0; i < 300; ++i) {
        const UnitsEntry* unit = table.find("s", "KEY" + std::to_string((i * 7919) % 300));
        ASSERT_NE(unit, nullptr) << i;
        EXPECT_EQ(unit->factor, i);
    }
}

TEST(UnitsFileTest, RepeatedSystemInOtherCaseIsSkippedEntirely) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { METRIC UNIT { mm m 1000 0 } }\n"
                        "USYS { metric UNIT { cm m 100 0 } UNIT { km km 1 0 } }\n"
                        "USYS { ENGLISH UNIT { inch m 39.37 0 } }\n",
                        table),
              UnitsReadStatus::kOk);
    EXPECT_EQ(table.systemCount(), 2u);
    EXPECT_EQ(Shown(table, "METRIC", "m"), "mm");
    EXPECT_EQ(Shown(table, "METRIC", "km"), "<none>");
    // The skipped block's units were not taken for any system.
    EXPECT_EQ(Shown(table, "ENGLISH", "km"), "<none>");
    EXPECT_EQ(Shown(table, "ENGLISH", "m"), "inch");
}

TEST(UnitsFileTest, FirstDefinitionOfAKeyWinsAndLaterUnitsStillCount) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { METRIC UNIT { mm m 1000 0 } UNIT { cm M 100 0 }"
                        " UNIT { g kg 1000 0 } }",
                        table),
              UnitsReadStatus::kOk);
    ASSERT_NE(table.find("METRIC", "m"), nullptr);
    EXPECT_EQ(table.find("METRIC", "m")->factor, 1000);
    EXPECT_EQ(Shown(table, "METRIC", "kg"), "g");
}

TEST(UnitsFileTest, IgnoresUnknownTokensAndComments) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("VERSION 2 UNIT stray } {\n"
                        "// USYS { HIDDEN UNIT { a b 1 0 } }\n"
                        "USYS { METRIC  COLOUR blue // UNIT { x y 1 0 }\n"
                        "  UNIT { mm m 1000 0 } NOTE }\n",
                        table),
              UnitsReadStatus::kOk);
    EXPECT_FALSE(table.hasSystem("HIDDEN"));
    EXPECT_EQ(table.systemCount(), 1u);
    EXPECT_EQ(Shown(table, "METRIC", "y"), "<none>");
    EXPECT_EQ(Shown(table, "METRIC", "m"), "mm");
}

TEST(UnitsFileTest, SplitsTokensAtBlanksLineEndsAndBraces) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS{METRIC\r\nUNIT{mm m 1000 0}UNIT{\"sq mm\" \"m 2\" 1e6 0}}\n"
                        "USYS { TABS UNIT { a\tb c\td 2 0 } }",
                        table),
              UnitsReadStatus::kOk);
    EXPECT_EQ(Shown(table, "METRIC", "m"), "mm");
    EXPECT_EQ(Shown(table, "METRIC", "m 2"), "sq mm");
    // Tabs belong to tokens.
    EXPECT_EQ(Shown(table, "TABS", "c\td"), "a\tb");
}

TEST(UnitsFileTest, QuotedTokensHoldBlanksAndBraces) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { METRIC UNIT { \"g per 10 min\" \"a{b} c\" 1 0 }"
                        " UNIT { \"\" none 1 0 } }",
                        table),
              UnitsReadStatus::kOk);
    EXPECT_EQ(Shown(table, "METRIC", "a{b} c"), "g per 10 min");
    EXPECT_EQ(Shown(table, "METRIC", "none"), "");
    // A quote ends a token that runs into it.
    UnitsTable joined;
    ASSERT_EQ(ReadUnits("USYS { S UNIT { name\"key one\" 2 0 } }", joined), UnitsReadStatus::kOk);
    ASSERT_NE(joined.find("S", "key one"), nullptr);
    EXPECT_EQ(joined.find("S", "key one")->display_name, "name");
    EXPECT_EQ(joined.find("S", "key one")->factor, 2);
}

TEST(UnitsFileTest, DropsALoneSlashAtTokenStart) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { /METRIC UNIT { 1/s /1/sec 1 0 } / }", table), UnitsReadStatus::kOk);
    EXPECT_TRUE(table.hasSystem("METRIC"));
    EXPECT_EQ(Shown(table, "METRIC", "1/sec"), "1/s");
}

TEST(UnitsFileTest, CutsOverlongTokens) {
    const std::string long_key(300, 'k');
    const std::string long_name(200, 'n');
    UnitsTable table;
    ASSERT_EQ(
        ReadUnits("USYS { METRIC UNIT { \"" + long_name + "\" " + long_key + " 2 0 } }", table),
        UnitsReadStatus::kOk);
    const UnitsEntry* unit = table.find("METRIC", long_key.substr(0, kUnitsMaxToken));
    ASSERT_NE(unit, nullptr);
    EXPECT_EQ(unit->display_name, long_name.substr(0, kUnitsMaxToken));
    EXPECT_EQ(table.find("METRIC", long_key), nullptr);
    // The cut-off rest did not become tokens of its own: the factor is right.
    EXPECT_EQ(unit->factor, 2);
}

TEST(UnitsFileTest, ReadsNumbersAsDecimalText) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { S UNIT { a k1 +2.5 -1e3 } UNIT { a k2 abc 4x } }", table),
              UnitsReadStatus::kOk);
    ASSERT_NE(table.find("S", "k1"), nullptr);
    EXPECT_EQ(table.find("S", "k1")->factor, 2.5);
    EXPECT_EQ(table.find("S", "k1")->offset, -1000);
    ASSERT_NE(table.find("S", "k2"), nullptr);
    EXPECT_EQ(table.find("S", "k2")->factor, 0);
    EXPECT_EQ(table.find("S", "k2")->offset, 4);
}

TEST(UnitsFileTest, KeywordWithoutBraceFailsTheReadWithItsLine) {
    const std::pair<const char*, const char*> cases[] = {
        {"USYS METRIC { }", "line 1: \"USYS\" is not followed by \"{\""},
        {"// units\nUSYS { METRIC\n\n  UNIT mm m 1000 0 }",
         "line 4: \"UNIT\" is not followed by \"{\""},
        {"USYS", "line 1: \"USYS\" is not followed by \"{\""},
    };
    for (const auto& [text, described] : cases) {
        UnitsTable table;
        std::FILE* file = std::tmpfile();
        std::fputs(text, file);
        std::rewind(file);
        std::string fault;
        EXPECT_EQ(tarnvel::services::unitsReadFile(file, table, &fault),
                  UnitsReadStatus::kMissingBrace)
            << text;
        EXPECT_EQ(fault, described);
        std::fclose(file);
    }
}

TEST(UnitsFileTest, UnitCutOffByTheEndIsNotAdded) {
    UnitsTable table;
    ASSERT_EQ(ReadUnits("USYS { METRIC UNIT { mm m 1000 0 } UNIT { cm km 1", table),
              UnitsReadStatus::kOk);
    EXPECT_EQ(Shown(table, "METRIC", "m"), "mm");
    EXPECT_EQ(table.find("METRIC", "km"), nullptr);
}

// ---- The process-wide table ----------------------------------------------

class UnitsTableTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tarnvel::testing::ProductDataDir();
        tarnvel::testing::RemoveDataDirAtExit();
        tarnvel::services::UnitsResetForTesting();
    }
    void TearDown() override {
        tarnvel::testing::RemoveDataFile(kUnitsFile);
        tarnvel::services::UnitsResetForTesting();
    }
};

TEST_F(UnitsTableTest, ConvertsAndNamesUnitsOfTheDataFile) {
    tarnvel::testing::WriteDataFile(kUnitsFile, "USYS { METRIC UNIT { mm m 1000 0 } }\n");
    int code = -1;
    EXPECT_DOUBLE_EQ(unitsConvert("METRIC", "m", 2.5, &code), 2500.0);
    EXPECT_EQ(code, kUnitsOk);
    char* name = unitsDisplayName("metric", "M", &code);
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "mm");
    EXPECT_EQ(code, kUnitsOk);
    sypFree(name);
}

TEST_F(UnitsTableTest, UnknownSystemOrUnitKeepsTheValue) {
    tarnvel::testing::WriteDataFile(kUnitsFile, "USYS { METRIC UNIT { mm m 1000 0 } }\n");
    int code = -1;
    EXPECT_EQ(unitsConvert("METRIC", "furlong", 3.0, &code), 3.0);
    EXPECT_EQ(code, kUnitsFailed);
    EXPECT_EQ(unitsConvert("IMPERIAL", "m", 3.0, &code), 3.0);
    EXPECT_EQ(code, kUnitsFailed);
    EXPECT_EQ(unitsDisplayName("METRIC", "furlong", &code), nullptr);
    EXPECT_EQ(code, kUnitsFailed);
    EXPECT_EQ(unitsConvert(nullptr, "m", 3.0, &code), 3.0);
    EXPECT_EQ(code, kUnitsFailed);
}

TEST_F(UnitsTableTest, MissingFileIsReportedAtEveryAttemptAndLoadsOnceItAppears) {
    const std::string expected_out = "Cannot find units data file: environment variable \"" +
                                     LookupName("PRODUCT_HOME") + "\" unset\n";
    const std::string expected_err = "Cannot find units data file: environment variables \"" +
                                     LookupName("PRODUCT_HOME") + "\" or \"" +
                                     LookupName("PRODUCT_DAT") + "\" unset";
    for (int attempt = 0; attempt < 2; ++attempt) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        int code = -1;
        EXPECT_EQ(unitsConvert("METRIC", "m", 7.0, &code), 7.0);
        EXPECT_EQ(code, kUnitsFailed);
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), expected_out);
        EXPECT_EQ(tarnvel::testing::ReportedText(::testing::internal::GetCapturedStderr()),
                  expected_err);
    }
    tarnvel::testing::WriteDataFile(kUnitsFile, "USYS { METRIC UNIT { mm m 1000 0 } }\n");
    EXPECT_EQ(unitsLoad(), kUnitsOk);
    EXPECT_EQ(unitsConvert("METRIC", "m", 7.0, nullptr), 7000.0);
}

TEST_F(UnitsTableTest, BrokenFileFailsTheLoadWithItsMessageAndIsRetried) {
    tarnvel::testing::WriteDataFile(kUnitsFile, "USYS METRIC UNIT { mm m 1000 0 }\n");
    ::testing::internal::CaptureStdout();
    int code = -1;
    EXPECT_EQ(unitsConvert("METRIC", "m", 1.0, &code), 1.0);
    EXPECT_EQ(code, kUnitsFailed);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "ERROR: Loading units table failed.  Check and see if the\n"
              "       correct units data file is used, or something else\n"
              "       is wrong.\n");
    // The condition report names the file and the fault.
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(unitsLoad(), kUnitsFailed);
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(tarnvel::testing::ReportedText(::testing::internal::GetCapturedStderr()),
              "Cannot read units data file \"" + tarnvel::testing::DataFilePath(kUnitsFile) +
                  "\": line 1: \"USYS\" is not followed by \"{\"");
    tarnvel::testing::WriteDataFile(kUnitsFile, "USYS { METRIC UNIT { mm m 1000 0 } }\n");
    EXPECT_EQ(unitsConvert("METRIC", "m", 1.0, &code), 1000.0);
    EXPECT_EQ(code, kUnitsOk);
}

TEST_F(UnitsTableTest, LoadedTableStaysUntilTheProcessEnds) {
    tarnvel::testing::WriteDataFile(kUnitsFile, "USYS { METRIC UNIT { mm m 1000 0 } }\n");
    ASSERT_EQ(unitsLoad(), kUnitsOk);
    tarnvel::testing::RemoveDataFile(kUnitsFile);
    EXPECT_EQ(unitsLoad(), kUnitsOk);
    EXPECT_EQ(unitsConvert("METRIC", "m", 1.0, nullptr), 1000.0);
}

TEST_F(UnitsTableTest, ShippedFileConvertsBetweenItsSystems) {
    tarnvel::testing::WriteDataFile(kUnitsFile, tarnvel::testing::ShippedDataFile(kUnitsFile));
    int code = -1;
    EXPECT_NEAR(unitsConvert("ENGLISH", "deg.C", 100.0, &code), 212.0, 1e-9);
    EXPECT_EQ(code, kUnitsOk);
    EXPECT_NEAR(unitsConvert("METRIC", "deg.F", 212.0, &code), 100.0, 1e-9);
    EXPECT_NEAR(unitsConvert("SI", "MPa", 2.0, &code), 2e6, 1e-3);
    EXPECT_NEAR(unitsConvert("METRIC", "psi", 1000.0, &code), 6.89476, 1e-9);
    EXPECT_NEAR(unitsConvert("METRIC", "poise", 1.0, &code), 0.1, 1e-12);
    EXPECT_NEAR(unitsConvert("ENGLISH", "mm", 25.4, &code), 1.0, 1e-9);
    EXPECT_NEAR(unitsConvert("METRIC", "g/10 min", 3.0, &code), 3.0, 1e-12);
    EXPECT_NEAR(unitsConvert("SI", "g/10 min", 600.0, &code), 0.001, 1e-12);
    // Every system shows every unit that any system names.
    for (const char* system : {"METRIC", "ENGLISH", "SI"}) {
        for (const char* key : {"inch", "deg.F", "kPa", "BTU/lb/degF", "rpm", "oz", "%"}) {
            char* name = unitsDisplayName(system, key, &code);
            EXPECT_NE(name, nullptr) << system << " " << key;
            sypFree(name);
        }
    }
}

}  // namespace
