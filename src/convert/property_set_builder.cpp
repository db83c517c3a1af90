#include "convert/property_set_builder.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/property_formulas.h"
#include "services/syperror.h"
#include "udm/udm.h"

namespace tarnvel::convert {
namespace {

using material::MaterialRecord;
using material::RealArray;
using material::RecordText;
using material::TextOf;

constexpr double kKelvinOffset = 273.15;
// Room temperature in kelvin, at which the solid density is taken.
constexpr double kRoomTemperature = 298.15;
// The longest text written into the model: that of a record text field.
constexpr std::size_t kTextLimit = material::kMaxTextLength;
// The capacity of the value buffer, and the most values a code receives.
constexpr std::size_t kValueCapacity = kGenericValueCapacity;

// ---- Texts ------------------------------------------------------------------------------------

char LowerCase(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return LowerCase(x) == LowerCase(y);
           });
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char x, char y) { return LowerCase(x) == LowerCase(y); }) != text.end();
}

// A text as it is written: cut at kTextLimit characters (and at a NUL).
std::string ModelText(std::string_view text) {
    text = text.substr(0, std::min(text.size(), kTextLimit));
    return std::string(text.substr(0, std::min(text.size(), text.find('\0'))));
}

// ---- The state of one build --------------------------------------------------------------------

// Writes the codes of one property set: a value buffer that is cleared
// before each code is prepared, the generic lookups of the grade and the
// list of codes whose values came from generic data.
class SetBuilder {
  public:
    using Buffer = std::array<double, kValueCapacity>;

    SetBuilder(const MUdbConverter& converter, MaterialRecord& record, UdmTset* tset)
        : converter_(converter),
          record_(record),
          tset_(tset),
          has_generic_link_(!EqualsIgnoringCase(TextOf(record.genericLink), "UNKNOWN")),
          recompute_viscosity_index_(TextOf(record.version).find("50") == std::string_view::npos),
          pvt_set_(converter.PvtMechanicalSetId(TextOf(record.genericLink))),
          link_set_(converter.LinkSetId(TextOf(record.genericLink))),
          class_set_(converter.ClassMechanicalSetId(TextOf(record.family), record.crystalline)) {}

    const MUdbConverter& converter() const { return converter_; }
    MaterialRecord& record() { return record_; }
    bool has_generic_link() const { return has_generic_link_; }
    bool recompute_viscosity_index() const { return recompute_viscosity_index_; }
    // The generic set ids of the grade: PVT and mechanical (P), link (L)
    // and class (C).
    int pvt_set() const { return pvt_set_; }
    int link_set() const { return link_set_; }
    int class_set() const { return class_set_; }

    const Buffer& values() const { return values_; }

    // Writes the code with the first count values of the buffer.
    void WriteBuffer(std::int32_t code, std::size_t count) {
        Put(code, nullptr, std::span<const double>(values_.data(), count));
    }

    // Writes the code with the given values.
    void Write(std::int32_t code, std::initializer_list<double> values) {
        Put(code, nullptr, std::span<const double>(values.begin(), values.size()));
    }
    void WriteValues(std::int32_t code, std::span<const double> values) {
        Put(code, nullptr, values);
    }

    // Writes a text-only code.
    void WriteText(std::int32_t code, std::string_view text) { Put(code, &text, {}); }

    // Writes a code with a text and values.
    void WriteTextAndValues(std::int32_t code, std::string_view text,
                            std::span<const double> values) {
        Put(code, &text, values);
    }

    // Clears the buffer and looks a generic code up into it; true when the
    // set has the code with at least min_count values. Set id 0 finds
    // nothing.
    bool Generic(std::int32_t code, int set_id, int min_count) {
        values_.fill(0.0);
        int count = 0;
        return converter_.GenericValues(code, set_id, count, values_) && count >= min_count;
    }

    // Notes that the code's values came from generic data.
    void MarkGeneric(std::int32_t code) { generic_list_.push_back(code); }
    const std::vector<double>& generic_list() const { return generic_list_; }

  private:
    // Creates the entry and attaches it to the set. More values than the
    // buffer holds are cut, with a condition report.
    void Put(std::int32_t code, const std::string_view* text, std::span<const double> values) {
        if (values.size() > kValueCapacity) {
            SYP_REPORT("Property code %d has %zu values; only the first %zu are written\n", code,
                       values.size(), kValueCapacity);
            values = values.first(kValueCapacity);
        }
        const std::string description = text == nullptr ? std::string() : ModelText(*text);
        UdmTcod* tcod = nullptr;
        if (udm_tcod_new(code, text == nullptr ? nullptr : description.c_str(),
                         static_cast<std::int32_t>(values.size()),
                         values.empty() ? nullptr : values.data(), nullptr, &tcod) != UDM_OK) {
            return;
        }
        if (udm_tset_put_code(tcod, tset_) != UDM_OK) udm_tcod_free(tcod);
    }

    const MUdbConverter& converter_;
    MaterialRecord& record_;
    UdmTset* tset_;
    const bool has_generic_link_;
    const bool recompute_viscosity_index_;
    const int pvt_set_;
    const int link_set_;
    const int class_set_;
    Buffer values_{};
    std::vector<double> generic_list_;
};

bool AllNonZero(const RealArray& values, std::size_t count) {
    return std::all_of(values.begin(), values.begin() + count, [](double v) { return v != 0.0; });
}

bool AllZero(const RealArray& values, std::size_t count) {
    return std::all_of(values.begin(), values.begin() + count, [](double v) { return v == 0.0; });
}

// ---- Text codes ---------------------------------------------------------------------------------

template <RecordText MaterialRecord::*Field>
void FieldText(SetBuilder& b, std::int32_t code) {
    b.WriteText(code, TextOf(b.record().*Field));
}

void FamilyName(SetBuilder& b, std::int32_t code) {
    b.WriteText(code, b.converter().FamilyDisplayName(TextOf(b.record().family)));
}

void Crystallinity(SetBuilder& b, std::int32_t code) {
    b.WriteText(code, b.record().crystalline ? "Crystalline" : "Amorphous");
}

void NotProvided(SetBuilder& b, std::int32_t code) {
    b.WriteText(code, "Not Provided");
}

// ---- Processing temperatures -----------------------------------------------------------------

// The generic value of a temperature: the point code's first value from P,
// else the middle of the range code's first two values from P. Nothing
// without a generic link.
std::optional<double> GenericPointOrMidRange(SetBuilder& b, std::int32_t point_code,
                                             std::int32_t range_code) {
    if (!b.has_generic_link()) return std::nullopt;
    if (b.Generic(point_code, b.pvt_set(), 1)) return b.values()[0];
    if (b.Generic(range_code, b.pvt_set(), 2)) return (b.values()[1] + b.values()[0]) * 0.5;
    return std::nullopt;
}

// Rule A: the mould temperature, from the default, the middle of the
// range, or generic data. The record is not changed.
void MoldTemperature(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    if (r.moldTemperatureDefault != 0.0) {
        b.Write(code, {r.moldTemperatureDefault + kKelvinOffset});
    } else if (r.moldTemperatureMin != 0.0 && r.moldTemperatureMax != 0.0) {
        b.Write(code, {(r.moldTemperatureMax + r.moldTemperatureMin) * 0.5 + kKelvinOffset});
    } else if (const auto generic = GenericPointOrMidRange(b, code, 1808)) {
        b.Write(code, {*generic});
        b.MarkGeneric(code);
    }
}

// Rule B: the melt temperature, like the mould temperature, except that
// the record's default takes the value that was written.
void MeltTemperature(SetBuilder& b, std::int32_t code) {
    MaterialRecord& r = b.record();
    if (r.meltTemperatureDefault != 0.0) {
        b.Write(code, {r.meltTemperatureDefault + kKelvinOffset});
    } else if (r.meltTemperatureMin != 0.0 && r.meltTemperatureMax != 0.0) {
        r.meltTemperatureDefault = (r.meltTemperatureMax + r.meltTemperatureMin) * 0.5;
        b.Write(code, {r.meltTemperatureDefault + kKelvinOffset});
    } else if (const auto generic = GenericPointOrMidRange(b, code, 1800)) {
        b.Write(code, {*generic});
        b.MarkGeneric(code);
        r.meltTemperatureDefault = *generic - kKelvinOffset;
    }
}

// Rule C: a recommended temperature range.
template <double MaterialRecord::*Min, double MaterialRecord::*Max>
void TemperatureRange(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    if (r.*Min != 0.0 && r.*Max != 0.0) {
        b.Write(code, {r.*Min + kKelvinOffset, r.*Max + kKelvinOffset});
    } else if (b.has_generic_link() && b.Generic(code, b.pvt_set(), 2)) {
        b.WriteBuffer(code, 2);
        b.MarkGeneric(code);
    }
}

// How far above the highest recommended melt temperature the absolute
// maximum lies, in degrees.
constexpr double kMaxMeltMargin = 40.0;

// Rule D: the absolute maximum melt temperature.
void MaxMeltTemperature(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    if (r.meltTemperatureAbsoluteMax != 0.0) {
        b.Write(code, {r.meltTemperatureAbsoluteMax + kKelvinOffset});
    } else if (r.meltTemperatureMax != 0.0) {
        b.Write(code, {r.meltTemperatureMax + kMaxMeltMargin + kKelvinOffset});
    } else if (b.has_generic_link()) {
        double value = 0.0;
        if (b.Generic(code, b.pvt_set(), 1) && b.values()[0] != 0.0) {
            value = b.values()[0];
        } else if (b.Generic(1800, b.pvt_set(), 2)) {
            value = b.values()[1] + kMaxMeltMargin;
        } else {
            return;
        }
        b.Write(code, {value});
        b.MarkGeneric(code);
    }
}

// Rule E: a temperature of the record, else its generic value from P,
// which the record then takes.
template <double MaterialRecord::*Field>
void GenericTemperature(SetBuilder& b, std::int32_t code) {
    MaterialRecord& r = b.record();
    if (r.*Field != 0.0) {
        b.Write(code, {r.*Field + kKelvinOffset});
    } else if (b.has_generic_link() && b.Generic(code, b.pvt_set(), 1)) {
        const double value = b.values()[0];
        b.Write(code, {value});
        b.MarkGeneric(code);
        r.*Field = value - kKelvinOffset;
    }
}

// Rule F: a processing limit of the record, else its generic value from L.
template <double MaterialRecord::*Field>
void GenericLimit(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    if (r.*Field != 0.0) {
        b.Write(code, {r.*Field});
    } else if (b.has_generic_link() && b.Generic(code, b.link_set(), 1)) {
        b.WriteBuffer(code, 1);
        b.MarkGeneric(code);
    }
}

// How much below the no-flow temperature the ejection temperature lies, in
// degrees, for crystalline and amorphous materials.
constexpr double kEjectionMarginCrystalline = 10.0;
constexpr double kEjectionMarginAmorphous = 20.0;

// Rule I: the ejection temperature below the no-flow temperature, but
// above the freeze temperature.
void EjectionTemperature(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    const double freeze = r.freezeTemperature + kKelvinOffset;
    const double margin = r.crystalline ? kEjectionMarginCrystalline : kEjectionMarginAmorphous;
    const double ejection = r.noFlowTemperature + kKelvinOffset - margin;
    b.Write(code, {ejection > freeze ? ejection : freeze + 1.0});
}

// ---- Viscosity ---------------------------------------------------------------------------------

constexpr double kCrossWlfModel = 1.0;
constexpr double kOtherViscosityModel = 2.0;
constexpr std::size_t kCrossWlfCount = 7;
constexpr std::size_t kSecondOrderCount = 6;

// Rule G: the viscosity model selector. A Cross-WLF model with a negative
// coefficient is replaced by the second-order model when that is complete.
void ViscosityModel(SetBuilder& b, std::int32_t code) {
    MaterialRecord& r = b.record();
    double model = kOtherViscosityModel;
    if (EqualsIgnoringCase(TextOf(r.defaultViscosityModel), "Cross-WLF")) {
        const bool usable = std::all_of(r.crossWlf.begin(), r.crossWlf.begin() + kCrossWlfCount,
                                        [](double v) { return v >= 0.0; });
        if (usable) {
            model = kCrossWlfModel;
        } else {
            const bool second_order = AllNonZero(r.viscosity2ndOrder, kSecondOrderCount);
            material::SetText(r.defaultViscosityModel, second_order ? "2nd Order" : "");
        }
    }
    b.Write(code, {model});
}

// The Cross-WLF coefficients in the order of the code: n, tau*, D1, D2, D3,
// A1, A2.
constexpr std::size_t kCrossWlfCodeOrder[] = {6, 5, 0, 1, 2, 3, 4};

void CrossWlf(SetBuilder& b, std::int32_t code) {
    std::array<double, kCrossWlfCount> values{};
    std::transform(std::begin(kCrossWlfCodeOrder), std::end(kCrossWlfCodeOrder), values.begin(),
                   [&](std::size_t index) { return b.record().crossWlf[index]; });
    b.WriteValues(code, values);
}

// The second-order coefficients, then the model's shear rate bounds.
void SecondOrder(SetBuilder& b, std::int32_t code) {
    const RealArray& c = b.record().viscosity2ndOrder;
    b.Write(code, {c[0], c[1], c[2], c[3], c[4], c[5], 10.0, 1000000.0});
}

// Rule H: the extensional viscosity parameters, when every input is set.
void ExtensionalParameters(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    const ExtensionalInputs in{r.viscosity1stOrder[0],    r.viscosity1stOrder[1],
                               r.viscosity1stOrder[2],    r.extensionalViscosity[0],
                               r.extensionalViscosity[1], r.extensionalViscosity[2],
                               r.extensionalViscosity[3], r.meltTemperatureDefault};
    for (double input : {in.a0, in.a1, in.a2, in.e0, in.e1, in.e2, in.e3, in.temperature}) {
        if (input == 0.0) return;
    }
    const auto [w0, w1] = ExtensionalViscosityParameters(in);
    b.Write(code, {w0, w1});
}

void ExtensionalCoefficients(SetBuilder& b, std::int32_t code) {
    const RealArray& e = b.record().extensionalViscosity;
    b.Write(code, {e[0], e[1], e[2], e[3]});
}

// Rule J: the viscosity index, recomputed from the model that rule G left
// unless the grade comes from a database version that keeps it.
void ViscosityIndex(SetBuilder& b, std::int32_t code) {
    MaterialRecord& r = b.record();
    if (b.recompute_viscosity_index()) {
        const std::string_view model = TextOf(r.defaultViscosityModel);
        std::string text;
        if (ContainsIgnoringCase(model, "CROSS")) {
            const double t = b.converter().ClassTemperature(TextOf(r.family));
            const std::span<const double, kCrossWlfCount> coefficients(r.crossWlf.data(),
                                                                       kCrossWlfCount);
            text = ViscosityIndexText(t, CrossWlfIndexViscosity(coefficients, t));
        } else if (ContainsIgnoringCase(model, "2ND")) {
            const double t = b.converter().ClassTemperature(TextOf(r.family));
            const std::span<const double, kSecondOrderCount> coefficients(
                r.viscosity2ndOrder.data(), kSecondOrderCount);
            text = ViscosityIndexText(t, SecondOrderIndexViscosity(coefficients, t));
        }
        material::SetText(r.viscosityIndex, text);
    }
    b.WriteText(code, TextOf(r.viscosityIndex));
}

// Rule K: the melt flow rate with its test temperature and load.
void MeltFlowRate(SetBuilder& b, std::int32_t code) {
    const std::string_view text = TextOf(b.record().meltFlowRate);
    if (EqualsIgnoringCase(text, "UNKNOWN")) return;
    if (const auto values = MeltFlowRateValues(text))
        b.Write(code, {(*values)[0], (*values)[1], (*values)[2]});
}

// ---- Thermal properties and PVT --------------------------------------------------------------

// A property at the melt temperature: temperature, value, 0.
template <double MaterialRecord::*Field>
void MeltProperty(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    b.Write(code, {r.meltTemperatureDefault + kKelvinOffset, r.*Field, 0.0});
}

// The number of leading Tait coefficients that make a set complete.
constexpr std::size_t kTaitCompleteCount = 10;

// Rule L: the Tait coefficients, from the record, converted from the
// product's own PVT model, or generic from L. The record keeps what is
// written, or zeros.
void Tait(SetBuilder& b, std::int32_t code) {
    MaterialRecord& r = b.record();
    const std::span<const double, kOwnPvtCount> own_pvt(r.pvtVantorel.data(), kOwnPvtCount);
    const bool has_own_pvt = !AllZero(r.pvtVantorel, kOwnPvtCount);
    const bool prefers_own = EqualsIgnoringCase(TextOf(r.defaultPvtModel), "VANTOREL");

    std::optional<TaitCoefficients> tait;
    if (has_own_pvt && (prefers_own || !AllNonZero(r.tait, kTaitCompleteCount))) {
        tait = TaitFromOwnPvt(own_pvt);
    } else if (AllNonZero(r.tait, kTaitCompleteCount)) {
        tait.emplace();
        std::copy_n(r.tait.begin(), kTaitCount, tait->begin());
    } else if (b.has_generic_link() && b.Generic(code, b.link_set(), kTaitCount)) {
        tait.emplace();
        std::copy_n(b.values().begin(), kTaitCount, tait->begin());
        b.MarkGeneric(code);
    }
    if (!tait) {
        std::fill_n(r.tait.begin(), kTaitCount, 0.0);
        return;
    }
    std::copy(tait->begin(), tait->end(), r.tait.begin());
    b.WriteValues(code, *tait);
}

// The indices of the Tait coefficients in `tait`.
enum TaitIndex : std::size_t { kB5 = 0, kB1m = 2, kB2m = 3, kB1s = 6, kB2s = 7 };

// The melt density at the melt temperature, from the Tait coefficients.
void MeltDensity(SetBuilder& b, std::int32_t code) {
    const MaterialRecord& r = b.record();
    const RealArray& t = r.tait;
    b.Write(code,
            {1.0 / ((r.meltTemperatureDefault + kKelvinOffset - t[kB5]) * t[kB2m] + t[kB1m])});
}

// The solid density at room temperature, from the Tait coefficients.
void SolidDensity(SetBuilder& b, std::int32_t code) {
    const RealArray& t = b.record().tait;
    b.Write(code, {1.0 / ((kRoomTemperature - t[kB5]) * t[kB2s] + t[kB1s])});
}

// ---- Generic sets, fillers and the generic list ------------------------------------------------

// Rule M: a mechanical property with its required count, from P when the
// grade has a generic link, else from the family's class set C.
template <int Count>
void ClassGeneric(SetBuilder& b, std::int32_t code) {
    const bool found = (b.has_generic_link() && b.Generic(code, b.pvt_set(), Count)) ||
                       b.Generic(code, b.class_set(), Count);
    if (!found) return;
    b.WriteBuffer(code, Count);
    b.MarkGeneric(code);
}

void Zero(SetBuilder& b, std::int32_t code) {
    b.Write(code, {0.0});
}

void Fillers(SetBuilder& b, std::int32_t code) {
    std::string names;
    std::vector<double> values;
    if (b.converter().FillerComposition(TextOf(b.record().fillers), names, values)) {
        b.WriteTextAndValues(code, names, values);
    }
}

void GenericList(SetBuilder& b, std::int32_t code) {
    if (!b.generic_list().empty()) b.WriteValues(code, b.generic_list());
}

// ---- The codes in the order they are prepared --------------------------------------------------

using StepFunction = void (*)(SetBuilder&, std::int32_t);

struct Step {
    std::int32_t code;
    StepFunction write;
};

// Later steps rely on what earlier ones left in the record: the melt
// temperature of 11002, the freeze and no-flow temperatures of 1504 and
// 1553, the viscosity model of 1310 and the Tait coefficients of 1004.
constexpr Step kSteps[] = {
    {1992, FamilyName},
    {1998, FieldText<&MaterialRecord::tradeName>},
    {1997, FieldText<&MaterialRecord::manufacturer>},
    {1999, FieldText<&MaterialRecord::family>},
    {1995, Crystallinity},
    {1633, FieldText<&MaterialRecord::tester>},
    {1898, FieldText<&MaterialRecord::testDate>},
    {1899, NotProvided},
    {1993, FieldText<&MaterialRecord::grade>},
    {1994, FieldText<&MaterialRecord::supplier>},
    {11108, MoldTemperature},
    {11002, MeltTemperature},
    {1808,
     TemperatureRange<&MaterialRecord::moldTemperatureMin, &MaterialRecord::moldTemperatureMax>},
    {1800,
     TemperatureRange<&MaterialRecord::meltTemperatureMin, &MaterialRecord::meltTemperatureMax>},
    {1801, MaxMeltTemperature},
    {1504, GenericTemperature<&MaterialRecord::freezeTemperature>},
    {1804, GenericLimit<&MaterialRecord::maxShearStress>},
    {1806, GenericLimit<&MaterialRecord::maxShearRate>},
    {1310, ViscosityModel},
    {1313, CrossWlf},
    {1325, SecondOrder},
    {1360, ExtensionalParameters},
    {1553, GenericTemperature<&MaterialRecord::noFlowTemperature>},
    {1554, EjectionTemperature},
    {1550, EjectionTemperature},
    {1328, ViscosityIndex},
    {1330, MeltFlowRate},
    {1140, MeltProperty<&MaterialRecord::specificHeat>},
    {1240, MeltProperty<&MaterialRecord::thermalConductivity>},
    {1004, Tait},
    {1000, MeltDensity},
    {1001, SolidDensity},
    {1602, ClassGeneric<5>},
    {1702, ClassGeneric<2>},
    {4003, Zero},
    {3001, Fillers},
    {kGenericListCode, GenericList},
    {1361, ExtensionalCoefficients},
};

// The set's name: "<trade name> : <manufacturer>".
std::string SetName(const MaterialRecord& record) {
    std::string name(TextOf(record.tradeName));
    name.append(" : ").append(TextOf(record.manufacturer));
    return ModelText(name);
}

// Initialises the current model and creates the set in it; null on failure.
UdmTset* NewPropertySet(const MaterialRecord& record) {
    if (udm_model_init() != UDM_OK) return nullptr;
    auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, kPropertySetType, 0));
    if (tset != nullptr) udm_tset_set_description(tset, SetName(record).c_str());
    return tset;
}

}  // namespace

UdmModel* BuildPropertySet(const MUdbConverter& converter, MaterialRecord& record) {
    UdmModel* const previous = udm_model_current();
    UdmModel* model = nullptr;
    if (udm_model_alloc(&model) != UDM_OK || model == nullptr) return nullptr;
    udm_model_select(model);
    UdmTset* const tset = NewPropertySet(record);
    if (tset != nullptr) {
        SetBuilder builder(converter, record, tset);
        for (const Step& step : kSteps) step.write(builder, step.code);
    }
    udm_model_select(previous);
    if (tset == nullptr) {
        udm_model_free(model);
        return nullptr;
    }
    return model;
}

}  // namespace tarnvel::convert
