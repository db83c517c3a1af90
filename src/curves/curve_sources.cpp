#include "curves/curve_sources.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <span>
#include <string_view>
#include <type_traits>

#include "curves/class_temperature.h"
#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_fit_errors.h"
#include "matdb/md_fit_pvt.h"
#include "matdb/md_fit_viscosity.h"
#include "matdb/md_value_text.h"
#include "services/vtout.h"
#include "udm/udm.h"

namespace tarnvel::curves {
namespace {

using matdb::kMdPvtSpecificVolume;
using matdb::kMdViscosity;

// Properties of the database catalogue that hold models or temperatures.
enum Property : int {
    kMeltMinimum = 43,
    kMeltMaximum = 44,
    kMeltSuggested = 45,
    kFirstOrderList = 79,
    kSecondOrderList = 80,
    kCrossList = 81,
    kCarreauList = 82,
    kCrossWlfList = 83,
    kOwnPvtList = 88,
    kTaitList = 89,
    kPvtMatrix = 108,
};

// Codes of a UDB property set.
enum Code : int {
    kCrossWlfCode = 1313,
    kSecondOrderCode = 1325,
    kTaitCode = 1004,
    kMeltRangeCode = 1800,
    kMeltTemperatureCode = 11002,
    kViscosityIndexCode = 1328,
};

// Variables of standard points.
constexpr int kTemperatureVariable = 1;
constexpr int kPressureVariable = 4;
constexpr int kShearRateVariable = 6;

constexpr std::size_t kFirstOrderCount = 3;
constexpr std::size_t kSecondOrderCount = 6;
constexpr std::size_t kCrossWlfCount = 7;

// Which plot a warning belongs to.
enum class Topic { kViscosity, kPvt };

void Warn(ModelSet& set, Topic topic, const std::string& line) {
    auto& lines = topic == Topic::kPvt ? set.pvt_warnings : set.viscosity_warnings;
    lines.push_back(set.source + ": " + line);
}

// True when the first `needed` values can make a model: false, silently,
// when they are all zero (how an absent model is written), and false with a
// warning when the list is short.
bool Enough(ModelSet& set, Topic topic, std::string_view name, std::span<const double> values,
            std::size_t needed) {
    const std::size_t head = std::min(values.size(), needed);
    if (std::all_of(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(head),
                    [](double v) { return v == 0.0; })) {
        return false;
    }
    if (values.size() < needed) {
        Warn(set, topic,
             std::string(name) + " left out: it holds " + std::to_string(values.size()) + " of " +
                 std::to_string(needed) + " coefficients");
        return false;
    }
    return true;
}

// Keeps the model when its coefficients are usable, else warns.
template <typename Model>
void Take(ModelSet& set, std::optional<Model>& slot, const Model& model, std::string_view name) {
    const Topic topic = std::is_same_v<Model, TaitModel> || std::is_same_v<Model, OwnPvtModel>
                            ? Topic::kPvt
                            : Topic::kViscosity;
    const std::string problem = model.Problem();
    if (problem.empty()) {
        slot = model;
    } else {
        Warn(set, topic, std::string(name) + " left out: " + problem);
    }
}

template <std::size_t N>
std::array<double, N> Head(std::span<const double> values) {
    std::array<double, N> out{};
    std::copy_n(values.begin(), N, out.begin());
    return out;
}

SecondOrderModel SecondOrderOf(std::span<const double> v) {
    return SecondOrderModel{Head<kSecondOrderCount>(v)};
}

bool Usable(double v) {
    return std::isfinite(v) && !matdb::md_is_unset(v);
}

// ---- Database grades ----

const MdProperty* Item(const MdGrade& grade, int property, int format) {
    for (const MdProperty& item : grade.items) {
        if (item.property == property && item.format == format) return &item;
    }
    return nullptr;
}

std::vector<double> ValuesOf(const MdProperty& item) {
    std::vector<double> values(item.values.size());
    for (std::size_t i = 0; i < values.size(); ++i) values[i] = matdb::md_item_value(item, i);
    return values;
}

// The values of a coefficient list the grade holds with enough values, or
// an empty vector.
std::vector<double> ListOf(ModelSet& set, const MdGrade& grade, int property, std::size_t needed) {
    const Topic topic =
        property == kOwnPvtList || property == kTaitList ? Topic::kPvt : Topic::kViscosity;
    const MdProperty* item = Item(grade, property, MD_COEFFICIENTS);
    if (item == nullptr) return {};
    std::vector<double> values = ValuesOf(*item);
    if (!Enough(set, topic, matdb::md_property_name(property), values, needed)) return {};
    return values;
}

void TakeLists(ModelSet& set, const MdGrade& grade) {
    using matdb::md_property_name;
    if (auto v = ListOf(set, grade, kCrossWlfList, kCrossWlfCount); !v.empty()) {
        // Stored as D1, D2, D3, A1, A2, tau*, n.
        Take(set, set.cross_wlf, CrossWlfModel{v[6], v[5], v[0], v[1], v[2], v[3], v[4]},
             md_property_name(kCrossWlfList));
    }
    if (auto v = ListOf(set, grade, kSecondOrderList, kSecondOrderCount); !v.empty()) {
        Take(set, set.second_order, SecondOrderOf(v), md_property_name(kSecondOrderList));
    }
    if (auto v = ListOf(set, grade, kFirstOrderList, kFirstOrderCount); !v.empty()) {
        Take(set, set.first_order, FirstOrderModel{v[0], v[1], v[2]},
             md_property_name(kFirstOrderList));
    }
    if (auto v = ListOf(set, grade, kTaitList, kPvtCoefficientCount); !v.empty()) {
        Take(set, set.tait, TaitModel{Head<kPvtCoefficientCount>(v)}, md_property_name(kTaitList));
    }
    if (auto v = ListOf(set, grade, kOwnPvtList, kPvtCoefficientCount); !v.empty()) {
        Take(set, set.own_pvt, OwnPvtModel{Head<kPvtCoefficientCount>(v)},
             md_property_name(kOwnPvtList));
    }
    for (int property : {kCrossList, kCarreauList}) {
        if (Item(grade, property, MD_COEFFICIENTS) != nullptr) {
            Warn(set, Topic::kViscosity,
                 std::string(md_property_name(property)) +
                     " left out: the plots have no formula for this model");
        }
    }
}

// A standard-points item as the fits read it, with its values as doubles.
struct Table {
    std::vector<double> values;
    std::span<const int> variables;
    matdb::MdPointTable view() const { return {variables, values}; }
};

// The column of a variable in a standard-points item, or -1.
int ColumnOf(const MdProperty& item, int variable) {
    const auto at = std::find(item.variables.begin(), item.variables.end(), variable);
    return at == item.variables.end() ? -1 : static_cast<int>(at - item.variables.begin());
}

// The rows of (temperature, other variable, value) of a points item, each
// usable: finite, set, and positive where `positive` asks for it (bits of
// Positive). Returns the number of rows left out.
struct Triple {
    double t, x, v;
};
enum Positive : int {
    kPositiveVariable = 1,
    kPositiveValue = 2,
};
std::size_t RowsOf(const MdProperty& item, int other, int positive, std::vector<Triple>* rows) {
    const int t_column = ColumnOf(item, kTemperatureVariable);
    const int x_column = ColumnOf(item, other);
    const std::size_t width = item.variables.size() + 1;
    const std::size_t count = item.values.size() / width;
    std::size_t dropped = 0;
    for (std::size_t r = 0; r < count; ++r) {
        const Triple row{matdb::md_item_value(item, r * width + t_column),
                         matdb::md_item_value(item, r * width + x_column),
                         matdb::md_item_value(item, r * width + width - 1)};
        const bool good = Usable(row.t) && Usable(row.x) && Usable(row.v) &&
                          (!(positive & kPositiveVariable) || row.x > 0.0) &&
                          (!(positive & kPositiveValue) || row.v > 0.0);
        if (good) {
            rows->push_back(row);
        } else {
            ++dropped;
        }
    }
    return dropped;
}

// The rows of a points item against Temperature and `other`; false (with
// a warning when the item is there) when there are none to take.
bool PointsOf(ModelSet& set, const MdGrade& grade, int property, int other, int positive,
              std::vector<Triple>* rows, std::size_t* dropped) {
    const MdProperty* item = Item(grade, property, MD_STANDARD_POINTS);
    if (item == nullptr) return false;
    const std::string name(matdb::md_property_name(property));
    const Topic topic = property == kMdViscosity ? Topic::kViscosity : Topic::kPvt;
    if (ColumnOf(*item, kTemperatureVariable) < 0 || ColumnOf(*item, other) < 0) {
        Warn(set, topic,
             name + " points left out: they are not against " +
                 std::string(matdb::md_variable_name(kTemperatureVariable)) + " and " +
                 std::string(matdb::md_variable_name(other)));
        return false;
    }
    *dropped = RowsOf(*item, other, positive, rows);
    if (*dropped > 0) {
        Warn(set, topic,
             std::to_string(*dropped) + " " + name +
                 " points left out: unset, not a number, or zero or negative where a "
                 "positive value is needed");
    }
    return true;
}

// Runs a fit with the console output of the fits discarded.
template <typename Fit>
auto Quietly(Fit fit) {
    vtOutSave();
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    auto result = fit();
    vtOutRestore();
    return result;
}

std::string FitMessage(int code) {
    std::string text(matdb::md_fit_message_text(code % 1000));
    while (!text.empty() && (text.back() == ' ' || text.back() == '=')) text.pop_back();
    return text.empty() ? "error " + std::to_string(code) : text;
}

Table TableOf(const MdProperty& item) {
    return {ValuesOf(item), item.variables};
}

MatrixModel MatrixOf(const matdb::MdViscosityFit& fit) {
    MatrixModel m;
    m.temperatures.assign(
        fit.temperatures.begin(),
        fit.temperatures.begin() + static_cast<std::ptrdiff_t>(fit.temperature_count));
    m.ln_shear.assign(fit.ln_shear.begin(),
                      fit.ln_shear.begin() + static_cast<std::ptrdiff_t>(fit.shear_count));
    for (std::size_t i = 0; i < fit.temperature_count; ++i) {
        for (std::size_t j = 0; j < fit.shear_count; ++j) {
            m.ln_viscosity.push_back(fit.ln_viscosity[i * matdb::kMdMatrixSide + j]);
        }
    }
    return m;
}

void TakeViscosityPoints(ModelSet& set, const MdGrade& grade) {
    std::vector<Triple> rows;
    std::size_t dropped = 0;
    if (!PointsOf(set, grade, kMdViscosity, kShearRateVariable, kPositiveVariable | kPositiveValue,
                  &rows, &dropped))
        return;
    for (const Triple& r : rows) set.viscosity_points.push_back({r.t, r.x, r.v});
    const std::string name(matdb::md_property_name(kMdViscosity));
    if (dropped > 0) {
        Warn(set, Topic::kViscosity, name + " points not fitted: some are unusable");
        return;
    }
    const Table table = TableOf(*Item(grade, kMdViscosity, MD_STANDARD_POINTS));
    const matdb::MdViscosityFit fit =
        Quietly([&] { return matdb::md_fit_viscosity(table.view()); });
    if (fit.error != 0) {
        Warn(set, Topic::kViscosity, name + " points not fitted: " + FitMessage(fit.error));
        return;
    }
    if (fit.first_order && !set.first_order) {
        Take(set, set.first_order, FirstOrderModel{fit.first[0], fit.first[1], fit.first[2]},
             "1st order fit");
    }
    if (fit.second_order && !set.second_order) {
        Take(set, set.second_order, SecondOrderOf(fit.second), "2nd order fit");
    }
    if (fit.matrix) Take(set, set.matrix, MatrixOf(fit), "matrix fit");
}

void TakePvtPoints(ModelSet& set, const MdGrade& grade) {
    std::vector<Triple> rows;
    std::size_t dropped = 0;
    if (!PointsOf(set, grade, kMdPvtSpecificVolume, kPressureVariable, kPositiveValue, &rows,
                  &dropped))
        return;
    for (const Triple& r : rows) set.pvt_points.push_back({r.t, r.x, r.v});
    if (set.own_pvt) return;
    const std::string name(matdb::md_property_name(kMdPvtSpecificVolume));
    if (dropped > 0) {
        Warn(set, Topic::kPvt, name + " points not fitted: some are unusable");
        return;
    }
    const Table table = TableOf(*Item(grade, kMdPvtSpecificVolume, MD_STANDARD_POINTS));
    const matdb::MdPvtFit fit = Quietly([&] { return matdb::md_fit_pvt(table.view(), false); });
    if (fit.error != 0 || !fit.available) {
        Warn(set, Topic::kPvt,
             name + " points not fitted: " +
                 (fit.error != 0 ? FitMessage(fit.error) : "the fit does not meet them"));
        return;
    }
    Take(set, set.own_pvt, OwnPvtModel{fit.k}, "PVT fit");
}

// The rows of the PVT matrix model: standard points against Temperature and
// Pressure, or a coefficient list of (temperature, pressure, volume) rows.
void TakePvtMatrix(ModelSet& set, const MdGrade& grade) {
    std::vector<Triple> rows;
    std::size_t dropped = 0;
    if (!PointsOf(set, grade, kPvtMatrix, kPressureVariable, kPositiveValue, &rows, &dropped)) {
        const MdProperty* list = Item(grade, kPvtMatrix, MD_COEFFICIENTS);
        if (list == nullptr) return;
        const std::vector<double> v = ValuesOf(*list);
        for (std::size_t i = 0; i + 3 <= v.size(); i += 3) {
            if (Usable(v[i]) && Usable(v[i + 1]) && Usable(v[i + 2]) && v[i + 2] > 0.0) {
                rows.push_back({v[i], v[i + 1], v[i + 2]});
            } else {
                ++dropped;
            }
        }
        if (dropped > 0) {
            Warn(set, Topic::kPvt,
                 std::to_string(dropped) + " " + std::string(matdb::md_property_name(kPvtMatrix)) +
                     " rows left out: unset, not a number, or a volume not positive");
        }
    }
    for (const Triple& r : rows) set.pvt_matrix.push_back({r.t, r.x, r.v});
}

void TakeMeltTemperatures(ModelSet& set, const MdGrade& grade) {
    for (int property : {kMeltMinimum, kMeltSuggested, kMeltMaximum}) {
        const MdProperty* item = Item(grade, property, MD_SINGLE_POINT);
        if (item == nullptr || item->values.empty()) continue;
        const double t = matdb::md_item_value(*item, 0);
        if (Usable(t) && t > -kKelvinOffset) set.melt_temperatures.push_back(t);
    }
}

// ---- UDB property sets ----

const UdmTcod* CodeOf(const UdmTset* tset, int code) {
    for (const UdmTcod* c = tset->codes; c != nullptr; c = c->next) {
        if (c->code == code) return c;
    }
    return nullptr;
}

// The temperature T of a viscosity index text "VI(T)ETA": the class
// temperature (°C) the index was computed at; none when the text has
// another form or T is not a plausible temperature.
std::optional<double> IndexTemperature(const UdmTcod* index) {
    const char* text = index != nullptr ? udm_tcod_text(index) : nullptr;
    double t = 0.0;
    int end = 0;
    if (text == nullptr || std::sscanf(text, "VI(%lf)%n", &t, &end) != 1 || end == 0) return {};
    if (!std::isfinite(t) || t <= 0.0 || t > kHighestClassTemperature) return {};
    return t;
}

std::span<const double> CodeValues(const UdmTset* tset, int code) {
    const UdmTcod* c = CodeOf(tset, code);
    if (c == nullptr || c->values == nullptr || c->count <= 0) return {};
    return {c->values, static_cast<std::size_t>(c->count)};
}

// Codes that are present but hold no model are absent models too.
bool CodeUsable(ModelSet& set, const UdmTset* tset, int code, std::string_view name,
                std::size_t needed) {
    if (CodeOf(tset, code) == nullptr) return false;
    const Topic topic = code == kTaitCode ? Topic::kPvt : Topic::kViscosity;
    return Enough(set, topic, name, CodeValues(tset, code), needed);
}

std::string CodeName(int code, std::string_view model) {
    return "code " + std::to_string(code) + " (" + std::string(model) + ")";
}

}  // namespace

ModelSet ModelsOfGrade(const MdGrade& grade) {
    ModelSet set;
    set.source = grade.supplier + " " + grade.code;
    TakeLists(set, grade);
    TakeViscosityPoints(set, grade);
    TakePvtPoints(set, grade);
    TakePvtMatrix(set, grade);
    TakeMeltTemperatures(set, grade);
    return set;
}

namespace {

// "TYPE/LABEL", then the material the set describes: its description up to
// " : " (the grade's name, before its supplier's).
std::string SetSourceName(const UdmTset* tset) {
    std::string name =
        std::to_string(udm_entity_type(tset)) + "/" + std::to_string(udm_entity_label(tset));
    const char* description = udm_tset_description(tset);
    if (description == nullptr || *description == '\0') return name;
    const std::string_view text(description);
    return name.append(" ").append(text.substr(0, text.find(" : ")));
}

}  // namespace

ModelSet ModelsOfSet(const UdmTset* tset) {
    ModelSet set;
    if (tset == nullptr) return set;
    set.source = SetSourceName(tset);
    const std::string cross = CodeName(kCrossWlfCode, "Cross-WLF");
    if (CodeUsable(set, tset, kCrossWlfCode, cross, kCrossWlfCount)) {
        const std::span<const double> v = CodeValues(tset, kCrossWlfCode);
        // Written as n, tau*, D1, D2, D3, A1, A2.
        Take(set, set.cross_wlf, CrossWlfModel{v[0], v[1], v[2], v[3], v[4], v[5], v[6]}, cross);
    }
    const std::string second = CodeName(kSecondOrderCode, "2nd order");
    if (CodeUsable(set, tset, kSecondOrderCode, second, kSecondOrderCount)) {
        Take(set, set.second_order, SecondOrderOf(CodeValues(tset, kSecondOrderCode)), second);
    }
    const std::string tait = CodeName(kTaitCode, "Modified Tait");
    if (CodeUsable(set, tset, kTaitCode, tait, kPvtCoefficientCount)) {
        Take(set, set.tait, TaitModel{Head<kPvtCoefficientCount>(CodeValues(tset, kTaitCode))},
             tait);
    }
    // Kelvin: minimum and maximum, and the suggested temperature between.
    const std::span<const double> range = CodeValues(tset, kMeltRangeCode);
    const std::span<const double> suggested = CodeValues(tset, kMeltTemperatureCode);
    std::vector<double> kelvin;
    if (!range.empty()) kelvin.push_back(range[0]);
    if (!suggested.empty()) kelvin.push_back(suggested[0]);
    if (range.size() > 1) kelvin.push_back(range[1]);
    for (double k : kelvin) {
        if (std::isfinite(k) && k > 0.0) set.melt_temperatures.push_back(k - kKelvinOffset);
    }
    set.class_temperature = IndexTemperature(CodeOf(tset, kViscosityIndexCode));
    return set;
}

}  // namespace tarnvel::curves
