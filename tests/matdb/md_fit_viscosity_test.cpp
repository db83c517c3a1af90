#include "matdb/md_fit_viscosity.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "fit_test_support.h"

namespace tarnvel::matdb {
namespace {

using fit::kShearRate;
using fit::kTemperature;
using fit::kUnset;
using testing::Printed;
using testing::Relative;
using testing::Table;

// ln v = c1 + c2 ln s + c3 T + c4 (ln s)^2 + c5 T ln s + c6 T^2, with a
// negative c4 and a local power-law index (1 + d ln v / d ln s) below 1.
constexpr double kSecond[6] = {14.0, -0.35, -0.021, -0.012, 0.0004, 0.00002};

double SecondOrderViscosity(double t, double s) {
    const double x = std::log(s);
    return std::exp(kSecond[0] + kSecond[1] * x + kSecond[2] * t + kSecond[3] * x * x +
                    kSecond[4] * t * x + kSecond[5] * t * t);
}

// A grid of the 2nd-order model in file order: temperature blocks, each of
// the given shear rates.
Table Grid(const std::vector<double>& temperatures, const std::vector<double>& shear_rates) {
    Table table{kTemperature, kShearRate};
    for (double t : temperatures) {
        for (double s : shear_rates) table.Row({t, s, SecondOrderViscosity(t, s)});
    }
    return table;
}

MdViscosityFit Fit(const Table& table, std::string* printed = nullptr) {
    MdViscosityFit result;
    const std::string text = Printed([&] { result = md_fit_viscosity(table.view()); });
    if (printed) *printed = text;
    return result;
}

void ExpectUnavailable(const MdViscosityFit& fit) {
    EXPECT_FALSE(fit.first_order || fit.second_order || fit.matrix);
    EXPECT_EQ(fit.point_count, 0u);
    EXPECT_EQ(fit.first[0], kUnset);
    EXPECT_EQ(fit.second[0], kUnset);
    EXPECT_EQ(fit.ln_viscosity[0], kUnset);
}

TEST(ViscosityFitTest, ThreePointsGiveTheExactFirstOrderModelOnly) {
    const double a = 3.0e4, n = -0.7, b = -0.02;
    Table table{kTemperature, kShearRate};
    const double points[3][2] = {{200, 100}, {220, 1000}, {240, 5000}};
    for (const auto& p : points)
        table.Row({p[0], p[1], a * std::pow(p[1], n) * std::exp(b * p[0])});
    std::string printed;
    const MdViscosityFit fit = Fit(table, &printed);
    EXPECT_EQ(printed, "");
    ASSERT_TRUE(fit.available(kMdFirstOrder));
    EXPECT_FALSE(fit.available(kMdSecondOrder));
    EXPECT_FALSE(fit.available(kMdMatrix));
    EXPECT_LT(Relative(fit.first[0], a), 1e-9);
    EXPECT_LT(Relative(fit.first[1], n), 1e-9);
    EXPECT_LT(Relative(fit.first[2], b), 1e-9);
    EXPECT_EQ(fit.second[0], kUnset);
    ASSERT_EQ(fit.point_count, 3u);
    EXPECT_EQ(fit.points[3], 220);
    EXPECT_EQ(fit.points[8], table.at(2, 2));
    EXPECT_EQ(fit.points[9], kUnset);
}

TEST(ViscosityFitTest, TwelveGridPointsGiveTheMatrixAndReproduceTheSecondOrderModel) {
    const Table table = Grid({200, 230, 260}, {10, 100, 1000, 10000});
    const MdViscosityFit fit = Fit(table);
    ASSERT_EQ(fit.error, 0);
    ASSERT_TRUE(fit.available(kMdMatrix));
    EXPECT_EQ(fit.temperature_count, 3u);
    EXPECT_EQ(fit.shear_count, 4u);
    EXPECT_EQ(fit.temperatures[2], 260);
    EXPECT_EQ(fit.temperatures[3], kUnset);
    EXPECT_DOUBLE_EQ(fit.ln_shear[3], std::log(10000.0));
    EXPECT_EQ(fit.ln_shear[4], kUnset);
    EXPECT_DOUBLE_EQ(fit.ln_viscosity[1 * 10 + 2], std::log(SecondOrderViscosity(230, 1000)));
    EXPECT_EQ(fit.ln_viscosity[0 * 10 + 4], kUnset);
    EXPECT_EQ(fit.ln_viscosity[3 * 10 + 0], kUnset);

    ASSERT_TRUE(fit.available(kMdSecondOrder));
    for (int i = 0; i < 6; ++i) EXPECT_LT(Relative(fit.second[i], kSecond[i]), 1e-9) << i;
    // The 1st-order least squares of a shear-thinning melt.
    ASSERT_TRUE(fit.available(kMdFirstOrder));
    EXPECT_GT(fit.first[0], 0.0);
    EXPECT_LT(fit.first[1], 0.0);
    EXPECT_LT(fit.first[2], 0.0);
    EXPECT_EQ(fit.point_count, 6u);
    EXPECT_EQ(fit.points[3 * 3 + 1], 10000);
}

TEST(ViscosityFitTest, SixPointsGiveBothLeastSquaresModels) {
    Table table{kTemperature, kShearRate};
    const double points[6][2] = {{200, 10},   {200, 1000}, {230, 100},
                                 {230, 5000}, {260, 50},   {260, 20000}};
    for (const auto& p : points) table.Row({p[0], p[1], SecondOrderViscosity(p[0], p[1])});
    const MdViscosityFit fit = Fit(table);
    ASSERT_TRUE(fit.available(kMdSecondOrder));
    ASSERT_TRUE(fit.available(kMdFirstOrder));
    EXPECT_FALSE(fit.available(kMdMatrix));
    for (int i = 0; i < 6; ++i) EXPECT_LT(Relative(fit.second[i], kSecond[i]), 1e-8) << i;
}

struct GridCase {
    const char* name;
    std::vector<double> t;
    std::vector<double> s;
    int code;
};

TEST(ViscosityFitTest, EachGridFaultHasItsCode) {
    const std::vector<double> s4 = {10, 100, 1000, 10000};
    const std::vector<GridCase> cases = {
        {"temperature falls in the first run",
         {200, 200, 190, 200, 230, 230, 230, 230},
         {10, 100, 10, 100, 10, 100, 1000, 10000},
         9030},
        {"next block colder",
         {230, 230, 230, 230, 200, 200, 200, 200},
         {10, 100, 1000, 10000, 10, 100, 1000, 10000},
         9030},
        {"shear rates fall",
         {200, 200, 200, 200, 230, 230, 230, 230},
         {10, 1000, 100, 10000, 10, 1000, 100, 10000},
         9031},
        {"incomplete block",
         {200, 200, 200, 200, 230, 230, 230},
         {10, 100, 1000, 10000, 10, 100, 1000},
         9032},
        {"temperature varies in a block",
         {200, 200, 200, 200, 230, 230, 240, 230},
         {10, 100, 1000, 10000, 10, 100, 1000, 10000},
         9032},
        {"other shear rates",
         {200, 200, 200, 200, 230, 230, 230, 230},
         {10, 100, 1000, 10000, 10, 100, 2000, 10000},
         9033},
        {"equal shear rates",
         {200, 200, 200, 200, 230, 230, 230, 230},
         {10, 100, 100.05, 10000, 10, 100, 100.05, 10000},
         9034},
    };
    for (const GridCase& c : cases) {
        Table table{kTemperature, kShearRate};
        for (std::size_t i = 0; i < c.t.size(); ++i) table.Row({c.t[i], c.s[i], 1000.0 / (i + 1)});
        std::string printed;
        const MdViscosityFit fit = Fit(table, &printed);
        EXPECT_EQ(fit.error, c.code) << c.name;
        EXPECT_NE(printed.find("Error in retrieving Viscosity Data"), std::string::npos) << c.name;
        ExpectUnavailable(fit);
    }
    // Eleven shear rates in one block, eleven blocks.
    std::vector<double> eleven;
    for (int i = 0; i < 11; ++i) eleven.push_back(10.0 * (i + 1));
    EXPECT_EQ(Fit(Grid({200, 230}, eleven)).error, 9035);
    std::vector<double> temperatures;
    for (int i = 0; i < 11; ++i) temperatures.push_back(200.0 + 5 * i);
    EXPECT_EQ(Fit(Grid(temperatures, {10})).error, 9036);
    // Eleven points that are no regular grid.
    EXPECT_EQ(Fit(Grid({200, 230, 260}, s4).Row({290, 10, 50})).error, 9032);
}

TEST(ViscosityFitTest, TablesOfTheWrongShapeAreRefused) {
    Table swapped{fit::kShearRate, kTemperature};
    swapped.Row({10, 200, 1000}).Row({100, 220, 500}).Row({1000, 240, 100});
    EXPECT_EQ(Fit(swapped).error, 9025);
    EXPECT_EQ(Fit(Table{kTemperature}).error, 9025);
    std::string printed;
    std::vector<double> many;
    for (int i = 0; i < 133; ++i) many.push_back(10.0 + i);
    EXPECT_EQ(Fit(Grid({200}, many), &printed).error, 9026);
    EXPECT_NE(printed.find("Max=         132\n"), std::string::npos) << printed;
    for (std::size_t n : {1u, 2u, 4u, 5u}) {
        Table table{kTemperature, kShearRate};
        for (std::size_t i = 0; i < n; ++i) table.Row({200.0 + i, 10.0 * (i + 1), 100.0});
        EXPECT_EQ(Fit(table).error, 9027) << n;
    }
}

TEST(ViscosityFitTest, DegenerateValuesEndInAnErrorNotInInfinities) {
    auto three = [](double t2, double s2, double v2, double t3 = 240) {
        Table table{kTemperature, kShearRate};
        return table.Row({200, 100, 900}).Row({t2, s2, v2}).Row({t3, 5000, 100});
    };
    EXPECT_EQ(Fit(three(220, 0, 300)).error, 9096);
    EXPECT_EQ(Fit(three(220, -5, 300)).error, 9096);
    EXPECT_EQ(Fit(three(220, 1000, 0)).error, 9097);
    EXPECT_EQ(Fit(three(220, 1000, NAN)).error, 9015);
    EXPECT_EQ(Fit(three(220, INFINITY, 300)).error, 9015);
    EXPECT_EQ(Fit(three(220, 1000, 1e200)).error, 9015);
    // Equal temperatures at the first and second or first and third point.
    EXPECT_EQ(Fit(three(200, 1000, 300)).error, 9025);
    EXPECT_EQ(Fit(three(220, 1000, 300, 200)).error, 9025);
    // Shear rates in the same ratio to the temperature steps.
    EXPECT_EQ(Fit(three(220, 1000, 300, 240)).error, 0);
    Table proportional{kTemperature, kShearRate};
    proportional.Row({200, 100, 900}).Row({220, 1000, 300}).Row({240, 10000, 100});
    EXPECT_EQ(Fit(proportional).error, 9025);
    // Numbers too large for the model to stand as data.
    Table steep{kTemperature, kShearRate};
    steep.Row({200, 100, 1e90}).Row({200.001, 1000, 1e-90}).Row({240, 5000, 100});
    const MdViscosityFit fit = Fit(steep);
    EXPECT_EQ(fit.error, 9025);
    ExpectUnavailable(fit);
}

// Grids whose normal equations are singular for a least-squares model keep
// the matrix model and every model the points do determine; the fit prints
// no error, and the notes name what is missing.
TEST(ViscosityFitTest, GridsThatDoNotDetermineAModelKeepTheOthers) {
    const std::vector<double> s4 = {10, 100, 1000, 10000};
    struct Case {
        const char* name;
        Table table;
        bool first;
        std::size_t temperatures, shear_rates;
    };
    const std::vector<Case> cases = {
        {"one temperature", Grid({200}, {10, 30, 100, 300, 1000, 3000, 10000}), false, 1, 7},
        {"two temperatures", Grid({200, 230}, s4), true, 2, 4},
        {"two shear rates", Grid({200, 220, 240, 260}, {10, 1000}), true, 4, 2},
        {"one shear rate", Grid({200, 210, 220, 230, 240, 250, 260}, {100}), false, 7, 1},
    };
    for (const Case& c : cases) {
        std::string printed;
        const MdViscosityFit fit = Fit(c.table, &printed);
        EXPECT_EQ(printed, "") << c.name;
        ASSERT_EQ(fit.error, 0) << c.name;
        EXPECT_TRUE(fit.available(kMdMatrix)) << c.name;
        EXPECT_EQ(fit.temperature_count, c.temperatures) << c.name;
        EXPECT_EQ(fit.shear_count, c.shear_rates) << c.name;
        EXPECT_FALSE(fit.available(kMdSecondOrder)) << c.name;
        EXPECT_EQ(fit.second[0], kUnset) << c.name;
        EXPECT_EQ(fit.second_order_unfitted, MdUnfitted::kUndetermined) << c.name;
        EXPECT_EQ(fit.available(kMdFirstOrder), c.first) << c.name;
        EXPECT_EQ(fit.first_order_unfitted, c.first ? MdUnfitted::kNone : MdUnfitted::kUndetermined)
            << c.name;
        EXPECT_EQ(fit.point_count, 6u) << c.name;
        const std::string notes = md_viscosity_fit_notes(fit);
        EXPECT_NE(notes.find("Viscosity 2nd Order model not fitted: the points do not determine "
                             "its coefficients\n"),
                  std::string::npos)
            << c.name;
        EXPECT_EQ(notes.find("1st Order") == std::string::npos, c.first) << c.name;
    }
    // Two temperatures determine the 1st-order model: the temperature
    // coefficient and the shear exponent of the sampled 2nd-order model
    // between the two temperatures.
    const MdViscosityFit two = Fit(Grid({200, 230}, s4));
    EXPECT_LT(two.first[1], 0.0);
    EXPECT_LT(two.first[2], 0.0);
    // A 2nd-order fit that the points do determine leaves no note.
    EXPECT_EQ(md_viscosity_fit_notes(Fit(Grid({200, 230, 260}, s4))), "");
}

TEST(ViscosityFitTest, SixPointsThatDetermineNoModelAreAnError) {
    // Two temperatures of three shear rates: the 1st-order model only.
    const MdViscosityFit two = Fit(Grid({200, 230}, {10, 100, 1000}));
    EXPECT_EQ(two.error, 0);
    EXPECT_TRUE(two.available(kMdFirstOrder));
    EXPECT_FALSE(two.available(kMdSecondOrder));
    EXPECT_FALSE(two.available(kMdMatrix));
    // One temperature: no model at all, and no matrix to keep.
    std::string printed;
    const MdViscosityFit one = Fit(Grid({200}, {10, 30, 100, 300, 1000, 3000}), &printed);
    EXPECT_EQ(one.error, 9025);
    EXPECT_NE(printed.find("Data relationship not retrievable ."), std::string::npos) << printed;
    ExpectUnavailable(one);
    EXPECT_EQ(md_viscosity_fit_notes(one), "");
}

TEST(ViscosityFitTest, UpwardCurvatureAndRisingGradientAreRefused) {
    // A model curved upward in ln s.
    auto curved = [](double t, double s) {
        const double x = std::log(s);
        return std::exp(10.0 - 0.8 * x - 0.02 * t + 0.03 * x * x);
    };
    Table six{kTemperature, kShearRate};
    const double points[6][2] = {{200, 10},   {200, 1000}, {230, 100},
                                 {230, 5000}, {260, 50},   {260, 20000}};
    for (const auto& p : points) six.Row({p[0], p[1], curved(p[0], p[1])});
    EXPECT_EQ(Fit(six).error, 9029);
    ExpectUnavailable(Fit(six));

    // With a grid the matrix model stands and no error is printed.
    Table grid{kTemperature, kShearRate};
    for (double t : {200.0, 230.0, 260.0}) {
        for (double s : {10.0, 100.0, 1000.0, 10000.0}) grid.Row({t, s, curved(t, s)});
    }
    std::string printed;
    const MdViscosityFit fit = Fit(grid, &printed);
    EXPECT_EQ(printed, "");
    EXPECT_EQ(fit.error, 0);
    EXPECT_TRUE(fit.available(kMdMatrix));
    EXPECT_FALSE(fit.available(kMdSecondOrder));
    EXPECT_FALSE(fit.available(kMdFirstOrder));
    EXPECT_EQ(fit.point_count, 6u);
    EXPECT_EQ(md_viscosity_fit_notes(fit),
              "Viscosity 1st Order model not fitted: the 2nd order fit curves upward in "
              "ln(shear rate)\n"
              "Viscosity 2nd Order model not fitted: the 2nd order fit curves upward in "
              "ln(shear rate)\n");

    // Viscosity rising with the shear rate: a straight model in ln s, so
    // that the 2nd-order curvature is only rounding.
    Table rising{kTemperature, kShearRate};
    for (double t : {200.0, 230.0, 260.0}) {
        for (double s : {10.0, 100.0, 1000.0, 10000.0}) {
            rising.Row({t, s, std::exp(2.0 + 0.2 * std::log(s) - 0.01 * t)});
        }
    }
    EXPECT_EQ(Fit(rising).error, 9028);
}

}  // namespace
}  // namespace tarnvel::matdb
