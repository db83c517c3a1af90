// Formatting of a message record: placeholders filled from the strings and
// values, the rows repeated per group of values, and each section's lines
// tidied (a line beginning with three blanks loses its first four
// characters; text after the last line feed is dropped).
#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "services/msgcatalogue.h"
#include "services/sypmem.h"
#include "services/uniconv.h"

namespace tarnvel::services {
namespace {

// Widths and precisions beyond this are cut, so a placeholder cannot ask
// for an unbounded amount of padding.
constexpr int kMaxFieldWidth = 512;
// The letters of the numeric placeholders.
constexpr std::string_view kNumericLetters = "eEfFgGvVdu";
// The prefix of a line that loses its first four characters.
constexpr std::string_view kIndentMark = "   ";
constexpr std::size_t kIndentCut = 4;

enum class PlaceholderKind {
    kPercent,   // "%%"
    kString,    // "%s"
    kTime,      // "%T": a string of seconds since 1970 as local date and time
    kUnitName,  // "%U": a string naming a unit, shown in the message units system
    kNow,       // "%t": the current local date and time
    kInteger,   // "%d": the next value as an integer with its unit
    kNumeric,   // width and/or precision and a letter of kNumericLetters
    kCopy,      // copied as it stands
};

// The placeholders made of "%" and one letter.
constexpr std::array<std::pair<char, PlaceholderKind>, 6> kSingleLetterPlaceholders{{
    {'%', PlaceholderKind::kPercent},
    {'s', PlaceholderKind::kString},
    {'T', PlaceholderKind::kTime},
    {'U', PlaceholderKind::kUnitName},
    {'t', PlaceholderKind::kNow},
    {'d', PlaceholderKind::kInteger},
}};

struct Placeholder {
    PlaceholderKind kind = PlaceholderKind::kCopy;
    // Characters taken from the text, the "%" included.
    std::size_t length = 1;
    int width = 0;
    // Negative when not given.
    int precision = -1;
    char letter = '\0';
};

// A numeric value with the unit that the units section attached to it.
struct MessageValue {
    double value = 0.0;
    std::string unit;
};

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Reads the digits at pos (advancing it), cut to kMaxFieldWidth.
int ReadCount(std::string_view text, std::size_t& pos) {
    int count = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        count = std::min(count * 10 + (text[pos] - '0'), kMaxFieldWidth);
    }
    return count;
}

Placeholder CopyOf(std::string_view text, std::size_t length) {
    return Placeholder{PlaceholderKind::kCopy, std::min(length, text.size())};
}

// The width and precision forms: "%" width ["." precision] letter and "%."
// precision letter. Anything else copies the "%" and three characters.
Placeholder ParseNumeric(std::string_view text) {
    Placeholder placeholder{PlaceholderKind::kNumeric};
    std::size_t pos = 1;
    placeholder.width = ReadCount(text, pos);
    if (pos < text.size() && text[pos] == '.') {
        if (pos + 1 >= text.size() || !IsDigit(text[pos + 1])) return CopyOf(text, 4);
        ++pos;
        placeholder.precision = ReadCount(text, pos);
    }
    if (pos >= text.size() || kNumericLetters.find(text[pos]) == std::string_view::npos) {
        return CopyOf(text, 4);
    }
    placeholder.letter = text[pos];
    placeholder.length = pos + 1;
    return placeholder;
}

// The placeholder at the start of text, which begins with "%".
Placeholder ParsePlaceholder(std::string_view text) {
    if (text.size() < 2) return CopyOf(text, 1);
    for (const auto& [letter, kind] : kSingleLetterPlaceholders) {
        if (text[1] == letter) return Placeholder{kind, 2};
    }
    if (IsDigit(text[1])) return ParseNumeric(text);
    if (text[1] == '.') {
        if (text.size() > 2 && IsDigit(text[2])) return ParseNumeric(text);
        return CopyOf(text, 3);
    }
    return CopyOf(text, 4);
}

// Calls visit for every placeholder of the section, with the text between
// placeholders passed to literal.
template <class Literal, class Visit>
void ScanSection(std::string_view section, Literal literal, Visit visit) {
    while (!section.empty()) {
        const std::size_t percent = section.find('%');
        literal(section.substr(0, percent));
        if (percent == std::string_view::npos) return;
        section.remove_prefix(percent);
        const Placeholder placeholder = ParsePlaceholder(section);
        visit(placeholder, section.substr(0, placeholder.length));
        section.remove_prefix(placeholder.length);
    }
}

int CountValuePlaceholders(std::string_view section) {
    int count = 0;
    ScanSection(
        section, [](std::string_view) {},
        [&count](const Placeholder& placeholder, std::string_view) {
            if (placeholder.kind == PlaceholderKind::kInteger ||
                placeholder.kind == PlaceholderKind::kNumeric) {
                ++count;
            }
        });
    return count;
}

std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));

std::string Printf(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text(static_cast<std::size_t>(std::max(length, 0)), '\0');
    if (length > 0) std::vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    return text;
}

// A value as an int; out-of-range values are held at the int limits and a
// value that is not a number becomes 0.
int ToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);
}

// The runtime library's fixed 24-character date and time form, without its
// line end; nothing when the time cannot be shown.
std::optional<std::string> LocalTimeText(std::time_t seconds) {
    static constexpr std::array<const char*, 7> kDays{"Sun", "Mon", "Tue", "Wed",
                                                      "Thu", "Fri", "Sat"};
    static constexpr std::array<const char*, 12> kMonths{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm parts{};
    if (localtime_r(&seconds, &parts) == nullptr) return std::nullopt;
    if (parts.tm_wday < 0 || parts.tm_wday > 6 || parts.tm_mon < 0 || parts.tm_mon > 11) {
        return std::nullopt;
    }
    return Printf("%s %s%3d %.2d:%.2d:%.2d %d", kDays[parts.tm_wday], kMonths[parts.tm_mon],
                  parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec, parts.tm_year + 1900);
}

// A string that is wholly a decimal count of seconds, shown as local date
// and time; any other string as it is.
std::string SecondsText(std::string_view text) {
    std::string_view digits = text;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    long long seconds = 0;
    const auto [end, error] =
        std::from_chars(digits.data(), digits.data() + digits.size(), seconds);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        return std::string(text);
    }
    return LocalTimeText(static_cast<std::time_t>(seconds)).value_or(std::string(text));
}

// The printf form of a floating-point placeholder letter, taking a width
// and a precision; "v" and "V" print as "g" and "G".
const char* FloatingFormat(char letter) {
    switch (letter) {
        case 'e':
            return "%*.*e";
        case 'E':
            return "%*.*E";
        case 'f':
            return "%*.*f";
        case 'F':
            return "%*.*F";
        case 'G':
        case 'V':
            return "%*.*G";
        default:
            return "%*.*g";
    }
}

// Text centred in a field of the width.
std::string Centred(const std::string& text, int width) {
    const std::size_t field = std::max(static_cast<std::size_t>(std::max(width, 0)), text.size());
    const std::size_t left = (field - text.size()) / 2;
    return std::string(left, ' ') + text + std::string(field - text.size() - left, ' ');
}

// Fills the placeholders of one section, consuming strings and values left
// to right; the cursors carry over from section to section.
class SectionFormatter {
  public:
    SectionFormatter(const MessageArguments& arguments, std::vector<MessageValue> values)
        : arguments_(arguments), values_(std::move(values)) {}

    std::string format(std::string_view section) {
        std::string out;
        ScanSection(
            section, [&out](std::string_view literal) { out.append(literal); },
            [&](const Placeholder& placeholder, std::string_view raw) {
                append(placeholder, raw, out);
            });
        return out;
    }

  private:
    // The next string, or null when none is left or it is null.
    const char* nextString() {
        if (next_string_ >= arguments_.strings.size()) return nullptr;
        return arguments_.strings[next_string_++];
    }

    const MessageValue* nextValue() {
        return next_value_ < values_.size() ? &values_[next_value_++] : nullptr;
    }

    void append(const Placeholder& placeholder, std::string_view raw, std::string& out) {
        switch (placeholder.kind) {
            case PlaceholderKind::kPercent:
                out.push_back('%');
                break;
            case PlaceholderKind::kString:
                appendString(nextString(), out);
                break;
            case PlaceholderKind::kTime: {
                if (const char* text = nextString()) out.append(SecondsText(text));
                break;
            }
            case PlaceholderKind::kUnitName:
                appendUnitName(nextString(), out);
                break;
            case PlaceholderKind::kNow: {
                const std::optional<std::string> now = LocalTimeText(std::time(nullptr));
                out.append("Time: ").append(now.value_or("")).push_back('\n');
                break;
            }
            case PlaceholderKind::kInteger:
                appendInteger(out);
                break;
            case PlaceholderKind::kNumeric:
                appendNumeric(placeholder, raw, out);
                break;
            case PlaceholderKind::kCopy:
                out.append(raw);
                break;
        }
    }

    static void appendString(const char* text, std::string& out) {
        if (text != nullptr) out.append(text);
    }

    void appendUnitName(const char* unit, std::string& out) {
        if (unit == nullptr) return;
        char* name = unitsDisplayName(arguments_.units_system, unit, nullptr);
        out.append(name != nullptr ? name : unit);
        sypFree(name);
    }

    void appendInteger(std::string& out) {
        const MessageValue* value = nextValue();
        if (value == nullptr) return;
        out.append(std::to_string(ToInt(value->value)));
        if (!value->unit.empty()) out.append(" ").append(value->unit);
    }

    void appendNumeric(const Placeholder& placeholder, std::string_view raw, std::string& out) {
        const MessageValue* value = nextValue();
        if (value == nullptr) {
            out.append(raw);
            return;
        }
        const char letter = placeholder.letter;
        if (letter == 'd') {
            out.append(
                Printf("%*.*d", placeholder.width, placeholder.precision, ToInt(value->value)));
        } else if (letter == 'u') {
            out.append(
                Centred(value->unit.empty() ? "" : "(" + value->unit + ")", placeholder.width));
        } else {
            double shown = value->value;
            if (letter == 'v' || letter == 'V') {
                shown = unitsConvert(arguments_.units_system, nextString(), shown, nullptr);
            }
            out.append(
                Printf(FloatingFormat(letter), placeholder.width, placeholder.precision, shown));
        }
    }

    const MessageArguments& arguments_;
    std::vector<MessageValue> values_;
    std::size_t next_string_ = 0;
    std::size_t next_value_ = 0;
};

std::string_view Trim(std::string_view text) {
    const std::size_t start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    const std::size_t end = text.find_last_not_of(" \t");
    return text.substr(start, end - start + 1);
}

// The 1-based value index of a units line "name, integer, index[, integer]",
// with the unit name; 0 when the line has no index.
int ParseUnitsLine(std::string_view line, std::string_view& unit) {
    std::array<std::string_view, 3> fields;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const std::size_t comma = line.find(',');
        fields[i] = Trim(line.substr(0, comma));
        if (comma == std::string_view::npos) {
            if (i + 1 < fields.size()) return 0;
            break;
        }
        line.remove_prefix(comma + 1);
    }
    unit = fields[0];
    int index = 0;
    const std::string_view text = fields[2];
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), index);
    return (error == std::errc() && end == text.data() + text.size()) ? index : 0;
}

// The values with the units that the units section attaches to them. A line
// naming a value index outside 1 to the value count is reported with the
// whole section, and the lines after it are not read.
std::vector<MessageValue> AttachUnits(std::span<const float> raw, std::string_view section,
                                      bool read_units) {
    std::vector<MessageValue> values(raw.size());
    for (std::size_t i = 0; i < raw.size(); ++i) values[i].value = raw[i];
    for (std::string_view rest = read_units ? section : ""; !rest.empty();) {
        const std::size_t end = rest.find('\n');
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
        if (Trim(line).empty()) continue;
        std::string_view unit;
        const int index = ParseUnitsLine(line, unit);
        if (index < 1 || static_cast<std::size_t>(index) > values.size()) {
            std::fprintf(stderr, "WARNING: Error in the following message: \n%.*s\n",
                         static_cast<int>(section.size()), section.data());
            break;
        }
        values[static_cast<std::size_t>(index) - 1].unit = unit;
    }
    return values;
}

// Keeps the complete lines of a formatted section, each line that begins
// with three blanks without its first four characters.
std::string TidyLines(std::string_view formatted) {
    std::string out;
    for (std::size_t end = formatted.find('\n'); end != std::string_view::npos;
         end = formatted.find('\n')) {
        std::string_view line = formatted.substr(0, end);
        if (line.starts_with(kIndentMark)) line.remove_prefix(std::min(kIndentCut, line.size()));
        out.append(line).push_back('\n');
        formatted.remove_prefix(end + 1);
    }
    return out;
}

// The number of row repetitions the values call for.
long long RowsDue(const msgClass& record, std::size_t value_count) {
    if (record.row_lines < 0 || record.values_per_row <= 0) return 0;
    const long long leading = std::max(record.leading_values, 0);
    const long long rows = (static_cast<long long>(value_count) - leading) / record.values_per_row;
    return std::max(rows, 0LL);
}

}  // namespace

std::optional<std::string> msgFormatRecord(msgClass& record, const MessageArguments& arguments) {
    const long long rows = RowsDue(record, arguments.values.size());
    if (rows > 0 && record.row_lines <= 0) {
        std::fprintf(stderr, "ERROR: Error in MSCD \n%d\n", record.number);
        return std::nullopt;
    }
    bool read_units = false;
    if (!arguments.values.empty()) {
        if (record.placeholder_count < 0) {
            record.placeholder_count = CountValuePlaceholders(record.body()) +
                                       CountValuePlaceholders(record.rowSection()) +
                                       CountValuePlaceholders(record.trailer());
        }
        read_units = record.placeholder_count > 0;
    }
    SectionFormatter formatter(arguments,
                               AttachUnits(arguments.values, record.unitsSection(), read_units));
    std::string text = TidyLines(formatter.format(record.body()));
    for (long long row = 0; row < rows; ++row)
        text += TidyLines(formatter.format(record.rowSection()));
    if (record.trailer_lines > 0) text += TidyLines(formatter.format(record.trailer()));
    return text;
}

}  // namespace tarnvel::services
