// CRC-32 (the deflate container's checksum, reflected polynomial
// 0xEDB88320) over large blocks. On processors with carry-less
// multiplication the bulk of a block is folded 64 bytes at a time, which
// costs a small fraction of a table-driven pass; the rest of the block and
// processors without it go to zlib's crc32. Both give the same value.
#include "udm/udm_crc32.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define TARNVEL_UDM_CRC_FOLDING 1
#endif

namespace tarnvel::udm {
namespace {

std::uint32_t zlib_crc32(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
    while (size > 0) {
        const uInt step = size > (1u << 30) ? (1u << 30) : static_cast<uInt>(size);
        crc = static_cast<std::uint32_t>(crc32(crc, bytes, step));
        bytes += step;
        size -= step;
    }
    return crc;
}

#ifdef TARNVEL_UDM_CRC_FOLDING

// Folding constants of the reflected polynomial: x^(4*128+32) and
// x^(4*128-32) mod P for the 4-lane fold, x^(128+32) and x^(128-32) for the
// single-lane fold, x^64 for 128 -> 64 bits, and P' and P for the Barrett
// reduction.
alignas(16) constexpr std::uint64_t kFold4[2] = {0x0154442bd4, 0x01c6e41596};
alignas(16) constexpr std::uint64_t kFold1[2] = {0x01751997d0, 0x00ccaa009e};
alignas(16) constexpr std::uint64_t kFold64[2] = {0x0163cd6124, 0};
alignas(16) constexpr std::uint64_t kBarrett[2] = {0x01db710641, 0x01f7011641};

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i lane, __m128i k,
                                                             __m128i next) {
    const __m128i low = _mm_clmulepi64_si128(lane, k, 0x00);
    const __m128i high = _mm_clmulepi64_si128(lane, k, 0x11);
    return _mm_xor_si128(_mm_xor_si128(high, low), next);
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const std::uint8_t* at) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
}

// The CRC register (not inverted) after size bytes, size a multiple of 16
// and at least 64.
__attribute__((target("pclmul,sse4.1"))) std::uint32_t fold_blocks(std::uint32_t reg,
                                                                   const std::uint8_t* bytes,
                                                                   std::size_t size) {
    __m128i x1 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(reg)));
    __m128i x2 = load(bytes + 16);
    __m128i x3 = load(bytes + 32);
    __m128i x4 = load(bytes + 48);
    bytes += 64;
    size -= 64;
    __m128i k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold4));
    for (; size >= 64; bytes += 64, size -= 64) {
        x1 = fold(x1, k, load(bytes));
        x2 = fold(x2, k, load(bytes + 16));
        x3 = fold(x3, k, load(bytes + 32));
        x4 = fold(x4, k, load(bytes + 48));
    }
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kFold1));
    x1 = fold(x1, k, x2);
    x1 = fold(x1, k, x3);
    x1 = fold(x1, k, x4);
    for (; size >= 16; bytes += 16, size -= 16) x1 = fold(x1, k, load(bytes));

    // 128 -> 64 bits.
    const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);
    __m128i x2b = _mm_clmulepi64_si128(x1, k, 0x10);
    x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), x2b);
    k = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kFold64));
    x2b = _mm_srli_si128(x1, 4);
    x1 = _mm_xor_si128(_mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x00), x2b);

    // Barrett reduction to 32 bits.
    k = _mm_load_si128(reinterpret_cast<const __m128i*>(kBarrett));
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k, 0x10);
    x2b = _mm_clmulepi64_si128(_mm_and_si128(x2b, low32), k, 0x00);
    x1 = _mm_xor_si128(x1, x2b);
    return static_cast<std::uint32_t>(_mm_extract_epi32(x1, 1));
}

bool has_folding() {
    static const bool available =
        __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
    return available;
}

#endif

}  // namespace

std::uint32_t crc32_update(std::uint32_t crc, const std::uint8_t* bytes, std::size_t size) {
#ifdef TARNVEL_UDM_CRC_FOLDING
    constexpr std::size_t kFoldMinimum = 64;
    if (size >= kFoldMinimum && has_folding()) {
        const std::size_t folded = size & ~static_cast<std::size_t>(15);
        crc = ~fold_blocks(~crc, bytes, folded);
        bytes += folded;
        size -= folded;
    }
#endif
    return zlib_crc32(crc, bytes, size);
}

}  // namespace tarnvel::udm
