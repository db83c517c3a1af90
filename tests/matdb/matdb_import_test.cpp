// matdb import as a process: the example file read into a new personal
// database, and what matdb show then reports.
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include <gtest/gtest.h>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::RunProcess;

class MatdbImport : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "matdb-import-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    tarnvel::testing::ProcessResult Matdb(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("matdb"), args, "", {{"VTPATH", ""}});
    }
    // The value of a single-point or the first value of an item.
    static double Value(const nlohmann::json& grade, int property) {
        for (const auto& item : grade["items"]) {
            if (item["property"] == property) return item["values"][0].get<double>();
        }
        ADD_FAILURE() << "no item of property " << property;
        return 0;
    }
    fs::path root_;
};

TEST_F(MatdbImport, TheExampleFileGivesItsValuesInBaseUnits) {
    const std::string example = std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc";
    const std::string folder = (root_ / "db").string();
    const auto imported = Matdb({"import", example, folder});
    ASSERT_EQ(imported.exit_code, 0) << imported.err;
    EXPECT_NE(imported.out.find("6 grade(s) read from"), std::string::npos);
    const auto shown = Matdb({"show", folder, "MERRIDEW", "ML210", "--json"});
    ASSERT_EQ(shown.exit_code, 0) << shown.err;
    const nlohmann::json grade = nlohmann::json::parse(shown.out);
    EXPECT_NEAR(Value(grade, 1), 0.17, 1e-6);
    EXPECT_NEAR(Value(grade, 3), 752.308, 1e-3);
    // "0.25 MPa" is stored in pascal.
    EXPECT_NEAR(Value(grade, 50), 250000.0, 1.0);
    // A second import merges into the same database.
    EXPECT_EQ(Matdb({"import", example, folder}).exit_code, 0);
}

TEST_F(MatdbImport, FailuresExitWithOne) {
    EXPECT_EQ(
        Matdb({"import", (root_ / "missing.asc").string(), (root_ / "db").string()}).exit_code, 1);
    std::ofstream(root_ / "empty.asc") << "";
    const auto empty = Matdb({"import", (root_ / "empty.asc").string(), (root_ / "db").string()});
    EXPECT_EQ(empty.exit_code, 1);
    EXPECT_NE(empty.out.find("0 grade(s) read"), std::string::npos);
    EXPECT_EQ(Matdb({"import", "only-one-word"}).exit_code, 2);
}

}  // namespace
