// The memory manager: a small-block allocator for requests of 1 to 128
// bytes on top of memory mapped from the system. It also serves the global allocation
// operators, and gives way to an external memory manager (libmemmgr.so)
// when one is present.
#pragma once

#include <cstddef>

// Allocates size bytes (small-block for 1 to 128, the runtime otherwise).
void* sypMalloc(std::size_t size);
// Allocates count * size zero-filled bytes.
void* sypCalloc(std::size_t count, std::size_t size);
// Resizes a block keeping its contents; a null block allocates.
void* sypRealloc(void* block, std::size_t size);
// Releases any block, small-block or runtime; null does nothing.
void sypFree(void* block);
// An allocator-owned copy of a text, or null for null.
char* sypStrdup(const char* text);
// A copy of at most max_length characters, always terminated; null when the
// text is null or empty or max_length is 0.
char* sypStrndup(const char* text, std::size_t max_length);

namespace tarnvel::services {

// The largest request served by the small-block allocator, in bytes.
inline constexpr std::size_t kSmallBlockLimit = 128;
// The small-block allocator takes memory in chunks of this size, cut from
// regions of the region size mapped from the system; idle memory goes back
// a whole region at a time.
inline constexpr std::size_t kSmallBlockChunkSize = std::size_t{256} << 10;
inline constexpr std::size_t kSmallBlockRegionSize = std::size_t{2} << 20;

// A snapshot of the small-block allocator, taken under its lock. All zero
// (and consistent) when allocation goes to the C runtime or to an external
// memory manager only.
struct SmallBlockStats {
    // Chunks taken from the system and not yet returned.
    std::size_t chunks = 0;
    // Pages holding at least one live block.
    std::size_t pages_in_use = 0;
    // Pages on the shared list of completely free pages.
    std::size_t free_pages = 0;
    // Pages of the current chunk not handed out yet.
    std::size_t untouched_pages = 0;
    // Every page header, class ring, free-block list and the free-page list
    // passed the structural checks.
    bool consistent = true;
};

// Walks every page of the small-block allocator and returns its figures.
SmallBlockStats GetSmallBlockStats();

// The size class (0 to 15) of a live small block, or -1 for any other block.
int SmallBlockClass(const void* block);

// Returns every chunk none of whose pages holds a live block to the
// system. Registered as an exit cleanup when the first chunk is taken.
void ReleaseIdleChunks();

// True when the external memory manager serves the allocation functions.
bool UsingExternalMemoryManager();

}  // namespace tarnvel::services
