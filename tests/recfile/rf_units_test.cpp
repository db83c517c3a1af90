// The record-file runtime: units, records, inquiry, direct access and the
// text-field formatting.
#include "recfile/rf_units.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recfile/rf_text.h"
#include "recfile_test_support.h"

namespace {

using namespace tarnvel::recfile;
using Runtime = tarnvel::testing::RecfileTest;

RfOpenOptions Options(RfStatus status, int record_length = 0) {
    RfOpenOptions options;
    options.status = status;
    options.direct = record_length > 0;
    options.record_length = record_length;
    return options;
}

std::vector<std::string> ReadAll(int unit) {
    std::vector<std::string> records;
    std::string record;
    while (rfReadRecord(unit, &record) == kRfOk) records.push_back(record);
    return records;
}

TEST_F(Runtime, RecordsAreLinesWithoutTheirLineEnds) {
    Write(Path("a.txt"), "first\r\nsecond\n\nlast");
    ASSERT_EQ(rfOpen(10, Path("a.txt"), Options(RfStatus::kOld)), kRfOk);
    EXPECT_EQ(ReadAll(10), (std::vector<std::string>{"first", "second", "", "last"}));
    std::string record;
    EXPECT_EQ(rfReadRecord(10, &record), kRfEnd);
}

TEST_F(Runtime, WritingAfterAnUnterminatedLastLineStartsANewRecord) {
    Write(Path("a.txt"), "one\ntwo");
    ASSERT_EQ(rfOpen(10, Path("a.txt"), Options(RfStatus::kOld)), kRfOk);
    ReadAll(10);
    ASSERT_EQ(rfBackspace(10), kRfOk);
    ASSERT_EQ(rfWriteRecord(10, "three"), kRfOk);
    rfClose(10);
    EXPECT_EQ(Read(Path("a.txt")), "one\ntwo\nthree\n");
}

TEST_F(Runtime, BackspaceRereadsTheRecordBefore) {
    Write(Path("a.txt"), "one\ntwo\n");
    ASSERT_EQ(rfOpen(10, Path("a.txt"), Options(RfStatus::kOld)), kRfOk);
    std::string record;
    rfReadRecord(10, &record);
    rfReadRecord(10, &record);
    rfBackspace(10);
    ASSERT_EQ(rfReadRecord(10, &record), kRfOk);
    EXPECT_EQ(record, "two");
    std::vector<char> field(6);
    rfBackspace(10);
    ASSERT_EQ(rfReadField(10, field), kRfOk);
    EXPECT_EQ(std::string(field.begin(), field.end()), "two   ");
}

TEST_F(Runtime, StatusesOfOpenDecideOnExistence) {
    EXPECT_EQ(rfOpen(10, Path("none"), Options(RfStatus::kOld)), kRfNotFound);
    ASSERT_EQ(rfOpen(10, "  " + Path("n.txt") + "   ", Options(RfStatus::kNew)), kRfOk);
    rfClose(10);
    EXPECT_EQ(rfOpen(11, Path("n.txt"), Options(RfStatus::kNew)), kRfExists);
    EXPECT_EQ(rfOpen(11, Path("n.txt"), Options(RfStatus::kUnknown)), kRfOk);
    EXPECT_EQ(rfOpen(12, Path("n.txt"), Options(RfStatus::kUnknown)), kRfInUse);
    EXPECT_EQ(rfOpen(12, "", Options(RfStatus::kScratch)), kRfOk);
    EXPECT_EQ(rfOpen(13, Path("d"), Options(RfStatus::kNew, 0)), kRfOk);
    RfOpenOptions direct = Options(RfStatus::kNew);
    direct.direct = true;
    EXPECT_EQ(rfOpen(14, Path("e"), direct), kRfBadOptions);
}

TEST_F(Runtime, InquiryKnowsExistenceAndTheUnit) {
    RfInquiry inquiry;
    ASSERT_EQ(rfInquire(Path("x.txt"), &inquiry), kRfOk);
    EXPECT_FALSE(inquiry.exists);
    ASSERT_EQ(rfOpen(21, Path("x.txt"), Options(RfStatus::kNew)), kRfOk);
    rfInquire(Path("./x.txt"), &inquiry);
    EXPECT_TRUE(inquiry.exists);
    EXPECT_TRUE(inquiry.opened);
    EXPECT_EQ(inquiry.unit, 21);
    ASSERT_EQ(rfClose(21, true), kRfOk);
    rfInquire(Path("x.txt"), &inquiry);
    EXPECT_FALSE(inquiry.exists);
    EXPECT_FALSE(inquiry.opened);
}

TEST_F(Runtime, UnitsNeverOpenedAndTheStandardUnits) {
    EXPECT_NE(rfWriteRecord(33, "lost"), kRfOk);
    EXPECT_FALSE(Exists("fort.33"));
    EXPECT_EQ(rfClose(kStandardOutput), kRfOk);
    EXPECT_TRUE(rfIsOpen(kStandardOutput));
    EXPECT_TRUE(rfIsOpen(kStandardInput));
    EXPECT_EQ(rfOpen(kStandardOutput, Path("o"), Options(RfStatus::kNew)), kRfBadUnit);
}

TEST_F(Runtime, DirectRecordsByNumber) {
    ASSERT_EQ(rfOpen(10, Path("d.rax"), Options(RfStatus::kNew, 8)), kRfOk);
    ASSERT_EQ(rfWriteDirect(10, 3, std::string_view("abc")), kRfOk);
    ASSERT_EQ(rfWriteDirect(10, 1, std::string_view("12345678")), kRfOk);
    std::vector<char> record(8);
    ASSERT_EQ(rfReadDirect(10, 3, record), kRfOk);
    EXPECT_EQ(std::string(record.begin(), record.end()), std::string("abc\0\0\0\0\0", 8));
    EXPECT_EQ(rfReadDirect(10, 4, record), kRfBadRecord);
    EXPECT_EQ(rfReadDirect(10, 0, record), kRfBadRecord);
    EXPECT_EQ(rfWriteDirect(10, 2, std::string_view("123456789")), kRfBadRecord);
    rfClose(10);
    EXPECT_EQ(Read(Path("d.rax")).size(), 24u);
}

TEST(InternalFormat, ExponentFieldOfTwelveWithSixDigits) {
    EXPECT_EQ(rfFormatE(0), "0.000000E+00");
    EXPECT_EQ(rfFormatE(1), "0.100000E+01");
    EXPECT_EQ(rfFormatE(-1), "-.100000E+01");
    EXPECT_EQ(rfFormatE(123.456), "0.123456E+03");
    EXPECT_EQ(rfFormatE(-123.456), "-.123456E+03");
    EXPECT_EQ(rfFormatE(1e-30), "0.100000E-29");
    EXPECT_EQ(rfFormatE(1e30), "0.100000E+31");
    EXPECT_EQ(rfFormatE(0.9999996), "0.100000E+01");
    EXPECT_EQ(rfFormatE(1e120), "0.100000+121");
    EXPECT_EQ(rfFormatE(1.0 / 0.0), "************");
    EXPECT_EQ(rfFormatE(5, 14), "  0.500000E+01");
}

// Rounding as "%.*e" rounds, a carry into the exponent, exponents of three
// digits, subnormal values, narrow fields and other digit counts.
TEST(InternalFormat, ExponentFieldsAtTheEdges) {
    const struct {
        double value;
        int width;
        int digits;
        const char* field;
    } cases[] = {
        {9.9999995, 12, 6, "0.100000E+02"},
        {0.099999996, 12, 6, "0.100000E+00"},
        {9.99999949e99, 12, 6, "0.100000+101"},
        {1e-99, 12, 6, "0.100000E-98"},
        {1e-100, 12, 6, "0.100000E-99"},
        {5e-324, 12, 6, "0.494066-323"},
        {1, 11, 6, ".100000E+01"},
        {-1, 11, 6, "***********"},
        {1, 14, 3, "     0.100E+01"},
        {-2.5e-7, 16, 10, "-.2500000000E-06"},
        {123456.5, 12, 6, "0.123456E+06"},
        {0.0, 8, 2, "0.00E+00"},
        {-0.0, 12, 6, "0.000000E+00"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rfFormatE(c.value, c.width, c.digits), c.field) << c.value;
    }
}

TEST(InternalFormat, IntegersAndListRecords) {
    EXPECT_EQ(rfFormatI(42), "      42");
    EXPECT_EQ(rfFormatI(-1234567), "-1234567");
    EXPECT_EQ(rfFormatI(123456789), "********");
    const float values[] = {1.5f, -0.1f, 1e20f};
    EXPECT_EQ(rfListRecord(values), " 1.5 -0.1 1e+20");
}

TEST(InternalFormat, ReadingNumbersFromFields) {
    double value = 0;
    EXPECT_EQ(rfReadReal("  1.5D2 ", &value), 0);
    EXPECT_DOUBLE_EQ(value, 150);
    for (const char* bad : {"0x10", "INF", "nan", "1.5x", "", ".", "1e", "--1"}) {
        EXPECT_NE(rfReadReal(bad, &value), 0) << bad;
    }
    long long integer = 0;
    EXPECT_EQ(rfReadInt("   -17", &integer), 0);
    EXPECT_EQ(integer, -17);
    EXPECT_NE(rfReadInt("12a", &integer), 0);
}

TEST(TextFields, PaddingPositionsAndRounding) {
    char field[5];
    rfAssign(field, "ab");
    EXPECT_EQ(std::string(field, 5), "ab   ");
    rfAssign(field, "abcdefg");
    EXPECT_EQ(std::string(field, 5), "abcde");
    EXPECT_EQ(rfUsed(std::string_view("ab c \0xy", 8)), "ab c");
    EXPECT_EQ(rfIndex("MATERIAL", "TER"), 3);
    EXPECT_EQ(rfIndex("MATERIAL", "X"), 0);
    EXPECT_EQ(rfNearest(2.5), 3);
    EXPECT_EQ(rfNearest(-2.5), -3);
    EXPECT_EQ(rfNearest(-2.4), -2);
    EXPECT_EQ(rfNearest(1e12), 2147483647);
}

}  // namespace
