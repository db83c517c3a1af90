// Throughput of the UDM streams: writing and reading a property-set-shaped
// token sequence in the packed encoding (binary tokens, deflate,
// keystream) and in plain text.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "udm/udm_stream.h"

namespace {

// One TCOD-like group: keyword, braces, a code, a description, five doubles.
std::vector<UdmToken> PropertyTokens(int groups) {
    static const std::string kDescription = "Melt temperature";
    std::vector<UdmToken> tokens;
    auto add = [&](int code, std::int32_t integer, double real, std::string_view text) {
        UdmToken token;
        token.code = code;
        token.integer = integer;
        token.real = real;
        token.text = text;
        tokens.push_back(token);
    };
    for (int group = 0; group < groups; ++group) {
        add(UDM_TOKEN_WORD, 0, 0.0, "TCOD");
        add(UDM_TOKEN_OPEN, 0, 0.0, {});
        add(UDM_TOKEN_INT32, 11000 + group, 0.0, {});
        add(UDM_TOKEN_BLANKS, 1, 0.0, {});
        add(UDM_TOKEN_STRING, 0, 0.0, kDescription);
        for (int value = 0; value < 5; ++value) {
            add(UDM_TOKEN_BLANKS, 1, 0.0, {});
            add(UDM_TOKEN_DOUBLE, 0, 273.15 + group * 0.25 + value, {});
        }
        add(UDM_TOKEN_CLOSE, 0, 0.0, {});
        add(UDM_TOKEN_NEWLINES, 1, 0.0, {});
    }
    return tokens;
}

std::string Write(int encoding, const std::vector<UdmToken>& tokens) {
    std::string out;
    UdmStream* stream = udm_stream_open_write_memory("bench", encoding, &out);
    for (const UdmToken& token : tokens) udm_stream_put(stream, token);
    udm_stream_close(stream);
    return out;
}

void BM_WritePacked(benchmark::State& state) {
    std::vector<UdmToken> tokens = PropertyTokens(static_cast<int>(state.range(0)));
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::string out = Write(8, tokens);
        bytes = out.size();
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tokens.size()));
    state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_WritePacked)->Arg(1000)->Arg(20000);

void BM_ReadPacked(benchmark::State& state) {
    std::vector<UdmToken> tokens = PropertyTokens(static_cast<int>(state.range(0)));
    std::string packed = Write(8, tokens);
    std::int64_t count = 0;
    for (auto _ : state) {
        UdmStream* stream = udm_stream_open_read_memory("bench", packed, 0, nullptr);
        UdmToken token;
        while (udm_stream_get(stream, &token) != UDM_TOKEN_END) ++count;
        udm_stream_close(stream);
    }
    state.SetItemsProcessed(count);
}
BENCHMARK(BM_ReadPacked)->Arg(1000)->Arg(20000);

void BM_WriteText(benchmark::State& state) {
    std::vector<UdmToken> tokens = PropertyTokens(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        std::string out = Write(1, tokens);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(tokens.size()));
}
BENCHMARK(BM_WriteText)->Arg(1000)->Arg(20000);

void BM_ReadGzipTextBytes(benchmark::State& state) {
    std::string gzip = Write(5, PropertyTokens(static_cast<int>(state.range(0))));
    std::int64_t bytes = 0;
    for (auto _ : state) {
        UdmStream* stream = udm_stream_open_read_memory("bench", gzip, 0, nullptr);
        while (udm_stream_getc(stream) >= 0) ++bytes;
        udm_stream_close(stream);
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ReadGzipTextBytes)->Arg(20000);

}  // namespace

BENCHMARK_MAIN();
