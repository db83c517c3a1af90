// The point tables the model fits take, and the value rules every fit
// applies to what it reads and what it produces.
//
// A point table is what a standard-points item of a grade holds: the
// numbers of its column variables and its rows, each row the variable
// values followed by the property value. Values are in base units
// (temperatures in degrees Celsius).
#pragma once

#include <cmath>
#include <cstddef>
#include <span>

#include "matdb/md_catalogue.h"

namespace tarnvel::matdb {

// A read-only view of a point table; it owns nothing.
struct MdPointTable {
    // The column variables, in column order.
    std::span<const int> variables;
    // The rows, one after the other, each variables.size() + 1 values long.
    std::span<const double> values;

    // The number of values in a row.
    std::size_t row_width() const { return variables.size() + 1; }
    // The number of complete rows (a trailing partial row is not a row).
    std::size_t rows() const { return values.size() / row_width(); }
    // Value `column` of row `row`; the property value is column
    // variables.size().
    double at(std::size_t row, std::size_t column) const {
        return values[row * row_width() + column];
    }
    // The property value of a row.
    double property(std::size_t row) const { return at(row, variables.size()); }
    // The number of the variable of a column, or 0 when there is none.
    int variable(std::size_t column) const {
        return column < variables.size() ? variables[column] : 0;
    }
};

namespace fit {

// The value that means "not set" in any coefficient slot.
inline constexpr double kUnset = kMdUnset;

// The variable numbers (of the catalogue's variable table) the fits test
// for.
inline constexpr int kTemperature = 1;
inline constexpr int kDegCrystallinity = 2;
inline constexpr int kPressure = 4;
inline constexpr int kShearRate = 6;

// The largest magnitude an "E12.6" field shows (0.999999E+99 once
// rounded), and the smallest non-zero one (0.100000E-99).
inline constexpr double kLargestShown = 9.999994e98;
inline constexpr double kSmallestShown = 1.0e-99;

// True when the value can be written as data: finite, and zero or of a
// magnitude an "E12.6" field shows.
inline bool Representable(double value) {
    const double magnitude = std::fabs(value);
    return std::isfinite(value) &&
           (magnitude == 0.0 || (magnitude >= kSmallestShown && magnitude <= kLargestShown));
}

// True when every value of the span is representable.
inline bool AllRepresentable(std::span<const double> values) {
    for (double v : values) {
        if (!Representable(v)) return false;
    }
    return true;
}

// True when the value is the unset marker, within the material database's
// tolerance for it.
inline bool IsUnset(double value) {
    return std::isfinite(value) && md_is_unset(value);
}

}  // namespace fit
}  // namespace tarnvel::matdb
