// Checked allocation with optional tracking of live blocks.
#include "services/vtmem.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

bool Set(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0';
}

bool Tracking() {
    static const bool tracking = Set("VT_CHECKFREE");
    return tracking;
}

// The live blocks; released ones are cleared to null and dropped when the
// records are full.
struct Records {
    std::vector<void*> blocks;
    std::size_t capacity = 0;
};

Records& Live() {
    static Records records;
    return records;
}

void Record(void* block) {
    Records& records = Live();
    if (records.blocks.size() == records.capacity) {
        std::erase(records.blocks, nullptr);
        if (records.blocks.size() * 2 >= records.capacity) {
            records.capacity = records.capacity * 2 + 100;
            records.blocks.reserve(records.capacity);
        }
    }
    records.blocks.push_back(block);
}

// Clears the newest record of the block; fatal when there is none.
void Forget(void* block) {
    auto& blocks = Live().blocks;
    const auto found = std::find(blocks.rbegin(), blocks.rend(), block);
    if (found == blocks.rend()) vtFatal("Attempt made to free unallocated memory");
    *found = nullptr;
}

void* Checked(void* block, std::size_t size) {
    if (block == nullptr && size != 0) vtFatal("Failed to allocate memory");
    if (block != nullptr && Tracking()) Record(block);
    return block;
}

}  // namespace

void* vtMalloc(std::size_t size) {
    errno = 0;
    return Checked(std::malloc(size), size);
}

void* vtCalloc(std::size_t count, std::size_t size) {
    errno = 0;
    void* block = std::calloc(count, size);
    return Checked(block, count * size);
}

void* vtRealloc(void* block, std::size_t size) {
    errno = 0;
    const bool tracked = block != nullptr && Tracking();
    if (tracked) Forget(block);
    // A failed growth leaves the old block live; its address is kept as a
    // number so that it can be recorded again without touching the pointer
    // handed to realloc.
    const auto old_address = reinterpret_cast<std::uintptr_t>(block);
    void* moved = std::realloc(block, size);
    if (moved == nullptr && size != 0 && tracked) Record(reinterpret_cast<void*>(old_address));
    return Checked(moved, size);
}

void vtFree(void* block) {
    errno = 0;
    if (block == nullptr) return;
    if (Tracking()) Forget(block);
    std::free(block);
}

void vtFatal(const char* message) {
    if (errno != 0) {
        std::fprintf(stderr, "%s: %s\n", message, std::strerror(errno));
    } else {
        std::fprintf(stderr, "%s\n", message);
    }
    std::fflush(stderr);
    if (Set("VT_COREDUMP")) std::abort();
    std::exit(1);
}

namespace tarnvel::services {
std::size_t VtLiveBlocks() {
    const auto& blocks = Live().blocks;
    return static_cast<std::size_t>(
        std::count_if(blocks.begin(), blocks.end(), [](void* b) { return b != nullptr; }));
}
}  // namespace tarnvel::services
