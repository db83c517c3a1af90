// Helpers for the UDM stream tests: tokens that own their text, writing a
// token sequence to memory, reading it back, and independent reference
// implementations of the keystream and of raw inflate to check the bytes
// a stream produces.
#pragma once

#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "udm/udm_encodings.h"
#include "udm/udm_stream.h"

namespace udm_stream_test {

// A token whose text outlives the stream it came from.
struct OwnedToken {
    int code = UDM_TOKEN_END;
    std::int32_t integer = 0;
    double real = 0.0;
    std::string text;
    bool operator==(const OwnedToken&) const = default;
};

inline void PrintTo(const OwnedToken& token, std::ostream* out) {
    *out << "{" << token.code << " " << token.integer << " " << token.real << " \"" << token.text
         << "\"}";
}

inline UdmToken View(const OwnedToken& token) {
    UdmToken view;
    view.code = token.code;
    view.integer = token.integer;
    view.real = token.real;
    view.text = token.text;
    return view;
}

inline OwnedToken Own(const UdmToken& token) {
    return {token.code, token.integer, token.real, std::string(token.text)};
}

inline OwnedToken Simple(int code) {
    return {code, 0, 0.0, ""};
}
inline OwnedToken Integer(int code, std::int32_t value) {
    return {code, value, 0.0, ""};
}
inline OwnedToken Real(int code, double value) {
    return {code, 0, value, ""};
}
inline OwnedToken Text(int code, std::string text) {
    return {code, 0, 0.0, std::move(text)};
}

// A token sequence shaped like a small packed property file, with every
// token kind the binary layout knows.
inline std::vector<OwnedToken> SampleTokens() {
    return {
        Text(UDM_TOKEN_WORD, "TITL"),
        Simple(UDM_TOKEN_OPEN),
        Text(UDM_TOKEN_WORD, "NAME"),
        Simple(UDM_TOKEN_OPEN),
        Text(UDM_TOKEN_STRING, "a \"quoted\" \\ name"),
        Simple(UDM_TOKEN_CLOSE),
        Simple(UDM_TOKEN_CLOSE),
        Text(UDM_TOKEN_WORD, "TSET"),
        Simple(UDM_TOKEN_OPEN),
        Integer(UDM_TOKEN_INT32, 21000),
        Integer(UDM_TOKEN_INT32, -7),
        Text(UDM_TOKEN_STRING, ""),
        Integer(UDM_TOKEN_INT16, 300),
        Integer(UDM_TOKEN_INT8, 200),
        Simple(UDM_TOKEN_TRUE),
        Simple(UDM_TOKEN_FALSE),
        Real(UDM_TOKEN_DOUBLE, 473.15),
        Real(UDM_TOKEN_DOUBLE, -1.0e-300),
        Real(UDM_TOKEN_FLOAT, 0.5),
        Text(UDM_TOKEN_COMMENT, "// note"),
        Simple(UDM_TOKEN_CLOSE),
        Text(UDM_TOKEN_WORD, "ENDF"),
    };
}

// Writes the tokens (and the end token) in an encoding to memory.
inline std::string WriteTokens(int encoding, const std::vector<OwnedToken>& tokens) {
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("mem", encoding, &out);
    EXPECT_NE(stream, nullptr);
    for (const OwnedToken& token : tokens) udm_stream_put(stream, View(token));
    udm_stream_put(stream, UdmToken{});
    EXPECT_EQ(udm_stream_close(stream), 0);
    return out;
}

// What a read stream gave: the detected encoding, the tokens or bytes, and
// the final status.
struct ReadBack {
    UdmStream* stream = nullptr;
    int detected = -1;
    int status = -1;
    std::vector<OwnedToken> tokens;
    std::string bytes;
};

// Reads every token of a binary stream in memory.
inline ReadBack ReadTokens(std::string_view data, int requested = 0) {
    ReadBack back;
    back.stream = udm_stream_open_read_memory("mem", data, requested, &back.detected);
    if (back.stream == nullptr) return back;
    UdmToken token;
    while (udm_stream_get(back.stream, &token) != UDM_TOKEN_END) back.tokens.push_back(Own(token));
    back.status = udm_stream_close(back.stream);
    return back;
}

// Reads every content byte of a stream in memory.
inline ReadBack ReadBytes(std::string_view data, int requested = 0) {
    ReadBack back;
    back.stream = udm_stream_open_read_memory("mem", data, requested, &back.detected);
    if (back.stream == nullptr) return back;
    std::array<char, 1000> chunk;
    while (std::size_t got = udm_stream_read(back.stream, chunk.data(), chunk.size())) {
        back.bytes.append(chunk.data(), got);
    }
    back.status = udm_stream_close(back.stream);
    return back;
}

// The bytes after an encoding's header.
inline std::string Body(const std::string& data, int encoding) {
    return data.substr(tarnvel::udm::encoding_info(encoding).header_size);
}

// XORs the bytes with the output of RC4 started from the given
// permutation, written here independently of the stream layer.
inline std::string KeystreamXor(std::string_view bytes, std::array<std::uint8_t, 256> s) {
    std::string out(bytes);
    unsigned i = 0;
    unsigned j = 0;
    for (char& byte : out) {
        i = (i + 1) & 0xFF;
        j = (j + s[i]) & 0xFF;
        std::swap(s[i], s[j]);
        byte = static_cast<char>(byte ^ s[(s[i] + s[j]) & 0xFF]);
    }
    return out;
}

// Inflates a raw deflate stream with plain zlib; `rest` receives the bytes
// after its end. Fails the test on a zlib error.
inline std::string InflateRaw(std::string_view compressed, std::string* rest) {
    z_stream z{};
    EXPECT_EQ(inflateInit2(&z, -15), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    z.avail_in = static_cast<uInt>(compressed.size());
    std::string out;
    int result = Z_OK;
    while (result == Z_OK) {
        std::array<char, 1024> chunk;
        z.next_out = reinterpret_cast<Bytef*>(chunk.data());
        z.avail_out = chunk.size();
        result = inflate(&z, Z_NO_FLUSH);
        out.append(chunk.data(), chunk.size() - z.avail_out);
    }
    EXPECT_EQ(result, Z_STREAM_END);
    *rest = std::string(compressed.substr(compressed.size() - z.avail_in));
    inflateEnd(&z);
    return out;
}

inline std::uint32_t LittleEndian32(std::string_view bytes) {
    std::uint32_t value = 0;
    for (int n = 3; n >= 0; --n) value = (value << 8) | static_cast<std::uint8_t>(bytes[n]);
    return value;
}

inline std::string Hex(std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (char byte : bytes) {
        if (!out.empty()) out += ' ';
        out += kDigits[static_cast<std::uint8_t>(byte) >> 4];
        out += kDigits[static_cast<std::uint8_t>(byte) & 0xF];
    }
    return out;
}

}  // namespace udm_stream_test
