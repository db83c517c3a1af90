// The benchmarks' runs of the project's programs as child processes: the
// output thrown away, the wall time, the CPU time (user + system) and the
// peak resident size from wait4.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace tarnvel::bench {

struct ChildRun {
    // The child exited (rather than failing to start, or being killed).
    bool ended = false;
    // Its exit status; -1 when it did not exit.
    int status = -1;
    double wall = 0;
    double cpu = 0;
    double peak_mib = 0;
};

struct ChildSetting {
    // The working directory of the child; empty: this process's.
    std::string folder;
    // The temporary directory the programs take from "tmp"; empty: as set.
    std::string temporary;
    // Killed after this many seconds; 0: no limit.
    int limit_seconds = 0;
};

inline ChildRun RunChild(const std::string& program, const std::vector<std::string>& args,
                         const ChildSetting& setting = {}) {
    std::vector<std::string> words{program};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        if (setting.temporary.empty() || !std::string_view(*entry).starts_with("tmp="))
            environment.emplace_back(*entry);
    }
    if (!setting.temporary.empty()) environment.push_back("tmp=" + setting.temporary);
    std::vector<char*> envp;
    for (std::string& entry : environment) envp.push_back(entry.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    if (!setting.folder.empty())
        posix_spawn_file_actions_addchdir_np(&actions, setting.folder.c_str());
    ChildRun run;
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int spawned =
        posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    pid_t waited = 0;
    while ((waited = wait4(child, &status, setting.limit_seconds > 0 ? WNOHANG : 0, &usage)) == 0) {
        if (std::chrono::steady_clock::now() - start >
            std::chrono::seconds(setting.limit_seconds)) {
            kill(child, SIGKILL);
            waited = wait4(child, &status, 0, &usage);
            break;
        }
        usleep(2000);
    }
    run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (waited != child) return run;
    const auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    run.cpu = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.peak_mib = static_cast<double>(usage.ru_maxrss) / 1024.0;
    run.ended = WIFEXITED(status);
    run.status = run.ended ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace tarnvel::bench
