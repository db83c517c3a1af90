#include "matdb/md_index.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string Pad(const std::string& text, std::size_t width) {
    std::string padded = text.substr(0, width);
    padded.resize(width, ' ');
    return padded;
}

// One expected index line from its seven fields.
std::string IndexLine(const std::vector<std::string>& fields) {
    const std::size_t widths[] = {8, 6, 10, 50, 50, 50, 80};
    std::string line = "|";
    for (std::size_t i = 0; i < 7; ++i)
        line += Pad(i < fields.size() ? fields[i] : "", widths[i]) + "|";
    return line;
}

class IndexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "md_index_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
    }
    void TearDown() override { fs::remove_all(directory_); }

    // Runs the index build over the text; the index lines land in lines_.
    int Build(const std::string& text) {
        const fs::path source = directory_ / "grades.asc";
        std::ofstream(source, std::ios::binary) << text;
        return BuildFrom(source.string());
    }
    int BuildFrom(const std::string& path) {
        std::FILE* index = std::tmpfile();
        const int result = MD4RAX(path.c_str(), index, false);
        lines_ = Lines(Contents(index));
        std::fclose(index);
        return result;
    }
    static std::string Contents(std::FILE* file) {
        std::rewind(file);
        std::string text;
        for (int c; (c = std::fgetc(file)) != EOF;) text += static_cast<char>(c);
        return text;
    }

    fs::path directory_;
    std::vector<std::string> lines_;
};

TEST_F(IndexTest, TheHeaderHasNineFixedLines) {
    std::FILE* index = std::tmpfile();
    ASSERT_TRUE(md_write_index_header(index));
    const std::vector<std::string> lines = Lines(Contents(index));
    std::fclose(index);
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMdIndexHeaderLines));
    EXPECT_EQ(lines[0], "|1.0.0   |");
    EXPECT_EQ(lines[1], "|       7|");
    EXPECT_EQ(lines[2], "|Vantorel Supplier             |       8|");
    EXPECT_EQ(lines[4], "|Material Family               |       7|");
    EXPECT_EQ(lines[8], "|Melt Flow Rate                |      80|");
}

TEST_F(IndexTest, EveryGradeAfterItsSupplierLineGetsOnePaddedLine) {
    const int result = Build(
        "Supplier ALDERPOL\r\nGrade AP120\r\nManufacturer \"Alderbrook Polymers\"\r\n"
        "Trade_Name: \"Alderpol  AP120\"\r\nMaterial_Family \"PP\"\r\n"
        "Fillers \"Talc(20%)\"\r\nMelt_Flow_Rate \"18 g/10 min\"\r\nConductivity 0.2\r\n"
        "Supplier KESTRELRESINS\nGrade KR450LONG\nManufacturer \"Kestrel Resins\"\n"
        "Trade_Name \"Kestrane\"\n");
    EXPECT_EQ(result, 0);
    // Words are joined by single blanks; the optional fields of the first
    // grade do not carry over; supplier and grade are cut to their widths.
    EXPECT_EQ(lines_, (std::vector<std::string>{
                          IndexLine({"ALDERPOL", "AP120", "PP", "Alderbrook Polymers",
                                     "Alderpol AP120", "Talc(20%)", "18 g/10 min"}),
                          IndexLine({"KESTRELR", "KR450L", "", "Kestrel Resins", "Kestrane"}),
                      }));
}

TEST_F(IndexTest, AnyByteInAFieldKeepsTheLineLayout) {
    ASSERT_EQ(Build(std::string("Supplier A\0B\nGrade G1\nManufacturer M\nTrade_Name T\n", 50)), 0);
    ASSERT_EQ(lines_.size(), 1u);
    EXPECT_EQ(lines_[0], IndexLine({std::string("A\0B", 3), "G1", "", "M", "T"}));
}

TEST_F(IndexTest, AGradeWithoutManufacturerFailsTheIndex) {
    EXPECT_EQ(Build("Supplier A\nGrade G1\nTrade_Name T\n"), -3);
    EXPECT_TRUE(lines_.empty());
    // The check is made per grade: the first grade's line stays written.
    EXPECT_EQ(Build("Supplier A\nGrade G1\nManufacturer M\nTrade_Name T\n"
                    "Supplier A\nGrade G2\nTrade_Name T\nSupplier A\nGrade G3\n"),
              -3);
    EXPECT_EQ(lines_.size(), 1u);
}

TEST_F(IndexTest, AGradeNeedsASupplierLineOfItsOwn) {
    const std::string fields = "Manufacturer M\nTrade_Name T\n";
    EXPECT_EQ(
        Build("Supplier A\nGrade G1\n" + fields + "Grade G2\n" + fields + "Grade G3\n" + fields),
        -9);
    // G1 is written when G2 is read; G2 gets no line.
    EXPECT_EQ(lines_, (std::vector<std::string>{IndexLine({"A", "G1", "", "M", "T"})}));
}

TEST_F(IndexTest, TooLongFieldsStopTheIndex) {
    const std::string ok =
        "Supplier A\nGrade G1\nManufacturer " + std::string(49, 'm') + "\nTrade_Name T\n";
    EXPECT_EQ(Build(ok), 0);
    EXPECT_EQ(Build("Supplier A\nGrade G1\nManufacturer " + std::string(50, 'm') +
                    "\nTrade_Name T\nSupplier B\nGrade G2\nManufacturer M\nTrade_Name T\n"),
              -5);
    EXPECT_TRUE(lines_.empty());
    EXPECT_EQ(Build("Supplier A\nGrade G1\nManufacturer M\nTrade_Name T\nMelt_Flow_Rate " +
                    std::string(80, 'r') + "\n"),
              -8);
    EXPECT_EQ(Build("Supplier A\nGrade G1\nManufacturer M\nTrade_Name T\n"
                    "Material_Family ELEVENCHARS\n"),
              -10);
    EXPECT_TRUE(lines_.empty());
}

TEST_F(IndexTest, AMissingFileHasNoIndex) {
    EXPECT_EQ(BuildFrom((directory_ / "none.asc").string()), -1);
    EXPECT_EQ(MD4RAX(nullptr, nullptr, false), -1);
}

TEST_F(IndexTest, TheShippedDatabaseAndTheExampleListAgree) {
    ASSERT_EQ(BuildFrom(std::string(TARNVEL_SOURCE_DIR) + "/product/data/dat/standard.asc"), 0);
    EXPECT_EQ(lines_.size(), 48u);
    const std::vector<std::string> all = lines_;
    std::ifstream list(std::string(TARNVEL_SOURCE_DIR) + "/examples/standard_grades.lst");
    std::ostringstream text;
    text << list.rdbuf();
    const std::vector<std::string> example = Lines(text.str());
    ASSERT_GT(example.size(), static_cast<std::size_t>(kMdIndexHeaderLines));
    for (std::size_t i = kMdIndexHeaderLines; i < example.size(); ++i) {
        EXPECT_NE(std::find(all.begin(), all.end(), example[i]), all.end()) << example[i];
    }
}

}  // namespace
