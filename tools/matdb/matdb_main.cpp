// matdb: looks into a material database (a personal one, mtfp.rax ..., or a
// Standard one, mtfs.rax ...) through the database access layer.
//
//   matdb list DIR [--json] [--standard DIR2]
//   matdb show DIR SUPPLIER GRADE [--json] [--standard DIR2]
//   matdb find DIR [conditions] [--json] [--standard DIR2]
//
// Exit status: 0 success, 1 unreadable or damaged database or grade not
// found, 2 usage error.
#include <array>
#include <cstdio>
#include <string>
#include <string_view>

#include "matdb/matdb.h"
#include "matdb_tool.h"
#include "tarnvel_version.h"

namespace matdb_tool {
namespace {

constexpr char kUsage[] =
    "Usage: matdb list DIR [--json] [--standard DIR2]\n"
    "       matdb show DIR SUPPLIER GRADE [--json] [--standard DIR2]\n"
    "       matdb find DIR [--supplier S] [--family F] [--text WORD] [--has PROPERTY]\n"
    "                  [--where 'PROPERTY OP VALUE']... [--json] [--standard DIR2]\n"
    "       matdb import [--standard] [--merge] [--no-index] FILE.asc DIR\n"
    "\n"
    "Looks into the material database in folder DIR: a personal database\n"
    "(mtfp.rax, mtgp.rax, mtdp.rax) or a Standard one (mtfs.rax, ...).\n"
    "  list        prints the database version, then every supplier with its\n"
    "              grades (code and description), in the order stored;\n"
    "  show        prints the items of one grade: property number and name,\n"
    "              format, model, variables, values in base units (or the\n"
    "              text), each with its unit, standard points as a table,\n"
    "              and whether the item came through a generic link;\n"
    "  find        prints the grades that meet every condition: --supplier S\n"
    "              and --family F (the Material Family text) compared whole,\n"
    "              --text WORD found in a name, the description or a text,\n"
    "              --has PROPERTY, and --where 'PROPERTY OP VALUE' (OP one of\n"
    "              < <= = >= > !=) met by a value of a single point or of\n"
    "              the property column of standard points, in the units show\n"
    "              prints; PROPERTY is a number or a catalogue name in any\n"
    "              case, blanks or underscores between its words; exit 0 when\n"
    "              a grade matched, 1 when none did, 2 on a usage error or a\n"
    "              database that cannot be searched;\n"
    "  import      reads a tessel ASCII material file into the personal\n"
    "              database in DIR (created when absent) and prints the\n"
    "              reader's messages and the number of grades stored; with\n"
    "              --standard it makes DIR a Standard database of the file's\n"
    "              grades instead (read-only to the database layer); every\n"
    "              supplier name and grade code cut to 8 and 6 characters is\n"
    "              named, and two grades of the file that end up with the\n"
    "              same names fail the import unless --merge merges them;\n"
    "              then the grade list DIR/mtip.rax of the whole database is\n"
    "              written for tarnvel -rax (not with --no-index);\n"
    "  --json      prints the same as one JSON document;\n"
    "  --standard  names the Standard database that generic links of a\n"
    "              personal database resolve against;\n"
    "  --verbose   prints the database layer's messages on the error stream;\n"
    "  --help      prints this text;\n"
    "  --version   prints the program's name and version.\n"
    "\n"
    "Exit status: 0 success, 1 unreadable or damaged database or grade not\n"
    "found, or a failed import (which leaves DIR as it was), 2 usage error.\n";

struct Command {
    std::string_view name;
    // DIR and what follows it.
    std::size_t words;
    int (*run)(const Options&, const OpenedDatabase&);
};

constexpr std::array<Command, 3> kCommands = {{
    {"list", 1, RunList},
    {"show", 3, RunShow},
    {"find", 1, RunFind},
}};

// The options of find that take a value.
bool IsFindCondition(std::string_view arg) {
    return arg == "--supplier" || arg == "--family" || arg == "--text" || arg == "--has" ||
           arg == "--where";
}

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "matdb: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

// Parses the command line; returns -1 when the options are sound, otherwise
// the exit status.
int Parse(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help") {
            std::fputs(kUsage, stdout);
            return kExitOk;
        } else if (arg == "--version") {
            std::printf("matdb %s\n", TARNVEL_VERSION);
            return kExitOk;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--verbose") {
            options.verbose = true;
        } else if (IsFindCondition(arg) && options.command == "find") {
            if (++i == argc) return Usage((std::string(arg) + " needs a value").c_str());
            options.conditions.emplace_back(arg, argv[i]);
        } else if (arg == "--merge" && options.command == "import") {
            options.merge = true;
        } else if (arg == "--no-index" && options.command == "import") {
            options.no_index = true;
        } else if (arg == "--standard" && options.command == "import") {
            options.make_standard = true;
        } else if (arg == "--standard") {
            if (++i == argc) return Usage("--standard needs a folder");
            options.standard = argv[i];
        } else if (arg.starts_with("--")) {
            return Usage(("unknown option " + std::string(arg)).c_str());
        } else if (options.command.empty()) {
            options.command = arg;
        } else {
            options.words.emplace_back(arg);
        }
    }
    return -1;
}

const Command* Find(const Options& options) {
    for (const Command& command : kCommands)
        if (command.name == options.command) return &command;
    return nullptr;
}

}  // namespace
}  // namespace matdb_tool

int main(int argc, char** argv) {
    using namespace matdb_tool;
    Options options;
    if (const int status = Parse(argc, argv, options); status >= 0) return status;
    if (options.command.empty()) return Usage("no command given");
    if (options.command == "import") {
        if (options.words.size() != 2) return Usage("wrong number of arguments for import");
        return RunImport(options);
    }
    const Command* command = Find(options);
    if (!command) return Usage(("unknown command " + options.command).c_str());
    if (options.words.size() != command->words)
        return Usage(("wrong number of arguments for " + options.command).c_str());

    if (options.command == "find" && CheckFindOptions(options) != kExitOk) return kExitUsage;

    CaptureLayerMessages();
    OpenedDatabase database;
    int status = OpenDatabase(options, database);
    // find keeps 1 for "nothing matched".
    if (status == kExitFailed && options.command == "find") status = kExitTrouble;
    if (status == kExitOk) status = command->run(options, database);
    md_close_all();
    // For find, 1 says only that nothing matched.
    const bool failed = status != kExitOk && !(options.command == "find" && status == kExitFailed);
    if (options.verbose || failed) PrintLayerMessages();
    return status;
}
