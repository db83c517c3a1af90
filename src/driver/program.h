// The program entry of tarnvel: option scan, checks, converter dispatch and
// exit codes. The product environment and the converters are reached
// through the seams below, so that the entry can be run and tested alone.
#pragma once

#include <cstdio>
#include <functional>

namespace tarnvel::driver {

// Exit codes of the tool.
enum ExitCode : int {
    kExitSuccess = 0,
    kExitHelp = 1,
    kExitInputCount = 2,
    kExitNoOutput = 3,
    kExitAscFailed = 4,
    kExitVxmatFailed = 5,
    kExitRaxFailed = 6,
};

// The values the option scan keeps; each points at an argument or is null.
struct Options {
    const char* rax = nullptr;
    const char* asc = nullptr;
    const char* vxmat = nullptr;
    const char* udb = nullptr;
    const char* prod = nullptr;
    const char* ver = nullptr;
    const char* vtpath = nullptr;
    bool help = false;
};

// Calls into the product environment, made in this order by the entry.
struct ProductHooks {
    // Handles a lone -ver / -verdbg (ends the process) and -product NAME.
    std::function<void(int first_year, int argc, char** argv)> handle_version_options;
    std::function<void(const char* release)> set_release;
    std::function<bool(int product_index, bool report)> select_product;
};

// One converter per input kind. Each returns true on success.
struct Converters {
    std::function<bool(const char* asc, const char* udb, const char* vtpath)> ascii;
    std::function<bool(const char* vxmat, const char* udb)> vxmat;
    std::function<bool(const char* rax, const char* udb, const char* vtpath)> rax;
};

// Scans argv[1..argc-1] for the options. Stops at the first argument that
// contains "-help" and sets help; later arguments are not looked at.
Options ScanOptions(int argc, char** argv);

// Prints the usage text on the given stream.
void PrintUsage(std::FILE* out);

// Runs the whole program entry and returns the exit code.
int RunProgram(int argc, char** argv, const ProductHooks& product, const Converters& converters);

// Converters that are not built yet: each prints one line on standard error
// and reports failure, so the tool never claims a conversion it did not do.
Converters UnavailableConverters();

}  // namespace tarnvel::driver
