#include "curves/curve_sampling.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>

#include "curves/number_text.h"

namespace tarnvel::curves {
namespace {

// Display units: MPa in Pa, cm³/g in m³/kg.
constexpr double kPascalPerMegapascal = 1e6;
constexpr double kCubicCentimetresPerGramPerCubicMetrePerKilogram = 1000.0;

// Viscosity samples per decade of shear rate; PVT samples per isobar and
// per transition line.
constexpr int kSamplesPerDecade = 10;
constexpr int kIsobarSamples = 141;
constexpr int kTransitionSamples = 41;
// The spread of the three temperatures around the class temperature.
constexpr double kClassSpread = 20.0;
// Two temperatures (°C) or pressures (MPa) closer than this are one.
constexpr double kSameParameter = 0.01;

// Values closer than kSameParameter taken once, rising.
std::vector<double> Distinct(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    std::vector<double> out;
    for (double v : values) {
        if (out.empty() || v - out.back() > kSameParameter) out.push_back(v);
    }
    return out;
}

std::string ListText(const std::vector<double>& values, const char* unit) {
    std::string text;
    for (double v : values) text += (text.empty() ? "" : ", ") + NumberText(v);
    return text + " " + unit;
}

// Evaluates a model along one curve: the points kept, and the count of
// values that were not finite and positive (no value at all is not
// counted: that is the model's domain).
struct Sampler {
    std::vector<std::pair<double, double>> points;
    std::size_t dropped = 0;
    void Add(double x, std::optional<double> y) {
        if (!y) return;
        if (std::isfinite(*y) && *y > 0.0 && std::isfinite(x)) {
            points.emplace_back(x, *y);
        } else {
            ++dropped;
        }
    }
};

// The curves of one model over its parameters, and its warnings: values
// dropped, parameters where it gives too little to draw.
struct ModelCurves {
    ModelCurves(std::string model, const char* parameter_unit, CurveSet* curves)
        : name(std::move(model)), unit(parameter_unit), out(curves) {}

    std::string name;
    const char* unit;
    CurveSet* out;
    std::size_t dropped = 0;
    std::vector<double> empty_at;
    std::size_t drawn = 0;

    void Put(double parameter, Sampler&& sampler) {
        dropped += sampler.dropped;
        if (sampler.points.size() < 2) {
            empty_at.push_back(parameter);
            return;
        }
        out->curves.push_back({name, CurveRole::kModel, parameter, std::move(sampler.points)});
        ++drawn;
    }
    void Report(const char* what) {
        const std::string head = out->source + ": " + name;
        if (dropped > 0) {
            out->warnings.push_back(head + ": " + std::to_string(dropped) + " sampled values left" +
                                    " out (not a finite positive " + what + ")");
        }
        if (drawn == 0 && !empty_at.empty()) {
            out->warnings.push_back(head + " not drawn: no finite positive " + what +
                                    " over the plot");
        } else if (!empty_at.empty()) {
            out->warnings.push_back(head + " not drawn at " + ListText(empty_at, unit) +
                                    ": no finite positive " + what + " there");
        }
    }
};

// Measured values grouped by a parameter into marker curves, each sorted
// by x.
void PutMeasured(CurveSet& out, const std::string& name,
                 const std::vector<std::pair<double, std::pair<double, double>>>& rows) {
    std::vector<double> parameters;
    for (const auto& row : rows) parameters.push_back(row.first);
    for (double p : Distinct(parameters)) {
        SampledCurve curve{name, CurveRole::kMeasured, p, {}};
        for (const auto& [q, xy] : rows) {
            if (std::fabs(q - p) <= kSameParameter) curve.points.push_back(xy);
        }
        std::sort(curve.points.begin(), curve.points.end());
        out.curves.push_back(std::move(curve));
    }
}

// ---- Viscosity ----

using ViscosityFunction = std::function<std::optional<double>(double, double)>;

struct ViscosityEntry {
    const char* name;
    ViscosityFunction viscosity;
    // The shear rates beyond the plot's that the model is sampled at too
    // (the matrix grid, so that its curve reaches its edges).
    std::vector<double> extra_shear_rates;
};

std::vector<ViscosityEntry> ViscosityModels(const ModelSet& m) {
    std::vector<ViscosityEntry> entries;
    const auto bind = [](const auto& model) {
        return [model](double s, double t) { return model.Viscosity(s, t); };
    };
    if (m.cross_wlf) entries.push_back({"Cross-WLF", bind(*m.cross_wlf), {}});
    if (m.second_order) entries.push_back({"2nd order", bind(*m.second_order), {}});
    if (m.first_order) entries.push_back({"1st order", bind(*m.first_order), {}});
    if (m.matrix) {
        std::vector<double> grid;
        for (double l : m.matrix->ln_shear) grid.push_back(std::exp(l));
        entries.push_back({"matrix", bind(*m.matrix), grid});
    }
    return entries;
}

void SampleViscosity(const ModelSet& m, const SamplingOptions& options, CurveSet& out) {
    const std::vector<double> temperatures = ViscosityTemperatures(m, options);
    const std::vector<double> rates = ShearRates(m);
    const std::vector<ViscosityEntry> models = ViscosityModels(m);
    if (temperatures.empty() && !models.empty()) {
        out.warnings.push_back(out.source +
                               ": viscosity models not drawn: no temperature to draw them at (no"
                               " points, no recommended melt temperature, no class temperature)");
    }
    for (const ViscosityEntry& model : models) {
        std::vector<double> shear = rates;
        shear.insert(shear.end(), model.extra_shear_rates.begin(), model.extra_shear_rates.end());
        std::sort(shear.begin(), shear.end());
        // A grid node that is also a sample of the plot is sampled once.
        shear.erase(std::unique(shear.begin(), shear.end(),
                                [](double a, double b) { return b - a <= 1e-9 * b; }),
                    shear.end());
        ModelCurves curves{model.name, "°C", &out};
        for (double t : temperatures) {
            Sampler sampler;
            for (double s : shear) sampler.Add(s, model.viscosity(s, t));
            curves.Put(t, std::move(sampler));
        }
        curves.Report("viscosity");
    }
    std::vector<std::pair<double, std::pair<double, double>>> rows;
    for (const ViscosityPoint& p : m.viscosity_points) {
        rows.push_back({p.temperature, {p.shear_rate, p.viscosity}});
    }
    PutMeasured(out, "points", rows);
}

// ---- PVT ----

struct PvtEntry {
    const char* name;
    std::function<double(double, double)> volume;
    std::function<double(double)> transition;
};

std::vector<PvtEntry> PvtModels(const ModelSet& m) {
    std::vector<PvtEntry> entries;
    const auto add = [&](const char* name, const auto& model) {
        entries.push_back({name, [model](double t, double p) { return model.Volume(t, p); },
                           [model](double p) { return model.TransitionTemperature(p); }});
    };
    if (m.tait) add("Modified Tait", *m.tait);
    if (m.own_pvt) add("Vantorel PVT", *m.own_pvt);
    return entries;
}

// The isobars (MPa): the fixed ones and those of the points.
std::vector<double> Isobars(const ModelSet& m) {
    std::vector<double> pressures(std::begin(kIsobars), std::end(kIsobars));
    for (const PvtPoint& p : m.pvt_points) pressures.push_back(p.pressure / kPascalPerMegapascal);
    return Distinct(pressures);
}

// The temperature range (°C) of the PVT plot.
std::pair<double, double> PvtRange(const ModelSet& m) {
    double low = kLowestPvtTemperature;
    double high = kHighestPvtTemperature;
    for (const std::vector<PvtPoint>* rows : {&m.pvt_points, &m.pvt_matrix}) {
        for (const PvtPoint& p : *rows) {
            low = std::min(low, p.temperature);
            high = std::max(high, p.temperature);
        }
    }
    for (double t : m.melt_temperatures) high = std::max(high, t);
    return {low, high};
}

double ToVolume(double v) {
    return v * kCubicCentimetresPerGramPerCubicMetrePerKilogram;
}

void SampleIsobars(const PvtEntry& model, const std::vector<double>& isobars,
                   std::pair<double, double> range, CurveSet& out) {
    const auto [low, high] = range;
    ModelCurves curves{model.name, "MPa", &out};
    for (double mpa : isobars) {
        const double p = mpa * kPascalPerMegapascal;
        std::vector<double> temperatures;
        for (int i = 0; i < kIsobarSamples; ++i) {
            temperatures.push_back(low + (high - low) * i / (kIsobarSamples - 1));
        }
        // The step at the transition: its temperature and one just below.
        const double transition = model.transition(p);
        if (transition > low && transition < high) {
            temperatures.push_back(transition);
            temperatures.push_back(transition - 1e-6 * (high - low));
        }
        std::sort(temperatures.begin(), temperatures.end());
        Sampler sampler;
        for (double t : temperatures) sampler.Add(t, ToVolume(model.volume(t, p)));
        curves.Put(mpa, std::move(sampler));
    }
    curves.Report("specific volume");
}

void SampleTransition(const PvtEntry& model, double highest_mpa, CurveSet& out) {
    Sampler sampler;
    for (int i = 0; i < kTransitionSamples; ++i) {
        const double p = highest_mpa * kPascalPerMegapascal * i / (kTransitionSamples - 1);
        const double t = model.transition(p);
        sampler.Add(t, ToVolume(model.volume(t, p)));
    }
    const std::string name = std::string(model.name) + " transition";
    if (sampler.points.size() < 2) {
        out.warnings.push_back(out.source + ": " + name +
                               " not drawn: no finite positive specific volume on it");
        return;
    }
    out.curves.push_back({name, CurveRole::kTransition, std::nullopt, std::move(sampler.points)});
}

void SamplePvt(const ModelSet& m, CurveSet& out) {
    const std::vector<double> isobars = Isobars(m);
    const std::pair<double, double> range = PvtRange(m);
    for (const PvtEntry& model : PvtModels(m)) {
        SampleIsobars(model, isobars, range, out);
        SampleTransition(model, isobars.back(), out);
    }
    const auto rows_of = [](const std::vector<PvtPoint>& points) {
        std::vector<std::pair<double, std::pair<double, double>>> rows;
        for (const PvtPoint& p : points) {
            rows.push_back(
                {p.pressure / kPascalPerMegapascal, {p.temperature, ToVolume(p.volume)}});
        }
        return rows;
    };
    PutMeasured(out, "points", rows_of(m.pvt_points));
    PutMeasured(out, "PVT matrix", rows_of(m.pvt_matrix));
}

}  // namespace

std::vector<double> ViscosityTemperatures(const ModelSet& models, const SamplingOptions& options) {
    std::vector<double> temperatures;
    for (const ViscosityPoint& p : models.viscosity_points) temperatures.push_back(p.temperature);
    if (temperatures.empty()) temperatures = models.melt_temperatures;
    const std::optional<double> class_temperature =
        options.class_temperature ? options.class_temperature : models.class_temperature;
    if (temperatures.empty() && class_temperature && std::isfinite(*class_temperature)) {
        const double t = *class_temperature;
        temperatures = {t - kClassSpread, t, t + kClassSpread};
    }
    return Distinct(temperatures);
}

std::vector<double> ShearRates(const ModelSet& models) {
    double low = std::log10(kLowestShearRate);
    double high = std::log10(kHighestShearRate);
    for (const ViscosityPoint& p : models.viscosity_points) {
        low = std::min(low, std::floor(std::log10(p.shear_rate)));
        high = std::max(high, std::ceil(std::log10(p.shear_rate)));
    }
    const int steps = static_cast<int>(std::lround((high - low) * kSamplesPerDecade));
    std::vector<double> rates;
    for (int i = 0; i <= steps; ++i) {
        rates.push_back(std::pow(10.0, low + static_cast<double>(i) / kSamplesPerDecade));
    }
    return rates;
}

CurveSet SampleCurves(const ModelSet& models, PlotKind kind, const SamplingOptions& options) {
    CurveSet out;
    out.source = models.source;
    out.kind = kind;
    if (kind == PlotKind::kViscosity) {
        out.warnings = models.viscosity_warnings;
        SampleViscosity(models, options, out);
    } else {
        out.warnings = models.pvt_warnings;
        SamplePvt(models, out);
    }
    return out;
}

}  // namespace tarnvel::curves
