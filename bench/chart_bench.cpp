// Drawing a busy chart: 20 series of 200 points on logarithmic axes, each
// with a legend entry and every fourth with markers, as SVG, PNG and PDF
// written to /dev/null (the time of one chart: the goal of a plot command
// is well under 100 ms).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "curves/chart.h"

namespace {

using tarnvel::curves::Chart;
using tarnvel::curves::ImageFormat;
using tarnvel::curves::LineStyle;
using tarnvel::curves::Marker;
using tarnvel::curves::Series;

constexpr int kSeries = 20;
constexpr int kPoints = 200;

Chart BusyChart() {
    Chart chart{"Viscosity of twenty curves",
                {"Shear rate (1/s)", true, 0, 0},
                {"Viscosity (Pa·s)", true, 0, 0},
                {}};
    for (int s = 0; s < kSeries; ++s) {
        Series series{"GRADE " + std::to_string(s / 4) + ", Cross-WLF, " +
                          std::to_string(200 + 10 * (s % 4)) + " °C",
                      s / 4,
                      true,
                      static_cast<LineStyle>(s % 4),
                      s % 4 == 0 ? Marker::kCircle : Marker::kNone,
                      {}};
        const double zero_shear = 5000.0 / (1 + s);
        for (int i = 0; i < kPoints; ++i) {
            const double rate = std::pow(10.0, 6.0 * i / (kPoints - 1));
            series.points.emplace_back(rate,
                                       zero_shear / (1 + std::pow(zero_shear * rate / 3e4, 0.7)));
        }
        chart.series.push_back(series);
    }
    return chart;
}

void Draw(benchmark::State& state, ImageFormat format) {
    const Chart chart = BusyChart();
    std::FILE* out = std::fopen("/dev/null", "wb");
    std::string error;
    for (auto _ : state) {
        if (!tarnvel::curves::DrawChart(chart, format, out, &error))
            state.SkipWithError(error.c_str());
    }
    std::fclose(out);
}

void BM_DrawSvg(benchmark::State& state) {
    Draw(state, ImageFormat::kSvg);
}
void BM_DrawPng(benchmark::State& state) {
    Draw(state, ImageFormat::kPng);
}
void BM_DrawPdf(benchmark::State& state) {
    Draw(state, ImageFormat::kPdf);
}

}  // namespace

BENCHMARK(BM_DrawSvg)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawPng)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawPdf)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
