// Words, numbers, comparisons, keyword lookup and the answer dialogue.
#include "recfile/recparse.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "recfile/rf_text.h"
#include "recfile_test_support.h"

namespace {

using namespace tarnvel::recfile;
using Parsing = tarnvel::testing::RecfileTest;

struct Split {
    int count = 0;
    int status = 0;
    std::vector<std::string> words;
};

Split Break(std::string_view input, int field, int max_words, int mode = 0,
            std::string_view delimiters = " ,") {
    std::vector<char> words(static_cast<std::size_t>(field) * max_words, '?');
    std::vector<int> lengths(max_words);
    Split split;
    split.count =
        BRKWOR(input, mode, delimiters, words, lengths, field, max_words, 900, &split.status);
    for (int i = 0; i < split.count; ++i) {
        split.words.emplace_back(words.data() + i * field, field);
        EXPECT_EQ(lengths[i], LSTNB(split.words.back(), 1, field));
    }
    return split;
}

TEST_F(Parsing, WordsBetweenRunsOfDelimiters) {
    const Split split = Break("  a,,b  ", 4, 5);
    EXPECT_EQ(split.count, 2);
    EXPECT_EQ(split.words, (std::vector<std::string>{"a   ", "b   "}));
    EXPECT_EQ(split.status, 0);
    const Split cut = Break("abcdef g", 3, 5);
    EXPECT_EQ(cut.words, (std::vector<std::string>{"abc", "g  "}));
    EXPECT_EQ(cut.status, -11);
    // The word array is full at the maximum: nothing is stored past it.
    const Split many = Break("a b c d", 2, 3);
    EXPECT_EQ(many.count, 3);
    EXPECT_EQ(many.status, -1);
    EXPECT_EQ(Break(std::string(600, 'x'), 600, 1).words[0].find(' '), 500u);
    const Split quoted = Break("say \"a b\",c", 8, 4, 2);
    EXPECT_EQ(quoted.words, (std::vector<std::string>{"say     ", "a b     ", "c       "}));
    EXPECT_EQ(Break("a", 8, 4, 2, " \"").status, -2);
}

TEST_F(Parsing, NumbersAmongWords) {
    float values[20] = {};
    int non_numbers = -1;
    EXPECT_EQ(STRNUM(" ", "1 2 x 3", &non_numbers, values), 3);
    EXPECT_EQ(non_numbers, 1);
    EXPECT_EQ(values[2], 3.0f);
    std::string many;
    for (int i = 1; i <= 21; ++i) many += std::to_string(i) + ",";
    const std::string messages = CaptureMessages();
    EXPECT_EQ(STRNUM(",", many, &non_numbers, values), 20);
    EXPECT_EQ(values[19], 20.0f);
    EXPECT_EQ(Messages(), "ERROR-STRNUM-1, Too many numbers, only 20 accepted\n");
}

TEST(ReadReal, DecimalTextOnly) {
    int error = 5;
    EXPECT_EQ(RDREAL("  12 ", &error), 12.0f);
    EXPECT_EQ(error, 0);
    EXPECT_EQ(RDREAL("1d3", &error), 1000.0f);
    EXPECT_EQ(RDREAL("-2.5e-1", &error), -0.25f);
    EXPECT_EQ(RDREAL("-1e38", &error), -1e37f);
    EXPECT_EQ(RDREAL("1e-39", &error), 0.0f);
    EXPECT_EQ(RDREAL(std::string(38, '1'), &error), 1e37f);
    EXPECT_EQ(error, 0);
    for (const std::string& bad : {std::string(39, '1'), std::string("    "), std::string("0x1A"),
                                   std::string("inf"), std::string("NAN"), std::string("12abc")}) {
        error = 0;
        EXPECT_EQ(RDREAL(bad, &error), 0.0f) << bad;
        EXPECT_EQ(error, -1) << bad;
    }
}

TEST(RealComparison, ToleranceEdges) {
    EXPECT_EQ(RELCMP(1.0f, "EQ", 1.000005f), -1);
    EXPECT_EQ(RELCMP(1.0f, "eq", 1.0001f), 0);
    EXPECT_EQ(RELCMP(1.0f, "NE", 1.0001f), -1);
    EXPECT_EQ(RELCMP(0.0f, "EQ", 1e-39f), -1);
    EXPECT_EQ(RELCMP(1.0f, "GT", 1.000005f), 0);
    EXPECT_EQ(RELCMP(1.0f, "GE", 1.000005f), -1);
    EXPECT_EQ(RELCMP(1.0f, "LT", 1.000005f), 0);
    EXPECT_EQ(RELCMP(1.0f, "LE", 1.000005f), -1);
    EXPECT_EQ(RELCMP(2.0f, "LT", 1.0f), 0);
    EXPECT_EQ(RELCMP(1.0f, "XX", 1.0f), 0);
}

TEST(CaseConversion, OnlyAsciiLettersWithinTheLength) {
    std::string text =
        "ab\xc3\xa9"
        "Cd";
    UPCASE(text, 3);
    EXPECT_EQ(text,
              "AB\xc3\xa9"
              "Cd");
    LOCASE(text, 99);
    EXPECT_EQ(text,
              "ab\xc3\xa9"
              "cd");
}

TEST_F(Parsing, KeywordLookupByPrefix) {
    const std::string keywords = "GRADE GROUP GR    ";
    std::vector<int> matches(3);
    int count = 0, match = 0;
    EXPECT_EQ(LOOKUP(keywords, 6, 2, "GR", 2, matches, &count, &match), 0);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(LOOKUP(keywords, 6, 2, "GRA", 3, matches, &count, &match), -1);
    EXPECT_EQ(match, 1);
    // With the keyword "GR" present, "GR" is an exact match.
    EXPECT_EQ(LOOKUP(keywords, 6, 3, "GR", 2, matches, &count, &match), -1);
    EXPECT_EQ(match, 3);
    EXPECT_EQ(count, 1);
    EXPECT_EQ(LOOKUP(keywords, 6, 3, "X", 1, matches, &count, &match), 0);
    EXPECT_EQ(count, 0);
    const std::string messages = CaptureMessages();
    EXPECT_EQ(LOOKUP("AB AB ", 3, 2, "AB ", 3, matches, &count, &match), 0);
    EXPECT_EQ(Messages(), "LOOKUP: Dear programmer, you have duplicated keyword on the list 2\n");
}

TEST(IntegerText, LeftJustifiedDigits) {
    char text[12];
    int length = 0;
    INTSTR(INT_MIN, text, &length);
    EXPECT_EQ(std::string(text, length), "-2147483648");
    INTSTR(42, text, &length);
    EXPECT_EQ(std::string(text, 12), "42          ");
    EXPECT_EQ(length, 2);
}

class Answers : public Parsing {
  protected:
    // Opens a unit on a file holding the answers.
    int Unit(const std::string& answers) {
        Write(Path("answers.txt"), answers);
        RfOpenOptions options;
        options.read_only = true;
        EXPECT_EQ(rfOpen(kAnswerUnit, Path("answers.txt"), options), 0);
        return kAnswerUnit;
    }
    static constexpr int kAnswerUnit = 44;
};

TEST_F(Answers, YesNoTakesTheDefaultAtTheEndOfInput) {
    int status = 0;
    const std::string messages = CaptureMessages();
    rfSettings().screen_unit = kMessageUnit;
    EXPECT_EQ(YESNO(Unit(""), "Continue", "Y", 1, 0, &status), -1);
    EXPECT_EQ(YESNO(Unit(""), "Continue", "no", 1, 0, &status), 0);
    EXPECT_EQ(status, 0);
    // No default, no input: a repeated question ends.
    EXPECT_EQ(YESNO(Unit(""), "Continue", " ", 1, 0, &status), 0);
    EXPECT_EQ(status, -3);
    EXPECT_EQ(YESNO(Unit("maybe\nn\n"), "Continue", "Y", 1, 0, &status), 0);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(YESNO(Unit("maybe\ny\n"), "Continue", "N", 0, 0, &status), 0);
    EXPECT_EQ(status, -2);
    EXPECT_EQ(YESNO(Unit("\n"), "Continue", "Y", 0, 0, &status), -1);
    const std::string shown = Messages();
    EXPECT_NE(shown.find("Continue (Yes No) <default=Yes> : \n"), std::string::npos);
    EXPECT_NE(shown.find("Invalid entry.\n"), std::string::npos);
}

TEST_F(Answers, MenuChoicesAndBadMenus) {
    int status = 0;
    const std::string messages = CaptureMessages();
    rfSettings().screen_unit = kMessageUnit;
    EXPECT_EQ(RDMENU(Unit("gr\n"), "", "Red Green Grey", "", 0, 0, &status), 0);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(RDMENU(Unit("gre\n"), "", "Red Green Grey", "", 0, 0, &status), 0);
    EXPECT_EQ(RDMENU(Unit("grey\n"), "", "Red Green Grey", "", 0, 0, &status), 3);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(RDMENU(Unit("x\n"), "", "   ", "", 0, 0, &status), 0);
    EXPECT_EQ(status, -1);
    EXPECT_NE(Messages().find("ERROR-RDMENU-1, invalid menu, contact Vantorel\n"),
              std::string::npos);
}

TEST_F(Answers, LinesAndNumbersFromAUnit) {
    const int unit = Unit("a\tb  \nSTOP here\n1, 2 x 3\nnone here\n");
    char buffer[80];
    int length = 0;
    EXPECT_EQ(RDLINE(unit, &length, buffer), 3);
    EXPECT_EQ(std::string(buffer, 4), "a b ");
    // "STOP" read from a file is an ordinary line.
    EXPECT_EQ(RDLINE(unit, &length, buffer), 9);
    char text[40];
    float values[20];
    int count = -1, line_status = -1;
    EXPECT_EQ(RDNUMS(unit, &count, &line_status, text, values), 8);
    EXPECT_EQ(count, 3);
    EXPECT_EQ(line_status, 1);
    EXPECT_EQ(values[2], 3.0f);
    EXPECT_EQ(RDNUMS(unit, &count, &line_status, text, values), 9);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(RDNUMS(unit, &count, &line_status, text, values), 0);
    EXPECT_EQ(line_status, -1);
    EXPECT_EQ(RDLINE(unit, &length, buffer), -1);
}

TEST_F(Parsing, FileNamesGetTheirSuffix) {
    char name[16];
    int extension = 5, length = 0;
    rfAssign(name, "Data/My.File");
    GETFIL("", ".ASC", 0, "", &extension, name, &length);
    EXPECT_EQ(std::string(name, length), "Data/my.file");
    EXPECT_EQ(extension, -1);
    rfAssign(name, "grades");
    GETFIL("", ".ASC", 0, "", &extension, name, &length);
    EXPECT_EQ(std::string(name, length), "grades.asc");
    EXPECT_EQ(extension, 0);
    const std::string messages = CaptureMessages();
    rfAssign(name, "9lives");
    GETFIL("", ".ASC", 0, "", &extension, name, &length);
    EXPECT_EQ(length, 0);
    rfAssign(name, "averylongname12");
    GETFIL("", ".ASC", 0, "", &extension, name, &length);
    EXPECT_EQ(std::string(name, length), "averylongname12.");
    EXPECT_EQ(Messages(),
              "Invalid filename\nInvalid filename\naverylongname12.asc\n"
              "Name too long, number of characters including suffix max 16\n"
              "Name will be truncated:\naverylongname12.\n");
}

TEST(Stop, EndsWithAFailureStatus) {
    EXPECT_EXIT(STOPRG("READ"), testing::ExitedWithCode(1), "");
    char name[8] = "x";
    int extension = 0, length = 0;
    EXPECT_EXIT(GETFIL("", "ASC", 0, "", &extension, name, &length), testing::ExitedWithCode(1),
                "");
}

}  // namespace
