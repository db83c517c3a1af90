// Text fields and internal formatting.
#include "recfile/rf_text.h"

#include <algorithm>
#include <array>
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
    const std::size_t count = static_cast<std::size_t>(digits);
    // Sign or leading zero, ".", the digits, and an exponent of at most 4.
    std::array<char, 40> body{};
    std::size_t length = 1;
    body[length++] = '.';
    int exponent = 0;
    if (value == 0) {
        std::fill_n(body.begin() + length, count, '0');
    } else {
        // "d.ddddde±x": the digits rounded to the field, as "%.*e" rounds
        // them, and the exponent of the form 0.dddddd.
        std::array<char, 64> text{};
        char* end = std::to_chars(text.data(), text.data() + text.size() - 1, std::fabs(value),
                                  std::chars_format::scientific, digits - 1)
                        .ptr;
        body[length] = text[0];
        std::copy_n(text.begin() + 2, count - 1, body.begin() + length + 1);
        const char* e = std::find(text.data(), end, 'e');
        exponent = std::atoi(e + 1) + 1;
    }
    length += count;
    const int magnitude = std::abs(exponent);
    if (magnitude > 999) return Stars(width);
    if (magnitude <= 99) body[length++] = 'E';
    body[length++] = exponent < 0 ? '-' : '+';
    if (magnitude > 99) body[length++] = static_cast<char>('0' + magnitude / 100);
    body[length++] = static_cast<char>('0' + magnitude / 10 % 10);
    body[length++] = static_cast<char>('0' + magnitude % 10);
    // The first place holds the sign of a negative value, or a leading zero
    // when the field has room for it.
    std::size_t first = 1;
    if (std::signbit(value) && value != 0) {
        body[first = 0] = '-';
    } else if (static_cast<int>(length - 1) < width) {
        body[first = 0] = '0';
    }
    const std::size_t size = length - first;
    if (static_cast<int>(size) > width) return Stars(width);
    std::string field(static_cast<std::size_t>(width) - size, ' ');
    field.append(body.data() + first, size);
    return field;
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
    for (float value : values) record.append(" ").append(rfFormatList(value));
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
