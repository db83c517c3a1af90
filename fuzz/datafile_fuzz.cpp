// Expands data-file template lists taken from the input. The first line is
// the value of the variable SYPFIND_FUZZ (so references can meet values
// holding "$" and placeholders), the rest is the template list. The
// expansion must end and stay bounded for every input.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "services/sypfind.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    if (input.find('\0') != std::string::npos) return 0;
    const std::size_t line_end = input.find('\n');
    const std::string value = input.substr(0, line_end);
    const std::string templates =
        line_end == std::string::npos ? std::string() : input.substr(line_end + 1);
    setenv("SYPFIND_FUZZ", value.c_str(), 1);
    const auto candidates =
        tarnvel::services::DataFileCandidates("data\\dat", "units97", ".dat", templates.c_str());
    std::size_t total = 0;
    for (const std::string& candidate : candidates) total += candidate.size();
    if (total > 1024u * 1024u) __builtin_trap();
    return 0;
}
