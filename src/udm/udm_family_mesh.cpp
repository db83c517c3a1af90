// The mesh families: nodes, texts, the five element classes and the nodal
// and surface boundary conditions, with the direct node and element
// creators.
#include <algorithm>
#include <cstddef>
#include <type_traits>

#include "udm/udm_family.h"
#include "udm/udm_mesh.h"

namespace tarnvel::udm {
namespace {

using K = FieldKind;

// An element of a variable node count (class INTE).
struct InteElement {
    std::int32_t tset_type;
    std::int32_t tset_label;
    NodeList nodes;
    char* group_reference;
};

struct TextPayload {
    char* text;
    std::int32_t size;
    char* font;
    double arrow_start[3];
    double arrow_end[3];
};

struct NodalCondition {
    std::int32_t tset_type;
    std::int32_t tset_label;
    std::int32_t node;
    Transform transform;
};

struct SurfaceCondition {
    std::int32_t tset_type;
    std::int32_t tset_label;
    // 0 TRI3, 1 SURF, 2 REGN, 3 TET4, 4 STLR, 5 WEDG; any other value
    // stands for TRI3 (and is kept as it is).
    std::int32_t referred_by;
    std::int32_t referred_label;
    Transform transform;
};

// ---- Nodes ---------------------------------------------------------------------------

void ConstructNode(void* payload) {
    new (payload) UdmNode{UDM_DEFAULT_MESH_SIZE, 0.0, 0.0, 0.0};
}

constexpr auto kNodeFields =
    JoinFields(kPointHeader, std::array{MakeField(K::kDouble, offsetof(UdmNode, mesh_size)),
                                        MakeField(K::kDouble, offsetof(UdmNode, x)),
                                        MakeField(K::kDouble, offsetof(UdmNode, y)),
                                        MakeField(K::kDouble, offsetof(UdmNode, z))});

// ---- Texts -----------------------------------------------------------------------------

constexpr auto kTextFields =
    JoinFields(kPointHeader,
               std::array{
                   MakeField(K::kText, offsetof(TextPayload, text)),
                   MakeField(K::kInt, offsetof(TextPayload, size)),
                   MakeField(K::kText, offsetof(TextPayload, font)),
                   MakeField(K::kDouble, offsetof(TextPayload, arrow_start)),
                   MakeField(K::kDouble, offsetof(TextPayload, arrow_start) + sizeof(double)),
                   MakeField(K::kDouble, offsetof(TextPayload, arrow_start) + 2 * sizeof(double)),
                   MakeField(K::kDouble, offsetof(TextPayload, arrow_end)),
                   MakeField(K::kDouble, offsetof(TextPayload, arrow_end) + sizeof(double)),
                   MakeField(K::kDouble, offsetof(TextPayload, arrow_end) + 2 * sizeof(double)),
               });

// ---- Elements ----------------------------------------------------------------------------

// LABEL LABEL_ON LAYER COLOR DISPLAY, the group reference (absent in files
// of older versions), the property set reference.
template <typename Element>
constexpr std::array<Field, 7> ElementHead() {
    return JoinFields(
        kDrawableHeader,
        std::array{MakeField(K::kText, offsetof(Element, group_reference), kFieldOptional),
                   MakeField(K::kTset, offsetof(Element, tset_type))});
}

template <int Nodes>
constexpr std::array<Field, 7 + Nodes> FixedElementFields() {
    using Element = UdmFixedElement<Nodes>;
    std::array<Field, Nodes> nodes{};
    for (int n = 0; n < Nodes; ++n) {
        nodes[n] = MakeField(K::kNode, offsetof(Element, nodes) + n * sizeof(std::int32_t));
    }
    return JoinFields(ElementHead<Element>(), nodes);
}

constexpr auto k1detFields = FixedElementFields<2>();
constexpr auto kTri3Fields = FixedElementFields<3>();
constexpr auto kTet4Fields = FixedElementFields<4>();
constexpr auto kWedgFields = FixedElementFields<6>();
constexpr auto kInteFields = JoinFields(
    ElementHead<InteElement>(), std::array{MakeField(K::kNodeList, offsetof(InteElement, nodes))});

// ---- Boundary conditions ---------------------------------------------------------------------

constexpr auto kNdbcFields =
    JoinFields(kDrawableHeader,
               std::array{
                   MakeField(K::kTset, offsetof(NodalCondition, tset_type)),
                   MakeField(K::kNode, offsetof(NodalCondition, node)),
                   MakeField(K::kTransform, offsetof(NodalCondition, transform), kFieldOptional),
               });

constexpr auto kSubcFields =
    JoinFields(kDrawableHeader,
               std::array{
                   MakeField(K::kTset, offsetof(SurfaceCondition, tset_type)),
                   MakeField(K::kInt, offsetof(SurfaceCondition, referred_by)),
                   MakeField(K::kInt, offsetof(SurfaceCondition, referred_label)),
                   MakeField(K::kTransform, offsetof(SurfaceCondition, transform), kFieldOptional),
               });

// The class a surface condition refers into.
int ReferredClass(std::int32_t referred_by) {
    switch (referred_by) {
        case 1:
            return UDM_CLASS_SURF;
        case 2:
            return UDM_CLASS_REGN;
        case 3:
            return UDM_CLASS_TET4;
        case 4:
            return UDM_CLASS_STLR;
        case 5:
            return UDM_CLASS_WEDG;
        default:
            return UDM_CLASS_TRI3;
    }
}

void FixReferredEntity(void* payload) {
    auto* condition = static_cast<SurfaceCondition*>(payload);
    condition->referred_label =
        MergeMapLabel(ReferredClass(condition->referred_by), condition->referred_label);
}

// ---- Element access -------------------------------------------------------------------------

// The node count of a fixed element class, 0 for INTE, -1 for others.
int FixedNodeCount(int entity_class) {
    switch (entity_class) {
        case UDM_CLASS_1DET:
            return 2;
        case UDM_CLASS_TRI3:
            return 3;
        case UDM_CLASS_TET4:
            return 4;
        case UDM_CLASS_WEDG:
            return 6;
        case UDM_CLASS_INTE:
            return 0;
        default:
            return -1;
    }
}

// Where the parts of an element of any element class are.
struct ElementParts {
    std::int32_t* tset;
    std::int32_t* nodes;
    int count;
    char** group;
};

template <int Nodes>
ElementParts FixedParts(void* element) {
    auto* fixed = static_cast<UdmFixedElement<Nodes>*>(element);
    return {&fixed->tset_type, fixed->nodes, Nodes, &fixed->group_reference};
}

bool PartsOf(void* element, ElementParts* parts) {
    switch (udm_entity_class(element)) {
        case UDM_CLASS_1DET:
            *parts = FixedParts<2>(element);
            return true;
        case UDM_CLASS_TRI3:
            *parts = FixedParts<3>(element);
            return true;
        case UDM_CLASS_TET4:
            *parts = FixedParts<4>(element);
            return true;
        case UDM_CLASS_WEDG:
            *parts = FixedParts<6>(element);
            return true;
        case UDM_CLASS_INTE: {
            auto* inte = static_cast<InteElement*>(element);
            *parts = {&inte->tset_type, inte->nodes.data(), static_cast<int>(inte->nodes.size()),
                      &inte->group_reference};
            return true;
        }
        default:
            return false;
    }
}

}  // namespace

// ---- The layouts and families ----------------------------------------------------------------

// Blocks of these families are read in place through an image of the
// payload (FlatRun), which is copied: plain data only.
static_assert(std::is_trivially_copyable_v<UdmNode> && std::is_trivially_copyable_v<TextPayload> &&
              std::is_trivially_copyable_v<Udm1det> && std::is_trivially_copyable_v<UdmTri3> &&
              std::is_trivially_copyable_v<UdmTet4> && std::is_trivially_copyable_v<UdmWedg>);

extern const FamilyLayout kNodeLayout = {
    UDM_CLASS_NODE, kNodeFields, {}, ConstructNode, DestroyAs<UdmNode>};
extern const FamilyLayout kTextLayout = TableLayout<TextPayload>(UDM_CLASS_TEXT, kTextFields);
extern const FamilyLayout k1detLayout = TableLayout<Udm1det>(UDM_CLASS_1DET, k1detFields);
extern const FamilyLayout kTri3Layout = TableLayout<UdmTri3>(UDM_CLASS_TRI3, kTri3Fields);
extern const FamilyLayout kTet4Layout = TableLayout<UdmTet4>(UDM_CLASS_TET4, kTet4Fields);
extern const FamilyLayout kWedgLayout = TableLayout<UdmWedg>(UDM_CLASS_WEDG, kWedgFields);
extern const FamilyLayout kInteLayout = TableLayout<InteElement>(UDM_CLASS_INTE, kInteFields);
extern const FamilyLayout kNdbcLayout = TableLayout<NodalCondition>(UDM_CLASS_NDBC, kNdbcFields);
extern const FamilyLayout kSubcLayout = TableLayout<SurfaceCondition>(
    UDM_CLASS_SUBC, kSubcFields, {nullptr, nullptr, nullptr, FixReferredEntity});

constexpr UdmFamily kNodeFamily = {
    sizeof(UdmNode),
    "\n//  Beginning of node data set.\n"
    "//  NODE{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR MESH_SIZE X Y Z}",
    ConstructNode,
    FamilyRelease,
    FamilyCopy,
    FamilyFixReferences,
    FamilyWrite,
    FamilyCreate};
constexpr UdmFamily kTextFamily = TableFamily<TextPayload>(
    "\n//  Beginning of text data set.\n"
    "//  TEXT{LABEL IS_LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR TEXT SIZE FONT\n"
    "//  ARROW_START_POINT ARROW_END_POINT}");
constexpr UdmFamily k1detFamily = TableFamily<Udm1det>(
    "\n//  Beginning of 1D element data set.\n"
    "//  1DET{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY GROUP_REFERENCE TSET_TYPE TSET_LABEL \n"
    "//  NODE1_LABEL NODE2_LABEL}");
constexpr UdmFamily kTri3Family = TableFamily<UdmTri3>(
    "\n//  Beginning of Tri3 element data set.\n"
    "//  TRI3{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY GROUP_REFERENCE TSET_TYPE TSET_LABEL \n"
    "//  NODE1_LABEL NODE2_LABEL NODE3_LABEL}");
constexpr UdmFamily kTet4Family = TableFamily<UdmTet4>(
    "\n//  Beginning of Tet4 element data set.\n"
    "//  TET4{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY GROUP_REFERENCE TSET_TYPE TSET_LABEL \n"
    "//  NODE1_LABEL NODE2_LABEL NODE3_LABEL NODE4_LABEL}");
constexpr UdmFamily kWedgFamily = TableFamily<UdmWedg>(
    "\n//  Beginning of Wedg element data set.\n"
    "//  WEDG{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY GROUP_REFERENCE TSET_TYPE TSET_LABEL \n"
    "//  NODE1_LABEL NODE2_LABEL NODE3_LABEL NODE4_LABEL NODE5_LABEL NODE6_LABEL}");
constexpr UdmFamily kInteFamily = TableFamily<InteElement>(
    "\n//  Beginning of Inte element data set.\n"
    "//  INTE{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY GROUP_REFERENCE TSET_TYPE TSET_LABEL \n"
    "//  NODE_LABELS(5 PER LINE)}");
constexpr UdmFamily kNdbcFamily = TableFamily<NodalCondition>(
    "\n//  Beginning of nodal boundary condition data set.\n"
    "//  NDBC{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY TSET_TYPE TSET_LABEL NODE_LABEL\n"
    "//    TRAN{4x4_TRANS_MATRIX}(OPTIONAL)}");
constexpr UdmFamily kSubcFamily = TableFamily<SurfaceCondition>(
    "\n//  Beginning of surface boundary condition data set.\n"
    "//  SUBC{LABEL LABEL_ON(0:FALSE,1:TRUE) LAYER COLOR\n"
    "//  DISPLAY TSET_TYPE TSET_LABEL \n"
    "//  REFERRED_BY(0:TRI3,1:SURF,2:REGN,3:TET4,4:STLR,5:WEDG) REFERRED_LABEL\n"
    "//    TRAN{4x4_TRANS_MATRIX}(OPTIONAL)}");

}  // namespace tarnvel::udm

using namespace tarnvel::udm;

UdmNode* udm_node_new(std::int32_t label, double x, double y, double z) {
    auto* node = static_cast<UdmNode*>(udm_entity_new(UDM_CLASS_NODE, label, 0));
    if (node == nullptr) return nullptr;
    node->x = x;
    node->y = y;
    node->z = z;
    return node;
}

void* udm_element_new(int entity_class, std::int32_t label, std::int32_t tset_type,
                      std::int32_t tset_label, const std::int32_t* nodes, int count) {
    const int fixed = FixedNodeCount(entity_class);
    if (fixed < 0 || nodes == nullptr || count < 1 || (fixed > 0 && count != fixed)) {
        return nullptr;
    }
    void* element = udm_entity_new(entity_class, label, 0);
    if (element == nullptr) return nullptr;
    if (entity_class == UDM_CLASS_INTE) {
        try {
            static_cast<InteElement*>(element)->nodes.assign(nodes, nodes + count);
        } catch (const std::bad_alloc&) {
            udm_entity_delete(element);
            return nullptr;
        }
    }
    ElementParts parts{};
    PartsOf(element, &parts);
    parts.tset[0] = tset_type;
    parts.tset[1] = tset_label;
    std::copy(nodes, nodes + count, parts.nodes);
    return element;
}

const std::int32_t* udm_element_nodes(const void* element, int* count) {
    ElementParts parts{};
    if (element == nullptr || !PartsOf(const_cast<void*>(element), &parts)) return nullptr;
    if (count != nullptr) *count = parts.count;
    return parts.nodes;
}

int udm_element_tset(const void* element, std::int32_t* type, std::int32_t* label) {
    ElementParts parts{};
    if (element == nullptr || !PartsOf(const_cast<void*>(element), &parts)) return UDM_BAD_ARGUMENT;
    if (type != nullptr) *type = parts.tset[0];
    if (label != nullptr) *label = parts.tset[1];
    return UDM_OK;
}

int udm_element_set_group(void* element, const char* text) {
    ElementParts parts{};
    if (element == nullptr || !PartsOf(element, &parts)) return UDM_BAD_ARGUMENT;
    if (text != nullptr && *text == '\0') text = nullptr;
    return ReplaceText(parts.group, text) ? UDM_OK : UDM_NO_MEMORY;
}

const char* udm_element_group(const void* element) {
    ElementParts parts{};
    if (element == nullptr || !PartsOf(const_cast<void*>(element), &parts)) return nullptr;
    return *parts.group;
}
