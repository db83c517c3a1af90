// The keyword table of the tessel ASCII material file, built from the
// property catalogue.
#pragma once

#include <span>

#include "services/vttoken.h"

namespace tarnvel::matdb {

// Token kinds of the keyword classes; the integer value is the property or
// variable number, or the unit number + 45 x unit group for units.
enum AsciiKind : int {
    kAscSupplier = 1,
    kAscGrade = 2,
    kAscHeader = 3,
    kAscGenericLink = 4,
    kAscProperty = 5,
    kAscVariable = 6,
    kAscUnit = 7,
};

inline constexpr int kAscUnitsPerGroup = 45;

// The whole table, in search order (built once).
std::span<const TokKeyword> AsciiKeywords();

}  // namespace tarnvel::matdb
