// One drawing path for every format: the chart is painted on a cairo
// surface (SVG, PDF, or an image written as PNG) whose bytes go through a
// write function to a stream or a string.
#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <memory>

#include "curves/chart.h"
#include "curves/chart_paint.h"
#include "services/sypsafewrite.h"

namespace tarnvel::curves {
namespace {

struct FormatName {
    std::string_view extension;
    ImageFormat format;
};
constexpr FormatName kFormats[] = {
    {".svg", ImageFormat::kSvg},
    {".png", ImageFormat::kPng},
    {".pdf", ImageFormat::kPdf},
};

struct SurfaceDeleter {
    void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
struct ContextDeleter {
    void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using Context = std::unique_ptr<cairo_t, ContextDeleter>;

cairo_status_t WriteToFile(void* closure, const unsigned char* data, unsigned int length) {
    const bool written = std::fwrite(data, 1, length, static_cast<std::FILE*>(closure)) == length;
    return written ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

bool Drawable(const Chart& chart) {
    for (const Series& series : chart.series) {
        for (const auto& [x, y] : series.points) {
            if (PlottableOn(x, chart.x.logarithmic) && PlottableOn(y, chart.y.logarithmic))
                return true;
        }
    }
    return false;
}

// The surface the format is drawn on; an image surface for PNG, written
// once painted.
Surface SurfaceFor(const Chart& chart, ImageFormat format, cairo_write_func_t write,
                   void* closure) {
    switch (format) {
        case ImageFormat::kPng:
            return Surface(
                cairo_image_surface_create(CAIRO_FORMAT_RGB24, kChartWidth, kChartHeight));
        case ImageFormat::kSvg: {
            Surface surface(
                cairo_svg_surface_create_for_stream(write, closure, kChartWidth, kChartHeight));
            cairo_svg_surface_set_document_unit(surface.get(), CAIRO_SVG_UNIT_PX);
            return surface;
        }
        case ImageFormat::kPdf: {
            Surface surface(
                cairo_pdf_surface_create_for_stream(write, closure, kChartWidth, kChartHeight));
            cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE,
                                           WellFormed(chart.title).c_str());
            // Cairo stamps the time of drawing as the creation date; an
            // empty date leaves it out, so that one chart gives one file.
            cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATE_DATE, "");
            return surface;
        }
    }
    return nullptr;
}

// Paints the chart and writes the format through write; the first failure
// of cairo (a write error among them), or success.
cairo_status_t Render(const Chart& chart, ImageFormat format, cairo_write_func_t write,
                      void* closure) {
    Surface surface = SurfaceFor(chart, format, write, closure);
    if (!surface) return CAIRO_STATUS_NO_MEMORY;
    cairo_status_t status = cairo_surface_status(surface.get());
    if (status != CAIRO_STATUS_SUCCESS) return status;
    {
        Context cr(cairo_create(surface.get()));
        PaintChart(cr.get(), chart);
        status = cairo_status(cr.get());
    }
    if (status == CAIRO_STATUS_SUCCESS && format == ImageFormat::kPng) {
        status = cairo_surface_write_to_png_stream(surface.get(), write, closure);
    }
    cairo_surface_finish(surface.get());
    return status != CAIRO_STATUS_SUCCESS ? status : cairo_surface_status(surface.get());
}

// Draws the chart to the stream. SVG is made whole first, for its names
// (see WithOwnNames).
cairo_status_t RenderToFile(const Chart& chart, ImageFormat format, std::FILE* out) {
    if (format != ImageFormat::kSvg) return Render(chart, format, WriteToFile, out);
    std::string svg;
    const cairo_status_t status = Render(chart, format, AppendToString, &svg);
    if (status != CAIRO_STATUS_SUCCESS) return status;
    svg = WithOwnNames(std::move(svg));
    return WriteToFile(out, reinterpret_cast<const unsigned char*>(svg.data()), svg.size());
}

std::string DrawError(cairo_status_t status) {
    return std::string("the chart could not be drawn: ") + cairo_status_to_string(status);
}

}  // namespace

bool ImageFormatOf(std::string_view path, ImageFormat* format) {
    for (const FormatName& name : kFormats) {
        if (path.size() < name.extension.size()) continue;
        const std::string_view end = path.substr(path.size() - name.extension.size());
        const bool same = std::equal(
            end.begin(), end.end(), name.extension.begin(),
            [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
        if (!same) continue;
        *format = name.format;
        return true;
    }
    return false;
}

int UnplottablePoints(const Chart& chart) {
    int count = 0;
    for (const Series& series : chart.series) {
        for (const auto& [x, y] : series.points) {
            count +=
                PlottableOn(x, chart.x.logarithmic) && PlottableOn(y, chart.y.logarithmic) ? 0 : 1;
        }
    }
    return count;
}

bool DrawChart(const Chart& chart, ImageFormat format, std::FILE* out, std::string* error) {
    if (!Drawable(chart)) {
        *error = "nothing to draw";
        return false;
    }
    const cairo_status_t status = RenderToFile(chart, format, out);
    if (status == CAIRO_STATUS_SUCCESS) return true;
    *error = DrawError(status);
    return false;
}

std::string ChartSvg(const Chart& chart, std::string* error) {
    if (!Drawable(chart)) {
        *error = "nothing to draw";
        return {};
    }
    std::string svg;
    const cairo_status_t status = Render(chart, ImageFormat::kSvg, AppendToString, &svg);
    if (status == CAIRO_STATUS_SUCCESS) return WithOwnNames(std::move(svg));
    *error = DrawError(status);
    return {};
}

bool WriteChart(const Chart& chart, const std::string& path, std::string* error) {
    ImageFormat format{};
    if (!ImageFormatOf(path, &format)) {
        *error =
            path +
            ": not an image format that can be written (the name should end in .svg, .png or .pdf)";
        return false;
    }
    if (!Drawable(chart)) {
        *error = path + ": nothing to draw";
        return false;
    }
    cairo_status_t status = CAIRO_STATUS_SUCCESS;
    const int written = sypWriteFile(path.c_str(), [&](std::FILE* out) {
        status = RenderToFile(chart, format, out);
        return status == CAIRO_STATUS_SUCCESS;
    });
    if (written == 0) return true;
    // A failed write is told best by the safe write (it knows errno); a
    // failure of the drawing itself by cairo.
    const bool drawing_failed =
        status != CAIRO_STATUS_SUCCESS && status != CAIRO_STATUS_WRITE_ERROR;
    *error = drawing_failed
                 ? path + ": the chart could not be drawn: " + cairo_status_to_string(status)
                 : std::string(sypWriteFileError());
    return false;
}

}  // namespace tarnvel::curves
