#include "curves/curves.h"

#include <cstdio>
#include <string_view>

#include "curves/number_text.h"
#include "services/sypsafewrite.h"

namespace tarnvel::curves {
namespace {

// The line style of each model, so that a model reads the same in every
// colour.
struct ModelStyle {
    std::string_view model;
    LineStyle line;
};
constexpr ModelStyle kModelStyles[] = {
    {"Cross-WLF", LineStyle::kSolid},     {"2nd order", LineStyle::kDashed},
    {"1st order", LineStyle::kDotted},    {"matrix", LineStyle::kDashDot},
    {"Modified Tait", LineStyle::kSolid}, {"Vantorel PVT", LineStyle::kDashed},
};

// The markers of measured values, one per temperature or pressure in turn.
constexpr Marker kPointMarkers[] = {Marker::kCircle, Marker::kSquare, Marker::kTriangle,
                                    Marker::kDiamond};

LineStyle StyleOf(const SampledCurve& curve) {
    if (curve.role == CurveRole::kTransition) return LineStyle::kDotted;
    for (const ModelStyle& style : kModelStyles) {
        if (style.model == curve.model) return style.line;
    }
    return LineStyle::kSolid;
}

std::string ParameterText(PlotKind kind, double value) {
    return NumberText(value) + (kind == PlotKind::kViscosity ? " °C" : " MPa");
}

std::string Label(const CurveSet& set, const SampledCurve& curve) {
    std::string label = set.source + ", " + curve.model;
    if (curve.parameter) label += ", " + ParameterText(set.kind, *curve.parameter);
    return label;
}

Series SeriesOf(const CurveSet& set, const SampledCurve& curve, int colour, int* measured) {
    Series series;
    series.label = Label(set, curve);
    series.colour = colour;
    series.points = curve.points;
    if (curve.role == CurveRole::kMeasured) {
        series.connect = false;
        series.marker = curve.model == "points"
                            ? kPointMarkers[(*measured)++ % std::size(kPointMarkers)]
                            : Marker::kCross;
    } else {
        series.line = StyleOf(curve);
    }
    return series;
}

// A CSV field: quoted when it holds a separator, a quote or a line break.
std::string Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

}  // namespace

CurveSet GradeCurves(const MdGrade& grade, PlotKind kind, const SamplingOptions& options) {
    return SampleCurves(ModelsOfGrade(grade), kind, options);
}

CurveSet SetCurves(const UdmTset* tset, PlotKind kind, const SamplingOptions& options) {
    return SampleCurves(ModelsOfSet(tset), kind, options);
}

std::string GradeChartSvg(const MdGrade& grade, PlotKind kind, std::vector<std::string>* warnings,
                          const SamplingOptions& options) {
    std::vector<CurveSet> sets = {GradeCurves(grade, kind, options)};
    warnings->insert(warnings->end(), sets[0].warnings.begin(), sets[0].warnings.end());
    const Chart chart = MakeChart(sets, kind);
    if (DrawnSeries(chart) == 0) return {};
    std::string error;
    std::string svg = ChartSvg(chart, &error);
    if (svg.empty()) warnings->push_back(sets[0].source + ": the chart cannot be drawn: " + error);
    return svg;
}

std::string XAxisTitle(PlotKind kind) {
    return kind == PlotKind::kViscosity ? "Shear rate (1/s)" : "Temperature (°C)";
}

std::string YAxisTitle(PlotKind kind) {
    return kind == PlotKind::kViscosity ? "Viscosity (Pa·s)" : "Specific volume (cm³/g)";
}

Chart MakeChart(const std::vector<CurveSet>& sets, PlotKind kind) {
    Chart chart;
    const bool viscosity = kind == PlotKind::kViscosity;
    chart.x = {XAxisTitle(kind), viscosity, 0.0, 0.0};
    chart.y = {YAxisTitle(kind), viscosity, 0.0, 0.0};
    std::string names;
    int colour = 0;
    for (const CurveSet& set : sets) {
        if (set.kind != kind) continue;
        names += (names.empty() ? "" : ", ") + set.source;
        int measured = 0;
        for (const SampledCurve& curve : set.curves) {
            if (!curve.points.empty())
                chart.series.push_back(SeriesOf(set, curve, colour, &measured));
        }
        ++colour;
    }
    chart.title = std::string(viscosity ? "Viscosity" : "PVT specific volume") +
                  (names.empty() ? "" : ": " + names);
    return chart;
}

std::size_t DrawnSeries(const Chart& chart) {
    std::size_t count = 0;
    for (const Series& s : chart.series) count += s.points.empty() ? 0 : 1;
    return count;
}

std::string CurveCsvText(const std::vector<CurveSet>& sets) {
    const PlotKind kind = sets.empty() ? PlotKind::kViscosity : sets.front().kind;
    std::string text = kind == PlotKind::kViscosity
                           ? "source,model,temperature_C,shear_rate_per_s,viscosity_Pa_s\n"
                           : "source,model,pressure_MPa,temperature_C,specific_volume_cm3_per_g\n";
    for (const CurveSet& set : sets) {
        if (set.kind != kind) continue;
        for (const SampledCurve& curve : set.curves) {
            const std::string head = Field(set.source) + "," + Field(curve.model) + "," +
                                     (curve.parameter ? NumberText(*curve.parameter) : "") + ",";
            for (const auto& [x, y] : curve.points) {
                text += head + NumberText(x) + "," + NumberText(y) + "\n";
            }
        }
    }
    return text;
}

bool WriteCurveCsv(const std::vector<CurveSet>& sets, const std::string& path, std::string* error) {
    const std::string text = CurveCsvText(sets);
    const int status = sypWriteFile(path.c_str(), [&](std::FILE* out) {
        return std::fwrite(text.data(), 1, text.size(), out) == text.size();
    });
    if (status == 0) return true;
    if (error != nullptr) *error = sypWriteFileError();
    return false;
}

}  // namespace tarnvel::curves
