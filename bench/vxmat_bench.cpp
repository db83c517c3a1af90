// Throughput of the -vxmat conversion: a generated legacy property file of
// 10,000 grades is loaded, converted set by set and written packed, as the
// tool does it. Reports sets per second and the peak resident memory.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "convert/vx2k_to_udb.h"
#include "legacy_property_file.h"
#include "udm/udm.h"

namespace {

constexpr int kSets = 10000;

// A private directory holding the legacy files, removed at exit.
class BenchDir {
  public:
    BenchDir() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vxmatbenchXXXXXX").string();
        path_ = mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
        tarnvel::bench::WriteGenericClassTable(File("generic_class.csv"));
        tarnvel::bench::WriteLegacyPropertyFile(File("legacy.udm"), kSets, UDM_MODE_TEXT);
        tarnvel::bench::WriteLegacyPropertyFile(File("legacy.udb"), kSets, UDM_MODE_PACKED);
    }
    ~BenchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const char* name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

const BenchDir& Files() {
    static const BenchDir dir;
    return dir;
}

// Sends standard output (the progress lines) to /dev/null while it lives.
class QuietStdout {
  public:
    QuietStdout() : saved_(dup(STDOUT_FILENO)) {
        std::fflush(stdout);
        const int null_fd = open("/dev/null", O_WRONLY);
        dup2(null_fd, STDOUT_FILENO);
        close(null_fd);
    }
    ~QuietStdout() {
        std::fflush(stdout);
        dup2(saved_, STDOUT_FILENO);
        close(saved_);
    }

  private:
    int saved_;
};

double PeakResidentMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

void Convert(benchmark::State& state, const char* input) {
    const BenchDir& files = Files();
    tarnvel::convert::MVx2kToUdb converter(files.path());
    const std::string in = files.File(input);
    const std::string out = files.File("out.udb");
    bool ok = true;
    for (auto _ : state) {
        QuietStdout quiet;
        ok = converter.convert(in.c_str(), out.c_str()) && ok;
    }
    if (!ok) state.SkipWithError("conversion failed");
    state.SetItemsProcessed(state.iterations() * kSets);
    state.counters["sets/s"] = benchmark::Counter(static_cast<double>(kSets),
                                                  benchmark::Counter::kIsIterationInvariantRate);
    state.counters["peak_rss_MiB"] = PeakResidentMiB();
    state.counters["output_bytes"] = static_cast<double>(std::filesystem::file_size(out));
}

void BM_VxmatTextInput(benchmark::State& state) {
    Convert(state, "legacy.udm");
}
void BM_VxmatPackedInput(benchmark::State& state) {
    Convert(state, "legacy.udb");
}

BENCHMARK(BM_VxmatTextInput)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VxmatPackedInput)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
