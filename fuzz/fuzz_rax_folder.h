// A private work folder for the fuzz targets that make the three files of a
// personal database: made the working directory on first use, and removed
// with the files when the fuzzer exits.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "matdb/matdb.h"

namespace tarnvel::fuzzing {

inline constexpr const char* kRaxFiles[] = {"mtfp.rax", "mtgp.rax", "mtdp.rax"};

inline std::string& RaxFolderName() {
    static std::string name;
    return name;
}

inline void RemoveRaxFolder() {
    md_close_all();
    for (const char* name : kRaxFiles) unlink(name);
    if (chdir("/") == 0) rmdir(RaxFolderName().c_str());
}

// Makes /tmp/PREFIX-XXXXXX the working directory; false when it was made
// before this call.
inline bool EnterRaxFolder(const char* prefix) {
    if (!RaxFolderName().empty()) return false;
    std::string name = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(name.data()) == nullptr || chdir(name.c_str()) != 0) std::abort();
    RaxFolderName() = name;
    std::atexit(RemoveRaxFolder);
    return true;
}

}  // namespace tarnvel::fuzzing
