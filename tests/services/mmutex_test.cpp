// The re-entrant environment lock: nested use on the owning thread passes
// through, other threads wait until the outermost holder leaves.
#include "services/mmutex.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using tarnvel::services::MMutex;
using tarnvel::services::MMutexHold;

TEST(MMutex, NestedUseOnTheOwningThreadPassesThrough) {
    MMutex mutex;
    EXPECT_FALSE(mutex.HeldByCaller());
    const bool outer = mutex.Enter();
    EXPECT_TRUE(outer);
    EXPECT_FALSE(mutex.Enter());  // nested: neither enters nor leaves
    mutex.Leave(false);
    EXPECT_TRUE(mutex.HeldByCaller());
    mutex.Leave(outer);
    EXPECT_FALSE(mutex.HeldByCaller());
}

TEST(MMutex, OtherThreadsWaitForTheOutermostHolder) {
    MMutex mutex;
    std::atomic<bool> entered{false};
    std::thread other;
    {
        const MMutexHold outer(mutex);
        { const MMutexHold nested(mutex); }
        // Leaving the nested hold must not have released the lock.
        other = std::thread([&] {
            const MMutexHold hold(mutex);
            entered = true;
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        EXPECT_FALSE(entered.load());
    }
    other.join();
    EXPECT_TRUE(entered.load());
    EXPECT_FALSE(mutex.HeldByCaller());
}

}  // namespace
