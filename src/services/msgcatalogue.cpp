// The message file reader. A record begins at a header line "MSCD" whose
// fields from the sixth character on are eight whitespace-separated decimal
// integers; the lines up to the next header are its text, except separator
// lines beginning with "----".
#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <string_view>

#include "services/msgcatalogue.h"

namespace tarnvel::services {
namespace {

constexpr std::string_view kHeaderMark = "MSCD";
constexpr std::string_view kSeparatorMark = "----";
// Where the header fields begin.
constexpr std::size_t kHeaderFieldsStart = 5;
constexpr std::size_t kHeaderFieldCount = 8;

// Reads one line without its line end, cut to kMsgMaxLine characters; false
// at the end of the stream.
bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::fgetc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
        if (line.size() < kMsgMaxLine) line.push_back(static_cast<char>(c));
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return true;
}

// A whole token as a decimal integer, or kMsgFieldMissing.
int ParseField(std::string_view token) {
    if (!token.empty() && token.front() == '+') token.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), value);
    if (error != std::errc() || end != token.data() + token.size()) return kMsgFieldMissing;
    return value;
}

// The eight header fields of a header line; missing ones are
// kMsgFieldMissing.
std::array<int, kHeaderFieldCount> ParseHeaderFields(std::string_view line) {
    std::array<int, kHeaderFieldCount> fields;
    fields.fill(kMsgFieldMissing);
    std::string_view rest = line.size() > kHeaderFieldsStart ? line.substr(kHeaderFieldsStart) : "";
    for (int& field : fields) {
        const std::size_t start = rest.find_first_not_of(" \t");
        if (start == std::string_view::npos) break;
        rest.remove_prefix(start);
        const std::size_t length = std::min(rest.find_first_of(" \t"), rest.size());
        field = ParseField(rest.substr(0, length));
        rest.remove_prefix(length);
    }
    return fields;
}

// A record from a header line; false when the header lacks field 2 or 6.
bool StartRecord(std::string_view line, msgClass& record) {
    const std::array<int, kHeaderFieldCount> fields = ParseHeaderFields(line);
    if (fields[1] == kMsgFieldMissing || fields[5] == kMsgFieldMissing) return false;
    record = msgClass{};
    record.number = fields[0];
    record.body_lines = fields[1];
    record.row_lines = fields[2];
    record.trailer_lines = fields[3];
    record.leading_values = fields[4];
    record.values_per_row = fields[5];
    record.width = std::max(fields[6], 1);
    record.flags = fields[7] < 1 ? 0 : fields[7];
    return true;
}

// The offset just past the count-th line feed from start; npos when the
// text has fewer lines.
std::size_t SkipLines(std::string_view text, std::size_t start, int count) {
    std::size_t offset = start;
    for (int i = 0; i < count; ++i) {
        const std::size_t end = text.find('\n', offset);
        if (end == std::string_view::npos) return std::string_view::npos;
        offset = end + 1;
    }
    return offset;
}

// Fixes the section ends of a complete record; false when its text has
// fewer lines than its body, rows and trailer need.
bool FinishRecord(msgClass& record) {
    const std::string_view text = record.text;
    record.body_end = SkipLines(text, 0, std::max(record.body_lines, 0));
    if (record.body_end == std::string_view::npos) return false;
    record.row_end = SkipLines(text, record.body_end, std::max(record.row_lines, 0));
    if (record.row_end == std::string_view::npos) return false;
    record.trailer_end = SkipLines(text, record.row_end, std::max(record.trailer_lines, 0));
    return record.trailer_end != std::string_view::npos;
}

// text[start, end) with start moved no further than end.
std::string_view Slice(const std::string& text, std::size_t start, std::size_t end) {
    end = std::min(end, text.size());
    start = std::min(start, end);
    return std::string_view(text).substr(start, end - start);
}

}  // namespace

std::string_view msgClass::body() const {
    return Slice(text, 0, body_end);
}

std::string_view msgClass::rowSection() const {
    return row_lines > 0 ? Slice(text, body_end + 1, row_end) : std::string_view();
}

std::string_view msgClass::trailer() const {
    return trailer_lines > 0 ? Slice(text, row_end + 1, trailer_end) : std::string_view();
}

std::string_view msgClass::unitsSection() const {
    return trailer_end < text.size() ? Slice(text, trailer_end + 1, text.size())
                                     : std::string_view();
}

void MessageCatalogue::read(std::FILE* file, std::vector<std::string>* faults) {
    clear();
    std::string line;
    msgClass record;
    // Whether the lines read belong to a well-formed record, and the line
    // of its header.
    bool in_record = false;
    std::size_t line_number = 0;
    std::size_t header_line = 0;
    auto fault = [&](std::size_t at, const std::string& text) {
        if (faults != nullptr) faults->push_back("line " + std::to_string(at) + ": " + text);
    };
    auto keep_record = [&] {
        if (!in_record) return;
        if (!FinishRecord(record)) {
            fault(header_line, "message " + std::to_string(record.number) +
                                   " has fewer lines than its header counts");
            return;
        }
        first_by_number_.try_emplace(record.number, records_.size());
        records_.push_back(std::move(record));
    };
    while (ReadLine(file, line)) {
        ++line_number;
        if (line.starts_with(kHeaderMark)) {
            keep_record();
            in_record = StartRecord(line, record);
            header_line = line_number;
            if (!in_record) fault(line_number, "message header lacks its body or row value count");
        } else if (in_record && !line.starts_with(kSeparatorMark)) {
            record.text.append(line).push_back('\n');
        }
    }
    keep_record();
}

msgClass* MessageCatalogue::find(int number) {
    const auto found = first_by_number_.find(number);
    return found != first_by_number_.end() ? &records_[found->second] : nullptr;
}

void MessageCatalogue::clear() {
    records_.clear();
    first_by_number_.clear();
}

}  // namespace tarnvel::services
