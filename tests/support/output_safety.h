// Checks shared by the command-line tests of every tool that writes an
// output file: whatever stands at the output path (a FIFO, a device, a
// symbolic link, an older file) survives as what it was, and a failed,
// size-limited or terminated run leaves the old output, no "*.XXXXXX"
// sibling and nothing in the run's TMPDIR.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/process.h"

namespace tarnvel::testing {

// A private directory removed with everything in it.
class OutputScratch {
  public:
    OutputScratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "outsafeXXXXXX").string();
        path_ = mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
    }
    ~OutputScratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    OutputScratch(const OutputScratch&) = delete;
    OutputScratch& operator=(const OutputScratch&) = delete;
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

// The names in a directory, sorted, as one text ("a b ").
inline std::string NamesIn(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(directory, ignored)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    std::string text;
    for (const std::string& name : names) text += name + " ";
    return text;
}

inline std::string FileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline mode_t TypeOf(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0 ? (status.st_mode & S_IFMT) : 0;
}

// A legacy property file (type 20000) of count sets, each with the codes the
// converter reads, as UDM text.
inline std::string LegacyGrades(int count) {
    std::string text =
        "TITL{NAME{\"legacy\"} VRSN{\"VANTOREL\"} KEYW{\"1\"} DATE{\"JAN-01-2024\"}\n"
        "  TIME{\"00:00:00\"} UDMV{\"UDM V4\"}}\nGLBL{UDMW{\"TYPE\" \"20000\"}}\n";
    for (int label = 1; label <= count; ++label) {
        const std::string n = std::to_string(label);
        text += "TSET{20000 " + n + " \"Grade " + n + " : Supplier\"\n" +
                "  TCOD{1997 \"Supplier\"}\n  TCOD{1998 \"Grade " + n + "\"}\n" +
                "  TCOD{1999 \"PP\"}\n  TCOD{1800 \"Melt range\" 473.15 553.15}\n" +
                "  TCOD{1004 \"Tait\" 415 0.0011 0.0012 7e-7 1.8e8 0.004 0.001 2e-7 2.1e8 "
                "0.007 0.09 415 1e-8}\n"
                "  TCOD{1313 \"Cross-WLF\" 0.3 30000 1e12 263.15 0 28 51.6}}\n";
    }
    return text + "ENDF\n";
}

// One tool under test: its program and how its arguments name an input and
// an output, and the exit status of a failed run.
struct OutputTool {
    std::string program;
    std::function<std::vector<std::string>(const std::string& input, const std::string& output)>
        arguments;
    int failure_exit = 1;
};

// A run of the tool in a child with TMPDIR set to its own empty folder and,
// when given, a file-size limit; the wait status and standard error.
struct ToolRun {
    int status = 0;
    std::string err;
};

class OutputSafetyChecks {
  public:
    explicit OutputSafetyChecks(OutputTool tool) : tool_(std::move(tool)) {
        std::filesystem::create_directory(tmp_);
        std::ofstream(input_, std::ios::binary) << LegacyGrades(3);
    }

    // Starts the tool on input and output; the child's pid.
    pid_t Start(const std::string& input, const std::string& output, rlim_t size_limit = 0) const {
        const std::vector<std::string> args = tool_.arguments(input, output);
        const std::string err_path = scratch_.File("stderr");
        const pid_t child = fork();
        if (child == 0) {
            const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int null_fd = open("/dev/null", O_RDWR);
            dup2(null_fd, STDIN_FILENO);
            dup2(null_fd, STDOUT_FILENO);
            dup2(err, STDERR_FILENO);
            setenv("TMPDIR", tmp_.c_str(), 1);
            if (size_limit != 0) {
                const rlimit limit{size_limit, size_limit};
                setrlimit(RLIMIT_FSIZE, &limit);
            }
            std::vector<char*> argv{const_cast<char*>(tool_.program.c_str())};
            for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
            argv.push_back(nullptr);
            execv(tool_.program.c_str(), argv.data());
            _exit(127);
        }
        return child;
    }
    ToolRun Finish(pid_t child) const {
        ToolRun run;
        waitpid(child, &run.status, 0);
        run.err = FileBytes(scratch_.File("stderr"));
        return run;
    }
    ToolRun Run(const std::string& output, rlim_t size_limit = 0) const {
        return Finish(Start(input_, output, size_limit));
    }
    static bool Exited(const ToolRun& run, int code) {
        return WIFEXITED(run.status) && WEXITSTATUS(run.status) == code;
    }

    // Nothing but the named entries beside the output, nothing in TMPDIR.
    void ExpectNoLeftovers(const std::string& names) const {
        EXPECT_EQ(NamesIn(out_dir_), names);
        EXPECT_EQ(NamesIn(tmp_), "");
    }

    void FifoReceivesTheOutput() const {
        const std::string fifo = out_dir_ + "/pipe";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
        std::string received;
        std::thread reader([&] { received = FileBytes(fifo); });
        const ToolRun run = Run(fifo);
        reader.join();
        EXPECT_TRUE(Exited(run, 0)) << run.err;
        EXPECT_GT(received.size(), 16u);
        EXPECT_EQ(TypeOf(fifo), static_cast<mode_t>(S_IFIFO));
        ExpectNoLeftovers("pipe ");
    }

    void DeviceStaysADevice() const {
        const ToolRun run = Run("/dev/null");
        EXPECT_TRUE(Exited(run, 0)) << run.err;
        EXPECT_EQ(TypeOf("/dev/null"), static_cast<mode_t>(S_IFCHR));
        if (geteuid() != 0) return;
        const std::string node = out_dir_ + "/null";
        ASSERT_EQ(mknod(node.c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
        const ToolRun on_node = Run(node);
        EXPECT_TRUE(Exited(on_node, 0)) << on_node.err;
        EXPECT_EQ(TypeOf(node), static_cast<mode_t>(S_IFCHR));
        ExpectNoLeftovers("null ");
    }

    void SymlinkStaysALink() const {
        const std::string target = scratch_.File("target.out");
        std::ofstream(target) << "old";
        const std::string link = out_dir_ + "/link";
        ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
        const ToolRun run = Run(link);
        EXPECT_TRUE(Exited(run, 0)) << run.err;
        EXPECT_EQ(TypeOf(link), static_cast<mode_t>(S_IFLNK));
        EXPECT_GT(FileBytes(target).size(), 16u);
        ExpectNoLeftovers("link ");
        EXPECT_EQ(NamesIn(scratch_.path()).find("XXXXXX"), std::string::npos);
    }

    void DirectoryIsRefused() const {
        const std::string directory = out_dir_ + "/folder";
        std::filesystem::create_directory(directory);
        const ToolRun run = Run(directory);
        EXPECT_TRUE(Exited(run, tool_.failure_exit)) << run.err;
        EXPECT_NE(run.err.find(directory), std::string::npos) << run.err;
        EXPECT_NE(run.err.find("directory"), std::string::npos) << run.err;
        ExpectNoLeftovers("folder ");
    }

    // A failed run (an input that is no UDM file), a file-size limit (the
    // process ends by SIGXFSZ) and SIGTERM while the output is written.
    void OldOutputSurvives() const {
        const std::string output = out_dir_ + "/out";
        std::ofstream(output) << "previous";
        const std::string garbage = scratch_.File("garbage");
        std::ofstream(garbage) << "no model here";
        const ToolRun failed = Finish(Start(garbage, output));
        EXPECT_TRUE(Exited(failed, tool_.failure_exit)) << failed.err;
        EXPECT_EQ(FileBytes(output), "previous");
        ExpectNoLeftovers("out ");

        const ToolRun limited = Run(output, 64);
        EXPECT_TRUE(WIFSIGNALED(limited.status) && WTERMSIG(limited.status) == SIGXFSZ)
            << limited.status << " " << limited.err;
        EXPECT_EQ(FileBytes(output), "previous");
        ExpectNoLeftovers("out ");

        EXPECT_TRUE(TerminatedWhileWriting(output)) << "the write was never caught under way";
        EXPECT_EQ(FileBytes(output), "previous");
        ExpectNoLeftovers("out ");
    }

  private:
    static bool StillRunning(pid_t child) {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(child), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == 0;
    }

    // Runs on a large input and sends SIGTERM as soon as the sibling of the
    // output exists; true once a run ended by the signal with the sibling
    // seen (a few tries, since a run may finish between two looks).
    bool TerminatedWhileWriting(const std::string& output) const {
        const std::string large = scratch_.File("large.udm");
        std::ofstream(large, std::ios::binary) << LegacyGrades(20000);
        const std::string prefix = std::filesystem::path(output).filename().string() + ".";
        for (int attempt = 0; attempt < 5; ++attempt) {
            const pid_t child = Start(large, output);
            bool seen = false;
            while (!seen && StillRunning(child)) {
                seen = NamesIn(out_dir_).find(prefix) != std::string::npos;
                if (seen) kill(child, SIGTERM);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
            const ToolRun run = Finish(child);
            if (!seen) {
                std::ofstream(output) << "previous";
                continue;
            }
            return WIFSIGNALED(run.status) && WTERMSIG(run.status) == SIGTERM;
        }
        return false;
    }

    OutputTool tool_;
    OutputScratch scratch_;
    std::string out_dir_ = [this] {
        const std::string directory = scratch_.File("out");
        std::filesystem::create_directory(directory);
        return directory;
    }();
    std::string tmp_ = scratch_.File("tmp");
    std::string input_ = scratch_.File("input.udm");
};

}  // namespace tarnvel::testing
