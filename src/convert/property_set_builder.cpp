#include "convert/property_set_builder.h"

#include <cstdint>
#include <optional>
#include <string>

#include "convert/property_set_writer.h"
#include "udm/udm.h"

namespace tarnvel::convert {
namespace {

using material::MaterialRecord;
using material::RecordText;
using material::TextOf;
using namespace set_building;

// ---- Text codes ---------------------------------------------------------------------------------

template <RecordText MaterialRecord::*Field>
void FieldText(SetWriter& w, std::int32_t code) {
    w.WriteText(code, TextOf(w.record().*Field));
}

void FamilyName(SetWriter& w, std::int32_t code) {
    w.WriteText(code, w.converter().FamilyDisplayName(TextOf(w.record().family)));
}

void Crystallinity(SetWriter& w, std::int32_t code) {
    w.WriteText(code, w.record().crystalline ? "Crystalline" : "Amorphous");
}

void NotProvided(SetWriter& w, std::int32_t code) {
    w.WriteText(code, "Not Provided");
}

// ---- Processing temperatures -----------------------------------------------------------------

// The generic value of a temperature: the point code's first value from P,
// else the middle of the range code's first two values from P. Nothing
// without a generic link.
std::optional<double> GenericPointOrMidRange(SetWriter& w, std::int32_t point_code,
                                             std::int32_t range_code) {
    if (!w.has_generic_link()) return std::nullopt;
    if (w.Generic(point_code, w.pvt_set(), 1)) return w.values()[0];
    if (w.Generic(range_code, w.pvt_set(), 2)) return (w.values()[1] + w.values()[0]) * 0.5;
    return std::nullopt;
}

// The mould temperature, from the default, the middle of the
// range, or generic data. The record is not changed.
void MoldTemperature(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    if (r.moldTemperatureDefault != 0.0) {
        w.Write(code, {r.moldTemperatureDefault + kKelvinOffset});
    } else if (r.moldTemperatureMin != 0.0 && r.moldTemperatureMax != 0.0) {
        w.Write(code, {(r.moldTemperatureMax + r.moldTemperatureMin) * 0.5 + kKelvinOffset});
    } else if (const auto generic = GenericPointOrMidRange(w, code, 1808)) {
        w.Write(code, {*generic});
        w.MarkGeneric(code);
    }
}

// The melt temperature, like the mould temperature, except that
// the record's default takes the value that was written.
void MeltTemperature(SetWriter& w, std::int32_t code) {
    MaterialRecord& r = w.record();
    if (r.meltTemperatureDefault != 0.0) {
        w.Write(code, {r.meltTemperatureDefault + kKelvinOffset});
    } else if (r.meltTemperatureMin != 0.0 && r.meltTemperatureMax != 0.0) {
        r.meltTemperatureDefault = (r.meltTemperatureMax + r.meltTemperatureMin) * 0.5;
        w.Write(code, {r.meltTemperatureDefault + kKelvinOffset});
    } else if (const auto generic = GenericPointOrMidRange(w, code, 1800)) {
        w.Write(code, {*generic});
        w.MarkGeneric(code);
        r.meltTemperatureDefault = *generic - kKelvinOffset;
    }
}

// A recommended temperature range.
template <double MaterialRecord::*Min, double MaterialRecord::*Max>
void TemperatureRange(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    if (r.*Min != 0.0 && r.*Max != 0.0) {
        w.Write(code, {r.*Min + kKelvinOffset, r.*Max + kKelvinOffset});
    } else if (w.has_generic_link() && w.Generic(code, w.pvt_set(), 2)) {
        w.WriteBuffer(code, 2);
        w.MarkGeneric(code);
    }
}

// How far above the highest recommended melt temperature the absolute
// maximum lies, in degrees.
constexpr double kMaxMeltMargin = 40.0;

// The absolute maximum melt temperature.
void MaxMeltTemperature(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    if (r.meltTemperatureAbsoluteMax != 0.0) {
        w.Write(code, {r.meltTemperatureAbsoluteMax + kKelvinOffset});
    } else if (r.meltTemperatureMax != 0.0) {
        w.Write(code, {r.meltTemperatureMax + kMaxMeltMargin + kKelvinOffset});
    } else if (w.has_generic_link()) {
        double value = 0.0;
        if (w.Generic(code, w.pvt_set(), 1) && w.values()[0] != 0.0) {
            value = w.values()[0];
        } else if (w.Generic(1800, w.pvt_set(), 2)) {
            value = w.values()[1] + kMaxMeltMargin;
        } else {
            return;
        }
        w.Write(code, {value});
        w.MarkGeneric(code);
    }
}

// A temperature of the record, else its generic value from P,
// which the record then takes.
template <double MaterialRecord::*Field>
void GenericTemperature(SetWriter& w, std::int32_t code) {
    MaterialRecord& r = w.record();
    if (r.*Field != 0.0) {
        w.Write(code, {r.*Field + kKelvinOffset});
    } else if (w.has_generic_link() && w.Generic(code, w.pvt_set(), 1)) {
        const double value = w.values()[0];
        w.Write(code, {value});
        w.MarkGeneric(code);
        r.*Field = value - kKelvinOffset;
    }
}

// A processing limit of the record, else its generic value from L.
template <double MaterialRecord::*Field>
void GenericLimit(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    if (r.*Field != 0.0) {
        w.Write(code, {r.*Field});
    } else if (w.has_generic_link() && w.Generic(code, w.link_set(), 1)) {
        w.WriteBuffer(code, 1);
        w.MarkGeneric(code);
    }
}

// How much below the no-flow temperature the ejection temperature lies, in
// degrees, for crystalline and amorphous materials.
constexpr double kEjectionMarginCrystalline = 10.0;
constexpr double kEjectionMarginAmorphous = 20.0;

// The ejection temperature below the no-flow temperature, but
// above the freeze temperature.
void EjectionTemperature(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    const double freeze = r.freezeTemperature + kKelvinOffset;
    const double margin = r.crystalline ? kEjectionMarginCrystalline : kEjectionMarginAmorphous;
    const double ejection = r.noFlowTemperature + kKelvinOffset - margin;
    w.Write(code, {ejection > freeze ? ejection : freeze + 1.0});
}

// A property at the melt temperature: temperature, value, 0.
template <double MaterialRecord::*Field>
void MeltProperty(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    w.Write(code, {r.meltTemperatureDefault + kKelvinOffset, r.*Field, 0.0});
}

// ---- Generic mechanical properties ---------------------------------------------------------

// A mechanical property with its required count, from P when the
// grade has a generic link, else from the family's class set C.
template <int Count>
void ClassGeneric(SetWriter& w, std::int32_t code) {
    const bool found = (w.has_generic_link() && w.Generic(code, w.pvt_set(), Count)) ||
                       w.Generic(code, w.class_set(), Count);
    if (!found) return;
    w.WriteBuffer(code, Count);
    w.MarkGeneric(code);
}

// A code whose single value is always 0.
void Zero(SetWriter& w, std::int32_t code) {
    w.Write(code, {0.0});
}

// ---- The codes in the order they are prepared --------------------------------------------------

using StepFunction = void (*)(SetWriter&, std::int32_t);

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
        SetWriter writer(converter, record, tset);
        for (const Step& step : kSteps) step.write(writer, step.code);
    }
    udm_model_select(previous);
    if (tset == nullptr) {
        udm_model_free(model);
        return nullptr;
    }
    return model;
}

}  // namespace tarnvel::convert
