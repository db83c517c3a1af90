// The memory manager against the C runtime's malloc and free on blocks of 1
// to 128 bytes: allocate-and-release pairs, batches released in allocation
// order, and a churning working set. Every pattern runs three times: while
// the process has only ever had one thread, on two threads at once, and on
// one thread again once threads have existed (the allocator then takes its
// lock on every call).
#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <string>
#include <vector>

#include "services/sypmem.h"

namespace {

struct MemoryManager {
    static void* Allocate(std::size_t size) { return sypMalloc(size); }
    static void Release(void* block) { sypFree(block); }
};

struct RuntimeHeap {
    static void* Allocate(std::size_t size) { return std::malloc(size); }
    static void Release(void* block) { std::free(block); }
};

// Sizes 1 to 128 in a scattered order.
std::size_t SizeOf(std::size_t step) {
    return step * 37 % 128 + 1;
}

// One block at a time, released at once.
template <typename Heap>
void Pairs(benchmark::State& state) {
    std::size_t step = 0;
    for (auto _ : state) {
        void* block = Heap::Allocate(SizeOf(step++));
        benchmark::DoNotOptimize(block);
        Heap::Release(block);
    }
    state.SetItemsProcessed(state.iterations());
}

// 1000 blocks allocated, then released in the order of allocation.
template <typename Heap>
void Batches(benchmark::State& state) {
    std::array<void*, 1000> blocks{};
    for (auto _ : state) {
        for (std::size_t step = 0; step < blocks.size(); ++step) {
            blocks[step] = Heap::Allocate(SizeOf(step));
        }
        benchmark::ClobberMemory();
        for (void* block : blocks) Heap::Release(block);
    }
    state.SetItemsProcessed(state.iterations() * blocks.size());
}

// 4096 live blocks; each step replaces a pseudo-randomly chosen one with a
// block of another size.
template <typename Heap>
void Churn(benchmark::State& state) {
    std::vector<void*> live(4096);
    std::size_t step = 0;
    for (void*& block : live) block = Heap::Allocate(SizeOf(step++));
    std::uint32_t random = 12345;
    for (auto _ : state) {
        random = random * 1664525 + 1013904223;
        void*& block = live[random >> 20];
        Heap::Release(block);
        block = Heap::Allocate(SizeOf(step++));
        benchmark::DoNotOptimize(block);
    }
    for (void* block : live) Heap::Release(block);
    state.SetItemsProcessed(state.iterations());
}

struct Pattern {
    const char* name;
    void (*memory_manager)(benchmark::State&);
    void (*runtime_heap)(benchmark::State&);
};

constexpr Pattern kPatterns[] = {
    {"Pairs", Pairs<MemoryManager>, Pairs<RuntimeHeap>},
    {"Batches", Batches<MemoryManager>, Batches<RuntimeHeap>},
    {"Churn", Churn<MemoryManager>, Churn<RuntimeHeap>},
};

// Registered in this order, and run in it: the first phase must run before
// any thread of the process has been started.
struct Phase {
    const char* name;
    int threads;
};

constexpr Phase kPhases[] = {{"first_thread", 1}, {"two_threads", 2}, {"after_threads", 1}};

void RegisterAll() {
    for (const Phase& phase : kPhases) {
        for (const Pattern& pattern : kPatterns) {
            const std::string name = std::string(pattern.name) + "/" + phase.name;
            benchmark::RegisterBenchmark((name + "/sypMalloc").c_str(), pattern.memory_manager)
                ->Threads(phase.threads);
            benchmark::RegisterBenchmark((name + "/malloc").c_str(), pattern.runtime_heap)
                ->Threads(phase.threads);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    RegisterAll();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
