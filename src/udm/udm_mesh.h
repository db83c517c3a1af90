// The geometry and mesh entities of a UDM model: the payloads of the
// families other than property sets, and direct creators for the common
// ones. Entities are created in the current model (udm_entity_new gives
// any class with its defaults); the header values (LABEL_ON, layer, colour,
// display) are set with the udm_entity_* accessors of udm.h.
#pragma once

#include <cstdint>

#include "udm/udm.h"

// A 4x4 transformation matrix, row by row; absent unless present is set.
struct UdmTransform {
    std::int32_t present;
    double values[16];
};

// The plane Ax + By + Cz = D of a cutting plane.
struct UdmPlane {
    double a, b, c, d;
};

// A colour (class COLR); labels 1 to 32 are system colours, user colours
// have 32 < LABEL < 65536.
struct UdmColour {
    // Owned text, null when empty.
    char* name;
    double red, green, blue;
};

// A node (class NODE).
struct UdmNode {
    // Defaults to 0.00001.
    double mesh_size;
    double x, y, z;
};

// An element of a fixed node count: 1DET (2 nodes), TRI3 (3), TET4 (4),
// WEDG (6). The property set reference is (type, label); node labels refer
// to NODE entities.
template <int Nodes>
struct UdmFixedElement {
    std::int32_t tset_type;
    std::int32_t tset_label;
    std::int32_t nodes[Nodes];
    // Owned text, null when there is none.
    char* group_reference;
};
using Udm1det = UdmFixedElement<2>;
using UdmTri3 = UdmFixedElement<3>;
using UdmTet4 = UdmFixedElement<4>;
using UdmWedg = UdmFixedElement<6>;

// The mesh size a new node or geometric entity starts with.
inline constexpr double UDM_DEFAULT_MESH_SIZE = 0.00001;

// Creates a node (label 0: the next free node label) in the current model;
// null when the label is taken or memory is exhausted.
UdmNode* udm_node_new(std::int32_t label, double x, double y, double z);

// Creates an element of class 1DET, TRI3, TET4, WEDG or INTE (label 0: the
// next free element label) referring to a property set and to `count` node
// labels (the class's own count; any count of at least one for INTE). Null
// for another class or count, a taken label, or exhausted memory.
void* udm_element_new(int entity_class, std::int32_t label, std::int32_t tset_type,
                      std::int32_t tset_label, const std::int32_t* nodes, int count);

// The node labels of an element of any element class: *count receives their
// number; null for another entity.
const std::int32_t* udm_element_nodes(const void* element, int* count);

// The property set reference of an element: 1003 for another entity.
int udm_element_tset(const void* element, std::int32_t* type, std::int32_t* label);

// Replaces the group reference text of an element (null or "" for none).
int udm_element_set_group(void* element, const char* text);
const char* udm_element_group(const void* element);

// Creates a colour (label 0: the next free label above the system colours).
UdmColour* udm_colour_new(std::int32_t label, const char* name, double red, double green,
                          double blue);

// The predefined colour of a system colour label: labels 1 to 16 hold the
// 16 predefined colours (red, green, blue, magenta, yellow, cyan, violet,
// orange, beige, purple, brown, pink, wheat, black, white, green2); 1026 for
// any other label.
int udm_system_colour(int label, const char** name, double* red, double* green, double* blue);

// Creates a layer (label 0: the next free label) with its VISIBLE and
// LABEL_ON flags; every entity type's attribute starts visible and label-on,
// display 0, colour 0. Null when the label is taken or memory is exhausted.
void* udm_layer_new(std::int32_t label, const char* name, int visible, int label_on);

// Sets a layer's attribute for one entity type (NODE 4 ... INTE 19); 1034 for
// a type without an attribute record, 1003 for an entity that is no layer.
int udm_layer_set_attribute(void* layer, int entity_type, int visible, int label_on, int colour,
                            int display);
// Reads it back (1034 / 1003 as above).
int udm_layer_attribute(const void* layer, int entity_type, int* visible, int* label_on,
                        int* colour, int* display);
