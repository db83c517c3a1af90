// A chart as the curve tools draw it: two axes (each linear or logarithmic),
// and series of points drawn as lines, as markers, or both. The evaluation
// of the material models fills a Chart; the drawing turns it into SVG, PNG
// or PDF. Nothing here knows about materials.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnvel::curves {

enum class LineStyle { kSolid, kDashed, kDotted, kDashDot };
enum class Marker { kNone, kCircle, kSquare, kTriangle, kDiamond, kCross };

// One line or set of markers of the chart, with its legend entry.
struct Series {
    // The legend text, e.g. "ALDERPOL AP120, Cross-WLF, 230 °C"; a series
    // with an empty label has no legend entry.
    std::string label;
    // Index into the chart palette: one colour per grade or set, so that two
    // materials compared in one chart are told apart at a glance.
    int colour = 0;
    // Lines are drawn through the points in order when connect is set.
    bool connect = true;
    LineStyle line = LineStyle::kSolid;
    // Each point is drawn as this marker (kNone: no markers).
    Marker marker = Marker::kNone;
    // (x, y) in the units of the axes; every value finite, and positive on
    // a logarithmic axis.
    std::vector<std::pair<double, double>> points;
};

struct Axis {
    // The axis title with its unit, e.g. "Shear rate (1/s)".
    std::string label;
    bool logarithmic = false;
    // The range shown; when min >= max the range is taken from the data.
    double min = 0.0;
    double max = 0.0;
};

struct Chart {
    std::string title;
    Axis x;
    Axis y;
    std::vector<Series> series;
};

enum class ImageFormat { kSvg, kPng, kPdf };

// The image format named by a path's extension (".svg", ".png", ".pdf", in
// any case); false for any other extension.
bool ImageFormatOf(std::string_view path, ImageFormat* format);

// The size a chart is drawn at: pixels for PNG, points for SVG and PDF.
inline constexpr int kChartWidth = 800;
inline constexpr int kChartHeight = 600;

// Draws the chart in the format to the stream; false, with the reason in
// error, when it could not be drawn or written.
bool DrawChart(const Chart& chart, ImageFormat format, std::FILE* out, std::string* error);

// Writes the chart to path in the format its extension names, through the
// project's safe write (nothing half-written is left); false, with a
// reason naming the path in error, on failure.
bool WriteChart(const Chart& chart, const std::string& path, std::string* error);

// The chart as SVG text (for pages that embed it); empty, with the reason
// in error, on failure.
std::string ChartSvg(const Chart& chart, std::string* error);

// A colour of the chart palette, each component in whole percent. Series
// colour i is palette entry i modulo kChartPaletteSize. SVG output names
// it "rgb(R%,G%,B%)": a connected series with a segment in view is exactly
// one <path> whose style holds "fill:none" and "stroke:rgb(R%,G%,B%)"
// (markers and legend samples are filled, never stroked; frame and grid
// are black and grey), which lets tests count the curves of a colour.
struct PaletteColour {
    int red = 0;
    int green = 0;
    int blue = 0;
};
inline constexpr int kChartPaletteSize = 10;
PaletteColour ChartPaletteColour(int colour);

// The number of points of the chart that cannot be drawn (a value not
// finite, or not positive on a logarithmic axis): the drawing leaves them
// out (breaking the line there), and the caller reports them.
int UnplottablePoints(const Chart& chart);

}  // namespace tarnvel::curves
