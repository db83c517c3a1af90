// Grades built in memory for the curve tests, and the checks every sampled
// curve must pass.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "curves/curve_sampling.h"
#include "matdb/matdb.h"

namespace tarnvel::curves::testing {

inline MdProperty Item(int property, int format, std::vector<int> variables,
                       const std::vector<double>& values) {
    MdProperty item;
    item.property = property;
    item.format = format;
    item.variables = std::move(variables);
    for (double v : values) item.values.push_back(MdWord::Real(static_cast<float>(v)));
    return item;
}

inline MdProperty List(int property, const std::vector<double>& values) {
    return Item(property, MD_COEFFICIENTS, {}, values);
}

inline MdProperty Single(int property, double value) {
    return Item(property, MD_SINGLE_POINT, {}, {value});
}

// Viscosity points against Temperature (1) and Shear Rate (6).
inline MdProperty ViscosityPoints(const std::vector<double>& rows) {
    return Item(6, MD_STANDARD_POINTS, {1, 6}, rows);
}

// PVT Specific Volume points against Temperature (1) and Pressure (4).
inline MdProperty PvtPoints(const std::vector<double>& rows) {
    return Item(12, MD_STANDARD_POINTS, {1, 4}, rows);
}

inline MdGrade Grade(const std::string& supplier, const std::string& code,
                     std::vector<MdProperty> items) {
    return MdGrade{supplier, code, supplier + " " + code, std::move(items)};
}

// Cross-WLF as the database stores it: D1, D2, D3, A1, A2, tau*, n.
inline const std::vector<double> kCrossWlf = {5.20453e+12, 263.15, 0, 27, 51.6, 25000, 0.28};

// The curves of a model, by name.
inline std::vector<const SampledCurve*> CurvesOf(const CurveSet& set, const std::string& model) {
    std::vector<const SampledCurve*> out;
    for (const SampledCurve& c : set.curves) {
        if (c.model == model) out.push_back(&c);
    }
    return out;
}

// Every value finite, and positive on the axes that are logarithmic.
inline void ExpectDrawable(const CurveSet& set) {
    for (const SampledCurve& c : set.curves) {
        EXPECT_FALSE(c.points.empty()) << c.model;
        if (c.parameter) {
            EXPECT_TRUE(std::isfinite(*c.parameter)) << c.model;
        }
        for (const auto& [x, y] : c.points) {
            ASSERT_TRUE(std::isfinite(x) && std::isfinite(y)) << set.source << " " << c.model;
            if (set.kind == PlotKind::kViscosity) {
                ASSERT_GT(x, 0.0) << c.model;
                ASSERT_GT(y, 0.0) << c.model;
            }
        }
    }
}

// True when one of the lines holds the text.
inline bool AnyHolds(const std::vector<std::string>& lines, const std::string& text) {
    for (const std::string& line : lines) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

}  // namespace tarnvel::curves::testing
