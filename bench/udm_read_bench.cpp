// Reading a large property model back: 20,000 property sets of 40 codes
// with 8 values each (the model of the write benchmark), read from its text
// file and from its packed file (binary tokens, deflate, keystream) into a
// fresh model, against zlib and ISA-L alone inflating the same compressed
// bytes (unscrambled beforehand, raw inflate, output discarded), and against creating the same
// model through the parser's calls without any input. Throughput is counted in the bytes of the
// file for the text read, and in the bytes of the uncompressed token stream for the packed read and
// for zlib, so that their times compare directly. Making and freeing the target model is not timed.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <string>

#include "udm/udm.h"
#include "udm/udm_encodings.h"
#include "udm_bench_codecs.h"
#include "udm_bench_model.h"

namespace {

using udm_bench::BuildModel;
using udm_bench::IsalInflateAlone;
using udm_bench::kCodesPerSet;
using udm_bench::kSets;
using udm_bench::kValuesPerCode;
using udm_bench::UnscrambledDeflate;
using udm_bench::WriteToMemory;
using udm_bench::ZlibInflateAlone;

struct Fixture {
    std::string text;
    std::string packed;
    std::string deflated;
    // Bytes of the uncompressed binary token stream of the packed file.
    std::size_t token_bytes = 0;

    Fixture() {
        UdmModel* model = BuildModel();
        text = WriteToMemory(UDM_MODE_TEXT);
        packed = WriteToMemory(UDM_MODE_PACKED);
        udm_model_destroy(&model);
        deflated = UnscrambledDeflate(packed);
        token_bytes = ZlibInflateAlone(deflated);
    }
};

const Fixture& Shared() {
    static const Fixture fixture;
    return fixture;
}

// Reads the bytes into a fresh model; only the read is timed.
void ReadBenchmark(benchmark::State& state, const std::string& bytes, int mode) {
    // fmemopen takes a writable buffer, but a stream opened "rb" only
    // reads it; no copy is made, whose allocation would take heap pages
    // the read would otherwise reuse.
    char* const data = const_cast<char*>(bytes.data());
    for (auto _ : state) {
        state.PauseTiming();
        UdmModel* model = nullptr;
        udm_model_open(nullptr, UDM_MODE_TEXT, &model);
        std::FILE* file = fmemopen(data, bytes.size(), "rb");
        state.ResumeTiming();
        const int status = udm_model_read_file(file, "bench", mode);
        state.PauseTiming();
        if (status != UDM_OK || udm_class_count(UDM_CLASS_TSET) != kSets) {
            state.SkipWithError("the model did not read back");
        }
        std::fclose(file);
        udm_model_destroy(&model);
        state.ResumeTiming();
    }
}

void BM_ReadText(benchmark::State& state) {
    const Fixture& fixture = Shared();
    ReadBenchmark(state, fixture.text, UDM_MODE_TEXT);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.text.size()));
    state.counters["file_bytes"] = static_cast<double>(fixture.text.size());
}
BENCHMARK(BM_ReadText)->Unit(benchmark::kMillisecond);

void BM_ReadPacked(benchmark::State& state) {
    const Fixture& fixture = Shared();
    ReadBenchmark(state, fixture.packed, UDM_MODE_PACKED);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.token_bytes));
    state.counters["file_bytes"] = static_cast<double>(fixture.packed.size());
}
BENCHMARK(BM_ReadPacked)->Unit(benchmark::kMillisecond);

// The floor of any reader of this model: the same sets and codes created
// through the calls the parser makes (udm_tcod_new per code, udm_tset_create
// per set) from values already in memory, without any input.
void BM_CreateSameModelOnly(benchmark::State& state) {
    std::array<double, kValuesPerCode> values{};
    for (auto _ : state) {
        state.PauseTiming();
        UdmModel* model = nullptr;
        udm_model_open(nullptr, UDM_MODE_TEXT, &model);
        state.ResumeTiming();
        for (int set = 0; set < kSets; ++set) {
            UdmTcod* head = nullptr;
            UdmTcod** tail = &head;
            for (int code = 0; code < kCodesPerSet; ++code) {
                for (int i = 0; i < kValuesPerCode; ++i) {
                    values[i] = 273.15 + set * 0.5 + code + i * 0.125;
                }
                udm_tcod_new(1000 + code * 7, code % 8 == 0 ? "Not Available" : "", kValuesPerCode,
                             values.data(), nullptr, tail);
                tail = &(*tail)->next;
            }
            udm_tset_create(21000, set + 1, "PA 66 grade", head, nullptr);
        }
        state.PauseTiming();
        udm_model_destroy(&model);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_CreateSameModelOnly)->Unit(benchmark::kMillisecond);

void BM_ZlibInflateAlone(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(ZlibInflateAlone(fixture.deflated));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.token_bytes));
    state.counters["token_bytes"] = static_cast<double>(fixture.token_bytes);
}
BENCHMARK(BM_ZlibInflateAlone)->Unit(benchmark::kMillisecond);

void BM_IsalInflateAlone(benchmark::State& state) {
    const Fixture& fixture = Shared();
    for (auto _ : state) benchmark::DoNotOptimize(IsalInflateAlone(fixture.deflated));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * fixture.token_bytes));
}
BENCHMARK(BM_IsalInflateAlone)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
