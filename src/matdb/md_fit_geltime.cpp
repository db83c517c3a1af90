#include "matdb/md_fit_geltime.h"

#include <cmath>
#include <vector>

#include "matdb/md_fit_errors.h"

namespace tarnvel::matdb {
namespace {

// The messages of the gel-time segments (context 10).
enum Message : int {
    kNumericExpected = 15,
    kNotRetrievable = 25,
    kTooMany = 26,
    kTooFew = 27,
};

// The kelvin offset of the gel-time segments.
constexpr double kKelvin = 273.2;

struct Point {
    double t, time;
};

MdGelTimeSegments Failed(int message, int extra = kMdNoExtra) {
    MdGelTimeSegments out;
    out.error = kMdGelTimeContext * 1000 + message;
    md_fit_error(out.error, extra);
    return out;
}

MdGelTimeSegments Segments(const std::vector<Point>& points) {
    if (points.size() > kMdMaxGelTimePoints) {
        return Failed(kTooMany, static_cast<int>(kMdMaxGelTimePoints));
    }
    if (points.size() < 2) return Failed(kTooFew);
    for (const Point& p : points) {
        if (!fit::Representable(p.t) || !fit::Representable(p.time)) {
            return Failed(kNumericExpected);
        }
        if (p.time <= 0.0) return Failed(kNotRetrievable);
    }
    MdGelTimeSegments out;
    for (std::size_t i = 0; i + 1 < points.size(); ++i) {
        const double t0 = points[i].t + kKelvin;
        const double t1 = points[i + 1].t + kKelvin;
        if (t1 == t0) return Failed(kNotRetrievable);
        const double a = std::log(points[i].time);
        const double b = std::log(points[i + 1].time);
        const double c = t1 / (t1 - t0);
        out.intercept[i] = a - (a - b) * c;
        out.slope[i] = (a - b) * t0 * c;
        if (!fit::Representable(out.intercept[i]) || !fit::Representable(out.slope[i])) {
            return Failed(kNotRetrievable);
        }
    }
    out.count = points.size() - 1;
    return out;
}

}  // namespace

MdGelTimeSegments md_fit_gel_time(const MdPointTable& table) {
    if (table.variable(0) != fit::kTemperature) return Failed(kNotRetrievable);
    std::vector<Point> points;
    for (std::size_t i = 0; i < table.rows(); ++i) {
        points.push_back({table.at(i, 0), table.property(i)});
    }
    return Segments(points);
}

MdGelTimeSegments md_gel_time_segments(std::span<const double> pairs) {
    std::vector<Point> points;
    for (std::size_t i = 0; i + 1 < pairs.size(); i += 2)
        points.push_back({pairs[i], pairs[i + 1]});
    return Segments(points);
}

}  // namespace tarnvel::matdb
