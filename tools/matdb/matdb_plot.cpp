// matdb plot: the viscosity or PVT curves of one or more grades in one
// chart (each grade in its own colour), and optionally their table.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue_page.h"
#include "curves/class_temperature.h"
#include "curves/curves.h"
#include "curves/plot_command.h"
#include "matdb_tool.h"

namespace matdb_tool {
namespace {

using tarnvel::curves::ChosenKind;
using tarnvel::curves::CurveSet;
using tarnvel::curves::PlotKindChoice;
using tarnvel::curves::PlotRequest;

PlotRequest RequestOf(const Options& options, std::string* problem) {
    PlotRequest request;
    request.kind = ChosenKind(PlotKindChoice{options.viscosity, options.pvt}, problem);
    request.output = options.output;
    request.csv = options.csv;
    if (problem->empty()) *problem = tarnvel::curves::PlotRequestProblem(request);
    return request;
}

}  // namespace

int CheckPlotOptions(const Options& options) {
    std::string problem;
    // DIR, then SUPPLIER GRADE pairs.
    if (options.words.size() < 3 || options.words.size() % 2 == 0) {
        problem = "plot needs DIR and one or more SUPPLIER GRADE pairs";
    } else {
        RequestOf(options, &problem);
    }
    if (problem.empty()) return kExitOk;
    std::fprintf(stderr, "matdb: %s\nTry 'matdb --help' for more information.\n", problem.c_str());
    return kExitUsage;
}

int RunPlot(const Options& options, const OpenedDatabase& database) {
    std::string problem;
    const PlotRequest request = RequestOf(options, &problem);
    std::vector<CurveSet> sets;
    const tarnvel::curves::ClassTemperatures classes(tarnvel::curves::ProductDataDirectory());
    for (std::size_t i = 1; i + 1 < options.words.size(); i += 2) {
        MdPosition at{};
        const std::unique_ptr<MdGrade> grade =
            ReadNamedGrade(database, options.words[i], options.words[i + 1], &at);
        if (!grade) return kExitFailed;
        tarnvel::curves::SamplingOptions sampling;
        sampling.class_temperature = classes.Of(tarnvel::catalogue::GradeFamily(*grade));
        sets.push_back(tarnvel::curves::GradeCurves(*grade, request.kind, sampling));
    }
    return tarnvel::curves::WritePlot(sets, request, "matdb");
}

}  // namespace matdb_tool
