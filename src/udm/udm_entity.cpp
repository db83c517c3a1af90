// Generic entity operations on the current model: creation, lookup,
// walking, deletion, next free labels and the header fields.
#include <algorithm>
#include <cstring>
#include <new>

#include "services/sypmem.h"
#include "udm/udm_classes.h"
#include "udm/udm_model.h"

using namespace tarnvel::udm;

namespace {

// Entities keyed by label alone carry UDM_KEY_NONE as key2, whatever a
// caller passes.
std::int32_t NormalKey2(int entity_class, std::int32_t key2) {
    return ClassInfoOf(entity_class).keyed_by_type ? key2 : UDM_KEY_NONE;
}

std::uint32_t Unsigned(std::int32_t value) {
    return static_cast<std::uint32_t>(value);
}

// The label that follows a label (unsigned arithmetic, as the keys order).
std::int32_t LabelAfter(std::int32_t label) {
    return static_cast<std::int32_t>(Unsigned(label) + 1);
}

// Checks the class and the current model; on success *collection is the
// class's collection.
int ClassCollection(int entity_class, Collection** collection) {
    UdmModel* model = CurrentModel();
    if (model == nullptr) return UDM_NO_CURRENT_MODEL;
    if (!IsValidClass(entity_class)) return UDM_BAD_CLASS;
    if (!IsInitialised(model)) return UDM_NO_CLASS_TABLE;
    *collection = model->classes[entity_class];
    return UDM_OK;
}

// The element entity with the given label in any element class.
EntityHeader* FindElement(std::int32_t label) {
    for (int element_class : kElementClasses) {
        Collection* collection = CurrentCollection(element_class);
        if (collection == nullptr) continue;
        if (EntityHeader* found = collection->Find(label, UDM_KEY_NONE)) return found;
    }
    return nullptr;
}

// Of the entities picked from each element class, the one with the
// smallest label.
template <typename Pick>
EntityHeader* SmallestElement(Pick pick) {
    EntityHeader* best = nullptr;
    for (int element_class : kElementClasses) {
        Collection* collection = CurrentCollection(element_class);
        if (collection == nullptr) continue;
        EntityHeader* candidate = pick(*collection);
        if (candidate != nullptr &&
            (best == nullptr || Unsigned(candidate->key1) < Unsigned(best->key1))) {
            best = candidate;
        }
    }
    return best;
}

void* PayloadOrNull(EntityHeader* entity) {
    return entity == nullptr ? nullptr : PayloadOf(entity);
}

std::int32_t NextElementLabel() {
    std::uint32_t greatest = 0;
    bool any = false;
    for (int element_class : kElementClasses) {
        Collection* collection = CurrentCollection(element_class);
        if (collection == nullptr || collection->Empty()) continue;
        greatest = any ? std::max(greatest, Unsigned(collection->Last()->key1))
                       : Unsigned(collection->Last()->key1);
        any = true;
    }
    return any ? LabelAfter(static_cast<std::int32_t>(greatest)) : 1;
}

std::int32_t NextTsetLabel(const Collection& collection, std::int32_t type) {
    if (type == 0) {
        const EntityHeader* last = collection.Last();
        return last == nullptr ? 1 : LabelAfter(last->key2);
    }
    // The last set below (type + 1, 0) is the last set of the type, if any.
    const std::uint64_t bound = (std::uint64_t{Unsigned(type)} + 1) << 32;
    const EntityHeader* last =
        Unsigned(type) == UINT32_MAX ? collection.Last() : collection.Before(bound);
    return last != nullptr && last->key1 == type ? LabelAfter(last->key2) : 1;
}

bool HasColourLayer(const EntityHeader* entity) {
    return ClassInfoOf(ClassOf(entity)).has_colour_layer;
}

// The class bits of an entity's class_flags; the two above are flags.
constexpr std::uint8_t kClassBits = 0x3F;

// Allocates an entity of the class with the keys and adds it to the
// collection; the key must be free. The header's other fields and the
// payload are zero, or those of an image (a header followed by its
// payload). Null when memory is exhausted.
EntityHeader* AddEntity(Collection* collection, int entity_class, std::size_t payload_size,
                        std::int32_t key1, std::int32_t key2, const EntityHeader* image) {
    const std::size_t size = sizeof(EntityHeader) + payload_size;
    void* block = image == nullptr ? sypCalloc(1, size) : sypMalloc(size);
    if (block == nullptr) return nullptr;
    if (image != nullptr) std::memcpy(block, image, size);
    auto* entity = static_cast<EntityHeader*>(block);
    entity->key1 = key1;
    entity->key2 = key2;
    entity->class_flags = static_cast<std::uint8_t>((entity->class_flags & ~kClassBits) |
                                                    static_cast<std::uint8_t>(entity_class));
    try {
        collection->Insert(entity);
    } catch (const std::bad_alloc&) {
        sypFree(block);
        return nullptr;
    }
    return entity;
}

}  // namespace

int udm_entity_create(int entity_class, std::int32_t key1, std::int32_t key2, void** payload) {
    if (payload != nullptr) *payload = nullptr;
    Collection* collection = nullptr;
    if (int status = ClassCollection(entity_class, &collection); status != UDM_OK) return status;
    const UdmFamily* family = ClassInfoOf(entity_class).family;
    if (family == nullptr) return UDM_BAD_CLASS;
    key2 = NormalKey2(entity_class, key2);
    if (collection->Find(key1, key2) != nullptr) return UDM_KEY_IN_USE;
    if (IsElementClass(entity_class) && FindElement(key1) != nullptr) return UDM_KEY_IN_USE;
    EntityHeader* entity =
        AddEntity(collection, entity_class, family->payload_size, key1, key2, nullptr);
    if (entity == nullptr) return UDM_NO_MEMORY;
    if (payload != nullptr) *payload = PayloadOf(entity);
    return UDM_OK;
}

namespace tarnvel::udm {

namespace {

// Gives a new payload its family's defaults and, for drawable classes, the
// active layer.
void InitialisePayload(const ClassInfo& info, void* payload, std::int32_t layer) {
    if (info.family->init != nullptr) info.family->init(payload);
    if (info.has_colour_layer) HeaderOf(payload)->layer = layer;
}

}  // namespace

int NewEntity(int entity_class, std::int32_t key1, std::int32_t key2, void** payload) {
    *payload = nullptr;
    if (!IsValidClass(entity_class)) return UDM_BAD_CLASS;
    const ClassInfo& info = ClassInfoOf(entity_class);
    if (info.keyed_by_type) {
        if (key1 == 0) return UDM_BAD_ARGUMENT;
        if (info.label_space == LabelSpace::kAlwaysOne) {
            key2 = 1;
        } else if (key2 == 0) {
            key2 = udm_next_label(entity_class, key1);
        }
    } else {
        if (key1 == 0) key1 = udm_next_label(entity_class, 0);
        key2 = UDM_KEY_NONE;
    }
    if (int status = udm_entity_create(entity_class, key1, key2, payload); status != UDM_OK) {
        return status;
    }
    InitialisePayload(info, *payload, udm_active_layer());
    return UDM_OK;
}

EntityRun::EntityRun(int entity_class) : entity_class_(entity_class) {
    Collection* collection = nullptr;
    if (ClassCollection(entity_class, &collection) != UDM_OK) return;
    const ClassInfo& info = ClassInfoOf(entity_class);
    if (info.family == nullptr || info.keyed_by_type) return;
    if (info.label_space == LabelSpace::kElement) {
        for (int element_class : kElementClasses) {
            if (element_class != entity_class)
                others_[other_count_++] = CurrentCollection(element_class);
        }
    }
    info_ = &info;
    collection_ = collection;
}

int EntityRun::New(std::int32_t label, const EntityHeader* image, void** payload) {
    if (collection_ == nullptr || label == 0 || !collection_->Follows(label, UDM_KEY_NONE)) {
        const int status = NewEntity(entity_class_, label, UDM_KEY_NONE, payload);
        if (status == UDM_OK) TakeImage(HeaderOf(*payload), image);
        return status;
    }
    *payload = nullptr;
    for (std::size_t n = 0; n < other_count_; ++n) {
        if (others_[n]->Find(label, UDM_KEY_NONE) != nullptr) return UDM_KEY_IN_USE;
    }
    EntityHeader* entity = AddEntity(collection_, entity_class_, info_->family->payload_size, label,
                                     UDM_KEY_NONE, image);
    if (entity == nullptr) return UDM_NO_MEMORY;
    *payload = PayloadOf(entity);
    return UDM_OK;
}

void EntityRun::TakeImage(EntityHeader* entity, const EntityHeader* image) const {
    entity->class_flags = static_cast<std::uint8_t>((entity->class_flags & kClassBits) |
                                                    (image->class_flags & ~kClassBits));
    entity->value = image->value;
    entity->colour = image->colour;
    entity->layer = image->layer;
    std::memcpy(PayloadOf(entity), PayloadOf(image),
                ClassInfoOf(entity_class_).family->payload_size);
}

}  // namespace tarnvel::udm

void* udm_entity_new(int entity_class, std::int32_t key1, std::int32_t key2) {
    void* payload = nullptr;
    return NewEntity(entity_class, key1, key2, &payload) == UDM_OK ? payload : nullptr;
}

int udm_entity_find(int entity_class, std::int32_t key1, std::int32_t key2, void** payload) {
    if (payload != nullptr) *payload = nullptr;
    EntityHeader* found = nullptr;
    if (entity_class == UDM_CLASS_ANY_ELEMENT) {
        UdmModel* model = CurrentModel();
        if (model == nullptr) return UDM_NO_CURRENT_MODEL;
        if (!IsInitialised(model)) return UDM_NO_CLASS_TABLE;
        found = FindElement(key1);
    } else {
        Collection* collection = nullptr;
        if (int status = ClassCollection(entity_class, &collection); status != UDM_OK) {
            return status;
        }
        found = collection->Find(key1, NormalKey2(entity_class, key2));
    }
    if (found == nullptr) return UDM_NOT_FOUND;
    if (payload != nullptr) *payload = PayloadOf(found);
    return UDM_OK;
}

void* udm_entity_first(int entity_class, std::int32_t type) {
    if (entity_class == UDM_CLASS_ANY_ELEMENT) {
        return PayloadOrNull(SmallestElement([](const Collection& c) { return c.First(); }));
    }
    Collection* collection = nullptr;
    if (ClassCollection(entity_class, &collection) != UDM_OK) return nullptr;
    if (!ClassInfoOf(entity_class).keyed_by_type || type == 0) {
        return PayloadOrNull(collection->First());
    }
    EntityHeader* first = collection->AtOrAfter(CollectionKey(type, 0));
    return first != nullptr && first->key1 == type ? PayloadOf(first) : nullptr;
}

void* udm_entity_next(int entity_class, std::int32_t key1, std::int32_t key2) {
    if (entity_class == UDM_CLASS_ANY_ELEMENT) {
        const std::uint64_t key = CollectionKey(key1, UDM_KEY_NONE);
        return PayloadOrNull(SmallestElement([key](const Collection& c) { return c.After(key); }));
    }
    Collection* collection = nullptr;
    if (ClassCollection(entity_class, &collection) != UDM_OK) return nullptr;
    return PayloadOrNull(collection->After(CollectionKey(key1, NormalKey2(entity_class, key2))));
}

std::int32_t udm_entity_type(const void* payload) {
    return payload == nullptr ? 0 : HeaderOf(payload)->key1;
}

std::int32_t udm_entity_label(const void* payload) {
    if (payload == nullptr) return 0;
    const EntityHeader* entity = HeaderOf(payload);
    return ClassInfoOf(ClassOf(entity)).keyed_by_type ? entity->key2 : entity->key1;
}

int udm_entity_class(const void* payload) {
    return payload == nullptr ? -1 : ClassOf(HeaderOf(payload));
}

int udm_entity_delete(void* payload) {
    if (payload == nullptr) return UDM_BAD_ARGUMENT;
    EntityHeader* entity = HeaderOf(payload);
    const int entity_class = ClassOf(entity);
    Collection* collection = CurrentCollection(entity_class);
    if (collection == nullptr || !collection->Remove(entity)) return UDM_NOT_IN_COLLECTION;
    const bool was_active_layer =
        entity_class == UDM_CLASS_LYER && entity->key1 == udm_active_layer();
    const UdmFamily* family = ClassInfoOf(entity_class).family;
    if (family->release != nullptr) family->release(payload);
    sypFree(entity);
    if (was_active_layer) udm_set_active_layer(0);
    return UDM_OK;
}

int udm_class_clear(int entity_class) {
    if (entity_class == UDM_CLASS_ANY_ELEMENT) {
        for (int element_class : kElementClasses) {
            if (int status = udm_class_clear(element_class); status != UDM_OK) return status;
        }
        return UDM_OK;
    }
    Collection* collection = nullptr;
    if (int status = ClassCollection(entity_class, &collection); status != UDM_OK) return status;
    FreeEntities(collection);
    return UDM_OK;
}

std::int32_t udm_next_label(int entity_class, std::int32_t type) {
    if (!IsValidClass(entity_class)) return 0;
    const LabelSpace space = ClassInfoOf(entity_class).label_space;
    if (space == LabelSpace::kAlwaysOne) return 1;
    if (space == LabelSpace::kElement) return NextElementLabel();
    Collection* collection = CurrentCollection(entity_class);
    if (collection == nullptr || collection->Empty()) return 1;
    if (space == LabelSpace::kPerType) return NextTsetLabel(*collection, type);
    return LabelAfter(collection->Last()->key1);
}

int udm_class_count(int entity_class) {
    if (entity_class == UDM_CLASS_ANY_ELEMENT) {
        int count = 0;
        for (int element_class : kElementClasses) count += udm_class_count(element_class);
        return count;
    }
    Collection* collection = CurrentCollection(entity_class);
    return collection == nullptr ? 0 : static_cast<int>(collection->Count());
}

// ---- Header fields ------------------------------------------------------------

int udm_entity_colour(const void* payload) {
    if (payload == nullptr || !HasColourLayer(HeaderOf(payload))) return 0;
    return HeaderOf(payload)->colour;
}

int udm_entity_set_colour(void* payload, int colour) {
    if (payload == nullptr || !HasColourLayer(HeaderOf(payload))) return UDM_BAD_ARGUMENT;
    HeaderOf(payload)->colour = static_cast<std::uint16_t>(colour);
    return UDM_OK;
}

int udm_entity_layer(const void* payload) {
    if (payload == nullptr || !HasColourLayer(HeaderOf(payload))) return 0;
    return HeaderOf(payload)->layer;
}

int udm_entity_set_layer(void* payload, int layer) {
    if (payload == nullptr || !HasColourLayer(HeaderOf(payload))) return UDM_BAD_ARGUMENT;
    HeaderOf(payload)->layer = layer;
    return UDM_OK;
}

int udm_entity_display(const void* payload) {
    return payload == nullptr ? 0 : HeaderOf(payload)->value;
}

int udm_entity_set_display(void* payload, int value) {
    if (payload == nullptr) return UDM_BAD_ARGUMENT;
    HeaderOf(payload)->value = static_cast<std::uint8_t>(value);
    return UDM_OK;
}

namespace {
bool IsFlagBit(int bit) {
    return bit == 6 || bit == 7;
}
}  // namespace

int udm_entity_flag(const void* payload, int bit) {
    if (payload == nullptr || !IsFlagBit(bit)) return 0;
    return (HeaderOf(payload)->class_flags >> bit) & 1;
}

int udm_entity_set_flag(void* payload, int bit, int on) {
    if (payload == nullptr || !IsFlagBit(bit)) return UDM_BAD_ARGUMENT;
    std::uint8_t& flags = HeaderOf(payload)->class_flags;
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    flags = on ? static_cast<std::uint8_t>(flags | mask) : static_cast<std::uint8_t>(flags & ~mask);
    return UDM_OK;
}
