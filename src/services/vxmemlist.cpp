#include "services/vxmemlist.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <mutex>
#include <type_traits>

#include "services/syperror.h"
#include "services/sypmem.h"

namespace {

// Link directions; the opposite of a direction is 1 - direction.
constexpr int kLeft = 0;
constexpr int kRight = 1;

// Deeper than any balanced tree of 2^32 nodes can grow (about 46 levels), so
// every descent is bounded and a longer one means a broken tree.
constexpr int kMaxDepth = 64;

// The environment switch that sends released nodes back to the allocator.
constexpr char kRecycleVariable[] = "VTSYS_VXMEMLIST_RECYCLE";

// The process-wide pool of released nodes, linked through their left field.
// It is guarded by one lock because collections may live on several threads.
struct NodePool {
    std::mutex lock;
    OcNode* free_list = nullptr;
    std::size_t free_count = 0;
    bool recycle = true;
};

// Recycling is on unless the switch holds a value whose integer reading is 0.
bool RecycleSwitch() {
    const char* setting = std::getenv(kRecycleVariable);
    return setting == nullptr || std::strtol(setting, nullptr, 10) != 0;
}

// The pool, made with the first collection; the switch is read then, once.
// It has no destructor to run, so collections released by exit-time code
// still find it.
NodePool& Pool() {
    static NodePool pool{
        .lock = {}, .free_list = nullptr, .free_count = 0, .recycle = RecycleSwitch()};
    return pool;
}
static_assert(std::is_trivially_destructible_v<NodePool>);

OcNode* TakeNode(void* item) {
    NodePool& pool = Pool();
    OcNode* node = nullptr;
    {
        std::lock_guard<std::mutex> guard(pool.lock);
        if (pool.free_list != nullptr) {
            node = pool.free_list;
            pool.free_list = node->left;
            --pool.free_count;
        }
    }
    if (node == nullptr) node = static_cast<OcNode*>(sypMalloc(sizeof(OcNode)));
    if (node == nullptr) return nullptr;
    *node = OcNode{nullptr, nullptr, 0, kOcThreadTag, kOcThreadTag, item};
    return node;
}

void ReleaseNode(OcNode* node) {
    NodePool& pool = Pool();
    if (!pool.recycle) {
        sypFree(node);
        return;
    }
    std::lock_guard<std::mutex> guard(pool.lock);
    node->left = pool.free_list;
    pool.free_list = node;
    ++pool.free_count;
}

OcNode*& Link(OcNode* node, int direction) {
    return direction == kLeft ? node->left : node->right;
}
char& Tag(OcNode* node, int direction) {
    return direction == kLeft ? node->left_tag : node->right_tag;
}
bool HasChild(OcNode* node, int direction) {
    return Tag(node, direction) == kOcChildTag;
}

// Ends the process when a descent runs deeper than a balanced tree can be.
void CheckDepth(int depth) {
    SYP_ASSERT(depth < kMaxDepth);
}

// The last node reached from node by following child links in direction.
OcNode* Extreme(OcNode* node, int direction) {
    for (int depth = 0; HasChild(node, direction); ++depth) {
        CheckDepth(depth);
        node = Link(node, direction);
    }
    return node;
}

// The in-order neighbour of node in direction (successor for kRight), or
// null at the end.
OcNode* Neighbour(OcNode* node, int direction) {
    if (!HasChild(node, direction)) return Link(node, direction);
    return Extreme(Link(node, direction), 1 - direction);
}

// Hangs subtree under parent in direction, or makes it the root.
void SetChild(OcCollection* collection, OcNode* parent, int direction, OcNode* subtree) {
    if (parent == nullptr) {
        collection->root = subtree;
        return;
    }
    Link(parent, direction) = subtree;
    Tag(parent, direction) = kOcChildTag;
}

// Lifts the child of node on side up in its place and returns it. An empty
// subtree crossing over turns into a thread back to the lifted child.
// Balances follow the standard rules; sign makes them relative to side.
OcNode* Rotate(OcNode* node, int side) {
    const int other = 1 - side;
    OcNode* child = Link(node, side);
    if (HasChild(child, other)) {
        Link(node, side) = Link(child, other);
    } else {
        Link(node, side) = child;
        Tag(node, side) = kOcThreadTag;
    }
    Link(child, other) = node;
    Tag(child, other) = kOcChildTag;

    const int sign = side == kLeft ? 1 : -1;
    const int node_lean = sign * node->balance - 1 - std::max(sign * child->balance, 0);
    const int child_lean = sign * child->balance - 1 + std::min(node_lean, 0);
    node->balance = static_cast<std::int16_t>(sign * node_lean);
    child->balance = static_cast<std::int16_t>(sign * child_lean);
    return child;
}

// Restores the balance of a node leaning by 2 to one side with one or two
// rotations and returns the new root of its subtree.
OcNode* Rebalance(OcNode* node) {
    const int side = node->balance > 0 ? kLeft : kRight;
    const int sign = side == kLeft ? 1 : -1;
    OcNode* child = Link(node, side);
    if (sign * child->balance < 0) Link(node, side) = Rotate(child, 1 - side);
    return Rotate(node, side);
}

// One node on a recorded descent: the node and the direction taken from it.
struct PathStep {
    OcNode* node;
    int direction;
};

// A recorded descent from the root.
struct Path {
    std::array<PathStep, kMaxDepth> steps;
    int length = 0;

    void Push(OcNode* node, int direction) {
        CheckDepth(length);
        steps[length++] = PathStep{node, direction};
    }
};

// Maps a comparison result to the direction of the descent.
int DirectionOf(int comparison) {
    return comparison == kOcBefore ? kLeft : kRight;
}

// Descends from the root towards key, recording the path. *found is the
// equal node or null. Returns the comparison status.
int Descend(OcCollection* collection, const void* key, Path& path, OcNode** found) {
    *found = nullptr;
    OcNode* node = collection->root;
    while (node != nullptr) {
        // Both children are fetched while the comparison waits for the item.
        __builtin_prefetch(node->left);
        __builtin_prefetch(node->right);
        int comparison = kOcEqual;
        if (const int status = collection->compare(key, node->item, &comparison); status != 0) {
            return status;
        }
        if (comparison == kOcEqual) {
            *found = node;
            return kOcOk;
        }
        const int direction = DirectionOf(comparison);
        path.Push(node, direction);
        node = HasChild(node, direction) ? Link(node, direction) : nullptr;
    }
    return kOcOk;
}

bool Misused(bool misuse) {
    if (misuse) SYP_REPORT_MISUSE();
    return misuse;
}

// Hangs node as the child of parent in direction, taking over the parent's
// thread on that side.
void Attach(OcNode* parent, int direction, OcNode* node) {
    Link(node, direction) = Link(parent, direction);
    Link(node, 1 - direction) = parent;
    Link(parent, direction) = node;
    Tag(parent, direction) = kOcChildTag;
}

// After an insertion below path: adjusts the balances from the last node
// that leaned (where the tree may need rotating) down to the new leaf, then
// restores the balance at that point.
void BalanceAfterInsert(OcCollection* collection, const Path& path) {
    int point = 0;
    for (int i = path.length - 1; i > 0; --i) {
        if (path.steps[i].node->balance != 0) {
            point = i;
            break;
        }
    }
    for (int i = point; i < path.length; ++i) {
        const PathStep& step = path.steps[i];
        step.node->balance =
            static_cast<std::int16_t>(step.node->balance + (step.direction == kLeft ? 1 : -1));
    }
    OcNode* node = path.steps[point].node;
    if (std::abs(node->balance) < 2) return;
    OcNode* parent = point > 0 ? path.steps[point - 1].node : nullptr;
    const int direction = point > 0 ? path.steps[point - 1].direction : kLeft;
    SetChild(collection, parent, direction, Rebalance(node));
}

// Takes doomed (at most one child) out of the tree; the end of path is its
// parent. The thread that pointed at it from its subtree is redirected.
void Unlink(OcCollection* collection, OcNode* doomed, const Path& path) {
    OcNode* parent = path.length > 0 ? path.steps[path.length - 1].node : nullptr;
    const int direction = path.length > 0 ? path.steps[path.length - 1].direction : kLeft;
    if (!HasChild(doomed, kLeft) && !HasChild(doomed, kRight)) {
        if (parent == nullptr) {
            collection->root = nullptr;
            return;
        }
        Link(parent, direction) = Link(doomed, direction);
        Tag(parent, direction) = kOcThreadTag;
        return;
    }
    const int side = HasChild(doomed, kLeft) ? kLeft : kRight;
    OcNode* child = Link(doomed, side);
    Link(Extreme(child, 1 - side), 1 - side) = Link(doomed, 1 - side);
    SetChild(collection, parent, direction, child);
}

// After a removal below path: corrects the balances on the way back up,
// rotating where a node leans by 2, until a subtree keeps its height.
void BalanceAfterRemove(OcCollection* collection, const Path& path) {
    for (int i = path.length - 1; i >= 0; --i) {
        OcNode* node = path.steps[i].node;
        node->balance =
            static_cast<std::int16_t>(node->balance + (path.steps[i].direction == kLeft ? -1 : 1));
        if (std::abs(node->balance) == 1) return;
        if (node->balance == 0) continue;
        OcNode* parent = i > 0 ? path.steps[i - 1].node : nullptr;
        const int direction = i > 0 ? path.steps[i - 1].direction : kLeft;
        OcNode* subtree = Rebalance(node);
        SetChild(collection, parent, direction, subtree);
        if (subtree->balance != 0) return;
    }
}

// Slot bookkeeping.
void EmptySlotsAt(OcCollection* collection, const OcNode* node) {
    for (OcSlot& slot : collection->slots) {
        if (slot.node == node) slot = OcSlot{nullptr, nullptr};
    }
}

void MoveSlots(OcCollection* collection, const OcNode* from, OcNode* to) {
    for (OcSlot& slot : collection->slots) {
        if (slot.node == from) slot.node = to;
    }
}

// Records node in the first empty slot, or in the one filled longest ago
// when all are taken, so a new step sequence always gets a slot.
void RecordInSlot(OcCollection* collection, OcNode* node) {
    std::uint32_t chosen = collection->oldest_slot % kOcSlotCount;
    for (std::uint32_t i = 0; i < kOcSlotCount; ++i) {
        if (collection->slots[i].item == nullptr) {
            chosen = i;
            break;
        }
    }
    collection->slots[chosen] = OcSlot{node, node->item};
    collection->oldest_slot = (chosen + 1) % kOcSlotCount;
}

// Takes the slot whose item equals key out of the slots; *node is its node,
// or null when no slot holds an equal item.
int TakeFromSlots(OcCollection* collection, const void* key, OcNode** node) {
    *node = nullptr;
    for (OcSlot& slot : collection->slots) {
        if (slot.item == nullptr) continue;
        int comparison = kOcBefore;
        if (const int status = collection->compare(key, slot.item, &comparison); status != 0) {
            return status;
        }
        if (comparison == kOcEqual) {
            *node = slot.node;
            slot = OcSlot{nullptr, nullptr};
            return kOcOk;
        }
    }
    return kOcOk;
}

// The nearest node beyond key in direction, searched from the root; key
// itself need not be in the tree.
int SearchNeighbour(OcCollection* collection, const void* key, int direction, OcNode** found) {
    *found = nullptr;
    OcNode* node = collection->root;
    for (int depth = 0; node != nullptr; ++depth) {
        CheckDepth(depth);
        int comparison = kOcEqual;
        if (const int status = collection->compare(key, node->item, &comparison); status != 0) {
            return status;
        }
        if (comparison == kOcEqual) {
            *found = Neighbour(node, direction);
            return kOcOk;
        }
        const int toward = DirectionOf(comparison);
        if (toward != direction) *found = node;
        node = HasChild(node, toward) ? Link(node, toward) : nullptr;
    }
    return kOcOk;
}

// ocNext and ocPrev: the neighbour of key in direction.
int Step(OcCollection* collection, const void* key, int direction, void** result) {
    if (Misused(collection == nullptr || key == nullptr || result == nullptr)) return kOcMissing;
    *result = nullptr;
    if (collection->root == nullptr) return kOcMissing;
    OcNode* from = nullptr;
    if (const int status = TakeFromSlots(collection, key, &from); status != 0) return status;
    OcNode* neighbour = nullptr;
    if (from != nullptr) {
        neighbour = Neighbour(from, direction);
    } else if (const int status = SearchNeighbour(collection, key, direction, &neighbour);
               status != 0) {
        return status;
    }
    if (neighbour == nullptr) return kOcOk;
    RecordInSlot(collection, neighbour);
    *result = neighbour->item;
    return kOcOk;
}

// ocFirst and ocLast: the extreme item in direction.
int StepToEnd(OcCollection* collection, int direction, void** result) {
    if (Misused(collection == nullptr || result == nullptr)) return kOcMissing;
    *result = nullptr;
    if (collection->root == nullptr) return kOcMissing;
    OcNode* node = Extreme(collection->root, direction);
    RecordInSlot(collection, node);
    *result = node->item;
    return kOcOk;
}

// Releases every node, and every item when release_items is set, and
// leaves the collection empty. The successor of a node is taken before the
// node goes, and lies after it, so the walk never touches a released node.
void ReleaseNodes(OcCollection* collection, bool release_items, OcReleaseFn release) {
    OcNode* node = collection->root != nullptr ? Extreme(collection->root, kLeft) : nullptr;
    for (std::uint32_t i = 0; node != nullptr && i < collection->count; ++i) {
        OcNode* next = Neighbour(node, kRight);
        void* item = node->item;
        ReleaseNode(node);
        if (release_items) {
            if (release != nullptr) {
                release(item);
            } else {
                sypFree(item);
            }
        }
        node = next;
    }
    *collection = OcCollection{nullptr, collection->compare, {}, 0, 0};
}

}  // namespace

int ocCreate(OcCollection** collection, OcCompareFn compare) {
    if (Misused(collection == nullptr || compare == nullptr)) return kOcMissing;
    Pool();
    *collection = static_cast<OcCollection*>(sypMalloc(sizeof(OcCollection)));
    if (*collection == nullptr) return kOcNoMemory;
    **collection = OcCollection{nullptr, compare, {}, 0, 0};
    return kOcOk;
}

int ocInsert(OcCollection* collection, void* item) {
    if (Misused(collection == nullptr || item == nullptr)) return kOcMissing;
    OcNode* node = TakeNode(item);
    if (node == nullptr) return kOcNoMemory;
    if (collection->root == nullptr) {
        collection->root = node;
        collection->count = 1;
        return kOcOk;
    }
    Path path;
    OcNode* equal = nullptr;
    const int status = Descend(collection, item, path, &equal);
    if (status != 0 || equal != nullptr) {
        ReleaseNode(node);
        return status != 0 ? status : kOcDuplicate;
    }
    const PathStep& leaf = path.steps[path.length - 1];
    Attach(leaf.node, leaf.direction, node);
    BalanceAfterInsert(collection, path);
    ++collection->count;
    return kOcOk;
}

int ocFind(OcCollection* collection, const void* key, void** item) {
    if (Misused(collection == nullptr || key == nullptr || item == nullptr)) return kOcMissing;
    *item = nullptr;
    Path path;
    OcNode* found = nullptr;
    if (const int status = Descend(collection, key, path, &found); status != 0) return status;
    if (found == nullptr) return kOcNotFound;
    *item = found->item;
    return kOcOk;
}

int ocRemove(OcCollection* collection, const void* key) {
    if (Misused(collection == nullptr || key == nullptr)) return kOcMissing;
    Path path;
    OcNode* target = nullptr;
    if (const int status = Descend(collection, key, path, &target); status != 0) return status;
    if (target == nullptr) return kOcNotFound;
    EmptySlotsAt(collection, target);
    OcNode* doomed = target;
    if (HasChild(target, kLeft) && HasChild(target, kRight)) {
        // The in-order successor gives its item to target; its node goes.
        path.Push(target, kRight);
        doomed = target->right;
        while (HasChild(doomed, kLeft)) {
            path.Push(doomed, kLeft);
            doomed = doomed->left;
        }
        target->item = doomed->item;
        MoveSlots(collection, doomed, target);
    }
    Unlink(collection, doomed, path);
    BalanceAfterRemove(collection, path);
    ReleaseNode(doomed);
    --collection->count;
    return kOcOk;
}

int ocFirst(OcCollection* collection, void** item) {
    return StepToEnd(collection, kLeft, item);
}

int ocLast(OcCollection* collection, void** item) {
    return StepToEnd(collection, kRight, item);
}

int ocNext(OcCollection* collection, const void* item, void** next) {
    return Step(collection, item, kRight, next);
}

int ocPrev(OcCollection* collection, const void* item, void** previous) {
    return Step(collection, item, kLeft, previous);
}

int ocCount(const OcCollection* collection, std::uint32_t* count) {
    if (Misused(collection == nullptr || count == nullptr)) return kOcMissing;
    *count = collection->count;
    return kOcOk;
}

int ocForEach(OcCollection* collection, OcVisitFn visit, void* user_data) {
    if (Misused(collection == nullptr || visit == nullptr)) return kOcMissing;
    OcNode* node = collection->root != nullptr ? Extreme(collection->root, kLeft) : nullptr;
    for (std::uint32_t i = 0; node != nullptr && i < collection->count; ++i) {
        if (const int status = visit(node->item, user_data); status != 0) return status;
        node = Neighbour(node, kRight);
    }
    return kOcOk;
}

int ocClear(OcCollection* collection, OcReleaseFn release) {
    if (Misused(collection == nullptr)) return kOcMissing;
    ReleaseNodes(collection, true, release);
    return kOcOk;
}

int ocDestroy(OcCollection** collection) {
    if (Misused(collection == nullptr)) return kOcMissing;
    if (*collection == nullptr) return kOcMissing;
    ReleaseNodes(*collection, false, nullptr);
    sypFree(*collection);
    *collection = nullptr;
    return kOcOk;
}

int ocDestroyAll(OcCollection** collection, OcReleaseFn release) {
    if (Misused(collection == nullptr)) return kOcMissing;
    if (*collection == nullptr) return kOcMissing;
    ReleaseNodes(*collection, true, release);
    sypFree(*collection);
    *collection = nullptr;
    return kOcOk;
}

std::size_t ocPoolFreeCount() {
    NodePool& pool = Pool();
    std::lock_guard<std::mutex> guard(pool.lock);
    return pool.free_count;
}
