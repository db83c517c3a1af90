#include "matdb/md_fit_solve.h"

#include <cmath>

namespace tarnvel::matdb::fit {
namespace {

// The smallest diagonal of the triangular factor, relative to the unit
// columns, that still counts as independent.
constexpr double kRankTolerance = 1e-9;

bool AllFinite(std::span<const double> values) {
    for (double v : values) {
        if (!std::isfinite(v)) return false;
    }
    return true;
}

}  // namespace

std::optional<std::vector<double>> LeastSquares(std::span<const double> matrix, std::size_t columns,
                                                std::span<const double> rhs) {
    const std::size_t rows = rhs.size();
    if (columns == 0 || rows < columns || matrix.size() != rows * columns) return std::nullopt;
    if (!AllFinite(matrix) || !AllFinite(rhs)) return std::nullopt;
    std::vector<double> a(matrix.begin(), matrix.end());
    std::vector<double> b(rhs.begin(), rhs.end());
    auto at = [&](std::size_t r, std::size_t c) -> double& { return a[r * columns + c]; };

    // Unit columns, so that the rank test does not depend on units.
    std::vector<double> scale(columns, 0.0);
    for (std::size_t c = 0; c < columns; ++c) {
        double norm = 0.0;
        for (std::size_t r = 0; r < rows; ++r) norm = std::hypot(norm, at(r, c));
        if (norm == 0.0 || !std::isfinite(norm)) return std::nullopt;
        scale[c] = norm;
        for (std::size_t r = 0; r < rows; ++r) at(r, c) /= norm;
    }

    for (std::size_t c = 0; c < columns; ++c) {
        double norm = 0.0;
        for (std::size_t r = c; r < rows; ++r) norm = std::hypot(norm, at(r, c));
        if (norm <= kRankTolerance) return std::nullopt;
        const double alpha = at(c, c) > 0.0 ? -norm : norm;
        // The reflector v = x - alpha e1, applied as I - 2 v v' / v'v.
        std::vector<double> v(rows - c);
        for (std::size_t r = c; r < rows; ++r) v[r - c] = at(r, c);
        v[0] -= alpha;
        double vv = 0.0;
        for (double x : v) vv += x * x;
        if (vv == 0.0) continue;
        for (std::size_t j = c; j < columns; ++j) {
            double dot = 0.0;
            for (std::size_t r = c; r < rows; ++r) dot += v[r - c] * at(r, j);
            const double f = 2.0 * dot / vv;
            for (std::size_t r = c; r < rows; ++r) at(r, j) -= f * v[r - c];
        }
        double dot = 0.0;
        for (std::size_t r = c; r < rows; ++r) dot += v[r - c] * b[r];
        const double f = 2.0 * dot / vv;
        for (std::size_t r = c; r < rows; ++r) b[r] -= f * v[r - c];
    }

    std::vector<double> x(columns, 0.0);
    for (std::size_t c = columns; c-- > 0;) {
        double sum = b[c];
        for (std::size_t j = c + 1; j < columns; ++j) sum -= at(c, j) * x[j];
        x[c] = sum / at(c, c);
    }
    for (std::size_t c = 0; c < columns; ++c) x[c] /= scale[c];
    if (!AllFinite(x)) return std::nullopt;
    return x;
}

}  // namespace tarnvel::matdb::fit
