// The chart of several materials side by side and the CSV table of their
// curves.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "chart_readback.h"
#include "curves/curves.h"
#include "curves_test_support.h"

namespace tarnvel::curves {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const std::vector<double> kPoints = {200, 100, 366.491, 200, 1000, 81.9199, 230, 100, 288.899};

std::vector<CurveSet> TwoGrades(PlotKind kind) {
    std::vector<double> other = kCrossWlf;
    other[0] = 8.0e12;
    const std::vector<double> tait = {
        441,         1.5e-07, 0.00127383, 8.91678e-07, 1e+08, 0.0045, 0.00114759,
        2.98343e-07, 2.5e+08, 0.0035,     0,           0,     0};
    return {GradeCurves(Grade("ALDERPOL", "AP120",
                              {List(83, kCrossWlf), List(89, tait), ViscosityPoints(kPoints)}),
                        kind),
            GradeCurves(Grade("BRAMBLE", "X, 2", {List(83, other), Single(45, 230)}), kind)};
}

TEST(Chart, TwoGradesInTheirOwnColoursWithLegendsAndLogAxes) {
    const Chart chart = MakeChart(TwoGrades(PlotKind::kViscosity), PlotKind::kViscosity);
    EXPECT_TRUE(chart.x.logarithmic);
    EXPECT_TRUE(chart.y.logarithmic);
    EXPECT_EQ(chart.x.label, "Shear rate (1/s)");
    EXPECT_EQ(chart.y.label, "Viscosity (Pa·s)");
    EXPECT_EQ(chart.title, "Viscosity: ALDERPOL AP120, BRAMBLE X, 2");
    std::set<int> colours;
    std::size_t first = 0, second = 0;
    for (const Series& s : chart.series) {
        colours.insert(s.colour);
        (s.colour == 0 ? first : second) += 1;
        EXPECT_FALSE(s.points.empty());
        for (const auto& [x, y] : s.points) EXPECT_TRUE(x > 0 && y > 0);
    }
    EXPECT_EQ(colours, (std::set<int>{0, 1}));
    // AP120: Cross-WLF at 200 and 230 °C and two groups of points; the
    // other: Cross-WLF at its suggested melt temperature.
    EXPECT_EQ(first, 4u);
    EXPECT_EQ(second, 1u);
    EXPECT_EQ(DrawnSeries(chart), 5u);
    EXPECT_EQ(chart.series[0].label, "ALDERPOL AP120, Cross-WLF, 200 °C");
    EXPECT_EQ(chart.series[0].line, LineStyle::kSolid);
    EXPECT_TRUE(chart.series[0].connect);
    const Series& points = chart.series[2];
    EXPECT_EQ(points.label, "ALDERPOL AP120, points, 200 °C");
    EXPECT_FALSE(points.connect);
    EXPECT_EQ(points.marker, Marker::kCircle);
    EXPECT_EQ(chart.series[3].marker, Marker::kSquare);
    EXPECT_EQ(chart.series[4].label, "BRAMBLE X, 2, Cross-WLF, 230 °C");
}

TEST(Chart, PvtIsLinearWithTheTransitionDotted) {
    const Chart chart = MakeChart(TwoGrades(PlotKind::kPvt), PlotKind::kPvt);
    EXPECT_FALSE(chart.x.logarithmic);
    EXPECT_FALSE(chart.y.logarithmic);
    EXPECT_EQ(chart.x.label, "Temperature (°C)");
    EXPECT_EQ(chart.y.label, "Specific volume (cm³/g)");
    // Five isobars and the transition of the one grade with Tait; the
    // other has no PVT model.
    ASSERT_EQ(chart.series.size(), 6u);
    EXPECT_EQ(chart.series[1].label, "ALDERPOL AP120, Modified Tait, 50 MPa");
    EXPECT_EQ(chart.series[5].label, "ALDERPOL AP120, Modified Tait transition");
    EXPECT_EQ(chart.series[5].line, LineStyle::kDotted);
}

TEST(Chart, SetsOfTheOtherKindAreLeftOut) {
    const Chart chart = MakeChart(TwoGrades(PlotKind::kPvt), PlotKind::kViscosity);
    EXPECT_TRUE(chart.series.empty());
    EXPECT_EQ(DrawnSeries(chart), 0u);
}

TEST(CsvTable, OneRowPerPointWithSourceModelParameterAndShortestNumbers) {
    const std::vector<CurveSet> sets = TwoGrades(PlotKind::kViscosity);
    const std::vector<std::vector<std::string>> rows = ParseCsv(CurveCsvText(sets));
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], (std::vector<std::string>{"source", "model", "temperature_C",
                                                 "shear_rate_per_s", "viscosity_Pa_s"}));
    std::size_t points = 0;
    for (const CurveSet& set : sets) {
        for (const SampledCurve& c : set.curves) points += c.points.size();
    }
    ASSERT_EQ(rows.size(), points + 1);
    // The first point of the first curve: 1/s at 200 °C, read back exactly.
    const SampledCurve& first = sets[0].curves[0];
    EXPECT_EQ(rows[1][0], "ALDERPOL AP120");
    EXPECT_EQ(rows[1][1], "Cross-WLF");
    EXPECT_EQ(rows[1][2], "200");
    EXPECT_EQ(rows[1][3], "1");
    EXPECT_EQ(std::stod(rows[1][4]), first.points[0].second);
    // The source with a comma is quoted and reads back whole.
    EXPECT_EQ(rows.back()[0], "BRAMBLE X, 2");
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 5u);
        for (const std::string& field : row) {
            EXPECT_EQ(field.find("nan"), std::string::npos);
            EXPECT_EQ(field.find("inf"), std::string::npos);
        }
    }
}

TEST(CsvTable, PvtRowsGivePressureAndLeaveTheTransitionWithoutOne) {
    const std::vector<std::vector<std::string>> rows =
        ParseCsv(CurveCsvText(TwoGrades(PlotKind::kPvt)));
    EXPECT_EQ(rows[0][2], "pressure_MPa");
    EXPECT_EQ(rows[0][4], "specific_volume_cm3_per_g");
    std::size_t transition = 0;
    for (const auto& row : rows) {
        if (row[1] == "Modified Tait transition") {
            EXPECT_EQ(row[2], "");
            ++transition;
        }
    }
    EXPECT_EQ(transition, 41u);
    EXPECT_EQ(rows[1][2], "0");
    EXPECT_EQ(rows[1][3], "20");
}

class CsvFile : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "curvecsvXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }
    fs::path root_;
};

TEST_F(CsvFile, WritesTheTableAndRefusesAPathThatCannotBeWritten) {
    const std::vector<CurveSet> sets = TwoGrades(PlotKind::kViscosity);
    const std::string path = (root_ / "curves.csv").string();
    std::string error;
    ASSERT_TRUE(WriteCurveCsv(sets, path, &error)) << error;
    std::ifstream in(path);
    const std::string written((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(written, CurveCsvText(sets));

    fs::create_directories(root_ / "folder");
    EXPECT_FALSE(WriteCurveCsv(sets, (root_ / "folder").string(), &error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
    const std::string missing = (root_ / "no" / "such" / "t.csv").string();
    EXPECT_FALSE(WriteCurveCsv(sets, missing, &error));
    EXPECT_FALSE(fs::exists(missing));
    // Nothing else was left beside the good file and the folder.
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(root_)) entries += entry.exists() ? 1 : 0;
    EXPECT_EQ(entries, 2u);
}

}  // namespace
}  // namespace tarnvel::curves
