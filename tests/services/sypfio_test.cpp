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

using tarnvel::services::kSypChdirFailed;
using tarnvel::services::kSypCloseFailed;
using tarnvel::services::kSypCopyFailed;
using tarnvel::services::kSypMkdirFailed;
using tarnvel::services::kSypOk;
using tarnvel::services::kSypOpenFailed;
using tarnvel::testing::GuardedBuffer;
using tarnvel::testing::kMisuseReport;
using tarnvel::testing::ReadFile;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::StderrOf;
using tarnvel::testing::WriteFile;

// Bytes 0..255 repeated, so that a shifted or dropped block shows.
std::string PatternOfSize(std::size_t size) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>(i * 7 % 256);
    return bytes;
}

bool Exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

std::string CurrentDirectory() {
    std::array<char, 4096> cwd{};
    return getcwd(cwd.data(), cwd.size()) != nullptr ? std::string(cwd.data()) : std::string();
}

// --- sypCopyFile -----------------------------------------------------------

TEST(CopyFile, CopiesEmptyExactBlockAndMultiBlockFiles) {
    ScratchDir scratch;
    for (const std::size_t size : {0u, 1u, 1023u, 1024u, 2048u, 3 * 1024u + 17u}) {
        const std::string source = scratch / "source";
        const std::string target = scratch / "target";
        WriteFile(source, PatternOfSize(size));
        ASSERT_EQ(sypCopyFile(source.c_str(), target.c_str()), kSypOk) << size;
        EXPECT_TRUE(Exists(target));
        EXPECT_EQ(ReadFile(target), ReadFile(source)) << size;
    }
}

TEST(CopyFile, ReplacesALongerTarget) {
    ScratchDir scratch;
    WriteFile(scratch / "source", "short");
    WriteFile(scratch / "target", std::string(5000, 'x'));
    ASSERT_EQ(sypCopyFile((scratch / "source").c_str(), (scratch / "target").c_str()), kSypOk);
    EXPECT_EQ(ReadFile(scratch / "target"), "short");
}

TEST(CopyFile, OpenFailuresGive300) {
    ScratchDir scratch;
    WriteFile(scratch / "source", "data");
    EXPECT_EQ(sypCopyFile((scratch / "missing").c_str(), (scratch / "target").c_str()),
              kSypOpenFailed);
    EXPECT_FALSE(Exists(scratch / "target"));
    EXPECT_EQ(sypCopyFile((scratch / "source").c_str(), (scratch / "no/such/target").c_str()),
              kSypOpenFailed);
    EXPECT_EQ(ReadFile(scratch / "source"), "data");
}

TEST(CopyFile, CopyOntoItselfFailsAndKeepsTheData) {
    ScratchDir scratch;
    WriteFile(scratch / "file", "precious");
    symlink((scratch / "file").c_str(), (scratch / "alias").c_str());
    EXPECT_EQ(sypCopyFile((scratch / "file").c_str(), (scratch / "file").c_str()), kSypCopyFailed);
    EXPECT_EQ(sypCopyFile((scratch / "file").c_str(), (scratch / "alias").c_str()), kSypCopyFailed);
    EXPECT_EQ(ReadFile(scratch / "file"), "precious");
}

TEST(CopyFile, AWriteThatCannotCompleteGives310) {
    if (!Exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    ScratchDir scratch;
    WriteFile(scratch / "source", PatternOfSize(100));  // buffered: fails on close
    EXPECT_EQ(sypCopyFile((scratch / "source").c_str(), "/dev/full"), kSypCopyFailed);
    WriteFile(scratch / "large", PatternOfSize(64 * 1024));  // fails while writing
    EXPECT_EQ(sypCopyFile((scratch / "large").c_str(), "/dev/full"), kSypCopyFailed);
}

TEST(CopyFile, MissingPathsAreMisuseAndGive310) {
    for (const auto& [source, target] : {std::pair<const char*, const char*>{nullptr, "/tmp/x"},
                                         {"/tmp/x", nullptr},
                                         {"", "/tmp/x"}}) {
        int result = -1;
        const std::string err = StderrOf([&] { result = sypCopyFile(source, target); });
        EXPECT_EQ(result, kSypCopyFailed);
        EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    }
}

// --- sypOpenFile, sypCloseFile, sypFileExists ------------------------------

TEST(OpenAndClose, ReturnTheirCodes) {
    ScratchDir scratch;
    std::FILE* file = reinterpret_cast<std::FILE*>(1);
    EXPECT_EQ(sypOpenFile(&file, (scratch / "missing").c_str(), "rb"), kSypOpenFailed);
    EXPECT_EQ(file, nullptr);

    ASSERT_EQ(sypOpenFile(&file, (scratch / "new").c_str(), "wb"), kSypOk);
    ASSERT_NE(file, nullptr);
    std::fputs("abc", file);
    EXPECT_EQ(sypCloseFile(file), kSypOk);
    EXPECT_EQ(ReadFile(scratch / "new"), "abc");

    std::string err = StderrOf([&] { EXPECT_EQ(sypCloseFile(nullptr), kSypCloseFailed); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    err = StderrOf([&] { EXPECT_EQ(sypOpenFile(nullptr, "/tmp", "rb"), kSypOpenFailed); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    err = StderrOf([&] { EXPECT_EQ(sypOpenFile(&file, "/tmp/x", ""), kSypOpenFailed); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

TEST(FileExists, OnlyReadableFilesExist) {
    ScratchDir scratch;
    WriteFile(scratch / "file", "");
    EXPECT_EQ(sypFileExists((scratch / "file").c_str()), 1);
    EXPECT_EQ(sypFileExists((scratch / "missing").c_str()), 0);
    EXPECT_EQ(sypFileExists(scratch.path().c_str()), 0);  // a directory is no file
    const std::string err = StderrOf([] { EXPECT_EQ(sypFileExists(nullptr), 0); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

// --- sypCheckWritable ------------------------------------------------------

TEST(CheckWritable, LeavesNoFileBehindAndNeverTouchesAnExistingOne) {
    ScratchDir scratch;
    EXPECT_EQ(sypCheckWritable((scratch / "new").c_str()), 1);
    EXPECT_FALSE(Exists(scratch / "new"));

    WriteFile(scratch / "kept", "contents");
    EXPECT_EQ(sypCheckWritable((scratch / "kept").c_str()), 1);
    EXPECT_EQ(ReadFile(scratch / "kept"), "contents");

    // A file that exists but cannot be read is still an existing file.
    WriteFile(scratch / "write-only", "secret");
    chmod((scratch / "write-only").c_str(), 0200);
    EXPECT_EQ(sypCheckWritable((scratch / "write-only").c_str()), 1);
    EXPECT_TRUE(Exists(scratch / "write-only"));
    chmod((scratch / "write-only").c_str(), 0600);
    EXPECT_EQ(ReadFile(scratch / "write-only"), "secret");
}

TEST(CheckWritable, FailsForDirectoriesAndMissingFolders) {
    ScratchDir scratch;
    EXPECT_EQ(sypCheckWritable(scratch.path().c_str()), 0);
    EXPECT_EQ(sypCheckWritable((scratch / "no/such/file").c_str()), 0);
    const std::string err = StderrOf([] { EXPECT_EQ(sypCheckWritable(""), 0); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

// --- sypMakeDirectory, sypChangeDirectory ----------------------------------

TEST(Directories, MakeAndChangeReturnTheirCodes) {
    ScratchDir scratch;
    const std::string made = scratch / "made";
    EXPECT_EQ(sypMakeDirectory(made.c_str()), kSypOk);
    EXPECT_EQ(sypMakeDirectory(made.c_str()), kSypMkdirFailed);
    EXPECT_EQ(sypMakeDirectory((scratch / "a/b").c_str()), kSypMkdirFailed);

    const std::string saved = CurrentDirectory();
    EXPECT_EQ(sypChangeDirectory((scratch / "missing").c_str()), kSypChdirFailed);
    EXPECT_EQ(CurrentDirectory(), saved);
    EXPECT_EQ(sypChangeDirectory(made.c_str()), kSypOk);
    EXPECT_EQ(CurrentDirectory(), made);
    ASSERT_EQ(chdir(saved.c_str()), 0);

    std::string err = StderrOf([] { EXPECT_EQ(sypMakeDirectory(""), kSypMkdirFailed); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    err = StderrOf([] { EXPECT_EQ(sypChangeDirectory(nullptr), kSypChdirFailed); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
}

// --- sypGetcwd -------------------------------------------------------------

TEST(Getcwd, NullBufferGivesAnAllocatedCopy) {
    char* copy = sypGetcwd(nullptr, 0);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(std::string(copy), CurrentDirectory());
    sypFree(copy);
}

TEST(Getcwd, FitsExactlyOrIsCutWithAReport) {
    const std::string cwd = CurrentDirectory();
    GuardedBuffer<260> exact;
    ASSERT_LT(cwd.size(), 260u);
    EXPECT_EQ(sypGetcwd(exact.data(), static_cast<int>(cwd.size()) + 1), exact.data());
    EXPECT_EQ(exact.text(), cwd);

    GuardedBuffer<4> small;
    char* result = nullptr;
    const std::string err = StderrOf([&] { result = sypGetcwd(small.data(), small.size()); });
    EXPECT_EQ(result, small.data());
    EXPECT_EQ(small.text(), cwd.substr(0, 3));
    EXPECT_TRUE(small.GuardIntact());
    EXPECT_NE(err.find("sypGetcwd: buffer size 4 exceeded."), std::string::npos) << err;
}

TEST(Getcwd, ABufferWithoutRoomIsMisuse) {
    GuardedBuffer<1> buffer;
    const std::string err = StderrOf([&] { EXPECT_EQ(sypGetcwd(buffer.data(), 0), nullptr); });
    EXPECT_NE(err.find(kMisuseReport), std::string::npos);
    EXPECT_TRUE(buffer.GuardIntact());
    EXPECT_EQ(buffer.data()[0], GuardedBuffer<1>::kFill);
}

}  // namespace
