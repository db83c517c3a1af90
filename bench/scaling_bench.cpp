// How the cost of `tarnvel -vxmat` and `udmconv` grows with the input: both
// tools run as processes on generated legacy property files of 25,000 to
// 200,000 sets. For each run the wall time from start to exit and the peak
// resident memory (wait4's ru_maxrss) are taken; the report gives both per
// set and the ratio of the time per set at the largest size to that at the
// smallest (linear cost keeps it near 1; the goal is at most 1.3). The CPU
// time (user + system) of the same runs is shown beside it, since on a
// shared machine the wall time also holds the waits for a processor.
//
//   scaling_bench [--sets N,N,...] [--repeat R] [--packed-input] [--keep]
//                 [--tools DIR]
//
// The tools are the ones built beside this program (TARNVEL_TOOL_DIR), or
// those in DIR (to set another build beside this one).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "legacy_property_file.h"
#include "udm/udm.h"

extern char** environ;

namespace {

constexpr double kGoalRatio = 1.3;

struct Options {
    std::vector<int> sets = {25000, 50000, 100000, 200000};
    int repeat = 3;
    bool packed_input = false;
    bool keep = false;
    std::string tools = TARNVEL_TOOL_DIR;
};

// One run of a tool: wall time from spawn to reaped exit, peak memory, exit
// status.
struct Run {
    double seconds = 0;
    double cpu_seconds = 0;  // user + system
    long max_rss_kib = 0;
    int status = -1;
};

struct Measurement {
    const char* tool;
    int sets;
    double seconds;  // the fastest of the repetitions
    double median_seconds;
    double cpu_seconds;  // of the fastest run
    long max_rss_kib;    // the largest of the repetitions
    bool ok;
};

bool ParseSets(const char* text, std::vector<int>& sets) {
    sets.clear();
    for (const char* p = text; *p != '\0';) {
        char* end = nullptr;
        const long value = std::strtol(p, &end, 10);
        if (end == p || value <= 0 || value > 10'000'000) return false;
        sets.push_back(static_cast<int>(value));
        p = *end == ',' ? end + 1 : end;
        if (*end != ',' && *end != '\0') return false;
    }
    return !sets.empty();
}

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--sets" && i + 1 < argc) {
            if (!ParseSets(argv[++i], options.sets)) return false;
        } else if (arg == "--repeat" && i + 1 < argc) {
            options.repeat = std::atoi(argv[++i]);
            if (options.repeat < 1) return false;
        } else if (arg == "--packed-input") {
            options.packed_input = true;
        } else if (arg == "--tools" && i + 1 < argc) {
            options.tools = argv[++i];
        } else if (arg == "--keep") {
            options.keep = true;
        } else {
            return false;
        }
    }
    std::sort(options.sets.begin(), options.sets.end());
    return true;
}

// Runs a program with its standard output discarded and waits for it.
Run RunProcess(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    Run run;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        std::fprintf(stderr, "scaling_bench: cannot start %s: %s\n", argv[0],
                     std::strerror(spawned));
        return run;
    }
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.cpu_seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                      static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    run.max_rss_kib = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

Measurement Measure(const char* tool, int sets, int repeat, const std::vector<std::string>& args) {
    std::vector<double> seconds;
    Measurement measurement{tool, sets, 0, 0, 0, 0, true};
    double fastest = -1;
    for (int r = 0; r < repeat; ++r) {
        const Run run = RunProcess(args);
        if (run.status != 0) {
            std::fprintf(stderr, "scaling_bench: %s on %d sets exited with %d\n", tool, sets,
                         run.status);
            measurement.ok = false;
        }
        seconds.push_back(run.seconds);
        if (fastest < 0 || run.seconds < fastest) {
            fastest = run.seconds;
            measurement.cpu_seconds = run.cpu_seconds;
        }
        measurement.max_rss_kib = std::max(measurement.max_rss_kib, run.max_rss_kib);
    }
    std::sort(seconds.begin(), seconds.end());
    measurement.seconds = seconds.front();
    measurement.median_seconds = seconds[seconds.size() / 2];
    return measurement;
}

void PrintRow(const Measurement& m) {
    const double per_set_us = m.seconds / m.sets * 1e6;
    const double bytes_per_set = static_cast<double>(m.max_rss_kib) * 1024.0 / m.sets;
    std::printf("| %-8s | %8d | %8.3f | %8.3f | %8.3f | %8.2f | %8.1f | %8.0f |%s\n", m.tool,
                m.sets, m.seconds, m.median_seconds, m.cpu_seconds, per_set_us,
                m.max_rss_kib / 1024.0, bytes_per_set, m.ok ? "" : " FAILED");
}

// The time per set at the largest size over that at the smallest, of the
// wall time or of the CPU time.
double GrowthRatio(const std::vector<Measurement>& rows, const char* tool,
                   double Measurement::*time) {
    const Measurement* first = nullptr;
    const Measurement* last = nullptr;
    for (const Measurement& m : rows) {
        if (std::strcmp(m.tool, tool) != 0) continue;
        if (first == nullptr) first = &m;
        last = &m;
    }
    if (first == nullptr || first == last) return 0;
    return (last->*time / last->sets) / (first->*time / first->sets);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        std::fprintf(stderr,
                     "Usage: scaling_bench [--sets N,N,...] [--repeat R] [--packed-input] "
                     "[--keep] [--tools DIR]\n");
        return 2;
    }
    const std::string& tools = options.tools;
    std::string pattern = (std::filesystem::temp_directory_path() / "scalingXXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("scaling_bench: mkdtemp");
        return 1;
    }
    const std::string dir = pattern;
    const int input_mode = options.packed_input ? UDM_MODE_PACKED : UDM_MODE_TEXT;
    const char* suffix = options.packed_input ? ".udb" : ".udm";

    std::printf(
        "tools: %s; input encoding: %s; %d run(s) per size; time = fastest run, wall clock "
        "from start to exit\n\n",
        tools.c_str(), options.packed_input ? "packed" : "text", options.repeat);
    std::printf(
        "| tool     |     sets | time (s) | median s | CPU s    | us/set   | peak MiB | "
        "B/set    |\n");
    std::printf(
        "|----------|----------|----------|----------|----------|----------|----------|"
        "----------|\n");
    std::vector<Measurement> rows;
    bool ok = true;
    for (const int sets : options.sets) {
        const std::string input = dir + "/legacy" + std::to_string(sets) + suffix;
        if (!tarnvel::bench::WriteLegacyPropertyFile(input, sets, input_mode)) {
            std::fprintf(stderr, "scaling_bench: cannot write %s\n", input.c_str());
            ok = false;
            break;
        }
        const std::string out = dir + "/out.udb";
        rows.push_back(Measure("tarnvel", sets, options.repeat,
                               {tools + "/tarnvel", "-vxmat", input, "-udb", out}));
        PrintRow(rows.back());
        rows.push_back(
            Measure("udmconv", sets, options.repeat, {tools + "/udmconv", "--packed", input, out}));
        PrintRow(rows.back());
        std::fflush(stdout);
        ok = ok && rows[rows.size() - 1].ok && rows[rows.size() - 2].ok;
        if (!options.keep) std::filesystem::remove(input);
    }
    std::printf("\n");
    for (const char* tool : {"tarnvel", "udmconv"}) {
        const double ratio = GrowthRatio(rows, tool, &Measurement::seconds);
        const double cpu_ratio = GrowthRatio(rows, tool, &Measurement::cpu_seconds);
        std::printf(
            "%s: time per set at %d over time per set at %d: %.2f wall (goal at most %.1f: "
            "%s), %.2f CPU\n",
            tool, options.sets.back(), options.sets.front(), ratio, kGoalRatio,
            ratio <= kGoalRatio ? "met" : "NOT met", cpu_ratio);
    }
    if (options.keep) {
        std::printf("inputs kept in %s\n", dir.c_str());
    } else {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
    return ok ? 0 : 1;
}
