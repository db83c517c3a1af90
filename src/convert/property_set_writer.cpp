#include "convert/property_set_writer.h"

#include <algorithm>
#include <cctype>
#include <iterator>

#include "convert/property_formulas.h"
#include "services/syperror.h"
#include "udm/udm.h"

namespace tarnvel::convert::set_building {
namespace {

char LowerCase(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool SameLetter(char x, char y) {
    return LowerCase(x) == LowerCase(y);
}

}  // namespace

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), SameLetter);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view part) {
    return std::search(text.begin(), text.end(), part.begin(), part.end(), SameLetter) !=
           text.end();
}

std::string ModelText(std::string_view text) {
    text = text.substr(0, std::min(text.size(), kTextLimit));
    return std::string(text.substr(0, std::min(text.size(), text.find('\0'))));
}

bool AllNonZero(const material::RealArray& values, std::size_t count) {
    return std::all_of(values.begin(), values.begin() + count, [](double v) { return v != 0.0; });
}

bool AllZero(const material::RealArray& values, std::size_t count) {
    return std::all_of(values.begin(), values.begin() + count, [](double v) { return v == 0.0; });
}

namespace {

// Where each coefficient model lies in the record and how many of its
// leading entries the builder takes.
struct ModelField {
    CoefficientModel model;
    material::RealArray material::MaterialRecord::*field;
    std::size_t count;
};

constexpr ModelField kModelFields[] = {
    {CoefficientModel::kCrossWlf, &material::MaterialRecord::crossWlf, kCrossWlfCount},
    {CoefficientModel::kSecondOrder, &material::MaterialRecord::viscosity2ndOrder,
     kSecondOrderCount},
    {CoefficientModel::kFirstOrder, &material::MaterialRecord::viscosity1stOrder, kFirstOrderCount},
    {CoefficientModel::kExtensional, &material::MaterialRecord::extensionalViscosity,
     kExtensionalCount},
    {CoefficientModel::kTait, &material::MaterialRecord::tait, kTaitCount},
    {CoefficientModel::kOwnPvt, &material::MaterialRecord::pvtVantorel, kOwnPvtCount},
};

const ModelField& FieldOf(CoefficientModel model) {
    return *std::find_if(std::begin(kModelFields), std::end(kModelFields),
                         [model](const ModelField& f) { return f.model == model; });
}

}  // namespace

bool ModelIsSet(const material::MaterialRecord& record, CoefficientModel model) {
    const ModelField& f = FieldOf(model);
    const material::RealArray& values = record.*f.field;
    return std::none_of(values.begin(), values.begin() + f.count,
                        [](double v) { return v == material::kUnsetMarker; });
}

const material::RealArray& ModelCoefficients(const material::MaterialRecord& record,
                                             CoefficientModel model) {
    static constexpr material::RealArray kAbsent{};
    return ModelIsSet(record, model) ? record.*FieldOf(model).field : kAbsent;
}

SetWriter::SetWriter(const MUdbConverter& converter, material::MaterialRecord& record,
                     UdmTset* tset)
    : converter_(converter),
      record_(record),
      tset_(tset),
      has_generic_link_(!EqualsIgnoringCase(material::TextOf(record.genericLink), "UNKNOWN")),
      recompute_viscosity_index_(material::TextOf(record.version).find("50") ==
                                 std::string_view::npos),
      pvt_set_(converter.PvtMechanicalSetId(material::TextOf(record.genericLink))),
      link_set_(converter.LinkSetId(material::TextOf(record.genericLink))),
      class_set_(
          converter.ClassMechanicalSetId(material::TextOf(record.family), record.crystalline)) {}

bool SetWriter::Generic(std::int32_t code, int set_id, int min_count) {
    values_.fill(0.0);
    int count = 0;
    return converter_.GenericValues(code, set_id, count, values_) && count >= min_count;
}

void SetWriter::Put(std::int32_t code, const std::string_view* text,
                    std::span<const double> values) {
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

}  // namespace tarnvel::convert::set_building
