#include "material/asc_reader.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "material/asc_keywords.h"
#include "material/asc_lines.h"
#include "services/syppaths.h"

namespace tarnvel::material {
namespace {

using services::kSypOk;

// Converts as atof does: leading white space skipped, conversion stops at
// the first unusable character, nothing usable gives 0. A plain decimal
// number, as the export writes them, is converted in place (to the same
// nearest double); anything else goes through strtod.
double ToReal(std::string_view piece) {
    const bool plain = !piece.empty() && piece.front() != '+' &&
                       piece.find_first_not_of("0123456789.eE+-") == std::string_view::npos;
    if (plain) {
        double value = 0;
        const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (error == std::errc() && end == piece.data() + piece.size()) return value;
    }
    const std::string text(piece);
    return std::strtod(text.c_str(), nullptr);
}

// Converts as atoi does; values beyond the 32-bit range are clamped to it
// instead of being left to chance.
std::int32_t ToInt(std::string_view piece) {
    const std::string text(piece);
    const long value = std::strtol(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(value);
}

void Convert(std::string_view piece, double& value) {
    value = ToReal(piece);
}
void Convert(std::string_view piece, std::int32_t& value) {
    value = ToInt(piece);
}

// True when the last character other than blanks and tabs is a backslash.
bool EndsWithBackslash(std::string_view text) {
    const std::size_t last = text.find_last_not_of(" \t");
    return last != std::string_view::npos && text[last] == '\\';
}

// The unrecognised lines of a keyword file, appended to its log. The log is
// opened on the first such line; a log that cannot be opened is skipped.
class KeywordLog {
  public:
    explicit KeywordLog(std::string path) : path_(std::move(path)) {}
    KeywordLog(const KeywordLog&) = delete;
    KeywordLog& operator=(const KeywordLog&) = delete;
    ~KeywordLog() {
        if (file_ != nullptr) sypCloseFile(file_);
    }

    void Append(std::string_view line) {
        if (file_ == nullptr && !tried_) {
            tried_ = true;
            if (sypOpenFile(&file_, path_.c_str(), "a") != kSypOk) file_ = nullptr;
        }
        if (file_ == nullptr) return;
        std::fwrite(line.data(), 1, line.size(), file_);
        std::fputc('\n', file_);
    }

  private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool tried_ = false;
};

// Stores the values of a real or integer list from index 0 on.
template <typename Value>
class ListSink {
  public:
    explicit ListSink(std::array<Value, kArraySize>& values) : values_(values) {}

    void Add(std::string_view text) {
        Pieces pieces(text, kListSeparators);
        while (const std::optional<std::string_view> piece = pieces.Next()) {
            // Once 128 values are stored the rest of the list is still read
            // (its lines are consumed) but its values are dropped, so the
            // array keeps the first 128 values of the list.
            if (count_ < values_.size()) Convert(*piece, values_[count_++]);
        }
    }

  private:
    std::array<Value, kArraySize>& values_;
    std::size_t count_ = 0;
};

// Builds the filler text, "name(share)" entries joined by ",", from lines
// such as "Glass Fibre(30%) & Talc(10%)".
class FillerSink {
  public:
    explicit FillerSink(RecordText& field) : field_(field) {}

    void Add(std::string_view text) {
        // An entry ends at ")". A backslash only marks that the list goes on
        // and never becomes part of an entry.
        Pieces pieces(text, ")\\");
        while (const std::optional<std::string_view> piece = pieces.Next()) AddEntry(*piece);
    }

  private:
    void AddEntry(std::string_view entry) {
        const std::size_t start = entry.find_first_not_of(" \t\n\v\f\r&");
        if (start == std::string_view::npos) return;
        entry.remove_prefix(start);
        if (!TextOf(field_).empty()) AppendText(field_, ",");
        AppendText(field_, entry);
        if (entry.find('(') != std::string_view::npos) AppendText(field_, ")");
    }

    RecordText& field_;
};

// Reads one open keyword file into a record.
class KeywordFileReader {
  public:
    KeywordFileReader(KeywordLines lines, std::string log_path, MaterialRecord& record)
        : lines_(lines), log_(std::move(log_path)), record_(record) {}

    void ReadAll() {
        while (lines_.Good()) {
            const std::optional<std::string_view> line = lines_.Next();
            if (!line || line->empty()) continue;
            const KeywordMatch match = ClassifyLine(*line);
            if (match.entry == nullptr) {
                log_.Append(*line);
            } else {
                Take(match, *line);
            }
        }
    }

  private:
    template <typename Field>
    Field& FieldOf(const KeywordEntry& entry) {
        return record_.*std::get<Field MaterialRecord::*>(entry.field);
    }

    // The next line when it can be read and is not empty.
    std::optional<std::string_view> NextValueLine() {
        const std::optional<std::string_view> line = lines_.Next();
        if (!line || line->empty()) return std::nullopt;
        return line;
    }

    void Take(const KeywordMatch& match, std::string_view line) {
        const KeywordEntry& entry = *match.entry;
        switch (entry.form) {
            case ValueForm::kSameLineText:
            case ValueForm::kSameLineReal:
            case ValueForm::kSameLineInt:
            case ValueForm::kLink:
                TakeSameLine(entry, line);
                break;
            case ValueForm::kNextLineText:
            case ValueForm::kNextLineLine:
            case ValueForm::kNextLineYesNo:
                TakeNextLine(entry);
                break;
            case ValueForm::kRealList: {
                ListSink<double> sink(FieldOf<RealArray>(entry));
                TakeList(match, line, sink);
                break;
            }
            case ValueForm::kIntList: {
                ListSink<std::int32_t> sink(FieldOf<IntArray>(entry));
                TakeList(match, line, sink);
                break;
            }
            case ValueForm::kFillerList: {
                FillerSink sink(FieldOf<RecordText>(entry));
                TakeList(match, line, sink);
                break;
            }
        }
    }

    // The value is the second part of the keyword line.
    void TakeSameLine(const KeywordEntry& entry, std::string_view line) {
        const std::optional<std::string_view> value = PieceAt(line, kKeySeparators, 1);
        if (!value) return;
        switch (entry.form) {
            case ValueForm::kSameLineReal: {
                // The export writes the unset marker for a single real that
                // the grade holds in another form: no data, the field stays
                // unset.
                const double real = ToReal(*value);
                if (real != kUnsetMarker) FieldOf<double>(entry) = real;
                break;
            }
            case ValueForm::kSameLineInt:
                FieldOf<std::int32_t>(entry) = ToInt(*value);
                break;
            case ValueForm::kLink:
                // "<generic supplier> <generic grade>": the grade is kept.
                if (const auto word = PieceAt(*value, kListSeparators, 1)) {
                    SetText(FieldOf<RecordText>(entry), *word);
                }
                break;
            default:
                SetText(FieldOf<RecordText>(entry), *value);
                break;
        }
    }

    // The value stands on the following line, which is consumed.
    void TakeNextLine(const KeywordEntry& entry) {
        const std::optional<std::string_view> line = NextValueLine();
        if (!line) return;
        if (entry.form == ValueForm::kNextLineLine) {
            SetText(FieldOf<RecordText>(entry), *line);
            return;
        }
        const std::optional<std::string_view> first = PieceAt(*line, kKeySeparators, 0);
        if (!first) return;
        if (entry.form == ValueForm::kNextLineYesNo) {
            FieldOf<bool>(entry) = first->find("YES") != std::string_view::npos;
        } else {
            SetText(FieldOf<RecordText>(entry), *first);
        }
    }

    // A list starts with the values after the keyword's colon, if any; it
    // goes on with the following lines when there are none there, or when
    // the keyword line ends with a backslash. Each following line that holds
    // a backslash announces one more line; an empty or unreadable line ends
    // the list.
    template <typename Sink>
    void TakeList(const KeywordMatch& match, std::string_view line, Sink& sink) {
        const std::optional<std::string_view> values = ValuesOnKeywordLine(match, line);
        if (values) {
            sink.Add(*values);
            if (!EndsWithBackslash(*values)) return;
        }
        while (const std::optional<std::string_view> next = NextValueLine()) {
            sink.Add(*next);
            if (next->find('\\') == std::string_view::npos) return;
        }
    }

    // The text after the first colon that follows the keyword, when it holds
    // anything besides list separators.
    static std::optional<std::string_view> ValuesOnKeywordLine(const KeywordMatch& match,
                                                               std::string_view line) {
        const std::string_view after = line.substr(match.position + match.entry->keyword.size());
        const std::size_t colon = after.find(':');
        if (colon == std::string_view::npos) return std::nullopt;
        const std::string_view values = after.substr(colon + 1);
        if (values.find_first_not_of(kListSeparators) == std::string_view::npos) {
            return std::nullopt;
        }
        return values;
    }

    KeywordLines lines_;
    KeywordLog log_;
    MaterialRecord& record_;
};

}  // namespace

MAscReader::~MAscReader() = default;

std::unique_ptr<MaterialRecord> MAscReader::Read(const char* path) const {
    if (path == nullptr) return nullptr;
    // Value-initialised: zero-filled, then the texts get their initial values.
    auto record = std::make_unique<MaterialRecord>();
    std::FILE* file = nullptr;
    // A file that cannot be opened is read as an empty one, without a report.
    if (path[0] == '\0' || sypOpenFile(&file, path, "r") != kSypOk) file = nullptr;
    KeywordFileReader(KeywordLines(file), std::string(path) + kKeywordLogSuffix, *record).ReadAll();
    ApplyFinalRules(*record);
    if (file != nullptr) sypCloseFile(file);
    return record;
}

std::unique_ptr<MaterialRecord> MAscReader::ReadText(std::string_view text,
                                                     const char* log_path) const {
    auto record = std::make_unique<MaterialRecord>();
    KeywordFileReader(KeywordLines(text), log_path != nullptr ? log_path : "", *record).ReadAll();
    ApplyFinalRules(*record);
    return record;
}

}  // namespace tarnvel::material
