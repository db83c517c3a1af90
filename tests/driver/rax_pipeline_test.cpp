// The database-to-UDB pipeline over a test database: the export writes
// known keyword files, so the grade list rules, the run's state handling
// and the output can be checked without database files.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "driver/pipeline_test_support.h"
#include "driver/rax_pipeline.h"
#include "services/syppaths.h"
#include "udm/udm.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;

// Keeps the progress lines instead of printing them, and each keyword file
// as the reader got it.
class RecordingPipeline : public MRaxToUdb {
  public:
    explicit RecordingPipeline(TestDatabase& database) : MRaxToUdb(database.Access(), "") {}
    void PrintProgress(int index, int total, const char* supplier, const char* grade) override {
        progress.push_back(std::to_string(index) + " of " + std::to_string(total) + ", " +
                           supplier + " " + grade);
    }
    std::vector<std::string> progress;
};

class RaxPipelineTest : public PipelineFolderTest {
  protected:
    bool Convert(const std::string& list, const std::string& lines,
                 const char* vtpath = "/data/standard") {
        WriteText(root_ / "db" / "grades.lst", Header() + lines);
        return pipeline_.Convert(list.c_str(), Out().c_str(), vtpath);
    }
    fs::path List() const { return root_ / "db" / "grades.lst"; }

    TestDatabase database_;
    RecordingPipeline pipeline_{database_};
};

TEST_F(RaxPipelineTest, AListOfOnlyTheHeaderGivesAnOutputWithoutSets) {
    ASSERT_TRUE(Convert(List(), ""));
    const Output output = ReadOutput(Out());
    ASSERT_TRUE(output.read);
    EXPECT_EQ(output.type, "21000");
    EXPECT_TRUE(output.sets.empty());
    EXPECT_TRUE(database_.calls.empty());
    EXPECT_EQ(pipeline_.GradeCount(), 0);
}

TEST_F(RaxPipelineTest, EveryListedGradeBecomesOneSetInListOrder) {
    database_.Add("ALDERPOL", "AP100");
    database_.Add("ALDERPOL", "AP200");
    database_.Add("KESTREL", "KR7");
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\r\n|ALDERPOL|AP200|extra|\nKESTREL\tKR7 x y\n"));
    const Output output = ReadOutput(Out());
    ASSERT_EQ(output.sets.size(), 3u);
    EXPECT_EQ(output.sets[0].label, 1);
    EXPECT_EQ(output.sets[0].grade, "AP100");
    EXPECT_EQ(output.sets[1].label, 2);
    EXPECT_EQ(output.sets[1].grade, "AP200");
    EXPECT_EQ(output.sets[2].label, 3);
    EXPECT_EQ(output.sets[2].supplier, "KESTREL");
    EXPECT_EQ(output.sets[2].grade, "KR7");
    EXPECT_EQ(pipeline_.progress,
              (std::vector<std::string>{"1 of 3, ALDERPOL AP100", "2 of 3, ALDERPOL AP200",
                                        "3 of 3, KESTREL KR7"}));
    ASSERT_EQ(database_.calls.size(), 3u);
    EXPECT_EQ(database_.calls[1].arguments[0], "-supplier");
    EXPECT_EQ(database_.calls[1].arguments[2], "-grade");
    EXPECT_EQ(database_.calls[1].arguments[4], "-output");
}

TEST_F(RaxPipelineTest, AFailedExportSkipsTheGradeButKeepsItsNumber) {
    database_.Add("ALDERPOL", "AP100");
    database_.Add("KESTREL", "KR7");
    database_.Add("KESTREL", "KR8");
    database_.failing.insert("KESTREL KR8");
    testing::internal::CaptureStderr();
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\nNOSUCH GRADE\nKESTREL KR8\nKESTREL KR7\n"));
    // Every skipped grade is named with its reason, without any diagnostic
    // option; the run still succeeds.
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "tarnvel: grade NOSUCH GRADE skipped: not found on any open database\n"
              "tarnvel: grade KESTREL KR8 skipped: the export failed\n");
    // The failed export left the first grade's lines in the keyword file;
    // they are not converted again under the second grade's name.
    const Output output = ReadOutput(Out());
    ASSERT_EQ(output.sets.size(), 2u);
    EXPECT_EQ(output.sets[0].grade, "AP100");
    EXPECT_EQ(output.sets[1].grade, "KR7");
    EXPECT_EQ(pipeline_.progress,
              (std::vector<std::string>{"1 of 4, ALDERPOL AP100", "4 of 4, KESTREL KR7"}));
}

TEST_F(RaxPipelineTest, TheListEndsAtALineWithoutTwoWords) {
    database_.Add("ALDERPOL", "AP100");
    database_.Add("KESTREL", "KR7");
    // A blank line of a CRLF list still holds its carriage return: it ends
    // the list, although the count includes the lines after it.
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\r\n\r\nKESTREL KR7\r\n"));
    EXPECT_EQ(pipeline_.progress, (std::vector<std::string>{"1 of 3, ALDERPOL AP100"}));
    EXPECT_EQ(ReadOutput(Out()).sets.size(), 1u);
}

TEST_F(RaxPipelineTest, EmptyLinesAreSkippedAndAnUnterminatedLastLineIsNotRead) {
    database_.Add("ALDERPOL", "AP100");
    database_.Add("KESTREL", "KR7");
    ASSERT_TRUE(Convert(List(), "\n\nALDERPOL AP100\n\nKESTREL KR7"));
    EXPECT_EQ(pipeline_.GradeCount(), 1);
    EXPECT_EQ(pipeline_.progress, (std::vector<std::string>{"1 of 1, ALDERPOL AP100"}));
}

TEST_F(RaxPipelineTest, ALineOverTheLimitEndsTheList) {
    database_.Add("ALDERPOL", "AP100");
    database_.Add("KESTREL", "KR7");
    const std::string exact = "ALDERPOL AP100" + std::string(kGradeLineLimit - 14, ' ') + "\n";
    const std::string longer = "KESTREL KR7" + std::string(kGradeLineLimit, ' ') + "\n";
    ASSERT_TRUE(Convert(List(), exact + longer + "KESTREL KR7\n"));
    EXPECT_EQ(pipeline_.GradeCount(), 1);
    EXPECT_EQ(pipeline_.progress, (std::vector<std::string>{"1 of 1, ALDERPOL AP100"}));
}

TEST_F(RaxPipelineTest, EveryKeywordFileEndsWithTheDatabaseVersion) {
    database_.Add("ALDERPOL", "AP100");
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\n"));
    EXPECT_EQ(pipeline_.Version(), "UNKNOWN");

    database_.local_version = "2026.3";
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\n"));
    EXPECT_EQ(pipeline_.Version(), "2026.3");
}

TEST_F(RaxPipelineTest, TheVersionLineIsAppendedAfterTheExportedLines) {
    database_.local_version = "X1";
    MaterialDatabase access = database_.Access();
    std::string keyword_file = (root_ / "run" / "grade.kw").string();
    database_.Add("ALDERPOL", "AP100");
    MRaxToUdb pipeline(access, "");
    ASSERT_TRUE(pipeline.DetectDatabaseVersion(kLocalSlot));
    ASSERT_TRUE(pipeline.ExportGrade("ALDERPOL", "AP100", keyword_file.c_str()));
    EXPECT_EQ(ReadText(keyword_file), KeywordFile("ALDERPOL", "AP100") + "MATERIAL_VERSION:X1\n");
    EXPECT_FALSE(pipeline.ExportGrade("ALDERPOL", "NONE", keyword_file.c_str()));
    EXPECT_FALSE(pipeline.ExportGrade(nullptr, "AP100", keyword_file.c_str()));
    // Slots outside 0 to 3 search every slot; only Local has a version here.
    EXPECT_TRUE(pipeline.DetectDatabaseVersion(-1));
    EXPECT_FALSE(pipeline.DetectDatabaseVersion(0));
}

TEST_F(RaxPipelineTest, AVersionHolding50KeepsTheExportedViscosityIndex) {
    for (const char* version : {"V50", "V49"}) {
        database_.local_version = version;
        database_.grades["ALDERPOL AP100"] =
            KeywordFile("ALDERPOL", "AP100") + "MATERIAL_VISCOSITY_INDEX: \\\nVI(240)77\n";
        ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\n"));
        const Output output = ReadOutput(Out());
        ASSERT_EQ(output.sets.size(), 1u);
        if (std::string(version) == "V50") {
            EXPECT_EQ(output.sets[0].viscosity_index, "VI(240)77");
        } else {
            EXPECT_NE(output.sets[0].viscosity_index, "VI(240)77");
        }
    }
}

TEST_F(RaxPipelineTest, ARelativeListPathNamesAFileOfTheStartDirectory) {
    database_.Add("ALDERPOL", "AP100");
    fs::current_path(root_);
    ASSERT_TRUE(Convert("db/grades.lst", "ALDERPOL AP100\n"));
    ASSERT_EQ(database_.calls.size(), 1u);
    // The export runs in the list's directory; the tool returns afterwards.
    EXPECT_EQ(fs::path(database_.calls[0].directory), fs::canonical(root_ / "db"));
    EXPECT_EQ(fs::current_path(), root_);
    EXPECT_EQ(ReadOutput(Out()).sets.size(), 1u);
}

TEST_F(RaxPipelineTest, VtPathIsSetForTheRunAndRestoredExactly) {
    database_.Add("ALDERPOL", "AP100");
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\n", "/data/std"));
    ASSERT_EQ(database_.calls.size(), 1u);
    EXPECT_EQ(database_.calls[0].vtpath, std::optional<std::string>("/data/std"));
    // Unset before the run: unset after it, not set to an empty value.
    EXPECT_EQ(std::getenv(kVtPathVariable), nullptr);

    setenv(kVtPathVariable, "/before", 1);
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\n", "/data/std"));
    ASSERT_NE(std::getenv(kVtPathVariable), nullptr);
    EXPECT_STREQ(std::getenv(kVtPathVariable), "/before");
    EXPECT_EQ(fs::current_path(), root_ / "run");
}

TEST_F(RaxPipelineTest, NothingIsLeftInTheTemporaryDirectory) {
    database_.Add("ALDERPOL", "AP100");
    // The keyword file holds an unknown line, so the reader writes a log
    // beside it; both go.
    ASSERT_TRUE(Convert(List(), "ALDERPOL AP100\n"));
    EXPECT_TRUE(TempDirectoryEmpty());
    EXPECT_FALSE(pipeline_.Convert(List().c_str(), (root_ / "missing" / "o.udb").c_str(), ""));
    EXPECT_TRUE(TempDirectoryEmpty());
}

TEST_F(RaxPipelineTest, FailuresBeforeTheLoopLeaveTheOutputAndStateAlone) {
    database_.Add("ALDERPOL", "AP100");
    WriteText(Out(), "previous");
    setenv(kVtPathVariable, "/before", 1);
    EXPECT_FALSE(pipeline_.Convert((root_ / "db" / "none.lst").c_str(), Out().c_str(), nullptr));
    EXPECT_FALSE(pipeline_.Convert(nullptr, Out().c_str(), nullptr));
    EXPECT_FALSE(pipeline_.Convert(List().c_str(), nullptr, nullptr));
    // An output in a missing directory fails before any grade is exported.
    WriteText(List(), Header() + "ALDERPOL AP100\n");
    EXPECT_FALSE(pipeline_.Convert(List().c_str(), (root_ / "missing" / "o.udb").c_str(), ""));
    EXPECT_TRUE(database_.calls.empty());
    EXPECT_EQ(ReadText(Out()), "previous");
    EXPECT_STREQ(std::getenv(kVtPathVariable), "/before");
    EXPECT_EQ(fs::current_path(), root_ / "run");
}

TEST_F(RaxPipelineTest, AFailedFinalWriteIsAFailure) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    database_.Add("ALDERPOL", "AP100");
    WriteText(List(), Header() + "ALDERPOL AP100\n");
    EXPECT_FALSE(pipeline_.Convert(List().c_str(), "/dev/full", ""));
    EXPECT_EQ(database_.calls.size(), 1u);
}

TEST_F(RaxPipelineTest, OnlyKeywordLogsOfTheWorkingDirectoryAreRemoved) {
    for (const char* name : {"a.asc_log", ".asc_log", "b.asc_log.keep", "c.ASC_LOG", "d.asc"}) {
        WriteText(root_ / "run" / name, "x");
    }
    pipeline_.RemoveKeywordLogs();
    EXPECT_FALSE(fs::exists(root_ / "run" / "a.asc_log"));
    EXPECT_FALSE(fs::exists(root_ / "run" / ".asc_log"));
    EXPECT_TRUE(fs::exists(root_ / "run" / "b.asc_log.keep"));
    EXPECT_TRUE(fs::exists(root_ / "run" / "c.ASC_LOG"));
    EXPECT_TRUE(fs::exists(root_ / "run" / "d.asc"));
}

TEST(MatchesWildcardTest, StarAndQuestionMark) {
    EXPECT_TRUE(MatchesWildcard("x.asc_log", "*.asc_log"));
    EXPECT_TRUE(MatchesWildcard("a.b.asc_log", "*.asc_log"));
    EXPECT_FALSE(MatchesWildcard("x.asc_logs", "*.asc_log"));
    EXPECT_TRUE(MatchesWildcard("a.b", "*.*"));
    EXPECT_TRUE(MatchesWildcard("abc", "a?c"));
    EXPECT_FALSE(MatchesWildcard("ac", "a?c"));
    EXPECT_TRUE(MatchesWildcard("", "*"));
    EXPECT_FALSE(MatchesWildcard("", "?"));
}

}  // namespace
}  // namespace tarnvel::driver
