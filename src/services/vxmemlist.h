// Ordered collections: a height-balanced (AVL) binary search tree of item
// pointers ordered by a caller-supplied comparison. Empty child links are
// threads to the in-order neighbours, so the items can be walked in order
// without a stack or parent links. Nodes come from a process-wide pool that
// recycles released nodes (unless VTSYS_VXMEMLIST_RECYCLE reads as 0).
//
// Every operation returns a status (0 on success, see the constants below).
// The collection does not own its items, except where ocClear and
// ocDestroyAll release them.
#pragma once

#include <cstddef>
#include <cstdint>

// Results of a comparison.
inline constexpr int kOcBefore = 0;  // the first argument orders before the node's item
inline constexpr int kOcEqual = 1;   // the two are equal
inline constexpr int kOcAfter = 2;   // the first argument orders after the node's item

// Status values.
inline constexpr int kOcOk = 0;
// A node or the header could not be allocated.
inline constexpr int kOcNoMemory = 2;
// A missing argument, or an empty collection when stepping.
inline constexpr int kOcMissing = 1001;
// No item equal to the key.
inline constexpr int kOcNotFound = 1002;
// An equal item is present already.
inline constexpr int kOcDuplicate = 1003;

// Link tags of a node.
inline constexpr char kOcChildTag = 'c';   // the link is a child
inline constexpr char kOcThreadTag = 't';  // the link is a thread to the in-order neighbour

// Compares a key (or an item) with the item of a node and stores kOcBefore,
// kOcEqual or kOcAfter in *result. A non-zero return aborts the running
// operation, which then returns that status.
using OcCompareFn = int (*)(const void* key, const void* node_item, int* result);
// Visits one item during ocForEach; a non-zero return stops the walk.
using OcVisitFn = int (*)(void* item, void* user_data);
// Releases one item during ocClear and ocDestroyAll.
using OcReleaseFn = void (*)(void* item);

// One tree node (32 bytes).
struct OcNode {
    // The left child, or (left_tag == kOcThreadTag) the in-order predecessor,
    // or null at the leftmost node.
    OcNode* left;
    // The right child, or (right_tag == kOcThreadTag) the in-order successor,
    // or null at the rightmost node.
    OcNode* right;
    // Height of the left subtree minus height of the right subtree.
    std::int16_t balance;
    char left_tag;
    char right_tag;
    // The caller's item.
    void* item;
};

// Where a step sequence (ocFirst/ocLast/ocNext/ocPrev) last stood; a slot
// without an item is empty.
struct OcSlot {
    OcNode* node;
    void* item;
};

// Number of iteration slots per collection.
inline constexpr int kOcSlotCount = 2;

// The collection header.
struct OcCollection {
    // The root node, or null when empty.
    OcNode* root;
    OcCompareFn compare;
    OcSlot slots[kOcSlotCount];
    // Number of items.
    std::uint32_t count;
    // The slot reused when every slot is taken (the one filled longest ago).
    std::uint32_t oldest_slot;
};

// A new empty collection in *collection; kOcNoMemory when out of memory.
int ocCreate(OcCollection** collection, OcCompareFn compare);
// Adds the item; kOcDuplicate when an equal item is present.
int ocInsert(OcCollection* collection, void* item);
// The item equal to the key in *item (null when none); kOcNotFound when none.
int ocFind(OcCollection* collection, const void* key, void** item);
// Removes the item equal to the key; kOcNotFound when none.
int ocRemove(OcCollection* collection, const void* key);
// The smallest (ocFirst) or largest (ocLast) item in *item; null and
// kOcMissing for an empty collection.
int ocFirst(OcCollection* collection, void** item);
int ocLast(OcCollection* collection, void** item);
// The item after (ocNext) or before (ocPrev) the given item or key in *next;
// null with status 0 at the end. The key need not be in the collection: the
// nearest item beyond it is given. kOcMissing for an empty collection.
int ocNext(OcCollection* collection, const void* item, void** next);
int ocPrev(OcCollection* collection, const void* item, void** previous);
// The number of items in *count.
int ocCount(const OcCollection* collection, std::uint32_t* count);
// Visits the items in ascending order; a non-zero status from the visit
// stops the walk and is returned.
int ocForEach(OcCollection* collection, OcVisitFn visit, void* user_data = nullptr);
// Releases all nodes and items (with release, or sypFree when null) and
// leaves the collection empty.
int ocClear(OcCollection* collection, OcReleaseFn release);
// Releases the nodes (not the items) and the header; *collection becomes null.
int ocDestroy(OcCollection** collection);
// ocClear, then releases the header; *collection becomes null.
int ocDestroyAll(OcCollection** collection, OcReleaseFn release);

// Number of released nodes waiting in the pool for reuse.
std::size_t ocPoolFreeCount();
