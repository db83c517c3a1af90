// The drawing families: colours (with the predefined system colours),
// layers and their per-type attributes, views, cutting planes and local
// coordinate systems.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdio>
#include <string>
#include <type_traits>

#include "udm/udm_family.h"
#include "udm/udm_keywords.h"
#include "udm/udm_writer.h"

namespace tarnvel::udm {
namespace {

using K = FieldKind;

// ---- Colours -----------------------------------------------------------------------------

struct PredefinedColour {
    const char* name;
    double red, green, blue;
};

// Bound to the system colour labels 1 to 16, in this order.
constexpr std::array<PredefinedColour, 16> kPredefinedColours = {{
    {"red", 1, 0, 0},
    {"green", 0, 1, 0},
    {"blue", 0, 0, 1},
    {"magenta", 1, 0, 1},
    {"yellow", 1, 1, 0},
    {"cyan", 0, 1, 1},
    {"violet", 0.933, 0.51, 0.933},
    {"orange", 1, 0.647, 0},
    {"beige", 0.961, 0.961, 0.863},
    {"purple", 0.627, 0.125, 0.941},
    {"brown", 0.647, 0.165, 0.165},
    {"pink", 1, 0.753, 0.796},
    {"wheat", 0.961, 0.871, 0.702},
    {"black", 0, 0, 0},
    {"white", 1, 1, 1},
    {"green2", 0.0863, 0.9098, 0.6353},
}};

// User colours are numbered above the system colours.
constexpr std::int32_t kFirstUserColour = 33;

constexpr Field kColrFields[] = {
    MakeField(K::kKey1),
    MakeField(K::kText, offsetof(UdmColour, name)),
    MakeField(K::kDouble, offsetof(UdmColour, red)),
    MakeField(K::kDouble, offsetof(UdmColour, green)),
    MakeField(K::kDouble, offsetof(UdmColour, blue)),
};

// ---- Layers -------------------------------------------------------------------------------

// The entity types a layer holds an attribute record for, in record order.
constexpr std::array<int, 14> kLayerTypes = {
    UDM_CLASS_NODE, UDM_CLASS_TEXT, UDM_CLASS_1DET, UDM_CLASS_TRI3, UDM_CLASS_CURV,
    UDM_CLASS_SURF, UDM_CLASS_REGN, UDM_CLASS_NDBC, UDM_CLASS_SUBC, UDM_CLASS_LOCS,
    UDM_CLASS_TET4, UDM_CLASS_STLR, UDM_CLASS_WEDG, UDM_CLASS_INTE};

constexpr std::uint8_t kTypeVisible = 0x40;
constexpr std::uint8_t kTypeLabelOn = 0x80;
constexpr std::uint8_t kTypeMask = 0x3F;
// Numbers of one attribute group: type, visible, label-on, colour, display.
constexpr std::size_t kAttributeGroup = 5;

// One 4-byte attribute record: the type with its visible and label-on bits,
// the display code, the colour.
struct LayerAttribute {
    std::uint8_t type_flags;
    std::uint8_t display;
    std::uint16_t colour;
};
static_assert(sizeof(LayerAttribute) == 4);

struct LayerPayload {
    char* name;
    std::array<LayerAttribute, kLayerTypes.size()> attributes;
};

LayerAttribute* AttributeOf(LayerPayload* layer, int entity_type) {
    const auto* found = std::find(kLayerTypes.begin(), kLayerTypes.end(), entity_type);
    if (found == kLayerTypes.end()) return nullptr;
    return &layer->attributes[static_cast<std::size_t>(found - kLayerTypes.begin())];
}

void SetAllAttributes(LayerPayload* layer, std::uint8_t flags) {
    for (std::size_t n = 0; n < kLayerTypes.size(); ++n) {
        layer->attributes[n] = {static_cast<std::uint8_t>(kLayerTypes[n] | flags), 0, 0};
    }
}

// A layer made by the initialiser: every type visible, labels off.
void ConstructLayer(void* payload) {
    auto* layer = new (payload) LayerPayload{};
    SetAllAttributes(layer, kTypeVisible);
}

constexpr Field kLyerFields[] = {
    MakeField(K::kKey1),
    MakeField(K::kText, offsetof(LayerPayload, name)),
    MakeField(K::kFlag6),
};

void WriteLayerTail(UdmStream* stream, const void* payload) {
    const auto* layer = static_cast<const LayerPayload*>(payload);
    udm_put_blanks(stream, 1);
    udm_put_bool(stream, udm_entity_flag(payload, 7));
    udm_put_newlines(stream, 1);
    for (const LayerAttribute& attribute : layer->attributes) {
        const int type = attribute.type_flags & kTypeMask;
        const std::string comment = std::string("/* ") + ClassInfoOf(type).keyword + " */ ";
        udm_put_blanks(stream, 2);
        udm_put_comment(stream, comment.c_str());
        udm_put_int16(stream, type);
        udm_put_blanks(stream, 1);
        udm_put_bool(stream, (attribute.type_flags & kTypeVisible) != 0);
        udm_put_blanks(stream, 1);
        udm_put_bool(stream, (attribute.type_flags & kTypeLabelOn) != 0);
        udm_put_blanks(stream, 1);
        udm_put_int16(stream, attribute.colour);
        udm_put_blanks(stream, 1);
        udm_put_int16(stream, attribute.display);
        udm_put_newlines(stream, 1);
    }
}

void ReportAttribute(UdmStream* stream, const char* format, int layer, int type) {
    std::array<char, 128> message;
    std::snprintf(message.data(), message.size(), format, layer, type);
    ReportRead(stream, message.data());
}

// LABEL_ON (current form only), then the attribute numbers in groups of
// five applied to their type's record.
ReadResult ReadLayerTail(BlockCursor* cursor, void* payload, const EntityBlock& block,
                         UdmStream* stream) {
    auto* layer = static_cast<LayerPayload*>(payload);
    std::int32_t label_on = 0;
    if (block.keyword == kKeyLYER && !cursor->Integer(&label_on)) return ReadResult::kShape;
    udm_entity_set_flag(payload, 7, label_on != 0);
    SetAllAttributes(layer, kTypeVisible | kTypeLabelOn);
    const int label = udm_entity_label(payload);
    while (cursor->AtInteger()) {
        std::array<std::int32_t, kAttributeGroup> group{};
        std::size_t taken = 0;
        while (taken < group.size() && cursor->Integer(&group[taken])) ++taken;
        if (taken < group.size()) {
            ReportAttribute(stream,
                            "syntax error: LYER %d attributes for entity type %d should have 4 "
                            "values",
                            label, group[0]);
            break;
        }
        LayerAttribute* attribute = AttributeOf(layer, group[0]);
        if (attribute == nullptr) {
            ReportAttribute(stream, "bad LYER %d attributes for entity type %d", label, group[0]);
            continue;
        }
        attribute->type_flags = static_cast<std::uint8_t>(group[0] | (group[1] ? kTypeVisible : 0) |
                                                          (group[2] ? kTypeLabelOn : 0));
        attribute->colour = static_cast<std::uint16_t>(group[3]);
        attribute->display = static_cast<std::uint8_t>(group[4]);
    }
    // Numbers the groups did not take (after a short group) are dropped
    // with the report above.
    while (cursor->AtNumber()) {
        double ignored = 0.0;
        cursor->Real(&ignored);
    }
    return ReadResult::kOk;
}

int CopyLayerTail(void* target, const void* source) {
    static_cast<LayerPayload*>(target)->attributes =
        static_cast<const LayerPayload*>(source)->attributes;
    return UDM_OK;
}

// ---- Views, cutting planes, local coordinate systems ----------------------------------------

struct ViewPayload {
    char* name;
    Transform transform;
};

struct CuttingPlane {
    char* name;
    Plane plane;
};

struct CoordinateSystem {
    char* name;
    Transform transform;
};

void SetIdentity(Transform* transform) {
    *transform = Transform{1, {}};
    for (int n = 0; n < 4; ++n) transform->values[n * 5] = 1.0;
}

template <typename Payload>
void ConstructWithIdentity(void* payload) {
    SetIdentity(&(new (payload) Payload{})->transform);
}

constexpr Field kViewFields[] = {
    MakeField(K::kKey1),
    MakeField(K::kText, offsetof(ViewPayload, name)),
    MakeField(K::kTransform, offsetof(ViewPayload, transform)),
};

constexpr Field kCtplFields[] = {
    MakeField(K::kKey1),
    MakeField(K::kText, offsetof(CuttingPlane, name)),
    MakeField(K::kFlag7),
    MakeField(K::kPlane, offsetof(CuttingPlane, plane)),
};

constexpr Field kLocsFields[] = {
    MakeField(K::kKey1),
    MakeField(K::kText, offsetof(CoordinateSystem, name)),
    MakeField(K::kFlag6),
    MakeField(K::kTypeEnabled),
    MakeField(K::kLayer),
    MakeField(K::kColour),
    MakeField(K::kTransform, offsetof(CoordinateSystem, transform)),
};

}  // namespace

// Colour blocks are read in place through a copied image of the payload.
static_assert(std::is_trivially_copyable_v<UdmColour>);

extern const FamilyLayout kColrLayout = TableLayout<UdmColour>(UDM_CLASS_COLR, kColrFields);
extern const FamilyLayout kLyerLayout = {UDM_CLASS_LYER,
                                         kLyerFields,
                                         {WriteLayerTail, ReadLayerTail, CopyLayerTail, nullptr},
                                         ConstructLayer,
                                         DestroyAs<LayerPayload>};
extern const FamilyLayout kViewLayout = {
    UDM_CLASS_VIEW, kViewFields, {}, ConstructWithIdentity<ViewPayload>, DestroyAs<ViewPayload>};
extern const FamilyLayout kCtplLayout = TableLayout<CuttingPlane>(UDM_CLASS_CTPL, kCtplFields);
extern const FamilyLayout kLocsLayout = {UDM_CLASS_LOCS,
                                         kLocsFields,
                                         {},
                                         ConstructWithIdentity<CoordinateSystem>,
                                         DestroyAs<CoordinateSystem>};

constexpr UdmFamily kColrFamily = TableFamily<UdmColour>(
    "\n//  Beginning of color data set.\n//  COLR{LABEL NAME R G B}\n"
    "//  Pre - defined, system colors 1 - 32.\n"
    "//  User defined colors should have 32 < LABEL < 65536.");
constexpr UdmFamily kLyerFamily = {
    sizeof(LayerPayload),
    "\n//  Beginning of layer data set.\n"
    "//  LYER{LABEL NAME VISIBLE(0:FALSE,1:TRUE) LABEL_ON(0:FALSE,1:TRUE)\n"
    "//    TYPE VISIBLE LABEL_ON COLOR DISPLAY (one line per entity type:\n"
    "//    4:NODE 5:TEXT 6:1DET 7:TRI3 8:CURV 9:SURF 10:REGN 11:NDBC 12:SUBC\n"
    "//    14:LOCS 15:TET4 16:STLR 17:WEDG 18:INTE)}",
    ConstructLayer,
    FamilyRelease,
    FamilyCopy,
    FamilyFixReferences,
    FamilyWrite,
    FamilyCreate};
constexpr UdmFamily kViewFamily = {sizeof(ViewPayload),
                                   "\n//  Beginning of view data set.\n//  VIEW{LABEL NAME\n"
                                   "//    TRAN{4x4_TRANS_MATRIX}}",
                                   ConstructWithIdentity<ViewPayload>,
                                   FamilyRelease,
                                   FamilyCopy,
                                   FamilyFixReferences,
                                   FamilyWrite,
                                   FamilyCreate};
constexpr UdmFamily kCtplFamily = TableFamily<CuttingPlane>(
    "\n//  Beginning of ctpl data set.\n//  CTPL{LABEL NAME ENABLED(0:FALSE,1:TRUE)\n"
    "//    PLNE{A(x) B(y) C(z) D}}");
constexpr UdmFamily kLocsFamily = {
    sizeof(CoordinateSystem),
    "\n//  Beginning of local co-ordinate system data set.\n"
    "//  LOCS{LABEL NAME LABEL_ON(0:FALSE,1:TRUE) TYPE&ENABLED(0:REGULAR&DISABLED,\n"
    "//  1:REGULAR&ENABLED,2:MODELLING_PLANE&DISABLED,3:MODELLING_PLANE&ENABLED)\n"
    "//  LAYER COLOR\n"
    "//    TRAN{4x4_TRANS_MATRIX}}",
    ConstructWithIdentity<CoordinateSystem>,
    FamilyRelease,
    FamilyCopy,
    FamilyFixReferences,
    FamilyWrite,
    FamilyCreate};

}  // namespace tarnvel::udm

using namespace tarnvel::udm;

UdmColour* udm_colour_new(std::int32_t label, const char* name, double red, double green,
                          double blue) {
    if (label == 0) label = std::max(udm_next_label(UDM_CLASS_COLR, 0), kFirstUserColour);
    auto* colour = static_cast<UdmColour*>(udm_entity_new(UDM_CLASS_COLR, label, 0));
    if (colour == nullptr) return nullptr;
    if (name != nullptr && *name != '\0' && !ReplaceText(&colour->name, name)) {
        udm_entity_delete(colour);
        return nullptr;
    }
    colour->red = red;
    colour->green = green;
    colour->blue = blue;
    return colour;
}

int udm_system_colour(int label, const char** name, double* red, double* green, double* blue) {
    if (label < 1 || label > static_cast<int>(kPredefinedColours.size())) return UDM_NOT_FOUND;
    const PredefinedColour& colour = kPredefinedColours[static_cast<std::size_t>(label - 1)];
    if (name != nullptr) *name = colour.name;
    if (red != nullptr) *red = colour.red;
    if (green != nullptr) *green = colour.green;
    if (blue != nullptr) *blue = colour.blue;
    return UDM_OK;
}

void* udm_layer_new(std::int32_t label, const char* name, int visible, int label_on) {
    void* payload = udm_entity_new(UDM_CLASS_LYER, label, 0);
    if (payload == nullptr) return nullptr;
    auto* layer = static_cast<LayerPayload*>(payload);
    if (name != nullptr && *name != '\0' && !ReplaceText(&layer->name, name)) {
        udm_entity_delete(payload);
        return nullptr;
    }
    udm_entity_set_flag(payload, 6, visible);
    udm_entity_set_flag(payload, 7, label_on);
    SetAllAttributes(layer, kTypeVisible | kTypeLabelOn);
    return payload;
}

int udm_layer_set_attribute(void* payload, int entity_type, int visible, int label_on, int colour,
                            int display) {
    if (udm_entity_class(payload) != UDM_CLASS_LYER) return UDM_BAD_ARGUMENT;
    LayerAttribute* attribute = AttributeOf(static_cast<LayerPayload*>(payload), entity_type);
    if (attribute == nullptr) return UDM_BAD_CLASS;
    attribute->type_flags = static_cast<std::uint8_t>(entity_type | (visible ? kTypeVisible : 0) |
                                                      (label_on ? kTypeLabelOn : 0));
    attribute->colour = static_cast<std::uint16_t>(colour);
    attribute->display = static_cast<std::uint8_t>(display);
    return UDM_OK;
}

int udm_layer_attribute(const void* payload, int entity_type, int* visible, int* label_on,
                        int* colour, int* display) {
    if (udm_entity_class(payload) != UDM_CLASS_LYER) return UDM_BAD_ARGUMENT;
    const LayerAttribute* attribute =
        AttributeOf(static_cast<LayerPayload*>(const_cast<void*>(payload)), entity_type);
    if (attribute == nullptr) return UDM_BAD_CLASS;
    if (visible != nullptr) *visible = (attribute->type_flags & kTypeVisible) != 0;
    if (label_on != nullptr) *label_on = (attribute->type_flags & kTypeLabelOn) != 0;
    if (colour != nullptr) *colour = attribute->colour;
    if (display != nullptr) *display = attribute->display;
    return UDM_OK;
}
