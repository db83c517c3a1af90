#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "curves/chart_paint.h"

namespace tarnvel::curves {
namespace {

constexpr double kTitleSize = 16.0;
constexpr double kAxisTitleSize = 12.0;
constexpr double kTickSize = 10.0;
constexpr double kExponentScale = 0.75;
constexpr double kMajorTick = 6.0;
constexpr double kMinorTick = 3.0;
constexpr double kEdge = 14.0;
constexpr double kLabelGap = 4.0;
// Lines are cut (in doubles) a little outside the plot area, the clip does
// the rest, so that points far out of range never reach the renderer's
// fixed-point limits. Device coordinates are only bounded where a value
// lies so far out that its place would not be finite; below that bound the
// cut keeps the direction of every line exactly.
constexpr double kCutMargin = 20.0;
constexpr double kFarAway = 1e300;

struct Plot {
    Box box;
    AxisScale x;
    AxisScale y;
};

struct Point {
    double x = 0.0;
    double y = 0.0;
};

std::vector<double> ValuesOn(const Chart& chart, bool x_axis) {
    std::vector<double> values;
    for (const Series& series : chart.series) {
        for (const auto& [x, y] : series.points) values.push_back(x_axis ? x : y);
    }
    return values;
}

double DeviceX(const Plot& plot, double x) {
    const double across =
        plot.box.left + ScaleFraction(plot.x, x) * (plot.box.right - plot.box.left);
    return std::clamp(across, -kFarAway, kFarAway);
}

double DeviceY(const Plot& plot, double y) {
    const double down =
        plot.box.bottom - ScaleFraction(plot.y, y) * (plot.box.bottom - plot.box.top);
    return std::clamp(down, -kFarAway, kFarAway);
}

// Where a tick sits across or down the plot, on a pixel centre.
double Crisp(double device) {
    return std::round(device) + 0.5;
}

std::optional<Point> ToDevice(const Plot& plot, double x, double y) {
    if (!PlottableOn(x, plot.x.logarithmic) || !PlottableOn(y, plot.y.logarithmic)) return {};
    return Point{DeviceX(plot, x), DeviceY(plot, y)};
}

double TickLabelWidth(cairo_t* cr, const Tick& tick) {
    const double base = TextWidth(cr, tick.label);
    if (tick.exponent.empty()) return base;
    cairo_set_font_size(cr, kTickSize * kExponentScale);
    const double raised = TextWidth(cr, tick.exponent);
    cairo_set_font_size(cr, kTickSize);
    return base + raised;
}

// A label, with its exponent raised and smaller, its box aligned on (x, y).
void ShowTickLabel(cairo_t* cr, const Tick& tick, double x, double y, Align across, Align down) {
    const double width = TickLabelWidth(cr, tick);
    const double left = across == Align::kStart    ? x
                        : across == Align::kCentre ? x - width / 2
                                                   : x - width;
    ShowText(cr, left, y, tick.label, Align::kStart, down);
    if (tick.exponent.empty()) return;
    const double base = TextWidth(cr, tick.label);
    cairo_set_font_size(cr, kTickSize * kExponentScale);
    ShowText(cr, left + base, y - kTickSize * 0.4, tick.exponent, Align::kStart, down);
    cairo_set_font_size(cr, kTickSize);
}

Plot LayOut(cairo_t* cr, const Chart& chart) {
    Plot plot{
        {}, ScaleAxis(chart.x, ValuesOn(chart, true)), ScaleAxis(chart.y, ValuesOn(chart, false))};
    const double legend = LegendWidth(cr, chart);
    SetFont(cr, kTickSize);
    double label_width = 0.0;
    for (const Tick& tick : plot.y.ticks)
        label_width = std::max(label_width, TickLabelWidth(cr, tick));
    plot.box.left = kEdge + kAxisTitleSize + 2 * kLabelGap + label_width + kMajorTick;
    plot.box.top = chart.title.empty() ? 2 * kEdge : 3.5 * kEdge;
    plot.box.right = kChartWidth - kEdge - (legend > 0.0 ? legend + kEdge : kEdge);
    plot.box.bottom = kChartHeight - kEdge - 2 * kAxisTitleSize - kMajorTick - 2 * kLabelGap;
    return plot;
}

// Grid lines on pixel centres, minor ones fainter.
void PaintGrid(cairo_t* cr, const Plot& plot) {
    const Box& b = plot.box;
    cairo_set_line_width(cr, 1.0);
    for (const bool major : {false, true}) {
        for (const Tick& tick : plot.x.ticks) {
            if (tick.major != major) continue;
            const double x = Crisp(DeviceX(plot, tick.value));
            cairo_move_to(cr, x, b.top);
            cairo_line_to(cr, x, b.bottom);
        }
        for (const Tick& tick : plot.y.ticks) {
            if (tick.major != major) continue;
            const double y = Crisp(DeviceY(plot, tick.value));
            cairo_move_to(cr, b.left, y);
            cairo_line_to(cr, b.right, y);
        }
        const double grey = major ? 0.82 : 0.92;
        cairo_set_source_rgb(cr, grey, grey, grey);
        cairo_stroke(cr);
    }
}

// Tick marks outside the frame, as one path.
void PaintTickMarks(cairo_t* cr, const Plot& plot) {
    const Box& b = plot.box;
    for (const Tick& tick : plot.x.ticks) {
        cairo_move_to(cr, Crisp(DeviceX(plot, tick.value)), b.bottom);
        cairo_rel_line_to(cr, 0.0, tick.major ? kMajorTick : kMinorTick);
    }
    for (const Tick& tick : plot.y.ticks) {
        cairo_move_to(cr, b.left, Crisp(DeviceY(plot, tick.value)));
        cairo_rel_line_to(cr, -(tick.major ? kMajorTick : kMinorTick), 0.0);
    }
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);
}

// The tick labels that do not run into the one before them.
void PaintTickLabels(cairo_t* cr, const Plot& plot) {
    const Box& b = plot.box;
    SetFont(cr, kTickSize);
    double free_from = -kFarAway;
    for (const Tick& tick : plot.x.ticks) {
        const double x = Crisp(DeviceX(plot, tick.value));
        const double width = TickLabelWidth(cr, tick);
        if (tick.label.empty() || x - width / 2 < free_from) continue;
        ShowTickLabel(cr, tick, x, b.bottom + kMajorTick + kLabelGap, Align::kCentre,
                      Align::kStart);
        free_from = x + width / 2 + 2 * kLabelGap;
    }
    double free_above = kFarAway;
    for (const Tick& tick : plot.y.ticks) {
        const double y = Crisp(DeviceY(plot, tick.value));
        if (tick.label.empty() || y + kTickSize / 2 > free_above) continue;
        ShowTickLabel(cr, tick, b.left - kMajorTick - kLabelGap, y, Align::kEnd, Align::kCentre);
        free_above = y - kTickSize / 2 - kLabelGap;
    }
}

void PaintTitles(cairo_t* cr, const Chart& chart, const Plot& plot) {
    const Box& b = plot.box;
    cairo_set_source_rgb(cr, 0, 0, 0);
    SetFont(cr, kTitleSize, true);
    const double centre = (b.left + b.right) / 2;
    ShowText(cr, kChartWidth / 2.0, kEdge, Ellipsize(cr, chart.title, kChartWidth - 2 * kEdge),
             Align::kCentre, Align::kStart);
    SetFont(cr, kAxisTitleSize);
    ShowText(cr, centre, kChartHeight - kEdge, Ellipsize(cr, chart.x.label, b.right - b.left),
             Align::kCentre, Align::kEnd);
    cairo_save(cr);
    cairo_translate(cr, kEdge, (b.top + b.bottom) / 2);
    cairo_rotate(cr, -M_PI / 2);
    ShowText(cr, 0, 0, Ellipsize(cr, chart.y.label, b.bottom - b.top), Align::kCentre,
             Align::kStart);
    cairo_restore(cr);
}

// The part of the segment from a to b inside the box, as fractions of it
// (Liang-Barsky); false when none of it is.
bool CutSegment(const Box& box, Point a, Point b, double* from, double* to) {
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double p[] = {-dx, dx, -dy, dy};
    const double q[] = {a.x - box.left, box.right - a.x, a.y - box.top, box.bottom - a.y};
    *from = 0.0;
    *to = 1.0;
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0) return false;
            continue;
        }
        const double r = q[k] / p[k];
        if (p[k] < 0.0) *from = std::max(*from, r);
        if (p[k] > 0.0) *to = std::min(*to, r);
    }
    return *from <= *to;
}

// The series' line as one path (broken where a point cannot be drawn or
// the line leaves the plot area), stroked once.
void PaintLine(cairo_t* cr, const std::vector<std::optional<Point>>& points, const Box& near,
               const Series& series) {
    bool pen_at_start = false;
    bool any = false;
    for (std::size_t i = 1; i < points.size(); ++i) {
        double from = 0.0;
        double to = 0.0;
        const bool drawn =
            points[i - 1] && points[i] && CutSegment(near, *points[i - 1], *points[i], &from, &to);
        if (!drawn) {
            pen_at_start = false;
            continue;
        }
        const Point a = *points[i - 1];
        const Point b = *points[i];
        if (!pen_at_start || from > 0.0)
            cairo_move_to(cr, a.x + from * (b.x - a.x), a.y + from * (b.y - a.y));
        cairo_line_to(cr, a.x + to * (b.x - a.x), a.y + to * (b.y - a.y));
        pen_at_start = to >= 1.0;
        any = true;
    }
    if (!any) return;
    const std::basic_string_view<double> dashes = DashesOf(series.line);
    SetSeriesColour(cr, series.colour);
    cairo_set_dash(cr, dashes.data(), static_cast<int>(dashes.size()), 0.0);
    cairo_set_line_width(cr, kCurveWidth);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    cairo_stroke(cr);
    cairo_set_dash(cr, nullptr, 0, 0.0);
}

std::vector<std::optional<Point>> DevicePoints(const Series& series, const Plot& plot) {
    std::vector<std::optional<Point>> points;
    for (const auto& [x, y] : series.points) points.push_back(ToDevice(plot, x, y));
    return points;
}

void PaintLines(cairo_t* cr, const Chart& chart, const Plot& plot) {
    const Box near{plot.box.left - kCutMargin, plot.box.top - kCutMargin,
                   plot.box.right + kCutMargin, plot.box.bottom + kCutMargin};
    for (const Series& series : chart.series) {
        if (series.connect) PaintLine(cr, DevicePoints(series, plot), near, series);
    }
}

// The markers of the points inside the plot area, whole even on its edge
// (a range of whole decades often ends on a point); one path per series.
void PaintMarkers(cairo_t* cr, const Chart& chart, const Plot& plot) {
    const Box& b = plot.box;
    for (const Series& series : chart.series) {
        if (series.marker == Marker::kNone) continue;
        bool any = false;
        for (const std::optional<Point>& p : DevicePoints(series, plot)) {
            if (!p || p->x < b.left - 0.5 || p->x > b.right + 0.5 || p->y < b.top - 0.5 ||
                p->y > b.bottom + 0.5) {
                continue;
            }
            AddMarker(cr, series.marker, p->x, p->y);
            any = true;
        }
        if (!any) continue;
        SetSeriesColour(cr, series.colour);
        cairo_fill(cr);
    }
}

}  // namespace

void PaintChart(cairo_t* cr, const Chart& chart) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    const Plot plot = LayOut(cr, chart);
    const Box& b = plot.box;
    PaintGrid(cr, plot);
    cairo_save(cr);
    cairo_rectangle(cr, b.left, b.top, b.right - b.left, b.bottom - b.top);
    cairo_clip(cr);
    PaintLines(cr, chart, plot);
    cairo_restore(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    cairo_set_line_width(cr, 1.0);
    cairo_rectangle(cr, std::round(b.left) + 0.5, std::round(b.top) + 0.5,
                    std::round(b.right - b.left), std::round(b.bottom - b.top));
    cairo_stroke(cr);
    PaintTickMarks(cr, plot);
    PaintTickLabels(cr, plot);
    PaintMarkers(cr, chart, plot);
    PaintTitles(cr, chart, plot);
    PaintLegend(cr, chart, {b.right + kEdge, b.top, kChartWidth - kEdge, b.bottom});
}

}  // namespace tarnvel::curves
