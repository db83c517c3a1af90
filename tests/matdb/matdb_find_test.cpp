// matdb find over the built Standard database, checked condition by
// condition against what matdb list --json and matdb show --json print:
// names and numbers of properties, values in the units show prints, exit
// statuses like grep's.
#include <algorithm>
#include <cctype>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

const std::string kStandard = std::string(TARNVEL_PRODUCT_DIR) + "/data/dat";

using Key = std::pair<std::string, std::string>;
using Keys = std::set<Key>;

ProcessResult Matdb(std::vector<std::string> args) {
    return RunProcess(BuiltProgram("matdb"), args, "", {{"VTPATH", ""}});
}

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Every grade of the database as show --json prints it, by its names.
class MatdbFind : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const ProcessResult listed = Matdb({"list", "--json", kStandard});
        ASSERT_EQ(listed.exit_code, 0) << listed.err;
        const json list = json::parse(listed.out);
        for (const json& supplier : list["suppliers"]) {
            for (const json& grade : supplier["grades"]) {
                const std::string name = supplier["name"], code = grade["code"];
                const ProcessResult shown = Matdb({"show", "--json", kStandard, name, code});
                ASSERT_EQ(shown.exit_code, 0) << shown.err;
                grades_[Key(name, code)] = json::parse(shown.out);
            }
        }
    }
    // The grades the show output says meet a condition.
    static Keys Expected(const std::function<bool(const json&)>& meets) {
        Keys keys;
        for (const auto& [key, grade] : grades_)
            if (meets(grade)) keys.insert(key);
        return keys;
    }
    // The grades find names, after checking its exit status.
    static Keys Found(std::vector<std::string> conditions) {
        std::vector<std::string> args = {"find", kStandard, "--json"};
        args.insert(args.end(), conditions.begin(), conditions.end());
        const ProcessResult found = Matdb(args);
        const json out = json::parse(found.out);
        EXPECT_EQ(found.exit_code, out["grades"].empty() ? 1 : 0) << found.err;
        EXPECT_EQ(out["count"], out["grades"].size());
        Keys keys;
        for (const json& grade : out["grades"])
            keys.insert(
                Key(grade["supplier"].get<std::string>(), grade["code"].get<std::string>()));
        return keys;
    }
    // Whether any value with a unit of the property meets the test.
    static bool AnyValue(const json& grade, int property, const std::function<bool(float)>& test) {
        for (const json& item : grade["items"]) {
            if (item["property"] != property || item["unit"].is_null()) continue;
            const std::size_t step = item["variables"].size() + 1;
            for (std::size_t i = step - 1; i < item["values"].size(); i += step)
                if (test(static_cast<float>(item["values"][i].get<double>()))) return true;
        }
        return false;
    }
    static bool Has(const json& grade, int property) {
        for (const json& item : grade["items"])
            if (item["property"] == property) return true;
        return false;
    }
    static std::string Text(const json& grade, int property) {
        for (const json& item : grade["items"])
            if (item["property"] == property && item["text"].is_string()) return item["text"];
        return "";
    }
    static std::map<Key, json> grades_;
};
std::map<Key, json> MatdbFind::grades_;

TEST_F(MatdbFind, SupplierFamilyAndTextMatchWhatShowPrints) {
    ASSERT_GT(grades_.size(), 30u);
    const Keys bracken = Expected([](const json& g) { return g["supplier"] == "BRACKEN"; });
    ASSERT_FALSE(bracken.empty());
    EXPECT_EQ(Found({"--supplier", "bracken"}), bracken);

    const Keys pp = Expected([](const json& g) { return Upper(Text(g, 58)) == "PP"; });
    ASSERT_GT(pp.size(), 1u);
    EXPECT_EQ(Found({"--family", "pp"}), pp);

    // A word in the description or in any text, in any case.
    const Keys glass = Expected([](const json& g) {
        bool in_text =
            Upper(g["description"].get<std::string>()).find("GLASS") != std::string::npos;
        for (const json& item : g["items"])
            if (item["text"].is_string() && Upper(item["text"]).find("GLASS") != std::string::npos)
                in_text = true;
        return in_text;
    });
    ASSERT_FALSE(glass.empty());
    EXPECT_EQ(Found({"--text", "Glass"}), glass);
}

TEST_F(MatdbFind, PropertiesGoByNumberOrByNameInAnyForm) {
    const Keys pvt = Expected([](const json& g) { return Has(g, 12); });
    ASSERT_FALSE(pvt.empty());
    ASSERT_LT(pvt.size(), grades_.size());
    for (const char* name :
         {"12", "PVT Specific Volume", "pvt_specific_volume", " PVT  SPECIFIC _VOLUME"})
        EXPECT_EQ(Found({"--has", name}), pvt) << name;

    const Keys hot = Expected(
        [](const json& g) { return AnyValue(g, 45, [](float v) { return v >= 260.0f; }); });
    ASSERT_FALSE(hot.empty());
    for (const char* condition :
         {"45 >= 260", "Melt Temperature Suggested>=260", "melt__temperature_suggested >= 260"})
        EXPECT_EQ(Found({"--where", condition}), hot) << condition;
}

TEST_F(MatdbFind, EveryOperatorComparesInTheUnitsShowPrints) {
    // 0.25 MPa in the file, 250000 Pa as show prints it.
    const Keys stress = Expected(
        [](const json& g) { return AnyValue(g, 50, [](float v) { return v == 250000.0f; }); });
    ASSERT_FALSE(stress.empty());
    EXPECT_EQ(Found({"--where", "Maximum Shear Stress = 250000"}), stress);
    EXPECT_TRUE(Found({"--where", "Maximum Shear Stress = 0.25"}).empty());

    // A value copied from show matches exactly, and each operator agrees
    // with the same comparison on the printed numbers.
    const std::vector<std::pair<std::string, std::function<bool(float, float)>>> operators = {
        {"<", std::less<float>()},     {"<=", std::less_equal<float>()},
        {"=", std::equal_to<float>()}, {">=", std::greater_equal<float>()},
        {">", std::greater<float>()},  {"!=", std::not_equal_to<float>()},
    };
    for (const auto& [op, compare] : operators) {
        const float limit = 0.17f;
        const Keys expected = Expected([&, &compare = compare](const json& g) {
            return AnyValue(g, 1, [&](float v) { return compare(v, limit); });
        });
        EXPECT_EQ(Found({"--where", "conductivity " + op + " 0.17"}), expected) << op;
    }
    // Standard points: the property column of any row (viscosity in Pa.s).
    const Keys thick =
        Expected([](const json& g) { return AnyValue(g, 6, [](float v) { return v > 1000.0f; }); });
    ASSERT_FALSE(thick.empty());
    EXPECT_EQ(Found({"--where", "Viscosity > 1000"}), thick);
}

TEST_F(MatdbFind, ConditionsCombineAndStatusesAreGrepLike) {
    const Keys both = Expected([](const json& g) {
        return Upper(Text(g, 58)) == "PP" && AnyValue(g, 3, [](float v) { return v < 800.0f; }) &&
               Has(g, 89);
    });
    EXPECT_EQ(Found({"--family", "PP", "--where", "melt density < 800", "--has",
                     "Modified Tait PVT Coefficients"}),
              both);

    const ProcessResult none = Matdb({"find", kStandard, "--supplier", "NOBODY"});
    EXPECT_EQ(none.exit_code, 1);
    EXPECT_TRUE(none.out.empty());
    // Nothing matched is no trouble: the layer's messages stay off.
    EXPECT_TRUE(none.err.empty()) << none.err;
    const ProcessResult text = Matdb({"find", kStandard, "--supplier", "bracken"});
    EXPECT_EQ(text.exit_code, 0);
    EXPECT_NE(text.out.find("BRACKEN    BA6G3  BRACKAMID BA6G3 30% GLASS"), std::string::npos)
        << text.out;

    for (const auto& [where, why] : std::vector<std::pair<std::string, std::string>>{
             {"melt dens > 1", "no property named \"melt dens\""},
             {"melt density > heavy", "\"heavy\" is not a number"},
             {"melt density", "no operator"},
             {"melt density >", "\"\" is not a number"}}) {
        const ProcessResult bad = Matdb({"find", kStandard, "--where", where});
        EXPECT_EQ(bad.exit_code, 2) << where;
        EXPECT_NE(bad.err.find("--where '" + where + "': " + why), std::string::npos) << bad.err;
    }
    EXPECT_EQ(Matdb({"find", kStandard, "--has", "Colour"}).exit_code, 2);
    EXPECT_EQ(Matdb({"find", kStandard, "--where"}).exit_code, 2);
    EXPECT_EQ(Matdb({"find"}).exit_code, 2);
}

TEST_F(MatdbFind, ADamagedOrMissingDatabaseIsTroubleNamingTheFolder) {
    std::string pattern = (fs::temp_directory_path() / "matdb-find-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    const fs::path folder = pattern;
    for (const char* name : {"mtfs.rax", "mtgs.rax", "mtds.rax"})
        fs::copy_file(fs::path(kStandard) / name, folder / name);
    fs::resize_file(folder / "mtds.rax", fs::file_size(folder / "mtds.rax") / 2);
    const ProcessResult damaged = Matdb({"find", folder.string(), "--has", "3"});
    EXPECT_EQ(damaged.exit_code, 2);
    EXPECT_NE(damaged.err.find(folder.string() + ": the database is damaged"), std::string::npos)
        << damaged.err;
    const ProcessResult missing = Matdb({"find", (folder / "none").string()});
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_NE(missing.err.find((folder / "none").string()), std::string::npos);
    fs::remove_all(folder);
}

}  // namespace
