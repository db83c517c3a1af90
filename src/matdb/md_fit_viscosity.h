// The viscosity fit: viscosity points against temperature and shear rate
// turned into the 1st-order, 2nd-order and matrix viscosity models.
#pragma once

#include <array>
#include <cstddef>
#include <string>

#include "matdb/md_fit_points.h"

namespace tarnvel::matdb {

// The matrix model holds at most this many temperatures and shear rates.
inline constexpr std::size_t kMdMatrixSide = 10;
// The most points a viscosity table may hold.
inline constexpr int kMdMaxViscosityPoints = 132;
// The points copied as the viscosity standard points of the keyword file.
inline constexpr std::size_t kMdViscosityStdPoints = 6;

// The viscosity model numbers.
enum MdViscosityModel : int {
    kMdFirstOrder = 1,
    kMdSecondOrder = 2,
    kMdMatrix = 3,
};

// Why a least-squares model that the table should give is unavailable.
enum class MdUnfitted : int {
    kNone = 0,
    // The normal equations are singular: the points do not determine the
    // model's coefficients (one temperature, or two temperatures or shear
    // rates for the 2nd-order model).
    kUndetermined,
    // The 2nd-order fit of a grid curves upward in ln s; both least-squares
    // models are dropped and the matrix model stands.
    kCurvedUp,
};

struct MdViscosityFit {
    // 0 when the fit ended without an error report, else the code reported;
    // with an error no model is available and no points are kept.
    int error = 0;
    bool first_order = false;
    bool second_order = false;
    bool matrix = false;
    // Why the 1st- and 2nd-order models are unavailable when the fit ended
    // without an error report.
    MdUnfitted first_order_unfitted = MdUnfitted::kNone;
    MdUnfitted second_order_unfitted = MdUnfitted::kNone;
    // A, N, B of ln v = ln A + N ln s + B T.
    std::array<double, 3> first{fit::kUnset, fit::kUnset, fit::kUnset};
    // c1..c6 of ln v = c1 + c2 ln s + c3 T + c4 (ln s)^2 + c5 T ln s + c6 T^2.
    std::array<double, 6> second{fit::kUnset, fit::kUnset, fit::kUnset,
                                 fit::kUnset, fit::kUnset, fit::kUnset};
    // The matrix axes: one temperature per block and the natural logarithms
    // of the first block's shear rates; unfilled entries hold the unset
    // marker.
    std::size_t temperature_count = 0;
    std::size_t shear_count = 0;
    std::array<double, kMdMatrixSide> temperatures{};
    std::array<double, kMdMatrixSide> ln_shear{};
    // ln v of block b and shear rate j at [b * 10 + j]; unfilled cells hold
    // the unset marker.
    std::array<double, kMdMatrixSide * kMdMatrixSide> ln_viscosity{};
    // The first points as given, rows of (T, s, v), up to 6.
    std::size_t point_count = 0;
    std::array<double, kMdViscosityStdPoints * 3> points{};

    // True when the model of that number (1, 2, 3) is available.
    bool available(int model) const;
};

// Fits the viscosity models to a table whose first variable is
// Temperature and whose second is Shear Rate. Errors are printed through
// the fit error report. A least-squares model whose normal equations are
// singular is left unavailable (with its reason) while the others stand;
// only a table of 6 points that gives neither model is an error (9025).
MdViscosityFit md_fit_viscosity(const MdPointTable& table);

// One line per least-squares model that the fit left unavailable without
// an error, naming the model and the reason, for the grade report.
std::string md_viscosity_fit_notes(const MdViscosityFit& fit);

}  // namespace tarnvel::matdb
