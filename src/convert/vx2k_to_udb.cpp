#include "convert/vx2k_to_udb.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "convert/data_files.h"
#include "convert/udb_converter.h"
#include "convert/udm_scope.h"
#include "services/syppaths.h"
#include "services/sypsafewrite.h"
#include "udm/udm.h"

namespace tarnvel::convert {
namespace {

// Codes that every converted set carries with the text "Not Available".
constexpr std::int32_t kNotAvailableCodes[] = {
    1011, 1012, 1142, 1143, 1242, 1243, 1315, 1316, 1332,
    1333, 1556, 1557, 1684, 1685, 4021, 4022, 4031, 4032,
};

// Codes carried over from the legacy set, in this order: (source, target).
struct CopyPair {
    std::int32_t source;
    std::int32_t target;
};
constexpr CopyPair kCopyPairs[] = {
    {1004, 1004}, {1140, 1140},   {1240, 1240}, {1313, 1313}, {1318, 1318},   {1330, 1330},
    {1360, 1360}, {1504, 1504},   {1550, 1550}, {1602, 1602}, {1630, 1630},   {1632, 1632},
    {1633, 1633}, {1702, 1702},   {1800, 1800}, {1804, 1804}, {1806, 1806},   {1898, 1898},
    {1899, 1899}, {1992, 1992},   {1995, 1995}, {1997, 1997}, {1998, 1998},   {1999, 1999},
    {2010, 2010}, {2012, 2012},   {2014, 2014}, {2016, 2016}, {11002, 11002}, {1550, 1554},
    {1802, 1808}, {11106, 11108},
};

// Codes of the legacy set that the derived values are computed from.
constexpr std::int32_t kTaitCode = 1004;
constexpr std::int32_t kMeltTemperatureCode = 11002;
constexpr std::int32_t kMeltRangeCode = 1800;
constexpr std::int32_t kCrossWlfCode = 1313;
constexpr std::int32_t kClassNameCode = 1999;
// Codes of the progress line.
constexpr std::int32_t kSupplierCode = 1997;
constexpr std::int32_t kGradeCode = 1998;
// Derived codes.
constexpr std::int32_t kMeltDensityCode = 1000;
constexpr std::int32_t kSolidDensityCode = 1001;
constexpr std::int32_t kMaxMeltTemperatureCode = 1801;
constexpr std::int32_t kViscosityModelCode = 1310;
constexpr std::int32_t kSetIdCode = 1991;
constexpr std::int32_t kViscosityIndexCode = 1328;

// The Cross-WLF viscosity model; the maximum melt temperature lies this far
// above the top of the melt range.
constexpr double kCrossWlfModel = 1.0;
constexpr double kMaxMeltMargin = 40.0;
constexpr double kKelvinOffset = 273.15;
constexpr double kRoomTemperature = 298.15;
// The shear rate at which the viscosity index is evaluated, 1/s.
constexpr double kIndexShearRate = 1000.0;

int ValueCount(const UdmTcod* tcod) {
    return tcod == nullptr ? 0 : udm_tcod_count(tcod);
}

double Value(const UdmTcod* tcod, int index) {
    return udm_tcod_value(tcod, index);
}

void SetSingleValue(UdmTset* target, std::int32_t code, double value) {
    udm_tcod_set_values(udm_tset_code(target, code, 1), 1, &value);
}

void SetText(UdmTset* target, std::int32_t code, const char* text) {
    udm_tcod_set_description(udm_tset_code(target, code, 1), text);
}

const char* CodeText(UdmTset* tset, std::int32_t code) {
    const UdmTcod* tcod = udm_tset_code(tset, code, 0);
    return tcod == nullptr ? nullptr : udm_tcod_text(tcod);
}

void CopyCodes(UdmTset* target, UdmTset* source) {
    for (const CopyPair& pair : kCopyPairs) {
        const UdmTcod* from = udm_tset_code(source, pair.source, 0);
        if (from == nullptr) continue;
        UdmTcod* to = udm_tset_code(target, pair.target, 1);
        udm_tcod_set_description(to, udm_tcod_text(from));
        udm_tcod_set_values(to, udm_tcod_count(from), udm_tcod_values(from));
    }
}

// Codes 1000 and 1001: the specific volumes of the Tait coefficients (b5 at
// 0, b1m at 2, b2m at 3, b1s at 6, b2s at 7) at the melt temperature and at
// room temperature, inverted into densities.
void DeriveDensities(UdmTset* target, UdmTset* source) {
    const UdmTcod* tait = udm_tset_code(source, kTaitCode, 0);
    if (ValueCount(tait) <= 12) return;
    const UdmTcod* melt = udm_tset_code(source, kMeltTemperatureCode, 0);
    if (ValueCount(melt) >= 1) {
        SetSingleValue(target, kMeltDensityCode,
                       1.0 / (Value(tait, 2) + (Value(melt, 0) - Value(tait, 0)) * Value(tait, 3)));
    }
    SetSingleValue(target, kSolidDensityCode,
                   1.0 / (Value(tait, 6) + (kRoomTemperature - Value(tait, 0)) * Value(tait, 7)));
}

// Rounds half away from zero; false when the result is no int.
bool RoundToInt(double value, int& result) {
    const double rounded = std::round(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return false;
    result = static_cast<int>(rounded);
    return true;
}

// Code 1328: "VI(<class temperature>)<viscosity>", the Cross-WLF viscosity
// at the class temperature and shear rate 1000 from the coefficients n,
// tau*, D1, D2, D3, A1, A2 (D3 does not enter), rounded half away from
// zero. A viscosity that is no int (overflow, not a number) gives no code.
void WriteViscosityIndex(UdmTset* target, const UdmTcod* cross_wlf, double class_temperature) {
    const double d = class_temperature + kKelvinOffset - Value(cross_wlf, 3);
    const double zero_shear =
        Value(cross_wlf, 2) * std::exp(-Value(cross_wlf, 5) * d / (Value(cross_wlf, 6) + d));
    const double viscosity =
        zero_shear / (1.0 + std::pow(zero_shear * kIndexShearRate / Value(cross_wlf, 1),
                                     1.0 - Value(cross_wlf, 0)));
    int index = 0;
    if (!RoundToInt(viscosity, index)) return;
    char text[64];
    std::snprintf(text, sizeof text, "VI(%g)%d", class_temperature, index);
    SetText(target, kViscosityIndexCode, text);
}

// Prints the one line that says why a conversion failed.
bool Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
bool Fail(const char* format, ...) {
    std::fputs("tarnvel: ", stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fputc('\n', stderr);
    std::fflush(stderr);
    return false;
}

// Saves a property file packed to path, all or nothing.
bool SavePacked(UdmModel* model, const char* path) {
    if (udm_typed_save(model, path, UDM_MODE_PACKED) == UDM_OK) return true;
    const char* reason = sypWriteFileError();
    if (*reason != '\0') return Fail("cannot write %s", reason);
    return Fail("cannot write %s", path);
}

}  // namespace

MVx2kToUdb::MVx2kToUdb() : MVx2kToUdb(MUdbConverter::DefaultDataPath()) {}

MVx2kToUdb::MVx2kToUdb(std::string_view data_directory) {
    const std::string path = DataFilePath(data_directory, kGenericClassFile);
    DataFileReport report(data_directory);
    report.Note(kGenericClassFile, !path.empty() && generic_classes_.Load(path));
}

MVx2kToUdb::~MVx2kToUdb() = default;

void MVx2kToUdb::print(int file_number, int file_count, int material_number, int material_count,
                       const char* text1, const char* text2) const {
    std::printf("File %d of %d, Material %d of %d, %s %s\n", file_number, file_count,
                material_number, material_count, text1 == nullptr ? "" : text1,
                text2 == nullptr ? "" : text2);
    std::fflush(stdout);
}

bool MVx2kToUdb::convert(const char* input, const char* output) {
    if (input == nullptr || output == nullptr) return false;
    char reason[256];
    if (sypCheckReadable(input, reason, sizeof reason) == 0) {
        return Fail("cannot read %s: %s", input, reason);
    }
    UdmModel* source = udm_typed_open(input, UDM_MODE_AS_LOADED);
    if (source == nullptr && udm_read_dropped_count() > 0) {
        return Fail("cannot read %s: it is no readable UDM property file (%s)", input,
                    udm_read_first_message());
    }
    if (source == nullptr)
        return Fail("cannot read %s: it is no readable UDM property file", input);
    if (const int dropped = udm_read_dropped_count(); dropped > 0) {
        std::fprintf(stderr,
                     "tarnvel: warning: %s: %d construct%s dropped while reading, first at %s\n",
                     input, dropped, dropped == 1 ? "" : "s", udm_read_first_message());
        std::fflush(stderr);
    }
    bool converted = false;
    if (const int type = udm_typed_type(source); type != kLegacySetType) {
        Fail("cannot convert %s: its property sets are of type %d, not %d", input, type,
             kLegacySetType);
    } else if (UdmModel* target = udm_typed_open(nullptr, UDM_MODE_AS_LOADED)) {
        convertModel(target, source, 1, 1);
        converted = SavePacked(target, output);
        udm_typed_close(target);
    } else {
        Fail("cannot convert %s: out of memory", input);
    }
    udm_typed_close(source);
    return converted;
}

bool MVx2kToUdb::convertModel(UdmModel* target, UdmModel* source, int file_number, int file_count) {
    ScopedCurrentModel restore;
    const int count = udm_typed_count(source);
    udm_typed_set_type(target, kPropertySetType);
    udm_model_select(source);
    void* entity = udm_entity_first(UDM_CLASS_TSET, kLegacySetType);
    for (int n = 1; entity != nullptr; ++n) {
        const std::int32_t type = udm_entity_type(entity);
        const std::int32_t label = udm_entity_label(entity);
        udm_model_select(target);
        void* created = udm_entity_new(UDM_CLASS_TSET, kPropertySetType, label);
        if (created == nullptr) created = udm_entity_new(UDM_CLASS_TSET, kPropertySetType, 0);
        auto* tset = static_cast<UdmTset*>(created);
        if (convertSet(tset, static_cast<UdmTset*>(entity))) {
            print(file_number, file_count, n, count, CodeText(tset, kSupplierCode),
                  CodeText(tset, kGradeCode));
        }
        udm_model_select(source);
        entity = udm_entity_next(UDM_CLASS_TSET, type, label);
        if (entity != nullptr && udm_entity_type(entity) != type) entity = nullptr;
    }
    return true;
}

bool MVx2kToUdb::convertSet(UdmTset* target, UdmTset* source) {
    if (target == nullptr || source == nullptr) return false;
    udm_tset_set_description(target, udm_tset_description(source));
    for (std::int32_t code : kNotAvailableCodes) SetText(target, code, kNotAvailableText);
    CopyCodes(target, source);
    SetSingleValue(target, kViscosityModelCode, kCrossWlfModel);
    DeriveDensities(target, source);

    const UdmTcod* melt_range = udm_tset_code(source, kMeltRangeCode, 0);
    if (ValueCount(melt_range) > 1) {
        SetSingleValue(target, kMaxMeltTemperatureCode, Value(melt_range, 1) + kMaxMeltMargin);
    }

    const std::int32_t label = udm_entity_label(source);
    if (label != 0) {
        SetText(target, kSetIdCode, std::to_string(static_cast<std::uint32_t>(label)).c_str());
    }

    const UdmTcod* cross_wlf = udm_tset_code(source, kCrossWlfCode, 0);
    const char* class_name = CodeText(source, kClassNameCode);
    if (ValueCount(cross_wlf) > 6 && class_name != nullptr) {
        WriteViscosityIndex(target, cross_wlf, genericValue(class_name));
    }
    return true;
}

double MVx2kToUdb::genericValue(std::string_view name) const {
    const std::string text(generic_classes_.Find(name));
    return std::atof(text.c_str());
}

}  // namespace tarnvel::convert
