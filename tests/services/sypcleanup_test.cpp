// The cleanup list: what is on it is gone after a normal exit, a signal or
// an explicit removal; what was taken off it stays.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "paths_test_support.h"
#include "services/sypcleanup.h"
#include "services/syppaths.h"
#include "support/process.h"

namespace {

using namespace tarnvel::services;
using tarnvel::testing::ScratchDir;
using tarnvel::testing::WriteFile;

bool Exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ignored));
}

using tarnvel::testing::InChild;

// In the scratch folder: a registered directory holding a registered file
// and a registered subdirectory with a registered file, and a file that
// stays off the list.
struct Layout {
    explicit Layout(const ScratchDir& scratch)
        : directory(scratch / "tmpdir"),
          sub(directory + "/sub"),
          file(directory + "/keywords"),
          inner(sub + "/index"),
          outside(scratch / "kept") {
        std::filesystem::create_directories(sub);
        WriteFile(file, "k");
        WriteFile(inner, "i");
        WriteFile(outside, "o");
    }
    void Register() const {
        EXPECT_EQ(sypCleanupAddDirectory(directory.c_str()), 0);
        EXPECT_EQ(sypCleanupAddFile(file.c_str()), 0);
        EXPECT_EQ(sypCleanupAddDirectory(sub.c_str()), 0);
        EXPECT_EQ(sypCleanupAddFile(inner.c_str()), 0);
    }
    std::string directory, sub, file, inner, outside;
};

TEST(CleanupList, AddForgetAndRemove) {
    ScratchDir scratch;
    const std::string kept = scratch / "kept";
    const std::string removed = scratch / "removed";
    WriteFile(kept, "k");
    WriteFile(removed, "r");
    EXPECT_EQ(sypCleanupAddFile(kept.c_str()), 0);
    EXPECT_EQ(sypCleanupAddFile(kept.c_str()), 0);  // once only
    EXPECT_EQ(sypCleanupAddFile(removed.c_str()), 0);
    EXPECT_EQ(CleanupListSize(), 2);
    sypCleanupForget(kept.c_str());
    EXPECT_EQ(sypCleanupRemove(removed.c_str()), kSypOk);
    EXPECT_EQ(CleanupListSize(), 0);
    EXPECT_TRUE(Exists(kept));
    EXPECT_FALSE(Exists(removed));
    // Paths that are not listed are never touched.
    EXPECT_EQ(sypCleanupRemove(kept.c_str()), kSypRmdirFailed);
    EXPECT_TRUE(Exists(kept));
}

TEST(CleanupList, RenamingPutsListedFilesInPlaceAndTakesThemOff) {
    ScratchDir scratch;
    const std::string names[] = {scratch / "a.new", scratch / "b.new", scratch / "c.new"};
    const std::string targets[] = {scratch / "a", scratch / "b", scratch / "missing/c"};
    for (const std::string& name : names) {
        WriteFile(name, name);
        ASSERT_EQ(sypCleanupAddFile(name.c_str()), 0);
    }
    WriteFile(targets[0], "old a");
    const char* from[] = {names[0].c_str(), names[1].c_str(), names[2].c_str()};
    const char* to[] = {targets[0].c_str(), targets[1].c_str(), targets[2].c_str()};
    // The third target's folder does not exist: two renames, then a stop.
    EXPECT_EQ(sypCleanupRenameInto(from, to, 3), 2);
    EXPECT_EQ(tarnvel::testing::ReadFile(targets[0]), names[0]);
    EXPECT_EQ(tarnvel::testing::ReadFile(targets[1]), names[1]);
    // Only the file not renamed is still listed, and a normal exit would
    // remove it.
    EXPECT_EQ(CleanupListSize(), 1);
    EXPECT_EQ(sypCleanupRemove(names[2].c_str()), kSypOk);
    EXPECT_FALSE(Exists(names[2]));
}

TEST(CleanupList, RemovingADirectoryTakesItsWholeTree) {
    ScratchDir scratch;
    const std::string directory = scratch / "tree";
    std::filesystem::create_directories(directory + "/a/b");
    WriteFile(directory + "/a/b/unlisted", "u");
    ASSERT_EQ(sypCleanupAddDirectory(directory.c_str()), 0);
    EXPECT_EQ(sypCleanupRemove(directory.c_str()), kSypOk);
    EXPECT_FALSE(Exists(directory));
    EXPECT_EQ(CleanupListSize(), 0);
}

TEST(CleanupList, TemporaryNamesAreListedFromTheStart) {
    const std::string file = sypTempFileName();
    const std::string directory = sypTempDirectoryName();
    EXPECT_EQ(CleanupListSize(), 2);
    EXPECT_EQ(sypCleanupRemove(file.c_str()), kSypOk);
    EXPECT_EQ(sypCleanupRemove(directory.c_str()), kSypOk);
    EXPECT_FALSE(Exists(file));
    EXPECT_FALSE(Exists(directory));

    ScratchDir scratch;
    std::string pattern = scratch / "out.udb.XXXXXX";
    const int descriptor = sypMakeRegisteredTempFile(pattern.data());
    ASSERT_GE(descriptor, 0);
    close(descriptor);
    EXPECT_NE(pattern, scratch / "out.udb.XXXXXX");
    EXPECT_TRUE(Exists(pattern));
    EXPECT_EQ(sypCleanupRemove(pattern.c_str()), kSypOk);
}

TEST(CleanupList, ANormalExitRemovesEverythingListed) {
    ScratchDir scratch;
    const Layout layout(scratch);
    const int status = InChild([&] {
        layout.Register();
        std::exit(4);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 4);
    EXPECT_FALSE(Exists(layout.directory));
    EXPECT_TRUE(Exists(layout.outside));
}

// The handlers remove what is listed and end the process by the signal; a
// directory holding an unlisted file stays (rmdir only), its listed files go.
TEST(CleanupList, EachSignalRemovesWhatIsListedAndEndsTheProcessByIt) {
    for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGXFSZ}) {
        ScratchDir scratch;
        const Layout layout(scratch);
        const int status = InChild([&] {
            layout.Register();
            raise(signal_number);
            _exit(9);
        });
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << signal_number;
        EXPECT_FALSE(Exists(layout.directory)) << signal_number;
        EXPECT_TRUE(Exists(layout.outside));
    }
    ScratchDir scratch;
    const Layout layout(scratch);
    WriteFile(layout.sub + "/unlisted", "u");
    const int status = InChild([&] {
        layout.Register();
        kill(getpid(), SIGTERM);
        _exit(9);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_FALSE(Exists(layout.file));
    EXPECT_FALSE(Exists(layout.inner));
    EXPECT_TRUE(Exists(layout.sub + "/unlisted"));
}

// A signal that comes while the cleanup signals are held is delivered when
// the hold ends: what was done inside the hold is complete, and the list is
// cleaned up as for any signal.
TEST(CleanupList, AHeldSignalArrivesWhenTheHoldEnds) {
    ScratchDir scratch;
    const Layout layout(scratch);
    const std::string inside = scratch / "made-while-held";
    const int status = InChild([&] {
        layout.Register();
        {
            const CleanupSignalsHeld held;
            raise(SIGTERM);
            WriteFile(inside, "i");
        }
        _exit(9);
    });
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM);
    EXPECT_TRUE(Exists(inside));
    EXPECT_FALSE(Exists(layout.file));
}

TEST(CleanupList, AnIgnoredHangupStaysIgnored) {
    ScratchDir scratch;
    const std::string file = scratch / "file";
    WriteFile(file, "f");
    const int status = InChild([&] {
        signal(SIGHUP, SIG_IGN);
        sypCleanupAddFile(file.c_str());
        raise(SIGHUP);
        sypCleanupForget(file.c_str());
        _exit(5);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 5);
    EXPECT_TRUE(Exists(file));
}

}  // namespace
