#include "matdb/md_export_format.h"

#include <vector>

#include "matdb/md_fit_points.h"
#include "recfile/rf_text.h"

namespace tarnvel::matdb {
namespace {

// A one-row list stays on the keyword line while the keyword's length plus
// this much per value is below the line limit.
constexpr std::size_t kWidthPerValue = 14;
constexpr std::size_t kOneLineLimit = 129;

std::string_view TrimTrailing(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string Head(std::string_view keyword) {
    return std::string(keyword) + ": ";
}

// The list layout over fields already formatted.
std::string ListOf(std::string_view keyword, const std::vector<std::string>& fields,
                   std::size_t per_row) {
    if (fields.empty() || per_row == 0) return {};
    std::string out(keyword);
    const std::size_t rows = fields.size() / per_row;
    if (rows == 1 && keyword.size() + kWidthPerValue * per_row < kOneLineLimit) {
        out += ": ";
        for (const std::string& f : fields) out += " " + f + " ";
        return out + " \n";
    }
    out += ": \\\n";
    std::vector<std::string> lines;
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t first = 0; first < per_row; first += kMdValuesPerLine) {
            std::string line = " ";
            for (std::size_t j = first; j < per_row && j < first + kMdValuesPerLine; ++j) {
                line += " " + fields[row * per_row + j] + " ";
            }
            lines.push_back(line);
        }
    }
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i] + (i + 1 < lines.size() ? "\\\n" : "\n");
    }
    return out;
}

}  // namespace

std::string md_export_real_field(double value) {
    return recfile::rfFormatE(fit::Representable(value) ? value : fit::kUnset);
}

std::string md_export_real(std::string_view keyword, double value) {
    return Head(keyword) + md_export_real_field(value) + "\n";
}

std::string md_export_integer(std::string_view keyword, std::int32_t value) {
    return Head(keyword) + recfile::rfFormatI(value) + "\n";
}

std::string md_export_text(std::string_view keyword, std::string_view text) {
    return Head(keyword) + std::string(TrimTrailing(text)) + "\n";
}

std::string md_export_long_text(std::string_view keyword, std::string_view text) {
    return Head(keyword) + "\\\n" + std::string(TrimTrailing(text)) + "\n";
}

std::string md_export_list(std::string_view keyword, std::span<const double> values,
                           std::size_t per_row) {
    std::vector<std::string> fields;
    for (double v : values) fields.push_back(md_export_real_field(v));
    return ListOf(keyword, fields, per_row);
}

std::string md_export_integer_list(std::string_view keyword, std::span<const std::int32_t> values,
                                   std::size_t per_row) {
    std::vector<std::string> fields;
    for (std::int32_t v : values) fields.push_back(recfile::rfFormatI(v));
    return ListOf(keyword, fields, per_row);
}

}  // namespace tarnvel::matdb
