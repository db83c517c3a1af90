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
#include <vector>

#include "paths_test_support.h"

namespace {

using tarnvel::services::kPathSize;
using tarnvel::services::ResetTempDirectoryForTesting;
using tarnvel::testing::GuardedBuffer;
using tarnvel::testing::kMisuseReport;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::StderrOf;
using tarnvel::testing::WriteFile;

std::string CurrentDirectory() {
    std::array<char, 4096> cwd{};
    return getcwd(cwd.data(), cwd.size()) != nullptr ? std::string(cwd.data()) : std::string();
}

// --- sypJoinPath -----------------------------------------------------------

std::string Join(const char* directory, const char* name) {
    std::array<char, kPathSize> output{};
    return sypJoinPath(directory, name, output.data(), kPathSize) == 1 ? output.data() : "<fail>";
}

TEST(JoinPath, AddsExactlyOneSeparator) {
    EXPECT_EQ(Join("/a/", "b"), "/a/b");
    EXPECT_EQ(Join("/a", "b"), "/a/b");
    EXPECT_EQ(Join("", "b"), "/b");
    EXPECT_EQ(Join("rel", "b.dat"), "rel/b.dat");
}

TEST(JoinPath, ExactFitSucceedsAndOneByteLessFailsWithShortfall) {
    GuardedBuffer<7> exact;  // "/ab/cd" and its terminator
    EXPECT_EQ(sypJoinPath("/ab", "cd", exact.data(), exact.size()), 1);
    EXPECT_EQ(exact.text(), "/ab/cd");
    EXPECT_TRUE(exact.GuardIntact());

    GuardedBuffer<6> short_by_one;
    int result = -1;
    const std::string err = StderrOf(
        [&] { result = sypJoinPath("/ab", "cd", short_by_one.data(), short_by_one.size()); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(short_by_one.text(), "");
    EXPECT_TRUE(short_by_one.GuardIntact());
    EXPECT_NE(err.find("Not enough room in buffer to hold string \"cd\": 1"), std::string::npos)
        << err;
}

TEST(JoinPath, ReportsTheFirstPieceThatDoesNotFit) {
    GuardedBuffer<4> buffer;
    const std::string err =
        StderrOf([&] { EXPECT_EQ(sypJoinPath("/long", "x", buffer.data(), buffer.size()), 0); });
    EXPECT_NE(err.find("hold string \"/long\": 2"), std::string::npos) << err;
    EXPECT_EQ(buffer.text(), "");
    EXPECT_TRUE(buffer.GuardIntact());
}

TEST(JoinPath, MisuseIsReportedAndFails) {
    std::array<char, 8> output{'x'};
    const auto misuse = [&](const char* dir, const char* name, char* out, int size) {
        int result = -1;
        const std::string err = StderrOf([&] { result = sypJoinPath(dir, name, out, size); });
        EXPECT_NE(err.find(kMisuseReport), std::string::npos);
        return result;
    };
    EXPECT_EQ(misuse("/a", nullptr, output.data(), 8), 0);
    EXPECT_EQ(misuse("/a", "", output.data(), 8), 0);
    EXPECT_EQ(output[0], '\0');
    EXPECT_EQ(misuse(nullptr, "b", output.data(), 8), 0);
    EXPECT_EQ(misuse("/a", "b", nullptr, 8), 0);
    output[0] = 'x';
    EXPECT_EQ(misuse("/a", "b", output.data(), 0), 0);
    EXPECT_EQ(output[0], 'x');  // a size of 0 allows no write at all
}

// --- sypSplitPath ----------------------------------------------------------

struct Split {
    int result;
    std::string directory;
    std::string name;
};

Split SplitPath(const char* path, int directory_size = kPathSize, int name_size = kPathSize) {
    std::array<char, kPathSize> directory{};
    std::array<char, kPathSize> name{};
    const int result = sypSplitPath(path, directory.data(), name.data(), directory_size, name_size);
    return {result, directory.data(), name.data()};
}

TEST(SplitPath, SplitsAtTheLastSeparator) {
    const Split full = SplitPath("/x/y.asc");
    EXPECT_EQ(full.result, 1);
    EXPECT_EQ(full.directory, "/x/");
    EXPECT_EQ(full.name, "y.asc");

    const Split relative = SplitPath("sub/dir/f");
    EXPECT_EQ(relative.directory, "sub/dir/");
    EXPECT_EQ(relative.name, "f");

    const Split trailing = SplitPath("/a/b/");
    EXPECT_EQ(trailing.result, 1);
    EXPECT_EQ(trailing.directory, "/a/b/");
    EXPECT_EQ(trailing.name, "");
}

TEST(SplitPath, BareNameLiesInTheAbsoluteCurrentDirectory) {
    const Split bare = SplitPath("y.asc");
    EXPECT_EQ(bare.result, 1);
    EXPECT_EQ(bare.directory, CurrentDirectory() + "/");
    EXPECT_EQ(bare.name, "y.asc");

    // At the root no second separator is added.
    const std::string saved = CurrentDirectory();
    ASSERT_EQ(chdir("/"), 0);
    const Split at_root = SplitPath("y.asc");
    ASSERT_EQ(chdir(saved.c_str()), 0);
    EXPECT_EQ(at_root.directory, "/");
    EXPECT_EQ(at_root.name, "y.asc");
}

TEST(SplitPath, ResultsThatDoNotFitFailWithEmptyBuffers) {
    GuardedBuffer<4> directory;
    GuardedBuffer<8> name;
    EXPECT_EQ(sypSplitPath("/abc/f", directory.data(), name.data(), 4, 8), 0);
    EXPECT_EQ(directory.text(), "");
    EXPECT_EQ(name.text(), "");
    EXPECT_TRUE(directory.GuardIntact());
    EXPECT_TRUE(name.GuardIntact());

    GuardedBuffer<8> small_name;
    GuardedBuffer<8> wide_directory;
    EXPECT_EQ(sypSplitPath("/a/long.name", wide_directory.data(), small_name.data(), 8, 8), 0);
    EXPECT_EQ(wide_directory.text(), "");
    EXPECT_EQ(small_name.text(), "");
    EXPECT_TRUE(small_name.GuardIntact());

    // Exact fits succeed.
    EXPECT_EQ(SplitPath("/ab/cdefg", 5, 6).result, 1);
}

TEST(SplitPath, LongPathsFailCleanly) {
    const std::string at_limit = "/" + std::string(254, 'a');
    EXPECT_EQ(SplitPath(at_limit.c_str()).result, 1);
    const std::string too_long = "/" + std::string(255, 'a');
    EXPECT_EQ(SplitPath(too_long.c_str()).result, 0);

    // A bare name whose absolute path would exceed the directory buffer.
    const int room = static_cast<int>(CurrentDirectory().size()) + 4;
    EXPECT_EQ(SplitPath("abc", room).result, 0);
    EXPECT_EQ(SplitPath("ab", room).result, 1);
}

TEST(SplitPath, MisuseIsReportedAndFails) {
    std::array<char, 16> directory{};
    std::array<char, 16> name{};
    const auto misuse = [&](const char* path, char* dir, char* file, int dir_size, int name_size) {
        int result = -1;
        const std::string err =
            StderrOf([&] { result = sypSplitPath(path, dir, file, dir_size, name_size); });
        EXPECT_NE(err.find(kMisuseReport), std::string::npos);
        return result;
    };
    EXPECT_EQ(misuse(nullptr, directory.data(), name.data(), 16, 16), 0);
    EXPECT_EQ(misuse("", directory.data(), name.data(), 16, 16), 0);
    EXPECT_EQ(misuse("/a/b", nullptr, name.data(), 16, 16), 0);
    EXPECT_EQ(misuse("/a/b", directory.data(), nullptr, 16, 16), 0);
    EXPECT_EQ(misuse("/a/b", directory.data(), name.data(), 0, 16), 0);
    EXPECT_EQ(misuse("/a/b", directory.data(), name.data(), 16, -1), 0);
}

// --- sypTempDirectory ------------------------------------------------------

// Sets the three variables that name a temporary directory for one test and
// restores them (and a fresh choice) afterwards.
class TempDirectoryTest : public ::testing::Test {
  protected:
    static constexpr std::array<const char*, 3> kVariables{"tmp", "temp", "TMPDIR"};

    void SetUp() override {
        for (std::size_t i = 0; i < kVariables.size(); ++i) {
            const char* value = std::getenv(kVariables[i]);
            if (value != nullptr) saved_[i] = value;
            unsetenv(kVariables[i]);
        }
        ResetTempDirectoryForTesting();
    }

    void TearDown() override {
        for (std::size_t i = 0; i < kVariables.size(); ++i) {
            if (saved_[i]) {
                setenv(kVariables[i], saved_[i]->c_str(), 1);
            } else {
                unsetenv(kVariables[i]);
            }
        }
        ResetTempDirectoryForTesting();
    }

    static std::string Chosen() {
        ResetTempDirectoryForTesting();
        const char* chosen = sypTempDirectory();
        return chosen != nullptr ? chosen : "<none>";
    }

    ScratchDir scratch_;

  private:
    std::array<std::optional<std::string>, 3> saved_;
};

TEST_F(TempDirectoryTest, TriesTmpThenTempThenTmpdir) {
    for (const char* name : {"a", "b", "c"}) mkdir((scratch_ / name).c_str(), 0700);
    setenv("tmp", (scratch_ / "a").c_str(), 1);
    setenv("temp", (scratch_ / "b").c_str(), 1);
    setenv("TMPDIR", (scratch_ / "c/").c_str(), 1);
    EXPECT_EQ(Chosen(), scratch_ / "a/");
    unsetenv("tmp");
    EXPECT_EQ(Chosen(), scratch_ / "b/");
    unsetenv("temp");
    EXPECT_EQ(Chosen(), scratch_ / "c/");  // no second "/" added
    unsetenv("TMPDIR");
    EXPECT_EQ(Chosen(), "/tmp/");
}

TEST_F(TempDirectoryTest, SkipsCandidatesWhereNoFileCanBeCreated) {
    mkdir((scratch_ / "good").c_str(), 0700);
    WriteFile(scratch_ / "plain-file", "not a directory");
    setenv("tmp", (scratch_ / "missing").c_str(), 1);
    setenv("temp", (scratch_ / "plain-file").c_str(), 1);
    setenv("TMPDIR", (scratch_ / "good").c_str(), 1);
    EXPECT_EQ(Chosen(), scratch_ / "good/");

    setenv("TMPDIR", "", 1);  // an empty value is no candidate (and not "/")
    EXPECT_EQ(Chosen(), "/tmp/");
}

TEST_F(TempDirectoryTest, ProbesLeaveNothingBehindAndTheChoiceIsKept) {
    setenv("tmp", scratch_.path().c_str(), 1);
    EXPECT_EQ(Chosen(), scratch_.path() + "/");
    EXPECT_TRUE(std::filesystem::is_empty(scratch_.path()));

    unsetenv("tmp");
    EXPECT_EQ(std::string(sypTempDirectory()), scratch_.path() + "/");  // until reset
}

// --- sypTempFileName and sypTempDirectoryName -------------------------------

TEST_F(TempDirectoryTest, TempFilesAreCreatedEmptyPrivateAndDistinct) {
    setenv("tmp", scratch_.path().c_str(), 1);
    ResetTempDirectoryForTesting();
    std::set<std::string> names;
    for (int i = 0; i < 300; ++i) {
        const char* name = sypTempFileName();
        ASSERT_NE(name, nullptr);
        ASSERT_EQ(std::string(name).rfind(scratch_.path() + "/", 0), 0u) << name;
        struct stat status {};
        ASSERT_EQ(stat(name, &status), 0) << name;
        EXPECT_TRUE(S_ISREG(status.st_mode));
        EXPECT_EQ(status.st_size, 0);
        EXPECT_EQ(status.st_mode & 0777, 0600u);
        names.insert(name);
    }
    EXPECT_EQ(names.size(), 300u);
}

TEST_F(TempDirectoryTest, ParentAndForkedChildNeverShareANameThoughTheirCountersAgree) {
    setenv("tmp", scratch_.path().c_str(), 1);
    ResetTempDirectoryForTesting();
    ASSERT_NE(sypTempDirectory(), nullptr);
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
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(created, kEach);
    const auto entries = std::distance(std::filesystem::directory_iterator(scratch_.path()),
                                       std::filesystem::directory_iterator());
    EXPECT_EQ(entries, 2 * kEach);
}

TEST_F(TempDirectoryTest, TempDirectoriesArePrivateAndDistinct) {
    setenv("tmp", scratch_.path().c_str(), 1);
    ResetTempDirectoryForTesting();
    const std::string first = sypTempDirectoryName();
    const std::string second = sypTempDirectoryName();
    EXPECT_NE(first, second);
    for (const std::string& name : {first, second}) {
        struct stat status {};
        ASSERT_EQ(stat(name.c_str(), &status), 0) << name;
        EXPECT_TRUE(S_ISDIR(status.st_mode));
        EXPECT_EQ(status.st_mode & 0777, 0700u);
    }
}

}  // namespace
