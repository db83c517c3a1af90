// The shared end of the plot commands.
#include "curves/plot_command.h"

#include <cstdio>

#include "curves/chart.h"
#include "curves/curves.h"

namespace tarnvel::curves {

std::string PlotRequestProblem(const PlotRequest& request) {
    ImageFormat format{};
    if (request.output.empty()) return "plot needs -o OUT.svg, OUT.png or OUT.pdf";
    if (!ImageFormatOf(request.output, &format)) {
        return "cannot tell the image format of '" + request.output +
               "': give it the extension .svg, .png or .pdf";
    }
    return {};
}

PlotKind ChosenKind(const PlotKindChoice& choice, std::string* problem) {
    if (choice.viscosity == choice.pvt)
        *problem = "plot needs exactly one of --viscosity and --pvt";
    return choice.pvt ? PlotKind::kPvt : PlotKind::kViscosity;
}

int WritePlot(const std::vector<CurveSet>& sets, const PlotRequest& request, const char* program) {
    for (const CurveSet& set : sets) {
        for (const std::string& warning : set.warnings)
            std::fprintf(stderr, "%s: warning: %s\n", program, warning.c_str());
    }
    const Chart chart = MakeChart(sets, request.kind);
    if (DrawnSeries(chart) == 0) {
        std::fprintf(stderr, "%s: nothing to plot: no %s curves or points could be drawn\n",
                     program, request.kind == PlotKind::kPvt ? "PVT" : "viscosity");
        return 1;
    }
    if (const int left_out = UnplottablePoints(chart); left_out > 0) {
        std::fprintf(stderr,
                     "%s: warning: %d point%s left out: not a finite value the axes can show\n",
                     program, left_out, left_out == 1 ? "" : "s");
    }
    std::string error;
    if (!WriteChart(chart, request.output, &error)) {
        std::fprintf(stderr, "%s: cannot write the chart: %s\n", program, error.c_str());
        return 1;
    }
    if (!request.csv.empty() && !WriteCurveCsv(sets, request.csv, &error)) {
        std::fprintf(stderr, "%s: cannot write the table: %s\n", program, error.c_str());
        return 1;
    }
    return 0;
}

}  // namespace tarnvel::curves
