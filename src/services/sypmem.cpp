#include "services/sypmem.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#ifdef TARNVEL_SYSTEM_ALLOC

// Every allocation goes to the C runtime, so that a sanitizer sees each block.

void* sypMalloc(std::size_t size) {
    return std::malloc(size);
}
void* sypCalloc(std::size_t count, std::size_t size) {
    std::size_t total = 0;
    return __builtin_mul_overflow(count, size, &total) ? nullptr : std::calloc(count, size);
}
void* sypRealloc(void* block, std::size_t size) {
    return std::realloc(block, size);
}
void sypFree(void* block) {
    std::free(block);
}

namespace tarnvel::services {
SmallBlockStats GetSmallBlockStats() {
    return {};
}
int SmallBlockClass(const void*) {
    return -1;
}
void ReleaseIdleChunks() {}
bool UsingExternalMemoryManager() {
    return false;
}
}  // namespace tarnvel::services

#else  // the small-block allocator, or an external memory manager

#include <dlfcn.h>
#include <malloc.h>
#include <sched.h>

#include <atomic>
#include <cwctype>

#include "services/smallblock.h"

namespace {

using tarnvel::services::kSmallBlockLimit;
using tarnvel::services::smallblock::PageHeader;
namespace smallblock = tarnvel::services::smallblock;

// The entry points of an external memory manager; all null while the
// built-in allocator serves.
struct ExternalManager {
    void* (*malloc)(std::size_t);
    void* (*calloc)(std::size_t, std::size_t);
    void* (*realloc)(void*, std::size_t);
    void (*free)(void*);
};

// Written once during start-up, before g_startup turns kReady.
constinit ExternalManager g_external{};

enum StartupState : int { kNotStarted, kStarting, kReady };
constinit std::atomic<int> g_startup{kNotStarted};
// Set on the thread running start-up: loading the external library may run
// its initialisers, which may allocate; the built-in allocator serves them.
constinit thread_local bool t_starting = false;

bool IsLegacyName(const wchar_t* name) {
    const wchar_t legacy[] = L"LEGACY";
    for (const wchar_t* expected = legacy; *expected != L'\0'; ++expected, ++name) {
        if (std::towupper(static_cast<std::wint_t>(*name)) != static_cast<std::wint_t>(*expected)) {
            return false;
        }
    }
    return *name == L'\0';
}

template <typename Function>
Function Lookup(void* library, const char* name) {
    return reinterpret_cast<Function>(dlsym(library, name));
}

// Installs the external memory manager when "libmemmgr.so" can be loaded,
// does not name itself "LEGACY" (in any case) and has all four entry points.
void ChooseMemoryManager() {
    void* library = dlopen("libmemmgr.so", RTLD_NOW);
    if (library == nullptr) return;
    const auto type = Lookup<const wchar_t* (*)()>(library, "mmGetMemoryManagerType");
    const wchar_t* name = type != nullptr ? type() : nullptr;
    ExternalManager manager{};
    if (name != nullptr && !IsLegacyName(name)) {
        manager.malloc = Lookup<decltype(manager.malloc)>(library, "mmMalloc");
        manager.calloc = Lookup<decltype(manager.calloc)>(library, "mmCalloc");
        manager.realloc = Lookup<decltype(manager.realloc)>(library, "mmRealloc");
        manager.free = Lookup<decltype(manager.free)>(library, "mmFree");
    }
    if (manager.malloc && manager.calloc && manager.realloc && manager.free) {
        g_external = manager;
    } else {
        dlclose(library);
    }
}

// Blocks over 128 bytes come from the C runtime's heap. Freed memory at its
// top stays mapped up to this much, and only blocks from this size on are
// mapped apart: a model read after another one reuses the pages the first
// one faulted in (the runtime would otherwise trim them at every release and
// fault them in again, 4 KiB at a time), and large buffers made for every
// file are not mapped and unmapped each time.
constexpr int kHeapTrimThreshold = 256 << 20;
constexpr int kHeapMapThreshold = 32 << 20;

[[gnu::noinline]] void StartUp() {
    int expected = kNotStarted;
    if (g_startup.compare_exchange_strong(expected, kStarting, std::memory_order_acquire)) {
        t_starting = true;
        mallopt(M_TRIM_THRESHOLD, kHeapTrimThreshold);
        mallopt(M_MMAP_THRESHOLD, kHeapMapThreshold);
        smallblock::Initialise();
        ChooseMemoryManager();
        t_starting = false;
        g_startup.store(kReady, std::memory_order_release);
        return;
    }
    if (t_starting) return;
    while (g_startup.load(std::memory_order_acquire) != kReady) sched_yield();
}

// Chooses the memory manager before the first block is served.
inline void EnsureStarted() {
    if (g_startup.load(std::memory_order_acquire) != kReady) [[unlikely]] {
        StartUp();
    }
}

// Start-up also runs among the static initialisers, ahead of main.
[[maybe_unused]] const bool g_started_early = (EnsureStarted(), true);

bool IsSmallRequest(std::size_t size) {
    return size - 1 < kSmallBlockLimit;
}

// A small block, or a C runtime block when the request is not small or no
// page could be had.
void* AllocateBuiltIn(std::size_t size) {
    if (IsSmallRequest(size)) {
        if (void* block = smallblock::Allocate(size)) return block;
    }
    return std::malloc(size);
}

// Moves a block into a fresh one of the given size, copying what fits;
// the old block is released only once the new one exists.
void* MoveBlock(void* block, std::size_t old_size, std::size_t size) {
    void* fresh = sypMalloc(size);
    if (fresh == nullptr) return nullptr;
    std::memcpy(fresh, block, std::min(old_size, size));
    sypFree(block);
    return fresh;
}

}  // namespace

void* sypMalloc(std::size_t size) {
    EnsureStarted();
    if (g_external.malloc != nullptr) return g_external.malloc(size);
    return AllocateBuiltIn(size);
}

void* sypCalloc(std::size_t count, std::size_t size) {
    std::size_t total = 0;
    if (__builtin_mul_overflow(count, size, &total)) return nullptr;
    EnsureStarted();
    if (g_external.calloc != nullptr) return g_external.calloc(count, size);
    if (!IsSmallRequest(total)) return std::calloc(count, size);
    void* block = AllocateBuiltIn(total);
    if (block != nullptr) std::memset(block, 0, total);
    return block;
}

void* sypRealloc(void* block, std::size_t size) {
    if (block == nullptr) return sypMalloc(size);
    EnsureStarted();
    if (const PageHeader* page = smallblock::OwningPage(block)) {
        const std::size_t block_size = smallblock::BlockSize(page);
        if (size > block_size) return MoveBlock(block, block_size, size);
        if (size == 0) sypFree(block);
        return size == 0 ? nullptr : block;
    }
    if (g_external.realloc != nullptr) return g_external.realloc(block, size);
    if (!IsSmallRequest(size)) return std::realloc(block, size);
    // A runtime block shrinking into a small block. Runtime blocks of 128
    // bytes or less exist too (a zero-byte request, a fallback when no chunk
    // could be had), so never copy more than the old block holds.
    return MoveBlock(block, malloc_usable_size(block), size);
}

void sypFree(void* block) {
    if (block == nullptr || smallblock::Release(block)) return;
    EnsureStarted();
    if (g_external.free != nullptr) {
        g_external.free(block);
    } else {
        std::free(block);
    }
}

namespace tarnvel::services {
bool UsingExternalMemoryManager() {
    EnsureStarted();
    return g_external.malloc != nullptr;
}
}  // namespace tarnvel::services

#endif  // TARNVEL_SYSTEM_ALLOC

char* sypStrdup(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t length = std::strlen(text);
    auto* copy = static_cast<char*>(sypMalloc(length + 1));
    if (copy != nullptr) std::memcpy(copy, text, length + 1);
    return copy;
}

char* sypStrndup(const char* text, std::size_t max_length) {
    if (text == nullptr || *text == '\0' || max_length == 0) return nullptr;
    const std::size_t length = strnlen(text, max_length);
    auto* copy = static_cast<char*>(sypMalloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}
