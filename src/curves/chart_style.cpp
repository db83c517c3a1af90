#include <array>
#include <cmath>

#include "curves/chart_paint.h"

namespace tarnvel::curves {
namespace {

// Ten colours told apart at a glance, none grey or black (the frame and
// grid colours), each component a whole percent so that SVG output names
// it exactly as "rgb(R%,G%,B%)".
constexpr std::array<PaletteColour, kChartPaletteSize> kPalette{{
    {12, 47, 71},  // blue
    {100, 50, 5},  // orange
    {17, 63, 17},  // green
    {84, 15, 16},  // red
    {58, 40, 74},  // purple
    {55, 34, 29},  // brown
    {89, 47, 76},  // pink
    {74, 74, 13},  // olive
    {9, 75, 81},   // cyan
    {0, 40, 40},   // teal
}};

constexpr double kSolid[] = {0.0};
constexpr double kDashed[] = {8.0, 4.0};
constexpr double kDotted[] = {2.0, 3.0};
constexpr double kDashDot[] = {8.0, 3.0, 2.0, 3.0};

// Half the size of a marker.
constexpr double kMarkerRadius = 4.0;

void AddPolygon(cairo_t* cr, double x, double y, std::initializer_list<double> offsets) {
    cairo_new_sub_path(cr);
    for (auto it = offsets.begin(); it != offsets.end(); it += 2) {
        cairo_line_to(cr, x + it[0] * kMarkerRadius, y + it[1] * kMarkerRadius);
    }
    cairo_close_path(cr);
}

}  // namespace

PaletteColour ChartPaletteColour(int colour) {
    return kPalette[((colour % kChartPaletteSize) + kChartPaletteSize) % kChartPaletteSize];
}

void SetSeriesColour(cairo_t* cr, int colour) {
    const PaletteColour c = ChartPaletteColour(colour);
    cairo_set_source_rgb(cr, c.red / 100.0, c.green / 100.0, c.blue / 100.0);
}

std::basic_string_view<double> DashesOf(LineStyle line) {
    switch (line) {
        case LineStyle::kDashed:
            return {kDashed, std::size(kDashed)};
        case LineStyle::kDotted:
            return {kDotted, std::size(kDotted)};
        case LineStyle::kDashDot:
            return {kDashDot, std::size(kDashDot)};
        case LineStyle::kSolid:
            break;
    }
    return {kSolid, 0};
}

void AddMarker(cairo_t* cr, Marker marker, double x, double y) {
    // A cross is a filled outline too, so that markers never add strokes.
    constexpr double w = 0.3;
    switch (marker) {
        case Marker::kNone:
            return;
        case Marker::kCircle:
            cairo_new_sub_path(cr);
            cairo_arc(cr, x, y, kMarkerRadius, 0.0, 2 * M_PI);
            cairo_close_path(cr);
            return;
        case Marker::kSquare:
            AddPolygon(cr, x, y, {-0.85, -0.85, 0.85, -0.85, 0.85, 0.85, -0.85, 0.85});
            return;
        case Marker::kTriangle:
            AddPolygon(cr, x, y, {0, -1.2, 1.1, 0.8, -1.1, 0.8});
            return;
        case Marker::kDiamond:
            AddPolygon(cr, x, y, {0, -1.2, 1.2, 0, 0, 1.2, -1.2, 0});
            return;
        case Marker::kCross:
            AddPolygon(cr, x, y, {-1, -1 + w, -w, 0, -1, 1 - w,  -1 + w, 1,  0, w,  1 - w,  1,
                                  1,  1 - w,  w,  0, 1,  -1 + w, 1 - w,  -1, 0, -w, -1 + w, -1});
            return;
    }
}

}  // namespace tarnvel::curves
