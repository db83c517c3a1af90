// Model merge: copies every entity of a source model into a target model,
// giving clashing keys the next free label and rewriting the references of
// the copies through a label map.
#include <map>
#include <new>
#include <tuple>
#include <utility>

#include "udm/udm_classes.h"
#include "udm/udm_model.h"

using namespace tarnvel::udm;

namespace {

// The order in which the classes of the source are copied: referenced
// classes come before the classes that refer to them.
constexpr std::array<int, UDM_CLASS_COUNT> kMergeOrder = {
    UDM_CLASS_COLR, UDM_CLASS_LYER, UDM_CLASS_TSET, UDM_CLASS_VIEW, UDM_CLASS_NODE,
    UDM_CLASS_TEXT, UDM_CLASS_1DET, UDM_CLASS_TRI3, UDM_CLASS_CURV, UDM_CLASS_SURF,
    UDM_CLASS_REGN, UDM_CLASS_TET4, UDM_CLASS_STLR, UDM_CLASS_WEDG, UDM_CLASS_INTE,
    UDM_CLASS_NDBC, UDM_CLASS_SUBC, UDM_CLASS_CTPL, UDM_CLASS_LOCS, UDM_CLASS_BLOB};

// A label map entry's key: class, old key1 and (TSET and BLOB only) old
// key2, the keys compared as unsigned values.
using MapKey = std::tuple<int, std::uint32_t, std::uint32_t>;
using Keys = std::pair<std::int32_t, std::int32_t>;

// The merge in progress on this thread.
struct MergeState {
    UdmModel* target = nullptr;
    UdmModel* source = nullptr;
    std::map<MapKey, Keys> label_map;
};

thread_local MergeState g_merge;

MapKey KeyOf(int entity_class, std::int32_t key1, std::int32_t key2) {
    const bool typed = ClassInfoOf(entity_class).keyed_by_type;
    return {entity_class, static_cast<std::uint32_t>(key1),
            typed ? static_cast<std::uint32_t>(key2) : 0u};
}

const Keys* Mapped(int entity_class, std::int32_t key1, std::int32_t key2) {
    auto it = g_merge.label_map.find(KeyOf(entity_class, key1, key2));
    return it == g_merge.label_map.end() ? nullptr : &it->second;
}

// Whether the key is taken in the target (the current model); element
// labels are taken in any element class.
bool TakenInTarget(int entity_class, std::int32_t key1, std::int32_t key2) {
    const int lookup = IsElementClass(entity_class) ? UDM_CLASS_ANY_ELEMENT : entity_class;
    return udm_entity_find(lookup, key1, key2, nullptr) == UDM_OK;
}

Keys TargetKeys(int entity_class, std::int32_t key1, std::int32_t key2) {
    if (!TakenInTarget(entity_class, key1, key2)) return {key1, key2};
    switch (ClassInfoOf(entity_class).label_space) {
        case LabelSpace::kPerType:
            return {key1, udm_next_label(entity_class, key1)};
        case LabelSpace::kAlwaysOne:
            return {key1, 1};
        default:
            return {udm_next_label(entity_class, 0), UDM_KEY_NONE};
    }
}

void CopyHeaderValues(EntityHeader* target, const EntityHeader* source) {
    constexpr std::uint8_t kFlagBits = 0xC0;
    target->class_flags = static_cast<std::uint8_t>((target->class_flags & ~kFlagBits) |
                                                    (source->class_flags & kFlagBits));
    target->value = source->value;
    if (ClassInfoOf(ClassOf(source)).has_colour_layer) {
        target->colour = source->colour;
        target->layer = source->layer;
    }
}

// Copies one source entity into the target; returns its new keys, (0, 0)
// when it is not copied.
Keys CopyEntity(const EntityHeader* source) {
    const int entity_class = ClassOf(source);
    if (source->key1 == 0 || source->key2 == 0) return {0, 0};
    if (const Keys* done = Mapped(entity_class, source->key1, source->key2)) return *done;
    const UdmFamily* family = ClassInfoOf(entity_class).family;
    const Keys keys = TargetKeys(entity_class, source->key1, source->key2);
    void* payload = nullptr;
    if (udm_entity_create(entity_class, keys.first, keys.second, &payload) != UDM_OK) return {0, 0};
    if (family->init != nullptr) family->init(payload);
    CopyHeaderValues(HeaderOf(payload), source);
    if (family->copy != nullptr && family->copy(payload, PayloadOf(source)) != UDM_OK) {
        udm_entity_delete(payload);
        return {0, 0};
    }
    g_merge.label_map.emplace(KeyOf(entity_class, source->key1, source->key2), keys);
    if (family->fix_references != nullptr) family->fix_references(payload);
    return keys;
}

// The source entity of a reference, or null.
const EntityHeader* FindInSource(int entity_class, std::int32_t key1, std::int32_t key2) {
    const auto& classes = g_merge.source->classes;
    if (!IsElementClass(entity_class)) return classes[entity_class]->Find(key1, key2);
    for (int element_class : kElementClasses) {
        if (const EntityHeader* found = classes[element_class]->Find(key1, UDM_KEY_NONE)) {
            return found;
        }
    }
    return nullptr;
}

Keys Resolve(int entity_class, std::int32_t key1, std::int32_t key2) {
    if (g_merge.source == nullptr || !IsValidClass(entity_class)) return {0, 0};
    const EntityHeader* source = FindInSource(entity_class, key1, key2);
    return source == nullptr ? Keys{0, 0} : CopyEntity(source);
}

void CopyClass(int entity_class) {
    const Collection* collection = g_merge.source->classes[entity_class];
    if (ClassInfoOf(entity_class).family == nullptr || collection->Empty()) return;
    // The walk stops at the entity that was last when it began, so that
    // copies made into the same collection (a model merged into itself) are
    // not copied again.
    const EntityHeader* last = collection->Last();
    const std::uint64_t last_key = CollectionKey(last->key1, last->key2);
    for (const EntityHeader* entity = collection->First(); entity != nullptr;) {
        const std::uint64_t key = CollectionKey(entity->key1, entity->key2);
        CopyEntity(entity);
        if (key == last_key) break;
        entity = collection->After(key);
    }
}

}  // namespace

namespace tarnvel::udm {

std::int32_t MergeMapLabel(int entity_class, std::int32_t old_label) {
    if (!IsValidClass(entity_class)) return 0;
    if (IsElementClass(entity_class) && g_merge.source != nullptr) {
        // The reference names an element label; its class is the one the
        // source holds it in.
        const EntityHeader* source = FindInSource(entity_class, old_label, UDM_KEY_NONE);
        if (source == nullptr) return 0;
        entity_class = ClassOf(source);
    }
    if (const Keys* done = Mapped(entity_class, old_label, UDM_KEY_NONE)) return done->first;
    return Resolve(entity_class, old_label, UDM_KEY_NONE).first;
}

void MergeMapTset(std::int32_t* type, std::int32_t* label) {
    if (const Keys* done = Mapped(UDM_CLASS_TSET, *type, *label)) {
        std::tie(*type, *label) = *done;
        return;
    }
    std::tie(*type, *label) = Resolve(UDM_CLASS_TSET, *type, *label);
}

}  // namespace tarnvel::udm

int udm_model_merge(UdmModel* target, UdmModel* source) {
    if (target == nullptr || source == nullptr || g_merge.target != nullptr) return UDM_OK;
    // A model without class table has nothing to copy or to copy into.
    if (!IsInitialised(target) || !IsInitialised(source)) return UDM_OK;
    g_merge.target = target;
    g_merge.source = source;
    UdmModel* previous = SwapCurrent(target);
    try {
        for (int entity_class : kMergeOrder) CopyClass(entity_class);
    } catch (const std::bad_alloc&) {
        // The label map could not grow: the merge ends with what it copied.
    }
    g_merge = MergeState{};
    SwapCurrent(previous);
    return UDM_OK;
}
