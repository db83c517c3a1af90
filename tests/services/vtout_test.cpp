// The buffered console output layer: modes, sinks, the line printer.
#include "services/vtout.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> passed;

void Collect(std::string_view text) {
    passed.emplace_back(text);
}

// Each test starts with an empty buffer, mode 64 and a collecting sink.
class VtOut : public testing::Test {
  protected:
    void SetUp() override {
        passed.clear();
        vtOutClear();
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(Collect);
    }
    void TearDown() override {
        vtOutClear();
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(nullptr);
    }
};

TEST_F(VtOut, LineModePassesCompleteLinesAndKeepsTheRest) {
    EXPECT_STREQ(vt_out("ab\ncd"), "cd");
    EXPECT_EQ(passed, std::vector<std::string>{"ab"});
    EXPECT_STREQ(vt_out("e\n\nf\n"), "");
    EXPECT_EQ(passed, (std::vector<std::string>{"ab", "cde", "", "f"}));
}

TEST_F(VtOut, HoldAndWholeBufferModes) {
    vtOutSetMode(kVtHoldAll);
    vt_out("one\n");
    EXPECT_STREQ(vt_out("two"), "one\ntwo");
    EXPECT_TRUE(passed.empty());
    vtOutSetMode(kVtPassBuffer);
    EXPECT_STREQ(vt_out("\nthree"), "");
    EXPECT_EQ(passed, std::vector<std::string>{"one\ntwo\nthree"});
}

TEST_F(VtOut, AnUnknownModeAppendsItsWarningOnce) {
    vtOutSetMode(5);
    vt_out("x");
    EXPECT_STREQ(vt_out("y"), "xvt_out: Bad setting for buffering\ny");
    EXPECT_TRUE(passed.empty());
}

TEST_F(VtOut, EchoFormatsAndWarnsAboutLongLines) {
    vt_echo("%d of %s\n", 3, "PP");
    EXPECT_EQ(passed, std::vector<std::string>{"3 of PP"});
    passed.clear();
    const std::string long_text(300, 'a');
    vt_echo("%s\n", long_text.c_str());
    // The cut text has no line feed, so it joins the warning's line.
    ASSERT_EQ(passed.size(), 1u);
    EXPECT_EQ(passed[0], std::string(255, 'a') + "Warning - line too long in vt_echo (301,256)");
}

TEST_F(VtOut, RestoreBringsBackTheSavedModeAndSink) {
    vtOutSave();
    vtOutSetSink(vtOutDiscard);
    vtOutSetMode(kVtPassBuffer);
    vt_out("dropped\n");
    vtOutRestore();
    vt_out("kept\n");
    EXPECT_EQ(passed, std::vector<std::string>{"kept"});
}

TEST_F(VtOut, TheLinePrinterWritesEmptyLinesAsOneBlank) {
    vtOutSetSink(nullptr);
    testing::internal::CaptureStdout();
    vt_out("first\n\nlast\n");
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_EQ(printed, "first\n \nlast\n");
}

}  // namespace

namespace {

void NoRoutine(std::string_view) {}

// Text goes straight to the message routine only with the line printer as
// sink, a mode that passes text on, nothing held, and a routine installed.
TEST_F(VtOut, TextPassesToTheMessageRoutineOnlyWhenNothingIsInBetween) {
    vtOutSetMessageRoutine(NoRoutine);
    EXPECT_FALSE(vtOutPassesToMessageRoutine());  // a sink of its own
    vtOutSetSink(nullptr);
    EXPECT_TRUE(vtOutPassesToMessageRoutine());
    vtOutSetMode(kVtPassBuffer);
    EXPECT_TRUE(vtOutPassesToMessageRoutine());
    vtOutSetMode(kVtHoldAll);
    EXPECT_FALSE(vtOutPassesToMessageRoutine());
    vtOutSetMode(kVtPassLines);
    vt_out("unfinished");
    EXPECT_FALSE(vtOutPassesToMessageRoutine());
    vtOutClear();
    vtOutSetMessageRoutine(nullptr);
    EXPECT_FALSE(vtOutPassesToMessageRoutine());
}

}  // namespace
