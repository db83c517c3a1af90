// The JSON form of a large property model (udmconv show --json) beside the
// text write of the same model in the same run: 20,000 property sets of 40
// codes with 8 values each, both written to /dev/null. Throughput counts
// the bytes each writes. The JSON write also reports the most heap it held
// beyond the model (sampled at every buffer it hands to the stream), for
// this model and for one of a tenth of its size: the writer emits as it
// goes, so that figure should not grow with the model.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "inspect/model_show.h"
#include "inspect/output.h"
#include "udm/udm.h"
#include "udm_bench_codecs.h"
#include "udm_bench_model.h"

namespace {

using tarnvel::inspect::Output;
using tarnvel::inspect::Selection;
using udm_bench::HeapInUse;

// A stream that discards what it is given, counting the bytes and, when
// asked (the heap walk is slow: not in the timed runs), the largest heap
// in use seen at each write.
struct Sink {
    bool sample_heap = false;
    std::size_t bytes = 0;
    std::size_t peak_heap = 0;
};

ssize_t SinkWrite(void* cookie, const char*, size_t size) {
    auto* sink = static_cast<Sink*>(cookie);
    sink->bytes += size;
    if (sink->sample_heap) sink->peak_heap = std::max(sink->peak_heap, HeapInUse());
    return static_cast<ssize_t>(size);
}

// Writes the JSON of the current model into the sink.
void WriteJson(Sink* sink) {
    cookie_io_functions_t functions{};
    functions.write = SinkWrite;
    std::FILE* file = fopencookie(sink, "w", functions);
    {
        Output out(file);
        tarnvel::inspect::WriteShowJson(out, 8, Selection{});
        out.Finish();
    }
    std::fclose(file);
}

struct Model {
    UdmModel* model;
    std::size_t text_size;
    explicit Model(int sets) : model(udm_bench::BuildModel(sets)) {
        text_size = udm_bench::WriteToMemory(UDM_MODE_TEXT).size();
    }
};

Model& Shared(int sets) {
    static Model large(udm_bench::kSets);
    static Model small(udm_bench::kSets / 10);
    Model& chosen = sets == udm_bench::kSets ? large : small;
    udm_model_select(chosen.model);
    return chosen;
}

void BM_WriteText(benchmark::State& state) {
    const Model& model = Shared(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        benchmark::DoNotOptimize(udm_model_write("/dev/null", UDM_MODE_TEXT));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * model.text_size));
    state.counters["file_bytes"] = static_cast<double>(model.text_size);
}
BENCHMARK(BM_WriteText)->Arg(udm_bench::kSets)->Unit(benchmark::kMillisecond);

void BM_WriteJson(benchmark::State& state) {
    Shared(static_cast<int>(state.range(0)));
    Sink sink;
    for (auto _ : state) {
        sink = Sink{};
        WriteJson(&sink);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * sink.bytes));
    state.counters["json_bytes"] = static_cast<double>(sink.bytes);
    // One more write, untimed, for the heap it holds beyond the model.
    const std::size_t before = HeapInUse();
    Sink sampled{true};
    WriteJson(&sampled);
    state.counters["peak_heap_beyond_model"] =
        static_cast<double>(sampled.peak_heap > before ? sampled.peak_heap - before : 0);
}
BENCHMARK(BM_WriteJson)
    ->Arg(udm_bench::kSets)
    ->Arg(udm_bench::kSets / 10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
