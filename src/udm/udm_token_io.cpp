// The token writers and the binary token reader of the UDM streams. The
// text writer prints each token as the text format spells it; the binary
// writer and reader mirror each other over the layout of
// udm_binary_tokens.h.
#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <limits>

#include "udm/udm_binary_tokens.h"
#include "udm/udm_lexer.h"
#include "udm/udm_stream.h"
#include "udm/udm_stream_impl.h"

namespace tarnvel::udm {
namespace {

// ---- text token writer -----------------------------------------------------

void put_repeated(UdmStream& stream, char byte, std::int32_t count) {
    std::array<char, 64> run;
    run.fill(byte);
    while (count > 0) {
        std::size_t part = std::min<std::size_t>(static_cast<std::size_t>(count), run.size());
        stream.put_bytes(run.data(), part);
        count -= static_cast<std::int32_t>(part);
    }
}

void put_integer(UdmStream& stream, long value) {
    std::array<char, 24> digits;
    auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    stream.put_bytes(digits.data(), static_cast<std::size_t>(result.ptr - digits.data()));
}

// The default "%e" form comes from std::to_chars, which prints the same
// characters as printf ("2.500000e+00", "-nan", "inf") several times
// faster; any other format of the product goes through printf.
bool uses_default_float_form() {
    static const bool is_default = std::strcmp(udm_float_format(), "%e") == 0;
    return is_default;
}

void put_real(UdmStream& stream, double value) {
    if (uses_default_float_form()) {
        // "-1.797693e+308" is the longest form.
        std::array<char, 32> digits;
        constexpr int kPrecision = 6;
        const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value,
                                          std::chars_format::scientific, kPrecision);
        stream.put_bytes(digits.data(), static_cast<std::size_t>(result.ptr - digits.data()));
        return;
    }
    const char* format = udm_float_format();
    int length = std::snprintf(stream.scratch.data(), stream.scratch.size(), format, value);
    if (length < 0) return;
    if (static_cast<std::size_t>(length) >= stream.scratch.size()) {
        stream.scratch.reserve(static_cast<std::size_t>(length) + 1);
        std::snprintf(stream.scratch.data(), stream.scratch.size(), format, value);
    }
    stream.put_bytes(stream.scratch.data(), static_cast<std::size_t>(length));
}

// A double quote, the text with a backslash before every double quote and
// backslash, a double quote; a missing text gives two double quotes. A text
// whose quoted form is longer than the text reader takes cannot be carried
// by a text file: the stream fails, so that no file is written that would
// not read back.
void put_quoted(UdmStream& stream, std::string_view text) {
    stream.scratch.reserve(2 * text.size() + 2);
    char* out = stream.scratch.data();
    std::size_t used = 0;
    out[used++] = '"';
    for (char byte : text) {
        if (byte == '"' || byte == '\\') out[used++] = '\\';
        out[used++] = byte;
    }
    out[used++] = '"';
    if (used - 2 > kMaxTokenLength) stream.fail(kStatusTextTooLong);
    stream.put_bytes(out, used);
}

void put_text_token(UdmStream& stream, const UdmToken& token) {
    switch (token.code) {
        case UDM_TOKEN_OPEN:
            return stream.put_bytes("{", 1);
        case UDM_TOKEN_CLOSE:
            return stream.put_bytes("}", 1);
        case UDM_TOKEN_FALSE:
            return stream.put_bytes("0", 1);
        case UDM_TOKEN_TRUE:
            return stream.put_bytes("1", 1);
        case UDM_TOKEN_INT8:
            return put_integer(stream, token.integer & 0xFF);
        case UDM_TOKEN_INT16:
            return put_integer(stream, token.integer & 0xFFFF);
        case UDM_TOKEN_INT32:
            return put_integer(stream, token.integer);
        case UDM_TOKEN_FLOAT:
        case UDM_TOKEN_DOUBLE:
            return put_real(stream, token.real);
        case UDM_TOKEN_WORD:
        case UDM_TOKEN_COMMENT:
            return stream.put_bytes(token.text.data(), token.text.size());
        case UDM_TOKEN_STRING:
            return put_quoted(stream, token.text);
        case UDM_TOKEN_BLANKS:
            return put_repeated(stream, ' ', token.integer);
        case UDM_TOKEN_NEWLINES:
            return put_repeated(stream, '\n', token.integer);
        default:
            return;
    }
}

// ---- binary token writer and reader ----------------------------------------

// The type byte and the fixed value (or the length of a text) go out in
// one piece; only the scrambled encodings 3 and 4 split them, since their
// type bytes stay clear.
void put_binary_token(UdmStream& stream, const UdmToken& token) {
    const BinaryTokenForm* form = binary_form_of_code(token.code);
    if (form == nullptr) return;
    std::array<std::uint8_t, 9> head;
    head[0] = form->type;
    std::size_t value_size = 0;
    std::size_t text_size = 0;
    if (form->value_size == kLengthPrefixed) {
        // A text beyond 4 GiB cannot be described by the length field: cut.
        text_size =
            std::min<std::size_t>(token.text.size(), std::numeric_limits<std::uint32_t>::max());
        put_be32(head.data() + 1, static_cast<std::uint32_t>(text_size));
        value_size = 4;
    } else {
        value_size = static_cast<std::size_t>(form->value_size);
        encode_fixed_value(token, form->value_size, head.data() + 1);
    }
    if (stream.value_scrambler.kind() == Scrambling::none) {
        stream.put_bytes(head.data(), 1 + value_size);
        stream.put_bytes(token.text.data(), text_size);
    } else {
        stream.put_bytes(head.data(), 1);
        stream.put_value_bytes(head.data() + 1, value_size);
        stream.put_value_bytes(token.text.data(), text_size);
    }
}

constexpr std::size_t round_up_to_buffer(std::size_t size) {
    return (size / kStreamBufferSize + 1) * kStreamBufferSize;
}

// Reads a 4-byte length and that many bytes into the stream's token text.
// The buffer grows with the bytes that actually arrive, never ahead of
// them, so a corrupt length cannot claim memory the data does not back.
bool read_binary_text(UdmStream& stream, UdmToken* token) {
    std::array<std::uint8_t, 4> length_bytes;
    if (!stream.read_value_bytes(length_bytes.data(), length_bytes.size())) return false;
    std::uint32_t length = get_be32(length_bytes.data());
    if (length > kMaxBinaryTextLength) {
        stream.fail(kStatusCorrupt);
        return false;
    }
    std::size_t got = 0;
    while (got < length) {
        std::size_t want = std::min<std::size_t>(length, std::max(2 * got, kStreamBufferSize));
        if (stream.token_text.size() < want) stream.token_text.resize(round_up_to_buffer(want));
        if (!stream.read_value_bytes(stream.token_text.data() + got, want - got)) return false;
        got = want;
    }
    token->text =
        length > 0 ? std::string_view(stream.token_text.data(), length) : std::string_view("", 0);
    return true;
}

int end_of_tokens(UdmStream& stream, UdmToken* token) {
    stream.tokens_ended = true;
    *token = UdmToken{};
    return UDM_TOKEN_END;
}

int get_binary_token(UdmStream& stream, UdmToken* token) {
    if (stream.tokens_ended) return end_of_tokens(stream, token);
    int type = stream.next_byte();
    const BinaryTokenForm* form = type < 0 ? nullptr : binary_form_of_type(type);
    if (form == nullptr) return end_of_tokens(stream, token);
    *token = UdmToken{};
    token->code = form->code;
    if (form->value_size == kLengthPrefixed) {
        if (!read_binary_text(stream, token)) return end_of_tokens(stream, token);
    } else if (form->value_size > 0) {
        std::array<std::uint8_t, 8> value;
        auto size = static_cast<std::size_t>(form->value_size);
        if (!stream.read_value_bytes(value.data(), size)) return end_of_tokens(stream, token);
        decode_fixed_value(form->code, form->value_size, value.data(), token);
    }
    return token->code;
}

}  // namespace
}  // namespace tarnvel::udm

void udm_stream_put(UdmStream* stream, const UdmToken& token) {
    if (stream == nullptr || !stream->writing || stream->finished) return;
    if (token.code == UDM_TOKEN_END) {
        stream->finish_writing();
    } else if (stream->info().binary) {
        tarnvel::udm::put_binary_token(*stream, token);
    } else {
        tarnvel::udm::put_text_token(*stream, token);
    }
}

int udm_stream_get(UdmStream* stream, UdmToken* token) {
    UdmToken unused;
    if (token == nullptr) token = &unused;
    if (stream == nullptr || stream->writing) {
        *token = UdmToken{};
        return UDM_TOKEN_END;
    }
    if (stream->info().binary) return tarnvel::udm::get_binary_token(*stream, token);
    if (stream->text_reader != nullptr) {
        return stream->text_reader(stream, token, stream->text_reader_state);
    }
    *token = UdmToken{};
    return UDM_TOKEN_END;
}
