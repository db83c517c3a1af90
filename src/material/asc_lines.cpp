#include "material/asc_lines.h"

#include <algorithm>

namespace tarnvel::material {

std::optional<std::string_view> KeywordLines::Next() {
    if (file_ == nullptr) return std::nullopt;
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
    file_ = nullptr;
    return std::nullopt;
}

std::optional<std::string_view> Pieces::Next() {
    const std::size_t begin = rest_.find_first_not_of(separators_);
    if (begin == std::string_view::npos) {
        rest_ = {};
        return std::nullopt;
    }
    rest_.remove_prefix(begin);
    const std::size_t end = std::min(rest_.find_first_of(separators_), rest_.size());
    const std::string_view piece = rest_.substr(0, end);
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
