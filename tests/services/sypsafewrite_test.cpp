// Whole-file output: what is at the path before the write decides how it is
// written, and a failed, limited or interrupted write leaves it unchanged
// with no sibling behind.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "paths_test_support.h"
#include "services/sypcleanup.h"
#include "services/syppaths.h"
#include "services/sypsafewrite.h"
#include "support/process.h"

namespace {

using namespace tarnvel::services;
using tarnvel::testing::ReadFile;
using tarnvel::testing::ReportsMisuse;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::WriteFile;

SypWriteBody Writes(const std::string& text) {
    return [text](std::FILE* out) { return std::fputs(text.c_str(), out) >= 0; };
}

// The names in the directory, sorted, as one text.
std::string Listing(const std::string& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
}

mode_t ModeOf(const std::string& path) {
    struct stat status {};
    EXPECT_EQ(lstat(path.c_str(), &status), 0) << path;
    return status.st_mode;
}

using tarnvel::testing::InChild;

TEST(SafeWrite, CreatesANewFileAndReplacesAnOldOneKeepingItsMode) {
    ScratchDir scratch;
    const std::string path = scratch / "out.udb";
    ASSERT_EQ(sypWriteFile(path.c_str(), Writes("first")), 0);
    EXPECT_EQ(ReadFile(path), "first");
    EXPECT_STREQ(sypWriteFileError(), "");

    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(sypWriteFile(path.c_str(), Writes("second")), 0);
    EXPECT_EQ(ReadFile(path), "second");
    EXPECT_EQ(ModeOf(path) & 07777, 0640u);
    EXPECT_EQ(Listing(scratch.path()), "out.udb ");
    EXPECT_EQ(CleanupListSize(), 0);
}

TEST(SafeWrite, AFailedBodyLeavesTheOldFileAndNoSibling) {
    ScratchDir scratch;
    const std::string path = scratch / "out.udb";
    WriteFile(path, "old contents");
    const int status = sypWriteFile(path.c_str(), [](std::FILE* out) {
        std::fputs("partial", out);
        return false;
    });
    EXPECT_EQ(status, kSypCopyFailed);
    EXPECT_EQ(ReadFile(path), "old contents");
    EXPECT_EQ(Listing(scratch.path()), "out.udb ");
    EXPECT_NE(std::string(sypWriteFileError()).find(path), std::string::npos);
    EXPECT_EQ(CleanupListSize(), 0);
}

TEST(SafeWrite, ASiblingCopiesTheFileAndItsModeAndIsListed) {
    ScratchDir scratch;
    const std::string path = scratch / "mtdp.rax";
    WriteFile(path, "database bytes");
    ASSERT_EQ(chmod(path.c_str(), 0640), 0);
    std::string sibling;
    std::string target;
    std::FILE* copy = sypOpenSibling(path.c_str(), true, &sibling, &target);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(target, path);
    EXPECT_EQ(sibling.substr(0, path.size() + 1), path + ".");
    EXPECT_EQ(CleanupListSize(), 1);
    // Writes reach the copy only; the file stays as it was.
    ASSERT_EQ(std::fseek(copy, 0, SEEK_SET), 0);
    std::fputs("DATABASE", copy);
    EXPECT_EQ(sypSyncFile(copy), 0);
    EXPECT_EQ(ReadFile(sibling), "DATABASE bytes");
    EXPECT_EQ(ReadFile(path), "database bytes");
    EXPECT_EQ(ModeOf(sibling) & 07777, 0640u);
    std::fclose(copy);
    EXPECT_EQ(sypCleanupRemove(sibling.c_str()), 0);
    // A new file's sibling starts empty; a copy of a missing file fails and
    // leaves nothing.
    copy = sypOpenSibling((scratch / "new.rax").c_str(), false, &sibling, &target);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(ReadFile(sibling), "");
    std::fclose(copy);
    EXPECT_EQ(sypCleanupRemove(sibling.c_str()), 0);
    EXPECT_EQ(sypOpenSibling((scratch / "none.rax").c_str(), true, &sibling, &target), nullptr);
    EXPECT_EQ(Listing(scratch.path()), "mtdp.rax ");
    EXPECT_EQ(CleanupListSize(), 0);
}

TEST(SafeWrite, WritesThroughSymbolicLinksAndKeepsThem) {
    ScratchDir scratch;
    std::filesystem::create_directory(scratch / "real");
    const std::string target = scratch / "real/target.udb";
    WriteFile(target, "old");
    // A relative link, resolved against the link's own folder, in a chain.
    ASSERT_EQ(symlink("real/target.udb", (scratch / "first").c_str()), 0);
    ASSERT_EQ(symlink((scratch / "first").c_str(), (scratch / "second").c_str()), 0);
    ASSERT_EQ(sypWriteFile((scratch / "second").c_str(), Writes("new")), 0);
    EXPECT_TRUE(S_ISLNK(ModeOf(scratch / "first")));
    EXPECT_TRUE(S_ISLNK(ModeOf(scratch / "second")));
    EXPECT_EQ(ReadFile(target), "new");
    EXPECT_EQ(Listing(scratch / "real"), "target.udb ");

    // A dangling link gets its target made.
    ASSERT_EQ(symlink("real/made.udb", (scratch / "dangling").c_str()), 0);
    ASSERT_EQ(sypWriteFile((scratch / "dangling").c_str(), Writes("made")), 0);
    EXPECT_TRUE(S_ISLNK(ModeOf(scratch / "dangling")));
    EXPECT_EQ(ReadFile(scratch / "real/made.udb"), "made");

    // A loop is refused.
    ASSERT_EQ(symlink("loop", (scratch / "loop").c_str()), 0);
    EXPECT_EQ(sypWriteFile((scratch / "loop").c_str(), Writes("x")), kSypOpenFailed);
}

TEST(SafeWrite, WritesAFifoDirectlyAndLeavesItAFifo) {
    ScratchDir scratch;
    const std::string fifo = scratch / "pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    EXPECT_EQ(sypWriteFile(fifo.c_str(), Writes("through the pipe")), 0);
    reader.join();
    EXPECT_EQ(received, "through the pipe");
    EXPECT_TRUE(S_ISFIFO(ModeOf(fifo)));
    EXPECT_EQ(Listing(scratch.path()), "pipe ");
}

TEST(SafeWrite, WritesCharacterDevicesDirectly) {
    EXPECT_EQ(sypWriteFile("/dev/null", Writes("discarded")), 0);
    EXPECT_TRUE(S_ISCHR(ModeOf("/dev/null")));
}

TEST(SafeWrite, ADeviceNodeMadeHereStaysADevice) {
    if (geteuid() != 0) GTEST_SKIP() << "making a device node needs root";
    ScratchDir scratch;
    const std::string node = scratch / "null";
    // The same device as /dev/null (character 1, 3).
    ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    EXPECT_EQ(sypWriteFile(node.c_str(), Writes("discarded")), 0);
    EXPECT_TRUE(S_ISCHR(ModeOf(node)));
    EXPECT_EQ(Listing(scratch.path()), "null ");
}

TEST(SafeWrite, RefusesDirectoriesSocketsAndMissingFolders) {
    ScratchDir scratch;
    EXPECT_EQ(sypWriteFile(scratch.path().c_str(), Writes("x")), kSypOpenFailed);
    EXPECT_NE(std::string(sypWriteFileError()).find("it is a directory"), std::string::npos);

    const std::string socket_path = scratch / "sock";
    const int listener = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path.c_str());
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(sypWriteFile(socket_path.c_str(), Writes("x")), kSypOpenFailed);
    EXPECT_NE(std::string(sypWriteFileError()).find("neither"), std::string::npos);
    EXPECT_TRUE(S_ISSOCK(ModeOf(socket_path)));
    close(listener);

    EXPECT_EQ(sypWriteFile((scratch / "no/such/out").c_str(), Writes("x")), kSypOpenFailed);
    EXPECT_NE(std::string(sypWriteFileError()).find("no/such/out"), std::string::npos);
    EXPECT_TRUE(ReportsMisuse([] { EXPECT_EQ(sypWriteFile("", Writes("x")), kSypOpenFailed); }));
}

// A file-size limit either fails the write (SIGXFSZ ignored) or ends the
// process by SIGXFSZ; in both cases the old file stays and no sibling is left.
TEST(SafeWrite, AFileSizeLimitLeavesTheOldFile) {
    ScratchDir scratch;
    const std::string path = scratch / "out.udb";
    const std::string big(1 << 16, 'b');
    for (const bool ignored : {true, false}) {
        WriteFile(path, "old");
        const int status = InChild([&] {
            if (ignored) signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{1024, 1024};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(sypWriteFile(path.c_str(), Writes(big)) == kSypCopyFailed ? 0 : 1);
        });
        if (ignored) {
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        } else {
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ);
        }
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_EQ(Listing(scratch.path()), "out.udb ");
    }
}

TEST(SafeWrite, ATerminationSignalDuringTheWriteLeavesTheOldFile) {
    ScratchDir scratch;
    const std::string path = scratch / "out.udb";
    for (const int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
        WriteFile(path, "old");
        const int status = InChild([&] {
            sypWriteFile(path.c_str(), [&](std::FILE* out) {
                std::fputs("partial", out);
                std::fflush(out);
                raise(signal_number);
                return true;
            });
            _exit(3);
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
        EXPECT_EQ(ReadFile(path), "old");
        EXPECT_EQ(Listing(scratch.path()), "out.udb ");
    }
}

}  // namespace
