// The page of one grade: its names and description, its generic links, its
// property items as a table (values with their units, standard points as
// tables, coefficient lists, texts) and its viscosity and PVT plots as
// inline SVG.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "matdb/matdb.h"

namespace tarnvel::catalogue {

enum class PlotKind { kViscosity, kPvt };

// Draws one plot of a grade: SVG text, or empty when the grade has no
// curves of that kind; each model or point left out is named in a line
// added to warnings.
using GradePlots =
    std::function<std::string(const MdGrade&, PlotKind kind, std::vector<std::string>* warnings)>;

// One plot of a page, as drawn.
struct PagePlot {
    PlotKind kind = PlotKind::kViscosity;
    // Inline SVG (see InlineSvg), or empty: the page says "no curves".
    std::string svg;
    std::vector<std::string> warnings;
};

// The site around a page: where a generic link's grade has its own page.
struct PageLinks {
    // The page of a grade of the site, relative to the site's folder, or
    // empty when the site holds no such grade.
    std::function<std::string(const std::string& supplier, const std::string& code)> page_of;
};

// The Material Family text of a grade (blanks trimmed), or empty.
std::string GradeFamily(const MdGrade& grade);

// The whole HTML page of a grade that lives two folders below the site's
// index (grades/SUPPLIER/...).
std::string GradePageHtml(const MdGrade& grade, const std::vector<PagePlot>& plots,
                          const PageLinks& links);

}  // namespace tarnvel::catalogue
