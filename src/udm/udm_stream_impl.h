// Inside a UDM stream: the file-side endpoint, the transfer buffers, the
// deflate/inflate container and the scramblers. Shared by the stream layer
// (udm_stream.cpp) and the token writers and reader (udm_token_io.cpp);
// nothing outside the stream layer includes it.
#pragma once

#include <isa-l/igzip_lib.h>
#include <zlib.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "udm/udm_encodings.h"
#include "udm/udm_scramble.h"
#include "udm/udm_stream.h"

namespace tarnvel::udm {

// UDM statuses a stream reports.
inline constexpr int kStatusReadFailed = 1003;
inline constexpr int kStatusCorrupt = 1020;
inline constexpr int kStatusWriteFailed = 1021;
// A text longer than a text file carries (udm_model_write_file gives 1003).
inline constexpr int kStatusTextTooLong = 1003;

// The longest word, string or comment a binary stream may carry. Real
// values are a few hundred bytes; the cap keeps a corrupt length from
// driving memory use.
inline constexpr std::uint32_t kMaxBinaryTextLength = 64u << 20;

// True when a product-supplied float format may be handed to printf: 2 to
// 63 characters, exactly one conversion of a double ("%%" aside) with
// flags, at most 3-digit width and precision and an optional 'l', printing
// the largest finite double as at least one character.
bool is_usable_float_format(const char* format);

// Where the file-side bytes of a stream come from or go to: a C stream or
// memory owned by the caller.
class Endpoint {
  public:
    static Endpoint of_file(std::FILE* file);
    static Endpoint of_output(std::string* out);
    static Endpoint of_input(std::string_view in);

    // Reads up to size bytes; fewer only at end of input or on a read error
    // (then *failed is set).
    std::size_t read(std::uint8_t* buffer, std::size_t size, bool* failed);
    // Writes all bytes; false on a write error.
    bool write(const std::uint8_t* bytes, std::size_t size);
    // Pushes buffered output to the file; false on a write error.
    bool flush();

  private:
    std::FILE* file_ = nullptr;
    std::string* out_ = nullptr;
    std::string_view in_;
    std::size_t in_pos_ = 0;
};

// Scratch text grown in steps of 256 bytes and never shrunk, so formatting a
// token allocates only while the largest token so far grows.
class ScratchBuffer {
  public:
    static constexpr std::size_t kStep = 256;
    ScratchBuffer() : bytes_(kStep) {}
    // Makes room for at least size bytes.
    void reserve(std::size_t size) {
        if (size > bytes_.size()) bytes_.resize((size + kStep - 1) / kStep * kStep);
    }
    char* data() { return bytes_.data(); }
    std::size_t size() const { return bytes_.size(); }

  private:
    std::vector<char> bytes_;
};

}  // namespace tarnvel::udm

struct UdmStream {
    using Buffer = std::array<std::uint8_t, tarnvel::udm::kStreamBufferSize>;

    UdmStream(int encoding_number, const char* file_name, tarnvel::udm::Endpoint io);
    ~UdmStream();
    UdmStream(const UdmStream&) = delete;
    UdmStream& operator=(const UdmStream&) = delete;

    const tarnvel::udm::EncodingInfo& info() const { return tarnvel::udm::encoding_info(encoding); }
    // Records the first failure; later ones keep it.
    void fail(int code) {
        if (status == 0) status = code;
    }

    // ---- writing (udm_stream.cpp) ----
    // Writes the header and prepares deflate; false when deflate cannot start.
    bool start_writing();
    // Appends content bytes; the common case (they fit) stays inline.
    void put_bytes(const void* bytes, std::size_t size) {
        if (size < content.size() - content_used) {
            if (size == 0) return;  // bytes may be null then
            std::memcpy(content.data() + content_used, bytes, size);
            content_used += size;
        } else {
            put_bytes_spanning(bytes, size);
        }
    }
    // Appends value bytes of a binary token, scrambled in encodings 3 and 4.
    void put_value_bytes(const void* bytes, std::size_t size);
    // Flushes, finishes deflate and appends the trailer; once only.
    void finish_writing();

    // ---- reading (udm_stream.cpp) ----
    // Detects or checks the header and prepares inflate; the encoding found
    // (0 for a mismatch with the requested one). False when no stream can be
    // made.
    bool start_reading(int requested, int* detected);
    // The next content byte, or -1 at end of data.
    int next_byte() {
        if (read_pos == read_end && !refill_content()) return -1;
        return *read_pos++;
    }
    // Reads up to size content bytes; how many were read.
    std::size_t read_bytes(std::uint8_t* buffer, std::size_t size);
    // Reads exactly size value bytes of a binary token (unscrambled in
    // encodings 3 and 4); false (and status 1020) when the data ends first.
    bool read_value_bytes(void* buffer, std::size_t size);
    // Sets the encoding and the scramblers it needs.
    void set_encoding(int number);

    int encoding;
    std::string name;
    // 0, or the first UDM status of a failure.
    int status = 0;
    bool writing = false;
    // Write streams: the output is complete. Read streams: no more data.
    bool finished = false;
    // Binary read streams: a byte that is no type byte ended the tokens.
    bool tokens_ended = false;

    tarnvel::udm::Endpoint io;
    // File side: compressed output, or raw input.
    Buffer file_side{};
    // Content side: uncompressed data to write, or inflated data read.
    Buffer content{};
    // Content bytes waiting to be flushed (writing).
    std::size_t content_used = 0;
    // Unread content (reading); points into content or file_side.
    const std::uint8_t* read_pos = nullptr;
    const std::uint8_t* read_end = nullptr;
    // Raw input bytes in file_side (reading).
    std::size_t raw_pos = 0;
    std::size_t raw_end = 0;
    bool raw_exhausted = false;

    // Container state (compressed encodings): zlib deflates when writing,
    // ISA-L inflates when reading (its state is large, so only read streams
    // of a compressed encoding hold one).
    bool zlib_ready = false;
    z_stream zlib{};
    std::unique_ptr<inflate_state> inflater;
    // CRC-32 and length (mod 2^32) of the uncompressed data written.
    std::uint32_t crc = 0;
    std::uint32_t length = 0;
    // Scrambling of the compressed bytes (encodings 6 to 8).
    tarnvel::udm::Scrambler container_scrambler;
    // Scrambling of the token value bytes (encodings 3 and 4).
    tarnvel::udm::Scrambler value_scrambler;

    // Formatting of text tokens; value text of binary tokens read.
    tarnvel::udm::ScratchBuffer scratch;
    std::vector<char> token_text;

    UdmTextTokenReader text_reader = nullptr;
    void* text_reader_state = nullptr;

  private:
    void put_bytes_spanning(const void* bytes, std::size_t size);
    void flush_content(int flush_mode);
    void drain_compressed();
    void put_compressed(const std::uint8_t* bytes, std::size_t size);
    bool raw_refill();
    int raw_byte();
    bool skip_raw(std::size_t count);
    bool skip_raw_text();
    bool parse_gzip_header();
    int detect_encoding() const;
    bool consume_header();
    bool refill_content();
    bool refill_plain();
    bool refill_inflated();
    std::size_t inflate_into(std::uint8_t* out, std::size_t size);
    bool feed_inflate();
};
