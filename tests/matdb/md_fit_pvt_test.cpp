#include "matdb/md_fit_pvt.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "fit_test_support.h"

namespace tarnvel::matdb {
namespace {

using fit::kPressure;
using fit::kTemperature;
using fit::kUnset;
using testing::Printed;
using testing::Relative;
using testing::Table;

using Coefficients = std::array<double, kMdPvtCoefficientCount>;

// A solid and a melt zone in base units (m3/kg, Pa, degrees C), the solid
// with or without its exponential term, and a transition line through
// 150 degrees at zero pressure.
constexpr Coefficients kLinear = {2.7e5,  120.0, 4e8,   3e8,   0.0,    0.0, 0.0,
                                  1.71e5, 132.0, 2.2e8, 1.8e8, -7.5e8, 5e6};
constexpr Coefficients kExponential = {2.7e5,  120.0, 4e8,   3e8,   2e-6,   0.03, 3e-9,
                                       1.71e5, 132.0, 2.2e8, 1.8e8, -7.5e8, 5e6};

struct Tp {
    double t, p;
};

// Points of the model in the roles of the table: the lower zone's points,
// two transition points and the upper zone's four.
Table PvtTable(const Coefficients& k, const std::vector<Tp>& lower, const std::vector<Tp>& upper) {
    Table table{kTemperature, kPressure};
    for (const Tp& q : lower) table.Row({q.t, q.p, md_pvt_volume(k, false, q.t, q.p)});
    table.Row({150, 0, md_pvt_volume(k, true, 150, 0)});
    table.Row({170, 1e8, md_pvt_volume(k, true, 170, 1e8)});
    for (const Tp& q : upper) table.Row({q.t, q.p, md_pvt_volume(k, true, q.t, q.p)});
    return table;
}

const std::vector<Tp> kLowerIsobars = {{50, 0}, {100, 0}, {50, 1e8}, {100, 1e8}};
const std::vector<Tp> kUpperIsobars = {{200, 0}, {250, 0}, {200, 1e8}, {250, 1e8}};

Table TenPoints() {
    return PvtTable(kLinear, kLowerIsobars, kUpperIsobars);
}

Table ThirteenPoints() {
    std::vector<Tp> lower = kLowerIsobars;
    lower.insert(lower.end(), {{120, 0}, {130, 1e8}, {140, 2e7}});
    return PvtTable(kExponential, lower, kUpperIsobars);
}

MdPvtFit Fit(const Table& table, std::string* printed = nullptr, bool statistics = false) {
    MdPvtFit result;
    const std::string text = Printed([&] { result = md_fit_pvt(table.view(), statistics); });
    if (printed) *printed = text;
    return result;
}

void ExpectCoefficients(const MdPvtFit& fit, const Coefficients& k, double tolerance) {
    ASSERT_TRUE(fit.available);
    for (std::size_t i = 0; i < k.size(); ++i) {
        if (k[i] == 0.0) {
            EXPECT_EQ(fit.k[i], 0.0) << "k" << i;
        } else {
            EXPECT_LT(Relative(fit.k[i], k[i]), tolerance) << "k" << i << " " << fit.k[i];
        }
    }
}

TEST(PvtFitTest, TenPointsGiveTheLinearZonesBack) {
    std::string printed;
    const MdPvtFit fit = Fit(TenPoints(), &printed, true);
    EXPECT_EQ(fit.error, 0);
    ExpectCoefficients(fit, kLinear, 1e-9);
    EXPECT_EQ(printed.find("A Linear - Linear model file is indicated\n"), 0u) << printed;
    EXPECT_NE(printed.find("Standard Points Fit Error : File Sample Size    8\n"
                           "Error = Actual - Expected\n"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("Density [kg/cu.m]"), std::string::npos);
    EXPECT_NE(printed.find("RMS"), std::string::npos);
    // Without statistics nothing is printed.
    Fit(TenPoints(), &printed, false);
    EXPECT_EQ(printed, "");
}

TEST(PvtFitTest, ThirteenPointsGiveTheExponentialTermBack) {
    std::string printed;
    const MdPvtFit fit = Fit(ThirteenPoints(), &printed, true);
    EXPECT_EQ(fit.error, 0) << printed;
    ExpectCoefficients(fit, kExponential, 1e-7);
    EXPECT_EQ(printed.find("A Linear/Exp. - Linear model file is indicated\n"), 0u);
    EXPECT_NE(printed.find("File Sample Size   11\n"), std::string::npos) << printed;
}

TEST(PvtFitTest, IsobarsOffOnePressureAreSolvedOverAllFourPoints) {
    const std::vector<Tp> lower = {{50, 0}, {100, 2e6}, {50, 1e8}, {100, 1.03e8}};
    const std::vector<Tp> upper = {{200, 1e6}, {250, 0}, {200, 1e8}, {250, 0.97e8}};
    const MdPvtFit fit = Fit(PvtTable(kLinear, lower, upper));
    EXPECT_EQ(fit.error, 0);
    ExpectCoefficients(fit, kLinear, 1e-7);
}

TEST(PvtFitTest, ATableOfOtherThanTenOrThirteenPointsIsRefusedWithTheMaximum) {
    Table eleven = TenPoints();
    eleven.Row({300, 0, 1.1e-3});
    std::string printed;
    const MdPvtFit fit = Fit(eleven, &printed);
    EXPECT_EQ(fit.error, 15026);
    EXPECT_FALSE(fit.available);
    EXPECT_EQ(fit.k[0], kUnset);
    EXPECT_NE(printed.find("Too many sets of data points to analyse Max=          13\n"),
              std::string::npos)
        << printed;
    Table wrong{kTemperature, fit::kShearRate};
    wrong.values = TenPoints().values;
    EXPECT_EQ(Fit(wrong).error, 15025);
    Table crystallinity{kTemperature, fit::kDegCrystallinity};
    crystallinity.values = TenPoints().values;
    EXPECT_EQ(Fit(crystallinity).error, 0);
}

struct Mutation {
    const char* name;
    std::size_t row, column;
    double value;
    int code;
};

TEST(PvtFitTest, EachDegenerateInputHasItsCode) {
    const Table good = TenPoints();
    const std::vector<Mutation> cases = {
        {"lower isobars at one pressure", 2, 1, 0.0, 0},
        {"lower isobar at one temperature", 1, 0, 50.0, 15108},
        {"lower isobar of one volume", 1, 2, good.values[2], 15109},
        {"transition at one temperature", 5, 0, 150.0, 15113},
        {"transition at one pressure", 5, 1, 0.0, 15114},
        {"upper isobar at one temperature", 7, 0, 200.0, 15116},
        {"upper isobar of one volume", 9, 2, good.values[8 * 3 + 2], 15117},
        {"zero volume", 3, 2, 0.0, 15098},
        {"negative volume", 8, 2, -1e-3, 15098},
        {"not a number", 0, 1, NAN, 15015},
        {"infinite", 6, 0, INFINITY, 15015},
    };
    for (const Mutation& m : cases) {
        Table table = good;
        table.at(m.row, m.column) = m.value;
        if (m.code == 0) {
            // Both points of the second isobar moved to the first's pressure.
            table.at(3, 1) = 0.0;
            EXPECT_EQ(Fit(table).error, 15107) << m.name;
            continue;
        }
        std::string printed;
        const MdPvtFit fit = Fit(table, &printed);
        EXPECT_EQ(fit.error, m.code) << m.name;
        EXPECT_FALSE(fit.available) << m.name;
        EXPECT_NE(printed.find("TESSEL ERROR"), std::string::npos) << m.name;
    }
    Table upper_pressures = good;
    upper_pressures.at(8, 1) = 0.0;
    upper_pressures.at(9, 1) = 0.0;
    EXPECT_EQ(Fit(upper_pressures).error, 15115);
}

// Four zone points on two isobars v = i + g T with the given intercepts
// and gradients.
void SetIsobars(Table& table, std::size_t first, double i1, double g1, double i2, double g2) {
    const double points[4][4] = {
        {50, 0, i1, g1}, {100, 0, i1, g1}, {50, 1e8, i2, g2}, {100, 1e8, i2, g2}};
    for (std::size_t j = 0; j < 4; ++j) {
        const auto& q = points[j];
        table.at(first + j, 0) = q[0] + (first > 0 ? 150 : 0);
        table.at(first + j, 1) = q[1];
        table.at(first + j, 2) = q[2] + q[3] * table.at(first + j, 0);
    }
}

TEST(PvtFitTest, EqualInterceptsOrGradientsOfAZoneAreReported) {
    Table table = TenPoints();
    SetIsobars(table, 0, 9e-4, 3e-7, 9e-4, 2e-7);
    EXPECT_EQ(Fit(table).error, 15111);
    table = TenPoints();
    SetIsobars(table, 0, 9e-4, 3e-7, 8e-4, 3e-7);
    EXPECT_EQ(Fit(table).error, 15112);
    table = TenPoints();
    SetIsobars(table, 6, 9e-4, 6e-7, 8e-4, 6e-7);
    EXPECT_EQ(Fit(table).error, 15118);
    table = TenPoints();
    SetIsobars(table, 6, 9e-4, 6e-7, 9e-4, 5e-7);
    EXPECT_EQ(Fit(table).error, 15119);
}

TEST(PvtFitTest, AnUndefinedUpperZoneGetsZeroCoefficients) {
    for (const bool thirteen : {false, true}) {
        Table table = thirteen ? ThirteenPoints() : TenPoints();
        const std::size_t first_upper = thirteen ? 9 : 6;
        // Only the first temperature of the zone decides; the rest may hold
        // anything.
        table.at(first_upper, 0) = kUnset;
        table.at(first_upper + 1, 2) = kUnset;
        std::string printed;
        const MdPvtFit fit = Fit(table, &printed, true);
        EXPECT_EQ(fit.error, 0);
        EXPECT_TRUE(fit.no_upper_zone);
        // The lower zone and the transition line as given, the upper zone
        // zero.
        Coefficients expected = thirteen ? kExponential : kLinear;
        for (std::size_t i = 7; i <= 10; ++i) expected[i] = 0.0;
        ExpectCoefficients(fit, expected, thirteen ? 1e-7 : 1e-9);
        EXPECT_NE(printed.find("No Upper Zone defined\n"), std::string::npos);
        // The statistics cover the lower zone's points only.
        const std::string size = thirteen ? "7\n" : "4\n";
        EXPECT_NE(printed.find("File Sample Size    " + size), std::string::npos) << printed;
        EXPECT_EQ(printed.find("TESSEL ERROR"), std::string::npos);
    }
}

TEST(PvtFitTest, ALowerZoneWithoutAnExcessFailsItsEstimate) {
    Table table = ThirteenPoints();
    // Point 5 below the linear part: no exponential term can reach it.
    table.at(4, 2) = md_pvt_volume(kLinear, false, 120, 0) * 0.99;
    EXPECT_EQ(Fit(table).error, 15110);
    // Points 5 to 7 far off any smooth lower zone: the refinement does not
    // meet them, and the estimate fails rather than return coefficients
    // that miss them.
    table = ThirteenPoints();
    table.at(5, 2) *= 1.5;
    table.at(6, 2) *= 0.98;
    EXPECT_EQ(Fit(table).error, 15110);
}

TEST(PvtMatrixCopyTest, RowsAreCopiedUnchangedAndBadValuesRefused) {
    Table table{kTemperature, kPressure};
    table.Row({200, 0, 1.1e-3}).Row({200, 1e8, 1.05e-3});
    const MdPvtMatrix copy = md_copy_pvt_matrix(table.view());
    EXPECT_TRUE(copy.available);
    EXPECT_EQ(copy.rows, table.values);
    table.at(1, 2) = NAN;
    MdPvtMatrix bad;
    const std::string printed = Printed([&] { bad = md_copy_pvt_matrix(table.view()); });
    EXPECT_FALSE(bad.available);
    EXPECT_TRUE(bad.rows.empty());
    EXPECT_EQ(bad.error, 15015);
    EXPECT_NE(printed.find("Numeric data expected"), std::string::npos);
    Table single{kTemperature};
    single.Row({200, 1e-3});
    Printed([&] { EXPECT_EQ(md_copy_pvt_matrix(single.view()).error, 15025); });
}

}  // namespace
}  // namespace tarnvel::matdb
