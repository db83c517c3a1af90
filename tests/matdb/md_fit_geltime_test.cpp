#include "matdb/md_fit_geltime.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fit_test_support.h"

namespace tarnvel::matdb {
namespace {

using fit::kTemperature;
using testing::Printed;
using testing::Table;

MdGelTimeSegments Fit(const Table& table, std::string* printed = nullptr) {
    MdGelTimeSegments result;
    const std::string text = Printed([&] { result = md_fit_gel_time(table.view()); });
    if (printed) *printed = text;
    return result;
}

TEST(GelTimeSegmentsTest, EachSegmentMeetsItsTwoPointsInKelvin) {
    Table table{kTemperature};
    table.Row({120, 300}).Row({140, 120}).Row({160, 45}).Row({180, 20});
    const MdGelTimeSegments s = Fit(table);
    ASSERT_EQ(s.error, 0);
    ASSERT_EQ(s.count, 3u);
    for (std::size_t i = 0; i < s.count; ++i) {
        for (std::size_t end : {i, i + 1}) {
            const double kelvin = table.at(end, 0) + 273.2;
            EXPECT_NEAR(s.intercept[i] + s.slope[i] / kelvin, std::log(table.at(end, 1)), 1e-12)
                << i << " " << end;
        }
    }
    // The same pairs as a coefficient list give the same segments.
    const std::vector<double> pairs = {120, 300, 140, 120, 160, 45, 180, 20};
    const MdGelTimeSegments listed = md_gel_time_segments(pairs);
    EXPECT_EQ(listed.count, 3u);
    EXPECT_EQ(listed.intercept, s.intercept);
    EXPECT_EQ(listed.slope, s.slope);
}

TEST(GelTimeSegmentsTest, BadTablesAreReportedUnderTheGelTimeContext) {
    Table seven{kTemperature};
    for (int i = 0; i < 7; ++i) seven.Row({100.0 + 10 * i, 100.0 - i});
    std::string printed;
    EXPECT_EQ(Fit(seven, &printed).error, 10026);
    EXPECT_NE(printed.find("Error in retrieving Gel Time Data\n"), std::string::npos);
    EXPECT_NE(printed.find("Max=           6\n"), std::string::npos) << printed;

    Table by_time{fit::kPressure};
    by_time.Row({0, 100}).Row({1e8, 50});
    EXPECT_EQ(Fit(by_time).error, 10025);
    Table one{kTemperature};
    one.Row({120, 300});
    EXPECT_EQ(Fit(one).error, 10027);
    Table equal{kTemperature};
    equal.Row({120, 300}).Row({120, 200});
    const MdGelTimeSegments s = Fit(equal);
    EXPECT_EQ(s.error, 10025);
    EXPECT_EQ(s.count, 0u);
    Table zero_time{kTemperature};
    zero_time.Row({120, 300}).Row({140, 0});
    EXPECT_EQ(Fit(zero_time).error, 10025);
    Table nan{kTemperature};
    nan.Row({120, 300}).Row({NAN, 100});
    EXPECT_EQ(Fit(nan).error, 10015);
}

}  // namespace
}  // namespace tarnvel::matdb
