// The global allocation operators of every tarnvel program. They are kept in
// an object library of their own, linked into each executable, so that the
// replacement always takes part in the link.
//
// Plain forms go to the memory manager (sypMalloc and sypFree). Forms with
// an alignment argument go to the C runtime's aligned allocation and its
// free: the memory manager only promises the alignment of malloc, and the
// aligned forms are always released by the aligned delete forms, so the two
// families never meet. With TARNVEL_SYSTEM_ALLOC nothing is replaced.

#ifndef TARNVEL_SYSTEM_ALLOC

#include <algorithm>
#include <cstdlib>
#include <new>

#include "services/sypmem.h"

namespace {

// The allocation failure thrown when the memory manager has no block.
class BadAllocation : public std::bad_alloc {
  public:
    const char* what() const noexcept override { return "bad allocation"; }
};

// The size asked of the memory manager for a plain allocation. Compilers
// take the result of a plain operator new of 16 bytes or more as aligned on
// 16 (the default new alignment) and may store into it with aligned vector
// moves, while the small-block allocator aligns only blocks whose size is a
// multiple of 16: such sizes are rounded up to the next multiple of 16.
constexpr std::size_t PlainSize(std::size_t size) {
    constexpr std::size_t kNewAlignment = __STDCPP_DEFAULT_NEW_ALIGNMENT__;
    return size < kNewAlignment ? size : (size + kNewAlignment - 1) & ~(kNewAlignment - 1);
}

void* AllocateOrThrow(std::size_t size) {
    void* block = sypMalloc(PlainSize(size));
    if (block == nullptr) throw BadAllocation();
    return block;
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) noexcept {
    const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
    void* block = nullptr;
    return posix_memalign(&block, align, size == 0 ? 1 : size) == 0 ? block : nullptr;
}

void* AllocateAlignedOrThrow(std::size_t size, std::align_val_t alignment) {
    void* block = AllocateAligned(size, alignment);
    if (block == nullptr) throw BadAllocation();
    return block;
}

}  // namespace

void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return sypMalloc(PlainSize(size));
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return sypMalloc(PlainSize(size));
}

void operator delete(void* block) noexcept {
    sypFree(block);
}
void operator delete[](void* block) noexcept {
    sypFree(block);
}
void operator delete(void* block, std::size_t) noexcept {
    sypFree(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    sypFree(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    sypFree(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    sypFree(block);
}

void* operator new(std::size_t size, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return AllocateAlignedOrThrow(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
    return AllocateAligned(size, alignment);
}

void operator delete(void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept {
    std::free(block);
}
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept {
    std::free(block);
}

#endif  // TARNVEL_SYSTEM_ALLOC
