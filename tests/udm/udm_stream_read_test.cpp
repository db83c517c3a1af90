// UDM streams, reading side: detection of every encoding header, files made
// by the system's gzip program, hand-made gzip headers with optional
// fields, and corrupt or truncated input ending with a status instead of a
// crash, a hang or a large allocation.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "stream_test_support.h"
#include "support/process.h"
#include "udm/udm_encodings.h"
#include "udm/udm_stream.h"
#include "udm/udm_stream_impl.h"

namespace {

using namespace udm_stream_test;
namespace udm = tarnvel::udm;

std::string Header(int encoding) {
    auto header = udm::encoding_header(encoding);
    return std::string(header.begin(), header.end());
}

std::string Compress(std::string_view text) {
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("mem", 5, &out);
    udm_stream_write(stream, text.data(), text.size());
    udm_stream_close(stream);
    return Body(out, 5);
}

// ---- detection ----------------------------------------------------------------

TEST(Detection, EveryHeaderNamesItsEncoding) {
    for (int encoding = 2; encoding <= 8; ++encoding) {
        ReadBack back = ReadBytes(WriteTokens(encoding, SampleTokens()));
        EXPECT_EQ(back.detected, encoding);
        EXPECT_EQ(back.status, 0) << encoding;
    }
}

TEST(Detection, WithoutAHeaderTheWholeFileIsText) {
    ReadBack back = ReadBytes("TITL{NAME{\"x\"}}\nENDF\n");
    EXPECT_EQ(back.detected, 1);
    EXPECT_EQ(back.bytes, "TITL{NAME{\"x\"}}\nENDF\n");
}

TEST(Detection, FilesShorterThanEightBytesAreText) {
    for (std::string data : {std::string(), std::string("ENDF"), Header(2).substr(0, 7),
                             std::string("\x1F\x8B\x08\0\0\0\0", 7)}) {
        ReadBack back = ReadBytes(data);
        EXPECT_EQ(back.detected, 1) << Hex(data);
        EXPECT_EQ(back.bytes, data);
        EXPECT_EQ(back.status, 0);
    }
}

TEST(Detection, TextThatStartsLikeGzipIsTakenForGzip) {
    std::string data = "\x1F\x8B plain text that goes on";
    ReadBack back = ReadBytes(data);
    EXPECT_EQ(back.detected, 5);
    EXPECT_EQ(back.stream, nullptr);
}

TEST(Detection, ARequestedEncodingMustMatch) {
    std::string packed = WriteTokens(8, SampleTokens());
    EXPECT_EQ(ReadTokens(packed, 8).tokens, SampleTokens());
    ReadBack wrong = ReadTokens(packed, 7);
    EXPECT_EQ(wrong.stream, nullptr);
    EXPECT_EQ(wrong.detected, 0);
    EXPECT_EQ(ReadBytes("ENDF and more", 8).detected, 0);
    ReadBack as_text = ReadBytes(packed, 1);
    EXPECT_EQ(as_text.detected, 1);
    EXPECT_EQ(as_text.bytes, packed);
    EXPECT_EQ(ReadBytes("x", 9).stream, nullptr);
}

TEST(Detection, ACutContainerHeaderMakesNoStream) {
    std::string cut = Header(8).substr(0, 9);
    ReadBack back = ReadBytes(cut);
    EXPECT_EQ(back.stream, nullptr);
    EXPECT_EQ(back.detected, 8);
}

TEST(Detection, TextStreamsHandOutNoTokensWithoutALexer) {
    UdmStream* stream = udm_stream_open_read_memory("mem", "TITL{", 0, nullptr);
    UdmToken token;
    EXPECT_EQ(udm_stream_get(stream, &token), UDM_TOKEN_END);
    auto lexer = [](UdmStream* s, UdmToken* t, void* state) {
        *static_cast<int*>(state) += 1;
        t->code = udm_stream_getc(s) == 'T' ? UDM_TOKEN_WORD : UDM_TOKEN_END;
        return t->code;
    };
    int calls = 0;
    udm_stream_set_text_reader(stream, lexer, &calls);
    EXPECT_EQ(udm_stream_get(stream, &token), UDM_TOKEN_WORD);
    EXPECT_EQ(calls, 1);
    udm_stream_close(stream);
}

// ---- gzip files -----------------------------------------------------------------

class GzipFiles : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/udm-stream-testXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::remove((dir_ + "/model.udm").c_str());
        std::remove((dir_ + "/model.udm.gz").c_str());
        rmdir(dir_.c_str());
    }
    std::string dir_;
};

TEST_F(GzipFiles, AFileMadeByGzipReadsLikeThePlainText) {
    std::string text;
    for (int n = 0; n < 3000; ++n) text += "TSET{21000 " + std::to_string(n) + " \"grade\"}\n";
    std::string path = dir_ + "/model.udm";
    std::ofstream(path, std::ios::binary) << text;
    auto result = tarnvel::testing::RunProcess("/bin/sh", {"-c", "gzip -9 -k \"$0\"", path});
    if (result.exit_code != 0) GTEST_SKIP() << "gzip not runnable: " << result.err;

    std::string gz = tarnvel::testing::ReadWholeFile(path + ".gz");
    ASSERT_GT(gz.size(), 10u);
    EXPECT_NE(gz[3] & 8, 0) << "gzip stores the file name";
    std::FILE* file = std::fopen((path + ".gz").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    int detected = 0;
    UdmStream* stream = udm_stream_open_read(path.c_str(), file, 0, &detected);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(detected, 5);
    std::string back;
    std::array<char, 777> chunk;
    while (std::size_t got = udm_stream_read(stream, chunk.data(), chunk.size())) {
        back.append(chunk.data(), got);
    }
    EXPECT_EQ(udm_stream_close(stream), 0);
    std::fclose(file);
    EXPECT_EQ(back, text);
}

TEST(GzipHeader, OptionalFieldsAreSkipped) {
    std::string body = Compress("ENDF\n");
    // FTEXT, FHCRC, FEXTRA, FNAME and FCOMMENT together.
    std::string header("\x1F\x8B\x08\x1F\0\0\0\0\0\x03", 10);
    header += std::string("\x03\0abc", 5) + std::string("name.udm\0", 9) +
              std::string("a comment\0", 10) + std::string("\x12\x34", 2);
    ReadBack back = ReadBytes(header + body);
    EXPECT_EQ(back.detected, 5);
    EXPECT_EQ(back.bytes, "ENDF\n");
    EXPECT_EQ(back.status, 0);
}

TEST(GzipHeader, AnExtraFieldLargerThanABufferIsSkipped) {
    std::string extra(5000, 'x');
    std::string header("\x1F\x8B\x08\x04\0\0\0\0\0\x03\x88\x13", 12);
    ReadBack back = ReadBytes(header + extra + Compress("TITL"));
    EXPECT_EQ(back.bytes, "TITL");
}

TEST(GzipHeader, ATrailerAcrossTheBufferBoundaryIsStillChecked) {
    std::string member = WriteTokens(5, SampleTokens());
    std::string body = Body(member, 5);
    // An extra field sized so that the trailer starts 4 bytes before the end
    // of the first 4096-byte chunk.
    std::size_t extra = udm::kStreamBufferSize - 4 - 12 - (body.size() - 8);
    std::string header("\x1F\x8B\x08\x04\0\0\0\0\0\x03", 10);
    header += static_cast<char>(extra & 0xFF);
    header += static_cast<char>(extra >> 8);
    header += std::string(extra, 'e');
    ASSERT_EQ(header.size() + body.size() - 8, udm::kStreamBufferSize - 4);
    ReadBack good = ReadBytes(header + body);
    EXPECT_EQ(good.bytes, Body(WriteTokens(1, SampleTokens()), 1));
    EXPECT_EQ(good.status, 0);
    std::string wrong_length = header + body;
    wrong_length.back() ^= 1;
    EXPECT_EQ(ReadBytes(wrong_length).status, udm::kStatusCorrupt);
}

TEST(GzipHeader, BadMethodReservedFlagsOrACutFieldMakeNoStream) {
    std::string body = Compress("ENDF");
    for (std::string header : {std::string("\x1F\x8B\x07\0\0\0\0\0\0\x03", 10),
                               std::string("\x1F\x8B\x08\x20\0\0\0\0\0\x03", 10),
                               std::string("\x1F\x8B\x08\x08\0\0\0\0\0\x03no-terminator", 23)}) {
        std::string data = header;
        if (header.size() == 10) data += body;
        ReadBack back = ReadBytes(data);
        EXPECT_EQ(back.stream, nullptr) << Hex(header);
        EXPECT_EQ(back.detected, 5);
    }
}

TEST(ReadErrors, AFileThatCannotBeReadEndsWithStatus1003) {
    std::FILE* directory = std::fopen("/tmp", "rb");
    if (directory == nullptr) GTEST_SKIP() << "directories cannot be opened as files here";
    int detected = 0;
    UdmStream* stream = udm_stream_open_read("/tmp", directory, 0, &detected);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(detected, 1);
    EXPECT_EQ(udm_stream_getc(stream), -1);
    EXPECT_EQ(udm_stream_close(stream), udm::kStatusReadFailed);
    std::fclose(directory);
    EXPECT_EQ(udm_stream_open_read("x", nullptr, 0, &detected), nullptr);
    EXPECT_EQ(detected, 0);
}

// ---- corrupt and truncated input ------------------------------------------------

class CompressedDamage : public ::testing::TestWithParam<int> {};

TEST_P(CompressedDamage, EveryTruncationEndsWithAnError) {
    std::string whole = WriteTokens(GetParam(), SampleTokens());
    std::size_t header = udm::encoding_info(GetParam()).header_size;
    for (std::size_t size = header; size < whole.size(); ++size) {
        ReadBack back = ReadBytes(whole.substr(0, size));
        ASSERT_NE(back.stream, nullptr) << size;
        EXPECT_EQ(back.status, udm::kStatusCorrupt) << "cut at " << size;
    }
}

TEST_P(CompressedDamage, EveryFlippedByteIsNoticed) {
    std::string whole = WriteTokens(GetParam(), SampleTokens());
    std::size_t header = udm::encoding_info(GetParam()).header_size;
    for (std::size_t at = header; at < whole.size(); ++at) {
        std::string damaged = whole;
        damaged[at] = static_cast<char>(damaged[at] ^ 0xFF);
        ReadBack back = ReadBytes(damaged);
        ASSERT_NE(back.stream, nullptr) << at;
        EXPECT_EQ(back.status, udm::kStatusCorrupt) << "flipped at " << at;
    }
}

INSTANTIATE_TEST_SUITE_P(Encodings, CompressedDamage, ::testing::Values(5, 6, 7, 8));

TEST(BinaryDamage, ATokenCutShortEndsTheTokensWithAnError) {
    std::string whole = WriteTokens(2, SampleTokens());
    std::size_t cut_inside_value = 8 + 5 + 2;  // inside the length of "TITL"
    ReadBack back = ReadTokens(whole.substr(0, cut_inside_value));
    EXPECT_TRUE(back.tokens.empty());
    EXPECT_EQ(back.status, udm::kStatusCorrupt);
    std::string cut_text = Header(2) + std::string("\x0C\0\0\x03\xE8xyz", 8);
    EXPECT_EQ(ReadTokens(cut_text).status, udm::kStatusCorrupt);
}

TEST(BinaryDamage, AnAbsurdLengthIsRefusedBeforeAnyAllocation) {
    std::string data = Header(2) + std::string("\x0B\xFF\xFF\xFF\xF0", 5) + std::string(100, 'x');
    ReadBack back = ReadTokens(data);
    EXPECT_TRUE(back.tokens.empty());
    EXPECT_EQ(back.status, udm::kStatusCorrupt);
}

TEST(BinaryDamage, AnUnknownTypeByteEndsTheTokensCleanly) {
    std::string data = Header(2) + std::string("\x02\x01\x03\x03", 4);
    ReadBack back = ReadTokens(data);
    EXPECT_EQ(back.tokens, std::vector<OwnedToken>{Simple(UDM_TOKEN_OPEN)});
    EXPECT_EQ(back.status, 0);
}

TEST(BinaryDamage, ADeflateStreamWithoutTrailerEndsWithAnError) {
    std::string packed = WriteTokens(8, SampleTokens());
    ReadBack back = ReadTokens(packed.substr(0, packed.size() - 8));
    EXPECT_EQ(back.tokens, SampleTokens());
    EXPECT_EQ(back.status, udm::kStatusCorrupt);
}

}  // namespace
