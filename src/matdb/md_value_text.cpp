#include "matdb/md_value_text.h"

#include <charconv>
#include <cstdlib>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"

namespace tarnvel::matdb {

std::string md_shortest_text(float value) {
    char text[64];
    const auto [end, error] = std::to_chars(text, text + sizeof text, value);
    if (error != std::errc()) return "nan";
    return std::string(text, end);
}

double md_shortest_double(float value) {
    return std::strtod(md_shortest_text(value).c_str(), nullptr);
}

std::string_view md_property_unit_name(int property) {
    const MdPropertyInfo* info = md_property(property);
    return info == nullptr ? std::string_view() : md_unit_name(info->unit, kMdSystemSI);
}

std::string_view md_variable_unit_name(int variable) {
    const MdVariableInfo* info = md_variable(variable);
    return info == nullptr ? std::string_view() : md_unit_name(info->unit, kMdSystemSI);
}

std::vector<MdColumn> md_item_columns(const MdProperty& item) {
    std::vector<MdColumn> columns;
    if (item.format == MD_STANDARD_POINTS) {
        for (int variable : item.variables)
            columns.push_back({md_variable_name(variable), md_variable_unit_name(variable)});
    }
    if (item.format == MD_SINGLE_POINT || item.format == MD_STANDARD_POINTS)
        columns.push_back({md_property_name(item.property), md_property_unit_name(item.property)});
    return columns;
}

double md_item_value(const MdProperty& item, std::size_t index) {
    const bool integer =
        item.property == kMdShrinkage && item.format == MD_COEFFICIENTS && index < 2;
    if (integer) return item.values[index].integer();
    return md_shortest_double(item.values[index].real());
}

std::string md_item_value_text(const MdProperty& item, std::size_t index) {
    const double value = md_item_value(item, index);
    if (md_is_unset(value)) return "unset";
    const bool integer = item.property == kMdShrinkage && item.format == MD_COEFFICIENTS;
    return integer && index < 2 ? std::to_string(static_cast<int>(value))
                                : md_shortest_text(item.values[index].real());
}

}  // namespace tarnvel::matdb
