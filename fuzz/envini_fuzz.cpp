// Feeds arbitrary bytes to the ini file reader and to the reference
// expansion of registry values. The first line names the section and the
// key (separated by a tab); the rest is the ini file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "services/envlookup.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tarnvel::services;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t line_end = input.find('\n');
    const std::string_view query = input.substr(0, line_end);
    const std::size_t tab = query.find('\t');
    const std::string section(query.substr(0, tab));
    const std::string key(tab == std::string_view::npos ? "" : query.substr(tab + 1));
    std::string file(line_end == std::string_view::npos ? "" : input.substr(line_end + 1));

    std::FILE* stream = file.empty() ? nullptr : fmemopen(file.data(), file.size(), "r");
    if (stream != nullptr) {
        const std::string value = IniValueIn(stream, section, key);
        std::fclose(stream);
        if (value.find('\n') != std::string::npos) std::abort();
        ExpandReferences(value);
    }
    ExpandReferences(input);
    FromFirstDigit(std::string(input.substr(0, 64)).c_str(), 16);
    return 0;
}
