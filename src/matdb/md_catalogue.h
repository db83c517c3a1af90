// The property catalogue of the material database: every stored property,
// variable and unit has a number, a name and a unit here, and the group and
// order of a property fix where it stands in a grade and in a report. The
// record files, the access layer, the ASCII reader, the export and the
// report all index these tables by number. The tables are constant data.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>

namespace tarnvel::matdb {

// The value that means "not set" throughout the material database.
inline constexpr double kMdUnset = -16384.0;

// Properties are numbered 0 to 109; 0 and 71 to 73 are placeholders.
inline constexpr int kMdPropertyCount = 110;
inline constexpr int kMdLastProperty = kMdPropertyCount - 1;
// Properties 1 to 16 may be stored in the primary chain of a grade.
inline constexpr int kMdLastPrimaryProperty = 16;
// Variables are numbered 1 to 13; entry 0 is a placeholder.
inline constexpr int kMdVariableCount = 14;
inline constexpr int kMdLastVariable = kMdVariableCount - 1;
// Units 1 to 45 have names; 46 to 54 only convert (record-file side).
inline constexpr int kMdNamedUnitCount = 45;
inline constexpr int kMdLastUnit = 54;
// The unit of dimensionless and text properties: no name, no conversion.
inline constexpr int kMdNoUnit = 36;
// Report groups 0 to 9; group 9 holds the generic link.
inline constexpr int kMdGroupCount = 10;
// The longest allowed-variable list of a primary property.
inline constexpr int kMdMaxAllowedVariables = 5;

// Property numbers the access layer, export and report treat specially.
inline constexpr int kMdConductivity = 1;
inline constexpr int kMdViscosity = 6;
inline constexpr int kMdPvtSpecificVolume = 12;
inline constexpr int kMdGenericLink = 17;
inline constexpr int kMdShrinkage = 59;
inline constexpr int kMdKinetic = 60;
inline constexpr int kMdShrinkagePredictiveError = 65;

// Unit systems by their codes; a packed unit code counts them from 0.
enum MdUnitSystem : int {
    kMdSystemSI = -1,
    kMdSystemMetric = 0,
    kMdSystemEnglish = 1,
};

// One row of the property table.
struct MdPropertyInfo {
    // The display name; the ASCII keyword is derived from it.
    std::string_view name;
    // The unit the property is stored in (36: dimensionless or text; 0 for
    // placeholders).
    int unit;
    // The report section, and the first ordering key of a grade's items.
    int group;
    // The second ordering key, within the group.
    int order;
};

// One row of the variable table.
struct MdVariableInfo {
    std::string_view name;
    // The unit the variable's values are stored in.
    int unit;
};

// How a value in a unit of the metric or English system becomes a value in
// the base unit: (value + offset) * multiply / divide. Kept as three parts so
// that the inverse divides where the forward multiplies, and back again.
struct MdUnitFactor {
    double offset = 0.0;
    double multiply = 1.0;
    double divide = 1.0;
};

// One row of the unit table.
struct MdUnitInfo {
    // The unit's name in the SI, metric and English systems (empty: none).
    std::array<std::string_view, 3> names;
    MdUnitFactor from_metric;
    MdUnitFactor from_english;
};

// An allowed-variable list: position k (from 1) is bit k - 1 of the primary
// chain's variable mask.
struct MdAllowedList {
    std::array<int, kMdMaxAllowedVariables> variables;
    int count;
};

// The whole tables, indexed by number (entry 0 included).
std::span<const MdPropertyInfo, kMdPropertyCount> md_property_table();
std::span<const MdVariableInfo, kMdVariableCount> md_variable_table();
// Units 1 to 54 at indices 0 to 53.
std::span<const MdUnitInfo, kMdLastUnit> md_unit_table();
std::span<const std::string_view, kMdGroupCount> md_group_headings();
// Properties 0 to 16 (0 and 4 have empty lists).
std::span<const MdAllowedList, kMdLastPrimaryProperty + 1> md_allowed_table();

// The row of a property, or null outside 0 to 109.
const MdPropertyInfo* md_property(int number);
// The property's name, or "" outside the table.
std::string_view md_property_name(int number);
// The row of a variable, or null outside 0 to 13.
const MdVariableInfo* md_variable(int number);
// The variable's name, or "" outside the table.
std::string_view md_variable_name(int number);
// The report heading of a group ("" outside 0 to 9).
std::string_view md_group_heading(int group);

// The variables a primary property may be stored against, in position
// order; empty for properties outside 1 to 16 and for those stored as a
// single point only.
std::span<const int> md_allowed_variables(int property);
// The position (from 1) of a variable in a property's allowed list, the
// first one where the list names it twice; 0 when it is not in the list.
int md_allowed_position(int property, int variable);
// The variable at a position (from 1) of a property's allowed list; 0 when
// the position is outside the list.
int md_allowed_variable(int property, int position);

// The name of a unit (1 to 45) in a system (-1, 0, 1); "" for a unit without
// a name or a number or system outside the table.
std::string_view md_unit_name(int unit, int system);

// True when the value is the unset marker, within the catalogue's tolerance.
bool md_is_unset(double value);
// Equality within a relative tolerance of 1.0172527E-5 of the larger
// magnitude, and never less than 1.1920929E-7; magnitudes up to 3E-38
// count as 0.
bool md_nearly_equal(double a, double b);

// The packed code of a unit in a system: unit + 54 x (system + 1).
int md_pack_unit(int unit, int system);
// A unit number and system read from a packed code (1 to 162).
struct MdUnpackedUnit {
    int unit;
    int system;
};
MdUnpackedUnit md_unpack_unit(int code);

// A value given in a unit of a system, in the base unit. A negative unit is
// a packed code that also names the system. A system outside -1 to 1 counts
// as metric, a unit outside 1 to 54 as dimensionless; the unset marker and
// every SI value come back unchanged.
double md_to_base(double value, int unit, int system);
// The inverse: a value in the base unit, shown in a unit of a system.
double md_from_base(double value, int unit, int system);

// The keyword form of a catalogue name: upper case, each blank an
// underscore ("Melt  Temperature Minimum" gives "MELT__TEMPERATURE_MINIMUM").
std::string md_keyword_of(std::string_view name);

}  // namespace tarnvel::matdb
