// Keeping a database: searching it and writing it out as text, on generated
// personal databases of 1,000 and 10,000 grades under 100 suppliers.
//   FindInSnapshot  md_grade_matches over grades already in memory: the
//                   search itself;
//   FindCommand     md_find_grades over the open database, as matdb find
//                   runs it: every grade read from the files and tested;
//   ExportText      md_ascii_grade_text over grades in memory: the writer;
//   ExportCommand   every grade read from the open database and written as
//                   text, as matdb export runs it (the file write aside);
//   FindProcess,    the matdb program itself, run as a child process:
//   ExportProcess   start, open, search or export (written to a file through
//                   the safe write), exit; wall time, the child's CPU time as
//                   a counter.
// Items processed are grades, so the grades/s of the two sizes side by side
// show whether the cost per grade stays flat.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "child_run.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii_writer.h"
#include "matdb/md_diff.h"
#include "matdb/md_find.h"
#include "matdb_bench_grades.h"
#include "services/vtout.h"

namespace {

namespace md = tarnvel::matdb;

constexpr int kSuppliers = 100;

// One generated database per size, written once and kept open for reading
// until the program ends.
class Database {
  public:
    explicit Database(int count) {
        char name[] = "/tmp/matdb-keeping-bench-XXXXXX";
        if (mkdtemp(name) == nullptr) std::abort();
        folder_ = name;
        if (chdir(name) != 0) std::abort();
        md_open(MD_LOCAL, MD_CREATE);
        for (int i = 0; i < count; ++i) {
            MdGrade grade = tarnvel::bench::BenchmarkGrade(
                std::string("SUP").append(std::to_string(i % kSuppliers)),
                std::string("G").append(std::to_string(i / kSuppliers)), i);
            // Every tenth grade of each supplier a little denser, so a search
            // has something to find and much to pass over.
            if ((i / kSuppliers) % 10 == 0) grade.items[2].values[0] = MdWord::Real(960.0f);
            md_write_grade(MD_LOCAL, &grade);
        }
        md_close_all();
    }
    ~Database() {
        if (chdir("/") == 0) std::filesystem::remove_all(folder_);
    }
    const std::string& folder() const { return folder_; }
    // Opens this database as Local for reading (closing any other).
    void Open() const {
        md_close_all();
        if (chdir(folder_.c_str()) != 0) std::abort();
        md_open(MD_LOCAL, MD_READ);
    }

  private:
    std::string folder_;
};

// The databases made so far; main removes them while the database layer
// is still alive.
std::map<int, std::unique_ptr<Database>>& Databases() {
    static std::map<int, std::unique_ptr<Database>> databases;
    return databases;
}

const Database& DatabaseOf(int count) {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    std::unique_ptr<Database>& database = Databases()[count];
    if (!database) database = std::make_unique<Database>(count);
    database->Open();
    return *database;
}

// Grades of SUP7 with Melt Density (property 3) of at least 955 and a PVT
// table: one grade in a thousand.
md::MdQuery Query() {
    md::MdQuery query;
    query.supplier = "sup7";
    query.has = {12};
    query.where = {{3, md::MdCompare::kGreaterEqual, 955.0f}};
    return query;
}

void Finish(benchmark::State& state, int count, std::size_t found, std::size_t expected) {
    if (found != expected) state.SkipWithError("the search found other grades than expected");
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_FindInSnapshot(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    DatabaseOf(count);
    const md::MdSnapshot snapshot = md::md_read_snapshot(MD_LOCAL, false);
    const md::MdQuery query = Query();
    std::size_t found = 0;
    for (auto _ : state) {
        found = 0;
        for (const MdGrade& grade : snapshot.grades) found += md::md_grade_matches(grade, query);
    }
    Finish(state, count, found, count / 1000);
}

void BM_FindCommand(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    DatabaseOf(count);
    const md::MdQuery query = Query();
    std::size_t found = 0;
    for (auto _ : state) found = md::md_find_grades(MD_LOCAL, query).grades.size();
    Finish(state, count, found, count / 1000);
}

void BM_ExportText(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    DatabaseOf(count);
    const md::MdSnapshot snapshot = md::md_read_snapshot(MD_LOCAL, false);
    std::size_t bytes = 0, losses = 0;
    for (auto _ : state) {
        std::string text;
        std::vector<md::MdAsciiLoss> lost;
        for (const MdGrade& grade : snapshot.grades)
            md::md_ascii_grade_text(grade, false, text, lost);
        bytes = text.size();
        losses = lost.size();
        benchmark::DoNotOptimize(text.data());
    }
    if (losses != 0) state.SkipWithError("the writer could not carry a grade exactly");
    state.counters["bytes_per_grade"] = static_cast<double>(bytes) / count;
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_ExportCommand(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    DatabaseOf(count);
    std::size_t grades = 0;
    for (auto _ : state) {
        std::string text;
        std::vector<md::MdAsciiLoss> lost;
        grades = 0;
        for (MdPosition supplier = md_first_supplier(md_position(MD_LOCAL)); supplier.valid;
             supplier = md_next_supplier(supplier)) {
            for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
                if (at.supplier != supplier.supplier) break;
                const std::unique_ptr<MdGrade> grade = md_read_grade(at);
                if (!grade) continue;
                md::md_ascii_grade_text(*grade, false, text, lost);
                ++grades;
            }
        }
        benchmark::DoNotOptimize(text.data());
    }
    if (grades != static_cast<std::size_t>(count)) state.SkipWithError("grades went missing");
    state.SetItemsProcessed(state.iterations() * count);
}

// One run of the matdb program with args, its output thrown away.
tarnvel::bench::ChildRun RunMatdb(const std::vector<std::string>& args) {
    return tarnvel::bench::RunChild(std::string(TARNVEL_BENCH_BIN_DIR) + "/matdb", args);
}

// Times the program on the database of state.range(0) grades with the
// arguments that follow the folder.
void TimeProcess(benchmark::State& state, const std::string& command,
                 const std::vector<std::string>& rest) {
    const int count = static_cast<int>(state.range(0));
    const std::string folder = DatabaseOf(count).folder();
    std::vector<std::string> args = {command, folder};
    args.insert(args.end(), rest.begin(), rest.end());
    double cpu = 0;
    for (auto _ : state) {
        const tarnvel::bench::ChildRun run = RunMatdb(args);
        if (run.status != 0) {
            state.SkipWithError(("matdb " + command + " failed").c_str());
            return;
        }
        state.SetIterationTime(run.wall);
        cpu += run.cpu;
    }
    state.counters["child_cpu_ms"] = 1000 * cpu / static_cast<double>(state.iterations());
    state.SetItemsProcessed(state.iterations() * count);
}

void BM_FindProcess(benchmark::State& state) {
    TimeProcess(state, "find", {"--supplier", "sup7", "--has", "12", "--where", "3 >= 955"});
}

void BM_ExportProcess(benchmark::State& state) {
    const std::string output = DatabaseOf(static_cast<int>(state.range(0))).folder() + "/all.asc";
    TimeProcess(state, "export", {"-o", output});
}

#define KEEPING_BENCHMARK(name)         \
    BENCHMARK(name)                     \
        ->Arg(1000)                     \
        ->Arg(10000)                    \
        ->ArgName("grades")             \
        ->Unit(benchmark::kMillisecond) \
        ->MinTime(0.5)

KEEPING_BENCHMARK(BM_FindInSnapshot);
KEEPING_BENCHMARK(BM_FindCommand);
KEEPING_BENCHMARK(BM_ExportText);
KEEPING_BENCHMARK(BM_ExportCommand);
KEEPING_BENCHMARK(BM_FindProcess)->UseManualTime();
KEEPING_BENCHMARK(BM_ExportProcess)->UseManualTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    md_close_all();
    Databases().clear();
    return 0;
}
