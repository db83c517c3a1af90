// tarnvel -rax over generic links that fan out, cycle or name a damaged
// Standard grade: the conversion ends in bounded time, and a linked grade
// that cannot be read is reported once on the standard error stream while
// the grades that link to it convert with their own data.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "driver/pipeline_test_support.h"
#include "matdb/matdb.h"
#include "matdb/rax_test_support.h"
#include "support/process.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;
using tarnvel::testing::BuildPersonal;
using tarnvel::testing::BuildStandard;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::Grade;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::ReadBytes;
using tarnvel::testing::RunProcess;
using tarnvel::testing::Single;
using tarnvel::testing::Text;
using tarnvel::testing::WriteBytes;

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class RaxLinks : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "raxlinksXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
        vtOutSetSink(vtOutDiscard);
    }
    void TearDown() override {
        md_close_all();
        vtOutSetSink(nullptr);
        unsetenv("VTPATH");
        fs::remove_all(root_);
    }
    // Runs the conversion of db/grades.lst against the Standard database in
    // std, killed after a generous limit that the exponential walk of
    // earlier versions exceeded by far.
    ProcessResult Run(const std::string& grades) {
        WriteText(root_ / "db" / "grades.lst", Header() + grades);
        return RunProcess(
            BuiltProgram("tarnvel"),
            {"-rax", "db/grades.lst", "-udb", "out.udb", "-vtpath", (root_ / "std").string()},
            root_.string(), {{"tmp", (root_ / "tmp").string()}}, 60);
    }
    fs::path root_;
};

TEST_F(RaxLinks, LinksThatFanOutAndCycleConvertInBoundedTime) {
    // Ten Standard grades, each linking to all nine others.
    std::vector<MdGrade> standard;
    for (int k = 0; k < 10; ++k) {
        std::vector<MdProperty> items = {Single(3, 900.0f + static_cast<float>(k))};
        for (int j = 0; j < 10; ++j) {
            if (j != k) items.push_back(Text(17, "GEN G" + std::to_string(j)));
        }
        standard.push_back(Grade("GEN", "G" + std::to_string(k), "Fan-out", items));
    }
    BuildStandard((root_ / "std").string(), standard);
    BuildPersonal((root_ / "db").string(),
                  {Grade("ACME", "MINE", "Mine", {Text(17, "GEN G0"), Text(77, "Mine")})});
    const ProcessResult result = Run("ACME MINE\nGEN G4\n");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const Output output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 2u);
    EXPECT_EQ(output.sets[0].grade, "MINE");
    EXPECT_EQ(output.sets[1].grade, "G4");
}

TEST_F(RaxLinks, ADamagedLinkedGradeIsReportedOncePerRun) {
    BuildStandard((root_ / "std").string(),
                  {Grade("GEN", "BAD", "Damaged", {Single(3, 910.0f), Text(77, "Generic")}),
                   Grade("GEN", "OK", "Fine", {Single(3, 920.0f)})});
    // The damaged grade's primary chain starts far beyond the data file.
    std::string grades = ReadBytes((root_ / "std" / "mtgs.rax").string());
    const std::int32_t beyond = 100000;
    std::memcpy(grades.data() + 108 + 84, &beyond, 4);
    WriteBytes((root_ / "std" / "mtgs.rax").string(), grades);
    BuildPersonal((root_ / "db").string(),
                  {Grade("ACME", "ONE", "One", {Text(17, "GEN BAD"), Single(3, 950.0f)}),
                   Grade("ACME", "TWO", "Two", {Text(17, "GEN BAD"), Single(3, 960.0f)}),
                   Grade("ACME", "THREE", "Three", {Text(17, "GEN OK")})});
    const ProcessResult result = Run("ACME ONE\nACME TWO\nACME THREE\n");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(Count(result.err,
                    "Warning: generic link GEN BAD could not be read: the grade is damaged.\n"),
              1u)
        << result.err;
    const Output output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 3u);
    EXPECT_EQ(output.sets[0].grade, "ONE");
    EXPECT_EQ(output.sets[1].grade, "TWO");
    EXPECT_EQ(output.sets[2].grade, "THREE");
    // A sound link says nothing.
    const ProcessResult sound = Run("ACME THREE\n");
    ASSERT_EQ(sound.exit_code, 0) << sound.err;
    EXPECT_EQ(sound.err.find("Warning"), std::string::npos) << sound.err;
}

}  // namespace
}  // namespace tarnvel::driver
