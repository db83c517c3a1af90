// Generated legacy property files (type 20000) for the -vxmat benchmarks:
// every set is one grade with the codes such a file usually carries (Tait,
// Cross-WLF, temperatures, thermal, mechanical and text codes).
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "udm/udm.h"

namespace tarnvel::bench {

// Adds one grade of the given label to the current model.
inline void AddLegacyGrade(int label) {
    auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, 20000, label));
    udm_tset_set_description(tset, "Bench grade : Bench supplier");
    const double melt = 503.15 + label % 10;
    const char* family = label % 3 == 0 ? "PP" : label % 3 == 1 ? "ABS" : "PA66";
    const struct {
        int code;
        const char* text;
        std::vector<double> values;
    } codes[] = {
        {1004,
         "Tait",
         {441, 1.5e-7, 1.27e-3, 8.9e-7, 1e8, 4.5e-3, 1.15e-3, 3e-7, 2.5e8, 3.5e-3, 1.3e-4, 0.1,
          1.5e-8}},
        {1313, "Cross-WLF", {0.28, 25000, 6.7e12, 263.15, 0, 27, 51.6}},
        {11002, "Melt", {melt}},
        {1800, "Melt range", {473.15, 553.15}},
        {1802, "Mould range", {293.15, 353.15}},
        {11106, "Mould", {323.15}},
        {1550, "Transition", {396.15}},
        {1504, "Ejection", {366.15}},
        {1140, "Specific heat", {melt, 2740, 0}},
        {1240, "Conductivity", {melt, 0.17, 0}},
        {1330, "Melt flow rate", {503.15, 2.16, 12}},
        {1602, "Mechanical", {1340, 1340, 0.39, 0.39, 482}},
        {1702, "Expansion", {9e-5, 9e-5}},
        {1997, "Bench supplier", {}},
        {1998, "Bench grade", {}},
        {1999, family, {}},
        {1992, "Polypropylene", {}},
    };
    for (const auto& code : codes) {
        UdmTcod* tcod = udm_tset_code(tset, code.code, 1);
        udm_tcod_set_description(tcod, code.text);
        udm_tcod_set_values(tcod, static_cast<int>(code.values.size()), code.values.data());
    }
}

// Writes a legacy property file of the given number of sets in the given
// UDM encoding; false when the model could not be made or written.
inline bool WriteLegacyPropertyFile(const std::string& path, int sets, int mode) {
    UdmModel* model = nullptr;
    if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) != UDM_OK) return false;
    udm_global_set("UDMW", "TYPE", "20000");
    for (int label = 1; label <= sets; ++label) AddLegacyGrade(label);
    const bool written = udm_model_write(path.c_str(), mode) == UDM_OK;
    udm_model_destroy(&model);
    return written;
}

// The family class table the conversion looks up melt temperatures in.
inline bool WriteGenericClassTable(const std::string& path) {
    std::FILE* out = std::fopen(path.c_str(), "w");
    if (out == nullptr) return false;
    std::fputs("PP,230\nABS,240\nPA66,280\n", out);
    return std::fclose(out) == 0;
}

}  // namespace tarnvel::bench
