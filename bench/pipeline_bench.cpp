// The tool's main jobs end to end: `tarnvel -asc` on generated tessel ASCII
// files of 1,000 and 10,000 grades under 100 suppliers, `tarnvel -rax` on a
// grade list of all grades over the database that the ASCII file imports
// into, and `tarnvel -vxmat` on a legacy file of as many grades, all run as
// the real program in the same run. Each run is a child process: its wall
// time is the benchmark time, its CPU time (user + system) and peak resident
// size come from wait4.
//
// With TARNVEL_BENCH_BASELINE naming another tarnvel program (for example
// one built from an older commit, with its tarnvel.ini beside it), the same
// runs are made with it too, so that old and new figures come from one run.
//
// After the runs a summary gives per conversion the CPU cost per grade at
// both sizes and its growth from 1,000 to 10,000 grades, and the cost per
// grade of -rax and -asc against -vxmat.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "child_run.h"
#include "legacy_property_file.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "services/vtout.h"
#include "udm/udm.h"

namespace {

namespace fs = std::filesystem;

constexpr int kSuppliers = 100;
constexpr int kSizes[] = {1000, 10000};

// One grade as the Standard grades look: texts, single points with and
// without units, a Cross-WLF list, a viscosity table, Tait coefficients and
// a generic link into the shipped Standard database. Each grade comes with
// its own Supplier line, so that the index build writes a line for it.
void AppendGrade(std::string& text, int i) {
    const std::string n = std::to_string(i);
    const std::string supplier = "SUP" + std::to_string(i % kSuppliers);
    text += "Supplier " + supplier + "\nGrade G" + std::to_string(i / kSuppliers) +
            "\nHeader Benchmark grade " + n + "\nManufacturer \"Maker " + supplier +
            "\"\nTrade_Name \"Trade " + n +
            "\"\nMaterial_Family \"PP\"\nCrystalline \"YES\"\nGeneric_Link GENERIC PP\n"
            "Conductivity 0.17\nSpecific_Heat 2740\nMelt_Density 752.3 kg/cu.m\n"
            "Solid_Density 905\nEjection_Temperature 93 deg.C\nNo_Flow_Temperature 133\n"
            "Melt__Temperature_Minimum 200\nMelt__Temperature_Maximum 280\n"
            "Melt__Temperature_Suggested " +
            std::to_string(220 + i % 20) +
            "\nMold__Temperature_Minimum 20\nMold__Temperature_Maximum 80\n"
            "Mold__Temperature_Suggested 50\nMaximum_Shear_Stress 0.25 MPa\n"
            "Maximum_Shear_Rate 100000\n"
            "Cross-WLF_Viscosity_Coefficients 5.2e+12 263.15 0 27 51.6 25000 0.28\n"
            "Viscosity Temperature Shear_Rate Viscosity deg.C 1/s Pa.s\n";
    const double base[] = {366, 289, 204};
    const double temperature[] = {200, 230, 280};
    const double rate[] = {100, 1000, 10000};
    const double factor[] = {1, 0.22, 0.044};
    for (int t = 0; t < 3; ++t) {
        for (int r = 0; r < 3; ++r) {
            char row[96];
            std::snprintf(row, sizeof row, "  %g %g %.4g\n", temperature[t], rate[r],
                          base[t] * factor[r] * (1 + (i % 7) * 0.01));
            text += row;
        }
    }
    text +=
        "Modified_Tait_PVT_Coefficients 441 1.5e-07 0.00127383 8.91678e-07 1e+08 0.0045 "
        "0.00114759 2.98343e-07 2.5e+08 0.0035 0.000126235 0.1 1.5e-08\n"
        "Tensile_Modulus 1.34e+09\nPoisson_Ratio 0.39\nMaterial_Notes \"Benchmark grade\"\n\n";
}

// The generated inputs of one size, in a private folder.
struct Inputs {
    std::string ascii;
    std::string list;
    std::string legacy;
};

class BenchFolder {
  public:
    BenchFolder() {
        std::string pattern = (fs::temp_directory_path() / "pipelinebenchXXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
        fs::create_directories(path_ / "tmp");
        for (const int count : kSizes) inputs_[count] = Paths(count);
        // The inputs are made in a child process: a child's peak resident
        // size starts from that of the process it was forked from, so the
        // bench itself stays small.
        const pid_t child = fork();
        if (child == 0) {
            vtOutSetSink(vtOutDiscard);
            for (const int count : kSizes) Make(count);
            _exit(0);
        }
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            std::abort();
    }
    ~BenchFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }

    const Inputs& For(int count) const { return inputs_.at(count); }
    // The folder that the runs' temporary files go to.
    std::string Temporary() const { return (path_ / "tmp").string(); }
    const fs::path& path() const { return path_; }

  private:
    Inputs Paths(int count) const {
        const fs::path folder = path_ / std::to_string(count);
        return {(folder / "grades.asc").string(), (folder / "db" / "grades.lst").string(),
                (folder / "legacy.udm").string()};
    }

    void Make(int count) const {
        const Inputs inputs = Paths(count);
        const fs::path folder = path_ / std::to_string(count);
        fs::create_directories(folder / "db");
        std::string text;
        for (int i = 0; i < count; ++i) AppendGrade(text, i);
        std::ofstream(inputs.ascii) << text;
        // The database that `matdb import` makes: the file read into a new
        // Local database of db/.
        const fs::path start = fs::current_path();
        fs::current_path(folder / "db");
        md_close_all();
        md_open(MD_LOCAL, MD_CREATE);
        const int stored = md_read_ascii_file(inputs.ascii.c_str()).stored;
        md_close_all();
        fs::current_path(start);
        if (stored != count) std::abort();
        // A grade list of every grade: 9 header lines, then supplier and grade.
        std::string list;
        for (int i = 0; i < 9; ++i) list += "header\n";
        for (int i = 0; i < count; ++i) {
            list += "|SUP" + std::to_string(i % kSuppliers) + "|G" +
                    std::to_string(i / kSuppliers) + "|\n";
        }
        std::ofstream(inputs.list) << list;
        if (!tarnvel::bench::WriteLegacyPropertyFile(inputs.legacy, count, UDM_MODE_TEXT)) {
            std::abort();
        }
    }

    fs::path path_;
    std::map<int, Inputs> inputs_;
};

const BenchFolder& Folder() {
    static const BenchFolder folder;
    return folder;
}

// Runs the program with the arguments, its output to /dev/null and its
// temporary files in the bench folder.
tarnvel::bench::ChildRun RunProgram(const std::string& program,
                                    const std::vector<std::string>& args) {
    tarnvel::bench::ChildSetting setting;
    setting.temporary = Folder().Temporary();
    return tarnvel::bench::RunChild(program, args, setting);
}

// The median CPU time per grade of every measured run, by benchmark name.
std::map<std::string, std::vector<double>>& CpuPerGrade() {
    static std::map<std::string, std::vector<double>> results;
    return results;
}

enum class Road { kAscii, kRax, kVxmat };

std::vector<std::string> Arguments(Road road, const Inputs& inputs, const std::string& output) {
    switch (road) {
        case Road::kAscii:
            return {"-asc", inputs.ascii, "-udb", output};
        case Road::kRax:
            return {"-rax", inputs.list, "-udb", output};
        case Road::kVxmat:
            break;
    }
    return {"-vxmat", inputs.legacy, "-udb", output};
}

void Convert(benchmark::State& state, const std::string& name, const std::string& program,
             Road road) {
    const int count = static_cast<int>(state.range(0));
    const Inputs& inputs = Folder().For(count);
    const std::string output = (Folder().path() / "out.udb").string();
    const std::vector<std::string> args = Arguments(road, inputs, output);
    double cpu = 0;
    double peak = 0;
    for (auto _ : state) {
        const tarnvel::bench::ChildRun run = RunProgram(program, args);
        if (!run.ended || run.status != 0) {
            state.SkipWithError("the conversion failed");
            return;
        }
        state.SetIterationTime(run.wall);
        cpu += run.cpu;
        peak = std::max(peak, run.peak_mib);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["grades/s"] = benchmark::Counter(static_cast<double>(count),
                                                    benchmark::Counter::kIsIterationInvariantRate);
    state.counters["cpu_grades/s"] = count * iterations / cpu;
    state.counters["cpu_us/grade"] = cpu / iterations / count * 1e6;
    state.counters["peak_rss_MiB"] = peak;
    CpuPerGrade()[name + "/" + std::to_string(count)].push_back(cpu / iterations / count);
}

void Register(const std::string& label, const std::string& program) {
    const struct {
        const char* name;
        Road road;
    } roads[] = {{"asc", Road::kAscii}, {"rax", Road::kRax}, {"vxmat", Road::kVxmat}};
    for (const auto& road : roads) {
        const std::string name = label + "/" + road.name;
        for (const int count : kSizes) {
            benchmark::RegisterBenchmark(name.c_str(),
                                         [name, program, r = road.road](benchmark::State& state) {
                                             Convert(state, name, program, r);
                                         })
                ->Arg(count)
                ->ArgName("grades")
                ->Iterations(count < 10000 ? 5 : 2)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
}

double Cost(const std::string& key) {
    const auto found = CpuPerGrade().find(key);
    if (found == CpuPerGrade().end() || found->second.empty()) return 0;
    return found->second.back();
}

void PrintSummary(const std::vector<std::string>& labels) {
    rusage self{};
    getrusage(RUSAGE_SELF, &self);
    std::printf(
        "\nPeak resident size of the bench itself (a floor of every child's figure): "
        "%.1f MiB\n",
        static_cast<double>(self.ru_maxrss) / 1024.0);
    std::printf("\nCPU cost per grade (microseconds), growth 1,000 -> 10,000, against -vxmat:\n");
    for (const std::string& label : labels) {
        for (const char* road : {"asc", "rax", "vxmat"}) {
            const std::string name = label + "/" + road;
            const double small = Cost(name + "/1000");
            const double large = Cost(name + "/10000");
            if (small <= 0 || large <= 0) continue;
            std::printf("  %-22s %8.1f %8.1f  growth %.2fx", name.c_str(), small * 1e6, large * 1e6,
                        large / small);
            const double vxmat = Cost(label + "/vxmat/10000");
            if (vxmat > 0) std::printf("  vs -vxmat %.2fx", large / vxmat);
            std::printf("\n");
        }
    }
    if (labels.size() > 1) {
        for (const char* road : {"asc", "rax", "vxmat"}) {
            const double now = Cost(labels[0] + "/" + road + "/10000");
            const double then = Cost(labels[1] + "/" + road + "/10000");
            if (now > 0 && then > 0) {
                std::printf("  %s at 10,000 grades: baseline / this = %.2fx\n", road, then / now);
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> labels{"tarnvel"};
    Register("tarnvel", TARNVEL_BENCH_PROGRAM);
    if (const char* baseline = std::getenv("TARNVEL_BENCH_BASELINE")) {
        labels.emplace_back("baseline");
        Register("baseline", baseline);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    Folder();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    PrintSummary(labels);
    return 0;
}
