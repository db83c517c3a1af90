// The text lexer of the UDM reader: turns the bytes of a text stream
// (plain or decompressed) into tokens: braces, quoted strings, integers,
// reals, words and comments, counting lines for the diagnostics.
//
// Tokens are found in a window over the stream that always holds the next
// 4 KiB of input (or the rest of it), so the longest token the format
// allows is scanned without a copy; only quoted strings with escapes and
// comments are copied, into a fixed token buffer. Nothing is allocated per
// token.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "udm/udm_stream.h"

namespace tarnvel::udm {

struct NumberScan;

// The token code of a lexer failure (the token is unusable; error() says
// why). It is the number the parser gives to its error symbol.
inline constexpr int kTokenLexError = 256;

// The longest word, number, or raw quoted string the text format allows,
// and the most of a comment that is kept.
inline constexpr std::size_t kMaxTokenLength = 4095;

// The message of a token longer than kMaxTokenLength.
inline constexpr char kTokenTooLongMessage[] = "Maximum token length exceeded";
// The message of a NUL byte outside a quoted string.
inline constexpr char kNulByteMessage[] = "NUL byte outside a quoted string";

class TextLexer {
  public:
    // A lexer over the content bytes of the stream. It does not own the
    // stream.
    explicit TextLexer(UdmStream* stream);
    ~TextLexer();
    TextLexer(const TextLexer&) = delete;
    TextLexer& operator=(const TextLexer&) = delete;

    // Makes udm_stream_get on the stream serve this lexer's tokens.
    void Attach();

    // The next token: UDM_TOKEN_OPEN/CLOSE, UDM_TOKEN_STRING (escapes
    // resolved), UDM_TOKEN_INT32 (an integer within 32 bits),
    // UDM_TOKEN_DOUBLE (a real, or an integer beyond 32 bits),
    // UDM_TOKEN_WORD, UDM_TOKEN_COMMENT, UDM_TOKEN_END at the end of input,
    // or kTokenLexError. A token's text stays valid until the next call.
    // After an error or the end every call gives the same again.
    int Next(UdmToken* token);

    // The current line (1 for the first).
    int line() const { return line_; }
    // The message of the error that stopped the lexer, or null.
    const char* error() const { return error_; }

    // The lexer attached to the stream, or null.
    static TextLexer* Of(const UdmStream* stream);
    // The line of the lexer attached to the stream, or 1 when none is.
    static int LineOf(const UdmStream* stream);
    // The error of the lexer attached to the stream, or null.
    static const char* ErrorOf(const UdmStream* stream);

  private:
    // Window size: room for the longest token, its lookahead and a long run
    // of input, so that refills are rare.
    static constexpr std::size_t kWindowSize = 32 * 1024;
    // Bytes kept ahead of the scan position while input remains.
    static constexpr std::size_t kLookahead = kMaxTokenLength + 16;

    // Keeps at least `wanted` unread bytes in the window while input
    // remains.
    void Ensure(std::size_t wanted) {
        if (!input_ended_ && Available() < wanted) Refill();
    }
    void Refill();
    std::size_t Available() const { return end_ - pos_; }
    const char* Here() const { return window_.data() + pos_; }
    int Finish(UdmToken* token, int code);
    int Fail(UdmToken* token, const char* message);
    int Punctuation(UdmToken* token, int code);
    int QuotedString(UdmToken* token);
    int Comment(UdmToken* token, bool block);
    int NumberOrWord(UdmToken* token);
    int Number(UdmToken* token, const NumberScan& scan);
    int Stray(UdmToken* token);

    UdmStream* stream_;
    std::array<char, kWindowSize> window_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool input_ended_ = false;
    // Text of copied tokens (strings, comments) and of number conversions.
    std::array<char, kMaxTokenLength + 1> text_;
    int line_ = 1;
    // The code every later call gives (end of input or an error), or 0.
    int final_code_ = 0;
    const char* error_ = nullptr;
};

}  // namespace tarnvel::udm
