// Values of the material database as people read them: each float in the
// shortest decimal that reads back to it, and the unit each value is stored
// (and shown) in, the base unit of the catalogue named as in the SI system.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct MdProperty;

namespace tarnvel::matdb {

// The shortest decimal text that reads back to the same 32-bit float
// ("0.17", "1.34e+09").
std::string md_shortest_text(float value);
// The double nearest to that decimal, which a JSON writer prints short.
double md_shortest_double(float value);

// The unit name of a property's values, or of a variable's; "" for a
// dimensionless or text property and outside the tables.
std::string_view md_property_unit_name(int property);
std::string_view md_variable_unit_name(int variable);

// What one value of an item is: its column name and unit. A single point
// has one column (the property), standard points one per variable and the
// property last; coefficient lists and texts have none (their values carry
// no unit of the catalogue).
struct MdColumn {
    std::string_view name;
    std::string_view unit;
};
std::vector<MdColumn> md_item_columns(const MdProperty& item);

// The value at an index of an item as a number: the two integers that open
// a Shrinkage coefficient list, every other value as its float.
double md_item_value(const MdProperty& item, std::size_t index);

// The value at an index as people read it: "unset" for the unset marker,
// the two integers that open a Shrinkage list as integers, every other value
// in its shortest text.
std::string md_item_value_text(const MdProperty& item, std::size_t index);

}  // namespace tarnvel::matdb
