// UDM streams, writing side and round trips: the exact binary token bytes,
// the text form of tokens, the packed container checked with plain zlib and
// an independent keystream, and round trips in every encoding through
// memory and files.
#include <gtest/gtest.h>
#include <zlib.h>

#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "services/libvxenv.h"
#include "stream_test_support.h"
#include "udm/udm_encodings.h"
#include "udm/udm_stream.h"
#include "udm/udm_stream_impl.h"

namespace {

using namespace udm_stream_test;
namespace udm = tarnvel::udm;

std::string BinaryBody(const std::vector<OwnedToken>& tokens, int encoding = 2) {
    return Body(WriteTokens(encoding, tokens), encoding);
}

std::string TextOf(const std::vector<OwnedToken>& tokens, int encoding = 1) {
    return Body(WriteTokens(encoding, tokens), encoding);
}

// ---- binary token layout ----------------------------------------------------

TEST(BinaryLayout, NumbersAreBigEndianAfterTheirTypeByte) {
    EXPECT_EQ(Hex(BinaryBody({Integer(UDM_TOKEN_INT16, 300)})), "07 01 2C");
    EXPECT_EQ(Hex(BinaryBody({Real(UDM_TOKEN_DOUBLE, 1.0)})), "0A 3F F0 00 00 00 00 00 00");
    EXPECT_EQ(Hex(BinaryBody({Integer(UDM_TOKEN_INT32, -2)})), "08 FF FF FF FE");
    EXPECT_EQ(Hex(BinaryBody({Integer(UDM_TOKEN_INT8, 255)})), "06 FF");
    EXPECT_EQ(Hex(BinaryBody({Real(UDM_TOKEN_FLOAT, 1.0)})), "09 3F 80 00 00");
}

TEST(BinaryLayout, TextsCarryAFourByteLengthAndNoTerminator) {
    EXPECT_EQ(Hex(BinaryBody({Text(UDM_TOKEN_STRING, "ab")})), "0C 00 00 00 02 61 62");
    EXPECT_EQ(Hex(BinaryBody({Text(UDM_TOKEN_WORD, "TSET")})), "0B 00 00 00 04 54 53 45 54");
    EXPECT_EQ(Hex(BinaryBody({Text(UDM_TOKEN_COMMENT, "c")})), "0D 00 00 00 01 63");
}

TEST(BinaryLayout, AMissingStringHasLengthZero) {
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("mem", 2, &out);
    UdmToken missing;
    missing.code = UDM_TOKEN_STRING;
    udm_stream_put(stream, missing);
    udm_stream_close(stream);
    EXPECT_EQ(Hex(Body(out, 2)), "0C 00 00 00 00");
}

TEST(BinaryLayout, BracesAndBooleansAreOneByteAndLayoutTokensNone) {
    std::string body = BinaryBody({Simple(UDM_TOKEN_OPEN), Integer(UDM_TOKEN_BLANKS, 3),
                                   Simple(UDM_TOKEN_FALSE), Integer(UDM_TOKEN_NEWLINES, 2),
                                   Simple(UDM_TOKEN_TRUE), Simple(UDM_TOKEN_CLOSE)});
    EXPECT_EQ(Hex(body), "02 04 05 03");
}

TEST(BinaryLayout, ReadsTheDocumentedBytesBack) {
    std::string header(reinterpret_cast<const char*>(udm::encoding_header(2).data()), 8);
    std::string bytes =
        header + std::string("\x07\x01\x2C\x0A\x3F\xF0\0\0\0\0\0\0\x0C\0\0\0\x02\x61\x62", 19);
    ReadBack back = ReadTokens(bytes);
    EXPECT_EQ(back.detected, 2);
    EXPECT_EQ(back.status, 0);
    std::vector<OwnedToken> expected = {Integer(UDM_TOKEN_INT16, 300), Real(UDM_TOKEN_DOUBLE, 1.0),
                                        Text(UDM_TOKEN_STRING, "ab")};
    EXPECT_EQ(back.tokens, expected);
}

TEST(BinaryLayout, MaskScramblesOnlyValueBytes) {
    std::string body = BinaryBody({Integer(UDM_TOKEN_INT16, 300), Text(UDM_TOKEN_STRING, "a")}, 3);
    EXPECT_EQ(Hex(body), "07 5B 76 0C 5A 5A 5A 5B 3B");
}

TEST(BinaryLayout, KeystreamRunsOverValueBytesOnly) {
    std::string body = BinaryBody(
        {Integer(UDM_TOKEN_INT16, 300), Simple(UDM_TOKEN_OPEN), Integer(UDM_TOKEN_INT16, 300)}, 4);
    ASSERT_EQ(body.size(), 7u);
    EXPECT_EQ(body[0], '\x07');
    EXPECT_EQ(body[3], '\x02');
    EXPECT_EQ(body[4], '\x07');
    std::string values = body.substr(1, 2) + body.substr(5, 2);
    EXPECT_EQ(Hex(KeystreamXor(values, udm::kKeystreamInit)), "01 2C 01 2C");
}

// ---- the constants ----------------------------------------------------------

TEST(EncodingConstants, PermutationIsTheKeyScheduleOfTheProjectKey) {
    std::string_view key = "tarnvel-udm-v4";
    std::array<std::uint8_t, 256> s;
    for (unsigned n = 0; n < 256; ++n) s[n] = static_cast<std::uint8_t>(n);
    unsigned j = 0;
    for (unsigned i = 0; i < 256; ++i) {
        j = (j + s[i] + static_cast<std::uint8_t>(key[i % key.size()])) & 0xFF;
        std::swap(s[i], s[j]);
    }
    EXPECT_EQ(s, udm::kKeystreamInit);
}

TEST(EncodingConstants, PackedAndKeystreamTextHeadersDifferInTheFirstByteOnly) {
    auto seven = udm::encoding_header(7);
    auto eight = udm::encoding_header(8);
    ASSERT_EQ(eight.size(), 10u);
    EXPECT_NE(seven[0], eight[0]);
    EXPECT_TRUE(std::equal(seven.begin() + 1, seven.end(), eight.begin() + 1));
    EXPECT_EQ(Hex(std::string(eight.begin(), eight.end())), "1C 8B 08 00 00 00 00 00 00 00");
}

// ---- the packed container -----------------------------------------------------

TEST(PackedContainer, IsHeaderThenScrambledDeflateAndTrailer) {
    std::string packed = WriteTokens(8, SampleTokens());
    std::string binary = BinaryBody(SampleTokens());
    ASSERT_GT(packed.size(), 18u);
    EXPECT_EQ(Hex(packed.substr(0, 10)), "1C 8B 08 00 00 00 00 00 00 00");

    std::string clear = KeystreamXor(Body(packed, 8), udm::kKeystreamInit);
    std::string trailer;
    std::string inflated = InflateRaw(clear, &trailer);
    EXPECT_EQ(inflated, binary);
    ASSERT_EQ(trailer.size(), 8u);
    auto crc = crc32(0, reinterpret_cast<const Bytef*>(binary.data()), binary.size());
    EXPECT_EQ(LittleEndian32(trailer), crc);
    EXPECT_EQ(LittleEndian32(trailer.substr(4)), binary.size());
}

TEST(PackedContainer, GzipEncodingIsAPlainGzipMember) {
    std::string text = TextOf(SampleTokens());
    std::string gzip = WriteTokens(5, SampleTokens());
    EXPECT_EQ(Hex(gzip.substr(0, 10)), "1F 8B 08 00 00 00 00 00 00 00");
    std::string trailer;
    EXPECT_EQ(InflateRaw(Body(gzip, 5), &trailer), text);
    EXPECT_EQ(LittleEndian32(trailer.substr(4)), text.size());
}

TEST(PackedContainer, MaskedTextXorsEveryByteAfterTheHeader) {
    std::string masked = Body(WriteTokens(6, SampleTokens()), 6);
    for (char& byte : masked) byte = static_cast<char>(byte ^ udm::kXorMask);
    std::string trailer;
    EXPECT_EQ(InflateRaw(masked, &trailer), TextOf(SampleTokens()));
}

TEST(PackedContainer, OutputLargerThanOneBufferKeepsTheKeystreamRunning) {
    std::vector<OwnedToken> tokens;
    for (int n = 0; n < 20000; ++n) {
        tokens.push_back(Integer(UDM_TOKEN_INT32, n * 7919));
        tokens.push_back(Real(UDM_TOKEN_DOUBLE, n / 3.0));
    }
    std::string packed = WriteTokens(8, tokens);
    ASSERT_GT(packed.size(), 3 * udm::kStreamBufferSize);
    std::string trailer;
    std::string inflated = InflateRaw(KeystreamXor(Body(packed, 8), udm::kKeystreamInit), &trailer);
    EXPECT_EQ(inflated, BinaryBody(tokens));
    EXPECT_EQ(ReadTokens(packed).tokens, tokens);
}

// ---- text tokens ------------------------------------------------------------

TEST(TextTokens, PrintEachTokenWithoutSeparators) {
    ASSERT_STREQ(udm_float_format(), "%e");
    std::string text = TextOf(
        {Text(UDM_TOKEN_WORD, "TCOD"), Simple(UDM_TOKEN_OPEN), Integer(UDM_TOKEN_INT32, 1992),
         Integer(UDM_TOKEN_BLANKS, 1), Text(UDM_TOKEN_STRING, "Not Available"),
         Integer(UDM_TOKEN_NEWLINES, 1), Integer(UDM_TOKEN_BLANKS, 4), Real(UDM_TOKEN_DOUBLE, 2.5),
         Simple(UDM_TOKEN_CLOSE), Simple(UDM_TOKEN_TRUE), Simple(UDM_TOKEN_FALSE),
         Integer(UDM_TOKEN_INT16, 300), Text(UDM_TOKEN_COMMENT, "//x")});
    EXPECT_EQ(text, "TCOD{1992 \"Not Available\"\n    2.500000e+00}10300//x");
}

TEST(TextTokens, QuotedStringsEscapeQuotesAndBackslashesOnly) {
    EXPECT_EQ(TextOf({Text(UDM_TOKEN_STRING, "a\"b\\c\nd")}), "\"a\\\"b\\\\c\nd\"");
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("mem", 1, &out);
    UdmToken missing;
    missing.code = UDM_TOKEN_STRING;
    udm_stream_put(stream, missing);
    udm_stream_close(stream);
    EXPECT_EQ(out, "\"\"");
}

TEST(TextTokens, LongEscapedStringsAndRunsSpanBuffers) {
    std::string quotes(2040, '"');
    std::string text = TextOf({Text(UDM_TOKEN_STRING, quotes), Integer(UDM_TOKEN_BLANKS, 300)});
    ASSERT_EQ(text.size(), 2 + 2 * quotes.size() + 300);
    EXPECT_EQ(text.substr(0, 5), "\"\\\"\\\"");
    EXPECT_EQ(text.substr(text.size() - 301), "\"" + std::string(300, ' '));
}

// The text reader takes quoted strings of up to 4095 bytes between the
// quotes: a text whose quoted form is longer fails a text stream, not a
// packed one.
TEST(TextTokens, StringsLongerThanTheReaderTakesFailTextStreams) {
    const auto close_status = [](int encoding, const std::string& text) {
        std::string out;
        UdmStream* stream = udm_stream_open_write_memory("mem", encoding, &out);
        udm_stream_put(stream, View(Text(UDM_TOKEN_STRING, text)));
        return udm_stream_close(stream);
    };
    for (int encoding : {1, 5}) {
        EXPECT_EQ(close_status(encoding, std::string(4095, 'a')), 0);
        EXPECT_EQ(close_status(encoding, std::string(4096, 'a')), 1003);
        // Escapes count: 2048 backslashes are 4096 bytes quoted.
        EXPECT_EQ(close_status(encoding, std::string(2047, '\\') + "a"), 0);
        EXPECT_EQ(close_status(encoding, std::string(2048, '\\')), 1003);
    }
    EXPECT_EQ(close_status(8, std::string(100000, '"')), 0);
}

TEST(TextTokens, NothingIsWrittenAfterTheEndToken) {
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("mem", 1, &out);
    udm_stream_put(stream, View(Text(UDM_TOKEN_WORD, "ENDF")));
    udm_stream_put(stream, UdmToken{});
    EXPECT_EQ(out, "ENDF");
    udm_stream_put(stream, View(Text(UDM_TOKEN_WORD, "MORE")));
    udm_stream_write(stream, "xyz", 3);
    EXPECT_EQ(udm_stream_close(stream), 0);
    EXPECT_EQ(out, "ENDF");
}

// The default form is printed without printf; it must give printf's "%e"
// characters for every kind of double: random bit patterns (denormals,
// huge and tiny magnitudes among them), both zeros, the extremes, the
// specials and values whose rounding carries into the exponent.
TEST(FloatFormat, TheDefaultFormIsPrintfsCharacterForCharacter) {
    ASSERT_STREQ(udm_float_format(), "%e");
    std::vector<double> values = {0.0,
                                  -0.0,
                                  2.5,
                                  -1.0,
                                  DBL_MAX,
                                  -DBL_MAX,
                                  DBL_MIN,
                                  DBL_TRUE_MIN,
                                  -DBL_TRUE_MIN,
                                  9.9999995,
                                  9.9999994999,
                                  999999.5,
                                  9.9999996e-300,
                                  9.9999999e99,
                                  0.5e-6,
                                  1.0000005,
                                  273.15,
                                  HUGE_VAL,
                                  -HUGE_VAL,
                                  std::nan(""),
                                  -std::nan("")};
    std::mt19937_64 random(2026);
    for (int n = 0; n < 200000; ++n) {
        const std::uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        values.push_back(value);
    }
    for (int exponent = -320; exponent <= 308; ++exponent) {
        values.push_back(std::pow(10.0, exponent));
        values.push_back(9.9999995 * std::pow(10.0, exponent));
    }
    std::vector<OwnedToken> tokens;
    std::string expected;
    for (double value : values) {
        tokens.push_back(Real(UDM_TOKEN_DOUBLE, value));
        tokens.push_back(Integer(UDM_TOKEN_BLANKS, 1));
        std::array<char, 64> printed;
        std::snprintf(printed.data(), printed.size(), "%e ", value);
        expected += printed.data();
    }
    const std::string text = TextOf(tokens);
    ASSERT_EQ(text.size(), expected.size());
    for (std::size_t at = 0, next = 0; at < text.size(); at = next + 1) {
        next = expected.find(' ', at);
        ASSERT_EQ(text.substr(at, next - at), expected.substr(at, next - at));
    }
}

TEST(FloatFormat, OnlyOneConversionOfADoubleIsTaken) {
    for (const char* good :
         {"%e", "%.3f", "%15.8E", "%-+#10.4g", "%le", "%.10lf", "%.17g", " %e ", "%.0e", "%G"}) {
        EXPECT_TRUE(udm::is_usable_float_format(good)) << good;
    }
    // One conversion, but what it prints does not read back as the value:
    // text glued to the number, hexadecimal, too few digits for 1e-300.
    for (const char* unreadable :
         {"x%e", "%%%e%%", "x=%-+#10.4g%%", "%a", "%A", "%e,", "%ex", "%.0f1", "1%e", "%+e%%"}) {
        EXPECT_FALSE(udm::is_usable_float_format(unreadable)) << unreadable;
    }
    for (const char* bad : {"%", "e", "%%", "%s", "%d", "%n", "%e%e", "%*e", "%.*e", "%Le",
                            "%1000e", "%.1000f", "%lle", "%hf", "%l"}) {
        EXPECT_FALSE(udm::is_usable_float_format(bad)) << bad;
    }
    EXPECT_FALSE(udm::is_usable_float_format(nullptr));
    EXPECT_FALSE(udm::is_usable_float_format(std::string(64, 'x').append("%e").c_str()));
}

// The format is fixed on first use in a process, so each value of the
// product variable is tried in a fresh one: it writes 2.5 as text and
// prints the result between brackets.
[[noreturn]] void WriteWithProductFormat(const char* value) {
    setenv(envGetVariableName("PRODUCT_FLOAT_FORMAT"), value, 1);
    std::fprintf(stderr, "[%s]", TextOf({Real(UDM_TOKEN_DOUBLE, 2.5)}).c_str());
    std::exit(0);
}

TEST(FloatFormatDeathTest, TheProductVariableIsTakenOnlyWhenUsable) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    using ::testing::ExitedWithCode;
    EXPECT_EXIT(WriteWithProductFormat("%.3lf"), ExitedWithCode(0), "^\\[2\\.500\\]$");
    EXPECT_EXIT(WriteWithProductFormat(" %.10g "), ExitedWithCode(0), "^\\[ 2\\.5 \\]$");
    // Too short, not a single conversion of a double, or numbers that do
    // not read back: the default, with a warning that names the variable.
    const std::string warned = std::string("^warning: ") +
                               envGetVariableName("PRODUCT_FLOAT_FORMAT") +
                               " \"[^\"]*\" is not a float format whose numbers read back; "
                               "\"%e\" is used\n\\[2\\.500000e\\+00\\]$";
    for (const char* unusable : {"e", "%s", "<%g>", "x%e", "%%%e%%"}) {
        EXPECT_EXIT(WriteWithProductFormat(unusable), ExitedWithCode(0), warned) << unusable;
    }
}

// ---- round trips ------------------------------------------------------------

class BinaryRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(BinaryRoundTrip, ThroughMemory) {
    ReadBack back = ReadTokens(WriteTokens(GetParam(), SampleTokens()));
    EXPECT_EQ(back.detected, GetParam());
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.tokens, SampleTokens());
}

TEST_P(BinaryRoundTrip, ThroughAFile) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    UdmStream* out = udm_stream_open_write("tmp.udm", GetParam(), file);
    ASSERT_NE(out, nullptr);
    for (const OwnedToken& token : SampleTokens()) udm_stream_put(out, View(token));
    EXPECT_EQ(udm_stream_close(out), 0);
    std::rewind(file);
    int detected = 0;
    UdmStream* in = udm_stream_open_read("tmp.udm", file, 0, &detected);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(detected, GetParam());
    EXPECT_EQ(udm_stream_encoding(in), GetParam());
    EXPECT_STREQ(udm_stream_name(in), "tmp.udm");
    std::vector<OwnedToken> tokens;
    UdmToken token;
    while (udm_stream_get(in, &token) != UDM_TOKEN_END) tokens.push_back(Own(token));
    EXPECT_EQ(udm_stream_close(in), 0);
    std::fclose(file);
    EXPECT_EQ(tokens, SampleTokens());
}

TEST_P(BinaryRoundTrip, TextsLongerThanTheBuffers) {
    std::string long_text;
    for (int n = 0; n < 30000; ++n) long_text += static_cast<char>('a' + n % 26);
    std::vector<OwnedToken> tokens = {Text(UDM_TOKEN_STRING, long_text), Simple(UDM_TOKEN_OPEN),
                                      Text(UDM_TOKEN_WORD, long_text.substr(0, 4097))};
    EXPECT_EQ(ReadTokens(WriteTokens(GetParam(), tokens)).tokens, tokens);
}

INSTANTIATE_TEST_SUITE_P(Encodings, BinaryRoundTrip, ::testing::Values(2, 3, 4, 8));

class TextRoundTrip : public ::testing::TestWithParam<int> {};

TEST_P(TextRoundTrip, BytesComeBackAsWritten) {
    std::string expected = TextOf(SampleTokens());
    ReadBack back = ReadBytes(WriteTokens(GetParam(), SampleTokens()));
    EXPECT_EQ(back.detected, GetParam() == 0 ? 1 : GetParam());
    EXPECT_EQ(back.status, 0);
    EXPECT_EQ(back.bytes, expected);
}

TEST_P(TextRoundTrip, ManyBuffersThroughAFileByteByByte) {
    std::string text;
    for (int n = 0; n < 5000; ++n) text += "line " + std::to_string(n) + "\n";
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    UdmStream* out = udm_stream_open_write("tmp", GetParam(), file);
    udm_stream_write(out, text.data(), text.size());
    EXPECT_EQ(udm_stream_close(out), 0);
    std::rewind(file);
    UdmStream* in = udm_stream_open_read("tmp", file, 0, nullptr);
    ASSERT_NE(in, nullptr);
    std::string back;
    for (int byte; (byte = udm_stream_getc(in)) >= 0;) back += static_cast<char>(byte);
    EXPECT_EQ(udm_stream_close(in), 0);
    std::fclose(file);
    EXPECT_EQ(back, text);
}

INSTANTIATE_TEST_SUITE_P(Encodings, TextRoundTrip, ::testing::Values(0, 1, 5, 6, 7));

// ---- write failures and misuse ---------------------------------------------------

TEST(WriteStream, AFullDeviceIsReportedAtClose) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    if (full == nullptr) GTEST_SKIP() << "no /dev/full";
    UdmStream* stream = udm_stream_open_write("full", 8, full);
    ASSERT_NE(stream, nullptr);
    for (const OwnedToken& token : SampleTokens()) udm_stream_put(stream, View(token));
    EXPECT_EQ(udm_stream_close(stream), udm::kStatusWriteFailed);
    std::fclose(full);
}

TEST(WriteStream, RefusesMissingTargetsAndUnknownEncodings) {
    std::string out;
    EXPECT_EQ(udm_stream_open_write("x", 1, nullptr), nullptr);
    EXPECT_EQ(udm_stream_open_write_memory("x", 1, nullptr), nullptr);
    EXPECT_EQ(udm_stream_open_write_memory("x", 9, &out), nullptr);
    EXPECT_EQ(udm_stream_open_write_memory("x", -1, &out), nullptr);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(udm_stream_close(nullptr), 0);
}

}  // namespace
