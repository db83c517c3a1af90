#include "inspect/code_table.h"

#include <algorithm>

namespace tarnvel::inspect {
namespace {

constexpr char kText[] = "";
constexpr char kUncertain[] = "unit not certain";

// Temperatures are written in kelvin (degrees Celsius + 273.15). Shear
// stress, shear rate, specific heat and conductivity are written as the
// material database stores them, in its base units. Coefficients of the
// viscosity, PVT and extensional models and the generic mechanical and
// filler data are passed on as their source holds them, in units the
// conversion does not fix.
constexpr CodeInfo kCodes[] = {
    {1000, "melt density at the melt temperature, from the Tait coefficients", kUncertain},
    {1001, "solid density at 298.15 K, from the Tait coefficients", kUncertain},
    {1004, "Tait coefficients b5, b6, b1m, b2m, b3m, b4m, b1s, b2s, b3s, b4s, b7, b8, b9",
     "K (b5); the others: unit not certain"},
    {1140, "specific heat at the melt temperature (temperature, specific heat, 0)",
     "K, J/(kg.K), none"},
    {1240, "thermal conductivity at the melt temperature (temperature, conductivity, 0)",
     "K, W/(m.K), none"},
    {1310, "viscosity model (1 Cross-WLF, 2 second order)", "none"},
    {1313, "Cross-WLF coefficients n, tau*, D1, D2, D3, A1, A2", kUncertain},
    {1325, "second-order viscosity coefficients c0 to c5, then 10 and 1000000", kUncertain},
    {1328, "viscosity index", kText},
    {1330, "melt flow rate test (temperature, load, flow rate)",
     "K; load and flow rate: unit not certain"},
    {1360, "extensional viscosity parameters w0, w1", kUncertain},
    {1361, "extensional viscosity coefficients E0 to E3", kUncertain},
    {1504, "freeze temperature (the ejection temperature of the material data)", "K"},
    {1550, "transition temperature (as 1554)", "K"},
    {1553, "no-flow temperature", "K"},
    {1554, "transition temperature (from the no-flow and freeze temperatures)", "K"},
    {1602, "mechanical properties E1, E2, v12, v23, G12 (from generic data)", kUncertain},
    {1633, "tester", kText},
    {1702, "linear thermal expansion alpha1, alpha2 (from generic data)", kUncertain},
    {1800, "recommended melt temperature range (minimum, maximum)", "K"},
    {1801, "maximum melt temperature", "K"},
    {1804, "maximum shear stress", "Pa"},
    {1806, "maximum shear rate", "1/s"},
    {1808, "recommended mould temperature range (minimum, maximum)", "K"},
    {1890, "codes whose values came from generic data", "code numbers"},
    {1898, "test date", kText},
    {1899, "fixed text \"Not Provided\"", kText},
    {1992, "family display name", kText},
    {1993, "grade", kText},
    {1994, "supplier", kText},
    {1995, "crystallinity (Crystalline or Amorphous)", kText},
    {1997, "manufacturer", kText},
    {1998, "trade name", kText},
    {1999, "family", kText},
    {3001, "filler composition (names; per filler its total and filler data)", kUncertain},
    {4003, "always 0", "none"},
    {11002, "melt temperature", "K"},
    {11108, "mould temperature", "K"},
};

constexpr bool Ascending() {
    for (std::size_t n = 1; n < std::size(kCodes); ++n) {
        if (kCodes[n - 1].code >= kCodes[n].code) return false;
    }
    return true;
}
static_assert(Ascending(), "the code table is searched by halving");

}  // namespace

std::span<const CodeInfo> CodeTable() {
    return kCodes;
}

const CodeInfo* FindCode(std::int32_t code) {
    const auto found = std::lower_bound(
        std::begin(kCodes), std::end(kCodes), code,
        [](const CodeInfo& info, std::int32_t wanted) { return info.code < wanted; });
    return found != std::end(kCodes) && found->code == code ? found : nullptr;
}

}  // namespace tarnvel::inspect
