// The UDM model: lifecycle and current model, title and globals, entities
// and their labels, property sets and codes, merging and property files.
#include <cstring>
#include <string>
#include <vector>

#include "udm/udm_mesh.h"
#include "udm_test_support.h"

using udm_test::CodesOf;
using udm_test::MakeSet;
using udm_test::ModelTest;

// ---- Lifecycle and the current model ------------------------------------------------

TEST(ModelLifecycle, OperationsWithoutACurrentModelReportIt) {
    udm_model_select(nullptr);
    EXPECT_EQ(udm_model_init(), UDM_NO_CURRENT_MODEL);
    EXPECT_EQ(udm_model_clear(), UDM_NO_CURRENT_MODEL);
    EXPECT_EQ(udm_global_set("LUDM", "x", "y"), UDM_NO_CURRENT_MODEL);
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 1, 1, nullptr), UDM_NO_CURRENT_MODEL);
    EXPECT_EQ(udm_entity_new(UDM_CLASS_TSET, 21000, 0), nullptr);
    EXPECT_EQ(udm_file_version(), 4);
    EXPECT_EQ(udm_model_write("/nonexistent/dir/x.udm", UDM_MODE_TEXT), UDM_OK);
    EXPECT_EQ(udm_model_open(nullptr, 0, nullptr), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_model_destroy(nullptr), UDM_BAD_ARGUMENT);
    UdmModel* none = nullptr;
    EXPECT_EQ(udm_model_destroy(&none), UDM_BAD_ARGUMENT);
}

TEST_F(ModelTest, InitialisingTwiceIsRefusedAndChangesNothing) {
    ASSERT_EQ(udm_title_set_name("grades"), UDM_OK);
    ASSERT_NE(MakeSet(21000, 0, "PA 66"), nullptr);
    EXPECT_EQ(udm_model_init(), UDM_ALREADY_INITIALISED);
    EXPECT_STREQ(udm_title_name(), "grades");
    EXPECT_EQ(udm_class_count(UDM_CLASS_TSET), 1);
}

TEST_F(ModelTest, ClearEmptiesTheModelAndInitRestoresDefaults) {
    ASSERT_NE(MakeSet(21000, 0, "PA 66", {1992}), nullptr);
    ASSERT_EQ(udm_global_set("UDMW", "TYPE", "21000"), UDM_OK);
    ASSERT_EQ(udm_title_set_name("grades"), UDM_OK);
    ASSERT_EQ(udm_set_active_layer(5), UDM_OK);
    ASSERT_EQ(udm_model_clear(), UDM_OK);
    EXPECT_EQ(udm_model_clear(), UDM_NOT_INITIALISED);
    EXPECT_EQ(udm_title_name(), nullptr);
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 1, nullptr), UDM_NO_CLASS_TABLE);
    ASSERT_EQ(udm_model_init(), UDM_OK);
    EXPECT_STREQ(udm_title_name(), "Untitled");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_VRSN), "VANTOREL");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_KEYW), "1234567890");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_DATE), "DEC-31-1996");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_TIME), "00:00:00");
    EXPECT_EQ(udm_class_count(UDM_CLASS_TSET), 0);
    EXPECT_EQ(udm_global_get("UDMW", "TYPE", nullptr), UDM_NOT_FOUND);
    EXPECT_EQ(udm_active_layer(), 0);
}

TEST(ModelLifecycle, OpenSelectsAndDestroySelectsThePreviousModelAgain) {
    UdmModel* first = nullptr;
    UdmModel* second = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &first), UDM_OK);
    ASSERT_EQ(udm_model_open(nullptr, 0, &second), UDM_OK);
    EXPECT_EQ(udm_model_current(), second);

    udm_model_select(first);
    ASSERT_EQ(udm_model_destroy(&second), UDM_OK);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(udm_model_current(), first);

    ASSERT_EQ(udm_model_destroy(&first), UDM_OK);
    EXPECT_EQ(udm_model_current(), nullptr);
}

TEST(ModelLifecycle, AFailedOpenLeavesNoModelAndKeepsTheSelection) {
    UdmModel* kept = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &kept), UDM_OK);
    UdmModel* failed = reinterpret_cast<UdmModel*>(&kept);
    EXPECT_EQ(udm_model_open("/nonexistent/dir/none.udm", UDM_MODE_AS_LOADED, &failed),
              UDM_BAD_ARGUMENT);
    EXPECT_EQ(failed, nullptr);
    EXPECT_EQ(udm_model_current(), kept);
    udm_model_destroy(&kept);
}

TEST(ModelLifecycle, FreeingTheCurrentModelClearsTheSelection) {
    UdmModel* model = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &model), UDM_OK);
    ASSERT_NE(MakeSet(21000, 0, "kept until free"), nullptr);
    udm_model_free(model);
    EXPECT_EQ(udm_model_current(), nullptr);
}

TEST(ModelLifecycle, AllocatedModelsStartUninitialised) {
    UdmModel* model = nullptr;
    ASSERT_EQ(udm_model_alloc(&model), UDM_OK);
    udm_model_select(model);
    EXPECT_EQ(udm_model_clear(), UDM_NOT_INITIALISED);
    EXPECT_EQ(udm_entity_create(UDM_CLASS_TSET, 1, 1, nullptr), UDM_NO_CLASS_TABLE);
    EXPECT_EQ(udm_title_name(), nullptr);
    EXPECT_EQ(udm_model_init(), UDM_OK);
    EXPECT_STREQ(udm_title_name(), "Untitled");
    udm_model_destroy(&model);
}

// ---- Title and globals ---------------------------------------------------------------

TEST_F(ModelTest, TitleSetReplacesOnlyTheGivenSlots) {
    ASSERT_EQ(udm_title_set("name", nullptr, "JAN-01-2000", nullptr, "tool 2"), UDM_OK);
    EXPECT_STREQ(udm_title_text(UDM_TITLE_NAME), "name");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_KEYW), "1234567890");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_DATE), "JAN-01-2000");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_TIME), "00:00:00");
    EXPECT_STREQ(udm_title_text(UDM_TITLE_VRSN), "tool 2");
    EXPECT_EQ(udm_title_text(7), nullptr);
}

TEST_F(ModelTest, FileVersionIsParsedFromTheUdmvText) {
    struct Case {
        const char* text;
        int before;
        int after;
    };
    const std::vector<Case> cases = {
        {"UDM V4", 0, 4},  {"udm v12", 0, 12},         {"UDM V0", 4, 0},
        {"UDM V-2", 4, 0}, {"VERSION 4", 4, 0},        {"UDM V", 4, 0},
        {"UDM V4x", 3, 3}, {"UDM V99999999999", 4, 0}, {nullptr, 4, 0},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(udm_set_file_version(("UDM V" + std::to_string(c.before)).c_str()), UDM_OK);
        ASSERT_EQ(udm_file_version(), c.before);
        ASSERT_EQ(udm_set_file_version(c.text), UDM_OK);
        EXPECT_EQ(udm_file_version(), c.after) << (c.text == nullptr ? "(null)" : c.text);
    }
}

TEST_F(ModelTest, GlobalsAreStoredReplacedAndLookedUp) {
    const char* value = nullptr;
    EXPECT_EQ(udm_global_get("UDMW", "TYPE", &value), UDM_NOT_FOUND);
    EXPECT_EQ(value, nullptr);
    ASSERT_EQ(udm_global_set("UDMW", "TYPE", "20000"), UDM_OK);
    ASSERT_EQ(udm_global_set("UDMW", "TYPE", "21000"), UDM_OK);
    ASSERT_EQ(udm_global_get("UDMW", "TYPE", &value), UDM_OK);
    EXPECT_STREQ(value, "21000");
    EXPECT_EQ(udm_global_get("UDMW", "type", &value), UDM_NOT_FOUND);

    // Keywords keep their first five characters.
    ASSERT_EQ(udm_global_set("ABCDEFG", "k", "v"), UDM_OK);
    EXPECT_EQ(udm_global_get("ABCDE", "k", &value), UDM_OK);
    EXPECT_EQ(udm_global_get("ABCDEXYZ", "k", &value), UDM_OK);
    EXPECT_EQ(udm_global_get("ABCD", "k", &value), UDM_NOT_FOUND);

    EXPECT_EQ(udm_global_set(nullptr, "k", "v"), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_global_set("UDMW", nullptr, "v"), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_global_get(nullptr, "k", &value), UDM_NOT_FOUND);
}

TEST_F(ModelTest, TheModelKeepsItsOwnCopiesOfTexts) {
    char text[] = "original";
    ASSERT_EQ(udm_global_set("UDMW", "TYPE", text), UDM_OK);
    ASSERT_EQ(udm_title_set_name(text), UDM_OK);
    UdmTset* tset = MakeSet(21000, 0, text, {1992});
    ASSERT_NE(tset, nullptr);
    ASSERT_EQ(udm_tcod_set_description(udm_tset_code(tset, 1992, 0), text), UDM_OK);
    std::strcpy(text, "changed!");
    const char* value = nullptr;
    udm_global_get("UDMW", "TYPE", &value);
    EXPECT_STREQ(value, "original");
    EXPECT_STREQ(udm_title_name(), "original");
    EXPECT_STREQ(udm_tset_description(tset), "original");
    EXPECT_STREQ(udm_tcod_text(udm_tset_code(tset, 1992, 0)), "original");
}

TEST_F(ModelTest, ActiveLayerIsKeptAsAGlobalNumber) {
    EXPECT_EQ(udm_active_layer(), 0);
    EXPECT_EQ(udm_set_active_layer(-1), UDM_BAD_ARGUMENT);
    ASSERT_EQ(udm_set_active_layer(7), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 7);
    const char* value = nullptr;
    ASSERT_EQ(udm_global_get("LUDM", "Active Layer", &value), UDM_OK);
    EXPECT_STREQ(value, "7.000000E+00");
}

TEST(ActiveLayer, IsReadFromTheGlobalWhenNotCached) {
    UdmModel* model = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &model), UDM_OK);
    ASSERT_EQ(udm_global_set("LUDM", "Active Layer", "3.9E+00"), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 3);
    udm_model_destroy(&model);

    ASSERT_EQ(udm_model_open(nullptr, 0, &model), UDM_OK);
    ASSERT_EQ(udm_global_set("LUDM", "Active Layer", "none"), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 0);
    udm_model_destroy(&model);
}

// The layer is cached once read (also when the global is absent), and a
// later change of the global through udm_global_set is seen.
TEST_F(ModelTest, AChangedActiveLayerGlobalReplacesTheCachedLayer) {
    EXPECT_EQ(udm_active_layer(), 0);
    ASSERT_EQ(udm_global_set("LUDM", "Active Layer", "4.0E+00"), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 4);
    ASSERT_EQ(udm_set_active_layer(9), UDM_OK);
    ASSERT_EQ(udm_global_set("LUDM", "Active Layer", "2.0E+00"), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 2);
}

// ---- Entities and labels ---------------------------------------------------------------

TEST_F(ModelTest, PropertySetsAreLabelledPerType) {
    auto* a = MakeSet(21000, 0, "a");
    auto* b = MakeSet(21000, 0, "b");
    auto* c = MakeSet(20000, 0, "c");
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(udm_entity_label(a), 1);
    EXPECT_EQ(udm_entity_label(b), 2);
    EXPECT_EQ(udm_entity_label(c), 1);
    EXPECT_EQ(udm_entity_type(c), 20000);

    // Labels continue above the greatest one; gaps are not reused.
    ASSERT_NE(MakeSet(21000, 10, "ten"), nullptr);
    ASSERT_EQ(udm_entity_delete(b), UDM_OK);
    EXPECT_EQ(udm_next_label(UDM_CLASS_TSET, 21000), 11);
    EXPECT_EQ(udm_next_label(UDM_CLASS_TSET, 30000), 1);
    EXPECT_EQ(udm_next_label(UDM_CLASS_TSET, 0), 11);
    EXPECT_EQ(udm_next_label(UDM_CLASS_BLOB, 5), 1);
}

TEST_F(ModelTest, KeysAreOrderedAsUnsignedValues) {
    ASSERT_NE(MakeSet(-1, 1, "type -1 sorts last"), nullptr);
    ASSERT_NE(MakeSet(5, 1, "five"), nullptr);
    ASSERT_NE(MakeSet(5, -3, "label -3 sorts after 2"), nullptr);
    ASSERT_NE(MakeSet(5, 2, "two"), nullptr);
    std::vector<std::pair<int, int>> order;
    for (void* e = udm_entity_first(UDM_CLASS_TSET, 0); e != nullptr;
         e = udm_entity_next(UDM_CLASS_TSET, udm_entity_type(e), udm_entity_label(e))) {
        order.emplace_back(udm_entity_type(e), udm_entity_label(e));
    }
    const std::vector<std::pair<int, int>> expected = {{5, 1}, {5, 2}, {5, -3}, {-1, 1}};
    EXPECT_EQ(order, expected);
    EXPECT_EQ(udm_next_label(UDM_CLASS_TSET, 5), -2);
    EXPECT_EQ(udm_next_label(UDM_CLASS_TSET, -1), 2);
    EXPECT_EQ(udm_entity_label(udm_entity_first(UDM_CLASS_TSET, -1)), 1);
    EXPECT_EQ(udm_entity_first(UDM_CLASS_TSET, 6), nullptr);
}

// Keys arriving in ascending order take the append path, others the
// search; both must find every entity and refuse taken keys.
TEST_F(ModelTest, EntitiesInAnyKeyOrderAreFoundAndTakenKeysRefused) {
    const std::vector<int> labels = {10, 20, 30, 25, 5, 40, 1, 41, 35};
    for (int label : labels) ASSERT_NE(MakeSet(21000, label, "x"), nullptr) << label;
    for (int label : {10, 20, 30, 25, 5, 40, 1, 41, 35}) {
        EXPECT_EQ(MakeSet(21000, label, "again"), nullptr) << label;
        void* found = nullptr;
        EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, label, &found), UDM_OK) << label;
    }
    for (int label : {0x7fffffff, 42, 2, 36}) {
        void* found = nullptr;
        EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, label, &found), UDM_NOT_FOUND) << label;
    }
    std::vector<int> order;
    for (void* e = udm_entity_first(UDM_CLASS_TSET, 0); e != nullptr;
         e = udm_entity_next(UDM_CLASS_TSET, udm_entity_type(e), udm_entity_label(e))) {
        order.push_back(udm_entity_label(e));
    }
    EXPECT_EQ(order, (std::vector<int>{1, 5, 10, 20, 25, 30, 35, 40, 41}));
}

TEST_F(ModelTest, FindCreateAndDeleteReportTheTableStatuses) {
    void* found = nullptr;
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 1, &found), UDM_NOT_FOUND);
    UdmTset* tset = MakeSet(21000, 0, "x");
    ASSERT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 1, &found), UDM_OK);
    EXPECT_EQ(found, tset);
    EXPECT_EQ(udm_entity_create(UDM_CLASS_TSET, 21000, 1, nullptr), UDM_KEY_IN_USE);
    EXPECT_EQ(udm_entity_create(20, 1, 1, nullptr), UDM_BAD_CLASS);
    EXPECT_EQ(udm_entity_create(-1, 1, 1, nullptr), UDM_BAD_CLASS);
    EXPECT_EQ(udm_entity_find(UDM_CLASS_ANY_ELEMENT + 1, 1, 1, nullptr), UDM_BAD_CLASS);
    EXPECT_EQ(udm_class_clear(25), UDM_BAD_CLASS);
    EXPECT_EQ(udm_entity_new(UDM_CLASS_TSET, 0, 0), nullptr);

    ASSERT_EQ(udm_entity_delete(tset), UDM_OK);
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 1, &found), UDM_NOT_FOUND);
    EXPECT_EQ(udm_entity_delete(nullptr), UDM_BAD_ARGUMENT);
}

TEST_F(ModelTest, AnEntityOfAnotherModelIsNotInTheCollection) {
    UdmTset* tset = MakeSet(21000, 0, "in the first model");
    UdmModel* other = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &other), UDM_OK);
    ASSERT_NE(MakeSet(21000, 0, "same key, other model"), nullptr);
    EXPECT_EQ(udm_entity_delete(tset), UDM_NOT_IN_COLLECTION);
    udm_model_destroy(&other);
    // The destroyed model was the current one: none is current now.
    EXPECT_EQ(udm_model_current(), nullptr);
    udm_model_select(model_);
    EXPECT_EQ(udm_entity_delete(tset), UDM_OK);
}

TEST_F(ModelTest, NewEntitiesStartWithTheirDefaults) {
    ASSERT_EQ(udm_set_active_layer(4), UDM_OK);
    const auto* node = static_cast<const UdmNode*>(udm_entity_new(UDM_CLASS_NODE, 0, 0));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->mesh_size, 0.00001);
    EXPECT_EQ(node->x, 0.0);
    EXPECT_EQ(node->y, 0.0);
    EXPECT_EQ(node->z, 0.0);
    EXPECT_EQ(udm_entity_flag(node, 6), 0);
    EXPECT_EQ(udm_entity_display(node), 0);
    EXPECT_EQ(udm_entity_colour(node), 0);
    EXPECT_EQ(udm_entity_layer(node), 4);
    EXPECT_EQ(udm_entity_create(UDM_CLASS_TRI3, 1, UDM_KEY_NONE, nullptr), UDM_OK);
    const std::int32_t nodes[] = {1, 2};
    EXPECT_EQ(udm_element_new(UDM_CLASS_TRI3, 0, 0, 0, nodes, 2), nullptr);
    EXPECT_EQ(udm_element_new(UDM_CLASS_NODE, 0, 0, 0, nodes, 2), nullptr);
    void* inte = udm_element_new(UDM_CLASS_INTE, 0, 0, 0, nodes, 2);
    int count = 0;
    ASSERT_NE(udm_element_nodes(inte, &count), nullptr);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(udm_entity_label(inte), 2);
}

TEST_F(ModelTest, HeaderFieldsExistOnlyWhereTheClassHasThem) {
    UdmTset* tset = MakeSet(21000, 0, "no colour or layer");
    EXPECT_EQ(udm_entity_set_colour(tset, 3), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_entity_set_layer(tset, 3), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_entity_set_colour(nullptr, 3), UDM_BAD_ARGUMENT);
    ASSERT_EQ(udm_entity_set_display(tset, 0x1FF), UDM_OK);
    EXPECT_EQ(udm_entity_display(tset), 0xFF);
    ASSERT_EQ(udm_entity_set_flag(tset, 7, 1), UDM_OK);
    EXPECT_EQ(udm_entity_flag(tset, 7), 1);
    EXPECT_EQ(udm_entity_flag(tset, 6), 0);
    EXPECT_EQ(udm_entity_class(tset), UDM_CLASS_TSET);
    EXPECT_EQ(udm_entity_set_flag(tset, 5, 1), UDM_BAD_ARGUMENT);
}

using ElementTest = ModelTest;

TEST_F(ElementTest, ElementClassesShareOneLabelSpace) {
    ASSERT_EQ(udm_entity_create(UDM_CLASS_TET4, 4, UDM_KEY_NONE, nullptr), UDM_OK);
    EXPECT_EQ(udm_entity_create(UDM_CLASS_TRI3, 4, UDM_KEY_NONE, nullptr), UDM_KEY_IN_USE);
    void* tri3 = udm_entity_new(UDM_CLASS_TRI3, 0, 0);
    ASSERT_NE(tri3, nullptr);
    EXPECT_EQ(udm_entity_label(tri3), 5);
    void* wedge = udm_entity_new(UDM_CLASS_WEDG, 2, 0);
    ASSERT_NE(wedge, nullptr);

    void* found = nullptr;
    ASSERT_EQ(udm_entity_find(UDM_CLASS_ANY_ELEMENT, 4, 0, &found), UDM_OK);
    EXPECT_EQ(udm_entity_class(found), UDM_CLASS_TET4);
    std::vector<int> labels;
    for (void* e = udm_entity_first(UDM_CLASS_ANY_ELEMENT, 0); e != nullptr;
         e = udm_entity_next(UDM_CLASS_ANY_ELEMENT, udm_entity_label(e), 0)) {
        labels.push_back(udm_entity_label(e));
    }
    EXPECT_EQ(labels, (std::vector<int>{2, 4, 5}));
    EXPECT_EQ(udm_class_count(UDM_CLASS_ANY_ELEMENT), 3);
    // Node labels are a space of their own.
    void* node = udm_entity_new(UDM_CLASS_NODE, 0, 0);
    EXPECT_EQ(udm_entity_label(node), 1);
    ASSERT_EQ(udm_class_clear(UDM_CLASS_ANY_ELEMENT), UDM_OK);
    EXPECT_EQ(udm_class_count(UDM_CLASS_ANY_ELEMENT), 0);
    EXPECT_EQ(udm_class_count(UDM_CLASS_NODE), 1);
}

TEST_F(ElementTest, NewLayeredEntitiesTakeTheActiveLayer) {
    ASSERT_EQ(udm_set_active_layer(9), UDM_OK);
    void* node = udm_entity_new(UDM_CLASS_NODE, 0, 0);
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(udm_entity_layer(node), 9);
    ASSERT_EQ(udm_entity_set_colour(node, 70000), UDM_OK);
    EXPECT_EQ(udm_entity_colour(node), 70000 & 0xFFFF);
}

// ---- Property sets and code entries ------------------------------------------------------

TEST_F(ModelTest, CodesStaySortedAndUnique) {
    UdmTset* tset = MakeSet(21000, 0, "set", {11002, 1992, 1004});
    EXPECT_EQ(CodesOf(tset), (std::vector<std::int32_t>{1004, 1992, 11002}));

    UdmTcod* replacement = nullptr;
    const double value = 42.0;
    ASSERT_EQ(udm_tcod_new(1992, "new", 1, &value, nullptr, &replacement), UDM_OK);
    ASSERT_EQ(udm_tset_put_code(replacement, tset), UDM_OK);
    EXPECT_EQ(CodesOf(tset), (std::vector<std::int32_t>{1004, 1992, 11002}));
    EXPECT_EQ(udm_tset_code(tset, 1992, 0), replacement);
    EXPECT_EQ(replacement->owner, tset);
    EXPECT_DOUBLE_EQ(udm_tcod_value(replacement, 0), 42.0);

    EXPECT_EQ(udm_tset_remove_code(tset, 1004), UDM_OK);
    EXPECT_EQ(udm_tset_remove_code(tset, 1004), UDM_NOT_FOUND);
    EXPECT_EQ(udm_tset_put_code(nullptr, tset), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_tset_put_code(replacement, nullptr), UDM_BAD_ARGUMENT);
}

TEST_F(ModelTest, CodeLookupCreatesOnlyWhenAsked) {
    UdmTset* tset = MakeSet(21000, 0, "set", {1992, 11002});
    EXPECT_EQ(udm_tset_code(tset, 5000, 0), nullptr);
    UdmTcod* created = udm_tset_code(tset, 5000, 1);
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(udm_tcod_count(created), 0);
    EXPECT_EQ(udm_tcod_text(created), nullptr);
    EXPECT_EQ(udm_tcod_values(created), nullptr);
    EXPECT_EQ(created->owner, tset);
    EXPECT_EQ(CodesOf(tset), (std::vector<std::int32_t>{1992, 5000, 11002}));
    EXPECT_EQ(udm_tset_code(tset, 5000, 1), created);
    EXPECT_EQ(udm_tset_code(nullptr, 5000, 1), nullptr);
}

TEST(Tcod, ValuesAreCopiedBoundedAndCleared) {
    const double values[] = {1.5, 2.5, 3.5};
    UdmTcod* tcod = nullptr;
    ASSERT_EQ(udm_tcod_new(11002, nullptr, 3, values, nullptr, &tcod), UDM_OK);
    EXPECT_EQ(udm_tcod_count(tcod), 3);
    EXPECT_EQ(tcod->capacity, 3);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 2), 3.5);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 3), 0.0);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, -1), 0.0);
    EXPECT_DOUBLE_EQ(udm_tcod_value(nullptr, 0), 0.0);

    // Assigning a tail of its own values.
    ASSERT_EQ(udm_tcod_set_values(tcod, 2, udm_tcod_values(tcod) + 1), UDM_OK);
    EXPECT_EQ(tcod->capacity, 2);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 0), 2.5);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 1), 3.5);

    ASSERT_EQ(udm_tcod_set_values(tcod, 0, values), UDM_OK);
    EXPECT_EQ(udm_tcod_count(tcod), 0);
    EXPECT_EQ(tcod->capacity, 0);
    EXPECT_EQ(udm_tcod_values(tcod), nullptr);
    EXPECT_DOUBLE_EQ(udm_tcod_value(tcod, 0), 0.0);
    EXPECT_EQ(udm_tcod_set_values(nullptr, 1, values), UDM_BAD_ARGUMENT);
    udm_tcod_free(tcod);
}

TEST_F(ModelTest, AdoptedCodeListsAreSortedWithTheLastDuplicateKept) {
    UdmTset* tset = MakeSet(21000, 0, "set", {1});
    UdmTcod* list = nullptr;
    const double first = 1.0;
    const double second = 2.0;
    udm_tcod_new(7, nullptr, 1, &second, list, &list);
    udm_tcod_new(3, nullptr, 0, nullptr, list, &list);
    udm_tcod_new(7, nullptr, 1, &first, list, &list);
    ASSERT_EQ(udm_tset_set_codes(tset, list), UDM_OK);
    EXPECT_EQ(CodesOf(tset), (std::vector<std::int32_t>{3, 7}));
    EXPECT_DOUBLE_EQ(udm_tcod_value(udm_tset_code(tset, 7, 0), 0), 2.0);
    for (UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) {
        EXPECT_EQ(tcod->owner, tset);
    }
}

TEST_F(ModelTest, FreeingAnOwnedEntryUnlinksIt) {
    UdmTset* tset = MakeSet(21000, 0, "set", {1, 2, 3});
    udm_tcod_free(udm_tset_code(tset, 2, 0));
    EXPECT_EQ(CodesOf(tset), (std::vector<std::int32_t>{1, 3}));
}

TEST_F(ModelTest, CreatingASetAdoptsItsCodesOrLeavesThemToTheCaller) {
    UdmTcod* codes = nullptr;
    udm_tcod_new(1993, "grade", 0, nullptr, nullptr, &codes);
    UdmTset* tset = nullptr;
    ASSERT_EQ(udm_tset_create(21000, 0, "PA 6", codes, &tset), UDM_OK);
    EXPECT_EQ(udm_entity_label(tset), 1);
    EXPECT_EQ(tset->codes, codes);
    EXPECT_EQ(codes->owner, tset);

    UdmTcod* more = nullptr;
    udm_tcod_new(1994, nullptr, 0, nullptr, nullptr, &more);
    EXPECT_EQ(udm_tset_create(21000, 1, "taken", more, &tset), UDM_KEY_IN_USE);
    EXPECT_EQ(tset, nullptr);
    EXPECT_EQ(udm_tset_create(0, 1, "no type", more, nullptr), UDM_BAD_ARGUMENT);
    EXPECT_EQ(more->owner, nullptr);
    udm_tcod_free(more);
}

TEST_F(ModelTest, CopyingASetIsDeep) {
    UdmTset* source = MakeSet(21000, 0, "source", {1, 2}, {0.5, 1.5});
    UdmTset* target = MakeSet(21000, 0, "target", {9});
    ASSERT_EQ(udm_tset_copy(target, source), UDM_OK);
    EXPECT_STREQ(udm_tset_description(target), "source");
    EXPECT_EQ(CodesOf(target), (std::vector<std::int32_t>{1, 2}));
    UdmTcod* copied = udm_tset_code(target, 2, 0);
    EXPECT_NE(copied, udm_tset_code(source, 2, 0));
    EXPECT_NE(udm_tcod_values(copied), udm_tcod_values(udm_tset_code(source, 2, 0)));
    EXPECT_DOUBLE_EQ(udm_tcod_value(copied, 1), 1.5);
    EXPECT_EQ(copied->owner, target);
    EXPECT_EQ(udm_tset_copy(target, nullptr), UDM_BAD_ARGUMENT);
    EXPECT_EQ(udm_tset_copy(source, source), UDM_OK);
    EXPECT_EQ(CodesOf(source), (std::vector<std::int32_t>{1, 2}));
}

// ---- Merge -----------------------------------------------------------------------------

namespace {

// A model with one set (type, 1) holding one code, left current.
UdmModel* OneSetModel(const char* description) {
    UdmModel* model = nullptr;
    if (udm_model_open(nullptr, 0, &model) != UDM_OK) return nullptr;
    MakeSet(21000, 1, description, {1993});
    return model;
}

std::vector<std::string> DescriptionsInOrder() {
    std::vector<std::string> descriptions;
    for (void* e = udm_entity_first(UDM_CLASS_TSET, 21000); e != nullptr;
         e = udm_entity_next(UDM_CLASS_TSET, udm_entity_type(e), udm_entity_label(e))) {
        descriptions.push_back(udm_tset_description(static_cast<UdmTset*>(e)));
    }
    return descriptions;
}

}  // namespace

TEST_F(ModelTest, MergedSetsWithClashingLabelsTakeTheNextLabelOfTheirType) {
    for (const char* grade : {"first", "second", "third"}) {
        UdmModel* source = OneSetModel(grade);
        ASSERT_NE(source, nullptr);
        udm_model_select(model_);
        EXPECT_EQ(udm_model_merge(model_, source), UDM_OK);
        EXPECT_EQ(udm_model_current(), model_);
        udm_model_destroy(&source);
    }
    EXPECT_EQ(DescriptionsInOrder(), (std::vector<std::string>{"first", "second", "third"}));
    void* third = nullptr;
    ASSERT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 3, &third), UDM_OK);
    EXPECT_EQ(CodesOf(static_cast<UdmTset*>(third)), (std::vector<std::int32_t>{1993}));
}

TEST_F(ModelTest, MergeKeepsFreeKeysAndTheCallersSelection) {
    MakeSet(21000, 1, "target");
    UdmModel* source = OneSetModel("free key");
    MakeSet(20000, 4, "other type");
    UdmTset* moved = MakeSet(21000, 7, "label seven");
    ASSERT_NE(moved, nullptr);
    EXPECT_EQ(udm_model_merge(model_, source), UDM_OK);
    EXPECT_EQ(udm_model_current(), source);
    udm_model_select(model_);
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 20000, 4, nullptr), UDM_OK);
    // The clashing (21000, 1) took the next label the target had when it
    // was copied; (21000, 7) was free.
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 2, nullptr), UDM_OK);
    EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 7, nullptr), UDM_OK);
    EXPECT_EQ(udm_class_count(UDM_CLASS_TSET), 4);
    udm_model_destroy(&source);
    EXPECT_EQ(udm_model_merge(nullptr, model_), UDM_OK);
    EXPECT_EQ(udm_model_merge(model_, nullptr), UDM_OK);
}

TEST_F(ModelTest, AModelMergedIntoItselfDoublesOnce) {
    MakeSet(21000, 0, "a");
    MakeSet(21000, 0, "b");
    EXPECT_EQ(udm_model_merge(model_, model_), UDM_OK);
    EXPECT_EQ(DescriptionsInOrder(), (std::vector<std::string>{"a", "b", "a", "b"}));
}

TEST_F(ElementTest, MergeRelabelsElementsAcrossClassesAndRewritesTheirReferences) {
    // Target: node 1, set (21000, 1), a TET4 with label 1.
    udm_node_new(1, 0, 0, 0);
    MakeSet(21000, 1, "target set");
    const std::int32_t tet_nodes[] = {1, 1, 1, 1};
    ASSERT_NE(udm_element_new(UDM_CLASS_TET4, 1, 0, 0, tet_nodes, 4), nullptr);

    // Source: nodes 1 and 2, set (21000, 1), a TRI3 1 on nodes 2, 1, 2.
    UdmModel* source = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &source), UDM_OK);
    udm_node_new(1, 0, 0, 0);
    udm_node_new(2, 5, 6, 7);
    MakeSet(21000, 1, "source set");
    const std::int32_t tri_nodes[] = {2, 1, 2};
    void* tri3 = udm_element_new(UDM_CLASS_TRI3, 1, 21000, 1, tri_nodes, 3);
    ASSERT_NE(tri3, nullptr);
    udm_entity_set_flag(tri3, 6, 1);
    udm_entity_set_colour(tri3, 12);
    udm_element_set_group(tri3, "shell");

    udm_model_select(model_);
    udm_model_merge(model_, source);
    udm_model_destroy(&source);

    void* found = nullptr;
    ASSERT_EQ(udm_entity_find(UDM_CLASS_TRI3, 2, 0, &found), UDM_OK);
    const auto* copy = static_cast<UdmTri3*>(found);
    // The set became (21000, 2), source node 1 node 2 and source node 2
    // node 3; the TRI3 took the next element label after the TET4.
    EXPECT_EQ(copy->nodes[0], 3);
    EXPECT_EQ(copy->nodes[1], 2);
    EXPECT_EQ(copy->nodes[2], 3);
    EXPECT_EQ(copy->tset_type, 21000);
    EXPECT_EQ(copy->tset_label, 2);
    EXPECT_STREQ(udm_element_group(copy), "shell");
    EXPECT_EQ(udm_entity_flag(copy, 6), 1);
    // A system colour without entity keeps its label.
    EXPECT_EQ(udm_entity_colour(copy), 12);
    EXPECT_EQ(udm_class_count(UDM_CLASS_NODE), 3);
    void* node = nullptr;
    ASSERT_EQ(udm_entity_find(UDM_CLASS_NODE, 3, 0, &node), UDM_OK);
    EXPECT_EQ(static_cast<UdmNode*>(node)->x, 5.0);
}

TEST_F(ElementTest, MergeResolvesAReferenceToAMissingEntityAsZero) {
    UdmModel* source = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &source), UDM_OK);
    const std::int32_t nodes[] = {8, 8, 8};
    void* tri3 = udm_element_new(UDM_CLASS_TRI3, 1, 21000, 5, nodes, 3);
    ASSERT_NE(tri3, nullptr);
    udm_entity_set_colour(tri3, 40);
    udm_entity_set_layer(tri3, 3);
    udm_model_select(model_);
    udm_model_merge(model_, source);
    udm_model_destroy(&source);
    void* found = nullptr;
    ASSERT_EQ(udm_entity_find(UDM_CLASS_TRI3, 1, 0, &found), UDM_OK);
    const auto* copy = static_cast<UdmTri3*>(found);
    EXPECT_EQ(copy->nodes[0], 0);
    EXPECT_EQ(copy->tset_type, 0);
    EXPECT_EQ(copy->tset_label, 0);
    EXPECT_EQ(udm_entity_colour(copy), 0);
    EXPECT_EQ(udm_entity_layer(copy), 0);
}

// ---- Property files ------------------------------------------------------------------

TEST(TypedFile, TheTypeIsSetOnlyOnAModelWithoutSets) {
    udm_model_select(nullptr);
    UdmModel* model = udm_typed_open(nullptr, 0);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(udm_model_current(), nullptr);
    EXPECT_EQ(udm_typed_type(model), 0);
    EXPECT_EQ(udm_typed_set_type(model, 0), UDM_TYPED_BAD_ARGUMENT);
    EXPECT_EQ(udm_typed_set_type(nullptr, 21000), UDM_TYPED_BAD_ARGUMENT);
    ASSERT_EQ(udm_typed_set_type(model, 21000), UDM_OK);
    EXPECT_EQ(udm_typed_type(model), 21000);
    EXPECT_EQ(udm_model_current(), nullptr);

    udm_model_select(model);
    MakeSet(21000, 0, "a grade");
    udm_model_select(nullptr);
    EXPECT_EQ(udm_typed_count(model), 1);
    EXPECT_EQ(udm_typed_set_type(model, 20000), UDM_TYPED_BAD_ARGUMENT);
    EXPECT_EQ(udm_typed_type(model), 21000);
    EXPECT_EQ(udm_typed_close(model), UDM_OK);
    EXPECT_EQ(udm_typed_count(nullptr), 0);
}

TEST(TypedFile, UninitialisedModelsHaveNoType) {
    UdmModel* model = nullptr;
    ASSERT_EQ(udm_model_alloc(&model), UDM_OK);
    EXPECT_EQ(udm_typed_set_type(model, 21000), UDM_TYPED_NO_TYPE);
    EXPECT_EQ(udm_typed_save(model, "x.udb", 0), UDM_TYPED_NO_TYPE);
    EXPECT_EQ(udm_typed_type(model), 0);
    // Closing fails in the clearing step and leaves the model to the caller.
    udm_model_select(nullptr);
    EXPECT_EQ(udm_typed_close(model), UDM_TYPED_WRITE_FAILED);
    EXPECT_EQ(udm_model_current(), nullptr);
    udm_model_free(model);
}

TEST(TypedFile, SavingWithoutAPathNamesTheFileAfterTitleAndType) {
    udm_test::ScratchDir dir;
    ASSERT_FALSE(dir.path().empty());
    UdmModel* model = udm_typed_open(nullptr, 0);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(udm_typed_save(model, nullptr, 0), UDM_TYPED_NO_TYPE);
    ASSERT_EQ(udm_typed_set_type(model, 21000), UDM_OK);

    UdmModel* outer = nullptr;
    ASSERT_EQ(udm_model_open(nullptr, 0, &outer), UDM_OK);
    udm_model_select(model);
    const std::string stem = dir.File("grades");
    udm_title_set_name(stem.c_str());
    MakeSet(21000, 0, "kept");
    MakeSet(20000, 0, "dropped: another type");
    udm_model_select(outer);

    ASSERT_EQ(udm_typed_save(model, nullptr, 0), UDM_OK);
    EXPECT_EQ(udm_model_current(), outer);
    const std::string written = udm_test::ReadFile(stem + ".21000.udb");
    EXPECT_NE(written.find("\"kept\""), std::string::npos);
    EXPECT_EQ(written.find("dropped"), std::string::npos);
    EXPECT_EQ(udm_typed_count(model), 1);

    EXPECT_EQ(udm_typed_save(model, "/nonexistent/dir/x.udb", 0), UDM_TYPED_BAD_ARGUMENT);
    EXPECT_EQ(udm_typed_close(model), UDM_OK);
    EXPECT_EQ(udm_model_current(), outer);
    udm_model_destroy(&outer);
}

TEST(TypedFile, OpeningAMissingFileGivesAnEmptyModel) {
    UdmModel* model = udm_typed_open("/nonexistent/dir/none.udb", 1);
    ASSERT_NE(model, nullptr);
    EXPECT_EQ(udm_typed_count(model), 0);
    EXPECT_EQ(udm_typed_type(model), 0);
    EXPECT_EQ(udm_typed_close(model), UDM_OK);
    EXPECT_EQ(udm_typed_close(nullptr), UDM_TYPED_BAD_ARGUMENT);
}

TEST_F(ModelTest, DeletingTheActiveLayerResetsTheActiveLayer) {
    void* three = udm_entity_new(UDM_CLASS_LYER, 3, 0);
    void* four = udm_entity_new(UDM_CLASS_LYER, 4, 0);
    ASSERT_TRUE(three && four);
    ASSERT_EQ(udm_set_active_layer(3), UDM_OK);
    EXPECT_EQ(udm_entity_delete(four), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 3);
    EXPECT_EQ(udm_entity_delete(three), UDM_OK);
    EXPECT_EQ(udm_active_layer(), 0);
    EXPECT_FALSE(tarnvel::udm::SetClassFamily(UDM_CLASS_TSET, nullptr));
}
