// The geometry and mesh entity families: a model holding every family
// reads and writes back unchanged in text and packed form, merges remap
// references, and damaged entity blocks end with their messages.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "reader_test_support.h"
#include "udm/udm.h"
#include "udm/udm_mesh.h"

using reader_test::HeldModel;
using reader_test::ReadBytes;
using reader_test::TempDir;
using reader_test::WithoutWriteStamps;
using reader_test::WriteBytes;

namespace {

[[maybe_unused]] const int kPrintErrors = setenv("VANTOREL_UDM_PRINT_ERROR", "1", 1);

// A text model with at least one entity of every class: sub-records of
// every kind, layer attributes, a BLOB with data, an INTE of 12 nodes, NDBC
// with and without TRAN, LOCS with TYPE&ENABLED 3, a SUBC referring by 7.
const std::string kEveryFamily =
    std::string(TARNVEL_SOURCE_DIR) + "/tests/udm/data/every-family.udm";

class FamiliesTest : public ::testing::Test {
  protected:
    int Read(const std::string& bytes, std::string* report = nullptr) {
        WriteBytes(path_, bytes);
        model_.Select();
        ::testing::internal::CaptureStderr();
        const int status = udm_model_read(path_.c_str(), UDM_MODE_AS_LOADED);
        const std::string captured = ::testing::internal::GetCapturedStderr();
        if (report != nullptr) *report = captured;
        return status;
    }
    std::string Written(int mode) {
        const std::string path = dir_.File("written.udm");
        EXPECT_EQ(udm_model_write(path.c_str(), mode), UDM_OK);
        return ReadBytes(path);
    }
    template <typename T>
    T* Find(int entity_class, std::int32_t label) {
        void* found = nullptr;
        udm_entity_find(entity_class, label, 0, &found);
        return static_cast<T*>(found);
    }

    TempDir dir_;
    std::string path_ = dir_.File("in.udm");
    HeldModel model_;
};

const char kTitle[] = "TITL{UDMV{\"UDM V4\"}}\n";

// ---- Round trips --------------------------------------------------------------------

TEST_F(FamiliesTest, EveryFamilyReadsAndWritesBackUnchangedInTextAndPacked) {
    const std::string golden = ReadBytes(kEveryFamily);
    ASSERT_FALSE(golden.empty());
    std::string report;
    ASSERT_EQ(Read(golden, &report), UDM_OK);
    EXPECT_EQ(report, "");
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        EXPECT_GE(udm_class_count(entity_class), 1) << "class " << entity_class;
    }
    EXPECT_EQ(WithoutWriteStamps(Written(UDM_MODE_TEXT)), WithoutWriteStamps(golden));

    const std::string packed = Written(UDM_MODE_PACKED);
    HeldModel again;
    WriteBytes(path_, packed);
    again.Select();
    ASSERT_EQ(udm_model_read(path_.c_str(), UDM_MODE_PACKED), UDM_OK);
    EXPECT_EQ(WithoutWriteStamps(Written(UDM_MODE_TEXT)), WithoutWriteStamps(golden));
}

TEST_F(FamiliesTest, RowLayoutsAndOptionalParts) {
    ASSERT_EQ(Read(ReadBytes(kEveryFamily)), UDM_OK);
    const std::string text = Written(UDM_MODE_TEXT);
    // Twelve INTE nodes on three lines of 5, 5 and 2.
    EXPECT_NE(text.find("INTE{6 0 2 0 0 \"i\" 21000 1\n  1 2 1 2 1\n  2 1 2 1 2\n  1 2}"),
              std::string::npos);
    // An NDBC without a transformation writes no TRAN; one with it 4 rows.
    EXPECT_NE(text.find("NDBC{1 0 2 0 0 21000 1 1}\n"), std::string::npos);
    EXPECT_NE(text.find("  TRAN{\n    1.000000e+00 2.000000e+00 3.000000e+00 4.000000e+00\n"),
              std::string::npos);
    // A modelling plane that is enabled: TYPE&ENABLED 3.
    auto* locs = Find<void>(UDM_CLASS_LOCS, 1);
    ASSERT_NE(locs, nullptr);
    EXPECT_NE(udm_entity_display(locs), 0);
    EXPECT_EQ(udm_entity_flag(locs, 7), 1);
    EXPECT_NE(text.find("LOCS{1 \"mp\" 1 3 2 5\n"), std::string::npos);
    udm_entity_set_flag(locs, 7, 0);
    EXPECT_NE(Written(UDM_MODE_TEXT).find("LOCS{1 \"mp\" 1 2 2 5\n"), std::string::npos);
}

TEST_F(FamiliesTest, OlderFormsAreAccepted) {
    std::string report;
    // Elements without the group reference; a layer of version 3 without
    // LABEL_ON.
    ASSERT_EQ(Read("TITL{UDMV{\"UDM V3\"}}\nTRI3{1 0 0 0 0 21000 1 4 5 6}\n"
                   "LYER{2 \"old\" 1 4 0 1 9 1}\nENDF\n",
                   &report),
              UDM_OK);
    EXPECT_EQ(report, "");
    auto* tri3 = Find<UdmTri3>(UDM_CLASS_TRI3, 1);
    ASSERT_NE(tri3, nullptr);
    EXPECT_EQ(tri3->nodes[2], 6);
    EXPECT_EQ(udm_element_group(tri3), nullptr);
    void* layer = Find<void>(UDM_CLASS_LYER, 2);
    ASSERT_NE(layer, nullptr);
    EXPECT_EQ(udm_entity_flag(layer, 7), 0);
    int visible = -1, label_on = -1, colour = -1, display = -1;
    ASSERT_EQ(udm_layer_attribute(layer, UDM_CLASS_NODE, &visible, &label_on, &colour, &display),
              UDM_OK);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(label_on, 1);
    EXPECT_EQ(colour, 9);
    EXPECT_EQ(display, 1);
    // Types without an attribute line keep the creator's visible, label-on.
    ASSERT_EQ(udm_layer_attribute(layer, UDM_CLASS_INTE, &visible, &label_on, &colour, &display),
              UDM_OK);
    EXPECT_EQ(visible + label_on, 2);
}

TEST_F(FamiliesTest, FilesOfVersionZeroReadTheirOldBlocks) {
    // Version 0: LYER without LABEL_ON, NDBC and SUBC under their old codes.
    std::string report;
    ASSERT_EQ(Read("TITL{NAME{\"old\"} UDMV{\"UDM V0\"}}\n"
                   "LYER{1 \"Default\" 1\n  /* NODE */ 4 1 0 0 0\n}\n"
                   "NODE{1 0 0 0 1.000000e-05 0.0 0.0 0.0}\n"
                   "NDBC{1 0 0 0 0 0 0 1 TRAN{1 0 0 0 0 1 0 0 0 0 1 0 0 0 0 1}}\n"
                   "SUBC{1 0 0 0 0 0 0 0 1}\n"
                   "BLOB{1 1 \"d\" 1 1 0 0 { \"s\" } { } { } { \"v\" } { } { }}\nENDF\n",
                   &report),
              UDM_OK);
    EXPECT_EQ(report, "");
    for (int entity_class :
         {UDM_CLASS_LYER, UDM_CLASS_NODE, UDM_CLASS_NDBC, UDM_CLASS_SUBC, UDM_CLASS_BLOB}) {
        EXPECT_EQ(udm_class_count(entity_class), 1) << entity_class;
    }
    int visible = -1;
    udm_layer_attribute(Find<void>(UDM_CLASS_LYER, 1), UDM_CLASS_NODE, &visible, nullptr, nullptr,
                        nullptr);
    EXPECT_EQ(visible, 1);
}

// ---- Reading damaged blocks -----------------------------------------------------------

struct BadBlock {
    const char* block;
    const char* message;
    // The class the block is of, and how many of it stay.
    int entity_class;
    int kept;
};

TEST_F(FamiliesTest, DamagedBlocksEndWithTheirMessage) {
    const BadBlock cases[] = {
        {"NODE{1 0 0 0 0.1 1 2 3} NODE{1 0 0 0 0.1 1 2 3}", "bad NODE label", UDM_CLASS_NODE, 1},
        {"TET4{3 0 0 0 0 \"\" 1 1 1 2 3 4} TRI3{3 0 0 0 0 \"\" 1 1 1 2 3}", "bad TRI3 label",
         UDM_CLASS_TRI3, 0},
        {"TRI3{1 0 0 0 0 \"\" 1 1 1 2}", "parse error", UDM_CLASS_TRI3, 0},
        {"CURV{1 0 0 0 0 1 1 0.5 CIPT{0.5}}", "bad CURV without GCRV", UDM_CLASS_CURV, 0},
        {"CURV{1 0 0 0 0 1 1 0.5 GCRV{1 -2 0 0.0}}", "parse error", UDM_CLASS_CURV, 0},
        {"CURV{1 0 0 0 0 1 1 0.5 GCRV{1 2 0 0.0 1 2 3}}", "parse error", UDM_CLASS_CURV, 0},
        {"SURF{1 0 0 0 0 1 1 0.5 SIPT{0 0}}", "bad SURF without TSRF", UDM_CLASS_SURF, 0},
        {"SURF{1 0 0 0 0 1 1 0.5 TSRF{OTLP{}}}", "bad TSRF without GSRF", UDM_CLASS_SURF, 0},
        {"SURF{1 0 0 0 0 1 1 0.5 ICRV{CIPT{1}} TSRF{GSRF{0 0 1 1 0 0 0 0 1 0 1 0 1}}}",
         "bad ICRV without GCRV", UDM_CLASS_SURF, 0},
        {"SURF{1 0 0 0 0 1 1 0.5 TSRF{GSRF{0 0 1 1 0 0 0 0 1 0 1 0 1} GSRF{0 0 1 1 0 0 0 0 1 0 1 0 "
         "1}}}",
         "duplicate GSRF", UDM_CLASS_SURF, 1},
        {"SURF{1 0 0 0 0 1 1 0.5 TSRF{GSRF{0 0 99999 99999 0 1 2}}}", "parse error", UDM_CLASS_SURF,
         0},
        {"REGN{1 0 0 0 0 1 1 0.5 GRGN{INLP{}}}", "bad GRGN without OTLP", UDM_CLASS_REGN, 0},
        {"REGN{1 0 0 0 0 1 1 0.5 GRGN{OTLP{} OTLP{}}}", "duplicate OTLP", UDM_CLASS_REGN, 1},
        {"REGN{1 0 0 0 0 1 1 0.5 RIPT{1 2 3} RIPT{1 2}}", "parse error", UDM_CLASS_REGN, 0},
        {"STLR{1 0 0 0 0 1 1 0.5 -1}", "parse error", UDM_CLASS_STLR, 0},
        {"BLOB{1 1 \"d\" 2000000000 2000000000 0 0 {} {} {} {} {} {}}", "parse error",
         UDM_CLASS_BLOB, 0},
        {"BLOB{1 1 \"d\" -1 0 0 0 {} {} {} {} {} {}}", "parse error", UDM_CLASS_BLOB, 0},
        {"BLOB{0 1 \"d\" 0 0 0 0 {} {} {} {} {} {}}", "bad BLOB memory", UDM_CLASS_BLOB, 0},
        {"LOCS{1 \"no matrix\" 0 0 0 0}", "parse error", UDM_CLASS_LOCS, 0},
    };
    for (const BadBlock& c : cases) {
        model_.Select();
        for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
            udm_class_clear(entity_class);
        }
        std::string report;
        EXPECT_EQ(Read(std::string(kTitle) + c.block + "\nENDF\n", &report), UDM_OK) << c.block;
        EXPECT_NE(report.find(c.message), std::string::npos) << c.block << "\n" << report;
        EXPECT_EQ(udm_class_count(c.entity_class), c.kept) << c.block;
    }
}

TEST_F(FamiliesTest, StlFacetCountsThatDisagreeAreCorrected) {
    std::string report;
    const std::string facet = " 0 0 0 1 0 0 0 1 0";
    ASSERT_EQ(Read(std::string(kTitle) + "STLR{1 0 0 0 0 1 1 0.5 3" + facet + facet + "}\n" +
                       "STLR{2 0 0 0 0 1 1 0.5 1" + facet + facet + "}\nENDF\n",
                   &report),
              UDM_OK);
    EXPECT_NE(report.find("syntax error : lesser number of facets than specified"),
              std::string::npos);
    EXPECT_NE(report.find("syntax error : more number of facets than specified"),
              std::string::npos);
    const std::string text = Written(UDM_MODE_TEXT);
    EXPECT_NE(text.find("STLR{1 0 0 0 0 1 1 5.000000e-01 2\n"), std::string::npos);
    EXPECT_NE(text.find("STLR{2 0 0 0 0 1 1 5.000000e-01 1\n"), std::string::npos);
}

TEST_F(FamiliesTest, LayerAttributeGroupsShortOrUnknown) {
    std::string report;
    // A group for type 13 (no record) is skipped; the last group is short by
    // one number. Colours keep all 16 bits.
    ASSERT_EQ(
        Read(std::string(kTitle) + "LYER{3 \"L\" 1 1 13 1 1 1 1 7 0 1 40000 2 9 1 1 5}\nENDF\n",
             &report),
        UDM_OK);
    EXPECT_NE(report.find("bad LYER 3 attributes for entity type 13"), std::string::npos);
    EXPECT_NE(report.find("syntax error: LYER 3 attributes for entity type 9 should have 4"),
              std::string::npos);
    void* layer = Find<void>(UDM_CLASS_LYER, 3);
    ASSERT_NE(layer, nullptr);
    int visible = -1, label_on = -1, colour = -1, display = -1;
    udm_layer_attribute(layer, UDM_CLASS_TRI3, &visible, &label_on, &colour, &display);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(colour, 40000);
    EXPECT_EQ(display, 2);
    udm_layer_attribute(layer, UDM_CLASS_SURF, &visible, &label_on, &colour, &display);
    EXPECT_EQ(colour, 0);
    EXPECT_EQ(udm_layer_set_attribute(layer, 13, 1, 1, 0, 0), UDM_BAD_CLASS);
    EXPECT_EQ(udm_layer_set_attribute(nullptr, 4, 1, 1, 0, 0), UDM_BAD_ARGUMENT);
}

// ---- Merge --------------------------------------------------------------------------------

TEST_F(FamiliesTest, MergeRemapsEveryReferenceOfACopiedModel) {
    ASSERT_EQ(Read(ReadBytes(kEveryFamily)), UDM_OK);
    // Merged into itself every entity is copied once, so every copy's
    // references must point at copies.
    const int nodes = udm_class_count(UDM_CLASS_NODE);
    const int elements = udm_class_count(UDM_CLASS_ANY_ELEMENT);
    udm_model_merge(model_.get(), model_.get());
    EXPECT_EQ(udm_class_count(UDM_CLASS_NODE), 2 * nodes);
    EXPECT_EQ(udm_class_count(UDM_CLASS_ANY_ELEMENT), 2 * elements);
    // Element labels stay unique across the five element classes: 7 to 12.
    std::vector<int> labels;
    for (void* e = udm_entity_first(UDM_CLASS_ANY_ELEMENT, 0); e != nullptr;
         e = udm_entity_next(UDM_CLASS_ANY_ELEMENT, udm_entity_label(e), 0)) {
        labels.push_back(udm_entity_label(e));
    }
    EXPECT_EQ(labels, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    // The copy of TRI3 2 (label 8) refers to the copies of nodes 1, 2 and
    // of the set, its layer and colour copied too (colour 3 is a system
    // colour and stays).
    auto* tri3 = Find<UdmTri3>(UDM_CLASS_TRI3, 8);
    ASSERT_NE(tri3, nullptr);
    EXPECT_EQ(tri3->nodes[0], 3);
    EXPECT_EQ(tri3->nodes[1], 4);
    EXPECT_EQ(tri3->tset_label, 2);
    EXPECT_EQ(udm_entity_layer(tri3), 3);
    EXPECT_EQ(udm_entity_colour(tri3), 3);
    // Node 1 had user colour 40 (a COLR entity): its copy refers to the copy.
    auto* node = Find<UdmNode>(UDM_CLASS_NODE, 3);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(udm_entity_colour(node), 41);
    // The SUBC refers by 7 (taken as TRI3) to element 2: its copy to 8, and
    // it is still written with 7.
    const std::string text = Written(UDM_MODE_TEXT);
    EXPECT_NE(text.find("SUBC{2 0 3 0 0 21000 2 7 8}"), std::string::npos) << text;
    // Flag bit 7 survives: the cutting plane stays enabled.
    EXPECT_EQ(udm_entity_flag(Find<void>(UDM_CLASS_CTPL, 2), 7), 1);
    EXPECT_EQ(udm_entity_flag(Find<void>(UDM_CLASS_LOCS, 2), 7), 1);
}

TEST_F(FamiliesTest, MergedIntoAnEmptyModelEveryFamilyIsCopiedWhole) {
    const std::string golden = ReadBytes(kEveryFamily);
    ASSERT_EQ(Read(golden), UDM_OK);
    HeldModel target;
    udm_model_merge(target.get(), model_.get());
    target.Select();
    // No key clashes: every copy keeps its labels and its references, so
    // the copy writes as the original does.
    EXPECT_EQ(WithoutWriteStamps(Written(UDM_MODE_TEXT)), WithoutWriteStamps(golden));
}

TEST_F(FamiliesTest, SurfaceConditionsFollowTheClassTheyReferTo) {
    const std::string nodes = "NODE{1 0 0 0 0.1 0 0 0}\n";
    ASSERT_EQ(Read(std::string(kTitle) + nodes +
                   "TRI3{1 0 0 0 0 \"\" 0 0 1 1 1}\n"
                   "STLR{1 0 0 0 0 0 0 0.5 0}\n"
                   "SUBC{1 0 0 0 0 0 0 4 1}\nSUBC{2 0 0 0 0 0 0 0 1}\nSUBC{3 0 0 0 0 0 0 3 1}\n"
                   "SUBC{4 0 0 0 0 0 0 1 9}\n"
                   "ENDF\n"),
              UDM_OK);
    // The target holds element 1 and STL region 1 already: the copies take
    // element 2 and region 2. Element labels are one space, so a TET4
    // reference finds element 1 whatever its element class.
    HeldModel target;
    target.Select();
    const std::int32_t corners[] = {1, 1, 1};
    udm_element_new(UDM_CLASS_TRI3, 1, 0, 0, corners, 3);
    udm_entity_new(UDM_CLASS_STLR, 1, 0);
    udm_model_merge(target.get(), model_.get());
    const std::string text = Written(UDM_MODE_TEXT);
    EXPECT_NE(text.find("SUBC{1 0 0 0 0 0 0 4 2}"), std::string::npos) << text;
    EXPECT_NE(text.find("SUBC{2 0 0 0 0 0 0 0 2}"), std::string::npos) << text;
    EXPECT_NE(text.find("SUBC{3 0 0 0 0 0 0 3 2}"), std::string::npos) << text;
    // A surface that the source does not hold: the reference becomes 0.
    EXPECT_NE(text.find("SUBC{4 0 0 0 0 0 0 1 0}"), std::string::npos) << text;
}

TEST_F(FamiliesTest, LayerLabelOnSurvivesAMerge) {
    model_.Select();
    void* layer = udm_layer_new(0, "shown", 1, 1);
    ASSERT_NE(layer, nullptr);
    udm_layer_set_attribute(layer, UDM_CLASS_TRI3, 0, 1, 300, 4);
    HeldModel target;
    udm_model_merge(target.get(), model_.get());
    target.Select();
    void* copy = Find<void>(UDM_CLASS_LYER, 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(udm_entity_flag(copy, 6), 1);
    EXPECT_EQ(udm_entity_flag(copy, 7), 1);
    int visible = -1, label_on = -1, colour = -1, display = -1;
    udm_layer_attribute(copy, UDM_CLASS_TRI3, &visible, &label_on, &colour, &display);
    EXPECT_EQ(visible, 0);
    EXPECT_EQ(label_on, 1);
    EXPECT_EQ(colour, 300);
    EXPECT_EQ(display, 4);
}

// ---- Damaged packed files ------------------------------------------------------------------

TEST_F(FamiliesTest, TruncatedPackedModelsOfEveryFamilyFailCleanly) {
    ASSERT_EQ(Read(ReadBytes(kEveryFamily)), UDM_OK);
    const std::string packed = Written(UDM_MODE_PACKED);
    for (std::size_t length = 0; length < packed.size(); length += 7) {
        HeldModel cut;
        WriteBytes(path_, packed.substr(0, length));
        cut.Select();
        ::testing::internal::CaptureStderr();
        const int status = udm_model_read(path_.c_str(), UDM_MODE_PACKED);
        ::testing::internal::GetCapturedStderr();
        EXPECT_NE(status, UDM_OK) << "cut at " << length;
    }
}

// ---- Colours --------------------------------------------------------------------------------

TEST_F(FamiliesTest, ColoursAndTheSystemTable) {
    model_.Select();
    UdmColour* automatic = udm_colour_new(0, "mine", 0.1, 0.2, 0.3);
    ASSERT_NE(automatic, nullptr);
    EXPECT_EQ(udm_entity_label(automatic), 33);
    EXPECT_EQ(udm_entity_label(udm_colour_new(0, "next", 0, 0, 0)), 34);
    EXPECT_EQ(udm_colour_new(33, "taken", 0, 0, 0), nullptr);
    const char* name = nullptr;
    double red = -1, green = -1, blue = -1;
    ASSERT_EQ(udm_system_colour(8, &name, &red, &green, &blue), UDM_OK);
    EXPECT_STREQ(name, "orange");
    EXPECT_EQ(green, 0.647);
    ASSERT_EQ(udm_system_colour(16, &name, &red, &green, &blue), UDM_OK);
    EXPECT_STREQ(name, "green2");
    EXPECT_EQ(udm_system_colour(17, &name, nullptr, nullptr, nullptr), UDM_NOT_FOUND);
    EXPECT_EQ(udm_system_colour(0, &name, nullptr, nullptr, nullptr), UDM_NOT_FOUND);
}

}  // namespace
