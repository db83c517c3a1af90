#include "convert/csv_table.h"

#include <memory>
#include <optional>

namespace tarnvel::convert {
namespace {

// Separators of the key, and of the second field of a kSecondField table.
constexpr std::string_view kKeySeparators{",\r\n\t\"{}"};
// Separators of a kRestOfField value: commas and blanks are not among them.
constexpr std::string_view kValueSeparators{"\r\n\t\"{}"};

// One step of token splitting over a text, as the C library does it: skip
// leading separators, take the piece up to the next separator, and go on
// after that separator. Nothing is left: no piece.
std::optional<std::string_view> NextPiece(std::string_view text, std::size_t& position,
                                          std::string_view separators) {
    const std::size_t start = text.find_first_not_of(separators, position);
    if (start == std::string_view::npos) {
        position = text.size();
        return std::nullopt;
    }
    const std::size_t end = text.find_first_of(separators, start);
    if (end == std::string_view::npos) {
        position = text.size();
        return text.substr(start);
    }
    position = end + 1;
    return text.substr(start, end - start);
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

// Reads one line of at most kCsvMaxLineLength characters into line, without
// its line feed. Returns false at the end of the stream and for a longer
// line, which ends the reading. The tables are text files: a carriage
// return just before the line feed belongs to the line end and does not
// count toward the limit.
bool ReadLine(std::FILE* stream, std::string& line) {
    line.clear();
    int c = std::getc(stream);
    if (c == EOF) return false;
    while (c != EOF && c != '\n') {
        if (line.size() == kCsvMaxLineLength) {
            return c == '\r' && std::getc(stream) == '\n';
        }
        line.push_back(static_cast<char>(c));
        c = std::getc(stream);
    }
    return true;
}

}  // namespace

std::vector<std::string_view> SplitPieces(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> pieces;
    std::size_t position = 0;
    while (const std::optional<std::string_view> piece = NextPiece(text, position, separators)) {
        pieces.push_back(*piece);
    }
    return pieces;
}

bool CsvTable::Load(const std::string& path) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "r"));
    if (!file) return false;
    Read(file.get());
    return true;
}

void CsvTable::Read(std::FILE* stream) {
    std::string line;
    line.reserve(kCsvMaxLineLength);
    while (ReadLine(stream, line)) AddLine(line);
}

void CsvTable::AddLine(std::string_view line) {
    // A line is a C text: it ends at its first NUL byte.
    line = line.substr(0, line.find('\0'));
    std::size_t position = 0;
    const std::optional<std::string_view> key = NextPiece(line, position, kKeySeparators);
    if (!key) return;
    const std::string_view separators =
        rule_ == CsvValueRule::kRestOfField ? kValueSeparators : kKeySeparators;
    const std::optional<std::string_view> value = NextPiece(line, position, separators);
    if (!value && rule_ == CsvValueRule::kSecondField) return;
    entries_.insert_or_assign(std::string(*key), std::string(value.value_or("")));
}

std::string_view CsvTable::Find(std::string_view key) const {
    const auto entry = entries_.find(key);
    return entry == entries_.end() ? std::string_view{} : std::string_view{entry->second};
}

}  // namespace tarnvel::convert
