// tarnvel -asc cut off by SIGTERM or SIGHUP at a random moment (while the
// temporary database is built, or while its grades are converted) leaves no
// temporary folder and no part of an output file: the output folder holds
// nothing, or the complete output when the signal came after it was in
// place.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "pipeline_test_support.h"
#include "support/kill_loop.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace tarnvel::testing;
using tarnvel::driver::pipeline_testing::ReadOutput;

constexpr int kGrades = 150;

class AsciiKill : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ascii-kill-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ + "/tmp");
        fs::create_directories(root_ + "/out");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::vector<std::pair<std::string, std::string>> Environment() const {
        return {{"tmp", root_ + "/tmp"}, {"TMPDIR", root_ + "/tmp"}};
    }
    std::string root_;
};

// Set TARNVEL_KILL_LOOPS for a longer run.
TEST_F(AsciiKill, AnInterruptedRunLeavesNoTemporaryFolderAndNoOutput) {
    const std::string file = root_ + "/grades.asc";
    std::ofstream(file, std::ios::binary) << ManyGrades(0, kGrades, 0);
    const std::vector<std::string> args = {"-asc", file, "-udb", root_ + "/out/out.udb"};
    const double run_ms = WallMilliseconds([&] {
        const ProcessResult result =
            RunProcess(BuiltProgram("tarnvel"), args, root_, Environment());
        ASSERT_EQ(result.exit_code, 0) << result.err;
    });
    // The output folder holds nothing or just the complete output, and
    // the temporary folder nothing.
    const auto whole_or_nothing = [&](const std::string& where) {
        EXPECT_TRUE(fs::is_empty(root_ + "/tmp")) << where;
        const auto contents = FolderContents(root_ + "/out");
        if (contents.empty()) return false;
        std::string names;
        for (const auto& [name, bytes] : contents) {
            names += " " + name + " (" + std::to_string(bytes.size()) + " bytes)";
        }
        EXPECT_EQ(contents.size(), 1u) << where << ":" << names;
        EXPECT_EQ(ReadOutput(root_ + "/out/out.udb").sets.size(), static_cast<std::size_t>(kGrades))
            << where << ":" << names;
        fs::remove_all(root_ + "/out");
        fs::create_directories(root_ + "/out");
        return true;
    };
    ASSERT_TRUE(whole_or_nothing("uninterrupted run"));

    const int loops = KillLoopCount(30);
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delay_ms(0.0, run_ms * 1.2);
    int killed = 0;
    int killed_after_output = 0;
    for (int i = 0; i < loops; ++i) {
        const int signal_number = i % 2 == 0 ? SIGTERM : SIGHUP;
        const auto delay = std::chrono::microseconds(static_cast<long>(delay_ms(random) * 1000));
        const KillResult result =
            RunAndKill(BuiltProgram("tarnvel"), args, root_, Environment(), delay, signal_number);
        const std::string where = "iteration " + std::to_string(i) + " (seed " +
                                  std::to_string(seed) + ", delay " +
                                  std::to_string(delay.count()) + " us)";
        const bool output = whole_or_nothing(where);
        if (result.killed) {
            ++killed;
            if (output) ++killed_after_output;
        } else {
            EXPECT_EQ(result.exit_code, 0) << where;
            EXPECT_TRUE(output) << where;
        }
        fs::remove_all(root_ + "/tmp");
        fs::create_directories(root_ + "/tmp");
    }
    std::printf(
        "-asc kill loop (seed %u, run %.0f ms): %d runs, %d killed (%d of them after the "
        "output was in place), %d finished\n",
        seed, run_ms, loops, killed, killed_after_output, loops - killed);
    EXPECT_GT(killed, 0);
}

}  // namespace
