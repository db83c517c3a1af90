// The memory manager: a small-block allocator for requests of 1 to 128
// bytes on top of the C runtime's heap. It also serves the global allocation
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
