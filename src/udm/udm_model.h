// The inside of a UDM model: entity headers, the ordered collections, the
// title record, the global keyword store and the per-thread context. Only
// the UDM library itself includes this file.
#pragma once

#include <array>
#include <cstdint>
#include <map>

#include <absl/container/btree_map.h>
#include <string>
#include <string_view>

#include "udm/udm.h"

namespace tarnvel::udm {

// Number of text slots of the title record (NAME, VRSN, KEYW, DATE, TIME).
inline constexpr int kTitleTextCount = 5;

// The header in front of every entity payload. An entity is one block:
// the header, then the class payload.
struct EntityHeader {
    // The label, or the type for TSET and BLOB.
    std::int32_t key1;
    // The label for TSET and BLOB; UDM_KEY_NONE otherwise.
    std::int32_t key2;
    // Low 6 bits the class number, bits 6 and 7 two per-class flags.
    std::uint8_t class_flags;
    // The per-class 8-bit value (the display code of drawable classes).
    std::uint8_t value;
    // Colour label.
    std::uint16_t colour;
    // Layer label.
    std::int32_t layer;
};
static_assert(sizeof(EntityHeader) == 16, "the payload follows a 16-byte header");

inline int ClassOf(const EntityHeader* header) {
    return header->class_flags & 0x3F;
}
inline void* PayloadOf(EntityHeader* header) {
    return header + 1;
}
inline const void* PayloadOf(const EntityHeader* header) {
    return header + 1;
}
inline EntityHeader* HeaderOf(void* payload) {
    return static_cast<EntityHeader*>(payload) - 1;
}
inline const EntityHeader* HeaderOf(const void* payload) {
    return static_cast<const EntityHeader*>(payload) - 1;
}

// The collection key: key1 and key2 as unsigned 32-bit values, key1 first,
// so that the integer order is the order of the collection.
inline std::uint64_t CollectionKey(std::int32_t key1, std::int32_t key2) {
    return (std::uint64_t{static_cast<std::uint32_t>(key1)} << 32) |
           static_cast<std::uint32_t>(key2);
}

// One entity collection, ordered by key. It holds the entities, it does
// not own them: the model releases them through the class table. The keys
// and entity pointers lie in a B-tree, 16 bytes an entity in nodes of 63,
// so that a model of millions of entities costs no node allocation per
// entity and little memory beside the entities.
class Collection {
  public:
    // absl::btree_map with nodes of 1 KiB (63 entries) instead of its
    // 256 bytes: appends split a node a quarter as often, which makes the
    // in-order appends of a read about a sixth cheaper.
    static constexpr int kNodeBytes = 1024;
    using Map = absl::container_internal::btree_map_container<
        absl::container_internal::btree<absl::container_internal::map_params<
            std::uint64_t, EntityHeader*, std::less<std::uint64_t>,
            std::allocator<std::pair<const std::uint64_t, EntityHeader*>>, kNodeBytes, false>>>;

    // False when the key is taken. May throw std::bad_alloc.
    // Entities read from a file or built in a loop mostly come in key order,
    // so a key after the last one is appended at the end without a search.
    bool Insert(EntityHeader* entity) {
        const std::uint64_t key = CollectionKey(entity->key1, entity->key2);
        if (last_ == nullptr || last_key_ < key) {
            items_.emplace_hint(items_.end(), key, entity);
            last_ = entity;
            last_key_ = key;
            return true;
        }
        return items_.try_emplace(key, entity).second;
    }
    EntityHeader* Find(std::int32_t key1, std::int32_t key2) const {
        const std::uint64_t key = CollectionKey(key1, key2);
        if (last_ == nullptr || last_key_ < key) return nullptr;
        auto it = items_.find(key);
        return it == items_.end() ? nullptr : it->second;
    }
    // Whether the key comes after every key held.
    bool Follows(std::int32_t key1, std::int32_t key2) const {
        return last_ == nullptr || last_key_ < CollectionKey(key1, key2);
    }
    EntityHeader* First() const { return items_.empty() ? nullptr : items_.begin()->second; }
    EntityHeader* Last() const { return last_; }
    // The first entity whose key is at or after the given key.
    EntityHeader* AtOrAfter(std::uint64_t key) const {
        auto it = items_.lower_bound(key);
        return it == items_.end() ? nullptr : it->second;
    }
    // The first entity whose key follows the given key.
    EntityHeader* After(std::uint64_t key) const {
        auto it = items_.upper_bound(key);
        return it == items_.end() ? nullptr : it->second;
    }
    // The last entity whose key precedes the given key.
    EntityHeader* Before(std::uint64_t key) const {
        auto it = items_.lower_bound(key);
        return it == items_.begin() ? nullptr : std::prev(it)->second;
    }
    // Removes the entity when it is the one stored under its key.
    bool Remove(const EntityHeader* entity) {
        auto it = items_.find(CollectionKey(entity->key1, entity->key2));
        if (it == items_.end() || it->second != entity) return false;
        items_.erase(it);
        if (entity == last_) ForgetLast();
        return true;
    }
    std::size_t Count() const { return items_.size(); }
    bool Empty() const { return items_.empty(); }
    const Map& Items() const { return items_; }
    // Forgets every entity (the caller has released them).
    void Reset() {
        items_.clear();
        ForgetLast();
    }

  private:
    // Takes the last entity from the map again.
    void ForgetLast() {
        last_ = items_.empty() ? nullptr : items_.rbegin()->second;
        last_key_ = items_.empty() ? 0 : items_.rbegin()->first;
    }

    Map items_;
    // The entity with the greatest key and its key (null when empty), kept
    // apart so that the in-order appends of a read ask the map nothing.
    EntityHeader* last_ = nullptr;
    std::uint64_t last_key_ = 0;
};

// The title record.
struct Title {
    // NAME, VRSN, KEYW, DATE, TIME: owned texts, may be null.
    std::array<char*, kTitleTextCount> text{};
    // UDM version number; 0 = unknown.
    int version = 0;
    // 1 when the model was read from, or opened for, a packed encoding.
    int loaded_packed = 0;
    // 1 while a packed write is in progress: no comments, blanks or breaks.
    int compact = 0;
};

// The global keyword store: groups ordered by keyword, entries by key,
// both compared byte by byte.
using GlobalGroup = std::map<std::string, std::string, std::less<>>;
using GlobalStore = std::map<std::string, GlobalGroup, std::less<>>;

// A summary slot: the entity count of one class (filled just before
// writing) and the stream handed to the class writer.
struct SummarySlot {
    std::int32_t count = 0;
    UdmStream* stream = nullptr;
};

}  // namespace tarnvel::udm

// One in-memory model.
struct UdmModel {
    // Bit 0: initialised.
    std::uint32_t flags = 0;
    // The cached active layer; -1 until first read or set.
    std::int32_t active_layer = -1;
    tarnvel::udm::Title title;
    tarnvel::udm::GlobalStore globals;
    std::array<tarnvel::udm::SummarySlot, UDM_CLASS_COUNT> summary{};
    // One collection per class; null while the model is not initialised.
    std::array<tarnvel::udm::Collection*, UDM_CLASS_COUNT> classes{};
};

namespace tarnvel::udm {

inline constexpr std::uint32_t kModelInitialised = 1;

inline bool IsInitialised(const UdmModel* model) {
    return model != nullptr && (model->flags & kModelInitialised) != 0;
}

// The calling thread's UDM context: its current model.
struct ThreadContext {
    UdmModel* model = nullptr;
};
extern constinit thread_local ThreadContext g_context;

// The current model of the calling thread, or null.
inline UdmModel* CurrentModel() {
    return g_context.model;
}

// The collection of a class in the current model, or null (no model, not
// initialised, or class out of range).
inline Collection* CurrentCollection(int entity_class) {
    UdmModel* model = g_context.model;
    if (model == nullptr || entity_class < 0 || entity_class >= UDM_CLASS_COUNT) return nullptr;
    return model->classes[static_cast<std::size_t>(entity_class)];
}

// An owned copy of a text (null for null); false when memory is exhausted.
bool CopyText(const char* text, char** out);
// Replaces an owned text with a copy; false (text unchanged) on exhausted
// memory.
bool ReplaceText(char** slot, const char* text);

// A new code entry holding a copy of length bytes of the description (none
// when null) and of the values, in one block; null when memory is
// exhausted. udm_tcod_new is this for a terminated text.
UdmTcod* NewTcod(std::int32_t code, const char* description, std::size_t length, std::int32_t count,
                 const double* values);
// The same with room for count values left for the caller to fill.
UdmTcod* NewTcodWithRoom(std::int32_t code, const char* description, std::size_t length,
                         std::int32_t count);

// Frees every entity of one collection with its class's release function.
void FreeEntities(Collection* collection);

// Makes the model current on this thread without further checks; returns
// the model that was current before.
UdmModel* SwapCurrent(UdmModel* model);

// Formats a number as the global store keeps numbers ("%E").
std::string FormatGlobalNumber(double value);

// The stored value of a global entry of a model, or null.
const std::string* FindGlobal(const UdmModel* model, std::string_view keyword,
                              std::string_view key);

// A global text read as a number (as strtod reads it) and truncated; false
// when it is absent, not a number or out of the int range.
bool GlobalNumber(const UdmModel* model, std::string_view keyword, std::string_view key, int* out);
// A global text read as a number with atof and truncated; 0 when it is
// absent, not a number or out of the int range.
int GlobalAsInt(const UdmModel* model, std::string_view keyword, std::string_view key);

}  // namespace tarnvel::udm
