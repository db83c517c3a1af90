// Ticks and ranges of chart axes: nice linear steps, decades on logarithmic
// axes, ranges taken from the data, and values that cannot be placed.
#include "curves/chart_axes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace tarnvel::curves {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInfinity = std::numeric_limits<double>::infinity();

Axis Linear(double min = 0.0, double max = 0.0) {
    return Axis{"x", false, min, max};
}

Axis Log(double min = 0.0, double max = 0.0) {
    return Axis{"x", true, min, max};
}

std::vector<std::string> Labels(const AxisScale& scale) {
    std::vector<std::string> labels;
    for (const Tick& tick : scale.ticks) {
        if (!tick.label.empty())
            labels.push_back(tick.label + (tick.exponent.empty() ? "" : "^" + tick.exponent));
    }
    return labels;
}

int Count(const AxisScale& scale, bool major) {
    int count = 0;
    for (const Tick& tick : scale.ticks) count += tick.major == major ? 1 : 0;
    return count;
}

// Every tick lies in the range, in increasing order.
void ExpectOrderedWithin(const AxisScale& scale) {
    for (std::size_t i = 0; i < scale.ticks.size(); ++i) {
        EXPECT_GE(scale.ticks[i].value, scale.min * (scale.min > 0 ? 1 - 1e-9 : 1 + 1e-9));
        EXPECT_LE(scale.ticks[i].value, scale.max * (scale.max > 0 ? 1 + 1e-9 : 1 - 1e-9));
        if (i > 0) {
            EXPECT_LT(scale.ticks[i - 1].value, scale.ticks[i].value);
        }
    }
}

TEST(NiceStep, RoundsUpToOneTwoOrFiveTimesAPowerOfTen) {
    EXPECT_DOUBLE_EQ(NiceStep(0.7), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(1.0), 1.0);
    EXPECT_DOUBLE_EQ(NiceStep(1.2), 2.0);
    EXPECT_DOUBLE_EQ(NiceStep(3.0), 5.0);
    EXPECT_DOUBLE_EQ(NiceStep(6.0), 10.0);
    EXPECT_DOUBLE_EQ(NiceStep(0.013), 0.02);
    EXPECT_DOUBLE_EQ(NiceStep(3e-7), 5e-7);
    EXPECT_DOUBLE_EQ(NiceStep(4e200), 5e200);
}

TEST(LinearAxis, TakesNiceRoundedBoundsFromTheData) {
    const AxisScale scale = ScaleAxis(Linear(), {3.0, 97.0, 40.0});
    EXPECT_DOUBLE_EQ(scale.min, 0.0);
    EXPECT_DOUBLE_EQ(scale.max, 100.0);
    EXPECT_EQ(Labels(scale), (std::vector<std::string>{"0", "20", "40", "60", "80", "100"}));

    const AxisScale small = ScaleAxis(Linear(), {0.0012, 0.0047});
    EXPECT_DOUBLE_EQ(small.min, 0.001);
    EXPECT_DOUBLE_EQ(small.max, 0.005);
    EXPECT_EQ(Labels(small),
              (std::vector<std::string>{"0.0010", "0.0015", "0.0020", "0.0025", "0.0030", "0.0035",
                                        "0.0040", "0.0045", "0.0050"}));

    const AxisScale negative = ScaleAxis(Linear(), {-7.0, -3.0});
    EXPECT_EQ(Labels(negative), (std::vector<std::string>{"-7.0", "-6.5", "-6.0", "-5.5", "-5.0",
                                                          "-4.5", "-4.0", "-3.5", "-3.0"}));
}

TEST(LinearAxis, LabelsZeroWithoutASignAndKeepsDecimalsOfTheStep) {
    const AxisScale scale = ScaleAxis(Linear(), {-1.0, 1.0});
    EXPECT_EQ(Labels(scale), (std::vector<std::string>{"-1.0", "-0.5", "0", "0.5", "1.0"}));
    const AxisScale temperatures = ScaleAxis(Linear(), {20.0, 330.0});
    EXPECT_EQ(Labels(temperatures),
              (std::vector<std::string>{"0", "50", "100", "150", "200", "250", "300", "350"}));
}

TEST(LinearAxis, PadsASingleValue) {
    const AxisScale five = ScaleAxis(Linear(), {5.0, 5.0});
    EXPECT_LT(five.min, 5.0);
    EXPECT_GT(five.max, 5.0);
    EXPECT_GE(five.ticks.size(), 3u);
    const AxisScale zero = ScaleAxis(Linear(), {0.0});
    EXPECT_DOUBLE_EQ(zero.min, -1.0);
    EXPECT_DOUBLE_EQ(zero.max, 1.0);
    ExpectOrderedWithin(five);
}

TEST(LinearAxis, HandlesTinyAndHugeRangesWithExponentLabels) {
    const AxisScale tiny = ScaleAxis(Linear(), {1e-12, 3e-12});
    EXPECT_EQ(Labels(tiny).front(), "1.0e-12");
    EXPECT_EQ(Labels(tiny).back(), "3.0e-12");
    ExpectOrderedWithin(tiny);

    const AxisScale huge = ScaleAxis(Linear(), {-1e308, 1.7e308});
    EXPECT_TRUE(std::isfinite(huge.min));
    EXPECT_TRUE(std::isfinite(huge.max));
    EXPECT_GE(huge.ticks.size(), 3u);
    EXPECT_LE(huge.ticks.size(), 12u);
    for (const Tick& tick : huge.ticks)
        EXPECT_TRUE(tick.label == "0" || tick.label.find('e') != std::string::npos);
    ExpectOrderedWithin(huge);
    EXPECT_NEAR(ScaleFraction(huge, huge.max), 1.0, 1e-12);

    const AxisScale nearly_one = ScaleAxis(Linear(), {1.0, 1.0 + 1e-13});
    EXPECT_LT(nearly_one.min, 1.0);
    EXPECT_GT(nearly_one.max, 1.0);
}

TEST(LinearAxis, KeepsAGivenRangeAndIgnoresValuesThatCannotBePlaced) {
    const AxisScale given = ScaleAxis(Linear(180.0, 290.0), {0.0, 1000.0});
    EXPECT_DOUBLE_EQ(given.min, 180.0);
    EXPECT_DOUBLE_EQ(given.max, 290.0);
    EXPECT_EQ(Labels(given), (std::vector<std::string>{"180", "200", "220", "240", "260", "280"}));

    const AxisScale data = ScaleAxis(Linear(), {kNaN, 2.0, kInfinity, 8.0, -kInfinity});
    EXPECT_DOUBLE_EQ(data.min, 2.0);
    EXPECT_DOUBLE_EQ(data.max, 8.0);

    const AxisScale nothing = ScaleAxis(Linear(), {kNaN});
    EXPECT_DOUBLE_EQ(nothing.min, 0.0);
    EXPECT_DOUBLE_EQ(nothing.max, 1.0);
}

TEST(LogAxis, CoversTheDataWithWholeDecadesAndTicksEachOne) {
    const AxisScale scale = ScaleAxis(Log(), {3.0, 4e5, 70.0});
    EXPECT_DOUBLE_EQ(scale.min, 1.0);
    EXPECT_DOUBLE_EQ(scale.max, 1e6);
    EXPECT_EQ(Labels(scale),
              (std::vector<std::string>{"1", "10", "100", "1000", "10^4", "10^5", "10^6"}));
    EXPECT_EQ(Count(scale, true), 7);
    EXPECT_EQ(Count(scale, false), 6 * 8);  // 2..9 in each of six decades
    ExpectOrderedWithin(scale);
    EXPECT_NEAR(ScaleFraction(scale, 1000.0), 0.5, 1e-12);
}

TEST(LogAxis, LabelsSmallDecadesAsDecimalsThenAsPowers) {
    const AxisScale scale = ScaleAxis(Log(), {2e-5, 0.5});
    EXPECT_EQ(Labels(scale),
              (std::vector<std::string>{"10^-5", "10^-4", "0.001", "0.01", "0.1", "1"}));
}

TEST(LogAxis, WidensASingleValueToDecadesAroundIt) {
    const AxisScale decade = ScaleAxis(Log(), {100.0});
    EXPECT_DOUBLE_EQ(decade.min, 10.0);
    EXPECT_DOUBLE_EQ(decade.max, 1000.0);
    const AxisScale between = ScaleAxis(Log(), {150.0, 150.0});
    EXPECT_DOUBLE_EQ(between.min, 100.0);
    EXPECT_DOUBLE_EQ(between.max, 1000.0);
}

TEST(LogAxis, LabelsEveryFewDecadesOverHugeRangesWithoutMinorTicks) {
    const AxisScale scale = ScaleAxis(Log(), {1e-100, 1e100});
    const std::vector<std::string> labels = Labels(scale);
    EXPECT_GE(labels.size(), 5u);
    EXPECT_LE(labels.size(), 11u);
    EXPECT_EQ(labels.front(), "10^-100");
    EXPECT_EQ(labels.back(), "10^100");
    for (const Tick& tick : scale.ticks) {
        const double decade = std::log10(tick.value);
        EXPECT_NEAR(decade, std::round(decade), 1e-9) << "only decades are ticked";
    }
    ExpectOrderedWithin(scale);

    const AxisScale extreme = ScaleAxis(Log(), {1e-320, 1e308});
    EXPECT_GT(extreme.min, 0.0);
    EXPECT_TRUE(std::isfinite(extreme.max));
}

TEST(LogAxis, LabelsMinorTicksWhenLessThanADecadeIsShown) {
    const AxisScale scale = ScaleAxis(Log(200.0, 800.0), {});
    EXPECT_EQ(Count(scale, true), 0);
    EXPECT_EQ(Labels(scale),
              (std::vector<std::string>{"200", "300", "400", "500", "600", "700", "800"}));
    ExpectOrderedWithin(scale);

    const AxisScale partial = ScaleAxis(Log(30.0, 3000.0), {});
    EXPECT_EQ(Labels(partial),
              (std::vector<std::string>{"50", "100", "200", "500", "1000", "2000"}));
}

TEST(LogAxis, IgnoresValuesThatAreNotPositiveAndRangesThatCannotBeLogarithmic) {
    const AxisScale data = ScaleAxis(Log(), {-5.0, 0.0, kNaN, 20.0, 300.0, kInfinity});
    EXPECT_DOUBLE_EQ(data.min, 10.0);
    EXPECT_DOUBLE_EQ(data.max, 1000.0);
    const AxisScale given = ScaleAxis(Log(-1.0, 100.0), {5.0, 50.0});
    EXPECT_DOUBLE_EQ(given.min, 1.0);
    EXPECT_DOUBLE_EQ(given.max, 100.0);
    EXPECT_FALSE(PlottableOn(0.0, true));
    EXPECT_TRUE(PlottableOn(0.0, false));
    EXPECT_FALSE(PlottableOn(kNaN, false));
}

}  // namespace
}  // namespace tarnvel::curves
