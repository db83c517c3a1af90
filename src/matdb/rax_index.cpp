#include "matdb/rax_index.h"

#include <cstdio>

#include "matdb/rax_records.h"

namespace tarnvel::matdb {

namespace {

std::string Padded(std::string_view text, std::size_t width) {
    std::string field(text.substr(0, width));
    field.resize(width, ' ');
    return field;
}

std::string RightJustified(int number, int width) {
    char text[32];
    std::snprintf(text, sizeof text, "%*d", width, number);
    return text;
}

}  // namespace

const std::array<IndexFieldLayout, kIndexFieldCount>& IndexLayout() {
    // The family field is ten characters wide in each line, although the
    // header has always announced seven.
    static const std::array<IndexFieldLayout, kIndexFieldCount> layout = {{
        {"Vantorel Supplier", 8, 8},
        {"Vantorel Grade Code", 6, 6},
        {"Material Family", 7, 10},
        {"Material Manufacturer", 50, 50},
        {"Trade Name", 50, 50},
        {"Fillers", 50, 50},
        {"Melt Flow Rate", 80, 80},
    }};
    return layout;
}

std::vector<std::string> IndexHeaderLines() {
    std::vector<std::string> lines;
    lines.push_back(std::string("|").append(Padded("1.0.0", 8)).append("|"));
    lines.push_back(std::string("|").append(RightJustified(kIndexFieldCount, 8)).append("|"));
    for (const IndexFieldLayout& field : IndexLayout()) {
        std::string line = std::string("|").append(Padded(field.title, 30)).append("|");
        lines.push_back(line.append(RightJustified(field.header_width, 8)).append("|"));
    }
    return lines;
}

std::string IndexLine(const std::array<std::string, kIndexFieldCount>& fields) {
    std::string line = "|";
    for (int i = 0; i < kIndexFieldCount; ++i) {
        line += Padded(fields[i], static_cast<std::size_t>(IndexLayout()[i].line_width));
        line += '|';
    }
    return std::string(Trim(line));
}

}  // namespace tarnvel::matdb
