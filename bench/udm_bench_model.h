// The large property model shared by the UDM write and read benchmarks:
// 20,000 sets of type 21000, each with 40 codes of 8 values, every eighth
// code also carrying a text. Both benchmarks use this one definition so
// that the read benchmark reads back exactly the model the writer writes.
#pragma once

#include <array>

#include "udm/udm.h"

namespace udm_bench {

inline constexpr int kSets = 20'000;
inline constexpr int kCodesPerSet = 40;
inline constexpr int kValuesPerCode = 8;

// Builds the model (of sets property sets) in a fresh model, which becomes
// current; returns it.
inline UdmModel* BuildModel(int sets = kSets) {
    UdmModel* model = nullptr;
    if (udm_model_open(nullptr, UDM_MODE_TEXT, &model) != UDM_OK) return nullptr;
    udm_global_set("UDMW", "TYPE", "21000");
    std::array<double, kValuesPerCode> values{};
    for (int set = 0; set < sets; ++set) {
        auto* tset = static_cast<UdmTset*>(udm_entity_new(UDM_CLASS_TSET, 21000, 0));
        udm_tset_set_description(tset, "PA 66 grade");
        for (int code = 0; code < kCodesPerSet; ++code) {
            UdmTcod* tcod = udm_tset_code(tset, 1000 + code * 7, 1);
            for (int i = 0; i < kValuesPerCode; ++i) {
                values[i] = 273.15 + set * 0.5 + code + i * 0.125;
            }
            udm_tcod_set_values(tcod, kValuesPerCode, values.data());
            if (code % 8 == 0) udm_tcod_set_description(tcod, "Not Available");
        }
    }
    return model;
}

}  // namespace udm_bench
