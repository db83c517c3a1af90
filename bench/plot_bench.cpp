// The cost of a plot of one grade, the goal being well under 100 ms for
// the whole `matdb plot` command: the grade ALDERPOL AP120 of the build's
// Standard database (Cross-WLF, viscosity points fitted to the 1st-order,
// 2nd-order and matrix models, a Tait model), timed
//   - as its curves are sampled (the fits included),
//   - as the chart is made and drawn as SVG and as PNG to /dev/null,
//   - as the command itself, a child process from start to exit.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "curves/chart.h"
#include "curves/curves.h"
#include "matdb/matdb.h"

extern char** environ;

namespace {

using tarnvel::curves::CurveSet;
using tarnvel::curves::ImageFormat;
using tarnvel::curves::PlotKind;

const std::string kStandard = std::string(TARNVEL_BENCH_PRODUCT_DIR) + "/data/dat";

const MdGrade& Grade() {
    static const std::unique_ptr<MdGrade> grade = [] {
        setenv("VTPATH", kStandard.c_str(), 1);
        if (md_open(MD_STANDARD, MD_READ) == MD_OPEN_FAILED) return std::unique_ptr<MdGrade>();
        return md_read_by_name(MD_STANDARD, "ALDERPOL", "AP120");
    }();
    return *grade;
}

PlotKind KindOf(const benchmark::State& state) {
    return state.range(0) == 0 ? PlotKind::kViscosity : PlotKind::kPvt;
}

void BM_SampleCurves(benchmark::State& state) {
    for (auto _ : state) {
        CurveSet set = tarnvel::curves::GradeCurves(Grade(), KindOf(state));
        benchmark::DoNotOptimize(set.curves.data());
    }
}

void BM_DrawChart(benchmark::State& state) {
    const PlotKind kind = KindOf(state);
    const auto format = static_cast<ImageFormat>(state.range(1));
    std::FILE* sink = std::fopen("/dev/null", "wb");
    std::string error;
    for (auto _ : state) {
        const std::vector<CurveSet> sets = {tarnvel::curves::GradeCurves(Grade(), kind)};
        if (!tarnvel::curves::DrawChart(tarnvel::curves::MakeChart(sets, kind), format, sink,
                                        &error))
            state.SkipWithError(error.c_str());
    }
    std::fclose(sink);
}

// The whole command, its output in a private folder that is removed.
void BM_PlotCommand(benchmark::State& state) {
    char folder[] = "/tmp/plot-bench-XXXXXX";
    if (mkdtemp(folder) == nullptr) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::string out = std::string(folder) + "/plot.png";
    const std::string program = std::string(TARNVEL_BENCH_BIN_DIR) + "/matdb";
    std::vector<std::string> words = {program, "plot",        kStandard, "ALDERPOL",
                                      "AP120", "--viscosity", "-o",      out};
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    for (auto _ : state) {
        pid_t child = 0;
        int status = 0;
        if (posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0 ||
            waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
            state.SkipWithError("matdb plot failed");
    }
    std::remove(out.c_str());
    rmdir(folder);
}

BENCHMARK(BM_SampleCurves)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawChart)
    ->Args({0, static_cast<int>(ImageFormat::kSvg)})
    ->Args({0, static_cast<int>(ImageFormat::kPng)})
    ->Args({1, static_cast<int>(ImageFormat::kSvg)})
    ->Args({1, static_cast<int>(ImageFormat::kPng)})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlotCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
