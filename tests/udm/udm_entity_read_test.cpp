// Reading entity blocks: the memory messages of the geometric sub-records
// (through the allocation seam of the family reader), the display words of
// older files, and packed files, whose flat entity blocks are decoded
// straight from the token window, ending with the same results and
// messages as the same blocks read from text.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <string_view>

#include "reader_test_support.h"
#include "udm/udm.h"
#include "udm/udm_family.h"

using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::TempDir;
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

}  // namespace
