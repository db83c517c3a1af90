// Compares two generated personal databases that differ in one value, at
// 1,000 and 10,000 grades: each read whole once, then matched by name, so
// the cost per grade should stay flat as the databases grow.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_diff.h"
#include "matdb_bench_grades.h"
#include "services/vtout.h"

namespace {

using tarnvel::matdb::md_diff;
using tarnvel::matdb::md_read_snapshot;
using tarnvel::matdb::MdSnapshot;

constexpr int kSuppliers = 100;

// A grade of usual size: a few single points, a PVT table and a text.
MdGrade MakeGrade(int i) {
    return tarnvel::bench::BenchmarkGrade(std::string("SUP").append(std::to_string(i % kSuppliers)),
                                          std::string("G").append(std::to_string(i / kSuppliers)),
                                          i);
}

// Writes count grades into a new personal database in folder; grade
// changed (if any) gets another melt density.
void WriteDatabase(const std::string& folder, int count, int changed) {
    std::filesystem::create_directory(folder);
    if (chdir(folder.c_str()) != 0) std::abort();
    md_open(MD_LOCAL, MD_CREATE);
    for (int i = 0; i < count; ++i) {
        MdGrade grade = MakeGrade(i);
        if (i == changed) grade.items[2].values[0] = MdWord::Real(960.0f);
        md_write_grade(MD_LOCAL, &grade);
    }
    md_close_all();
}

MdSnapshot ReadDatabase(const std::string& folder) {
    if (chdir(folder.c_str()) != 0) std::abort();
    md_open(MD_LOCAL, MD_READ);
    MdSnapshot snapshot = md_read_snapshot(MD_LOCAL, false);
    md_close_all();
    return snapshot;
}

void BM_DiffDatabases(benchmark::State& state) {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    const int count = static_cast<int>(state.range(0));
    char name[] = "/tmp/matdb-diff-bench-XXXXXX";
    if (mkdtemp(name) == nullptr) std::abort();
    const std::string root = name;
    WriteDatabase(root + "/a", count, -1);
    WriteDatabase(root + "/b", count, count / 2);
    std::size_t differences = 0;
    for (auto _ : state) {
        const MdSnapshot a = ReadDatabase(root + "/a");
        const MdSnapshot b = ReadDatabase(root + "/b");
        differences = md_diff(a, b).size();
    }
    if (chdir("/") == 0) std::filesystem::remove_all(root);
    if (differences != 1) state.SkipWithError("the one changed value was not the one difference");
    state.SetItemsProcessed(state.iterations() * count);
}

BENCHMARK(BM_DiffDatabases)
    ->Arg(1000)
    ->Arg(10000)
    ->ArgName("grades")
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
