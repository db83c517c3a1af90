// Damaged databases: bad headers make a database unusable, damaged chains
// and lists end with a message instead of looping or reading past the
// file, and a write that cannot allocate its records leaves the old grade
// as it was.
#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;

class Damage : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        BuildPersonal(root_, {Grade("ACME", "PP01", "First", {Single(3, 900), Text(77, "Name")}),
                              Grade("ACME", "PP02", "Second", {Single(3, 901)}),
                              Grade("DOW", "PE01", "Third", {Single(3, 902)})});
        capture_.Take();
    }
    // Overwrites one word of a file at a byte offset.
    void Poke(const std::string& name, std::size_t offset, std::int32_t value) {
        std::string bytes = ReadBytes(Path(name));
        ASSERT_LE(offset + 4, bytes.size());
        std::memcpy(bytes.data() + offset, &value, 4);
        WriteBytes(Path(name), bytes);
    }
    std::int32_t Peek(const std::string& name, std::size_t offset) {
        const std::string bytes = ReadBytes(Path(name));
        std::int32_t value = 0;
        std::memcpy(&value, bytes.data() + offset, 4);
        return value;
    }
    std::string OpenFailure() {
        EXPECT_EQ(md_open(MD_LOCAL, MD_READ), 0);
        return capture_.Take();
    }
};

TEST_F(Damage, BadHeadersMakeTheDatabaseUnusable) {
    Poke("mtdp.rax", 20, 134);
    EXPECT_NE(OpenFailure().find("Could not open Local database for reading: wrong magic number in "
                                 "mtdp.rax\n"),
              std::string::npos);
    Poke("mtdp.rax", 20, 133);
    Poke("mtgp.rax", 24, 100);
    EXPECT_NE(OpenFailure().find("record length 100 of mtgp.rax is not 108"), std::string::npos);
    Poke("mtgp.rax", 24, 0);
    // A zero record length stands for the default.
    EXPECT_EQ(md_open(MD_LOCAL, MD_READ), MD_OPENED_READ);
    md_close(MD_LOCAL);
    WriteBytes(Path("mtdp.rax"), "short");
    EXPECT_NE(OpenFailure().find("is truncated"), std::string::npos);
    std::filesystem::remove(Path("mtdp.rax"));
    EXPECT_NE(OpenFailure().find("No such file or directory (mtdp.rax)"), std::string::npos);
}

TEST_F(Damage, DataChainsThatLoopOrLeaveTheFileEndTheRead) {
    const std::size_t primary = 108 + 84;  // first grade record, primary chain word
    const std::int32_t first = Peek("mtgp.rax", primary);
    // The chain's record links to itself.
    Poke("mtdp.rax", static_cast<std::size_t>(first - 1) * 96 + 92, first);
    md_open(MD_LOCAL, MD_READ);
    capture_.Take();
    EXPECT_EQ(md_read_grade(md_find(MD_LOCAL, "ACME", "PP01")), nullptr);
    EXPECT_EQ(capture_.Take(), "Error reading data for grade.\n");
    md_close(MD_LOCAL);
    Poke("mtdp.rax", static_cast<std::size_t>(first - 1) * 96 + 92, 0);
    // A chain start far beyond the file, and a generic-link word beyond it.
    Poke("mtgp.rax", primary, 100000);
    Poke("mtgp.rax", 2 * 108 + 88, 3);
    Poke("mtgp.rax", 2 * 108 + 92, 4000);
    md_open(MD_LOCAL, MD_READ);
    capture_.Take();
    EXPECT_EQ(md_read_grade(md_find(MD_LOCAL, "ACME", "PP01")), nullptr);
    EXPECT_EQ(md_read_grade(md_find(MD_LOCAL, "ACME", "PP02")), nullptr);
    EXPECT_EQ(capture_.Take(), "Error reading data for grade.\nError reading data for grade.\n");
    // The third grade is untouched.
    EXPECT_NE(md_read_grade(md_find(MD_LOCAL, "DOW", "PE01")), nullptr);
}

TEST_F(Damage, SupplierAndGradeListsThatLoopEndTheWalk) {
    // DOW (record 3) links back to ACME (record 2); the grade list of ACME
    // ends in a link to itself.
    Poke("mtfp.rax", 2 * 42 + 10, 2);
    Poke("mtgp.rax", 2 * 108 + 80, 3);
    md_open(MD_LOCAL, MD_WRITE);
    capture_.Take();
    int suppliers = 0;
    for (MdPosition p = md_first_supplier(md_position(MD_LOCAL)); p.valid != 0 && suppliers < 100;
         p = md_next_supplier(p))
        ++suppliers;
    EXPECT_LE(suppliers, 3);
    EXPECT_NE(capture_.Take().find("Error: the supplier list of the Local database is damaged"),
              std::string::npos);
    EXPECT_EQ(md_find(MD_LOCAL, "NONE", "X").valid, 0);
    EXPECT_EQ(md_find(MD_LOCAL, "ACME", "NONE").valid, 0);
    EXPECT_NE(capture_.Take().find("grade list of the Local database is damaged"),
              std::string::npos);
    // Writing into a damaged list is abandoned rather than linked.
    const MdGrade grade = Grade("ACME", "PP09", "", {Single(3, 1)});
    md_write_grade(MD_LOCAL, &grade);
    EXPECT_NE(capture_.Take().find("Error writing grade - abandoned.\n"), std::string::npos);
}

TEST_F(Damage, AllocationFailureLeavesTheOldGrade) {
    const std::string before = ReadBytes(Path("mtgp.rax"));
    Poke("mtdp.rax", 0, 1);  // next free record 1: the header itself
    md_open(MD_LOCAL, MD_WRITE);
    capture_.Take();
    // A grown grade needs new data records, which cannot be had.
    MdGrade grade = Grade("ACME", "PP01", "Rewritten", {});
    for (int p = 43; p <= 50; ++p) grade.items.push_back(Single(p, static_cast<float>(p)));
    md_write_grade(MD_LOCAL, &grade);
    const std::string text = capture_.Take();
    EXPECT_NE(text.find("md_rax: File expansion error,0,0,0,8\n: damaged header"),
              std::string::npos);
    EXPECT_NE(text.find("Error writing grade - abandoned.\n"), std::string::npos);
    md_close(MD_LOCAL);
    // The grade file is as it was but for the save generation word.
    std::string after = ReadBytes(Path("mtgp.rax"));
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after.replace(12, 4, before, 12, 4), before);
    EXPECT_EQ(Peek("mtdp.rax", 0), 1);
    md_open(MD_LOCAL, MD_READ);
    auto old = md_read_grade(md_find(MD_LOCAL, "ACME", "PP01"));
    ASSERT_NE(old, nullptr);
    EXPECT_EQ(old->description, "FIRST");
    EXPECT_EQ(Item(*old, 77)->text, "Name");
}

TEST_F(Damage, NegativeCountsAreDamage) {
    Poke("mtfp.rax", 8, -5);
    md_open(MD_LOCAL, MD_WRITE);
    // The supplier list is empty to a walk; a new supplier cannot be
    // allocated.
    EXPECT_EQ(md_first_supplier(md_position(MD_LOCAL)).valid, 0);
    capture_.Take();
    const MdGrade grade = Grade("NEW", "G1", "", {});
    md_write_grade(MD_LOCAL, &grade);
    EXPECT_NE(capture_.Take().find("Error writing grade - abandoned.\n"), std::string::npos);
}

}  // namespace

namespace {

TEST_F(Damage, ANextFreeWordInsideTheFileIsNotHandedOut) {
    const std::string data_before = ReadBytes(Path("mtdp.rax"));
    Poke("mtdp.rax", 0, 3);
    md_open(MD_LOCAL, MD_WRITE);
    capture_.Take();
    MdGrade grade = Grade("NEW", "G1", "", {Single(3, 1)});
    md_write_grade(MD_LOCAL, &grade);
    EXPECT_NE(capture_.Take().find("next free record inside the file"), std::string::npos);
    md_close(MD_LOCAL);
    // The data records of the other grades are untouched.
    EXPECT_EQ(ReadBytes(Path("mtdp.rax")).substr(96), data_before.substr(96));
    md_open(MD_LOCAL, MD_READ);
    EXPECT_NE(md_read_grade(md_find(MD_LOCAL, "ACME", "PP01")), nullptr);
}

}  // namespace
