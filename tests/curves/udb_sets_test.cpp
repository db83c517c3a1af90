// The models of UDB property sets made in memory: the codes the builder
// writes, all-zero codes as absent models, and unusable codes as warnings.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "curves/curves.h"
#include "curves_test_support.h"
#include "udm/udm.h"

namespace tarnvel::curves {
namespace {

using namespace testing;

struct CodeSpec {
    std::int32_t code;
    std::vector<double> values;
    const char* text = "";
};

// A model of its own, current while the test runs.
class Sets : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(udm_model_open(nullptr, UDM_MODE_TEXT, &model_), UDM_OK);
        udm_model_select(model_);
    }
    void TearDown() override { udm_model_destroy(&model_); }

    static const UdmTset* Add(std::int32_t label, const std::vector<CodeSpec>& codes) {
        UdmTcod* list = nullptr;
        for (auto it = codes.rbegin(); it != codes.rend(); ++it) {
            EXPECT_EQ(udm_tcod_new(it->code, it->text, static_cast<std::int32_t>(it->values.size()),
                                   it->values.data(), list, &list),
                      UDM_OK);
        }
        UdmTset* tset = nullptr;
        EXPECT_EQ(udm_tset_create(21000, label, "set", list, &tset), UDM_OK);
        return tset;
    }

    UdmModel* model_ = nullptr;
};

// A set with Cross-WLF coefficients and a viscosity index text.
std::vector<CodeSpec> Indexed(const char* index, std::vector<CodeSpec> more = {}) {
    more.push_back({1313, {0.28, 25000, 5.20453e+12, 263.15, 0, 27, 51.6}});
    more.push_back({1328, {}, index});
    return more;
}

// The temperatures of a set's Cross-WLF curves, in order.
std::vector<double> CrossTemperatures(const CurveSet& set) {
    std::vector<double> temperatures;
    for (const SampledCurve* curve : CurvesOf(set, "Cross-WLF"))
        temperatures.push_back(curve->parameter.value_or(-1));
    return temperatures;
}

const std::vector<double> kCross = {0.28, 25000, 5.20453e+12, 263.15, 0, 27, 51.6};
const std::vector<double> kTait = {441,         1.5e-07,    0.00127383,  8.91678e-07, 1e+08,
                                   0.0045,      0.00114759, 2.98343e-07, 2.5e+08,     0.0035,
                                   0.000126235, 0.1,        1.5e-08};

TEST_F(Sets, CodesGiveModelsAndKelvinMeltTemperaturesBecomeCelsius) {
    const std::vector<double> second = {9.5, -0.2, -0.015, -0.03, 0.0004, 1e-5, 10, 1000000};
    const UdmTset* tset = Add(3, {{1004, kTait},
                                  {1313, kCross},
                                  {1325, second},
                                  {1800, {473.15, 553.15}},
                                  {11002, {503.15}}});
    const ModelSet models = ModelsOfSet(tset);
    EXPECT_EQ(models.source, "21000/3 set");
    ASSERT_TRUE(models.cross_wlf && models.second_order && models.tait);
    EXPECT_EQ(models.cross_wlf->d1, 5.20453e+12);
    EXPECT_EQ(models.cross_wlf->n, 0.28);
    EXPECT_EQ(models.second_order->c[5], 1e-5);
    ASSERT_EQ(models.melt_temperatures.size(), 3u);
    EXPECT_NEAR(models.melt_temperatures[0], 200.0, 1e-9);
    EXPECT_NEAR(models.melt_temperatures[1], 230.0, 1e-9);
    EXPECT_NEAR(models.melt_temperatures[2], 280.0, 1e-9);
    const CurveSet set = SetCurves(tset, PlotKind::kViscosity);
    EXPECT_TRUE(set.warnings.empty());
    EXPECT_EQ(CurvesOf(set, "Cross-WLF").size(), 3u);
    const std::vector<const SampledCurve*> quadratic = CurvesOf(set, "2nd order");
    ASSERT_EQ(quadratic.size(), 3u);
    for (const auto& [s, v] : quadratic[1]->points) {
        const double l = std::log(s);
        const double t = 230.0;
        const double ln_v =
            9.5 - 0.2 * l - 0.015 * t - 0.03 * l * l + 0.0004 * t * l + 1e-5 * t * t;
        ASSERT_NEAR(v, std::exp(ln_v), 1e-9 * v);
    }
}

TEST_F(Sets, AllZeroCodesAreAbsentModelsWithoutWarnings) {
    const UdmTset* tset = Add(1, {{1313, std::vector<double>(7, 0.0)},
                                  {1325, {0, 0, 0, 0, 0, 0, 10, 1000000}},
                                  {11002, {503.15}}});
    const ModelSet models = ModelsOfSet(tset);
    EXPECT_FALSE(models.cross_wlf || models.second_order || models.tait);
    EXPECT_TRUE(models.viscosity_warnings.empty());
    const CurveSet set = SetCurves(tset, PlotKind::kViscosity);
    EXPECT_TRUE(set.curves.empty());
    EXPECT_TRUE(set.warnings.empty());
}

TEST_F(Sets, UnusableCodesAreNamedInOneWarningEach) {
    std::vector<double> zero_tau = kCross;
    zero_tau[1] = 0.0;
    std::vector<double> zero_b3 = kTait;
    zero_b3[4] = 0.0;
    const UdmTset* tset =
        Add(2, {{1004, zero_b3}, {1313, zero_tau}, {1325, {9.5, -0.2, -16384}}, {11002, {503.15}}});
    const CurveSet viscosity = SetCurves(tset, PlotKind::kViscosity);
    EXPECT_TRUE(viscosity.curves.empty());
    EXPECT_EQ(viscosity.warnings,
              (std::vector<std::string>{
                  "21000/2 set: code 1313 (Cross-WLF) left out: tau* is not positive",
                  "21000/2 set: code 1325 (2nd order) left out: it holds 3 of 6 coefficients"}));
    const CurveSet pvt = SetCurves(tset, PlotKind::kPvt);
    EXPECT_TRUE(pvt.curves.empty());
    EXPECT_EQ(pvt.warnings,
              (std::vector<std::string>{
                  "21000/2 set: code 1004 (Modified Tait) left out: b3m is not positive"}));
    EXPECT_EQ(CurveCsvText({viscosity}),
              "source,model,temperature_C,shear_rate_per_s,viscosity_Pa_s\n");
}

TEST_F(Sets, ANullSetGivesNothing) {
    const CurveSet set = SetCurves(nullptr, PlotKind::kPvt);
    EXPECT_TRUE(set.curves.empty());
    EXPECT_TRUE(set.source.empty());
}

// A set without melt temperatures is drawn around the class temperature of
// its viscosity index text; melt temperatures and a caller's class
// temperature come first, and an index of another form gives none.
TEST_F(Sets, AViscosityIndexGivesTheClassTemperatureOfASetWithoutMeltTemperatures) {
    const UdmTset* indexed = Add(1, Indexed("VI(230)0145"));
    EXPECT_EQ(ModelsOfSet(indexed).class_temperature, 230.0);
    EXPECT_EQ(CrossTemperatures(SetCurves(indexed, PlotKind::kViscosity)),
              (std::vector<double>{210, 230, 250}));
    SamplingOptions options;
    options.class_temperature = 280.0;
    EXPECT_EQ(CrossTemperatures(SetCurves(indexed, PlotKind::kViscosity, options)),
              (std::vector<double>{260, 280, 300}));
    const UdmTset* melted = Add(2, Indexed("VI(230)0145", {{11002, {473.15}}}));
    EXPECT_EQ(CrossTemperatures(SetCurves(melted, PlotKind::kViscosity)),
              (std::vector<double>{200}));
    std::int32_t label = 3;
    for (const char* odd : {"", "VI()12", "VI(abc)12", "VI(-40)12", "VI(1e9)1", "230", "VI(nan)"}) {
        const UdmTset* tset = Add(label++, Indexed(odd));
        EXPECT_FALSE(ModelsOfSet(tset).class_temperature) << odd;
        const CurveSet set = SetCurves(tset, PlotKind::kViscosity);
        EXPECT_TRUE(set.curves.empty()) << odd;
        ASSERT_EQ(set.warnings.size(), 1u) << odd;
        EXPECT_NE(set.warnings[0].find("no temperature to draw them at"), std::string::npos);
    }
}

}  // namespace
}  // namespace tarnvel::curves
