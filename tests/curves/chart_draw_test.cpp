// Drawing charts as SVG, PNG and PDF: the SVG parses and holds one stroked
// path per curve, the PNG decodes at the chart size with the series'
// colours inside the plot area, the PDF is a PDF with no date stamped, and
// files are written whole or not at all.
#include <cairo.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "chart_readback.h"
#include "curves/chart.h"
#include "support/output_safety.h"

namespace tarnvel::curves {
namespace {

using tarnvel::curves::testing::CountPaths;
using tarnvel::curves::testing::PathCount;
using tarnvel::curves::testing::SvgColour;
using tarnvel::testing::FileBytes;
using tarnvel::testing::NamesIn;
using tarnvel::testing::OutputScratch;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

// A viscosity chart as the tools make it: two grades, three temperatures
// each, a model curve and measured points as markers.
Chart ViscositySample() {
    Chart chart{"Viscosity: ALDERPOL AP120 and BIRCHAMID B30",
                {"Shear rate (1/s)", true, 0, 0},
                {"Viscosity (Pa·s)", true, 0, 0},
                {}};
    const char* grades[] = {"ALDERPOL AP120", "BIRCHAMID B30"};
    for (int grade = 0; grade < 2; ++grade) {
        for (int t = 0; t < 3; ++t) {
            const double zero_shear = (grade == 0 ? 3000.0 : 800.0) / (1 + t);
            Series curve{
                std::string(grades[grade]) + ", Cross-WLF, " + std::to_string(200 + 20 * t) + " °C",
                grade,
                true,
                static_cast<LineStyle>(t),
                Marker::kNone,
                {}};
            Series points{
                std::string(grades[grade]) + ", measured, " + std::to_string(200 + 20 * t) + " °C",
                grade,
                false,
                LineStyle::kSolid,
                static_cast<Marker>(1 + t),
                {}};
            for (double rate = 1.0; rate <= 1e6; rate *= 1.2) {
                const double viscosity = zero_shear / (1 + std::pow(zero_shear * rate / 3e4, 0.7));
                curve.points.emplace_back(rate, viscosity);
                if (rate > 50 && static_cast<int>(std::log(rate) / std::log(1.2)) % 8 == 0) {
                    points.points.emplace_back(rate, viscosity * 1.05);
                }
            }
            chart.series.push_back(curve);
            chart.series.push_back(points);
        }
    }
    return chart;
}

Chart LinearSample() {
    Chart chart{"Specific volume",
                {"Temperature (°C)", false, 0, 0},
                {"Specific volume (cm³/g)", false, 0, 0},
                {}};
    for (int isobar = 0; isobar < 5; ++isobar) {
        Series series{std::to_string(50 * isobar) + " MPa",
                      isobar,
                      true,
                      LineStyle::kSolid,
                      Marker::kNone,
                      {}};
        for (double t = 20; t <= 300; t += 5) {
            series.points.emplace_back(t,
                                       0.95 + 0.0004 * t - 0.02 * isobar + (t > 150 ? 0.03 : 0.0));
        }
        chart.series.push_back(series);
    }
    return chart;
}

// Writes the chart into the folder named by TARNVEL_CHART_SAMPLES, when set,
// for people to look at.
void KeepSample(const Chart& chart, const std::string& name) {
    const char* folder = std::getenv("TARNVEL_CHART_SAMPLES");
    if (folder == nullptr) return;
    std::string error;
    EXPECT_TRUE(WriteChart(chart, std::string(folder) + "/" + name, &error)) << error;
}

pugi::xml_document ParsedSvg(const Chart& chart) {
    std::string error;
    const std::string svg = ChartSvg(chart, &error);
    EXPECT_FALSE(svg.empty()) << error;
    pugi::xml_document document;
    const pugi::xml_parse_result parsed = document.load_string(svg.c_str());
    EXPECT_TRUE(parsed) << parsed.description();
    return document;
}

std::string Drawn(const Chart& chart, ImageFormat format) {
    OutputScratch scratch;
    const std::string path = scratch.File("chart");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    std::string error;
    EXPECT_TRUE(DrawChart(chart, format, out, &error)) << error;
    std::fclose(out);
    return FileBytes(path);
}

TEST(ImageFormat, FollowsTheExtensionInAnyCase) {
    ImageFormat format{};
    ASSERT_TRUE(ImageFormatOf("plots/a.svg", &format));
    EXPECT_EQ(format, ImageFormat::kSvg);
    ASSERT_TRUE(ImageFormatOf("A.PNG", &format));
    EXPECT_EQ(format, ImageFormat::kPng);
    ASSERT_TRUE(ImageFormatOf("a.b.Pdf", &format));
    EXPECT_EQ(format, ImageFormat::kPdf);
    for (const char* other : {"a.svg.gz", "a.gif", "png", "a", ""})
        EXPECT_FALSE(ImageFormatOf(other, &format)) << other;
}

TEST(ChartSvg, ParsesAndHoldsOneStrokedPathPerCurve) {
    const Chart chart = ViscositySample();
    const pugi::xml_document svg = ParsedSvg(chart);
    const pugi::xml_node root = svg.child("svg");
    EXPECT_STREQ(root.attribute("width").value(), "800px");
    EXPECT_STREQ(root.attribute("height").value(), "600px");
    for (const int grade : {0, 1}) {
        const PathCount count = CountPaths(svg, grade);
        EXPECT_EQ(count.stroked, 3) << "grade " << grade;
        // Per grade: one path of markers per measured series, and one legend
        // sample for each of the six entries.
        EXPECT_EQ(count.filled, 3 + 6) << "grade " << grade;
    }
    EXPECT_EQ(CountPaths(svg, 2).stroked + CountPaths(svg, 2).filled, 0);
    KeepSample(chart, "viscosity.svg");
    KeepSample(chart, "viscosity.png");
    KeepSample(chart, "viscosity.pdf");
    KeepSample(LinearSample(), "pvt.png");
    KeepSample(LinearSample(), "pvt.svg");
}

TEST(ChartSvg, CountsCurvesOfManySeriesAcrossThePaletteCycle) {
    Chart chart{"Twenty series", {"x", false, 0, 0}, {"y", false, 0, 0}, {}};
    for (int s = 0; s < 2 * kChartPaletteSize; ++s) {
        Series series{"series " + std::to_string(s),
                      s,
                      true,
                      static_cast<LineStyle>(s % 4),
                      Marker::kNone,
                      {}};
        for (int i = 0; i < 50; ++i) series.points.emplace_back(i, s + std::sin(i * 0.2));
        chart.series.push_back(series);
    }
    const pugi::xml_document svg = ParsedSvg(chart);
    for (int colour = 0; colour < kChartPaletteSize; ++colour) {
        EXPECT_EQ(CountPaths(svg, colour).stroked, 2) << "colour " << colour;
    }
    EXPECT_EQ(CountPaths(svg, -1).stroked, CountPaths(svg, kChartPaletteSize - 1).stroked);
}

TEST(ChartSvg, LeavesOutValuesThatCannotBeDrawnAndBreaksTheLineThere) {
    Chart chart{"Bad values", {"x", true, 0, 0}, {"y", true, 0, 0}, {}};
    chart.series.push_back({"with gaps",
                            0,
                            true,
                            LineStyle::kSolid,
                            Marker::kCircle,
                            {{1, 10},
                             {2, kNaN},
                             {3, 30},
                             {kInfinity, 40},
                             {5, 50},
                             {-6, 60},
                             {7, 0},
                             {8, -kInfinity},
                             {9, 90},
                             {10, 100}}});
    EXPECT_EQ(UnplottablePoints(chart), 5);
    KeepSample(chart, "gaps.png");
    const pugi::xml_document svg = ParsedSvg(chart);
    EXPECT_EQ(CountPaths(svg, 0).stroked, 1);
    for (const pugi::xpath_node& node : svg.select_nodes("//path")) {
        const std::string d = node.node().attribute("d").value();
        EXPECT_EQ(d.find("nan"), std::string::npos) << d;
        EXPECT_EQ(d.find("inf"), std::string::npos) << d;
    }
    // Only the last two points are neighbours that can be drawn.
    const pugi::xpath_node line =
        svg.select_node(("//path[contains(@style, '" + SvgColour(0) + "')]").c_str());
    const std::string d = line.node().attribute("d").value();
    EXPECT_EQ(std::count(d.begin(), d.end(), 'M'), 1) << d;
    EXPECT_EQ(std::count(d.begin(), d.end(), 'L'), 1) << d;
}

TEST(ChartSvg, DrawsLabelsThatAreNotWellFormedText) {
    Chart chart = LinearSample();
    chart.title = "bad \xff\xfe bytes \xe2\x82";
    chart.series[0].label = std::string(300, 'x') + "\xc3";
    std::string error;
    EXPECT_FALSE(ChartSvg(chart, &error).empty()) << error;
    // The PDF holds the title as its metadata too.
    EXPECT_EQ(Drawn(chart, ImageFormat::kPdf).rfind("%PDF", 0), 0u);
}

TEST(ChartSvg, FitsManyLegendEntries) {
    Chart chart{"Many entries", {"x", false, 0, 0}, {"y", false, 0, 0}, {}};
    for (int s = 0; s < 120; ++s) {
        chart.series.push_back(
            {"a long legend label of series number " + std::to_string(s) + " at 230 °C",
             s,
             true,
             LineStyle::kSolid,
             Marker::kNone,
             {{0, s}, {1, s + 1}}});
    }
    const pugi::xml_document svg = ParsedSvg(chart);
    // Each of the 120 series is still drawn, whatever the legend holds.
    int stroked = 0;
    for (int colour = 0; colour < kChartPaletteSize; ++colour)
        stroked += CountPaths(svg, colour).stroked;
    EXPECT_EQ(stroked, 120);
    KeepSample(chart, "many.png");
}

// The names an SVG defines, and the names it refers to.
struct SvgNames {
    std::set<std::string> defined;
    std::set<std::string> referred;
};

SvgNames NamesOf(const std::string& svg) {
    SvgNames names;
    pugi::xml_document document;
    EXPECT_TRUE(document.load_string(svg.c_str()));
    for (const pugi::xpath_node& node : document.select_nodes("//*")) {
        for (const pugi::xml_attribute& attribute : node.node().attributes()) {
            const std::string value = attribute.value();
            if (std::string_view(attribute.name()) == "id") names.defined.insert(value);
            if (value.rfind("#", 0) == 0) names.referred.insert(value.substr(1));
            if (value.rfind("url(#", 0) == 0)
                names.referred.insert(value.substr(5, value.size() - 6));
        }
    }
    return names;
}

TEST(ChartSvg, GivesTheSameTextEveryTimeAndNamesTheChartsOwnForInlining) {
    std::string error;
    const std::string viscosity = ChartSvg(ViscositySample(), &error);
    const std::string pvt = ChartSvg(LinearSample(), &error);
    EXPECT_EQ(ChartSvg(ViscositySample(), &error), viscosity);
    EXPECT_EQ(Drawn(LinearSample(), ImageFormat::kSvg), pvt);
    const SvgNames first = NamesOf(viscosity);
    const SvgNames second = NamesOf(pvt);
    EXPECT_GT(first.defined.size(), 10u);
    for (const SvgNames* names : {&first, &second}) {
        for (const std::string& name : names->referred)
            EXPECT_EQ(names->defined.count(name), 1u) << name;
    }
    for (const std::string& name : first.defined) EXPECT_EQ(second.defined.count(name), 0u) << name;
}

TEST(ChartSvg, DrawsExtremeRangesAndSingleValues) {
    Chart huge{
        "Huge and tiny", {"Pressure (Pa)", false, 0, 0}, {"Compliance (1/Pa)", false, 0, 0}, {}};
    huge.series.push_back({"huge x, tiny y", 0, true, LineStyle::kSolid, Marker::kDiamond, {}});
    for (int i = 0; i <= 20; ++i)
        huge.series[0].points.emplace_back(i * 1e7, 1e-12 * (1 + 0.1 * i));
    Chart narrow{
        "Narrow", {"Temperature (°C)", false, 0, 0}, {"Viscosity (Pa·s)", true, 200, 800}, {}};
    narrow.series.push_back(
        {"narrow log range", 1, true, LineStyle::kDashDot, Marker::kTriangle, {}});
    for (int i = 0; i <= 10; ++i) narrow.series[0].points.emplace_back(-40 + 2 * i, 150 + 70 * i);
    Chart single{"One point", {"x", true, 0, 0}, {"y", false, 0, 0}, {}};
    single.series.push_back({"one point", 2, true, LineStyle::kSolid, Marker::kCross, {{42, 7}}});
    Chart legend{"Forty entries", {"x", false, 0, 0}, {"y", false, 0, 0}, {}};
    for (int s = 0; s < 40; ++s) {
        legend.series.push_back(
            {"GRADE " + std::to_string(s / 4) + ", model " + std::to_string(s % 4) + ", 230 °C",
             s / 4,
             true,
             static_cast<LineStyle>(s % 4),
             Marker::kNone,
             {{0, s}, {1, 40 - s}}});
    }
    const std::pair<const Chart*, const char*> charts[] = {{&huge, "huge.png"},
                                                           {&narrow, "narrow.png"},
                                                           {&single, "single.png"},
                                                           {&legend, "legend.png"}};
    for (const auto& [chart, name] : charts) {
        const pugi::xml_document svg = ParsedSvg(*chart);
        EXPECT_TRUE(svg.child("svg")) << name;
        KeepSample(*chart, name);
    }
    // The single point is drawn as its marker (and its legend sample).
    EXPECT_EQ(CountPaths(ParsedSvg(single), 2).filled, 2);
}

TEST(DrawChart, RefusesAChartWithNothingToDraw) {
    std::string error;
    Chart chart{"Empty", {"x", false, 0, 0}, {"y", true, 0, 0}, {}};
    EXPECT_EQ(ChartSvg(chart, &error), "");
    EXPECT_EQ(error, "nothing to draw");
    chart.series.push_back(
        {"none", 0, true, LineStyle::kSolid, Marker::kNone, {{1, -1}, {kNaN, 2}}});
    error.clear();
    EXPECT_EQ(ChartSvg(chart, &error), "");
    EXPECT_EQ(error, "nothing to draw");
}

TEST(DrawChart, ReportsAStreamThatCannotBeWritten) {
    std::FILE* full = std::fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    std::string error;
    EXPECT_FALSE(DrawChart(LinearSample(), ImageFormat::kSvg, full, &error));
    EXPECT_NE(error.find("could not be drawn"), std::string::npos) << error;
    std::fclose(full);
}

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> data;
};

cairo_status_t ReadFromString(void* closure, unsigned char* data, unsigned int length) {
    auto* rest = static_cast<std::string_view*>(closure);
    if (rest->size() < length) return CAIRO_STATUS_READ_ERROR;
    std::memcpy(data, rest->data(), length);
    rest->remove_prefix(length);
    return CAIRO_STATUS_SUCCESS;
}

Pixels DecodePng(const std::string& png) {
    std::string_view rest = png;
    cairo_surface_t* image = cairo_image_surface_create_from_png_stream(ReadFromString, &rest);
    Pixels pixels;
    if (cairo_surface_status(image) == CAIRO_STATUS_SUCCESS) {
        cairo_surface_flush(image);
        pixels.width = cairo_image_surface_get_width(image);
        pixels.height = cairo_image_surface_get_height(image);
        const int stride = cairo_image_surface_get_stride(image);
        const unsigned char* bytes = cairo_image_surface_get_data(image);
        for (int y = 0; y < pixels.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(bytes + y * stride);
            pixels.data.insert(pixels.data.end(), row, row + pixels.width);
        }
    }
    cairo_surface_destroy(image);
    return pixels;
}

bool Near(std::uint32_t pixel, int colour) {
    const PaletteColour c = ChartPaletteColour(colour);
    const int want[] = {c.red * 255 / 100, c.green * 255 / 100, c.blue * 255 / 100};
    const int got[] = {static_cast<int>(pixel >> 16 & 0xFF), static_cast<int>(pixel >> 8 & 0xFF),
                       static_cast<int>(pixel & 0xFF)};
    for (int i = 0; i < 3; ++i) {
        if (std::abs(want[i] - got[i]) > 3) return false;
    }
    return true;
}

// The bounding box of the pixels of a colour: left, top, right, bottom,
// and how many there are.
struct ColourBox {
    int left = 1 << 20;
    int top = 1 << 20;
    int right = -1;
    int bottom = -1;
    int count = 0;
};

ColourBox FindColour(const Pixels& pixels, int colour) {
    ColourBox box;
    for (int y = 0; y < pixels.height; ++y) {
        for (int x = 0; x < pixels.width; ++x) {
            if (!Near(pixels.data[y * pixels.width + x], colour)) continue;
            box = {std::min(box.left, x), std::min(box.top, y), std::max(box.right, x),
                   std::max(box.bottom, y), box.count + 1};
        }
    }
    return box;
}

TEST(DrawChartPng, DecodesAtTheChartSizeWithTheSeriesColours) {
    const std::string png = Drawn(ViscositySample(), ImageFormat::kPng);
    EXPECT_EQ(Drawn(ViscositySample(), ImageFormat::kPng), png) << "the same chart, the same bytes";
    const Pixels pixels = DecodePng(png);
    ASSERT_EQ(pixels.width, kChartWidth);
    ASSERT_EQ(pixels.height, kChartHeight);
    EXPECT_GT(FindColour(pixels, 0).count, 500);
    EXPECT_GT(FindColour(pixels, 1).count, 500);
    EXPECT_EQ(FindColour(pixels, 4).count, 0) << "a colour no series has";
}

TEST(DrawChartPng, ClipsLinesAndMarkersToThePlotArea) {
    // Far beyond a given range: only the part inside may show.
    Chart chart{"Clipped", {"x", false, 0, 10}, {"y", false, 0, 10}, {}};
    chart.series.push_back(
        {"", 3, true, LineStyle::kSolid, Marker::kSquare, {{-1e6, -1e6}, {5, 5}, {1e200, 1e200}}});
    chart.series.push_back(
        {"", 2, false, LineStyle::kSolid, Marker::kCircle, {{-3, 5}, {5, 20}, {15, 5}, {5, -8}}});
    const Pixels pixels = DecodePng(Drawn(chart, ImageFormat::kPng));
    KeepSample(chart, "clipped.png");
    const ColourBox line = FindColour(pixels, 3);
    EXPECT_GT(line.count, 300);
    // The plot area leaves room for the labels at the left and the bottom.
    EXPECT_GT(line.left, 30);
    EXPECT_GT(line.top, 20);
    EXPECT_LT(line.right, kChartWidth - 5);
    EXPECT_LT(line.bottom, kChartHeight - 40);
    EXPECT_EQ(FindColour(pixels, 2).count, 0) << "every marker lies outside the range";
}

// The numbers of an SVG path's data, in order.
std::vector<double> PathNumbers(const std::string& d) {
    std::vector<double> numbers;
    std::string text = d;
    std::replace_if(
        text.begin(), text.end(),
        [](char c) { return std::isalpha(static_cast<unsigned char>(c)); }, ' ');
    std::istringstream in(text);
    for (double number = 0; in >> number;) numbers.push_back(number);
    return numbers;
}

TEST(ChartSvg, CutsLinesToFarPointsWithoutBendingThem) {
    // On the diagonal, far beyond the range at both ends, with a square
    // marking the point in range.
    Chart chart{"Clipped", {"x", false, 0, 10}, {"y", false, 0, 10}, {}};
    chart.series.push_back(
        {"", 3, true, LineStyle::kSolid, Marker::kSquare, {{-1e6, -1e6}, {5, 5}, {1e200, 1e200}}});
    const pugi::xml_document svg = ParsedSvg(chart);
    const PaletteColour c = ChartPaletteColour(3);
    const std::string fill = "fill:rgb(" + std::to_string(c.red) + "%," + std::to_string(c.green) +
                             "%," + std::to_string(c.blue) + "%)";
    const std::vector<double> line =
        PathNumbers(svg.select_node(("//path[contains(@style, '" + SvgColour(3) + "')]").c_str())
                        .node()
                        .attribute("d")
                        .value());
    const std::vector<double> square =
        PathNumbers(svg.select_node(("//path[contains(@style, '" + fill + "')]").c_str())
                        .node()
                        .attribute("d")
                        .value());
    ASSERT_GE(line.size(), 4u);
    ASSERT_GE(square.size(), 8u);
    const double centre_x = (square[0] + square[2] + square[4] + square[6]) / 4;
    const double centre_y = (square[1] + square[3] + square[5] + square[7]) / 4;
    // The ends of the line and the point in range lie on one line.
    const double first_x = line[0], first_y = line[1];
    const double last_x = line[line.size() - 2], last_y = line[line.size() - 1];
    const double cross =
        (centre_x - first_x) * (last_y - first_y) - (centre_y - first_y) * (last_x - first_x);
    EXPECT_NEAR(cross / std::hypot(last_x - first_x, last_y - first_y), 0.0, 0.5);
    // Cut a little beyond the plot area, never thousands of pixels away.
    for (const double v : line) {
        EXPECT_GT(v, -50.0);
        EXPECT_LT(v, kChartWidth + 50.0);
    }
}

TEST(DrawChartPdf, IsAPdfWithoutADateSoTheSameChartGivesTheSameBytes) {
    const std::string pdf = Drawn(LinearSample(), ImageFormat::kPdf);
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find("%%EOF"), std::string::npos);
    EXPECT_EQ(pdf.find("CreationDate"), std::string::npos);
    EXPECT_EQ(pdf, Drawn(LinearSample(), ImageFormat::kPdf));
}

TEST(WriteChart, WritesTheFormatOfTheExtensionAndNothingElse) {
    OutputScratch scratch;
    std::string error;
    ASSERT_TRUE(WriteChart(LinearSample(), scratch.File("a.PNG"), &error)) << error;
    ASSERT_TRUE(WriteChart(LinearSample(), scratch.File("a.svg"), &error)) << error;
    ASSERT_TRUE(WriteChart(LinearSample(), scratch.File("a.pdf"), &error)) << error;
    EXPECT_EQ(NamesIn(scratch.path()), "a.PNG a.pdf a.svg ");
    EXPECT_EQ(FileBytes(scratch.File("a.PNG")).substr(1, 3), "PNG");
    EXPECT_EQ(FileBytes(scratch.File("a.svg")).rfind("<?xml", 0), 0u);
    EXPECT_EQ(FileBytes(scratch.File("a.pdf")).rfind("%PDF", 0), 0u);
}

TEST(WriteChart, FailsNamingThePathAndLeavesNothingBehind) {
    OutputScratch scratch;
    const Chart chart = LinearSample();
    struct Case {
        std::string path;
        std::string reason;
    };
    const Case cases[] = {
        {scratch.File("chart.gif"), ".svg, .png or .pdf"},
        {scratch.File("missing/chart.svg"), "chart.svg"},
        {scratch.File("folder.png"), "directory"},
    };
    std::filesystem::create_directory(scratch.File("folder.png"));
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(WriteChart(chart, c.path, &error)) << c.path;
        EXPECT_EQ(error.rfind(c.path + ": ", 0), 0u) << error;
        EXPECT_NE(error.find(c.reason), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(WriteChart(Chart{}, scratch.File("empty.svg"), &error));
    EXPECT_EQ(error, scratch.File("empty.svg") + ": nothing to draw");
    EXPECT_EQ(NamesIn(scratch.path()), "folder.png ");
    EXPECT_EQ(NamesIn(scratch.File("folder.png")), "");
}

TEST(WriteChart, KeepsTheOldFileWhenTheNewOneCannotBeMade) {
    OutputScratch scratch;
    const std::string path = scratch.File("chart.svg");
    std::string error;
    ASSERT_TRUE(WriteChart(LinearSample(), path, &error)) << error;
    const std::string before = FileBytes(path);
    EXPECT_FALSE(WriteChart(Chart{"nothing", {}, {}, {}}, path, &error));
    EXPECT_EQ(FileBytes(path), before);
    EXPECT_FALSE(WriteChart(LinearSample(), "/dev/full", &error));
    EXPECT_EQ(error.rfind("/dev/full: ", 0), 0u) << error;
    EXPECT_EQ(NamesIn(scratch.path()), "chart.svg ");
}

}  // namespace
}  // namespace tarnvel::curves
