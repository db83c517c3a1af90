// udmconv diff and the comparison under it: equal files in any encodings,
// every kind of difference named with its set, code and index, the
// tolerance, and the exit codes 0, 1 and 2.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "inspect/model_diff.h"
#include "inspect_test_support.h"

namespace tarnvel::inspect::testing {
namespace {

using Kind = Difference::Kind;

std::vector<double> Tait() {
    std::vector<double> values;
    for (int n = 1; n <= 13; ++n) values.push_back(n);
    return values;
}

// The reference model: two sets and a global.
void BuildReference() {
    udm_global_set("UDMW", "TYPE", "21000");
    AddSet(21000, 1, "PP : Maker",
           {{1004, "", Tait()}, {1992, "Polypropylene", {}}, {11002, "", {503.15}}});
    AddSet(21000, 2, "PA : Maker", {{11002, "", {553.15}}});
}

class DiffTest : public ::testing::Test {
  protected:
    // Writes the reference model, changed by the edit, to the path.
    template <typename Edit>
    void Write(const std::string& path, int mode, Edit edit) {
        Model model;
        BuildReference();
        edit();
        ASSERT_EQ(udm_model_write(path.c_str(), mode), UDM_OK);
    }
    void Write(const std::string& path, int mode) {
        Write(path, mode, [] {});
    }
    // The differences of b from a, as the library finds them.
    std::vector<Difference> Differences(const std::string& a, const std::string& b,
                                        double rel_tol = 0) {
        ModelFile file_a;
        ModelFile file_b;
        std::string message;
        EXPECT_TRUE(file_a.Load(a, false, &message)) << message;
        EXPECT_TRUE(file_b.Load(b, false, &message)) << message;
        std::vector<Difference> found;
        const std::size_t count =
            DiffModels(file_a, file_b, {rel_tol}, [&](const Difference& d) { found.push_back(d); });
        EXPECT_EQ(count, found.size());
        return found;
    }
    static UdmTset* Set(std::int32_t label) {
        void* payload = nullptr;
        EXPECT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, label, &payload), UDM_OK);
        return static_cast<UdmTset*>(payload);
    }

    Folder folder_;
    std::string text_ = folder_.File("a.udm");
    std::string packed_ = folder_.File("a.udb");
};

TEST_F(DiffTest, TheSameModelInTwoEncodingsIsEqual) {
    Write(text_, UDM_MODE_TEXT);
    Write(packed_, UDM_MODE_PACKED);
    // Written at different moments: only the stamps may differ.
    const ProcessResult result = Udmconv({"diff", text_, packed_});
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_EQ(result.out, "");
    const ProcessResult json = Udmconv({"diff", "--json", packed_, text_});
    EXPECT_EQ(json.exit_code, 0);
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["equal"], true);
    EXPECT_TRUE(doc["differences"].empty());
}

TEST_F(DiffTest, AChangedValueIsNamedBySetCodeAndIndex) {
    Write(text_, UDM_MODE_TEXT);
    const std::string changed = folder_.File("b.udb");
    Write(changed, UDM_MODE_PACKED, [] { udm_tset_code(Set(1), 1004, 0)->values[3] = 4.5; });

    const ProcessResult result = Udmconv({"diff", text_, changed});
    EXPECT_EQ(result.exit_code, 1) << result.err;
    EXPECT_EQ(result.out, "set 21000/1 code 1004 [3]: 4 -> 4.5\n");
    const ProcessResult json = Udmconv({"diff", text_, changed, "--json"});
    EXPECT_EQ(json.exit_code, 1);
    const nlohmann::json doc = nlohmann::json::parse(json.out);
    EXPECT_EQ(doc["equal"], false);
    ASSERT_EQ(doc["differences"].size(), 1u);
    const nlohmann::json& d = doc["differences"][0];
    EXPECT_EQ(d["kind"], "value");
    EXPECT_EQ(d["type"], 21000);
    EXPECT_EQ(d["label"], 1);
    EXPECT_EQ(d["code"], 1004);
    EXPECT_EQ(d["index"], 3);
    EXPECT_EQ(d["a"], 4.0);
    EXPECT_EQ(d["b"], 4.5);

    // 4 and 4.5 lie 0.5 apart: within 20 % of 4.5, beyond 10 %.
    EXPECT_EQ(Udmconv({"diff", "--rel-tol=0.2", text_, changed}).exit_code, 0);
    EXPECT_EQ(Udmconv({"diff", "--rel-tol", "0.1", text_, changed}).exit_code, 1);
}

TEST_F(DiffTest, AddedAndRemovedSetsCodesAndDescriptions) {
    Write(text_, UDM_MODE_TEXT);
    const std::string changed = folder_.File("b.udm");
    Write(changed, UDM_MODE_TEXT, [] {
        AddSet(21000, 3, "PC : Maker", {});
        void* second = nullptr;
        udm_entity_find(UDM_CLASS_TSET, 21000, 2, &second);
        udm_entity_delete(second);
        UdmTset* first = Set(1);
        udm_tset_set_description(first, "PP : Other");
        udm_tset_remove_code(first, 11002);
        UdmTcod* added = nullptr;
        udm_tcod_new(1504, "", 1, std::vector<double>{400}.data(), nullptr, &added);
        udm_tset_put_code(added, first);
        udm_tcod_set_description(udm_tset_code(first, 1992, 0), "PP");
        udm_tcod_set_values(udm_tset_code(first, 1004, 0), 2, Tait().data());
        udm_global_set("UDMW", "TYPE", "20000");
        udm_global_set("UDMW", "EXTRA", "x");
    });
    const std::vector<Difference> found = Differences(text_, changed);
    std::vector<Kind> kinds;
    for (const Difference& d : found) kinds.push_back(d.kind);
    EXPECT_EQ(kinds, (std::vector<Kind>{Kind::kGlobal, Kind::kGlobal, Kind::kSetDescription,
                                        Kind::kValueCount, Kind::kCodeAdded, Kind::kCodeDescription,
                                        Kind::kCodeRemoved, Kind::kSetRemoved, Kind::kSetAdded}));
    ASSERT_EQ(found.size(), 9u);
    EXPECT_FALSE(found[0].text_a.has_value());  // EXTRA only in b
    EXPECT_EQ(found[1].text_a, "21000");
    EXPECT_EQ(found[1].text_b, "20000");
    EXPECT_EQ(found[3].count_a, 13);
    EXPECT_EQ(found[3].count_b, 2);
    EXPECT_EQ(found[4].code, 1504);
    EXPECT_EQ(found[6].code, 11002);
    EXPECT_EQ(found[7].label, 2);
    EXPECT_EQ(found[8].label, 3);

    const ProcessResult result = Udmconv({"diff", text_, changed});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.out,
              "global UDMW \"EXTRA\": (none) -> \"x\"\n"
              "global UDMW \"TYPE\": \"21000\" -> \"20000\"\n"
              "set 21000/1: description \"PP : Maker\" -> \"PP : Other\"\n"
              "set 21000/1 code 1004: 13 values -> 2 values\n"
              "set 21000/1 code 1504: added (1 value)\n"
              "set 21000/1 code 1992: description \"Polypropylene\" -> \"PP\"\n"
              "set 21000/1 code 11002: removed (1 value)\n"
              "set 21000/2: removed \"PA : Maker\"\n"
              "set 21000/3: added \"PC : Maker\"\n");
}

TEST_F(DiffTest, TitleAndOtherClassCountsButNotTheStamps) {
    Write(text_, UDM_MODE_TEXT);
    const std::string changed = folder_.File("b.udm");
    Write(changed, UDM_MODE_TEXT, [] {
        udm_title_set_name("renamed");
        udm_entity_new(UDM_CLASS_NODE, 1, 0);
    });
    const std::vector<Difference> found = Differences(text_, changed);
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].kind, Kind::kTitle);
    EXPECT_EQ(found[0].name, "NAME");
    EXPECT_EQ(found[1].kind, Kind::kCount);
    EXPECT_EQ(found[1].name, "NODE");
    EXPECT_EQ(found[1].count_b, 1);
}

TEST_F(DiffTest, TroubleIsExitTwo) {
    Write(text_, UDM_MODE_TEXT);
    ProcessResult result = Udmconv({"diff", text_, folder_.File("absent.udb")});
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_NE(result.err.find("cannot open"), std::string::npos) << result.err;
    WriteBytes(folder_.File("broken.udm"), "TSET{21000 1 \"never closed\"\n");
    EXPECT_EQ(Udmconv({"diff", folder_.File("broken.udm"), text_}).exit_code, 2);
    EXPECT_EQ(Udmconv({"diff", text_}).exit_code, 2);
    EXPECT_EQ(Udmconv({"diff", text_, text_, "--rel-tol=-1"}).exit_code, 2);
    EXPECT_EQ(Udmconv({"diff", text_, text_, "--rel-tol=x"}).exit_code, 2);
}

TEST(ValuesAgree, ToleranceInfinitiesAndNan) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(ValuesAgree(nan, nan, 0));
    EXPECT_FALSE(ValuesAgree(nan, 1, 1));
    EXPECT_TRUE(ValuesAgree(inf, inf, 0));
    EXPECT_FALSE(ValuesAgree(inf, -inf, 1));
    EXPECT_FALSE(ValuesAgree(inf, 1e308, 1));
    EXPECT_TRUE(ValuesAgree(0.0, -0.0, 0));
    EXPECT_FALSE(ValuesAgree(1.0, std::nextafter(1.0, 2.0), 0));
    EXPECT_TRUE(ValuesAgree(1.0, std::nextafter(1.0, 2.0), 1e-15));
    EXPECT_TRUE(ValuesAgree(-100, -101, 0.01));
    EXPECT_FALSE(ValuesAgree(-100, -102, 0.01));
}

}  // namespace
}  // namespace tarnvel::inspect::testing
