#include "matdb/md_report.h"

#include "matdb/md_catalogue.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace tarnvel::matdb {
namespace {

MdProperty Single(int property, float value, int inherited = 0) {
    MdProperty item;
    item.property = property;
    item.format = MD_SINGLE_POINT;
    item.values = {MdWord::Real(value)};
    item.inherited = inherited;
    return item;
}

MdProperty Coefficients(int property, std::vector<MdWord> values, int model = 0) {
    MdProperty item;
    item.property = property;
    item.format = MD_COEFFICIENTS;
    item.model = model;
    item.values = std::move(values);
    return item;
}

MdProperty Text(int property, std::string text) {
    MdProperty item;
    item.property = property;
    item.format = MD_TEXT;
    item.text = std::move(text);
    return item;
}

MdGrade Grade(std::vector<MdProperty> items) {
    MdGrade grade;
    grade.supplier = "ACME";
    grade.code = "PP100";
    grade.description = "GENERAL PURPOSE";
    grade.items = std::move(items);
    return grade;
}

std::string Pad45(std::string label) {
    label.resize(45, ' ');
    return label;
}

// Everything after the summary.
std::string Body(const MdGrade& grade) {
    const std::string text = md_report_text(grade, "Local", 0);
    const std::string end = "PP100 GENERAL PURPOSE\n\n";
    const std::size_t at = text.find(end);
    EXPECT_NE(at, std::string::npos);
    return at == std::string::npos ? text : text.substr(at + end.size());
}

TEST(ReportSummary, NamesDatabaseSupplierGradeAndDescription) {
    EXPECT_EQ(md_report_text(Grade({}), "Local", 0),
              "\nMaterial DATABASE type : MATDB <Local>\n"
              "SUPPLIER/file name     : ACME\n"
              "GRADE code             : PP100\n"
              "Material description   :\nPP100 GENERAL PURPOSE\n\n");
    EXPECT_NE(md_report_text(Grade({}), nullptr, 0).find("type : OLD\nSUPPLIER"),
              std::string::npos);
}

TEST(ReportSummary, ModelOrderOnlyWhenViscosityIsPresent) {
    const MdGrade with = Grade({Single(kMdViscosity, 100.0f)});
    EXPECT_NE(md_report_text(with, "Local", 0).find("Material MODEL order   : DEFAULT\n"),
              std::string::npos);
    EXPECT_NE(md_report_text(with, "Local", 3).find("Material MODEL order   : 3\n"),
              std::string::npos);
    EXPECT_EQ(md_report_text(Grade({Single(1, 0.2f)}), "Local", 3).find("MODEL order"),
              std::string::npos);
    // The notes of the viscosity fit follow the model line, and only there.
    const std::string note = "Viscosity 2nd Order model not fitted: reason\n";
    EXPECT_NE(md_report_text(with, "Local", 3, note)
                  .find("Material MODEL order   : 3\n" + note + "Material description"),
              std::string::npos);
    EXPECT_EQ(md_report_text(Grade({Single(1, 0.2f)}), "Local", 3, note).find(note),
              std::string::npos);
}

TEST(ReportItems, SinglePointConductivityUnderThermalProperties) {
    EXPECT_EQ(
        Body(Grade({Single(kMdConductivity, 0.25f)})),
        "\nThermal Properties:\n\n" + Pad45("Conductivity") + "          0.250000 W/m/degC\n");
}

TEST(ReportItems, SinglePointsAreShownInMetricUnits) {
    // Maximum Shear Stress is stored in Pa and shown in MPa; the unset
    // marker is shown as it is; a dimensionless property has a blank unit.
    EXPECT_EQ(Body(Grade({Single(50, 2.5e5f), Single(51, -16384.0f), Single(8, 3.0f)})),
              "\nProcessing Conditions:\n\n" + Pad45("Maximum Shear Stress") +
                  "          0.250000 MPa\n"
                  "\nThermal Properties:\n\n" +
                  Pad45("Maximum Shear Stress Cavity") + "     -16384.000000 MPa\n" +
                  Pad45("Tensile Modulus") + "          3.000000 \n");
}

TEST(ReportItems, InheritedLabelsBeginWithGeneric) {
    const std::string body = Body(Grade({Single(3, 900.0f, 1)}));
    EXPECT_NE(body.find(Pad45("Generic Melt Density") + "        900.000000 kg/cu.m\n"),
              std::string::npos)
        << body;
}

TEST(ReportItems, PvtTableInMpaWithThreeAndSixDecimals) {
    MdProperty pvt;
    pvt.property = kMdPvtSpecificVolume;
    pvt.format = MD_STANDARD_POINTS;
    pvt.variables = {1, 4};  // Temperature, Pressure
    pvt.values = {MdWord::Real(200.0f), MdWord::Real(5e7f), MdWord::Real(0.00095f),
                  MdWord::Real(250.5f), MdWord::Real(0.0f), MdWord::Real(0.00125f)};
    EXPECT_EQ(Body(Grade({pvt})),
              "\nThermal Properties:\n\n"
              "\n" +
                  Pad45("PVT Specific Volume") +
                  "\n\n"
                  "      Temperature          Pressure  PVT Specific Volume\n"
                  "            deg.C               MPa           cu.cm/g\n"
                  "          200.000            50.000          0.950000 \n"
                  "          250.500             0.000          1.250000 \n");
}

TEST(ReportItems, GenericLinkPrintsItsTargetUnderABareLineFeed) {
    MdProperty link = Text(kMdGenericLink, "GENERIC PP");
    EXPECT_EQ(Body(Grade({Single(1, 0.2f), link})),
              "\nThermal Properties:\n\n" + Pad45("Conductivity") +
                  "          0.200000 W/m/degC\n"
                  "\n\nThis grade has a generic link to GENERIC PP\n");
}

TEST(ReportItems, TextsAndUnprintableFormats) {
    MdProperty odd = Single(77, 1.0f);
    odd.format = 3;
    EXPECT_EQ(Body(Grade({Text(77, "Polyfine 100"), odd})),
              "\nMaterial Characteristics:\n\n" + Pad45("Trade Name") + "  \"Polyfine 100\"\n" +
                  Pad45("Trade Name") + "Present, but not printable.\n");
}

TEST(ReportCoefficients, FourPerLineUnconvertedWithViscosityModel) {
    std::vector<MdWord> values;
    for (float v : {1.0f, 2.0f, 3.0f, 4.0f, 5.0f}) values.push_back(MdWord::Real(v));
    EXPECT_EQ(Body(Grade({Coefficients(kMdViscosity, values, 2)})),
              "\nThermal Properties:\n\n\n" + Pad45("Viscosity") +
                  "Thermoset Model 2\n"
                  "\n     1.000000e+00      2.000000e+00      3.000000e+00      4.000000e+00 "
                  "\n     5.000000e+00 \n");
}

TEST(ReportCoefficients, KineticSixPerLine) {
    std::vector<MdWord> values;
    for (int i = 1; i <= 7; ++i) values.push_back(MdWord::Real(static_cast<float>(i) * 1.5f));
    EXPECT_EQ(Body(Grade({Coefficients(kMdKinetic, values)})),
              "\nThermoset Properties:\n\n\n" + Pad45("Kinetic") +
                  "\n        1.5           3         4.5           6         7.5           9 "
                  "\n       10.5 \n");
}

TEST(ReportCoefficients, ShrinkageVersionsThenParallelAndPerpendicularSets) {
    std::vector<MdWord> values = {MdWord::Integer(3), MdWord::Integer(7)};
    for (int i = 0; i < 24; ++i) values.push_back(MdWord::Real(static_cast<float>(i)));
    const std::string body = Body(Grade({Coefficients(kMdShrinkage, values)}));
    const std::string parallel =
        "VTL 3 SHR 7\n\n   Parallel Shrinkage Coefficients,Min,Max,Centroid\n"
        "     0.000000e+00 ";
    EXPECT_NE(body.find(Pad45("Shrinkage") + parallel), std::string::npos) << body;
    const std::string perpendicular =
        "     1.900000e+01 \n   Perpendicular Shrinkage Coefficients,Min,Max,Centroid\n"
        "     2.000000e+01 ";
    EXPECT_NE(body.find(perpendicular), std::string::npos) << body;
    EXPECT_TRUE(body.ends_with("     2.300000e+01 \n")) << body;
}

}  // namespace
}  // namespace tarnvel::matdb
