// The argument vector of the grade export entry, and the model preference
// lists it reads from the environment.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvel::matdb {

// The longest supplier, grade and database texts an argument may hold, and
// the output path's limit (the path must be shorter).
inline constexpr std::size_t kMdExportNameLimit = 48;
inline constexpr std::size_t kMdExportPathLimit = 256;

struct MdExportOptions {
    std::string supplier;
    std::string grade;
    // Empty when no "-database" was given.
    std::string database;
    std::string output;
    bool diagnostic = false;
    bool kes = false;
};

// The usage line, filled with the program name (empty when null).
std::string md_export_usage(const char* program);

// Reads the argument vector (entry 0 the program name). "-supplier" is
// matched whole; "-grade", "-database", "-output", "-diagnostic" and
// "-kes" match any word that begins with them. An unknown option, a
// missing value, a value over its limit, or a missing supplier, grade or
// output gives nothing (the caller prints the usage line).
std::optional<MdExportOptions> md_export_parse(int argc, const char* const* argv);

// The preference lists, codes in preference order; entries beyond those
// given hold the unset marker -16384.
inline constexpr int kMdNoPreference = -16384;
struct MdModelPreferences {
    // 1 1st order, 2 2nd order, 3 matrix, 4 Cross, 5 Carreau, 6 Cross-WLF.
    std::array<int, 10> viscosity{};
    // 1 the product's own, 2 Tait, 3 compressibility factor, 4 matrix.
    std::array<int, 6> pvt{};
    // 2 residual stress, 1 residual strain.
    std::array<int, 4> shrinkage{};
};

// The lists from the values of VTORDER, VTPVTORDER and VTSHRINKORDER (null
// or empty: the default list). Each blank-separated item is a number in
// the list's range or one of its words (any case); other items are passed
// over.
MdModelPreferences md_model_preferences(const char* viscosity_order, const char* pvt_order,
                                        const char* shrink_order);

// The same, read from the environment.
MdModelPreferences md_model_preferences_from_environment();

// The word of a model code in its list ("2ND_ORDER", "VANTOREL",
// "RESIDUAL_STRESS"), or "NONE" for a code outside the list's range.
std::string_view md_viscosity_model_name(int code);
std::string_view md_pvt_model_name(int code);
std::string_view md_shrinkage_model_name(int code);

}  // namespace tarnvel::matdb
