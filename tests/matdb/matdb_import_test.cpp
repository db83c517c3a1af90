// matdb import as a process: the example file read into a new personal
// database, and what matdb show then reports.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "rax_test_support.h"
#include "services/sypenv.h"
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

// The header's magic word (offset 20) of a database file, native order.
std::int32_t MagicOf(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    char bytes[24] = {};
    in.read(bytes, sizeof bytes);
    std::int32_t magic = 0;
    std::memcpy(&magic, bytes + 20, sizeof magic);
    return in ? magic : -1;
}

TEST_F(MatdbImport, StandardImportMakesAReadOnlyStandardDatabase) {
    const std::string example = std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc";
    const std::string personal = (root_ / "personal").string();
    const std::string standard = (root_ / "standard").string();
    ASSERT_EQ(Matdb({"import", example, personal}).exit_code, 0);
    const auto imported = Matdb({"import", "--standard", example, standard});
    ASSERT_EQ(imported.exit_code, 0) << imported.err;

    // Only the three Standard files, each with the Standard magic word; the
    // personal files of the work folder are gone with it.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(standard)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"mtds.rax", "mtfs.rax", "mtgs.rax"}));
    for (const char* name : {"mtfs.rax", "mtgs.rax", "mtds.rax"}) {
        EXPECT_EQ(MagicOf(root_ / "standard" / name), 27856) << name;
    }
    EXPECT_EQ(MagicOf(root_ / "personal" / "mtdp.rax"), 133);

    // matdb opens it as Standard and reads the grades as the personal import did.
    const auto listed = Matdb({"list", standard});
    ASSERT_EQ(listed.exit_code, 0) << listed.err;
    EXPECT_NE(listed.out.find("ML210"), std::string::npos);
    const auto from_standard = Matdb({"show", standard, "MERRIDEW", "ML210", "--json"});
    const auto from_personal = Matdb({"show", personal, "MERRIDEW", "ML210", "--json"});
    ASSERT_EQ(from_standard.exit_code, 0) << from_standard.err;
    ASSERT_EQ(from_personal.exit_code, 0) << from_personal.err;
    const nlohmann::json standard_grade = nlohmann::json::parse(from_standard.out);
    const nlohmann::json personal_grade = nlohmann::json::parse(from_personal.out);
    EXPECT_EQ(standard_grade["items"], personal_grade["items"]);
    EXPECT_NEAR(Value(standard_grade, 3), 752.308, 1e-3);
    EXPECT_NE(Matdb({"show", standard, "MERRIDEW", "ML210"}).out.find("(Standard database)"),
              std::string::npos);

    // The database layer refuses to write it.
    tarnvel::testing::Capture capture;
    sypSetEnvironment("VTPATH", standard.c_str());
    md_close_all();
    EXPECT_EQ(md_open(MD_STANDARD, MD_WRITE), MD_OPENED_READ);
    EXPECT_NE(capture.Take().find("Cannot write to Standard Database.\n"), std::string::npos);
    md_close_all();
    sypUnsetEnvironment("VTPATH");

    // Importing again replaces the Standard files; a folder holding a
    // personal database is refused and left as it was.
    EXPECT_EQ(Matdb({"import", "--standard", example, standard}).exit_code, 0);
    const auto size = fs::file_size(root_ / "personal" / "mtdp.rax");
    const auto refused = Matdb({"import", "--standard", example, personal});
    EXPECT_EQ(refused.exit_code, 1);
    EXPECT_NE(refused.err.find("personal database"), std::string::npos);
    EXPECT_FALSE(fs::exists(root_ / "personal" / "mtds.rax"));
    EXPECT_EQ(fs::file_size(root_ / "personal" / "mtdp.rax"), size);
}

}  // namespace
