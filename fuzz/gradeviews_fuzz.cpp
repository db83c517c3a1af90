// Drives what people see of a grade, the sampled viscosity and PVT curves,
// their chart and table, and the catalogue page, with grades made from the
// bytes. Each item takes a property byte (mapped onto the properties the
// curves use, or any other), a format byte, a variable count and numbers,
// and a number byte pattern that reaches zeros, negatives, huge values,
// unset (-16384), NaN and infinities; a text item takes bytes as they come.
// A first byte may give a class temperature, also any number.
// Whatever the grade, nothing crashes, every sampled point is finite (and
// positive where the axis is logarithmic), the table holds no NaN, and the
// page is one HTML document.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "catalogue/catalogue_page.h"
#include "curves/curves.h"
#include "fuzz_curves.h"
#include "fuzz_input.h"
#include "matdb/matdb.h"
#include "services/vtout.h"

namespace {

using tarnvel::fuzzing::CheckCurves;
using tarnvel::fuzzing::Input;
using tarnvel::fuzzing::Require;

using tarnvel::curves::CurveSet;
using tarnvel::curves::PlotKind;

// The properties the curves read, and a few they do not.
constexpr int kProperties[] = {6, 12, 43, 44, 45, 79, 80, 81, 82, 83, 88, 89, 108, 3, 58, 77, 17};
constexpr int kFormats[] = {MD_SINGLE_POINT, MD_STANDARD_POINTS, MD_COEFFICIENTS, MD_TEXT};

float Number(Input& in) {
    const std::uint8_t kind = in.byte();
    const std::uint8_t value = in.byte();
    switch (kind % 8) {
        case 0:
            return -16384.0f;
        case 1:
            return std::numeric_limits<float>::quiet_NaN();
        case 2:
            return value % 2 ? std::numeric_limits<float>::infinity()
                             : -std::numeric_limits<float>::infinity();
        case 3:
            return 0.0f;
        default:
            // Signed mantissa times a power of ten from 1e-12 to 1e13.
            return static_cast<float>((value - 128) * std::pow(10.0, kind % 26 - 12));
    }
}

MdProperty Item(Input& in) {
    MdProperty item;
    item.property = kProperties[in.byte() % std::size(kProperties)];
    item.format = kFormats[in.byte() % std::size(kFormats)];
    if (item.format == MD_TEXT) {
        const std::size_t length = in.byte() % 90;
        for (std::size_t i = 0; i < length && in.more(); ++i)
            item.text.push_back(static_cast<char>(in.byte()));
        return item;
    }
    if (item.format == MD_STANDARD_POINTS) {
        const int variables = in.byte() % 3;
        for (int v = 0; v < variables; ++v) item.variables.push_back(1 + in.byte() % 8);
    }
    const std::size_t count = in.byte() % 40;
    for (std::size_t i = 0; i < count && in.more(); ++i)
        item.values.push_back(MdWord::Real(Number(in)));
    return item;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool quiet = [] {
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(vtOutDiscard);
        return true;
    }();
    (void)quiet;
    Input in{data, size};
    MdGrade grade;
    grade.supplier = "FUZZ";
    grade.code = "G1";
    grade.description = "FUZZED GRADE";
    // The class temperature a caller may give, any number at all.
    tarnvel::curves::SamplingOptions options;
    if (in.byte() % 2 == 1) options.class_temperature = Number(in);
    while (in.more() && grade.items.size() < 24) grade.items.push_back(Item(in));

    std::vector<tarnvel::catalogue::PagePlot> plots;
    for (const PlotKind kind : {PlotKind::kViscosity, PlotKind::kPvt}) {
        const std::vector<CurveSet> sets = {tarnvel::curves::GradeCurves(grade, kind, options)};
        CheckCurves(sets[0], kind);
        const tarnvel::curves::Chart chart = tarnvel::curves::MakeChart(sets, kind);
        Require(tarnvel::curves::UnplottablePoints(chart) == 0);
        const std::string table = tarnvel::curves::CurveCsvText(sets);
        Require(table.find("nan") == std::string::npos && table.find("inf") == std::string::npos);
        tarnvel::catalogue::PagePlot plot;
        plot.kind = kind == PlotKind::kPvt ? tarnvel::catalogue::PlotKind::kPvt
                                           : tarnvel::catalogue::PlotKind::kViscosity;
        plot.warnings = sets[0].warnings;
        plots.push_back(plot);
    }
    const std::string page = tarnvel::catalogue::GradePageHtml(grade, plots, {});
    Require(page.rfind("<!DOCTYPE html>", 0) == 0);
    Require(page.find("</html>") != std::string::npos);
    return 0;
}
