// Reading a UDM file into the current model: the encoding is detected from
// the first bytes and checked against the read mode, then the parser runs
// over the stream's tokens (through the text lexer for text encodings).
#include <array>
#include <cstdio>
#include <memory>
#include <mutex>

#include "udm/udm.h"
#include "udm/udm_binary_reader.h"
#include "udm/udm_encodings.h"
#include "udm/udm_lexer.h"
#include "udm/udm_model.h"
#include "udm/udm_reader.h"
#include "udm/udm_stream.h"

namespace tarnvel::udm {
namespace {

// Encoding 7: compressed text with keystream scrambling, accepted as packed.
constexpr int kEncodingScrambledText = 7;

// Whether a read mode accepts an encoding, and whether the encoding counts
// as packed.
bool Accepts(int read_mode, int encoding, bool* packed) {
    const bool text = encoding == kEncodingText || encoding == kEncodingGzipText;
    *packed = encoding == kEncodingScrambledText || encoding == kEncodingPacked;
    switch (read_mode) {
        case UDM_MODE_TEXT:
            return text;
        case UDM_MODE_PACKED:
            return *packed;
        case UDM_MODE_AS_LOADED:
            return text || *packed;
        default:
            return false;
    }
}

// The parser holds process-wide state: one read at a time.
std::mutex& ReadLock() {
    static std::mutex lock;
    return lock;
}

// Reads the rest of a compressed stream so that its trailer is checked; the
// data after ENDF is not parsed.
bool ContainerIsSound(UdmStream* stream) {
    if (encoding_info(udm_stream_encoding(stream)).compressed) {
        std::array<char, kStreamBufferSize> sink;
        while (udm_stream_read(stream, sink.data(), sink.size()) > 0) {
        }
    }
    return udm_stream_status(stream) == 0;
}

// Parses through the token source of the stream's encoding: the text
// lexer, the window decoder of binary tokens, or the stream's own decoder.
int ParseStream(UdmStream* stream) {
    const int encoding = udm_stream_encoding(stream);
    std::unique_ptr<TextLexer> lexer;
    std::unique_ptr<BinaryTokenReader> binary;
    if (!encoding_info(encoding).binary) {
        lexer = std::make_unique<TextLexer>(stream);
        lexer->Attach();
    } else if (BinaryTokenReader::Serves(encoding)) {
        binary = std::make_unique<BinaryTokenReader>(stream);
        binary->Attach();
    }
    const int result = udm_parse(stream);
    if (result == UDM_PARSE_NO_MEMORY) return UDM_NO_MEMORY;
    return result == UDM_PARSE_ACCEPTED && ContainerIsSound(stream) ? UDM_OK : UDM_PARSE_FAILED;
}

}  // namespace
}  // namespace tarnvel::udm

using namespace tarnvel::udm;

namespace {
thread_local int g_read_encoding = 0;
}  // namespace

int udm_read_encoding() {
    return g_read_encoding;
}

int udm_model_read_file(std::FILE* file, const char* path, int read_mode) {
    g_read_encoding = 0;
    if (file == nullptr) return UDM_BAD_ARGUMENT;
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    if (!IsInitialised(model)) return UDM_NOT_INITIALISED;
    const std::lock_guard<std::mutex> hold(ReadLock());
    ResetDropRecord();
    int encoding = 0;
    UdmStream* stream = udm_stream_open_read(path != nullptr ? path : "", file, 0, &encoding);
    g_read_encoding = encoding;
    bool packed = false;
    int status = UDM_BAD_ARGUMENT;
    if (stream != nullptr && Accepts(read_mode, encoding, &packed)) {
        model->title.loaded_packed = packed ? 1 : 0;
        status = ParseStream(stream);
    }
    udm_stream_close(stream);
    std::clearerr(file);
    return status;
}
