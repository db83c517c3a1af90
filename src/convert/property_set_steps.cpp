// The build steps of the viscosity, PVT, filler and generic list codes.
#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/property_formulas.h"
#include "convert/property_set_writer.h"

namespace tarnvel::convert::set_building {

using material::MaterialRecord;
using material::RealArray;
using material::TextOf;

namespace {

// The values of the viscosity model selector.
constexpr double kCrossWlfModel = 1.0;
constexpr double kOtherViscosityModel = 2.0;
// The Cross-WLF coefficients in the order of their code: n, tau*, D1, D2,
// D3, A1, A2.
constexpr std::size_t kCrossWlfCodeOrder[] = {6, 5, 0, 1, 2, 3, 4};
// The shear rate bounds that follow the second-order coefficients, in 1/s.
constexpr double kSecondOrderMinShearRate = 10.0;
constexpr double kSecondOrderMaxShearRate = 1000000.0;

// The number of leading Tait coefficients that make a set complete.
constexpr std::size_t kTaitCompleteCount = 10;
// The indices of the Tait coefficients in `tait`.
enum TaitIndex : std::size_t { kB5 = 0, kB1m = 2, kB2m = 3, kB1s = 6, kB2s = 7 };
// The Tait coefficients of the solid domain and the transition: b5, b6,
// b1s, b2s, b3s, b4s.
constexpr std::size_t kSolidDomain[] = {0, 1, 6, 7, 8, 9};
// The melt zone coefficients k7..k10 of the product's own PVT model.
constexpr std::size_t kOwnMeltFirst = 7;
constexpr std::size_t kOwnMeltCount = 4;
// Room temperature in kelvin, at which the solid density is taken.
constexpr double kRoomTemperature = 298.15;

}  // namespace

// ---- Viscosity ---------------------------------------------------------------------------------

// The viscosity model selector. A Cross-WLF model with a negative or an
// unset coefficient is replaced by the second-order model when that is
// complete.
void ViscosityModel(SetWriter& w, std::int32_t code) {
    MaterialRecord& r = w.record();
    double model = kOtherViscosityModel;
    if (EqualsIgnoringCase(TextOf(r.defaultViscosityModel), "Cross-WLF")) {
        const bool usable = ModelIsSet(r, CoefficientModel::kCrossWlf) &&
                            std::all_of(r.crossWlf.begin(), r.crossWlf.begin() + kCrossWlfCount,
                                        [](double v) { return v >= 0.0; });
        if (usable) {
            model = kCrossWlfModel;
        } else {
            const bool second_order =
                AllNonZero(ModelCoefficients(r, CoefficientModel::kSecondOrder), kSecondOrderCount);
            material::SetText(r.defaultViscosityModel, second_order ? "2nd Order" : "");
        }
    }
    w.Write(code, {model});
}

void CrossWlf(SetWriter& w, std::int32_t code) {
    const RealArray& c = ModelCoefficients(w.record(), CoefficientModel::kCrossWlf);
    std::array<double, kCrossWlfCount> values{};
    std::transform(std::begin(kCrossWlfCodeOrder), std::end(kCrossWlfCodeOrder), values.begin(),
                   [&](std::size_t index) { return c[index]; });
    w.WriteValues(code, values);
}

// The second-order coefficients, then the model's shear rate bounds.
void SecondOrder(SetWriter& w, std::int32_t code) {
    const RealArray& c = ModelCoefficients(w.record(), CoefficientModel::kSecondOrder);
    w.Write(code, {c[0], c[1], c[2], c[3], c[4], c[5], kSecondOrderMinShearRate,
                   kSecondOrderMaxShearRate});
}

// The extensional viscosity parameters, when every input is set.
void ExtensionalParameters(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    const RealArray& a = ModelCoefficients(r, CoefficientModel::kFirstOrder);
    const RealArray& e = ModelCoefficients(r, CoefficientModel::kExtensional);
    const ExtensionalInputs in{a[0], a[1], a[2], e[0], e[1], e[2], e[3], r.meltTemperatureDefault};
    for (double input : {in.a0, in.a1, in.a2, in.e0, in.e1, in.e2, in.e3, in.temperature}) {
        if (input == 0.0) return;
    }
    const auto [w0, w1] = ExtensionalViscosityParameters(in);
    w.Write(code, {w0, w1});
}

void ExtensionalCoefficients(SetWriter& w, std::int32_t code) {
    const RealArray& e = ModelCoefficients(w.record(), CoefficientModel::kExtensional);
    w.Write(code, {e[0], e[1], e[2], e[3]});
}

// The viscosity index, recomputed from the model that the selector left
// unless the grade comes from a database version that keeps it.
void ViscosityIndex(SetWriter& w, std::int32_t code) {
    MaterialRecord& r = w.record();
    if (w.recompute_viscosity_index()) {
        const std::string_view model = TextOf(r.defaultViscosityModel);
        std::string text;
        if (ContainsIgnoringCase(model, "CROSS")) {
            const double t = w.converter().ClassTemperature(TextOf(r.family));
            const std::span<const double, kCrossWlfCount> coefficients(
                ModelCoefficients(r, CoefficientModel::kCrossWlf).data(), kCrossWlfCount);
            text = ViscosityIndexText(t, CrossWlfIndexViscosity(coefficients, t));
        } else if (ContainsIgnoringCase(model, "2ND")) {
            const double t = w.converter().ClassTemperature(TextOf(r.family));
            const std::span<const double, kSecondOrderCount> coefficients(
                ModelCoefficients(r, CoefficientModel::kSecondOrder).data(), kSecondOrderCount);
            text = ViscosityIndexText(t, SecondOrderIndexViscosity(coefficients, t));
        }
        material::SetText(r.viscosityIndex, text);
    }
    w.WriteText(code, TextOf(r.viscosityIndex));
}

// The melt flow rate with its test temperature and load.
void MeltFlowRate(SetWriter& w, std::int32_t code) {
    const std::string_view text = TextOf(w.record().meltFlowRate);
    if (EqualsIgnoringCase(text, "UNKNOWN")) return;
    if (const auto values = MeltFlowRateValues(text))
        w.Write(code, {(*values)[0], (*values)[1], (*values)[2]});
}

// ---- PVT --------------------------------------------------------------

namespace {

// The product's own PVT model has a melt zone unless its four coefficients
// are all zero, the form the export writes for a point table without an
// upper zone. Without one the melt volume would be 0/0.
bool HasOwnMeltZone(const RealArray& k) {
    return std::any_of(k.begin() + kOwnMeltFirst, k.begin() + kOwnMeltFirst + kOwnMeltCount,
                       [](double v) { return v != 0.0; });
}

// A Tait set that holds the solid domain and no melt domain.
bool SolidDomainOnly(const RealArray& t) {
    return t[kB1m] == 0.0 && t[kB2m] == 0.0 && t[kB1s] != 0.0;
}

}  // namespace

// The Tait coefficients, from the record, converted from the
// product's own PVT model, or generic from L. The record keeps what is
// written, or zeros. A model with an unset coefficient counts as absent. An
// own model without a melt zone cannot give the 13 values: the record's or
// the generic ones are written as if there were no own model, and when
// neither is, the record keeps the solid domain that the own model does
// give (for the solid density) and no 1004 is written.
void Tait(SetWriter& w, std::int32_t code) {
    MaterialRecord& r = w.record();
    const RealArray& own = ModelCoefficients(r, CoefficientModel::kOwnPvt);
    const RealArray& own_tait = ModelCoefficients(r, CoefficientModel::kTait);
    const std::span<const double, kOwnPvtCount> own_pvt(own.data(), kOwnPvtCount);
    const bool has_own_pvt = !AllZero(own, kOwnPvtCount);
    const bool own_convertible = has_own_pvt && HasOwnMeltZone(own);
    const bool tait_complete = AllNonZero(own_tait, kTaitCompleteCount);
    const bool prefers_own = EqualsIgnoringCase(TextOf(r.defaultPvtModel), "VANTOREL");

    std::optional<TaitCoefficients> tait;
    if (own_convertible && (prefers_own || !tait_complete)) {
        tait = TaitFromOwnPvt(own_pvt);
    } else if (tait_complete) {
        tait.emplace();
        std::copy_n(own_tait.begin(), kTaitCount, tait->begin());
    } else if (w.has_generic_link() && w.Generic(code, w.link_set(), kTaitCount)) {
        tait.emplace();
        std::copy_n(w.values().begin(), kTaitCount, tait->begin());
        w.MarkGeneric(code);
    }
    if (!tait) {
        std::fill_n(r.tait.begin(), kTaitCount, 0.0);
        if (has_own_pvt && !own_convertible) {
            const TaitCoefficients solid = TaitFromOwnPvt(own_pvt);
            for (std::size_t i : kSolidDomain) r.tait[i] = solid[i];
        }
        return;
    }
    std::copy(tait->begin(), tait->end(), r.tait.begin());
    w.WriteValues(code, *tait);
}

// Writes the density of a specific volume; a volume that gives no finite
// positive density (a grade without Tait coefficients has all of them zero,
// so its volume is 0) gives no code rather than an infinite density.
void WriteDensity(SetWriter& w, std::int32_t code, double volume) {
    const double density = 1.0 / volume;
    if (std::isfinite(density) && density > 0.0) w.Write(code, {density});
}

// The melt density at the melt temperature, from the Tait coefficients;
// none from a set without a melt domain.
void MeltDensity(SetWriter& w, std::int32_t code) {
    const MaterialRecord& r = w.record();
    const RealArray& t = r.tait;
    if (SolidDomainOnly(t)) return;
    WriteDensity(w, code, (r.meltTemperatureDefault + kKelvinOffset - t[kB5]) * t[kB2m] + t[kB1m]);
}

// The solid density at room temperature, from the Tait coefficients.
void SolidDensity(SetWriter& w, std::int32_t code) {
    const RealArray& t = w.record().tait;
    WriteDensity(w, code, (kRoomTemperature - t[kB5]) * t[kB2s] + t[kB1s]);
}

// ---- Fillers and the generic list --------------------------------------------------------------

// The filler composition, when at least one filler finds a filler set.
void Fillers(SetWriter& w, std::int32_t code) {
    std::string names;
    std::vector<double> values;
    if (w.converter().FillerComposition(TextOf(w.record().fillers), names, values)) {
        w.WriteTextAndValues(code, names, values);
    }
}

// The codes whose values came from generic data, when there are any.
void GenericList(SetWriter& w, std::int32_t code) {
    if (!w.generic_list().empty()) w.WriteValues(code, w.generic_list());
}

}  // namespace tarnvel::convert::set_building
