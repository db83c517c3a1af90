// The viscosity and PVT models against their formulas, worked out here
// step by step at chosen points; the matrix model at and between its grid
// points and its refusal outside; the coefficients each model refuses.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "curves/pvt_models.h"
#include "curves/viscosity_models.h"

namespace tarnvel::curves {
namespace {

constexpr double kRelative = 1e-12;

void ExpectClose(double expected, std::optional<double> actual) {
    ASSERT_TRUE(actual.has_value());
    EXPECT_NEAR(*actual, expected, std::fabs(expected) * kRelative);
}

TEST(ViscosityModels, FirstOrderIsAPowerLawWithAnExponentialInTemperature) {
    const FirstOrderModel m{2.0e4, -0.7, -0.01};
    // ln v = ln A + N ln s + B T at s = 1000, T = 230.
    const double expected = std::exp(std::log(2.0e4) - 0.7 * std::log(1000.0) - 0.01 * 230.0);
    ExpectClose(expected, m.Viscosity(1000.0, 230.0));
    ExpectClose(2.0e4 * std::exp(-0.01 * 200.0), m.Viscosity(1.0, 200.0));
}

TEST(ViscosityModels, SecondOrderIsAQuadraticInLnShearAndTemperature) {
    const SecondOrderModel m{{9.5, -0.2, -0.015, -0.03, 0.0004, 1.0e-5}};
    const double l = std::log(500.0);
    const double t = 250.0;
    const double ln_v = 9.5 - 0.2 * l - 0.015 * t - 0.03 * l * l + 0.0004 * t * l + 1.0e-5 * t * t;
    ExpectClose(std::exp(ln_v), m.Viscosity(500.0, t));
}

TEST(ViscosityModels, CrossWlfWorksInKelvinFromD2) {
    // A polypropylene-like set: D1 5.2e12 Pa·s, D2 263.15 K, A1 27, A2 51.6,
    // tau* 25 kPa, n 0.28.
    const CrossWlfModel m{0.28, 25000.0, 5.20453e12, 263.15, 0.0, 27.0, 51.6};
    const double t_kelvin = 230.0 + 273.15;
    const double eta0 =
        5.20453e12 * std::exp(-27.0 * (t_kelvin - 263.15) / (51.6 + t_kelvin - 263.15));
    for (double s : {1.0, 100.0, 1.0e4, 1.0e6}) {
        const double expected = eta0 / (1.0 + std::pow(eta0 * s / 25000.0, 1.0 - 0.28));
        ExpectClose(expected, m.Viscosity(s, 230.0));
    }
    // Shear thinning: the viscosity falls with the shear rate.
    EXPECT_GT(*m.Viscosity(10.0, 230.0), *m.Viscosity(1.0e5, 230.0));
}

TEST(ViscosityModels, EachModelRefusesUnsetAbsurdOrNonFiniteCoefficients) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(CrossWlfModel({0.28, 25000.0, 5e12, 263.15, 0.0, 27.0, 51.6}).Problem(), "");
    EXPECT_EQ(CrossWlfModel({0.28, 25000.0, -5e12, 263.15, 0.0, 27.0, 51.6}).Problem(),
              "D1 is not positive");
    EXPECT_EQ(CrossWlfModel({0.28, 0.0, 5e12, 263.15, 0.0, 27.0, 51.6}).Problem(),
              "tau* is not positive");
    EXPECT_EQ(CrossWlfModel({0.28, 25000.0, 5e12, -16384.0, 0.0, 27.0, 51.6}).Problem(),
              "a coefficient is unset (-16384)");
    EXPECT_EQ(CrossWlfModel({1.5, 25000.0, 5e12, 263.15, 0.0, 27.0, 51.6}).Problem(),
              "n is outside 0 to 1");
    EXPECT_EQ(FirstOrderModel({-1.0, -0.5, -0.01}).Problem(), "A is not positive");
    EXPECT_EQ(FirstOrderModel({1.0, 0.5, -0.01}).Problem(),
              "N is positive (viscosity rising with shear rate)");
    EXPECT_EQ(SecondOrderModel({{1, 2, nan, 4, 5, 6}}).Problem(),
              "a coefficient is not a finite number");
    EXPECT_EQ(SecondOrderModel({}).Problem(), "all coefficients are 0");
}

// Two temperatures by three shear rates.
MatrixModel Grid() {
    MatrixModel m;
    m.temperatures = {200.0, 240.0};
    m.ln_shear = {std::log(10.0), std::log(100.0), std::log(1000.0)};
    m.ln_viscosity = {std::log(900.0), std::log(400.0), std::log(100.0),
                      std::log(500.0), std::log(250.0), std::log(60.0)};
    return m;
}

TEST(MatrixModel, GivesTheGridValuesAtItsNodes) {
    const MatrixModel m = Grid();
    ASSERT_EQ(m.Problem(), "");
    ExpectClose(900.0, m.Viscosity(10.0, 200.0));
    ExpectClose(400.0, m.Viscosity(100.0, 200.0));
    ExpectClose(60.0, m.Viscosity(1000.0, 240.0));
    // A node reached through exp(ln s) is still on the grid.
    ExpectClose(100.0, m.Viscosity(std::exp(std::log(1000.0)), 200.0));
}

TEST(MatrixModel, InterpolatesBilinearlyInLnViscosityOverTemperatureAndLnShear) {
    const MatrixModel m = Grid();
    // Half way in temperature at a node of shear: the geometric mean.
    ExpectClose(std::sqrt(400.0 * 250.0), m.Viscosity(100.0, 220.0));
    // A quarter of the way in T and at sqrt(10 * 100) in shear.
    const double s = std::sqrt(1000.0);
    const double low = 0.5 * std::log(900.0) + 0.5 * std::log(400.0);
    const double high = 0.5 * std::log(500.0) + 0.5 * std::log(250.0);
    ExpectClose(std::exp(0.75 * low + 0.25 * high), m.Viscosity(s, 210.0));
}

TEST(MatrixModel, GivesNoValueOutsideItsGrid) {
    const MatrixModel m = Grid();
    EXPECT_FALSE(m.Viscosity(5.0, 220.0).has_value());
    EXPECT_FALSE(m.Viscosity(2000.0, 220.0).has_value());
    EXPECT_FALSE(m.Viscosity(100.0, 199.0).has_value());
    EXPECT_FALSE(m.Viscosity(100.0, 260.0).has_value());
    EXPECT_FALSE(m.Viscosity(0.0, 220.0).has_value());
    EXPECT_FALSE(m.Viscosity(-10.0, 220.0).has_value());
}

TEST(MatrixModel, RefusesAGridOfOneTemperatureOrOneShearRate) {
    MatrixModel one = Grid();
    one.temperatures = {200.0};
    one.ln_viscosity.resize(3);
    EXPECT_EQ(one.Problem(), "the matrix has fewer than two temperatures");
    EXPECT_FALSE(one.Viscosity(100.0, 200.0).has_value());
    MatrixModel narrow = Grid();
    narrow.ln_shear = {std::log(10.0)};
    narrow.ln_viscosity = {1.0, 2.0};
    EXPECT_EQ(narrow.Problem(), "the matrix has fewer than two shear rates");
    MatrixModel falling = Grid();
    falling.temperatures = {240.0, 200.0};
    EXPECT_EQ(falling.Problem(), "the matrix temperatures do not rise");
}

// b5 441 K, b6 1.5e-7 K/Pa; melt and solid coefficients; b7 b8 b9.
constexpr std::array<double, 13> kTait = {441.0,       1.5e-7,     0.00127383,  8.91678e-07, 1e+08,
                                          0.0045,      0.00114759, 2.98343e-07, 2.5e+08,     0.0035,
                                          0.000126235, 0.1,        1.5e-08};

TEST(TaitModel, MeltDomainAboveTheTransition) {
    const TaitModel m{kTait};
    const double t = 250.0, p = 50e6;
    const double dt = t + 273.15 - 441.0;
    const double v0 = 0.00127383 + 8.91678e-07 * dt;
    const double b = 1e+08 * std::exp(-0.0045 * dt);
    ExpectClose(v0 * (1.0 - 0.0894 * std::log(1.0 + p / b)), m.Volume(t, p));
}

TEST(TaitModel, SolidDomainBelowTheTransitionAddsTheExponentialTerm) {
    const TaitModel m{kTait};
    const double t = 100.0, p = 20e6;
    const double dt = t + 273.15 - 441.0;
    const double v0 = 0.00114759 + 2.98343e-07 * dt;
    const double b = 2.5e+08 * std::exp(-0.0035 * dt);
    const double vt = 0.000126235 * std::exp(0.1 * dt - 1.5e-08 * p);
    ExpectClose(v0 * (1.0 - 0.0894 * std::log(1.0 + p / b)) + vt, m.Volume(t, p));
}

TEST(TaitModel, TransitionMovesUpWithPressure) {
    const TaitModel m{kTait};
    EXPECT_NEAR(m.TransitionTemperature(0.0), 441.0 - 273.15, 1e-9);
    EXPECT_NEAR(m.TransitionTemperature(100e6), 441.0 + 15.0 - 273.15, 1e-9);
    // At zero pressure the melt side is b1m at the transition itself.
    ExpectClose(0.00127383, m.Volume(441.0 - 273.15, 0.0));
}

TEST(TaitModel, RefusesZeroB3AndUnsetCoefficients) {
    std::array<double, 13> b = kTait;
    b[4] = 0.0;
    EXPECT_EQ(TaitModel{b}.Problem(), "b3m is not positive");
    b = kTait;
    b[8] = 0.0;
    EXPECT_EQ(TaitModel{b}.Problem(), "b3s is not positive");
    b = kTait;
    b[12] = -16384.0;
    EXPECT_EQ(TaitModel{b}.Problem(), "a coefficient is unset (-16384)");
    EXPECT_EQ(TaitModel{kTait}.Problem(), "");
}

// k0..k12 of a grade whose transition lies at 167.85 °C at zero pressure.
constexpr std::array<double, 13> kOwn = {
    3.06911e+06, 834.291, 2.79642e+09, 2.79642e+09, 0,          0,          0,
    1.25745e+06, 997.403, 1.11857e+09, 1.11857e+09, -1.119e+09, 6.66667e+06};

TEST(OwnPvtModel, TwoDomainsSplitByTheTransitionLine) {
    const OwnPvtModel m{kOwn};
    const double transition = 1.119e9 / 6.66667e6;
    EXPECT_NEAR(m.TransitionTemperature(0.0), transition, 1e-9);
    // Melt: k7 / (k10 + P) + k8 T / (k9 + P).
    const double p = 50e6;
    ExpectClose(1.25745e+06 / (1.11857e+09 + p) + 997.403 * 230.0 / (1.11857e+09 + p),
                m.Volume(230.0, p));
    // Solid: k0 / (k3 + P) + k1 T / (k2 + P).
    ExpectClose(3.06911e+06 / (2.79642e+09 + p) + 834.291 * 50.0 / (2.79642e+09 + p),
                m.Volume(50.0, p));
}

TEST(OwnPvtModel, SolidExponentialTermWhenK4IsSet) {
    std::array<double, 13> k = kOwn;
    k[4] = 1e-4;
    k[5] = 0.05;
    k[6] = 1e-8;
    const double expected =
        3.06911e+06 / 2.79642e+09 + 834.291 * 60.0 / 2.79642e+09 + 1e-4 * std::exp(0.05 * 60.0);
    ExpectClose(expected, OwnPvtModel{k}.Volume(60.0, 0.0));
}

TEST(OwnPvtModel, RefusesAMissingTransitionLine) {
    std::array<double, 13> k = kOwn;
    k[12] = 0.0;
    EXPECT_EQ(OwnPvtModel{k}.Problem(), "k12 is 0 (no transition line)");
    EXPECT_EQ(OwnPvtModel{}.Problem(), "all coefficients are 0");
}

}  // namespace
}  // namespace tarnvel::curves
