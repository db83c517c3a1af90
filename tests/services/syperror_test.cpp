// Condition reports, failed assertions and the exit cleanup registry.
#include "services/syperror.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using ::testing::ExitedWithCode;
using ::testing::HasSubstr;

const std::string kBoxTop = "\n-----\n| \aUnexpected Condition Encountered:\n";
const std::string kBoxBottom = "-----\n";

std::string Box(const std::string& lines) {
    return kBoxTop + lines + kBoxBottom;
}

// What sypReportCondition prints for a text given as one argument.
std::string Reported(const std::string& text) {
    testing::internal::CaptureStderr();
    SYP_REPORT("%s", text.c_str());
    return testing::internal::GetCapturedStderr();
}

TEST(ConditionReport, PrintsTheFormattedTextInTheBox) {
    testing::internal::CaptureStderr();
    SYP_REPORT("grade %s of %d", "PP-7", 12);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), Box("| grade PP-7 of 12\n"));
    EXPECT_EQ(Reported("first\n\nthird\n"), Box("| first\n| \n| third\n"));
    EXPECT_EQ(Reported(""), Box(""));
    testing::internal::CaptureStderr();
    SYP_REPORT_MISUSE();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), Box("| Returned on Assertion Failure:\n"));
}

TEST(ConditionReport, CutsLinesWithoutBlanksAfter68Characters) {
    const std::string a(68, 'a'), b(68, 'b'), c(14, 'c');
    EXPECT_EQ(Reported(a + b + c), Box("| " + a + "\n| " + b + "\n| " + c + "\n"));
    EXPECT_EQ(Reported(a), Box("| " + a + "\n"));
}

TEST(ConditionReport, BreaksLongLinesAtTheLastBlankOrTabAmongTheFirst69Characters) {
    const std::string words = std::string(30, 'w') + " " + std::string(30, 'x') + " ";
    EXPECT_EQ(Reported(words + std::string(20, 'y')),
              Box("| " + std::string(30, 'w') + " " + std::string(30, 'x') + "\n| " +
                  std::string(20, 'y') + "\n"));
    const std::string a68(68, 'a');
    EXPECT_EQ(Reported(a68 + " tail"), Box("| " + a68 + "\n| tail\n"));
    EXPECT_EQ(Reported(a68 + "a tail"), Box("| " + a68 + "\n| a tail\n"));
    EXPECT_EQ(Reported("head\t" + a68), Box("| head\n| " + a68 + "\n"));
}

TEST(ConditionReport, KeepsAtMost1024CharactersOfText) {
    const std::string printed = Reported(std::string(2000, 'z'));
    std::string expected;
    for (int line = 0; line < 15; ++line) expected += "| " + std::string(68, 'z') + "\n";
    EXPECT_EQ(printed, Box(expected + "| zzzz\n"));
}

TEST(AssertionFailure, PrintsTheBoxAndEndsTheProcessWithStatus1) {
    EXPECT_EXIT(sypAssertFail(__FILE__, __LINE__, "count > 0"), ExitedWithCode(1),
                HasSubstr(Box("| Assertion Failed: \"count > 0\"\n") +
                          "\nProgram Terminating on Assertion Failure.\n"));
    EXPECT_EXIT(SYP_ASSERT(1 + 1 == 3), ExitedWithCode(1),
                HasSubstr("| Assertion Failed: \"1 + 1 == 3\"\n"));
    SYP_ASSERT(1 + 1 == 2);
}

TEST(AssertionFailure, KeepsAtMost255CharactersOfReportText) {
    // "Assertion Failed: \"" takes 19 of the 255 characters; the line breaks
    // at its last blank, the rest has none.
    const std::string line(68, 't');
    EXPECT_EXIT(sypAssertFail(__FILE__, __LINE__, std::string(300, 't').c_str()), ExitedWithCode(1),
                HasSubstr(Box("| Assertion Failed:\n| \"" + std::string(67, 't') + "\n| " + line +
                              "\n| " + line + "\n| " + std::string(33, 't') + "\n")));
}

void PrintFirst() {
    std::fputs("first ", stderr);
}
void PrintSecond() {
    std::fputs("second ", stderr);
}
void PrintThird() {
    std::fputs("third ", stderr);
}
void DoNothing() {}

TEST(ExitCleanups, RunFromTheLastRegisteredToTheFirst) {
    EXPECT_EXIT(
        {
            for (auto cleanup : {PrintFirst, PrintSecond, PrintThird}) {
                if (sypRegisterExitCleanup(cleanup) != 0) std::abort();
            }
            std::exit(0);
        },
        ExitedWithCode(0), HasSubstr("third second first "));
}

TEST(ExitCleanups, RefuseNullAndTheRegistrationAfterTheTableIsFull) {
    EXPECT_EQ(sypRegisterExitCleanup(nullptr), 1);
    EXPECT_EXIT(
        {
            int registered = tarnvel::services::RegisteredExitCleanups();
            while (sypRegisterExitCleanup(DoNothing) == 0) ++registered;
            std::fprintf(stderr, "registered %d, then %d\n", registered,
                         sypRegisterExitCleanup(DoNothing));
            std::exit(0);
        },
        ExitedWithCode(0), HasSubstr("registered 1024, then 1\n"));
}

}  // namespace
