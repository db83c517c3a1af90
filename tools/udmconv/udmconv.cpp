// udmconv: converts a UDM model file between the encodings the library
// reads and writes, prints its text form, summarises it, lists and shows
// its property sets (as text or JSON) and compares two files.
//
// Exit status: 0 success, 1 unreadable or malformed input (or an output
// that cannot be written), 2 usage error; diff: 0 equal, 1 different,
// 2 trouble.
#include <getopt.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "curves/curves.h"
#include "curves/plot_command.h"
#include "inspect/model_diff.h"
#include "inspect/model_file.h"
#include "inspect/model_show.h"
#include "inspect/output.h"
#include "services/sypsafewrite.h"
#include "tarnvel_version.h"
#include "udm/udm.h"
#include "udm/udm_encodings.h"
#include "udm/udm_stream.h"

namespace {

using tarnvel::inspect::ModelFile;
using tarnvel::inspect::Output;
using tarnvel::inspect::Selection;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: udmconv [--text | --packed | --gzip] [--keep-stamps] IN OUT\n"
    "       udmconv --dump IN\n"
    "       udmconv --summary IN\n"
    "       udmconv list IN [--json]\n"
    "       udmconv show IN [--set TYPE/LABEL]... [--code N]... [--json]\n"
    "       udmconv diff A B [--rel-tol X] [--json]\n"
    "       udmconv plot IN [--set TYPE/LABEL]... (--viscosity | --pvt)\n"
    "                    -o OUT.svg|OUT.png|OUT.pdf [--csv FILE.csv]\n"
    "\n"
    "Reads UDM model files in any encoding the library accepts (text,\n"
    "gzip-compressed text, packed); IN or OUT '-' is the standard input or\n"
    "output.\n"
    "  IN OUT     writes IN to OUT as text (--text, the default), in the packed\n"
    "             encoding (--packed) or as gzip-compressed text (--gzip);\n"
    "             --keep-stamps keeps the input's KEYW, DATE and TIME;\n"
    "  --dump     prints the text form (with the stamps the file holds);\n"
    "  --summary  prints the encoding, title and the number of entities of\n"
    "             each class;\n"
    "  list       one line per property set (type/label, number of codes,\n"
    "             description), then the count of every other class present;\n"
    "  show       title, globals, counts and the property sets with every\n"
    "             code's name, unit, description and values; --set and --code\n"
    "             (each may be repeated) select sets and codes;\n"
    "  diff       the differences of B from A, one per line: title (but KEYW,\n"
    "             DATE, TIME), globals, sets by type and label, codes, values\n"
    "             beyond the relative tolerance X (default 0), other counts;\n"
    "  plot       draws the viscosity curves (log-log, one per temperature and\n"
    "             model) or the PVT curves (specific volume along isobars, with\n"
    "             the transition line) of the sets (all, or those --set names)\n"
    "             in one chart, each set in its own colour, as SVG, PNG or PDF\n"
    "             after OUT's extension; --csv writes the sampled curves as a\n"
    "             table; every model left out is named in a warning;\n"
    "  --json     list, show and diff print one JSON document instead;\n"
    "  --lenient  accepts an input from which the reader had to drop what it\n"
    "             could not read (by default that fails the run);\n"
    "  -h, --help prints this text;\n"
    "  --version  prints the program's name and version.\n"
    "With SOURCE_DATE_EPOCH set, written files carry stamps taken from it.\n"
    "\n"
    "Exit status: 0 success, 1 unreadable or malformed input (anything dropped\n"
    "while reading, unless --lenient) or unwritable output, 2 usage error;\n"
    "diff: 0 equal, 1 different, 2 trouble.\n";

enum class Command { kConvert, kDump, kSummary, kList, kShow, kDiff, kPlot };
enum class Format { kText, kPacked, kGzip };

struct Arguments {
    Command command = Command::kConvert;
    Format format = Format::kText;
    bool lenient = false;
    bool keep_stamps = false;
    bool json = false;
    Selection selection;
    double rel_tol = 0.0;
    std::vector<std::string> files;
    // plot: the kind chosen, the chart and the table.
    tarnvel::curves::PlotKindChoice kind;
    tarnvel::curves::PlotRequest plot;
};

// ---- Messages -----------------------------------------------------------------------------------

void Message(const std::string& text) {
    std::fprintf(stderr, "udmconv: %s\n", text.c_str());
}

int UsageError(const std::string& text) {
    Message(text);
    std::fputs("Try 'udmconv --help' for more information.\n", stderr);
    return kExitUsage;
}

int StdoutFailure(int error) {
    Message(std::string("cannot write to the standard output: ") +
            std::strerror(error != 0 ? error : EIO));
    return kExitFailed;
}

// ---- Arguments ----------------------------------------------------------------------------------

enum OptionId : int {
    kOptText = 256,
    kOptPacked,
    kOptGzip,
    kOptDump,
    kOptSummary,
    kOptLenient,
    kOptKeepStamps,
    kOptJson,
    kOptSet,
    kOptCode,
    kOptRelTol,
    kOptViscosity,
    kOptPvt,
    kOptCsv,
    kOptOutput,
};

constexpr option kLongOptions[] = {
    {"text", no_argument, nullptr, kOptText},
    {"packed", no_argument, nullptr, kOptPacked},
    {"gzip", no_argument, nullptr, kOptGzip},
    {"dump", no_argument, nullptr, kOptDump},
    {"summary", no_argument, nullptr, kOptSummary},
    {"lenient", no_argument, nullptr, kOptLenient},
    {"keep-stamps", no_argument, nullptr, kOptKeepStamps},
    {"json", no_argument, nullptr, kOptJson},
    {"set", required_argument, nullptr, kOptSet},
    {"code", required_argument, nullptr, kOptCode},
    {"rel-tol", required_argument, nullptr, kOptRelTol},
    {"viscosity", no_argument, nullptr, kOptViscosity},
    {"pvt", no_argument, nullptr, kOptPvt},
    {"csv", required_argument, nullptr, kOptCsv},
    {"output", required_argument, nullptr, kOptOutput},
    {"help", no_argument, nullptr, 'h'},
    {"version", no_argument, nullptr, 'V'},
    {nullptr, 0, nullptr, 0},
};

// Which commands an option belongs to, its name and where it applies.
struct OptionUse {
    int id;
    const char* name;
    std::initializer_list<Command> commands;
    const char* where;
};
const OptionUse kOptionUses[] = {
    {kOptKeepStamps, "--keep-stamps", {Command::kConvert}, "conversions"},
    {kOptJson, "--json", {Command::kList, Command::kShow, Command::kDiff}, "list, show and diff"},
    {kOptSet, "--set", {Command::kShow, Command::kPlot}, "show and plot"},
    {kOptViscosity, "--viscosity", {Command::kPlot}, "plot"},
    {kOptPvt, "--pvt", {Command::kPlot}, "plot"},
    {kOptCsv, "--csv", {Command::kPlot}, "plot"},
    {kOptOutput, "-o", {Command::kPlot}, "plot"},
    {kOptCode, "--code", {Command::kShow}, "show"},
    {kOptRelTol, "--rel-tol", {Command::kDiff}, "diff"},
};

// The commands named by the first argument, and how many files they take.
struct CommandName {
    const char* name;
    Command command;
    std::size_t files;
};
constexpr CommandName kCommands[] = {
    {"list", Command::kList, 1},
    {"show", Command::kShow, 1},
    {"diff", Command::kDiff, 2},
    {"plot", Command::kPlot, 1},
};

// Reads one option's value into the arguments; an error message when the
// value is not usable.
std::string TakeValue(int id, const char* value, Arguments* args) {
    if (id == kOptSet) {
        Selection::SetKey key{};
        if (!tarnvel::inspect::ParseSetKey(value, &key)) {
            return std::string("invalid set '") + value + "' (expected TYPE/LABEL)";
        }
        args->selection.sets.push_back(key);
    } else if (id == kOptCode) {
        char* end = nullptr;
        errno = 0;
        const long code = std::strtol(value, &end, 10);
        if (*value == '\0' || *end != '\0' || errno != 0 || code < INT32_MIN || code > INT32_MAX) {
            return std::string("invalid code '") + value + "'";
        }
        args->selection.codes.push_back(static_cast<std::int32_t>(code));
    } else if (id == kOptRelTol) {
        char* end = nullptr;
        const double tolerance = std::strtod(value, &end);
        if (*value == '\0' || *end != '\0' || !std::isfinite(tolerance) || tolerance < 0) {
            return std::string("invalid tolerance '") + value + "'";
        }
        args->rel_tol = tolerance;
    }
    return {};
}

// The conversion and form options: at most one of them.
std::string TakeMode(int id, bool* mode_given, Arguments* args) {
    if (args->command != Command::kConvert && !*mode_given) {
        return "list, show and diff take none of --text, --packed, --gzip, --dump, --summary";
    }
    if (*mode_given) return "more than one of --text, --packed, --gzip, --dump, --summary";
    *mode_given = true;
    switch (id) {
        case kOptPacked:
            args->format = Format::kPacked;
            break;
        case kOptGzip:
            args->format = Format::kGzip;
            break;
        case kOptDump:
            args->command = Command::kDump;
            break;
        case kOptSummary:
            args->command = Command::kSummary;
            break;
        default:
            break;
    }
    return {};
}

std::string UnknownOption(char** argv) {
    if (optopt != 0) return std::string("invalid option -- '") + static_cast<char>(optopt) + "'";
    return std::string("unrecognized option '") + argv[optind - 1] + "'";
}

// Checks the options given against the command and the number of files.
std::string CheckCommand(const std::vector<int>& given, std::size_t wanted, Arguments* args) {
    for (int id : given) {
        for (const OptionUse& use : kOptionUses) {
            if (use.id != id) continue;
            bool allowed = false;
            for (Command command : use.commands) allowed = allowed || command == args->command;
            if (!allowed) return std::string("option '") + use.name + "' is only for " + use.where;
        }
    }
    if (args->files.size() == wanted) return {};
    if (wanted == 2) {
        return args->command == Command::kDiff ? "diff: expected two input files"
                                               : "expected an input and an output file";
    }
    return "expected one input file";
}

// The command that the first argument names (list, show, diff); none
// otherwise, so that "udmconv ./list OUT" converts a file of that name.
const CommandName* NamedCommand(int argc, char** argv) {
    if (argc < 2) return nullptr;
    for (const CommandName& command : kCommands) {
        if (std::strcmp(argv[1], command.name) == 0) return &command;
    }
    return nullptr;
}

// Fills the arguments; an exit status when they are not usable (or help
// was asked for), -1 otherwise.
int ParseArguments(int argc, char** argv, Arguments* args) {
    const CommandName* named = NamedCommand(argc, argv);
    if (named != nullptr) {
        args->command = named->command;
        // The command word stands where the program name stood.
        --argc;
        ++argv;
    }
    opterr = 0;
    bool mode_given = false;
    std::vector<int> given;
    int id = 0;
    while ((id = getopt_long(argc, argv, ":ho:", kLongOptions, nullptr)) != -1) {
        std::string error;
        switch (id) {
            case 'h':
                std::fputs(kUsage, stdout);
                return std::fflush(stdout) == 0 ? kExitOk : StdoutFailure(errno);
            case 'V':
                std::printf("udmconv %s\n", TARNVEL_VERSION);
                return std::fflush(stdout) == 0 ? kExitOk : StdoutFailure(errno);
            case '?':
                error = UnknownOption(argv);
                break;
            case ':':
                error = std::string("option '") + argv[optind - 1] + "' requires an argument";
                break;
            case kOptLenient:
                args->lenient = true;
                break;
            case kOptKeepStamps:
                args->keep_stamps = true;
                break;
            case kOptJson:
                args->json = true;
                break;
            case kOptSet:
            case kOptCode:
            case kOptRelTol:
                error = TakeValue(id, optarg, args);
                break;
            case kOptViscosity:
                args->kind.viscosity = true;
                break;
            case kOptPvt:
                args->kind.pvt = true;
                break;
            case kOptCsv:
                args->plot.csv = optarg;
                break;
            case 'o':
            case kOptOutput:
                id = kOptOutput;
                args->plot.output = optarg;
                break;
            default:
                error = TakeMode(id, &mode_given, args);
        }
        if (!error.empty()) return UsageError(error);
        given.push_back(id);
    }
    for (int n = optind; n < argc; ++n) args->files.emplace_back(argv[n]);
    std::size_t wanted = args->command == Command::kConvert ? 2 : 1;
    if (named != nullptr) wanted = named->files;
    if (const std::string error = CheckCommand(given, wanted, args); !error.empty()) {
        return UsageError(error);
    }
    if (args->command == Command::kPlot) {
        std::string error;
        args->plot.kind = tarnvel::curves::ChosenKind(args->kind, &error);
        if (error.empty()) error = tarnvel::curves::PlotRequestProblem(args->plot);
        if (!error.empty()) return UsageError(error);
    }
    return -1;
}

// ---- Conversion -------------------------------------------------------------------------------

int WriteFailure(const std::string& path, int status) {
    const char* reason = sypWriteFileError();
    if (status == UDM_BAD_ARGUMENT) {
        Message("cannot write '" + path +
                "' as text: the model holds a text longer than the 4095 bytes a text file "
                "carries (the packed encoding carries it)");
    } else if (*reason != '\0') {
        Message(std::string("cannot write ") + reason);
    } else {
        Message("cannot write '" + path + "': status " + std::to_string(status));
    }
    return kExitFailed;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// The text form of the current model in an anonymous temporary file, read
// from its start; null (with *status) when it cannot be written.
File TextForm(const std::string& path, int* status) {
    File text(std::tmpfile());
    *status =
        text ? udm_model_write_file(text.get(), path.c_str(), UDM_MODE_TEXT) : UDM_CANNOT_CREATE;
    if (*status != UDM_OK) return nullptr;
    std::rewind(text.get());
    return text;
}

// Copies the text form through a gzip-encoded stream into out.
bool CopyGzip(const std::string& path, std::FILE* out, int* status) {
    File text = TextForm(path, status);
    if (!text) return false;
    UdmStream* stream = udm_stream_open_write(path.c_str(), tarnvel::udm::kEncodingGzipText, out);
    if (stream == nullptr) return false;
    std::array<char, 4096> chunk;
    while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), text.get())) {
        udm_stream_write(stream, chunk.data(), got);
    }
    return udm_stream_close(stream) == 0 && std::ferror(text.get()) == 0;
}

// Writes the current model in the format to the open stream.
bool WriteTo(Format format, const std::string& path, std::FILE* out, int* status) {
    if (format == Format::kGzip) return CopyGzip(path, out, status);
    *status = udm_model_write_file(out, path.c_str(),
                                   format == Format::kPacked ? UDM_MODE_PACKED : UDM_MODE_TEXT);
    return *status == UDM_OK;
}

int ConvertToStdout(Format format) {
    int status = UDM_OK;
    errno = 0;
    const bool written = WriteTo(format, "-", stdout, &status);
    if (status == UDM_BAD_ARGUMENT) return WriteFailure("-", status);
    if (!written || std::fflush(stdout) != 0 || std::ferror(stdout) != 0) {
        return StdoutFailure(errno);
    }
    return kExitOk;
}

int Convert(Format format, const std::string& path) {
    if (path == "-") return ConvertToStdout(format);
    int status = UDM_OK;
    const int written = sypWriteFile(
        path.c_str(), [&](std::FILE* out) { return WriteTo(format, path, out, &status); });
    if (written == 0) return kExitOk;
    return WriteFailure(path, status != UDM_OK ? status : UDM_CANNOT_CREATE);
}

// The text form goes to the standard output only once it is whole.
int Dump() {
    int status = UDM_OK;
    File text = TextForm("-", &status);
    if (!text) return WriteFailure("-", status);
    errno = 0;
    std::array<char, 4096> chunk;
    while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), text.get())) {
        if (std::fwrite(chunk.data(), 1, got, stdout) != got) break;
    }
    const bool written =
        std::ferror(text.get()) == 0 && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    return written ? kExitOk : StdoutFailure(errno);
}

// The encoding is the one the read detected: the input is not opened a
// second time, which a pipe or a device could not serve.
int Summary(const std::string& path, int encoding) {
    const char* name = udm_title_name();
    std::printf("file: %s\nencoding: %d (%s)\ntitle: %s\n", path.c_str(), encoding,
                tarnvel::inspect::EncodingName(encoding), name != nullptr ? name : "");
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        std::printf("%s %d\n", tarnvel::inspect::ClassKeyword(entity_class),
                    udm_class_count(entity_class));
    }
    errno = 0;
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? kExitOk : StdoutFailure(errno);
}

// ---- Inspection ---------------------------------------------------------------------------------

bool Load(ModelFile& file, const std::string& path, bool lenient) {
    std::string message;
    if (!file.Load(path, lenient, &message)) {
        Message(message);
        return false;
    }
    if (!file.warning().empty()) Message("warning: " + file.warning());
    return true;
}

int Inspect(const Arguments& args, const ModelFile& file) {
    const std::string& path = args.files[0];
    if (const std::string missing = tarnvel::inspect::MissingSet(args.selection);
        !missing.empty()) {
        Message(missing + " in " + tarnvel::inspect::InputName(path));
        return kExitFailed;
    }
    Output out(stdout);
    if (args.command == Command::kList) {
        args.json ? WriteListJson(out, file.encoding()) : WriteListText(out);
    } else if (args.json) {
        WriteShowJson(out, file.encoding(), args.selection);
    } else {
        WriteShowText(out, path, file.encoding(), args.selection);
    }
    return out.Finish() ? kExitOk : StdoutFailure(out.error());
}

// The curves of the selected sets in one chart.
int Plot(const Arguments& args) {
    if (const std::string missing = tarnvel::inspect::MissingSet(args.selection);
        !missing.empty()) {
        Message(missing + " in " + tarnvel::inspect::InputName(args.files[0]));
        return kExitFailed;
    }
    std::vector<tarnvel::curves::CurveSet> sets;
    tarnvel::inspect::ForEachSet([&](const tarnvel::inspect::SetRef& set) {
        if (args.selection.HasSet(set.type, set.label))
            sets.push_back(tarnvel::curves::SetCurves(set.tset, args.plot.kind));
    });
    return tarnvel::curves::WritePlot(sets, args.plot, "udmconv");
}

// Exit 0 equal, 1 different, 2 trouble.
int Diff(const Arguments& args) {
    ModelFile a;
    ModelFile b;
    if (!Load(a, args.files[0], args.lenient) || !Load(b, args.files[1], args.lenient)) {
        return kExitUsage;
    }
    Output out(stdout);
    std::size_t found = 0;
    if (args.json) {
        tarnvel::inspect::DifferenceJson json(out);
        found = DiffModels(a, b, {args.rel_tol}, [&](const auto& d) { json.Add(d); });
        json.Finish(found == 0);
    } else {
        found =
            DiffModels(a, b, {args.rel_tol}, [&](const auto& d) { WriteDifferenceText(out, d); });
    }
    if (!out.Finish()) {
        StdoutFailure(out.error());
        return kExitUsage;
    }
    return found == 0 ? kExitOk : kExitFailed;
}

void WarnAboutSourceDateEpoch() {
    if (udm_source_date_epoch(nullptr) < 0) {
        Message(
            "warning: SOURCE_DATE_EPOCH is not a number of seconds since 1970; the "
            "clock stamps the output");
    }
}

int Run(const Arguments& args) {
    if (args.command == Command::kDiff) return Diff(args);
    ModelFile file;
    if (!Load(file, args.files[0], args.lenient)) return kExitFailed;
    switch (args.command) {
        case Command::kDump:
            // The dump shows the file as it is, stamps included.
            udm_write_keep_stamps(1);
            return Dump();
        case Command::kSummary:
            return Summary(args.files[0], file.encoding());
        case Command::kList:
        case Command::kShow:
            return Inspect(args, file);
        case Command::kPlot:
            return Plot(args);
        default:
            udm_write_keep_stamps(args.keep_stamps ? 1 : 0);
            if (!args.keep_stamps) WarnAboutSourceDateEpoch();
            return Convert(args.format, args.files[1]);
    }
}

}  // namespace

int main(int argc, char** argv) {
    Arguments args;
    if (const int status = ParseArguments(argc, argv, &args); status >= 0) return status;
    return Run(args);
}
