#include "catalogue/catalogue_html.h"

#include <cstdint>

namespace tarnvel::catalogue {
namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The length of the valid UTF-8 sequence at the start of text (2 to 4), or
// 0 when the bytes there are no such sequence (overlong forms, surrogates
// and code points above U+10FFFF included); code is its code point.
std::size_t Utf8Length(std::string_view text, std::uint32_t& code) {
    const auto byte = [&](std::size_t i) { return static_cast<std::uint8_t>(text[i]); };
    const std::uint8_t lead = byte(0);
    std::size_t length = 0;
    code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
    } else {
        return 0;
    }
    if (text.size() < length) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(i) & 0x3F);
    }
    const bool overlong = (length == 3 && code < 0x800) || (length == 4 && code < 0x10000);
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    if (overlong || surrogate || code > 0x10FFFF) return 0;
    return length;
}

// One byte that is no part of valid UTF-8, as a character.
void AppendByte(std::uint8_t byte, std::string& out) {
    if (byte >= 0xA0) {
        out += static_cast<char>(0xC0 | (byte >> 6));
        out += static_cast<char>(0x80 | (byte & 0x3F));
    } else {
        out += kReplacement;
    }
}

const char* Entity(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&#39;";
        default:
            return nullptr;
    }
}

bool IsControl(std::uint8_t byte) {
    return (byte < 0x20 && byte != '\t' && byte != '\n' && byte != '\r') || byte == 0x7F;
}

// Prefixes the ids after every occurrence of opener in svg (" id=\"",
// "href=\"#", "url(#").
std::string PrefixAfter(const std::string& svg, std::string_view opener, std::string_view prefix) {
    std::string out;
    out.reserve(svg.size());
    std::size_t from = 0;
    for (std::size_t at = svg.find(opener); at != std::string::npos; at = svg.find(opener, from)) {
        out.append(svg, from, at + opener.size() - from);
        out += prefix;
        from = at + opener.size();
    }
    out.append(svg, from);
    return out;
}

constexpr std::string_view kDocument =
    "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n";
constexpr std::string_view kPolicy =
    "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; img-src data:";
constexpr std::string_view kHead =
    "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
    "<style>\n"
    "body{font-family:sans-serif;margin:1.5em;color:#222}\n"
    "table{border-collapse:collapse}\n"
    "th,td{border:1px solid #ccc;padding:.25em .5em;text-align:left;vertical-align:top}\n"
    "th{background:#eee}\n"
    "td.num,table.points td{text-align:right;font-variant-numeric:tabular-nums}\n"
    "tr[hidden]{display:none}\n"
    ".filters{margin:1em 0}.filters label{margin-right:1em}\n"
    ".note{color:#666}.warning{color:#a40}\n"
    "figure{display:inline-block;margin:0 1em 1em 0}\n"
    "figure svg{max-width:100%;height:auto;border:1px solid #ddd}\n"
    "</style>\n";

}  // namespace

std::string PageStart(std::string_view title, PageScript script) {
    std::string out(kDocument);
    out += kPolicy;
    out += script == PageScript::kInline ? "; script-src 'unsafe-inline'\">\n" : "\">\n";
    out += kHead;
    out += "<title>" + HtmlText(title) + "</title>\n</head>\n<body>\n";
    return out;
}

std::string HtmlText(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 8);
    for (std::size_t i = 0; i < text.size();) {
        const auto byte = static_cast<std::uint8_t>(text[i]);
        if (byte < 0x80) {
            if (const char* entity = Entity(text[i]))
                out += entity;
            else if (IsControl(byte))
                out += kReplacement;
            else
                out += text[i];
            ++i;
            continue;
        }
        std::uint32_t code = 0;
        if (const std::size_t length = Utf8Length(text.substr(i), code); length != 0) {
            // The C1 controls U+0080 to U+009F show as U+FFFD too.
            if (code <= 0x9F)
                out += kReplacement;
            else
                out.append(text.substr(i, length));
            i += length;
        } else {
            AppendByte(byte, out);
            ++i;
        }
    }
    return out;
}

std::string InlineSvg(std::string_view svg, std::string_view id_prefix) {
    const std::size_t start = svg.find("<svg");
    const std::size_t end = svg.rfind("</svg>");
    if (start == std::string_view::npos || end == std::string_view::npos || end < start) return {};
    std::string body(svg.substr(start, end + 6 - start));
    for (std::string_view opener : {" id=\"", "\nid=\"", "\tid=\"", "href=\"#", "url(#"})
        body = PrefixAfter(body, opener, id_prefix);
    return body;
}

}  // namespace tarnvel::catalogue
