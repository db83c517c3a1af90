// The class table of the UDM model.
#include "udm/udm_classes.h"

namespace tarnvel::udm {

namespace {

constexpr LabelSpace kOwn = LabelSpace::kOwn;
constexpr LabelSpace kElement = LabelSpace::kElement;

// clang-format off
constexpr std::array<ClassInfo, UDM_CLASS_COUNT> kClasses = {{
    // keyword counter keyed_by_type label_space           colour/layer family
    {"COLR", "NOCL", false, kOwn,                  false, nullptr},
    {"LYER", "NOLY", false, kOwn,                  false, nullptr},
    {"TSET", "NOTS", true,  LabelSpace::kPerType,  false, &kTsetFamily},
    {"VIEW", "NOVW", false, kOwn,                  false, nullptr},
    {"NODE", "NOND", false, kOwn,                  true,  nullptr},
    {"TEXT", "NOTX", false, kOwn,                  true,  nullptr},
    {"1DET", "NO1D", false, kElement,              true,  nullptr},
    {"TRI3", "NOT3", false, kElement,              true,  nullptr},
    {"CURV", "NOCV", false, kOwn,                  true,  nullptr},
    {"SURF", "NOSF", false, kOwn,                  true,  nullptr},
    {"REGN", "NORG", false, kOwn,                  true,  nullptr},
    {"NDBC", "NONB", false, kOwn,                  true,  nullptr},
    {"SUBC", "NOSB", false, kOwn,                  true,  nullptr},
    {"CTPL", "NOCP", false, kOwn,                  false, nullptr},
    {"LOCS", "NOLC", false, kOwn,                  true,  nullptr},
    {"TET4", "NOT4", false, kElement,              true,  nullptr},
    {"STLR", "NOSR", false, kOwn,                  true,  nullptr},
    {"BLOB", "NOBL", true,  LabelSpace::kAlwaysOne, false, nullptr},
    {"WEDG", "NOWD", false, kElement,              true,  nullptr},
    {"INTE", "NOIE", false, kElement,              true,  nullptr},
}};
// clang-format on

// The rows in use: the table with the families put in by SetClassFamily.
constinit std::array<ClassInfo, UDM_CLASS_COUNT> g_rows = kClasses;

}  // namespace

const ClassInfo& ClassInfoOf(int entity_class) {
    return g_rows[entity_class];
}

bool SetClassFamily(int entity_class, const UdmFamily* family) {
    if (!IsValidClass(entity_class) || kClasses[entity_class].family != nullptr) return false;
    g_rows[entity_class].family = family;
    return true;
}

}  // namespace tarnvel::udm
