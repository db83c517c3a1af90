// Directory listings, names taken from list entries, tree removal, and text
// duplicates.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>
#include <string>

#include "paths_test_support.h"
#include "services/syppaths.h"

namespace {

using tarnvel::services::kSypOk;
using tarnvel::services::kSypRmdirFailed;
using tarnvel::testing::GuardedBuffer;
using tarnvel::testing::ReadFile;
using tarnvel::testing::ReportsMisuse;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::StderrOf;
using tarnvel::testing::Unboxed;
using tarnvel::testing::WriteFile;

using Names = std::multiset<std::string>;

// The names of a listing, or {"<fail>"}; also checks the count.
Names List(const std::string& directory) {
    int count = -1;
    SypListItem* list = nullptr;
    if (!sypListAllFiles(directory.c_str(), &count, &list)) {
        EXPECT_TRUE(count == 0 && list == nullptr);
        return {"<fail>"};
    }
    Names names;
    for (const SypListItem* item = list; item != nullptr; item = item->next)
        names.insert(item->name);
    sypFreeList(list);
    EXPECT_EQ(count, static_cast<int>(names.size()));
    return names;
}

TEST(ListAllFiles, ListsDotAndEveryEntryButDotDotOnce) {
    ScratchDir scratch;
    EXPECT_EQ(List(scratch.path() + "/"), Names{"."});
    WriteFile(scratch / "a.dat", "1");
    WriteFile(scratch / ".hidden", "2");
    mkdir((scratch / "sub").c_str(), 0700);
    EXPECT_EQ(List(scratch.path()), (Names{".", "a.dat", ".hidden", "sub"}));

    int count = -1;
    char** names = sypListDirectory(scratch.path().c_str(), &count);
    ASSERT_EQ(count, 4);
    EXPECT_EQ(Names(names, names + count), (Names{".", "a.dat", ".hidden", "sub"}));
    sypFreeNameArray(names, count);
}

TEST(ListAllFiles, FailuresAreReported) {
    ScratchDir scratch;
    const std::string missing = scratch / "missing";
    const std::string err = StderrOf([&] { EXPECT_EQ(List(missing), Names{"<fail>"}); });
    EXPECT_NE(Unboxed(err).find("sypListAllFiles: Cannot find directory \"" + missing +
                                "\": No such file or directory"),
              std::string::npos)
        << err;
    int count = -1;
    StderrOf([&] { EXPECT_EQ(sypListDirectory(missing.c_str(), &count), nullptr); });
    EXPECT_EQ(count, 0);

    SypListItem* list = nullptr;
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(List(""), Names{"<fail>"}); }));
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_FALSE(sypListAllFiles("/", nullptr, &list)); }));
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(sypListDirectory("/", nullptr), nullptr); }));
}

TEST(FilenameFromListItem, CopiesWholeOrCutWithAReport) {
    char name[] = "material.udb";
    const SypListItem item{name, nullptr};
    GuardedBuffer<13> exact;
    EXPECT_TRUE(sypGetFilenameFromListItem(&item, exact.data(), exact.size()));
    EXPECT_EQ(exact.text(), "material.udb");

    GuardedBuffer<5> small;
    const std::string err = StderrOf(
        [&] { EXPECT_TRUE(sypGetFilenameFromListItem(&item, small.data(), small.size())); });
    EXPECT_EQ(small.text(), "mate");
    EXPECT_TRUE(small.GuardIntact());
    EXPECT_NE(Unboxed(err).find("sypGetFilenameFromListItem: Return buffer overflow. "
                                "\"material.udb\": 13 needed, 5 available"),
              std::string::npos)
        << err;

    GuardedBuffer<1> tiny;
    EXPECT_TRUE(
        ReportsMisuse([&] { EXPECT_FALSE(sypGetFilenameFromListItem(&item, tiny.data(), 1)); }));
    EXPECT_EQ(tiny.data()[0], GuardedBuffer<1>::kFill);
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_FALSE(sypGetFilenameFromListItem(nullptr, name, 8)); }));
}

TEST(RemoveTree, RemovesNestedDirectoriesButNeverFollowsLinks) {
    ScratchDir scratch;
    const std::string outside = scratch / "outside";
    mkdir(outside.c_str(), 0700);
    WriteFile(outside + "/file", "keep me");
    const std::string tree = scratch / "tree";
    for (const char* dir : {"", "/a", "/a/b", "/a/b/c", "/empty"})
        mkdir((tree + dir).c_str(), 0700);
    for (const char* file : {"/top", "/a/one", "/a/b/two", "/a/b/c/three"})
        WriteFile(tree + file, "x");
    ASSERT_EQ(symlink((outside + "/file").c_str(), (tree + "/a/file-link").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (tree + "/a/b/dir-link").c_str()), 0);
    ASSERT_EQ(symlink((tree + "/gone").c_str(), (tree + "/dangling").c_str()), 0);

    EXPECT_EQ(sypRemoveTree((tree + "/").c_str()), kSypOk);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(tree)));
    EXPECT_EQ(ReadFile(outside + "/file"), "keep me");

    // A link to a directory, named as the tree itself, is not descended into.
    const std::string link = scratch / "link";
    ASSERT_EQ(symlink(outside.c_str(), link.c_str()), 0);
    StderrOf([&] { EXPECT_EQ(sypRemoveTree(link.c_str()), kSypRmdirFailed); });
    StderrOf([&] { EXPECT_EQ(sypRemoveTree((link + "/").c_str()), kSypRmdirFailed); });
    EXPECT_EQ(ReadFile(outside + "/file"), "keep me");
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
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypRemoveTree(""), kSypRmdirFailed); }));
}

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
