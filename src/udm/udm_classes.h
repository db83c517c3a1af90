// The class table: for each of the twenty entity classes its file keyword,
// summary counter, keying, label space, header fields and the entity family
// that stores, copies, relabels and writes its payload. A family plugs in as
// one UdmFamily object named in the table; classes whose family is absent
// keep an empty collection and refuse new entities (1034).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "udm/udm.h"
#include "udm/udm_model.h"

namespace tarnvel::udm {

struct EntityBlock;

// How a class numbers its entities.
enum class LabelSpace : std::uint8_t {
    // Labels of the class alone.
    kOwn,
    // Labels per type (TSET).
    kPerType,
    // Always label 1 (BLOB).
    kAlwaysOne,
    // One label space shared by the five element classes.
    kElement,
};

// The functions of one entity family. Every function gets the payload of an
// entity whose header is already filled in.
struct UdmFamily {
    // Size of the payload that follows the entity header.
    std::size_t payload_size;
    // Comment written before the class's entities.
    const char* comment;
    // Sets the defaults of a new, zero-filled payload.
    void (*init)(void* payload);
    // Frees the texts, arrays and sub-records the payload owns.
    void (*release)(void* payload);
    // Deep copy of a source payload into an initialised target payload
    // (merge); returns a UdmStatus.
    int (*copy)(void* target, const void* source);
    // Rewrites the references of a merged copy through the merge label map
    // (MergeMapLabel, MergeMapTset); null when the family has none.
    void (*fix_references)(void* payload);
    // Writes one entity (from its leading line break to its close brace).
    void (*write)(UdmStream* stream, const void* payload);
    // Creates an entity of the class from a block read from a file, or
    // reports why it cannot and drops it; null when files never carry it.
    void (*create)(int entity_class, const EntityBlock& block, UdmStream* stream);
};

// One row of the class table.
struct ClassInfo {
    // The keyword in the file.
    const char* keyword;
    // The summary counter keyword.
    const char* counter;
    // Keyed by (type, label) rather than by label alone.
    bool keyed_by_type;
    LabelSpace label_space;
    // The header's colour and layer fields are in use.
    bool has_colour_layer;
    // The family, or null when the class has none in this build.
    const UdmFamily* family;
};

// The rows in use: the table with the families put in by SetClassFamily.
extern constinit std::array<ClassInfo, UDM_CLASS_COUNT> g_class_rows;

// The row of a class (0..19).
inline const ClassInfo& ClassInfoOf(int entity_class) {
    return g_class_rows[static_cast<std::size_t>(entity_class)];
}

// Puts a family into the row of a class that has none (or takes out one put
// there this way, with null). The library's own families are named in the
// table; this serves families built outside it, such as test families. It
// must not change while a model holds entities of the class. False for an
// invalid class or a row whose family is named in the table.
bool SetClassFamily(int entity_class, const UdmFamily* family);

// The element classes in lookup order (1DET, TRI3, TET4, WEDG, INTE).
inline constexpr std::array<int, 5> kElementClasses = {
    UDM_CLASS_1DET, UDM_CLASS_TRI3, UDM_CLASS_TET4, UDM_CLASS_WEDG, UDM_CLASS_INTE};

inline bool IsValidClass(int entity_class) {
    return entity_class >= 0 && entity_class < UDM_CLASS_COUNT;
}
inline bool IsElementClass(int entity_class) {
    return IsValidClass(entity_class) &&
           ClassInfoOf(entity_class).label_space == LabelSpace::kElement;
}

// The families of the class table.
extern const UdmFamily kTsetFamily;
extern const UdmFamily kColrFamily;
extern const UdmFamily kLyerFamily;
extern const UdmFamily kViewFamily;
extern const UdmFamily kNodeFamily;
extern const UdmFamily kTextFamily;
extern const UdmFamily k1detFamily;
extern const UdmFamily kTri3Family;
extern const UdmFamily kCurvFamily;
extern const UdmFamily kSurfFamily;
extern const UdmFamily kRegnFamily;
extern const UdmFamily kNdbcFamily;
extern const UdmFamily kSubcFamily;
extern const UdmFamily kCtplFamily;
extern const UdmFamily kLocsFamily;
extern const UdmFamily kTet4Family;
extern const UdmFamily kStlrFamily;
extern const UdmFamily kBlobFamily;
extern const UdmFamily kWedgFamily;
extern const UdmFamily kInteFamily;

// Creates and initialises an entity as udm_entity_new does (key 0 for the
// next free label), giving the status: 1032 for a taken key, 1012 for
// exhausted memory, 1003 for a missing TSET or BLOB type.
int NewEntity(int entity_class, std::int32_t key1, std::int32_t key2, void** payload);

// Makes entities of one label-keyed class one after another, as NewEntity
// does, for a caller that makes many in a row (the reader's runs of
// blocks). The class's collection and row and the other element
// collections are looked up once, so the current model must not change
// while the run is in use. An entity whose label follows every label of
// its class is appended without a search; any other goes through
// NewEntity.
class EntityRun {
  public:
    explicit EntityRun(int entity_class);
    // As NewEntity(entity_class, label, UDM_KEY_NONE, payload), the entity
    // then taking the header fields (keys and class aside) and the payload
    // of an image: a header followed by a payload that NewEntity's defaults
    // would allow (texts and arrays it owns are not copied).
    int New(std::int32_t label, const EntityHeader* image, void** payload);

  private:
    void TakeImage(EntityHeader* entity, const EntityHeader* image) const;

    int entity_class_;
    // Null when the run cannot take the short way (no model, no family, a
    // class keyed by type): every entity then goes through NewEntity.
    const ClassInfo* info_ = nullptr;
    Collection* collection_ = nullptr;
    // The collections of the other element classes, whose labels an
    // element's label must not take.
    std::array<const Collection*, kElementClasses.size()> others_{};
    std::size_t other_count_ = 0;
};

// Merge label map, for reference fixers: the label that the entity of the
// class with the old source label received in the target (copying it now
// when it has not been copied yet); 0 when the source has no such entity.
// For element classes any element class is searched.
std::int32_t MergeMapLabel(int entity_class, std::int32_t old_label);
// The same for a property set reference; (0, 0) when the set is absent.
void MergeMapTset(std::int32_t* type, std::int32_t* label);

}  // namespace tarnvel::udm
