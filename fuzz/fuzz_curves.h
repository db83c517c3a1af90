// The check of sampled curves that the fuzz targets drawing curves share:
// every point finite, and positive where the viscosity axes are
// logarithmic.
#pragma once

#include <cmath>

#include "curves/curves.h"
#include "fuzz_input.h"

namespace tarnvel::fuzzing {

inline void CheckCurves(const curves::CurveSet& set, curves::PlotKind kind) {
    for (const auto& curve : set.curves) {
        for (const auto& [x, y] : curve.points) {
            Require(std::isfinite(x) && std::isfinite(y));
            if (kind == curves::PlotKind::kViscosity) Require(x > 0 && y > 0);
        }
    }
}

}  // namespace tarnvel::fuzzing
