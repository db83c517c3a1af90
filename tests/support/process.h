// Runs a program of the build as a child process and captures what it
// prints and its exit code. Used by the command-line tests of every tool.
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tarnvel::testing {

struct ProcessResult {
    int exit_code = -1;  // -1 when the child did not exit normally
    std::string out;
    std::string err;
};

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The path of a program built into the build's bin folder.
inline std::string BuiltProgram(const std::string& name) {
    return std::string(TARNVEL_BIN_DIR) + "/" + name;
}

// In a forked child: enters cwd (when given), adds the environment settings,
// arms the time limit (seconds; a pending alarm survives the exec) and runs
// program with args (argv[0] is the program path). Never returns.
[[noreturn]] inline void ExecInChild(const std::string& program,
                                     const std::vector<std::string>& args, const std::string& cwd,
                                     const std::vector<std::pair<std::string, std::string>>& env,
                                     unsigned time_limit = 0) {
    if (!cwd.empty() && chdir(cwd.c_str()) != 0) _exit(127);
    for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
    if (time_limit > 0) alarm(time_limit);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// Runs program with args (argv[0] is the program path), in directory cwd
// when given, with extra environment settings; returns output and status.
// With a time limit (seconds) the child is killed by SIGALRM when it runs
// longer (exit code -1): a generous bound for "ends in bounded time".
inline ProcessResult RunProcess(const std::string& program, const std::vector<std::string>& args,
                                const std::string& cwd = "",
                                const std::vector<std::pair<std::string, std::string>>& env = {},
                                unsigned time_limit = 0) {
    char out_name[] = "/tmp/tarnvel-test-outXXXXXX";
    char err_name[] = "/tmp/tarnvel-test-errXXXXXX";
    const int out_fd = mkstemp(out_name);
    const int err_fd = mkstemp(err_name);
    ProcessResult result;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        const int null_fd = open("/dev/null", O_RDONLY);
        dup2(null_fd, STDIN_FILENO);
        ExecInChild(program, args, cwd, env, time_limit);
    }
    int status = 0;
    waitpid(child, &status, 0);
    close(out_fd);
    close(err_fd);
    if (WIFEXITED(status)) result.exit_code = WEXITSTATUS(status);
    result.out = ReadWholeFile(out_name);
    result.err = ReadWholeFile(err_name);
    unlink(out_name);
    unlink(err_name);
    return result;
}

// Runs the action in a forked child that then exits 0; its wait status.
template <typename Action>
int InChild(Action action) {
    const pid_t child = fork();
    if (child == 0) {
        action();
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

}  // namespace tarnvel::testing
