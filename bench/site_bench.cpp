// Writes the catalogue of a generated personal database (matdb site's
// work: every grade read, its page and the index written) at 100, 1,000 and
// 10,000 grades, without plots and with a drawing of usual size embedded in
// every page; the time per grade should stay flat as the database grows.
// The real_charts runs fill the database with copies of the grades of the
// build's Standard database (their links resolved) and draw their viscosity
// and PVT charts with the curves library, as matdb site does: the goal is a
// catalogue of 1,000 grades in under 10 seconds.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "catalogue/catalogue_site.h"
#include "curves/curves.h"
#include "matdb/matdb.h"
#include "matdb/md_diff.h"
#include "matdb_bench_grades.h"
#include "services/vtout.h"

namespace {

using tarnvel::catalogue::GradePlots;
using tarnvel::catalogue::PlotKind;

constexpr int kSuppliers = 100;

enum class Grades { kGenerated, kStandardCopies };

// The grades of the build's Standard database, their links resolved.
const std::vector<MdGrade>& StandardGrades() {
    static const std::vector<MdGrade> grades = [] {
        setenv("VTPATH", TARNVEL_BENCH_STANDARD, 1);
        std::vector<MdGrade> read;
        if (md_open(MD_STANDARD, MD_READ) == MD_OPEN_FAILED) return read;
        read = tarnvel::matdb::md_read_snapshot(MD_STANDARD, true).grades;
        md_close_all();
        return read;
    }();
    return grades;
}

void WriteDatabase(const std::string& folder, int count, Grades kind) {
    std::filesystem::create_directory(folder);
    if (chdir(folder.c_str()) != 0) std::abort();
    md_open(MD_LOCAL, MD_CREATE);
    for (int i = 0; i < count; ++i) {
        std::string supplier = std::string("SUP").append(std::to_string(i % kSuppliers));
        std::string code = std::string("G").append(std::to_string(i / kSuppliers));
        MdGrade grade = tarnvel::bench::BenchmarkGrade(supplier, code, i);
        if (kind == Grades::kStandardCopies && !StandardGrades().empty()) {
            grade = StandardGrades()[static_cast<std::size_t>(i) % StandardGrades().size()];
            grade.supplier = supplier;
            grade.code = code;
        }
        md_write_grade(MD_LOCAL, &grade);
    }
    md_close_all();
}

GradePlots RealCharts() {
    return [](const MdGrade& grade, PlotKind kind, std::vector<std::string>* warnings) {
        return tarnvel::curves::GradeChartSvg(grade,
                                              kind == PlotKind::kPvt
                                                  ? tarnvel::curves::PlotKind::kPvt
                                                  : tarnvel::curves::PlotKind::kViscosity,
                                              warnings);
    };
}

// An SVG of about 40 kB with ids and references, as a chart of a few
// curves with its glyphs comes out of a drawing library.
GradePlots UsualDrawing() {
    std::string svg =
        "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
        "width=\"800\" height=\"600\"><defs>";
    for (int glyph = 0; glyph < 60; ++glyph)
        svg += "<g id=\"glyph0-" + std::to_string(glyph) +
               "\"><path d=\"M 1.5 -6.2 L 3.1 -6.2 L 3.1 0 L 1.5 0 Z\"/></g>";
    svg += "</defs>";
    for (int point = 0; point < 400; ++point)
        svg += "<use xlink:href=\"#glyph0-" + std::to_string(point % 60) + "\" x=\"" +
               std::to_string(point) + "\" y=\"20\"/><path d=\"M 10 10 L 20 20\"/>";
    svg += "</svg>\n";
    return [svg](const MdGrade&, PlotKind, std::vector<std::string>*) { return svg; };
}

enum class Drawing { kNone, kUsual, kReal };

void BM_Site(benchmark::State& state, Drawing drawing) {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    const int count = static_cast<int>(state.range(0));
    char name[] = "/tmp/site-bench-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    const std::string root = name;
    const bool real = drawing == Drawing::kReal;
    if (real && StandardGrades().empty()) {
        state.SkipWithError("the Standard database cannot be read");
        return;
    }
    WriteDatabase(root + "/db", count, real ? Grades::kStandardCopies : Grades::kGenerated);
    md_open(MD_LOCAL, MD_READ);
    tarnvel::catalogue::SiteOptions options;
    options.slot = MD_LOCAL;
    options.folder = root + "/site";
    options.database = "db";
    options.plots = drawing == Drawing::kUsual ? UsualDrawing()
                    : real                     ? RealCharts()
                                               : tarnvel::catalogue::NoPlots();
    tarnvel::catalogue::SiteReport report;
    for (auto _ : state) report = tarnvel::catalogue::WriteSite(options);
    md_close_all();
    if (chdir("/") == 0) std::filesystem::remove_all(root);
    if (!report.written || report.grades != count) state.SkipWithError("the site is incomplete");
    state.SetItemsProcessed(state.iterations() * count);
}

// 100, 1,000 and 10,000 grades, three runs each.
void ThreeSizes(benchmark::internal::Benchmark* bench) {
    bench->Arg(100)->Arg(1000)->Arg(10000)->ArgName("grades")->Iterations(3);
    bench->Unit(benchmark::kMillisecond);
}

BENCHMARK_CAPTURE(BM_Site, no_plots, Drawing::kNone)->Apply(ThreeSizes);
BENCHMARK_CAPTURE(BM_Site, with_svg, Drawing::kUsual)->Apply(ThreeSizes);
BENCHMARK_CAPTURE(BM_Site, real_charts, Drawing::kReal)
    ->Arg(100)
    ->Arg(1000)
    ->ArgName("grades")
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
