// matdb show: one grade's items with their values in base units.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb_tool.h"

namespace matdb_tool {
namespace {

using tarnvel::matdb::kMdGenericLink;
using tarnvel::matdb::kMdShrinkage;
using tarnvel::matdb::md_property_name;

bool IsText(const MdProperty& item) {
    return item.format == MD_TEXT || item.format == MD_TEXT_QUOTED;
}

// The item's values as numbers: reals, except the two integers that begin
// a Shrinkage list.
nlohmann::json Values(const MdProperty& item) {
    nlohmann::json values = nlohmann::json::array();
    const bool shrinkage = item.property == kMdShrinkage && item.format == MD_COEFFICIENTS;
    for (std::size_t i = 0; i < item.values.size(); ++i) {
        if (shrinkage && i < 2)
            values.push_back(item.values[i].integer());
        else
            values.push_back(static_cast<double>(item.values[i].real()));
    }
    return values;
}

nlohmann::json ItemJson(const MdProperty& item) {
    return {
        {"property", item.property}, {"name", std::string(md_property_name(item.property))},
        {"format", item.format},     {"variables", item.variables},
        {"values", Values(item)},    {"text", IsText(item) ? nlohmann::json(item.text) : nullptr},
        {"model", item.model},       {"inherited", item.inherited != 0}};
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

// "[a, b, ...]" with each number in its shortest usual form.
std::string NumberList(const nlohmann::json& numbers) {
    std::string out = "[";
    for (const nlohmann::json& number : numbers) {
        char text[32];
        std::snprintf(text, sizeof text, "%s%.7g", out.size() > 1 ? ", " : "",
                      number.is_number() ? number.get<double>() : 0.0);
        out += text;
    }
    return out + "]";
}

void PrintText(const nlohmann::json& grade) {
    std::printf("%s %s (%s database)\n%s\n", grade["supplier"].get<std::string>().c_str(),
                grade["grade"].get<std::string>().c_str(),
                grade["database"].get<std::string>().c_str(),
                grade["description"].get<std::string>().c_str());
    if (!grade["link"].is_null())
        std::printf("link: %s\n", grade["link"].get<std::string>().c_str());
    for (const nlohmann::json& item : grade["items"]) {
        std::printf("%3d %-45s format %d model %d", item["property"].get<int>(),
                    item["name"].get<std::string>().c_str(), item["format"].get<int>(),
                    item["model"].get<int>());
        if (!item["variables"].empty())
            std::printf(" variables %s", NumberList(item["variables"]).c_str());
        if (item["text"].is_null())
            std::printf(" values %s", NumberList(item["values"]).c_str());
        else
            std::printf(" text \"%s\"", item["text"].get<std::string>().c_str());
        std::printf("%s\n", item["inherited"].get<bool>() ? " inherited" : "");
    }
}

}  // namespace

int RunShow(const Options& options, const OpenedDatabase& database) {
    const std::string& supplier = options.words[1];
    const std::string& code = options.words[2];
    const MdPosition at = md_find(database.slot, supplier.c_str(), code.c_str());
    if (!at.valid) {
        std::fprintf(stderr, "matdb: %s: grade %s %s not found\n", database.folder.c_str(),
                     supplier.c_str(), code.c_str());
        return kExitFailed;
    }
    const std::unique_ptr<MdGrade> grade = md_read_grade(at);
    if (!grade) {
        std::fprintf(stderr, "matdb: %s: grade %s %s cannot be read; the database is damaged\n",
                     database.folder.c_str(), supplier.c_str(), code.c_str());
        return kExitFailed;
    }
    const nlohmann::json out = GradeJson(*grade, at.slot);
    if (options.json)
        std::printf("%s\n",
                    out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    else
        PrintText(out);
    return kExitOk;
}

}  // namespace matdb_tool
