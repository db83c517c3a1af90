// What the plot commands of matdb and udmconv share once they have read
// their materials: the warnings on the error stream, the chart written in
// the format of its extension, and the optional CSV table of the curves.
#pragma once

#include <string>
#include <vector>

#include "curves/curve_sampling.h"

namespace tarnvel::curves {

struct PlotRequest {
    PlotKind kind = PlotKind::kViscosity;
    // The chart file: its extension (.svg, .png, .pdf) names the format.
    std::string output;
    // The CSV table of the sampled curves; empty: none.
    std::string csv;
};

// The usage problem of a request (an output without a known extension),
// or empty when it is sound.
std::string PlotRequestProblem(const PlotRequest& request);

// Prints each set's warnings on the error stream as "PROGRAM: warning:
// LINE", then writes the chart and the table: 0, or 1 after a message
// naming the file when a file could not be written or when no set gave
// anything to draw (no empty image is reported as a success).
int WritePlot(const std::vector<CurveSet>& sets, const PlotRequest& request, const char* program);

// The parsed --viscosity / --pvt choice: exactly one must be given.
struct PlotKindChoice {
    bool viscosity = false;
    bool pvt = false;
};
// The kind chosen, or a usage problem in problem.
PlotKind ChosenKind(const PlotKindChoice& choice, std::string* problem);

}  // namespace tarnvel::curves
