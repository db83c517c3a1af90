// The reader's value list: geometric growth, a failed growth that keeps
// what was collected and reports it instead of emptying the list, and the
// release of the reader's own list when the process ends.
#include "udm/udm_value_list.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

using tarnvel::udm::ValueList;

// A reallocation that counts its calls and fails from a chosen call on.
struct Budget {
    static inline int calls = 0;
    static inline int fail_from = 0;  // 0: never fails
    static void* Reallocate(void* block, std::size_t size) {
        ++calls;
        if (fail_from != 0 && calls >= fail_from) return nullptr;
        return sypRealloc(block, size);
    }
    static void Reset(int fail_from_call) {
        calls = 0;
        fail_from = fail_from_call;
    }
};

TEST(ValueList, AMillionValuesTakeALogarithmicNumberOfGrowths) {
    Budget::Reset(0);
    ValueList list(&Budget::Reallocate);
    constexpr int kCount = 1'000'000;
    for (int n = 0; n < kCount; ++n) ASSERT_TRUE(list.Push(n * 0.5));
    ASSERT_EQ(list.count(), kCount);
    // 1024, 2048, ... 1,048,576 entries: eleven allocations.
    EXPECT_EQ(Budget::calls, 11);
    EXPECT_EQ(list.capacity(), std::size_t{1} << 20);
    for (int n = 0; n < kCount; ++n) ASSERT_EQ(list.values()[n], n * 0.5);
    EXPECT_EQ(list.status(), UDM_OK);
}

TEST(ValueList, AFailedGrowthKeepsTheValuesAndIsAnErrorUntilCleared) {
    Budget::Reset(3);
    ValueList list(&Budget::Reallocate);
    int pushed = 0;
    while (list.Push(pushed)) ++pushed;
    // Two growths succeeded (1024 and 2048 entries), the third failed.
    EXPECT_EQ(pushed, 2048);
    EXPECT_TRUE(list.failed());
    EXPECT_EQ(list.status(), UDM_NO_MEMORY);
    ASSERT_EQ(list.count(), 2048);
    for (int n = 0; n < 2048; ++n) ASSERT_EQ(list.values()[n], n);
    // Once failed, the list stays failed for the rest of this list, even
    // if memory would be available again.
    Budget::Reset(0);
    EXPECT_FALSE(list.Push(1.0));
    EXPECT_EQ(list.count(), 2048);
    // The next list starts clean with the capacity already there.
    list.Clear();
    EXPECT_EQ(list.status(), UDM_OK);
    for (int n = 0; n < 3000; ++n) ASSERT_TRUE(list.Push(n));
    EXPECT_EQ(list.count(), 3000);
}

TEST(ValueList, ReleaseEmptiesAndTheListCanBeUsedAgain) {
    Budget::Reset(0);
    ValueList list(&Budget::Reallocate);
    ASSERT_TRUE(list.Push(1.0));
    list.Release();
    EXPECT_EQ(list.count(), 0);
    EXPECT_EQ(list.capacity(), 0u);
    EXPECT_EQ(list.values(), nullptr);
    ASSERT_TRUE(list.Push(2.0));
    EXPECT_EQ(list.values()[0], 2.0);
}

// Writes a model with a valued code, reads it back (so the reader's list
// holds storage until the process ends) and exits normally.
void ReadAModelAndExit() {
    char path[] = "/tmp/valuelistXXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) std::exit(3);
    close(fd);
    UdmModel* model = nullptr;
    udm_model_open(nullptr, UDM_MODE_TEXT, &model);
    auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, 21000, 1));
    const double values[] = {1.5, 2.5, 3.5};
    udm_tcod_set_values(udm_tset_code(tset, 1004, 1), 3, values);
    const bool written = udm_model_write(path, UDM_MODE_TEXT) == UDM_OK;
    udm_model_destroy(&model);
    UdmModel* back = nullptr;
    const bool read = written && udm_model_open(path, UDM_MODE_TEXT, &back) == UDM_OK;
    unlink(path);
    if (!read) std::exit(4);
    udm_model_destroy(&back);
    std::exit(0);
}

// Exit cleanups and static destructors interleave in the order they were
// registered; the reader's list must be released exactly once in any order
// (a second release of its storage ends the process with a heap fault).
TEST(ValueListDeathTest, TheReadersListIsReleasedOnceAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(ReadAModelAndExit(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
