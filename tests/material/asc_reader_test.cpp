#include "material/asc_reader.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace tarnvel::material {
namespace {

namespace fs = std::filesystem;

class AscReaderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "asc_reader_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        path_ = (directory_ / "grade.asc").string();
    }
    void TearDown() override { fs::remove_all(directory_); }

    // Reads the content from a file, and checks that reading the same text
    // from memory gives the same record, byte for byte, and the same log.
    std::unique_ptr<MaterialRecord> ReadContent(const std::string& content) {
        std::ofstream(path_, std::ios::binary) << content;
        const std::size_t logged = Slurp(path_ + "_log").size();
        std::unique_ptr<MaterialRecord> record = MAscReader().Read(path_.c_str());
        const std::string memory_log = path_ + "_memory_log";
        const std::unique_ptr<MaterialRecord> from_text =
            MAscReader().ReadText(content, memory_log.c_str());
        EXPECT_EQ(std::memcmp(record.get(), from_text.get(), sizeof(MaterialRecord)), 0)
            << "reading from memory differs for: " << content;
        EXPECT_EQ(Slurp(memory_log), Slurp(path_ + "_log").substr(logged));
        fs::remove(memory_log);
        return record;
    }
    static std::string Slurp(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::string LogContent() const {
        std::ifstream log(path_ + "_log", std::ios::binary);
        std::ostringstream text;
        text << log.rdbuf();
        return text.str();
    }
    bool LogExists() const { return fs::exists(path_ + "_log"); }

    fs::path directory_;
    std::string path_;
};

// A list of count values 1, 2, 3 ..., per_line to a line, every line but the
// last ending with a backslash.
std::string ValueLines(int count, int per_line) {
    std::string lines;
    for (int i = 1; i <= count; ++i) {
        lines.append(" ").append(std::to_string(i)).append(" ");
        if (i % per_line == 0 || i == count) lines += i == count ? "\n" : "\\\n";
    }
    return lines;
}

TEST_F(AscReaderTest, KeywordsMatchAnywhereInTheLineInAnyCase) {
    const auto record = ReadContent(
        "material_grade: ABC 123\n"
        "  note Material_Supplier:\tAcme\n"
        "x MATERIAL_THERMAL_DENSITY_SINGLE:  0.950000E+03\n"
        "MATERIAL_MATERIAL_FAMILY\n");
    EXPECT_EQ(TextOf(record->grade), "ABC 123");
    EXPECT_EQ(TextOf(record->supplier), "Acme");
    EXPECT_DOUBLE_EQ(record->density, 950.0);
    // No value after the keyword: the field keeps its value.
    EXPECT_EQ(TextOf(record->family), "UNKNOWN");
}

TEST_F(AscReaderTest, TheFirstKeywordOfTheTableDecides) {
    const auto record = ReadContent(
        "MATERIAL_RECOMMENDED_MAXIMUM_SHEAR_STRESS_CAVITY: 0.25\n"
        "MATERIAL_NOTES, MATERIAL_GRADE: G7\n"
        "MATERIAL_SHRINKAGE_SHINKAGE_VERSION:        3\n"
        "MATERIAL_VISCOSITY_MODEL_CROSS-WLF_COEFFICIENTS: 1.5 2.5\n");
    EXPECT_DOUBLE_EQ(record->maxShearStress, 0.25);
    EXPECT_EQ(TextOf(record->grade), "G7");
    EXPECT_EQ(TextOf(record->notes), "UNKNOWN");
    EXPECT_EQ(record->shrinkageVersion, 3);
    EXPECT_DOUBLE_EQ(record->crossWlf[1], 2.5);
}

TEST_F(AscReaderTest, NumbersConvertLikeTheStandardLibrary) {
    const auto record = ReadContent(
        "MATERIAL_DATABASE_TYPE: LOCAL\n"
        "MATERIAL_SHRINKAGE_FLOW_VERSION: 7abc\n"
        "MATERIAL_SHRINKAGE_SHRINKAGE_VERSION: -99999999999\n"
        "MATERIAL_SOLID_DENSITY:   -.123456E+01xyz\n");
    EXPECT_EQ(record->databaseType, 0);
    EXPECT_EQ(record->shrinkageFlowVersion, 7);
    EXPECT_EQ(record->shrinkageVersion, INT32_MIN);
    EXPECT_DOUBLE_EQ(record->solidDensity, -1.23456);
}

TEST_F(AscReaderTest, TheUnsetMarkerLeavesASingleRealUnset) {
    const auto record = ReadContent(
        "MATERIAL_THERMAL_DENSITY_SINGLE: -.163840E+05\n"
        "MATERIAL_THERMAL_FREEZE_TEMPERATURE_SINGLE: -16384\n"
        "MATERIAL_THERMAL_NO_FLOW_TEMPERATURE_SINGLE: -.163830E+05\n"
        "MATERIAL_SOLID_DENSITY: 0.950000E+03\n"
        "MATERIAL_SOLID_DENSITY: -.163840E+05\n");
    EXPECT_EQ(record->density, 0);
    EXPECT_EQ(record->freezeTemperature, 0);
    // Only the marker itself is no data; a neighbouring value is taken.
    EXPECT_DOUBLE_EQ(record->noFlowTemperature, -16383);
    // A marker after a real value does not wipe it.
    EXPECT_DOUBLE_EQ(record->solidDensity, 950);
}

TEST_F(AscReaderTest, NextLineFormsConsumeTheFollowingLine) {
    const auto record = ReadContent(
        "MATERIAL_GRADE: G1\n"
        "MATERIAL_DESCRIPTION: \\\n"
        "MATERIAL_SUPPLIER: not a keyword line here\n"
        "MATERIAL_MELT_FLOW_RATE: \\\n"
        "12 g/10min: 230C\\2.16kg\n"
        "MATERIAL_TESTER: \\\n"
        "Lab 4:North\n"
        "MATERIAL_TRADE_NAME: \\\n"
        "\n"
        "MATERIAL_MANUFACTURER\n");
    EXPECT_EQ(TextOf(record->description), "MATERIAL_SUPPLIER: not a keyword line here");
    EXPECT_EQ(TextOf(record->supplier), "UNKNOWN");
    EXPECT_EQ(TextOf(record->meltFlowRate), "12 g/10min: 230C\\2.16kg");
    EXPECT_EQ(TextOf(record->tester), "Lab 4");
    // An empty value line leaves the name unknown; the final rules fill it.
    EXPECT_EQ(TextOf(record->tradeName), "G1");
    EXPECT_EQ(TextOf(record->manufacturer), "UNKNOWN");
}

TEST_F(AscReaderTest, CrystallineIsSetOnlyByUpperCaseYes) {
    const std::pair<const char*, bool> cases[] = {
        {"YES", true}, {"  Semi YES:no", true}, {"yes", false}, {"NO", false}, {"", false}};
    for (const auto& [value, expected] : cases) {
        const auto record = ReadContent("MATERIAL_CRYSTALLINE: \\\n" + std::string(value) + "\n");
        EXPECT_EQ(record->crystalline, expected) << value;
    }
    const auto unchanged = ReadContent("MATERIAL_CRYSTALLINE\nYES\nMATERIAL_CRYSTALLINE\n\n");
    EXPECT_TRUE(unchanged->crystalline);
}

TEST_F(AscReaderTest, ListsKeepTheFirst128Values) {
    const auto record = ReadContent(std::string("MATERIAL_PVT_VANTOREL_COEFFICIENTS: \\\n")
                                        .append(ValueLines(130, 50))
                                        .append("MATERIAL_GRADE: after\n"));
    EXPECT_DOUBLE_EQ(record->pvtVantorel[0], 1.0);
    EXPECT_DOUBLE_EQ(record->pvtVantorel[127], 128.0);
    EXPECT_DOUBLE_EQ(record->viscosityMatrixLnShear[0], 0.0);
    EXPECT_EQ(TextOf(record->grade), "after");
}

TEST_F(AscReaderTest, ListsEndAtEndOfFileOrAtAnEmptyLine) {
    const auto real_list = ReadContent("MATERIAL_SHRINKAGE_DATA: \\\n 1.5  2.5 \\\n");
    EXPECT_DOUBLE_EQ(real_list->shrinkageData[1], 2.5);
    const auto int_list = ReadContent("MATERIAL_THERMOSET_INDEX: \\\n  4  5 \\\n");
    EXPECT_EQ(int_list->thermosetIndex[0], 4);
    EXPECT_EQ(int_list->thermosetIndex[1], 5);

    const auto ends_at_empty =
        ReadContent("MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS: \\\n 1 \\\n\n 2\n");
    EXPECT_DOUBLE_EQ(ends_at_empty->tait[0], 1.0);
    EXPECT_DOUBLE_EQ(ends_at_empty->tait[1], 0.0);
    EXPECT_EQ(LogContent(), " 2\n");

    // Without values and without a backslash, the keyword line still takes
    // its list from the following line.
    const auto next_line =
        ReadContent("MATERIAL_PVT_MODEL_TAIT_COEFFICIENTS\n 3\nMATERIAL_GRADE:x\n");
    EXPECT_DOUBLE_EQ(next_line->tait[0], 3.0);
    EXPECT_EQ(TextOf(next_line->grade), "x");
}

TEST_F(AscReaderTest, ValuesOnTheKeywordLineStartTheList) {
    const auto record = ReadContent(
        "MATERIAL_THERMOSET_INDEX:        1       2       3       4       5  \n"
        "MATERIAL_GRADE: G\n"
        "MATERIAL_PVT_STD_POINT_DATA:  0.1E+01  0.2E+01 \\ \n"
        " 0.3E+01 \\\n"
        " 0.4E+01\n"
        "MATERIAL_VISCOSITY_STD_POINT_DATA: \n"
        " 9 8\n"
        "MATERIAL_VISCOSITY_STD_POINT_DATA: 7\n");
    EXPECT_EQ(record->thermosetIndex[4], 5);
    EXPECT_EQ(TextOf(record->grade), "G");
    EXPECT_DOUBLE_EQ(record->pvtStdPoints[3], 4.0);
    // Read again, a list overwrites from the start and keeps later entries.
    EXPECT_DOUBLE_EQ(record->viscosityStdPoints[0], 7.0);
    EXPECT_DOUBLE_EQ(record->viscosityStdPoints[1], 8.0);
}

TEST_F(AscReaderTest, FillersAreJoinedWithCommas) {
    EXPECT_EQ(TextOf(ReadContent("MATERIAL_FILLERS: \\\nGlass Fibre(30%) & Talc(10%)\n")->fillers),
              "Glass Fibre(30%),Talc(10%)");
    const auto record = ReadContent(
        "MATERIAL_FILLERS: Mica(5%) &\\\n"
        "  & Talc(10%)  \\\n"
        "Carbon\n"
        "MATERIAL_FILLERS\n"
        "Glass(1%)\n");
    EXPECT_EQ(TextOf(record->fillers), "Mica(5%),Talc(10%),Carbon,Glass(1%)");
    const auto full = ReadContent("MATERIAL_FILLERS\n" + std::string(300, 'f') + "(1%)\n");
    EXPECT_EQ(TextOf(full->fillers), std::string(255, 'f'));
}

TEST_F(AscReaderTest, GenericLinkTakesTheSecondWord) {
    EXPECT_EQ(TextOf(ReadContent("MATERIAL_GENERIC_LINK: 12 PP-GENERIC\n")->genericLink),
              "PP-GENERIC");
    EXPECT_EQ(TextOf(ReadContent("MATERIAL_GENERIC_LINK: PP-GENERIC\n")->genericLink), "UNKNOWN");
}

TEST_F(AscReaderTest, UnrecognisedLinesGoToTheKeywordLog) {
    const auto record = ReadContent("MATERIAL_GRADE: G\n");
    EXPECT_FALSE(LogExists());
    std::ofstream(path_ + "_log", std::ios::binary) << "old\n";
    const auto logged = ReadContent(
        "XYZ\n"
        "\n"
        "MATERIAL_GLASS_TRANSITION_TEMPERATURE:  0.1E+03\r\n"
        "MATERIAL_GRADE: G\n");
    EXPECT_EQ(LogContent(), "old\nXYZ\nMATERIAL_GLASS_TRANSITION_TEMPERATURE:  0.1E+03\n");
    EXPECT_EQ(std::memcmp(record.get(), logged.get(), sizeof(MaterialRecord)), 0);
}

TEST_F(AscReaderTest, LongLinesAndTextsNeverOverrun) {
    const std::string text(1023, 'd');
    const auto record = ReadContent("MATERIAL_DESCRIPTION\n" + text + "\r\n" + "MATERIAL_GRADE:" +
                                    std::string(600, 'g') + "\n" + "MATERIAL_SUPPLIER: S\n" +
                                    std::string(1024, 'x') + "\n" + "MATERIAL_NOTES\nnever read\n");
    EXPECT_EQ(TextOf(record->description), text.substr(0, 255));
    EXPECT_EQ(TextOf(record->grade), std::string(255, 'g'));
    EXPECT_EQ(TextOf(record->supplier), "S");
    EXPECT_EQ(TextOf(record->notes), "UNKNOWN");
    EXPECT_FALSE(LogExists());
}

TEST_F(AscReaderTest, TheLastLineCountsOnlyWithALineFeed) {
    const auto record = ReadContent("MATERIAL_GRADE: G\nMATERIAL_SUPPLIER: S");
    EXPECT_EQ(TextOf(record->grade), "G");
    EXPECT_EQ(TextOf(record->supplier), "UNKNOWN");
}

TEST_F(AscReaderTest, EmptyOrMissingFilesGiveTheInitialRecord) {
    auto expected = std::make_unique<MaterialRecord>();
    ApplyFinalRules(*expected);
    const auto empty = ReadContent("");
    EXPECT_EQ(std::memcmp(empty.get(), expected.get(), sizeof(MaterialRecord)), 0);
    const std::string missing = (directory_ / "missing.asc").string();
    const auto absent = MAscReader().Read(missing.c_str());
    ASSERT_NE(absent, nullptr);
    EXPECT_EQ(std::memcmp(absent.get(), expected.get(), sizeof(MaterialRecord)), 0);
    EXPECT_FALSE(fs::exists(missing + "_log"));
    EXPECT_EQ(MAscReader().Read(nullptr), nullptr);
}

}  // namespace
}  // namespace tarnvel::material
