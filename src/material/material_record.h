// The in-memory form of one material grade: a flat record of fixed size
// without pointers. Texts are fixed character arrays, numbers are doubles or
// 32-bit integers, and curve or model data are fixed arrays of 128 values of
// which the keyword file fills a leading part.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <type_traits>

namespace tarnvel::material {

// The size of a text field, its terminating NUL included.
inline constexpr std::size_t kTextSize = 256;
// The longest text a field holds.
inline constexpr std::size_t kMaxTextLength = kTextSize - 1;
// The number of entries of a curve or coefficient array.
inline constexpr std::size_t kArraySize = 128;

// A NUL-terminated text of at most 255 characters.
using RecordText = std::array<char, kTextSize>;
using RealArray = std::array<double, kArraySize>;
using IntArray = std::array<std::int32_t, kArraySize>;

// A text field holding the given text, cut at 255 characters.
constexpr RecordText MakeText(std::string_view text) {
    RecordText field{};
    for (std::size_t i = 0; i < text.size() && i < kMaxTextLength; ++i) field[i] = text[i];
    return field;
}

// The material database's value for "not set", which a keyword file may
// carry in a single value or among the values of a list.
inline constexpr double kUnsetMarker = -16384.0;

// The initial value of every text field except the fillers.
inline constexpr std::string_view kUnknownText = "UNKNOWN";

// One grade. A default-constructed record holds the initial values: every
// text "UNKNOWN" except `fillers`, which is empty; every number, array entry
// and the flag 0. Units are those of the material database; temperatures
// are in degrees Celsius.
struct MaterialRecord {
    RecordText description = MakeText(kUnknownText);
    RecordText supplier = MakeText(kUnknownText);
    RecordText grade = MakeText(kUnknownText);
    RecordText family = MakeText(kUnknownText);
    // The filler list, "name(share)" entries joined by ",".
    RecordText fillers = MakeText("");
    RecordText tradeName = MakeText(kUnknownText);
    RecordText manufacturer = MakeText(kUnknownText);
    RecordText viscosityIndex = MakeText(kUnknownText);
    RecordText tester = MakeText(kUnknownText);
    RecordText testDate = MakeText(kUnknownText);
    RecordText defaultViscosityModel = MakeText(kUnknownText);
    RecordText defaultPvtModel = MakeText(kUnknownText);
    RecordText materialNumber = MakeText(kUnknownText);
    RecordText notes = MakeText(kUnknownText);
    RecordText meltFlowRate = MakeText(kUnknownText);
    RecordText characteristics = MakeText(kUnknownText);
    RecordText version = MakeText(kUnknownText);
    // The generic grade code this grade links to.
    RecordText genericLink = MakeText(kUnknownText);
    std::int32_t databaseType = 0;
    double thermalConductivity = 0;
    double density = 0;
    double specificHeat = 0;
    double noFlowTemperature = 0;
    double freezeTemperature = 0;
    double meltTemperatureMin = 0;
    double meltTemperatureMax = 0;
    double meltTemperatureDefault = 0;
    double moldTemperatureMin = 0;
    double moldTemperatureMax = 0;
    double moldTemperatureDefault = 0;
    double maxShearRate = 0;
    double maxShearStress = 0;
    double meltTemperatureAbsoluteMax = 0;
    // c0..c5 of ln(viscosity) = c0 + c1 L + c2 T + c3 L^2 + c4 T L + c5 T^2,
    // L the natural logarithm of the shear rate, T the temperature.
    RealArray viscosity2ndOrder{};
    RealArray viscosityStdPoints{};
    double tensileModulusPerpendicularComposite = 0;
    double tensileModulusParallelComposite = 0;
    double poissonRatioComposite = 0;
    double solidDensity = 0;
    // A0, A1, A2.
    RealArray viscosity1stOrder{};
    // D1, D2 (reference temperature), D3, A1, A2, tau* (critical shear
    // stress), n (power-law index).
    RealArray crossWlf{};
    // b5, b6, b1m, b2m, b3m, b4m, b1s, b2s, b3s, b4s, b7, b8, b9 of the
    // two-domain Tait model (b5 the transition temperature in kelvin).
    RealArray tait{};
    double compressibility = 0;
    bool crystalline = false;
    std::int32_t shrinkageFlowVersion = 0;
    std::int32_t shrinkageVersion = 0;
    RealArray shrinkageData{};
    RealArray shrinkageCentroidData{};
    RealArray shrinkagePredictiveError{};
    RealArray residualStressCoefficients{};
    double tensileModulusPerpendicularFiller = 0;
    double tensileModulusParallelFiller = 0;
    double poissonRatio12Filler = 0;
    double shearModulus12Filler = 0;
    double tensileModulusPerpendicularPolymer = 0;
    double tensileModulusParallelPolymer = 0;
    double poissonRatio12Polymer = 0;
    double shearModulus12Polymer = 0;
    double averageFiberLength = 0;
    double averageFiberDiameter = 0;
    double fiberVolumeFraction = 0;
    // E0..E3.
    RealArray extensionalViscosity{};
    RealArray pvtStdPoints{};
    // k0..k12 of the product's own two-domain PVT model.
    RealArray pvtVantorel{};
    RealArray viscosityMatrixLnShear{};
    RealArray viscosityMatrixTemperature{};
    RealArray viscosityMatrixLnViscosity{};
    IntArray thermosetIndex{};
    RealArray thermosetData{};
};

static_assert(std::is_standard_layout_v<MaterialRecord>);
static_assert(std::is_trivially_copyable_v<MaterialRecord>);
static_assert(sizeof(bool) == 1, "the crystalline flag is one byte");

// The 18 text fields, in declaration order.
inline constexpr RecordText MaterialRecord::*kRecordTextFields[] = {
    &MaterialRecord::description,
    &MaterialRecord::supplier,
    &MaterialRecord::grade,
    &MaterialRecord::family,
    &MaterialRecord::fillers,
    &MaterialRecord::tradeName,
    &MaterialRecord::manufacturer,
    &MaterialRecord::viscosityIndex,
    &MaterialRecord::tester,
    &MaterialRecord::testDate,
    &MaterialRecord::defaultViscosityModel,
    &MaterialRecord::defaultPvtModel,
    &MaterialRecord::materialNumber,
    &MaterialRecord::notes,
    &MaterialRecord::meltFlowRate,
    &MaterialRecord::characteristics,
    &MaterialRecord::version,
    &MaterialRecord::genericLink,
};

// The text of a field, up to its terminating NUL and never longer than 255
// characters (a field whose last byte is not NUL still ends there).
std::string_view TextOf(const RecordText& field);

// Replaces the field's text by value, cut at 255 characters.
void SetText(RecordText& field, std::string_view value);

// Appends value to the field's text, cutting the result at 255 characters.
void AppendText(RecordText& field, std::string_view value);

// The final rules of a record just read: every text field loses its leading
// and trailing blanks; a `manufacturer` containing "UNKNOWN" becomes a copy
// of `supplier`, then a `tradeName` containing "UNKNOWN" a copy of `grade`.
void ApplyFinalRules(MaterialRecord& record);

}  // namespace tarnvel::material
