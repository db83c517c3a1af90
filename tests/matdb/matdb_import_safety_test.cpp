// matdb import never leaves a database torn: an import that fails leaves
// the folder byte for byte as it was, and an import cut off by SIGTERM or
// SIGHUP at a random moment leaves either the database as it was or as a
// complete import makes it, with no private copy behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <algorithm>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "support/kill_loop.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace tarnvel::testing;

using Contents = std::map<std::string, std::string>;

class ImportSafety : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "matdb-safety-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string File(const std::string& name, const std::string& text) const {
        const std::string path = root_ + "/" + name;
        std::ofstream(path, std::ios::binary) << text;
        return path;
    }
    static ProcessResult Import(const std::string& file, const std::string& folder) {
        return RunProcess(BuiltProgram("matdb"), {"import", file, folder}, "", {{"VTPATH", ""}});
    }
    // The import with files limited to a size, the signal of the limit
    // ignored (both are inherited by the child).
    static ProcessResult ImportLimited(const std::string& file, const std::string& folder,
                                       std::size_t limit) {
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit limited = saved;
        limited.rlim_cur = limit;
        const auto previous = signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &limited);
        ProcessResult result = Import(file, folder);
        setrlimit(RLIMIT_FSIZE, &saved);
        signal(SIGXFSZ, previous);
        return result;
    }
    // A folder holding a database of grades G0 to G(count - 1).
    std::string Database(const std::string& name, int count) const {
        const std::string folder = root_ + "/" + name;
        const ProcessResult made = Import(File(name + ".asc", ManyGrades(0, count, 0)), folder);
        EXPECT_EQ(made.exit_code, 0) << made.err;
        return folder;
    }
    std::string root_;
};

TEST_F(ImportSafety, AFailedImportLeavesTheDatabaseAsItWas) {
    const std::string folder = Database("db", 10);
    const Contents before = FolderContents(folder);
    // The read aborts at the fourth grade, after three were written: the
    // command fails and keeps none of them.
    const std::string aborted = File("aborted.asc", ManyGrades(5, 3, 2) + "Grade BAD\n12 34\n");
    ProcessResult result = Import(aborted, folder);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(
        result.err.find("the read was aborted; the database in " + folder + " is left as it was"),
        std::string::npos)
        << result.err;
    EXPECT_EQ(FolderContents(folder), before);
    // A grade that cannot be written (the files may not grow past their
    // size, and SIGXFSZ is ignored, so the write fails) fails it too.
    std::size_t largest = 0;
    for (const auto& [name, bytes] : before) largest = std::max(largest, bytes.size());
    result = ImportLimited(File("more.asc", ManyGrades(0, 40, 1)), folder, largest + 100);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_NE(result.out.find("Error writing grade - abandoned."), std::string::npos);
    EXPECT_NE(result.err.find("a grade could not be written"), std::string::npos) << result.err;
    EXPECT_EQ(FolderContents(folder), before);
    // A failed import into a new folder leaves no database there.
    const std::string fresh = root_ + "/fresh";
    EXPECT_EQ(Import(aborted, fresh).exit_code, 1);
    EXPECT_TRUE(FolderContents(fresh).empty());
}

TEST_F(ImportSafety, ASuccessfulImportChangesTheDatabase) {
    const std::string folder = Database("db", 10);
    const Contents before = FolderContents(folder);
    const ProcessResult result = Import(File("more.asc", ManyGrades(5, 10, 3)), folder);
    ASSERT_EQ(result.exit_code, 0) << result.err;
    const Contents after = FolderContents(folder);
    // The three database files and the grade list.
    ASSERT_EQ(after.size(), 4u);
    for (const auto& [name, bytes] : before) EXPECT_NE(after.at(name), bytes) << name;
    const ProcessResult shown =
        RunProcess(BuiltProgram("matdb"), {"show", folder, "S0", "G14"}, "", {{"VTPATH", ""}});
    EXPECT_EQ(shown.exit_code, 0) << shown.err;
}

TEST_F(ImportSafety, AStandardBuildPutsItsThreeFilesInPlaceUnderANewGeneration) {
    const std::string folder = root_ + "/standard";
    const std::string file = File("standard.asc", ManyGrades(0, 12, 0));
    const auto generations = [&] {
        std::vector<std::int32_t> words;
        for (const char* name : {"mtfs.rax", "mtgs.rax", "mtds.rax"}) {
            std::int32_t word = -1;
            std::memcpy(&word, ReadWholeFile(folder + "/" + name).data() + 12, 4);
            words.push_back(word);
        }
        return words;
    };
    for (const std::int32_t generation : {1, 2}) {
        const ProcessResult result = RunProcess(
            BuiltProgram("matdb"), {"import", "--standard", file, folder}, "", {{"VTPATH", ""}});
        ASSERT_EQ(result.exit_code, 0) << result.err;
        EXPECT_EQ(generations(), std::vector<std::int32_t>(3, generation));
        EXPECT_EQ(FolderContents(folder).size(), 3u);
    }
    const ProcessResult listed =
        RunProcess(BuiltProgram("matdb"), {"list", folder}, "", {{"VTPATH", ""}});
    EXPECT_EQ(listed.exit_code, 0) << listed.err;
}

// Imports a file of 600 grades, rewriting 200 of them, into a database and
// kills it at random moments. Set TARNVEL_KILL_LOOPS for a longer run.
TEST_F(ImportSafety, AnImportKilledAtRandomLeavesTheDatabaseBeforeOrAfter) {
    const std::string base_folder = Database("base", 200);
    const Contents before = FolderContents(base_folder);
    const std::string file = File("big.asc", ManyGrades(0, 600, 1));
    // The reference: the same import left to finish.
    const std::string reference = root_ + "/reference";
    RestoreFolder(reference, before);
    double import_ms = 0;
    for (int run = 0; run < 2; ++run) {
        RestoreFolder(reference, before);
        import_ms = WallMilliseconds([&] { ASSERT_EQ(Import(file, reference).exit_code, 0); });
    }
    const Contents after = FolderContents(reference);
    ASSERT_NE(after, before);

    const int loops = KillLoopCount(40);
    const unsigned seed = std::random_device{}();
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delay_ms(0.0, import_ms * 1.2);
    const std::string work = root_ + "/work";
    int killed = 0;
    int as_before = 0;
    int as_after = 0;
    for (int i = 0; i < loops; ++i) {
        RestoreFolder(work, before);
        const int signal_number = i % 2 == 0 ? SIGTERM : SIGHUP;
        const auto delay = std::chrono::microseconds(static_cast<long>(delay_ms(random) * 1000));
        const KillResult result = RunAndKill(BuiltProgram("matdb"), {"import", file, work}, "",
                                             {{"VTPATH", ""}}, delay, signal_number);
        Contents now = FolderContents(work);
        if (result.killed) ++killed;
        // The grade list is written after the database is saved: a kill
        // between the two leaves the saved database with the former list.
        if (result.killed && now.count("mtip.rax") != 0 &&
            now.at("mtip.rax") == before.at("mtip.rax")) {
            now["mtip.rax"] = after.at("mtip.rax");
            if (now != after) now["mtip.rax"] = before.at("mtip.rax");
        }
        if (!result.killed) {
            EXPECT_EQ(result.exit_code, 0) << "iteration " << i;
        }
        if (now == before && result.killed) {
            ++as_before;
        } else if (now == after) {
            ++as_after;
        } else {
            ADD_FAILURE() << "iteration " << i << " (seed " << seed << ", delay " << delay.count()
                          << " us, signal " << signal_number
                          << "): the database is neither as before nor as after; " << now.size()
                          << " entries";
        }
    }
    std::printf(
        "kill loop (seed %u, import %.0f ms): %d imports, %d killed, %d databases as "
        "before, %d as after, %d torn\n",
        seed, import_ms, loops, killed, as_before, as_after, loops - as_before - as_after);
    EXPECT_GT(killed, 0);
    EXPECT_GT(as_before, 0);
}

}  // namespace
