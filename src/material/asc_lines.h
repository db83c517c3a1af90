// Line reading and splitting for the material keyword file.
#pragma once

#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace tarnvel::material {

// The longest line taken from a keyword file.
inline constexpr std::size_t kMaxLineLength = 1023;

// The lines of an open keyword file, read as text. A line is the text up to
// a line feed; a carriage return just before the line feed is dropped, and
// so is everything from a NUL byte on. Reading fails, and stays failed, at a
// line longer than kMaxLineLength characters and at the end of the file; so
// a last line without a line feed is never taken.
class KeywordLines {
  public:
    // Reads from file, which stays owned by the caller; null reads nothing.
    explicit KeywordLines(std::FILE* file) : file_(file) {}

    // The next line, or nothing once reading has failed.
    std::optional<std::string_view> Next();

    // True while no read has failed.
    bool Good() const { return file_ != nullptr; }

  private:
    std::FILE* file_;
    std::string line_;
};

// Splits a text at any of the separators: runs of separators count as one,
// separators at either end are skipped, and there are no empty pieces.
class Pieces {
  public:
    Pieces(std::string_view text, std::string_view separators)
        : rest_(text), separators_(separators) {}

    // The next piece, or nothing when none is left.
    std::optional<std::string_view> Next();

  private:
    std::string_view rest_;
    std::string_view separators_;
};

// The piece numbered index (0 the first) of text split at separators.
std::optional<std::string_view> PieceAt(std::string_view text, std::string_view separators,
                                        int index);

}  // namespace tarnvel::material
