#include "catalogue/catalogue_page.h"

#include <sstream>
#include <string_view>

#include "catalogue/catalogue_html.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_value_text.h"

namespace tarnvel::catalogue {
namespace {

using matdb::kMdGenericLink;
using matdb::md_item_columns;
using matdb::md_item_value_text;
using matdb::md_property_name;
using matdb::md_property_unit_name;
using matdb::MdColumn;

constexpr int kMaterialFamily = 58;

bool IsText(const MdProperty& item) {
    return item.format == MD_TEXT || item.format == MD_TEXT_QUOTED;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') + 1 - first);
}

// Standard points: a table with a heading per column ("Temperature
// [deg.C]") and a row per point.
void PointsTable(const MdProperty& item, std::ostream& out) {
    const std::vector<MdColumn> columns = md_item_columns(item);
    if (columns.empty()) return;
    out << "<table class=\"points\"><tr>";
    for (const MdColumn& column : columns) {
        out << "<th>" << HtmlText(column.name);
        if (!column.unit.empty()) out << " [" << HtmlText(column.unit) << "]";
        out << "</th>";
    }
    out << "</tr>";
    for (std::size_t i = 0; i < item.values.size(); ++i) {
        if (i % columns.size() == 0) out << "<tr>";
        out << "<td>" << HtmlText(md_item_value_text(item, i)) << "</td>";
        if (i % columns.size() + 1 == columns.size()) out << "</tr>";
    }
    out << "</table>";
}

void ValueList(const MdProperty& item, std::ostream& out) {
    for (std::size_t i = 0; i < item.values.size(); ++i)
        out << (i == 0 ? "" : ", ") << HtmlText(md_item_value_text(item, i));
}

// The value and unit cells of one item.
void ValueCells(const MdProperty& item, std::ostream& out) {
    const std::string unit(md_property_unit_name(item.property));
    if (IsText(item)) {
        out << "<td>" << HtmlText(item.text) << "</td><td></td>";
    } else if (item.format == MD_SINGLE_POINT && item.values.size() == 1) {
        out << "<td class=\"num\">" << HtmlText(md_item_value_text(item, 0)) << "</td><td>"
            << HtmlText(unit) << "</td>";
    } else if (item.format == MD_STANDARD_POINTS && !item.variables.empty()) {
        out << "<td>" << item.values.size() / (item.variables.size() + 1) << " standard points";
        PointsTable(item, out);
        out << "</td><td></td>";
    } else {
        out << "<td>"
            << (item.format == MD_COEFFICIENTS ? "coefficients"
                                               : "format " + std::to_string(item.format));
        if (item.model != 0) out << ", model " << item.model;
        out << ": <span class=\"coefficients\">";
        ValueList(item, out);
        out << "</span></td><td></td>";
    }
}

void PropertyTable(const MdGrade& grade, std::ostream& out) {
    out << "<h2>Properties</h2>\n<table id=\"properties\">\n"
           "<tr><th>No.</th><th>Property</th><th>Value</th><th>Unit</th><th>Source</th></tr>\n";
    for (const MdProperty& item : grade.items) {
        out << "<tr><td class=\"num\">" << item.property << "</td><td>"
            << HtmlText(md_property_name(item.property)) << "</td>";
        ValueCells(item, out);
        out << "<td>" << (item.inherited != 0 ? "generic link" : "") << "</td></tr>\n";
    }
    out << "</table>\n";
}

// A link text "SUPPLIER GRADE": its first two words.
std::pair<std::string, std::string> LinkTarget(std::string_view text) {
    std::istringstream words{std::string(text)};
    std::pair<std::string, std::string> target;
    words >> target.first >> target.second;
    return target;
}

void GenericLinks(const MdGrade& grade, const PageLinks& links, std::ostream& out) {
    std::ostringstream list;
    for (const MdProperty& item : grade.items) {
        if (item.property != kMdGenericLink || !IsText(item)) continue;
        const auto [supplier, code] = LinkTarget(item.text);
        const std::string page = links.page_of ? links.page_of(supplier, code) : std::string();
        list << "<li>";
        if (!page.empty()) list << "<a href=\"../../" << page << "\">";
        list << HtmlText(item.text) << (page.empty() ? "" : "</a>");
        if (item.inherited != 0) list << " <span class=\"note\">(through a generic link)</span>";
        list << "</li>\n";
    }
    if (list.tellp() <= 0) return;
    out << "<h2>Generic links</h2>\n<ul id=\"links\">\n" << list.str() << "</ul>\n";
}

void Plot(const PagePlot& plot, std::ostream& out) {
    const bool viscosity = plot.kind == PlotKind::kViscosity;
    out << "<figure class=\"plot\" id=\"" << (viscosity ? "viscosity" : "pvt") << "\">\n";
    if (plot.svg.empty())
        out << "<p class=\"note\">no curves</p>\n";
    else
        out << plot.svg << "\n";
    out << "<figcaption>" << (viscosity ? "Viscosity" : "PVT") << "</figcaption>\n";
    for (const std::string& warning : plot.warnings)
        out << "<p class=\"warning\">" << HtmlText(warning) << "</p>\n";
    out << "</figure>\n";
}

}  // namespace

std::string GradeFamily(const MdGrade& grade) {
    for (const MdProperty& item : grade.items)
        if (item.property == kMaterialFamily && IsText(item))
            return std::string(Trimmed(item.text));
    return {};
}

std::string GradePageHtml(const MdGrade& grade, const std::vector<PagePlot>& plots,
                          const PageLinks& links) {
    std::ostringstream out;
    out << PageStart(grade.supplier + " " + grade.code, PageScript::kNone);
    out << "<p><a href=\"../../index.html\">All grades</a></p>\n<h1>" << HtmlText(grade.supplier)
        << " " << HtmlText(grade.code) << "</h1>\n<p id=\"description\">"
        << HtmlText(grade.description) << "</p>\n";
    if (const std::string family = GradeFamily(grade); !family.empty())
        out << "<p>Family: <span id=\"family\">" << HtmlText(family) << "</span></p>\n";
    GenericLinks(grade, links, out);
    out << "<h2>Plots</h2>\n";
    for (const PagePlot& plot : plots) Plot(plot, out);
    PropertyTable(grade, out);
    out << kPageEnd;
    return out.str();
}

}  // namespace tarnvel::catalogue
