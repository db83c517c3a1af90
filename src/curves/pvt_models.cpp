#include "curves/pvt_models.h"

#include <algorithm>
#include <cmath>

#include "curves/model_checks.h"
#include "curves/viscosity_models.h"
#include "matdb/md_fit_pvt.h"

namespace tarnvel::curves {
namespace {

// The Tait coefficients by their place in the list.
enum TaitIndex : std::size_t {
    kB5,
    kB6,
    kB1m,
    kB2m,
    kB3m,
    kB4m,
    kB1s,
    kB2s,
    kB3s,
    kB4s,
    kB7,
    kB8,
    kB9,
};

bool AllZero(const std::array<double, kPvtCoefficientCount>& values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return v == 0.0; });
}

}  // namespace

double TaitModel::TransitionTemperature(double pressure) const {
    return b[kB5] + b[kB6] * pressure - kKelvinOffset;
}

double TaitModel::Volume(double temperature, double pressure) const {
    const double excess = temperature + kKelvinOffset - b[kB5];
    const bool melt = temperature >= TransitionTemperature(pressure);
    const std::size_t first = melt ? kB1m : kB1s;
    const double v0 = b[first] + b[first + 1] * excess;
    const double big_b = b[first + 2] * std::exp(-b[first + 3] * excess);
    const double volume = v0 * (1.0 - kTaitC * std::log1p(pressure / big_b));
    if (melt) return volume;
    return volume + b[kB7] * std::exp(b[kB8] * excess - b[kB9] * pressure);
}

std::string TaitModel::Problem() const {
    const std::string common = CommonProblem(b);
    if (!common.empty()) return common;
    if (AllZero(b)) return "all coefficients are 0";
    if (b[kB5] <= 0.0) return "b5 is not a temperature in kelvin";
    if (b[kB1m] <= 0.0) return "b1m is not positive";
    if (b[kB1s] <= 0.0) return "b1s is not positive";
    if (b[kB3m] <= 0.0) return "b3m is not positive";
    if (b[kB3s] <= 0.0) return "b3s is not positive";
    return "";
}

double OwnPvtModel::TransitionTemperature(double pressure) const {
    return (pressure - k[11]) / k[12];
}

double OwnPvtModel::Volume(double temperature, double pressure) const {
    const bool melt = temperature >= TransitionTemperature(pressure);
    return matdb::md_pvt_volume(k, melt, temperature, pressure);
}

std::string OwnPvtModel::Problem() const {
    const std::string common = CommonProblem(k);
    if (!common.empty()) return common;
    if (AllZero(k)) return "all coefficients are 0";
    if (k[12] == 0.0) return "k12 is 0 (no transition line)";
    return "";
}

}  // namespace tarnvel::curves
