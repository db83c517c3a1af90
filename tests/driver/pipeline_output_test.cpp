// The -rax and -asc runs over the shipped examples give exactly the output
// recorded in tests/driver/data: the same property sets (compared as the
// text form of the packed output, without the title's key, date and time)
// and the same standard output, byte for byte. The recordings were made
// before the pipelines were made faster, so any change to what they produce
// shows here. They must be made again when the shipped data changes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "support/process.h"
#include "udm/udm.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::ReadWholeFile;
using tarnvel::testing::RunProcess;

const std::string kSource = TARNVEL_SOURCE_DIR;
const std::string kRecorded = kSource + "/tests/driver/data/";

// The text form of a packed file without the lines that differ from run to
// run (the title's unique key, date and time); empty when it cannot be read.
std::string TextForm(const fs::path& packed, const fs::path& text) {
    UdmModel* previous = udm_model_current();
    UdmModel* model = nullptr;
    if (udm_model_open(packed.c_str(), 1, &model) != UDM_OK) return "";
    const int written = udm_model_write(text.c_str(), UDM_MODE_TEXT);
    udm_model_destroy(&model);
    udm_model_select(previous);
    if (written != UDM_OK) return "";
    std::istringstream lines(ReadWholeFile(text.string()));
    std::string kept;
    for (std::string line; std::getline(lines, line);) {
        if (line.starts_with("  KEYW{") || line.starts_with("  DATE{") ||
            line.starts_with("  TIME{"))
            continue;
        kept += line + "\n";
    }
    return kept;
}

class PipelineOutput : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pipelineoutXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
    }
    void TearDown() override { fs::remove_all(root_); }

    // Runs tarnvel and compares its output file and standard output with
    // the recorded ones.
    void ExpectRecorded(const std::vector<std::string>& args, const std::string& recorded) {
        const ProcessResult result = RunProcess(BuiltProgram("tarnvel"), args, root_.string(),
                                                {{"tmp", (root_ / "tmp").string()}});
        ASSERT_EQ(result.exit_code, 0) << result.err;
        EXPECT_TRUE(result.out == ReadWholeFile(kRecorded + recorded + ".out"))
            << "the standard output differs from " << recorded << ".out";
        const std::string text = TextForm(root_ / "out.udb", root_ / "out.udm");
        ASSERT_FALSE(text.empty());
        EXPECT_TRUE(text == ReadWholeFile(kRecorded + recorded + ".udm"))
            << "the output differs from " << recorded << ".udm";
        EXPECT_TRUE(fs::is_empty(root_ / "tmp"));
    }

    fs::path root_;
};

TEST_F(PipelineOutput, TheExampleListGivesTheRecordedOutput) {
    ExpectRecorded({"-rax", kSource + "/examples/standard_grades.lst", "-udb", "out.udb"},
                   "standard_grades");
}

TEST_F(PipelineOutput, TheExampleAsciiFileGivesTheRecordedOutput) {
    ExpectRecorded({"-asc", kSource + "/examples/moulding_grades.asc", "-udb", "out.udb"},
                   "moulding_grades");
}

}  // namespace
