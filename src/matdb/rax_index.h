// The index file "mtip.rax" of a database built from a material file: a
// text file of bar-delimited lines, one per grade, after a header naming
// its fields.
#pragma once

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::matdb {

inline constexpr char kIndexFileName[] = "mtip.rax";

// The index fields in line order.
enum class IndexField : int {
    kSupplier,
    kGrade,
    kFamily,
    kManufacturer,
    kTradeName,
    kFillers,
    kMeltFlowRate,
};
inline constexpr int kIndexFieldCount = 7;

// Title, width announced in the header, and width of the field in a line.
struct IndexFieldLayout {
    std::string_view title;
    int header_width;
    int line_width;
};
const std::array<IndexFieldLayout, kIndexFieldCount>& IndexLayout();

// The version line, the field-count line and the seven field lines.
std::vector<std::string> IndexHeaderLines();

// One grade's line: each field blank-padded to its width and cut to it,
// each closed by a bar, the line opened by one; blanks at either end of the
// whole line removed.
std::string IndexLine(const std::array<std::string, kIndexFieldCount>& fields);

}  // namespace tarnvel::matdb
