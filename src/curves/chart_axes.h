// The scale of a chart axis: the range it shows and its ticks. A linear
// axis steps by 1, 2 or 5 times a power of ten; a logarithmic axis has a
// major tick at each decade and minor ticks at 2..9 times it. A range left
// open (min >= max) is taken from the data: nice rounded bounds on a linear
// axis, whole decades on a logarithmic one.
#pragma once

#include <string>
#include <vector>

#include "curves/chart.h"

namespace tarnvel::curves {

struct Tick {
    // The value on the axis, in the axis units.
    double value = 0.0;
    // The text under or beside the tick; empty for an unlabelled tick. With
    // an exponent the label reads label × 10^exponent, drawn raised.
    std::string label;
    std::string exponent;
    // Major ticks are longer and carry the stronger grid line.
    bool major = true;
};

struct AxisScale {
    double min = 0.0;
    double max = 1.0;
    bool logarithmic = false;
    std::vector<Tick> ticks;
};

// Whether a value can be placed on an axis: finite, and positive on a
// logarithmic axis.
bool PlottableOn(double value, bool logarithmic);

// The smallest step of the form 1, 2 or 5 times a power of ten that is at
// least raw (raw > 0 and finite).
double NiceStep(double raw);

// The scale of the axis for the values the series place on it (values that
// are not plottable on the axis are ignored).
AxisScale ScaleAxis(const Axis& axis, const std::vector<double>& values);

// Where a value lies on the scale: 0 at min, 1 at max (outside for values
// out of the range).
double ScaleFraction(const AxisScale& scale, double value);

}  // namespace tarnvel::curves
