// The index file's header and grade lines.
#include "matdb/rax_index.h"

#include <gtest/gtest.h>

namespace {

using tarnvel::matdb::IndexHeaderLines;
using tarnvel::matdb::IndexLine;

TEST(RaxIndex, HeaderLines) {
    const std::vector<std::string> lines = IndexHeaderLines();
    ASSERT_EQ(lines.size(), 9u);
    EXPECT_EQ(lines[0], "|1.0.0   |");
    EXPECT_EQ(lines[1], "|       7|");
    EXPECT_EQ(lines[2], "|Vantorel Supplier             |       8|");
    EXPECT_EQ(lines[4], "|Material Family               |       7|");
    EXPECT_EQ(lines[8], "|Melt Flow Rate                |      80|");
}

TEST(RaxIndex, FieldsArePaddedAndCut) {
    const std::string line =
        IndexLine({"BASF", "ULTRAMIDX", "PA6", "Maker", "Trade", "", std::string(90, 'm')});
    EXPECT_EQ(line.substr(0, 28), "|BASF    |ULTRAM|PA6       |");
    EXPECT_EQ(line.size(), 1u + 8 + 6 + 10 + 50 + 50 + 50 + 80 + 7);
    EXPECT_EQ(line.back(), '|');
    EXPECT_EQ(line.substr(line.size() - 81), std::string(80, 'm') + "|");
}

}  // namespace
