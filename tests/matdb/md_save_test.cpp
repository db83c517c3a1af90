// Writes to a database go to private copies of its three files: the files
// change only when the copies are saved over them, all three together, so
// that a write that is abandoned, discarded or cut off by a signal leaves
// the database byte for byte as it was, and a set of files from two saves
// is reported as damaged.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

#include "matdb/matdb.h"
#include "rax_test_support.h"
#include "services/sypcleanup.h"
#include "support/process.h"

namespace {

using namespace tarnvel::testing;

constexpr std::array<const char*, 3> kFiles = {"mtfp.rax", "mtgp.rax", "mtdp.rax"};

class SaveTest : public DatabaseTest {
  protected:
    // A Local database of two grades, saved.
    void MakeDatabase() {
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
        for (const MdGrade& grade : {Grade("ALDERPOL", "AP100", "first", {Single(3, 900)}),
                                     Grade("ALDERPOL", "AP120", "second", {Single(3, 910)})}) {
            ASSERT_EQ(md_store_grade(MD_LOCAL, &grade), 1);
        }
        ASSERT_EQ(md_commit(MD_LOCAL), 1);
    }
    std::map<std::string, std::string> Files() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : std::filesystem::directory_iterator(root_)) {
            files[entry.path().filename().string()] =
                entry.is_directory() ? "" : ReadBytes(entry.path().string());
        }
        return files;
    }
    // Rewrites a grade with a new density and more items, so that its chain
    // grows and the supplier and grade files change too.
    static void Rewrite() {
        const MdGrade grade =
            Grade("ALDERPOL", "AP100", "first rewritten",
                  {Single(3, 950), Single(2, 1800), Text(77, std::string(300, 'T'))});
        ASSERT_EQ(md_store_grade(MD_LOCAL, &grade), 1);
        const MdGrade added = Grade("KESTREL", "KR7", "new", {Single(3, 1040)});
        ASSERT_EQ(md_store_grade(MD_LOCAL, &added), 1);
    }
    float Density(const char* code) {
        md_open(MD_LOCAL, MD_READ);
        const std::unique_ptr<MdGrade> grade = md_read_grade(md_find(MD_LOCAL, "ALDERPOL", code));
        md_close(MD_LOCAL);
        return grade != nullptr && Item(*grade, 3) != nullptr ? Item(*grade, 3)->values[0].real()
                                                              : -1.0f;
    }
    std::int32_t Generation(const char* name) const {
        std::int32_t word = 0;
        std::memcpy(&word, ReadBytes(Path(name)).data() + 12, 4);
        return word;
    }
};

TEST_F(SaveTest, ChangesReachTheFilesOnlyWhenSaved) {
    MakeDatabase();
    const auto before = Files();
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    Rewrite();
    // Written but not saved: the files are untouched, the changes sit in
    // one private copy per file, and this process reads them.
    auto during = Files();
    EXPECT_EQ(during.size(), 6u);
    for (const char* name : kFiles) EXPECT_EQ(during[name], before.at(name)) << name;
    EXPECT_NE(md_read_grade(md_find(MD_LOCAL, "KESTREL", "KR7")), nullptr);
    EXPECT_EQ(tarnvel::services::CleanupListSize(), 3);
    md_close(MD_LOCAL);
    EXPECT_EQ(tarnvel::services::CleanupListSize(), 0);
    const auto after = Files();
    ASSERT_EQ(after.size(), 3u);
    for (const char* name : kFiles) {
        EXPECT_NE(after.at(name), before.at(name)) << name;
        EXPECT_EQ(Generation(name), 2) << name;
    }
    EXPECT_FLOAT_EQ(Density("AP100"), 950.0f);
    EXPECT_FLOAT_EQ(Density("AP120"), 910.0f);
}

TEST_F(SaveTest, DiscardedChangesLeaveTheDatabaseAsItWas) {
    MakeDatabase();
    const auto before = Files();
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    Rewrite();
    md_discard(MD_LOCAL);
    EXPECT_EQ(Files(), before);
    // A created database that is discarded never appears.
    for (const char* name : kFiles) std::filesystem::remove(Path(name));
    ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
    Rewrite();
    md_discard(MD_LOCAL);
    EXPECT_TRUE(Files().empty());
}

TEST_F(SaveTest, ASignalDuringTheWritesLeavesTheDatabaseAsItWas) {
    MakeDatabase();
    const auto before = Files();
    for (const int signal_number : {SIGTERM, SIGHUP, SIGINT}) {
        const int status = InChild([&] {
            md_open(MD_LOCAL, MD_WRITE);
            Rewrite();
            raise(signal_number);
        });
        ASSERT_TRUE(WIFSIGNALED(status)) << signal_number;
        EXPECT_EQ(WTERMSIG(status), signal_number);
        EXPECT_EQ(Files(), before) << "signal " << signal_number;
    }
    // A process that ends without closing the slot saves nothing either.
    InChild([&] {
        md_open(MD_LOCAL, MD_WRITE);
        Rewrite();
        std::exit(0);
    });
    EXPECT_EQ(Files(), before);
}

TEST_F(SaveTest, FilesFromDifferentSavesAreReportedAsDamaged) {
    MakeDatabase();
    const std::string old_grades = ReadBytes(Path("mtgp.rax"));
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    Rewrite();
    md_close(MD_LOCAL);
    // As if the process had been killed outright after renaming the
    // supplier and data files but before the grade file.
    WriteBytes(Path("mtgp.rax"), old_grades);
    capture_.Take();
    EXPECT_EQ(md_open(MD_LOCAL, MD_READ), MD_OPEN_FAILED);
    EXPECT_NE(capture_.Take().find("Could not open Local database for reading: the database is "
                                   "damaged: its files come from different saves "
                                   "(generations 2 1 2)"),
              std::string::npos);
    // Files never saved this way (generation 0 in all three) open as before.
    for (const char* name : kFiles) {
        std::string bytes = ReadBytes(Path(name));
        std::memset(bytes.data() + 12, 0, 4);
        WriteBytes(Path(name), bytes);
    }
    EXPECT_EQ(md_open(MD_LOCAL, MD_READ), MD_OPENED_READ);
}

TEST_F(SaveTest, FailedGradeWritesAreCounted) {
    MakeDatabase();
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    EXPECT_EQ(md_write_failures(MD_LOCAL), 0);
    const MdGrade nameless = Grade("", "AP1", "", {});
    EXPECT_EQ(md_store_grade(MD_LOCAL, &nameless), 0);
    EXPECT_EQ(md_write_failures(MD_LOCAL), 1);
    md_discard(MD_LOCAL);
    // A new open starts counting afresh.
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    EXPECT_EQ(md_write_failures(MD_LOCAL), 0);
}

TEST_F(SaveTest, ASaveThatCannotRenameKeepsTheFilesAndNoCopy) {
    MakeDatabase();
    auto before = Files();
    ASSERT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_WRITE);
    Rewrite();
    // The supplier file's name is taken by a folder that holds a file: the
    // first rename fails, and with it the save.
    std::filesystem::remove(Path("mtfp.rax"));
    std::filesystem::create_directories(Path("mtfp.rax/inside"));
    capture_.Take();
    EXPECT_EQ(md_commit(MD_LOCAL), 0);
    EXPECT_NE(capture_.Take().find("Error saving Local database: the files cannot be replaced: "),
              std::string::npos);
    auto after = Files();
    before.erase("mtfp.rax");
    after.erase("mtfp.rax");
    EXPECT_EQ(after, before);
}

TEST_F(SaveTest, ReadOnlyFilesAreOpenedForReadingOnly) {
    if (geteuid() == 0) GTEST_SKIP() << "root may write read-only files";
    MakeDatabase();
    ASSERT_EQ(chmod(Path("mtgp.rax").c_str(), 0444), 0);
    capture_.Take();
    EXPECT_EQ(md_open(MD_LOCAL, MD_WRITE), MD_OPENED_READ);
    EXPECT_NE(capture_.Take().find("Could not open Local database for writing: "),
              std::string::npos);
    EXPECT_EQ(Files().size(), 3u);
}

}  // namespace
