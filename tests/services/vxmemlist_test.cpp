#include "services/vxmemlist.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <set>
#include <vector>

#include "services/sypmem.h"

namespace {

// Items are pointers into a table of numbers; the order is the numbers'.
int CompareNumbers(const void* key, const void* item, int* result) {
    const auto a = *static_cast<const std::uint32_t*>(key);
    const auto b = *static_cast<const std::uint32_t*>(item);
    *result = a < b ? kOcBefore : (a == b ? kOcEqual : kOcAfter);
    return 0;
}

std::uint32_t ValueOf(const void* item) {
    return *static_cast<const std::uint32_t*>(item);
}

// Walks the tree through child links and checks every structural rule:
// tags, balances against real heights, order of items, and that every
// thread points at the in-order neighbour (null at both ends).
class TreeChecker {
  public:
    explicit TreeChecker(const OcCollection* collection) : collection_(collection) {}

    void Check() {
        order_.clear();
        nodes_.clear();
        if (collection_->root != nullptr) Height(collection_->root);
        ASSERT_EQ(order_.size(), collection_->count);
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            const OcNode* node = nodes_[i];
            if (node->left_tag == kOcThreadTag) {
                EXPECT_EQ(node->left, i == 0 ? nullptr : nodes_[i - 1]) << ValueOf(node->item);
            }
            if (node->right_tag == kOcThreadTag) {
                EXPECT_EQ(node->right, i + 1 == nodes_.size() ? nullptr : nodes_[i + 1])
                    << ValueOf(node->item);
            }
        }
        EXPECT_TRUE(std::is_sorted(order_.begin(), order_.end()));
        EXPECT_TRUE(std::adjacent_find(order_.begin(), order_.end()) == order_.end());
    }

    const std::vector<std::uint32_t>& Order() const { return order_; }
    int RootHeight() const {
        return collection_->root == nullptr
                   ? 0
                   : const_cast<TreeChecker*>(this)->Height(collection_->root);
    }

  private:
    int Height(const OcNode* node) {
        EXPECT_TRUE(node->left_tag == kOcChildTag || node->left_tag == kOcThreadTag);
        EXPECT_TRUE(node->right_tag == kOcChildTag || node->right_tag == kOcThreadTag);
        const int left = node->left_tag == kOcChildTag ? Height(node->left) : 0;
        order_.push_back(ValueOf(node->item));
        nodes_.push_back(node);
        const int right = node->right_tag == kOcChildTag ? Height(node->right) : 0;
        EXPECT_EQ(node->balance, left - right) << "at " << ValueOf(node->item);
        EXPECT_LE(std::abs(left - right), 1) << "at " << ValueOf(node->item);
        return 1 + std::max(left, right);
    }

    const OcCollection* collection_;
    std::vector<std::uint32_t> order_;
    std::vector<const OcNode*> nodes_;
};

class CollectionTest : public ::testing::Test {
  protected:
    CollectionTest() : numbers_(4096) {
        for (std::uint32_t i = 0; i < numbers_.size(); ++i) numbers_[i] = i;
    }
    void SetUp() override { ASSERT_EQ(ocCreate(&collection_, CompareNumbers), kOcOk); }
    void TearDown() override {
        if (collection_ != nullptr) {
            EXPECT_EQ(ocDestroy(&collection_), kOcOk);
        }
    }

    void* Item(std::uint32_t value) { return &numbers_[value]; }
    void InsertRange(std::uint32_t first, std::uint32_t last) {
        for (std::uint32_t v = first; v <= last; ++v)
            ASSERT_EQ(ocInsert(collection_, Item(v)), kOcOk);
    }
    // The values met when stepping from the given end to the other.
    std::vector<std::uint32_t> Walk(bool forward) {
        std::vector<std::uint32_t> seen;
        void* item = nullptr;
        EXPECT_EQ(forward ? ocFirst(collection_, &item) : ocLast(collection_, &item), kOcOk);
        while (item != nullptr && seen.size() <= collection_->count) {
            seen.push_back(ValueOf(item));
            void* next = nullptr;
            EXPECT_EQ(forward ? ocNext(collection_, item, &next) : ocPrev(collection_, item, &next),
                      kOcOk);
            item = next;
        }
        return seen;
    }

    std::vector<std::uint32_t> numbers_;
    OcCollection* collection_ = nullptr;
};

TEST_F(CollectionTest, InsertingInOrderRotatesToABalancedRoot) {
    InsertRange(1, 3);
    const OcNode* root = collection_->root;
    EXPECT_EQ(ValueOf(root->item), 2u);
    EXPECT_EQ(root->left_tag, kOcChildTag);
    EXPECT_EQ(root->right_tag, kOcChildTag);
    EXPECT_EQ(root->balance, 0);
    EXPECT_EQ(root->left->balance, 0);
    EXPECT_EQ(root->right->balance, 0);
    // The leaves thread to the root and to nothing at the ends.
    EXPECT_EQ(root->left->left, nullptr);
    EXPECT_EQ(root->left->right, root);
    EXPECT_EQ(root->right->left, root);
    EXPECT_EQ(root->right->right, nullptr);
}

TEST_F(CollectionTest, DuplicatesAndMissingKeysAreRefused) {
    InsertRange(10, 20);
    std::uint32_t twin = 15;
    EXPECT_EQ(ocInsert(collection_, &twin), kOcDuplicate);
    std::uint32_t count = 0;
    ASSERT_EQ(ocCount(collection_, &count), kOcOk);
    EXPECT_EQ(count, 11u);

    void* found = nullptr;
    ASSERT_EQ(ocFind(collection_, &twin, &found), kOcOk);
    EXPECT_EQ(found, Item(15)) << "the first item stays, not its twin";
    std::uint32_t absent = 9;
    EXPECT_EQ(ocFind(collection_, &absent, &found), kOcNotFound);
    EXPECT_EQ(found, nullptr);
    EXPECT_EQ(ocRemove(collection_, &absent), kOcNotFound);
    TreeChecker(collection_).Check();
}

TEST_F(CollectionTest, RandomInsertsAndRemovalsKeepEveryInvariant) {
    std::mt19937 random(12345);
    std::uniform_int_distribution<std::uint32_t> pick(0, 2999);
    std::set<std::uint32_t> model;
    TreeChecker checker(collection_);
    for (int round = 0; round < 30000; ++round) {
        const std::uint32_t value = pick(random);
        // Grow for the first half, shrink in the second.
        const bool insert = random() % 100 < (round < 15000 ? 65u : 35u);
        if (insert) {
            const bool fresh = model.insert(value).second;
            ASSERT_EQ(ocInsert(collection_, Item(value)), fresh ? kOcOk : kOcDuplicate);
        } else {
            const bool present = model.erase(value) == 1;
            ASSERT_EQ(ocRemove(collection_, Item(value)), present ? kOcOk : kOcNotFound);
        }
        if (round % 211 == 0) {
            checker.Check();
            ASSERT_FALSE(::testing::Test::HasFailure()) << "after round " << round;
            ASSERT_EQ(checker.Order(), std::vector<std::uint32_t>(model.begin(), model.end()));
        }
    }
    checker.Check();
    EXPECT_EQ(checker.Order(), std::vector<std::uint32_t>(model.begin(), model.end()));
    EXPECT_EQ(Walk(true), checker.Order());
    // A balanced tree of n nodes is at most about 1.44 log2(n + 2) high.
    const double bound = 1.4405 * std::log2(model.size() + 2.0);
    EXPECT_LE(checker.RootHeight(), static_cast<int>(bound) + 1);

    // Drained to empty from the middle outwards, then usable again.
    std::vector<std::uint32_t> rest(model.begin(), model.end());
    std::shuffle(rest.begin(), rest.end(), random);
    for (std::uint32_t value : rest) ASSERT_EQ(ocRemove(collection_, Item(value)), kOcOk);
    EXPECT_EQ(collection_->root, nullptr);
    EXPECT_EQ(collection_->count, 0u);
    InsertRange(5, 9);
    checker.Check();
}

TEST_F(CollectionTest, SteppingWalksBothWaysAndStopsAtTheEnds) {
    void* item = Item(0);
    EXPECT_EQ(ocFirst(collection_, &item), kOcMissing);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(ocNext(collection_, Item(1), &item), kOcMissing);

    InsertRange(1, 50);
    std::vector<std::uint32_t> ascending(50);
    for (std::uint32_t i = 0; i < 50; ++i) ascending[i] = i + 1;
    EXPECT_EQ(Walk(true), ascending);
    std::reverse(ascending.begin(), ascending.end());
    EXPECT_EQ(Walk(false), ascending);

    item = Item(0);
    EXPECT_EQ(ocNext(collection_, Item(50), &item), kOcOk);
    EXPECT_EQ(item, nullptr);
    EXPECT_EQ(ocPrev(collection_, Item(1), &item), kOcOk);
    EXPECT_EQ(item, nullptr);
}

TEST_F(CollectionTest, SteppingFromAKeyNotInTheCollectionFindsTheNearestItem) {
    for (std::uint32_t v = 10; v <= 100; v += 10) ASSERT_EQ(ocInsert(collection_, Item(v)), kOcOk);
    void* item = nullptr;
    ASSERT_EQ(ocNext(collection_, Item(35), &item), kOcOk);
    EXPECT_EQ(ValueOf(item), 40u);
    ASSERT_EQ(ocPrev(collection_, Item(35), &item), kOcOk);
    EXPECT_EQ(ValueOf(item), 30u);
    ASSERT_EQ(ocNext(collection_, Item(5), &item), kOcOk);
    EXPECT_EQ(ValueOf(item), 10u);
    ASSERT_EQ(ocNext(collection_, Item(101), &item), kOcOk);
    EXPECT_EQ(item, nullptr);
}

TEST_F(CollectionTest, ThreeInterleavedWalksAllReachTheEnd) {
    InsertRange(1, 30);
    // Three sequences in step: more than the slots can hold at once.
    void* walks[3] = {};
    for (void*& walk : walks) ASSERT_EQ(ocFirst(collection_, &walk), kOcOk);
    for (std::uint32_t expected = 2; expected <= 30; ++expected) {
        for (void*& walk : walks) {
            ASSERT_EQ(ocNext(collection_, walk, &walk), kOcOk);
            ASSERT_NE(walk, nullptr);
            EXPECT_EQ(ValueOf(walk), expected);
        }
    }
}

bool InSlot(const OcCollection* collection, const void* item) {
    return std::any_of(std::begin(collection->slots), std::end(collection->slots),
                       [item](const OcSlot& slot) { return slot.item == item; });
}

TEST_F(CollectionTest, NewWalksTakeTheSlotsOfAbandonedOnes) {
    InsertRange(1, 30);
    void* item = nullptr;
    ASSERT_EQ(ocFirst(collection_, &item), kOcOk);  // abandoned at 1
    ASSERT_EQ(ocLast(collection_, &item), kOcOk);   // abandoned at 30
    void* third = nullptr;
    void* fourth = nullptr;
    ASSERT_EQ(ocNext(collection_, Item(10), &third), kOcOk);
    ASSERT_EQ(ocNext(collection_, Item(20), &fourth), kOcOk);
    EXPECT_TRUE(InSlot(collection_, third));
    EXPECT_TRUE(InSlot(collection_, fourth));
}

TEST_F(CollectionTest, ASlotSurvivesTheRemovalThatMovesItsItem) {
    InsertRange(1, 7);  // root 4 with two children; its successor is 5
    void* item = nullptr;
    ASSERT_EQ(ocFirst(collection_, &item), kOcOk);
    while (ValueOf(item) != 5) ASSERT_EQ(ocNext(collection_, item, &item), kOcOk);
    ASSERT_EQ(ocRemove(collection_, Item(4)), kOcOk);
    // The released node of 5 is taken again by the next insertion.
    ASSERT_EQ(ocInsert(collection_, Item(100)), kOcOk);
    TreeChecker(collection_).Check();
    void* next = nullptr;
    ASSERT_EQ(ocNext(collection_, item, &next), kOcOk);
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(ValueOf(next), 6u);
    ASSERT_EQ(ocPrev(collection_, Item(6), &next), kOcOk);
    EXPECT_EQ(ValueOf(next), 5u);
    ASSERT_EQ(ocPrev(collection_, next, &next), kOcOk);
    EXPECT_EQ(ValueOf(next), 3u);
}

TEST_F(CollectionTest, RemovingTheSteppedItemEmptiesItsSlot) {
    InsertRange(1, 9);
    void* item = nullptr;
    ASSERT_EQ(ocFirst(collection_, &item), kOcOk);
    ASSERT_EQ(ocNext(collection_, item, &item), kOcOk);  // at 2
    ASSERT_EQ(ocRemove(collection_, item), kOcOk);
    for (const OcSlot& slot : collection_->slots) EXPECT_NE(slot.item, Item(2));
    void* next = nullptr;
    ASSERT_EQ(ocNext(collection_, Item(2), &next), kOcOk);
    EXPECT_EQ(ValueOf(next), 3u);
}

struct VisitLog {
    std::vector<std::uint32_t> seen;
    std::uint32_t stop_at;
};

int Visit(void* item, void* user_data) {
    auto* log = static_cast<VisitLog*>(user_data);
    log->seen.push_back(ValueOf(item));
    return ValueOf(item) == log->stop_at ? 42 : 0;
}

TEST_F(CollectionTest, ForEachVisitsInOrderAndStopsOnAStatus) {
    for (std::uint32_t v : {8u, 3u, 9u, 1u, 5u}) ASSERT_EQ(ocInsert(collection_, Item(v)), kOcOk);
    VisitLog all{{}, 1000};
    EXPECT_EQ(ocForEach(collection_, Visit, &all), kOcOk);
    EXPECT_EQ(all.seen, (std::vector<std::uint32_t>{1, 3, 5, 8, 9}));
    VisitLog cut{{}, 5};
    EXPECT_EQ(ocForEach(collection_, Visit, &cut), 42);
    EXPECT_EQ(cut.seen, (std::vector<std::uint32_t>{1, 3, 5}));
}

// A comparison that fails on one value, as a caller's comparison may.
int CompareFailingOn13(const void* key, const void* item, int* result) {
    if (ValueOf(key) == 13) return 77;
    return CompareNumbers(key, item, result);
}

TEST_F(CollectionTest, AFailingComparisonAbortsTheOperation) {
    collection_->compare = CompareFailingOn13;
    InsertRange(1, 12);
    EXPECT_EQ(ocInsert(collection_, Item(13)), 77);
    EXPECT_EQ(ocRemove(collection_, Item(13)), 77);
    void* item = nullptr;
    EXPECT_EQ(ocFind(collection_, Item(13), &item), 77);
    EXPECT_EQ(ocNext(collection_, Item(13), &item), 77);
    EXPECT_EQ(collection_->count, 12u);
    TreeChecker(collection_).Check();
}

int g_released = 0;
void CountAndFree(void* item) {
    ++g_released;
    sypFree(item);
}

std::uint32_t* NewNumber(std::uint32_t value) {
    auto* number = static_cast<std::uint32_t*>(sypMalloc(sizeof(std::uint32_t)));
    *number = value;
    return number;
}

TEST(CollectionRelease, ClearAndDestroyAllReleaseTheItems) {
    OcCollection* collection = nullptr;
    ASSERT_EQ(ocCreate(&collection, CompareNumbers), kOcOk);
    for (std::uint32_t v = 0; v < 100; ++v) ASSERT_EQ(ocInsert(collection, NewNumber(v)), kOcOk);
    g_released = 0;
    ASSERT_EQ(ocClear(collection, CountAndFree), kOcOk);
    EXPECT_EQ(g_released, 100);
    EXPECT_EQ(collection->root, nullptr);
    EXPECT_EQ(collection->count, 0u);

    // Without a function the items go back to the allocator (a leak
    // checker sees any that do not).
    for (std::uint32_t v = 0; v < 50; ++v) ASSERT_EQ(ocInsert(collection, NewNumber(v)), kOcOk);
    ASSERT_EQ(ocDestroyAll(&collection, nullptr), kOcOk);
    EXPECT_EQ(collection, nullptr);
    EXPECT_EQ(ocDestroy(&collection), kOcMissing);
}

TEST(CollectionMisuse, MissingArgumentsAreReportedAndRefused) {
    OcCollection* collection = nullptr;
    ASSERT_EQ(ocCreate(&collection, CompareNumbers), kOcOk);
    std::uint32_t number = 1;
    void* item = nullptr;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ocCreate(nullptr, CompareNumbers), kOcMissing);
    EXPECT_EQ(ocInsert(nullptr, &number), kOcMissing);
    EXPECT_EQ(ocInsert(collection, nullptr), kOcMissing);
    EXPECT_EQ(ocFind(collection, nullptr, &item), kOcMissing);
    EXPECT_EQ(ocFind(collection, &number, nullptr), kOcMissing);
    EXPECT_EQ(ocNext(nullptr, &number, &item), kOcMissing);
    EXPECT_EQ(ocForEach(collection, nullptr), kOcMissing);
    EXPECT_EQ(ocDestroy(nullptr), kOcMissing);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(report.find("Unexpected Condition Encountered:"), std::string::npos);
    EXPECT_NE(report.find("Returned on Assertion Failure:"), std::string::npos);
    EXPECT_EQ(collection->count, 0u);
    ocDestroy(&collection);
}

// Inserts and removes one item in a fresh process and exits with 0 when
// the pool grew by exactly `expected_growth` nodes.
void CheckPoolGrowth(const char* setting, std::size_t expected_growth) {
    if (setting != nullptr) {
        setenv("VTSYS_VXMEMLIST_RECYCLE", setting, 1);
    } else {
        unsetenv("VTSYS_VXMEMLIST_RECYCLE");
    }
    OcCollection* collection = nullptr;
    std::uint32_t numbers[] = {1, 2, 3};
    if (ocCreate(&collection, CompareNumbers) != kOcOk) std::exit(2);
    const std::size_t before = ocPoolFreeCount();
    for (auto& number : numbers) ocInsert(collection, &number);
    for (auto& number : numbers) ocRemove(collection, &number);
    const std::size_t grown = ocPoolFreeCount() - before;
    ocDestroy(&collection);
    std::exit(grown == expected_growth ? 0 : 1);
}

TEST(CollectionPoolDeathTest, NodesAreRecycledUnlessTheSwitchReadsZero) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CheckPoolGrowth(nullptr, 3), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(CheckPoolGrowth("1", 3), ::testing::ExitedWithCode(0), "");
    EXPECT_EXIT(CheckPoolGrowth("0", 0), ::testing::ExitedWithCode(0), "");
}

}  // namespace
