// The keyword lines of the grade export: each value form of the keyword
// file (one real, integers, texts, long texts, lists of rows), written so
// that the keyword file reader takes every value back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnvel::matdb {

// The most values a list line carries.
inline constexpr std::size_t kMdValuesPerLine = 5;

// A real as an "E12.6" field; a value that is not data (NaN, infinite, or
// beyond what the field shows) is written as the unset marker.
std::string md_export_real_field(double value);

// "KEY: <E12.6>\n".
std::string md_export_real(std::string_view keyword, double value);
// "KEY: <I8>\n".
std::string md_export_integer(std::string_view keyword, std::int32_t value);
// "KEY: text\n" with the text's trailing blanks removed.
std::string md_export_text(std::string_view keyword, std::string_view text);
// "KEY: \\\n" and the text (trailing blanks removed) on the next line.
std::string md_export_long_text(std::string_view keyword, std::string_view text);

// A list of rows of `per_row` values. One row whose keyword plus 14 per
// value stays below 129 characters is one line: "KEY:", a blank, " v " per
// value and a blank. Otherwise "KEY: \\" and then each row on lines of at
// most 5 values, each line a blank and " v " per value, every line but the
// very last ending in a backslash. Reals are "E12.6" fields (not-data
// values written as the unset marker), integers "I8" fields.
std::string md_export_list(std::string_view keyword, std::span<const double> values,
                           std::size_t per_row);
std::string md_export_integer_list(std::string_view keyword, std::span<const std::int32_t> values,
                                   std::size_t per_row);

}  // namespace tarnvel::matdb
