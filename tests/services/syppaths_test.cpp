// Path joining and splitting, the choice of the temporary directory, and
// private temporary files and directories.
#include "services/syppaths.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "paths_test_support.h"
#include "services/sypcleanup.h"

namespace {

using tarnvel::services::kPathSize;
using tarnvel::services::ResetTempDirectoryForTesting;
using tarnvel::testing::GuardedBuffer;
using tarnvel::testing::ReportsMisuse;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::StderrOf;
using tarnvel::testing::WriteFile;

std::string Cwd() {
    return std::filesystem::current_path().string();
}

std::string Join(const char* directory, const char* name) {
    std::array<char, kPathSize> output{};
    return sypJoinPath(directory, name, output.data(), kPathSize) == 1 ? output.data() : "<fail>";
}

TEST(JoinPath, AddsExactlyOneSeparator) {
    EXPECT_EQ(Join("/a/", "b"), "/a/b");
    EXPECT_EQ(Join("/a", "b"), "/a/b");
    EXPECT_EQ(Join("", "b"), "/b");
}

TEST(JoinPath, ExactFitSucceedsAndOneByteLessEmptiesTheOutput) {
    GuardedBuffer<7> exact;  // "/ab/cd" and its terminator
    EXPECT_EQ(sypJoinPath("/ab", "cd", exact.data(), exact.size()), 1);
    EXPECT_EQ(exact.text(), "/ab/cd");

    GuardedBuffer<6> short_by_one;
    const std::string err = StderrOf(
        [&] { EXPECT_EQ(sypJoinPath("/ab", "cd", short_by_one.data(), short_by_one.size()), 0); });
    EXPECT_EQ(short_by_one.text(), "");
    EXPECT_TRUE(short_by_one.GuardIntact());
    EXPECT_NE(err.find("Not enough room in buffer to hold string \"cd\": 1"), std::string::npos);
}

TEST(JoinPath, MisuseIsReportedAndFails) {
    std::array<char, 8> out{'x'};
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(sypJoinPath("/a", "", out.data(), 8), 0); }));
    EXPECT_EQ(out[0], '\0');
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(sypJoinPath(nullptr, "b", out.data(), 8), 0); }));
    out[0] = 'x';
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(sypJoinPath("/a", "b", out.data(), 0), 0); }));
    EXPECT_EQ(out[0], 'x');  // a size of 0 allows no write at all
}

// "directory|name", or "<fail>" with both buffers checked empty.
std::string Split(const char* path, int directory_size = 64, int name_size = 64) {
    GuardedBuffer<64> directory;
    GuardedBuffer<64> name;
    const int result = sypSplitPath(path, directory.data(), name.data(), directory_size, name_size);
    EXPECT_TRUE(directory.GuardIntact() && name.GuardIntact());
    if (result == 1) return directory.text() + "|" + name.text();
    if (directory_size > 0 && name_size > 0) {
        EXPECT_EQ(directory.text() + name.text(), "");
    }
    return "<fail>";
}

TEST(SplitPath, SplitsAtTheLastSeparator) {
    EXPECT_EQ(Split("/x/y.asc"), "/x/|y.asc");
    EXPECT_EQ(Split("sub/dir/f"), "sub/dir/|f");
    EXPECT_EQ(Split("/a/b/"), "/a/b/|");
    EXPECT_EQ(Split("/ab/cdefg", 5, 6), "/ab/|cdefg");  // exact fits
    EXPECT_EQ(Split("/ab/cdefg", 4, 6), "<fail>");
    EXPECT_EQ(Split("/ab/cdefg", 5, 5), "<fail>");
}

TEST(SplitPath, BareNameLiesInTheAbsoluteCurrentDirectory) {
    std::array<char, kPathSize> directory{};
    std::array<char, kPathSize> name{};
    ASSERT_EQ(sypSplitPath("y.asc", directory.data(), name.data(), kPathSize, kPathSize), 1);
    EXPECT_EQ(std::string(directory.data()), Cwd() + "/");
    EXPECT_EQ(std::string(name.data()), "y.asc");

    const std::string saved = Cwd();
    ASSERT_EQ(chdir("/"), 0);
    EXPECT_EQ(Split("y.asc"), "/|y.asc");  // no second "/" at the root
    // The absolute path, name included, must fit the directory buffer.
    EXPECT_EQ(Split("abc", 4), "<fail>");
    EXPECT_EQ(Split("ab", 4), "/|ab");
    ASSERT_EQ(chdir(saved.c_str()), 0);
}

TEST(SplitPath, LongPathsAndMisuseFailCleanly) {
    std::array<char, kPathSize> dir{};
    std::array<char, kPathSize> name{};
    const std::string at_limit = "/" + std::string(254, 'a');
    EXPECT_EQ(sypSplitPath(at_limit.c_str(), dir.data(), name.data(), kPathSize, kPathSize), 1);
    const std::string too_long = at_limit + "a";
    EXPECT_EQ(sypSplitPath(too_long.c_str(), dir.data(), name.data(), kPathSize, kPathSize), 0);

    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(Split(nullptr), "<fail>"); }));
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(Split("/a/b", 0), "<fail>"); }));
}

// Clears tmp, temp and TMPDIR for one test and restores them afterwards.
class TempDirectoryTest : public ::testing::Test {
  protected:
    static constexpr std::array<const char*, 3> kVariables{"tmp", "temp", "TMPDIR"};

    void SetUp() override {
        for (std::size_t i = 0; i < kVariables.size(); ++i) {
            if (const char* value = std::getenv(kVariables[i])) saved_[i] = value;
            unsetenv(kVariables[i]);
        }
    }
    void TearDown() override {
        for (std::size_t i = 0; i < kVariables.size(); ++i) {
            if (saved_[i]) setenv(kVariables[i], saved_[i]->c_str(), 1);
            if (!saved_[i]) unsetenv(kVariables[i]);
        }
        ResetTempDirectoryForTesting();
    }
    static std::string Chosen() {
        ResetTempDirectoryForTesting();
        const char* chosen = sypTempDirectory();
        return chosen != nullptr ? chosen : "<none>";
    }
    void UseScratch() {
        setenv("tmp", scratch_.path().c_str(), 1);
        ASSERT_EQ(Chosen(), scratch_.path() + "/");
    }

    ScratchDir scratch_;

  private:
    std::array<std::optional<std::string>, 3> saved_;
};

TEST_F(TempDirectoryTest, TriesTmpTempTmpdirThenSystemAndSkipsUnusableOnes) {
    for (const char* name : {"a", "b", "c"}) mkdir((scratch_ / name).c_str(), 0700);
    setenv("tmp", (scratch_ / "a").c_str(), 1);
    setenv("temp", (scratch_ / "b").c_str(), 1);
    setenv("TMPDIR", (scratch_ / "c/").c_str(), 1);
    EXPECT_EQ(Chosen(), scratch_ / "a/");
    setenv("tmp", (scratch_ / "missing").c_str(), 1);
    EXPECT_EQ(Chosen(), scratch_ / "b/");
    WriteFile(scratch_ / "plain-file", "not a directory");
    setenv("temp", (scratch_ / "plain-file").c_str(), 1);
    EXPECT_EQ(Chosen(), scratch_ / "c/");  // no second "/" added
    setenv("TMPDIR", "", 1);               // an empty value is no candidate (not "/")
    EXPECT_EQ(Chosen(), "/tmp/");
    EXPECT_EQ(std::filesystem::remove_all(scratch_ / "c"), 1u);  // probes leave nothing
}

TEST_F(TempDirectoryTest, TheChoiceIsKept) {
    UseScratch();
    unsetenv("tmp");
    EXPECT_EQ(std::string(sypTempDirectory()), scratch_.path() + "/");
}

TEST_F(TempDirectoryTest, ARelativeVariableIsMadeAbsoluteWhenChosen) {
    const std::string start = Cwd();
    mkdir((scratch_ / "work").c_str(), 0700);
    mkdir((scratch_ / "work/rel").c_str(), 0700);
    ASSERT_EQ(chdir((scratch_ / "work").c_str()), 0);
    for (const char* variable : kVariables) {
        for (const char* other : kVariables) unsetenv(other);
        setenv(variable, "rel", 1);
        EXPECT_EQ(Chosen(), scratch_ / "work/rel/") << variable;
        // Names taken after a change of directory still lie in the chosen one.
        ASSERT_EQ(chdir(scratch_.path().c_str()), 0);
        const char* name = sypTempFileName();
        ASSERT_NE(name, nullptr);
        EXPECT_EQ(std::string(name).rfind(scratch_.path() + "/work/rel/", 0), 0u) << name;
        EXPECT_EQ(sypCleanupRemove(name), 0) << name;
        ASSERT_EQ(chdir((scratch_ / "work").c_str()), 0);
    }
    ASSERT_EQ(chdir(start.c_str()), 0);
}

TEST_F(TempDirectoryTest, TempFilesAndDirectoriesExistPrivateAndDistinct) {
    UseScratch();
    std::set<std::string> names;
    for (int i = 0; i < 300; ++i) {
        const bool want_file = i % 3 != 0;
        const char* name = want_file ? sypTempFileName() : sypTempDirectoryName();
        ASSERT_NE(name, nullptr);
        ASSERT_EQ(std::string(name).rfind(scratch_.path() + "/", 0), 0u) << name;
        struct stat status {};
        ASSERT_EQ(stat(name, &status), 0) << name;
        EXPECT_EQ(S_ISREG(status.st_mode), want_file);
        EXPECT_EQ(status.st_mode & 0777, want_file ? 0600u : 0700u);
        if (want_file) {
            EXPECT_EQ(status.st_size, 0);
        }
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 300u);
}

TEST_F(TempDirectoryTest, AForkedChildWithTheSameCounterNeverTakesTheParentsNames) {
    UseScratch();
    constexpr int kEach = 50;
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        for (int i = 0; i < kEach; ++i) {
            if (sypTempFileName() == nullptr) _exit(1);
        }
        _exit(0);
    }
    int created = 0;
    for (int i = 0; i < kEach; ++i) created += sypTempFileName() != nullptr ? 1 : 0;
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(created, kEach);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(scratch_.path()),
                            std::filesystem::directory_iterator()),
              2 * kEach);
}

}  // namespace
