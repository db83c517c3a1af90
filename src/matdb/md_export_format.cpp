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

// A text value ends at its first line end: the keyword file reader takes
// a value from one line, and a line feed inside it would start a line of
// its own.
std::string_view OneLine(std::string_view text) {
    return text.substr(0, text.find_first_of("\r\n"));
}

std::string_view TrimTrailing(std::string_view text) {
    text = OneLine(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::string Head(std::string_view keyword) {
    return std::string(keyword) + ": ";
}

// The list layout over fields already formatted: each field between two
// blanks; one row on the keyword line when it fits, otherwise the rows on
// lines of their own (kMdValuesPerLine fields at most, each line led by a
// blank), every line but the last ending in a backslash.
std::string ListOf(std::string_view keyword, const std::vector<std::string>& fields,
                   std::size_t per_row) {
    if (fields.empty() || per_row == 0) return {};
    std::string out(keyword);
    const auto append = [&out](const std::string& field) {
        out += ' ';
        out += field;
        out += ' ';
    };
    const std::size_t rows = fields.size() / per_row;
    if (rows == 1 && keyword.size() + kWidthPerValue * per_row < kOneLineLimit) {
        out += ": ";
        for (const std::string& f : fields) append(f);
        return out + " \n";
    }
    out += ": \\\n";
    out.reserve(out.size() + fields.size() * kWidthPerValue + rows * 4);
    bool first_line = true;
    for (std::size_t row = 0; row < rows; ++row) {
        for (std::size_t first = 0; first < per_row; first += kMdValuesPerLine) {
            if (!first_line) out += "\\\n";
            first_line = false;
            out += ' ';
            for (std::size_t j = first; j < per_row && j < first + kMdValuesPerLine; ++j) {
                append(fields[row * per_row + j]);
            }
        }
    }
    if (!first_line) out += '\n';
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
    fields.reserve(values.size());
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
