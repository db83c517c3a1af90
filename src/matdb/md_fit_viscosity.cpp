#include "matdb/md_fit_viscosity.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "matdb/md_fit_errors.h"
#include "matdb/md_fit_solve.h"

namespace tarnvel::matdb {
namespace {

using fit::kUnset;

// The messages of the viscosity fit (context 9).
enum Message : int {
    kNumericExpected = 15,
    kNotRetrievable = 25,
    kTooMany = 26,
    kWrongCount = 27,
    kPositiveGradient = 28,
    kPositiveCurvature = 29,
    kTemperaturesFall = 30,
    kShearRatesFall = 31,
    kBlockVaries = 32,
    kInconsistentShear = 33,
    kSameShear = 34,
    kTooManyShear = 35,
    kTooManyTemperatures = 36,
    kShearNotPositive = 96,
    kViscosityNotPositive = 97,
};

// A coefficient counts as positive only above this share of the size of
// the logarithmic viscosities, so that rounding around zero is not a sign.
constexpr double kSignTolerance = 1e-9;
// Two denominators of the exact three-point solution count as equal within
// this relative distance.
constexpr double kSameTolerance = 1e-12;

struct Point {
    double t, s, v;
    double x, z;  // ln s, ln v
};

// The outcome of one step: 0, or the message to report with its extra.
struct Failure {
    int message = 0;
    int extra = kMdNoExtra;
    explicit operator bool() const { return message != 0; }
};

bool Nearly(double a, double b) {
    return std::fabs(a - b) <= kSameTolerance * std::max(std::fabs(a), std::fabs(b));
}

// Equal as the grid check counts it: the second within 0.1 % of the first.
bool GridSame(double first, double second) {
    const double low = std::min(first * 0.999, first * 1.001);
    const double high = std::max(first * 0.999, first * 1.001);
    return second >= low && second <= high;
}

bool CountFits(std::size_t n) {
    return n == 3 || n == 6 || n >= 7;
}

Failure ReadPoints(const MdPointTable& table, std::vector<Point>& points) {
    if (table.variable(0) != fit::kTemperature || table.variable(1) != fit::kShearRate) {
        return {kNotRetrievable};
    }
    const std::size_t n = table.rows();
    if (n > static_cast<std::size_t>(kMdMaxViscosityPoints)) {
        return {kTooMany, kMdMaxViscosityPoints};
    }
    if (!CountFits(n)) return {kWrongCount};
    const std::size_t last = table.variables.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point p{table.at(i, 0), table.at(i, 1), table.at(i, last), 0.0, 0.0};
        if (!fit::Representable(p.t) || !fit::Representable(p.s) || !fit::Representable(p.v)) {
            return {kNumericExpected};
        }
        if (p.s <= 0.0) return {kShearNotPositive};
        if (p.v <= 0.0) return {kViscosityNotPositive};
        points.push_back({p.t, p.s, p.v, std::log(p.s), std::log(p.v)});
    }
    return {};
}

// ---- The exact three-point 1st-order model ------------------------------------------------------

Failure ExactFirstOrder(const std::vector<Point>& p, MdViscosityFit& out) {
    const double dt12 = p[0].t - p[1].t;
    const double dt13 = p[0].t - p[2].t;
    if (Nearly(p[0].t, p[1].t) || Nearly(p[0].t, p[2].t)) return {kNotRetrievable};
    const double r12 = (p[0].z - p[1].z) / dt12;
    const double r13 = (p[0].z - p[2].z) / dt13;
    const double q12 = (p[0].x - p[1].x) / dt12;
    const double q13 = (p[0].x - p[2].x) / dt13;
    if (Nearly(q12, q13)) return {kNotRetrievable};
    const double n = (r12 - r13) / (q12 - q13);
    const double b = (p[0].z - p[1].z - (p[0].x - p[1].x) * n) / dt12;
    const double a = std::exp(p[0].z - p[0].x * n - b * p[0].t);
    out.first = {a, n, b};
    if (!(a > 0.0) || !fit::AllRepresentable(out.first)) return {kNotRetrievable};
    out.first_order = true;
    return {};
}

// ---- The least-squares models -------------------------------------------------------------------

// The fits run on centred and scaled variables X = (ln s - xc) / xw and
// Y = (T - tc) / tw, which keeps the least squares well conditioned; the
// coefficients are then turned back into those of ln s and T.
struct Scaling {
    double xc, xw, tc, tw;
    double zsize;  // the largest |ln v|, plus 1
};

Scaling ScalingOf(const std::vector<Point>& p) {
    double xs = 0, ts = 0, zsize = 0;
    for (const Point& q : p) {
        xs += q.x;
        ts += q.t;
        zsize = std::max(zsize, std::fabs(q.z));
    }
    const double n = static_cast<double>(p.size());
    Scaling s{xs / n, 0.0, ts / n, 0.0, zsize + 1.0};
    for (const Point& q : p) {
        s.xw = std::max(s.xw, std::fabs(q.x - s.xc));
        s.tw = std::max(s.tw, std::fabs(q.t - s.tc));
    }
    return s;
}

// The coefficients of the scaled terms 1, X, Y (and X^2, XY, Y^2 when
// second) fitted to ln v, or nothing when the points do not fix them.
std::optional<std::vector<double>> ScaledFit(const std::vector<Point>& p, const Scaling& s,
                                             bool second) {
    if (s.xw == 0.0 || s.tw == 0.0) return std::nullopt;
    const std::size_t terms = second ? 6 : 3;
    std::vector<double> matrix;
    std::vector<double> rhs;
    for (const Point& q : p) {
        const double x = (q.x - s.xc) / s.xw;
        const double y = (q.t - s.tc) / s.tw;
        const double row[6] = {1.0, x, y, x * x, x * y, y * y};
        matrix.insert(matrix.end(), row, row + terms);
        rhs.push_back(q.z);
    }
    return fit::LeastSquares(matrix, terms, rhs);
}

// The 2nd-order model; left unavailable (kUndetermined) when the points do
// not determine it.
Failure SecondOrder(const std::vector<Point>& p, const Scaling& s, MdViscosityFit& out,
                    bool& curved_up) {
    const auto d = ScaledFit(p, s, true);
    if (!d) {
        out.second_order_unfitted = MdUnfitted::kUndetermined;
        return {};
    }
    const double a = s.xc, pw = s.xw, b = s.tc, q = s.tw;
    const std::vector<double>& e = *d;
    curved_up = e[3] > kSignTolerance * s.zsize;
    out.second = {e[0] - e[1] * a / pw - e[2] * b / q + e[3] * a * a / (pw * pw) +
                      e[4] * a * b / (pw * q) + e[5] * b * b / (q * q),
                  e[1] / pw - 2.0 * e[3] * a / (pw * pw) - e[4] * b / (pw * q),
                  e[2] / q - 2.0 * e[5] * b / (q * q) - e[4] * a / (pw * q),
                  e[3] / (pw * pw),
                  e[4] / (pw * q),
                  e[5] / (q * q)};
    if (!fit::AllRepresentable(out.second)) return {kNotRetrievable};
    return {};
}

// The 1st-order model; left unavailable (kUndetermined) when the points do
// not determine it.
Failure FirstOrder(const std::vector<Point>& p, const Scaling& s, MdViscosityFit& out) {
    const auto d = ScaledFit(p, s, false);
    if (!d) {
        out.first_order_unfitted = MdUnfitted::kUndetermined;
        return {};
    }
    const std::vector<double>& e = *d;
    if (e[1] > kSignTolerance * s.zsize) return {kPositiveGradient};
    const double n = e[1] / s.xw;
    const double b = e[2] / s.tw;
    out.first = {std::exp(e[0] - n * s.xc - b * s.tc), n, b};
    // A factor that underflows to 0 no longer stands for the model.
    if (!(out.first[0] > 0.0) || !fit::AllRepresentable(out.first)) return {kNotRetrievable};
    out.first_order = true;
    return {};
}

// Both least-squares models, each made when the points determine it. With
// fewer than 7 points a 2nd-order model curved upward in ln s is an error,
// and so is a table that gives neither model; with a grid an upward curve
// only leaves both models unavailable, the matrix model standing.
Failure LeastSquaresModels(const std::vector<Point>& p, MdViscosityFit& out) {
    const Scaling s = ScalingOf(p);
    bool curved_up = false;
    if (Failure f = SecondOrder(p, s, out, curved_up)) return f;
    if (curved_up) {
        out.second.fill(kUnset);
        if (p.size() < 7) return {kPositiveCurvature};
        out.second_order_unfitted = MdUnfitted::kCurvedUp;
        out.first_order_unfitted = MdUnfitted::kCurvedUp;
        return {};
    }
    out.second_order = out.second_order_unfitted == MdUnfitted::kNone;
    if (Failure f = FirstOrder(p, s, out)) return f;
    if (!out.first_order && !out.second_order && !out.matrix) return {kNotRetrievable};
    return {};
}

// ---- The grid and the matrix model --------------------------------------------------------------

// The length of the first block, or the failure of its run.
Failure FirstBlock(const std::vector<Point>& p, std::size_t& length) {
    length = 1;
    while (length < p.size()) {
        const Point& q = p[length];
        if (!GridSame(p[0].t, q.t)) {
            if (q.t < p[0].t) return {kTemperaturesFall};
            break;
        }
        if (GridSame(p[length - 1].s, q.s)) return {kSameShear};
        if (q.s < p[length - 1].s) return {kShearRatesFall};
        ++length;
    }
    if (length > kMdMatrixSide) return {kTooManyShear};
    return {};
}

Failure CheckGrid(const std::vector<Point>& p, std::size_t& length, std::size_t& blocks) {
    if (Failure f = FirstBlock(p, length)) return f;
    if (p.size() % length != 0) return {kBlockVaries};
    blocks = p.size() / length;
    if (blocks > kMdMatrixSide) return {kTooManyTemperatures};
    for (std::size_t b = 1; b < blocks; ++b) {
        const Point& head = p[b * length];
        const Point& before = p[(b - 1) * length];
        if (head.t < before.t || GridSame(before.t, head.t)) return {kTemperaturesFall};
        for (std::size_t j = 0; j < length; ++j) {
            const Point& q = p[b * length + j];
            if (!GridSame(head.t, q.t)) return {kBlockVaries};
            if (!GridSame(p[j].s, q.s)) return {kInconsistentShear};
        }
    }
    return {};
}

void FillMatrix(const std::vector<Point>& p, std::size_t length, std::size_t blocks,
                MdViscosityFit& out) {
    out.temperature_count = blocks;
    out.shear_count = length;
    for (std::size_t b = 0; b < blocks; ++b) out.temperatures[b] = p[b * length].t;
    for (std::size_t j = 0; j < length; ++j) out.ln_shear[j] = p[j].x;
    for (std::size_t b = 0; b < blocks; ++b) {
        for (std::size_t j = 0; j < length; ++j) {
            out.ln_viscosity[b * kMdMatrixSide + j] = p[b * length + j].z;
        }
    }
    out.matrix = true;
}

Failure Fit(const MdPointTable& table, MdViscosityFit& out) {
    std::vector<Point> p;
    if (Failure f = ReadPoints(table, p)) return f;
    if (p.size() == 3) return ExactFirstOrder(p, out);
    if (p.size() >= 7) {
        std::size_t length = 0, blocks = 0;
        if (Failure f = CheckGrid(p, length, blocks)) return f;
        FillMatrix(p, length, blocks, out);
    }
    return LeastSquaresModels(p, out);
}

// Keeps the first points as given, for the keyword file.
void KeepPoints(const MdPointTable& table, MdViscosityFit& out) {
    out.point_count = std::min(table.rows(), kMdViscosityStdPoints);
    const std::size_t last = table.variables.size();
    for (std::size_t i = 0; i < out.point_count; ++i) {
        out.points[i * 3] = table.at(i, 0);
        out.points[i * 3 + 1] = table.at(i, 1);
        out.points[i * 3 + 2] = table.at(i, last);
    }
}

// A result with no model and every slot unset.
MdViscosityFit Unfitted() {
    MdViscosityFit out;
    out.temperatures.fill(kUnset);
    out.ln_shear.fill(kUnset);
    out.ln_viscosity.fill(kUnset);
    out.points.fill(kUnset);
    return out;
}

}  // namespace

bool MdViscosityFit::available(int model) const {
    switch (model) {
        case kMdFirstOrder:
            return first_order;
        case kMdSecondOrder:
            return second_order;
        case kMdMatrix:
            return matrix;
        default:
            return false;
    }
}

std::string md_viscosity_fit_notes(const MdViscosityFit& fit) {
    struct Model {
        const char* name;
        MdUnfitted reason;
    };
    const Model models[] = {{"1st Order", fit.first_order_unfitted},
                            {"2nd Order", fit.second_order_unfitted}};
    std::string notes;
    for (const Model& m : models) {
        if (fit.error != 0 || m.reason == MdUnfitted::kNone) continue;
        notes += "Viscosity ";
        notes += m.name;
        notes += m.reason == MdUnfitted::kUndetermined
                     ? " model not fitted: the points do not determine its coefficients\n"
                     : " model not fitted: the 2nd order fit curves upward in ln(shear rate)\n";
    }
    return notes;
}

MdViscosityFit md_fit_viscosity(const MdPointTable& table) {
    MdViscosityFit out = Unfitted();
    if (const Failure f = Fit(table, out)) {
        out = Unfitted();
        out.error = kMdViscosityContext * 1000 + f.message;
        md_fit_error(out.error, f.extra);
        return out;
    }
    KeepPoints(table, out);
    return out;
}

}  // namespace tarnvel::matdb
