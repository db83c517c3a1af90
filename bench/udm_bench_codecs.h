// What the UDM benchmarks compare against, shared by them: a model written
// to memory, the deflate stream of a packed file with its keystream taken
// off, and zlib and ISA-L alone inflating or deflating the same bytes
// (raw deflate, window bits -15, default level, memory level 8, 4096-byte
// input chunks, output discarded).
#pragma once

#include <isa-l/igzip_lib.h>
#include <malloc.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "services/sypmem.h"
#include "udm/udm.h"
#include "udm/udm_encodings.h"

namespace udm_bench {

inline constexpr std::size_t kChunk = 4096;

// Heap bytes in use: C runtime blocks and the pages of the small-block
// allocator that hold live blocks.
inline std::size_t HeapInUse() {
    constexpr std::size_t kPageBytes = 4096;
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd +
           tarnvel::services::GetSmallBlockStats().pages_in_use * kPageBytes;
}

// The current model written in a mode, as the bytes of its file.
inline std::string WriteToMemory(int mode) {
    std::FILE* file = std::tmpfile();
    udm_model_write_file(file, "bench", mode);
    std::string bytes(static_cast<std::size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size()) bytes.clear();
    std::fclose(file);
    return bytes;
}

// The deflate stream of a packed file: the bytes after the header with the
// keystream taken off (the trailer is left at the end).
inline std::string UnscrambledDeflate(const std::string& packed) {
    using tarnvel::udm::encoding_info;
    std::string body = packed.substr(encoding_info(tarnvel::udm::kEncodingPacked).header_size);
    std::array<std::uint8_t, 256> s = tarnvel::udm::kKeystreamInit;
    unsigned i = 0;
    unsigned j = 0;
    for (char& byte : body) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        byte = static_cast<char>(byte ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return body;
}

// zlib's raw inflate, 4096-byte input and output chunks; the bytes made.
inline std::size_t ZlibInflateAlone(const std::string& deflated) {
    z_stream zs{};
    inflateInit2(&zs, tarnvel::udm::kDeflateWindowBits);
    std::array<unsigned char, kChunk> out;
    std::size_t produced = 0;
    std::size_t offset = 0;
    int result = Z_OK;
    while (result == Z_OK) {
        if (zs.avail_in == 0) {
            const std::size_t take = std::min(kChunk, deflated.size() - offset);
            zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data() + offset));
            zs.avail_in = static_cast<uInt>(take);
            offset += take;
        }
        zs.next_out = out.data();
        zs.avail_out = kChunk;
        result = inflate(&zs, Z_NO_FLUSH);
        produced += kChunk - zs.avail_out;
    }
    inflateEnd(&zs);
    return produced;
}

// ISA-L's raw inflate as the packed reader runs it: 4096-byte input chunks,
// output into a 256 KiB window, the trailer checked; the bytes made.
inline std::size_t IsalInflateAlone(const std::string& deflated) {
    constexpr std::size_t kWindow = 256 * 1024;
    auto state = std::make_unique<inflate_state>();
    std::vector<std::uint8_t> out(kWindow);
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_GZIP_NO_HDR_VER;
    std::size_t produced = 0;
    std::size_t offset = 0;
    while (state->block_state != ISAL_BLOCK_FINISH) {
        if (state->avail_in == 0) {
            if (offset == deflated.size()) break;
            const std::size_t take = std::min(kChunk, deflated.size() - offset);
            state->next_in =
                reinterpret_cast<std::uint8_t*>(const_cast<char*>(deflated.data() + offset));
            state->avail_in = static_cast<std::uint32_t>(take);
            offset += take;
        }
        state->next_out = out.data();
        state->avail_out = static_cast<std::uint32_t>(out.size());
        if (isal_inflate(state.get()) != ISAL_DECOMP_OK) break;
        produced += out.size() - state->avail_out;
    }
    return produced;
}

// zlib's raw deflate of the bytes in 4096-byte chunks; the bytes made.
inline std::size_t ZlibDeflateAlone(const std::string& input) {
    z_stream zs{};
    deflateInit2(&zs, Z_DEFAULT_COMPRESSION, Z_DEFLATED, tarnvel::udm::kDeflateWindowBits,
                 tarnvel::udm::kDeflateMemLevel, Z_DEFAULT_STRATEGY);
    std::array<unsigned char, kChunk> out;
    std::size_t produced = 0;
    std::size_t offset = 0;
    int flush = Z_NO_FLUSH;
    do {
        const std::size_t take = std::min<std::size_t>(kChunk, input.size() - offset);
        zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data() + offset));
        zs.avail_in = static_cast<uInt>(take);
        offset += take;
        flush = offset == input.size() ? Z_FINISH : Z_NO_FLUSH;
        do {
            zs.next_out = out.data();
            zs.avail_out = kChunk;
            deflate(&zs, flush);
            produced += kChunk - zs.avail_out;
        } while (zs.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&zs);
    return produced;
}

// The uncompressed token bytes of a packed file.
inline std::string InflatedTokens(const std::string& packed) {
    const std::string deflated = UnscrambledDeflate(packed);
    std::string tokens;
    z_stream zs{};
    inflateInit2(&zs, tarnvel::udm::kDeflateWindowBits);
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(deflated.data()));
    zs.avail_in = static_cast<uInt>(deflated.size());
    std::array<char, 1 << 16> out;
    int result = Z_OK;
    while (result == Z_OK) {
        zs.next_out = reinterpret_cast<Bytef*>(out.data());
        zs.avail_out = static_cast<uInt>(out.size());
        result = inflate(&zs, Z_NO_FLUSH);
        tokens.append(out.data(), out.size() - zs.avail_out);
    }
    inflateEnd(&zs);
    return tokens;
}

}  // namespace udm_bench
