#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "curves/chart_paint.h"

namespace tarnvel::curves {
namespace {

constexpr double kPadding = 6.0;
constexpr double kSampleLength = 26.0;
constexpr double kSampleGap = 6.0;
constexpr double kLineSpacing = 1.45;
// The font sizes tried one after the other, then the smallest in two
// columns.
constexpr double kFontSizes[] = {11.0, 10.0, 9.0, 8.0};
// The legend is as wide as its longest label needs, within these bounds.
constexpr double kNarrowest = 120.0;
constexpr double kWidest = 300.0;

struct LegendLayout {
    double font_size = 0.0;
    int columns = 1;
    int rows = 0;
};

LegendLayout FitLegend(std::size_t entries, double height) {
    LegendLayout layout;
    for (const int columns : {1, 2}) {
        for (const double size : kFontSizes) {
            if (columns == 2 && size != kFontSizes[std::size(kFontSizes) - 1]) continue;
            layout = {size, columns,
                      static_cast<int>((height - 2 * kPadding) / (size * kLineSpacing))};
            if (static_cast<std::size_t>(layout.rows * columns) >= entries) return layout;
        }
    }
    return layout;
}

// A short run of the series' line, drawn as filled dashes so that the
// legend never adds a stroke of a series colour, and its marker.
void PaintSample(cairo_t* cr, const Series& series, double x, double y) {
    SetSeriesColour(cr, series.colour);
    if (series.connect) {
        const std::basic_string_view<double> dashes = DashesOf(series.line);
        double at = 0.0;
        for (std::size_t i = 0; at < kSampleLength; ++i) {
            const double length = dashes.empty() ? kSampleLength : dashes[i % dashes.size()];
            if (i % 2 == 0 || dashes.empty()) {
                cairo_rectangle(cr, x + at, y - kCurveWidth / 2,
                                std::min(length, kSampleLength - at), kCurveWidth);
            }
            at += length;
        }
    }
    AddMarker(cr, series.marker, x + kSampleLength / 2, y);
    cairo_fill(cr);
}

}  // namespace

double LegendWidth(cairo_t* cr, const Chart& chart) {
    SetFont(cr, kFontSizes[0]);
    double widest = -1.0;
    for (const Series& series : chart.series) {
        if (!series.label.empty()) widest = std::max(widest, TextWidth(cr, series.label));
    }
    if (widest < 0.0) return 0.0;
    return std::clamp(widest + kSampleLength + 2 * kSampleGap + 2 * kPadding, kNarrowest, kWidest);
}

void PaintLegend(cairo_t* cr, const Chart& chart, const Box& box) {
    std::vector<const Series*> entries;
    for (const Series& series : chart.series) {
        if (!series.label.empty()) entries.push_back(&series);
    }
    if (entries.empty()) return;
    const LegendLayout layout = FitLegend(entries.size(), box.bottom - box.top);
    const std::size_t room = static_cast<std::size_t>(std::max(1, layout.rows * layout.columns));
    // With more entries than room, the last place tells how many are left.
    const std::size_t shown = entries.size() <= room ? entries.size() : room - 1;
    const std::size_t slots = shown + (shown < entries.size() ? 1 : 0);
    const int rows = std::max(1, static_cast<int>((slots + layout.columns - 1) / layout.columns));
    const double line = layout.font_size * kLineSpacing;
    const double column_width = (box.right - box.left - 2 * kPadding) / layout.columns;

    cairo_rectangle(cr, box.left + 0.5, box.top + 0.5, box.right - box.left - 1,
                    rows * line + 2 * kPadding - 1);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.7, 0.7, 0.7);
    cairo_set_line_width(cr, 1.0);
    cairo_stroke(cr);

    SetFont(cr, layout.font_size);
    const double text_room = column_width - kSampleLength - 2 * kSampleGap;
    for (std::size_t i = 0; i < shown; ++i) {
        const double x = box.left + kPadding + static_cast<double>(i / rows) * column_width;
        const double y = box.top + kPadding + (static_cast<double>(i % rows) + 0.5) * line;
        PaintSample(cr, *entries[i], x, y);
        cairo_set_source_rgb(cr, 0, 0, 0);
        ShowText(cr, x + kSampleLength + kSampleGap, y, Ellipsize(cr, entries[i]->label, text_room),
                 Align::kStart, Align::kCentre);
    }
    if (shown == entries.size()) return;
    const double x = box.left + kPadding + static_cast<double>(shown / rows) * column_width;
    const double y = box.top + kPadding + (static_cast<double>(shown % rows) + 0.5) * line;
    cairo_set_source_rgb(cr, 0, 0, 0);
    ShowText(cr, x, y, "… " + std::to_string(entries.size() - shown) + " more", Align::kStart,
             Align::kCentre);
}

}  // namespace tarnvel::curves
