// The checks every model's coefficients pass before they are evaluated.
#pragma once

#include <cmath>
#include <initializer_list>
#include <span>
#include <string>

#include "matdb/md_catalogue.h"

namespace tarnvel::curves {

// Why a coefficient list cannot be used at all: a value that holds the
// database's unset marker (-16384) or is not a finite number; empty when
// neither.
inline std::string CommonProblem(std::span<const double> values) {
    for (double v : values) {
        if (!std::isfinite(v)) return "a coefficient is not a finite number";
        if (matdb::md_is_unset(v)) return "a coefficient is unset (-16384)";
    }
    return "";
}
inline std::string CommonProblem(std::initializer_list<double> values) {
    return CommonProblem(std::span<const double>(values.begin(), values.size()));
}

}  // namespace tarnvel::curves
