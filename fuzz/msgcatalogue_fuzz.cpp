// Reads arbitrary bytes as a message file and formats every record read
// with a fixed set of strings and values.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <string>

#include "services/libvxenv.h"
#include "services/msgcatalogue.h"

namespace {

// Points the product's data directory at a private directory holding a
// small units table, so that the unit placeholders find one.
std::string& DataDirectory() {
    static std::string name;
    return name;
}

// Removes the data directory when the fuzzer exits.
void RemoveDataDirectory() {
    std::remove((DataDirectory() + "/units97.dat").c_str());
    rmdir(DataDirectory().c_str());
}

void PrepareDataDirectory() {
    char name[] = "/tmp/tarnvel-msgfuzz-XXXXXX";
    const char* made = mkdtemp(name);
    if (made == nullptr) return;
    DataDirectory() = made;
    std::atexit(RemoveDataDirectory);
    std::ofstream(std::string(made) + "/units97.dat")
        << "USYS { METRIC UNIT { deg.C deg.F 0.5555555556 -17.7777777778 }"
           " UNIT { mm m 1000 0 } }\n";
    setenv(envGetVariableName("PRODUCT_DAT"), made, 1);
    setenv(envGetVariableName("PRODUCT_HOME"), made, 1);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    PrepareDataDirectory();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (file == nullptr) return 0;
    tarnvel::services::MessageCatalogue catalogue;
    catalogue.read(file);
    std::fclose(file);

    static const char* const kStrings[] = {"alpha", "86400", "deg.F", nullptr, "   indented"};
    static const float kValues[] = {1.5f,
                                    -2.0f,
                                    3e38f,
                                    std::numeric_limits<float>::quiet_NaN(),
                                    -std::numeric_limits<float>::infinity(),
                                    7.0f,
                                    0.25f,
                                    12.0f};
    const std::size_t value_count = data[0] % (std::size(kValues) + 1);
    tarnvel::services::MessageArguments arguments;
    arguments.values = {kValues, value_count};
    arguments.strings = {kStrings, std::size(kStrings)};
    for (std::size_t i = 0; i < catalogue.size() && i < 16; ++i) {
        tarnvel::services::msgFormatRecord(catalogue.record(i), arguments);
    }
    return 0;
}
