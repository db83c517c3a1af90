// What the chart tests read back: the rows of a CSV table, and the paths
// of an SVG drawing in a palette colour.
#pragma once

#include <pugixml.hpp>

#include <string>
#include <vector>

#include "curves/chart.h"

namespace tarnvel::curves::testing {

// The rows of a CSV text, each line ended by a line feed; quoted fields
// with doubled quotes inside.
inline std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> row;
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row.push_back(field);
            field.clear();
        } else if (c == '\n') {
            row.push_back(field);
            rows.push_back(row);
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

inline std::string SvgColour(int colour) {
    const PaletteColour c = ChartPaletteColour(colour);
    return "stroke:rgb(" + std::to_string(c.red) + "%," + std::to_string(c.green) + "%," +
           std::to_string(c.blue) + "%)";
}

struct PathCount {
    int stroked = 0;
    int filled = 0;
};

// The <path> elements drawn (outside <defs>) in the colour: stroked ones
// (the curves) and filled ones (markers and legend samples).
inline PathCount CountPaths(const pugi::xml_document& svg, int colour) {
    const PaletteColour c = ChartPaletteColour(colour);
    const std::string fill = "fill:rgb(" + std::to_string(c.red) + "%," + std::to_string(c.green) +
                             "%," + std::to_string(c.blue) + "%)";
    PathCount count;
    for (const pugi::xpath_node& node : svg.select_nodes("/svg/g//path")) {
        const std::string style = node.node().attribute("style").value();
        if (style.find("fill:none") != std::string::npos &&
            style.find(SvgColour(colour)) != std::string::npos) {
            ++count.stroked;
        }
        if (style.find(fill) != std::string::npos) ++count.filled;
    }
    return count;
}

}  // namespace tarnvel::curves::testing
