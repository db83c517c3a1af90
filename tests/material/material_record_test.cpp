#include "material/material_record.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnvel::material {
namespace {

TEST(MaterialRecordTest, StartsWithUnknownTextsExceptFillersAndZeroNumbers) {
    const MaterialRecord record;
    for (RecordText MaterialRecord::*field : kRecordTextFields) {
        const bool is_fillers = field == &MaterialRecord::fillers;
        EXPECT_EQ(TextOf(record.*field), is_fillers ? "" : "UNKNOWN");
    }
    EXPECT_EQ(record.databaseType, 0);
    EXPECT_EQ(record.meltTemperatureAbsoluteMax, 0.0);
    EXPECT_FALSE(record.crystalline);
    EXPECT_EQ(record.thermosetIndex[127], 0);
    EXPECT_EQ(record.thermosetData[127], 0.0);
}

TEST(MaterialRecordTest, TextsAreCutAt255Characters) {
    RecordText field = MakeText(std::string(300, 'a'));
    EXPECT_EQ(TextOf(field).size(), kMaxTextLength);
    SetText(field, std::string(250, 'b'));
    AppendText(field, "0123456789");
    EXPECT_EQ(TextOf(field), std::string(250, 'b') + "01234");
    AppendText(field, "more");
    EXPECT_EQ(field[kMaxTextLength], '\0');
    // A field that lost its terminator still reads as 255 characters.
    field.fill('x');
    EXPECT_EQ(TextOf(field).size(), kMaxTextLength);
    AppendText(field, "y");
    EXPECT_EQ(field[kMaxTextLength], '\0');
}

TEST(MaterialRecordTest, FinalRulesTrimBlanksAndReplaceUnknownNames) {
    MaterialRecord record;
    SetText(record.supplier, "  Acme Polymers  ");
    SetText(record.grade, " \tG1 ");
    SetText(record.manufacturer, "was UNKNOWN ");
    SetText(record.notes, "     ");
    ApplyFinalRules(record);
    EXPECT_EQ(TextOf(record.supplier), "Acme Polymers");
    // Only blanks are trimmed, not tabs.
    EXPECT_EQ(TextOf(record.grade), "\tG1");
    EXPECT_EQ(TextOf(record.manufacturer), "Acme Polymers");
    EXPECT_EQ(TextOf(record.tradeName), "\tG1");
    EXPECT_EQ(TextOf(record.notes), "");

    // The comparison is case-sensitive, and names already known are kept.
    SetText(record.manufacturer, "unknown");
    SetText(record.tradeName, "Lumina");
    ApplyFinalRules(record);
    EXPECT_EQ(TextOf(record.manufacturer), "unknown");
    EXPECT_EQ(TextOf(record.tradeName), "Lumina");
}

}  // namespace
}  // namespace tarnvel::material
