// The viscosity models of a grade, each a small value type that evaluates
// the viscosity (Pa·s) at a shear rate (1/s) and a temperature (°C), and
// tells why its coefficients cannot be used.
//
// Evaluation gives no value (nullopt) only where the model has none by its
// nature (outside the grid of the matrix model); otherwise it gives what the
// formula gives, which the caller must still check for a finite positive
// number: coefficients that pass Problem() may still overflow far from the
// data they were fitted to.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace tarnvel::curves {

// Kelvin at 0 °C: the Cross-WLF and Tait coefficients hold kelvin.
inline constexpr double kKelvinOffset = 273.15;

// ln v = ln A + N ln s + B T (T in °C).
struct FirstOrderModel {
    double a = 0.0;
    double n = 0.0;
    double b = 0.0;

    std::optional<double> Viscosity(double shear_rate, double temperature) const;
    // Empty when usable, else why not ("A is not positive", ...).
    std::string Problem() const;
};

// ln v = c1 + c2 L + c3 T + c4 L² + c5 T L + c6 T² with L = ln s, T in °C.
struct SecondOrderModel {
    std::array<double, 6> c{};

    std::optional<double> Viscosity(double shear_rate, double temperature) const;
    std::string Problem() const;
};

// The matrix model: ln v on a grid of temperatures (°C, rising) by natural
// logarithms of shear rates (rising), interpolated bilinearly in T and ln s.
// Outside the grid there is no value: it is never extrapolated.
struct MatrixModel {
    std::vector<double> temperatures;
    std::vector<double> ln_shear;
    // ln v of temperature i and shear rate j at [i * ln_shear.size() + j].
    std::vector<double> ln_viscosity;

    std::optional<double> Viscosity(double shear_rate, double temperature) const;
    std::string Problem() const;
    // The shear rates (1/s) of the grid's first and last column.
    double MinShearRate() const;
    double MaxShearRate() const;
};

// Cross-WLF at atmospheric pressure, D2 in kelvin:
// η0 = D1 exp(−A1 (T − D2) / (A2 + T − D2)), η = η0 / (1 + (η0 γ̇ / τ*)^(1 − n)).
// D3 (the pressure shift of D2) does not act at zero gauge pressure.
struct CrossWlfModel {
    double n = 0.0;
    double tau = 0.0;
    double d1 = 0.0;
    double d2 = 0.0;
    double d3 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;

    std::optional<double> Viscosity(double shear_rate, double temperature) const;
    std::string Problem() const;
};

}  // namespace tarnvel::curves
