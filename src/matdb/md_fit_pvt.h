// The PVT fit: specific volume points against temperature and pressure
// turned into the product's own two-zone PVT model, and the copy of PVT
// matrix points.
#pragma once

#include <array>
#include <cstddef>
#include <vector>

#include "matdb/md_fit_points.h"

namespace tarnvel::matdb {

// The coefficients k0..k12 of the product PVT model. Each zone holds
// v = a / (b + p) + c T / (d + p), the lower one also r exp(s T - u p):
// k0 a, k1 c, k2 d, k3 b of the lower zone; k4 r, k5 s, k6 u; k7 a, k8 c,
// k9 d, k10 b of the upper zone; k11 the intercept and k12 the gradient of
// the transition line p = k11 + k12 T.
inline constexpr std::size_t kMdPvtCoefficientCount = 13;

// The two point counts a PVT table may have.
inline constexpr int kMdPvtLinearPoints = 10;
inline constexpr int kMdPvtExponentialPoints = 13;

struct MdPvtFit {
    // 0 when the fit ended without an error report, else the code reported.
    int error = 0;
    // True when the coefficients reproduce the points and are all data.
    bool available = false;
    // True when the table's upper zone is not defined (its first
    // temperature unset): its coefficients k7..k10 are then zero.
    bool no_upper_zone = false;
    // k0..k12, unset unless available.
    std::array<double, kMdPvtCoefficientCount> k{};
};

// Fits the product PVT model to a table of 10 or 13 points whose first
// variable is Temperature and whose second is Pressure or Deg
// Crystalinity. Errors go through the fit error report; with statistics
// the model form and a table of the density errors at the zone points are
// printed.
MdPvtFit md_fit_pvt(const MdPointTable& table, bool print_statistics);

// The specific volume of the lower (solid) or upper (melt) zone of the
// product PVT model at temperature t and pressure p.
double md_pvt_volume(const std::array<double, kMdPvtCoefficientCount>& k, bool upper_zone, double t,
                     double p);

struct MdPvtMatrix {
    // 0, or the code reported when the table cannot be copied.
    int error = 0;
    bool available = false;
    // Rows of (temperature, pressure, value), as given.
    std::vector<double> rows;
};

// Copies the rows of a PVT matrix table (the first two variable values and
// the property value of each row). A table with fewer than two variables or
// with a value that cannot be written as data is reported and not copied.
MdPvtMatrix md_copy_pvt_matrix(const MdPointTable& table);

}  // namespace tarnvel::matdb
