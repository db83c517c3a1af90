// The property set builder: which codes a grade gets, from its own data or
// from generic data, what it writes back into the record, and a build over
// the shipped sample data.
#include "convert/property_set_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "material/asc_reader.h"
#include "property_test_support.h"

namespace {

using convert_test::Code;
using convert_test::ScratchDir;
using convert_test::Set;
using convert_test::WritePropertyFile;
using convert_test::WriteText;
using tarnvel::convert::BuildPropertySet;
using tarnvel::convert::MUdbConverter;
using tarnvel::material::MaterialRecord;
using tarnvel::material::SetText;
using tarnvel::material::TextOf;
using Values = std::vector<double>;

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The generic Tait coefficients of the link set.
const Values kGenericTait = {441,  1.5e-7, 0.00127, 8.9e-7, 1e8, 0.0045, 0.00115,
                             3e-7, 2.5e8,  0.0035,  1.2e-4, 0.1, 1.5e-8};
// A filler set's codes 3002 .. 3912 (3602 with five values, 3702 and 3802
// with two).
const Values kFillerCodes = {2500, 850, 1, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
const std::string kLongFillerName = "Long Mineral " + std::string(200, 'X');

Set FillerSet(std::int32_t label, const char* name) {
    const Values& v = kFillerCodes;
    return {21200,
            label,
            name,
            {{3002, nullptr, {v[0]}},
             {3102, nullptr, {v[1]}},
             {3202, nullptr, {v[2]}},
             {3602, nullptr, {v[3], v[4], v[5], v[6], v[7]}},
             {3702, nullptr, {v[8], v[9]}},
             {3802, nullptr, {v[10], v[11]}},
             {3912, nullptr, {v[12]}}}};
}

// A data directory written by the test. Generic link GEN-PP has the
// PVT/mechanical set 60 and the link set 50; GEN-RANGE has the set 61,
// which holds ranges only. The link tables also map every spelling of
// "unknown", so that a lookup made in spite of it would be seen.
class DataDir {
  public:
    DataDir() {
        const std::string unknown_links = "unknown,%\nUNKNOWN,%\nUnKnOwN,%\n";
        WriteText(dir_.File("family_name.csv"),
                  "PP,Polypropylene\nLONG," + std::string(300, 'L') + "\n");
        WriteText(dir_.File("link.csv"), "GEN-PP,50\nGEN-RANGE,50\n" + Ids(unknown_links, "50"));
        WriteText(dir_.File("pvt_and_mechanical_link.csv"),
                  "GEN-PP,60\nGEN-RANGE,61\n" + Ids(unknown_links, "60"));
        WriteText(dir_.File("genericclass2mechanical.csv"),
                  "PP,70\nMISC,900\nMISC-CRYSTALLINE,901\n");
        WriteText(dir_.File("generic_class.csv"), "PP,230\n");
        // clang-format off
        WritePropertyFile(dir_.File("generic_data.udb"), "2.100000E+04", {
            {21000, 1, "P", {{1991, nullptr, {60}}, {11108, nullptr, {323.15}},
                             {11002, nullptr, {503.15}}, {1808, nullptr, {293.15, 353.15}},
                             {1800, nullptr, {473.15, 553.15}}, {1801, nullptr, {573.15}},
                             {1504, nullptr, {366.15}}, {1553, nullptr, {406.15}},
                             {1602, nullptr, {11, 12, 13, 14, 15}}, {1702, nullptr, {16, 17}}}},
            {21000, 2, "P ranges", {{1991, nullptr, {61}}, {1808, nullptr, {283.15, 343.15}},
                                    {1800, nullptr, {463.15, 543.15}}, {1801, nullptr, {0}}}},
            {21000, 3, "L", {{1991, nullptr, {50}}, {1804, nullptr, {250000}},
                             {1806, nullptr, {100000}}, {1004, nullptr, kGenericTait}}},
            {21000, 4, "MISC", {{1991, nullptr, {900}}, {1602, nullptr, {1, 2, 3, 4, 5}},
                                {1702, nullptr, {6, 7}}}},
            {21000, 5, "MISC-CRYSTALLINE", {{1991, nullptr, {901}},
                                            {1602, nullptr, {21, 22, 23, 24, 25}},
                                            {1702, nullptr, {26, 27}}}}});
        // clang-format on
        WritePropertyFile(dir_.File("filler.udb"), "2.120000E+04",
                          {FillerSet(1, "Glass Fibre"), FillerSet(2, "Talc"),
                           FillerSet(3, "Miscellaneous"), FillerSet(4, kLongFillerName.c_str())});
    }
    const std::string& path() const { return dir_.path(); }

  private:
    static std::string Ids(std::string text, const std::string& id) {
        for (std::size_t at; (at = text.find('%')) != std::string::npos;) text.replace(at, 1, id);
        return text;
    }
    ScratchDir dir_;
};

// The record of an empty keyword file.
MaterialRecord EmptyRecord() {
    MaterialRecord record;
    tarnvel::material::ApplyFinalRules(record);
    return record;
}

// The built model, destroyed with the object, and its one set.
class Built {
  public:
    Built(const MUdbConverter& converter, MaterialRecord& record)
        : model_(BuildPropertySet(converter, record)) {
        UdmModel* previous = udm_model_current();
        udm_model_select(model_);
        set_ = static_cast<UdmTset*>(udm_entity_first(UDM_CLASS_TSET, 0));
        sets_ = udm_class_count(UDM_CLASS_TSET);
        udm_model_select(previous);
    }
    ~Built() {
        if (model_ != nullptr) udm_model_destroy(&model_);
    }
    Built(const Built&) = delete;
    Built& operator=(const Built&) = delete;

    UdmTset* set() const { return set_; }
    int sets() const { return sets_; }
    std::optional<Values> Of(std::int32_t code) const { return convert_test::ValuesOf(set_, code); }
    std::optional<std::string> Text(std::int32_t code) const {
        return convert_test::TextOf(set_, code);
    }
    bool Has(std::int32_t code) const { return Of(code).has_value(); }
    std::vector<std::int32_t> Codes() const {
        std::vector<std::int32_t> codes;
        for (const UdmTcod* tcod = set_->codes; tcod != nullptr; tcod = tcod->next) {
            codes.push_back(tcod->code);
        }
        return codes;
    }

  private:
    UdmModel* model_;
    UdmTset* set_ = nullptr;
    int sets_ = 0;
};

class PropertySetBuilder : public ::testing::Test {
  protected:
    DataDir data_;
    MUdbConverter converter_{data_.path()};
};

// ---- The record of an empty keyword file
// ---------------------------------------------------------

TEST_F(PropertySetBuilder, EmptyRecordGetsTheFixedCodesAndTheClassFallback) {
    ScratchDir dir;
    WriteText(dir.File("empty.kw"), "");
    const auto record = tarnvel::material::MAscReader().Read(dir.File("empty.kw").c_str());
    ASSERT_NE(record, nullptr);

    UdmModel* sentinel = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, UDM_MODE_TEXT, &sentinel), UDM_OK);
    const Built built(converter_, *record);
    EXPECT_EQ(udm_model_current(), sentinel);
    udm_model_destroy(&sentinel);

    ASSERT_NE(built.set(), nullptr);
    EXPECT_EQ(built.sets(), 1);
    EXPECT_EQ(udm_entity_type(built.set()), 21000);
    EXPECT_EQ(udm_entity_label(built.set()), 1);
    EXPECT_STREQ(udm_tset_description(built.set()), "UNKNOWN : UNKNOWN");

    EXPECT_EQ(built.Text(1992), "");
    for (std::int32_t code : {1998, 1997, 1999, 1633, 1898, 1993, 1994}) {
        EXPECT_EQ(built.Text(code), "UNKNOWN") << code;
    }
    EXPECT_EQ(built.Text(1995), "Amorphous");
    EXPECT_EQ(built.Text(1899), "Not Provided");
    EXPECT_EQ(built.Text(1328), "");
    EXPECT_EQ(built.Of(1310), Values{2});
    EXPECT_EQ(built.Text(1310), std::nullopt);
    EXPECT_EQ(built.Of(1313), Values(7, 0.0));
    EXPECT_EQ(built.Of(1325), (Values{0, 0, 0, 0, 0, 0, 10, 1000000}));
    EXPECT_EQ(built.Of(1554), Values{274.15});
    EXPECT_EQ(built.Of(1550), Values{274.15});
    EXPECT_EQ(built.Of(1140), (Values{273.15, 0, 0}));
    EXPECT_EQ(built.Of(1240), (Values{273.15, 0, 0}));
    // Without Tait coefficients there is no density: no code, rather than
    // the infinity of 1/0.
    EXPECT_FALSE(built.Has(1000));
    EXPECT_FALSE(built.Has(1001));
    EXPECT_EQ(built.Of(4003), Values{0});
    EXPECT_EQ(built.Of(1361), Values(4, 0.0));
    // The family is unknown to the class table: the "MISC" set serves.
    EXPECT_EQ(built.Of(1602), (Values{1, 2, 3, 4, 5}));
    EXPECT_EQ(built.Of(1702), (Values{6, 7}));
    EXPECT_EQ(built.Of(1890), (Values{1602, 1702}));
    // Nothing else.
    EXPECT_EQ(built.Codes(),
              (std::vector<std::int32_t>{1140, 1240, 1310, 1313, 1325, 1328, 1361, 1550,
                                         1554, 1602, 1633, 1702, 1890, 1898, 1899, 1992,
                                         1993, 1994, 1995, 1997, 1998, 1999, 4003}));
    EXPECT_EQ(TextOf(record->viscosityIndex), "");
    EXPECT_EQ(TextOf(record->defaultViscosityModel), "UNKNOWN");
    EXPECT_EQ(record->meltTemperatureDefault, 0.0);
}

// ---- Temperatures ----------------------------------------------------------------------------

TEST_F(PropertySetBuilder, TemperaturesFromTheRecord) {
    MaterialRecord r = EmptyRecord();
    SetText(r.family, "PP");  // its class set does not exist: no generic codes
    r.moldTemperatureMin = 40;
    r.moldTemperatureMax = 80;
    r.meltTemperatureMin = 200;
    r.meltTemperatureMax = 240;
    const Built built(converter_, r);
    EXPECT_EQ(built.Of(11108), Values{333.15});
    EXPECT_EQ(r.moldTemperatureDefault, 0.0);
    EXPECT_EQ(built.Of(11002), Values{493.15});
    EXPECT_EQ(r.meltTemperatureDefault, 220.0);
    EXPECT_EQ(built.Of(1140), (Values{493.15, 0, 0}));
    EXPECT_EQ(built.Of(1808), (Values{313.15, 353.15}));
    EXPECT_EQ(built.Of(1800), (Values{473.15, 513.15}));
    EXPECT_EQ(built.Of(1801), Values{553.15});  // 240 + 40
    EXPECT_EQ(built.Text(1992), "Polypropylene");
    EXPECT_FALSE(built.Has(1602));
    EXPECT_FALSE(built.Has(1890));

    // Defaults win over ranges; the absolute maximum over the range.
    MaterialRecord d = EmptyRecord();
    d.moldTemperatureDefault = 50;
    d.moldTemperatureMin = 40;
    d.moldTemperatureMax = 80;
    d.meltTemperatureDefault = 230;
    d.meltTemperatureMax = 280;
    const Built with_defaults(converter_, d);
    EXPECT_EQ(with_defaults.Of(11108), Values{323.15});
    EXPECT_EQ(with_defaults.Of(11002), Values{503.15});
    EXPECT_EQ(with_defaults.Of(1801), Values{593.15});
    EXPECT_FALSE(with_defaults.Has(1800));
    d.meltTemperatureAbsoluteMax = 300;
    EXPECT_EQ(Built(converter_, d).Of(1801), Values{573.15});
}

TEST_F(PropertySetBuilder, GenericLinkFillsTheGapsInOrder) {
    MaterialRecord r = EmptyRecord();
    SetText(r.genericLink, "GEN-PP");
    const Built built(converter_, r);
    EXPECT_EQ(built.Of(11108), Values{323.15});
    EXPECT_EQ(built.Of(11002), Values{503.15});
    EXPECT_NEAR(r.meltTemperatureDefault, 230.0, 1e-12);
    EXPECT_EQ(built.Of(1808), (Values{293.15, 353.15}));
    EXPECT_EQ(built.Of(1800), (Values{473.15, 553.15}));
    EXPECT_EQ(built.Of(1801), Values{573.15});
    EXPECT_EQ(built.Of(1504), Values{366.15});
    EXPECT_NEAR(r.freezeTemperature, 93.0, 1e-12);
    EXPECT_EQ(built.Of(1553), Values{406.15});
    EXPECT_NEAR(r.noFlowTemperature, 133.0, 1e-12);
    EXPECT_EQ(built.Of(1804), Values{250000});
    EXPECT_EQ(built.Of(1806), Values{100000});
    EXPECT_NEAR((*built.Of(1554))[0], 386.15, 1e-9);  // no-flow - 20, above freeze
    EXPECT_EQ(built.Of(1004), kGenericTait);
    EXPECT_EQ(Values(r.tait.begin(), r.tait.begin() + 13), kGenericTait);
    EXPECT_EQ(built.Of(1602), (Values{11, 12, 13, 14, 15}));
    EXPECT_EQ(built.Of(1890),
              (Values{11108, 11002, 1808, 1800, 1801, 1504, 1804, 1806, 1553, 1004, 1602, 1702}));
}

TEST_F(PropertySetBuilder, GenericRangesServeWhenPointValuesAreMissing) {
    MaterialRecord r = EmptyRecord();
    SetText(r.genericLink, "GEN-RANGE");
    const Built built(converter_, r);
    EXPECT_NEAR((*built.Of(11108))[0], 313.15, 1e-9);
    EXPECT_NEAR((*built.Of(11002))[0], 503.15, 1e-9);
    EXPECT_NEAR(r.meltTemperatureDefault, 230.0, 1e-9);
    // A generic 1801 of 0 does not count: the range maximum + 40 serves.
    EXPECT_EQ(built.Of(1801), Values{583.15});
    // The link's set lacks 1602: the family's class set serves.
    EXPECT_EQ(built.Of(1602), (Values{1, 2, 3, 4, 5}));
}

TEST_F(PropertySetBuilder, UnknownGenericLinkInAnyCaseDisablesLookups) {
    for (const char* link : {"UNKNOWN", "unknown", "UnKnOwN"}) {
        MaterialRecord r = EmptyRecord();
        SetText(r.genericLink, link);
        r.crystalline = true;
        const Built built(converter_, r);
        for (std::int32_t code : {11108, 11002, 1808, 1800, 1801, 1504, 1553, 1804, 1806, 1004}) {
            EXPECT_FALSE(built.Has(code)) << link << " " << code;
        }
        EXPECT_EQ(built.Of(1602), (Values{21, 22, 23, 24, 25})) << link;
        EXPECT_EQ(built.Of(1890), (Values{1602, 1702})) << link;
    }
}

TEST_F(PropertySetBuilder, EjectionTemperatureStaysAboveFreezing) {
    MaterialRecord r = EmptyRecord();
    r.crystalline = true;
    r.freezeTemperature = 100;
    r.noFlowTemperature = 130;
    EXPECT_EQ(Built(converter_, r).Of(1550), Values{130 + 273.15 - 10});
    r.crystalline = false;
    r.noFlowTemperature = 110;
    EXPECT_EQ(Built(converter_, r).Of(1554), Values{100 + 273.15 + 1});
}

// ---- Viscosity -------------------------------------------------------------------------------

struct ViscosityCase {
    const char* model;
    double d3;        // the Cross-WLF D3 (negative makes the model unusable)
    double c5;        // the last second-order coefficient (0: incomplete)
    double selector;  // code 1310
    const char* model_after;
    const char* index;  // code 1328
};

TEST_F(PropertySetBuilder, ViscosityModelAndIndex) {
    const ViscosityCase cases[] = {
        {"Cross-WLF", 0.0, 1e-5, 1, "Cross-WLF", "VI(230)0065"},
        {"cross-wlf", -1.0, 1e-5, 2, "2nd Order", "VI(230)0120"},
        {"CROSS-WLF", -1.0, 0.0, 2, "", ""},
        {"2nd Order", -1.0, 1e-5, 2, "2nd Order", "VI(230)0120"},
        {"Matrix", 0.0, 1e-5, 2, "Matrix", ""},
    };
    for (const ViscosityCase& c : cases) {
        MaterialRecord r = EmptyRecord();
        SetText(r.family, "PP");
        SetText(r.defaultViscosityModel, c.model);
        std::copy(property_test::kCrossWlf.begin(), property_test::kCrossWlf.end(),
                  r.crossWlf.begin());
        r.crossWlf[2] = c.d3;
        std::copy(property_test::kSecondOrder.begin(), property_test::kSecondOrder.end(),
                  r.viscosity2ndOrder.begin());
        r.viscosity2ndOrder[5] = c.c5;
        const Built built(converter_, r);
        EXPECT_EQ(built.Of(1310), Values{c.selector}) << c.model;
        EXPECT_EQ(TextOf(r.defaultViscosityModel), c.model_after) << c.model;
        EXPECT_EQ(built.Text(1328), c.index) << c.model;
        EXPECT_EQ(TextOf(r.viscosityIndex), c.index) << c.model;
    }
    // Code 1313 orders the coefficients n, tau*, D1, D2, D3, A1, A2.
    MaterialRecord r = EmptyRecord();
    for (int i = 0; i < 7; ++i) r.crossWlf[i] = i + 1;
    EXPECT_EQ(Built(converter_, r).Of(1313), (Values{7, 6, 1, 2, 3, 4, 5}));
}

TEST_F(PropertySetBuilder, VersionWith50KeepsTheViscosityIndex) {
    MaterialRecord r = EmptyRecord();
    SetText(r.family, "PP");
    SetText(r.defaultViscosityModel, "Cross-WLF");
    std::copy(property_test::kCrossWlf.begin(), property_test::kCrossWlf.end(), r.crossWlf.begin());
    SetText(r.viscosityIndex, "VI(999)1234");
    SetText(r.version, "$DB V5.0 2050");
    EXPECT_EQ(Built(converter_, r).Text(1328), "VI(999)1234");
    EXPECT_EQ(TextOf(r.viscosityIndex), "VI(999)1234");
    SetText(r.version, "$DB V5.1 2049");
    EXPECT_EQ(Built(converter_, r).Text(1328), "VI(230)0065");
}

TEST_F(PropertySetBuilder, ExtensionalViscosityParameters) {
    MaterialRecord r = EmptyRecord();
    std::copy(property_test::kFirstOrder.begin(), property_test::kFirstOrder.end(),
              r.viscosity1stOrder.begin());
    std::copy(property_test::kExtensional.begin(), property_test::kExtensional.end(),
              r.extensionalViscosity.begin());
    // The melt temperature comes from the middle of the range.
    r.meltTemperatureMin = 220;
    r.meltTemperatureMax = 240;
    const Values expected = property_test::Expected("extensional");
    ASSERT_EQ(expected.size(), 2u);
    const Built built(converter_, r);
    const Values w = built.Of(1360).value_or(Values{});
    ASSERT_EQ(w.size(), 2u);
    EXPECT_NEAR(w[0], expected[0], std::fabs(expected[0]) * 1e-12);
    EXPECT_NEAR(w[1], expected[1], std::fabs(expected[1]) * 1e-12);
    EXPECT_EQ(built.Of(1361), (Values{2.0, -0.6, -0.01, 0.001}));
    // Any input 0 leaves the code out.
    r.extensionalViscosity[1] = 0;
    EXPECT_FALSE(Built(converter_, r).Has(1360));
}

TEST_F(PropertySetBuilder, MeltFlowRate) {
    MaterialRecord r = EmptyRecord();
    SetText(r.meltFlowRate, "25 g/10min (230 C/2.16 kg)");
    EXPECT_EQ(Built(converter_, r).Of(1330), (Values{503.15, 2.16, 25}));
    for (const char* text : {"Unknown", "25 g/10min"}) {
        SetText(r.meltFlowRate, text);
        EXPECT_FALSE(Built(converter_, r).Has(1330)) << text;
    }
}

// ---- PVT -------------------------------------------------------------------------------------

void ExpectNear(const std::optional<Values>& actual, const Values& expected) {
    ASSERT_TRUE(actual.has_value());
    ASSERT_EQ(actual->size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR((*actual)[i], expected[i], std::fabs(expected[i]) * 1e-12) << "entry " << i;
    }
}

TEST_F(PropertySetBuilder, TaitFromTheProductsOwnPvtModel) {
    MaterialRecord r = EmptyRecord();
    std::copy(property_test::kPvtWithExtra.begin(), property_test::kPvtWithExtra.end(),
              r.pvtVantorel.begin());
    r.meltTemperatureDefault = property_test::kMeltTemperature;
    for (int i = 0; i < 13; ++i) r.tait[i] = 1.0 + i;  // complete, but not preferred
    SetText(r.defaultPvtModel, "vantorel");
    const Built built(converter_, r);
    const Values expected = property_test::Expected("tait_with_extra");
    ExpectNear(built.Of(1004), expected);
    ExpectNear(Values(r.tait.begin(), r.tait.begin() + 13), expected);
    const Values densities = property_test::Expected("densities_with_extra");
    ExpectNear(built.Of(1000), {densities[0]});
    ExpectNear(built.Of(1001), {densities[1]});

    // Another preferred model keeps complete Tait coefficients as they are.
    for (int i = 0; i < 13; ++i) r.tait[i] = 1.0 + i;
    SetText(r.defaultPvtModel, "Tait");
    EXPECT_EQ(Built(converter_, r).Of(1004), (Values{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    // Incomplete ones give way to the converted model.
    r.tait[9] = 0;
    ExpectNear(Built(converter_, r).Of(1004), expected);
}

TEST_F(PropertySetBuilder, NoTaitCoefficientsAreZeroed) {
    MaterialRecord r = EmptyRecord();
    for (int i = 0; i < 9; ++i) r.tait[i] = 1.0;  // incomplete
    r.tait[12] = 5.0;
    r.tait[13] = 7.0;  // beyond the model: left alone
    const Built built(converter_, r);
    EXPECT_FALSE(built.Has(1004));
    EXPECT_EQ(Values(r.tait.begin(), r.tait.begin() + 13), Values(13, 0.0));
    EXPECT_EQ(r.tait[13], 7.0);
    EXPECT_FALSE(built.Has(1000));
}

// Every real of every code of the set is a finite number.
void ExpectAllFinite(const Built& built) {
    for (std::int32_t code : built.Codes()) {
        for (double v : built.Of(code).value_or(Values{})) {
            EXPECT_TRUE(std::isfinite(v)) << "code " << code << ": " << v;
        }
    }
}

// A product PVT model whose melt zone (k7..k10) is zero, as the export
// writes a point table without an upper zone: no 1004 and no melt density
// can come from it, the solid density can.
TEST_F(PropertySetBuilder, AnOwnPvtModelWithoutMeltZoneGivesTheSolidDensityOnly) {
    auto record = [] {
        MaterialRecord r = EmptyRecord();
        std::copy(property_test::kPvtWithoutExtra.begin(), property_test::kPvtWithoutExtra.end(),
                  r.pvtVantorel.begin());
        std::fill_n(r.pvtVantorel.begin() + 7, 4, 0.0);
        r.meltTemperatureDefault = property_test::kMeltTemperature;
        SetText(r.defaultPvtModel, "VANTOREL");
        return r;
    };
    MaterialRecord r = record();
    const Built alone(converter_, r);
    EXPECT_FALSE(alone.Has(1004));
    EXPECT_FALSE(alone.Has(1000));
    // 1 / (k1 T / k2 + k0 / k3) at 25 deg.C and zero pressure.
    const auto& k = property_test::kPvtWithoutExtra;
    ASSERT_TRUE(alone.Has(1001));
    EXPECT_NEAR((*alone.Of(1001))[0], 1.0 / (k[1] * 25.0 / k[2] + k[0] / k[3]),
                (*alone.Of(1001))[0] * 1e-12);
    // The record keeps the solid domain and the transition, nothing else.
    for (std::size_t i : {2u, 3u, 4u, 5u, 10u, 11u, 12u}) EXPECT_EQ(r.tait[i], 0.0) << i;
    for (std::size_t i : {0u, 1u, 6u, 7u, 8u, 9u}) EXPECT_NE(r.tait[i], 0.0) << i;
    ExpectAllFinite(alone);

    // With a generic link, the generic Tait model stands in for the whole
    // model, as for a grade without a model of its own.
    r = record();
    SetText(r.genericLink, "GEN-PP");
    const Built linked(converter_, r);
    EXPECT_EQ(linked.Of(1004), kGenericTait);
    EXPECT_TRUE(linked.Has(1000));
    ExpectAllFinite(linked);
    const std::optional<Values> generic = linked.Of(1890);
    ASSERT_TRUE(generic);
    EXPECT_NE(std::find(generic->begin(), generic->end(), 1004.0), generic->end());

    // Complete Tait coefficients of the record are kept.
    r = record();
    for (int i = 0; i < 13; ++i) r.tait[i] = kGenericTait[i];
    const Built own_tait(converter_, r);
    EXPECT_EQ(own_tait.Of(1004), kGenericTait);
    ExpectAllFinite(own_tait);
}

// ---- Coefficient lists with unset values ----------------------------------------------------
// The grade export pads a short coefficient list with the unset marker and
// copies a gap in a stored list as it is; no marker may be taken for a
// coefficient.

constexpr double kUnset = tarnvel::material::kUnsetMarker;

// A product PVT model with the marker at some entries.
struct OwnPvtGap {
    const char* name;
    std::vector<std::size_t> unset;
    bool melt_zone;
};

// A record whose own PVT model is preferred and has the gap.
MaterialRecord OwnPvtWithGap(const OwnPvtGap& gap) {
    MaterialRecord r = EmptyRecord();
    std::copy(property_test::kPvtWithExtra.begin(), property_test::kPvtWithExtra.end(),
              r.pvtVantorel.begin());
    if (!gap.melt_zone) std::fill_n(r.pvtVantorel.begin() + 7, 4, 0.0);
    for (std::size_t i : gap.unset) r.pvtVantorel[i] = kUnset;
    r.meltTemperatureDefault = property_test::kMeltTemperature;
    SetText(r.defaultPvtModel, "VANTOREL");
    return r;
}

TEST_F(PropertySetBuilder, AnOwnPvtModelWithAnUnsetCoefficientCountsAsAbsent) {
    const OwnPvtGap gaps[] = {
        {"eleven values padded to the rows", {11, 12, 13, 14}, true},
        {"a gap in the extra term", {5}, true},
        {"a gap in the melt zone", {8}, true},
        {"a gap in the solid zone, no melt zone", {1}, false},
    };
    for (const OwnPvtGap& gap : gaps) {
        const std::string name = gap.name;
        MaterialRecord r = OwnPvtWithGap(gap);
        MaterialRecord without = r;
        std::fill_n(without.pvtVantorel.begin(), 13, 0.0);
        const Built alone(converter_, r);
        const Built reference(converter_, without);
        // Exactly what a grade without its own model gets.
        EXPECT_FALSE(alone.Has(1004)) << name;
        EXPECT_EQ(alone.Codes(), reference.Codes()) << name;
        EXPECT_EQ(alone.Of(1000), reference.Of(1000)) << name;
        EXPECT_EQ(alone.Of(1001), reference.Of(1001)) << name;
        EXPECT_EQ(Values(r.tait.begin(), r.tait.begin() + 13), Values(13, 0.0)) << name;
        EXPECT_EQ(r.pvtVantorel[gap.unset[0]], kUnset) << name << ": the record keeps the list";

        // The generic Tait model of the link stands in.
        MaterialRecord linked_record = r;
        SetText(linked_record.genericLink, "GEN-PP");
        const Built linked(converter_, linked_record);
        EXPECT_EQ(linked.Of(1004), kGenericTait) << name;
        ExpectAllFinite(linked);
        const Values generic = linked.Of(1890).value_or(Values{});
        EXPECT_NE(std::find(generic.begin(), generic.end(), 1004.0), generic.end()) << name;

        // So do the record's own complete Tait coefficients.
        MaterialRecord own_tait_record = r;
        std::copy(kGenericTait.begin(), kGenericTait.end(), own_tait_record.tait.begin());
        const Built own_tait(converter_, own_tait_record);
        EXPECT_EQ(own_tait.Of(1004), kGenericTait) << name;
        ExpectAllFinite(own_tait);
    }
}

TEST_F(PropertySetBuilder, ATaitListWithAnUnsetCoefficientCountsAsAbsent) {
    auto record = [](std::size_t unset) {
        MaterialRecord r = EmptyRecord();
        std::copy(kGenericTait.begin(), kGenericTait.end(), r.tait.begin());
        r.tait[unset] = kUnset;
        r.meltTemperatureDefault = property_test::kMeltTemperature;
        return r;
    };
    // The two rows beyond the model, which the export fills with the marker,
    // do not matter.
    MaterialRecord r = record(13);
    r.tait[14] = kUnset;
    EXPECT_EQ(Built(converter_, r).Of(1004), kGenericTait);
    for (std::size_t unset : {0u, 4u, 11u, 12u}) {
        r = record(unset);
        const Built alone(converter_, r);
        EXPECT_FALSE(alone.Has(1004)) << unset;
        EXPECT_FALSE(alone.Has(1000)) << unset;
        EXPECT_EQ(Values(r.tait.begin(), r.tait.begin() + 13), Values(13, 0.0)) << unset;
        // The product's own model takes over, though not preferred.
        r = record(unset);
        std::copy(property_test::kPvtWithExtra.begin(), property_test::kPvtWithExtra.end(),
                  r.pvtVantorel.begin());
        SetText(r.defaultPvtModel, "Tait");
        const Built converted(converter_, r);
        ExpectNear(converted.Of(1004), property_test::Expected("tait_with_extra"));
        ExpectAllFinite(converted);
    }
}

TEST_F(PropertySetBuilder, ViscosityModelsWithAnUnsetCoefficientCountAsAbsent) {
    auto record = [] {
        MaterialRecord r = EmptyRecord();
        SetText(r.family, "PP");
        SetText(r.defaultViscosityModel, "Cross-WLF");
        std::copy(property_test::kCrossWlf.begin(), property_test::kCrossWlf.end(),
                  r.crossWlf.begin());
        std::copy(property_test::kSecondOrder.begin(), property_test::kSecondOrder.end(),
                  r.viscosity2ndOrder.begin());
        std::copy(property_test::kFirstOrder.begin(), property_test::kFirstOrder.end(),
                  r.viscosity1stOrder.begin());
        std::copy(property_test::kExtensional.begin(), property_test::kExtensional.end(),
                  r.extensionalViscosity.begin());
        // Rows 5 to 10 of the binding coefficients are beyond what is taken.
        std::fill_n(r.extensionalViscosity.begin() + 4, 6, kUnset);
        r.meltTemperatureDefault = property_test::kMeltTemperature;
        return r;
    };
    MaterialRecord r = record();
    const Built complete(converter_, r);
    EXPECT_EQ(complete.Of(1310), Values{1});
    EXPECT_TRUE(complete.Has(1360));
    EXPECT_EQ(complete.Of(1361), (Values{2.0, -0.6, -0.01, 0.001}));

    // An unset tau*: the complete second-order model takes over.
    r = record();
    r.crossWlf[5] = kUnset;
    const Built no_cross(converter_, r);
    EXPECT_EQ(no_cross.Of(1310), Values{2});
    EXPECT_EQ(no_cross.Of(1313), Values(7, 0.0));
    EXPECT_EQ(TextOf(r.defaultViscosityModel), "2nd Order");
    EXPECT_EQ(no_cross.Text(1328), "VI(230)0120");

    // An unset c3 as well: neither model, and no index.
    r = record();
    r.crossWlf[0] = kUnset;
    r.viscosity2ndOrder[3] = kUnset;
    const Built neither(converter_, r);
    EXPECT_EQ(neither.Of(1310), Values{2});
    EXPECT_EQ(neither.Of(1325), (Values{0, 0, 0, 0, 0, 0, 10, 1000000}));
    EXPECT_EQ(TextOf(r.defaultViscosityModel), "");
    EXPECT_EQ(neither.Text(1328), "");

    // A second-order model named by the grade reads as all zeros.
    r = record();
    SetText(r.defaultViscosityModel, "2nd Order");
    r.viscosity2ndOrder[5] = kUnset;
    EXPECT_EQ(Built(converter_, r).Text(1328), "VI(230)0001");

    // An unset first-order or binding coefficient: no extensional parameters.
    r = record();
    r.viscosity1stOrder[2] = kUnset;
    const Built no_first(converter_, r);
    EXPECT_FALSE(no_first.Has(1360));
    EXPECT_EQ(no_first.Of(1361), (Values{2.0, -0.6, -0.01, 0.001}));
    r = record();
    r.extensionalViscosity[3] = kUnset;
    const Built no_binding(converter_, r);
    EXPECT_FALSE(no_binding.Has(1360));
    EXPECT_EQ(no_binding.Of(1361), Values(4, 0.0));
}

// ---- Fillers and texts -----------------------------------------------------------------------

TEST_F(PropertySetBuilder, FillerComposition) {
    MaterialRecord r = EmptyRecord();
    SetText(r.fillers, "Glass Fibre&Talc(40%),Talc(10%)");
    const Built built(converter_, r);
    EXPECT_EQ(built.Text(3001), "Glass Fibre|Talc");
    Values expected = {20};
    expected.insert(expected.end(), kFillerCodes.begin(), kFillerCodes.end());
    expected.push_back(30);
    expected.insert(expected.end(), kFillerCodes.begin(), kFillerCodes.end());
    EXPECT_EQ(built.Of(3001), expected);

    SetText(r.fillers, "");
    EXPECT_FALSE(Built(converter_, r).Has(3001));
}

TEST_F(PropertySetBuilder, LongFillerCompositionIsCutWithAReport) {
    // 19 fillers served by "Miscellaneous" give 19 x 14 = 266 values.
    MaterialRecord r = EmptyRecord();
    std::string fillers;
    for (int i = 1; i <= 19; ++i) {
        fillers.append("F").append(std::to_string(100 + i)).append("(1%),");
    }
    SetText(r.fillers, fillers);
    ::testing::internal::CaptureStderr();
    const Built built(converter_, r);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("3001"), std::string::npos) << report;
    EXPECT_EQ(built.Of(3001)->size(), 256u);
    EXPECT_EQ(built.Text(3001)->substr(0, 9), "F101|F102");

    // Two names found in one long-named set: the names text is cut.
    SetText(r.fillers, "Long Mineral(10%),Mineral(5%)");
    const std::optional<std::string> names = Built(converter_, r).Text(3001);
    ASSERT_TRUE(names.has_value());
    EXPECT_EQ(*names, (kLongFillerName + "|" + kLongFillerName).substr(0, 255));
}

TEST_F(PropertySetBuilder, TextsAreCutToTheirField) {
    MaterialRecord r = EmptyRecord();
    SetText(r.tradeName, std::string(300, 'T'));
    SetText(r.manufacturer, std::string(300, 'M'));
    SetText(r.family, "LONG");
    // A field without its terminating NUL.
    std::memset(r.grade.data(), 'G', r.grade.size());
    const Built built(converter_, r);
    EXPECT_EQ(std::string(udm_tset_description(built.set())), std::string(255, 'T'));
    EXPECT_EQ(built.Text(1998), std::string(255, 'T'));
    EXPECT_EQ(built.Text(1992), std::string(255, 'L'));
    EXPECT_EQ(built.Text(1993), std::string(255, 'G'));
}

TEST_F(PropertySetBuilder, NonFiniteInputsArePassedOn) {
    MaterialRecord r = EmptyRecord();
    r.meltTemperatureDefault = kNaN;
    r.moldTemperatureDefault = kInf;
    SetText(r.defaultViscosityModel, "2nd Order");
    r.viscosity2ndOrder[0] = kInf;
    r.pvtVantorel[0] = kNaN;
    r.pvtVantorel[7] = 1.0;  // a melt zone, so that the model is converted
    SetText(r.meltFlowRate, "nan g/10min (inf C/nan kg)");
    std::fill_n(r.extensionalViscosity.begin(), 4, kNaN);
    std::fill_n(r.viscosity1stOrder.begin(), 3, kNaN);
    const Built built(converter_, r);
    EXPECT_TRUE(std::isnan((*built.Of(11002))[0]));
    EXPECT_EQ(built.Of(11108), Values{kInf});
    // An infinite viscosity has no index text.
    EXPECT_EQ(built.Text(1328), "");
    EXPECT_TRUE(std::isnan((*built.Of(1004))[0]));
    EXPECT_TRUE(std::isnan((*built.Of(1360))[0]));
    EXPECT_EQ((*built.Of(1330))[0], kInf);
}

// ---- The shipped sample data
// ---------------------------------------------------------------------

TEST(ShippedData, TypicalPolypropyleneGradeIsCompleteAndPlausible) {
    const MUdbConverter converter(TARNVEL_SOURCE_DIR "/product/data/dat");
    MaterialRecord r = EmptyRecord();
    SetText(r.supplier, "ACME");
    SetText(r.grade, "PP-H 120");
    SetText(r.tradeName, "Acmelene 120");
    SetText(r.manufacturer, "Acme Polymers");
    SetText(r.family, "PP");
    SetText(r.genericLink, "GEN-PP");
    SetText(r.fillers, "Talc(20%)");
    SetText(r.meltFlowRate, "12 g/10min (230 C/2.16 kg)");
    SetText(r.defaultViscosityModel, "Cross-WLF");
    r.crystalline = true;
    r.meltTemperatureMin = 200;
    r.meltTemperatureMax = 280;
    r.moldTemperatureMin = 20;
    r.moldTemperatureMax = 60;
    r.specificHeat = 2740;
    r.thermalConductivity = 0.17;
    std::copy(property_test::kCrossWlf.begin(), property_test::kCrossWlf.end(), r.crossWlf.begin());
    const Built built(converter, r);

    EXPECT_STREQ(udm_tset_description(built.set()), "Acmelene 120 : Acme Polymers");
    EXPECT_EQ(built.Text(1992), "Polypropylene");
    EXPECT_EQ(built.Text(1995), "Crystalline");
    EXPECT_EQ(built.Of(11002), Values{513.15});
    EXPECT_EQ(built.Of(1310), Values{1});
    EXPECT_EQ(built.Text(1328)->substr(0, 7), "VI(230)");
    EXPECT_EQ(built.Of(1330), (Values{503.15, 2.16, 12}));
    // Every code but the extensional parameters (no first-order model).
    EXPECT_EQ(built.Codes(),
              (std::vector<std::int32_t>{
                  1000, 1001, 1004, 1140, 1240, 1310, 1313, 1325, 1328, 1330,  1361, 1504, 1550,
                  1553, 1554, 1602, 1633, 1702, 1800, 1801, 1804, 1806, 1808,  1890, 1898, 1899,
                  1992, 1993, 1994, 1995, 1997, 1998, 1999, 3001, 4003, 11002, 11108}));
    // Densities of a polypropylene in kg/m3, from the generic Tait model.
    EXPECT_GT((*built.Of(1000))[0], 650);
    EXPECT_LT((*built.Of(1000))[0], 850);
    EXPECT_GT((*built.Of(1001))[0], 850);
    EXPECT_LT((*built.Of(1001))[0], 950);
    EXPECT_LT((*built.Of(1554))[0], (*built.Of(11002))[0]);
    EXPECT_GT((*built.Of(1554))[0], (*built.Of(1504))[0]);
    const Values mechanical = built.Of(1602).value_or(Values{});
    EXPECT_EQ(mechanical.size(), 5u);
    for (double value : mechanical) EXPECT_GT(value, 0);
    EXPECT_EQ(built.Text(3001), "Talc");
    EXPECT_EQ((*built.Of(3001))[0], 20);
    EXPECT_EQ(built.Of(1890), (Values{1504, 1804, 1806, 1553, 1004, 1602, 1702}));
}

}  // namespace
