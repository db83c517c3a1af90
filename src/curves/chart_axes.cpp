#include "curves/chart_axes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

namespace tarnvel::curves {
namespace {

// A linear axis aims at about this many steps over its range, which gives
// five to ten labelled ticks with 1, 2, 5 steps.
constexpr double kLinearSteps = 8.0;
// A logarithmic axis labels at most about this many decades; wider ranges
// label every second, fifth... decade.
constexpr int kMostLabelledDecades = 10;
// Minor ticks at 2..9 are drawn while the range spans at most this many
// decades; beyond that they would merge into a grey band.
constexpr double kMostDecadesWithMinorTicks = 8.0;
// Unlabelled decades keep a tick while the range spans at most this many.
constexpr double kMostDecadesWithTicks = 60.0;
// The decades a double can hold as a normal number, kept as bounds.
constexpr int kLowestDecade = -307;
constexpr int kHighestDecade = 308;
// Values closer than this, relative to their size, are one value.
constexpr double kSameValue = 1e-9;

struct Range {
    double low = 0.0;
    double high = 0.0;
};

bool DataRange(const std::vector<double>& values, bool logarithmic, Range* range) {
    bool any = false;
    for (const double value : values) {
        if (!PlottableOn(value, logarithmic)) continue;
        range->low = any ? std::min(range->low, value) : value;
        range->high = any ? std::max(range->high, value) : value;
        any = true;
    }
    return any;
}

// A bound rounded to a multiple of step, kept finite near the end of the
// doubles.
double RoundTo(double value, double step, double (*round)(double)) {
    const double rounded = round(value / step) * step;
    return std::isfinite(rounded) ? rounded : value;
}

Range LinearAutoRange(Range data) {
    const double magnitude = std::max(std::fabs(data.low), std::fabs(data.high));
    if (data.high - data.low <= magnitude * kSameValue) {
        const double pad = magnitude > 0.0 ? magnitude * 0.1 : 1.0;
        data.low -= pad;
        data.high += pad;
    }
    // Halves first, so that a span near the end of the doubles stays finite.
    const double step = NiceStep((data.high / 2 - data.low / 2) * (2 / kLinearSteps));
    return {RoundTo(data.low, step, std::floor), RoundTo(data.high, step, std::ceil)};
}

Range LogAutoRange(Range data) {
    int low = static_cast<int>(std::floor(std::log10(data.low)));
    int high = static_cast<int>(std::ceil(std::log10(data.high)));
    if (low == high) {
        --low;
        ++high;
    }
    low = std::clamp(low, kLowestDecade, kHighestDecade - 1);
    high = std::clamp(high, low + 1, kHighestDecade);
    return {std::pow(10.0, low), std::pow(10.0, high)};
}

// "1.50e7" rather than "1.50e+07".
std::string TidyExponent(std::string text) {
    const std::size_t e = text.find('e');
    if (e == std::string::npos) return text;
    std::string mantissa = text.substr(0, e);
    std::string exponent = text.substr(e + 1);
    const bool negative = !exponent.empty() && exponent.front() == '-';
    exponent.erase(0, exponent.find_first_not_of("+-0"));
    return mantissa + "e" + (negative ? "-" : "") + (exponent.empty() ? "0" : exponent);
}

std::string LinearLabel(double value, double step, double magnitude) {
    if (value == 0.0) return "0";
    const int step_decade = static_cast<int>(std::floor(std::log10(step) + kSameValue));
    const int value_decade = static_cast<int>(std::floor(std::log10(magnitude)));
    char text[64];
    if (value_decade >= 6 || value_decade < -4) {
        const int decimals = std::clamp(value_decade - step_decade, 0, 15);
        std::snprintf(text, sizeof text, "%.*e", decimals, value);
        return TidyExponent(text);
    }
    std::snprintf(text, sizeof text, "%.*f", std::clamp(-step_decade, 0, 15), value);
    return text;
}

void LinearTicks(AxisScale* scale) {
    const double step = NiceStep((scale->max / 2 - scale->min / 2) * (2 / kLinearSteps));
    const double magnitude = std::max(std::fabs(scale->min), std::fabs(scale->max));
    const double first = std::ceil(scale->min / step - kSameValue);
    const double last = std::floor(scale->max / step + kSameValue);
    for (double k = first; k <= last; ++k) {
        const double value = k * step;
        if (!std::isfinite(value)) continue;
        scale->ticks.push_back({value, LinearLabel(value, step, magnitude), "", true});
    }
}

// A decade's label: plain digits near 1, 10 raised to the power beyond.
Tick DecadeTick(int decade, bool labelled) {
    Tick tick{std::pow(10.0, decade), "", "", true};
    if (!labelled) return tick;
    if (decade >= 0 && decade <= 3) {
        tick.label = std::string("1").append(static_cast<std::size_t>(decade), '0');
    } else if (decade < 0 && decade >= -3) {
        tick.label =
            std::string("0.").append(static_cast<std::size_t>(-decade - 1), '0').append("1");
    } else {
        tick.label = "10";
        tick.exponent = std::to_string(decade);
    }
    return tick;
}

void LabelMinor(Tick* tick, int multiple, int decade) {
    if (decade >= -4 && decade <= 3) {
        char text[32];
        std::snprintf(text, sizeof text, "%g", tick->value);
        tick->label = text;
    } else {
        tick->label = std::to_string(multiple) + "×10";
        tick->exponent = std::to_string(decade);
    }
}

bool Within(double value, const AxisScale& scale) {
    const double tolerance = 1.0 + kSameValue;
    return value >= scale.min / tolerance && value <= scale.max * tolerance;
}

void LogTicks(AxisScale* scale) {
    const double low = std::log10(scale->min);
    const double high = std::log10(scale->max);
    const double decades = high - low;
    const int every = std::max(1, static_cast<int>(std::ceil(decades / kMostLabelledDecades)));
    int labelled = 0;
    for (int d = static_cast<int>(std::floor(low)); d <= static_cast<int>(std::ceil(high)); ++d) {
        const Tick decade = DecadeTick(d, d % every == 0);
        if (Within(decade.value, *scale) && (d % every == 0 || decades <= kMostDecadesWithTicks)) {
            scale->ticks.push_back(decade);
            scale->ticks.back().major = d % every == 0;
            labelled += d % every == 0 ? 1 : 0;
        }
        for (int m = 2; m <= 9 && decades <= kMostDecadesWithMinorTicks; ++m) {
            const double value = m * decade.value;
            if (Within(value, *scale)) scale->ticks.push_back({value, "", "", false});
        }
    }
    if (labelled >= 3) return;
    // A decade or two in view: the minor ticks carry labels too, 2 and 5
    // first, every one when that is still too few.
    for (const bool all : {false, true}) {
        for (Tick& tick : scale->ticks) {
            if (tick.major || !tick.label.empty()) continue;
            const int decade = static_cast<int>(std::floor(std::log10(tick.value) + kSameValue));
            const int multiple = static_cast<int>(std::lround(tick.value / std::pow(10.0, decade)));
            if (all || multiple == 2 || multiple == 5) LabelMinor(&tick, multiple, decade);
            labelled += tick.label.empty() ? 0 : 1;
        }
        if (labelled >= 3) return;
    }
}

}  // namespace

bool PlottableOn(double value, bool logarithmic) {
    return std::isfinite(value) && (!logarithmic || value > 0.0);
}

double NiceStep(double raw) {
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (const double multiple : {1.0, 2.0, 5.0}) {
        if (multiple * power >= raw * (1 - kSameValue)) return multiple * power;
    }
    return 10.0 * power;
}

AxisScale ScaleAxis(const Axis& axis, const std::vector<double>& values) {
    AxisScale scale;
    scale.logarithmic = axis.logarithmic;
    const bool given = axis.min < axis.max && PlottableOn(axis.min, axis.logarithmic) &&
                       PlottableOn(axis.max, axis.logarithmic);
    Range range{axis.min, axis.max};
    if (!given) {
        Range data{axis.logarithmic ? 1.0 : 0.0, axis.logarithmic ? 10.0 : 1.0};
        const bool any = DataRange(values, axis.logarithmic, &data);
        range = !any ? data : axis.logarithmic ? LogAutoRange(data) : LinearAutoRange(data);
    }
    scale.min = range.low;
    scale.max = range.high;
    if (axis.logarithmic) {
        LogTicks(&scale);
    } else {
        LinearTicks(&scale);
    }
    return scale;
}

double ScaleFraction(const AxisScale& scale, double value) {
    if (scale.logarithmic) {
        const double low = std::log10(scale.min);
        return (std::log10(value) - low) / (std::log10(scale.max) - low);
    }
    // Halves, so that ranges near the end of the doubles stay finite.
    return (value / 2 - scale.min / 2) / (scale.max / 2 - scale.min / 2);
}

}  // namespace tarnvel::curves
