// matdb: looks into a material database (a personal one, mtfp.rax ..., or a
// Standard one, mtfs.rax ...) through the database access layer.
//
//   matdb list DIR [--json] [--standard DIR2]
//   matdb show DIR SUPPLIER GRADE [--json] [--standard DIR2]
//   matdb find DIR [conditions] [--json] [--standard DIR2]
//   matdb diff DIR1 DIR2 [--json] [--standard DIR3]
//   matdb export DIR [SUPPLIER [GRADE]] -o FILE.asc [--standard DIR2] [--resolved]
//   matdb plot DIR SUPPLIER GRADE [SUPPLIER GRADE]... (--viscosity | --pvt) -o OUT
//   matdb site DIR -o FOLDER [--standard DIR2]
//
// Exit status: 0 success, 1 unreadable or damaged database or grade not
// found, 2 usage error.
#include <getopt.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

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
    "       matdb diff DIR1 DIR2 [--json] [--standard DIR3]\n"
    "       matdb export DIR [SUPPLIER [GRADE]] -o FILE.asc [--standard DIR2] [--resolved]\n"
    "       matdb plot DIR SUPPLIER GRADE [SUPPLIER GRADE]... (--viscosity | --pvt)\n"
    "                  -o OUT.svg|OUT.png|OUT.pdf [--csv FILE.csv] [--standard DIR2]\n"
    "       matdb site DIR -o FOLDER [--standard DIR2]\n"
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
    "  diff        prints what changed from DIR1 to DIR2, one line each:\n"
    "              suppliers and grades added and removed; for grades in\n"
    "              both the description, the generic links and the property\n"
    "              items added, removed or changed (format, model, variables,\n"
    "              text, each value with its index, old -> new), as stored;\n"
    "              with --standard the grades with their links resolved\n"
    "              against DIR3; exit 0 equal, 1 different, 2 a database\n"
    "              that cannot be read or a usage error;\n"
    "  export      writes the grades of DIR (of one supplier, or one grade)\n"
    "              as a tessel ASCII material file that import reads back\n"
    "              into the same grades (-o - writes to the standard output);\n"
    "              items that came in through a generic link are left out\n"
    "              unless --resolved asks for them; whatever the file cannot\n"
    "              carry exactly is named on the error stream (exit 1);\n"
    "  plot        draws the viscosity curves (log-log, one per temperature\n"
    "              and model, points as markers) or the PVT curves (specific\n"
    "              volume along isobars, with the transition line) of the\n"
    "              grades in one chart, each grade in its own colour, as SVG,\n"
    "              PNG or PDF after OUT's extension; --csv writes the sampled\n"
    "              curves as a table; every model or point left out is named\n"
    "              in a warning;\n"
    "  site        writes the database as a catalogue of static HTML pages\n"
    "              into FOLDER (made when absent): index.html lists every\n"
    "              grade (supplier, code, description, family) and filters\n"
    "              the list by supplier, family and typed words; one page\n"
    "              per grade under grades/ shows its properties with their\n"
    "              units, its generic links and its viscosity and PVT\n"
    "              plots; the pages load nothing from elsewhere and open\n"
    "              from the file system; exit 1 when a file cannot be\n"
    "              written (no file is left half-written) or grades cannot\n"
    "              be read (they are counted and left out);\n"
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
    "  -h, --help  prints this text;\n"
    "  --version   prints the program's name and version.\n"
    "\n"
    "Exit status: 0 success, 1 unreadable or damaged database or grade not\n"
    "found, or a failed import (which leaves DIR as it was), 2 usage error.\n";

struct Command {
    std::string_view name;
    // DIR and what follows it.
    std::size_t words;
    int (*run)(const Options&, const OpenedDatabase&);
    // The fewest words when fewer than words will do (0: exactly words).
    std::size_t fewest = 0;
};

// plot takes any number of SUPPLIER GRADE pairs after DIR.
constexpr std::size_t kAnyNumber = static_cast<std::size_t>(-1);

constexpr std::array<Command, 6> kCommands = {{
    {"list", 1, RunList},
    {"show", 3, RunShow},
    {"find", 1, RunFind},
    {"export", 3, RunExport, 1},
    {"plot", kAnyNumber, RunPlot, 3},
    {"site", 1, RunSite},
}};

// The long options; the value of --standard depends on the command: a
// folder for list, show and find, none for import (make a Standard one).
enum OptionId : int {
    kOptJson = 256,
    kOptVerbose,
    kOptStandard,
    kOptMerge,
    kOptNoIndex,
    kOptSupplier,
    kOptFamily,
    kOptText,
    kOptHas,
    kOptWhere,
    kOptResolved,
    kOptViscosity,
    kOptPvt,
    kOptCsv,
};

// One option: its long name, the commands that take it (empty: every
// command) and whether it takes a value.
struct OptionRule {
    const char* name;
    int id;
    std::vector<std::string_view> commands;
    bool takes_value;
};

const std::vector<OptionRule>& OptionRules() {
    static const std::vector<OptionRule> kRules = {
        {"json", kOptJson, {}, false},
        {"verbose", kOptVerbose, {}, false},
        {"standard",
         kOptStandard,
         {"list", "show", "find", "diff", "export", "plot", "site"},
         true},
        {"standard", kOptStandard, {"import"}, false},
        {"merge", kOptMerge, {"import"}, false},
        {"no-index", kOptNoIndex, {"import"}, false},
        {"supplier", kOptSupplier, {"find"}, true},
        {"family", kOptFamily, {"find"}, true},
        {"text", kOptText, {"find"}, true},
        {"has", kOptHas, {"find"}, true},
        {"where", kOptWhere, {"find"}, true},
        {"resolved", kOptResolved, {"export"}, false},
        {"output", 'o', {"export", "plot", "site"}, true},
        {"viscosity", kOptViscosity, {"plot"}, false},
        {"pvt", kOptPvt, {"plot"}, false},
        {"csv", kOptCsv, {"plot"}, true},
    };
    return kRules;
}

// The command word: the first argument that names a command, or empty.
std::string CommandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--") break;
        if (arg == "import" || arg == "diff" ||
            std::ranges::any_of(kCommands,
                                [&](const Command& command) { return command.name == arg; }))
            return std::string(arg);
    }
    return {};
}

// The getopt_long table of a command (its options, --help and --version).
std::vector<option> OptionTable(const std::string& command) {
    std::vector<option> table;
    for (const OptionRule& rule : OptionRules()) {
        const bool applies = rule.commands.empty() || command.empty() ||
                             std::ranges::find(rule.commands, command) != rule.commands.end();
        const bool taken = std::ranges::any_of(
            table, [&](const option& known) { return std::strcmp(known.name, rule.name) == 0; });
        if (!applies || taken) continue;
        table.push_back(
            {rule.name, rule.takes_value ? required_argument : no_argument, nullptr, rule.id});
    }
    table.push_back({"help", no_argument, nullptr, 'h'});
    table.push_back({"version", no_argument, nullptr, 'V'});
    table.push_back({nullptr, 0, nullptr, 0});
    return table;
}

int Usage(const std::string& problem) {
    std::fprintf(stderr, "matdb: %s\nTry 'matdb --help' for more information.\n", problem.c_str());
    return kExitUsage;
}

// An output path made absolute, since a personal database is read from its
// folder; "-" (the standard output) stays.
std::string AbsoluteOutput(const char* value) {
    std::error_code ignored;
    return std::string_view(value) == "-" ? std::string(value)
                                          : std::filesystem::absolute(value, ignored).string();
}

// Takes one recognised option into the options.
void TakeOption(int id, const char* value, Options& options) {
    switch (id) {
        case kOptJson:
            options.json = true;
            break;
        case kOptVerbose:
            options.verbose = true;
            break;
        case kOptStandard:
            if (value != nullptr) {
                options.standard = value;
            } else {
                options.make_standard = true;
            }
            break;
        case kOptMerge:
            options.merge = true;
            break;
        case kOptNoIndex:
            options.no_index = true;
            break;
        case kOptResolved:
            options.resolved = true;
            break;
        case kOptViscosity:
            options.viscosity = true;
            break;
        case kOptPvt:
            options.pvt = true;
            break;
        case 'o':
            options.output = AbsoluteOutput(value);
            break;
        case kOptCsv:
            options.csv = AbsoluteOutput(value);
            break;
        default:
            for (const OptionRule& rule : OptionRules()) {
                if (rule.id == id)
                    options.conditions.emplace_back("--" + std::string(rule.name), value);
            }
    }
}

// What an option that getopt_long refused was: unknown, or missing its value.
std::string RefusedOption(int result, char** argv) {
    const std::string given = argv[optind - 1];
    if (result == ':') return "option '" + given + "' requires an argument";
    return "unrecognized option '" + given + "'";
}

// Parses the command line; returns -1 when the options are sound, otherwise
// the exit status.
int Parse(int argc, char** argv, Options& options) {
    const std::vector<option> table = OptionTable(CommandWord(argc, argv));
    opterr = 0;
    optind = 1;
    int result = 0;
    while ((result = getopt_long(argc, argv, ":ho:", table.data(), nullptr)) != -1) {
        if (result == 'h') {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (result == 'V') {
            std::printf("matdb %s\n", TARNVEL_VERSION);
            return kExitOk;
        }
        if (result == '?' || result == ':') return Usage(RefusedOption(result, argv));
        TakeOption(result, optarg, options);
    }
    for (int i = optind; i < argc; ++i) {
        if (options.command.empty()) {
            options.command = argv[i];
        } else {
            options.words.emplace_back(argv[i]);
        }
    }
    return -1;
}

const Command* Find(const Options& options) {
    for (const Command& command : kCommands)
        if (command.name == options.command) return &command;
    return nullptr;
}

// The exit status once the standard output is flushed: a failed write there
// (a full disk, a closed pipe) fails the run with a message.
int FinishOutput(int status) {
    if (std::fflush(stdout) == 0 && std::ferror(stdout) == 0) return status;
    const int error = errno != 0 ? errno : EIO;
    std::fprintf(stderr, "matdb: cannot write to the standard output: %s\n", std::strerror(error));
    return kExitFailed;
}

}  // namespace
}  // namespace matdb_tool

int main(int argc, char** argv) {
    using namespace matdb_tool;
    Options options;
    if (const int status = Parse(argc, argv, options); status >= 0) return FinishOutput(status);
    if (options.command.empty()) return Usage("no command given");
    const bool writes =
        options.command == "export" || options.command == "plot" || options.command == "site";
    if (!writes && !options.output.empty())
        return Usage("option '-o' is for export, plot and site only");
    if (options.command == "import") {
        if (options.words.size() != 2) return Usage("wrong number of arguments for import");
        return FinishOutput(RunImport(options));
    }
    if (options.command == "diff") {
        if (options.words.size() != 2) return Usage("wrong number of arguments for diff");
        return FinishOutput(RunDiff(options));
    }
    const Command* command = Find(options);
    if (!command) return Usage("unknown command '" + options.command + "'");
    const std::size_t fewest = command->fewest != 0 ? command->fewest : command->words;
    if (options.words.size() < fewest || options.words.size() > command->words)
        return Usage("wrong number of arguments for " + options.command);
    if (options.command == "export" && options.output.empty())
        return Usage("export needs -o FILE.asc (or -o - for the standard output)");
    if (options.command == "site" && (options.output.empty() || options.output == "-"))
        return Usage("site needs -o FOLDER");

    if (options.command == "find" && CheckFindOptions(options) != kExitOk) return kExitUsage;
    if (options.command == "plot" && CheckPlotOptions(options) != kExitOk) return kExitUsage;

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
    return FinishOutput(status);
}
