// The numeric conversions of the property set builder: the product's own
// PVT model turned into Tait coefficients, the extensional viscosity
// parameters, the viscosity index, and the melt flow rate text.
//
// Every function works on IEEE doubles and never traps: a division by zero
// or an undefined logarithm gives infinity or NaN, which is passed on.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tarnvel::convert {

// The number of coefficients of the two-domain Tait model and of the
// product's own PVT model.
inline constexpr std::size_t kTaitCount = 13;
inline constexpr std::size_t kOwnPvtCount = 13;

using TaitCoefficients = std::array<double, kTaitCount>;

// Converts k0..k12 of the product's own PVT model (volumes
// k1 T/(k2 + P) + k0/(k3 + P) for the solid and k8 T/(k9 + P) + k7/(k10 + P)
// for the melt, transition temperature (P - k11)/k12, T in degrees Celsius,
// P in Pa) into b5, b6, b1m, b2m, b3m, b4m, b1s, b2s, b3s, b4s, b7, b8, b9.
TaitCoefficients TaitFromOwnPvt(std::span<const double, kOwnPvtCount> k);

// The inputs of the extensional viscosity parameters.
struct ExtensionalInputs {
    // A0, A1, A2 of the first-order viscosity model.
    double a0, a1, a2;
    // E0..E3 of the extensional viscosity binding coefficients.
    double e0, e1, e2, e3;
    // The melt temperature in degrees Celsius.
    double temperature;
};

// The two extensional viscosity parameters (w0, w1) that a Cross-like law
// of the extensional viscosity takes at the given melt temperature.
std::array<double, 2> ExtensionalViscosityParameters(const ExtensionalInputs& in);

// The Cross-WLF viscosity at shear rate 1000 and temperature T, from the
// record's coefficients D1, D2, D3, A1, A2, tau*, n (D3 does not enter).
double CrossWlfIndexViscosity(std::span<const double, 7> cross_wlf, double temperature);

// exp(c0 + c1 L + c2 T + c3 L^2 + c4 T L + c5 T^2) with L = ln 1000: the
// second-order model's viscosity at shear rate 1000 and temperature T.
double SecondOrderIndexViscosity(std::span<const double, 6> c, double temperature);

// "VI(%03.3d)%04.4d" of the temperature and the viscosity, each truncated
// toward zero; empty when either is not a finite number within the range
// of a 32-bit integer (no text can stand for it).
std::string ViscosityIndexText(double temperature, double viscosity);

// The melt flow rate text "<rate> <unit> (<temperature> <unit>/<load> ...)"
// read as (temperature + 273.15, load, rate); nothing when one of the three
// pieces is missing. Numbers are read as atof reads them.
std::optional<std::array<double, 3>> MeltFlowRateValues(std::string_view text);

}  // namespace tarnvel::convert
