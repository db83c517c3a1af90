// The linear algebra of the model fits: least squares by Householder
// reflections, which also solves square systems.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <vector>

namespace tarnvel::matdb::fit {

// The x minimising |A x - b| for the m x k matrix A (row-major, m >= k)
// and the m values b. Columns are scaled to unit length first; when a
// column is, within a relative 1e-9, a combination of the others (the
// problem has no single answer) or anything is not finite, the result is
// empty.
std::optional<std::vector<double>> LeastSquares(std::span<const double> matrix, std::size_t columns,
                                                std::span<const double> rhs);

}  // namespace tarnvel::matdb::fit
