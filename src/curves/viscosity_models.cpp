#include "curves/viscosity_models.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "curves/model_checks.h"

namespace tarnvel::curves {
namespace {

// A grid edge meets a value computed from it (ln of exp of ln) within this
// relative distance.
constexpr double kEdgeTolerance = 1e-9;

// The index i of the cell [axis[i], axis[i + 1]] that holds x and the
// weight of axis[i + 1]; nullopt outside the axis.
struct Cell {
    std::size_t index;
    double weight;
};
std::optional<Cell> CellOf(const std::vector<double>& axis, double x) {
    const double slack = kEdgeTolerance * std::max(1.0, std::fabs(axis.back() - axis.front()));
    if (!(x >= axis.front() - slack && x <= axis.back() + slack)) return std::nullopt;
    x = std::clamp(x, axis.front(), axis.back());
    std::size_t i = 0;
    while (i + 2 < axis.size() && x > axis[i + 1]) ++i;
    return Cell{i, (x - axis[i]) / (axis[i + 1] - axis[i])};
}

}  // namespace

std::optional<double> FirstOrderModel::Viscosity(double shear_rate, double temperature) const {
    return a * std::exp(n * std::log(shear_rate) + b * temperature);
}

std::string FirstOrderModel::Problem() const {
    const std::string common = CommonProblem({a, n, b});
    if (!common.empty()) return common;
    if (a <= 0.0) return "A is not positive";
    if (n > 0.0) return "N is positive (viscosity rising with shear rate)";
    return "";
}

std::optional<double> SecondOrderModel::Viscosity(double shear_rate, double temperature) const {
    const double l = std::log(shear_rate);
    const double t = temperature;
    return std::exp(c[0] + c[1] * l + c[2] * t + c[3] * l * l + c[4] * t * l + c[5] * t * t);
}

std::string SecondOrderModel::Problem() const {
    const std::string common = CommonProblem(c);
    if (!common.empty()) return common;
    if (std::all_of(c.begin(), c.end(), [](double v) { return v == 0.0; })) {
        return "all coefficients are 0";
    }
    return "";
}

std::optional<double> MatrixModel::Viscosity(double shear_rate, double temperature) const {
    if (!Problem().empty() || !(shear_rate > 0.0)) return std::nullopt;
    const std::optional<Cell> t = CellOf(temperatures, temperature);
    const std::optional<Cell> s = CellOf(ln_shear, std::log(shear_rate));
    if (!t || !s) return std::nullopt;
    const std::size_t width = ln_shear.size();
    const auto at = [&](std::size_t i, std::size_t j) { return ln_viscosity[i * width + j]; };
    const double low =
        at(t->index, s->index) * (1.0 - s->weight) + at(t->index, s->index + 1) * s->weight;
    const double high =
        at(t->index + 1, s->index) * (1.0 - s->weight) + at(t->index + 1, s->index + 1) * s->weight;
    return std::exp(low * (1.0 - t->weight) + high * t->weight);
}

std::string MatrixModel::Problem() const {
    if (temperatures.size() < 2) return "the matrix has fewer than two temperatures";
    if (ln_shear.size() < 2) return "the matrix has fewer than two shear rates";
    if (ln_viscosity.size() != temperatures.size() * ln_shear.size()) {
        return "the matrix grid is incomplete";
    }
    for (const std::vector<double>* v : {&temperatures, &ln_shear, &ln_viscosity}) {
        const std::string common = CommonProblem(*v);
        if (!common.empty()) return common;
    }
    const auto rising = [](const std::vector<double>& axis) {
        return std::adjacent_find(axis.begin(), axis.end(), std::greater_equal<double>()) ==
               axis.end();
    };
    if (!rising(temperatures)) return "the matrix temperatures do not rise";
    if (!rising(ln_shear)) return "the matrix shear rates do not rise";
    return "";
}

double MatrixModel::MinShearRate() const {
    return ln_shear.empty() ? 0.0 : std::exp(ln_shear.front());
}

double MatrixModel::MaxShearRate() const {
    return ln_shear.empty() ? 0.0 : std::exp(ln_shear.back());
}

std::optional<double> CrossWlfModel::Viscosity(double shear_rate, double temperature) const {
    const double excess = temperature + kKelvinOffset - d2;
    const double eta0 = d1 * std::exp(-a1 * excess / (a2 + excess));
    return eta0 / (1.0 + std::pow(eta0 * shear_rate / tau, 1.0 - n));
}

std::string CrossWlfModel::Problem() const {
    const std::string common = CommonProblem({n, tau, d1, d2, d3, a1, a2});
    if (!common.empty()) return common;
    if (d1 <= 0.0) return "D1 is not positive";
    if (tau <= 0.0) return "tau* is not positive";
    if (n < 0.0 || n > 1.0) return "n is outside 0 to 1";
    return "";
}

}  // namespace tarnvel::curves
