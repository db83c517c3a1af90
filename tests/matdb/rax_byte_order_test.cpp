// Databases written in either byte order, built byte by byte from the file
// layout: both read identically, texts unswapped, and the registry of
// foreign-endian files stays exact.
#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "matdb/rax_file.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;
using tarnvel::matdb::SwappedFileCount;

constexpr bool kNativeBig = std::endian::native == std::endian::big;

// One supplier with one grade: a primary chain holding Conductivity as
// standard points over Temperature and Pressure and Melt Density as a
// single point, and an extended chain holding a Trade Name text.
void WriteHandMadeDatabase(const std::string& directory, bool big_endian, int data_length = 96) {
    RawFile suppliers(42, big_endian);
    suppliers.Header(3, 1, 133, 42);
    suppliers.Text(2, 0, "ACME      ");
    suppliers.Word(2, 10, 0);
    suppliers.Word(2, 14, 2);
    suppliers.Word(2, 22, 1);
    suppliers.Word(2, 26, 1);
    suppliers.Save(directory + "/mtfp.rax");

    RawFile grades(108, big_endian);
    grades.Header(3, 1, 133, 108);
    std::string text = "PP01   POLYPROPYLENE";
    text.resize(80, ' ');
    grades.Text(2, 0, text);
    grades.Word(2, 84, 2);
    grades.Word(2, 100, 3);
    grades.Save(directory + "/mtgp.rax");

    RawFile data(96, big_endian);
    data.Header(4, 2, 133, data_length);
    const std::int32_t index[] = {4, 0b101, 0b1001, 0, 2};
    for (int i = 0; i < 5; ++i) data.Word(2, 4 * i, index[i]);
    const float values[] = {200, 1e5f, 0.2f, 220, 2e5f, 0.21f, 910};
    for (int i = 0; i < 7; ++i) data.Real(2, 20 + 4 * i, values[i]);
    const std::int32_t entry[] = {77, 7, -13, 0, 0, 0, 2};
    for (int i = 0; i < 7; ++i) data.Word(3, 4 * i, entry[i]);
    data.Text(3, 28, "Trade");
    data.Save(directory + "/mtdp.rax");
}

using ByteOrder = DatabaseTest;

TEST_F(ByteOrder, BothOrdersReadTheSameGrade) {
    std::unique_ptr<MdGrade> read[2];
    for (bool big : {false, true}) {
        md_close_all();
        WriteHandMadeDatabase(root_, big);
        ASSERT_EQ(md_open(MD_LOCAL, MD_READ), MD_OPENED_READ);
        EXPECT_EQ(SwappedFileCount(), big != kNativeBig ? 3 : 0);
        read[big] = md_read_grade(md_find(MD_LOCAL, "ACME", "PP01"));
        ASSERT_NE(read[big], nullptr);
    }
    md_close_all();
    EXPECT_EQ(SwappedFileCount(), 0);
    const MdGrade& grade = *read[0];
    EXPECT_EQ(grade.description, "POLYPROPYLENE");
    ASSERT_EQ(grade.items.size(), 3u);
    EXPECT_EQ(*Item(grade, 1), Points(1, {1, 4}, {200, 1e5f, 0.2f, 220, 2e5f, 0.21f}));
    EXPECT_EQ(*Item(grade, 3), Single(3, 910));
    EXPECT_EQ(Item(grade, 77)->text, "Trade");
    EXPECT_EQ(read[0]->items, read[1]->items);
}

TEST_F(ByteOrder, ForeignFilesAreWrittenInTheirOwnOrder) {
    const bool foreign = !kNativeBig;
    WriteHandMadeDatabase(root_, foreign);
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    const MdGrade grade = Grade("ACME", "PP02", "Second", {Text(78, "Maker"), Single(2, 1800)});
    md_write_grade(MD_LOCAL, &grade);
    md_close(MD_LOCAL);
    // The header's next-free word of the data file reads in the foreign
    // order, and the text is stored as plain bytes.
    const std::string data = ReadBytes(Path("mtdp.rax"));
    EXPECT_EQ(static_cast<unsigned char>(data[foreign ? 3 : 0]), 6);
    EXPECT_NE(data.find("Maker"), std::string::npos);
    // The save raised the generation word of all three files from 0 to 1,
    // in their order, and the set opens again.
    for (const char* name : {"mtfp.rax", "mtgp.rax", "mtdp.rax"}) {
        EXPECT_EQ(static_cast<unsigned char>(ReadBytes(Path(name))[foreign ? 15 : 12]), 1) << name;
    }
    md_open(MD_LOCAL, MD_READ);
    auto back = md_read_grade(md_find(MD_LOCAL, "ACME", "PP02"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Item(*back, 78)->text, "Maker");
    EXPECT_EQ(Item(*back, 2)->values[0].real(), 1800.0f);
    EXPECT_NE(md_read_grade(md_find(MD_LOCAL, "ACME", "PP01")), nullptr);
}

TEST_F(ByteOrder, AFailedOpenLeavesNoFileRegistered) {
    WriteHandMadeDatabase(root_, !kNativeBig, 50);
    EXPECT_EQ(md_open(MD_LOCAL, MD_READ), 0);
    EXPECT_EQ(SwappedFileCount(), 0);
    EXPECT_NE(capture_.Take().find("Could not open Local database for reading: record length 50"),
              std::string::npos);
}

}  // namespace
