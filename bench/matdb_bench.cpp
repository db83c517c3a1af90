// Writes grades under 100 suppliers into a new personal database and reads
// them all back by name, at several database sizes, so that the growth of
// the cost per grade shows side by side.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_lookup_cache.h"
#include "matdb_bench_grades.h"
#include "services/vtout.h"

namespace {

constexpr int kSuppliers = 100;

std::string SupplierName(int i) {
    return std::string("SUP").append(std::to_string(i % kSuppliers));
}
std::string GradeCode(int i) {
    return std::string("G").append(std::to_string(i / kSuppliers));
}

// A grade of usual size: a few single points, a PVT table and a text.
MdGrade MakeGrade(int i) {
    return tarnvel::bench::BenchmarkGrade(SupplierName(i), GradeCode(i), i);
}

// A fresh private folder as the working directory, removed at the end.
class ScratchFolder {
  public:
    ScratchFolder() {
        char name[] = "/tmp/matdb-bench-XXXXXX";
        if (mkdtemp(name)) path_ = name;
        if (path_.empty() || chdir(path_.c_str()) != 0) std::abort();
    }
    ~ScratchFolder() {
        md_close_all();
        if (chdir("/") == 0) std::filesystem::remove_all(path_);
    }

  private:
    std::string path_;
};

void Silence() {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
}

void WriteAll(int count) {
    md_open(MD_LOCAL, MD_CREATE);
    for (int i = 0; i < count; ++i) {
        const MdGrade grade = MakeGrade(i);
        md_write_grade(MD_LOCAL, &grade);
    }
}

// Writes the grades into a new database; range(1) as for the reads.
void BM_WriteGrades(benchmark::State& state) {
    Silence();
    tarnvel::matdb::SetLookupCacheEnabled(state.range(1) != 0);
    const int count = static_cast<int>(state.range(0));
    std::optional<ScratchFolder> folder;
    for (auto _ : state) {
        state.PauseTiming();
        folder.emplace();
        state.ResumeTiming();
        WriteAll(count);
        state.PauseTiming();
        folder.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
    tarnvel::matdb::SetLookupCacheEnabled(true);
}

// Reads every grade back by name; with range(1) 0 the lookup cache of the
// access layer is off, so both ways are measured in one run.
void BM_ReadByName(benchmark::State& state) {
    Silence();
    tarnvel::matdb::SetLookupCacheEnabled(state.range(1) != 0);
    const int count = static_cast<int>(state.range(0));
    ScratchFolder folder;
    WriteAll(count);
    md_close_all();
    md_open(MD_LOCAL, MD_READ);
    int found = 0;
    for (auto _ : state) {
        for (int i = 0; i < count; ++i) {
            const MdPosition at = md_find(MD_LOCAL, SupplierName(i).c_str(), GradeCode(i).c_str());
            std::unique_ptr<MdGrade> grade = at.valid ? md_read_grade(at) : nullptr;
            found += grade != nullptr;
            benchmark::DoNotOptimize(grade);
        }
    }
    if (found != count * static_cast<int>(state.iterations()))
        state.SkipWithError("a written grade was not found");
    state.SetItemsProcessed(state.iterations() * count);
    tarnvel::matdb::SetLookupCacheEnabled(true);
}

BENCHMARK(BM_WriteGrades)
    ->ArgsProduct({{1000, 3000, 10000}, {1, 0}})
    ->ArgNames({"grades", "cache"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadByName)
    ->ArgsProduct({{1000, 3000, 10000}, {1, 0}})
    ->ArgNames({"grades", "cache"})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
