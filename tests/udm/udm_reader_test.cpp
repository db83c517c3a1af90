// The UDM reader: round trips through every encoding the writer produces,
// read modes and encodings, the grammar's forms and their failures, error
// recovery and diagnostics, and damaged input of every kind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "reader_test_support.h"
#include "udm/udm.h"
#include "udm/udm_lexer.h"
#include "udm/udm_reader.h"
#include "udm/udm_stream.h"

using reader_test::AddBinaryOnlyValues;
using reader_test::BuildTextSafeModel;
using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::SetImage;
using reader_test::SetsOf;
using reader_test::SetsOfCurrent;
using reader_test::TempDir;
using reader_test::WriteBytes;

namespace {

// Diagnostics are printed when this product variable is set; it is looked
// up once per process, before the first read.
[[maybe_unused]] const int kPrintErrors = setenv("VANTOREL_UDM_PRINT_ERROR", "1", 1);

class ReaderTest : public ::testing::Test {
  protected:
    // Writes the bytes to a file and reads it into the test's model.
    int Read(const std::string& bytes, int mode = UDM_MODE_AS_LOADED) {
        WriteBytes(path_, bytes);
        model_.Select();
        return udm_model_read(path_.c_str(), mode);
    }
    // As Read, keeping what the reader reported.
    int ReadReporting(const std::string& bytes, std::string* report) {
        ::testing::internal::CaptureStderr();
        const int status = Read(bytes);
        *report = ::testing::internal::GetCapturedStderr();
        return status;
    }
    // The current model written in a mode, as bytes.
    std::string Written(int mode) {
        const std::string path = dir_.File("written.udm");
        EXPECT_EQ(udm_model_write(path.c_str(), mode), UDM_OK);
        return ReadBytes(path);
    }
    std::vector<SetImage> Sets() { return SetsOf(model_.get()); }

    TempDir dir_;
    std::string path_ = dir_.File("in.udm");
    HeldModel model_;
};

int Occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

// ---- Round trips ------------------------------------------------------------------

TEST_F(ReaderTest, TextWriteReadsBackEqual) {
    HeldModel source;
    BuildTextSafeModel();
    const std::string text = Written(UDM_MODE_TEXT);
    const std::vector<SetImage> expected = SetsOfCurrent();
    const std::string keyword = udm_title_text(UDM_TITLE_KEYW);
    const std::string date = udm_title_text(UDM_TITLE_DATE);

    ASSERT_EQ(Read(text, UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(Sets(), expected);
    EXPECT_STREQ(udm_title_name(), "grades \"2024\" C:\\data\\");
    EXPECT_EQ(udm_title_text(UDM_TITLE_KEYW), keyword);
    EXPECT_EQ(udm_title_text(UDM_TITLE_DATE), date);
    EXPECT_EQ(udm_file_version(), 4);
    const char* value = nullptr;
    ASSERT_EQ(udm_global_get("ABCD", "key with \\ and \"", &value), UDM_OK);
    EXPECT_STREQ(value, "multi\nline");
    ASSERT_EQ(udm_global_get("UDMW", "TYPE", &value), UDM_OK);
    EXPECT_STREQ(value, "21000");
    // Saving writes the encoding the model was read in.
    EXPECT_EQ(Written(UDM_MODE_AS_LOADED).substr(0, 4), "//  ");
}

TEST_F(ReaderTest, PackedWriteReadsBackBitForBit) {
    HeldModel source;
    BuildTextSafeModel();
    AddBinaryOnlyValues();
    const std::string packed = Written(UDM_MODE_PACKED);
    const std::vector<SetImage> expected = SetsOfCurrent();

    for (int mode : {UDM_MODE_PACKED, UDM_MODE_AS_LOADED}) {
        HeldModel target;
        WriteBytes(path_, packed);
        ASSERT_EQ(udm_model_read(path_.c_str(), mode), UDM_OK) << mode;
        EXPECT_EQ(SetsOfCurrent(), expected) << mode;
        EXPECT_STREQ(udm_title_name(), "grades \"2024\" C:\\data\\");
        // The model remembers it was packed.
        EXPECT_EQ(static_cast<unsigned char>(Written(UDM_MODE_AS_LOADED)[0]), 0x1C);
    }
    EXPECT_EQ(Read(packed, UDM_MODE_TEXT), UDM_BAD_ARGUMENT);
    EXPECT_TRUE(Sets().empty());
}

TEST_F(ReaderTest, LongTextsInPackedFilesReadWhole) {
    // Texts beyond the 4095-byte limit of the text form, and beyond the
    // reader's 32 KiB window, at several offsets from a window boundary.
    HeldModel source;
    for (std::size_t size : {4096u, 32 * 1024u - 7, 32 * 1024u + 5, 300000u}) {
        const std::string description(size, 'd');
        const std::string text(size / 2 + 1, 't');
        reader_test::AddSet(21000, static_cast<std::int32_t>(size), description.c_str(),
                            {{1, {1.5}}, {2, {2.5, 3.5}}}, text.c_str());
    }
    const std::string packed = Written(UDM_MODE_PACKED);
    const std::vector<SetImage> expected = SetsOfCurrent();
    ASSERT_EQ(Read(packed, UDM_MODE_PACKED), UDM_OK);
    EXPECT_EQ(Sets(), expected);
    // The same file cut inside the longest text fails cleanly.
    HeldModel cut;
    WriteBytes(path_, packed.substr(0, packed.size() / 2));
    EXPECT_EQ(udm_model_read(path_.c_str(), UDM_MODE_PACKED), UDM_PARSE_FAILED);
}

TEST_F(ReaderTest, NextTokenRecognisesKeywords) {
    const std::string text = "TSETX tset TSE LYER 12";
    UdmStream* stream = udm_stream_open_read_memory("mem", text, 1, nullptr);
    ASSERT_NE(stream, nullptr);
    {
        tarnvel::udm::TextLexer lexer(stream);
        lexer.Attach();
        model_.Select();
        udm_set_file_version("UDM V2");
        UdmToken token;
        EXPECT_EQ(udm_next_token(stream, &token), 284);
        EXPECT_EQ(token.text, "TSET");
        EXPECT_EQ(udm_next_token(stream, &token), UDM_TOKEN_WORD);
        EXPECT_EQ(token.text, "tset");
        EXPECT_EQ(udm_next_token(stream, &token), UDM_TOKEN_WORD);
        EXPECT_EQ(udm_next_token(stream, &token), 317);
        EXPECT_EQ(udm_next_token(stream, &token), UDM_TOKEN_INT32);
        EXPECT_EQ(udm_next_token(stream, &token), UDM_TOKEN_END);
    }
    udm_stream_close(stream);
}

TEST_F(ReaderTest, FileCompressedByGzipReadsAsText) {
    if (std::system("gzip --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no gzip program";
    HeldModel source;
    BuildTextSafeModel();
    const std::string text_path = dir_.File("model.udm");
    ASSERT_EQ(udm_model_write(text_path.c_str(), UDM_MODE_TEXT), UDM_OK);
    const std::vector<SetImage> expected = SetsOfCurrent();
    // gzip keeps the file name in its header, which the reader skips.
    const std::string command = "gzip -c '" + text_path + "' > '" + path_ + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);

    model_.Select();
    ASSERT_EQ(udm_model_read(path_.c_str(), UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(Sets(), expected);
    EXPECT_EQ(Written(UDM_MODE_AS_LOADED).substr(0, 4), "//  ");
    HeldModel packed_only;
    EXPECT_EQ(udm_model_read(path_.c_str(), UDM_MODE_PACKED), UDM_BAD_ARGUMENT);
}

TEST_F(ReaderTest, ReadModesAndMissingFiles) {
    EXPECT_EQ(Read("ENDF\n", UDM_MODE_PACKED), UDM_BAD_ARGUMENT);
    EXPECT_EQ(Read("ENDF\n", 3), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_model_read(dir_.File("absent.udm").c_str(), UDM_MODE_AS_LOADED),
              UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_model_read_file(nullptr, "x", UDM_MODE_AS_LOADED), UDM_BAD_ARGUMENT);
    // udm_model_open destroys a model whose file does not parse.
    WriteBytes(path_, "TSET{1 1 \"a\"}");
    UdmModel* opened = nullptr;
    EXPECT_EQ(udm_model_open(path_.c_str(), UDM_MODE_AS_LOADED, &opened), UDM_PARSE_FAILED);
    EXPECT_EQ(opened, nullptr);
}

TEST_F(ReaderTest, ShortFilesAreText) {
    EXPECT_EQ(Read("ENDF"), UDM_OK);
    EXPECT_EQ(Read("ENDF\n"), UDM_OK);
    EXPECT_EQ(Read("END"), UDM_PARSE_FAILED);
    EXPECT_EQ(Read(""), UDM_PARSE_FAILED);
    EXPECT_EQ(Read("\x1F\x8B"), UDM_PARSE_FAILED);
}

// ---- Grammar ----------------------------------------------------------------------

TEST_F(ReaderTest, KeywordsAreTheirFirstFourLetters) {
    std::string report;
    EXPECT_EQ(Read("TSETX{21000 4 \"a\"} ENDFILE"), UDM_OK);
    ASSERT_EQ(Sets().size(), 1u);
    EXPECT_EQ(Sets()[0].label, 4);

    udm_class_clear(UDM_CLASS_TSET);
    EXPECT_EQ(ReadReporting("TSET{21000 4 \"a\"} TSE{21000 5 \"b\"} ENDF", &report), UDM_OK);
    EXPECT_EQ(Sets().size(), 1u);
    EXPECT_NE(report.find("parse error : [TSE]"), std::string::npos) << report;
}

TEST_F(ReaderTest, PropertySetForms) {
    const std::string file =
        "TSET{5 0 \"first\"\n"
        "  TCOD{30 \"c\" 1 2 3}\n"
        "  TCOD{10 \"a\" -4 2.5e-01}\n"
        "  TCOD{30 \"replaces\"}\n"
        "  TCOD{20 \"\"}}\n"
        "TSET{5 0 \"second\"}\n"
        "ENDF\n";
    ASSERT_EQ(Read(file), UDM_OK);
    const std::vector<SetImage> sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].label, 1);
    EXPECT_EQ(sets[1].label, 2);
    EXPECT_EQ(sets[1].description, "second");
    ASSERT_EQ(sets[0].codes.size(), 3u);
    EXPECT_EQ(sets[0].codes[0].code, 10);
    EXPECT_EQ(sets[0].codes[0].bits,
              (std::vector<std::uint64_t>{reader_test::Bits(-4.0), reader_test::Bits(0.25)}));
    EXPECT_EQ(sets[0].codes[1].code, 20);
    EXPECT_EQ(sets[0].codes[2].description, "replaces");
    EXPECT_TRUE(sets[0].codes[2].bits.empty());

    // Integer values are stored as doubles.
    HeldModel integers;
    WriteBytes(path_, "TSET{1 1 \"\" TCOD{7 \"\" 1 2 3}} ENDF");
    ASSERT_EQ(udm_model_read(path_.c_str(), UDM_MODE_TEXT), UDM_OK);
    UdmTcod* tcod = udm_tset_code(static_cast<UdmTset*>(udm_entity_first(UDM_CLASS_TSET, 0)), 7, 0);
    ASSERT_EQ(udm_tcod_count(tcod), 3);
    EXPECT_EQ(udm_tcod_values(tcod)[0], 1.0);
    EXPECT_EQ(udm_tcod_values(tcod)[2], 3.0);
}

TEST_F(ReaderTest, LongValueListsGrowTheBuffer) {
    std::string file = "TSET{1 1 \"\" TCOD{1 \"\"";
    const int count = 5000;
    for (int n = 0; n < count; ++n) file.append(" ").append(std::to_string(n)).append(".5");
    file += "} TCOD{2 \"\" 9}} ENDF";
    ASSERT_EQ(Read(file), UDM_OK);
    auto* tset = static_cast<UdmTset*>(udm_entity_first(UDM_CLASS_TSET, 0));
    const UdmTcod* first = udm_tset_code(tset, 1, 0);
    ASSERT_EQ(udm_tcod_count(first), count);
    for (int n = 0; n < count; ++n) ASSERT_EQ(udm_tcod_value(first, n), n + 0.5) << n;
    // The buffer is reused: the next list starts empty.
    EXPECT_EQ(udm_tcod_count(udm_tset_code(tset, 2, 0)), 1);
}

// A million values in one entry read back whole from both encodings.
TEST_F(ReaderTest, AMillionValuesInOneEntryReadBackInTextAndPacked) {
    constexpr int kCount = 1'000'000;
    std::vector<double> values(kCount);
    // Values that the text form prints exactly.
    for (int n = 0; n < kCount; ++n) values[n] = n % 1000 + 0.25;
    reader_test::AddSet(21000, 1, "long", {{7, values}});
    const std::string text = Written(UDM_MODE_TEXT);
    const std::string packed = Written(UDM_MODE_PACKED);
    for (const std::string* bytes : {&text, &packed}) {
        udm_class_clear(UDM_CLASS_TSET);
        ASSERT_EQ(Read(*bytes), UDM_OK);
        auto* tset = static_cast<UdmTset*>(udm_entity_first(UDM_CLASS_TSET, 0));
        const UdmTcod* tcod = udm_tset_code(tset, 7, 0);
        ASSERT_EQ(udm_tcod_count(tcod), kCount);
        for (int n = 0; n < kCount; n += 997) ASSERT_EQ(udm_tcod_value(tcod, n), values[n]) << n;
        EXPECT_EQ(udm_tcod_value(tcod, kCount - 1), values[kCount - 1]);
    }
}

TEST_F(ReaderTest, SetsThatCannotBeCreatedAreDroppedAndReported) {
    std::string report;
    const std::string file =
        "TSET{21000 1 \"first\" TCOD{1 \"\" 1}}\n"
        "TSET{21000 1 \"second\" TCOD{2 \"\" 2}}\n"
        "TSET{0 3 \"type zero\"}\n"
        "TSET{21000 2 \"third\"}\n"
        "ENDF\n";
    EXPECT_EQ(ReadReporting(file, &report), UDM_OK);
    const std::vector<SetImage> sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    EXPECT_EQ(sets[0].description, "first");
    EXPECT_EQ(sets[0].codes[0].code, 1);
    EXPECT_EQ(sets[1].description, "third");
    EXPECT_NE(report.find("File " + path_ + ", Line 2\n"), std::string::npos) << report;
    EXPECT_NE(report.find("bad TSET label : [}]"), std::string::npos) << report;
    EXPECT_NE(report.find("Line 3"), std::string::npos) << report;
    EXPECT_NE(report.find("bad TSET memory : [}]"), std::string::npos) << report;
}

TEST_F(ReaderTest, TitleAndGlobalForms) {
    std::string report;
    const std::string old_file =
        "TITL{NAME{\"old\"} UDMV{\"UDM V0\"}}\n"
        "GLBL{ABCD 5 EFGH{\"k\" \"v\" \"k2\" \"v2\"} AB{\"x\" \"y\"} UNITS 2.5}\n"
        "ENDF";
    EXPECT_EQ(ReadReporting(old_file, &report), UDM_OK);
    EXPECT_EQ(udm_file_version(), 0);
    EXPECT_STREQ(udm_title_name(), "old");
    const char* value = nullptr;
    ASSERT_EQ(udm_global_get("ABCD", "ABCD", &value), UDM_OK);
    EXPECT_STREQ(value, "5.000000E+00");
    ASSERT_EQ(udm_global_get("UNIT", "UNIT", &value), UDM_OK);
    EXPECT_STREQ(value, "2.500000E+00");
    ASSERT_EQ(udm_global_get("EFGH", "k2", &value), UDM_OK);
    EXPECT_STREQ(value, "v2");
    EXPECT_EQ(udm_global_get("AB", "x", &value), UDM_NOT_FOUND);
    EXPECT_NE(report.find("syntax error : keyword length is not 4 : [AB]"), std::string::npos)
        << report;

    // The old global form does not belong to files of version 1 or more.
    HeldModel current;
    WriteBytes(path_, "TITL{UDMV{\"UDM V4\"}} GLBL{WXYZ 7} ENDF");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(udm_model_read(path_.c_str(), UDM_MODE_TEXT), UDM_OK);
    report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(udm_global_get("WXYZ", "WXYZ", &value), UDM_NOT_FOUND);
    EXPECT_NE(report.find("syntax error : [7]"), std::string::npos) << report;
    EXPECT_EQ(udm_file_version(), 4);
}

TEST_F(ReaderTest, EntityBlocksAreCreatedAndBlocksOfNoClassDropped) {
    std::string report;
    const std::string file =
        "TITL{UDMV{\"UDM V4\"}}\n"
        "SUMR{NOTS{1} NOND{1}}\n"
        "NODE{1 0 0 0 1.000000e-05 0.0 0.0 0.0}\n"
        "LYER{1 \"Default\" 1 1\n  /* NODE */ 4 1 0 0 0\n}\n"
        "EDGE{} QUAD{1 2 3 4}\n"
        "TSET{21000 1 \"kept\"}\n"
        "ENDF\n";
    EXPECT_EQ(ReadReporting(file, &report), UDM_OK);
    EXPECT_EQ(report, "");
    EXPECT_EQ(Sets().size(), 1u);
    EXPECT_EQ(udm_class_count(UDM_CLASS_NODE), 1);
    EXPECT_EQ(udm_class_count(UDM_CLASS_LYER), 1);
}

// ---- Recovery and diagnostics --------------------------------------------------------

TEST_F(ReaderTest, ErrorsAreReportedWithTheirToken) {
    struct Case {
        const char* file;
        const char* message;
    };
    const Case cases[] = {
        {"TSET{1 2.5 \"a\"} ENDF", "parse error : [2.500000]"},
        {"TSET{1 2 3} ENDF", "parse error : [3]"},
        {"TSET{1 2 \"a\" \"b\"} ENDF", "parse error : [b]"},
        {"\n\nTSET{1 2 \"a\" {} ENDF", "parse error : [{]"},
        {"TSET{1 1 \"a\"}", "parse error"},
    };
    for (const Case& c : cases) {
        model_.Select();
        udm_class_clear(UDM_CLASS_TSET);
        std::string report;
        ReadReporting(c.file, &report);
        const std::string message = c.message;
        EXPECT_NE(report.find(message), std::string::npos) << c.file << "\n" << report;
        const std::string line = "Line " + std::to_string(1 + Occurrences(c.file, "\n"));
        EXPECT_NE(report.find("File " + path_ + ", " + line), std::string::npos) << report;
        EXPECT_EQ(Occurrences(report, "Unexpected Condition"), 1) << c.file << "\n" << report;
    }
}

TEST_F(ReaderTest, RecoveryGoesOnAfterTheBrokenConstruct) {
    std::string report;
    // The broken TCOD is dropped; its set and the next one stay.
    EXPECT_EQ(
        ReadReporting("TSET{1 1 \"a\" TCOD{1 x} TCOD{2 \"\" 2}} TSET{1 2 \"b\"} ENDF", &report),
        UDM_OK);
    std::vector<SetImage> sets = Sets();
    ASSERT_EQ(sets.size(), 2u);
    ASSERT_EQ(sets[0].codes.size(), 1u);
    EXPECT_EQ(sets[0].codes[0].code, 2);

    // Stray tokens between blocks are skipped up to the next block.
    udm_class_clear(UDM_CLASS_TSET);
    EXPECT_EQ(ReadReporting("TSET{1 1 \"a\"} } 12 \"s\" word TSET{1 3 \"c\"}} ENDF", &report),
              UDM_OK);
    EXPECT_EQ(Sets().size(), 2u);
    EXPECT_EQ(Occurrences(report, "parse error"), 2) << report;
}

TEST_F(ReaderTest, ErrorsAreQuietUntilThreeTokensAreTaken) {
    std::string report;
    // Two tokens taken between the errors: one report.
    EXPECT_EQ(ReadReporting("TSET{1 x} TSET{y} ENDF", &report), UDM_OK);
    EXPECT_EQ(Occurrences(report, "parse error"), 1) << report;
    // Three tokens taken: both reported.
    EXPECT_EQ(ReadReporting("TSET{1 x} TSET{2 y} ENDF", &report), UDM_OK);
    EXPECT_EQ(Occurrences(report, "parse error"), 2) << report;
}

TEST_F(ReaderTest, UnrecoverableInputFails) {
    const std::string deep = "NODE" + std::string(200, '{') + std::string(200, '}') + " ENDF";
    const std::string inputs[] = {
        "TSET{1 1 \"a\" TCOD{1 \"\" 1 2 ENDF",
        "NODE{{{ } ENDF",
        "GLBL{ABCD{\"k\" \"v\" ENDF",
        "TITL{NAME{\"x\"}",
        "\"never closed ENDF",
        deep,
        "TSET{1 1 \"" + std::string(5000, 'x') + "\"} ENDF",
        "TSET{1 1 \"\" TCOD{1 \"\" " + std::string(5000, '1') + "}} ENDF",
    };
    for (const std::string& input : inputs) {
        EXPECT_EQ(Read(input), UDM_PARSE_FAILED) << input.substr(0, 60);
    }
    std::string report;
    ReadReporting(deep, &report);
    EXPECT_NE(report.find("parser stack overflow"), std::string::npos) << report;
    ReadReporting(inputs[6], &report);
    EXPECT_NE(report.find("Maximum token length exceeded"), std::string::npos) << report;
    // What follows ENDF is not read.
    EXPECT_EQ(Read("ENDF {{{ \"unclosed"), UDM_OK);
}

// ---- Binary tokens --------------------------------------------------------------------

struct RawToken {
    int code;
    std::int32_t integer = 0;
    double real = 0.0;
    const char* text = nullptr;
};

// Packed bytes of the tokens, followed by raw content bytes.
std::string PackedTokens(const std::vector<RawToken>& tokens, const std::string& raw_tail = "") {
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("mem", 8, &out);
    for (const RawToken& raw : tokens) {
        UdmToken token;
        token.code = raw.code;
        token.integer = raw.integer;
        token.real = raw.real;
        if (raw.text != nullptr) token.text = raw.text;
        udm_stream_put(stream, token);
    }
    udm_stream_write(stream, raw_tail.data(), raw_tail.size());
    udm_stream_close(stream);
    return out;
}

TEST_F(ReaderTest, EightBitIntegersStandForKeywords) {
    const int tset = 284 - 273;
    const int tcod = 297 - 273;
    const int endf = 311 - 273;
    std::vector<RawToken> tokens = {
        {UDM_TOKEN_INT8, tset},
        {UDM_TOKEN_OPEN},
        {UDM_TOKEN_INT32, 21000},
        {UDM_TOKEN_INT16, 7},
        {UDM_TOKEN_STRING, 0, 0, "x"},
        {UDM_TOKEN_INT8, tcod},
        {UDM_TOKEN_OPEN},
        {UDM_TOKEN_INT16, 5},
        {UDM_TOKEN_STRING, 0, 0, ""},
        {UDM_TOKEN_INT16, 300},
        {UDM_TOKEN_DOUBLE, 0, 1.5},
        {UDM_TOKEN_CLOSE},
        {UDM_TOKEN_CLOSE},
        {UDM_TOKEN_INT8, endf},
    };
    ASSERT_EQ(Read(PackedTokens(tokens)), UDM_OK);
    const std::vector<SetImage> sets = Sets();
    ASSERT_EQ(sets.size(), 1u);
    EXPECT_EQ(sets[0].label, 7);
    EXPECT_EQ(sets[0].codes[0].bits,
              (std::vector<std::uint64_t>{reader_test::Bits(300.0), reader_test::Bits(1.5)}));
    // A code above ENDF ends the input: no ENDF, so the read fails.
    tokens.back().integer = endf + 1;
    EXPECT_EQ(Read(PackedTokens(tokens)), UDM_PARSE_FAILED);
}

TEST_F(ReaderTest, HugeBinaryLengthsFailWithoutClaimingMemory) {
    const std::vector<RawToken> head = {{UDM_TOKEN_WORD, 0, 0, "TSET"},
                                        {UDM_TOKEN_OPEN},
                                        {UDM_TOKEN_INT32, 1},
                                        {UDM_TOKEN_INT32, 1}};
    for (std::uint32_t length : {0xFFFFFFF0u, 0x7FFFFFFFu, 0x04000001u, 0x03FFFFFFu, 100u}) {
        std::string tail = "\x0C";
        for (int shift = 24; shift >= 0; shift -= 8) tail += static_cast<char>(length >> shift);
        tail += "abc";
        EXPECT_EQ(Read(PackedTokens(head, tail)), UDM_PARSE_FAILED) << length;
    }
}

// ---- Damaged files -------------------------------------------------------------------

class DamagedFileTest : public ReaderTest {
  protected:
    void SetUp() override {
        HeldModel source;
        BuildTextSafeModel();
        AddBinaryOnlyValues();
        expected_ = SetsOfCurrent();
        packed_ = Written(UDM_MODE_PACKED);
        udm_class_clear(UDM_CLASS_TSET);
        BuildTextSafeModel();
        text_sets_ = SetsOfCurrent();
        text_ = Written(UDM_MODE_TEXT);
        // The damaged reads report plenty; keep them off the test log.
        ::testing::internal::CaptureStderr();
    }
    void TearDown() override { ::testing::internal::GetCapturedStderr(); }
    // Reads into a fresh model, from memory (rewriting one file thousands of
    // times costs disk flushes); a successful read must give the original.
    int ReadFresh(const std::string& bytes) {
        HeldModel fresh;
        std::string copy = bytes.empty() ? std::string(" ") : bytes;
        std::FILE* file = fmemopen(copy.data(), bytes.empty() ? 0 : copy.size(), "rb");
        if (file == nullptr) return -1;
        const int status = udm_model_read_file(file, "damaged", UDM_MODE_AS_LOADED);
        std::fclose(file);
        if (status == UDM_OK) {
            EXPECT_EQ(SetsOfCurrent(), expected_);
        }
        return status;
    }
    std::vector<SetImage> expected_;
    std::vector<SetImage> text_sets_;
    std::string packed_;
    std::string text_;
};

TEST_F(DamagedFileTest, TruncatedTextFailsUntilEndfIsWhole) {
    const std::size_t endf_end = text_.rfind("ENDF") + 4;
    expected_ = text_sets_;
    for (std::size_t length = 0; length < endf_end; ++length) {
        ASSERT_EQ(ReadFresh(text_.substr(0, length)), UDM_PARSE_FAILED) << length;
    }
    EXPECT_EQ(ReadFresh(text_.substr(0, endf_end)), UDM_OK);
}

TEST_F(DamagedFileTest, TruncatedPackedFileFailsAtEveryLength) {
    for (std::size_t length = 0; length < packed_.size(); ++length) {
        const int status = ReadFresh(packed_.substr(0, length));
        ASSERT_TRUE(status == UDM_PARSE_FAILED || status == UDM_BAD_ARGUMENT)
            << length << ": " << status;
    }
    EXPECT_EQ(ReadFresh(packed_), UDM_OK);
}

TEST_F(DamagedFileTest, ByteFlipsInPackedFilesNeverGiveAnotherModel) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<std::size_t> position(0, packed_.size() - 1);
    std::uniform_int_distribution<int> mask(1, 255);
    int failed = 0;
    for (int trial = 0; trial < 400; ++trial) {
        std::string damaged = packed_;
        const std::size_t at = position(random);
        damaged[at] = static_cast<char>(damaged[at] ^ mask(random));
        const int status = ReadFresh(damaged);
        ASSERT_TRUE(status == UDM_OK || status == UDM_PARSE_FAILED || status == UDM_BAD_ARGUMENT)
            << at << ": " << status;
        if (status != UDM_OK) ++failed;
    }
    // Only the two unchecked header bytes may be damaged harmlessly.
    EXPECT_GT(failed, 350);
}

}  // namespace
