// Feeds arbitrary bytes to the UDM stream reader: encoding detection, gzip
// header parsing, inflate, unscrambling and the binary token decoder must
// end every input with a token sequence or a status, never a crash, a hang
// or an allocation the input does not back.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "udm/udm_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    int detected = 0;
    UdmStream* stream = udm_stream_open_read_memory("fuzz", input, 0, &detected);
    if (stream == nullptr) return 0;
    if (detected == 2 || detected == 3 || detected == 4 || detected == 8) {
        UdmToken token;
        while (udm_stream_get(stream, &token) != UDM_TOKEN_END) {
        }
    } else {
        while (udm_stream_getc(stream) >= 0) {
        }
    }
    udm_stream_close(stream);
    return 0;
}
