#include "convert/data_files.h"

#include <cstdio>

#include "services/libvxenv.h"

namespace tarnvel::convert {

void DataFileReport::Note(std::string_view file, bool loaded) {
    if (!loaded) missed_.emplace_back(file);
}

// "tarnvel: warning: product data directory DIR: cannot load a.csv, b.udb
// (values that come from them are left at their defaults)"; without a
// directory the product variable that names it is given instead.
DataFileReport::~DataFileReport() {
    if (missed_.empty()) return;
    std::string files;
    for (const std::string& file : missed_) {
        if (!files.empty()) files += ", ";
        files += file;
    }
    if (directory_.empty()) {
        std::fprintf(stderr,
                     "tarnvel: warning: no product data directory is set (%s): cannot load %s "
                     "(values that come from them are left at their defaults)\n",
                     envGetVariableName("PRODUCT_DAT"), files.c_str());
    } else {
        std::fprintf(stderr,
                     "tarnvel: warning: product data directory %s: cannot load %s (values that "
                     "come from them are left at their defaults)\n",
                     directory_.c_str(), files.c_str());
    }
    std::fflush(stderr);
}

}  // namespace tarnvel::convert
