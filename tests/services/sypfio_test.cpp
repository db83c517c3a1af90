// Copying, opening and closing files, the existence and writability checks,
// directories, and the current directory.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "paths_test_support.h"
#include "services/sypmem.h"
#include "services/syppaths.h"

namespace {

using namespace tarnvel::services;
using tarnvel::testing::GuardedBuffer;
using tarnvel::testing::ReadFile;
using tarnvel::testing::ReportsMisuse;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::StderrOf;
using tarnvel::testing::WriteFile;

bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}
std::string Cwd() {
    return std::filesystem::current_path().string();
}

// Bytes that differ from block to block, so a dropped or repeated block shows.
std::string Pattern(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 251);
    return bytes;
}

TEST(CopyFile, CopiesEmptyExactBlockAndMultiBlockFilesOverALongerTarget) {
    ScratchDir scratch;
    const std::string source = scratch / "source";
    const std::string target = scratch / "target";
    WriteFile(target, std::string(5000, 'x'));
    for (const std::size_t size : {0u, 1024u, 2048u, 3 * 1024u + 17u, 1u}) {
        WriteFile(source, Pattern(size));
        ASSERT_EQ(sypCopyFile(source.c_str(), target.c_str()), kSypOk) << size;
        EXPECT_EQ(ReadFile(target), Pattern(size)) << size;
    }
}

TEST(CopyFile, FailuresGiveTheirCodesAndSpareTheSource) {
    ScratchDir scratch;
    const std::string source = scratch / "source";
    WriteFile(source, "precious");
    symlink(source.c_str(), (scratch / "alias").c_str());
    EXPECT_EQ(sypCopyFile((scratch / "missing").c_str(), (scratch / "t").c_str()), kSypOpenFailed);
    EXPECT_FALSE(Exists(scratch / "t"));
    EXPECT_EQ(sypCopyFile(source.c_str(), (scratch / "no/dir/t").c_str()), kSypOpenFailed);
    // A copy onto the same file would truncate it before reading.
    EXPECT_EQ(sypCopyFile(source.c_str(), (scratch / "alias").c_str()), kSypCopyFailed);
    EXPECT_EQ(ReadFile(source), "precious");
    // A device that is always full: the write (or the flush on close) fails.
    if (Exists("/dev/full")) {
        EXPECT_EQ(sypCopyFile(source.c_str(), "/dev/full"), kSypCopyFailed);
    }

    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypCopyFile(nullptr, "/tmp/x"), kSypCopyFailed); }));
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypCopyFile("/tmp/x", ""), kSypCopyFailed); }));
}

TEST(OpenAndClose, ReturnTheirCodes) {
    ScratchDir scratch;
    std::FILE* file = stdout;
    EXPECT_EQ(sypOpenFile(&file, (scratch / "missing").c_str(), "rb"), kSypOpenFailed);
    EXPECT_EQ(file, nullptr);
    ASSERT_EQ(sypOpenFile(&file, (scratch / "new").c_str(), "wb"), kSypOk);
    EXPECT_EQ(sypCloseFile(file), kSypOk);
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypCloseFile(nullptr), kSypCloseFailed); }));
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(sypOpenFile(&file, "/x", ""), kSypOpenFailed); }));
}

TEST(FileChecks, ExistenceAndWritability) {
    ScratchDir scratch;
    WriteFile(scratch / "file", "contents");
    EXPECT_EQ(sypFileExists((scratch / "file").c_str()), 1);
    EXPECT_EQ(sypFileExists((scratch / "missing").c_str()), 0);
    EXPECT_EQ(sypFileExists(scratch.path().c_str()), 0);  // a directory is no file

    EXPECT_EQ(sypCheckWritable((scratch / "new").c_str()), 1);
    EXPECT_FALSE(Exists(scratch / "new"));  // created by the check, removed again
    EXPECT_EQ(sypCheckWritable((scratch / "file").c_str()), 1);
    EXPECT_EQ(ReadFile(scratch / "file"), "contents");
    EXPECT_EQ(sypCheckWritable(scratch.path().c_str()), 0);
    EXPECT_EQ(sypCheckWritable((scratch / "no/dir/file").c_str()), 0);

    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypFileExists(nullptr), 0); }));
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypCheckWritable(""), 0); }));
}

TEST(FileChecks, AnExistingUnreadableFileSurvivesTheWritabilityCheck) {
    ScratchDir scratch;
    const std::string path = scratch / "write-only";
    WriteFile(path, "secret");
    chmod(path.c_str(), 0200);
    EXPECT_EQ(sypCheckWritable(path.c_str()), 1);
    chmod(path.c_str(), 0600);
    EXPECT_EQ(ReadFile(path), "secret");
}

TEST(Directories, MakeAndChangeReturnTheirCodes) {
    ScratchDir scratch;
    const std::string made = scratch / "made";
    EXPECT_EQ(sypMakeDirectory(made.c_str()), kSypOk);
    EXPECT_EQ(sypMakeDirectory(made.c_str()), kSypMkdirFailed);

    const std::string saved = Cwd();
    EXPECT_EQ(sypChangeDirectory((scratch / "missing").c_str()), kSypChdirFailed);
    EXPECT_EQ(sypChangeDirectory(made.c_str()), kSypOk);
    EXPECT_EQ(Cwd(), made);
    ASSERT_EQ(chdir(saved.c_str()), 0);

    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypMakeDirectory(""), kSypMkdirFailed); }));
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypChangeDirectory(nullptr), kSypChdirFailed); }));
}

TEST(Getcwd, CopiesAllocatesOrCutsWithAReport) {
    const std::string cwd = Cwd();
    char* copy = sypGetcwd(nullptr, 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(copy), cwd);
    sypFree(copy);

    GuardedBuffer<kPathSize> exact;
    ASSERT_LT(cwd.size(), exact.size());
    EXPECT_EQ(sypGetcwd(exact.data(), static_cast<int>(cwd.size()) + 1), exact.data());
    EXPECT_EQ(exact.text(), cwd);

    GuardedBuffer<4> small;
    const std::string err =
        StderrOf([&] { EXPECT_EQ(sypGetcwd(small.data(), small.size()), small.data()); });
    EXPECT_EQ(small.text(), cwd.substr(0, 3));
    EXPECT_TRUE(small.GuardIntact());
    EXPECT_NE(err.find("sypGetcwd: buffer size 4 exceeded."), std::string::npos) << err;

    GuardedBuffer<1> none;
    EXPECT_TRUE(ReportsMisuse([&] { EXPECT_EQ(sypGetcwd(none.data(), 0), nullptr); }));
    EXPECT_EQ(none.data()[0], GuardedBuffer<1>::kFill);
}

}  // namespace
