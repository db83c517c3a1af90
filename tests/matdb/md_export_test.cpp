#include "matdb/md_export.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "matdb/md_ascii.h"
#include "matdb/md_export_unpack.h"
#include "material/asc_reader.h"
#include "rax_test_support.h"
#include "recfile/recfile.h"
#include "recfile/rf_units.h"

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

// The entry's text without the file is what the entry writes, with the same
// messages; it gives nothing where the entry fails before writing.
TEST_F(ExportTest, TheTextOfTheEntryIsTheFileItWrites) {
    BuildPersonal(root_, {Grade("ACME", "G2", "VISCOUS", {Points(6, {1, 6}, ViscosityGrid())}),
                          Grade("ACME", "G5", "X", {Single(2, 1800)})});
    for (const char* grade : {"G2", "G5"}) {
        const std::string output = Path("out.kwd");
        const char* argv[] = {nullptr, "-supplier", "ACME",        "-grade",
                              grade,   "-output",   output.c_str()};
        capture_.Take();
        const std::optional<std::string> text = md_export_entry_text(7, argv);
        const std::string said = capture_.Take();
        ASSERT_TRUE(text) << grade;
        EXPECT_FALSE(std::filesystem::exists(output));
        ASSERT_EQ(md_export_entry(7, argv), 0);
        EXPECT_EQ(*text, Output()) << grade;
        EXPECT_EQ(said, capture_.Take()) << grade;
        std::filesystem::remove(output);
    }
    const char* missing[] = {nullptr, "-supplier", "ACME", "-grade", "NOPE", "-output", "x"};
    EXPECT_FALSE(md_export_entry_text(7, missing));
    const char* usage[] = {nullptr, "-supplier", "ACME", "-grade", "G5"};
    EXPECT_FALSE(md_export_entry_text(5, usage));
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

// The record-file message unit pointed at a file for the object's life,
// with the console output going the normal way, through the message
// routine.
class MessageFile {
  public:
    explicit MessageFile(std::string path) : path_(std::move(path)) {
        recfile::RfOpenOptions options;
        options.status = recfile::RfStatus::kUnknown;
        EXPECT_EQ(recfile::rfOpen(kUnit, path_, options), recfile::kRfOk);
        rfSettings().message_unit = kUnit;
        vtOutSetSink(nullptr);
    }
    ~MessageFile() {
        rfSettings().message_unit = recfile::kStandardOutput;
        recfile::rfClose(kUnit);
        vtOutSetSink(tarnvel::testing::CaptureSink);
    }
    std::string Take() {
        recfile::rfFlush(kUnit);
        const std::string text = ReadBytes(path_);
        const std::string fresh = text.substr(std::min(seen_, text.size()));
        seen_ = text.size();
        return fresh;
    }

  private:
    static constexpr int kUnit = 77;
    std::string path_;
    std::size_t seen_ = 0;
};

TEST_F(ExportTest, WithoutDiagnosticNothingReachesTheMessageUnit) {
    BuildPersonal(root_, {Grade("ACME", "G6", "QUIET",
                                {Points(1, {1}, {100, 0.2f}), Text(17, "GENSUP NOPE")})});
    MessageFile messages(Path("messages.txt"));
    EXPECT_EQ(Export("G6"), 0);
    EXPECT_EQ(Export("NOSUCH"), 1);
    EXPECT_EQ(messages.Take(), "");
    ASSERT_TRUE(std::filesystem::exists(Path("out.kwd")));

    const std::string out = Path("out.kwd");
    EXPECT_EQ(Export({"-supplier", "ACME", "-grade", "G6", "-output", out, "-diagnostic"}), 0);
    const std::string shown = messages.Take();
    // The report with its warning, and the database layer's link message.
    EXPECT_NE(shown.find("GRADE code             : G6\n"), std::string::npos) << shown;
    EXPECT_NE(shown.find("is not a usable model format for \"Conductivity\""), std::string::npos);
    EXPECT_NE(shown.find("GENSUP NOPE"), std::string::npos) << shown;
    EXPECT_EQ(Export({"-supplier", "ACME", "-grade", "NOSUCH", "-output", out, "-diag"}), 1);
    EXPECT_EQ(Export({"-supplier", "ACME", "-grade", "NOSUCH", "-output", out, "-diagnostic"}), 1);
    const std::string missing = messages.Take();
    EXPECT_NE(missing.find("Grade ACME NOSUCH not found on any open database."), std::string::npos)
        << missing;
    // The message unit is given back as it was.
    EXPECT_EQ(rfSettings().message_unit, 77);
}

TEST_F(ExportTest, KesPathBecomesTheStandardLocation) {
    const std::string standard = Path("kes");
    tarnvel::testing::BuildStandard(standard, {Grade("STD", "S1", "FROM KES", {Single(2, 1700)})});
    unsetenv("VTPATH");
    md_close_all();
    setenv("KESPATH", standard.c_str(), 1);
    const std::string out = Path("out.kwd");
    EXPECT_EQ(Export({"-supplier", "STD", "-grade", "S1", "-output", out, "-kes"}), 0);
    EXPECT_NE(Output().find("MATERIAL_THERMAL_SPECIFIC_HEAT_SINGLE: 0.170000E+04\n"),
              std::string::npos);
    EXPECT_STREQ(std::getenv("VTPATH"), standard.c_str());
    // Unset, KESPATH leaves the Standard location alone; its lookup message
    // is a diagnostic.
    unsetenv("KESPATH");
    MessageFile messages(Path("messages.txt"));
    EXPECT_EQ(Export({"-supplier", "STD", "-grade", "S1", "-output", out, "-kes"}), 0);
    EXPECT_EQ(messages.Take(), "");
    EXPECT_EQ(Export({"-supplier", "STD", "-grade", "S1", "-output", out, "-kes", "-diagnostic"}),
              0);
    EXPECT_NE(messages.Take().find(" Could not find environment variable KESPATH\n"
                                   " Check setup procedure and try again.\n"),
              std::string::npos);
    setenv("KESPATH", std::string(256, 'k').c_str(), 1);
    EXPECT_EQ(Export({"-supplier", "STD", "-grade", "S1", "-output", out, "-kes"}), 1);
    unsetenv("KESPATH");
}

// The Shrinkage and Kinetic lists as the tessel ASCII reader stores them:
// Shrinkage led by two integer versions, Kinetic all reals.
TEST_F(ExportTest, ShrinkageAndKineticListsOfAnImportedGradeReadBack) {
    std::string ascii = "SUPPLIER ACME\nGRADE K1\nHEADER LISTS\nSHRINKAGE 3 4";
    for (int i = 0; i < 124; ++i) ascii.append(" ").append(std::to_string(0.5 + 0.25 * i));
    ascii += "\nKINETIC 1 2 3 4 5";
    for (int i = 0; i < 40; ++i) ascii.append(" ").append(std::to_string(1.5 + i));
    ascii += "\nGENERIC_LINK GENSUP GEN1\n";
    tarnvel::testing::WriteBytes(Path("lists.asc"), ascii);
    md_close_all();
    ASSERT_NE(md_open(MD_LOCAL, MD_CREATE), 0);
    ASSERT_TRUE(md_read_ascii_file(Path("lists.asc").c_str()).opened);
    md_close_all();

    capture_.Take();
    ASSERT_EQ(Export("K1"), 0);
    const std::string report = capture_.Take();
    EXPECT_NE(report.find("VTL 3 SHR 4\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nThis grade has a generic link to GENSUP GEN1\n"), std::string::npos);
    const std::string file = Output();
    EXPECT_NE(file.find("MATERIAL_SHRINKAGE_FLOW_VERSION:        3\n"
                        "MATERIAL_SHRINKAGE_SHINKAGE_VERSION:        4\n"
                        "MATERIAL_SHRINKAGE_DATA: \\\n"
                        "0.500000E+00 0.750000E+00 0.100000E+01 0.125000E+01 \\\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("MATERIAL_THERMOSET_INDEX:         1         2         3         4"
                        "         5  \n"),
              std::string::npos)
        << file;
    const auto record = ReadBack();
    ASSERT_TRUE(record);
    EXPECT_EQ(record->shrinkageFlowVersion, 3);
    EXPECT_EQ(record->shrinkageVersion, 4);
    EXPECT_DOUBLE_EQ(record->shrinkageData[83], 0.5 + 0.25 * 83);
    EXPECT_DOUBLE_EQ(record->shrinkageCentroidData[0], 0.5 + 0.25 * 84);
    EXPECT_DOUBLE_EQ(record->shrinkageCentroidData[39], 0.5 + 0.25 * 123);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(record->thermosetIndex[i], i + 1);
    EXPECT_DOUBLE_EQ(record->thermosetData[0], 1.5);
    EXPECT_DOUBLE_EQ(record->thermosetData[39], 40.5);
    EXPECT_EQ(material::TextOf(record->genericLink), "GEN1");
}

// Every text keyword with its width: the stored text is longer than any
// width, so each line shows where it is cut.
struct TextWidth {
    int property;
    const char* keyword;
    std::size_t width;
    bool next_line;
    bool upper;
};
constexpr TextWidth kTextWidths[] = {
    {58, "MATERIAL_MATERIAL_FAMILY", 10, false, false},
    {75, "MATERIAL_MELT_FLOW_RATE", 80, true, false},
    {76, "MATERIAL_FILLERS", 50, true, false},
    {77, "MATERIAL_TRADE_NAME", 50, true, false},
    {78, "MATERIAL_MANUFACTURER", 50, true, false},
    {98, "MATERIAL_CHARACTERISTICS", 50, true, false},
    {99, "MATERIAL_VISCOSITY_INDEX", 50, true, false},
    {100, "MATERIAL_CRYSTALLINE", 10, true, true},
    {101, "MATERIAL_TESTER", 50, true, false},
    {102, "MATERIAL_TEST_DATE", 50, true, false},
    {103, "MATERIAL_NUMBER", 10, true, false},
    {104, "MATERIAL_NOTES", 80, true, false},
    {105, "MATERIAL_DEFAULT_VISCOSITY_MODEL", 20, false, true},
    {106, "MATERIAL_DEFAULT_PVT_MODEL", 30, false, true},
    {109, "MATERIAL_DEFAULT_SHRINKAGE_MODEL", 20, false, true},
};

std::string LongText() {
    std::string text;
    for (int i = 0; i < 120; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

TEST_F(ExportTest, EveryTextKeywordIsCutToItsWidth) {
    std::vector<MdProperty> items;
    for (const TextWidth& t : kTextWidths) items.push_back(Text(t.property, LongText()));
    items.push_back(Text(17, "GENSUP " + std::string(300, 'L')));
    const std::string supplier = "ACMEPOLYME";
    BuildPersonal(root_, {Grade(supplier, "WIDTH1", "WIDE TEXTS", items)});
    const std::string long_supplier = supplier + std::string(38, 's');
    const std::string long_grade = "WIDTH1" + std::string(42, 'g');
    const std::string database = "local" + std::string(43, 'd');
    ASSERT_EQ(Export({"-supplier", long_supplier, "-grade", long_grade, "-database", database,
                      "-output", Path("out.kwd")}),
              0);
    const std::string file = Output();
    EXPECT_NE(file.find("MATERIAL_SUPPLIER: " + long_supplier + "\n"), std::string::npos);
    EXPECT_NE(file.find("MATERIAL_GRADE: " + long_grade + "\n"), std::string::npos);
    std::string upper_database = database;
    for (char& c : upper_database) c = static_cast<char>(std::toupper(c));
    EXPECT_NE(file.find("MATERIAL_DATABASE_TYPE: " + upper_database + "\n"), std::string::npos);
    EXPECT_NE(file.find("MATERIAL_GENERIC_LINK: GENSUP " + std::string(255 - 7, 'L') + "\n"),
              std::string::npos);
    for (const TextWidth& t : kTextWidths) {
        std::string text = LongText().substr(0, t.width);
        if (t.upper) {
            for (char& c : text) c = static_cast<char>(std::toupper(c));
        }
        const std::string line =
            std::string(t.keyword) + ": " + (t.next_line ? "\\\n" : "") + text + "\n";
        EXPECT_NE(file.find(line), std::string::npos) << t.keyword << "\n" << file;
    }
    // The databases were closed meanwhile: the next export opens them again.
    md_close_all();
    EXPECT_EQ(Export({"-supplier", supplier, "-grade", "WIDTH1", "-output", Path("out.kwd")}), 0);
}

TEST_F(ExportTest, ItemsOfUnusableFormsAreWarnedAboutAndSkipped) {
    BuildPersonal(root_, {Grade("ACME", "FORMS", "FORMS",
                                {Single(58, 1), Text(2, "hot"), Coefficients(5, 0, {1, 2}),
                                 Single(89, 4), Single(59, 2), Single(66, 910)})});
    capture_.Take();
    ASSERT_EQ(Export("FORMS"), 0);
    const std::string printed = capture_.Take();
    for (const char* warning :
         {"Warning: \"Single Point\" is not a usable model format for \"Material Family\"\n",
          "Warning: \"Text\" is not a usable model format for \"Specific Heat\"\n",
          "Warning: \"Coeffient type data\" is not a usable model format for \"No Flow "
          "Temperature\"\n",
          "Warning: \"Single Point\" is not a usable model format for \"Modified Tait PVT "
          "Coefficients\"\n"}) {
        EXPECT_NE(printed.find(warning), std::string::npos) << warning << printed;
    }
    const std::string file = Output();
    // One-real keywords of a property held otherwise carry the unset marker;
    // lists and texts are left out.
    EXPECT_NE(file.find("MATERIAL_THERMAL_SPECIFIC_HEAT_SINGLE: -.163840E+05\n"),
              std::string::npos);
    EXPECT_NE(file.find("MATERIAL_THERMAL_NO_FLOW_TEMPERATURE_SINGLE: -.163840E+05\n"),
              std::string::npos);
    EXPECT_EQ(file.find("MATERIAL_MATERIAL_FAMILY"), std::string::npos);
    EXPECT_EQ(file.find("MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS"), std::string::npos);
    EXPECT_EQ(file.find("MATERIAL_SHRINKAGE"), std::string::npos) << file;
    EXPECT_NE(file.find("MATERIAL_SOLID_DENSITY: 0.910000E+03\n"), std::string::npos);
}

TEST_F(ExportTest, ThreeViscosityPointsWriteTheFirstOrderModelOnly) {
    BuildPersonal(root_,
                  {Grade("ACME", "V3", "THREE POINTS",
                         {Points(6, {1, 6}, {200, 100, 900, 220, 1000, 300, 240, 5000, 80})})});
    capture_.Take();
    ASSERT_EQ(Export("V3"), 0);
    EXPECT_NE(capture_.Take().find("Material MODEL order   : 1\n"), std::string::npos);
    const std::string file = Output();
    EXPECT_NE(file.find("MATERIAL_VISCOSITY_MODEL_1ST_ORDER_COEFFICIENTS: \\\n"),
              std::string::npos);
    EXPECT_NE(file.find("MATERIAL_VISCOSITY_STD_POINT_DATA: \\\n"), std::string::npos);
    EXPECT_EQ(file.find("2ND_ORDER"), std::string::npos) << file;
    EXPECT_EQ(file.find("MATRIX"), std::string::npos) << file;
    const auto record = ReadBack();
    ASSERT_TRUE(record);
    // ln v = ln A + N ln s + B T through the three points.
    for (int i = 0; i < 3; ++i) {
        const double t = record->viscosityStdPoints[3 * i];
        const double s = record->viscosityStdPoints[3 * i + 1];
        const double v = record->viscosity1stOrder[0] * std::pow(s, record->viscosity1stOrder[1]) *
                         std::exp(record->viscosity1stOrder[2] * t);
        // Six significant digits per coefficient.
        EXPECT_NEAR(v / record->viscosityStdPoints[3 * i + 2], 1.0, 1e-4) << i;
    }
}

// Grids from which a least-squares model cannot be fitted keep the matrix
// model and every model that can be.
TEST_F(ExportTest, AGridThatDoesNotDetermineEveryModelKeepsTheMatrixModel) {
    auto grid = [](std::vector<float> temperatures, std::vector<float> shear_rates) {
        std::vector<float> values;
        for (float t : temperatures) {
            for (float s : shear_rates) values.insert(values.end(), {t, s, 5e4f / (t * s)});
        }
        return Points(6, {1, 6}, values);
    };
    BuildPersonal(root_,
                  {Grade("ACME", "ONE", "", {grid({200}, {10, 30, 100, 300, 1000, 3000, 10000})}),
                   Grade("ACME", "TWO", "", {grid({200, 230}, {10, 100, 1000, 10000})})});
    const char* matrix[] = {"MATERIAL_VISCOSITY_MODEL_MATRIX_LN_SHEAR_COEFFICIENTS: \\\n",
                            "MATERIAL_VISCOSITY_MODEL_MATRIX_TEMPERATURE_COEFFICIENTS: ",
                            "MATERIAL_VISCOSITY_MODEL_MATRIX_LN_VISCOSITY_COEFFICIENTS: \\\n",
                            "MATERIAL_VISCOSITY_STD_POINT_DATA: \\\n"};
    const std::string undetermined =
        " model not fitted: the points do not determine its coefficients\n";
    struct Case {
        const char* grade;
        bool first;
        int model;
    };
    for (const Case& c : {Case{"ONE", false, 3}, Case{"TWO", true, 1}}) {
        capture_.Take();
        ASSERT_EQ(Export(c.grade), 0);
        const std::string printed = capture_.Take();
        EXPECT_EQ(printed.find("TESSEL ERROR"), std::string::npos) << printed;
        EXPECT_NE(
            printed.find("Material MODEL order   : " + std::to_string(c.model) + "\nViscosity "),
            std::string::npos)
            << printed;
        EXPECT_NE(printed.find("Viscosity 2nd Order" + undetermined), std::string::npos);
        EXPECT_EQ(printed.find("Viscosity 1st Order" + undetermined) == std::string::npos, c.first);
        const std::string file = Output();
        for (const char* keyword : matrix) {
            EXPECT_NE(file.find(keyword), std::string::npos) << c.grade << " " << keyword;
        }
        EXPECT_EQ(file.find("2ND_ORDER"), std::string::npos) << file;
        EXPECT_EQ(file.find("1ST_ORDER") != std::string::npos, c.first) << file;
        const auto record = ReadBack();
        ASSERT_TRUE(record);
        EXPECT_DOUBLE_EQ(record->viscosityMatrixTemperature[0], 200.0);
        EXPECT_NEAR(record->viscosityMatrixLnShear[0], std::log(10.0), 1e-5);
    }
}

// ---- PVT Specific Volume in its two forms ----------------------------------------------------

// k0..k12 of a product PVT model, and ten points of it in the roles of the
// point table (lower zone, transition, upper zone), in base units.
const std::vector<float> kOwnPvt = {
    2.55605e+06f, 625.718f, 2.79642e+09f, 2.79642e+09f, 0,           0,           0,
    1.04477e+06f, 748.052f, 1.11857e+09f, 1.11857e+09f, -1.119e+09f, 6.66667e+06f};
const std::vector<float> kPvtPoints = {20,      0,   0.91852e-3f,  80,      0,   0.931959e-3f,
                                       20,      1e8, 0.900961e-3f, 80,      1e8, 0.910467e-3f,
                                       167.84f, 0,   1.04618e-3f,  182.84f, 1e8, 1.01951e-3f,
                                       200,     0,   1.06778e-3f,  280,     0,   1.12128e-3f,
                                       200,     1e8, 0.994457e-3f, 280,     1e8, 1.02334e-3f};

// A Standard database whose GENERIC PP holds every PVT model item that a
// grade with its own PVT Specific Volume must not inherit.
void BuildGenericPvt(const std::string& directory) {
    tarnvel::testing::BuildStandard(
        directory, {Grade("GENERIC", "PP", "Generic PP",
                          {Coefficients(88, 0, std::vector<float>(13, 7.0f)),
                           Coefficients(89, 0, std::vector<float>(13, 2.0f)),
                           Coefficients(90, 0, {3.0f}), Text(106, "Tait"), Single(3, 900.0f)})});
}

std::vector<double> OwnPvtOf(const material::MaterialRecord& record) {
    return {record.pvtVantorel.begin(), record.pvtVantorel.begin() + 13};
}

TEST_F(ExportTest, PvtSpecificVolumeInEitherFormIsTheGradesProductPvtModel) {
    BuildGenericPvt(MakeDir("std"));
    const MdProperty link = Text(17, "GENERIC PP");
    const MdProperty coefficients = Coefficients(12, 0, kOwnPvt);
    const MdProperty points = Points(12, {1, 4}, kPvtPoints);
    BuildPersonal(
        root_,
        {Grade("ACME", "COEF", "", {coefficients}),
         Grade("ACME", "COEFL", "", {coefficients, link}), Grade("ACME", "PTS", "", {points}),
         Grade("ACME", "PTSL", "", {points, link}), Grade("ACME", "LINK", "", {link})});
    std::map<std::string, std::vector<double>> own;
    for (const char* grade : {"COEF", "COEFL", "PTS", "PTSL"}) {
        capture_.Take();
        ASSERT_EQ(Export(grade), 0) << grade;
        EXPECT_EQ(capture_.Take().find("not a usable model format"), std::string::npos) << grade;
        const std::string file = Output();
        EXPECT_NE(file.find("MATERIAL_PVT_VANTOREL_COEFFICIENTS: \
"),
                  std::string::npos)
            << grade << "\n"
            << file;
        // The linked grade's PVT models stay out of a grade with its own.
        for (const char* keyword :
             {"MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS",
              "MATERIAL_PVT_MODEL_COMPRESSIBILITY_COEFFICIENTS", "MATERIAL_DEFAULT_PVT_MODEL"}) {
            EXPECT_EQ(file.find(keyword), std::string::npos) << grade << " " << keyword;
        }
        const auto record = ReadBack();
        ASSERT_TRUE(record);
        own[grade] = OwnPvtOf(*record);
    }
    // The list is written as given (six significant digits) ...
    for (std::size_t i = 0; i < kOwnPvt.size(); ++i) {
        EXPECT_NEAR(own["COEF"][i], kOwnPvt[i], std::fabs(kOwnPvt[i]) * 1e-5) << i;
    }
    // ... the points are fitted, and a link changes neither.
    EXPECT_EQ(own["COEFL"], own["COEF"]);
    EXPECT_EQ(own["PTSL"], own["PTS"]);
    EXPECT_NE(own["PTS"][7], 0.0);
    EXPECT_NE(Output().find("MATERIAL_PVT_STD_POINT_DATA: \
"),
              std::string::npos);
    // A grade without PVT data of its own takes the linked models.
    ASSERT_EQ(Export("LINK"), 0);
    const auto linked = ReadBack();
    ASSERT_TRUE(linked);
    EXPECT_EQ(OwnPvtOf(*linked), std::vector<double>(13, 7.0));
    EXPECT_NE(Output().find("MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS"), std::string::npos);
}

TEST_F(ExportTest, APvtTableWithoutUpperZoneWritesItsCoefficientsZero) {
    std::vector<float> values = kPvtPoints;
    for (std::size_t row = 6; row < 10; ++row) values[row * 3] = -16384;
    BuildPersonal(root_, {Grade("ACME", "LOWER", "", {Points(12, {1, 4}, values)})});
    ASSERT_EQ(Export("LOWER"), 0);
    const auto record = ReadBack();
    ASSERT_TRUE(record);
    const std::vector<double> k = OwnPvtOf(*record);
    for (std::size_t i : {0u, 1u, 2u, 3u, 11u, 12u}) EXPECT_NE(k[i], 0.0) << i;
    for (std::size_t i = 4; i <= 10; ++i) EXPECT_EQ(k[i], 0.0) << i;
    // The transition line through the two transition points.
    EXPECT_NEAR(k[12], 1e8 / 15.0, 1e8 / 15.0 * 1e-4);
}

// The database never hands out items of other forms or numbers, but the
// export does not rely on it.
TEST(ExportUnpackTest, ItemsOfUnknownFormOrNumberAreWarnedAboutAndAbsent) {
    tarnvel::testing::Capture capture;
    MdProperty odd = Single(92, 900);
    odd.format = 7;
    const MdExportSlots slots =
        md_export_unpack(Grade("ACME", "ODD", "ODD", {odd, Single(110, 1), Single(0, 1)}));
    EXPECT_FALSE(slots.present[92]);
    EXPECT_EQ(capture.Take(),
              "Warning: Unexpected Property/Format found (92,7)\n"
              "Warning: Unexpected Property/Format found (110,1)\n"
              "Warning: Unexpected Property/Format found (0,1)\n");
}

// The model choice over an unpacked grade: the first preference when the
// grade supports it, else the first supported one of the list's leading
// entries, else none.
MdModelChoice Choose(std::vector<MdProperty> items, const char* viscosity = nullptr,
                     const char* pvt = nullptr, const char* shrinkage = nullptr) {
    const MdGrade grade = Grade("ACME", "M", "MODELS", std::move(items));
    return md_export_choose_models(md_export_unpack(grade),
                                   md_model_preferences(viscosity, pvt, shrinkage));
}

TEST(ExportModelChoiceTest, ViscosityPreferenceAndFallback) {
    const std::vector<float> three = {200, 100, 900, 220, 1000, 300, 240, 5000, 80};
    // Three points fit the 1st order only: 2 is passed over for 1.
    EXPECT_EQ(Choose({Points(6, {1, 6}, three)}).viscosity, 1);
    EXPECT_EQ(Choose({Points(6, {1, 6}, three)}, "3 6").viscosity, 0);
    const MdProperty cross_wlf = Coefficients(83, 0, {1e4f, 400, 0, 20, 51.6f, 3e4f, 0.3f});
    EXPECT_EQ(Choose({cross_wlf}).viscosity, 6);
    EXPECT_EQ(Choose({cross_wlf, Points(6, {1, 6}, three)}, "CROSS-WLF 1").viscosity, 6);
    // A list whose first value is not set supports nothing.
    EXPECT_EQ(Choose({Coefficients(83, 0, {-16384, 1, 2})}).viscosity, 0);
    // Only the first six entries are looked at after the first.
    EXPECT_EQ(Choose({cross_wlf}, "1 2 3 4 5 1 6").viscosity, 0);
}

TEST(ExportModelChoiceTest, PvtPreferenceBothSpellingsAndFallback) {
    const MdProperty own = Coefficients(88, 0, std::vector<float>(13, 1.0f));
    const MdProperty tait = Coefficients(89, 0, std::vector<float>(13, 2.0f));
    const MdProperty compressibility = Coefficients(90, 0, {0.5f});
    const MdProperty matrix = Coefficients(108, 0, {200, 1e6f, 1.1f});
    // Default list 1, 2, 4, 3.
    EXPECT_EQ(Choose({own, tait}).pvt, 1);
    EXPECT_EQ(Choose({tait}).pvt, 2);
    EXPECT_EQ(Choose({compressibility, matrix}).pvt, 4);
    EXPECT_EQ(Choose({compressibility}).pvt, 3);
    EXPECT_EQ(Choose({}).pvt, 0);
    EXPECT_EQ(Choose({own, tait}, nullptr, "TAIT").pvt, 2);
    EXPECT_EQ(Choose({own, tait}, nullptr, "tait VANTOREL").pvt, 2);
    EXPECT_EQ(Choose({own, tait}, nullptr, "VANTROEL").pvt, 1);
    EXPECT_EQ(Choose({own, tait}, nullptr, "VANTOREL").pvt, 1);
    EXPECT_EQ(Choose({tait}, nullptr, "VANTROEL").pvt, 0);
    EXPECT_EQ(Choose({tait, matrix}, nullptr, "COMPRESSIBLITY_FACTOR MATRIX TAIT").pvt, 4);
    // Only the first four entries count.
    EXPECT_EQ(Choose({tait}, nullptr, "1 1 3 4 2").pvt, 0);
}

TEST(ExportModelChoiceTest, ShrinkageOrderAndFallback) {
    const MdProperty strain = Coefficients(59, 0, {3, 4, 0.5f, 0.6f});
    const MdProperty stress = Coefficients(107, 0, std::vector<float>(10, 0.1f));
    EXPECT_EQ(Choose({strain, stress}).shrinkage, 2);
    EXPECT_EQ(Choose({strain}).shrinkage, 1);
    EXPECT_EQ(Choose({strain, stress}, nullptr, nullptr, "RESIDUAL_STRAIN").shrinkage, 1);
    EXPECT_EQ(Choose({stress}, nullptr, nullptr, "RESIDUAL_STRAIN").shrinkage, 0);
    EXPECT_EQ(Choose({stress}, nullptr, nullptr, "1 2").shrinkage, 2);
    EXPECT_EQ(Choose({}, nullptr, nullptr, nullptr).shrinkage, 0);
}

TEST(ExportModelChoiceTest, PvtSpecificVolumeAsCoefficientsIsTheProductPvtModel) {
    const MdProperty own = Coefficients(12, 0, kOwnPvt);
    const MdProperty tait = Coefficients(89, 0, std::vector<float>(13, 2.0f));
    EXPECT_EQ(Choose({own, tait}).pvt, 1);
    EXPECT_EQ(Choose({own}, nullptr, "TAIT VANTOREL").pvt, 1);
    // A list whose first value is not set is no model.
    EXPECT_EQ(Choose({Coefficients(12, 0, {-16384, 1, 2})}).pvt, 0);
}

}  // namespace
}  // namespace tarnvel::matdb
