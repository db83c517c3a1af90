// tarnvel-export: writes one grade of the material databases as a keyword
// file and prints its report, through the same export the conversion
// pipeline calls. Run in the directory of a Local database (VTPATH names
// the Standard one, VTPROJ and VTCOMP the others).
//
// The report and the chosen models are printed; "-diagnostic" adds the
// messages of the record-file and database layers. With --json only a JSON
// object describing the result is printed.
//
// Exit codes: 0 written, 1 grade not found or file not written, 2 usage.
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "matdb/md_export.h"
#include "matdb/md_export_options.h"
#include "services/vtout.h"
#include "tarnvel_version.h"

namespace {

using tarnvel::matdb::MdExportStatus;
using tarnvel::matdb::MdModelChoice;

constexpr char kHelp[] =
    "Writes one grade of the material databases as a keyword file and prints\n"
    "its report and the models chosen from VTORDER, VTPVTORDER and VTSHRINKORDER.\n"
    "\n"
    "  -supplier S    the supplier name (matched whole, at most 48 characters)\n"
    "  -grade G       the grade code (at most 48 characters)\n"
    "  -output FILE   the keyword file to write (replaced when it exists)\n"
    "  -database DB   search only standard, project, company or local\n"
    "  -kes           take the Standard database from KESPATH\n"
    "  -diagnostic    also show the record-file and database messages\n"
    "  --json         print only a JSON object describing the result\n"
    "  --help         prints this text\n"
    "  --version      prints the program's name and version\n"
    "\n"
    "Exit codes: 0 written, 1 grade not found or file not written, 2 usage.\n";

std::string ModelsLine(const MdModelChoice& m) {
    using namespace tarnvel::matdb;
    return "Models chosen: viscosity " + std::string(md_viscosity_model_name(m.viscosity)) +
           ", PVT " + std::string(md_pvt_model_name(m.pvt)) + ", shrinkage " +
           std::string(md_shrinkage_model_name(m.shrinkage)) + "\n";
}

void PrintJson(const tarnvel::matdb::MdExportOptions& o, MdExportStatus status,
               const MdModelChoice& m) {
    using namespace tarnvel::matdb;
    nlohmann::json out = {{"supplier", o.supplier},
                          {"grade", o.grade},
                          {"output", o.output},
                          {"written", status == MdExportStatus::kWritten},
                          {"found", status != MdExportStatus::kNotFound}};
    if (status == MdExportStatus::kWritten) {
        out["models"] = {{"viscosity", md_viscosity_model_name(m.viscosity)},
                         {"pvt", md_pvt_model_name(m.pvt)},
                         {"shrinkage", md_shrinkage_model_name(m.shrinkage)}};
    }
    std::printf("%s\n", out.dump(2).c_str());
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<const char*> words;
    bool json = false;
    for (int i = 0; i < argc; ++i) {
        const std::string_view word = argv[i];
        if (i > 0 && word == "--help") {
            std::fputs(tarnvel::matdb::md_export_usage(argv[0]).c_str(), stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (i > 0 && word == "--version") {
            std::printf("tarnvel-export %s\n", TARNVEL_VERSION);
            return 0;
        }
        if (i > 0 && word == "--json") {
            json = true;
            continue;
        }
        words.push_back(argv[i]);
    }
    const auto options =
        tarnvel::matdb::md_export_parse(static_cast<int>(words.size()), words.data());
    if (!options) {
        std::fputs(tarnvel::matdb::md_export_usage(argv[0]).c_str(), stderr);
        return 2;
    }
    MdModelChoice models;
    const MdExportStatus status =
        tarnvel::matdb::md_export_run(*options, {!json, options->diagnostic}, &models);
    if (json) {
        PrintJson(*options, status, models);
    } else if (status == MdExportStatus::kWritten) {
        vt_out("\n");
        std::fputs(ModelsLine(models).c_str(), stdout);
    } else if (status == MdExportStatus::kNotFound) {
        std::fprintf(stderr, "%s: grade %s %s not found on any open database\n", argv[0],
                     options->supplier.c_str(), options->grade.c_str());
    } else {
        std::fprintf(stderr, "%s: %s: keyword file not written\n", argv[0],
                     options->output.c_str());
    }
    return status == MdExportStatus::kWritten ? 0 : 1;
}
