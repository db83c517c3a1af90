// The token reader: numbers, words, strings, keywords, push-back and lines.
#include "services/vttoken.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "services/vtout.h"
#include "services/vttext.h"

namespace {

struct Closer {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};

class TokenReader : public testing::Test {
  protected:
    void SetUp() override { tokConfigure(0, nullptr, kTokUpper, nullptr); }
    std::FILE* Open(const std::string& text) {
        contents_ = text;
        stream_.reset(fmemopen(contents_.data(), contents_.size(), "r"));
        return stream_.get();
    }

  private:
    std::string contents_;
    std::unique_ptr<std::FILE, Closer> stream_;
};

TEST_F(TokenReader, NumbersWordsAndStrings) {
    std::FILE* in = Open("-1.5e2, abc:12\t1/s \"Quoted, text\" next\n.5 7E-3");
    VtToken token = gettok(in);
    EXPECT_EQ(token.kind, kTokNumber);
    EXPECT_EQ(token.number, -150.0f);
    token = gettok(in);
    EXPECT_EQ(token.kind, kTokWord);
    EXPECT_STREQ(token.text, "ABC");
    EXPECT_EQ(gettok(in).number, 12.0f);
    token = gettok(in);
    EXPECT_EQ(token.kind, kTokWord);
    EXPECT_STREQ(token.text, "1/S");
    token = gettok(in);
    // Inside quotes everything printable is kept, later quotes dropped.
    EXPECT_EQ(token.kind, kTokString);
    EXPECT_STREQ(token.text, "Quoted, text next");
    EXPECT_EQ(token.line, 1);
    token = gettok(in);
    EXPECT_EQ(token.number, 0.5f);
    EXPECT_EQ(token.line, 2);
    EXPECT_FLOAT_EQ(gettok(in).number, 0.007f);
    EXPECT_EQ(gettok(in).kind, kTokEnd);
}

TEST_F(TokenReader, CaseModesAndUtf8) {
    tokConfigure(0, nullptr, kTokLower, nullptr);
    std::FILE* in = Open(
        "MiXed Gr\xc3\xa9"
        "de");
    EXPECT_STREQ(gettok(in).text, "mixed");
    EXPECT_STREQ(gettok(in).text,
                 "gr\xc3\xa9"
                 "de");
}

TEST_F(TokenReader, LongWordsAreCutToTheBuffer) {
    const std::string long_word(81, 'W');
    std::FILE* in = Open(long_word + " \"" + std::string(100, 's') + "\nafter");
    VtToken token = gettok(in);
    EXPECT_EQ(std::string(token.text), std::string(kTokWordLimit, 'W'));
    token = gettok(in);
    EXPECT_EQ(token.kind, kTokString);
    EXPECT_EQ(std::string(token.text).size(), static_cast<std::size_t>(kTokWordLimit));
    EXPECT_STREQ(gettok(in).text, "AFTER");
}

TEST_F(TokenReader, WordsThatBeginWithDigits) {
    std::FILE* in = Open("66A 66A");
    EXPECT_STREQ(tokGetWord(in).text, "66A");
    EXPECT_EQ(gettok(in).number, 66.0f);
    EXPECT_STREQ(gettok(in).text, "A");
}

std::string warnings;
void Collect(std::string_view line) {
    warnings += std::string(line) + "\n";
}

TEST_F(TokenReader, TwoPushBacksKeepTheSecond) {
    std::FILE* in = Open("a b c");
    const VtToken a = gettok(in);
    const std::string a_text = a.text;
    const VtToken b = gettok(in);
    vtOutSave();
    vtOutSetSink(Collect);
    warnings.clear();
    ungettok(a);
    ungettok(b);
    vtOutRestore();
    EXPECT_EQ(warnings, "Warning - ungettok called wrongly\n");
    EXPECT_STREQ(gettok(in).text, "B");
    EXPECT_STREQ(gettok(in).text, "C");
    EXPECT_EQ(a_text, "A");
}

TEST_F(TokenReader, KeywordsWithArguments) {
    const TokKeyword table[] = {{"GRADE", 5, kTokWord}, {"DENSITY", 6, kTokNumber}, {"END", 7, 42}};
    tokConfigure(3, table, kTokUpper, nullptr);
    std::FILE* in = Open("grade PP1 density 0.9 end DENSITY x other");
    VtToken token = tokGetKeyword(in);
    EXPECT_EQ(token.kind, 5);
    EXPECT_STREQ(token.text, "PP1");
    token = tokGetKeyword(in);
    EXPECT_EQ(token.kind, 6);
    EXPECT_FLOAT_EQ(token.number, 0.9f);
    token = tokGetKeyword(in);
    EXPECT_EQ(token.kind, 7);
    EXPECT_EQ(token.integer, 42);
    testing::internal::CaptureStderr();
    EXPECT_EQ(tokGetKeyword(in).kind, kTokEnd);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: DENSITY should be followed by a number. Input discarded.\n");
    token = tokGetKeyword(in);
    EXPECT_EQ(token.kind, kTokWord);
    EXPECT_STREQ(token.text, "OTHER");
}

TEST_F(TokenReader, LinesOfTokensAndUnexpectedCharacters) {
    std::FILE* in = Open("a 1 b\nc d\n\x01");
    TokLine first = tokGetLine(in);
    ASSERT_EQ(first.tokens.size(), 4u);
    EXPECT_STREQ(first.tokens[0].text, "A");
    EXPECT_EQ(first.tokens[1].number, 1.0f);
    EXPECT_STREQ(first.tokens[2].text, "B");
    EXPECT_EQ(first.tokens[3].kind, kTokEnd);
    TokLine second = tokGetLine(in);
    ASSERT_EQ(second.tokens.size(), 3u);
    EXPECT_STREQ(second.tokens[1].text, "D");
    testing::internal::CaptureStderr();
    EXPECT_EQ(gettok(in).kind, kTokEnd);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unexpected character found\n");
    EXPECT_EQ(vtLineNumber(), 3);
}

}  // namespace
