// A code entry is made as one block holding its values and text; values and
// texts assigned afterwards replace those parts. Each step must keep the
// entry readable and freeing it must release exactly what it owns (the
// sanitizer build catches a free of a part inside the block).
#include <gtest/gtest.h>

#include <string>

#include "udm/udm.h"

namespace {

TEST(UdmTcodBlock, PartsMadeWithTheEntryCanBeReplacedFromThemselves) {
    const double values[] = {1.0, 2.0, 3.0, 4.0};
    UdmTcod* tcod = nullptr;
    ASSERT_EQ(udm_tcod_new(7, "glass fibre", 4, values, nullptr, &tcod), UDM_OK);
    EXPECT_STREQ(udm_tcod_text(tcod), "glass fibre");
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 3), 4.0);

    // A text taken from the entry's own text, then a longer one.
    ASSERT_EQ(udm_tcod_set_description(tcod, udm_tcod_text(tcod) + 6), UDM_OK);
    EXPECT_STREQ(udm_tcod_text(tcod), "fibre");
    const std::string longer(300, 'x');
    ASSERT_EQ(udm_tcod_set_description(tcod, longer.c_str()), UDM_OK);
    EXPECT_EQ(udm_tcod_text(tcod), longer);

    // Same count from its own values (shifted), then fewer, then more.
    const double shifted[] = {9.0, 1.0, 2.0, 3.0};
    ASSERT_EQ(udm_tcod_set_values(tcod, 4, shifted), UDM_OK);
    ASSERT_EQ(udm_tcod_set_values(tcod, 3, udm_tcod_values(tcod) + 1), UDM_OK);
    EXPECT_EQ(udm_tcod_count(tcod), 3);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 0), 1.0);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 2), 3.0);
    const double more[] = {5.0, 6.0, 7.0, 8.0, 9.0, 10.0};
    ASSERT_EQ(udm_tcod_set_values(tcod, 6, more), UDM_OK);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 5), 10.0);
    udm_tcod_free(tcod);
}

TEST(UdmTcodBlock, ClearedPartsAndEmptyEntriesFreeCleanly) {
    const double values[] = {0.5, 1.5};
    UdmTcod* tcod = nullptr;
    ASSERT_EQ(udm_tcod_new(8, "", 2, values, nullptr, &tcod), UDM_OK);
    EXPECT_STREQ(udm_tcod_text(tcod), "");
    udm_tcod_clear_values(tcod);
    EXPECT_EQ(udm_tcod_values(tcod), nullptr);
    ASSERT_EQ(udm_tcod_set_description(tcod, nullptr), UDM_OK);
    EXPECT_EQ(udm_tcod_text(tcod), nullptr);
    ASSERT_EQ(udm_tcod_set_values(tcod, 2, values), UDM_OK);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 1), 1.5);
    udm_tcod_free(tcod);

    UdmTcod* empty = nullptr;
    ASSERT_EQ(udm_tcod_new(9, nullptr, 3, nullptr, nullptr, &empty), UDM_OK);
    EXPECT_EQ(udm_tcod_count(empty), 0);
    EXPECT_EQ(udm_tcod_values(empty), nullptr);
    EXPECT_EQ(udm_tcod_text(empty), nullptr);
    udm_tcod_free(empty);
}

}  // namespace
