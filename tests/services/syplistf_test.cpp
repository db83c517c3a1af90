// Directory listings, names taken from list entries, tree removal, and text
// duplicates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "paths_test_support.h"
#include "services/sypmem.h"
#include "services/syppaths.h"

namespace {

using tarnvel::services::kSypOk;
using tarnvel::services::kSypRmdirFailed;
using tarnvel::testing::GuardedBuffer;
using tarnvel::testing::kMisuseReport;
using tarnvel::testing::ReadFile;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::StderrOf;
using tarnvel::testing::Unboxed;
using tarnvel::testing::WriteFile;

bool Exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

std::vector<std::string> NamesOf(const SypListItem* list) {
    std::vector<std::string> names;
    for (; list != nullptr; list = list->next) names.emplace_back(list->name);
    return names;
}

// --- sypListAllFiles -------------------------------------------------------

TEST(ListAllFiles, ListsDotAndEveryEntryButDotDot) {
    ScratchDir scratch;
    WriteFile(scratch / "a.dat", "1");
    WriteFile(scratch / ".hidden", "2");
    mkdir((scratch / "sub").c_str(), 0700);
    int count = -1;
    SypListItem* list = nullptr;
    ASSERT_TRUE(sypListAllFiles(scratch.path().c_str(), &count, &list));
    const std::vector<std::string> names = NamesOf(list);
    sypFreeList(list);
    EXPECT_EQ(count, 4);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()),
              (std::set<std::string>{".", "a.dat", ".hidden", "sub"}));
    EXPECT_EQ(names.size(), 4u);  // each name once
}

TEST(ListAllFiles, AnEmptyDirectoryHoldsDotAlone) {
    ScratchDir scratch;
    int count = -1;
    SypListItem* list = nullptr;
    ASSERT_TRUE(sypListAllFiles((scratch.path() + "/").c_str(), &count, &list));
    EXPECT_EQ(NamesOf(list), std::vector<std::string>{"."});
    EXPECT_EQ(count, 1);
    sypFreeList(list);
}

TEST(ListAllFiles, AMissingDirectoryIsReportedWithTheSystemText) {
    ScratchDir scratch;
    const std::string missing = scratch / "missing";
    int count = -1;
    SypListItem* list = reinterpret_cast<SypListItem*>(1);
    const std::string err =
        StderrOf([&] { EXPECT_FALSE(sypListAllFiles(missing.c_str(), &count, &list)); });
    EXPECT_EQ(count, 0);
    EXPECT_EQ(list, nullptr);
    EXPECT_NE(Unboxed(err).find("sypListAllFiles: Cannot find directory \"" + missing +
                                "\": No such file or directory"),
              std::string::npos)
        << err;
}

TEST(ListAllFiles, MisuseIsReportedAndFails) {
    int count = 0;
    SypListItem* list = nullptr;
    for (const char* directory : {static_cast<const char*>(nullptr), ""}) {
        const std::string err =
            StderrOf([&] { EXPECT_FALSE(sypListAllFiles(directory, &count, &list)); });
        EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    }
    std::string err = StderrOf([&] { EXPECT_FALSE(sypListAllFiles("/", nullptr, &list)); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    err = StderrOf([&] { EXPECT_FALSE(sypListAllFiles("/", &count, nullptr)); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

// --- sypGetFilenameFromListItem --------------------------------------------

TEST(FilenameFromListItem, CopiesWholeOrCutWithAReport) {
    char name[] = "material.udb";
    const SypListItem item{name, nullptr};
    GuardedBuffer<13> exact;
    EXPECT_TRUE(sypGetFilenameFromListItem(&item, exact.data(), exact.size()));
    EXPECT_EQ(exact.text(), "material.udb");
    EXPECT_TRUE(exact.GuardIntact());

    GuardedBuffer<5> small;
    const std::string err = StderrOf(
        [&] { EXPECT_TRUE(sypGetFilenameFromListItem(&item, small.data(), small.size())); });
    EXPECT_EQ(small.text(), "mate");
    EXPECT_TRUE(small.GuardIntact());
    EXPECT_NE(
        Unboxed(err).find("sypGetFilenameFromListItem: Return buffer overflow. \"material.udb\": "
                          "13 needed, 5 available"),
        std::string::npos)
        << err;
}

TEST(FilenameFromListItem, MisuseIsReportedAndFails) {
    char name[] = "x";
    const SypListItem item{name, nullptr};
    GuardedBuffer<1> tiny;
    std::string err =
        StderrOf([&] { EXPECT_FALSE(sypGetFilenameFromListItem(&item, tiny.data(), 1)); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    EXPECT_EQ(tiny.data()[0], GuardedBuffer<1>::kFill);
    std::array<char, 8> buffer{};
    err = StderrOf([&] { EXPECT_FALSE(sypGetFilenameFromListItem(nullptr, buffer.data(), 8)); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    err = StderrOf([&] { EXPECT_FALSE(sypGetFilenameFromListItem(&item, nullptr, 8)); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

// --- sypListDirectory ------------------------------------------------------

TEST(ListDirectory, GivesTheListAsAnArray) {
    ScratchDir scratch;
    WriteFile(scratch / "one", "");
    WriteFile(scratch / "two", "");
    int count = -1;
    char** names = sypListDirectory(scratch.path().c_str(), &count);
    ASSERT_NE(names, nullptr);
    ASSERT_EQ(count, 3);
    const std::set<std::string> found(names, names + count);
    sypFreeNameArray(names, count);
    EXPECT_EQ(found, (std::set<std::string>{".", "one", "two"}));
}

TEST(ListDirectory, FailureGivesNullAndZeroCount) {
    ScratchDir scratch;
    int count = -1;
    StderrOf([&] { EXPECT_EQ(sypListDirectory((scratch / "missing").c_str(), &count), nullptr); });
    EXPECT_EQ(count, 0);
    const std::string err =
        StderrOf([&] { EXPECT_EQ(sypListDirectory(scratch.path().c_str(), nullptr), nullptr); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    sypFreeNameArray(nullptr, 0);  // releasing nothing is harmless
}

// --- sypRemoveTree ---------------------------------------------------------

TEST(RemoveTree, RemovesNestedDirectoriesButNeverFollowsLinks) {
    ScratchDir scratch;
    const std::string outside_file = scratch / "outside.txt";
    const std::string outside_dir = scratch / "outside";
    WriteFile(outside_file, "keep me");
    mkdir(outside_dir.c_str(), 0700);
    WriteFile(outside_dir + "/inner.txt", "keep me too");

    const std::string tree = scratch / "tree";
    for (const char* dir : {"", "/a", "/a/b", "/a/b/c", "/empty"}) {
        mkdir((tree + dir).c_str(), 0700);
    }
    for (const char* file : {"/top.dat", "/a/one", "/a/b/two", "/a/b/c/three"}) {
        WriteFile(tree + file, "data");
    }
    ASSERT_EQ(symlink(outside_file.c_str(), (tree + "/a/file-link").c_str()), 0);
    ASSERT_EQ(symlink(outside_dir.c_str(), (tree + "/a/b/dir-link").c_str()), 0);
    ASSERT_EQ(symlink((tree + "/gone").c_str(), (tree + "/dangling").c_str()), 0);

    EXPECT_EQ(sypRemoveTree((tree + "/").c_str()), kSypOk);
    EXPECT_FALSE(Exists(tree));
    EXPECT_EQ(ReadFile(outside_file), "keep me");
    EXPECT_EQ(ReadFile(outside_dir + "/inner.txt"), "keep me too");
}

TEST(RemoveTree, ALinkToADirectoryIsNotDescendedInto) {
    ScratchDir scratch;
    const std::string target = scratch / "target";
    mkdir(target.c_str(), 0700);
    WriteFile(target + "/data", "keep");
    const std::string link = scratch / "link";
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    for (const std::string& path : {link, link + "/"}) {
        const std::string err =
            StderrOf([&] { EXPECT_EQ(sypRemoveTree(path.c_str()), kSypRmdirFailed); });
        EXPECT_NE(err.find(path + ": "), std::string::npos) << err;
    }
    EXPECT_EQ(ReadFile(target + "/data"), "keep");
}

TEST(RemoveTree, FailuresGive308AtOnceWithTheSystemText) {
    ScratchDir scratch;
    const std::string missing = scratch / "missing";
    std::string err = StderrOf([&] { EXPECT_EQ(sypRemoveTree(missing.c_str()), kSypRmdirFailed); });
    EXPECT_NE(err.find(missing + ": No such file or directory"), std::string::npos) << err;

    const std::string file = scratch / "plain";
    WriteFile(file, "not a directory");
    err = StderrOf([&] { EXPECT_EQ(sypRemoveTree(file.c_str()), kSypRmdirFailed); });
    EXPECT_NE(err.find(file + ": Not a directory"), std::string::npos) << err;
    EXPECT_EQ(ReadFile(file), "not a directory");

    err = StderrOf([] { EXPECT_EQ(sypRemoveTree(""), kSypRmdirFailed); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

// --- sypDuplicate ----------------------------------------------------------

TEST(Duplicate, CopiesWithTheRuntimeAllocator) {
    const char text[] = "grade 7";
    char* copy = sypDuplicate(text);
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, text);
    std::free(copy);
    EXPECT_EQ(sypDuplicate(nullptr), nullptr);
}

}  // namespace
