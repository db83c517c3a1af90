// Curves of the shipped data: grades of the built Standard database read
// through the access layer, and the property sets of a UDB file that
// tarnvel writes from the shipped example, checked against the formulas
// with the coefficients the material holds.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "curves/curves.h"
#include "curves_test_support.h"
#include "matdb/matdb.h"
#include "support/process.h"
#include "udm/udm.h"

namespace tarnvel::curves {
namespace {

namespace fs = std::filesystem;
using namespace testing;

const std::string kStandard = std::string(TARNVEL_PRODUCT_DIR) + "/data/dat";

std::unique_ptr<MdGrade> StandardGrade(const char* supplier, const char* code) {
    static const bool opened = [] {
        setenv("VTPATH", kStandard.c_str(), 1);
        return md_open(MD_STANDARD, MD_READ) != MD_OPEN_FAILED;
    }();
    EXPECT_TRUE(opened) << kStandard;
    return md_read_by_name(MD_STANDARD, supplier, code);
}

double CrossWlf(const CrossWlfModel& m, double s, double t) {
    const double x = t + 273.15 - m.d2;
    const double eta0 = m.d1 * std::exp(-m.a1 * x / (m.a2 + x));
    return eta0 / (1.0 + std::pow(eta0 * s / m.tau, 1.0 - m.n));
}

void ExpectCrossWlfCurves(const CurveSet& set, const CrossWlfModel& m, std::size_t count) {
    const std::vector<const SampledCurve*> curves = CurvesOf(set, "Cross-WLF");
    ASSERT_EQ(curves.size(), count) << set.source;
    for (const SampledCurve* c : curves) {
        ASSERT_GE(c->points.size(), 61u);
        for (const auto& [s, v] : c->points) {
            ASSERT_NEAR(v, CrossWlf(m, s, *c->parameter), 1e-9 * v) << s;
        }
    }
}

TEST(StandardDatabase, ViscosityOfAGradeWithCrossWlfAndPoints) {
    const std::unique_ptr<MdGrade> grade = StandardGrade("ALDERPOL", "AP120");
    ASSERT_TRUE(grade);
    const CurveSet set = GradeCurves(*grade, PlotKind::kViscosity);
    EXPECT_EQ(set.source, "ALDERPOL AP120");
    EXPECT_TRUE(set.warnings.empty()) << set.warnings.front();
    ExpectDrawable(set);
    // The stored list: 5.20453e+12 263.15 0 27 51.6 25000 0.28.
    ExpectCrossWlfCurves(set, {0.28, 25000, 5.20453e+12, 263.15, 0, 27, 51.6}, 3);
    EXPECT_EQ(*CurvesOf(set, "Cross-WLF")[1]->parameter, 230.0);
    // The grid of 3 x 3 points gives the matrix, which meets the point at
    // 280 °C and 10000 1/s.
    const std::vector<const SampledCurve*> matrix = CurvesOf(set, "matrix");
    ASSERT_EQ(matrix.size(), 3u);
    EXPECT_NEAR(matrix[2]->points.back().first, 10000.0, 1e-6);
    EXPECT_NEAR(matrix[2]->points.back().second, 11.2524, 1e-4);
    EXPECT_EQ(CurvesOf(set, "points").size(), 3u);
}

TEST(StandardDatabase, PvtOfGradesWithTaitAndWithPointsAndTheProductModel) {
    const std::unique_ptr<MdGrade> tait_grade = StandardGrade("ALDERPOL", "AP120");
    ASSERT_TRUE(tait_grade);
    const CurveSet tait = GradeCurves(*tait_grade, PlotKind::kPvt);
    ExpectDrawable(tait);
    const TaitModel m{{441, 1.5e-07, 0.00127383, 8.91678e-07, 1e+08, 0.0045, 0.00114759,
                       2.98343e-07, 2.5e+08, 0.0035, 0.000126235, 0.1, 1.5e-08}};
    const std::vector<const SampledCurve*> isobars = CurvesOf(tait, "Modified Tait");
    ASSERT_EQ(isobars.size(), 5u);
    for (const SampledCurve* c : isobars) {
        for (const auto& [t, v] : c->points) {
            ASSERT_NEAR(v, 1000.0 * m.Volume(t, *c->parameter * 1e6), 1e-9 * v) << t;
        }
    }
    const std::unique_ptr<MdGrade> own_grade = StandardGrade("ALDERPOL", "AP340I");
    ASSERT_TRUE(own_grade);
    const CurveSet own = GradeCurves(*own_grade, PlotKind::kPvt);
    EXPECT_TRUE(own.warnings.empty()) << own.warnings.front();
    ExpectDrawable(own);
    ASSERT_EQ(CurvesOf(own, "Vantorel PVT").size(), 5u);
    ASSERT_EQ(CurvesOf(own, "points").size(), 2u);
    // The stored product model (not the fit of the points, which the stored
    // list takes precedence over) at 280 °C and 100 MPa, in the melt:
    // k7 / (k10 + P) + k8 T / (k9 + P) with 1.25745e+06, 1.11857e+09, 997.403
    // and 1.11857e+09.
    const double melt = 1.25745e+06 / (1.11857e+09 + 1e8) + 997.403 * 280.0 / (1.11857e+09 + 1e8);
    const SampledCurve* at100 = CurvesOf(own, "Vantorel PVT")[2];
    ASSERT_EQ(*at100->parameter, 100.0);
    int met = 0;
    for (const auto& [t, v] : at100->points) {
        if (std::fabs(t - 280.0) < 1e-9) {
            EXPECT_NEAR(v, 1000.0 * melt, 1e-6);  // single-precision coefficients
            ++met;
        }
    }
    EXPECT_EQ(met, 1);
}

// A UDB file tarnvel writes from the shipped keyword example.
class ShippedUdb : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "curvesXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
        const std::string out = (root_ / "grades.udb").string();
        const tarnvel::testing::ProcessResult run = tarnvel::testing::RunProcess(
            tarnvel::testing::BuiltProgram("tarnvel"),
            {"-asc", std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc", "-udb",
             out},
            root_.string(), {{"tmp", (root_ / "tmp").string()}});
        ASSERT_EQ(run.exit_code, 0) << run.out << run.err;
        ASSERT_EQ(udm_model_open(out.c_str(), UDM_MODE_AS_LOADED, &model_), UDM_OK);
        udm_model_select(model_);
    }
    void TearDown() override {
        if (model_ != nullptr) udm_model_destroy(&model_);
        fs::remove_all(root_);
    }

    std::vector<const UdmTset*> Sets() const {
        std::vector<const UdmTset*> sets;
        for (void* p = udm_entity_first(UDM_CLASS_TSET, 0); p != nullptr;
             p = udm_entity_next(UDM_CLASS_TSET, udm_entity_type(p), udm_entity_label(p))) {
            sets.push_back(static_cast<const UdmTset*>(p));
        }
        return sets;
    }

    static std::vector<double> Code(const UdmTset* tset, int code) {
        for (const UdmTcod* c = tset->codes; c != nullptr; c = c->next) {
            if (c->code == code) return {c->values, c->values + c->count};
        }
        return {};
    }

    fs::path root_;
    UdmModel* model_ = nullptr;
};

TEST_F(ShippedUdb, EverySetGivesTheCurvesOfItsCodes) {
    const std::vector<const UdmTset*> sets = Sets();
    ASSERT_GE(sets.size(), 6u);
    std::size_t cross_sets = 0, tait_sets = 0;
    for (const UdmTset* tset : sets) {
        const CurveSet viscosity = SetCurves(tset, PlotKind::kViscosity);
        const CurveSet pvt = SetCurves(tset, PlotKind::kPvt);
        // TYPE/LABEL and the grade the set describes ("ML210 : supplier").
        const std::string description = udm_tset_description(tset);
        EXPECT_EQ(viscosity.source, std::to_string(udm_entity_type(tset)) + "/" +
                                        std::to_string(udm_entity_label(tset)) + " " +
                                        description.substr(0, description.find(" : ")));
        ExpectDrawable(viscosity);
        ExpectDrawable(pvt);
        const std::vector<double> c = Code(tset, 1313);
        if (c.size() == 7 && c[2] > 0) {
            // n, tau*, D1, D2, D3, A1, A2 in the code's order; one curve per
            // melt temperature of code 1800 and 11002.
            ExpectCrossWlfCurves(viscosity, {c[0], c[1], c[2], c[3], c[4], c[5], c[6]}, 3);
            ++cross_sets;
        }
        const std::vector<double> b = Code(tset, 1004);
        if (b.size() == 13) {
            TaitModel m;
            std::copy(b.begin(), b.end(), m.b.begin());
            const std::vector<const SampledCurve*> isobars = CurvesOf(pvt, "Modified Tait");
            ASSERT_EQ(isobars.size(), 5u);
            for (const SampledCurve* curve : isobars) {
                for (const auto& [t, v] : curve->points) {
                    ASSERT_NEAR(v, 1000.0 * m.Volume(t, *curve->parameter * 1e6), 1e-9 * v);
                }
            }
            ASSERT_EQ(CurvesOf(pvt, "Modified Tait transition").size(), 1u);
            ++tait_sets;
        }
    }
    EXPECT_GE(cross_sets, 6u);
    EXPECT_GE(tait_sets, 4u);
}

}  // namespace
}  // namespace tarnvel::curves
