// The ASCII-file-to-UDB pipeline over a test database whose build writes
// the real index file of the ASCII file, and whose export writes known
// keyword files.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "driver/pipeline_test_support.h"
#include "driver/rax_pipeline.h"
#include "matdb/md_index.h"
#include "services/syppaths.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;

std::string AsciiGrade(const std::string& supplier, const std::string& grade,
                       bool manufacturer = true) {
    return "Supplier " + supplier + "\nGrade " + grade + "\nHeader test grade\n" +
           (manufacturer ? "Manufacturer \"Maker of " + supplier + "\"\n" : "") +
           "Trade_Name \"Trade " + grade + "\"\nMelt_Density 950\n";
}

// One call of the personal database build as the test saw it.
struct BuildCall {
    std::string name;
    int length = 0;
    int messages = -1;
    std::string directory;
};

class AsciiPipelineTest : public PipelineFolderTest {
  protected:
    // The database: the build writes the index of the named file into the
    // working directory (and a marker file, as a database would).
    MaterialDatabase Access() {
        MaterialDatabase access = database_.Access();
        access.build_personal_database = [this](const char* name, int length, int messages,
                                                int& status) {
            builds_.push_back({name, length, messages, fs::current_path().string()});
            std::FILE* index = std::fopen(kMdIndexFile, "w");
            WriteText("mtdp.rax", "data");
            const bool built =
                index != nullptr && md_write_index_header(index) && MD4RAX(name, index, false) == 0;
            if (index != nullptr) std::fclose(index);
            if (!built) status = 0;
        };
        access.close_all = [this] { ++closes_; };
        return access;
    }

    bool Convert(const std::string& ascii, const char* vtpath = "/data/std") {
        MAsciiToUdb pipeline(Access(), "");
        return pipeline.Convert(ascii.c_str(), Out().c_str(), vtpath);
    }

    TestDatabase database_;
    std::vector<BuildCall> builds_;
    int closes_ = 0;
};

TEST_F(AsciiPipelineTest, EveryGradeOfTheFileBecomesOneSet) {
    database_.Add("ALDERPOL", "AP100");
    database_.Add("KESTREL", "KR7");
    WriteText(root_ / "run" / "grades.asc",
              AsciiGrade("ALDERPOL", "AP100") + AsciiGrade("KESTREL", "KR7"));
    ASSERT_TRUE(Convert("grades.asc"));
    const Output output = ReadOutput(Out());
    ASSERT_EQ(output.sets.size(), 2u);
    EXPECT_EQ(output.sets[0].grade, "AP100");
    EXPECT_EQ(output.sets[1].supplier, "KESTREL");
    // The build read the copy in the temporary directory, without messages.
    ASSERT_EQ(builds_.size(), 1u);
    EXPECT_EQ(builds_[0].name, "tarnvel.asc");
    EXPECT_EQ(builds_[0].length, 11);
    EXPECT_EQ(builds_[0].messages, 0);
    EXPECT_EQ(fs::path(builds_[0].directory).parent_path(), fs::canonical(root_ / "tmp"));
    // The exports ran in the new database's directory with the run's VTPATH.
    ASSERT_EQ(database_.calls.size(), 2u);
    EXPECT_EQ(database_.calls[0].directory, builds_[0].directory);
    EXPECT_EQ(database_.calls[0].vtpath, std::optional<std::string>("/data/std"));
    EXPECT_GE(closes_, 2);
    EXPECT_TRUE(TempDirectoryEmpty());
    EXPECT_EQ(fs::current_path(), root_ / "run");
    EXPECT_EQ(std::getenv(kVtPathVariable), nullptr);
}

TEST_F(AsciiPipelineTest, ADatabaseWithoutGradesGivesAnOutputWithoutSets) {
    WriteText(root_ / "run" / "empty.asc", "");
    ASSERT_TRUE(Convert("empty.asc"));
    const Output output = ReadOutput(Out());
    ASSERT_TRUE(output.read);
    EXPECT_TRUE(output.sets.empty());
    EXPECT_TRUE(TempDirectoryEmpty());
}

TEST_F(AsciiPipelineTest, AFailedIndexFailsTheRunAndLeavesNothing) {
    database_.Add("ALDERPOL", "AP100");
    WriteText(root_ / "run" / "grades.asc", AsciiGrade("ALDERPOL", "AP100", false));
    WriteText(Out(), "previous");
    setenv(kVtPathVariable, "/before", 1);
    EXPECT_FALSE(Convert("grades.asc"));
    EXPECT_TRUE(database_.calls.empty());
    EXPECT_EQ(ReadText(Out()), "previous");
    EXPECT_TRUE(TempDirectoryEmpty());
    EXPECT_EQ(fs::current_path(), root_ / "run");
    EXPECT_STREQ(std::getenv(kVtPathVariable), "/before");
}

TEST_F(AsciiPipelineTest, AnUnreadableInputFailsBeforeAnythingIsMade) {
    EXPECT_FALSE(Convert("missing.asc"));
    EXPECT_FALSE(MAsciiToUdb(Access(), "").Convert(nullptr, Out().c_str(), nullptr));
    EXPECT_TRUE(builds_.empty());
    EXPECT_TRUE(TempDirectoryEmpty());
    EXPECT_FALSE(fs::exists(Out()));
}

TEST_F(AsciiPipelineTest, AnIncompleteDatabaseIsAFailureNotAnEmptyResult) {
    WriteText(root_ / "run" / "grades.asc", AsciiGrade("ALDERPOL", "AP100"));
    MaterialDatabase access = database_.Access();
    MAsciiToUdb pipeline(access, "");
    EXPECT_FALSE(pipeline.Convert("grades.asc", Out().c_str(), nullptr));
    EXPECT_FALSE(fs::exists(Out()));
    EXPECT_TRUE(TempDirectoryEmpty());
}

}  // namespace
}  // namespace tarnvel::driver
