// The memory manager: size classes and pages of the small-block allocator,
// resizing, C runtime blocks, texts, concurrent use, idle chunks, the global
// allocation operators and the choice of an external memory manager.
#include "services/sypmem.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/mman.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <thread>
#include <vector>

#include "support/process.h"

namespace {

using tarnvel::services::GetSmallBlockStats;
using tarnvel::services::SmallBlockClass;
using tarnvel::services::SmallBlockStats;

#ifdef TARNVEL_SYSTEM_ALLOC
#define SKIP_WITHOUT_SMALL_BLOCKS() GTEST_SKIP() << "every allocation goes to the C runtime"
#else
#define SKIP_WITHOUT_SMALL_BLOCKS() static_cast<void>(0)
#endif

std::uintptr_t PageOf(const void* block) {
    return reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{4095};
}
std::uintptr_t OffsetInPage(const void* block) {
    return reinterpret_cast<std::uintptr_t>(block) & 4095;
}

TEST(SmallBlockClasses, SizesUpTo128HaveTheirClassAndAlignmentLargerOnesGoToTheRuntime) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    for (std::size_t size = 0; size <= 129; ++size) {
        void* block = sypMalloc(size);
        ASSERT_NE(block, nullptr);
        const bool small = size >= 1 && size <= 128;
        EXPECT_EQ(SmallBlockClass(block), small ? static_cast<int>((size - 1) / 8) : -1) << size;
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % (size % 16 == 0 ? 16 : 8), 0u) << size;
        sypFree(block);
    }
}

TEST(SmallBlockClasses, A128BytePageHolds31BlocksInsideThePage) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    std::vector<void*> blocks(31 * 4);
    std::map<std::uintptr_t, int> per_page;
    for (void*& block : blocks) {
        block = sypMalloc(128);
        ++per_page[PageOf(block)];
        EXPECT_GE(OffsetInPage(block), 64u);
        EXPECT_LE(OffsetInPage(block) + 128, 4096u);
    }
    int full_pages = 0;
    for (const auto& [page, count] : per_page) {
        EXPECT_LE(count, 31);
        full_pages += count == 31 ? 1 : 0;
    }
    EXPECT_GE(full_pages, 3);
    for (void* block : blocks) sypFree(block);
}

TEST(SmallBlockPages, AnEmptiedPageGoesToTheFreeListAndServesAnotherClass) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    std::vector<void*> large(31 * 3);
    std::vector<void*> small;
    small.reserve(100000);  // no allocation of the test may take the page
    std::map<std::uintptr_t, int> per_page;
    for (void*& block : large) ++per_page[PageOf(block = sypMalloc(128))];
    std::uintptr_t page = 0;
    for (const auto& [address, count] : per_page) page = count == 31 ? address : page;
    ASSERT_NE(page, 0u);
    for (void* block : large) {
        if (PageOf(block) != page) sypFree(block);
    }
    const SmallBlockStats before = GetSmallBlockStats();
    for (void* block : large) {
        if (PageOf(block) == page) sypFree(block);
    }
    const SmallBlockStats after = GetSmallBlockStats();
    EXPECT_EQ(after.free_pages, before.free_pages + 1);
    EXPECT_EQ(after.pages_in_use, before.pages_in_use - 1);

    // 24-byte requests drain their ring, then take the emptied page.
    void* first_on_page = nullptr;
    while (first_on_page == nullptr && small.size() < small.capacity()) {
        small.push_back(sypMalloc(24));
        if (PageOf(small.back()) == page) first_on_page = small.back();
    }
    ASSERT_NE(first_on_page, nullptr);
    EXPECT_EQ(OffsetInPage(first_on_page), 64u);
    EXPECT_EQ(SmallBlockClass(first_on_page), 2);
    EXPECT_EQ(GetSmallBlockStats().chunks, after.chunks);
    for (void* block : small) sypFree(block);
    EXPECT_TRUE(GetSmallBlockStats().consistent);
}

TEST(SypRealloc, KeepsTheBlockWhileTheSizeFitsAndMovesTheDataOtherwise) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    const char text[20] = "0123456789abcdefghi";
    auto* block = static_cast<char*>(sypRealloc(nullptr, 20));
    std::memcpy(block, text, sizeof text);
    EXPECT_EQ(sypRealloc(block, 24), block);
    auto* moved = static_cast<char*>(sypRealloc(block, 25));
    EXPECT_NE(moved, block);
    EXPECT_EQ(SmallBlockClass(moved), 3);
    auto* large = static_cast<char*>(sypRealloc(moved, 500));
    EXPECT_EQ(SmallBlockClass(large), -1);
    auto* shrunk = static_cast<char*>(sypRealloc(large, 100));
    EXPECT_EQ(SmallBlockClass(shrunk), 12);
    EXPECT_STREQ(shrunk, text);
    EXPECT_EQ(sypRealloc(shrunk, 0), nullptr);
}

TEST(SypCalloc, ZeroFillsAndRefusesCountsWhoseProductOverflows) {
    auto* dirty = static_cast<unsigned char*>(sypMalloc(48));
    std::memset(dirty, 0xab, 48);
    sypFree(dirty);
    for (std::size_t count : {6, 100}) {
        auto* clean = static_cast<unsigned char*>(sypCalloc(count, 8));
        ASSERT_NE(clean, nullptr);
        for (std::size_t index = 0; index < count * 8; ++index) ASSERT_EQ(clean[index], 0) << index;
        sypFree(clean);
    }
    EXPECT_EQ(sypCalloc(SIZE_MAX / 2, 3), nullptr);
}

TEST(RuntimeBlocks, APageThatIsNotOursIsNeverTakenForOneAndNeverRead) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    // A runtime buffer holding a page whose start imitates a page header.
    void* buffer = std::calloc(3, 4096);
    const std::uintptr_t page =
        (reinterpret_cast<std::uintptr_t>(buffer) + 4095) & ~std::uintptr_t{4095};
    struct {
        int in_use;
        void* list[3];
        std::uintptr_t self;
        std::uint32_t signature, size_class;
        int capacity;
    } forged{1, {}, page, 0x74d3a651, 3, 126};
    std::memcpy(reinterpret_cast<void*>(page), &forged, sizeof forged);
    EXPECT_EQ(SmallBlockClass(reinterpret_cast<void*>(page + 64)), -1);
    std::free(buffer);

    void* unreadable = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(unreadable, MAP_FAILED);
    EXPECT_EQ(SmallBlockClass(static_cast<char*>(unreadable) + 64), -1);
    munmap(unreadable, 4096);
    sypFree(strdup("a block of the C runtime itself"));
}

TEST(SypStrdup, CopiesTextsIntoTheirOwnBlocks) {
    EXPECT_EQ(sypStrdup(nullptr), nullptr);
    const char text[] = "polypropylene";
    char* copy = sypStrdup(text);
    EXPECT_NE(copy, text);
    EXPECT_STREQ(copy, text);
    sypFree(copy);
}

TEST(SypStrndup, CopiesAtMostTheMaximumAlwaysTerminatedAndNothingOfEmptyTexts) {
    EXPECT_EQ(sypStrndup(nullptr, 4), nullptr);
    EXPECT_EQ(sypStrndup("", 4), nullptr);
    EXPECT_EQ(sypStrndup("abc", 0), nullptr);
    const char unterminated[4] = {'w', 'x', 'y', 'z'};
    for (const auto& [text, max, expected] :
         {std::tuple{"abcdef", 3, "abc"}, {"ab", 10, "ab"}, {unterminated, 4, "wxyz"}}) {
        char* copy = sypStrndup(text, max);
        EXPECT_STREQ(copy, expected);
        sypFree(copy);
    }
}

TEST(SmallBlockThreads, ConcurrentUseKeepsBlocksApartAndReturnsEveryEmptiedPage) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    const SmallBlockStats before = GetSmallBlockStats();
    std::atomic<int> damaged{0};
    auto work = [&damaged](unsigned seed) {
        std::mt19937 random(seed);
        std::vector<std::pair<unsigned char*, std::size_t>> live;
        live.reserve(4096);
        auto release = [&](std::size_t index) {
            auto [block, size] = live[index];
            for (std::size_t at = 0; at < size; ++at) {
                if (block[at] != static_cast<unsigned char>(seed + size)) ++damaged;
            }
            sypFree(block);
            live[index] = live.back();
            live.pop_back();
        };
        for (int step = 0; step < 200000; ++step) {
            if (live.empty() || (live.size() < 3000 && random() % 3 != 0)) {
                const std::size_t size = random() % 150 + 1;
                live.emplace_back(static_cast<unsigned char*>(sypMalloc(size)), size);
                std::memset(live.back().first, static_cast<unsigned char>(seed + size), size);
            } else {
                release(random() % live.size());
            }
        }
        while (!live.empty()) release(live.size() - 1);
    };
    {
        std::vector<std::thread> threads;
        for (unsigned seed = 1; seed <= 4; ++seed) threads.emplace_back(work, seed);
        for (std::thread& thread : threads) thread.join();
    }
    const SmallBlockStats after = GetSmallBlockStats();
    EXPECT_EQ(damaged.load(), 0);
    EXPECT_TRUE(after.consistent);
    EXPECT_EQ(after.pages_in_use, before.pages_in_use);
    EXPECT_GE(after.free_pages, before.free_pages);
}

std::uintptr_t RegionOf(const void* block) {
    return reinterpret_cast<std::uintptr_t>(block) &
           ~(tarnvel::services::kSmallBlockRegionSize - 1);
}

// Blocks of class 15 filling three regions' worth of new chunks, all
// released but one, which is kept in the last region but one; then the
// release of idle chunks. The last two regions hold only chunks cut here
// (the region current at the start has fewer chunks left than one region).
struct RegionRelease {
    SmallBlockStats start;
    SmallBlockStats after;
    char* kept = nullptr;
    void* in_dropped_region = nullptr;

    RegionRelease() {
        constexpr std::size_t kChunksPerRegion =
            tarnvel::services::kSmallBlockRegionSize / tarnvel::services::kSmallBlockChunkSize;
        tarnvel::services::ReleaseIdleChunks();
        start = GetSmallBlockStats();
        std::vector<void*> blocks;
        while (GetSmallBlockStats().chunks < start.chunks + 3 * kChunksPerRegion) {
            for (int n = 0; n < 31; ++n) blocks.push_back(sypMalloc(128));
        }
        in_dropped_region = blocks.back();
        for (auto it = blocks.rbegin(); it != blocks.rend(); ++it) {
            if (RegionOf(*it) != RegionOf(in_dropped_region)) {
                kept = static_cast<char*>(*it);
                *it = nullptr;
                break;
            }
        }
        std::strcpy(kept, "still here");
        for (void* block : blocks) sypFree(block);
        tarnvel::services::ReleaseIdleChunks();
        after = GetSmallBlockStats();
    }
};

TEST(SmallBlockChunks, ReleasingIdleChunksKeepsEveryRegionThatHoldsALiveBlock) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    const RegionRelease release;
    EXPECT_TRUE(release.after.consistent);
    // The kept block's region stays whole (8 chunks), with the chunks cut
    // in the region current at the start (at most 7), which holds older
    // live blocks; the last region goes.
    EXPECT_GE(release.after.chunks, release.start.chunks + 8);
    EXPECT_LE(release.after.chunks, release.start.chunks + 15);
    EXPECT_EQ(SmallBlockClass(release.kept), 15);
    EXPECT_STREQ(release.kept, "still here");
    EXPECT_EQ(SmallBlockClass(release.in_dropped_region), -1);
    sypFree(release.kept);
    void* fresh = sypMalloc(128);
    EXPECT_EQ(SmallBlockClass(fresh), 15);
    sypFree(fresh);
    EXPECT_TRUE(GetSmallBlockStats().consistent);
}

// The free pages of the regions that stay and of the dropped one are mixed
// on the free-page list; the release must drop exactly the dropped
// region's pages from it.
TEST(SmallBlockChunks, ReleasingIdleChunksKeepsTheFreePagesOfTheRegionsThatStay) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    const RegionRelease release;
    ASSERT_TRUE(release.after.consistent);
    // Every page of the kept region but the one holding the live block.
    EXPECT_GE(release.after.free_pages, release.start.free_pages + 8 * 63 - 1);
    // Every free page left on the list is sound: they serve blocks again
    // before any new chunk is taken.
    std::vector<void*> blocks;
    const std::size_t enough = (release.after.free_pages + release.after.untouched_pages + 1) * 31;
    while (GetSmallBlockStats().free_pages > 0 && blocks.size() < enough) {
        for (int n = 0; n < 31; ++n) blocks.push_back(sypMalloc(128));
    }
    EXPECT_EQ(GetSmallBlockStats().free_pages, 0u);
    EXPECT_EQ(GetSmallBlockStats().chunks, release.after.chunks);
    for (void* block : blocks) sypFree(block);
    sypFree(release.kept);
    EXPECT_TRUE(GetSmallBlockStats().consistent);
}

TEST(AllocationOperators, ServeSmallObjectsAndAlignedObjectsFromTheirOwnSources) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    auto object = std::make_unique<std::array<char, 128>>();
    EXPECT_EQ(SmallBlockClass(object.get()), 15);
    struct alignas(64) Wide {
        char bytes[64];
    };
    auto wide = std::make_unique<Wide[]>(2);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide.get()) % 64, 0u);
    EXPECT_EQ(SmallBlockClass(wide.get()), -1);
}

// A plain new of 16 bytes or more may be stored into with aligned vector
// moves, so every such block is aligned on 16, the second and third block of
// a size class too (a 120-byte object at an address ending in 8 faulted).
TEST(AllocationOperators, PlainNewOfSixteenBytesOrMoreIsAlignedOnSixteen) {
    for (std::size_t size = 1; size <= 200; ++size) {
        std::array<void*, 3> blocks{};
        for (void*& block : blocks) block = ::operator new(size);
        for (void* block : blocks) {
            const std::size_t alignment = size >= 16 ? 16 : 8;
            EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % alignment, 0u) << size;
        }
        for (void* block : blocks) ::operator delete(block);
    }
}

TEST(AllocationOperators, ThrowBadAllocationWhenNoBlockCanBeHad) {
    SKIP_WITHOUT_SMALL_BLOCKS();
    volatile std::size_t huge = SIZE_MAX / 2;
    try {
        ::operator delete(::operator new(huge));
        ADD_FAILURE() << "no exception";
    } catch (const std::bad_alloc& failure) {
        EXPECT_STREQ(failure.what(), "bad allocation");
    }
    EXPECT_EQ(::operator new[](huge, std::nothrow), nullptr);
    EXPECT_EQ(::operator new (huge, std::align_val_t{64}, std::nothrow), nullptr);
}

// Runs only as the child of the tests below, with a stand-in libmemmgr.so
// on the library path; prints what the memory manager did.
TEST(ExternalMemoryManagerChild, Report) {
    if (std::getenv("TARNVEL_MEMMGR_CHILD") == nullptr) GTEST_SKIP() << "runs as a child only";
    void* library = dlopen("libmemmgr.so", RTLD_NOW | RTLD_NOLOAD);
    const long* calls = library ? static_cast<const long*>(dlsym(library, "mmStubCalls")) : nullptr;
    std::array<long, 4> before{}, after{};
    if (calls != nullptr) std::copy(calls, calls + 4, before.begin());
    void* block = sypMalloc(16);
    void* zeroed = sypCalloc(4, 4);
    const bool small = SmallBlockClass(block) >= 0;
    sypFree(sypRealloc(block, 300));
    sypFree(zeroed);
    if (calls != nullptr) std::copy(calls, calls + 4, after.begin());
    std::printf("memmgr-report external=%d loaded=%d small=%d calls=%ld,%ld,%ld,%ld\n",
                tarnvel::services::UsingExternalMemoryManager(), library != nullptr, small,
                after[0] - before[0], after[1] - before[1], after[2] - before[2],
                after[3] - before[3]);
}

#ifdef TARNVEL_MEMMGR_DIR
std::string ChildReport(const std::string& variant, const std::string& type) {
    const tarnvel::testing::ProcessResult child = tarnvel::testing::RunProcess(
        "/proc/self/exe", {"--gtest_filter=ExternalMemoryManagerChild.Report"}, "",
        {{"LD_LIBRARY_PATH", std::string(TARNVEL_MEMMGR_DIR) + "/" + variant},
         {"MEMMGR_STUB_TYPE", type},
         {"TARNVEL_MEMMGR_CHILD", "1"}});
    const std::size_t start = child.out.find("memmgr-report ");
    if (child.exit_code != 0 || start == std::string::npos) return child.out + child.err;
    return child.out.substr(start + 14, child.out.find('\n', start) - start - 14);
}

TEST(ExternalMemoryManager, IsInstalledWhenItIsNotLegacyAndHasAllFourEntryPoints) {
    const std::string installed = "external=1 loaded=1 small=0 calls=1,1,1,2";
    EXPECT_EQ(ChildReport("full", "POOLED"), installed);
    EXPECT_EQ(ChildReport("full", "LEGACY2"), installed);
}

TEST(ExternalMemoryManager, LegacyOrIncompleteOrAbsentLibrariesLeaveTheBuiltInAllocator) {
    const std::string built_in = "external=0 loaded=0 small=1 calls=0,0,0,0";
    EXPECT_EQ(ChildReport("full", "legacy"), built_in);
    EXPECT_EQ(ChildReport("full", "LeGaCy"), built_in);
    EXPECT_EQ(ChildReport("partial", "POOLED"), built_in);
    EXPECT_EQ(ChildReport("absent", "POOLED"), built_in);
}
#endif

}  // namespace
