// The tessel ASCII material file writer. Every piece is checked against
// what the reader does with it: keywords are taken from the reader's own
// table (a name is written only when the table gives it back unchanged),
// values in the base unit under the SI name of that unit (which the reader
// takes without conversion), or without a unit where the unit has no
// keyword.
#include "matdb/md_ascii_writer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <map>
#include <regex>
#include <utility>

#include "matdb/md_ascii.h"
#include "matdb/md_ascii_keywords.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_value_text.h"
#include "services/vttext.h"
#include "services/vttoken.h"

namespace tarnvel::matdb {
namespace {

constexpr std::size_t kSupplierKept = 8;
constexpr std::size_t kCodeKept = 6;
constexpr std::size_t kHeaderKept = 80;
constexpr std::string_view kSeparators = ", :\t\r\n";

bool SameBits(float a, float b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

bool Printable(unsigned char c) {
    return (c >= 0x20 && c < 0x7f) || c >= 0x80;
}

// A text with its control bytes as blanks, so that it stays on its line.
std::string OnOneLine(std::string_view text) {
    std::string line(text);
    for (char& c : line)
        if (!Printable(static_cast<unsigned char>(c))) c = ' ';
    return line;
}

// A word the token reader reads whole and unchanged as a word: printable,
// no separator, no quote, already upper case, not beginning like a number
// (except the "1/" of a unit).
bool PlainWord(std::string_view word) {
    if (word.empty() || word.size() > static_cast<std::size_t>(kTokWordLimit)) return false;
    for (const char c : word) {
        const auto byte = static_cast<unsigned char>(c);
        if (!Printable(byte) || kSeparators.find(c) != std::string_view::npos || c == '"' ||
            (c >= 'a' && c <= 'z'))
            return false;
    }
    const char first = word[0];
    const bool numeric = (first >= '0' && first <= '9') || first == '.' || first == '-';
    return !numeric || word.starts_with("1/");
}

// A SUPPLIER or GRADE argument the reader keeps as it is: a plain word
// within the kept length that does not look like a number.
bool KeptName(std::string_view name, std::size_t kept) {
    static const std::regex numeric("-?([0-9]+(\\.[0-9]*)?|\\.[0-9]+)(E[+-]?[0-9]*)?");
    if (name.empty() || name.size() > kept) return false;
    for (const char c : name) {
        if (!Printable(static_cast<unsigned char>(c)) ||
            kSeparators.find(c) != std::string_view::npos || c == '"' || (c >= 'a' && c <= 'z'))
            return false;
    }
    return !std::regex_match(name.begin(), name.end(), numeric);
}

// A catalogue name as the file writes it: blanks as underscores, the case
// kept ("Melt_Flow_Rate", "deg.C"). The reader upper-cases the word, which
// gives the keyword of its table, and the grade-list builder, which matches
// names in this case, finds the texts it lists.
std::string Written(int kind, int value) {
    std::string_view name;
    if (kind == kAscProperty) name = md_property_name(value);
    if (kind == kAscVariable) name = md_variable_name(value);
    if (kind == kAscUnit)
        name = md_unit_name(value % kAscUnitsPerGroup, value / kAscUnitsPerGroup - 1);
    std::string word(name);
    for (char& c : word)
        if (c == ' ') c = '_';
    return word;
}

// The keyword of a property, variable or unit as written: present only when
// the reader's table maps its text back to the same entry first.
std::optional<std::string> Keyword(int kind, int value) {
    static const auto table = [] {
        std::map<std::string, std::pair<int, int>> first;
        std::map<std::pair<int, int>, std::string> words;
        for (const TokKeyword& entry : AsciiKeywords()) {
            if (!first.try_emplace(entry.text, entry.kind, entry.argument).second) continue;
            const std::string word = Written(entry.kind, entry.argument);
            if (PlainWord(entry.text) && md_keyword_of(word) == entry.text)
                words.try_emplace({entry.kind, entry.argument}, word);
        }
        return words;
    }();
    const auto found = table.find({kind, value});
    if (found == table.end()) return std::nullopt;
    return found->second;
}

// The keyword of a catalogue unit in a system (the unit's group of the
// table: SI, metric, English).
std::optional<std::string> UnitKeyword(int unit, int system = kMdSystemSI) {
    if (unit <= 0 || unit >= kAscUnitsPerGroup) return std::nullopt;
    return Keyword(kAscUnit, unit + kAscUnitsPerGroup * (system + 1));
}

// What the reader makes of a number written in a unit: the value read,
// converted to the base unit in double precision and rounded to float (an
// SI value is taken unchanged).
float ReadBack(const std::string& text, const MdUnitChoice& unit) {
    const float read = tokNumberValue(text);
    if (unit.system == kMdSystemSI) return read;
    return static_cast<float>(md_to_base(read, unit.unit, unit.system));
}

// The text of a number (shortest, or with that many significant digits)
// when it reads back to the value.
std::optional<std::string> TextWith(float value, double target, const MdUnitChoice& unit,
                                    int precision) {
    char text[64];
    const auto [end, error] =
        precision == 0 ? std::to_chars(text, text + sizeof text, static_cast<float>(target))
                       : std::to_chars(text, text + sizeof text, target, std::chars_format::general,
                                       precision);
    if (error != std::errc()) return std::nullopt;
    std::string result(text, end);
    if (!SameBits(ReadBack(result, unit), value)) return std::nullopt;
    return result;
}

// The reader gathers digits in a float, so a mantissa of more than seven
// digits may be rounded before it is scaled: some values have no decimal
// that reads back. Integer mantissas of 1 to 10 digits near the value, each
// with its power of ten, are tried; the one read back nearest is kept.
MdAsciiNumber Searched(float value, double target, const MdUnitChoice& unit) {
    constexpr long long kNear = 24;
    const double magnitude = std::fabs(target);
    if (magnitude == 0) return {"0", false};
    const std::string sign = target < 0 ? "-" : "";
    const int top = static_cast<int>(std::floor(std::log10(magnitude)));
    MdAsciiNumber best{"", false};
    double best_error = HUGE_VAL;
    for (int digits = 1; digits <= 10; ++digits) {
        const int exponent = top - (digits - 1);
        const long long middle = std::llround(magnitude / std::pow(10.0, exponent));
        for (long long mantissa = std::max(middle - kNear, 1LL); mantissa <= middle + kNear;
             ++mantissa) {
            std::string text = sign + std::to_string(mantissa) + "e" + std::to_string(exponent);
            const float read = ReadBack(text, unit);
            if (SameBits(read, value)) return {std::move(text), true};
            const double error = std::fabs(static_cast<double>(read) - value);
            if (error < best_error) {
                best_error = error;
                best.text = std::move(text);
            }
        }
    }
    return best;
}

// An integer word (a viscosity model, a shrinkage version) as the reader
// takes it back: the float read, cut toward zero.
std::optional<std::string> IntegerText(std::int32_t value) {
    std::string text = std::to_string(value);
    const float read = tokNumberValue(text);
    if (!(read >= -2147483520.0f && read <= 2147483520.0f) || static_cast<int>(read) != value)
        return std::nullopt;
    return text;
}

class GradeWriter {
  public:
    GradeWriter(const MdGrade& grade, std::string& text, std::vector<MdAsciiLoss>& losses)
        : grade_(grade), text_(text), losses_(losses) {}

    void Names() {
        if (!KeptName(grade_.supplier, kSupplierKept))
            Lose(0, "the supplier name is not a word of at most 8 characters the reader keeps");
        if (!KeptName(grade_.code, kCodeKept))
            Lose(0, "the grade code is not a word of at most 6 characters the reader keeps");
        text_ +=
            "Supplier " + OnOneLine(grade_.supplier) + "\nGrade " + OnOneLine(grade_.code) + "\n";
        Header();
    }

    void Item(const MdProperty& item) {
        if (item.property == kMdGenericLink && IsText(item)) return Link(item);
        const std::optional<std::string> keyword = Keyword(kAscProperty, item.property);
        if (!keyword) return Lose(item.property, "the property has no keyword in the file");
        if (item.model != 0 && !(item.property == kMdViscosity && item.format == MD_COEFFICIENTS))
            Lose(item.property, "its model number is kept for viscosity coefficients only");
        if (!item.variables.empty() && item.format != MD_STANDARD_POINTS)
            Lose(item.property, "variables are kept for standard points only");
        switch (item.format) {
            case MD_SINGLE_POINT:
                return SinglePoint(item, *keyword);
            case MD_COEFFICIENTS:
                return Coefficients(item, *keyword);
            case MD_STANDARD_POINTS:
                return StandardPoints(item, *keyword);
            case MD_TEXT:
            case MD_TEXT_QUOTED:
                return Text(item, *keyword);
            default:
                Lose(item.property, "format " + std::to_string(item.format) + " has no form");
        }
    }

  private:
    static bool IsText(const MdProperty& item) {
        return item.format == MD_TEXT || item.format == MD_TEXT_QUOTED;
    }

    void Lose(int property, std::string what) {
        losses_.push_back({grade_.supplier, grade_.code, property, std::move(what)});
    }

    // HEADER takes the rest of its line, upper-cased and trimmed, with the
    // grade code taken off its start: the description is written after the
    // code whenever the line alone would not read back (empty, beginning
    // with a separator the keyword skips, or with the code itself).
    void Header() {
        const std::string& description = grade_.description;
        const bool begins_with_code =
            description.starts_with(grade_.code) &&
            (description.size() == grade_.code.size() || description[grade_.code.size()] == ' ');
        const bool prefixed = description.empty() || begins_with_code ||
                              kSeparators.find(description[0]) != std::string_view::npos;
        const std::string line = prefixed ? grade_.code + " " + description : description;
        bool printable = true;
        for (const char c : description) printable = printable && Printable(c);
        if (!printable || vtTrimUpperCopy(description, std::string::npos) != description ||
            line.size() > kHeaderKept)
            Lose(0, "the description does not read back from a HEADER line");
        text_ += "Header " + OnOneLine(line) + "\n";
    }

    void Link(const MdProperty& item) {
        const std::size_t blank = item.text.find(' ');
        const std::string_view text = item.text;
        const bool plain = blank != std::string::npos && PlainWord(text.substr(0, blank)) &&
                           PlainWord(text.substr(blank + 1));
        // A link that is not two plain words would take the next line's
        // keyword as its grade: it is left out.
        if (!plain)
            return Lose(item.property, "the generic link is not two words the reader keeps");
        text_ += "Generic_Link " + item.text + "\n";
    }

    void Text(const MdProperty& item, const std::string& keyword) {
        if (!md_ascii_text_property(item.property))
            return Lose(item.property, "the reader takes no text for this property");
        bool plain = item.text.size() <= static_cast<std::size_t>(kTokWordLimit);
        for (const char c : item.text) plain = plain && Printable(c) && c != '"';
        if (!plain)
            Lose(item.property,
                 "the text is longer than 79 bytes or holds a quote or control byte");
        if (item.format == MD_TEXT_QUOTED) Lose(item.property, "a quoted text reads back as text");
        std::string kept;
        for (const char c : item.text)
            if (Printable(c) && c != '"') kept += c;
        text_ += keyword + " \"" + kept + "\"\n";
    }

    // One value, as the nearest text that reads back in the unit.
    std::string Number(const MdProperty& item, float value, MdUnitChoice unit = {}) {
        const std::optional<MdAsciiNumber> number = md_ascii_number(value, unit);
        if (number && number->exact) return number->text;
        const std::string shortest = md_shortest_text(value);
        if (!number) {
            Lose(item.property, "the value " + shortest + " is not a number the file can hold");
            return "-16384";
        }
        Lose(item.property, "the value " + shortest + " reads back as " +
                                md_shortest_text(ReadBack(number->text, unit)) +
                                " (the nearest the reader's digits reach)");
        return number->text;
    }

    // The unit a column of values is written in: the first of its SI,
    // metric and English names that the reader maps back to it and in which
    // every value of the column reads back exactly (the SI one converts
    // nothing); none when there is no such name.
    static std::optional<MdUnitChoice> ColumnUnit(int unit, const std::vector<float>& values) {
        for (const int system : {kMdSystemSI, kMdSystemMetric, kMdSystemEnglish}) {
            const MdUnitChoice choice{unit, system};
            if (!UnitKeyword(unit, system)) continue;
            const bool exact = std::ranges::all_of(values, [&](float value) {
                const auto number = md_ascii_number(value, choice);
                return number && number->exact;
            });
            if (exact) return choice;
        }
        return std::nullopt;
    }

    std::string Integer(const MdProperty& item, std::int32_t value) {
        if (const auto text = IntegerText(value)) return *text;
        Lose(item.property, "an integer value does not read back");
        return std::to_string(value);
    }

    void SinglePoint(const MdProperty& item, const std::string& keyword) {
        if (item.values.size() != 1)
            return Lose(item.property, "a single point without exactly one value");
        const float value = item.values[0].real();
        const auto unit = ColumnUnit(md_property(item.property)->unit, {value});
        text_.append(keyword).append(" ").append(
            Number(item, value, unit.value_or(MdUnitChoice{})));
        if (unit) text_.append(" ").append(*UnitKeyword(unit->unit, unit->system));
        text_ += '\n';
    }

    // The viscosity model and the two shrinkage integers lead the numbers;
    // the reader takes a list of fewer than two numbers as a single point.
    void Coefficients(const MdProperty& item, const std::string& keyword) {
        const bool viscosity = item.property == kMdViscosity;
        if (item.values.size() + (viscosity ? 1 : 0) < 2)
            return Lose(item.property, "a coefficient list of fewer than two numbers");
        std::string line = keyword;
        if (viscosity) line.append(" ").append(Integer(item, item.model));
        for (std::size_t k = 0; k < item.values.size(); ++k) {
            const bool integer = item.property == kMdShrinkage && k < 2;
            line.append(" ").append(integer ? Integer(item, item.values[k].integer())
                                            : Number(item, item.values[k].real()));
        }
        text_ += line + "\n";
    }

    // Variables, the property again and a unit for every column (or none
    // when a column's unit has no keyword), then one row a line.
    void StandardPoints(const MdProperty& item, const std::string& keyword) {
        const std::size_t columns = item.variables.size() + 1;
        if (item.variables.empty() || item.values.empty() || item.values.size() % columns != 0)
            return Lose(item.property, "standard points without variables or whole rows");
        std::string head = "  ";
        for (const int variable : item.variables) {
            const auto word = Keyword(kAscVariable, variable);
            if (!word) return Lose(item.property, "a variable has no keyword in the file");
            head += *word + " ";
        }
        head += keyword;
        const std::vector<MdUnitChoice> units = TableUnits(item);
        for (const MdUnitChoice& unit : units)
            head.append(" ").append(*UnitKeyword(unit.unit, unit.system));
        text_ += keyword + "\n" + head + "\n";
        for (std::size_t k = 0; k < item.values.size(); ++k) {
            const MdUnitChoice unit = units.empty() ? MdUnitChoice{} : units[k % columns];
            text_ += (k % columns == 0 ? "   " : "") + std::string(" ") +
                     Number(item, item.values[k].real(), unit);
            if (k % columns + 1 == columns) text_ += "\n";
        }
    }

    // The units of a table's columns: all of them, or none (the values as
    // stored) when a column has no unit in which it reads back exactly; the
    // reader takes units for every column or for none.
    static std::vector<MdUnitChoice> TableUnits(const MdProperty& item) {
        const std::size_t columns = item.variables.size() + 1;
        std::vector<MdUnitChoice> units;
        for (std::size_t column = 0; column < columns; ++column) {
            const int unit = column + 1 < columns ? md_variable(item.variables[column])->unit
                                                  : md_property(item.property)->unit;
            std::vector<float> values;
            for (std::size_t k = column; k < item.values.size(); k += columns)
                values.push_back(item.values[k].real());
            const auto choice = ColumnUnit(unit, values);
            if (!choice) return {};
            units.push_back(*choice);
        }
        return units;
    }

    const MdGrade& grade_;
    std::string& text_;
    std::vector<MdAsciiLoss>& losses_;
};

}  // namespace

std::optional<MdAsciiNumber> md_ascii_number(float value, MdUnitChoice unit) {
    if (value != value || value - value != 0) return std::nullopt;  // NaN, infinity
    const double target =
        unit.system == kMdSystemSI ? value : md_from_base(value, unit.unit, unit.system);
    if (!std::isfinite(target)) return std::nullopt;
    for (int precision = 0; precision <= 9; ++precision) {
        // Precision 0 asks for the shortest text that reads back in C.
        if (auto text = TextWith(value, target, unit, precision)) return MdAsciiNumber{*text, true};
    }
    return Searched(value, target, unit);
}

void md_ascii_grade_text(const MdGrade& grade, bool resolved, std::string& text,
                         std::vector<MdAsciiLoss>& losses) {
    GradeWriter writer(grade, text, losses);
    writer.Names();
    for (const MdProperty& item : grade.items) {
        if (item.property == 0 || (item.inherited != 0 && !resolved)) continue;
        writer.Item(item);
    }
    text += "\n";
}

}  // namespace tarnvel::matdb
