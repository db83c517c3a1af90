// udmconv show and list of the UDB files that tarnvel writes from the
// shipped examples: the JSON, read with a JSON parser, holds exactly what
// the library reads from the file, and every code the builder writes has
// a name and a unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>

#include "inspect/code_table.h"
#include "inspect_test_support.h"

namespace tarnvel::inspect::testing {
namespace {

using nlohmann::json;

// Whether a JSON value stands for exactly the double: the same number
// (sign of zero included), or the string of an infinity or NaN.
bool SameValue(const json& value, double expected) {
    if (value.is_string()) {
        const std::string text = value.get<std::string>();
        if (std::isnan(expected)) return text == "nan";
        return std::isinf(expected) && text == (expected > 0 ? "inf" : "-inf");
    }
    if (!value.is_number()) return false;
    const double got = value.get<double>();
    return got == expected && std::signbit(got) == std::signbit(expected);
}

std::string Text(const char* text) {
    return text != nullptr ? text : "";
}

// Compares the sets of the document with those of the current model, set
// by set and code by code; with named, every code must have a name and a
// unit.
void ExpectSetsOfCurrent(const json& sets, bool named) {
    std::size_t n = 0;
    for (void* payload = udm_entity_first(UDM_CLASS_TSET, 0); payload != nullptr; ++n) {
        const auto* tset = static_cast<const UdmTset*>(payload);
        const std::int32_t type = udm_entity_type(payload);
        const std::int32_t label = udm_entity_label(payload);
        ASSERT_LT(n, sets.size());
        const json& set = sets[n];
        EXPECT_EQ(set["type"], type);
        EXPECT_EQ(set["label"], label);
        EXPECT_EQ(set["description"], Text(udm_tset_description(tset)));
        std::size_t c = 0;
        for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next, ++c) {
            ASSERT_LT(c, set["codes"].size()) << label;
            const json& code = set["codes"][c];
            EXPECT_EQ(code["code"], tcod->code);
            EXPECT_EQ(code["description"], Text(tcod->description));
            ASSERT_EQ(code["values"].size(), static_cast<std::size_t>(tcod->count));
            for (std::int32_t v = 0; v < tcod->count; ++v) {
                EXPECT_TRUE(SameValue(code["values"][v], tcod->values[v]))
                    << "set " << label << " code " << tcod->code << " [" << v << "] "
                    << code["values"][v] << " vs " << tcod->values[v];
            }
            if (named) {
                EXPECT_TRUE(code["name"].is_string() && code["unit"].is_string()) << tcod->code;
            }
        }
        EXPECT_EQ(c, set["codes"].size());
        payload = udm_entity_next(UDM_CLASS_TSET, type, label);
    }
    EXPECT_EQ(n, sets.size());
}

void ExpectTitleGlobalsAndCounts(const json& doc) {
    const std::pair<const char*, int> slots[] = {{"NAME", UDM_TITLE_NAME},
                                                 {"VRSN", UDM_TITLE_VRSN},
                                                 {"KEYW", UDM_TITLE_KEYW},
                                                 {"DATE", UDM_TITLE_DATE},
                                                 {"TIME", UDM_TITLE_TIME}};
    for (const auto& [keyword, slot] : slots) {
        EXPECT_EQ(doc["title"][keyword], Text(udm_title_text(slot))) << keyword;
    }
    EXPECT_EQ(doc["title"]["UDMV"], "UDM V4");
    std::size_t globals = 0;
    for (const auto& [group, entries] : doc["globals"].items()) {
        for (const auto& [key, value] : entries.items()) {
            const char* stored = nullptr;
            ASSERT_EQ(udm_global_get(group.c_str(), key.c_str(), &stored), UDM_OK) << key;
            EXPECT_EQ(value, stored);
            ++globals;
        }
    }
    EXPECT_GE(globals, 2u);  // LUDM/Version and UDMW/TYPE at least
    EXPECT_EQ(doc["globals"]["UDMW"]["TYPE"], "21000");
    int classes = 0;
    for (int entity_class = 0; entity_class < UDM_CLASS_COUNT; ++entity_class) {
        classes += udm_class_count(entity_class) > 0 ? 1 : 0;
    }
    EXPECT_EQ(doc["counts"].size(), static_cast<std::size_t>(classes));
    EXPECT_EQ(doc["counts"]["TSET"], udm_class_count(UDM_CLASS_TSET));
}

struct Example {
    const char* option;
    const char* file;
    std::size_t sets;
};

class ShowOfExamples : public ::testing::TestWithParam<Example> {
  protected:
    void SetUp() override {
        const ProcessResult run = Tarnvel(folder_, GetParam().option, GetParam().file, udb_);
        ASSERT_EQ(run.exit_code, 0) << run.err << run.out;
    }
    Folder folder_;
    std::string udb_ = folder_.File("out.udb");
};

TEST_P(ShowOfExamples, JsonHoldsExactlyWhatTheLibraryReads) {
    const ProcessResult shown = Udmconv({"show", "--json", udb_});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_EQ(shown.err, "");
    const json doc = json::parse(shown.out);
    EXPECT_EQ(doc["encoding"], 8);
    Model model(udb_);
    ExpectTitleGlobalsAndCounts(doc);
    ASSERT_EQ(doc["sets"].size(), GetParam().sets);
    ExpectSetsOfCurrent(doc["sets"], true);

    // The standard input gives the same document.
    const ProcessResult piped =
        RunProcess("/bin/sh", {"-c", BuiltProgram("udmconv") + " show --json - < '" + udb_ + "'"});
    ASSERT_EQ(piped.exit_code, 0) << piped.err;
    EXPECT_EQ(piped.out, shown.out);
}

TEST_P(ShowOfExamples, SelectedSetsAndCodesOnly) {
    const ProcessResult shown =
        Udmconv({"show", udb_, "--json", "--set=21000/2", "--set", "21000/1", "--code", "11002",
                 "--code=1004", "--code=1992"});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    const json doc = json::parse(shown.out);
    ASSERT_EQ(doc["sets"].size(), 2u);
    EXPECT_EQ(doc["sets"][0]["label"], 1);  // in file order
    for (const json& set : doc["sets"]) {
        ASSERT_FALSE(set["codes"].empty());
        for (const json& code : set["codes"]) {
            const int number = code["code"];
            EXPECT_TRUE(number == 11002 || number == 1004 || number == 1992) << number;
        }
    }
    EXPECT_EQ(doc["sets"][0]["codes"].back()["unit"], "K");
    EXPECT_EQ(doc["sets"][0]["codes"].back()["name"], "melt temperature");

    const ProcessResult missing = Udmconv({"show", udb_, "--set", "21000/99"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.out, "");
    EXPECT_EQ(missing.err, "udmconv: no set 21000/99 in '" + udb_ + "'\n");
}

TEST_P(ShowOfExamples, TextFormsNameCodesAndListSets) {
    const ProcessResult shown = Udmconv({"show", udb_});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_NE(shown.out.find("encoding: 8 (packed)\n"), std::string::npos);
    EXPECT_NE(shown.out.find("  UDMW \"TYPE\" \"21000\"\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("  code 11002 melt temperature [K]: 503.15\n"), std::string::npos);

    const ProcessResult listed = Udmconv({"list", udb_});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_EQ(static_cast<std::size_t>(std::count(listed.out.begin(), listed.out.end(), '\n')),
              GetParam().sets);
    EXPECT_EQ(listed.out.substr(0, 13), "TSET 21000/1 ");
    const json doc = json::parse(Udmconv({"list", "--json", udb_}).out);
    ASSERT_EQ(doc["sets"].size(), GetParam().sets);
    Model model(udb_);
    void* first = nullptr;
    ASSERT_EQ(udm_entity_find(UDM_CLASS_TSET, 21000, 1, &first), UDM_OK);
    const auto* tset = static_cast<const UdmTset*>(first);
    int codes = 0;
    for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) ++codes;
    EXPECT_EQ(doc["sets"][0]["code_count"], codes);
    EXPECT_EQ(doc["sets"][0]["description"], Text(udm_tset_description(tset)));
}

INSTANTIATE_TEST_SUITE_P(Examples, ShowOfExamples,
                         ::testing::Values(Example{"-rax", "standard_grades.lst", 8},
                                           Example{"-asc", "moulding_grades.asc", 6}));

// A legacy property file keeps codes outside the table: they have no name
// or unit, and their values are there all the same.
TEST(ShowOfLegacyFile, CodesOutsideTheTableAreShownByNumber) {
    const std::string legacy = kSource + "/examples/legacy_grades.udm";
    const ProcessResult shown = Udmconv({"show", "--json", legacy});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    const json doc = json::parse(shown.out);
    EXPECT_EQ(doc["encoding"], 1);
    Model model(legacy);
    ExpectSetsOfCurrent(doc["sets"], false);
    bool unnamed = false;
    for (const json& code : doc["sets"][0]["codes"]) {
        const bool known = FindCode(code["code"].get<std::int32_t>()) != nullptr;
        EXPECT_EQ(code["name"].is_null(), !known);
        EXPECT_EQ(code["unit"].is_null(), !known);
        unnamed = unnamed || !known;
    }
    EXPECT_TRUE(unnamed);
    const ProcessResult text = Udmconv({"show", legacy, "--code", "1802"});
    EXPECT_NE(text.out.find("  code 1802: \""), std::string::npos) << text.out;
}

// Temperatures are in kelvin; the table is ordered, and every code the
// builder writes is in it.
TEST(CodeTable, CoversTheBuilderCodesWithUnits) {
    for (std::int32_t code :
         {1992, 1998, 1997, 1999, 1995, 1633, 1898, 1899, 1993, 1994, 11108, 11002, 1808,
          1800, 1801, 1504, 1804, 1806, 1310, 1313, 1325, 1360, 1553, 1554,  1550,  1328,
          1330, 1140, 1240, 1004, 1000, 1001, 1602, 1702, 4003, 3001, 1890,  1361}) {
        ASSERT_NE(FindCode(code), nullptr) << code;
        EXPECT_EQ(FindCode(code)->code, code);
    }
    for (std::int32_t code : {11108, 11002, 1808, 1800, 1801, 1504, 1553, 1554, 1550}) {
        EXPECT_STREQ(FindCode(code)->unit, "K") << code;
    }
    EXPECT_STREQ(FindCode(1804)->unit, "Pa");
    EXPECT_STREQ(FindCode(1313)->unit, "unit not certain");
    EXPECT_STREQ(FindCode(1993)->unit, "");
    EXPECT_EQ(FindCode(1802), nullptr);
    EXPECT_EQ(FindCode(0), nullptr);
    EXPECT_EQ(CodeTable().size(), 38u);
}

}  // namespace
}  // namespace tarnvel::inspect::testing
