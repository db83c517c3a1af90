// The numeric conversions of the property set builder, checked against
// values computed independently (data/property_formulas_check.py).
#include "convert/property_formulas.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "property_test_support.h"

namespace {

using namespace tarnvel::convert;
using property_test::Expected;

// Equal within a relative 1e-12 (exactly equal when the reference is 0).
void ExpectClose(std::span<const double> actual, const std::vector<double>& expected) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(actual[i], expected[i], std::fabs(expected[i]) * 1e-12) << "entry " << i;
    }
}

// ---- Tait conversion ----------------------------------------------------------------------------

TEST(TaitConversion, MatchesTheIndependentComputation) {
    ExpectClose(TaitFromOwnPvt(property_test::kPvtWithExtra), Expected("tait_with_extra"));
    ExpectClose(TaitFromOwnPvt(property_test::kPvtWithoutExtra), Expected("tait_without_extra"));
}

TEST(TaitConversion, TransitionAndZeroPressureVolumes) {
    // Plain checks of the first coefficients that need no reference file:
    // the transition at 160 C, its slope, and the volumes there.
    const TaitCoefficients tait = TaitFromOwnPvt(property_test::kPvtWithExtra);
    EXPECT_DOUBLE_EQ(tait[0], 433.15);
    EXPECT_DOUBLE_EQ(tait[1], 2e-7);
    EXPECT_DOUBLE_EQ(tait[2], 900.0 * 160 / 1e9 + 2.36e6 / 2e9);
    EXPECT_DOUBLE_EQ(tait[6], 450.0 * 160 / 1.5e9 + 3.3e6 / 3e9);
    EXPECT_DOUBLE_EQ(tait[10], tait[2] - tait[6]);
    EXPECT_EQ(tait[11], 0.1);
    EXPECT_EQ(tait[12], 1.5e-8);
    // Without the extra term b7..b9 are 0 and the rest is unchanged.
    const TaitCoefficients plain = TaitFromOwnPvt(property_test::kPvtWithoutExtra);
    EXPECT_EQ(plain[10], 0.0);
    EXPECT_EQ(plain[11], 0.0);
    EXPECT_EQ(plain[12], 0.0);
    EXPECT_EQ(plain[4], tait[4]);
}

TEST(TaitConversion, DegenerateCoefficientsGiveNonFiniteValues) {
    std::array<double, 13> k = property_test::kPvtWithExtra;
    k[12] = 0.0;
    EXPECT_FALSE(std::isfinite(TaitFromOwnPvt(k)[0]));
    k.fill(0.0);
    k[0] = std::numeric_limits<double>::quiet_NaN();
    const TaitCoefficients tait = TaitFromOwnPvt(k);
    for (std::size_t i = 0; i < 10; ++i) EXPECT_TRUE(std::isnan(tait[i])) << "entry " << i;
    for (std::size_t i = 10; i < 13; ++i) EXPECT_EQ(tait[i], 0.0) << "entry " << i;
}

// ---- Extensional viscosity
// -----------------------------------------------------------------------

TEST(ExtensionalViscosity, MatchesTheIndependentComputation) {
    const auto& a = property_test::kFirstOrder;
    const auto& e = property_test::kExtensional;
    const ExtensionalInputs in{a[0], a[1], a[2], e[0],
                               e[1], e[2], e[3], property_test::kMeltTemperature};
    ExpectClose(ExtensionalViscosityParameters(in), Expected("extensional"));
}

TEST(ExtensionalViscosity, ExponentDependsOnlyOnTheIndices) {
    // w1 = ((n + 1) m / (m + 1)) / n with n = A1 + 1 and m = E3 T + E1 + 1.
    const ExtensionalInputs in{1e3, -0.5, -0.01, 1.0, 0.0, -0.02, 0.002, 100.0};
    EXPECT_DOUBLE_EQ(ExtensionalViscosityParameters(in)[1], (1.5 * 1.2 / 2.2) / 0.5);
}

// ---- Viscosity index
// -------------------------------------------------------------------------------

TEST(ViscosityIndex, ViscositiesMatchTheIndependentComputation) {
    const double t = property_test::kClassTemperature;
    ExpectClose(std::vector<double>{CrossWlfIndexViscosity(property_test::kCrossWlf, t)},
                Expected("cross_wlf_viscosity"));
    ExpectClose(std::vector<double>{SecondOrderIndexViscosity(property_test::kSecondOrder, t)},
                Expected("second_order_viscosity"));
}

TEST(ViscosityIndex, TextTruncatesAndPadsWithZeros) {
    EXPECT_EQ(ViscosityIndexText(230.0, 74.697), "VI(230)0074");
    EXPECT_EQ(ViscosityIndexText(230.9, 12345.99), "VI(230)12345");
    EXPECT_EQ(ViscosityIndexText(5.0, 0.99), "VI(005)0000");
    EXPECT_EQ(ViscosityIndexText(-5.7, -3.9), "VI(-005)-0003");
}

TEST(ViscosityIndex, ValuesWithoutAnIntegerGiveNoText) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(ViscosityIndexText(230.0, nan), "");
    EXPECT_EQ(ViscosityIndexText(230.0, inf), "");
    EXPECT_EQ(ViscosityIndexText(-inf, 10.0), "");
    EXPECT_EQ(ViscosityIndexText(230.0, 3e9), "");
    EXPECT_EQ(ViscosityIndexText(230.0, 2147483647.9), "VI(230)2147483647");
}

// ---- Melt flow rate
// ----------------------------------------------------------------------------------

TEST(MeltFlowRate, RateTemperatureAndLoadFromTheText) {
    const auto values = MeltFlowRateValues("25 g/10min (230 C/2.16 kg)");
    ASSERT_TRUE(values.has_value());
    EXPECT_DOUBLE_EQ((*values)[0], 503.15);
    EXPECT_DOUBLE_EQ((*values)[1], 2.16);
    EXPECT_DOUBLE_EQ((*values)[2], 25.0);

    // Leading blanks are skipped and the load may end at ")".
    const auto other = MeltFlowRateValues("  7.5 cm3/10min (190 C/5)");
    ASSERT_TRUE(other.has_value());
    EXPECT_DOUBLE_EQ((*other)[0], 463.15);
    EXPECT_DOUBLE_EQ((*other)[1], 5.0);
    EXPECT_DOUBLE_EQ((*other)[2], 7.5);
}

TEST(MeltFlowRate, AllThreePiecesAreNeeded) {
    for (const char* text : {"", "25", "25 g/10min", "25 g/10min (230", "25 (230 C/2.16 kg)"}) {
        EXPECT_FALSE(MeltFlowRateValues(text).has_value()) << text;
    }
    // Pieces that are no numbers read as 0, as atof reads them.
    const auto words = MeltFlowRateValues("abc def (x y/z)");
    ASSERT_TRUE(words.has_value());
    EXPECT_DOUBLE_EQ((*words)[0], 273.15);
    EXPECT_EQ((*words)[1], 0.0);
    EXPECT_EQ((*words)[2], 0.0);
}

}  // namespace
