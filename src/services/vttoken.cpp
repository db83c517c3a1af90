// The token reader.
#include "services/vttoken.h"

#include <array>
#include <cmath>
#include <cstring>
#include <string_view>

#include "services/vtout.h"
#include "services/vttext.h"

namespace {

constexpr char kDefaultSeparators[] = ", :\t\n";

struct ReaderState {
    std::string separators = kDefaultSeparators;
    int case_mode = kTokUpper;
    const TokKeyword* table = nullptr;
    int count = 0;
    VtToken pushed;
    bool has_pushed = false;
    std::array<char, kTokWordLimit + 1> word{};
};

ReaderState& State() {
    static ReaderState state;
    return state;
}

bool IsSeparator(int c) {
    return c != EOF && c != '\0' &&
           State().separators.find(static_cast<char>(c)) != std::string::npos;
}

// Bytes above 0x7f are printable: UTF-8 text is kept.
bool IsPrintable(int c) {
    return (c >= 0x20 && c < 0x7f) || c >= 0x80;
}

bool IsDigit(int c) {
    return c >= '0' && c <= '9';
}

int Next(std::FILE* stream) {
    const int c = std::getc(stream);
    if (c == '\n') vtCountLine();
    return c;
}

void PutBack(std::FILE* stream, int c) {
    if (c == EOF) return;
    if (c == '\n') vtSetLineNumber(vtLineNumber() - 1);
    std::ungetc(c, stream);
}

// Skips separators and leaves the first other character in the stream.
void SkipSeparators(std::FILE* stream) {
    int c;
    while (IsSeparator(c = Next(stream))) {
    }
    PutBack(stream, c);
}

char Converted(int c, bool* keep) {
    *keep = true;
    switch (State().case_mode) {
        case kTokUpper:
            return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : static_cast<char>(c);
        case kTokLower:
            return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : static_cast<char>(c);
        case kTokUnchanged:
            return static_cast<char>(c);
        default:
            *keep = false;
            return 0;
    }
}

// Reads a word whose first characters (already converted) are given.
VtToken ReadWord(std::FILE* stream, std::string_view start, VtToken token) {
    auto& word = State().word;
    std::size_t used = std::min<std::size_t>(start.size(), kTokWordLimit);
    std::memcpy(word.data(), start.data(), used);
    bool quoted = false;
    int c;
    while (IsPrintable(c = Next(stream))) {
        if (!quoted && IsSeparator(c)) break;
        if (c == '"') {
            quoted = true;
            continue;
        }
        bool keep = true;
        const char stored = quoted ? static_cast<char>(c) : Converted(c, &keep);
        if (keep && used < kTokWordLimit) word[used++] = stored;
    }
    PutBack(stream, c);
    word[used] = '\0';
    token.kind = quoted ? kTokString : kTokWord;
    token.text = word.data();
    return token;
}

VtToken ReadNumber(std::FILE* stream, VtToken token) {
    std::string text;
    int c = Next(stream);
    if (c == '-') {
        text += '-';
        c = Next(stream);
    }
    for (; IsDigit(c); c = Next(stream)) text += static_cast<char>(c);
    if (c == '.') {
        text += '.';
        for (c = Next(stream); IsDigit(c); c = Next(stream)) text += static_cast<char>(c);
    }
    if (c == 'E' || c == 'e') {
        text += static_cast<char>(c);
        c = Next(stream);
        if (c == '-' || c == '+') {
            text += static_cast<char>(c);
            c = Next(stream);
        }
        for (; IsDigit(c); c = Next(stream)) text += static_cast<char>(c);
    }
    PutBack(stream, c);
    const float value = tokNumberValue(text);
    if (value == 1.0f && c == '/') return ReadWord(stream, text, token);
    token.kind = kTokNumber;
    token.number = value;
    return token;
}

VtToken ReadToken(std::FILE* stream, bool word_required) {
    ReaderState& state = State();
    if (state.has_pushed) {
        state.has_pushed = false;
        return state.pushed;
    }
    SkipSeparators(stream);
    VtToken token;
    token.line = vtLineNumber();
    const int c = Next(stream);
    if (c == EOF) return token;
    if (!word_required && (IsDigit(c) || c == '.' || c == '-')) {
        PutBack(stream, c);
        token = ReadNumber(stream, token);
    } else if (IsPrintable(c)) {
        PutBack(stream, c);
        token = ReadWord(stream, "", token);
    } else {
        std::fputs("Unexpected character found\n", stderr);
        return token;
    }
    SkipSeparators(stream);
    return token;
}

}  // namespace

float tokNumberValue(std::string_view text) {
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (negative) ++i;
    float mantissa = 0;
    int exponent = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        mantissa = mantissa * 10 + static_cast<float>(text[i] - '0');
    if (i < text.size() && text[i] == '.') {
        for (++i; i < text.size() && IsDigit(text[i]); ++i) {
            mantissa = mantissa * 10 + static_cast<float>(text[i] - '0');
            --exponent;
        }
    }
    if (i < text.size() && (text[i] == 'E' || text[i] == 'e')) {
        ++i;
        const bool negative_exponent = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        int written = 0;
        for (; i < text.size() && IsDigit(text[i]); ++i)
            if (written < 100000) written = written * 10 + (text[i] - '0');
        exponent += negative_exponent ? -written : written;
    }
    float value = static_cast<float>(mantissa * std::pow(10.0, exponent));
    if (negative) value = -value;
    return value;
}

void tokConfigure(int count, const TokKeyword* table, int case_mode, const char* separators) {
    ReaderState& state = State();
    state.count = table == nullptr ? 0 : count;
    state.table = table;
    state.case_mode = case_mode;
    state.separators = separators != nullptr ? separators : kDefaultSeparators;
    state.has_pushed = false;
    vtSetLineNumber(1);
}

VtToken gettok(std::FILE* stream) {
    return ReadToken(stream, false);
}

VtToken tokGetWord(std::FILE* stream) {
    return ReadToken(stream, true);
}

void ungettok(const VtToken& token) {
    ReaderState& state = State();
    if (state.has_pushed) vt_out("Warning - ungettok called wrongly\n");
    state.pushed = token;
    state.has_pushed = true;
}

VtToken tokGetKeyword(std::FILE* stream) {
    VtToken token = gettok(stream);
    if (token.kind != kTokWord) return token;
    const ReaderState& state = State();
    for (int i = 0; i < state.count; ++i) {
        const TokKeyword& keyword = state.table[i];
        if (std::strcmp(keyword.text, token.text) != 0) continue;
        token.kind = keyword.kind;
        token.text = keyword.text;
        if (keyword.argument >= 0) {
            token.integer = keyword.argument;
            return token;
        }
        const VtToken argument = gettok(stream);
        if (argument.kind == keyword.argument) {
            token.number = argument.number;
            token.text = argument.text;
            token.integer = argument.integer;
            return token;
        }
        std::fprintf(stderr, "Warning: %s should be followed by %s. Input discarded.\n",
                     keyword.text, keyword.argument == kTokNumber ? "a number" : "a string");
        return VtToken{kTokEnd, 0, nullptr, 0, token.line};
    }
    return token;
}

TokLine tokGetLine(std::FILE* stream) {
    TokLine line;
    const int start = State().has_pushed ? State().pushed.line : vtLineNumber();
    for (;;) {
        VtToken token = gettok(stream);
        if (token.text != nullptr) token.text = line.texts.emplace_back(token.text).c_str();
        line.tokens.push_back(token);
        if (token.kind == kTokEnd) break;
        if (vtLineNumber() > start) {
            line.tokens.push_back(VtToken{kTokEnd, 0, nullptr, 0, vtLineNumber()});
            break;
        }
    }
    return line;
}
