// Imports generated tessel ASCII files of 1,000 and 10,000 grades under 100
// suppliers into a new personal database, so that grades per second and the
// growth of the cost per grade show side by side.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "services/vtout.h"

namespace {

constexpr int kSuppliers = 100;

// One grade of usual size: header, texts, single points with and without
// units, a coefficient list and a PVT table.
void AppendGrade(std::string& text, int i) {
    const std::string n = std::to_string(i);
    text += "Supplier SUP" + std::to_string(i % kSuppliers) + "\nGrade G" +
            std::to_string(i / kSuppliers) + "\nHeader Benchmark grade " + n +
            "\nManufacturer \"Maker " + n + "\"\nTrade_Name \"Trade " + n +
            "\"\nConductivity 0.2\nSpecific_Heat 1800\nMelt_Density 950 kg/cu.m\n"
            "Ejection_Temperature 90 deg.C\nViscosity 3 1 2 3 4 5 6 7\n"
            "PVT_Specific_Volume Temperature Pressure\n";
    for (int row = 0; row < 6; ++row) {
        text += std::to_string(200 + row) + " " + std::to_string(row * 10) + "e6 0.00" +
                std::to_string(100 + row) + "\n";
    }
}

std::string FolderName() {
    char name[] = "/tmp/mdascii-bench-XXXXXX";
    if (!mkdtemp(name)) std::abort();
    return name;
}

void BM_ImportAscii(benchmark::State& state) {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    const int count = static_cast<int>(state.range(0));
    const std::string folder = FolderName();
    if (chdir(folder.c_str()) != 0) std::abort();
    std::string text;
    for (int i = 0; i < count; ++i) AppendGrade(text, i);
    const std::string file = folder + "/grades.asc";
    std::ofstream(file) << text;
    int stored = 0;
    for (auto _ : state) {
        state.PauseTiming();
        md_close_all();
        for (const char* name : {"mtfp.rax", "mtgp.rax", "mtdp.rax"}) std::remove(name);
        md_open(MD_LOCAL, MD_CREATE);
        state.ResumeTiming();
        stored = md_read_ascii_file(file.c_str()).stored;
    }
    md_close_all();
    if (stored != count) state.SkipWithError("not every grade was stored");
    state.SetItemsProcessed(state.iterations() * count);
    state.SetBytesProcessed(state.iterations() * static_cast<long>(text.size()));
    if (chdir("/") == 0) std::filesystem::remove_all(folder);
}

BENCHMARK(BM_ImportAscii)
    ->Arg(1000)
    ->Arg(10000)
    ->ArgName("grades")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
