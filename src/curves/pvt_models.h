// The PVT models of a grade: specific volume (m³/kg) at a temperature (°C)
// and a pressure (Pa), with the temperature (°C) at which the solid and the
// melt domain meet at a pressure.
//
// As with the viscosity models, the caller checks each value for a finite
// positive number.
#pragma once

#include <array>
#include <cstddef>
#include <string>

namespace tarnvel::curves {

// The Tait constant of the pressure term.
inline constexpr double kTaitC = 0.0894;
inline constexpr std::size_t kPvtCoefficientCount = 13;

// The two-domain Tait model, coefficients b5, b6, b1m, b2m, b3m, b4m, b1s,
// b2s, b3s, b4s, b7, b8, b9 (b5 in kelvin, volumes in m³/kg, pressures in
// Pa). The transition lies at b5 + b6 p; at and above it the melt
// coefficients act, below it the solid ones and the added term
// b7 exp(b8 (T − b5) − b9 p).
struct TaitModel {
    std::array<double, kPvtCoefficientCount> b{};

    double Volume(double temperature, double pressure) const;
    double TransitionTemperature(double pressure) const;
    // Empty when usable, else why not ("b3m is not positive", ...).
    std::string Problem() const;
};

// The product's own two-domain PVT model, coefficients k0..k12 (T in °C, P
// in Pa): solid k0 / (k3 + P) + k1 T / (k2 + P) + k4 exp(k5 T − k6 P), melt
// k7 / (k10 + P) + k8 T / (k9 + P), transition where P = k11 + k12 T.
struct OwnPvtModel {
    std::array<double, kPvtCoefficientCount> k{};

    double Volume(double temperature, double pressure) const;
    double TransitionTemperature(double pressure) const;
    std::string Problem() const;
};

}  // namespace tarnvel::curves
