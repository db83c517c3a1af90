// The models and measured points of one material, gathered from a database
// grade or from a property set of a UDB file. A model the material does not
// have is absent; one whose coefficients cannot be used (unset, absurd, too
// few) is absent too, with a warning line that names it and says why.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "curves/pvt_models.h"
#include "curves/viscosity_models.h"

struct MdGrade;
struct UdmTset;

namespace tarnvel::curves {

// A measured viscosity: °C, 1/s, Pa·s.
struct ViscosityPoint {
    double temperature = 0.0;
    double shear_rate = 0.0;
    double viscosity = 0.0;
};

// A measured specific volume: °C, Pa, m³/kg.
struct PvtPoint {
    double temperature = 0.0;
    double pressure = 0.0;
    double volume = 0.0;
};

struct ModelSet {
    // "SUPPLIER GRADE" or "TYPE/LABEL".
    std::string source;
    std::optional<CrossWlfModel> cross_wlf;
    std::optional<SecondOrderModel> second_order;
    std::optional<FirstOrderModel> first_order;
    std::optional<MatrixModel> matrix;
    std::optional<TaitModel> tait;
    std::optional<OwnPvtModel> own_pvt;
    // The standard points of Viscosity and PVT Specific Volume, and the rows
    // of the PVT matrix model, each usable (finite, positive where a
    // logarithm or a volume needs it).
    std::vector<ViscosityPoint> viscosity_points;
    std::vector<PvtPoint> pvt_points;
    std::vector<PvtPoint> pvt_matrix;
    // The recommended melt temperatures (°C) the material holds: minimum,
    // suggested, maximum, each where present.
    std::vector<double> melt_temperatures;
    // The class temperature (°C) a UDB set names in its viscosity index
    // text ("VI(T)..."), where it has one.
    std::optional<double> class_temperature;
    // One line per model or point group left out, each starting with the
    // source: those of the viscosity models and points, and those of PVT.
    std::vector<std::string> viscosity_warnings;
    std::vector<std::string> pvt_warnings;
};

// The models of a database grade: its coefficient lists (1st order, 2nd
// order, Cross, Cross-WLF, product PVT, Modified Tait, PVT matrix), and
// the models fitted to its Viscosity and PVT Specific Volume points where
// the grade does not hold that model as a list. Fit reports are kept out of
// the console; a failed fit is a warning.
ModelSet ModelsOfGrade(const MdGrade& grade);

// The models of a UDB property set: Cross-WLF (code 1313), 2nd order (1325)
// and Tait (1004), and the melt temperatures (1800, 11002). All-zero
// coefficient lists are how the builder writes an absent model: no warning.
// The source is "TYPE/LABEL" of the set's entity.
ModelSet ModelsOfSet(const UdmTset* tset);

}  // namespace tarnvel::curves
