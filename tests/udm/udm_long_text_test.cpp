// Long texts: the packed encoding carries a text of any length, a text file
// only texts whose quoted form fits the 4095 bytes its reader takes. What
// the library writes it reads back equal; a model holding a longer text is
// refused in text mode, and the file at the path stays as it was.
#include <gtest/gtest.h>

#include <string>

#include "reader_test_support.h"
#include "udm/udm.h"

using reader_test::AddSet;
using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::SetsOfCurrent;
using reader_test::TempDir;
using reader_test::WriteBytes;

namespace {

constexpr std::size_t kLongestQuotedText = 4095;

class LongTextTest : public ::testing::Test {
  protected:
    // The sets of the file as read into a fresh model; empty when the read
    // fails or drops anything.
    static std::vector<reader_test::SetImage> ReadBack(const std::string& path) {
        HeldModel model;
        if (udm_model_read(path.c_str(), UDM_MODE_AS_LOADED) != UDM_OK) return {};
        if (udm_read_dropped_count() != 0) return {};
        return SetsOfCurrent();
    }

    TempDir dir_;
    std::string text_ = dir_.File("model.udm");
    std::string packed_ = dir_.File("model.udb");
};

TEST_F(LongTextTest, TextsAtTheLimitReadBackFromEveryEncoding) {
    HeldModel model;
    // Plain bytes, and escapes that double the quoted length, right at it.
    AddSet(21000, 1, std::string(kLongestQuotedText, 'a').c_str(), {{1992, {1.0}}},
           (std::string(kLongestQuotedText / 2, '"') + "x").c_str());
    AddSet(21000, 2, (std::string(kLongestQuotedText / 2, '\\') + "y").c_str(), {{1, {}}});
    udm_global_set("ABCD", std::string(kLongestQuotedText, 'k').c_str(), "v");
    const auto expected = SetsOfCurrent();
    for (const std::string& path : {text_, packed_}) {
        model.Select();
        ASSERT_EQ(udm_model_write(path.c_str(), path == text_ ? UDM_MODE_TEXT : UDM_MODE_PACKED),
                  UDM_OK);
        EXPECT_EQ(ReadBack(path), expected) << path;
    }
}

TEST_F(LongTextTest, ALongerTextIsRefusedInTextButCarriedPacked) {
    WriteBytes(text_, "previous");
    const std::string longer(kLongestQuotedText + 1, 'b');
    const std::string escaped(kLongestQuotedText / 2 + 1, '"');
    // A description of a set, of a code, a global key and a title slot.
    const auto build = [&](int which) {
        AddSet(21000, 1, which == 0 ? longer.c_str() : "short", {{1992, {1.0, 2.0}}, {1993, {}}},
               which == 1 ? escaped.c_str() : "d");
        if (which == 2) udm_global_set("ABCD", "key", longer.c_str());
        if (which == 3) udm_title_set_name(longer.c_str());
    };
    for (int which = 0; which < 4; ++which) {
        HeldModel model;
        build(which);
        const auto expected = SetsOfCurrent();
        EXPECT_EQ(udm_model_write(text_.c_str(), UDM_MODE_TEXT), UDM_BAD_ARGUMENT) << which;
        EXPECT_EQ(ReadBytes(text_), "previous") << which;
        // As loaded from a text file, the same model is refused too.
        EXPECT_EQ(udm_model_save(text_.c_str()), UDM_BAD_ARGUMENT) << which;

        ASSERT_EQ(udm_model_write_packed(packed_.c_str()), UDM_OK) << which;
        ASSERT_NE(ReadBytes(packed_), "");
        EXPECT_EQ(ReadBack(packed_), expected) << which;
    }
}

TEST_F(LongTextTest, APackedFileWithALongTextCannotBeWrittenAsTextButRoundTripsPacked) {
    {
        HeldModel model;
        AddSet(21000, 1, std::string(100000, 'c').c_str(), {{1992, {3.0}}});
        ASSERT_EQ(udm_model_write_packed(packed_.c_str()), UDM_OK);
    }
    HeldModel model;
    ASSERT_EQ(udm_model_read(packed_.c_str(), UDM_MODE_AS_LOADED), UDM_OK);
    const auto expected = SetsOfCurrent();
    ASSERT_EQ(expected.size(), 1u);
    EXPECT_EQ(expected[0].description.size(), 100000u);
    EXPECT_EQ(udm_model_write(text_.c_str(), UDM_MODE_TEXT), UDM_BAD_ARGUMENT);
    EXPECT_EQ(ReadBytes(text_), "");
    // Saved as loaded, it is packed again and reads back equal.
    const std::string again = dir_.File("again.udb");
    ASSERT_EQ(udm_model_save(again.c_str()), UDM_OK);
    EXPECT_EQ(ReadBack(again), expected);
}

}  // namespace
