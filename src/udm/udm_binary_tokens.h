// The binary token layout of encodings 2, 3, 4 and 8: one type byte, then
// the value; every multi-byte number is big-endian (32-bit halves converted
// with htonl/ntohl, a double sent as its high half first).
#pragma once

#include <arpa/inet.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "udm/udm_stream.h"

namespace tarnvel::udm {

// Value bytes of a token form: a fixed count, or a 4-byte length followed
// by that many bytes.
inline constexpr int kLengthPrefixed = -1;

// One row of the layout: a token code, its type byte and its value bytes.
struct BinaryTokenForm {
    int code;
    std::uint8_t type;
    int value_size;
};

inline constexpr std::array<BinaryTokenForm, 12> kBinaryTokenForms = {{
    {UDM_TOKEN_OPEN, 0x02, 0},
    {UDM_TOKEN_CLOSE, 0x03, 0},
    {UDM_TOKEN_FALSE, 0x04, 0},
    {UDM_TOKEN_TRUE, 0x05, 0},
    {UDM_TOKEN_INT8, 0x06, 1},
    {UDM_TOKEN_INT16, 0x07, 2},
    {UDM_TOKEN_INT32, 0x08, 4},
    {UDM_TOKEN_FLOAT, 0x09, 4},
    {UDM_TOKEN_DOUBLE, 0x0A, 8},
    {UDM_TOKEN_WORD, 0x0B, kLengthPrefixed},
    {UDM_TOKEN_STRING, 0x0C, kLengthPrefixed},
    {UDM_TOKEN_COMMENT, 0x0D, kLengthPrefixed},
}};

// The table holds the codes 258..269 in order, so a code or a type byte
// indexes it directly.
constexpr bool forms_are_consecutive() {
    for (std::size_t n = 0; n < kBinaryTokenForms.size(); ++n) {
        if (kBinaryTokenForms[n].code != UDM_TOKEN_OPEN + static_cast<int>(n)) return false;
        if (kBinaryTokenForms[n].type != kBinaryTokenForms[0].type + n) return false;
    }
    return true;
}
static_assert(forms_are_consecutive());

// The form written for a token code; none for tokens without binary form
// (end, blanks, line breaks).
constexpr const BinaryTokenForm* binary_form_of_code(int code) {
    int index = code - UDM_TOKEN_OPEN;
    if (index < 0 || index >= static_cast<int>(kBinaryTokenForms.size())) return nullptr;
    return &kBinaryTokenForms[static_cast<std::size_t>(index)];
}

// The form of a type byte read from a stream; none for a byte outside
// 0x02..0x0D (which ends the token sequence).
constexpr const BinaryTokenForm* binary_form_of_type(int type) {
    int index = type - kBinaryTokenForms.front().type;
    if (index < 0 || index >= static_cast<int>(kBinaryTokenForms.size())) return nullptr;
    return &kBinaryTokenForms[static_cast<std::size_t>(index)];
}

inline void put_be32(std::uint8_t* out, std::uint32_t value) {
    std::uint32_t net = htonl(value);
    std::memcpy(out, &net, 4);
}

inline std::uint32_t get_be32(const std::uint8_t* in) {
    std::uint32_t net;
    std::memcpy(&net, in, 4);
    return ntohl(net);
}

// Writes the fixed value bytes of a token (value_size of its form) to out.
inline void encode_fixed_value(const UdmToken& token, int value_size, std::uint8_t* out) {
    auto bits = static_cast<std::uint32_t>(token.integer);
    if (value_size == 1) {
        out[0] = static_cast<std::uint8_t>(bits);
    } else if (value_size == 2) {
        out[0] = static_cast<std::uint8_t>(bits >> 8);
        out[1] = static_cast<std::uint8_t>(bits);
    } else if (value_size == 4 && token.code == UDM_TOKEN_FLOAT) {
        auto single = static_cast<float>(token.real);
        std::memcpy(&bits, &single, 4);
        put_be32(out, bits);
    } else if (value_size == 4) {
        put_be32(out, bits);
    } else if (value_size == 8) {
        std::uint64_t wide;
        std::memcpy(&wide, &token.real, 8);
        put_be32(out, static_cast<std::uint32_t>(wide >> 32));
        put_be32(out + 4, static_cast<std::uint32_t>(wide));
    }
}

// Fills the value of a token of the given code from its fixed value bytes.
inline void decode_fixed_value(int code, int value_size, const std::uint8_t* in, UdmToken* token) {
    if (value_size == 1) {
        token->integer = in[0];
    } else if (value_size == 2) {
        token->integer = (in[0] << 8) | in[1];
    } else if (value_size == 4 && code == UDM_TOKEN_FLOAT) {
        std::uint32_t bits = get_be32(in);
        float single;
        std::memcpy(&single, &bits, 4);
        token->real = single;
    } else if (value_size == 4) {
        token->integer = static_cast<std::int32_t>(get_be32(in));
    } else if (value_size == 8) {
        std::uint64_t wide = (std::uint64_t{get_be32(in)} << 32) | get_be32(in + 4);
        std::memcpy(&token->real, &wide, 8);
    }
}

}  // namespace tarnvel::udm
