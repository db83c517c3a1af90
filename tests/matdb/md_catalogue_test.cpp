#include "matdb/md_catalogue.h"

#include <climits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tarnvel::matdb {
namespace {

bool IsPlaceholder(int number) {
    return number == 0 || (number >= 71 && number <= 73);
}

// --- The property table ---------------------------------------------------

TEST(PropertyTable, HoldsPlaceholdersExactlyWhereTheyBelong) {
    ASSERT_EQ(md_property_table().size(), 110u);
    for (int n = 0; n <= kMdLastProperty; ++n) {
        const MdPropertyInfo& row = *md_property(n);
        SCOPED_TRACE(n);
        EXPECT_EQ(row.name == "EMPTY", IsPlaceholder(n));
        if (IsPlaceholder(n)) {
            EXPECT_EQ(row.unit, 0);
            EXPECT_EQ(row.group, 0);
            EXPECT_EQ(row.order, 0);
        }
    }
    EXPECT_EQ(md_property(-1), nullptr);
    EXPECT_EQ(md_property(110), nullptr);
    EXPECT_EQ(md_property_name(110), "");
}

TEST(PropertyTable, EveryUnitAndGroupResolves) {
    for (int n = 1; n <= kMdLastProperty; ++n) {
        if (IsPlaceholder(n)) continue;
        const MdPropertyInfo& row = *md_property(n);
        SCOPED_TRACE(n);
        ASSERT_GE(row.unit, 1);
        ASSERT_LE(row.unit, kMdNamedUnitCount);
        // A stored unit is dimensionless or has a name in every system.
        for (int system = kMdSystemSI; system <= kMdSystemEnglish; ++system)
            EXPECT_EQ(md_unit_name(row.unit, system).empty(), row.unit == kMdNoUnit);
        EXPECT_FALSE(md_group_heading(row.group).empty());
    }
}

TEST(PropertyTable, SpotValues) {
    struct Row {
        int number;
        std::string_view name;
        int unit, group, order;
    };
    const Row rows[] = {
        {1, "Conductivity", 7, 0, 0},
        {7, "Gel Time", 2, 8, 0},
        {12, "PVT Specific Volume", 31, 0, 0},
        {17, "Generic Link", 36, 9, 0},
        {20, "Poisson Ratio 12 Filler", 36, 1, 0},
        {35, "Poisson Ratio 23 Poly", 36, 1, 140},
        {43, "Melt  Temperature Minimum", 3, 4, 0},
        {49, "Melt  Temperature Absolute Maximum", 3, 4, 0},
        {54, "Maximum Shear Rate", 19, 4, 0},
        {63, "Heat of Reaction", 39, 8, 0},
        {65, "Shrinkage Predictive Error", 36, 6, 2},
        {66, "Solid Density", 16, 2, 4},
        {70, "Thermal Expansion Perpendicular Polymer", 34, 1, 220},
        {79, "Vantorel 1st Order Viscosity Coefficients", 36, 0, 0},
        {90, "Compressibility Factor", 20, 0, 0},
        {95, "Activation Energy", 45, 0, 0},
        {108, "PVT Matrix Model", 31, 0, 0},
        {109, "Default Shrinkage Model", 36, 6, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.number);
        const MdPropertyInfo& info = *md_property(row.number);
        EXPECT_EQ(info.name, row.name);
        EXPECT_EQ(info.unit, row.unit);
        EXPECT_EQ(info.group, row.group);
        EXPECT_EQ(info.order, row.order);
    }
}

TEST(PropertyTable, NamesGiveDistinctKeywords) {
    std::set<std::string> keywords;
    for (int n = 1; n <= kMdLastProperty; ++n)
        if (!IsPlaceholder(n)) {
            EXPECT_TRUE(keywords.insert(md_keyword_of(md_property_name(n))).second) << n;
        }
    EXPECT_EQ(md_keyword_of("Melt  Temperature Minimum"), "MELT__TEMPERATURE_MINIMUM");
    EXPECT_EQ(md_keyword_of("Cross-WLF Viscosity Coefficients"),
              "CROSS-WLF_VISCOSITY_COEFFICIENTS");
}

TEST(PropertyTable, NonZeroOrdersAreUniqueWithinAGroup) {
    std::map<int, std::set<int>> seen;
    for (const MdPropertyInfo& row : md_property_table())
        if (row.order != 0) {
            EXPECT_TRUE(seen[row.group].insert(row.order).second) << row.name;
        }
    // The fibre and composite groups order every member.
    EXPECT_EQ(seen[1].size(), 24u);  // of 25: property 20 has order 0
    EXPECT_EQ(seen[2].size(), 4u);
}

TEST(PropertyTable, GroupsHoldTheirMembers) {
    std::map<int, std::vector<int>> members;
    for (int n = 1; n <= kMdLastProperty; ++n)
        if (!IsPlaceholder(n)) members[md_property(n)->group].push_back(n);
    EXPECT_EQ(members[9], std::vector<int>{kMdGenericLink});
    EXPECT_EQ(members[3], std::vector<int>{42});
    EXPECT_EQ(members[2], (std::vector<int>{29, 30, 31, 66}));
    EXPECT_EQ(members[8], (std::vector<int>{7, 60, 61, 62, 63, 64}));
    EXPECT_EQ(members[6], (std::vector<int>{59, 65, 107, 109}));
    EXPECT_EQ(members[7], (std::vector<int>{91, 93, 94, 96, 97}));
}

TEST(GroupHeadings, AreTheReportSectionTitles) {
    ASSERT_EQ(md_group_headings().size(), 10u);
    EXPECT_EQ(md_group_heading(0), "\nThermal Properties:\n\n");
    EXPECT_EQ(md_group_heading(4), "\nProcessing Conditions:\n\n");
    EXPECT_EQ(md_group_heading(8), "\nThermoset Properties:\n\n");
    EXPECT_EQ(md_group_heading(9), "\n");
    EXPECT_EQ(md_group_heading(10), "");
    EXPECT_EQ(md_group_heading(-1), "");
}

// --- Variables and allowed lists ------------------------------------------

TEST(VariableTable, NamesAndUnits) {
    ASSERT_EQ(md_variable_table().size(), 14u);
    EXPECT_EQ(md_variable_name(0), "EMPTY");
    EXPECT_EQ(md_variable_name(2), "Deg Crystalinity");
    EXPECT_EQ(md_variable(1)->unit, 3);
    EXPECT_EQ(md_variable(5)->unit, 23);
    EXPECT_EQ(md_variable(13)->unit, 10);
    EXPECT_EQ(md_variable(14), nullptr);
    for (int v = 1; v <= kMdLastVariable; ++v) {
        const int unit = md_variable(v)->unit;
        EXPECT_TRUE(unit == kMdNoUnit || !md_unit_name(unit, kMdSystemMetric).empty()) << v;
    }
}

// The lists by variable name, so that a wrong number in the table shows.
TEST(AllowedVariables, MatchTheListsByName) {
    const std::map<int, std::vector<std::string_view>> expected = {
        {1, {"Temperature", "Deg Crystalinity", "Deg Orientation", "Pressure"}},
        {2, {"Temperature", "Deg Crystalinity", "Deg Orientation", "Pressure", "Cooling Rate"}},
        {3, {"Temperature", "Pressure", "Cooling Rate"}},
        {4, {}},
        {5, {"Cooling Rate"}},
        {6, {"Temperature", "Shear Rate", "Time at Temp", "Pressure"}},
        {7, {"Temperature", "Time"}},
        {8, {"Strain", "Temperature", "Time", "Deg Crystalinity", "Deg Orientation"}},
        {9, {"Strain", "Temperature", "Deg Crystalinity", "Deg Crystalinity"}},
        {10, {"Cooling Rate"}},
        {11, {"Shear Rate", "Cooling Rate"}},
        {12, {"Temperature", "Pressure"}},
        {13, {"Vol Shrinkage", "Crystallisation", "Mold Restraint", "Orientation"}},
        {14, {"Vol Shrinkage", "Crystallisation", "Mold Restraint", "Orientation"}},
        {15, {"Vol Shrinkage", "Crystallisation", "Mold Restraint", "Orientation"}},
        {16, {"Vol Shrinkage", "Crystallisation", "Mold Restraint", "Orientation"}},
    };
    for (const auto& [property, names] : expected) {
        SCOPED_TRACE(property);
        std::vector<std::string_view> got;
        for (int v : md_allowed_variables(property)) got.push_back(md_variable_name(v));
        EXPECT_EQ(got, names);
    }
}

TEST(AllowedVariables, PositionsCountFromOneAndStopAtTheFirstMatch) {
    EXPECT_EQ(md_allowed_position(6, 1), 1);  // Viscosity: Temperature
    EXPECT_EQ(md_allowed_position(6, 6), 2);  // Shear Rate
    EXPECT_EQ(md_allowed_position(6, 4), 4);  // Pressure
    EXPECT_EQ(md_allowed_position(6, 9), 0);  // Time is not allowed
    // Poisson Ratio names Deg Crystalinity at 3 and 4; the lookup gives 3,
    // while a stored fourth position still reads back as that variable.
    EXPECT_EQ(md_allowed_position(9, 2), 3);
    EXPECT_EQ(md_allowed_variable(9, 4), 2);
    EXPECT_EQ(md_allowed_variable(9, 5), 0);
    EXPECT_EQ(md_allowed_variable(9, 0), 0);
    // A single-point property and properties past the primary ones have no list.
    EXPECT_TRUE(md_allowed_variables(4).empty());
    EXPECT_EQ(md_allowed_position(4, 1), 0);
    EXPECT_TRUE(md_allowed_variables(17).empty());
    EXPECT_TRUE(md_allowed_variables(-3).empty());
    EXPECT_EQ(md_allowed_variable(17, 1), 0);
}

TEST(AllowedVariables, PositionAndVariableAreInverse) {
    for (int p = 1; p <= kMdLastPrimaryProperty; ++p) {
        const auto list = md_allowed_variables(p);
        EXPECT_LE(list.size(), static_cast<std::size_t>(kMdMaxAllowedVariables));
        for (std::size_t k = 0; k < list.size(); ++k) {
            ASSERT_GE(list[k], 1);
            ASSERT_LE(list[k], kMdLastVariable);
            const int position = md_allowed_position(p, list[k]);
            EXPECT_EQ(md_allowed_variable(p, position), list[k]);
            EXPECT_LE(position, static_cast<int>(k) + 1);
        }
    }
}

// --- Units ----------------------------------------------------------------

TEST(UnitTable, NamesPerSystem) {
    ASSERT_EQ(md_unit_table().size(), 54u);
    for (int system = kMdSystemSI; system <= kMdSystemEnglish; ++system) {
        int named = 0;
        for (int unit = 1; unit <= kMdLastUnit; ++unit)
            if (!md_unit_name(unit, system).empty()) ++named;
        EXPECT_EQ(named, 44) << system;
    }
    EXPECT_EQ(md_unit_name(3, kMdSystemEnglish), "deg.F");
    EXPECT_EQ(md_unit_name(12, kMdSystemMetric), "MPa");
    EXPECT_EQ(md_unit_name(12, kMdSystemSI), "Pa");
    EXPECT_EQ(md_unit_name(31, kMdSystemMetric), "cu.cm/g");
    EXPECT_EQ(md_unit_name(44, kMdSystemEnglish), "g/10 min");
    EXPECT_EQ(md_unit_name(45, kMdSystemEnglish), "BTU/mol");
    EXPECT_EQ(md_unit_name(36, kMdSystemMetric), "");
    EXPECT_EQ(md_unit_name(46, kMdSystemMetric), "");
    EXPECT_EQ(md_unit_name(0, kMdSystemMetric), "");
    EXPECT_EQ(md_unit_name(12, 2), "");
}

TEST(UnitConversion, KnownValues) {
    EXPECT_DOUBLE_EQ(md_to_base(212.0, 3, kMdSystemEnglish), 100.0);
    EXPECT_DOUBLE_EQ(md_to_base(32.0, 3, kMdSystemEnglish), 0.0);
    EXPECT_DOUBLE_EQ(md_to_base(100.0, 3, kMdSystemMetric), 100.0);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, 12, kMdSystemMetric), 2e6);
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 18, kMdSystemEnglish), 0.1);
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 25, kMdSystemMetric), 0.001);
    EXPECT_DOUBLE_EQ(md_to_base(1.8, 23, kMdSystemEnglish), 1.0);
    EXPECT_DOUBLE_EQ(md_to_base(16.0, 41, kMdSystemEnglish), 0.45359236);
    EXPECT_DOUBLE_EQ(md_to_base(0.9478, 35, kMdSystemEnglish), 1000.0);
    EXPECT_DOUBLE_EQ(md_to_base(600.0, 44, kMdSystemMetric), 0.001);
    EXPECT_DOUBLE_EQ(md_to_base(60.0, 40, kMdSystemMetric), 1.0);
    EXPECT_DOUBLE_EQ(md_to_base(5.0, 7, kMdSystemSI), 5.0);
    // The record-file side's extra units.
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 46, kMdSystemEnglish), 6894.76 * 1.8);
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 47, kMdSystemMetric), 1e6);
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 53, kMdSystemEnglish), 1.8);
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 53, kMdSystemMetric), 1.0);
    EXPECT_DOUBLE_EQ(md_to_base(1.0, 54, kMdSystemEnglish), 1.0);
    // Back from the base unit.
    EXPECT_DOUBLE_EQ(md_from_base(100.0, 3, kMdSystemEnglish), 212.0);
    EXPECT_DOUBLE_EQ(md_from_base(2e6, 12, kMdSystemMetric), 2.0);
    EXPECT_DOUBLE_EQ(md_from_base(0.001, 31, kMdSystemMetric), 1.0);
}

TEST(UnitConversion, OutOfTableArgumentsMeanMetricAndNoUnit) {
    EXPECT_DOUBLE_EQ(md_to_base(2.0, 12, 5), 2e6);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, 12, -2), 2e6);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, 0, kMdSystemEnglish), 2.0);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, 55, kMdSystemEnglish), 2.0);
    EXPECT_DOUBLE_EQ(md_from_base(2.0, 99, kMdSystemMetric), 2.0);
}

TEST(UnitConversion, EveryUnitRoundTripsThroughTheBase) {
    for (int unit = 1; unit <= kMdLastUnit; ++unit)
        for (int system = kMdSystemSI; system <= kMdSystemEnglish; ++system) {
            const double base = md_to_base(123.25, unit, system);
            EXPECT_NEAR(md_from_base(base, unit, system), 123.25, 1e-9) << unit << " " << system;
        }
}

TEST(UnitConversion, UnsetMarkerPassesUnchanged) {
    for (int unit = -kMdLastUnit * 3; unit <= kMdLastUnit + 1; ++unit)
        for (int system = -2; system <= 2; ++system) {
            EXPECT_EQ(md_to_base(kMdUnset, unit, system), kMdUnset);
            EXPECT_EQ(md_from_base(kMdUnset, unit, system), kMdUnset);
        }
    // Within the tolerance a value counts as the marker and is kept as it is.
    EXPECT_EQ(md_to_base(-16384.1, 12, kMdSystemMetric), -16384.1);
    EXPECT_DOUBLE_EQ(md_to_base(-16380.0, 12, kMdSystemMetric), -16380.0 * 1e6);
}

TEST(PackedUnits, PackAndUnpack) {
    EXPECT_EQ(md_pack_unit(3, kMdSystemSI), 3);
    EXPECT_EQ(md_pack_unit(3, kMdSystemMetric), 57);
    EXPECT_EQ(md_pack_unit(54, kMdSystemEnglish), 162);
    for (int unit = 1; unit <= kMdLastUnit; ++unit)
        for (int system = kMdSystemSI; system <= kMdSystemEnglish; ++system) {
            const MdUnpackedUnit u = md_unpack_unit(md_pack_unit(unit, system));
            EXPECT_EQ(u.unit, unit);
            EXPECT_EQ(u.system, system);
        }
    EXPECT_EQ(md_unpack_unit(0).unit, 0);
    EXPECT_EQ(md_unpack_unit(163).unit, 0);
}

TEST(PackedUnits, ANegativeUnitIsAPackedCodeNamingItsSystem) {
    // The packed system wins over the system argument.
    EXPECT_DOUBLE_EQ(md_to_base(212.0, -md_pack_unit(3, kMdSystemEnglish), kMdSystemMetric), 100.0);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, -md_pack_unit(12, kMdSystemMetric), kMdSystemEnglish), 2e6);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, -md_pack_unit(12, kMdSystemSI), kMdSystemMetric), 2.0);
    EXPECT_DOUBLE_EQ(md_from_base(100.0, -md_pack_unit(3, kMdSystemEnglish), kMdSystemSI), 212.0);
    // Codes beyond the packed range (the record files' "no unit" among them)
    // convert nothing.
    EXPECT_DOUBLE_EQ(md_to_base(2.0, -16384, kMdSystemMetric), 2.0);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, -163, kMdSystemMetric), 2.0);
    EXPECT_DOUBLE_EQ(md_to_base(2.0, INT_MIN, kMdSystemMetric), 2.0);
}

TEST(Tolerance, RelativeWithAFloorAndTinyValuesAsZero) {
    EXPECT_TRUE(md_nearly_equal(1e6, 1e6 + 10.0));
    EXPECT_FALSE(md_nearly_equal(1e6, 1e6 + 11.0));
    EXPECT_TRUE(md_nearly_equal(0.0, 1.0e-7));
    EXPECT_FALSE(md_nearly_equal(0.0, 2.0e-7));
    EXPECT_TRUE(md_nearly_equal(1e-39, -1e-39));
    EXPECT_TRUE(md_is_unset(-16384.0));
    EXPECT_TRUE(md_is_unset(-16384.16));
    EXPECT_FALSE(md_is_unset(-16384.2));
    EXPECT_FALSE(md_is_unset(16384.0));
}

}  // namespace
}  // namespace tarnvel::matdb
