// The ordered collection against std::map on one million random keys:
// insertion, lookup of every key in a different random order, and an
// in-order walk. Two maps are measured: one keyed by the number itself, and
// one keyed by the item pointer with the same indirect comparison the
// collection uses.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "services/vxmemlist.h"

namespace {

constexpr std::size_t kKeyCount = 1'000'000;

// The numbers (in insertion order) and the same items in lookup order.
struct Keys {
    std::vector<std::uint32_t> numbers;
    std::vector<const std::uint32_t*> lookup_order;

    Keys() : numbers(kKeyCount) {
        std::mt19937 random(20240611);
        for (std::uint32_t& number : numbers) number = static_cast<std::uint32_t>(random());
        lookup_order.reserve(kKeyCount);
        for (const std::uint32_t& number : numbers) lookup_order.push_back(&number);
        std::shuffle(lookup_order.begin(), lookup_order.end(), random);
    }
};

const Keys& SharedKeys() {
    static const Keys keys;
    return keys;
}

void* ItemOf(const std::uint32_t& number) {
    return const_cast<std::uint32_t*>(&number);
}

int CompareNumbers(const void* key, const void* item, int* result) {
    const auto a = *static_cast<const std::uint32_t*>(key);
    const auto b = *static_cast<const std::uint32_t*>(item);
    *result = a < b ? kOcBefore : (a == b ? kOcEqual : kOcAfter);
    return 0;
}

struct IndirectLess {
    bool operator()(const std::uint32_t* a, const std::uint32_t* b) const { return *a < *b; }
};

using NumberMap = std::map<std::uint32_t, void*>;
using IndirectMap = std::map<const std::uint32_t*, void*, IndirectLess>;

OcCollection* BuildCollection(const Keys& keys) {
    OcCollection* collection = nullptr;
    ocCreate(&collection, CompareNumbers);
    for (const std::uint32_t& number : keys.numbers) ocInsert(collection, ItemOf(number));
    return collection;
}

void FillMap(NumberMap& map, const Keys& keys) {
    for (const std::uint32_t& number : keys.numbers) map.emplace(number, ItemOf(number));
}

void FillMap(IndirectMap& map, const Keys& keys) {
    for (const std::uint32_t& number : keys.numbers) map.emplace(&number, ItemOf(number));
}

void SetRate(benchmark::State& state) {
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kKeyCount));
}

void BM_CollectionInsert(benchmark::State& state) {
    const Keys& keys = SharedKeys();
    for (auto _ : state) {
        OcCollection* collection = BuildCollection(keys);
        state.PauseTiming();
        ocDestroy(&collection);
        state.ResumeTiming();
    }
    SetRate(state);
}

template <typename Map>
void BM_MapInsert(benchmark::State& state) {
    const Keys& keys = SharedKeys();
    for (auto _ : state) {
        Map map;
        FillMap(map, keys);
        benchmark::DoNotOptimize(map);
        state.PauseTiming();
        map.clear();
        state.ResumeTiming();
    }
    SetRate(state);
}

void BM_CollectionFind(benchmark::State& state) {
    const Keys& keys = SharedKeys();
    OcCollection* collection = BuildCollection(keys);
    for (auto _ : state) {
        for (const std::uint32_t* key : keys.lookup_order) {
            void* item = nullptr;
            ocFind(collection, key, &item);
            benchmark::DoNotOptimize(item);
        }
    }
    ocDestroy(&collection);
    SetRate(state);
}

const std::uint32_t& KeyOf(const NumberMap&, const std::uint32_t* key) {
    return *key;
}
const std::uint32_t* KeyOf(const IndirectMap&, const std::uint32_t* key) {
    return key;
}

template <typename Map>
void BM_MapFind(benchmark::State& state) {
    const Keys& keys = SharedKeys();
    Map map;
    FillMap(map, keys);
    for (auto _ : state) {
        for (const std::uint32_t* key : keys.lookup_order) {
            auto found = map.find(KeyOf(map, key));
            benchmark::DoNotOptimize(found);
        }
    }
    SetRate(state);
}

int CountVisit(void* item, void* user_data) {
    benchmark::DoNotOptimize(item);
    ++*static_cast<std::size_t*>(user_data);
    return 0;
}

void BM_CollectionWalk(benchmark::State& state) {
    OcCollection* collection = BuildCollection(SharedKeys());
    for (auto _ : state) {
        std::size_t visited = 0;
        ocForEach(collection, CountVisit, &visited);
        benchmark::DoNotOptimize(visited);
    }
    ocDestroy(&collection);
    SetRate(state);
}

void BM_CollectionStep(benchmark::State& state) {
    OcCollection* collection = BuildCollection(SharedKeys());
    for (auto _ : state) {
        void* item = nullptr;
        for (ocFirst(collection, &item); item != nullptr; ocNext(collection, item, &item)) {
            benchmark::DoNotOptimize(item);
        }
    }
    ocDestroy(&collection);
    SetRate(state);
}

template <typename Map>
void BM_MapWalk(benchmark::State& state) {
    Map map;
    FillMap(map, SharedKeys());
    for (auto _ : state) {
        for (const auto& entry : map) benchmark::DoNotOptimize(entry.second);
    }
    SetRate(state);
}

constexpr int kRounds = 5;

BENCHMARK(BM_CollectionInsert)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_MapInsert<NumberMap>)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_MapInsert<IndirectMap>)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_CollectionFind)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_MapFind<NumberMap>)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_MapFind<IndirectMap>)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_CollectionWalk)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_CollectionStep)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_MapWalk<NumberMap>)->Unit(benchmark::kMillisecond)->Iterations(kRounds);
BENCHMARK(BM_MapWalk<IndirectMap>)->Unit(benchmark::kMillisecond)->Iterations(kRounds);

}  // namespace

BENCHMARK_MAIN();
