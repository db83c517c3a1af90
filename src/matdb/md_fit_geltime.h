// Gel-time segments: between neighbouring gel-time points,
// ln t = intercept + slope / T with T in kelvin.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "matdb/md_fit_points.h"

namespace tarnvel::matdb {

// The most gel-time points a table or coefficient list may hold.
inline constexpr std::size_t kMdMaxGelTimePoints = 6;

struct MdGelTimeSegments {
    // 0, or the code reported; with an error there are no segments.
    int error = 0;
    // The segments, one per pair of neighbouring points.
    std::size_t count = 0;
    std::array<double, kMdMaxGelTimePoints - 1> intercept{};
    std::array<double, kMdMaxGelTimePoints - 1> slope{};
};

// Segments of a table whose first variable is Temperature (degrees
// Celsius) and whose property is the gel time.
MdGelTimeSegments md_fit_gel_time(const MdPointTable& table);

// Segments of a coefficient list of (temperature, time) pairs.
MdGelTimeSegments md_gel_time_segments(std::span<const double> pairs);

}  // namespace tarnvel::matdb
