// The tessel ASCII material file reader, checked through what it stored in
// a scratch Local database.
#include "matdb/md_ascii.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "matdb/md_catalogue.h"
#include "rax_test_support.h"

namespace {

using tarnvel::testing::Item;

class AsciiReader : public tarnvel::testing::DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
        capture_.Take();
    }

    // Reads the text as a file; the console output and error stream are kept.
    MdAsciiResult Read(const std::string& text) {
        tarnvel::testing::WriteBytes(Path("in.asc"), text);
        testing::internal::CaptureStderr();
        const MdAsciiResult result = md_read_ascii_file(Path("in.asc").c_str());
        errors_ = testing::internal::GetCapturedStderr();
        output_ = capture_.Take();
        return result;
    }
    std::unique_ptr<MdGrade> Stored(const char* supplier, const char* code) {
        return md_read_by_name(MD_LOCAL, supplier, code);
    }
    bool Said(const std::string& text) const { return output_.find(text) != std::string::npos; }

    std::string output_;
    std::string errors_;
};

TEST_F(AsciiReader, EmptyFileAndOrderOfNames) {
    EXPECT_EQ(Read("").stored, 0);
    EXPECT_TRUE(Said("0 grade(s) read from \"" + Path("in.asc") + "\""));
    const MdAsciiResult early = Read("\n\nGRADE PP1\n");
    EXPECT_TRUE(early.aborted);
    EXPECT_TRUE(Said("Error at line 3: Supplier Name must precede Grade Name\nRead aborted\n"));
    Read("SUPPLIER ACME\nHEADER too early\nGENERIC_LINK GEN PP\nGRADE G1\n");
    EXPECT_TRUE(Said("Warning at line 2: HEADER before any GRADE\n\tInput discarded\n"));
    EXPECT_TRUE(Said("Warning at line 3: GENERIC_LINK before any GRADE\n"));
    EXPECT_NE(Stored("ACME", "G1"), nullptr);
    EXPECT_TRUE(Read("SUPPLIER ACME\nMELT_DENSITY 5\n").aborted);
    EXPECT_TRUE(Said("Error at line 2: Grade Name must precede data\n"));
}

TEST_F(AsciiReader, NamesHeadersAndLinks) {
    const MdAsciiResult result = Read(
        "Supplier LongSupplierName\nGrade abcdefgh\nHEADER\n  ABCDEF first text\n"
        "header ABCDEF123 second\nGeneric_Link gen pp-h\nGRADE 66A\nHEADER " +
        std::string(90, 'x') + "\n");
    EXPECT_EQ(result.stored, 2);
    const auto first = Stored("LONGSUPP", "ABCDEF");
    ASSERT_NE(first, nullptr);
    // The code is removed only when a blank or the end follows it.
    EXPECT_EQ(first->description, "ABCDEF123 SECOND");
    EXPECT_TRUE(Said("Warning: Header repeated - overwriting earlier header.\n"));
    const MdProperty* link = Item(*first, tarnvel::matdb::kMdGenericLink);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->text, "GEN PP-H");
    const auto second = Stored("LONGSUPP", "66A");
    ASSERT_NE(second, nullptr);
    // The database keeps 73 characters of a description beside the code.
    EXPECT_EQ(second->description, std::string(73, 'X'));
    EXPECT_TRUE(Said("Warning: Header truncated at 80 characters\n"));
}

TEST_F(AsciiReader, ANumericGradeCodeEndsTheInput) {
    EXPECT_EQ(Read("SUPPLIER A\nGRADE G1\nGRADE 123\nGRADE G2\n").stored, 1);
    EXPECT_EQ(errors_, "Warning: GRADE should be followed by a string. Input discarded.\n");
    EXPECT_EQ(Stored("A", "G2"), nullptr);
}

TEST_F(AsciiReader, SinglePointsAndUnits) {
    Read(
        "SUPPLIER A\nGRADE G1\nCONDUCTIVITY 0.25\nMELT_DENSITY 1000 MPA\n"
        "SPECIFIC_HEAT: 0.5, 0.6\nSOLID_DENSITY 62.4 LB/CU.FT\n");
    const auto grade = Stored("A", "G1");
    ASSERT_NE(grade, nullptr);
    const MdProperty* conductivity = Item(*grade, 1);
    ASSERT_NE(conductivity, nullptr);
    EXPECT_EQ(conductivity->format, MD_SINGLE_POINT);
    EXPECT_FLOAT_EQ(conductivity->values[0].real(), 0.25f);
    EXPECT_TRUE(
        Said("Warning: Melt Density should not be expressed in terms of MPa\n"
             "Warning: Using kg/cu.m\n"));
    EXPECT_FLOAT_EQ(Item(*grade, 3)->values[0].real(), 1000.0f);
    const MdProperty* heat = Item(*grade, 2);
    EXPECT_EQ(heat->format, MD_COEFFICIENTS);
    EXPECT_EQ(heat->values.size(), 2u);
    EXPECT_NEAR(Item(*grade, 66)->values[0].real(), 62.4 * 16.01846, 0.01);
}

TEST_F(AsciiReader, CoefficientListsOfViscosityAndShrinkage) {
    Read(
        "SUPPLIER A\nGRADE G1\nVISCOSITY 3 1.5e2 2 3\nSHRINKAGE 2 5 0.5\n"
        "CONDUCTIVITY 0.1 0.2 PA\n");
    const auto grade = Stored("A", "G1");
    ASSERT_NE(grade, nullptr);
    const MdProperty* viscosity = Item(*grade, tarnvel::matdb::kMdViscosity);
    ASSERT_NE(viscosity, nullptr);
    EXPECT_EQ(viscosity->model, 3);
    ASSERT_EQ(viscosity->values.size(), 3u);
    EXPECT_FLOAT_EQ(viscosity->values[0].real(), 150.0f);
    const MdProperty* shrinkage = Item(*grade, tarnvel::matdb::kMdShrinkage);
    ASSERT_NE(shrinkage, nullptr);
    EXPECT_EQ(shrinkage->values[0].integer(), 2);
    EXPECT_EQ(shrinkage->values[1].integer(), 5);
    EXPECT_FLOAT_EQ(shrinkage->values[2].real(), 0.5f);
    EXPECT_EQ(Item(*grade, 1)->values.size(), 2u);
}

TEST_F(AsciiReader, IntegerWordsOutOfRangeHoldTheUnsetMarker) {
    Read("SUPPLIER A\nGRADE G1\nVISCOSITY 3e30 1 2\nSHRINKAGE -1e20 2.9 0.5\n");
    const auto grade = Stored("A", "G1");
    ASSERT_NE(grade, nullptr);
    EXPECT_EQ(Item(*grade, tarnvel::matdb::kMdViscosity)->model, -16384);
    const MdProperty* shrinkage = Item(*grade, tarnvel::matdb::kMdShrinkage);
    ASSERT_NE(shrinkage, nullptr);
    EXPECT_EQ(shrinkage->values[0].integer(), -16384);
    EXPECT_EQ(shrinkage->values[1].integer(), 2);
}

TEST_F(AsciiReader, StandardPointTables) {
    Read(
        "SUPPLIER A\nGRADE G1\n"
        "VISCOSITY TEMPERATURE SHEAR_RATE VISCOSITY DEG.F 1/S POISE\n"
        "212 10 1000\n212 100 500\n"
        "CONDUCTIVITY TEMPERATURE DEG.C\n1 2 3 4\n"
        "CONDUCTIVITY TEMPERATURE\n1 2 3 4 5 6 7\n"
        "SPECIFIC_HEAT TEMPERATURE PRESSURE\n1 2 3\n");
    EXPECT_TRUE(Said("If any column has a unit given then all must."));
    EXPECT_TRUE(Said("Odd number of data points"));
    const auto grade = Stored("A", "G1");
    ASSERT_NE(grade, nullptr);
    const MdProperty* viscosity = Item(*grade, 6, MD_STANDARD_POINTS);
    ASSERT_NE(viscosity, nullptr);
    EXPECT_EQ(viscosity->variables, (std::vector<int>{1, 6}));
    ASSERT_EQ(viscosity->values.size(), 6u);
    EXPECT_NEAR(viscosity->values[0].real(), 100.0, 1e-3);
    EXPECT_NEAR(viscosity->values[2].real(), 100.0, 1e-3);
    EXPECT_EQ(Item(*grade, 1, MD_STANDARD_POINTS), nullptr);
    const MdProperty* heat = Item(*grade, 2, MD_STANDARD_POINTS);
    ASSERT_NE(heat, nullptr);
    EXPECT_EQ(heat->values.size(), 3u);
    EXPECT_TRUE(Read("SUPPLIER A\nGRADE G2\nCONDUCTIVITY TEMPERATURE\nGRADE G3\n").aborted);
    EXPECT_TRUE(Said("No standard points read"));
}

TEST_F(AsciiReader, AnAbortInTheThirdGradeKeepsTheFirstTwo) {
    const MdAsciiResult result = Read(
        "SUPPLIER A\nGRADE G1\nCONDUCTIVITY 1\nGRADE G2\nCONDUCTIVITY 2\n"
        "GRADE G3\nCONDUCTIVITY TEMPERATURE\nSUPPLIER B\n");
    EXPECT_TRUE(result.aborted);
    EXPECT_EQ(result.stored, 2);
    EXPECT_NE(Stored("A", "G2"), nullptr);
    EXPECT_EQ(Stored("A", "G3"), nullptr);
}

TEST_F(AsciiReader, UnexpectedTokensAreSkipped) {
    Read("SUPPLIER A\nGRADE G1\nCONDUCTIVITY \"quoted\" stray\nstray MELT_DENSITY 900\n");
    // A quoted string runs to the end of its line.
    EXPECT_TRUE(Said("Warning at line 3: Did not expect quoted stray\n\tInput discarded\n"));
    EXPECT_TRUE(Said("Warning at line 4: Did not expect STRAY\n"));
    const auto grade = Stored("A", "G1");
    ASSERT_NE(grade, nullptr);
    EXPECT_NE(Item(*grade, 3), nullptr);
}

TEST_F(AsciiReader, EveryMergeOfTwoGradesIsNamedOnTheErrorStream) {
    const MdAsciiResult result = Read(
        "SUPPLIER ACME\nGRADE abcdef1\nCONDUCTIVITY 1\nGRADE ABCDEF2\nMELT_DENSITY 900\n"
        "GRADE G1\nGRADE G1\nGRADE ABCDEG\n"
        "SUPPLIER LONGSUPPLIER1\nGRADE X\nSUPPLIER LONGSUPPLIER2\nGRADE X\n");
    // The merges are kept: both items end up in the one grade.
    EXPECT_EQ(result.stored, 7);
    EXPECT_EQ(result.merged, 3);
    const auto merged = Stored("ACME", "ABCDEF");
    ASSERT_NE(merged, nullptr);
    EXPECT_NE(Item(*merged, 1), nullptr);  // CONDUCTIVITY, given for the first
    EXPECT_NE(Item(*merged, 3), nullptr);  // MELT_DENSITY, given for the second
    EXPECT_EQ(errors_,
              "Warning at line 4: grade ACME ABCDEF2 is merged into grade ACME ABCDEF1 of line 2 "
              "(supplier names are cut to 8 characters and grade codes to 6).\n"
              "Warning at line 7: grade ACME G1 is merged into grade ACME G1 of line 6 "
              "(the same grade is given twice).\n"
              "Warning at line 12: grade LONGSUPPLIER2 X is merged into grade LONGSUPPLIER1 X of "
              "line 10 (supplier names are cut to 8 characters and grade codes to 6).\n");
    // A grade lost to an abort merges nothing.
    Read("SUPPLIER A\nGRADE G1\nGRADE G1\nCONDUCTIVITY TEMPERATURE\n");
    EXPECT_EQ(errors_, "");
}

TEST_F(AsciiReader, AnEmptyHeaderTakingAKeywordLineIsWarned) {
    const MdAsciiResult result = Read(
        "SUPPLIER SUPA\nGRADE A1\nHEADER\nSupplier SUPB\nGRADE B1\nHEADER:\n\n"
        "melt_density 900\nGRADE C1\nHEADER\nPlain text\nGRADE D1\nHEADER Grade text\n");
    EXPECT_EQ(result.stored, 4);
    // The design's rule holds: the line is the description, and the next
    // grade stays under the current supplier.
    const auto a1 = Stored("SUPA", "A1");
    ASSERT_NE(a1, nullptr);
    EXPECT_EQ(a1->description, "SUPPLIER SUPB");
    EXPECT_NE(Stored("SUPA", "B1"), nullptr);
    EXPECT_EQ(errors_,
              "Warning at line 4: the empty HEADER of line 3 takes this line, which begins with "
              "the keyword SUPPLIER, as the grade's description.\n"
              "Warning at line 8: the empty HEADER of line 6 takes this line, which begins with "
              "the keyword MELT_DENSITY, as the grade's description.\n");
}

}  // namespace
