// Writing grades and reading them back: every item format, chains of one
// and several records, rewrites that shrink and grow, merging with the old
// grade, and the exact shape of a new database.
#include <gtest/gtest.h>

#include "matdb/matdb.h"
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
