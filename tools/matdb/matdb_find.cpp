// matdb find: the grades of a database that meet every condition given.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_find.h"
#include "matdb_tool.h"

namespace matdb_tool {
namespace {

using tarnvel::matdb::MdFindResult;
using tarnvel::matdb::MdFound;
using tarnvel::matdb::MdQuery;

int UsageError(const std::string& option, const std::string& value, const std::string& why) {
    std::fprintf(stderr, "matdb: find: %s '%s': %s\n", option.c_str(), value.c_str(), why.c_str());
    return kExitUsage;
}

// Builds the query from the options; kExitOk or the usage error's status.
int BuildQuery(const Options& options, MdQuery& query) {
    for (const auto& [option, value] : options.conditions) {
        if (option == "--supplier") {
            query.supplier = value;
        } else if (option == "--family") {
            query.family = value;
        } else if (option == "--text") {
            if (value.empty()) return UsageError(option, value, "an empty word");
            query.words.push_back(value);
        } else if (option == "--has") {
            const int property = tarnvel::matdb::md_property_by_name(value);
            if (property == 0) return UsageError(option, value, "no such property");
            query.has.push_back(property);
        } else {
            std::string why;
            const auto condition = tarnvel::matdb::md_parse_condition(value, &why);
            if (!condition) return UsageError(option, value, why);
            query.where.push_back(*condition);
        }
    }
    return kExitOk;
}

void Print(const Options& options, const MdFindResult& found) {
    if (!options.json) {
        for (const MdFound& grade : found.grades)
            std::printf("%-10s %-6s %s\n", grade.supplier.c_str(), grade.code.c_str(),
                        grade.description.c_str());
        return;
    }
    nlohmann::json grades = nlohmann::json::array();
    for (const MdFound& grade : found.grades)
        grades.push_back({{"supplier", grade.supplier},
                          {"code", grade.code},
                          {"description", grade.description}});
    const nlohmann::json out = {{"count", found.grades.size()}, {"grades", grades}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace

int CheckFindOptions(const Options& options) {
    MdQuery query;
    return BuildQuery(options, query);
}

int RunFind(const Options& options, const OpenedDatabase& database) {
    MdQuery query;
    if (const int status = BuildQuery(options, query); status != kExitOk) return status;
    const MdFindResult found = tarnvel::matdb::md_find_grades(database.slot, query);
    if (!found.complete || LayerReportedError()) {
        std::fprintf(stderr, "matdb: %s: the database is damaged; the search is incomplete\n",
                     database.folder.c_str());
        return kExitTrouble;
    }
    Print(options, found);
    return found.grades.empty() ? kExitFailed : kExitOk;
}

}  // namespace matdb_tool
