// The binary token source of the UDM reader for the packed encoding: decodes
// the binary token layout (udm_binary_tokens.h) from the stream's content
// bytes through a window, as the text lexer does for text. Tokens are
// decoded in place, so a value costs a few comparisons and one copy; only a
// text longer than the window is gathered into a buffer of its own, which
// grows with the bytes that actually arrive.
//
// It serves binary encodings whose token bytes are not scrambled one by one
// (2 and 8); the others go through udm_stream_get.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "udm/udm_binary_tokens.h"
#include "udm/udm_stream.h"

namespace tarnvel::udm {

class BinaryTokenReader {
  public:
    // The longest word, string or comment accepted from a binary file; a
    // longer length is taken as corrupt data.
    static constexpr std::uint32_t kMaxTextLength = 64u << 20;

    explicit BinaryTokenReader(UdmStream* stream);
    ~BinaryTokenReader();
    BinaryTokenReader(const BinaryTokenReader&) = delete;
    BinaryTokenReader& operator=(const BinaryTokenReader&) = delete;

    // Whether the encoding's tokens can be decoded here.
    static bool Serves(int encoding);

    // Makes this reader the token source of its stream for the parser.
    void Attach();

    // The next token: its code, or UDM_TOKEN_END at the end of the data, at
    // a byte that is no type byte, or at a token cut short (then corrupt()
    // is set). Only the members that the token's code uses are set; its
    // text stays valid until the next call.
    int Next(UdmToken* token);
    bool corrupt() const { return corrupt_; }

    // Takes the double tokens that come next in the window, handing each
    // value to sink (a call per value); returns how many were taken. The
    // token after them is the next one Next gives.
    template <typename Sink>
    std::size_t TakeDoubles(Sink&& sink) {
        if (ended_) return 0;
        // The bounds are kept in locals: the sink's stores could otherwise
        // make the compiler reload the window position for every value.
        const std::uint8_t* at = Here();
        const std::uint8_t* const end = window_.data() + end_;
        const std::uint8_t* const start = at;
        UdmToken token;
        while (end - at >= static_cast<std::ptrdiff_t>(kDoubleTokenSize) && *at == kDoubleType) {
            decode_fixed_value(UDM_TOKEN_DOUBLE, kDoubleTokenSize - 1, at + 1, &token);
            sink(token.real);
            at += kDoubleTokenSize;
        }
        pos_ += static_cast<std::size_t>(at - start);
        return static_cast<std::size_t>(at - start) / kDoubleTokenSize;
    }

    // The unread bytes: at least `wanted` of them (at most the window's
    // size) while input remains, fewer only at the end of the data. They
    // stay valid until the next call of any member.
    std::span<const std::uint8_t> Peek(std::size_t wanted) {
        if (ended_) return {};
        Ensure(wanted);
        return {Here(), Available()};
    }
    // Passes over bytes given by Peek, which a caller has decoded itself.
    void Skip(std::size_t count) { pos_ += count; }

    // The reader attached to the stream, or null.
    static BinaryTokenReader* Of(const UdmStream* stream) {
        return stream != nullptr && stream == attached_stream_ ? attached_ : nullptr;
    }

  private:
    // Large enough that inflate, which keeps its 32 KiB of history apart
    // from each output buffer, copies that history rarely.
    static constexpr std::size_t kWindowSize = 256 * 1024;
    // The type byte of a double and the bytes of its token.
    static constexpr std::uint8_t kDoubleType = binary_form_of_code(UDM_TOKEN_DOUBLE)->type;
    static constexpr std::size_t kDoubleTokenSize =
        1 + static_cast<std::size_t>(binary_form_of_code(UDM_TOKEN_DOUBLE)->value_size);

    std::size_t Available() const { return end_ - pos_; }
    const std::uint8_t* Here() const { return window_.data() + pos_; }
    // Keeps at least `wanted` unread bytes in the window while input remains.
    void Ensure(std::size_t wanted) {
        if (!input_ended_ && Available() < wanted) Refill();
    }
    void Refill();
    int End(UdmToken* token, bool corrupt);
    bool ReadText(std::uint32_t length, UdmToken* token);

    // The reader attached last and its stream.
    static inline const UdmStream* attached_stream_ = nullptr;
    static inline BinaryTokenReader* attached_ = nullptr;

    UdmStream* stream_;
    std::array<std::uint8_t, kWindowSize> window_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool input_ended_ = false;
    bool ended_ = false;
    bool corrupt_ = false;
    // Texts longer than the window.
    std::vector<char> long_text_;
};

}  // namespace tarnvel::udm
