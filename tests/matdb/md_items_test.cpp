// Ordering a grade's items by the catalogue, the duplicate rule, and
// merging one grade into another.
#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;

std::vector<int> Properties(const MdGrade& grade) {
    std::vector<int> numbers;
    for (const MdProperty& item : grade.items) numbers.push_back(item.property);
    return numbers;
}

TEST(MdItems, OrderedByGroupThenOrderThenFormat) {
    // 77 Trade Name is group 5, 19 group 1 order 1, 18 group 1 order 2,
    // 3 group 0; links go last and dropped items vanish.
    MdGrade grade = Grade("S", "G", "",
                          {Text(17, "B X"), Single(77, 0), Single(18, 0), Single(19, 0),
                           Text(17, "A X"), Single(3, 0)});
    grade.items.push_back(Points(3, {1}, {1, 2}));
    grade.items.push_back(Single(0, 0));
    md_sort_items(grade);
    EXPECT_EQ(Properties(grade), (std::vector<int>{3, 3, 19, 18, 77, 17, 17}));
    EXPECT_EQ(grade.items[0].format, MD_SINGLE_POINT);
    EXPECT_EQ(grade.items[5].text, "A X");
}

TEST(MdItems, DuplicatesKeepTheOwnItem) {
    MdProperty inherited = Single(3, 1);
    inherited.inherited = 1;
    MdGrade grade = Grade("S", "G", "", {inherited, Single(3, 2), Single(3, 3)});
    // Coefficient lists of different models are not duplicates.
    grade.items.push_back(Coefficients(83, 1, {1}));
    grade.items.push_back(Coefficients(83, 2, {1}));
    md_sort_items(grade);
    ASSERT_EQ(Properties(grade), (std::vector<int>{3, 83, 83}));
    EXPECT_EQ(grade.items[0].values[0].real(), 2.0f);
    EXPECT_EQ(grade.items[0].inherited, 0);
}

TEST(MdItems, MergeKeepsOwnDataAndFillsTheRest) {
    MdGrade own = Grade("S", "G", "", {Single(3, 1), Single(12, 1)});
    MdGrade other = Grade("T", "H", "Other",
                          {Single(3, 9), Single(2, 9), Coefficients(88, 0, {1}),
                           Coefficients(81, 0, {1}), Points(1, {1}, {1, 2}), Single(1, 5)});
    md_merge_grade(own, std::move(other));
    EXPECT_EQ(own.supplier, "S");
    EXPECT_EQ(own.description, "Other");
    // Own PVT Specific Volume keeps the other grade's PVT model out; both
    // forms of Conductivity come in (format orders before property number).
    EXPECT_EQ(Properties(own), (std::vector<int>{1, 2, 3, 12, 1, 81}));
    EXPECT_EQ(Item(own, 3)->values[0].real(), 1.0f);
}

TEST(MdItems, OwnPvtSpecificVolumeInAnyFormKeepsTheLinkedPvtModelsOut) {
    const auto linked = [] {
        return Grade("GENERIC", "PP", "",
                     {Coefficients(88, 0, {1}), Coefficients(89, 0, {2}), Coefficients(90, 0, {3}),
                      Text(106, "Tait"), Single(3, 900)});
    };
    for (const MdProperty& pvt :
         {Coefficients(12, 0, {2.5e6f, 600}), Points(12, {1, 4}, {200, 0, 1e-3f})}) {
        MdGrade own = Grade("S", "G", "", {pvt});
        md_merge_grade(own, linked());
        EXPECT_EQ(Properties(own), (std::vector<int>{3, 12})) << pvt.format;
    }
    // An inherited PVT Specific Volume is not the grade's own.
    MdProperty inherited = Coefficients(12, 0, {1});
    inherited.inherited = 1;
    MdGrade grade = Grade("S", "G", "", {inherited});
    md_merge_grade(grade, linked());
    EXPECT_NE(Item(grade, 89), nullptr);
    EXPECT_NE(Item(grade, 106), nullptr);
}

}  // namespace
