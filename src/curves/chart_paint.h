// The painting of a chart on a cairo context, shared by every image format:
// the style of series (palette, dashes, markers), text, the legend and the
// plot itself. Internal to the curves library.
#pragma once

#include <cairo.h>

#include <string>
#include <string_view>

#include "curves/chart.h"
#include "curves/chart_axes.h"

namespace tarnvel::curves {

// A rectangle in device units (pixels or points), y growing downwards.
struct Box {
    double left = 0.0;
    double top = 0.0;
    double right = 0.0;
    double bottom = 0.0;
};

// Series style.
inline constexpr double kCurveWidth = 2.0;
void SetSeriesColour(cairo_t* cr, int colour);
// The dash pattern of a line style: lengths on, off, on, off... (empty:
// solid).
std::basic_string_view<double> DashesOf(LineStyle line);
// Adds the outline of a marker centred on (x, y) as a closed sub-path, so
// that every marker of a series is filled at once.
void AddMarker(cairo_t* cr, Marker marker, double x, double y);

// The text with every byte that is not part of well-formed UTF-8 (cairo
// refuses such text, and stops drawing) replaced by U+FFFD.
std::string WellFormed(std::string_view text);

// Text with the toy font API, in "sans-serif".
enum class Align { kStart, kCentre, kEnd };
void SetFont(cairo_t* cr, double size, bool bold = false);
double TextWidth(cairo_t* cr, std::string_view text);
// Shows text with its box aligned on (x, y): horizontally by across, and
// vertically by down (kStart: the top of the text at y).
void ShowText(cairo_t* cr, double x, double y, std::string_view text, Align across, Align down);
// The text cut at a character boundary and ended with "…" so that it fits
// in width; the text itself when it fits.
std::string Ellipsize(cairo_t* cr, std::string_view text, double width);

// The width the legend takes beside the plot: what its longest label
// needs, within bounds; 0 when no series has a label.
double LegendWidth(cairo_t* cr, const Chart& chart);
// The legend of the labelled series, fitted in the box (smaller font, then
// two columns, then a closing "… N more" entry).
void PaintLegend(cairo_t* cr, const Chart& chart, const Box& box);

// Cairo's SVG text with its names (ids and the references to them) made
// the chart's own: the same for the same chart, distinct between charts,
// so that several charts can be inlined in one page.
std::string WithOwnNames(std::string svg);

// Paints the whole chart on a kChartWidth x kChartHeight surface.
void PaintChart(cairo_t* cr, const Chart& chart);

}  // namespace tarnvel::curves
