// The CSV link table reader: how a line splits into key and value, which
// lines are skipped, the line length limit and the later-key-wins rule.
#include "convert/csv_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "convert_test_support.h"

namespace {

using tarnvel::convert::CsvTable;
using tarnvel::convert::CsvValueRule;
using tarnvel::convert::kCsvMaxLineLength;
using tarnvel::convert::SplitPieces;

// Reads the text through a memory stream, as a file would be read.
CsvTable Read(const std::string& text, CsvValueRule rule = CsvValueRule::kRestOfField) {
    CsvTable table(rule);
    std::FILE* stream = fmemopen(const_cast<char*>(text.data()), text.size(), "r");
    if (stream == nullptr) return table;
    table.Read(stream);
    std::fclose(stream);
    return table;
}

std::string Entries(const CsvTable& table) {
    std::string text;
    for (const auto& [key, value] : table.entries()) text += "[" + key + "=" + value + "]";
    return text;
}

TEST(CsvTableSplit, KeyAndValue) {
    EXPECT_EQ(Entries(Read("PP,Polypropylene\n")), "[PP=Polypropylene]");
    // Commas and blanks stay in the value.
    EXPECT_EQ(Entries(Read("PA66,Polyamide 6,6\n")), "[PA66=Polyamide 6,6]");
    EXPECT_EQ(Entries(Read("PC/ABS, PC/ABS Blend \n")), "[PC/ABS= PC/ABS Blend ]");
}

TEST(CsvTableSplit, QuotesAndBracesAreSeparators) {
    // The key's closing quote ends it; the comma that follows starts the
    // value, which the next quote ends.
    EXPECT_EQ(Entries(Read("\"PP\",\"Polypropylene\"\n")), "[PP=,]");
    EXPECT_EQ(Entries(Read("{PP}Polypropylene\n")), "[PP=Polypropylene]");
    EXPECT_EQ(Entries(Read(",,\t\"PP\"\tPoly\"propylene\n")), "[PP=Poly]");
    EXPECT_EQ(Entries(Read("PP\t{Poly, propylene}\n")), "[PP=Poly, propylene]");
}

TEST(CsvTableSplit, LineEndsAreNotPartOfTheValue) {
    EXPECT_EQ(Entries(Read("PP,101\r\nABS,102")), "[ABS=102][PP=101]");
}

TEST(CsvTableSplit, KeyWithoutValueKeepsAnEmptyValue) {
    const CsvTable table = Read("PP\nABS,\nPC,\"\"\n");
    EXPECT_EQ(Entries(table), "[ABS=][PC=][PP=]");
    EXPECT_TRUE(table.Contains("PP"));
    EXPECT_EQ(table.Find("PP"), "");
}

TEST(CsvTableLines, EmptyAndSeparatorOnlyLinesAreSkipped) {
    EXPECT_EQ(Entries(Read("\n\r\n,,,\n\"\"{}\t\nPP,1\n\n")), "[PP=1]");
}

TEST(CsvTableLines, HeaderIsAnOrdinaryEntry) {
    EXPECT_EQ(Entries(Read("FAMILY,NAME\nPP,Polypropylene\n")), "[FAMILY=NAME][PP=Polypropylene]");
}

TEST(CsvTableLines, LaterKeyReplacesEarlier) {
    const CsvTable table = Read("PP,101\nABS,102\nPP,201\n");
    EXPECT_EQ(table.Find("PP"), "201");
    EXPECT_EQ(table.size(), 2u);
}

TEST(CsvTableLines, KeysAreCaseSensitiveAndOrdered) {
    const CsvTable table = Read("pp,lower\nPP,upper\nABS,a\n");
    EXPECT_EQ(Entries(table), "[ABS=a][PP=upper][pp=lower]");
    EXPECT_EQ(table.Find("Pp"), "");
}

TEST(CsvTableLines, TextEndsAtNulByte) {
    const std::string text("PP,Poly\0propylene\nABS,Acrylic\n", 30);
    EXPECT_EQ(Entries(Read(text)), "[ABS=Acrylic][PP=Poly]");
}

TEST(CsvTableLines, LongestLineIsTaken) {
    const std::string value(kCsvMaxLineLength - 3, 'v');
    const CsvTable table = Read("PP," + value + "\nABS,102\n");
    EXPECT_EQ(table.Find("PP"), value);
    EXPECT_EQ(table.Find("ABS"), "102");
    // The same at the end of the file without a line feed.
    EXPECT_EQ(Read("PP," + value).Find("PP"), value);
    // A carriage return before the line feed is part of the line end.
    EXPECT_EQ(Entries(Read("PP," + value + "\r\nABS,102\r\n")), "[ABS=102][PP=" + value + "]");
    EXPECT_EQ(Entries(Read("PP," + value + "\r")), "");
}

TEST(CsvTableLines, LongerLineEndsTheFile) {
    const std::string value(kCsvMaxLineLength - 2, 'v');
    const CsvTable table = Read("PC,103\nPP," + value + "\nABS,102\n");
    EXPECT_EQ(Entries(table), "[PC=103]");
}

TEST(CsvTableSecondField, CommaEndsTheValue) {
    const CsvValueRule rule = CsvValueRule::kSecondField;
    EXPECT_EQ(Entries(Read("PA66,Polyamide 6,6\n", rule)), "[PA66=Polyamide 6]");
    EXPECT_EQ(Entries(Read("\"PP\",\"230\"\n", rule)), "[PP=230]");
    // A line of one field is skipped.
    EXPECT_EQ(Entries(Read("PP\nABS,\nPC,300\n", rule)), "[PC=300]");
}

TEST(CsvTableFile, LoadsFromPathAndMissingFileLeavesTableEmpty) {
    convert_test::ScratchDir dir;
    convert_test::WriteText(dir.File("t.csv"), "PP,101\n");
    CsvTable table;
    EXPECT_TRUE(table.Load(dir.File("t.csv")));
    EXPECT_EQ(table.Find("PP"), "101");
    CsvTable missing;
    EXPECT_FALSE(missing.Load(dir.File("absent.csv")));
    EXPECT_EQ(missing.size(), 0u);
}

TEST(SplitPieces, DropsEmptyPieces) {
    const auto pieces = SplitPieces("Glass Fibre&Talc(40%)", "()%");
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0], "Glass Fibre&Talc");
    EXPECT_EQ(pieces[1], "40");
    EXPECT_TRUE(SplitPieces("&&&", "&").empty());
    EXPECT_TRUE(SplitPieces("", ",").empty());
}

}  // namespace
