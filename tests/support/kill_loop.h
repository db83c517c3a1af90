// Interrupting a program of the build at a random moment: the child is
// started, sent a signal after a delay, and waited for. Used by the tests
// that check that a command cut off by a signal leaves its files whole.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/process.h"

namespace tarnvel::testing {

// The iterations of a kill loop: the environment's TARNVEL_KILL_LOOPS when
// set (a long run by hand), otherwise the short default of the suite.
inline int KillLoopCount(int fallback) {
    const char* text = std::getenv("TARNVEL_KILL_LOOPS");
    const int count = text != nullptr ? std::atoi(text) : 0;
    return count > 0 ? count : fallback;
}

// The outcome of one interrupted run.
struct KillResult {
    // The child ended by the signal (false: it finished first and exited).
    bool killed = false;
    int exit_code = -1;
};

// Runs program with args in cwd with the extra environment, its output
// thrown away; after delay sends signal_number and waits.
inline KillResult RunAndKill(const std::string& program, const std::vector<std::string>& args,
                             const std::string& cwd,
                             const std::vector<std::pair<std::string, std::string>>& env,
                             std::chrono::microseconds delay, int signal_number) {
    const pid_t child = fork();
    if (child == 0) {
        const int null_fd = open("/dev/null", O_RDWR);
        dup2(null_fd, STDIN_FILENO);
        dup2(null_fd, STDOUT_FILENO);
        dup2(null_fd, STDERR_FILENO);
        ExecInChild(program, args, cwd, env);
    }
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(delay);
    const timespec pause{static_cast<time_t>(seconds.count()),
                         static_cast<long>((delay - seconds).count() * 1000)};
    nanosleep(&pause, nullptr);
    kill(child, signal_number);
    int status = 0;
    waitpid(child, &status, 0);
    KillResult result;
    result.killed = WIFSIGNALED(status) && WTERMSIG(status) == signal_number;
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    return result;
}

// Every regular file below a folder with its bytes, by relative path; a
// folder appears with an empty text and a trailing "/".
inline std::map<std::string, std::string> FolderContents(const std::string& folder) {
    std::map<std::string, std::string> contents;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder)) {
        const std::string name = std::filesystem::relative(entry.path(), folder).string();
        if (entry.is_directory()) {
            contents[name + "/"] = "";
        } else {
            contents[name] = ReadWholeFile(entry.path().string());
        }
    }
    return contents;
}

// Puts the folder's contents back to the given ones.
inline void RestoreFolder(const std::string& folder,
                          const std::map<std::string, std::string>& contents) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    for (const auto& [name, bytes] : contents) {
        const std::filesystem::path path = std::filesystem::path(folder) / name;
        if (name.back() == '/') {
            std::filesystem::create_directories(path);
        } else {
            std::ofstream(path, std::ios::binary) << bytes;
        }
    }
}

// Milliseconds a call takes by the wall clock (to choose kill delays, not
// to judge speed).
template <typename Action>
double WallMilliseconds(Action action) {
    const auto start = std::chrono::steady_clock::now();
    action();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

// The grades of the shipped example ASCII file, one text block each.
inline std::vector<std::string> ExampleBlocks() {
    std::ifstream in(std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc");
    std::vector<std::string> blocks;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Supplier ", 0) == 0) blocks.emplace_back();
        if (!blocks.empty()) blocks.back() += line + "\n";
    }
    return blocks;
}

// A tessel ASCII file of grades first to first + count - 1, each a copy of
// an example grade (chosen with shift) under the supplier S<n / 40> and the
// code G<n>: a file as large as a test needs.
inline std::string ManyGrades(int first, int count, int shift) {
    const std::vector<std::string> blocks = ExampleBlocks();
    std::string text;
    for (int n = first; n < first + count; ++n) {
        std::istringstream block(blocks[(n + shift) % blocks.size()]);
        std::string line;
        std::getline(block, line);
        text += "Supplier S" + std::to_string(n / 40) + "\n";
        std::getline(block, line);
        text += "Grade G" + std::to_string(n) + "\n";
        for (; std::getline(block, line);) text += line + "\n";
    }
    return text;
}

}  // namespace tarnvel::testing
