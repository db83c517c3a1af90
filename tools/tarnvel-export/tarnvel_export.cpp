// tarnvel-export: writes one grade of the material databases as a keyword
// file and prints its report, through the same entry the conversion
// pipeline calls. Run in the directory of a Local database (VTPATH names
// the Standard one, VTPROJ and VTCOMP the others).
//
// Exit codes: 0 written, 1 grade not found or file not written, 2 usage.
#include <cstdio>
#include <string_view>

#include "matdb/md_export.h"
#include "matdb/md_export_options.h"
#include "services/vtout.h"

namespace {

constexpr char kHelp[] =
    "Writes one grade of the material databases as a keyword file.\n"
    "\n"
    "  -supplier S    the supplier name (matched whole, at most 48 characters)\n"
    "  -grade G       the grade code (at most 48 characters)\n"
    "  -output FILE   the keyword file to write (replaced when it exists)\n"
    "  -database DB   search only standard, project, company or local\n"
    "  -kes           take the Standard database from KESPATH\n"
    "  -diagnostic    show the record-file layer's messages\n"
    "  --help         prints this text\n"
    "\n"
    "Exit codes: 0 written, 1 grade not found or file not written, 2 usage.\n";

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "--help") {
            std::fputs(tarnvel::matdb::md_export_usage(argv[0]).c_str(), stdout);
            std::fputs(kHelp, stdout);
            return 0;
        }
    }
    if (!tarnvel::matdb::md_export_parse(argc, argv)) {
        std::fputs(tarnvel::matdb::md_export_usage(argv[0]).c_str(), stderr);
        return 2;
    }
    const int result = tarnvel::matdb::md_export_entry(argc, argv);
    vt_out("\n");
    if (result != 0) std::fprintf(stderr, "%s: no keyword file written\n", argv[0]);
    return result == 0 ? 0 : 1;
}
