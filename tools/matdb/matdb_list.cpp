// matdb list: the database version, then each supplier with its grades.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb_tool.h"

namespace matdb_tool {
namespace {

struct GradeLine {
    std::string code;
    std::string description;
};

struct SupplierLine {
    std::string name;
    std::vector<GradeLine> grades;
};

// The grades of the supplier at a position, in walk order. False when a
// grade header could not be read.
bool ReadGrades(MdPosition supplier, std::vector<GradeLine>& grades) {
    bool complete = true;
    for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
        if (at.supplier != supplier.supplier) break;
        const std::unique_ptr<MdGrade> header = md_read_grade_header(at);
        if (!header) {
            complete = false;
            continue;
        }
        grades.push_back({header->code, header->description});
    }
    return complete;
}

void PrintText(const std::optional<std::string>& version, const std::vector<SupplierLine>& list) {
    std::printf("version: %s\n", version ? version->c_str() : "(none)");
    for (const SupplierLine& supplier : list) {
        std::printf("%s\n", supplier.name.c_str());
        for (const GradeLine& grade : supplier.grades)
            std::printf("  %-6s %s\n", grade.code.c_str(), grade.description.c_str());
    }
}

void PrintJson(const std::optional<std::string>& version, const std::vector<SupplierLine>& list) {
    nlohmann::json suppliers = nlohmann::json::array();
    for (const SupplierLine& supplier : list) {
        nlohmann::json grades = nlohmann::json::array();
        for (const GradeLine& grade : supplier.grades)
            grades.push_back({{"code", grade.code}, {"description", grade.description}});
        suppliers.push_back({{"name", supplier.name}, {"grades", grades}});
    }
    const nlohmann::json out = {{"version", version ? nlohmann::json(*version) : nullptr},
                                {"suppliers", suppliers}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace

int RunList(const Options& options, const OpenedDatabase& database) {
    std::vector<SupplierLine> list;
    bool complete = true;
    for (MdPosition at = md_first_supplier(md_position(database.slot)); at.valid;
         at = md_next_supplier(at)) {
        if (at.slot != database.slot) break;
        const std::unique_ptr<MdSupplierDetails> details = md_read_supplier_details(at);
        if (!details) {
            complete = false;
            continue;
        }
        SupplierLine& supplier = list.emplace_back();
        supplier.name = details->name;
        complete = ReadGrades(at, supplier.grades) && complete;
    }
    const std::optional<std::string> version = md_slot_version(database.slot);
    if (options.json)
        PrintJson(version, list);
    else
        PrintText(version, list);
    if (!complete || LayerReportedError()) {
        std::fprintf(stderr, "matdb: %s: the database is damaged; the list is incomplete\n",
                     database.folder.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace matdb_tool
