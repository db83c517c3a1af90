// The curves sampled from grades built in memory: which models a grade
// gives, what the curves hold in display units, and how unusable
// coefficients and points become warnings instead of curves.
#include <gtest/gtest.h>

#include <cmath>

#include "curves/curves.h"
#include "curves_test_support.h"

namespace tarnvel::curves {
namespace {

using namespace testing;

// Three temperatures of three shear rates: a grid the fit turns into a
// matrix model and the 1st- and 2nd-order models.
const std::vector<double> kGrid = {200, 100, 366.491, 200, 1000, 81.9199, 200, 10000, 16.1419,
                                   230, 100, 288.899, 230, 1000, 68.9109, 230, 10000, 13.7925,
                                   280, 100, 204.294, 280, 1000, 54.5402, 280, 10000, 11.2524};

double CrossWlf(double s, double t) {
    const double x = t + 273.15 - 263.15;
    const double eta0 = 5.20453e12 * std::exp(-27.0 * x / (51.6 + x));
    return eta0 / (1.0 + std::pow(eta0 * s / 25000.0, 0.72));
}

TEST(ViscosityCurves, OneCurvePerModelAndPointTemperatureOverOneToAMillion) {
    const MdGrade grade = Grade("ALDER", "G1", {List(83, kCrossWlf), ViscosityPoints(kGrid)});
    const CurveSet set = GradeCurves(grade, PlotKind::kViscosity);
    EXPECT_EQ(set.source, "ALDER G1");
    EXPECT_TRUE(set.warnings.empty()) << set.warnings.front();
    ExpectDrawable(set);
    for (const char* model : {"Cross-WLF", "1st order", "2nd order", "matrix", "points"}) {
        ASSERT_EQ(CurvesOf(set, model).size(), 3u) << model;
    }
    const std::vector<const SampledCurve*> cross = CurvesOf(set, "Cross-WLF");
    EXPECT_EQ(*cross[0]->parameter, 200.0);
    EXPECT_EQ(*cross[1]->parameter, 230.0);
    EXPECT_EQ(*cross[2]->parameter, 280.0);
    for (const SampledCurve* c : cross) {
        EXPECT_NEAR(c->points.front().first, 1.0, 1e-12);
        EXPECT_NEAR(c->points.back().first, 1e6, 1e-3);
        for (const auto& [s, v] : c->points) {
            EXPECT_NEAR(v, CrossWlf(s, *c->parameter), 1e-6 * v);
        }
    }
}

TEST(ViscosityCurves, TheMatrixCurveStaysOnItsGridAndMeetsThePoints) {
    const MdGrade grade = Grade("ALDER", "G1", {ViscosityPoints(kGrid)});
    const CurveSet set = GradeCurves(grade, PlotKind::kViscosity);
    const std::vector<const SampledCurve*> matrix = CurvesOf(set, "matrix");
    ASSERT_EQ(matrix.size(), 3u);
    for (const SampledCurve* c : matrix) {
        EXPECT_NEAR(c->points.front().first, 100.0, 1e-9);
        EXPECT_NEAR(c->points.back().first, 10000.0, 1e-6);
        // Two decades at 10 samples each, the grid nodes not taken twice.
        EXPECT_EQ(c->points.size(), 21u);
    }
    // At 230 °C and 1000 1/s the matrix gives the point itself.
    bool met = false;
    for (const auto& [s, v] : matrix[1]->points) {
        if (std::fabs(s - 1000.0) < 1e-9) {
            EXPECT_NEAR(v, 68.9109, 1e-4);
            met = true;
        }
    }
    EXPECT_TRUE(met);
    // The points are the standard points, in Pa·s against 1/s.
    const std::vector<const SampledCurve*> points = CurvesOf(set, "points");
    ASSERT_EQ(points[0]->points.size(), 3u);
    EXPECT_NEAR(points[0]->points[0].first, 100.0, 1e-9);
    EXPECT_NEAR(points[0]->points[0].second, 366.491, 1e-4);
}

TEST(ViscosityCurves, ShearRangeWidensByWholeDecadesToCoverThePoints) {
    ModelSet models;
    models.viscosity_points = {{200, 0.05, 900}, {200, 3.0e6, 2}};
    const std::vector<double> rates = ShearRates(models);
    EXPECT_NEAR(rates.front(), 0.01, 1e-15);
    EXPECT_NEAR(rates.back(), 1e7, 1e-6);
    EXPECT_EQ(rates.size(), 91u);
}

TEST(ViscosityCurves, TemperaturesComeFromPointsThenMeltTemperaturesThenClassTemperature) {
    ModelSet models;
    models.melt_temperatures = {200, 230, 280};
    EXPECT_EQ(ViscosityTemperatures(models, {}), (std::vector<double>{200, 230, 280}));
    models.viscosity_points = {{210, 100, 50}, {250, 100, 30}, {210, 1000, 10}};
    EXPECT_EQ(ViscosityTemperatures(models, {}), (std::vector<double>{210, 250}));
    ModelSet bare;
    EXPECT_TRUE(ViscosityTemperatures(bare, {}).empty());
    EXPECT_EQ(ViscosityTemperatures(bare, {240.0}), (std::vector<double>{220, 240, 260}));
}

TEST(ViscosityCurves, GradeMeltTemperaturesAreUsedWithoutPoints) {
    const MdGrade grade = Grade(
        "ALDER", "G2", {List(83, kCrossWlf), Single(43, 200), Single(44, 280), Single(45, 230)});
    const CurveSet set = GradeCurves(grade, PlotKind::kViscosity);
    const std::vector<const SampledCurve*> cross = CurvesOf(set, "Cross-WLF");
    ASSERT_EQ(cross.size(), 3u);
    EXPECT_EQ(*cross[1]->parameter, 230.0);
    const CurveSet none =
        GradeCurves(Grade("ALDER", "G3", {List(83, kCrossWlf)}), PlotKind::kViscosity);
    EXPECT_TRUE(none.curves.empty());
    EXPECT_TRUE(AnyHolds(none.warnings, "no temperature to draw them at"));
}

TEST(BadInput, UnsetAndAbsurdCoefficientsAreLeftOutWithTheirReason) {
    std::vector<double> negative_d1 = kCrossWlf;
    negative_d1[0] = -5e12;
    std::vector<double> zero_b3 = {441,     1.5e-7, 0.00127, 8.9e-7, 0, 0.0045, 0.00114,
                                   2.98e-7, 2.5e8,  0.0035,  0,      0, 0};
    const MdGrade grade =
        Grade("BAD", "B1",
              {List(79, {1e4, -16384, -0.01}), List(80, {9, -0.2}), List(82, {1, 2, 3, 4, 5}),
               List(83, negative_d1), List(88, std::vector<double>(13, -16384)), List(89, zero_b3),
               Single(45, 230)});
    const CurveSet viscosity = GradeCurves(grade, PlotKind::kViscosity);
    EXPECT_TRUE(viscosity.curves.empty());
    const std::vector<std::string>& w = viscosity.warnings;
    EXPECT_TRUE(
        AnyHolds(w, "BAD B1: Cross-WLF Viscosity Coefficients left out: D1 is not positive"));
    EXPECT_TRUE(AnyHolds(w,
                         "Vantorel 1st Order Viscosity Coefficients left out: a coefficient is "
                         "unset (-16384)"));
    EXPECT_TRUE(AnyHolds(w, "Vantorel 2nd Order Viscosity Coefficients left out: it holds 2 of 6"));
    EXPECT_TRUE(AnyHolds(w, "Carreau Viscosity Coefficients left out"));
    EXPECT_EQ(w.size(), 4u);
    const CurveSet pvt = GradeCurves(grade, PlotKind::kPvt);
    EXPECT_TRUE(pvt.curves.empty());
    EXPECT_TRUE(
        AnyHolds(pvt.warnings, "Modified Tait PVT Coefficients left out: b3m is not positive"));
    EXPECT_TRUE(
        AnyHolds(pvt.warnings, "Vantorel PVT Coefficients left out: a coefficient is unset"));
    EXPECT_EQ(pvt.warnings.size(), 2u);
}

TEST(BadInput, PointsWithZeroOrNegativeShearRateOrVolumeAreDroppedAndCounted) {
    std::vector<double> rows = kGrid;
    rows[1] = 0.0;   // shear rate 0
    rows[5] = -3.0;  // viscosity below 0
    const MdGrade grade =
        Grade("BAD", "B2",
              {ViscosityPoints(rows), PvtPoints({20, 0, 0.0011, 80, 0, -0.001, 200, 0, 0.0013})});
    const CurveSet viscosity = GradeCurves(grade, PlotKind::kViscosity);
    ExpectDrawable(viscosity);
    EXPECT_TRUE(AnyHolds(viscosity.warnings, "2 Viscosity points left out"));
    EXPECT_TRUE(AnyHolds(viscosity.warnings, "Viscosity points not fitted: some are unusable"));
    std::size_t points = 0;
    for (const SampledCurve* c : CurvesOf(viscosity, "points")) points += c->points.size();
    EXPECT_EQ(points, 7u);
    const CurveSet pvt = GradeCurves(grade, PlotKind::kPvt);
    ExpectDrawable(pvt);
    EXPECT_TRUE(AnyHolds(pvt.warnings, "1 PVT Specific Volume points left out"));
    ASSERT_EQ(CurvesOf(pvt, "points").size(), 1u);
    EXPECT_EQ(CurvesOf(pvt, "points")[0]->points.size(), 2u);
}

TEST(BadInput, AMatrixOfOneTemperatureIsNotDrawn) {
    std::vector<double> rows;
    for (double s : {10, 20, 50, 100, 200, 500, 1000}) {
        rows.insert(rows.end(), {230, s, 1000.0 / std::sqrt(s)});
    }
    const CurveSet set =
        GradeCurves(Grade("BAD", "B3", {ViscosityPoints(rows)}), PlotKind::kViscosity);
    EXPECT_TRUE(CurvesOf(set, "matrix").empty());
    EXPECT_TRUE(AnyHolds(set.warnings,
                         "matrix fit left out: the matrix has fewer than two "
                         "temperatures"));
    EXPECT_EQ(CurvesOf(set, "points").size(), 1u);
    ExpectDrawable(set);
}

TEST(BadInput, AModelWithNoFiniteValueIsReportedNotDrawn) {
    // A2 + T - D2 is 0 at 230 °C: the exponent divides by zero there.
    std::vector<double> cross = kCrossWlf;
    cross[1] = 230 + 273.15 + 51.6;
    const MdGrade grade = Grade("BAD", "B4", {List(83, cross), Single(45, 230)});
    const CurveSet set = GradeCurves(grade, PlotKind::kViscosity);
    EXPECT_TRUE(set.curves.empty());
    EXPECT_TRUE(
        AnyHolds(set.warnings, "BAD B4: Cross-WLF not drawn: no finite positive viscosity"));
    EXPECT_EQ(CurveCsvText({set}).find("nan"), std::string::npos);
}

// Tait coefficients: transition at 441 K + 1.5e-7 K/Pa.
const std::vector<double> kTait = {441.0,       1.5e-7,     0.00127383,  8.91678e-07, 1e+08,
                                   0.0045,      0.00114759, 2.98343e-07, 2.5e+08,     0.0035,
                                   0.000126235, 0.1,        1.5e-08};

TEST(PvtCurves, IsobarsInCubicCentimetresPerGramAndTheTransitionLine) {
    const MdGrade grade = Grade("ALDER", "G5", {List(89, kTait)});
    const CurveSet set = GradeCurves(grade, PlotKind::kPvt);
    EXPECT_TRUE(set.warnings.empty());
    ExpectDrawable(set);
    const std::vector<const SampledCurve*> isobars = CurvesOf(set, "Modified Tait");
    ASSERT_EQ(isobars.size(), 5u);
    // The grade's floats read back as these short decimals.
    TaitModel tait;
    std::copy(kTait.begin(), kTait.end(), tait.b.begin());
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(*isobars[i]->parameter, 50.0 * static_cast<double>(i));
        EXPECT_NEAR(isobars[i]->points.front().first, 20.0, 1e-9);
        EXPECT_NEAR(isobars[i]->points.back().first, 300.0, 1e-9);
        for (const auto& [t, v] : isobars[i]->points) {
            EXPECT_NEAR(v, 1000.0 * tait.Volume(t, *isobars[i]->parameter * 1e6), 1e-6);
        }
    }
    // Specific volume rises with temperature and falls with pressure.
    EXPECT_GT(isobars[0]->points.back().second, isobars[0]->points.front().second);
    EXPECT_GT(isobars[0]->points.back().second, isobars[4]->points.back().second);
    const std::vector<const SampledCurve*> transition = CurvesOf(set, "Modified Tait transition");
    ASSERT_EQ(transition.size(), 1u);
    EXPECT_EQ(transition[0]->role, CurveRole::kTransition);
    EXPECT_FALSE(transition[0]->parameter.has_value());
    EXPECT_NEAR(transition[0]->points.front().first, 441.0 - 273.15, 1e-4);
    EXPECT_NEAR(transition[0]->points.back().first, 441.0 + 30.0 - 273.15, 1e-4);
}

TEST(PvtCurves, PointsAddTheirIsobarsAndAreFittedWithTheProductModel) {
    // Ten points: two solid isobars, the transition, two melt isobars.
    const std::vector<double> rows = {20,     0,     0.00110348, 80,     0,     0.0011214,
                                      20,     100e6, 0.00108239, 80,     100e6, 0.00109554,
                                      167.84, 0,     0.0012737,  182.84, 100e6, 0.00124194,
                                      200,    0,     0.00130249, 280,    0,     0.00137383,
                                      200,    100e6, 0.00121305, 280,    100e6, 0.00125383};
    const CurveSet set = GradeCurves(Grade("ALDER", "G6", {PvtPoints(rows)}), PlotKind::kPvt);
    EXPECT_TRUE(set.warnings.empty()) << set.warnings.front();
    const std::vector<const SampledCurve*> points = CurvesOf(set, "points");
    ASSERT_EQ(points.size(), 2u);
    EXPECT_EQ(*points[1]->parameter, 100.0);
    EXPECT_EQ(points[0]->points.size(), 5u);
    // The fitted model meets its melt points.
    const std::vector<const SampledCurve*> own = CurvesOf(set, "Vantorel PVT");
    ASSERT_EQ(own.size(), 5u);
    int met = 0;
    for (const auto& [t, v] : own[0]->points) {
        if (std::fabs(t - 280.0) < 1e-9) {
            EXPECT_NEAR(v, 1.37383, 1e-4);
            ++met;
        }
    }
    EXPECT_EQ(met, 1);
}

TEST(PvtCurves, PvtMatrixRowsAreMarkersByPressureAndBadRowsAreCounted) {
    const std::vector<double> rows = {200, 0,    0.0013, 250, 0,    0.00135, 200, 50e6, 0.00125,
                                      250, 50e6, -16384, 300, 50e6, 0.0,     320, 0,    0.0014};
    const CurveSet set = GradeCurves(Grade("ALDER", "G7", {List(108, rows)}), PlotKind::kPvt);
    const std::vector<const SampledCurve*> matrix = CurvesOf(set, "PVT matrix");
    ASSERT_EQ(matrix.size(), 2u);
    EXPECT_EQ(matrix[0]->role, CurveRole::kMeasured);
    EXPECT_EQ(*matrix[0]->parameter, 0.0);
    EXPECT_EQ(matrix[0]->points.size(), 3u);
    EXPECT_NEAR(matrix[0]->points[2].second, 1.4, 1e-6);
    EXPECT_EQ(*matrix[1]->parameter, 50.0);
    EXPECT_EQ(matrix[1]->points.size(), 1u);
    EXPECT_EQ(set.warnings, (std::vector<std::string>{
                                "ALDER G7: 2 PVT Matrix Model rows left out: unset, not a number, "
                                "or a volume not positive"}));
    ExpectDrawable(set);
}

}  // namespace
}  // namespace tarnvel::curves
