#include "material/asc_lines.h"

#include <algorithm>

namespace tarnvel::material {

std::optional<std::string_view> KeywordLines::Next() {
    if (!good_) return std::nullopt;
    return file_ != nullptr ? NextFromFile() : NextFromText();
}

std::optional<std::string_view> KeywordLines::Fail() {
    good_ = false;
    file_ = nullptr;
    text_ = {};
    return std::nullopt;
}

std::optional<std::string_view> KeywordLines::NextFromText() {
    const std::size_t feed = text_.find('\n');
    if (feed == std::string_view::npos) return Fail();
    std::string_view line = text_.substr(0, feed);
    text_.remove_prefix(feed + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.size() > kMaxLineLength) return Fail();
    return line.substr(0, line.find('\0'));
}

std::optional<std::string_view> KeywordLines::NextFromFile() {
    line_.clear();
    for (;;) {
        const int c = std::getc(file_);
        if (c == EOF) break;
        if (c == '\n') {
            if (!line_.empty() && line_.back() == '\r') line_.pop_back();
            if (line_.size() > kMaxLineLength) break;
            const std::size_t nul = line_.find('\0');
            if (nul != std::string::npos) line_.resize(nul);
            return std::string_view(line_);
        }
        // One character more than the limit leaves room for a carriage return
        // before the line feed; anything longer cannot be a usable line.
        if (line_.size() > kMaxLineLength) break;
        line_.push_back(static_cast<char>(c));
    }
    return Fail();
}

Pieces::Pieces(std::string_view text, std::string_view separators) : rest_(text) {
    for (const char c : separators) separator_.set(static_cast<unsigned char>(c));
}

std::optional<std::string_view> Pieces::Next() {
    std::size_t begin = 0;
    while (begin < rest_.size() && Separator(rest_[begin])) ++begin;
    if (begin == rest_.size()) {
        rest_ = {};
        return std::nullopt;
    }
    std::size_t end = begin;
    while (end < rest_.size() && !Separator(rest_[end])) ++end;
    const std::string_view piece = rest_.substr(begin, end - begin);
    rest_.remove_prefix(end);
    return piece;
}

std::optional<std::string_view> PieceAt(std::string_view text, std::string_view separators,
                                        int index) {
    Pieces pieces(text, separators);
    for (int i = 0; i < index; ++i) {
        if (!pieces.Next()) return std::nullopt;
    }
    return pieces.Next();
}

}  // namespace tarnvel::material
