// The curve tools' one-call interface: the sampled curves of a database
// grade or of a UDB property set, the chart of several of them side by
// side, and the table of their values.
//
//   std::vector<CurveSet> sets = {GradeCurves(*a, PlotKind::kViscosity),
//                                 GradeCurves(*b, PlotKind::kViscosity)};
//   for (const CurveSet& s : sets) for (const auto& w : s.warnings) print w on stderr;
//   WriteChart(MakeChart(sets, PlotKind::kViscosity), out, &error);
//   WriteCurveCsv(sets, csv, &error);
#pragma once

#include <string>
#include <vector>

#include "curves/chart.h"
#include "curves/curve_sampling.h"
#include "curves/curve_sources.h"

struct MdGrade;
struct UdmTset;

namespace tarnvel::curves {

// The curves of one kind of a grade (source "SUPPLIER GRADE").
CurveSet GradeCurves(const MdGrade& grade, PlotKind kind, const SamplingOptions& options = {});

// The curves of one kind of a UDB property set (source "TYPE/LABEL").
CurveSet SetCurves(const UdmTset* tset, PlotKind kind, const SamplingOptions& options = {});

// The chart of the sets, each in its own colour (the palette index is the
// set's place in the list), each model in its own line style, measured
// values as markers, a legend entry naming source, model and temperature
// or pressure. Viscosity is drawn log-log; PVT on linear axes. Sets of
// the other kind are left out.
Chart MakeChart(const std::vector<CurveSet>& sets, PlotKind kind);

// The number of series of a chart that hold points: a chart without any
// has nothing to show and should not be written as a success.
std::size_t DrawnSeries(const Chart& chart);

// The curves as a CSV table, one row per point: source, model, the
// temperature (°C, viscosity) or pressure (MPa, PVT; empty on a transition
// line), x and y in display units. Numbers in their shortest round-trip
// form. Sets of the other kind than the first set's are left out.
std::string CurveCsvText(const std::vector<CurveSet>& sets);

// Writes CurveCsvText through the project's safe write: nothing
// half-written is left. False, with "PATH: REASON" in error, on failure.
bool WriteCurveCsv(const std::vector<CurveSet>& sets, const std::string& path, std::string* error);

// The chart of one kind of a grade as SVG text for a page that embeds it:
// empty when the grade has no such curves. The lines of what was left out
// are added to warnings.
std::string GradeChartSvg(const MdGrade& grade, PlotKind kind, std::vector<std::string>* warnings,
                          const SamplingOptions& options = {});

// The axis titles of a kind of plot, e.g. "Shear rate (1/s)".
std::string XAxisTitle(PlotKind kind);
std::string YAxisTitle(PlotKind kind);

}  // namespace tarnvel::curves
