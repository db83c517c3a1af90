#include "material/asc_keywords.h"

#include <array>
#include <string>
#include <vector>

namespace tarnvel::material {
namespace {

using enum ValueForm;
using R = MaterialRecord;

// The keyword table in matching order. The order matters where one keyword
// is contained in a line of another: the earlier entry wins.
constexpr std::array<KeywordEntry, 71> kKeywords = {{
    {"MATERIAL_DESCRIPTION", kNextLineLine, &R::description},
    {"MATERIAL_GRADE", kSameLineText, &R::grade},
    {"MATERIAL_SUPPLIER", kSameLineText, &R::supplier},
    {"MATERIAL_DATABASE_TYPE", kSameLineInt, &R::databaseType},
    {"MATERIAL_THERMAL_CONDUCTIVITY_SINGLE", kSameLineReal, &R::thermalConductivity},
    {"MATERIAL_THERMAL_SPECIFIC_HEAT_SINGLE", kSameLineReal, &R::specificHeat},
    {"MATERIAL_THERMAL_DENSITY_SINGLE", kSameLineReal, &R::density},
    {"MATERIAL_THERMAL_FREEZE_TEMPERATURE_SINGLE", kSameLineReal, &R::freezeTemperature},
    {"MATERIAL_THERMAL_NO_FLOW_TEMPERATURE_SINGLE", kSameLineReal, &R::noFlowTemperature},
    {"MATERIAL_VISCOSITY_MODEL_2ND_ORDER_COEFFICIENTS", kRealList, &R::viscosity2ndOrder},
    {"MATERIAL_VISCOSITY_STD_POINT_DATA", kRealList, &R::viscosityStdPoints},
    {"MATERIAL_TENSILE_MODULUS_PERPENDICULAR_COMPOSITE", kSameLineReal,
     &R::tensileModulusPerpendicularComposite},
    {"MATERIAL_TENSILE_MODULUS_PARALLEL_COMPOSITE", kSameLineReal,
     &R::tensileModulusParallelComposite},
    {"MATERIAL_POISSON_RATIO_COMPOSITE", kSameLineReal, &R::poissonRatioComposite},
    {"MATERIAL_RECOMMENDED_MELT_TEMPERATURE_MINIMUM", kSameLineReal, &R::meltTemperatureMin},
    {"MATERIAL_RECOMMENDED_MELT_TEMPERATURE_MAXIMUM", kSameLineReal, &R::meltTemperatureMax},
    {"MATERIAL_RECOMMENDED_MELT_TEMPERATURE_DEFAULT", kSameLineReal, &R::meltTemperatureDefault},
    {"MATERIAL_RECOMMENDED_MOLD_TEMPERATURE_MINIMUM", kSameLineReal, &R::moldTemperatureMin},
    {"MATERIAL_RECOMMENDED_MOLD_TEMPERATURE_MAXIMUM", kSameLineReal, &R::moldTemperatureMax},
    {"MATERIAL_RECOMMENDED_MOLD_TEMPERATURE_DEFAULT", kSameLineReal, &R::moldTemperatureDefault},
    {"MATERIAL_MELT_TEMPERATURE_MAXIMUM", kSameLineReal, &R::meltTemperatureAbsoluteMax},
    {"MATERIAL_RECOMMENDED_MAXIMUM_SHEAR_STRESS", kSameLineReal, &R::maxShearStress},
    {"MATERIAL_RECOMMENDED_MAXIMUM_SHEAR_RATE", kSameLineReal, &R::maxShearRate},
    {"MATERIAL_MATERIAL_FAMILY", kSameLineText, &R::family},
    {"MATERIAL_SOLID_DENSITY", kSameLineReal, &R::solidDensity},
    {"MATERIAL_FILLERS", kFillerList, &R::fillers},
    {"MATERIAL_TRADE_NAME", kNextLineText, &R::tradeName},
    {"MATERIAL_MANUFACTURER", kNextLineText, &R::manufacturer},
    {"MATERIAL_VISCOSITY_MODEL_1ST_ORDER_COEFFICIENTS", kRealList, &R::viscosity1stOrder},
    {"MATERIAL_VISCOSITY_MODEL_CROSS_WLF_COEFFICIENTS", kRealList, &R::crossWlf},
    {"MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS", kRealList, &R::tait},
    {"MATERIAL_PVT_MODEL_COMPRESSIBILITY_COEFFICIENTS", kSameLineReal, &R::compressibility},
    {"MATERIAL_VISCOSITY_INDEX", kNextLineText, &R::viscosityIndex},
    {"MATERIAL_CRYSTALLINE", kNextLineYesNo, &R::crystalline},
    {"MATERIAL_TESTER", kNextLineText, &R::tester},
    {"MATERIAL_TEST_DATE", kNextLineText, &R::testDate},
    {"MATERIAL_DEFAULT_VISCOSITY_MODEL", kSameLineText, &R::defaultViscosityModel},
    {"MATERIAL_DEFAULT_PVT_MODEL", kSameLineText, &R::defaultPvtModel},
    {"MATERIAL_NUMBER", kNextLineText, &R::materialNumber},
    {"MATERIAL_NOTES", kNextLineText, &R::notes},
    {"MATERIAL_SHRINKAGE_FLOW_VERSION", kSameLineInt, &R::shrinkageFlowVersion},
    {"MATERIAL_SHRINKAGE_SHRINKAGE_VERSION", kSameLineInt, &R::shrinkageVersion},
    {"MATERIAL_SHRINKAGE_SHINKAGE_VERSION", kSameLineInt, &R::shrinkageVersion},
    {"MATERIAL_SHRINKAGE_DATA", kRealList, &R::shrinkageData},
    {"MATERIAL_SHRINKAGE_CENTROID_DATA", kRealList, &R::shrinkageCentroidData},
    {"MATERIAL_SHRINKAGE_PREDICTIVE_ERROR", kRealList, &R::shrinkagePredictiveError},
    {"MATERIAL_SHRINKAGE_MODEL_RESIDUAL_STRESS_COEFFICIENTS", kRealList,
     &R::residualStressCoefficients},
    {"MATERIAL_TENSILE_MODULUS_PERPENDICULAR_FILLER", kSameLineReal,
     &R::tensileModulusPerpendicularFiller},
    {"MATERIAL_TENSILE_MODULUS_PARALLEL_FILLER", kSameLineReal, &R::tensileModulusParallelFiller},
    {"MATERIAL_POISSON_RATIO_12_FILLER", kSameLineReal, &R::poissonRatio12Filler},
    {"MATERIAL_SHEAR_MODULUS_12_FILLER", kSameLineReal, &R::shearModulus12Filler},
    {"MATERIAL_TENSILE_MODULUS_PERPENDICULAR_POLYMER", kSameLineReal,
     &R::tensileModulusPerpendicularPolymer},
    {"MATERIAL_TENSILE_MODULUS_PARALLEL_POLYMER", kSameLineReal, &R::tensileModulusParallelPolymer},
    {"MATERIAL_POISSON_RATIO_12_POLYMER", kSameLineReal, &R::poissonRatio12Polymer},
    {"MATERIAL_SHEAR_MODULUS_12_POLYMER", kSameLineReal, &R::shearModulus12Polymer},
    {"MATERIAL_AVERAGE_FIBER_LENGTH", kSameLineReal, &R::averageFiberLength},
    {"MATERIAL_AVERAGE_FIBER_DIAMETER", kSameLineReal, &R::averageFiberDiameter},
    {"MATERIAL_FIBER_VOLUME_FRACTION", kSameLineReal, &R::fiberVolumeFraction},
    {"MATERIAL_EXTENSIONAL_VISCOSITY_BINDING_COEFFICIENTS", kRealList, &R::extensionalViscosity},
    {"MATERIAL_MELT_FLOW_RATE", kNextLineLine, &R::meltFlowRate},
    {"MATERIAL_CHARACTERISTICS", kNextLineText, &R::characteristics},
    {"MATERIAL_VERSION", kSameLineText, &R::version},
    {"MATERIAL_GENERIC_LINK", kLink, &R::genericLink},
    {"MATERIAL_PVT_STD_POINT_DATA", kRealList, &R::pvtStdPoints},
    {"MATERIAL_PVT_VANTOREL_COEFFICIENTS", kRealList, &R::pvtVantorel},
    {"MATERIAL_VISCOSITY_MODEL_MATRIX_LN_SHEAR_COEFFICIENTS", kRealList,
     &R::viscosityMatrixLnShear},
    {"MATERIAL_VISCOSITY_MODEL_MATRIX_TEMPERATURE_COEFFICIENTS", kRealList,
     &R::viscosityMatrixTemperature},
    {"MATERIAL_VISCOSITY_MODEL_MATRIX_LN_VISCOSITY_COEFFICIENTS", kRealList,
     &R::viscosityMatrixLnViscosity},
    {"MATERIAL_THERMOSET_INDEX", kIntList, &R::thermosetIndex},
    {"MATERIAL_THERMOSET_DATA", kRealList, &R::thermosetData},
    {"MATERIAL_VISCOSITY_MODEL_CROSS-WLF_COEFFICIENTS", kRealList, &R::crossWlf},
}};

// The alternative of FieldRef that a form fills.
constexpr std::size_t FieldKindOf(ValueForm form) {
    switch (form) {
        case kSameLineText:
        case kNextLineText:
        case kNextLineLine:
        case kFillerList:
        case kLink:
            return 0;
        case kSameLineReal:
            return 1;
        case kSameLineInt:
            return 2;
        case kNextLineYesNo:
            return 3;
        case kRealList:
            return 4;
        case kIntList:
            return 5;
    }
    return std::variant_npos;
}

constexpr bool IsUpperCaseKeyword(std::string_view keyword) {
    for (char c : keyword) {
        if (c >= 'a' && c <= 'z') return false;
    }
    return !keyword.empty();
}

// The reader takes each field by the type its form implies, and matches
// keywords against an upper-cased line: both hold for every entry.
constexpr bool TableIsConsistent() {
    for (const KeywordEntry& entry : kKeywords) {
        if (entry.field.index() != FieldKindOf(entry.form)) return false;
        if (!IsUpperCaseKeyword(entry.keyword)) return false;
    }
    return true;
}
static_assert(TableIsConsistent());

char ToUpper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

}  // namespace

std::span<const KeywordEntry> KeywordTable() {
    return kKeywords;
}

KeywordMatch ClassifyLine(std::string_view line) {
    // Reused from line to line: a keyword file has thousands of lines.
    thread_local std::string upper;
    thread_local std::vector<std::size_t> places;
    upper.assign(line);
    for (char& c : upper) c = ToUpper(c);
    // The keywords begin with a common prefix, so one can only stand where
    // the prefix does. Trying each keyword, in table order, at those places,
    // the first place first, finds what a search of the whole line for each
    // keyword finds, at a fraction of the cost.
    constexpr std::string_view kPrefix = "MATERIAL_";
    places.clear();
    for (std::size_t at = upper.find(kPrefix); at != std::string::npos;
         at = upper.find(kPrefix, at + 1)) {
        places.push_back(at);
    }
    for (const KeywordEntry& entry : kKeywords) {
        if (!entry.keyword.starts_with(kPrefix)) {
            const std::size_t position = upper.find(entry.keyword);
            if (position != std::string::npos) return {&entry, position};
            continue;
        }
        for (const std::size_t at : places) {
            if (upper.compare(at, entry.keyword.size(), entry.keyword) == 0) return {&entry, at};
        }
    }
    return {};
}

}  // namespace tarnvel::material
