// The CSV link tables of the product data directory: one key and one value
// per line, kept in an ordered table.
//
// A line is split in the manner of the C library's token splitting. The key
// is the first piece when the line is split at comma, CR, LF, tab, double
// quote, "{" and "}"; leading separators are skipped, so quotes and braces
// around the key vanish. Quotes are separators, not quoting. The value
// depends on the table's value rule (below). At most 2047 characters of a
// line are taken: a longer line ends the reading of the file, and the
// entries before it stay. Empty lines and lines of separators only are
// skipped; there is no header handling. A later line with the same key
// replaces the earlier value.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::convert {

// Splits a text into its pieces in the manner of the C library's token
// splitting: every separator ends a piece, and empty pieces are dropped.
std::vector<std::string_view> SplitPieces(std::string_view text, std::string_view separators);

// The longest line that is taken, in characters (its line feed not counted).
inline constexpr std::size_t kCsvMaxLineLength = 2047;

// How the value of a line is found after its key.
enum class CsvValueRule {
    // The next piece after the character that ended the key, split at CR,
    // LF, tab, double quote, "{" and "}": commas and blanks stay in the
    // value ("PA66,Polyamide 6,6" gives "Polyamide 6,6"). A line with a key
    // and no value keeps the key with an empty value.
    kRestOfField,
    // The second field when the whole line is split at the key separators,
    // commas included ("PA66,Polyamide 6,6" gives "Polyamide 6"). A line
    // with fewer than two fields is skipped.
    kSecondField,
};

class CsvTable {
  public:
    using Entries = std::map<std::string, std::string, std::less<>>;

    explicit CsvTable(CsvValueRule rule = CsvValueRule::kRestOfField) : rule_(rule) {}

    // Reads the file at path into the table (entries already present stay
    // unless replaced). False when the file cannot be opened.
    bool Load(const std::string& path);
    // Reads an open stream to its end or to its first overlong line.
    void Read(std::FILE* stream);
    // Adds one line (without its line feed) to the table.
    void AddLine(std::string_view line);

    // The value of a key; empty when absent.
    std::string_view Find(std::string_view key) const;
    bool Contains(std::string_view key) const { return entries_.find(key) != entries_.end(); }
    const Entries& entries() const { return entries_; }
    std::size_t size() const { return entries_.size(); }
    void Clear() { entries_.clear(); }

  private:
    CsvValueRule rule_;
    Entries entries_;
};

}  // namespace tarnvel::convert
