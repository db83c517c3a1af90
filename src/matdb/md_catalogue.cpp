#include "matdb/md_catalogue.h"

#include <algorithm>
#include <cmath>

#include "matdb/md_catalogue_tables.h"

namespace tarnvel::matdb {
namespace {

// Units per system in a packed unit code.
constexpr int kUnitsPerSystem = kMdLastUnit;
constexpr int kLastPackedCode = 3 * kUnitsPerSystem;

constexpr double kRelativeTolerance = 1.0172527E-5;
constexpr double kSmallestTolerance = 1.1920929E-7;
constexpr double kZeroMagnitude = 3E-38;

bool InRange(int value, int low, int high) {
    return value >= low && value <= high;
}

// Values this close to zero compare as zero.
double FlushTiny(double value) {
    return std::fabs(value) <= kZeroMagnitude ? 0.0 : value;
}

// The unit and system a conversion works with, after unpacking a negative
// unit and mapping what lies outside the tables onto metric and no unit.
MdUnpackedUnit Normalise(int unit, int system) {
    if (unit < 0) {
        const MdUnpackedUnit unpacked = md_unpack_unit(unit >= -kLastPackedCode ? -unit : 0);
        unit = unpacked.unit;
        system = unpacked.system;
    }
    if (!InRange(system, kMdSystemSI, kMdSystemEnglish)) system = kMdSystemMetric;
    if (!InRange(unit, 1, kMdLastUnit)) unit = kMdNoUnit;
    return {unit, system};
}

// The factor of a unit and system that both lie in the table; null for SI
// and for the unset marker, which convert to themselves.
const MdUnitFactor* FactorFor(double value, int unit, int system) {
    const MdUnpackedUnit at = Normalise(unit, system);
    if (md_is_unset(value) || at.system == kMdSystemSI) return nullptr;
    const MdUnitInfo& row = tables::kUnits[at.unit - 1];
    return at.system == kMdSystemMetric ? &row.from_metric : &row.from_english;
}

}  // namespace

std::span<const MdPropertyInfo, kMdPropertyCount> md_property_table() {
    return tables::kProperties;
}
std::span<const MdVariableInfo, kMdVariableCount> md_variable_table() {
    return tables::kVariables;
}
std::span<const MdUnitInfo, kMdLastUnit> md_unit_table() {
    return tables::kUnits;
}
std::span<const std::string_view, kMdGroupCount> md_group_headings() {
    return tables::kGroupHeadings;
}
std::span<const MdAllowedList, kMdLastPrimaryProperty + 1> md_allowed_table() {
    return tables::kAllowed;
}

const MdPropertyInfo* md_property(int number) {
    return InRange(number, 0, kMdLastProperty) ? &tables::kProperties[number] : nullptr;
}

std::string_view md_property_name(int number) {
    const MdPropertyInfo* row = md_property(number);
    return row ? row->name : std::string_view{};
}

const MdVariableInfo* md_variable(int number) {
    return InRange(number, 0, kMdLastVariable) ? &tables::kVariables[number] : nullptr;
}

std::string_view md_variable_name(int number) {
    const MdVariableInfo* row = md_variable(number);
    return row ? row->name : std::string_view{};
}

std::string_view md_group_heading(int group) {
    return InRange(group, 0, kMdGroupCount - 1) ? tables::kGroupHeadings[group]
                                                : std::string_view{};
}

std::span<const int> md_allowed_variables(int property) {
    if (!InRange(property, 0, kMdLastPrimaryProperty)) return {};
    const MdAllowedList& list = tables::kAllowed[property];
    return std::span<const int>(list.variables).first(list.count);
}

int md_allowed_position(int property, int variable) {
    const std::span<const int> list = md_allowed_variables(property);
    const auto found = std::find(list.begin(), list.end(), variable);
    return found == list.end() ? 0 : static_cast<int>(found - list.begin()) + 1;
}

int md_allowed_variable(int property, int position) {
    const std::span<const int> list = md_allowed_variables(property);
    return InRange(position, 1, static_cast<int>(list.size())) ? list[position - 1] : 0;
}

std::string_view md_unit_name(int unit, int system) {
    if (!InRange(unit, 1, kMdNamedUnitCount) || !InRange(system, kMdSystemSI, kMdSystemEnglish))
        return {};
    return tables::kUnits[unit - 1].names[system + 1];
}

bool md_nearly_equal(double a, double b) {
    a = FlushTiny(a);
    b = FlushTiny(b);
    const double larger = std::max(std::fabs(a), std::fabs(b));
    const double tolerance = std::max(kRelativeTolerance * larger, kSmallestTolerance);
    return std::fabs(a - b) <= tolerance;
}

bool md_is_unset(double value) {
    return md_nearly_equal(value, kMdUnset);
}

int md_pack_unit(int unit, int system) {
    return unit + kUnitsPerSystem * (system + 1);
}

MdUnpackedUnit md_unpack_unit(int code) {
    // Outside the packed range nothing is known: no unit, metric.
    if (!InRange(code, 1, kLastPackedCode)) return {0, kMdSystemMetric};
    return {(code - 1) % kUnitsPerSystem + 1, (code - 1) / kUnitsPerSystem - 1};
}

double md_to_base(double value, int unit, int system) {
    const MdUnitFactor* factor = FactorFor(value, unit, system);
    if (!factor) return value;
    return (value + factor->offset) * factor->multiply / factor->divide;
}

double md_from_base(double value, int unit, int system) {
    const MdUnitFactor* factor = FactorFor(value, unit, system);
    if (!factor) return value;
    return value * factor->divide / factor->multiply - factor->offset;
}

std::string md_keyword_of(std::string_view name) {
    std::string keyword(name);
    for (char& c : keyword) {
        if (c == ' ')
            c = '_';
        else if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return keyword;
}

}  // namespace tarnvel::matdb
