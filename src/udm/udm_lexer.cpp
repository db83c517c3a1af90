// The text lexer. Rules, longest match first: blanks and line breaks are
// skipped (line feeds counted); "/*" to "*/" and "//" to the end of the
// line are comments; braces; quoted strings, scanned with escapes in mind so
// that a backslash always takes the next byte with it; integers and reals;
// words of letters, digits and underscores. A byte that starts none of these
// is a one-byte word, which the grammar then rejects; a NUL byte there ends
// the input with an error.
#include "udm/udm_lexer.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace tarnvel::udm {
namespace {

enum ByteClass : std::uint8_t {
    kOther,
    kBlank,
    kLineFeed,
    kOpenBrace,
    kCloseBrace,
    kQuote,
    kSlash,
    kNumberStart,  // sign or decimal point
    kDigit,
    kLetter,  // letters and the underscore
};

constexpr std::array<ByteClass, 256> MakeClasses() {
    std::array<ByteClass, 256> classes{};
    for (int c = 'a'; c <= 'z'; ++c) classes[c] = kLetter;
    for (int c = 'A'; c <= 'Z'; ++c) classes[c] = kLetter;
    for (int c = '0'; c <= '9'; ++c) classes[c] = kDigit;
    classes['_'] = kLetter;
    for (int c : {' ', '\t', '\r', '\f', '\v'}) classes[c] = kBlank;
    classes['\n'] = kLineFeed;
    classes['{'] = kOpenBrace;
    classes['}'] = kCloseBrace;
    classes['"'] = kQuote;
    classes['/'] = kSlash;
    for (int c : {'+', '-', '.'}) classes[c] = kNumberStart;
    return classes;
}
constexpr std::array<ByteClass, 256> kClasses = MakeClasses();

inline ByteClass ClassOf(char byte) {
    return kClasses[static_cast<std::uint8_t>(byte)];
}
inline bool IsDigit(char byte) {
    return static_cast<unsigned char>(byte - '0') < 10;
}
inline bool IsWordByte(char byte) {
    const ByteClass c = ClassOf(byte);
    return c == kDigit || c == kLetter;
}

std::size_t CountWordBytes(const char* p, std::size_t available) {
    std::size_t n = 0;
    while (n < available && IsWordByte(p[n])) ++n;
    return n;
}

// "inf", "infinity" or "nan" in any case, as the float format prints
// values that are not finite; 0 when p holds none of them as a whole word.
std::size_t MatchNonFinite(const char* p, std::size_t available) {
    if (available == 0 || ((p[0] | 0x20) != 'i' && (p[0] | 0x20) != 'n')) return 0;
    const std::size_t word = CountWordBytes(p, available);
    for (std::string_view name : {"infinity", "inf", "nan"}) {
        if (word != name.size()) continue;
        bool same = true;
        for (std::size_t n = 0; n < word && same; ++n) {
            same = (p[n] | 0x20) == name[n];
        }
        if (same) return word;
    }
    return 0;
}

// Exact powers of ten as doubles (10^22 is the largest one).
constexpr std::array<double, 23> kPowersOfTen = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The most significant digits whose value is an exact double.
constexpr int kExactDigits = 15;

}  // namespace

// What one pass over a number found.
struct NumberScan {
    // Bytes of the number; 0 for none.
    std::size_t length = 0;
    // A decimal point, an exponent, or a value that is not finite.
    bool real = false;
    bool negative = false;
    bool non_finite = false;
    // The digits as an integer (meaningful up to kExactDigits of them), how
    // many there are, and the power of ten they are to be scaled by.
    std::uint64_t digits = 0;
    int count = 0;
    int exponent = 0;
};

namespace {

// Digits at p: appended to scan->digits and counted; returns how many.
std::size_t ScanDigits(const char* p, std::size_t available, NumberScan* scan) {
    // Locals: the compiler cannot keep members in registers across byte
    // loads, which may alias them.
    std::uint64_t digits = scan->digits;
    std::size_t n = 0;
    for (; n < available && IsDigit(p[n]); ++n) {
        digits = digits * 10 + static_cast<unsigned>(p[n] - '0');
    }
    scan->digits = digits;
    scan->count += static_cast<int>(n);
    return n;
}

// The number at p: an optional sign, then digits with an optional decimal
// point and fraction (one digit at least), then an optional exponent; or a
// sign and a value that is not finite.
NumberScan ScanNumber(const char* p, std::size_t available) {
    NumberScan scan;
    std::size_t n = 0;
    if (available > 0 && (p[0] == '+' || p[0] == '-')) {
        scan.negative = p[0] == '-';
        n = 1;
    }
    if (std::size_t special = MatchNonFinite(p + n, available - n)) {
        scan.real = scan.non_finite = true;
        scan.length = n + special;
        return scan;
    }
    n += ScanDigits(p + n, available - n, &scan);
    if (n < available && p[n] == '.') {
        const std::size_t fraction = ScanDigits(p + n + 1, available - n - 1, &scan);
        scan.exponent -= static_cast<int>(fraction);
        scan.real = scan.count > 0;
        if (scan.real) n += 1 + fraction;
    }
    if (scan.count == 0) return scan;
    if (n < available && (p[n] == 'e' || p[n] == 'E')) {
        std::size_t m = n + 1;
        const bool down = m < available && p[m] == '-';
        if (m < available && (p[m] == '+' || p[m] == '-')) ++m;
        int value = 0;
        std::size_t digits = 0;
        for (; m + digits < available && IsDigit(p[m + digits]); ++digits) {
            if (value < 100000) value = value * 10 + (p[m + digits] - '0');
        }
        if (digits > 0) {
            n = m + digits;
            scan.exponent += down ? -value : value;
            scan.real = true;
        }
    }
    scan.length = n;
    return scan;
}

// The value of a scanned real, when one correctly rounded multiplication or
// division of two exact doubles gives it (at most 15 significant digits, a
// power of ten up to 10^22): then it is the same as strtod's. False for
// other numbers, which take the general conversion.
bool ConvertSimpleDecimal(const NumberScan& scan, double* out) {
    if (scan.non_finite || scan.count > kExactDigits) return false;
    double result = static_cast<double>(scan.digits);
    if (scan.digits != 0) {
        if (scan.exponent < -22 || scan.exponent > 22) return false;
        result = scan.exponent < 0 ? result / kPowersOfTen[-scan.exponent]
                                   : result * kPowersOfTen[scan.exponent];
    }
    *out = scan.negative ? -result : result;
    return true;
}

// The lexer attached to a stream, for the diagnostics' line numbers.
const UdmStream* g_attached_stream = nullptr;
TextLexer* g_attached_lexer = nullptr;

int ReadToken(UdmStream* /*stream*/, UdmToken* token, void* state) {
    return static_cast<TextLexer*>(state)->Next(token);
}

}  // namespace

TextLexer::TextLexer(UdmStream* stream) : stream_(stream) {}

TextLexer::~TextLexer() {
    if (g_attached_lexer == this) {
        udm_stream_set_text_reader(stream_, nullptr, nullptr);
        g_attached_lexer = nullptr;
        g_attached_stream = nullptr;
    }
}

void TextLexer::Attach() {
    udm_stream_set_text_reader(stream_, &ReadToken, this);
    g_attached_stream = stream_;
    g_attached_lexer = this;
}

TextLexer* TextLexer::Of(const UdmStream* stream) {
    return stream != nullptr && stream == g_attached_stream ? g_attached_lexer : nullptr;
}

int TextLexer::LineOf(const UdmStream* stream) {
    const TextLexer* lexer = Of(stream);
    return lexer != nullptr ? lexer->line() : 1;
}

const char* TextLexer::ErrorOf(const UdmStream* stream) {
    const TextLexer* lexer = Of(stream);
    return lexer != nullptr ? lexer->error() : nullptr;
}

// Moves the unread bytes to the front of the window and fills the rest.
void TextLexer::Refill() {
    const std::size_t unread = Available();
    std::memmove(window_.data(), Here(), unread);
    pos_ = 0;
    end_ = unread;
    const std::size_t room = window_.size() - end_;
    const std::size_t got = udm_stream_read(stream_, window_.data() + end_, room);
    end_ += got;
    if (got < room) input_ended_ = true;
}

int TextLexer::Finish(UdmToken* token, int code) {
    token->code = code;
    return code;
}

int TextLexer::Fail(UdmToken* token, const char* message) {
    error_ = message;
    final_code_ = kTokenLexError;
    *token = UdmToken{};
    return Finish(token, kTokenLexError);
}

int TextLexer::Next(UdmToken* token) {
    *token = UdmToken{};
    if (final_code_ != 0) return Finish(token, final_code_);
    for (;;) {
        Ensure(kLookahead);
        if (Available() == 0) {
            final_code_ = UDM_TOKEN_END;
            return Finish(token, UDM_TOKEN_END);
        }
        switch (ClassOf(*Here())) {
            case kBlank:
            case kLineFeed:
                while (pos_ < end_) {
                    const ByteClass c = ClassOf(window_[pos_]);
                    if (c == kLineFeed) {
                        ++line_;
                    } else if (c != kBlank) {
                        break;
                    }
                    ++pos_;
                }
                continue;
            case kOpenBrace:
                return Punctuation(token, UDM_TOKEN_OPEN);
            case kCloseBrace:
                return Punctuation(token, UDM_TOKEN_CLOSE);
            case kQuote:
                return QuotedString(token);
            case kSlash:
                if (Available() > 1 && (Here()[1] == '*' || Here()[1] == '/')) {
                    return Comment(token, Here()[1] == '*');
                }
                return Stray(token);
            case kNumberStart:
            case kDigit:
            case kLetter:
                return NumberOrWord(token);
            case kOther:
                // No text file holds a NUL byte outside a quoted string:
                // the input is binary (or a device of zeros), not UDM.
                if (*Here() == '\0') return Fail(token, kNulByteMessage);
                return Stray(token);
        }
    }
}

int TextLexer::Punctuation(UdmToken* token, int code) {
    token->text = std::string_view(Here(), 1);
    ++pos_;
    return Finish(token, code);
}

int TextLexer::Stray(UdmToken* token) {
    token->text = std::string_view(Here(), 1);
    ++pos_;
    return Finish(token, UDM_TOKEN_WORD);
}

// From a double quote to the next double quote that no backslash takes
// (or the end of input). The raw text is limited to kMaxTokenLength bytes;
// then backslash + line feed is removed, backslash + double quote and
// backslash + backslash give the second byte, any other backslash stays.
int TextLexer::QuotedString(UdmToken* token) {
    const char* raw = Here() + 1;
    const std::size_t available = Available() - 1;
    std::size_t length = 0;
    while (length < available && raw[length] != '"') {
        length += (raw[length] == '\\' && length + 1 < available) ? 2 : 1;
        if (length > kMaxTokenLength) return Fail(token, kTokenTooLongMessage);
    }
    const bool closed = length < available;
    std::size_t used = 0;
    for (std::size_t n = 0; n < length; ++n) {
        char byte = raw[n];
        if (byte == '\\' && n + 1 < length) {
            const char next = raw[n + 1];
            if (next == '\n' || next == '"' || next == '\\') {
                ++n;
                if (next == '\n') {
                    ++line_;
                    continue;
                }
                byte = next;
            }
        } else if (byte == '\n') {
            ++line_;
        }
        text_[used++] = byte;
    }
    pos_ += 1 + length + (closed ? 1 : 0);
    token->text = std::string_view(text_.data(), used);
    return Finish(token, UDM_TOKEN_STRING);
}

// "/*" up to and including "*/", or "//" up to the end of the line (the
// line feed stays for the blank rule). The first kMaxTokenLength bytes are
// kept; the rest of a longer comment is skipped.
int TextLexer::Comment(UdmToken* token, bool block) {
    std::size_t kept = 0;
    auto keep = [&](const char* from, std::size_t count) {
        const std::size_t n = std::min(count, kMaxTokenLength - kept);
        std::memcpy(text_.data() + kept, from, n);
        kept += n;
    };
    keep(Here(), 2);
    pos_ += 2;
    for (;;) {
        const char* begin = Here();
        const std::size_t available = Available();
        std::size_t take = available;
        bool closed = false;
        if (block) {
            for (std::size_t n = 0; n + 1 < available; ++n) {
                if (begin[n] == '*' && begin[n + 1] == '/') {
                    take = n + 2;
                    closed = true;
                    break;
                }
            }
            // A star at the end of the window may open the closing "*/".
            if (!closed && !input_ended_ && take > 0 && begin[take - 1] == '*') --take;
            line_ += static_cast<int>(std::count(begin, begin + take, '\n'));
        } else if (const void* feed = std::memchr(begin, '\n', available)) {
            take = static_cast<std::size_t>(static_cast<const char*>(feed) - begin);
            closed = true;
        }
        keep(begin, take);
        pos_ += take;
        if (closed) break;
        Ensure(kLookahead);
        if (input_ended_ && Available() == 0) break;
    }
    token->text = std::string_view(text_.data(), kept);
    return Finish(token, UDM_TOKEN_COMMENT);
}

// Numbers and words compete for the longest match; a number wins a tie
// ("12" is an integer, "1e5" a real, "1DET" a word).
int TextLexer::NumberOrWord(UdmToken* token) {
    const char* start = Here();
    const ByteClass first = ClassOf(*start);
    // A number starts with a sign, a point, a digit, or the letter of a
    // value that is not finite.
    const bool may_be_number = first != kLetter || (*start | 0x20) == 'i' || (*start | 0x20) == 'n';
    const NumberScan scan = may_be_number ? ScanNumber(start, Available()) : NumberScan();
    const std::size_t number = scan.length;
    const std::size_t word = first == kNumberStart ? 0 : CountWordBytes(start, Available());
    const std::size_t length = std::max(number, word);
    if (length == 0) return Stray(token);
    if (length > kMaxTokenLength) return Fail(token, kTokenTooLongMessage);
    if (number >= word) return Number(token, scan);
    token->text = std::string_view(start, word);
    pos_ += word;
    return Finish(token, UDM_TOKEN_WORD);
}

// An integer within 32 bits becomes UDM_TOKEN_INT32; a real, or an integer
// beyond 32 bits, becomes UDM_TOKEN_DOUBLE (as atof reads it).
int TextLexer::Number(UdmToken* token, const NumberScan& scan) {
    const std::size_t length = scan.length;
    const char* first = Here();
    const char* last = first + length;
    token->text = std::string_view(first, length);
    pos_ += length;
    const char* digits = *first == '+' ? first + 1 : first;
    if (!scan.real) {
        long long value = 0;
        auto [end, error] = std::from_chars(digits, last, value);
        if (error == std::errc() && end == last &&
            value >= std::numeric_limits<std::int32_t>::min() &&
            value <= std::numeric_limits<std::int32_t>::max()) {
            token->integer = static_cast<std::int32_t>(value);
            return Finish(token, UDM_TOKEN_INT32);
        }
    }
    if (ConvertSimpleDecimal(scan, &token->real)) return Finish(token, UDM_TOKEN_DOUBLE);
    auto [end, error] = std::from_chars(digits, last, token->real);
    if (error != std::errc() || end != last) {
        // Beyond the range of a double: as strtod gives it (infinity or 0).
        std::memcpy(text_.data(), first, length);
        text_[length] = '\0';
        token->real = std::strtod(text_.data(), nullptr);
    }
    return Finish(token, UDM_TOKEN_DOUBLE);
}

}  // namespace tarnvel::udm
