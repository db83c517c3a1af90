// The version options of the command line: -product CODE chooses the build
// entry, and a lone -ver or -verdbg prints the version banner and ends the
// process.
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>

#include "services/buildinfo.h"
#include "services/libvxenv.h"
#include "services/msgvw.h"

namespace {

using namespace tarnvel::services;

// The catalogue messages of the banner.
enum BannerMessage : int {
    kBannerEnd = 0,
    kBannerTitle = 1,
    kBannerYears = 2,
    kBannerRights = 3,
    kBannerLongBuild = 4,
    kBannerShortBuild = 5,
    kBannerAccount = 6,
    kBannerMachine = 7,
    kBannerSystem = 8,
};

void Print(int number, std::initializer_list<const char*> strings = {}) {
    msgPrint(number, static_cast<int>(strings.size()), std::data(strings), 0, nullptr);
}

void PrintBanner(int first_year, bool detailed) {
    Print(kBannerTitle);
    for (const std::string& piece : BuildYearPieces(first_year)) {
        Print(kBannerYears, {piece.c_str()});
    }
    Print(kBannerRights);
    char release[kBuildReleaseSize];
    buildGetRelease(release);
    if (detailed) {
        Print(kBannerLongBuild, {release, kBuildNumber, kBuildDate, kBuildTime});
        Print(kBannerAccount, {kBuildAccount});
        Print(kBannerMachine, {kBuildMachine});
        Print(kBannerSystem, {kBuildSystem});
    } else {
        Print(kBannerShortBuild, {release, kBuildNumber, kBuildDate});
    }
    Print(kBannerEnd);
}

bool StartsWith(const char* text, std::string_view prefix) {
    return text != nullptr && std::string_view(text).starts_with(prefix);
}

}  // namespace

void envHandleVersionOptions(int first_year, int argc, char** argv) {
    BuildLoadTable();
    for (int i = 1; i + 1 < argc; ++i) {
        if (StartsWith(argv[i], "-product") && argv[i + 1] != nullptr) {
            buildSelectByCode(argv[i + 1]);
            break;
        }
    }
    if (argc == 2 && StartsWith(argv[1], "-ver")) {
        PrintBanner(first_year, StartsWith(argv[1], "-verdbg"));
        std::fflush(stdout);
        std::exit(0);
    }
}
