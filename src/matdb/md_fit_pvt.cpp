#include "matdb/md_fit_pvt.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <span>
#include <string>

#include "matdb/md_fit_errors.h"
#include "matdb/md_fit_solve.h"

namespace tarnvel::matdb {
namespace {

using fit::kUnset;

// The messages of the PVT fit (context 15).
enum Message : int {
    kNumericExpected = 15,
    kNotRetrievable = 25,
    kWrongCount = 26,
    kInvalidRatios = 86,
    kZeroVolume = 98,
    kLowerEstimate = 110,
    kSameTransitionTemperatures = 113,
    kSameTransitionPressures = 114,
};

// The messages of one zone's degenerate inputs.
struct ZoneMessages {
    int pressures, temperatures, volumes, intercepts, gradients;
    // The message of a zone whose coefficients do not reproduce its points.
    int unreproduced;
};
constexpr ZoneMessages kLowerMessages{107, 108, 109, 111, 112, kLowerEstimate};
constexpr ZoneMessages kUpperMessages{115, 116, 117, 119, 118, kInvalidRatios};

// Two values count as equal within this relative distance.
constexpr double kSameTolerance = 1e-12;
// A zone's model must meet each of its points within this relative error.
constexpr double kReproduceTolerance = 1e-8;
// The refinement stops once every relative residual is below this.
constexpr double kConvergedTolerance = 1e-14;
constexpr int kMaxIterations = 100;

struct Point {
    double t, p, v;
};

struct Failure {
    int message = 0;
    int extra = kMdNoExtra;
    explicit operator bool() const { return message != 0; }
};

bool Same(double a, double b) {
    return std::fabs(a - b) <= kSameTolerance * std::max(std::fabs(a), std::fabs(b));
}

// One zone: v = a / (b + p) + c T / (d + p) + r exp(s T - u p).
struct Zone {
    std::array<double, 7> x{};  // a, b, c, d, r, s, u
    double operator()(double t, double p) const {
        const auto [a, b, c, d, r, s, u] = x;
        return a / (b + p) + c * t / (d + p) + (r == 0.0 ? 0.0 : r * std::exp(s * t - u * p));
    }
};

// The derivatives of a zone's volume by its unknowns, in the order of x.
std::array<double, 7> Derivatives(const Zone& z, double t, double p) {
    const auto [a, b, c, d, r, s, u] = z.x;
    const double e = std::exp(s * t - u * p);
    return {1.0 / (b + p),
            -a / ((b + p) * (b + p)),
            t / (d + p),
            -c * t / ((d + p) * (d + p)),
            e,
            r * t * e,
            -r * p * e};
}

double RelativeResidual(const Zone& z, const Point& q) {
    return (z(q.t, q.p) - q.v) / q.v;
}

// The largest relative residual over the points (infinite when one is not
// a number).
double WorstResidual(const Zone& z, std::span<const Point> points) {
    double worst = 0.0;
    for (const Point& q : points) {
        const double r = std::fabs(RelativeResidual(z, q));
        if (!std::isfinite(r)) return INFINITY;
        worst = std::max(worst, r);
    }
    return worst;
}

double SquaredResiduals(const Zone& z, std::span<const Point> points) {
    double sum = 0.0;
    for (const Point& q : points) sum += RelativeResidual(z, q) * RelativeResidual(z, q);
    return std::isfinite(sum) ? sum : INFINITY;
}

// The size of each unknown, so that the refinement steps in like units.
std::array<double, 7> UnknownScale(const Zone& z, std::span<const Point> points) {
    double tmax = 0.0, pmax = 0.0;
    for (const Point& q : points) {
        tmax = std::max(tmax, std::fabs(q.t));
        pmax = std::max(pmax, std::fabs(q.p));
    }
    std::array<double, 7> scale{};
    for (std::size_t j = 0; j < 5; ++j) scale[j] = z.x[j] != 0.0 ? std::fabs(z.x[j]) : 1.0;
    scale[5] = 1.0 / (tmax + 1.0);
    scale[6] = 1.0 / (pmax + 1.0);
    return scale;
}

// Newton steps with a halving line search on the first `unknowns`
// unknowns until the zone meets every point; true when it does within the
// reproduction tolerance.
bool Refine(Zone& z, std::span<const Point> points, std::size_t unknowns) {
    const std::array<double, 7> scale = UnknownScale(z, points);
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        if (WorstResidual(z, points) < kConvergedTolerance) break;
        std::vector<double> matrix;
        std::vector<double> rhs;
        for (const Point& q : points) {
            const std::array<double, 7> g = Derivatives(z, q.t, q.p);
            for (std::size_t j = 0; j < unknowns; ++j) matrix.push_back(g[j] * scale[j] / q.v);
            rhs.push_back(-RelativeResidual(z, q));
        }
        const auto step = fit::LeastSquares(matrix, unknowns, rhs);
        if (!step) break;
        const double before = SquaredResiduals(z, points);
        bool moved = false;
        for (double lambda = 1.0; lambda > 1e-3 && !moved; lambda /= 2.0) {
            Zone candidate = z;
            for (std::size_t j = 0; j < unknowns; ++j) {
                candidate.x[j] += lambda * scale[j] * (*step)[j];
            }
            if (SquaredResiduals(candidate, points) < before) {
                z = candidate;
                moved = true;
            }
        }
        if (!moved) break;
    }
    return WorstResidual(z, points) <= kReproduceTolerance;
}

// ---- Two-point isobars
// ----------------------------------------------------------------------------

struct Isobar {
    double gradient, intercept, pressure;
};

Failure IsobarLine(const Point& first, const Point& second, const ZoneMessages& m, Isobar& out) {
    if (Same(first.t, second.t)) return {m.temperatures};
    if (Same(first.v, second.v)) return {m.volumes};
    out.gradient = (second.v - first.v) / (second.t - first.t);
    out.intercept = first.v - out.gradient * first.t;
    out.pressure = (first.p + second.p) / 2.0;
    return {};
}

// The zone through two isobars: points 0 and 1 at one pressure, 2 and 3 at
// another. Intercept I(p) = a / (b + p) and gradient G(p) = c / (d + p)
// are met at both pressures.
Failure TwoIsobarZone(std::span<const Point> q, const ZoneMessages& m, Zone& z) {
    Isobar lo{}, hi{};
    if (Failure f = IsobarLine(q[0], q[1], m, lo)) return f;
    if (Failure f = IsobarLine(q[2], q[3], m, hi)) return f;
    if (Same(lo.pressure, hi.pressure)) return {m.pressures};
    if (Same(lo.intercept, hi.intercept)) return {m.intercepts};
    if (Same(lo.gradient, hi.gradient)) return {m.gradients};
    const double b =
        (hi.intercept * hi.pressure - lo.intercept * lo.pressure) / (lo.intercept - hi.intercept);
    const double d =
        (hi.gradient * hi.pressure - lo.gradient * lo.pressure) / (lo.gradient - hi.gradient);
    z.x = {lo.intercept * (b + lo.pressure), b, lo.gradient * (d + lo.pressure), d, 0.0, 0.0, 0.0};
    return {};
}

bool OnTwoIsobars(std::span<const Point> q) {
    return Same(q[0].p, q[1].p) && Same(q[2].p, q[3].p);
}

// A zone without the exponential term from its four points. When the
// points of an isobar differ in pressure, the two-isobar zone at the mean
// pressures only starts the refinement over all four points.
Failure LinearZone(std::span<const Point> q, const ZoneMessages& m, Zone& z) {
    if (Failure f = TwoIsobarZone(q, m, z)) return f;
    if (!OnTwoIsobars(q) && !Refine(z, q, 4)) return {kInvalidRatios};
    if (WorstResidual(z, q) > kReproduceTolerance) return {m.unreproduced};
    return {};
}

// The lower zone with its exponential term from points 0 to 6: the two
// isobars of points 0 to 3 give a, b, c, d; the excess of points 4 to 6
// over them gives ln r + s T - u p by a 3 x 3 solve; all seven unknowns are
// then refined together over all seven points.
Failure ExponentialZone(std::span<const Point> q, Zone& z) {
    if (Failure f = TwoIsobarZone(q.first(4), kLowerMessages, z)) return f;
    std::vector<double> matrix;
    std::vector<double> rhs;
    for (const Point& e : q.subspan(4, 3)) {
        const double excess = e.v - z(e.t, e.p);
        if (!(excess > 0.0)) return {kLowerEstimate};
        matrix.insert(matrix.end(), {1.0, e.t, -e.p});
        rhs.push_back(std::log(excess));
    }
    const auto term = fit::LeastSquares(matrix, 3, rhs);
    if (!term) return {kLowerEstimate};
    z.x[4] = std::exp((*term)[0]);
    z.x[5] = (*term)[1];
    z.x[6] = (*term)[2];
    if (!Refine(z, q, 7) || !(z.x[4] > 0.0)) return {kLowerEstimate};
    return {};
}

// ---- The whole fit
// --------------------------------------------------------------------------------

struct Layout {
    std::size_t lower_count;  // 4 or 7
    std::size_t transition;   // index of the first transition point
    std::size_t upper;        // index of the first upper-zone point
};

Layout LayoutOf(std::size_t n) {
    if (n == kMdPvtExponentialPoints) return {7, 7, 9};
    return {4, 4, 6};
}

Failure ReadPoints(const MdPointTable& table, std::vector<Point>& points, bool& upper_defined) {
    const int second = table.variable(1);
    if (table.variable(0) != fit::kTemperature ||
        (second != fit::kPressure && second != fit::kDegCrystallinity)) {
        return {kNotRetrievable};
    }
    const std::size_t n = table.rows();
    if (n != kMdPvtLinearPoints && n != kMdPvtExponentialPoints) {
        return {kWrongCount, kMdPvtExponentialPoints};
    }
    const Layout layout = LayoutOf(n);
    upper_defined = !fit::IsUnset(table.at(layout.upper, 0));
    const std::size_t used = upper_defined ? n : layout.upper;
    const std::size_t last = table.variables.size();
    for (std::size_t i = 0; i < used; ++i) {
        const Point q{table.at(i, 0), table.at(i, 1), table.at(i, last)};
        if (!fit::Representable(q.t) || !fit::Representable(q.p) || !fit::Representable(q.v)) {
            return {kNumericExpected};
        }
        if (q.v <= 0.0) return {kZeroVolume};
        points.push_back(q);
    }
    return {};
}

Failure TransitionLine(const Point& first, const Point& second, double& intercept,
                       double& gradient) {
    if (Same(first.t, second.t)) return {kSameTransitionTemperatures};
    if (Same(first.p, second.p)) return {kSameTransitionPressures};
    gradient = (second.p - first.p) / (second.t - first.t);
    intercept = first.p - first.t * gradient;
    return {};
}

std::array<double, kMdPvtCoefficientCount> Coefficients(const Zone& lower, const Zone& upper,
                                                        double intercept, double gradient) {
    const auto& l = lower.x;
    const auto& u = upper.x;
    return {l[0], l[2], l[3], l[1], l[4], l[5], l[6], u[0], u[2], u[3], u[1], intercept, gradient};
}

std::string Format(const char* format, auto... values) {
    char line[160];
    const int length = std::snprintf(line, sizeof line, format, values...);
    return std::string(line, static_cast<std::size_t>(std::max(length, 0)));
}

// The differences between the given and the modelled densities at the
// zone points.
void PrintStatistics(std::span<const Point> lower, std::span<const Point> upper,
                     const std::array<double, kMdPvtCoefficientCount>& k) {
    double low = INFINITY, high = -INFINITY, sum = 0.0, squares = 0.0;
    auto add = [&](const Point& q, bool upper_zone) {
        const double error = 1.0 / q.v - 1.0 / md_pvt_volume(k, upper_zone, q.t, q.p);
        low = std::min(low, error);
        high = std::max(high, error);
        sum += error;
        squares += error * error;
    };
    for (const Point& q : lower) add(q, false);
    for (const Point& q : upper) add(q, true);
    const double n = static_cast<double>(lower.size() + upper.size());
    md_fit_print(
        Format("Standard Points Fit Error : File Sample Size %4zu\n", lower.size() + upper.size()));
    md_fit_print("Error = Actual - Expected\n");
    md_fit_print(Format("%-20s %14s %14s %14s %14s\n", "Density [kg/cu.m]", "Minimum", "Maximum",
                        "Average", "RMS"));
    md_fit_print(Format("%-20s %14.6g %14.6g %14.6g %14.6g\n", "", low, high, sum / n,
                        std::sqrt(squares / n)));
}

Failure Fit(const MdPointTable& table, bool print_statistics, MdPvtFit& out) {
    std::vector<Point> q;
    bool upper_defined = true;
    if (Failure f = ReadPoints(table, q, upper_defined)) return f;
    const Layout layout = LayoutOf(table.rows());
    if (print_statistics) {
        md_fit_print(layout.lower_count == 7 ? "A Linear/Exp. - Linear model file is indicated\n"
                                             : "A Linear - Linear model file is indicated\n");
    }
    const std::span<const Point> points(q);
    const std::span<const Point> lower_points = points.first(layout.lower_count);
    Zone lower;
    if (layout.lower_count == 7) {
        if (Failure f = ExponentialZone(lower_points, lower)) return f;
    } else if (Failure f = LinearZone(lower_points, kLowerMessages, lower)) {
        return f;
    }
    double intercept = 0.0, gradient = 0.0;
    if (Failure f =
            TransitionLine(q[layout.transition], q[layout.transition + 1], intercept, gradient)) {
        return f;
    }
    // A table without an upper zone keeps zero coefficients for it.
    std::span<const Point> upper_points;
    Zone upper;
    if (upper_defined) {
        upper_points = points.subspan(layout.upper, 4);
        if (Failure f = LinearZone(upper_points, kUpperMessages, upper)) return f;
    } else {
        if (print_statistics) md_fit_print("No Upper Zone defined\n");
        out.no_upper_zone = true;
    }
    const auto k = Coefficients(lower, upper, intercept, gradient);
    if (!fit::AllRepresentable(k)) return {kInvalidRatios};
    out.k = k;
    out.available = true;
    if (print_statistics) PrintStatistics(lower_points, upper_points, k);
    return {};
}

Failure CopyMatrix(const MdPointTable& table, MdPvtMatrix& out) {
    if (table.variables.size() < 2) return {kNotRetrievable};
    const std::size_t last = table.variables.size();
    for (std::size_t i = 0; i < table.rows(); ++i) {
        for (std::size_t column : {std::size_t{0}, std::size_t{1}, last}) {
            const double value = table.at(i, column);
            if (!fit::Representable(value)) return {kNumericExpected};
            out.rows.push_back(value);
        }
    }
    return {};
}

int Report(const Failure& f) {
    const int code = kMdPvtContext * 1000 + f.message;
    md_fit_error(code, f.extra);
    return code;
}

}  // namespace

double md_pvt_volume(const std::array<double, kMdPvtCoefficientCount>& k, bool upper_zone, double t,
                     double p) {
    Zone z;
    if (upper_zone) {
        z.x = {k[7], k[10], k[8], k[9], 0.0, 0.0, 0.0};
    } else {
        z.x = {k[0], k[3], k[1], k[2], k[4], k[5], k[6]};
    }
    return z(t, p);
}

MdPvtFit md_fit_pvt(const MdPointTable& table, bool print_statistics) {
    MdPvtFit out;
    out.k.fill(kUnset);
    if (const Failure f = Fit(table, print_statistics, out)) {
        out = MdPvtFit{};
        out.k.fill(kUnset);
        out.error = Report(f);
    }
    return out;
}

MdPvtMatrix md_copy_pvt_matrix(const MdPointTable& table) {
    MdPvtMatrix out;
    if (const Failure f = CopyMatrix(table, out)) {
        out.rows.clear();
        out.error = Report(f);
        return out;
    }
    out.available = !out.rows.empty();
    return out;
}

}  // namespace tarnvel::matdb
