// Reference values for the property set builder tests, computed outside the
// code under test by data/property_formulas_check.py (Python's own floating
// point, straight from the formulas) and kept in
// data/property_formulas_expected.txt; and the inputs they were computed
// from, which must stay equal to those of the script.
#pragma once

#include <array>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace property_test {

// k0..k12 of the product's own PVT model: transition at 160 C rising by
// 2e-7 K/Pa, with the extra solid term (k4 > 0) and without it.
inline constexpr std::array<double, 13> kPvtWithExtra = {
    3.3e6, 450.0, 1.5e9, 3e9, 1.0, 0.1, 1.5e-8, 2.36e6, 900.0, 1e9, 2e9, -8e8, 5e6};
inline constexpr std::array<double, 13> kPvtWithoutExtra = {
    3.3e6, 450.0, 1.5e9, 3e9, 0.0, 0.1, 1.5e-8, 2.36e6, 900.0, 1e9, 2e9, -8e8, 5e6};
// The melt temperature (C) of the densities and the extensional parameters.
inline constexpr double kMeltTemperature = 230.0;
// A0, A1, A2 of the first-order viscosity model, and E0..E3.
inline constexpr std::array<double, 3> kFirstOrder = {5e4, -0.65, -0.02};
inline constexpr std::array<double, 4> kExtensional = {2.0, -0.6, -0.01, 0.001};
// The class temperature (C) of the viscosity index.
inline constexpr double kClassTemperature = 230.0;
// D1, D2, D3, A1, A2, tau*, n.
inline constexpr std::array<double, 7> kCrossWlf = {2.5e11, 100.0, 0.0, 27.0, 51.6, 25000.0, 0.28};
// c0..c5.
inline constexpr std::array<double, 6> kSecondOrder = {12.0, -0.5, -0.02, -0.01, 0.0005, 1e-5};

// The values of one named line of the reference file (empty when absent).
inline std::vector<double> Expected(const std::string& name) {
    std::ifstream in(std::string(TARNVEL_SOURCE_DIR) +
                     "/tests/convert/data/property_formulas_expected.txt");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string key;
        fields >> key;
        if (key != name) continue;
        std::vector<double> values;
        for (double value; fields >> value;) values.push_back(value);
        return values;
    }
    return {};
}

}  // namespace property_test
