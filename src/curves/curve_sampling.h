// The curves of a material sampled for people to look at, in the units
// people read: viscosity (Pa·s) against shear rate (1/s), one curve per
// model and temperature (°C); specific volume (cm³/g) against temperature
// (°C), one curve per model and pressure (MPa), with the transition line.
// Every value is finite, and positive where the axis is logarithmic.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "curves/curve_sources.h"

namespace tarnvel::curves {

enum class PlotKind { kViscosity, kPvt };

enum class CurveRole {
    // Sampled from a model.
    kModel,
    // Values given as data (standard points, PVT matrix rows): markers.
    kMeasured,
    // The temperature where the solid and the melt domain of a PVT model
    // meet, over the pressures of the plot.
    kTransition,
};

struct SampledCurve {
    // "Cross-WLF", "2nd order", "1st order", "matrix", "Modified Tait",
    // "Vantorel PVT", "PVT matrix", "points"; a transition line is named
    // after its model with " transition".
    std::string model;
    CurveRole role = CurveRole::kModel;
    // The temperature (°C) of a viscosity curve or the pressure (MPa) of
    // an isobar; a transition line has none.
    std::optional<double> parameter;
    // (x, y) in display units.
    std::vector<std::pair<double, double>> points;
};

struct CurveSet {
    // "SUPPLIER GRADE" or "TYPE/LABEL".
    std::string source;
    PlotKind kind = PlotKind::kViscosity;
    std::vector<SampledCurve> curves;
    // Lines for the standard error, one per model or point group left out
    // or not drawn, each starting with the source.
    std::vector<std::string> warnings;
};

struct SamplingOptions {
    // The class temperature (°C) of the material's family: when the
    // material has neither viscosity points nor recommended melt
    // temperatures, the viscosity curves are drawn 20 °C below, at and
    // above it. Unset, a UDB set's own (from its viscosity index) serves.
    std::optional<double> class_temperature;
};

// The shear rates every viscosity plot spans at least.
inline constexpr double kLowestShearRate = 1.0;
inline constexpr double kHighestShearRate = 1e6;
// The isobars (MPa) of every PVT plot.
inline constexpr double kIsobars[] = {0.0, 50.0, 100.0, 150.0, 200.0};
// The temperatures (°C) every PVT plot spans at least.
inline constexpr double kLowestPvtTemperature = 20.0;
inline constexpr double kHighestPvtTemperature = 300.0;

// The curves of one kind of a material's models and points.
CurveSet SampleCurves(const ModelSet& models, PlotKind kind, const SamplingOptions& options = {});

// The temperatures (°C, rising) the viscosity curves are drawn at: those
// of the points, else the recommended melt temperatures, else three around
// the class temperature; empty when there is none of these.
std::vector<double> ViscosityTemperatures(const ModelSet& models, const SamplingOptions& options);

// The shear rates (1/s, rising, log-spaced) of the viscosity plot: 1 to
// 1e6, widened by whole decades to cover the points.
std::vector<double> ShearRates(const ModelSet& models);

}  // namespace tarnvel::curves
