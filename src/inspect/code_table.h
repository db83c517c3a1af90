// The names and units of the property codes that the property set builder
// writes into a material property set (type 21000), for the tools that
// show UDM files to people.
#pragma once

#include <cstdint>
#include <span>

namespace tarnvel::inspect {

// One property code: what it holds and the units of its values.
struct CodeInfo {
    std::int32_t code;
    // What the code holds; for a code of several values, their order.
    const char* name;
    // The units of the values in their order; empty for a code that holds
    // only text. "unit not certain" stands where the conversion does not fix
    // the unit (coefficients passed on as the material data holds them).
    const char* unit;
};

// The codes in ascending order.
std::span<const CodeInfo> CodeTable();
// The code's entry, null for a code outside the table.
const CodeInfo* FindCode(std::int32_t code);

}  // namespace tarnvel::inspect
