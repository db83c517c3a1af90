// Writes the catalogue of a generated personal database (matdb site's
// work: every grade read, its page and the index written) at 100, 1,000 and
// 10,000 grades, without plots and with a drawing of usual size embedded in
// every page; the time per grade should stay flat as the database grows.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "catalogue/catalogue_site.h"
#include "matdb/matdb.h"
#include "matdb_bench_grades.h"
#include "services/vtout.h"

namespace {

using tarnvel::catalogue::GradePlots;
using tarnvel::catalogue::PlotKind;

constexpr int kSuppliers = 100;

void WriteDatabase(const std::string& folder, int count) {
    std::filesystem::create_directory(folder);
    if (chdir(folder.c_str()) != 0) std::abort();
    md_open(MD_LOCAL, MD_CREATE);
    for (int i = 0; i < count; ++i) {
        const MdGrade grade = tarnvel::bench::BenchmarkGrade(
            std::string("SUP").append(std::to_string(i % kSuppliers)),
            std::string("G").append(std::to_string(i / kSuppliers)), i);
        md_write_grade(MD_LOCAL, &grade);
    }
    md_close_all();
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

void BM_Site(benchmark::State& state, bool plots) {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    const int count = static_cast<int>(state.range(0));
    char name[] = "/tmp/site-bench-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    const std::string root = name;
    WriteDatabase(root + "/db", count);
    md_open(MD_LOCAL, MD_READ);
    tarnvel::catalogue::SiteOptions options;
    options.slot = MD_LOCAL;
    options.folder = root + "/site";
    options.database = "db";
    options.plots = plots ? UsualDrawing() : tarnvel::catalogue::NoPlots();
    tarnvel::catalogue::SiteReport report;
    for (auto _ : state) report = tarnvel::catalogue::WriteSite(options);
    md_close_all();
    if (chdir("/") == 0) std::filesystem::remove_all(root);
    if (!report.written || report.grades != count) state.SkipWithError("the site is incomplete");
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK_CAPTURE(BM_Site, no_plots, false)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->ArgName("grades")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Site, with_svg, true)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->ArgName("grades")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
