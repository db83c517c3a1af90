#include "matdb/md_export_format.h"

#include <gtest/gtest.h>

#include <unistd.h>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "material/asc_reader.h"

namespace tarnvel::matdb {
namespace {

TEST(ExportFormatTest, ValueFormsOfTheKeywordLines) {
    EXPECT_EQ(md_export_real("K", 123.456), "K: 0.123456E+03\n");
    EXPECT_EQ(md_export_real("K", NAN), "K: -.163840E+05\n");
    EXPECT_EQ(md_export_real("K", INFINITY), "K: -.163840E+05\n");
    EXPECT_EQ(md_export_real("K", 1e120), "K: -.163840E+05\n");
    EXPECT_EQ(md_export_integer("K", -42), "K:      -42\n");
    EXPECT_EQ(md_export_text("K", "PP   "), "K: PP\n");
    EXPECT_EQ(md_export_long_text("K", "A grade  "), "K: \\\nA grade\n");
    // A stored line end would start a keyword line of its own: the text
    // ends there.
    EXPECT_EQ(md_export_text("K", "PP  \nMATERIAL_GRADE: X"), "K: PP\n");
    EXPECT_EQ(md_export_long_text("K", "notes\r\nMATERIAL_NOTES"), "K: \\\nnotes\n");
    EXPECT_EQ(md_export_list("K", std::vector<double>{1, 2}, 2),
              "K:  0.100000E+01  0.200000E+01  \n");
    EXPECT_EQ(md_export_list("K", std::vector<double>{}, 1), "");
    // Several rows: one row per line, the last without a backslash.
    EXPECT_EQ(md_export_list("K", std::vector<double>{1, 2, 3}, 1),
              "K: \\\n  0.100000E+01 \\\n  0.200000E+01 \\\n  0.300000E+01 \n");
    // A row of more than 5 values that leaves the keyword line continues
    // on the next one.
    const std::vector<std::int32_t> six = {1, 2, 3, 4, 5, 6};
    const std::string keyword(50, 'K');
    EXPECT_EQ(
        md_export_integer_list(keyword, six, 6),
        keyword + ": \\\n         1         2         3         4         5 \\\n         6 \n");
}

TEST(ExportFormatTest, AOneRowListTooWideForTheKeywordLineGoesOnItsOwnLines) {
    const std::string keyword(129 - 14 * 2, 'K');
    EXPECT_EQ(md_export_list(keyword, std::vector<double>{1, 2}, 2).find("\\\n"),
              keyword.size() + 2);
    const std::string shorter(128 - 14 * 2, 'K');
    EXPECT_EQ(md_export_list(shorter, std::vector<double>{1, 2}, 2).find('\\'), std::string::npos);
}

TEST(ExportFormatTest, TheKeywordReaderTakesEveryFormBack) {
    std::string file;
    file += md_export_long_text("MATERIAL_DESCRIPTION", "G1     A TEST GRADE");
    file += md_export_real("MATERIAL_THERMAL_CONDUCTIVITY_SINGLE", 0.1875);
    file += md_export_text("MATERIAL_MATERIAL_FAMILY", "PP");
    const std::vector<double> second = {14.0, -0.35, -0.021, -0.012, 0.0004, 0.00002};
    file += md_export_list("MATERIAL_VISCOSITY_MODEL_2ND_ORDER_COEFFICIENTS", second, 1);
    std::vector<double> points;
    for (int i = 0; i < 18; ++i) points.push_back(100.0 + i * 7.5);
    file += md_export_list("MATERIAL_VISCOSITY_STD_POINT_DATA", points, 3);
    const std::vector<std::int32_t> index = {1, 2, 3, 4, 5};
    file += md_export_integer_list("MATERIAL_THERMOSET_INDEX", index, 5);

    char path[] = "/tmp/export-format-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, file.data(), file.size()), static_cast<ssize_t>(file.size()));
    close(fd);
    const auto record = material::MAscReader().Read(path);
    std::remove(path);
    (std::remove((std::string(path) + material::kKeywordLogSuffix).c_str()));
    ASSERT_TRUE(record);
    EXPECT_EQ(material::TextOf(record->description), "G1     A TEST GRADE");
    EXPECT_DOUBLE_EQ(record->thermalConductivity, 0.1875);
    EXPECT_EQ(material::TextOf(record->family), "PP");
    for (std::size_t i = 0; i < second.size(); ++i) {
        EXPECT_NEAR(record->viscosity2ndOrder[i], second[i], std::fabs(second[i]) * 1e-6) << i;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        EXPECT_NEAR(record->viscosityStdPoints[i], points[i], points[i] * 1e-6) << i;
    }
    for (std::size_t i = 0; i < index.size(); ++i) EXPECT_EQ(record->thermosetIndex[i], index[i]);
}

}  // namespace
}  // namespace tarnvel::matdb
