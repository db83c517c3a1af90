#include "matdb/md_export.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "material/asc_reader.h"
#include "rax_test_support.h"

namespace tarnvel::matdb {
namespace {

using tarnvel::testing::BuildPersonal;
using tarnvel::testing::Coefficients;
using tarnvel::testing::Grade;
using tarnvel::testing::Points;
using tarnvel::testing::ReadBytes;
using tarnvel::testing::Single;
using tarnvel::testing::Text;

class ExportTest : public tarnvel::testing::DatabaseTest {
  protected:
    int Export(std::vector<std::string> words) {
        std::vector<const char*> argv = {"tarnvel-export"};
        for (const std::string& w : words) argv.push_back(w.c_str());
        return md_export_entry(static_cast<int>(argv.size()), argv.data());
    }
    int Export(const std::string& grade) {
        return Export({"-supplier", "ACME", "-grade", grade, "-output", Path("out.kwd")});
    }
    std::string Output() { return ReadBytes(Path("out.kwd")); }
    std::unique_ptr<material::MaterialRecord> ReadBack() {
        return material::MAscReader().Read(Path("out.kwd").c_str());
    }
};

// A 2nd-order viscosity model sampled as a 3 x 4 grid.
std::vector<float> ViscosityGrid() {
    std::vector<float> values;
    for (double t : {200.0, 230.0, 260.0}) {
        for (double s : {10.0, 100.0, 1000.0, 10000.0}) {
            const double x = std::log(s);
            const double v = std::exp(14.0 - 0.35 * x - 0.021 * t - 0.012 * x * x + 0.0004 * t * x +
                                      0.00002 * t * t);
            values.insert(values.end(), {float(t), float(s), float(v)});
        }
    }
    return values;
}

TEST_F(ExportTest, ConductivityAsStandardPointsIsWrittenAsTheUnsetMarker) {
    BuildPersonal(root_, {Grade("ACME", "G1", "TEST GRADE",
                                {Points(1, {1}, {100, 0.2f, 200, 0.25f}), Single(2, 1800)})});
    capture_.Take();
    ASSERT_EQ(Export("G1"), 0);
    const std::string printed = capture_.Take();
    EXPECT_NE(printed.find("Warning: \"Standard Points\" is not a usable model format for "
                           "\"Conductivity\"\n"),
              std::string::npos)
        << printed;
    const std::string file = Output();
    EXPECT_NE(file.find("MATERIAL_THERMAL_CONDUCTIVITY_SINGLE: -.163840E+05\n"), std::string::npos)
        << file;
    EXPECT_NE(file.find("MATERIAL_THERMAL_SPECIFIC_HEAT_SINGLE: 0.180000E+04\n"),
              std::string::npos);
    EXPECT_EQ(file.find("MATERIAL_DESCRIPTION: \\\nG1     TEST GRADE\nMATERIAL_GRADE: G1\n"
                        "MATERIAL_SUPPLIER: ACME\n"),
              0u)
        << file;
}

TEST_F(ExportTest, AGradeOfViscosityPointsOnlyWritesThePointsAndTheFittedModels) {
    BuildPersonal(root_, {Grade("ACME", "G2", "VISCOUS", {Points(6, {1, 6}, ViscosityGrid())})});
    ASSERT_EQ(Export("G2"), 0);
    const std::string file = Output();
    for (const char* keyword : {"MATERIAL_VISCOSITY_MODEL_1ST_ORDER_COEFFICIENTS: \\\n",
                                "MATERIAL_VISCOSITY_MODEL_2ND_ORDER_COEFFICIENTS: \\\n",
                                "MATERIAL_VISCOSITY_MODEL_MATRIX_LN_SHEAR_COEFFICIENTS: \\\n",
                                "MATERIAL_VISCOSITY_MODEL_MATRIX_TEMPERATURE_COEFFICIENTS: \\\n",
                                "MATERIAL_VISCOSITY_MODEL_MATRIX_LN_VISCOSITY_COEFFICIENTS: \\\n",
                                "MATERIAL_VISCOSITY_STD_POINT_DATA: \\\n"}) {
        EXPECT_NE(file.find(keyword), std::string::npos) << keyword;
    }
    const auto record = ReadBack();
    ASSERT_TRUE(record);
    // The stored points are single precision, so the fit is near, not equal.
    EXPECT_NEAR(record->viscosity2ndOrder[0], 14.0, 1e-2);
    EXPECT_NEAR(record->viscosity2ndOrder[3], -0.012, 1e-4);
    EXPECT_LT(record->viscosity1stOrder[1], 0.0);
    EXPECT_DOUBLE_EQ(record->viscosityMatrixTemperature[2], 260.0);
    EXPECT_NEAR(record->viscosityMatrixLnShear[1], std::log(100.0), 1e-5);
    EXPECT_EQ(record->viscosityMatrixLnViscosity[4], -16384.0);
    EXPECT_DOUBLE_EQ(record->viscosityStdPoints[3 * 5 + 1], 100.0);
}

TEST_F(ExportTest, AFailedFitWritesNoViscosityLine) {
    std::vector<float> values = ViscosityGrid();
    values.resize(11 * 3);
    BuildPersonal(root_, {Grade("ACME", "G3", "BROKEN GRID", {Points(6, {1, 6}, values)})});
    capture_.Take();
    ASSERT_EQ(Export("G3"), 0);
    EXPECT_NE(capture_.Take().find("Varying number of temperatures in block"), std::string::npos);
    EXPECT_EQ(Output().find("VISCOSITY"), std::string::npos) << Output();
}

TEST_F(ExportTest, TextsAreCutToTheirWidthsAndReadBack) {
    BuildPersonal(root_, {Grade("ACME", "G4", "TEXTS",
                                {Text(58, "POLYPROPYLENE-X"), Text(77, std::string(60, 'T')),
                                 Text(100, "yes"), Text(104, "a note"), Text(105, "cross-wlf"),
                                 Coefficients(65, 0, {0.1f, 0.2f, 0.3f})})});
    capture_.Take();
    ASSERT_EQ(Export({"-supplier", "ACME", "-gradeX", "G4", "-database", "local", "-output",
                      Path("out.kwd")}),
              0);
    EXPECT_NE(capture_.Take().find(
                  "Warning: Shrinkage Predictive Error should have 2 coefficients, not 3 - "
                  "Discarded.\n"),
              std::string::npos);
    const std::string file = Output();
    EXPECT_NE(file.find("MATERIAL_DATABASE_TYPE: LOCAL\n"), std::string::npos);
    EXPECT_NE(file.find("MATERIAL_MATERIAL_FAMILY: POLYPROPYL\n"), std::string::npos) << file;
    EXPECT_NE(file.find("MATERIAL_TRADE_NAME: \\\n" + std::string(50, 'T') + "\n"),
              std::string::npos);
    EXPECT_NE(file.find("MATERIAL_DEFAULT_VISCOSITY_MODEL: CROSS-WLF\n"), std::string::npos);
    EXPECT_EQ(file.find("MATERIAL_SHRINKAGE_PREDICTIVE_ERROR"), std::string::npos);
    const auto record = ReadBack();
    ASSERT_TRUE(record);
    EXPECT_TRUE(record->crystalline);
    EXPECT_EQ(material::TextOf(record->tradeName), std::string(50, 'T'));
    EXPECT_EQ(material::TextOf(record->notes), "a note");
}

TEST_F(ExportTest, UsageAndMissingGradesWriteNoFile) {
    BuildPersonal(root_, {Grade("ACME", "G5", "X", {Single(2, 1800)})});
    capture_.Take();
    EXPECT_EQ(
        Export({"-supplier", std::string(49, 'S'), "-grade", "G5", "-output", Path("out.kwd")}), 1);
    EXPECT_NE(capture_.Take().find("Usage: tarnvel-export -supplier sup -grade code -output file"),
              std::string::npos);
    EXPECT_EQ(Export("NOPE"), 1);
    EXPECT_NE(capture_.Take().find("not found on any open database"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("out.kwd")));
    EXPECT_EQ(Export({"-supplier", "ACME", "-grade", "G5", "-output", Path("no/such/out.kwd")}), 1);
    EXPECT_EQ(Export({"-supplier", "ACME", "-grade", "G5", "-output", root_}), 1);
    EXPECT_EQ(Export("G5"), 0);
    // A later export that fails leaves the earlier file as it was.
    const std::string before = Output();
    EXPECT_EQ(Export("NOPE"), 1);
    EXPECT_EQ(Output(), before);
}

}  // namespace
}  // namespace tarnvel::matdb
