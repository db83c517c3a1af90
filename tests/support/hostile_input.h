// Hostile inputs for the readers and tools: generated streams of any length
// (as C streams for the library, as FIFOs for the programs), runs under an
// address-space limit, and a watchdog so that a reader that never stops
// fails its test instead of hanging it.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace tarnvel::testing {

// AddressSanitizer reserves terabytes of shadow memory: it cannot run under
// an address-space limit.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kUnderAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
inline constexpr bool kUnderAddressSanitizer = true;
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif
#else
inline constexpr bool kUnderAddressSanitizer = false;
#endif

// The bytes of a generated input: head, then unit repeated (count times, or
// without end when count is 0), then tail.
struct GeneratedInput {
    std::string head;
    std::string unit;
    long long count = 0;
    std::string tail;

    // Copies up to size bytes starting at offset; how many were copied.
    std::size_t Fill(unsigned long long offset, char* buffer, std::size_t size) const {
        std::size_t done = 0;
        while (done < size) {
            unsigned long long at = offset + done;
            const std::string* part = &head;
            if (at >= head.size()) {
                at -= head.size();
                const unsigned long long body =
                    count == 0 ? ~0ull : static_cast<unsigned long long>(count) * unit.size();
                if (at < body) {
                    part = &unit;
                    at %= unit.size();
                } else {
                    part = &tail;
                    at -= body;
                    if (at >= tail.size()) break;
                }
            }
            const std::size_t n = std::min<std::size_t>(size - done, part->size() - at);
            std::memcpy(buffer + done, part->data() + at, n);
            done += n;
        }
        return done;
    }
};

// A read-only C stream over a generated input (no file behind it).
inline std::FILE* OpenGenerated(const GeneratedInput& input) {
    struct Cookie {
        GeneratedInput input;
        unsigned long long offset = 0;
    };
    cookie_io_functions_t io{};
    io.read = [](void* cookie, char* buffer, std::size_t size) -> ssize_t {
        auto* state = static_cast<Cookie*>(cookie);
        const std::size_t got = state->input.Fill(state->offset, buffer, size);
        state->offset += got;
        return static_cast<ssize_t>(got);
    };
    io.close = [](void* cookie) {
        delete static_cast<Cookie*>(cookie);
        return 0;
    };
    return fopencookie(new Cookie{input}, "rb", io);
}

// Writes a generated input into a descriptor until the input ends or the
// reader goes away; the bytes the reader took.
inline unsigned long long FeedDescriptor(int fd, const GeneratedInput& input) {
    // A reader that stops early makes write fail with EPIPE; the signal
    // stays blocked in the calling thread only.
    sigset_t pipe_signal;
    sigemptyset(&pipe_signal);
    sigaddset(&pipe_signal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
    std::vector<char> chunk(1 << 16);
    unsigned long long written = 0;
    for (;;) {
        const std::size_t got = input.Fill(written, chunk.data(), chunk.size());
        if (got == 0) break;
        const ssize_t put = write(fd, chunk.data(), got);
        if (put <= 0) break;
        written += static_cast<unsigned long long>(put);
    }
    close(fd);
    return written;
}

// Limits of a child run: address space in bytes (0: none) and a watchdog in
// seconds after which the child is killed by SIGALRM.
struct ChildLimits {
    rlim_t address_space = 0;
    unsigned watchdog_seconds = 60;
};

// The address space this process uses now, in bytes.
inline rlim_t CurrentAddressSpace() {
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    unsigned long pages = 0;
    if (statm != nullptr) {
        if (std::fscanf(statm, "%lu", &pages) != 1) pages = 0;
        std::fclose(statm);
    }
    return static_cast<rlim_t>(pages) * static_cast<rlim_t>(sysconf(_SC_PAGESIZE));
}

inline void ApplyLimits(const ChildLimits& limits) {
    if (limits.address_space != 0) {
        const rlimit limit{limits.address_space, limits.address_space};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (limits.watchdog_seconds != 0) alarm(limits.watchdog_seconds);
}

// Runs body in a forked child under the limits; the wait status. The body's
// result is the child's exit code.
template <typename Body>
int RunInChild(const ChildLimits& limits, Body body) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        ApplyLimits(limits);
        _exit(body());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return status;
}

// A program run under the limits (an alarm survives exec), with standard
// output from /dev/null, standard input from /dev/null or a pipe fed with a
// generated input, and standard error kept.
struct LimitedRun {
    int status = 0;
    std::string err;
    // Bytes of the generated input the program took.
    unsigned long long taken = 0;
    bool Exited(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
};

inline LimitedRun RunProgramLimited(const std::string& program,
                                    const std::vector<std::string>& args, const ChildLimits& limits,
                                    const GeneratedInput* input = nullptr) {
    char err_name[] = "/tmp/tarnvel-limited-errXXXXXX";
    const int err_fd = mkstemp(err_name);
    int pipe_fds[2] = {-1, -1};
    if (input != nullptr && pipe(pipe_fds) != 0) return {};
    LimitedRun run;
    std::thread feeder;
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        ApplyLimits(limits);
        const int null_fd = open("/dev/null", O_RDWR);
        dup2(input != nullptr ? pipe_fds[0] : null_fd, STDIN_FILENO);
        if (input != nullptr) close(pipe_fds[1]);
        dup2(null_fd, STDOUT_FILENO);
        dup2(err_fd, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    if (input != nullptr) {
        close(pipe_fds[0]);
        feeder = std::thread([&] { run.taken = FeedDescriptor(pipe_fds[1], *input); });
    }
    waitpid(child, &run.status, 0);
    if (feeder.joinable()) feeder.join();
    std::FILE* err = fdopen(err_fd, "rb");
    if (err != nullptr) {
        std::rewind(err);
        char buffer[4096];
        while (std::size_t got = std::fread(buffer, 1, sizeof buffer, err))
            run.err.append(buffer, got);
        std::fclose(err);
    }
    unlink(err_name);
    return run;
}

}  // namespace tarnvel::testing

#include <gtest/gtest.h>

namespace tarnvel::testing {

// The checks shared by the command-line tests of the tools that read UDM
// files: input that cannot be UDM and input too large for memory fail the
// run with the tool's failure status, promptly and naming the input.
class HostileInputChecks {
  public:
    // arguments(input) gives the tool's arguments for reading that input.
    HostileInputChecks(std::string program,
                       std::function<std::vector<std::string>(const std::string&)> arguments,
                       int failure_exit)
        : program_(std::move(program)),
          arguments_(std::move(arguments)),
          failure_exit_(failure_exit) {}

    // /dev/zero and /dev/urandom read directly, and a pipe of NUL bytes
    // after a valid beginning, under a watchdog.
    void DevicesAndPipesEndPromptly() const {
        for (const char* device : {"/dev/zero", "/dev/urandom"}) {
            const LimitedRun run = RunProgramLimited(program_, arguments_(device), kWatchdog);
            EXPECT_TRUE(run.Exited(failure_exit_)) << device << " " << run.status << run.err;
            EXPECT_NE(run.err.find(device), std::string::npos) << run.err;
        }
        const GeneratedInput zeros{"TITL{UDMV{\"UDM V4\"}}\n", std::string(1, '\0'), 0, ""};
        const LimitedRun piped =
            RunProgramLimited(program_, arguments_("/dev/stdin"), kWatchdog, &zeros);
        EXPECT_TRUE(piped.Exited(failure_exit_)) << piped.status << piped.err;
        EXPECT_NE(piped.err.find("NUL byte"), std::string::npos) << piped.err;
        EXPECT_LT(piped.taken, 4ull << 20);
    }

    // One code with 32 million values (256 MiB) under a 128 MiB limit.
    void MemoryLimitFailsTheRun() const {
        if (kUnderAddressSanitizer) GTEST_SKIP() << "the sanitizer cannot run under a memory limit";
        const GeneratedInput huge{
            "TITL{UDMV{\"UDM V4\"}}\nGLBL{UDMW{\"TYPE\" \"20000\"}}\n"
            "TSET{20000 1 \"a\"\n  TCOD{1800 \"values\"\n",
            "0 1 2 3 4 5 6 7 8 9\n", 3'200'000, "}}\nENDF\n"};
        const ChildLimits limited{rlim_t{128} << 20, kWatchdog.watchdog_seconds};
        const LimitedRun run =
            RunProgramLimited(program_, arguments_("/dev/stdin"), limited, &huge);
        EXPECT_TRUE(run.Exited(failure_exit_)) << run.status << run.err;
        EXPECT_NE(run.err.find("memory"), std::string::npos) << run.err;
    }

  private:
    static constexpr ChildLimits kWatchdog{0, 30};
    std::string program_;
    std::function<std::vector<std::string>(const std::string&)> arguments_;
    int failure_exit_;
};

}  // namespace tarnvel::testing
