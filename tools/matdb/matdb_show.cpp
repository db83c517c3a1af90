// matdb show: one grade's items with their values in base units, each
// with its unit, standard points as a table.
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_value_text.h"
#include "matdb_tool.h"

namespace matdb_tool {
namespace {

using tarnvel::matdb::kMdGenericLink;
using tarnvel::matdb::md_item_columns;
using tarnvel::matdb::md_item_value;
using tarnvel::matdb::md_item_value_text;
using tarnvel::matdb::md_property_name;
using tarnvel::matdb::md_property_unit_name;
using tarnvel::matdb::md_variable_name;
using tarnvel::matdb::md_variable_unit_name;
using tarnvel::matdb::MdColumn;

bool IsText(const MdProperty& item) {
    return item.format == MD_TEXT || item.format == MD_TEXT_QUOTED;
}

// The item's values as numbers, each in its shortest form: reals, except
// the two integers that begin a Shrinkage list.
nlohmann::json Values(const MdProperty& item) {
    nlohmann::json values = nlohmann::json::array();
    for (std::size_t i = 0; i < item.values.size(); ++i) values.push_back(md_item_value(item, i));
    return values;
}

nlohmann::json VariableNames(const MdProperty& item) {
    nlohmann::json names = nlohmann::json::array();
    for (int variable : item.variables) names.push_back(std::string(md_variable_name(variable)));
    return names;
}

nlohmann::json VariableUnits(const MdProperty& item) {
    nlohmann::json units = nlohmann::json::array();
    for (int variable : item.variables)
        units.push_back(std::string(md_variable_unit_name(variable)));
    return units;
}

// The unit of the property's values; null where the values carry none
// (coefficient lists and texts).
nlohmann::json Unit(const MdProperty& item) {
    if (item.format != MD_SINGLE_POINT && item.format != MD_STANDARD_POINTS) return nullptr;
    return std::string(md_property_unit_name(item.property));
}

nlohmann::json ItemJson(const MdProperty& item) {
    return {{"property", item.property},
            {"name", std::string(md_property_name(item.property))},
            {"format", item.format},
            {"variables", item.variables},
            {"variable_names", VariableNames(item)},
            {"variable_units", VariableUnits(item)},
            {"values", Values(item)},
            {"unit", Unit(item)},
            {"text", IsText(item) ? nlohmann::json(item.text) : nullptr},
            {"model", item.model},
            {"inherited", item.inherited != 0}};
}

// The generic link's "SUPPLIER GRADE", or null.
nlohmann::json Link(const MdGrade& grade) {
    for (const MdProperty& item : grade.items)
        if (item.property == kMdGenericLink && IsText(item)) return item.text;
    return nullptr;
}

nlohmann::json GradeJson(const MdGrade& grade, int slot) {
    nlohmann::json items = nlohmann::json::array();
    for (const MdProperty& item : grade.items) items.push_back(ItemJson(item));
    return {{"supplier", grade.supplier},
            {"grade", grade.code},
            {"description", grade.description},
            {"database", md_database_name(slot)},
            {"link", Link(grade)},
            {"items", items}};
}

// One value as the text shows it: "unset" for the unset marker.
std::string ValueText(const MdProperty& item, std::size_t index) {
    return md_item_value_text(item, index);
}

// Standard points as a table: a heading per column ("Temperature
// [deg.C]"), then one row per point, each column right-aligned.
void PrintTable(const MdProperty& item) {
    const std::vector<MdColumn> columns = md_item_columns(item);
    std::vector<std::string> cells;
    for (const MdColumn& column : columns) {
        cells.push_back(std::string(column.name) +
                        (column.unit.empty() ? "" : " [" + std::string(column.unit) + "]"));
    }
    for (std::size_t i = 0; i < item.values.size(); ++i) cells.push_back(ValueText(item, i));
    std::vector<std::size_t> widths(columns.size(), 0);
    for (std::size_t i = 0; i < cells.size(); ++i)
        widths[i % widths.size()] = std::max(widths[i % widths.size()], cells[i].size());
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const std::size_t column = i % widths.size();
        std::printf("%s%*s", column == 0 ? "      " : "  ", static_cast<int>(widths[column]),
                    cells[i].c_str());
        if (column + 1 == widths.size()) std::printf("\n");
    }
}

void PrintItem(const MdProperty& item) {
    std::printf("%3d %-45s", item.property, std::string(md_property_name(item.property)).c_str());
    const char* inherited = item.inherited != 0 ? " inherited" : "";
    if (IsText(item)) {
        std::printf(" text \"%s\"%s\n", item.text.c_str(), inherited);
    } else if (item.format == MD_SINGLE_POINT && item.values.size() == 1) {
        const std::string_view unit = md_property_unit_name(item.property);
        std::printf(" %s%s%s%s\n", ValueText(item, 0).c_str(), unit.empty() ? "" : " ",
                    std::string(unit).c_str(), inherited);
    } else if (item.format == MD_STANDARD_POINTS && !item.variables.empty()) {
        std::printf(" standard points, %zu rows%s\n",
                    item.values.size() / (item.variables.size() + 1), inherited);
        PrintTable(item);
    } else {
        if (item.format == MD_COEFFICIENTS)
            std::printf(" coefficients");
        else
            std::printf(" format %d", item.format);
        if (item.model != 0) std::printf(" model %d", item.model);
        std::printf(":");
        for (std::size_t i = 0; i < item.values.size(); ++i)
            std::printf(" %s", ValueText(item, i).c_str());
        std::printf("%s\n", inherited);
    }
}

void PrintText(const MdGrade& grade, int slot) {
    std::printf("%s %s (%s database)\n%s\n", grade.supplier.c_str(), grade.code.c_str(),
                md_database_name(slot), grade.description.c_str());
    const nlohmann::json link = Link(grade);
    if (!link.is_null()) std::printf("link: %s\n", link.get<std::string>().c_str());
    for (const MdProperty& item : grade.items) PrintItem(item);
}

}  // namespace

int RunShow(const Options& options, const OpenedDatabase& database) {
    MdPosition at{};
    const std::unique_ptr<MdGrade> grade =
        ReadNamedGrade(database, options.words[1], options.words[2], &at);
    if (!grade) return kExitFailed;
    if (options.json) {
        const nlohmann::json out = GradeJson(*grade, at.slot);
        std::printf("%s\n",
                    out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    } else {
        PrintText(*grade, at.slot);
    }
    return kExitOk;
}

}  // namespace matdb_tool
