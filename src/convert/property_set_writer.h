// The state of building one property set: the value buffer, the grade's
// generic lookups, the list of codes filled from generic data, and the
// writing of code entries into the set. Shared by the build steps.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/udb_converter.h"
#include "material/material_record.h"

struct UdmTset;

namespace tarnvel::convert::set_building {

inline constexpr double kKelvinOffset = 273.15;
// The longest text written into the model: that of a record text field.
inline constexpr std::size_t kTextLimit = material::kMaxTextLength;
// The capacity of the value buffer, and the most values a code receives.
inline constexpr std::size_t kValueCapacity = kGenericValueCapacity;

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
bool ContainsIgnoringCase(std::string_view text, std::string_view part);
// A text as it is written: cut at kTextLimit characters (and at a NUL).
std::string ModelText(std::string_view text);

// True when the first count entries are all non-zero (NaN counts as
// non-zero), or all zero.
bool AllNonZero(const material::RealArray& values, std::size_t count);
bool AllZero(const material::RealArray& values, std::size_t count);

// The number of coefficients of the viscosity models the builder converts.
inline constexpr std::size_t kCrossWlfCount = 7;
inline constexpr std::size_t kSecondOrderCount = 6;
inline constexpr std::size_t kFirstOrderCount = 3;
inline constexpr std::size_t kExtensionalCount = 4;

// The coefficient models of the record that the builder turns into codes.
enum class CoefficientModel {
    kCrossWlf,     // D1, D2, D3, A1, A2, tau*, n
    kSecondOrder,  // c0..c5
    kFirstOrder,   // A0, A1, A2
    kExtensional,  // E0..E3
    kTait,         // b5, b6, b1m .. b4m, b1s .. b4s, b7, b8, b9
    kOwnPvt,       // k0..k12 of the product's own PVT model
};

// True when none of the coefficients the builder takes from the model holds
// the unset marker. The grade export pads a coefficient list shorter than
// its rows with the marker and copies a gap in a stored list as it is; such
// a model cannot be converted.
bool ModelIsSet(const material::MaterialRecord& record, CoefficientModel model);

// The record's coefficients of the model when it is set; otherwise all
// zeros, which every rule reads as the model being absent, so that no
// marker is ever taken for a number.
const material::RealArray& ModelCoefficients(const material::MaterialRecord& record,
                                             CoefficientModel model);

// Writes the codes of one property set: a value buffer that is cleared
// before each code is prepared, the generic lookups of the grade and the
// list of codes whose values came from generic data.
class SetWriter {
  public:
    using Buffer = std::array<double, kValueCapacity>;

    SetWriter(const MUdbConverter& converter, material::MaterialRecord& record, UdmTset* tset);

    const MUdbConverter& converter() const { return converter_; }
    material::MaterialRecord& record() { return record_; }
    // The grade's generic link is not "UNKNOWN" (in any case of letters).
    bool has_generic_link() const { return has_generic_link_; }
    // The grade's version does not contain "50".
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
    bool Generic(std::int32_t code, int set_id, int min_count);

    // Notes that the code's values came from generic data.
    void MarkGeneric(std::int32_t code) { generic_list_.push_back(code); }
    const std::vector<double>& generic_list() const { return generic_list_; }

  private:
    // Creates the entry and attaches it to the set. More values than the
    // buffer holds are cut, with a condition report.
    void Put(std::int32_t code, const std::string_view* text, std::span<const double> values);

    const MUdbConverter& converter_;
    material::MaterialRecord& record_;
    UdmTset* tset_;
    const bool has_generic_link_;
    const bool recompute_viscosity_index_;
    const int pvt_set_;
    const int link_set_;
    const int class_set_;
    Buffer values_{};
    std::vector<double> generic_list_;
};

// The steps of the viscosity, PVT, filler and generic list codes; each
// writes its code (or leaves it out) and may update the record.
void ViscosityModel(SetWriter& w, std::int32_t code);
void CrossWlf(SetWriter& w, std::int32_t code);
void SecondOrder(SetWriter& w, std::int32_t code);
void ExtensionalParameters(SetWriter& w, std::int32_t code);
void ExtensionalCoefficients(SetWriter& w, std::int32_t code);
void ViscosityIndex(SetWriter& w, std::int32_t code);
void MeltFlowRate(SetWriter& w, std::int32_t code);
void Tait(SetWriter& w, std::int32_t code);
void MeltDensity(SetWriter& w, std::int32_t code);
void SolidDensity(SetWriter& w, std::int32_t code);
void Fillers(SetWriter& w, std::int32_t code);
void GenericList(SetWriter& w, std::int32_t code);

}  // namespace tarnvel::convert::set_building
