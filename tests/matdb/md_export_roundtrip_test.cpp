// Every keyword the export writes, read back by the keyword file reader:
// each fills its record field with the written value, except the few the
// reader keeps differently or does not know, which are listed with the
// difference.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "matdb/md_export.h"
#include "material/asc_reader.h"
#include "rax_test_support.h"

namespace tarnvel::matdb {
namespace {

using material::MaterialRecord;
using material::RealArray;
using material::RecordText;
using R = MaterialRecord;
using tarnvel::testing::BuildPersonal;
using tarnvel::testing::Coefficients;
using tarnvel::testing::Grade;
using tarnvel::testing::Points;
using tarnvel::testing::ReadBytes;
using tarnvel::testing::Single;
using tarnvel::testing::Text;

// The single-point properties the reader keeps, with their fields.
struct SingleField {
    int property;
    double R::*field;
};
constexpr SingleField kSingles[] = {
    {1, &R::thermalConductivity},
    {2, &R::specificHeat},
    {3, &R::density},
    {4, &R::freezeTemperature},
    {5, &R::noFlowTemperature},
    {18, &R::tensileModulusPerpendicularFiller},
    {19, &R::tensileModulusParallelFiller},
    {20, &R::poissonRatio12Filler},
    {21, &R::shearModulus12Filler},
    {22, &R::tensileModulusPerpendicularPolymer},
    {23, &R::tensileModulusParallelPolymer},
    {24, &R::poissonRatio12Polymer},
    {25, &R::shearModulus12Polymer},
    {26, &R::averageFiberLength},
    {27, &R::averageFiberDiameter},
    {28, &R::fiberVolumeFraction},
    {29, &R::tensileModulusPerpendicularComposite},
    {30, &R::tensileModulusParallelComposite},
    {31, &R::poissonRatioComposite},
    {43, &R::meltTemperatureMin},
    {44, &R::meltTemperatureMax},
    {45, &R::meltTemperatureDefault},
    {46, &R::moldTemperatureMin},
    {47, &R::moldTemperatureMax},
    {48, &R::moldTemperatureDefault},
    {49, &R::meltTemperatureAbsoluteMax},
    {50, &R::maxShearStress},
    {54, &R::maxShearRate},
    {66, &R::solidDensity},
};
// Single points whose keywords the reader does not know.
constexpr int kUnknownSingles[] = {34, 35, 36, 37, 67, 68, 69, 70, 92, 93, 95};

// Coefficient lists the reader keeps: property, field, values written.
struct ListField {
    int property;
    RealArray R::*field;
    std::size_t count;
};
constexpr ListField kLists[] = {
    {79, &R::viscosity1stOrder, 3},
    {80, &R::viscosity2ndOrder, 6},
    {83, &R::crossWlf, 7},
    {88, &R::pvtVantorel, 13},
    {89, &R::tait, 13},
    {65, &R::shrinkagePredictiveError, 2},
    {74, &R::extensionalViscosity, 10},
    {107, &R::residualStressCoefficients, 10},
};
// Lists whose keywords the reader does not know.
constexpr int kUnknownLists[] = {81, 82, 91, 94, 96, 97, 108};

struct TextField {
    int property;
    RecordText R::*field;
    const char* stored;
    const char* read;
};
constexpr TextField kTexts[] = {
    {58, &R::family, "PP", "PP"},
    {75, &R::meltFlowRate, "12 g/10 min (230 C/2.16 kg)", "12 g/10 min (230 C/2.16 kg)"},
    {77, &R::tradeName, "TRADE NAME", "TRADE NAME"},
    {78, &R::manufacturer, "MAKER", "MAKER"},
    {98, &R::characteristics, "CHARACTERISTIC", "CHARACTERISTIC"},
    {99, &R::viscosityIndex, "VI(240)0100", "VI(240)0100"},
    {101, &R::tester, "A TESTER", "A TESTER"},
    {102, &R::testDate, "2026-12-09", "2026-12-09"},
    {103, &R::materialNumber, "M-1", "M-1"},
    {104, &R::notes, "Some notes", "Some notes"},
    {105, &R::defaultViscosityModel, "Cross-WLF", "CROSS-WLF"},
    {106, &R::defaultPvtModel, "Tait", "TAIT"},
};

double ValueOf(int property, std::size_t i) {
    return property * 1.25 + static_cast<double>(i);
}

std::vector<float> Values(int property, std::size_t count) {
    std::vector<float> out;
    for (std::size_t i = 0; i < count; ++i) out.push_back(float(ValueOf(property, i)));
    return out;
}

// A list led by whole numbers 3, 4, ...: stored as integer words for
// Shrinkage (its two versions), as reals for Kinetic (its index), the way
// the tessel ASCII reader stores them.
MdProperty WholeLed(int property, std::size_t whole, std::size_t reals, bool integer_words) {
    MdProperty item = Coefficients(property, 0, {});
    for (std::size_t i = 0; i < whole; ++i) {
        const int n = int(i + 3);
        item.values.push_back(integer_words ? MdWord::Integer(n) : MdWord::Real(float(n)));
    }
    for (float v : Values(property, reals)) item.values.push_back(MdWord::Real(v));
    return item;
}

MdGrade EveryProperty() {
    std::vector<MdProperty> items;
    for (const SingleField& s : kSingles)
        items.push_back(Single(s.property, float(ValueOf(s.property, 0))));
    for (int p : kUnknownSingles) items.push_back(Single(p, float(ValueOf(p, 0))));
    for (const ListField& l : kLists)
        items.push_back(Coefficients(l.property, 0, Values(l.property, l.count)));
    for (int p : kUnknownLists) items.push_back(Coefficients(p, 0, Values(p, 6)));
    items.push_back(Coefficients(90, 0, {0.5f}));
    for (const TextField& t : kTexts) items.push_back(Text(t.property, t.stored));
    items.push_back(Text(76, "GLASS(30),TALC(5)"));
    items.push_back(Text(100, "yes"));
    items.push_back(Text(109, "residual stress"));
    items.push_back(WholeLed(59, 2, 84 + 40, true));
    items.push_back(WholeLed(60, 5, 40, false));
    items.push_back(Text(17, "GENSUP GEN1"));
    std::vector<float> viscosity;
    for (float t : {200.0f, 230.0f}) {
        for (float s : {10.0f, 100.0f, 1000.0f, 10000.0f}) {
            viscosity.insert(viscosity.end(), {t, s, 1e4f / (t * std::sqrt(s))});
        }
    }
    for (float s : {10.0f, 100.0f, 1000.0f, 10000.0f}) {
        viscosity.insert(viscosity.end(), {260.0f, s, 1e4f / (260.0f * std::sqrt(s)) * 0.9f});
    }
    items.push_back(Points(6, {1, 6}, viscosity));
    return Grade("ACME", "ALL", "EVERY PROPERTY", std::move(items));
}

class ExportRoundTripTest : public tarnvel::testing::DatabaseTest {};

TEST_F(ExportRoundTripTest, TheKeywordReaderFillsEveryFieldTheExportWrites) {
    BuildPersonal(root_, {EveryProperty()});
    const std::string path = Path("all.kwd");
    const char* argv[] = {"export",    "-supplier", "ACME",    "-grade",    "ALL",
                          "-database", "local",     "-output", path.c_str()};
    ASSERT_EQ(md_export_entry(9, argv), 0) << capture_.Take();
    const std::string file = ReadBytes(path);
    const auto record = material::MAscReader().Read(path.c_str());
    ASSERT_TRUE(record);

    for (const SingleField& s : kSingles) {
        const double expected = float(ValueOf(s.property, 0));
        EXPECT_NEAR((*record).*(s.field), expected, std::fabs(expected) * 1e-6) << s.property;
    }
    for (const ListField& l : kLists) {
        for (std::size_t i = 0; i < l.count; ++i) {
            const double expected = float(ValueOf(l.property, i));
            EXPECT_NEAR(((*record).*(l.field))[i], expected, std::fabs(expected) * 1e-6)
                << l.property << " " << i;
        }
    }
    for (const TextField& t : kTexts) {
        EXPECT_EQ(material::TextOf((*record).*(t.field)), t.read) << t.property;
    }
    EXPECT_NEAR(record->compressibility, 0.5, 1e-7);
    EXPECT_TRUE(record->crystalline);
    EXPECT_EQ(record->shrinkageFlowVersion, 3);
    EXPECT_EQ(record->shrinkageVersion, 4);
    EXPECT_NEAR(record->shrinkageData[83], float(ValueOf(59, 83)), 1e-3);
    EXPECT_NEAR(record->shrinkageCentroidData[39], float(ValueOf(59, 84 + 39)), 1e-3);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(record->thermosetIndex[i], i + 3) << i;
    EXPECT_EQ(record->thermosetIndex[5], 0);
    EXPECT_NEAR(record->thermosetData[0], float(ValueOf(60, 0)), 1e-4);
    EXPECT_NEAR(record->thermosetData[39], float(ValueOf(60, 39)), 1e-3);
    // The viscosity points: the matrix model and the first six points (the
    // grade's own 1st- and 2nd-order lists win over the fitted ones).
    EXPECT_DOUBLE_EQ(record->viscosityMatrixTemperature[2], 260.0);
    EXPECT_NEAR(record->viscosityMatrixLnShear[3], std::log(10000.0), 1e-5);
    EXPECT_DOUBLE_EQ(record->viscosityStdPoints[15], 230.0);
    EXPECT_DOUBLE_EQ(record->viscosityStdPoints[16], 100.0);
    EXPECT_EQ(record->viscosityStdPoints[18], 0.0);

    // What the reader keeps differently: the database type is read as a
    // number (the export writes the name), the fillers as a filler list.
    EXPECT_NE(file.find("MATERIAL_DATABASE_TYPE: LOCAL\n"), std::string::npos);
    EXPECT_EQ(record->databaseType, 0);
    // The generic link is written as supplier and grade code; the reader
    // keeps the grade code alone.
    EXPECT_NE(file.find("MATERIAL_GENERIC_LINK: GENSUP GEN1\n"), std::string::npos) << file;
    EXPECT_EQ(material::TextOf(record->genericLink), "GEN1");
    // The fillers are rebuilt as a filler list: each piece closed at ")",
    // joined by "," to the one before, so a stored comma is doubled.
    EXPECT_NE(file.find("MATERIAL_FILLERS: \\\nGLASS(30),TALC(5)\n"), std::string::npos);
    EXPECT_EQ(material::TextOf(record->fillers), "GLASS(30),,TALC(5)");
    // Keywords the reader does not know are written, and the reader leaves
    // each of their lines to the keyword log.
    const std::string log = ReadBytes(path + "_log");
    for (const char* keyword :
         {"MATERIAL_POISSON_RATIO_23_FILLER: ", "MATERIAL_POISSON_RATIO_23_POLYMER: ",
          "MATERIAL_SHEAR_MODULUS_23_FILLER: ", "MATERIAL_SHEAR_MODULUS_23_POLYMER: ",
          "MATERIAL_THERMAL_EXPANSION_PARALLEL_FILLER: ",
          "MATERIAL_THERMAL_EXPANSION_PERPENDICULAR_FILLER: ",
          "MATERIAL_THERMAL_EXPANSION_PARALLEL_POLYMER: ",
          "MATERIAL_THERMAL_EXPANSION_PERPENDICULAR_POLYMER: ",
          "MATERIAL_GLASS_TRANSITION_TEMPERATURE: ", "MATERIAL_WARPAGE_REFERENCE_TEMPERATURE: ",
          "MATERIAL_WARPAGE_ACTIVATION_ENERGY: ", "MATERIAL_VISCOSITY_MODEL_CROSS_COEFFICIENTS: ",
          "MATERIAL_VISCOSITY_MODEL_CARREAU_COEFFICIENTS: ", "MATERIAL_RELAXATION_SPECTRUM: ",
          "MATERIAL_WARPAGE_WLF_COEFFICIENTS: ",
          "MATERIAL_WARPAGE_THERMAL_EXPANSION_DATA_PARALLEL: ",
          "MATERIAL_WARPAGE_THERMAL_EXPANSION_DATA_PERPENDICULAR: ", "MATERIAL_PVT_MODEL_MATRIX: ",
          "MATERIAL_DEFAULT_SHRINKAGE_MODEL: RESIDUAL STRESS\n"}) {
        EXPECT_NE(file.find(keyword), std::string::npos) << keyword;
        EXPECT_NE(log.find(keyword), std::string::npos) << keyword;
    }
    // A known keyword never reaches the log.
    EXPECT_EQ(log.find("MATERIAL_THERMAL_CONDUCTIVITY_SINGLE"), std::string::npos);
}

}  // namespace
}  // namespace tarnvel::matdb
