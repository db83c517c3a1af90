// Opening, appending, closing, environment lookup and message lines.
#include "recfile/recfile.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "recfile_test_support.h"

namespace {

using namespace tarnvel::recfile;
using Files = tarnvel::testing::RecfileTest;

TEST(TextFieldPositions, LastAndFirstNonBlank) {
    EXPECT_EQ(LSTNB("  ab c   ", 1, 9), 6);
    EXPECT_EQ(LSTNB("  ab c   ", 1, 5), 4);
    EXPECT_EQ(LSTNB(std::string_view("ab\0cd", 5), 1, 5), 2);
    EXPECT_EQ(LSTNB("     ", 3, 5), 2);
    EXPECT_EQ(LSTNB("ab", -4, 2), 2);
    // Bytes above 0x7f are characters above the blank.
    EXPECT_EQ(LSTNB("a\xc3\xa9", 1, 3), 3);
    EXPECT_EQ(FSTNB("   x ", 1, 5), 4);
    EXPECT_EQ(FSTNB("     ", 1, 5), 5);
}

TEST(MessageLevels, DigitsAndSigns) {
    const RfLevels plain = rfDecodeLevels(123);
    EXPECT_EQ(plain.first, 1);
    EXPECT_EQ(plain.second, 2);
    EXPECT_EQ(plain.third, 3);
    const RfLevels third = rfDecodeLevels(-1999);
    EXPECT_EQ(third.first, 9);
    EXPECT_EQ(third.second, 9);
    EXPECT_EQ(third.third, -9);
    const RfLevels all = rfDecodeLevels(7111);
    EXPECT_EQ(all.first, -1);
    EXPECT_EQ(all.second, -1);
    EXPECT_EQ(all.third, -1);
}

TEST_F(Files, AppendGoesAfterTheLastRecordOrCreatesTheFile) {
    Write(Path("log.txt"), "one\ntwo\n");
    ASSERT_EQ(OPNAPN(20, Path("log.txt"), 999, 0, false), 0);
    WRTLIN(20, "three   ");
    WRTLIN(20, "");
    CLSFIL(20, 'K');
    EXPECT_EQ(Read(Path("log.txt")), "one\ntwo\nthree\n \n");
    ASSERT_EQ(OPNAPN(20, Path("new.txt"), 999, 0, false), 0);
    WRTLIN(20, "first");
    CLSFIL(20, ' ');
    EXPECT_EQ(Read(Path("new.txt")), "first\n");
}

TEST_F(Files, AppendRetriesOnceAfterClosingTheHolderOfAFileInUse) {
    Write(Path("log.txt"), "one\n");
    ASSERT_EQ(OPNOLD(30, Path("log.txt"), 999, kRfNone), 0);
    EXPECT_EQ(OPNOLD(31, Path("log.txt"), 999, kRfNone), -4);
    ASSERT_EQ(OPNAPN(31, Path("log.txt"), 999, 0, true), 0);
    EXPECT_FALSE(rfIsOpen(30));
    WRTLIN(31, "two");
    CLSFIL(31, 'K');
    EXPECT_EQ(Read(Path("log.txt")), "one\ntwo\n");
    const std::string messages = CaptureMessages();
    EXPECT_EQ(OPNAPN(32, Path("absent.txt"), 0, 0, true), -8);
    EXPECT_EQ(OPNAPN(32, Path("absent.txt"), 4109, 0, true), 0);
    EXPECT_EQ(OPNAPN(32, Path("absent.txt"), 999, 0, true), -8);
    EXPECT_FALSE(Exists(Path("absent.txt")));
    EXPECT_EQ(Messages(),
              " File not found\nERROR-OPNAPN-1: Could not open file\n"
              "ERROR-OPNAPN-1: Could not open file\n");
}

TEST_F(Files, OpenExistingReportsMissingFilesByTheThirdLevel) {
    const std::string messages = CaptureMessages();
    EXPECT_EQ(OPNOLD(40, Path("none"), 0, 0), -8);
    EXPECT_EQ(OPNOLD(40, Path("none"), 1009, 0), -1);
    EXPECT_EQ(OPNOLD(40, Path("none"), 4, 0), -8);
    EXPECT_EQ(OPNOLD(40, Path("none"), 3, 0), -8);
    EXPECT_EQ(Messages(), " File not found\n File not found\n");
    Write(Path("d.rax"), std::string(16, 'x'));
    ASSERT_EQ(OPNOLD(40, Path("d.rax"), 0, 8), 0);
    std::vector<char> record(8);
    EXPECT_EQ(rfReadDirect(40, 2, record), kRfOk);
    EXPECT_NE(rfWriteDirect(40, 1, std::string_view("y")), kRfOk);
}

TEST_F(Files, NewFileOverwriteModes) {
    Write(Path("f.txt"), "old\n");
    const std::string messages = CaptureMessages();
    int mode = -1;
    EXPECT_EQ(NEWFIL(50, Path("f.txt"), &mode, 0, 0), -8);
    EXPECT_EQ(Read(Path("f.txt")), "old\n");
    EXPECT_EQ(Messages(), " File exists, not allowed to over-write, re-enter\n");
    mode = 0;
    ASSERT_EQ(NEWFIL(50, Path("f.txt"), &mode, 0, 0), 0);
    WRTLIN(50, "new");
    CLSFIL(50, 'K');
    EXPECT_EQ(Read(Path("f.txt")), "new\n");
    mode = 2;
    EXPECT_EQ(NEWFIL(50, Path("g.txt"), &mode, 0, 0), 0);
    EXPECT_EQ(mode, 1);
    EXPECT_FALSE(Exists(Path("g.txt")));
    ASSERT_EQ(OPNOLD(51, Path("f.txt"), 0, 0), 0);
    mode = 0;
    EXPECT_EQ(NEWFIL(50, Path("f.txt"), &mode, 0, 0), -4);
}

TEST_F(Files, CloseLettersAndTheSettingsOfAClosedUnit) {
    ASSERT_EQ(OPNAPN(60, Path("t.txt"), 999, 0, false), 0);
    EXPECT_EQ(CLSFIL(60, 'X'), -1);
    EXPECT_TRUE(rfIsOpen(60));
    rfSettings().text_output_unit = 60;
    EXPECT_EQ(CLSFIL(60, 'D'), 0);
    EXPECT_FALSE(Exists(Path("t.txt")));
    EXPECT_EQ(rfSettings().text_output_unit, kRfNone);
}

TEST_F(Files, MessagesGoToTheMessageUnitAndTheTextOutput) {
    ASSERT_EQ(OPNAPN(70, Path("copy.txt"), 999, 0, false), 0);
    rfSettings().text_output_unit = 70;
    rfSettings().message_unit = kRfNone;
    WRTMSG("only the copy   ");
    const std::string messages = CaptureMessages();
    WRTMSG(std::string_view("both\0hidden", 11));
    WRTMSG("");
    CLSFIL(70, 'K');
    EXPECT_EQ(Read(Path("copy.txt")), "only the copy\nboth\n \n");
    EXPECT_EQ(Messages(), "both\n \n");
}

TEST_F(Files, FlushingAFileUnitReopensItForAppending) {
    ASSERT_EQ(OPNAPN(71, Path("out.txt"), 999, 0, false), 0);
    WRTLIN(71, "a");
    FLSUNI(71);
    EXPECT_EQ(Read(Path("out.txt")), "a\n");
    WRTLIN(71, "b");
    CLSFIL(71, 'K');
    EXPECT_EQ(Read(Path("out.txt")), "a\nb\n");
}

class Environment : public Files {
  protected:
    void TearDown() override { unsetenv("RECFILE_TEST_VAR"); }
    int Get(int mode, int levels, std::string* value, int field = 20) {
        std::vector<char> buffer(field, '?');
        int length = -5, status = 99;
        VTGVAR(mode, "  RECFILE_TEST_VAR  ", buffer, &length, levels, &status);
        *value = std::string(buffer.begin(), buffer.end());
        EXPECT_GE(length, 0);
        if (length >= 0) value->resize(length);
        return status;
    }
};

TEST_F(Environment, ValuesWithAndWithoutAFinalSlash) {
    setenv("RECFILE_TEST_VAR", "/data", 1);
    std::string value;
    EXPECT_EQ(Get(0, 0, &value), 0);
    EXPECT_EQ(value, "/data");
    EXPECT_EQ(Get(1, 0, &value), 0);
    EXPECT_EQ(value, "/data/");
    setenv("RECFILE_TEST_VAR", "/data/", 1);
    EXPECT_EQ(Get(1, 0, &value), 0);
    EXPECT_EQ(value, "/data/");
}

TEST_F(Environment, UnsetTooLongAndMisuse) {
    const std::string messages = CaptureMessages();
    std::string value;
    EXPECT_EQ(Get(0, 0, &value), -40);
    EXPECT_EQ(Messages(),
              " Could not find environment variable RECFILE_TEST_VAR\n"
              " Check setup procedure and try again.\n");
    const std::string before = Messages();
    EXPECT_EQ(Get(0, 900, &value), -40);
    EXPECT_EQ(Messages(), before);
    setenv("RECFILE_TEST_VAR", "/a/value/longer/than/the/field", 1);
    EXPECT_EQ(Get(0, 900, &value, 8), -1);
    EXPECT_EQ(value, "");
    EXPECT_EQ(Get(2, 900, &value), -667);
    int length = 0, status = 0;
    std::vector<char> field(4);
    VTGVAR(0, "   ", field, &length, 900, &status);
    EXPECT_EQ(status, -30);
    VTGVAR(0, "", field, &length, 900, &status);
    EXPECT_EQ(status, -1);
}

}  // namespace
