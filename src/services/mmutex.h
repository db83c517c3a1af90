// The re-entrant lock of the product environment. A thread that already
// holds it passes through without entering again, so that one environment
// operation may call another; only the outermost call enters and leaves.
#pragma once

#include <atomic>
#include <mutex>
#include <thread>

namespace tarnvel::services {

class MMutex {
  public:
    MMutex() = default;
    MMutex(const MMutex&) = delete;
    MMutex& operator=(const MMutex&) = delete;
    virtual ~MMutex() = default;

    // Enters the lock unless the calling thread owns it already. Returns
    // whether it entered, which is what Leave must be told.
    bool Enter() {
        const std::thread::id caller = std::this_thread::get_id();
        if (owner_.load(std::memory_order_acquire) == caller) return false;
        section_.lock();
        owner_.store(caller, std::memory_order_release);
        return true;
    }

    // Leaves the lock when the matching Enter entered it.
    void Leave(bool entered) {
        if (!entered) return;
        owner_.store(std::thread::id(), std::memory_order_release);
        section_.unlock();
    }

    // True when the calling thread holds the lock.
    bool HeldByCaller() const {
        return owner_.load(std::memory_order_acquire) == std::this_thread::get_id();
    }

  private:
    // Serialises the owners.
    std::mutex section_;
    // The thread holding the lock; a default id when nobody does.
    std::atomic<std::thread::id> owner_{};
};

// Holds an MMutex for the lifetime of a scope.
class MMutexHold {
  public:
    explicit MMutexHold(MMutex& mutex) : mutex_(mutex), entered_(mutex.Enter()) {}
    ~MMutexHold() { mutex_.Leave(entered_); }
    MMutexHold(const MMutexHold&) = delete;
    MMutexHold& operator=(const MMutexHold&) = delete;

  private:
    MMutex& mutex_;
    bool entered_;
};

}  // namespace tarnvel::services
