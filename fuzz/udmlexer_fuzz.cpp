// Feeds arbitrary bytes to the UDM text lexer and the keyword recogniser:
// every input must end in the end token or a lexer error, with tokens that
// respect the format's limits.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "udm/udm_keywords.h"
#include "udm/udm_lexer.h"
#include "udm/udm_stream.h"

using tarnvel::udm::kMaxTokenLength;
using tarnvel::udm::kTokenLexError;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    int detected = 0;
    UdmStream* stream = udm_stream_open_read_memory("fuzz", input, 1, &detected);
    if (stream == nullptr) return 0;
    {
        tarnvel::udm::TextLexer lexer(stream);
        UdmToken token;
        std::size_t count = 0;
        int last_line = 1;
        for (;;) {
            const int code = lexer.Next(&token);
            if (code == UDM_TOKEN_END || code == kTokenLexError) break;
            // Every token takes at least one byte; lines never go back.
            if (++count > size || lexer.line() < last_line) __builtin_trap();
            last_line = lexer.line();
            if (token.text.size() > kMaxTokenLength) __builtin_trap();
            if (code == UDM_TOKEN_WORD) {
                const int keyword = tarnvel::udm::RecognizeKeyword(token.text, 0);
                if (keyword != 0 && token.text.size() < tarnvel::udm::kKeywordLength) {
                    __builtin_trap();
                }
            }
        }
    }
    udm_stream_close(stream);
    return 0;
}
