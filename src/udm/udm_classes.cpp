// The class table of the UDM model.
#include "udm/udm_classes.h"

namespace tarnvel::udm {

namespace {

constexpr LabelSpace kOwn = LabelSpace::kOwn;
constexpr LabelSpace kElement = LabelSpace::kElement;

// clang-format off
constexpr std::array<ClassInfo, UDM_CLASS_COUNT> kClasses = {{
    // keyword counter keyed_by_type label_space           colour/layer family
    {"COLR", "NOCL", false, kOwn,                  false, &kColrFamily},
    {"LYER", "NOLY", false, kOwn,                  false, &kLyerFamily},
    {"TSET", "NOTS", true,  LabelSpace::kPerType,  false, &kTsetFamily},
    {"VIEW", "NOVW", false, kOwn,                  false, &kViewFamily},
    {"NODE", "NOND", false, kOwn,                  true,  &kNodeFamily},
    {"TEXT", "NOTX", false, kOwn,                  true,  &kTextFamily},
    {"1DET", "NO1D", false, kElement,              true,  &k1detFamily},
    {"TRI3", "NOT3", false, kElement,              true,  &kTri3Family},
    {"CURV", "NOCV", false, kOwn,                  true,  &kCurvFamily},
    {"SURF", "NOSF", false, kOwn,                  true,  &kSurfFamily},
    {"REGN", "NORG", false, kOwn,                  true,  &kRegnFamily},
    {"NDBC", "NONB", false, kOwn,                  true,  &kNdbcFamily},
    {"SUBC", "NOSB", false, kOwn,                  true,  &kSubcFamily},
    {"CTPL", "NOCP", false, kOwn,                  false, &kCtplFamily},
    {"LOCS", "NOLC", false, kOwn,                  true,  &kLocsFamily},
    {"TET4", "NOT4", false, kElement,              true,  &kTet4Family},
    {"STLR", "NOSR", false, kOwn,                  true,  &kStlrFamily},
    {"BLOB", "NOBL", true,  LabelSpace::kAlwaysOne, false, &kBlobFamily},
    {"WEDG", "NOWD", false, kElement,              true,  &kWedgFamily},
    {"INTE", "NOIE", false, kElement,              true,  &kInteFamily},
}};
// clang-format on

}  // namespace

constinit std::array<ClassInfo, UDM_CLASS_COUNT> g_class_rows = kClasses;

bool SetClassFamily(int entity_class, const UdmFamily* family) {
    if (!IsValidClass(entity_class) || kClasses[entity_class].family != nullptr) return false;
    g_class_rows[entity_class].family = family;
    return true;
}

}  // namespace tarnvel::udm
