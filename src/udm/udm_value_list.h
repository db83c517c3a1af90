// The list of numbers the reader collects for one value list (the values
// of a TCOD), reused from list to list. Its capacity doubles when full, so
// a list of n values costs O(n) copying however long it gets. A failed
// growth keeps the values collected so far and marks the list failed (UDM
// status 1012) until the next Clear: the caller reports and drops the
// entity instead of storing a shortened or empty list.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <limits>

#include "services/sypmem.h"
#include "udm/udm.h"

namespace tarnvel::udm {

class ValueList {
  public:
    // Resizes a block as sypRealloc does (null on failure, the block kept).
    using Reallocate = void* (*)(void* block, std::size_t size);
    static constexpr std::size_t kFirstCapacity = 1024;
    // A TCOD counts its values in 32 bits.
    static constexpr std::size_t kMaxCount = std::numeric_limits<std::int32_t>::max();

    constexpr explicit ValueList(Reallocate reallocate = &sypRealloc) : reallocate_(reallocate) {}
    // Frees the storage. This is the only release a static list may have:
    // exit cleanups and static destructors run interleaved in the order of
    // their registration, and the stores a destructor makes to its own
    // members are dropped by the compiler (the object is dead afterwards),
    // so an exit cleanup releasing the same list after its destructor would
    // free the storage a second time. Freeing at exit is safe for the memory
    // manager: its state is never destroyed, and it keeps every chunk that
    // still holds a live block.
    ~ValueList() { Release(); }
    ValueList(const ValueList&) = delete;
    ValueList& operator=(const ValueList&) = delete;

    // Empties the list for the next one and clears a failure; the capacity
    // stays.
    void Clear() {
        count_ = 0;
        failed_ = false;
    }
    // Appends a value; false when the list has failed to grow.
    bool Push(double value) {
        if (count_ == capacity_ && !Grow()) return false;
        values_[count_++] = value;
        return true;
    }
    // Makes room for count more values and counts them in: their place, to
    // be filled by the caller; null when the list has failed to grow (then
    // nothing is added).
    double* Extend(std::size_t count) {
        while (capacity_ - count_ < count) {
            if (!Grow()) return nullptr;
        }
        double* place = values_ + count_;
        count_ += count;
        return place;
    }
    // Frees the storage; the list is empty and can be used again.
    void Release() {
        if (values_ != nullptr) sypFree(values_);
        values_ = nullptr;
        capacity_ = 0;
        Clear();
    }

    bool failed() const { return failed_; }
    // UDM_OK, or UDM_NO_MEMORY after a failed growth.
    int status() const { return failed_ ? UDM_NO_MEMORY : UDM_OK; }
    std::int32_t count() const { return static_cast<std::int32_t>(count_); }
    std::size_t capacity() const { return capacity_; }
    const double* values() const { return values_; }

  private:
    bool Grow() {
        if (failed_ || capacity_ >= kMaxCount) {
            failed_ = true;
            return false;
        }
        const std::size_t capacity =
            capacity_ == 0 ? kFirstCapacity : std::min(2 * capacity_, kMaxCount);
        void* grown = reallocate_(values_, capacity * sizeof(double));
        if (grown == nullptr) {
            failed_ = true;
            return false;
        }
        values_ = static_cast<double*>(grown);
        capacity_ = capacity;
        return true;
    }

    Reallocate reallocate_;
    double* values_ = nullptr;
    std::size_t capacity_ = 0;
    std::size_t count_ = 0;
    bool failed_ = false;
};

}  // namespace tarnvel::udm
