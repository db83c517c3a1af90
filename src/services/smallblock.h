// The small-block allocator behind sypMalloc: 16 size classes of 8 to 128
// bytes, served from 4096-byte pages cut out of 256 KiB chunks, which come
// from 2 MiB regions mapped from the system for transparent huge pages.
// Used only by the memory manager (sypmem.cpp).
#pragma once

#include <cstddef>

namespace tarnvel::services::smallblock {

// The header at the start of every page; opaque outside the allocator.
struct PageHeader;

// Prepares the class rings and the fork handlers. Runs once, before the
// first block is served.
void Initialise();

// A block of the class serving size (1 to 128), or null when no page could
// be had (the caller then falls back to the C runtime).
void* Allocate(std::size_t size);

// The page of a small block, or null when the block is not one of ours. Safe
// for any pointer: pages are looked up in a map of the chunks first, so
// memory that is not ours is never read.
PageHeader* OwningPage(const void* block);

// The block size of a page holding live blocks.
std::size_t BlockSize(const PageHeader* page);

// The size class of a page holding live blocks.
int SizeClass(const PageHeader* page);

// Returns a small block to its page; false, doing nothing, for any block
// that is not one of ours.
bool Release(void* block);

}  // namespace tarnvel::services::smallblock
