// Reading entity blocks: the memory messages of the geometric sub-records
// (through the allocation seam of the family reader), the display words of
// older files, and packed files, whose flat entity blocks are decoded
// straight from the token window, ending with the same results and
// messages as the same blocks read from text.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "reader_test_support.h"
#include "udm/udm.h"
#include "udm/udm_family.h"
#include "udm/udm_flat_block.h"
#include "udm/udm_lexer.h"

using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::TempDir;
using reader_test::WithoutWriteStamps;
using reader_test::WriteBytes;

namespace {

[[maybe_unused]] const int kPrintErrors = setenv("VANTOREL_UDM_PRINT_ERROR", "1", 1);

class EntityReadTest : public ::testing::Test {
  protected:
    ~EntityReadTest() override { tarnvel::udm::SetSubRecordAllocationHook(nullptr); }

    int Read(const std::string& bytes, int mode = UDM_MODE_AS_LOADED) {
        WriteBytes(path_, bytes);
        model_.Select();
        ::testing::internal::CaptureStderr();
        const int status = udm_model_read(path_.c_str(), mode);
        report_ = ::testing::internal::GetCapturedStderr();
        return status;
    }
    // The current model written in the mode given.
    std::string Written(int mode) {
        const std::string path = dir_.File("written.udm");
        EXPECT_EQ(udm_model_write(path.c_str(), mode), UDM_OK);
        return ReadBytes(path);
    }
    void* Find(int entity_class, std::int32_t label) {
        void* found = nullptr;
        udm_entity_find(entity_class, label, 0, &found);
        return found;
    }

    TempDir dir_;
    std::string path_ = dir_.File("in.udm");
    HeldModel model_;
    std::string report_;
};

std::string Title(int version) {
    return "TITL{UDMV{\"UDM V" + std::to_string(version) + "\"}}\n";
}

// ---- Memory messages of the geometric sub-records ---------------------------------------

// One curve, one trimmed surface and one region, between them holding
// every geometric sub-record.
const char kGeometry[] =
    "CURV{1 0 0 0 0 1 1 0.5 CIPT{0.5} GCRV{1 1 0 0.0 0 0 0 1}}\n"
    "SURF{2 0 0 0 0 1 1 0.5 SIPT{0 0} ICRV{CIPT{1} GCRV{1 1 0 0.0 0 0 0 1}}\n"
    "  TSRF{OTLP{GCRV{1 1 0 0.0 0 0 0 1}} INLP{GCRV{1 1 0 0.0 0 0 0 1}}\n"
    "    GSRF{0 0 1 1 0 0 0 0 1 0 1 0 1}}}\n"
    "REGN{3 0 0 0 0 1 1 0.5 RIPT{1 2 3} GRGN{OTLP{GCRV{1 1 0 0.0 0 0 0 1}}}}\n"
    "NODE{1 0 0 0 0.1 1 2 3}\n"
    "ENDF\n";

// The keyword whose allocation the seam fails.
std::string_view g_failing;

bool FailTheChosenRecord(std::string_view keyword) {
    return keyword == g_failing;
}

struct SubRecordCase {
    const char* keyword;
    // Whether the curve, the surface and the region do without the record.
    bool curve;
    bool surface;
    bool region;
};

TEST_F(EntityReadTest, EverySubRecordReportsItsMemoryAndEndsTheRead) {
    ASSERT_EQ(Read(Title(4) + kGeometry), UDM_OK);
    EXPECT_EQ(report_, "");
    EXPECT_EQ(udm_class_count(UDM_CLASS_CURV) + udm_class_count(UDM_CLASS_SURF) +
                  udm_class_count(UDM_CLASS_REGN),
              3);

    const SubRecordCase cases[] = {
        {"CIPT", false, false, true},  {"SIPT", true, false, true}, {"RIPT", true, true, false},
        {"GCRV", false, false, false}, {"GSRF", true, false, true}, {"ICRV", true, false, true},
        {"INLP", true, false, true},   {"TSRF", true, false, true}, {"GRGN", true, true, false},
    };
    tarnvel::udm::SetSubRecordAllocationHook(&FailTheChosenRecord);
    for (const SubRecordCase& c : cases) {
        g_failing = c.keyword;
        HeldModel fresh;
        fresh.Select();
        WriteBytes(path_, Title(4) + kGeometry);
        ::testing::internal::CaptureStderr();
        // A failed allocation fails the read: the model would miss data.
        EXPECT_EQ(udm_model_read(path_.c_str(), UDM_MODE_AS_LOADED), UDM_NO_MEMORY) << c.keyword;
        const std::string report = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(report.find(std::string("bad ") + c.keyword + " memory"), std::string::npos)
            << c.keyword << "\n"
            << report;
        // The entities before the first one holding the record stay; the
        // read ends there.
        const bool curve = c.curve;
        const bool surface = curve && c.surface;
        const bool region = surface && c.region;
        EXPECT_EQ(udm_class_count(UDM_CLASS_CURV), curve ? 1 : 0) << c.keyword;
        EXPECT_EQ(udm_class_count(UDM_CLASS_SURF), surface ? 1 : 0) << c.keyword;
        EXPECT_EQ(udm_class_count(UDM_CLASS_REGN), region ? 1 : 0) << c.keyword;
        EXPECT_EQ(udm_class_count(UDM_CLASS_NODE), 0) << c.keyword;
        EXPECT_EQ(udm_read_dropped_count(), 1) << c.keyword;
    }
}

// ---- Display words of older files ---------------------------------------------------------

TEST_F(EntityReadTest, DisplayWordsOfOlderFilesGiveTheirDisplayCodes) {
    ASSERT_EQ(Read(Title(3) + "TRI3{1 0 0 0 shaded \"\" 1 1 1 2 3}\n"
                              "TET4{2 0 0 0 surf \"\" 1 1 1 2 3 4}\n"
                              "CURV{3 0 0 0 shaded 1 1 0.5 GCRV{1 1 0 0.0 0 0 0 1}}\n"
                              "ENDF\n"),
              UDM_OK);
    EXPECT_EQ(report_, "");
    ASSERT_NE(Find(UDM_CLASS_TRI3, 1), nullptr);
    EXPECT_EQ(udm_entity_display(Find(UDM_CLASS_TRI3, 1)), 1);
    ASSERT_NE(Find(UDM_CLASS_TET4, 2), nullptr);
    EXPECT_EQ(udm_entity_display(Find(UDM_CLASS_TET4, 2)), 2);
    ASSERT_NE(Find(UDM_CLASS_CURV, 3), nullptr);
    EXPECT_EQ(udm_entity_display(Find(UDM_CLASS_CURV, 3)), 1);
    // Written back in the current form: the display as a number.
    EXPECT_NE(Written(UDM_MODE_TEXT).find("TRI3{1 0 0 0 1 \"\" 1 1 1 2 3}"), std::string::npos);
}

TEST_F(EntityReadTest, DisplayWordsInACurrentFileAreASyntaxError) {
    ASSERT_EQ(Read(Title(4) + "TRI3{1 0 0 0 shaded \"\" 1 1 1 2 3}\n"
                              "TRI3{2 0 0 0 glossy \"\" 1 1 1 2 3}\n"
                              "NODE{1 0 0 0 0.1 1 2 3}\nENDF\n"),
              UDM_OK);
    // The version check reports and keeps the entity with display 0.
    EXPECT_NE(report_.find("syntax error : [}]"), std::string::npos) << report_;
    ASSERT_NE(Find(UDM_CLASS_TRI3, 1), nullptr);
    EXPECT_EQ(udm_entity_display(Find(UDM_CLASS_TRI3, 1)), 0);
    // A word that is no display word does not fit the block.
    EXPECT_NE(report_.find("parse error"), std::string::npos) << report_;
    EXPECT_EQ(Find(UDM_CLASS_TRI3, 2), nullptr);
    EXPECT_EQ(udm_class_count(UDM_CLASS_NODE), 1);
}

// ---- Packed blocks decoded in place ------------------------------------------------------

// How a token of a text is changed on its way into a packed file: forms the
// writer does not use but a packed file may hold.
enum class Vary { kAsWritten, kShortIntegers, kBooleans, kSingles, kIntegralReals };

UdmToken Varied(UdmToken token, Vary vary) {
    const bool small =
        token.code == UDM_TOKEN_INT32 && token.integer >= 0 && token.integer <= 65535;
    const bool integral = token.code == UDM_TOKEN_DOUBLE && std::fabs(token.real) < 1e9 &&
                          token.real == std::floor(token.real);
    if (vary == Vary::kShortIntegers && small) token.code = UDM_TOKEN_INT16;
    if (vary == Vary::kBooleans && small && token.integer <= 1) {
        token.code = token.integer == 1 ? UDM_TOKEN_TRUE : UDM_TOKEN_FALSE;
    }
    if (vary == Vary::kSingles && token.code == UDM_TOKEN_DOUBLE) token.code = UDM_TOKEN_FLOAT;
    if (vary == Vary::kIntegralReals && integral) {
        token.code = UDM_TOKEN_INT32;
        token.integer = static_cast<std::int32_t>(token.real);
    }
    return token;
}

// The tokens of a text file written token for token in the packed encoding.
std::string PackedFrom(const std::string& text, Vary vary) {
    UdmStream* in = udm_stream_open_read_memory("text", text, 1, nullptr);
    std::string packed;
    UdmStream* out = udm_stream_open_write_memory("packed", 8, &packed);
    EXPECT_NE(in, nullptr);
    EXPECT_NE(out, nullptr);
    {
        tarnvel::udm::TextLexer lexer(in);
        UdmToken token;
        for (int code = lexer.Next(&token);
             code != UDM_TOKEN_END && code != tarnvel::udm::kTokenLexError;
             code = lexer.Next(&token)) {
            udm_stream_put(out, Varied(token, vary));
        }
    }
    udm_stream_close(in);
    udm_stream_close(out);
    return packed;
}

struct Reading {
    int status = 0;
    std::string report;
    std::string model;
};

class InPlaceTest : public EntityReadTest {
  protected:
    ~InPlaceTest() override { tarnvel::udm::SetInPlaceDecoding(true); }

    Reading ReadPacked(const std::string& packed, bool in_place) {
        tarnvel::udm::SetInPlaceDecoding(in_place);
        HeldModel fresh;
        fresh.Select();
        WriteBytes(path_, packed);
        ::testing::internal::CaptureStderr();
        Reading reading;
        reading.status = udm_model_read(path_.c_str(), UDM_MODE_PACKED);
        reading.report = ::testing::internal::GetCapturedStderr();
        reading.model = WithoutWriteStamps(Written(UDM_MODE_TEXT));
        tarnvel::udm::SetInPlaceDecoding(true);
        return reading;
    }

    // Reads the blocks as a packed file in each variation, decoded in place
    // and token by token, and expects the same model and messages.
    void ExpectSameBothWays(const std::string& blocks, int version = 4) {
        const std::string text = Title(version) + blocks + "\nENDF\n";
        for (Vary vary : {Vary::kAsWritten, Vary::kShortIntegers, Vary::kBooleans, Vary::kSingles,
                          Vary::kIntegralReals}) {
            const std::string packed = PackedFrom(text, vary);
            const Reading fast = ReadPacked(packed, true);
            const Reading slow = ReadPacked(packed, false);
            const int variation = static_cast<int>(vary);
            EXPECT_EQ(fast.status, slow.status) << blocks << " variation " << variation;
            EXPECT_EQ(fast.report, slow.report) << blocks << " variation " << variation;
            EXPECT_EQ(fast.model, slow.model) << blocks << " variation " << variation;
        }
    }
};

TEST_F(InPlaceTest, PackedFlatBlocksAndCodesReadAsTheyDoTokenByToken) {
    const std::string blocks =
        "COLR{40 \"teal\" 0.0 0.5 0.5}\n"
        "TSET{21000 1 \"set\" TCOD{1992 \"family\" 1 2 3.5} TCOD{1993 \"\"}\n"
        "  TCOD{11002 \"melt\" 4.5e+02 -1 0 65536}}\n"
        "NODE{1 0 0 0 1.0e-05 0.0 0.0 0.0} NODE{2 1 3 40 0.1 1 -2.5 3}\n"
        "NODE{3 0 0 0 0.1 1 2 3}\n"
        "TEXT{1 0 2 7 \"note\" 12 \"Arial\" 0 0 0 1 1 1}\n"
        "1DET{10 0 0 0 0 \"\" 21000 1 1 2}\n"
        "TRI3{11 1 0 40 3 \"group\" 21000 1 1 2 3} TRI3{12 0 0 0 0 \"\" 21000 1 3 2 1}\n"
        "TET4{13 0 0 0 0 \"\" 21000 1 1 2 3 1}\n"
        "WEDG{14 0 0 0 0 \"w\" 21000 1 1 2 3 1 2 3}\n"
        "INTE{15 0 0 0 0 \"i\" 21000 1 1 2 3 1 2 3 1}\n";
    ExpectSameBothWays(blocks);
    // The model itself is read, not only alike both ways.
    const Reading fast =
        ReadPacked(PackedFrom(Title(4) + blocks + "ENDF\n", Vary::kAsWritten), true);
    EXPECT_EQ(fast.status, UDM_OK);
    EXPECT_EQ(fast.report, "");
    EXPECT_NE(fast.model.find("TRI3{11 1 0 40 3 \"group\" 21000 1 1 2 3}"), std::string::npos)
        << fast.model;
    EXPECT_NE(fast.model.find("NODE{2 1 3 40 1.000000e-01 1.000000e+00 -2.500000e+00 "
                              "3.000000e+00}"),
              std::string::npos)
        << fast.model;
    EXPECT_NE(fast.model.find("TCOD{11002 \"melt\"\n"), std::string::npos) << fast.model;
}

TEST_F(InPlaceTest, DamagedPackedBlocksEndWithTheSameMessages) {
    const char* const cases[] = {
        // Taken labels, also across the element classes.
        "NODE{1 0 0 0 0.1 1 2 3} NODE{1 0 0 0 0.1 4 5 6} NODE{2 0 0 0 0.1 1 2 3}",
        "TET4{3 0 0 0 0 \"\" 1 1 1 2 3 4} TRI3{3 0 0 0 0 \"\" 1 1 1 2 3} TRI3{4 0 0 0 0 \"\" 1 1 1 "
        "2 "
        "3}",
        // Label 0 takes the next free label; labels out of order and a
        // label taken by an element of another class.
        "NODE{0 0 0 0 0.1 1 2 3} NODE{5 0 0 0 0.1 1 2 3} NODE{0 0 0 0 0.1 4 5 6} "
        "NODE{3 0 0 0 0.1 7 8 9} NODE{3 0 0 0 0.1 7 8 9}",
        "TRI3{5 0 0 0 0 \"\" 1 1 1 2 3} TET4{4 0 0 0 0 \"\" 1 1 1 2 3 4} "
        "TET4{5 0 0 0 0 \"\" 1 1 1 2 3 4} TET4{6 0 7 0 0 \"t\" 1 1 1 2 3 4} "
        "TET4{0 0 0 0 0 \"\" 1 1 1 2 3 4}",
        // Too few, too many and misplaced values.
        "TRI3{1 0 0 0 0 \"\" 1 1 1 2} TRI3{2 0 0 0 0 \"\" 1 1 1 2 3 4} TRI3{5 0 0 0 0 \"\" 1 1 1 2 "
        "3}",
        "NODE{1 0 0 0 \"x\" 1 2 3} NODE{2 0 0 0 0.1 1 2 3 {}} NODE{3 0 0 0 0.1 1 2 3}",
        "NODE{} NODE{4} COLR{1 2 3 4 5} COLR{2 \"c\" 0 0}",
        // The older element form without a group reference.
        "TRI3{1 0 0 0 0 1 1 1 2 3} TET4{2 0 0 0 0 1 1 1 2 3 4}",
        // A comment inside a block, a word in place of a number.
        "NODE{1 0 /* c */ 0 0 0.1 1 2 3} NODE{2 0 0 0 0.1 one 2 3} NODE{3 0 0 0 0.1 1 2 3}",
        "TRI3{1 0 0 0 shaded \"\" 1 1 1 2 3}",
        // TCODs: a word among the values, no description, a set label taken.
        "TSET{21000 1 \"a\" TCOD{1 \"x\" 1 two 3} TCOD{2 \"y\" 4}}\n"
        "TSET{21000 2 \"b\" TCOD{1 2 3}} TSET{21000 1 \"again\" TCOD{1 \"z\" 1}}",
        // Recovery at the outermost level between blocks.
        "NODE{1 0 0 0 0.1 1 2 3} stray 7 NODE{2 0 0 0 0.1 1 2 3} }} NODE{3 0 0 0 0.1 1 2 3}",
    };
    for (const char* blocks : cases) ExpectSameBothWays(blocks);
    // A NUL byte in a description or a text ends the stored copy.
    const char nul_texts[] =
        "TSET{21000 1 \"s\" TCOD{1 \"a\0b\" 1} TCOD{2 \"\0\"}}\n"
        "TRI3{1 0 0 0 0 \"g\0h\" 1 1 1 2 3}";
    ExpectSameBothWays(std::string(nul_texts, sizeof nul_texts - 1));
    // The display word is read in an older file.
    ExpectSameBothWays("TRI3{1 0 0 0 surf \"\" 1 1 1 2 3}", 3);
}

TEST_F(InPlaceTest, BlocksLargerThanTheirWindowAreReadTokenByToken) {
    // A group reference and a TCOD longer than what is decoded in place.
    // The longest text a text file carries, so its block is larger than
    // what is decoded in place.
    const std::string group(tarnvel::udm::kMaxTokenLength - 2, 'g');
    std::string values;
    for (int n = 0; n < 700; ++n) values.append(" ").append(std::to_string(n)).append(".25");
    const std::string blocks = "TRI3{1 0 0 0 0 \"" + group + "\" 21000 1 1 2 3}\n" +
                               "TRI3{2 0 0 0 0 \"\" 21000 1 1 2 3}\n" +
                               "TSET{21000 1 \"s\" TCOD{7 \"long\"" + values + "} TCOD{8 \"\" 1}}";
    ExpectSameBothWays(blocks);
    const Reading fast =
        ReadPacked(PackedFrom(Title(4) + blocks + "\nENDF\n", Vary::kAsWritten), true);
    EXPECT_EQ(fast.report, "");
    EXPECT_NE(fast.model.find(group), std::string::npos);
    EXPECT_NE(fast.model.find("6.992500e+02}"), std::string::npos);
}

}  // namespace
