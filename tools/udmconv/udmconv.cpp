// udmconv: converts a UDM model file between the encodings the library
// reads and writes, prints its text form, or summarises it.
//
//   udmconv [--text | --packed | --gzip] IN OUT   convert (text by default)
//   udmconv --dump IN                             text form on stdout
//   udmconv --summary IN                          encoding, title, counts
//
// Exit status: 0 success, 1 unreadable or malformed input (or an output
// that cannot be written), 2 usage error.
#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/sypsafewrite.h"
#include "tarnvel_version.h"
#include "udm/udm.h"
#include "udm/udm_encodings.h"
#include "udm/udm_stream.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "Usage: udmconv [--text | --packed | --gzip] IN OUT\n"
    "       udmconv --dump IN\n"
    "       udmconv --summary IN\n"
    "\n"
    "Reads the UDM model file IN in any encoding the library accepts (text,\n"
    "gzip-compressed text, packed) and\n"
    "  writes it to OUT as text (--text, the default), in the packed\n"
    "  encoding (--packed) or as gzip-compressed text (--gzip);\n"
    "  --dump     prints its text form on the standard output;\n"
    "  --summary  prints its encoding, title and the number of entities of\n"
    "             each class.\n"
    "  --lenient  accepts an input from which the reader had to drop what it\n"
    "             could not read (by default that fails the run);\n"
    "  --help     prints this text;\n"
    "  --version  prints the program's name and version.\n"
    "\n"
    "Exit status: 0 success, 1 unreadable or malformed input (anything dropped\n"
    "while reading, unless --lenient) or unwritable output, 2 usage error.\n";

enum class Mode { kText, kPacked, kGzip, kDump, kSummary, kHelp, kLenient };

struct Option {
    const char* name;
    Mode mode;
};
constexpr std::array<Option, 7> kOptions = {{
    {"--lenient", Mode::kLenient},
    {"--text", Mode::kText},
    {"--packed", Mode::kPacked},
    {"--gzip", Mode::kGzip},
    {"--dump", Mode::kDump},
    {"--summary", Mode::kSummary},
    {"--help", Mode::kHelp},
}};

// The entity class keywords, by class number, as the file format names
// them.
constexpr std::array<const char*, UDM_CLASS_COUNT> kClassKeywords = {
    "COLR", "LYER", "TSET", "VIEW", "NODE", "TEXT", "1DET", "TRI3", "CURV", "SURF",
    "REGN", "NDBC", "SUBC", "CTPL", "LOCS", "TET4", "STLR", "BLOB", "WEDG", "INTE"};

struct Encoding {
    int number;
    const char* name;
};
constexpr std::array<Encoding, 4> kEncodingNames = {{
    {1, "text"},
    {5, "gzip text"},
    {7, "scrambled compressed text"},
    {8, "packed"},
}};

struct Command {
    Mode mode = Mode::kText;
    // Accept an input from which the reader dropped what it could not read.
    bool lenient = false;
    std::vector<std::string> files;
};

int UsageError(const char* message, const char* detail) {
    std::fprintf(stderr, "udmconv: %s%s\n%s", message, detail, kUsage);
    return kExitUsage;
}

// Fills the command from the arguments; an exit status when they are not
// usable (or help was asked for), -1 otherwise.
int ParseArguments(int argc, char** argv, Command* command) {
    bool mode_given = false;
    for (int n = 1; n < argc; ++n) {
        const std::string_view arg = argv[n];
        if (arg == "--version") {
            std::printf("udmconv %s\n", TARNVEL_VERSION);
            return kExitOk;
        }
        if (arg.size() < 2 || arg.substr(0, 2) != "--") {
            command->files.emplace_back(arg);
            continue;
        }
        const Option* option = nullptr;
        for (const Option& candidate : kOptions) {
            if (arg == candidate.name) option = &candidate;
        }
        if (option == nullptr) return UsageError("unknown option ", argv[n]);
        if (option->mode == Mode::kLenient) {
            command->lenient = true;
            continue;
        }
        if (option->mode == Mode::kHelp) {
            std::fputs(kUsage, stdout);
            return kExitOk;
        }
        if (mode_given)
            return UsageError("more than one of ", "--text, --packed, --gzip, --dump, --summary");
        command->mode = option->mode;
        mode_given = true;
    }
    const bool converts = command->mode != Mode::kDump && command->mode != Mode::kSummary;
    const std::size_t wanted = converts ? 2 : 1;
    if (command->files.size() != wanted) {
        return UsageError(
            converts ? "expected an input and an output file" : "expected one input file", "");
    }
    return -1;
}

const char* ReadFailure(int status) {
    switch (status) {
        case UDM_BAD_ARGUMENT:
            return "the file cannot be opened or its encoding is not accepted";
        case UDM_PARSE_FAILED:
            return "the file could not be parsed";
        case UDM_NO_MEMORY:
            return "memory exhausted";
        default:
            return "the file could not be read";
    }
}

// The model read from the file, current; null (reported) on failure. What
// the reader dropped fails the read unless lenient.
UdmModel* Load(const std::string& path, bool lenient) {
    UdmModel* model = nullptr;
    const int status = udm_model_open(path.c_str(), UDM_MODE_AS_LOADED, &model);
    if (status != UDM_OK) {
        std::fprintf(stderr, "udmconv: cannot read %s: status %d: %s", path.c_str(), status,
                     ReadFailure(status));
        if (udm_read_dropped_count() > 0) std::fprintf(stderr, ", at %s", udm_read_first_message());
        std::fputc('\n', stderr);
        return nullptr;
    }
    if (const int dropped = udm_read_dropped_count(); dropped > 0) {
        std::fprintf(stderr, "udmconv: %s %s: %d construct%s dropped, first at %s\n",
                     lenient ? "warning:" : "cannot read", path.c_str(), dropped,
                     dropped == 1 ? "" : "s", udm_read_first_message());
        if (!lenient) {
            udm_model_destroy(&model);
            return nullptr;
        }
    }
    return model;
}

int WriteFailure(const std::string& path, int status) {
    const char* reason = sypWriteFileError();
    if (status == UDM_BAD_ARGUMENT) {
        std::fprintf(stderr,
                     "udmconv: cannot write %s as text: the model holds a text longer than the "
                     "4095 bytes a text file carries (the packed encoding carries it)\n",
                     path.c_str());
    } else if (*reason != '\0') {
        std::fprintf(stderr, "udmconv: cannot write %s (status %d)\n", reason, status);
    } else {
        std::fprintf(stderr, "udmconv: cannot write %s: status %d\n", path.c_str(), status);
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

int WriteGzip(const std::string& path) {
    int text_status = UDM_OK;
    const int status = sypWriteFile(
        path.c_str(), [&](std::FILE* out) { return CopyGzip(path, out, &text_status); });
    if (status == 0) return kExitOk;
    return WriteFailure(path, text_status != UDM_OK ? text_status : UDM_CANNOT_CREATE);
}

int Convert(Mode mode, const std::string& path) {
    if (mode == Mode::kGzip) return WriteGzip(path);
    const int status = mode == Mode::kPacked ? udm_model_write_packed(path.c_str())
                                             : udm_model_write(path.c_str(), UDM_MODE_TEXT);
    return status == UDM_OK ? kExitOk : WriteFailure(path, status);
}

// The text form goes to the standard output only once it is whole.
int Dump() {
    int status = UDM_OK;
    File text = TextForm("stdout", &status);
    if (!text) return WriteFailure("the standard output", status);
    std::array<char, 4096> chunk;
    while (std::size_t got = std::fread(chunk.data(), 1, chunk.size(), text.get())) {
        if (std::fwrite(chunk.data(), 1, got, stdout) != got) break;
    }
    const bool written =
        std::ferror(text.get()) == 0 && std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    return written ? kExitOk : WriteFailure("the standard output", UDM_CANNOT_CREATE);
}

const char* EncodingName(int number) {
    for (const Encoding& encoding : kEncodingNames) {
        if (encoding.number == number) return encoding.name;
    }
    return "unknown";
}

// The encoding is the one the read detected: the input is not opened a
// second time, which a pipe or a device could not serve.
int Summary(const std::string& path) {
    const int encoding = udm_read_encoding();
    const char* name = udm_title_name();
    std::printf("file: %s\nencoding: %d (%s)\ntitle: %s\n", path.c_str(), encoding,
                EncodingName(encoding), name != nullptr ? name : "");
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        std::printf("%s %d\n", kClassKeywords[entity_class], udm_class_count(entity_class));
    }
    return std::fflush(stdout) == 0 ? kExitOk : kExitFailed;
}

int Run(const Command& command) {
    UdmModel* model = Load(command.files[0], command.lenient);
    if (model == nullptr) return kExitFailed;
    int status = kExitOk;
    switch (command.mode) {
        case Mode::kDump:
            status = Dump();
            break;
        case Mode::kSummary:
            status = Summary(command.files[0]);
            break;
        default:
            status = Convert(command.mode, command.files[1]);
            break;
    }
    udm_model_destroy(&model);
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Command command;
    if (const int status = ParseArguments(argc, argv, &command); status >= 0) return status;
    return Run(command);
}
