// The UDM stream layer: encoding headers and their detection, the 4096-byte
// transfer buffers, the compressed container (raw deflate, CRC-32 and
// length trailer, gzip header parsing) and the scrambling of the bytes
// after the header. The token writers and the binary token reader sit on
// top of this in udm_token_io.cpp.
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "udm/udm_crc32.h"
#include "udm/udm_stream.h"
#include "udm/udm_stream_impl.h"

using tarnvel::udm::Endpoint;
using tarnvel::udm::kStatusCorrupt;
using tarnvel::udm::kStatusReadFailed;
using tarnvel::udm::kStatusWriteFailed;

namespace tarnvel::udm {

Endpoint Endpoint::of_file(std::FILE* file) {
    Endpoint endpoint;
    endpoint.file_ = file;
    return endpoint;
}

Endpoint Endpoint::of_output(std::string* out) {
    Endpoint endpoint;
    endpoint.out_ = out;
    return endpoint;
}

Endpoint Endpoint::of_input(std::string_view in) {
    Endpoint endpoint;
    endpoint.in_ = in;
    return endpoint;
}

std::size_t Endpoint::read(std::uint8_t* buffer, std::size_t size, bool* failed) {
    if (file_ != nullptr) {
        std::size_t got = std::fread(buffer, 1, size, file_);
        if (got < size && std::ferror(file_)) *failed = true;
        return got;
    }
    std::size_t got = std::min(size, in_.size() - in_pos_);
    if (got > 0) std::memcpy(buffer, in_.data() + in_pos_, got);
    in_pos_ += got;
    return got;
}

bool Endpoint::write(const std::uint8_t* bytes, std::size_t size) {
    if (size == 0) return true;
    if (file_ != nullptr) return std::fwrite(bytes, 1, size, file_) == size;
    if (out_ == nullptr) return false;
    out_->append(reinterpret_cast<const char*>(bytes), size);
    return true;
}

bool Endpoint::flush() {
    return file_ == nullptr || std::fflush(file_) == 0;
}

namespace {

// The gzip header flags that announce optional fields.
constexpr int kGzipHeaderCrc = 2;
constexpr int kGzipExtra = 4;
constexpr int kGzipName = 8;
constexpr int kGzipComment = 16;
// Flags from this value up are reserved: such a header is unusable.
constexpr int kGzipReservedFlags = 32;
// The only compression method of the container: deflate.
constexpr int kGzipMethodDeflate = 8;

void put_le32(std::uint8_t* out, std::uint32_t value) {
    for (int n = 0; n < 4; ++n) out[n] = static_cast<std::uint8_t>(value >> (8 * n));
}

}  // namespace
}  // namespace tarnvel::udm

UdmStream::UdmStream(int encoding_number, const char* file_name, Endpoint endpoint)
    : encoding(encoding_number), name(file_name != nullptr ? file_name : ""), io(endpoint) {
    set_encoding(encoding_number);
}

UdmStream::~UdmStream() {
    if (zlib_ready) deflateEnd(&zlib);
}

void UdmStream::set_encoding(int number) {
    using tarnvel::udm::Scrambler;
    encoding = number;
    const tarnvel::udm::EncodingInfo& row = info();
    container_scrambler =
        Scrambler(row.compressed ? row.scrambling : tarnvel::udm::Scrambling::none);
    value_scrambler = Scrambler(row.compressed ? tarnvel::udm::Scrambling::none : row.scrambling);
}

// ---- writing ---------------------------------------------------------------

bool UdmStream::start_writing() {
    writing = true;
    if (info().compressed) {
        if (deflateInit2(&zlib, Z_DEFAULT_COMPRESSION, Z_DEFLATED, tarnvel::udm::kDeflateWindowBits,
                         tarnvel::udm::kDeflateMemLevel, Z_DEFAULT_STRATEGY) != Z_OK) {
            return false;
        }
        zlib_ready = true;
        zlib.next_out = file_side.data();
        zlib.avail_out = static_cast<uInt>(file_side.size());
        crc = 0;
    }
    std::span<const std::uint8_t> header = tarnvel::udm::encoding_header(encoding);
    if (!io.write(header.data(), header.size())) fail(kStatusWriteFailed);
    return true;
}

// Appends content bytes that fill the buffer, flushing each full buffer.
void UdmStream::put_bytes_spanning(const void* bytes, std::size_t size) {
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    while (size > 0) {
        std::size_t count = std::min(size, content.size() - content_used);
        std::memcpy(content.data() + content_used, next, count);
        content_used += count;
        next += count;
        size -= count;
        if (content_used == content.size()) flush_content(Z_NO_FLUSH);
    }
}

void UdmStream::put_value_bytes(const void* bytes, std::size_t size) {
    if (value_scrambler.kind() == tarnvel::udm::Scrambling::none) {
        put_bytes(bytes, size);
        return;
    }
    const auto* next = static_cast<const std::uint8_t*>(bytes);
    std::array<std::uint8_t, 256> chunk;
    while (size > 0) {
        std::size_t count = std::min(size, chunk.size());
        std::memcpy(chunk.data(), next, count);
        value_scrambler.apply(chunk.data(), count);
        put_bytes(chunk.data(), count);
        next += count;
        size -= count;
    }
}

// Hands the buffered content on: straight to the file, or through the
// checksum and deflate (flush_mode Z_FINISH ends the deflate stream).
void UdmStream::flush_content(int flush_mode) {
    if (!info().compressed) {
        if (!io.write(content.data(), content_used)) fail(kStatusWriteFailed);
        content_used = 0;
        return;
    }
    crc = tarnvel::udm::crc32_update(crc, content.data(), content_used);
    length += static_cast<std::uint32_t>(content_used);
    zlib.next_in = content.data();
    zlib.avail_in = static_cast<uInt>(content_used);
    for (;;) {
        int result = deflate(&zlib, flush_mode);
        if (result == Z_STREAM_ERROR) {
            fail(kStatusWriteFailed);
            break;
        }
        if (zlib.avail_out == 0) drain_compressed();
        bool done = flush_mode == Z_FINISH ? result == Z_STREAM_END
                                           : zlib.avail_in == 0 && zlib.avail_out != 0;
        if (done) break;
    }
    content_used = 0;
}

// Scrambles the compressed bytes gathered so far and writes them.
void UdmStream::drain_compressed() {
    std::size_t count = file_side.size() - zlib.avail_out;
    container_scrambler.apply(file_side.data(), count);
    if (!io.write(file_side.data(), count)) fail(kStatusWriteFailed);
    zlib.next_out = file_side.data();
    zlib.avail_out = static_cast<uInt>(file_side.size());
}

// Appends bytes after the deflate stream (the trailer) to the output.
void UdmStream::put_compressed(const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        if (zlib.avail_out == 0) drain_compressed();
        std::size_t count = std::min<std::size_t>(size, zlib.avail_out);
        std::memcpy(zlib.next_out, bytes, count);
        zlib.next_out += count;
        zlib.avail_out -= static_cast<uInt>(count);
        bytes += count;
        size -= count;
    }
}

void UdmStream::finish_writing() {
    if (finished) return;
    if (info().compressed) {
        flush_content(Z_FINISH);
        std::array<std::uint8_t, tarnvel::udm::kTrailerSize> trailer;
        tarnvel::udm::put_le32(trailer.data(), crc);
        tarnvel::udm::put_le32(trailer.data() + 4, length);
        put_compressed(trailer.data(), trailer.size());
        drain_compressed();
    } else {
        flush_content(Z_NO_FLUSH);
    }
    if (!io.flush()) fail(kStatusWriteFailed);
    finished = true;
}

// ---- reading ---------------------------------------------------------------

// Reads the next chunk of raw input into the file-side buffer.
bool UdmStream::raw_refill() {
    raw_pos = 0;
    raw_end = 0;
    if (raw_exhausted) return false;
    bool failed = false;
    raw_end = io.read(file_side.data(), file_side.size(), &failed);
    if (failed) fail(kStatusReadFailed);
    if (raw_end < file_side.size()) raw_exhausted = true;
    return raw_end > 0;
}

int UdmStream::raw_byte() {
    if (raw_pos == raw_end && !raw_refill()) return -1;
    return file_side[raw_pos++];
}

bool UdmStream::skip_raw(std::size_t count) {
    for (; count > 0; --count) {
        if (raw_byte() < 0) return false;
    }
    return true;
}

// Skips a zero-terminated text of the gzip header.
bool UdmStream::skip_raw_text() {
    for (;;) {
        int byte = raw_byte();
        if (byte < 0) return false;
        if (byte == 0) return true;
    }
}

// Reads a gzip header (its two magic bytes already matched): deflate
// method, no reserved flags, and the optional fields skipped.
bool UdmStream::parse_gzip_header() {
    using namespace tarnvel::udm;
    if (!skip_raw(2)) return false;
    int method = raw_byte();
    int flags = raw_byte();
    if (method != kGzipMethodDeflate || flags < 0 || flags >= kGzipReservedFlags) return false;
    // Modification time, extra flags and operating system.
    if (!skip_raw(6)) return false;
    if ((flags & kGzipExtra) != 0) {
        int low = raw_byte();
        int high = raw_byte();
        if (high < 0 || !skip_raw(static_cast<std::size_t>(low | (high << 8)))) return false;
    }
    if ((flags & kGzipName) != 0 && !skip_raw_text()) return false;
    if ((flags & kGzipComment) != 0 && !skip_raw_text()) return false;
    return (flags & kGzipHeaderCrc) == 0 || skip_raw(2);
}

// The encoding whose header starts the raw input; text when none does or
// the input is shorter than 8 bytes.
int UdmStream::detect_encoding() const {
    constexpr std::size_t kProbeSize = 8;
    if (raw_end < kProbeSize) return tarnvel::udm::kEncodingText;
    for (int number = 2; number < tarnvel::udm::kEncodingCount; ++number) {
        const tarnvel::udm::EncodingInfo& row = tarnvel::udm::encoding_info(number);
        if (std::memcmp(file_side.data(), row.header.data(), row.detect_size) == 0) return number;
    }
    return tarnvel::udm::kEncodingText;
}

// Moves past the header of the stream's encoding; text keeps every byte.
bool UdmStream::consume_header() {
    if (encoding == tarnvel::udm::kEncodingGzipText) return parse_gzip_header();
    return skip_raw(info().header_size);
}

bool UdmStream::start_reading(int requested, int* detected) {
    raw_refill();
    int found = requested == tarnvel::udm::kEncodingText ? requested : detect_encoding();
    if (requested != 0 && found != requested) {
        *detected = 0;
        return false;
    }
    *detected = found;
    set_encoding(found);
    if (!consume_header()) return false;
    if (!info().compressed) {
        read_pos = file_side.data() + raw_pos;
        read_end = file_side.data() + raw_end;
        return true;
    }
    // A raw deflate stream with the full 32 KiB window, followed by the
    // gzip trailer, which inflate checks.
    inflater = std::make_unique<inflate_state>();
    isal_inflate_init(inflater.get());
    inflater->crc_flag = ISAL_GZIP_NO_HDR_VER;
    inflater->hist_bits = 0;
    container_scrambler.apply(file_side.data() + raw_pos, raw_end - raw_pos);
    inflater->next_in = file_side.data() + raw_pos;
    inflater->avail_in = static_cast<std::uint32_t>(raw_end - raw_pos);
    read_pos = read_end = content.data();
    return true;
}

bool UdmStream::refill_content() {
    if (finished) return false;
    return info().compressed ? refill_inflated() : refill_plain();
}

bool UdmStream::refill_plain() {
    if (!raw_refill()) {
        finished = true;
        return false;
    }
    read_pos = file_side.data();
    read_end = file_side.data() + raw_end;
    return true;
}

// Gives inflate the next raw chunk, unscrambled.
bool UdmStream::feed_inflate() {
    if (!raw_refill()) return false;
    container_scrambler.apply(file_side.data(), raw_end);
    inflater->next_in = file_side.data();
    inflater->avail_in = static_cast<std::uint32_t>(raw_end);
    return true;
}

// Inflates the next chunk of content into the content buffer.
bool UdmStream::refill_inflated() {
    const std::size_t produced = inflate_into(content.data(), content.size());
    if (produced == 0) return false;
    read_pos = content.data();
    read_end = content.data() + produced;
    return true;
}

// Inflates up to size bytes into out; how many were made, 0 only at the end
// of the data or on a failure. Inflate itself checks the trailer (CRC-32
// and length of the data) when the deflate stream ends. Every pass either
// takes new input or makes inflate progress, so a corrupt stream ends
// instead of spinning.
std::size_t UdmStream::inflate_into(std::uint8_t* out, std::size_t size) {
    constexpr std::size_t kLargestStep = std::size_t{1} << 30;
    size = std::min(size, kLargestStep);
    inflate_state& state = *inflater;
    for (;;) {
        // At the end of the input inflate may still hold a few bytes it
        // read ahead; a pass without input or output means the input ended
        // inside the deflate stream or its trailer.
        if (state.avail_in == 0) feed_inflate();
        const std::uint32_t input_before = state.avail_in;
        state.next_out = out;
        state.avail_out = static_cast<std::uint32_t>(size);
        const int result = isal_inflate(&state);
        const std::size_t produced = size - state.avail_out;
        const bool ended = state.block_state == ISAL_BLOCK_FINISH;
        if (result == ISAL_INCORRECT_CHECKSUM) {
            // The data is whole but does not match its trailer.
            fail(kStatusCorrupt);
            finished = true;
            return produced;
        }
        const bool stuck = produced == 0 && state.avail_in == input_before && !ended;
        if ((result != ISAL_DECOMP_OK && result != ISAL_END_INPUT) || stuck) {
            fail(kStatusCorrupt);
            finished = true;
            return 0;
        }
        if (ended) finished = true;
        if (produced > 0 || finished) return produced;
    }
}

std::size_t UdmStream::read_bytes(std::uint8_t* buffer, std::size_t size) {
    std::size_t got = 0;
    while (got < size) {
        if (read_pos == read_end && size - got >= content.size() && info().compressed) {
            // A large request is inflated straight into the caller's buffer.
            if (finished) break;
            const std::size_t produced = inflate_into(buffer + got, size - got);
            if (produced == 0) break;
            got += produced;
            continue;
        }
        if (read_pos == read_end && !refill_content()) break;
        std::size_t count = std::min<std::size_t>(size - got, read_end - read_pos);
        std::memcpy(buffer + got, read_pos, count);
        read_pos += count;
        got += count;
    }
    return got;
}

bool UdmStream::read_value_bytes(void* buffer, std::size_t size) {
    auto* bytes = static_cast<std::uint8_t*>(buffer);
    if (read_bytes(bytes, size) < size) {
        fail(kStatusCorrupt);
        return false;
    }
    value_scrambler.apply(bytes, size);
    return true;
}

// ---- the stream interface --------------------------------------------------

namespace {

bool valid_encoding(int encoding) {
    return encoding >= 0 && encoding < tarnvel::udm::kEncodingCount;
}

UdmStream* make_write_stream(const char* name, int encoding, Endpoint io) {
    if (!valid_encoding(encoding)) return nullptr;
    udm_float_format();
    try {
        auto stream = std::make_unique<UdmStream>(encoding, name, io);
        if (!stream->start_writing()) return nullptr;
        return stream.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

UdmStream* make_read_stream(const char* name, Endpoint io, int encoding, int* detected) {
    int found = 0;
    UdmStream* result = nullptr;
    if (valid_encoding(encoding)) {
        try {
            auto stream = std::make_unique<UdmStream>(encoding, name, io);
            if (stream->start_reading(encoding, &found)) result = stream.release();
        } catch (const std::bad_alloc&) {
            result = nullptr;
        }
    }
    if (detected != nullptr) *detected = found;
    return result;
}

}  // namespace

UdmStream* udm_stream_open_write(const char* name, int encoding, std::FILE* file) {
    if (file == nullptr) return nullptr;
    return make_write_stream(name, encoding, Endpoint::of_file(file));
}

UdmStream* udm_stream_open_write_memory(const char* name, int encoding, std::string* out) {
    if (out == nullptr) return nullptr;
    return make_write_stream(name, encoding, Endpoint::of_output(out));
}

void udm_stream_write(UdmStream* stream, const void* data, std::size_t size) {
    if (stream == nullptr || !stream->writing || stream->finished || data == nullptr) return;
    stream->put_bytes(data, size);
}

UdmStream* udm_stream_open_read(const char* name, std::FILE* file, int encoding, int* detected) {
    if (file == nullptr) {
        if (detected != nullptr) *detected = 0;
        return nullptr;
    }
    return make_read_stream(name, Endpoint::of_file(file), encoding, detected);
}

UdmStream* udm_stream_open_read_memory(const char* name, std::string_view data, int encoding,
                                       int* detected) {
    return make_read_stream(name, Endpoint::of_input(data), encoding, detected);
}

int udm_stream_getc(UdmStream* stream) {
    if (stream == nullptr || stream->writing) return -1;
    return stream->next_byte();
}

std::size_t udm_stream_read(UdmStream* stream, void* buffer, std::size_t size) {
    if (stream == nullptr || stream->writing || buffer == nullptr) return 0;
    return stream->read_bytes(static_cast<std::uint8_t*>(buffer), size);
}

void udm_stream_set_text_reader(UdmStream* stream, UdmTextTokenReader reader, void* state) {
    if (stream == nullptr) return;
    stream->text_reader = reader;
    stream->text_reader_state = state;
}

int udm_stream_encoding(const UdmStream* stream) {
    return stream != nullptr ? stream->encoding : 0;
}

const char* udm_stream_name(const UdmStream* stream) {
    return stream != nullptr ? stream->name.c_str() : "";
}

int udm_stream_status(const UdmStream* stream) {
    return stream != nullptr ? stream->status : 0;
}

int udm_stream_close(UdmStream* stream) {
    if (stream == nullptr) return 0;
    std::unique_ptr<UdmStream> owned(stream);
    if (owned->writing) owned->finish_writing();
    return owned->status;
}
