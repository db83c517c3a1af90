// Drives the model fits with arbitrary point tables. The first byte picks
// the fit, the second the number of variables (0 to 4), then one byte per
// variable number, one scale byte per column, and the rows as 16-bit
// values times 10^(scale - 8); the extreme 16-bit values stand for NaN and
// infinity. Whatever the table, no fit crashes, and every model reported
// available holds only values that can be written as data.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "fuzz_input.h"
#include "matdb/md_fit_geltime.h"
#include "matdb/md_fit_points.h"
#include "matdb/md_fit_pvt.h"
#include "matdb/md_fit_viscosity.h"
#include "services/vtout.h"

namespace {

using tarnvel::fuzzing::Input;
using tarnvel::fuzzing::Require;

using namespace tarnvel::matdb;

void RequireData(std::span<const double> values) {
    Require(fit::AllRepresentable(values));
}

void CheckViscosity(const MdPointTable& table) {
    const MdViscosityFit f = md_fit_viscosity(table);
    if (f.error != 0) Require(!f.first_order && !f.second_order && !f.matrix);
    if (f.first_order) RequireData(f.first);
    if (f.second_order) RequireData(f.second);
    if (f.matrix) {
        Require(f.temperature_count <= kMdMatrixSide && f.shear_count <= kMdMatrixSide);
        RequireData(f.temperatures);
        RequireData(f.ln_shear);
        RequireData(f.ln_viscosity);
    }
    RequireData(std::span(f.points).first(f.point_count * 3));
}

void CheckPvt(const MdPointTable& table) {
    const MdPvtFit f = md_fit_pvt(table, true);
    if (f.available) {
        RequireData(f.k);
        Require(f.error == 0);
    }
    // A table without an upper zone gives that zone's coefficients as zero.
    if (f.no_upper_zone) {
        Require(f.available);
        for (std::size_t i = 7; i <= 10; ++i) Require(f.k[i] == 0.0);
    }
    const MdPvtMatrix m = md_copy_pvt_matrix(table);
    if (m.available) RequireData(m.rows);
}

void CheckGelTime(const MdPointTable& table) {
    const MdGelTimeSegments s = md_fit_gel_time(table);
    Require(s.count < kMdMaxGelTimePoints);
    RequireData(std::span(s.intercept).first(s.count));
    RequireData(std::span(s.slope).first(s.count));
    const MdGelTimeSegments listed = md_gel_time_segments(table.values);
    RequireData(std::span(listed.slope).first(listed.count));
}

double Value(Input& in, int exponent) {
    const auto raw = static_cast<std::int16_t>(in.byte() | (in.byte() << 8));
    if (raw == INT16_MIN) return NAN;
    if (raw == INT16_MAX) return (exponent & 1) ? INFINITY : -INFINITY;
    return raw * std::pow(10.0, exponent - 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool silenced = [] {
        vtOutSetSink(vtOutDiscard);
        return true;
    }();
    (void)silenced;
    Input in{data, size};
    const int kind = in.byte() % 3;
    std::vector<int> variables(in.byte() % 5);
    for (int& v : variables) v = in.byte() % 14;
    std::vector<int> exponents(variables.size() + 1);
    for (int& e : exponents) e = in.byte() % 24;
    std::vector<double> values;
    while (in.more() && values.size() < 4096) {
        for (int e : exponents) values.push_back(Value(in, e));
    }
    const MdPointTable table{variables, values};
    if (kind == 0) CheckViscosity(table);
    if (kind == 1) CheckPvt(table);
    if (kind == 2) CheckGelTime(table);
    return 0;
}
