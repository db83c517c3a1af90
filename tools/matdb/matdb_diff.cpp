// matdb diff: what changed from one material database to another.
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_diff.h"
#include "matdb_tool.h"
#include "services/syppaths.h"

namespace matdb_tool {
namespace {

using tarnvel::matdb::MdDifference;
using tarnvel::matdb::MdDiffSide;
using tarnvel::matdb::MdSnapshot;

// Reads the database in folder whole, then closes it and returns to the
// working directory, so that the next one can take any slot. With a
// Standard database to resolve against, a personal database's links are
// followed into it; a Standard database's links lead into itself.
int ReadWhole(const std::string& folder, const std::string& standard, MdSnapshot& snapshot) {
    char cwd[4096];
    if (!sypGetcwd(cwd, sizeof cwd)) {
        std::fprintf(stderr, "matdb: diff: cannot tell the working directory\n");
        return kExitTrouble;
    }
    Options one;
    one.words = {folder};
    if (!IsStandardFolder(folder)) one.standard = standard;
    OpenedDatabase database;
    int status = OpenDatabase(one, database);
    if (status == kExitOk) {
        snapshot = tarnvel::matdb::md_read_snapshot(database.slot, !standard.empty());
        if (!snapshot.complete || LayerReportedDamage()) {
            std::fprintf(stderr, "matdb: %s: the database is damaged; it cannot be compared\n",
                         folder.c_str());
            status = kExitTrouble;
        }
    }
    md_close_all();
    sypChangeDirectory(cwd);
    if (status != kExitOk) PrintLayerMessages();
    return status == kExitOk ? kExitOk : kExitTrouble;
}

nlohmann::json SideJson(const MdDiffSide& side) {
    if (side.number) return *side.number;
    if (side.text) return *side.text;
    return nullptr;
}

nlohmann::json DifferenceJson(const MdDifference& d) {
    nlohmann::json out = {{"change", tarnvel::matdb::md_change_word(d.change)},
                          {"subject", tarnvel::matdb::md_subject_word(d.subject)}};
    if (!d.supplier.empty()) out["supplier"] = d.supplier;
    if (!d.grade.empty()) out["grade"] = d.grade;
    if (d.property != 0) {
        out["property"] = d.property;
        out["name"] = std::string(tarnvel::matdb::md_property_name(d.property));
    }
    if (d.index >= 0) out["index"] = d.index;
    out["old"] = SideJson(d.before);
    out["new"] = SideJson(d.after);
    return out;
}

void Print(const Options& options, const std::vector<MdDifference>& differences) {
    if (!options.json) {
        for (const MdDifference& d : differences)
            std::printf("%s\n", tarnvel::matdb::md_difference_text(d).c_str());
        return;
    }
    nlohmann::json list = nlohmann::json::array();
    for (const MdDifference& d : differences) list.push_back(DifferenceJson(d));
    const nlohmann::json out = {
        {"equal", differences.empty()}, {"count", differences.size()}, {"differences", list}};
    std::printf("%s\n", out.dump(2, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
}

}  // namespace

int RunDiff(const Options& options) {
    CaptureLayerMessages();
    MdSnapshot before;
    MdSnapshot after;
    if (ReadWhole(options.words[0], options.standard, before) != kExitOk ||
        ReadWhole(options.words[1], options.standard, after) != kExitOk)
        return kExitTrouble;
    if (options.verbose) PrintLayerMessages();
    const std::vector<MdDifference> differences = tarnvel::matdb::md_diff(before, after);
    Print(options, differences);
    return differences.empty() ? kExitOk : kExitFailed;
}

}  // namespace matdb_tool
