// Nothing lost in silence on the database road: grades the pipeline skips
// are named with their reason, a failed export never converts the previous
// grade's lines again, the ASCII build names the grades it merges and the
// empty headers that swallow a keyword line, and a relative temporary
// directory leaves nothing behind.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver/pipeline_test_support.h"
#include "driver/rax_pipeline.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "matdb/md_personal.h"
#include "support/process.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

const std::string kSource = TARNVEL_SOURCE_DIR;

// One grade as the index builder wants it: a Supplier line before each.
std::string AsciiGrade(const std::string& supplier, const std::string& grade,
                       const std::string& density) {
    return "Supplier " + supplier + "\nGrade " + grade +
           "\nManufacturer \"M\"\nTrade_Name \"T\"\nMelt_Density " + density + "\n";
}

// Builds the Local database and its index from the ASCII text in directory.
bool BuildDatabase(const fs::path& directory, const std::string& text) {
    WriteText(directory / "grades.asc", text);
    const fs::path start = fs::current_path();
    fs::current_path(directory);
    int status = 1;
    md_build_personal_database("grades.asc", 10, 0, status,
                               [](const char* path) { return md_read_ascii_file(path); });
    md_close_all();
    fs::current_path(start);
    return status == 1;
}

class ProgressPipeline : public MRaxToUdb {
  public:
    explicit ProgressPipeline(MaterialDatabase database) : MRaxToUdb(std::move(database), "") {}
    void PrintProgress(int index, int total, const char* supplier, const char* grade) override {
        progress.push_back(std::to_string(index) + " of " + std::to_string(total) + ", " +
                           supplier + " " + grade);
    }
    std::vector<std::string> progress;
};

using RealDatabasePipeline = PipelineFolderTest;

TEST_F(RealDatabasePipeline, AGradeNotFoundIsNamedAndThePreviousLinesNotConvertedAgain) {
    ASSERT_TRUE(BuildDatabase(root_ / "db",
                              AsciiGrade("SUPA", "A1", "950") + AsciiGrade("SUPA", "A2", "800")));
    WriteText(root_ / "db" / "list.lst", Header() + "SUPA A1\nSUPA NOPE\nSUPA A2\nSUPB A1\n");
    fs::create_directories(root_ / "std");
    // Through the keyword file (where the failed export leaves the previous
    // grade's lines) and through the export text in memory.
    for (const bool through_file : {true, false}) {
        MaterialDatabase database = BuiltInMaterialDatabase();
        if (through_file) database.export_text = nullptr;
        ProgressPipeline pipeline(std::move(database));
        ::testing::internal::CaptureStderr();
        ASSERT_TRUE(pipeline.Convert((root_ / "db" / "list.lst").c_str(), Out().c_str(),
                                     (root_ / "std").c_str()));
        const std::string errors = ::testing::internal::GetCapturedStderr();
        md_close_all();
        EXPECT_EQ(errors,
                  "tarnvel: grade SUPA NOPE skipped: not found on any open database\n"
                  "tarnvel: grade SUPB A1 skipped: not found on any open database\n")
            << through_file;
        EXPECT_EQ(pipeline.progress,
                  (std::vector<std::string>{"1 of 4, SUPA A1", "3 of 4, SUPA A2"}));
        const Output output = ReadOutput(Out());
        ASSERT_EQ(output.sets.size(), 2u) << through_file;
        EXPECT_EQ(output.sets[0].grade, "A1");
        EXPECT_EQ(output.sets[1].grade, "A2");
        EXPECT_TRUE(TempDirectoryEmpty());
    }
}

// tarnvel run as a process in a private folder; the temporary directory is
// "tmp" unless the test names another.
class IntegrityCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "integritycliXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "db");
    }
    void TearDown() override { fs::remove_all(root_); }

    ProcessResult Run(const std::vector<std::string>& args,
                      std::vector<std::pair<std::string, std::string>> env = {}) {
        env.insert(env.begin(), {"tmp", (root_ / "tmp").string()});
        return RunProcess(BuiltProgram("tarnvel"), args, root_.string(), env);
    }

    fs::path root_;
};

TEST_F(IntegrityCli, AGradeLostToAnEmptyHeaderIsWarnedAndNamed) {
    WriteText(root_ / "grades.asc",
              "Supplier SUPA\nGrade A1\nManufacturer \"M\"\nTrade_Name \"T\"\nHeader\n" +
                  AsciiGrade("SUPB", "B1", "950"));
    const ProcessResult result = Run({"-asc", "grades.asc", "-udb", "out.udb"});
    // The design's success stands; the user is told what happened and why.
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("1 of 2, SUPA A1\n"), std::string::npos) << result.out;
    EXPECT_NE(result.err.find("Warning at line 6: the empty HEADER of line 5 takes this line, "
                              "which begins with the keyword SUPPLIER"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("tarnvel: grade SUPB B1 skipped: not found on any open database\n"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(ReadOutput(root_ / "out.udb").sets.size(), 1u);
    EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
}

TEST_F(IntegrityCli, GradesMergedByTheBuildAreNamed) {
    WriteText(root_ / "grades.asc",
              AsciiGrade("SUPA", "LONGCODE1", "950") + AsciiGrade("SUPA", "LONGCODE2", "800") +
                  AsciiGrade("SUPA", "B1", "900") + AsciiGrade("SUPA", "B1", "900"));
    const ProcessResult result = Run({"-asc", "grades.asc", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.err.find("Warning at line 7: grade SUPA LONGCODE2 is merged into grade SUPA "
                              "LONGCODE1 of line 2 (supplier names are cut to 8 characters and "
                              "grade codes to 6).\n"),
              std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("Warning at line 17: grade SUPA B1 is merged into grade SUPA B1 of "
                              "line 12 (the same grade is given twice).\n"),
              std::string::npos)
        << result.err;
}

TEST_F(IntegrityCli, ARelativeTemporaryDirectoryKeepsNothingOfEitherRoad) {
    ASSERT_TRUE(BuildDatabase(root_ / "db", AsciiGrade("SUPA", "A1", "950")));
    fs::create_directories(root_ / "reltmp");
    // A copy in the test's folder: the source tree's path could hold the
    // text of an option.
    fs::copy_file(kSource + "/examples/moulding_grades.asc", root_ / "moulding.asc");
    for (const char* variable : {"tmp", "temp", "TMPDIR"}) {
        // The variables tried before this one are empty, so this one decides.
        const std::vector<std::pair<std::string, std::string>> env{
            {"tmp", ""}, {"temp", ""}, {"TMPDIR", ""}, {variable, "reltmp"}};
        const ProcessResult rax = Run({"-rax", "db/mtip.rax", "-udb", "rax.udb"}, env);
        EXPECT_EQ(rax.exit_code, 0) << rax.err;
        EXPECT_NE(rax.out.find("1 of 1, SUPA A1\n"), std::string::npos) << rax.out;
        EXPECT_TRUE(fs::is_empty(root_ / "reltmp")) << variable << " -rax";
        const ProcessResult asc = Run({"-asc", "moulding.asc", "-udb", "asc.udb"}, env);
        EXPECT_EQ(asc.exit_code, 0) << asc.err;
        EXPECT_NE(asc.out.find("6 of 6,"), std::string::npos) << asc.out;
        EXPECT_TRUE(fs::is_empty(root_ / "reltmp")) << variable << " -asc";
        EXPECT_TRUE(fs::is_empty(root_ / "tmp")) << variable;
    }
}

}  // namespace
}  // namespace tarnvel::driver
