// matdb import: reads a tessel ASCII material file into the personal
// database of a folder, creating the folder and the database when absent.
#include <cstdio>
#include <filesystem>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "matdb_tool.h"
#include "services/sypenv.h"
#include "services/syppaths.h"

namespace matdb_tool {
namespace {

// Opens the Local database of the current folder for writing, creating it
// when it does not exist yet.
bool OpenLocalForWriting() {
    if (sypFileExists("mtfp.rax") || sypFileExists("MTFP.RAX")) {
        return md_open(MD_LOCAL, MD_WRITE) == MD_OPENED_WRITE;
    }
    return md_open(MD_LOCAL, MD_CREATE) == MD_CREATED;
}

}  // namespace

int RunImport(const Options& options) {
    if (options.make_standard) {
        std::fprintf(stderr, "matdb: import --standard is not available yet\n");
        return kExitUsage;
    }
    std::error_code error;
    const std::string file = std::filesystem::absolute(options.words[0], error).string();
    const std::string& folder = options.words[1];
    if (!sypFileExists(file.c_str())) {
        std::fprintf(stderr, "matdb: cannot read %s\n", options.words[0].c_str());
        return kExitFailed;
    }
    if (!std::filesystem::is_directory(folder, error) && sypMakeDirectory(folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: cannot create the folder %s\n", folder.c_str());
        return kExitFailed;
    }
    char previous[4096];
    if (sypGetcwd(previous, sizeof previous) == nullptr ||
        sypChangeDirectory(folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: cannot enter the folder %s\n", folder.c_str());
        return kExitFailed;
    }
    sypUnsetEnvironment("VTCOMP");
    sypUnsetEnvironment("VTPROJ");
    md_close_all();
    MdAsciiResult result;
    if (OpenLocalForWriting()) {
        result = md_read_ascii_file(file.c_str());
    } else {
        std::fprintf(stderr, "matdb: cannot open the personal database in %s for writing\n",
                     folder.c_str());
    }
    md_close_all();
    sypChangeDirectory(previous);
    if (!result.opened || result.stored == 0) {
        if (result.opened) std::fprintf(stderr, "matdb: no grade stored from %s\n", file.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace matdb_tool
