// Line reading and splitting for the material keyword file.
#pragma once

#include <bitset>
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
// a last line without a line feed is never taken. The lines come from an
// open file or from a text already in memory, by the same rules.
class KeywordLines {
  public:
    // Reads from file, which stays owned by the caller; null reads nothing.
    explicit KeywordLines(std::FILE* file) : file_(file), good_(file != nullptr) {}
    // Reads from text, which must outlive the reading.
    explicit KeywordLines(std::string_view text) : text_(text), good_(true) {}

    // The next line, or nothing once reading has failed.
    std::optional<std::string_view> Next();

    // True while no read has failed.
    bool Good() const { return good_; }

  private:
    std::optional<std::string_view> NextFromFile();
    std::optional<std::string_view> NextFromText();
    std::optional<std::string_view> Fail();

    std::FILE* file_ = nullptr;
    std::string_view text_;
    bool good_;
    std::string line_;
};

// Splits a text at any of the separators: runs of separators count as one,
// separators at either end are skipped, and there are no empty pieces.
class Pieces {
  public:
    Pieces(std::string_view text, std::string_view separators);

    // The next piece, or nothing when none is left.
    std::optional<std::string_view> Next();

  private:
    bool Separator(char c) const { return separator_[static_cast<unsigned char>(c)]; }

    std::string_view rest_;
    // The separators as a table of the 256 byte values.
    std::bitset<256> separator_;
};

// The piece numbered index (0 the first) of text split at separators.
std::optional<std::string_view> PieceAt(std::string_view text, std::string_view separators,
                                        int index);

}  // namespace tarnvel::material
