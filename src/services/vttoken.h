// The token reader under the tessel ASCII material file reader: numbers,
// words, quoted strings and keywords from a stream, with one token of
// push-back and the shared line counter (vttext.h).
#pragma once

#include <cstdio>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

// Token kinds; a keyword table assigns further kinds.
inline constexpr int kTokEnd = 0;
inline constexpr int kTokNumber = -2;
inline constexpr int kTokWord = -13;
inline constexpr int kTokString = -14;

// Case modes of unquoted word characters.
inline constexpr int kTokUpper = 0;
inline constexpr int kTokLower = 1;
inline constexpr int kTokUnchanged = 2;

// Words and strings keep at most this many characters; longer ones are cut.
inline constexpr int kTokWordLimit = 79;

struct VtToken {
    int kind = kTokEnd;
    float number = 0;
    // Words and strings: the word buffer, overwritten by the next word;
    // keywords: the keyword's text (or its argument's text).
    const char* text = nullptr;
    int integer = 0;
    // The line on which the token began.
    int line = 0;
};

struct TokKeyword {
    const char* text;
    int kind;
    // Negative: the kind of a required argument; else the integer value.
    int argument;
};

// Sets up the reader: keyword table (kept by pointer), case mode and
// separators (null: ", :\t\n"). Clears the push-back and restarts the line
// counter at 1.
void tokConfigure(int count, const TokKeyword* table, int case_mode, const char* separators);
VtToken gettok(std::FILE* stream);
// The value the reader gives a number written as text ("-1.5", "2e+09"):
// the digits gathered in a float, then scaled by the power of ten in double
// precision and rounded to float. Not every decimal that reads back to a
// float in C reads back to the same float here.
float tokNumberValue(std::string_view text);
// Reads the next token as a word even when it begins like a number ("66A").
VtToken tokGetWord(std::FILE* stream);
// Pushes one token back; a second one replaces the first with a warning.
void ungettok(const VtToken& token);
VtToken tokGetKeyword(std::FILE* stream);

// The tokens of the rest of the current line, ended by a kind-0 token;
// their texts are owned by the line.
struct TokLine {
    std::vector<VtToken> tokens;
    std::deque<std::string> texts;
};
TokLine tokGetLine(std::FILE* stream);
