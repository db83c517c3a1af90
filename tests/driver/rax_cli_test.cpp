// tarnvel -rax as a real process over Local databases that the tests build
// from tessel ASCII text: the grade list rules, the progress numbering and
// the database version as the converted sets show them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/pipeline_test_support.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "services/vtout.h"
#include "support/process.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

// A grade whose viscosity index the export writes as it is stored, so that
// the set shows whether the builder kept it or computed its own (from the
// Cross-WLF model at the PP class temperature, 230; coefficients chosen so
// that the computed viscosity fits the index's integer).
std::string AsciiGrade(const std::string& supplier, const std::string& code) {
    return "Supplier " + supplier + "\nGrade " + code +
           "\nManufacturer \"Maker\"\nTrade_Name \"Trade " + code +
           "\"\nMaterial_Family \"PP\"\nMelt__Temperature_Suggested 230\n"
           "Cross-WLF_Viscosity_Coefficients 1e+12 100 0 20 51.6 25000 0.28\n"
           "Default_Viscosity_Model \"Cross-WLF\"\nViscosity_Index \"KEPT\"\n";
}

class RaxCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "raxcliXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
    }
    void TearDown() override { fs::remove_all(root_); }

    // Builds the Local database of root/folder from the ASCII text.
    void BuildDatabase(const std::string& folder, const std::string& ascii) {
        fs::create_directories(root_ / folder);
        WriteText(root_ / folder / "grades.asc", ascii);
        const fs::path start = fs::current_path();
        fs::current_path(root_ / folder);
        vtOutSetSink(vtOutDiscard);
        md_close_all();
        ASSERT_NE(md_open(MD_LOCAL, MD_CREATE), 0);
        const MdAsciiResult read = md_read_ascii_file("grades.asc");
        md_close_all();
        vtOutSetSink(nullptr);
        fs::current_path(start);
        ASSERT_TRUE(read.opened);
    }
    ProcessResult Run(const std::string& list) {
        return RunProcess(BuiltProgram("tarnvel"), {"-rax", list, "-udb", "out.udb"},
                          root_.string(), {{"tmp", (root_ / "tmp").string()}});
    }
    bool TempEmpty() const { return fs::is_empty(root_ / "tmp"); }

    fs::path root_;
};

TEST_F(RaxCli, TheListRulesDecideWhichGradesAreConverted) {
    BuildDatabase("db",
                  AsciiGrade("ACME", "G1") + AsciiGrade("ACME", "G2") + AsciiGrade("ACME", "G3"));
    // Only the 9 header lines: an output without sets.
    WriteText(root_ / "db" / "header.lst", Header());
    ProcessResult result = Run("db/header.lst");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    Output output = ReadOutput(root_ / "out.udb");
    EXPECT_TRUE(output.read);
    EXPECT_TRUE(output.sets.empty());
    EXPECT_EQ(output.type, "21000");

    // Lines written with CR LF: a blank line in the middle ends the list;
    // a third word is ignored.
    WriteText(root_ / "db" / "crlf.lst",
              Header() + "ACME|G1|100\r\nACME G2 extra words\r\n\r\nACME|G3\r\n");
    result = Run("db/crlf.lst");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 2u);
    EXPECT_EQ(output.sets[0].grade, "G1");
    EXPECT_EQ(output.sets[1].grade, "G2");
    EXPECT_EQ(result.out.find("G3"), std::string::npos);

    // A grade the database does not hold is skipped, and the numbers still
    // count list lines.
    WriteText(root_ / "db" / "skip.lst", Header() + "ACME G1\nACME NOPE\nACME G3\n");
    result = Run("db/skip.lst");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("1 of 3, ACME G1\n3 of 3, ACME G3\n"), std::string::npos)
        << result.out;
    EXPECT_EQ(result.out.find("2 of 3"), std::string::npos);
    output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 2u);
    EXPECT_EQ(output.sets[1].label, 2);
    EXPECT_TRUE(TempEmpty());
}

TEST_F(RaxCli, TheDatabaseVersionDecidesWhetherTheViscosityIndexIsKept) {
    // Without a "$" supplier the version is UNKNOWN, which holds no "50":
    // the builder computes the index from the Cross-WLF model.
    BuildDatabase("plain", AsciiGrade("ACME", "G1"));
    WriteText(root_ / "plain" / "grades.lst", Header() + "ACME G1\n");
    ProcessResult result = Run("plain/grades.lst");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    Output output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 1u);
    EXPECT_TRUE(output.sets[0].viscosity_index.starts_with("VI(230)"))
        << output.sets[0].viscosity_index;

    // A "$R50" supplier names the version R50: the exported index stays.
    BuildDatabase("versioned", "Supplier $R50\nGrade V\n" + AsciiGrade("ACME", "G1"));
    WriteText(root_ / "versioned" / "grades.lst", Header() + "ACME G1\n");
    result = Run("versioned/grades.lst");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 1u);
    EXPECT_EQ(output.sets[0].viscosity_index, "KEPT");
    EXPECT_TRUE(TempEmpty());
}

}  // namespace
}  // namespace tarnvel::driver
