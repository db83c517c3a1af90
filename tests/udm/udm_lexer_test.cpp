// The text lexer and the keyword recogniser of the UDM reader: token forms,
// escapes, numbers against words, comments, the token length limit, input
// that spans many window refills, and the keyword table with its probe
// limit and version remapping.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "udm/udm_keywords.h"
#include "udm/udm_lexer.h"
#include "udm/udm_stream.h"

using tarnvel::udm::kMaxTokenLength;
using tarnvel::udm::kTokenLexError;
using tarnvel::udm::TextLexer;

namespace {

struct Lexed {
    int code = 0;
    std::int32_t integer = 0;
    double real = 0.0;
    std::string text;
    int line = 0;
};

// Every token of a text up to and including the end (or the lexer error).
std::vector<Lexed> Lex(const std::string& input, std::string* error = nullptr) {
    int detected = 0;
    UdmStream* stream = udm_stream_open_read_memory("mem", input, 1, &detected);
    EXPECT_NE(stream, nullptr);
    std::vector<Lexed> tokens;
    {
        TextLexer lexer(stream);
        UdmToken token;
        for (;;) {
            const int code = lexer.Next(&token);
            tokens.push_back(
                {code, token.integer, token.real, std::string(token.text), lexer.line()});
            if (code == UDM_TOKEN_END || code == kTokenLexError) break;
        }
        if (error != nullptr && lexer.error() != nullptr) *error = lexer.error();
        EXPECT_EQ(lexer.Next(&token), tokens.back().code) << "the last token repeats";
    }
    udm_stream_close(stream);
    return tokens;
}

std::vector<int> Codes(const std::vector<Lexed>& tokens) {
    std::vector<int> codes;
    for (const Lexed& token : tokens) codes.push_back(token.code);
    return codes;
}

TEST(UdmLexer, WriterLayoutGivesTokensAndLines) {
    const auto tokens =
        Lex("//  comment\nTSET{21000 1 \"PA 66\"\n  TCOD{1992 \"Not Available\"\n"
            "    1.000000e+00 -2.5e-03}}\nENDF\n");
    EXPECT_EQ(
        Codes(tokens),
        (std::vector<int>{UDM_TOKEN_COMMENT, UDM_TOKEN_WORD, UDM_TOKEN_OPEN, UDM_TOKEN_INT32,
                          UDM_TOKEN_INT32, UDM_TOKEN_STRING, UDM_TOKEN_WORD, UDM_TOKEN_OPEN,
                          UDM_TOKEN_INT32, UDM_TOKEN_STRING, UDM_TOKEN_DOUBLE, UDM_TOKEN_DOUBLE,
                          UDM_TOKEN_CLOSE, UDM_TOKEN_CLOSE, UDM_TOKEN_WORD, UDM_TOKEN_END}));
    EXPECT_EQ(tokens[0].text, "//  comment");
    EXPECT_EQ(tokens[1].text, "TSET");
    EXPECT_EQ(tokens[3].integer, 21000);
    EXPECT_EQ(tokens[5].text, "PA 66");
    EXPECT_EQ(tokens[9].line, 3);
    EXPECT_EQ(tokens[10].real, 1.0);
    EXPECT_EQ(tokens[11].real, -2.5e-03);
    EXPECT_EQ(tokens[11].line, 4);
    EXPECT_EQ(tokens[14].text, "ENDF");
    EXPECT_EQ(tokens[14].line, 5);
}

TEST(UdmLexer, QuotedStringEscapes) {
    struct Case {
        const char* input;
        std::string text;
    };
    const Case cases[] = {
        {R"("say \"hi\"")", "say \"hi\""},    {R"("a\\b")", "a\\b"},
        {R"("C:\data\")", "C:\\data\""},  // the quote is escaped: the string runs on
        {R"("ends in \\")", "ends in \\"},    {R"("\n stays")", "\\n stays"},
        {"\"joined\\\nline\"", "joinedline"}, {"\"\"", ""},
        {"\"unterminated", "unterminated"},
    };
    for (const Case& c : cases) {
        const auto tokens = Lex(c.input);
        ASSERT_GE(tokens.size(), 2u) << c.input;
        EXPECT_EQ(tokens[0].code, UDM_TOKEN_STRING) << c.input;
        EXPECT_EQ(tokens[0].text, c.text) << c.input;
    }
    // A string that ends in an escaped backslash leaves the next token alone.
    const auto tokens = Lex(R"("a\\" "b"})");
    EXPECT_EQ(Codes(tokens), (std::vector<int>{UDM_TOKEN_STRING, UDM_TOKEN_STRING, UDM_TOKEN_CLOSE,
                                               UDM_TOKEN_END}));
    EXPECT_EQ(tokens[1].text, "b");
    // Line feeds inside strings, escaped or not, are counted.
    EXPECT_EQ(Lex("\"a\nb\\\nc\" x")[1].line, 3);
}

TEST(UdmLexer, NumbersAndWordsTakeTheLongestMatch) {
    struct Case {
        const char* input;
        int code;
        double value;
        const char* text;
    };
    const Case cases[] = {
        {"12", UDM_TOKEN_INT32, 12, "12"},
        {"-7", UDM_TOKEN_INT32, -7, "-7"},
        {"+5", UDM_TOKEN_INT32, 5, "+5"},
        {"2147483647", UDM_TOKEN_INT32, 2147483647.0, "2147483647"},
        {"-2147483648", UDM_TOKEN_INT32, -2147483648.0, "-2147483648"},
        {"99999999999", UDM_TOKEN_DOUBLE, 99999999999.0, "99999999999"},
        {"1e5", UDM_TOKEN_DOUBLE, 1e5, "1e5"},
        {"1.5e+03", UDM_TOKEN_DOUBLE, 1500, "1.5e+03"},
        {".5", UDM_TOKEN_DOUBLE, 0.5, ".5"},
        {"5.", UDM_TOKEN_DOUBLE, 5, "5."},
        {"-inf", UDM_TOKEN_DOUBLE, -INFINITY, "-inf"},
        {"1e999", UDM_TOKEN_DOUBLE, INFINITY, "1e999"},
        {"1DET", UDM_TOKEN_WORD, 0, "1DET"},
        {"1e5x", UDM_TOKEN_WORD, 0, "1e5x"},
        {"shaded", UDM_TOKEN_WORD, 0, "shaded"},
        {"info", UDM_TOKEN_WORD, 0, "info"},
        {"NO_1", UDM_TOKEN_WORD, 0, "NO_1"},
    };
    for (const Case& c : cases) {
        const auto tokens = Lex(c.input);
        ASSERT_EQ(tokens.size(), 2u) << c.input;
        EXPECT_EQ(tokens[0].code, c.code) << c.input;
        EXPECT_EQ(tokens[0].text, c.text) << c.input;
        const double value = c.code == UDM_TOKEN_INT32 ? tokens[0].integer : tokens[0].real;
        EXPECT_EQ(c.code == UDM_TOKEN_WORD ? 0.0 : value, c.value) << c.input;
    }
    EXPECT_TRUE(std::isnan(Lex("nan")[0].real));
    // A real ends where its pattern ends; what follows is the next token.
    const auto split = Lex("2.5abc 1.5e+x");
    EXPECT_EQ(Codes(split),
              (std::vector<int>{UDM_TOKEN_DOUBLE, UDM_TOKEN_WORD, UDM_TOKEN_DOUBLE, UDM_TOKEN_WORD,
                                UDM_TOKEN_WORD, UDM_TOKEN_WORD, UDM_TOKEN_END}));
    EXPECT_EQ(split[1].text, "abc");
    EXPECT_EQ(split[2].real, 1.5);
}

TEST(UdmLexer, RealsConvertAsStrtodDoes) {
    // Printed in the writer's default format and others; every real must
    // read back exactly as strtod reads the same text, every integer as
    // atol does ("-0" is the integer 0).
    std::mt19937_64 random(42);
    std::uniform_real_distribution<double> mantissa(-10.0, 10.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    std::string input;
    std::vector<std::string> texts;
    for (const char* format : {"%e", "%.3e", "%.15e", "%.17g", "%g", "%f", "%.0f"}) {
        for (int n = 0; n < 300; ++n) {
            const double value = mantissa(random) * std::pow(10.0, exponent(random));
            std::array<char, 512> text;
            std::snprintf(text.data(), text.size(), format, value);
            texts.emplace_back(text.data());
            input += texts.back() + " ";
        }
    }
    const auto tokens = Lex(input);
    ASSERT_EQ(tokens.size(), texts.size() + 1);
    for (std::size_t n = 0; n < texts.size(); ++n) {
        const bool integer = tokens[n].code == UDM_TOKEN_INT32;
        const double expected = integer ? static_cast<double>(std::atol(texts[n].c_str()))
                                        : std::strtod(texts[n].c_str(), nullptr);
        const double got = integer ? tokens[n].integer : tokens[n].real;
        EXPECT_EQ(std::memcmp(&got, &expected, sizeof got), 0) << texts[n];
    }
}

TEST(UdmLexer, StrayBytesAreOneByteWords) {
    const auto tokens = Lex("{#}/x");
    EXPECT_EQ(Codes(tokens), (std::vector<int>{UDM_TOKEN_OPEN, UDM_TOKEN_WORD, UDM_TOKEN_CLOSE,
                                               UDM_TOKEN_WORD, UDM_TOKEN_WORD, UDM_TOKEN_END}));
    EXPECT_EQ(tokens[1].text, "#");
    EXPECT_EQ(tokens[3].text, "/");
}

TEST(UdmLexer, CommentsAreTokensAndLongOnesAreCut) {
    const auto tokens = Lex("/* a\n b */x // tail\ny /* open");
    EXPECT_EQ(Codes(tokens), (std::vector<int>{UDM_TOKEN_COMMENT, UDM_TOKEN_WORD, UDM_TOKEN_COMMENT,
                                               UDM_TOKEN_WORD, UDM_TOKEN_COMMENT, UDM_TOKEN_END}));
    EXPECT_EQ(tokens[0].text, "/* a\n b */");
    EXPECT_EQ(tokens[1].line, 2);
    EXPECT_EQ(tokens[2].text, "// tail");
    EXPECT_EQ(tokens[3].line, 3);
    EXPECT_EQ(tokens[4].text, "/* open");

    // Comments far longer than the window keep their first 4095 bytes; the
    // star of "*/" may fall on a refill boundary.
    for (std::size_t size : {4090u, 40000u, 32 * 1024u - 3, 32 * 1024u - 2}) {
        const std::string body(size, '*');
        const auto block = Lex("/*" + body + "*/ after");
        ASSERT_EQ(block.size(), 3u) << size;
        EXPECT_EQ(block[0].text.size(), std::min<std::size_t>(size + 4, kMaxTokenLength)) << size;
        EXPECT_EQ(block[1].text, "after") << size;
        const auto line = Lex("//" + std::string(size, 'c') + "\nafter");
        EXPECT_EQ(line[1].text, "after") << size;
        EXPECT_EQ(line[1].line, 2) << size;
    }
}

TEST(UdmLexer, TokensBeyondTheLimitStopTheLexer) {
    const std::string longest(kMaxTokenLength, 'W');
    EXPECT_EQ(Lex(longest)[0].text, longest);
    EXPECT_EQ(Lex("\"" + std::string(kMaxTokenLength, 's') + "\"")[0].code, UDM_TOKEN_STRING);
    for (const std::string& input :
         {longest + "W", std::string(kMaxTokenLength + 1, '7'),
          "\"" + std::string(kMaxTokenLength + 1, 's') + "\"", "x \"" + std::string(100000, 's')}) {
        std::string error;
        const auto tokens = Lex(input, &error);
        EXPECT_EQ(tokens.back().code, kTokenLexError) << input.size();
        EXPECT_EQ(error, "Maximum token length exceeded");
    }
}

TEST(UdmLexer, InputAcrossManyRefills) {
    // Tokens of every kind, repeated past many 32 KiB windows, must come out
    // whole wherever the window boundaries fall.
    const std::string unit = "TCOD{12345 \"a \\\"b\\\" c\" 1.250000e+02 -7}\n";
    std::string input;
    const int repeats = 20000;
    for (int n = 0; n < repeats; ++n) input += unit;
    const auto tokens = Lex(input);
    ASSERT_EQ(tokens.size(), static_cast<std::size_t>(repeats) * 7 + 1);
    for (int n = 0; n < repeats; ++n) {
        const Lexed* t = &tokens[static_cast<std::size_t>(n) * 7];
        ASSERT_EQ(t[0].text, "TCOD") << n;
        ASSERT_EQ(t[2].integer, 12345) << n;
        ASSERT_EQ(t[3].text, "a \"b\" c") << n;
        ASSERT_EQ(t[4].real, 125.0) << n;
        ASSERT_EQ(t[5].integer, -7) << n;
        ASSERT_EQ(t[6].line, n + 1) << n;
    }
    EXPECT_EQ(tokens.back().line, repeats + 1);
}

// ---- Keywords ----------------------------------------------------------------

using tarnvel::udm::KeywordText;
using tarnvel::udm::LookupKeyword;
using tarnvel::udm::RecognizeKeyword;

TEST(UdmKeywords, EveryKeywordIsFoundInUpperCase) {
    int found = 0;
    for (int code = tarnvel::udm::kFirstKeywordCode; code <= tarnvel::udm::kLastKeywordCode;
         ++code) {
        if (code == 313 || code == 314 || code == 317) continue;
        const char* word = KeywordText(code);
        ASSERT_NE(word, nullptr) << code;
        EXPECT_EQ(LookupKeyword(word), code) << word;
        ++found;
    }
    EXPECT_EQ(found, 45);
    // Codes fixed by the format.
    EXPECT_EQ(LookupKeyword("TITL"), 273);
    EXPECT_EQ(LookupKeyword("TSET"), 284);
    EXPECT_EQ(LookupKeyword("TCOD"), 297);
    EXPECT_EQ(LookupKeyword("ENDF"), 311);
    EXPECT_EQ(LookupKeyword("BLOB"), 318);
    EXPECT_EQ(LookupKeyword("INTE"), 320);
    EXPECT_EQ(LookupKeyword("CIPT"), 299);
}

TEST(UdmKeywords, WordsAreCutToFourAndShortOnesStayWords) {
    EXPECT_EQ(RecognizeKeyword("TSETX", 4), 284);
    EXPECT_EQ(RecognizeKeyword("ENDFILE", 4), 311);
    EXPECT_EQ(RecognizeKeyword("TSE", 4), 0);
    EXPECT_EQ(RecognizeKeyword("", 4), 0);
    EXPECT_EQ(RecognizeKeyword("LUDM", 4), 0);
    EXPECT_EQ(RecognizeKeyword("NOTS", 4), 0);
    // The hash is taken over the word as written: other cases miss.
    EXPECT_EQ(RecognizeKeyword("tset", 4), 0);
    EXPECT_EQ(RecognizeKeyword("Endf", 4), 0);
    // Zero bytes pack like an empty table slot and must still miss.
    EXPECT_EQ(RecognizeKeyword(std::string_view("\0\0\0\0", 4), 4), 0);
    EXPECT_EQ(RecognizeKeyword(std::string_view("\0\0\0\0ENDF", 8), 4), 0);
}

TEST(UdmKeywords, OldVersionsRemapLayersAndBoundaryConditions) {
    struct Case {
        const char* word;
        int version;
        int code;
    };
    const Case cases[] = {
        {"LYER", 0, 317}, {"NDBC", 0, 313}, {"SUBC", 0, 314}, {"LYER", -2, 317},
        {"LYER", 1, 317}, {"LYER", 3, 317}, {"NDBC", 1, 293}, {"SUBC", 3, 294},
        {"LYER", 4, 283}, {"NDBC", 4, 293}, {"TSET", 0, 284},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RecognizeKeyword(c.word, c.version), c.code) << c.word << " v" << c.version;
    }
    EXPECT_STREQ(KeywordText(317), "LYER");
    EXPECT_STREQ(KeywordText(313), "NDBC");
    EXPECT_EQ(KeywordText(321), nullptr);
}

}  // namespace
