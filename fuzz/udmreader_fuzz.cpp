// Feeds arbitrary bytes to the UDM reader as a file: encoding detection,
// every accepted encoding (text, gzip text, scrambled text, packed), the
// lexer, keyword recognition, the parser and its recovery must end every
// input with a status, never a crash, a hang or a leak. A successful read
// must leave a model that writes out again.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "udm/udm.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::string bytes(reinterpret_cast<const char*>(data), size);
    std::FILE* file = fmemopen(bytes.data(), bytes.size(), "rb");
    if (file == nullptr) return 0;
    UdmModel* model = nullptr;
    if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) == UDM_OK) {
        const int status = udm_model_read_file(file, "fuzz", UDM_MODE_AS_LOADED);
        if (status != UDM_OK && status != UDM_PARSE_FAILED && status != UDM_BAD_ARGUMENT) {
            __builtin_trap();
        }
        if (status == UDM_OK) {
            std::FILE* sink = std::fopen("/dev/null", "wb");
            if (sink != nullptr) {
                udm_model_write_file(sink, "fuzz-out", UDM_MODE_AS_LOADED);
                std::fclose(sink);
            }
        }
        udm_model_destroy(&model);
    }
    std::fclose(file);
    return 0;
}
