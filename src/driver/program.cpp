#include "driver/program.h"

#include <cstring>

namespace tarnvel::driver {
namespace {

// The start year of the year list in the build information.
constexpr int kFirstBuildYear = 2001;

// The usage text, byte for byte; the missing blanks before -udb and -prod
// are part of it.
constexpr char kUsage[] =
    "tarnvel [-help]\n"
    "tarnvel [-asc asciifile|-vxmat vxmatfile|-rax raxfile]-udb udbfile-prod kes/kor\n"
    "-ver X.X\n"
    "where the program converts the input material file (ascii, vxmat or rax)\n"
    "to the output UDB file.\n\n";

// The options that keep a value, in the fixed order of the scan.
struct ValueOption {
    const char* text;
    const char* Options::*slot;
};
constexpr ValueOption kValueOptions[] = {
    {"-rax", &Options::rax},       {"-asc", &Options::asc},   {"-vxmat", &Options::vxmat},
    {"-udb", &Options::udb},       {"-prod", &Options::prod}, {"-ver", &Options::ver},
    {"-vtpath", &Options::vtpath},
};

bool Contains(const char* argument, const char* option) {
    return std::strstr(argument, option) != nullptr;
}

}  // namespace

Options ScanOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        // An option matches wherever its text occurs inside the argument. Its
        // value is the next argument, which is still scanned in its own turn.
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        for (const ValueOption& option : kValueOptions) {
            if (Contains(argument, option.text)) options.*option.slot = next;
        }
        if (Contains(argument, "-help")) {
            options.help = true;
            break;
        }
    }
    return options;
}

void PrintUsage(std::FILE* out) {
    std::fputs(kUsage, out);
    std::fflush(out);
}

int RunProgram(int argc, char** argv, const ProductHooks& product, const Converters& converters) {
    if (product.handle_version_options) product.handle_version_options(kFirstBuildYear, argc, argv);

    const Options options = ScanOptions(argc, argv);
    if (options.help) {
        PrintUsage(stdout);
        return kExitHelp;
    }

    if (options.prod != nullptr && options.ver != nullptr) {
        if (product.set_release) product.set_release(options.ver);
        // Both tests are made, in this order: a value holding both words
        // ends with product 0 selected. The selection's result is not used.
        if (product.select_product && Contains(options.prod, "kes"))
            product.select_product(1, true);
        if (product.select_product && Contains(options.prod, "kor"))
            product.select_product(0, true);
    }

    const int inputs =
        (options.asc != nullptr) + (options.vxmat != nullptr) + (options.rax != nullptr);
    if (inputs != 1) {
        PrintUsage(stdout);
        return kExitInputCount;
    }
    // An empty output name names no file: the same usage error as none.
    if (options.udb == nullptr || *options.udb == '\0') {
        PrintUsage(stdout);
        return kExitNoOutput;
    }

    if (options.asc != nullptr) {
        return converters.ascii(options.asc, options.udb, options.vtpath) ? kExitSuccess
                                                                          : kExitAscFailed;
    }
    if (options.vxmat != nullptr) {
        return converters.vxmat(options.vxmat, options.udb) ? kExitSuccess : kExitVxmatFailed;
    }
    return converters.rax(options.rax, options.udb, options.vtpath) ? kExitSuccess : kExitRaxFailed;
}

Converters UnavailableConverters() {
    auto unavailable = [](const char* what) {
        std::fprintf(stderr, "tarnvel: the %s conversion is not available yet\n", what);
        return false;
    };
    return Converters{
        [=](const char*, const char*, const char*) { return unavailable("-asc"); },
        [=](const char*, const char*) { return unavailable("-vxmat"); },
        [=](const char*, const char*, const char*) { return unavailable("-rax"); },
    };
}

}  // namespace tarnvel::driver
