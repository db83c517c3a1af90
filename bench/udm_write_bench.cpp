// Writing a large property model: 20,000 property sets of 40 codes with 8
// values each, written as text and in the packed encoding (binary tokens,
// deflate, keystream), against zlib alone deflating the same uncompressed
// binary token bytes with the same parameters (raw deflate, window bits -15,
// default level, memory level 8, 4096-byte chunks). Throughput is counted in
// the bytes of the uncompressed token stream for the packed write and zlib,
// and in the bytes of the file for the text write. The model's memory per
// stored value is reported as a counter of the model-building benchmark.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <zlib.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "udm/udm.h"
#include "udm/udm_stream.h"
#include "udm_bench_codecs.h"
#include "udm_bench_model.h"

namespace {

using udm_bench::BuildModel;
using udm_bench::kCodesPerSet;
using udm_bench::kSets;
using udm_bench::kValuesPerCode;
constexpr std::size_t kChunk = udm_bench::kChunk;

using udm_bench::HeapInUse;

struct Fixture {
    UdmModel* model = nullptr;
    // Heap bytes taken by the model.
    std::size_t model_bytes = 0;
    // The uncompressed binary token bytes of a packed write.
    std::string tokens;
    std::size_t text_size = 0;

    Fixture() {
        const std::size_t before = HeapInUse();
        model = BuildModel();
        model_bytes = HeapInUse() - before;
        tokens = PackedTokenBytes();
        text_size = TextSize();
    }

    static std::string PackedTokenBytes() {
        std::FILE* file = std::tmpfile();
        udm_model_write_file(file, "bench", UDM_MODE_PACKED);
        std::string packed(static_cast<std::size_t>(std::ftell(file)), '\0');
        std::rewind(file);
        if (std::fread(packed.data(), 1, packed.size(), file) != packed.size()) packed.clear();
        std::fclose(file);
        std::string tokens;
        int encoding = 0;
        UdmStream* stream = udm_stream_open_read_memory("bench", packed, 8, &encoding);
        std::array<char, kChunk> chunk;
        while (std::size_t got = udm_stream_read(stream, chunk.data(), chunk.size())) {
            tokens.append(chunk.data(), got);
        }
        udm_stream_close(stream);
        return tokens;
    }

    static std::size_t TextSize() {
        std::FILE* file = std::tmpfile();
        udm_model_write_file(file, "bench", UDM_MODE_TEXT);
        const auto size = static_cast<std::size_t>(std::ftell(file));
        std::fclose(file);
        return size;
    }
};

Fixture& Shared() {
    static Fixture fixture;
    udm_model_select(fixture.model);
    return fixture;
}

void BM_BuildModel(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) {
        UdmModel* model = BuildModel();
        benchmark::DoNotOptimize(model);
        udm_model_destroy(&model);
    }
    const double values = double{kSets} * kCodesPerSet * kValuesPerCode;
    state.counters["model_bytes_per_value"] = static_cast<double>(fixture.model_bytes) / values;
    state.counters["values"] = values;
    udm_model_select(fixture.model);
}
BENCHMARK(BM_BuildModel)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteText(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) {
        benchmark::DoNotOptimize(udm_model_write("/dev/null", UDM_MODE_TEXT));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.text_size));
    state.counters["file_bytes"] = static_cast<double>(fixture.text_size);
}
BENCHMARK(BM_WriteText)->Unit(benchmark::kMillisecond);

void BM_WritePacked(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) {
        benchmark::DoNotOptimize(udm_model_write_packed("/dev/null"));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
    state.counters["token_bytes"] = static_cast<double>(fixture.tokens.size());
}
BENCHMARK(BM_WritePacked)->Unit(benchmark::kMillisecond);

void BM_ZlibDeflateAlone(benchmark::State& state) {
    const Fixture& fixture = Shared();
    std::size_t produced = 0;
    for (auto _ : state) {
        produced = udm_bench::ZlibDeflateAlone(fixture.tokens);
        benchmark::DoNotOptimize(produced);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.tokens.size()));
    state.counters["compressed_bytes"] = static_cast<double>(produced);
}
BENCHMARK(BM_ZlibDeflateAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
