#include "inspect/output.h"

#include <cerrno>
#include <charconv>
#include <cmath>

namespace tarnvel::inspect {
namespace {

constexpr char kHex[] = "0123456789abcdef";

// The length of the valid UTF-8 sequence that starts text[at] (a byte of
// 0x80 or more), 0 when it does not start one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto byte = [&](std::size_t n) { return static_cast<unsigned char>(text[at + n]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > text.size()) return 0;
    if (byte(1) < low || byte(1) > high) return 0;
    for (std::size_t n = 2; n < length; ++n) {
        if (byte(n) < 0x80 || byte(n) > 0xBF) return 0;
    }
    return length;
}

void AppendEscape(std::string* out, unsigned char c) {
    switch (c) {
        case '"':
            out->append("\\\"");
            return;
        case '\\':
            out->append("\\\\");
            return;
        case '\n':
            out->append("\\n");
            return;
        case '\t':
            out->append("\\t");
            return;
        case '\r':
            out->append("\\r");
            return;
        default:
            out->append("\\u00");
            out->push_back(kHex[c >> 4]);
            out->push_back(kHex[c & 0xF]);
    }
}

bool Plain(unsigned char c) {
    return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

}  // namespace

void AppendJsonString(std::string* out, std::string_view text) {
    out->push_back('"');
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t run = at;
        while (run < text.size() && Plain(static_cast<unsigned char>(text[run]))) ++run;
        out->append(text.substr(at, run - at));
        if (run == text.size()) break;
        const auto c = static_cast<unsigned char>(text[run]);
        if (c < 0x80) {
            AppendEscape(out, c);
            at = run + 1;
        } else if (const std::size_t length = Utf8Length(text, run); length > 0) {
            out->append(text.substr(run, length));
            at = run + length;
        } else {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
            at = run + 1;
        }
    }
    out->push_back('"');
}

std::string_view NumberText(double value, char (&buffer)[32]) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
    // "-0" reads back as the integer 0 in JSON parsers; "-0.0" keeps the sign.
    if (value == 0 && std::signbit(value)) return "-0.0";
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer));
}

void Output::Integer(std::int64_t value) {
    char text[24];
    const auto result = std::to_chars(text, text + sizeof text, value);
    Put(std::string_view(text, static_cast<std::size_t>(result.ptr - text)));
}

void Output::Number(double value) {
    char text[32];
    Put(NumberText(value, text));
}

void Output::JsonString(std::string_view text) {
    AppendJsonString(&buffer_, text);
    if (buffer_.size() >= kFlushAt) Flush();
}

void Output::Flush() {
    errno = 0;
    if (!buffer_.empty() && error_ == 0 &&
        std::fwrite(buffer_.data(), 1, buffer_.size(), file_) != buffer_.size()) {
        error_ = errno != 0 ? errno : EIO;
    }
    buffer_.clear();
}

bool Output::Finish() {
    Flush();
    errno = 0;
    if (error_ == 0 && (std::fflush(file_) != 0 || std::ferror(file_) != 0)) {
        error_ = errno != 0 ? errno : EIO;
    }
    return error_ == 0;
}

}  // namespace tarnvel::inspect
