// Text fields and internal formatting.
#include "recfile/rf_text.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tarnvel::recfile {
namespace {

std::string Stars(int width) {
    return std::string(static_cast<std::size_t>(std::max(width, 0)), '*');
}

std::string RightJustify(const std::string& text, int width) {
    if (static_cast<int>(text.size()) > width) return Stars(width);
    return std::string(width - text.size(), ' ') + text;
}

std::string_view Trim(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

// Whether the text is a plain decimal number: sign, digits with at most one
// point (at least one digit), an optional exponent letter with sign and
// digits. strtod accepts more (hexadecimal, INF, NAN), which is refused.
bool IsDecimal(std::string_view text) {
    std::size_t i = 0;
    auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        return i - start;
    };
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e' || text[i] == 'D' || text[i] == 'd')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

}  // namespace

void rfAssign(std::span<char> field, std::string_view text) {
    for (std::size_t i = 0; i < field.size(); ++i) field[i] = i < text.size() ? text[i] : ' ';
}

std::string_view rfUsed(std::string_view field) {
    field = field.substr(0, field.find('\0'));
    std::size_t end = field.size();
    while (end > 0 && static_cast<unsigned char>(field[end - 1]) <= ' ') --end;
    return field.substr(0, end);
}

std::string_view rfUsedPart(std::string_view field) {
    field = rfUsed(field);
    const auto first = field.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : field.substr(first);
}

int rfIndex(std::string_view text, std::string_view part) {
    const auto found = text.find(part);
    return found == std::string_view::npos ? 0 : static_cast<int>(found) + 1;
}

int rfNearest(double value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::round(value);
    if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(rounded);
}

std::string rfFormatE(double value, int width, int digits) {
    if (!std::isfinite(value) || digits < 1 || digits > 30) return Stars(width);
    int exponent = 0;
    std::string mantissa(static_cast<std::size_t>(digits), '0');
    if (value != 0) {
        // "d.ddddde±x": the digits rounded to the field, and the exponent of
        // the form 0.dddddd.
        char text[64];
        std::snprintf(text, sizeof text, "%.*e", digits - 1, std::fabs(value));
        mantissa = std::string(1, text[0]) + std::string(text + 2, digits - 1);
        exponent = std::atoi(std::strchr(text, 'e') + 1) + 1;
    }
    char exponent_text[16];
    if (std::abs(exponent) <= 99) {
        std::snprintf(exponent_text, sizeof exponent_text, "E%c%02d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
    } else if (std::abs(exponent) <= 999) {
        std::snprintf(exponent_text, sizeof exponent_text, "%c%03d", exponent < 0 ? '-' : '+',
                      std::abs(exponent));
    } else {
        return Stars(width);
    }
    std::string body = "." + mantissa + exponent_text;
    if (std::signbit(value) && value != 0) {
        body = "-" + body;
    } else if (static_cast<int>(body.size()) < width) {
        body = "0" + body;
    }
    return RightJustify(body, width);
}

std::string rfFormatI(long long value, int width) {
    return RightJustify(std::to_string(value), width);
}

std::string rfFormatList(float value) {
    char text[48];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string rfListRecord(std::span<const float> values) {
    std::string record;
    for (float value : values) record += " " + rfFormatList(value);
    return record;
}

int rfReadReal(std::string_view field, double* value) {
    const std::string_view used = Trim(field);
    if (!IsDecimal(used)) return 1;
    std::string text(used);
    std::replace_if(
        text.begin(), text.end(), [](char c) { return c == 'D' || c == 'd'; }, 'E');
    *value = std::strtod(text.c_str(), nullptr);
    return 0;
}

int rfReadInt(std::string_view field, long long* value) {
    std::string_view used = Trim(field);
    if (!used.empty() && used.front() == '+') used.remove_prefix(1);
    const auto result = std::from_chars(used.data(), used.data() + used.size(), *value);
    return result.ec == std::errc() && result.ptr == used.data() + used.size() && !used.empty() ? 0
                                                                                                : 1;
}

}  // namespace tarnvel::recfile
