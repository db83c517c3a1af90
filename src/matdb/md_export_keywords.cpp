// The keyword lines of an exported grade, in the order of the keyword file.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <span>
#include <string_view>

#include "matdb/md_export_format.h"
#include "matdb/md_export_unpack.h"

namespace tarnvel::matdb {
namespace {

using Lines = std::string;

struct RealLine {
    int property;
    std::string_view keyword;
};

// One-real keywords in file order, in the runs the table interleaves with
// other lines.
constexpr RealLine kThermal[] = {
    {1, "MATERIAL_THERMAL_CONDUCTIVITY_SINGLE"},
    {2, "MATERIAL_THERMAL_SPECIFIC_HEAT_SINGLE"},
    {3, "MATERIAL_THERMAL_DENSITY_SINGLE"},
    {4, "MATERIAL_THERMAL_FREEZE_TEMPERATURE_SINGLE"},
    {5, "MATERIAL_THERMAL_NO_FLOW_TEMPERATURE_SINGLE"},
};
constexpr RealLine kMechanical[] = {
    {18, "MATERIAL_TENSILE_MODULUS_PERPENDICULAR_FILLER"},
    {19, "MATERIAL_TENSILE_MODULUS_PARALLEL_FILLER"},
    {20, "MATERIAL_POISSON_RATIO_12_FILLER"},
    {21, "MATERIAL_SHEAR_MODULUS_12_FILLER"},
    {22, "MATERIAL_TENSILE_MODULUS_PERPENDICULAR_POLYMER"},
    {23, "MATERIAL_TENSILE_MODULUS_PARALLEL_POLYMER"},
    {24, "MATERIAL_POISSON_RATIO_12_POLYMER"},
    {25, "MATERIAL_SHEAR_MODULUS_12_POLYMER"},
    {26, "MATERIAL_AVERAGE_FIBER_LENGTH"},
    {27, "MATERIAL_AVERAGE_FIBER_DIAMETER"},
    {28, "MATERIAL_FIBER_VOLUME_FRACTION"},
    {29, "MATERIAL_TENSILE_MODULUS_PERPENDICULAR_COMPOSITE"},
    {30, "MATERIAL_TENSILE_MODULUS_PARALLEL_COMPOSITE"},
    {31, "MATERIAL_POISSON_RATIO_COMPOSITE"},
    {34, "MATERIAL_POISSON_RATIO_23_FILLER"},
    {35, "MATERIAL_POISSON_RATIO_23_POLYMER"},
    {36, "MATERIAL_SHEAR_MODULUS_23_FILLER"},
    {37, "MATERIAL_SHEAR_MODULUS_23_POLYMER"},
    {43, "MATERIAL_RECOMMENDED_MELT_TEMPERATURE_MINIMUM"},
    {44, "MATERIAL_RECOMMENDED_MELT_TEMPERATURE_MAXIMUM"},
    {45, "MATERIAL_RECOMMENDED_MELT_TEMPERATURE_DEFAULT"},
    {46, "MATERIAL_RECOMMENDED_MOLD_TEMPERATURE_MINIMUM"},
    {47, "MATERIAL_RECOMMENDED_MOLD_TEMPERATURE_MAXIMUM"},
    {48, "MATERIAL_RECOMMENDED_MOLD_TEMPERATURE_DEFAULT"},
    {49, "MATERIAL_MELT_TEMPERATURE_MAXIMUM"},
    {50, "MATERIAL_RECOMMENDED_MAXIMUM_SHEAR_STRESS"},
    {54, "MATERIAL_RECOMMENDED_MAXIMUM_SHEAR_RATE"},
};
constexpr RealLine kExpansion[] = {
    {66, "MATERIAL_SOLID_DENSITY"},
    {67, "MATERIAL_THERMAL_EXPANSION_PARALLEL_FILLER"},
    {68, "MATERIAL_THERMAL_EXPANSION_PERPENDICULAR_FILLER"},
    {69, "MATERIAL_THERMAL_EXPANSION_PARALLEL_POLYMER"},
    {70, "MATERIAL_THERMAL_EXPANSION_PERPENDICULAR_POLYMER"},
};

struct TextLine {
    int property;
    std::string_view keyword;
    std::size_t width;
};
constexpr TextLine kNamedTexts[] = {
    {75, "MATERIAL_MELT_FLOW_RATE", 80},
    {76, "MATERIAL_FILLERS", 50},
    {77, "MATERIAL_TRADE_NAME", 50},
    {78, "MATERIAL_MANUFACTURER", 50},
};
constexpr TextLine kCharacteristics[] = {
    {98, "MATERIAL_CHARACTERISTICS", 50}, {99, "MATERIAL_VISCOSITY_INDEX", 50},
    {100, "MATERIAL_CRYSTALLINE", 10},    {101, "MATERIAL_TESTER", 50},
    {102, "MATERIAL_TEST_DATE", 50},      {103, "MATERIAL_NUMBER", 10},
    {104, "MATERIAL_NOTES", 80},
};

// Coefficient lists: property, keyword, values per row and rows (0: as
// many rows as the list holds).
struct ListLine {
    int property;
    std::string_view keyword;
    std::size_t per_row;
    std::size_t rows;
};
constexpr ListLine kViscosityLists[] = {
    {79, "MATERIAL_VISCOSITY_MODEL_1ST_ORDER_COEFFICIENTS", 1, 3},
    {80, "MATERIAL_VISCOSITY_MODEL_2ND_ORDER_COEFFICIENTS", 1, 6},
    {81, "MATERIAL_VISCOSITY_MODEL_CROSS_COEFFICIENTS", 1, 5},
    {82, "MATERIAL_VISCOSITY_MODEL_CARREAU_COEFFICIENTS", 1, 5},
    {83, "MATERIAL_VISCOSITY_MODEL_CROSS-WLF_COEFFICIENTS", 1, 7},
};
constexpr ListLine kPvtLists[] = {
    {89, "MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS", 1, 15},
    // The reader takes the compressibility as one real on the keyword line.
    {90, "MATERIAL_PVT_MODEL_COMPRESSIBILITY_COEFFICIENTS", 1, 1},
    {91, "MATERIAL_RELAXATION_SPECTRUM", 2, 0},
};
constexpr ListLine kWarpageLists[] = {
    {94, "MATERIAL_WARPAGE_WLF_COEFFICIENTS", 1, 2},
};
constexpr ListLine kWarpageData[] = {
    {96, "MATERIAL_WARPAGE_THERMAL_EXPANSION_DATA_PARALLEL", 1, 2},
    {97, "MATERIAL_WARPAGE_THERMAL_EXPANSION_DATA_PERPENDICULAR", 1, 2},
};

// The shrinkage list: two version integers (stored as integer words), 21
// lines of four data values, then 40 centroid values. The kinetic list is
// stored as reals throughout: 5 index values holding whole numbers, then 40
// data values.
constexpr std::size_t kShrinkageVersions = 2;
constexpr std::size_t kShrinkageLines = 21;
constexpr std::size_t kShrinkagePerLine = 4;
constexpr std::size_t kCentroidCount = 40;
constexpr std::size_t kKineticIndexCount = 5;
constexpr std::size_t kKineticDataCount = 40;
constexpr std::size_t kPvtRows = 15;

std::string Upper(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

bool Blank(std::string_view text) {
    return text.find_first_not_of(" \t") == std::string_view::npos;
}

// The values from index `first`, padded with the unset marker or cut to
// `count` (0: all that are there).
std::vector<double> Slice(const std::vector<double>& values, std::size_t first, std::size_t count) {
    std::vector<double> out;
    for (std::size_t i = first; i < values.size() && (count == 0 || out.size() < count); ++i) {
        out.push_back(values[i]);
    }
    while (out.size() < count) out.push_back(kMdUnset);
    return out;
}

// A list line unless its first value is not set.
void List(Lines& out, std::string_view keyword, const std::vector<double>& values,
          std::size_t per_row) {
    if (values.empty() || md_is_unset(values[0])) return;
    std::vector<double> rows(values.begin(), values.begin() + (values.size() / per_row) * per_row);
    out += md_export_list(keyword, rows, per_row);
}

void Reals(Lines& out, const MdExportSlots& s, std::span<const RealLine> lines) {
    for (const RealLine& l : lines) {
        if (s.present[l.property]) out += md_export_real(l.keyword, s.single[l.property]);
    }
}

void Lists(Lines& out, const MdExportSlots& s, std::span<const ListLine> lines) {
    for (const ListLine& l : lines) {
        if (!s.present[l.property]) continue;
        List(out, l.keyword, Slice(s.reals[l.property], 0, l.per_row * l.rows), l.per_row);
    }
}

void LongTexts(Lines& out, const MdExportSlots& s, std::span<const TextLine> lines,
               bool upper_crystalline) {
    for (const TextLine& l : lines) {
        const std::string& text = s.text[l.property];
        if (!s.present[l.property] || Blank(text)) continue;
        std::string value = text.substr(0, l.width);
        // The keyword reader sets the crystalline flag only on "YES".
        if (upper_crystalline && l.property == 100) value = Upper(value);
        out += md_export_long_text(l.keyword, value);
    }
}

void Header(Lines& out, const MdGrade& grade, const MdExportOptions& o) {
    char description[96];
    std::snprintf(description, sizeof description, "%-7s%s", grade.code.c_str(),
                  grade.description.c_str());
    out += md_export_long_text("MATERIAL_DESCRIPTION", std::string(description).substr(0, 80));
    out += md_export_text("MATERIAL_GRADE", o.grade);
    out += md_export_text("MATERIAL_SUPPLIER", o.supplier);
    if (!o.database.empty()) out += md_export_text("MATERIAL_DATABASE_TYPE", Upper(o.database));
}

std::vector<double> Values(std::span<const double> values, std::size_t count) {
    return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count)};
}

void FittedViscosity(Lines& out, const MdExportSlots& s) {
    if (!s.present[kMdViscosity]) return;
    const MdViscosityFit& f = s.viscosity;
    if (!s.present[79] && f.first_order) {
        List(out, "MATERIAL_VISCOSITY_MODEL_1ST_ORDER_COEFFICIENTS", Values(f.first, 3), 1);
    }
    if (!s.present[80] && f.second_order) {
        List(out, "MATERIAL_VISCOSITY_MODEL_2ND_ORDER_COEFFICIENTS", Values(f.second, 6), 1);
    }
    if (f.matrix && f.shear_count > 0 && f.temperature_count > 0) {
        List(out, "MATERIAL_VISCOSITY_MODEL_MATRIX_LN_SHEAR_COEFFICIENTS",
             Values(f.ln_shear, f.shear_count), 1);
        List(out, "MATERIAL_VISCOSITY_MODEL_MATRIX_TEMPERATURE_COEFFICIENTS",
             Values(f.temperatures, f.temperature_count), 1);
        List(out, "MATERIAL_VISCOSITY_MODEL_MATRIX_LN_VISCOSITY_COEFFICIENTS",
             Values(f.ln_viscosity, f.ln_viscosity.size()), 10);
    }
    List(out, "MATERIAL_VISCOSITY_STD_POINT_DATA", Values(f.points, f.point_count * 3), 3);
}

void Shrinkage(Lines& out, const MdExportSlots& s) {
    if (!s.present[kMdShrinkage]) return;
    const std::vector<std::int32_t>& ints = s.integers[kMdShrinkage];
    out += md_export_integer("MATERIAL_SHRINKAGE_FLOW_VERSION", ints.size() > 0 ? ints[0] : 0);
    out += md_export_integer("MATERIAL_SHRINKAGE_SHINKAGE_VERSION", ints.size() > 1 ? ints[1] : 0);
    const std::vector<double> data =
        Slice(s.reals[kMdShrinkage], kShrinkageVersions, kShrinkageLines * kShrinkagePerLine);
    out += "MATERIAL_SHRINKAGE_DATA: \\\n";
    for (std::size_t line = 0; line < kShrinkageLines; ++line) {
        for (std::size_t j = 0; j < kShrinkagePerLine; ++j) {
            out += md_export_real_field(data[line * kShrinkagePerLine + j]) + " ";
        }
        out += line + 1 < kShrinkageLines ? "\\\n" : "\n";
    }
    List(out, "MATERIAL_SHRINKAGE_CENTROID_DATA",
         Slice(s.reals[kMdShrinkage], kShrinkageVersions + kShrinkageLines * kShrinkagePerLine,
               kCentroidCount),
         1);
}

// A stored real as the integer it holds; the unset marker for a value no
// integer field can take.
std::int32_t WholeNumber(double value) {
    constexpr double kLimit = 9999999.0;  // what an I8 field shows with either sign
    if (!std::isfinite(value) || std::fabs(value) > kLimit) {
        return static_cast<std::int32_t>(kMdUnset);
    }
    return static_cast<std::int32_t>(std::lround(value));
}

void Kinetic(Lines& out, const MdExportSlots& s) {
    if (!s.present[kMdKinetic]) return;
    std::vector<std::int32_t> index;
    for (double v : Slice(s.reals[kMdKinetic], 0, kKineticIndexCount)) {
        index.push_back(WholeNumber(v));
    }
    out += md_export_integer_list("MATERIAL_THERMOSET_INDEX", index, kKineticIndexCount);
    List(out, "MATERIAL_THERMOSET_DATA",
         Slice(s.reals[kMdKinetic], kKineticIndexCount, kKineticDataCount), 1);
}

// The product PVT coefficients: the grade's own list of them (property 88),
// else PVT Specific Volume given as that list, else the fit of its points.
void ProductPvt(Lines& out, const MdExportSlots& s) {
    std::vector<double> k;
    if (s.present[88]) {
        k = Slice(s.reals[88], 0, kPvtRows);
    } else if (s.present[kMdPvtSpecificVolume] && !s.reals[kMdPvtSpecificVolume].empty()) {
        k = Slice(s.reals[kMdPvtSpecificVolume], 0, kPvtRows);
    } else if (s.present[kMdPvtSpecificVolume] && s.pvt.available) {
        k = Slice(std::vector<double>(s.pvt.k.begin(), s.pvt.k.end()), 0, kPvtRows);
    }
    List(out, "MATERIAL_PVT_VANTOREL_COEFFICIENTS", k, 1);
}

void ModelName(Lines& out, const MdExportSlots& s, int property, std::string_view keyword,
               std::size_t width) {
    if (s.present[property] && !Blank(s.text[property])) {
        out += md_export_text(keyword, Upper(s.text[property].substr(0, width)));
    }
}

void PvtMatrix(Lines& out, const MdExportSlots& s) {
    if (!s.present[108]) return;
    const std::vector<double>& rows = s.pvt_matrix.available ? s.pvt_matrix.rows : s.reals[108];
    List(out, "MATERIAL_PVT_MODEL_MATRIX", rows, 3);
}

}  // namespace

std::string md_export_lines(const MdGrade& grade, const MdExportSlots& s,
                            const MdExportOptions& options) {
    Lines out;
    Header(out, grade, options);
    Reals(out, s, kThermal);
    FittedViscosity(out, s);
    if (s.present[kMdPvtSpecificVolume]) List(out, "MATERIAL_PVT_STD_POINT_DATA", s.pvt_points, 3);
    if (s.has_link) out += md_export_text("MATERIAL_GENERIC_LINK", s.link.substr(0, 255));
    Reals(out, s, kMechanical);
    if (s.present[58] && !Blank(s.text[58])) {
        out += md_export_text("MATERIAL_MATERIAL_FAMILY", s.text[58].substr(0, 10));
    }
    Shrinkage(out, s);
    Kinetic(out, s);
    if (s.present[kMdShrinkagePredictiveError]) {
        List(out, "MATERIAL_SHRINKAGE_PREDICTIVE_ERROR", Slice(s.reals[65], 0, 2), 1);
    }
    Reals(out, s, kExpansion);
    if (s.present[74]) {
        List(out, "MATERIAL_EXTENSIONAL_VISCOSITY_BINDING_COEFFICIENTS", Slice(s.reals[74], 0, 10),
             1);
    }
    LongTexts(out, s, kNamedTexts, false);
    Lists(out, s, kViscosityLists);
    ProductPvt(out, s);
    Lists(out, s, kPvtLists);
    Reals(out, s,
          std::initializer_list<RealLine>{{92, "MATERIAL_GLASS_TRANSITION_TEMPERATURE"},
                                          {93, "MATERIAL_WARPAGE_REFERENCE_TEMPERATURE"}});
    Lists(out, s, kWarpageLists);
    Reals(out, s, std::initializer_list<RealLine>{{95, "MATERIAL_WARPAGE_ACTIVATION_ENERGY"}});
    Lists(out, s, kWarpageData);
    LongTexts(out, s, kCharacteristics, true);
    ModelName(out, s, 105, "MATERIAL_DEFAULT_VISCOSITY_MODEL", 20);
    ModelName(out, s, 106, "MATERIAL_DEFAULT_PVT_MODEL", 30);
    if (s.present[107]) {
        List(out, "MATERIAL_SHRINKAGE_MODEL_RESIDUAL_STRESS_COEFFICIENTS",
             Slice(s.reals[107], 0, 10), 1);
    }
    PvtMatrix(out, s);
    ModelName(out, s, 109, "MATERIAL_DEFAULT_SHRINKAGE_MODEL", 20);
    return out;
}

}  // namespace tarnvel::matdb
