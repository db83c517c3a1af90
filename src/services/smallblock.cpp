#include "services/smallblock.h"

#ifndef TARNVEL_SYSTEM_ALLOC

#include <pthread.h>
#include <sys/mman.h>
#include <sys/single_threaded.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "services/syperror.h"
#include "services/sypmem.h"

namespace tarnvel::services::smallblock {

// A free block holds the next free block of its page in its first 8 bytes.
struct FreeBlock {
    FreeBlock* next;
};

struct PageHeader {
    // Blocks handed out and not yet released.
    int in_use;
    // Released blocks. Blocks never handed out are not on it: they follow
    // the in_use + (length of this list) blocks handed out so far, and are
    // taken in address order when the list is empty.
    FreeBlock* free_list;
    // Neighbours in the ring of pages of this class that have free blocks;
    // next also links the shared list of completely free pages.
    PageHeader* prev;
    PageHeader* next;
    // The page's own address; with the signature it marks a live page.
    PageHeader* self;
    std::uint32_t signature;
    // The size class, or kUnassignedClass while the page has none.
    std::uint32_t size_class;
    // Blocks that fit in the page.
    int capacity;
};

namespace {

constexpr std::size_t kPageSize = 4096;
// Chunks are taken in this size; the first page boundary above the chunk
// start begins the first page, so a chunk yields 63 pages.
constexpr std::size_t kChunkSize = kSmallBlockChunkSize;
static_assert(kChunkSize == 0x40000);
// Chunks are cut from regions of 2 MiB mapped from the system, aligned on
// their size and marked for transparent huge pages: a model of millions of
// entities then costs a few hundred page faults and TLB entries instead of
// tens of thousands. Memory goes back to the system a whole region at a
// time (ReleaseIdleChunks), so that huge pages are given back whole.
constexpr std::size_t kRegionSize = kSmallBlockRegionSize;
static_assert(kRegionSize % kChunkSize == 0);
constexpr int kPagesPerChunk = 63;
constexpr int kClassCount = 16;
constexpr std::size_t kGranule = 8;
// Marks a page header written by this allocator.
constexpr std::uint32_t kPageSignature = 0x74d3a651;
constexpr std::uint32_t kUnassignedClass = 0xffff;
// Blocks start 64 bytes into the page, not right after the 56-byte header:
// every block whose size is a multiple of 16 is then aligned on 16 bytes, as
// the C++ allocation operators must deliver for objects of such sizes. The
// capacity is counted from there, so no block runs past the page.
constexpr std::size_t kBlocksOffset = 64;
static_assert(sizeof(PageHeader) <= kBlocksOffset && kBlocksOffset % 16 == 0);

// The start of a chunk, ahead of its first page boundary.
struct Chunk {
    // The next older chunk.
    Chunk* next;
    // Pages handed out so far, from the first page on.
    int pages_used;
    // Set while ReleaseIdleChunks runs, in the first chunk of each region:
    // whether a chunk of the region holds a live block, and the next region
    // to unmap.
    bool region_busy;
    Chunk* next_region;
};
static_assert(sizeof(Chunk) <= kPageSize);

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

// The allocator's one lock. Taking it when free costs one atomic
// compare-and-swap; a waiter spins briefly, then sleeps on the lock word.
class HeapLock {
  public:
    void lock() {
        int expected = kFree;
        if (!state_.compare_exchange_strong(expected, kLocked, std::memory_order_acquire,
                                            std::memory_order_relaxed)) {
            LockContended();
        }
    }
    void unlock() {
        if (state_.exchange(kFree, std::memory_order_release) == kContended) state_.notify_one();
    }
    // In a forked child the only thread holds no lock, whatever it inherited.
    void Reset() { state_.store(kFree, std::memory_order_relaxed); }

  private:
    static constexpr int kFree = 0;
    static constexpr int kLocked = 1;
    static constexpr int kContended = 2;
    static constexpr int kSpins = 128;

    [[gnu::noinline]] void LockContended() {
        for (int spin = 0; spin < kSpins; ++spin) {
            CpuRelax();
            int expected = kFree;
            if (state_.load(std::memory_order_relaxed) == kFree &&
                state_.compare_exchange_weak(expected, kLocked, std::memory_order_acquire,
                                             std::memory_order_relaxed)) {
                return;
            }
        }
        while (state_.exchange(kContended, std::memory_order_acquire) != kFree) {
            state_.wait(kContended, std::memory_order_relaxed);
        }
    }

    std::atomic<int> state_{kFree};
};

constinit HeapLock g_lock;

// Holds the heap lock for a scope. While the process has only ever had one
// thread, nobody else can be inside the allocator and the lock is skipped;
// the C runtime clears the flag before it starts a second thread.
class HeapGuard {
  public:
    HeapGuard() : locked_(__libc_single_threaded == 0) {
        if (locked_) g_lock.lock();
    }
    ~HeapGuard() {
        if (locked_) g_lock.unlock();
    }
    HeapGuard(const HeapGuard&) = delete;
    HeapGuard& operator=(const HeapGuard&) = delete;

  private:
    bool locked_;
};

// Which 4096-byte pages are live pages of our chunks, so that a release can
// tell a small block from any other block without reading memory that is not
// ours. A two-level table over the 256 KiB regions of the 47-bit user
// address space holds one 64-bit word per region, one bit per page. Written
// under the heap lock; read without it.
class PageMap {
  public:
    bool Contains(std::uintptr_t page) const {
        if (page >> kAddressBits != 0) return false;
        const std::uintptr_t region = page >> kRegionShift;
        std::uint64_t* leaf = root_[region >> kLeafBits].load(std::memory_order_acquire);
        if (leaf == nullptr) return false;
        const std::uint64_t bits =
            std::atomic_ref(leaf[region & kLeafMask]).load(std::memory_order_relaxed);
        return ((bits >> PageBit(page)) & 1) != 0;
    }

    // Makes sure the table has room for the pages first to last.
    bool Reserve(std::uintptr_t first, std::uintptr_t last) {
        if (last >> kAddressBits != 0) return false;
        return LeafFor(first) != nullptr && LeafFor(last) != nullptr;
    }

    void Mark(std::uintptr_t page, bool live) {
        std::uint64_t* leaf = LeafFor(page);
        const std::uint64_t bit = std::uint64_t{1} << PageBit(page);
        std::atomic_ref word(leaf[(page >> kRegionShift) & kLeafMask]);
        if (live) {
            word.fetch_or(bit, std::memory_order_release);
        } else {
            word.fetch_and(~bit, std::memory_order_relaxed);
        }
    }

  private:
    static constexpr int kAddressBits = 47;
    static constexpr int kRegionShift = 18;
    static constexpr int kLeafBits = 15;
    static constexpr int kRootBits = kAddressBits - kRegionShift - kLeafBits;
    static constexpr std::uintptr_t kLeafMask = (std::uintptr_t{1} << kLeafBits) - 1;

    static int PageBit(std::uintptr_t page) { return static_cast<int>((page >> 12) & 63); }

    // The leaf covering a page, made (zeroed, from the C runtime) if need be.
    std::uint64_t* LeafFor(std::uintptr_t page) {
        std::atomic<std::uint64_t*>& slot = root_[page >> (kRegionShift + kLeafBits)];
        std::uint64_t* leaf = slot.load(std::memory_order_relaxed);
        if (leaf == nullptr) {
            leaf = static_cast<std::uint64_t*>(std::calloc(kLeafMask + 1, sizeof(std::uint64_t)));
            slot.store(leaf, std::memory_order_release);
        }
        return leaf;
    }

    std::atomic<std::uint64_t*> root_[std::size_t{1} << kRootBits]{};
};

constinit PageMap g_page_map;

// Everything the heap lock guards.
struct Heap {
    // Per class, the sentinel of the ring of pages that have free blocks.
    PageHeader rings[kClassCount];
    // Completely free pages, reusable by any class, linked through next.
    PageHeader* free_pages;
    // All chunks, newest first; the newest is the one pages are cut from.
    Chunk* chunks;
    // The part of the current region not cut into chunks yet.
    std::uintptr_t region_next;
    std::uintptr_t region_end;
    bool cleanup_registered;
};

constinit Heap g_heap{};

constexpr std::size_t ClassBlockSize(std::uint32_t size_class) {
    return (size_class + 1) * kGranule;
}

int ClassCapacity(std::uint32_t size_class) {
    static constexpr auto kCapacities = [] {
        std::array<int, kClassCount> capacities{};
        for (std::uint32_t k = 0; k < kClassCount; ++k) {
            capacities[k] = static_cast<int>((kPageSize - kBlocksOffset) / ClassBlockSize(k));
        }
        return capacities;
    }();
    return kCapacities[size_class];
}

std::uintptr_t Address(const void* pointer) {
    return reinterpret_cast<std::uintptr_t>(pointer);
}

FreeBlock* BlockAt(PageHeader* page, int index) {
    char* blocks = reinterpret_cast<char*>(page) + kBlocksOffset;
    return reinterpret_cast<FreeBlock*>(blocks + index * ClassBlockSize(page->size_class));
}

std::uintptr_t FirstPage(const Chunk* chunk) {
    return (Address(chunk) & ~(kPageSize - 1)) + kPageSize;
}

PageHeader* PageOf(const Chunk* chunk, int index) {
    return reinterpret_cast<PageHeader*>(FirstPage(chunk) + index * kPageSize);
}

void Unlink(PageHeader* page) {
    page->prev->next = page->next;
    page->next->prev = page->prev;
}

void LinkAfter(PageHeader* position, PageHeader* page) {
    page->prev = position;
    page->next = position->next;
    position->next->prev = page;
    position->next = page;
}

// Maps a region of kRegionSize bytes aligned on its size (twice the size is
// mapped and the parts outside the aligned region unmapped again); null
// when the system has no memory to give.
void* MapRegion() {
    void* mapped =
        mmap(nullptr, 2 * kRegionSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return nullptr;
    const std::uintptr_t start = Address(mapped);
    const std::uintptr_t region = (start + kRegionSize - 1) & ~(kRegionSize - 1);
    if (region > start) munmap(mapped, region - start);
    const std::uintptr_t end = start + 2 * kRegionSize;
    if (end > region + kRegionSize) {
        munmap(reinterpret_cast<void*>(region + kRegionSize), end - region - kRegionSize);
    }
    // Only a hint: where huge pages are not to be had, 4 KiB pages serve.
    madvise(reinterpret_cast<void*>(region), kRegionSize, MADV_HUGEPAGE);
    return reinterpret_cast<void*>(region);
}

// The first chunk of a chunk's region, which is cut first and released
// last.
Chunk* RegionHead(const Chunk* chunk) {
    return reinterpret_cast<Chunk*>(Address(chunk) & ~(kRegionSize - 1));
}

// The next chunk of the current region, mapping a new region when it is
// used up; null when no memory can be had.
void* CutChunk() {
    if (g_heap.region_next == g_heap.region_end) {
        void* region = MapRegion();
        if (region == nullptr) return nullptr;
        g_heap.region_next = Address(region);
        g_heap.region_end = g_heap.region_next + kRegionSize;
    }
    void* chunk = reinterpret_cast<void*>(g_heap.region_next);
    g_heap.region_next += kChunkSize;
    return chunk;
}

Chunk* NewChunk() {
    auto* chunk = static_cast<Chunk*>(CutChunk());
    if (chunk == nullptr) return nullptr;
    chunk->next = g_heap.chunks;
    chunk->pages_used = 0;
    if (!g_page_map.Reserve(Address(PageOf(chunk, 0)),
                            Address(PageOf(chunk, kPagesPerChunk - 1)))) {
        // The chunk is cut again next time.
        g_heap.region_next -= kChunkSize;
        return nullptr;
    }
    g_heap.chunks = chunk;
    if (!g_heap.cleanup_registered) {
        g_heap.cleanup_registered = true;
        sypRegisterExitCleanup(&ReleaseIdleChunks);
    }
    return chunk;
}

// A page with no class: from the free-page list, else the next page of the
// current chunk, else the first page of a new chunk; null when the C runtime
// has no chunk to give.
PageHeader* AcquirePage() {
    if (PageHeader* page = g_heap.free_pages) {
        g_heap.free_pages = page->next;
        // The next free page is wanted when this one is full: its header is
        // fetched meanwhile, not when the allocation waits for it.
        __builtin_prefetch(g_heap.free_pages, 1);
        return page;
    }
    Chunk* chunk = g_heap.chunks;
    if (chunk == nullptr || chunk->pages_used == kPagesPerChunk) chunk = NewChunk();
    if (chunk == nullptr) return nullptr;
    PageHeader* page = PageOf(chunk, chunk->pages_used++);
    page->self = page;
    page->signature = kPageSignature;
    page->size_class = kUnassignedClass;
    g_page_map.Mark(Address(page), true);
    return page;
}

// Readies a page taken for a class. It holds no live block, so it starts
// over with its first block, also when it served this class before: blocks
// are then handed out in address order, without reading memory left long
// unused.
void AssignClass(PageHeader* page, std::uint32_t size_class) {
    page->in_use = 0;
    page->size_class = size_class;
    page->capacity = ClassCapacity(size_class);
    page->free_list = nullptr;
}

// Puts a page into the empty ring of a class; null when none could be had.
[[gnu::noinline]] PageHeader* RefillRing(PageHeader* ring, std::uint32_t size_class) {
    PageHeader* page = AcquirePage();
    if (page == nullptr) return nullptr;
    AssignClass(page, size_class);
    LinkAfter(ring, page);
    return page;
}

// Hands out a block of a ringed page: the head of its free list, else the
// first block never handed out (whose memory is not touched here, so the
// caller's own writes are the first); a full page leaves the ring.
void* TakeBlock(PageHeader* page) {
    FreeBlock* block = page->free_list;
    if (block != nullptr) {
        page->free_list = block->next;
    } else {
        block = BlockAt(page, page->in_use);
    }
    if (++page->in_use == page->capacity) Unlink(page);
    return block;
}

}  // namespace

void Initialise() {
    for (PageHeader& sentinel : g_heap.rings) sentinel.prev = sentinel.next = &sentinel;
    static bool locked_for_fork = false;
    pthread_atfork(
        [] {
            locked_for_fork = __libc_single_threaded == 0;
            if (locked_for_fork) g_lock.lock();
        },
        [] {
            if (locked_for_fork) g_lock.unlock();
        },
        [] {
            if (locked_for_fork) g_lock.Reset();
        });
}

void* Allocate(std::size_t size) {
    const auto size_class = static_cast<std::uint32_t>((size - 1) / kGranule);
    PageHeader* ring = &g_heap.rings[size_class];
    HeapGuard guard;
    PageHeader* page = ring->next;
    if (page == ring) [[unlikely]] {
        page = RefillRing(ring, size_class);
        if (page == nullptr) return nullptr;
    }
    return TakeBlock(page);
}

[[gnu::always_inline]] inline PageHeader* FindPage(const void* block) {
    const std::uintptr_t address = Address(block) & ~(kPageSize - 1);
    if (!g_page_map.Contains(address)) return nullptr;
    auto* page = reinterpret_cast<PageHeader*>(address);
    if (page->self != page || page->signature != kPageSignature) return nullptr;
    return page;
}

PageHeader* OwningPage(const void* block) {
    return FindPage(block);
}

std::size_t BlockSize(const PageHeader* page) {
    return ClassBlockSize(page->size_class);
}

int SizeClass(const PageHeader* page) {
    return static_cast<int>(page->size_class);
}

bool Release(void* block) {
    PageHeader* page = FindPage(block);
    if (page == nullptr) return false;
    auto* freed = static_cast<FreeBlock*>(block);
    HeapGuard guard;
    const bool was_full = page->in_use == page->capacity;
    freed->next = page->free_list;
    page->free_list = freed;
    if (--page->in_use == 0) {
        if (!was_full) Unlink(page);
        page->next = g_heap.free_pages;
        g_heap.free_pages = page;
    } else if (was_full) {
        LinkAfter(g_heap.rings[page->size_class].prev, page);
    }
    return true;
}

namespace {

// Structural checks behind GetSmallBlockStats.

bool PageIsSound(PageHeader* page) {
    if (page->self != page || page->signature != kPageSignature) return false;
    if (page->size_class >= kClassCount) return false;
    const int capacity = ClassCapacity(page->size_class);
    if (page->capacity != capacity || page->in_use < 0 || page->in_use > capacity) return false;
    // Released blocks lie below the blocks never handed out, which follow
    // the in_use + (released) blocks handed out so far.
    int released = 0;
    for (FreeBlock* block = page->free_list; block != nullptr; block = block->next) {
        if (++released > capacity - page->in_use) return false;
    }
    const std::uintptr_t handed_out = static_cast<std::uintptr_t>(page->in_use + released);
    for (FreeBlock* block = page->free_list; block != nullptr; block = block->next) {
        const std::uintptr_t offset = Address(block) - Address(BlockAt(page, 0));
        if (offset % ClassBlockSize(page->size_class) != 0 ||
            offset / ClassBlockSize(page->size_class) >= handed_out) {
            return false;
        }
    }
    return true;
}

// Counts the pages of a ring, checking its links and that each page has
// both live and free blocks; -1 when anything is wrong.
long RingPages(PageHeader* ring, std::uint32_t size_class, std::size_t limit) {
    long pages = 0;
    for (PageHeader* page = ring->next; page != ring; page = page->next) {
        if (static_cast<std::size_t>(++pages) > limit || page->next->prev != page ||
            page->size_class != size_class || page->in_use <= 0 || page->in_use >= page->capacity) {
            return -1;
        }
    }
    return pages;
}

long FreeListPages(std::size_t limit) {
    long pages = 0;
    for (PageHeader* page = g_heap.free_pages; page != nullptr; page = page->next) {
        if (static_cast<std::size_t>(++pages) > limit || page->in_use != 0) return -1;
    }
    return pages;
}

bool ChunkIsIdle(const Chunk* chunk) {
    for (int index = 0; index < chunk->pages_used; ++index) {
        if (PageOf(chunk, index)->in_use != 0) return false;
    }
    return true;
}

// Takes an idle chunk's pages out of the page map, so that nothing is ever
// again recognised as a block of them.
void ForgetPages(const Chunk* chunk) {
    for (int index = 0; index < chunk->pages_used; ++index) {
        g_page_map.Mark(Address(PageOf(chunk, index)), false);
    }
}

// Drops from the free-page list every page the page map no longer holds, in
// one walk of the list.
void DropForgottenFreePages() {
    PageHeader** link = &g_heap.free_pages;
    while (PageHeader* page = *link) {
        if (g_page_map.Contains(Address(page))) {
            link = &page->next;
        } else {
            *link = page->next;
        }
    }
}

}  // namespace
}  // namespace tarnvel::services::smallblock

namespace tarnvel::services {

using smallblock::PageHeader;

SmallBlockStats GetSmallBlockStats() {
    smallblock::HeapGuard guard;
    SmallBlockStats stats;
    std::size_t partial_pages = 0;
    for (smallblock::Chunk* chunk = smallblock::g_heap.chunks; chunk != nullptr;
         chunk = chunk->next) {
        ++stats.chunks;
        for (int index = 0; index < chunk->pages_used; ++index) {
            PageHeader* page = smallblock::PageOf(chunk, index);
            stats.consistent = stats.consistent && smallblock::PageIsSound(page);
            if (page->in_use > 0) ++stats.pages_in_use;
            if (page->in_use > 0 && page->in_use < page->capacity) ++partial_pages;
        }
    }
    if (smallblock::g_heap.chunks != nullptr) {
        stats.untouched_pages = smallblock::kPagesPerChunk - smallblock::g_heap.chunks->pages_used;
    }
    const std::size_t limit = stats.chunks * smallblock::kPagesPerChunk;
    long ring_pages = 0;
    for (std::uint32_t size_class = 0; size_class < smallblock::kClassCount; ++size_class) {
        const long pages =
            smallblock::RingPages(&smallblock::g_heap.rings[size_class], size_class, limit);
        stats.consistent = stats.consistent && pages >= 0;
        ring_pages += pages;
    }
    const long free_pages = smallblock::FreeListPages(limit);
    stats.free_pages = free_pages < 0 ? 0 : static_cast<std::size_t>(free_pages);
    stats.consistent = stats.consistent && free_pages >= 0 &&
                       static_cast<std::size_t>(ring_pages) == partial_pages &&
                       stats.free_pages + stats.pages_in_use + stats.untouched_pages == limit;
    return stats;
}

int SmallBlockClass(const void* block) {
    const PageHeader* page = smallblock::OwningPage(block);
    return page == nullptr ? -1 : smallblock::SizeClass(page);
}

namespace smallblock {
namespace {

// Marks in the first chunk of each region whether the region holds a live
// block.
void MarkBusyRegions() {
    for (Chunk* chunk = g_heap.chunks; chunk != nullptr; chunk = chunk->next) {
        RegionHead(chunk)->region_busy = false;
    }
    for (Chunk* chunk = g_heap.chunks; chunk != nullptr; chunk = chunk->next) {
        if (!ChunkIsIdle(chunk)) RegionHead(chunk)->region_busy = true;
    }
}

// Unmaps the regions listed through next_region; the rest of the current
// region is not cut from any more when it is one of them.
void UnmapRegions(Chunk* regions) {
    while (regions != nullptr) {
        Chunk* next = regions->next_region;
        if (Address(regions) + kRegionSize == g_heap.region_end) {
            g_heap.region_next = g_heap.region_end = 0;
        }
        munmap(regions, kRegionSize);
        regions = next;
    }
}

}  // namespace
}  // namespace smallblock

// Memory goes back a whole region at a time, so that huge pages are given
// back whole. Every chunk of a region that holds a live block stays, since
// objects destroyed after this cleanup (static objects constructed before
// the first chunk was taken) may still release their blocks; the process
// end reclaims the rest. The work is
// linear in the pages held: every page header is read once to find the
// idle regions, and the free-page list is walked once to drop their pages
// from it (a page's chunk is known through the page map).
void ReleaseIdleChunks() {
    using smallblock::Chunk;
    smallblock::HeapGuard guard;
    smallblock::MarkBusyRegions();
    Chunk* regions = nullptr;
    Chunk** link = &smallblock::g_heap.chunks;
    while (Chunk* chunk = *link) {
        Chunk* head = smallblock::RegionHead(chunk);
        if (head->region_busy) {
            link = &chunk->next;
            continue;
        }
        *link = chunk->next;
        smallblock::ForgetPages(chunk);
        if (chunk == head) {
            chunk->next_region = regions;
            regions = chunk;
        }
    }
    if (regions == nullptr) return;
    smallblock::DropForgottenFreePages();
    smallblock::UnmapRegions(regions);
}

}  // namespace tarnvel::services

#endif  // TARNVEL_SYSTEM_ALLOC
