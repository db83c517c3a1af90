// matdb show for people, over the built Standard database: every value
// with its unit, variables by name, standard points as a table, and JSON
// numbers in the shortest form that reads back to the stored float.
#include <charconv>
#include <cstdlib>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "services/vtout.h"
#include "support/process.h"

namespace {

using nlohmann::json;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

const std::string kStandard = std::string(TARNVEL_PRODUCT_DIR) + "/data/dat";

ProcessResult Matdb(const std::vector<std::string>& args) {
    return RunProcess(BuiltProgram("matdb"), args, "", {{"VTPATH", ""}});
}

const json* Item(const json& grade, int property) {
    for (const json& item : grade["items"])
        if (item["property"] == property) return &item;
    return nullptr;
}

TEST(MatdbShowUnits, JsonGivesUnitsVariableNamesAndShortNumbers) {
    const ProcessResult shown = Matdb({"show", "--json", kStandard, "ALDERPOL", "AP120"});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    // The float 0.17 prints as 0.17, not as its double expansion.
    EXPECT_EQ(shown.out.find("0.17000000"), std::string::npos);
    const json grade = json::parse(shown.out);

    const json* conductivity = Item(grade, 1);
    ASSERT_NE(conductivity, nullptr);
    EXPECT_EQ((*conductivity)["values"].dump(), "[0.17]");
    EXPECT_EQ((*conductivity)["unit"], "W/m/degC");
    ASSERT_NE(Item(grade, 50), nullptr);
    EXPECT_EQ((*Item(grade, 50))["unit"], "Pa");
    EXPECT_EQ((*Item(grade, 4))["unit"], "deg.C");

    const json* viscosity = Item(grade, 6);
    ASSERT_NE(viscosity, nullptr);
    EXPECT_EQ((*viscosity)["variables"], json::parse("[1, 6]"));
    EXPECT_EQ((*viscosity)["variable_names"], json::parse(R"(["Temperature", "Shear Rate"])"));
    EXPECT_EQ((*viscosity)["variable_units"], json::parse(R"(["deg.C", "1/s"])"));
    EXPECT_EQ((*viscosity)["unit"], "Pa.s");
    // Coefficients and texts carry no unit.
    EXPECT_TRUE((*Item(grade, 83))["unit"].is_null());
    EXPECT_TRUE((*Item(grade, 58))["unit"].is_null());
}

// Every number of every item of every grade shown reads back to the float
// the database holds, and no shorter decimal would.
TEST(MatdbShowUnits, EveryJsonNumberReadsBackToTheStoredFloat) {
    vtOutSetSink(vtOutDiscard);
    ASSERT_EQ(setenv("VTPATH", kStandard.c_str(), 1), 0);
    md_close_all();
    ASSERT_EQ(md_open(MD_STANDARD, MD_READ), MD_OPENED_READ);
    int compared = 0;
    for (const auto& [supplier, code] : {std::pair{"ALDERPOL", "AP120"},
                                         {"KESTREL", "KR450"},
                                         {"BRACKEN", "BA6G3"},
                                         {"QUILLMER", "QC15"}}) {
        const std::unique_ptr<MdGrade> stored = md_read_by_name(MD_STANDARD, supplier, code);
        ASSERT_NE(stored, nullptr) << code;
        const ProcessResult shown = Matdb({"show", "--json", kStandard, supplier, code});
        ASSERT_EQ(shown.exit_code, 0) << shown.err;
        const json grade = json::parse(shown.out);
        ASSERT_EQ(grade["items"].size(), stored->items.size()) << code;
        for (std::size_t i = 0; i < stored->items.size(); ++i) {
            const MdProperty& item = stored->items[i];
            const json& values = grade["items"][i]["values"];
            ASSERT_EQ(values.size(), item.values.size()) << code << " " << item.property;
            const bool integers = item.property == 59 && item.format == MD_COEFFICIENTS;
            for (std::size_t v = integers ? 2 : 0; v < item.values.size(); ++v) {
                const float back = static_cast<float>(values[v].get<double>());
                EXPECT_EQ(back, item.values[v].real()) << code << " " << item.property;
                // Shortest: the number is the decimal that the float's shortest
                // text gives, not a longer expansion of the float.
                char text[32];
                const auto written = std::to_chars(text, text + sizeof text, back);
                EXPECT_EQ(values[v].get<double>(),
                          std::strtod(std::string(text, written.ptr).c_str(), nullptr))
                    << code << " " << item.property;
                ++compared;
            }
        }
    }
    md_close_all();
    unsetenv("VTPATH");
    vtOutSetSink(nullptr);
    EXPECT_GT(compared, 100);
}

TEST(MatdbShowUnits, TextShowsUnitsAndStandardPointsAsATable) {
    const ProcessResult shown = Matdb({"show", kStandard, "ALDERPOL", "AP120"});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    EXPECT_NE(shown.out.find("  1 Conductivity                                  0.17 W/m/degC\n"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find(" 50 Maximum Shear Stress                          250000 Pa\n"),
              std::string::npos);
    EXPECT_NE(shown.out.find("standard points, 9 rows\n"
                             "      Temperature [deg.C]  Shear Rate [1/s]  Viscosity [Pa.s]\n"
                             "                      200               100           366.491\n"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("coefficients: 5.20453e+12 263.15 0 27 51.6 25000 0.28\n"),
              std::string::npos);
    EXPECT_NE(shown.out.find(" 58 Material Family                               text \"PP\"\n"),
              std::string::npos);
}

}  // namespace
