// The UDM library at mesh scale: a model of 1,000,000 nodes (a 1000 x 1000
// grid) and 2,000,000 TRI3 elements (two per grid cell, the cells taken in
// turn), written as text and in the packed encoding and read back from
// both into a fresh model: the packed file once into the memory the model
// read before left free (a program reading one model after another) and
// once into memory mapped for the read (a program reading its first
// model). In the same run zlib alone deflates the packed
// write's uncompressed token bytes, and zlib and ISA-L alone inflate the
// packed file's compressed bytes (keystream taken off beforehand), so that
// the packed write and read compare with the codec's own time. Throughput
// counts the bytes of the token stream for the packed runs and the codecs,
// the bytes of the file for the text runs.
//
// Memory: the heap growth while building the model and while reading it
// back, per entity, against the entity's own allocation (its 16-byte
// header and payload) plus its entry in the class collection.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>

#include "services/sypmem.h"
#include "udm/udm.h"
#include "udm/udm_mesh.h"
#include "udm_bench_codecs.h"

namespace {

constexpr int kGridSide = 1000;
constexpr int kNodes = kGridSide * kGridSide;
constexpr int kTriangles = 2'000'000;
constexpr double kEntities = double{kNodes} + kTriangles;
// The reads and the inflates they are compared with are short: each runs
// this many times, so that a moment of load on a shared machine shows as
// one outlier among them rather than as the figure.
constexpr int kReadRepetitions = 5;
// Header in front of every payload.
constexpr std::size_t kEntityHeaderBytes = 16;
// An entity's place in its class collection: the 64-bit key and the entity
// pointer in a B-tree node.
constexpr std::size_t kCollectionNodeBytes = sizeof(std::pair<const std::uint64_t, void*>);

// The nodes of triangle e: cell e / 2 of the (side - 1)^2 cells, lower or
// upper half.
void TriangleNodes(int e, std::int32_t nodes[3]) {
    constexpr int kCells = (kGridSide - 1) * (kGridSide - 1);
    const int cell = (e / 2) % kCells;
    const int row = cell / (kGridSide - 1);
    const int col = cell % (kGridSide - 1);
    const std::int32_t corner = row * kGridSide + col + 1;
    if (e % 2 == 0) {
        nodes[0] = corner;
        nodes[1] = corner + 1;
        nodes[2] = corner + kGridSide;
    } else {
        nodes[0] = corner + 1;
        nodes[1] = corner + kGridSide + 1;
        nodes[2] = corner + kGridSide;
    }
}

UdmModel* BuildMesh() {
    UdmModel* model = nullptr;
    if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) != UDM_OK) return nullptr;
    for (int n = 0; n < kNodes; ++n) {
        udm_node_new(n + 1, (n % kGridSide) * 0.001, (n / kGridSide) * 0.001, 0.25);
    }
    std::int32_t nodes[3];
    for (int e = 0; e < kTriangles; ++e) {
        TriangleNodes(e, nodes);
        udm_element_new(UDM_CLASS_TRI3, e + 1, 21000, 1, nodes, 3);
    }
    return model;
}

bool HoldsTheMesh() {
    return udm_class_count(UDM_CLASS_NODE) == kNodes &&
           udm_class_count(UDM_CLASS_TRI3) == kTriangles;
}

struct Fixture {
    UdmModel* model = nullptr;
    std::size_t build_bytes = 0;
    std::string text;
    std::string packed;
    std::string deflated;
    std::string tokens;

    Fixture() {
        const std::size_t before = udm_bench::HeapInUse();
        model = BuildMesh();
        build_bytes = udm_bench::HeapInUse() - before;
        text = udm_bench::WriteToMemory(UDM_MODE_TEXT);
        packed = udm_bench::WriteToMemory(UDM_MODE_PACKED);
        deflated = udm_bench::UnscrambledDeflate(packed);
        tokens = udm_bench::InflatedTokens(packed);
    }
};

Fixture& Shared() {
    static Fixture fixture;
    udm_model_select(fixture.model);
    return fixture;
}

void SetEntityCounters(benchmark::State& state, std::size_t heap_bytes) {
    const double own =
        kEntityHeaderBytes + kCollectionNodeBytes + (sizeof(UdmNode) + sizeof(UdmTri3)) / 2.0;
    state.counters["heap_bytes_per_entity"] = static_cast<double>(heap_bytes) / kEntities;
    state.counters["own_bytes_per_entity"] = own;
}

void BM_BuildMesh(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) {
        UdmModel* model = BuildMesh();
        if (!HoldsTheMesh()) state.SkipWithError("the mesh was not built");
        udm_model_destroy(&model);
    }
    SetEntityCounters(state, fixture.build_bytes);
    udm_model_select(fixture.model);
}
BENCHMARK(BM_BuildMesh)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WriteText(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(udm_model_write("/dev/null", UDM_MODE_TEXT));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.text.size()));
    state.counters["file_bytes"] = static_cast<double>(fixture.text.size());
}
BENCHMARK(BM_WriteText)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_WritePacked(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(udm_model_write_packed("/dev/null"));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
    state.counters["token_bytes"] = static_cast<double>(fixture.tokens.size());
    state.counters["file_bytes"] = static_cast<double>(fixture.packed.size());
}
BENCHMARK(BM_WritePacked)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ZlibDeflateAlone(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(udm_bench::ZlibDeflateAlone(fixture.tokens));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
}
BENCHMARK(BM_ZlibDeflateAlone)->Unit(benchmark::kMillisecond)->Iterations(1);

// Where the memory of the model read comes from.
enum class Memory {
    // The pages the model read before left free, as in a program that
    // reads one model after another.
    kReused,
    // Pages mapped for this read: idle memory goes back to the system
    // first, as in a program that reads its first model.
    kFresh,
};

// Reads the bytes into a fresh model; only the read is timed. The heap
// growth of the read (the model it made) is reported per entity.
void ReadBenchmark(benchmark::State& state, const std::string& bytes, int mode,
                   Memory memory = Memory::kReused) {
    // fmemopen takes a writable buffer, but a stream opened "rb" only
    // reads it; no copy is made, whose allocation would take heap pages
    // the read would otherwise reuse.
    char* const data = const_cast<char*>(bytes.data());
    std::size_t heap_bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (memory == Memory::kFresh) tarnvel::services::ReleaseIdleChunks();
        const std::size_t before = udm_bench::HeapInUse();
        UdmModel* model = nullptr;
        udm_model_open(nullptr, UDM_MODE_TEXT, &model);
        std::FILE* file = fmemopen(data, bytes.size(), "rb");
        state.ResumeTiming();
        const int status = udm_model_read_file(file, "bench", mode);
        state.PauseTiming();
        std::fclose(file);
        heap_bytes = udm_bench::HeapInUse() - before;
        if (status != UDM_OK || !HoldsTheMesh()) state.SkipWithError("the mesh did not read back");
        udm_model_destroy(&model);
        state.ResumeTiming();
    }
    SetEntityCounters(state, heap_bytes);
}

void BM_ReadText(benchmark::State& state) {
    const Fixture& fixture = Shared();
    ReadBenchmark(state, fixture.text, UDM_MODE_TEXT);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.text.size()));
}
BENCHMARK(BM_ReadText)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_ReadPacked(benchmark::State& state) {
    const Fixture& fixture = Shared();
    ReadBenchmark(state, fixture.packed, UDM_MODE_PACKED);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
}
BENCHMARK(BM_ReadPacked)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kReadRepetitions);

void BM_ReadPackedFreshMemory(benchmark::State& state) {
    const Fixture& fixture = Shared();
    ReadBenchmark(state, fixture.packed, UDM_MODE_PACKED, Memory::kFresh);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
}
BENCHMARK(BM_ReadPackedFreshMemory)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kReadRepetitions);

void BM_ZlibInflateAlone(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(udm_bench::ZlibInflateAlone(fixture.deflated));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
}
BENCHMARK(BM_ZlibInflateAlone)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kReadRepetitions);

void BM_IsalInflateAlone(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(udm_bench::IsalInflateAlone(fixture.deflated));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
}
BENCHMARK(BM_IsalInflateAlone)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(kReadRepetitions);

}  // namespace

BENCHMARK_MAIN();
