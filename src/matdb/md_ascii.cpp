// The tessel ASCII material file reader.
#include "matdb/md_ascii.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_ascii_keywords.h"
#include "matdb/md_catalogue.h"
#include "services/vtout.h"
#include "services/vttext.h"
#include "services/vttoken.h"

namespace md = tarnvel::matdb;
using md::md_property;
using md::md_property_name;
using md::md_to_base;
using md::md_unit_name;
using md::md_variable;
using md::md_variable_name;

namespace {

constexpr std::size_t kSupplierKept = 8;
constexpr std::size_t kCodeKept = 6;
constexpr std::size_t kDescriptionKept = 80;
constexpr char kSeparators[] = ", :\t\r\n";

// A number stored as an integer word (a viscosity model number, a shrinkage
// version), cut toward zero; a number no 32-bit integer holds gives the
// unset marker instead of an undefined conversion.
int WholeNumber(float value) {
    constexpr float kLimit = 2147483520.0f;  // the largest float below 2^31
    if (!(value >= -kLimit && value <= kLimit)) return -16384;
    return static_cast<int>(value);
}

std::string UpperTrimmed(std::string_view text, std::size_t kept) {
    std::string result = vtTrimUpperCopy(text, std::string_view::npos);
    if (result.size() > kept) result.resize(kept);
    while (!result.empty() && result.back() == ' ') result.pop_back();
    return result;
}

// A word that the number syntax reads whole (digits only, "1.5", "-2e3").
bool LooksNumeric(std::string_view word) {
    std::size_t i = 0, digits = 0;
    if (i < word.size() && word[i] == '-') ++i;
    for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) ++digits;
    if (i < word.size() && word[i] == '.') {
        for (++i; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i) ++digits;
    }
    if (digits > 0 && i < word.size() && word[i] == 'E') {
        ++i;
        if (i < word.size() && (word[i] == '+' || word[i] == '-')) ++i;
        while (i < word.size() && word[i] >= '0' && word[i] <= '9') ++i;
    }
    return digits > 0 && i == word.size();
}

class Reader {
  public:
    Reader(std::FILE* stream, bool warn_merges) : in_(stream), warn_merges_(warn_merges) {}

    MdAsciiResult Run() {
        for (;;) {
            const VtToken token = Next();
            if (token.kind == kTokEnd || ended_) break;
            if (!Handle(token)) {
                result_.aborted = true;
                return result_;
            }
        }
        StoreGrade();
        return result_;
    }

  private:
    VtToken Next() { return tokGetKeyword(in_); }

    static void Warn(int line, const std::string& text) {
        vt_echo("Warning at line %d: %.200s\n\tInput discarded\n", line, text.c_str());
    }
    static bool Abort(int line, const char* text) {
        vt_echo("Error at line %d: %s\nRead aborted\n", line, text);
        return false;
    }

    // Handles one token; false when the read is aborted.
    bool Handle(const VtToken& token) {
        switch (token.kind) {
            case md::kAscSupplier:
                return Supplier(token);
            case md::kAscGrade:
                return Grade(token);
            case md::kAscHeader:
                Header(token);
                return true;
            case md::kAscGenericLink:
                GenericLink(token);
                return true;
            case md::kAscProperty:
                if (!grade_) return Abort(token.line, "Grade Name must precede data");
                property_ = token.integer;
                return true;
            case kTokNumber:
                if (property_ == 0) return Abort(token.line, "Property Name must precede data");
                ungettok(token);
                Numbers();
                return true;
            case md::kAscVariable:
                if (property_ == 0) return Abort(token.line, "Property Name must precede data");
                ungettok(token);
                return Table();
            case kTokString:
                if (grade_ && md_ascii_text_property(property_)) {
                    MdProperty item;
                    item.property = property_;
                    item.format = MD_TEXT;
                    item.text = token.text;
                    grade_->items.push_back(std::move(item));
                    return true;
                }
                [[fallthrough]];
            default:
                Unexpected(token);
                return true;
        }
    }

    // The word after SUPPLIER or GRADE. A missing or numeric word ends the
    // input as at the end of the file.
    std::optional<std::string> Argument(const char* keyword) {
        const VtToken word = tokGetWord(in_);
        if (word.kind == kTokWord && !LooksNumeric(word.text)) return std::string(word.text);
        std::fprintf(stderr, "Warning: %s should be followed by a string. Input discarded.\n",
                     keyword);
        ended_ = true;
        return std::nullopt;
    }

    bool Supplier(const VtToken& token) {
        const auto name = Argument("SUPPLIER");
        StoreGrade();
        if (!name) return EndInput();
        supplier_written_ = *name;
        supplier_ = Kept(*name, kSupplierKept, token.line, true);
        property_ = 0;
        return true;
    }

    bool Grade(const VtToken& token) {
        if (supplier_.empty()) return Abort(token.line, "Supplier Name must precede Grade Name");
        const auto code = Argument("GRADE");
        StoreGrade();
        if (!code) return EndInput();
        grade_ = std::make_unique<MdGrade>();
        grade_->supplier = supplier_;
        grade_->code = Kept(*code, kCodeKept, token.line, false);
        written_ = {supplier_written_, *code, token.line};
        property_ = 0;
        return true;
    }

    // A name as the database keeps it; a cut one is noted.
    std::string Kept(const std::string& name, std::size_t kept, int line, bool supplier) {
        std::string whole = UpperTrimmed(name, std::string::npos);
        std::string result = UpperTrimmed(name, kept);
        if (result != whole) result_.cuts.push_back({line, supplier, whole, result});
        return result;
    }

    // Ends the read as at the end of the file (the flag is already set).
    bool EndInput() { return true; }

    std::string RestOfLine(bool* cut) {
        std::string text;
        int c;
        *cut = false;
        while ((c = std::getc(in_)) != EOF && c != '\n') {
            if (text.size() < kDescriptionKept) {
                text.push_back(static_cast<char>(c));
            } else {
                *cut = true;
            }
        }
        if (c == '\n') vtCountLine();
        while (!text.empty() && (text.back() == '\r' || text.back() == ' ')) text.pop_back();
        return text;
    }

    void Header(const VtToken& token) {
        bool cut = false;
        // The separators after HEADER are skipped already, line ends too.
        const int text_line = vtLineNumber();
        std::string text = RestOfLine(&cut);
        if (!grade_) {
            Warn(token.line, "HEADER before any GRADE");
            return;
        }
        if (text_line > token.line) WarnKeywordTaken(text, text_line, token.line);
        if (!grade_->description.empty()) {
            vt_out("Warning: Header repeated - overwriting earlier header.\n");
        }
        if (cut) vt_out("Warning: Header truncated at 80 characters\n");
        text = UpperTrimmed(text, kDescriptionKept);
        const std::string& code = grade_->code;
        if (!code.empty() && text.starts_with(code) &&
            (text.size() == code.size() || text[code.size()] == ' ')) {
            text.erase(0, code.size());
            text.erase(0, text.find_first_not_of(' ') == std::string::npos
                              ? text.size()
                              : text.find_first_not_of(' '));
        }
        grade_->description = text;
    }

    // A HEADER alone on its line takes the next line whatever it holds; when
    // that line begins with a keyword it was most likely meant as data (an
    // empty header before the next SUPPLIER moves the next grade under the
    // current supplier). Said on the error stream, since the database build
    // silences the console output.
    static void WarnKeywordTaken(const std::string& text, int text_line, int header_line) {
        const std::string word =
            UpperTrimmed(text.substr(0, text.find_first_of(kSeparators)), std::string::npos);
        for (const TokKeyword& keyword : md::AsciiKeywords()) {
            if (keyword.kind > md::kAscProperty || word != keyword.text) continue;
            std::fprintf(stderr,
                         "Warning at line %d: the empty HEADER of line %d takes this line, which "
                         "begins with the keyword %.79s, as the grade's description.\n",
                         text_line, header_line, keyword.text);
            return;
        }
    }

    void GenericLink(const VtToken& token) {
        const VtToken first = gettok(in_);
        const std::string supplier = first.text != nullptr ? first.text : "";
        const VtToken second = gettok(in_);
        if (!grade_) {
            Warn(token.line, "GENERIC_LINK before any GRADE");
            return;
        }
        if (first.kind != kTokWord || second.kind != kTokWord) {
            Warn(token.line, "GENERIC should be followed by SUPPLIER GRADENAME");
            return;
        }
        MdProperty item;
        item.property = md::kMdGenericLink;
        item.format = MD_TEXT;
        item.text = supplier + " " + second.text;
        grade_->items.push_back(std::move(item));
    }

    // Reads numbers while they come; the token after them stays pushed back.
    std::vector<float> ReadNumbers() {
        std::vector<float> numbers;
        for (;;) {
            const VtToken token = Next();
            if (token.kind != kTokNumber) {
                ungettok(token);
                return numbers;
            }
            numbers.push_back(token.number);
        }
    }

    std::optional<VtToken> NextIf(int kind) {
        const VtToken token = Next();
        if (token.kind == kind) return token;
        ungettok(token);
        return std::nullopt;
    }

    static int UnitOf(int value) { return value % md::kAscUnitsPerGroup; }
    static int SystemOf(int value) { return value / md::kAscUnitsPerGroup - 1; }
    static std::string UnitName(int value) {
        return std::string(md_unit_name(UnitOf(value), SystemOf(value)));
    }

    void Numbers() {
        const int line = vtLineNumber();
        std::vector<float> numbers = ReadNumbers();
        const std::optional<VtToken> unit = NextIf(md::kAscUnit);
        MdProperty item;
        item.property = property_;
        if (numbers.size() == 1) {
            item.format = MD_SINGLE_POINT;
            double value = numbers[0];
            if (unit) value = Converted(value, unit->integer, line);
            item.values.push_back(MdWord::Real(static_cast<float>(value)));
        } else {
            item.format = MD_COEFFICIENTS;
            std::size_t first = 0;
            if (property_ == md::kMdViscosity) {
                item.model = WholeNumber(numbers[0]);
                first = 1;
            }
            for (std::size_t i = first; i < numbers.size(); ++i) {
                const bool integer = property_ == md::kMdShrinkage && i < 2;
                item.values.push_back(integer ? MdWord::Integer(WholeNumber(numbers[i]))
                                              : MdWord::Real(numbers[i]));
            }
        }
        grade_->items.push_back(std::move(item));
    }

    // A single point given in a unit, in the base unit.
    double Converted(double value, int unit_value, int line) {
        const int own = md_property(property_)->unit;
        const int system = SystemOf(unit_value);
        int unit = UnitOf(unit_value);
        if (unit != own) {
            if (UnitName(unit_value) != md_unit_name(own, system)) {
                (void)line;
                vt_echo("Warning: %s should not be expressed in terms of %s\n",
                        std::string(md_property_name(property_)).c_str(),
                        UnitName(unit_value).c_str());
                vt_echo("Warning: Using %s\n", std::string(md_unit_name(own, system)).c_str());
            }
            unit = own;
        }
        return md_to_base(value, unit, system);
    }

    // Standard points: variables, the property again, units, then rows.
    bool Table() {
        const int line = vtLineNumber();
        std::vector<int> variables;
        while (const auto variable = NextIf(md::kAscVariable))
            variables.push_back(variable->integer);
        if (const auto again = NextIf(md::kAscProperty); again && again->integer != property_) {
            vt_echo("Warning: Property name (%s) did not match expected (%s)\n",
                    std::string(md_property_name(property_)).c_str(),
                    std::string(md_property_name(again->integer)).c_str());
            vt_echo("Using %s instead\n", std::string(md_property_name(again->integer)).c_str());
            property_ = again->integer;
        }
        const std::size_t columns = variables.size() + 1;
        std::vector<int> units;
        while (const auto unit = NextIf(md::kAscUnit)) units.push_back(unit->integer);
        bool discard = false;
        if (!units.empty() && units.size() != columns) {
            Warn(line, "If any column has a unit given then all must.");
            discard = true;
        }
        for (std::size_t k = 0; !discard && k < units.size(); ++k) {
            const bool last = k + 1 == columns;
            const int own = last ? md_property(property_)->unit : md_variable(variables[k])->unit;
            if (UnitOf(units[k]) != own) {
                const std::string_view name =
                    last ? md_property_name(property_) : md_variable_name(variables[k]);
                Warn(line, std::string(name) + " should not be expressed in terms of " +
                               UnitName(units[k]));
                discard = true;
            }
        }
        if (discard) {
            SkipDiscarded();
            return true;
        }
        const std::vector<float> numbers = ReadNumbers();
        if (numbers.empty()) return Abort(vtLineNumber(), "No standard points read");
        if (numbers.size() % columns != 0) {
            Warn(line, "Odd number of data points");
            return true;
        }
        MdProperty item;
        item.property = property_;
        item.format = MD_STANDARD_POINTS;
        item.variables = variables;
        for (std::size_t k = 0; k < numbers.size(); ++k) {
            double value = numbers[k];
            if (!units.empty()) {
                const int unit = units[k % columns];
                value = md_to_base(value, UnitOf(unit), SystemOf(unit));
            }
            item.values.push_back(MdWord::Real(static_cast<float>(value)));
        }
        grade_->items.push_back(std::move(item));
        return true;
    }

    void SkipDiscarded() {
        for (;;) {
            const VtToken token = Next();
            if (token.kind != kTokNumber && token.kind != md::kAscUnit && token.kind != kTokWord) {
                ungettok(token);
                return;
            }
        }
    }

    void Unexpected(const VtToken& token) {
        char text[128];
        switch (token.kind) {
            case md::kAscProperty:
            case kTokWord:
            case kTokString:
                std::snprintf(text, sizeof text, "Did not expect %.79s",
                              token.text != nullptr ? token.text : "");
                break;
            case md::kAscVariable:
            case md::kAscUnit:
                std::snprintf(text, sizeof text, "Did not expect %d", token.integer);
                break;
            case kTokNumber:
                std::snprintf(text, sizeof text, "Did not expect %G", token.number);
                break;
            default:
                std::snprintf(text, sizeof text, "Did not expect to read token (%d)\n", token.kind);
                break;
        }
        Warn(token.line, text);
    }

    void StoreGrade() {
        if (!grade_) return;
        const int stored = md_store_grade(MD_ALL_OPEN, grade_.get());
        if (stored == 1) NoteStored();
        result_.stored += stored;
        grade_.reset();
        property_ = 0;
    }

    // A grade stored under the names of one stored before in this read is
    // merged into it by the database; the merge is named on the error
    // stream, whatever the console output shows, with both grades as the
    // file writes them.
    void NoteStored() {
        const std::string key = grade_->supplier + '\n' + grade_->code;
        const auto [earlier, first] = stored_.try_emplace(key, written_);
        if (first) {
            result_.grades.push_back({written_.line, grade_->supplier, grade_->code});
            return;
        }
        const Written& was = earlier->second;
        const bool same = was.supplier == written_.supplier && was.code == written_.code;
        result_.merges.push_back({written_.line, written_.supplier, written_.code, was.line,
                                  was.supplier, was.code, same});
        ++result_.merged;
        if (!warn_merges_) return;
        std::fprintf(stderr,
                     "Warning at line %d: grade %.79s %.79s is merged into grade %.79s %.79s of "
                     "line %d (%s).\n",
                     written_.line, written_.supplier.c_str(), written_.code.c_str(),
                     was.supplier.c_str(), was.code.c_str(), was.line,
                     same ? "the same grade is given twice"
                          : "supplier names are cut to 8 characters and grade codes to 6");
    }

    // A grade's names as the file writes them (upper-cased, not cut) and
    // the line of its GRADE keyword.
    struct Written {
        std::string supplier;
        std::string code;
        int line = 0;
    };

    std::FILE* in_;
    bool warn_merges_;
    std::string supplier_;
    std::string supplier_written_;
    std::unique_ptr<MdGrade> grade_;
    Written written_;
    // The grades stored in this read by their stored names.
    std::map<std::string, Written> stored_;
    int property_ = 0;
    bool ended_ = false;
    MdAsciiResult result_;
};

}  // namespace

bool md_ascii_text_property(int property) {
    return property == 58 || (property >= 75 && property <= 78) ||
           (property >= 98 && property <= 106) || property == 109;
}

MdAsciiResult md_read_ascii(std::FILE* stream, bool warn_merges) {
    const auto keywords = md::AsciiKeywords();
    tokConfigure(static_cast<int>(keywords.size()), keywords.data(), kTokUpper, kSeparators);
    MdAsciiResult result = Reader(stream, warn_merges).Run();
    result.opened = true;
    return result;
}

MdAsciiResult md_read_ascii_file(const char* path, bool warn_merges) {
    std::FILE* stream = vtOpenFile(path, "r");
    if (stream == nullptr) return {};
    const MdAsciiResult result = md_read_ascii(stream, warn_merges);
    std::fclose(stream);
    vt_echo("\n%d grade(s) read from \"%.200s\"\n\n", result.stored, path);
    return result;
}
