// Reads arbitrary bytes as a units file and looks a few units up in what
// was read.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "services/uniconv.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::FILE* file = fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (file == nullptr) return 0;
    tarnvel::services::UnitsTable table;
    tarnvel::services::unitsReadFile(file, table);
    std::fclose(file);
    for (const char* system : {"METRIC", "english", "SI"}) {
        for (const char* key : {"m", "DEG.F", "g/10 min", ""}) {
            if (const tarnvel::services::UnitsEntry* unit = table.find(system, key)) {
                volatile double shown = unit->factor * 2.0 + unit->offset;
                (void)shown;
            }
        }
    }
    return 0;
}
