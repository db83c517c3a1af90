// Writing grades and reading them back: every item format, chains of one
// and several records, rewrites that shrink and grow, merging with the old
// grade, and the exact shape of a new database.
#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "matdb/md_slots.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;

class RoundTrip : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    }
    std::unique_ptr<MdGrade> Reread(const char* supplier, const char* code) {
        return md_read_grade(md_find(MD_LOCAL, supplier, code));
    }
};

TEST_F(RoundTrip, NewDatabaseIsThreeHeaderRecords) {
    md_close(MD_LOCAL);
    const std::string files[] = {"mtfp.rax", "mtgp.rax", "mtdp.rax"};
    const std::size_t sizes[] = {42, 108, 96};
    for (int i = 0; i < 3; ++i) {
        const std::string bytes = ReadBytes(Path(files[i]));
        ASSERT_EQ(bytes.size(), sizes[i]) << files[i];
        std::int32_t next_free = 0;
        std::int32_t magic = 0;
        std::int32_t length = 0;
        std::memcpy(&next_free, bytes.data(), 4);
        std::memcpy(&magic, bytes.data() + 20, 4);
        std::memcpy(&length, bytes.data() + 24, 4);
        EXPECT_EQ(next_free, 2);
        EXPECT_EQ(magic, 133);
        EXPECT_EQ(length, static_cast<std::int32_t>(sizes[i]));
    }
    EXPECT_NE(capture_.Take().find("Initialized Local database.\n"), std::string::npos);
}

TEST_F(RoundTrip, EveryFormatReadsBackEqual) {
    MdGrade grade =
        Grade("ACME", "PP01", "Polypropylene homopolymer",
              {Single(3, 910.5f), Points(1, {1, 4}, {200, 1e5f, 0.2f, 220, 2e5f, 0.21f}),
               Points(6, {6, 1}, {100, 200, 500, 1000, 200, 300}),
               Coefficients(83, 0, {1.5f, 2.5f, 3.5f}), Text(77, "Trade name X"),
               Text(104, "Notes, quoted", MD_TEXT_QUOTED), Text(17, "GENERIC PP")});
    grade.items[3].model = 4;
    MdProperty shrinkage;
    shrinkage.property = 59;
    shrinkage.format = MD_COEFFICIENTS;
    shrinkage.values = {MdWord::Integer(2), MdWord::Integer(7), MdWord::Real(0.5f)};
    grade.items.push_back(shrinkage);
    md_write_grade(MD_LOCAL, &grade);
    auto back = Reread("acme", "pp01");
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->supplier, "ACME");
    EXPECT_EQ(back->code, "PP01");
    EXPECT_EQ(back->description, "POLYPROPYLENE HOMOPOLYMER");
    ASSERT_EQ(back->items.size(), grade.items.size());
    for (const MdProperty& item : grade.items) {
        const MdProperty* read = Item(*back, item.property, item.format);
        ASSERT_NE(read, nullptr) << item.property;
        MdProperty expected = item;
        if (item.property == 6) {
            // Columns are stored in the order of the allowed list.
            expected.variables = {1, 6};
            expected.values = {MdWord::Real(200), MdWord::Real(100),  MdWord::Real(500),
                               MdWord::Real(200), MdWord::Real(1000), MdWord::Real(300)};
        }
        // A link is marked followed once its resolution was tried.
        if (item.property == 17) expected.link_followed = 1;
        EXPECT_EQ(*read, expected) << item.property;
    }
}

}  // namespace

namespace {

using namespace tarnvel::testing;

class Chains : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    }
    // The data file's records: those of the open slot's private copy, or
    // of the file once the slot is closed.
    long DataRecords() {
        if (const auto* file =
                tarnvel::matdb::SlotFile(MD_LOCAL, tarnvel::matdb::RaxFileKind::kData))
            return file->RecordCount();
        return static_cast<long>(ReadBytes(Path("mtdp.rax")).size() / 96);
    }
    // A grade whose extended payload is exactly words long: entries of one
    // coefficient list (7 + values words) and the terminating 0.
    static MdGrade WithExtendedWords(int words) {
        std::vector<float> values(static_cast<std::size_t>(words - 8), 1.5f);
        return Grade("S", "G", "", {Coefficients(84, 0, values)});
    }
};

TEST_F(Chains, ExactlyTwentyThreeWordsTakeTwoNewRecords) {
    const MdGrade grade = WithExtendedWords(23);
    md_write_grade(MD_LOCAL, &grade);
    md_fclos(1);
    // Header, the primary chain (one record) and the extended chain (two).
    EXPECT_EQ(DataRecords(), 4);
    const std::string data = ReadBytes(Path("mtdp.rax"));
    std::int32_t link = 0;
    std::memcpy(&link, data.data() + 2 * 96 + 92, 4);
    EXPECT_EQ(link, 4);
    EXPECT_EQ(data.substr(3 * 96), std::string(96, '\0'));
}

TEST_F(Chains, RewritesShrinkAndGrowInPlace) {
    md_write_grade(MD_LOCAL, std::make_unique<MdGrade>(WithExtendedWords(60)).get());
    const long grown = DataRecords();
    // Shrinking reuses the old records: the file does not grow.
    MdGrade small = WithExtendedWords(10);
    md_write_grade(MD_LOCAL, &small);
    EXPECT_EQ(DataRecords(), grown);
    auto back = md_read_grade(md_find(MD_LOCAL, "S", "G"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Item(*back, 84)->values.size(), 2u);
    // Growing past the old chain (now one record: the shrink ended it there)
    // allocates only what it lacks: 100 words need five records, four new.
    MdGrade large = WithExtendedWords(100);
    md_write_grade(MD_LOCAL, &large);
    back = md_read_grade(md_find(MD_LOCAL, "S", "G"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Item(*back, 84)->values, large.items[0].values);
    EXPECT_EQ(DataRecords(), grown + 4);
}

TEST_F(Chains, RewriteMergesWithTheOldGrade) {
    MdGrade first = Grade("ACME", "PP", "Old", {Single(3, 1), Single(2, 2), Text(77, "Old name")});
    md_write_grade(MD_LOCAL, &first);
    MdGrade second = Grade("acme", "pp", "", {Single(3, 10), Text(78, "Maker")});
    md_write_grade(MD_LOCAL, &second);
    auto back = md_read_grade(md_find(MD_LOCAL, "ACME", "PP"));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->description, "OLD");
    EXPECT_EQ(Item(*back, 3)->values[0].real(), 10.0f);
    EXPECT_EQ(Item(*back, 2)->values[0].real(), 2.0f);
    EXPECT_EQ(Item(*back, 77)->text, "Old name");
    EXPECT_EQ(Item(*back, 78)->text, "Maker");
    // Still one supplier holding one grade.
    auto details = md_read_supplier_details(md_first_supplier(md_position(MD_LOCAL)));
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->grade_count, 1);
    EXPECT_EQ(md_next_supplier(md_first_supplier(md_position(MD_LOCAL))).valid, 0);
}

TEST_F(Chains, ItemsThePrimaryChainCannotHoldGoToTheExtendedChain) {
    // A single point and standard points of one property; Melt Density
    // over Shear Rate, which is not among its allowed variables; Poisson
    // Ratio over Deg Crystalinity, listed twice.
    MdGrade grade = Grade("ACME", "X", "",
                          {Single(1, 0.25f), Points(1, {1}, {100, 0.2f}), Points(3, {6}, {10, 900}),
                           Points(9, {2}, {0.5f, 0.4f})});
    md_write_grade(MD_LOCAL, &grade);
    auto back = md_read_grade(md_find(MD_LOCAL, "ACME", "X"));
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(back->items.size(), 4u);
    EXPECT_EQ(*Item(*back, 1, MD_SINGLE_POINT), grade.items[0]);
    EXPECT_EQ(*Item(*back, 1, MD_STANDARD_POINTS), grade.items[1]);
    EXPECT_EQ(*Item(*back, 3), grade.items[2]);
    EXPECT_EQ(*Item(*back, 9), grade.items[3]);
}

TEST_F(Chains, SupplierNamesKeepTenCharacters) {
    for (const char* name : {"ABCDEFGH", "ABCDEFGHI", "ABCDEFGHIJ", "ABCDEFGHIJK"}) {
        const MdGrade grade = Grade(name, "G", "", {Single(3, 1)});
        md_write_grade(MD_LOCAL, &grade);
    }
    std::vector<std::string> names;
    for (MdPosition p = md_first_supplier(md_position(MD_LOCAL)); p.valid != 0;
         p = md_next_supplier(p))
        names.push_back(md_read_grade_header(md_first_grade(p))->supplier);
    // The eleven-character name is cut to ten and lands on the ten one.
    EXPECT_EQ(names, (std::vector<std::string>{"ABCDEFGH", "ABCDEFGHI", "ABCDEFGHIJ"}));
    EXPECT_EQ(md_read_supplier_details(md_find(MD_LOCAL, "abcdefghij", "g"))->grade_count, 1);
}

TEST_F(Chains, VersionSupplierHasNoData) {
    const MdGrade version = Grade("$3.1", "V", "Version", {Single(3, 1)});
    md_write_grade(MD_LOCAL, &version);
    auto grade = md_read_grade(md_find(MD_LOCAL, "$3.1", "V"));
    ASSERT_NE(grade, nullptr);
    EXPECT_TRUE(grade->items.empty());
    EXPECT_EQ(md_slot_version(MD_LOCAL), std::optional<std::string>("$3.1"));
}

TEST_F(Chains, WritingNeedsAWritableDatabaseAndNames) {
    md_write_grade(MD_LOCAL, nullptr);
    md_close(MD_LOCAL);
    capture_.Take();
    const MdGrade grade = Grade("A", "B", "", {});
    md_write_grade(MD_ALL_OPEN, &grade);
    EXPECT_EQ(capture_.Take(),
              "Database not open for writing.\nError writing grade - abandoned.\n");
}

}  // namespace

namespace {

using namespace tarnvel::testing;

TEST_F(RoundTrip, CreatingAgainReplacesTheDatabaseWhole) {
    const MdGrade grade = Grade("ACME", "G1", "", {Single(3, 1)});
    md_write_grade(MD_LOCAL, &grade);
    ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    EXPECT_EQ(md_find(MD_LOCAL, "ACME", "G1").valid, 0);
    md_close(MD_LOCAL);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(root_))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    // Three header-only files, no sibling left behind.
    EXPECT_EQ(names, (std::vector<std::string>{"mtdp.rax", "mtfp.rax", "mtgp.rax"}));
    EXPECT_EQ(ReadBytes(Path("mtgp.rax")).size(), 108u);
}

}  // namespace
