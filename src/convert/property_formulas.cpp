#include "convert/property_formulas.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarnvel::convert {
namespace {

constexpr double kKelvinOffset = 273.15;

// ---- Tait conversion ----------------------------------------------------------------------------

// The pressure at which the Tait B functions are fitted, in Pa.
constexpr double kFitPressure = 1.6e8;
// The pressure at which the transition slope is taken, in Pa.
constexpr double kSlopePressure = 2.0e8;
// The universal Tait constant C.
constexpr double kTaitC = 0.0894;
// The temperature step (degrees) between the two fitting points of a domain.
constexpr double kFitStep = 100.0;

// The two volume branches of the product's own PVT model: a T/(b + P) +
// c/(d + P), T in degrees Celsius and P in Pa.
struct VolumeBranch {
    double a, b, c, d;
    double operator()(double t, double p) const { return a * t / (b + p) + c / (d + p); }
};

// The Tait B value that makes the volume V at the fit pressure from the
// zero-pressure volume V0: V = V0 (1 - C ln(1 + P/B)).
double TaitB(double volume, double zero_pressure_volume) {
    return kFitPressure / (std::exp((volume / zero_pressure_volume - 1.0) / (-kTaitC)) - 1.0);
}

// b3 and b4 of one domain from B at two temperature offsets d1 and d2 from
// the transition: B(d) = b3 exp(-b4 d).
struct DomainB {
    double b3, b4;
};
DomainB FitDomainB(double b_at_d1, double b_at_d2, double d1, double d2) {
    const double slope = std::log(b_at_d1 / b_at_d2) / (d1 - d2);
    return {b_at_d1 / std::exp(-slope * d1), -slope};
}

}  // namespace

TaitCoefficients TaitFromOwnPvt(std::span<const double, kOwnPvtCount> k) {
    const VolumeBranch solid{k[1], k[2], k[0], k[3]};
    const VolumeBranch melt{k[8], k[9], k[7], k[10]};

    const double b5 = kKelvinOffset - k[11] / k[12];
    const double t = b5 - kKelvinOffset;
    const double b6 = ((kSlopePressure - k[11]) / k[12] - t) / kSlopePressure;
    const double tp = b6 * kFitPressure + t;
    const double d = tp - t;

    const double b1m = melt(t, 0.0);
    const double b2m = (melt(t + kFitStep, 0.0) - b1m) / kFitStep;
    const double b1s = solid(t, 0.0);
    const double b2s = (solid(t - kFitStep, 0.0) - b1s) / (-kFitStep);

    const double bm1 = TaitB(melt(tp, kFitPressure), b1m + b2m * d);
    const double bm2 = TaitB(melt(t + kFitStep, kFitPressure), b1m + b2m * kFitStep);
    const double bs1 = TaitB(solid(tp, kFitPressure), b1s + b2s * d);
    const double bs2 = TaitB(solid(t - kFitStep, kFitPressure), b1s - b2s * kFitStep);
    const DomainB m = FitDomainB(bm1, bm2, d, kFitStep);
    const DomainB s = FitDomainB(bs1, bs2, d, -kFitStep);

    // The solid's extra term carries over only when the model has one.
    const bool extra = k[4] > 0.0;
    return {b5,
            b6,
            b1m,
            b2m,
            m.b3,
            m.b4,
            b1s,
            b2s,
            s.b3,
            s.b4,
            extra ? b1m - b1s : 0.0,
            extra ? k[5] : 0.0,
            extra ? k[6] : 0.0};
}

// ---- Extensional viscosity -------------------------------------------------------------------

namespace {

// The integration step and the bound of the sum (the points 0, 0.01, ...,
// 1 reached by repeated addition).
constexpr double kIntegralStep = 0.01;
constexpr double kIntegralBound = 1.01;

// The integral over the radius of the elongation rate profile of a
// power-law flow, weighted by the extensional exponent.
double ProfileIntegral(double n, double m) {
    double sum = 0.0;
    for (double x = 0.0; x < kIntegralBound; x += kIntegralStep) {
        const double rate = 2.0 - ((3.0 * n + 1.0) / n) * std::pow(x, 1.0 / n + 1.0);
        sum += std::pow(std::fabs(rate), m + 1.0) * x * kIntegralStep;
    }
    return sum;
}

}  // namespace

std::array<double, 2> ExtensionalViscosityParameters(const ExtensionalInputs& in) {
    const double t = in.temperature;
    const double eta0 = in.a0 * std::exp(in.a2 * t);
    const double n = in.a1 + 1.0;
    const double lambda = std::exp(in.e2 * t + in.e0);
    const double m = in.e3 * t + in.e1 + 1.0;

    const double integral = ProfileIntegral(n, m);
    const double w1 = ((n + 1.0) * m / (m + 1.0)) / n;
    const double w0 =
        std::pow(integral * std::pow(n, m) * (3.0 * n + 1.0) * m * lambda / eta0, 1.0 / (m + 1.0)) *
        ((m + 1.0) * (m + 1.0) * eta0 * 2.0) / (m * m * 3.0 * (n + 1.0) * (n + 1.0)) /
        std::pow(eta0, w1);
    return {w0, w1};
}

// ---- Viscosity index
// -----------------------------------------------------------------------------

namespace {

// The shear rate at which the viscosity index is taken, in 1/s.
constexpr double kIndexShearRate = 1000.0;

// A finite real that truncates to a 32-bit integer without overflow.
bool TruncatesToInt(double value) {
    return value > -2147483649.0 && value < 2147483648.0;
}

}  // namespace

double CrossWlfIndexViscosity(std::span<const double, 7> cross_wlf, double temperature) {
    const double d1 = cross_wlf[0];
    const double d2 = cross_wlf[1];
    const double a1 = cross_wlf[3];
    const double a2 = cross_wlf[4];
    const double tau = cross_wlf[5];
    const double n = cross_wlf[6];
    const double offset = temperature - d2;
    const double eta0 = d1 * std::exp(-a1 * offset / (a2 + offset));
    return eta0 / (1.0 + std::pow(eta0 * kIndexShearRate / tau, 1.0 - n));
}

double SecondOrderIndexViscosity(std::span<const double, 6> c, double temperature) {
    const double l = std::log(kIndexShearRate);
    const double t = temperature;
    return std::exp(c[0] + c[1] * l + c[2] * t + c[3] * l * l + c[4] * t * l + c[5] * t * t);
}

std::string ViscosityIndexText(double temperature, double viscosity) {
    if (!TruncatesToInt(temperature) || !TruncatesToInt(viscosity)) return {};
    char text[64];
    // The precision pads with zeros (the 0 flag adds nothing to it); the
    // format is the one the simulation product knows.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
    std::snprintf(text, sizeof text, "VI(%03.3d)%04.4d", static_cast<int>(temperature),
                  static_cast<int>(viscosity));
#pragma GCC diagnostic pop
    return text;
}

// ---- Melt flow rate --------------------------------------------------------------------------

namespace {

// Splits a text into pieces in the manner of the C library's token
// splitting, with a separator set chosen per piece: separators before a
// piece are skipped, the separator after it is consumed.
class PieceCursor {
  public:
    explicit PieceCursor(std::string_view text) : rest_(text) {}

    std::optional<std::string_view> Next(std::string_view separators) {
        const std::size_t start = rest_.find_first_not_of(separators);
        if (start == std::string_view::npos) {
            rest_ = {};
            return std::nullopt;
        }
        rest_.remove_prefix(start);
        const std::size_t end = rest_.find_first_of(separators);
        const std::string_view piece = rest_.substr(0, end);
        rest_ = end == std::string_view::npos ? std::string_view{} : rest_.substr(end + 1);
        return piece;
    }

  private:
    std::string_view rest_;
};

double NumberOf(std::string_view piece) {
    const std::string text(piece);
    return std::strtod(text.c_str(), nullptr);
}

}  // namespace

std::optional<std::array<double, 3>> MeltFlowRateValues(std::string_view text) {
    PieceCursor cursor(text);
    const auto rate = cursor.Next(" ");
    cursor.Next("(");
    const auto temperature = cursor.Next(" ");
    cursor.Next("/)");
    const auto load = cursor.Next("/)");
    if (!rate || !temperature || !load) return std::nullopt;
    return std::array<double, 3>{NumberOf(*temperature) + kKelvinOffset, NumberOf(*load),
                                 NumberOf(*rate)};
}

}  // namespace tarnvel::convert
