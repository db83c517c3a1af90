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
#include <vector>

#include "convert/vx2k_to_udb.h"
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
        WriteClassTable();
        WriteLegacy(File("legacy.udm"), UDM_MODE_TEXT);
        WriteLegacy(File("legacy.udb"), UDM_MODE_PACKED);
    }
    ~BenchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const char* name) const { return path_ + "/" + name; }
    const std::string& path() const { return path_; }

  private:
    void WriteClassTable() const {
        std::FILE* out = std::fopen(File("generic_class.csv").c_str(), "w");
        if (out == nullptr) return;
        std::fputs("PP,230\nABS,240\nPA66,280\n", out);
        std::fclose(out);
    }

    // One grade with the codes a legacy file usually carries.
    static void AddGrade(int label) {
        auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, 20000, label));
        udm_tset_set_description(tset, "Bench grade : Bench supplier");
        const double melt = 503.15 + label % 10;
        const char* family = label % 3 == 0 ? "PP" : label % 3 == 1 ? "ABS" : "PA66";
        const struct {
            int code;
            const char* text;
            std::vector<double> values;
        } codes[] = {
            {1004,
             "Tait",
             {441, 1.5e-7, 1.27e-3, 8.9e-7, 1e8, 4.5e-3, 1.15e-3, 3e-7, 2.5e8, 3.5e-3, 1.3e-4, 0.1,
              1.5e-8}},
            {1313, "Cross-WLF", {0.28, 25000, 6.7e12, 263.15, 0, 27, 51.6}},
            {11002, "Melt", {melt}},
            {1800, "Melt range", {473.15, 553.15}},
            {1802, "Mould range", {293.15, 353.15}},
            {11106, "Mould", {323.15}},
            {1550, "Transition", {396.15}},
            {1504, "Ejection", {366.15}},
            {1140, "Specific heat", {melt, 2740, 0}},
            {1240, "Conductivity", {melt, 0.17, 0}},
            {1330, "Melt flow rate", {503.15, 2.16, 12}},
            {1602, "Mechanical", {1340, 1340, 0.39, 0.39, 482}},
            {1702, "Expansion", {9e-5, 9e-5}},
            {1997, "Bench supplier", {}},
            {1998, "Bench grade", {}},
            {1999, family, {}},
            {1992, "Polypropylene", {}},
        };
        for (const auto& code : codes) {
            UdmTcod* tcod = udm_tset_code(tset, code.code, 1);
            udm_tcod_set_description(tcod, code.text);
            udm_tcod_set_values(tcod, static_cast<int>(code.values.size()), code.values.data());
        }
    }

    static void WriteLegacy(const std::string& path, int mode) {
        UdmModel* model = nullptr;
        if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) != UDM_OK) return;
        udm_global_set("UDMW", "TYPE", "20000");
        for (int label = 1; label <= kSets; ++label) AddGrade(label);
        udm_model_write(path.c_str(), mode);
        udm_model_destroy(&model);
    }

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
