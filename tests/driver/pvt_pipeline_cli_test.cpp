// PVT Specific Volume through whole tarnvel runs: given as the product PVT
// coefficients or as points (with or without an upper zone), alone and with
// a generic link, converted by -asc and by -rax over a database built from
// the same file. The Tait codes come from the grade's own model where it has
// both zones, and no code of any set is infinite or undefined.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "driver/pipeline_test_support.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "matdb/md_personal.h"
#include "support/process.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

using Codes = std::map<int, std::vector<double>>;

// Every code of every set of a packed output, by label.
std::map<int, Codes> SetCodes(const fs::path& udb) {
    std::map<int, Codes> sets;
    UdmModel* previous = udm_model_current();
    UdmModel* model = nullptr;
    if (udm_model_open(udb.c_str(), 1, &model) == UDM_OK) {
        for (void* entity = udm_entity_first(UDM_CLASS_TSET, 21000); entity != nullptr;
             entity = udm_entity_next(UDM_CLASS_TSET, 21000, udm_entity_label(entity))) {
            Codes& codes = sets[udm_entity_label(entity)];
            for (const UdmTcod* tcod = static_cast<UdmTset*>(entity)->codes; tcod != nullptr;
                 tcod = tcod->next) {
                const double* first = udm_tcod_values(tcod);
                codes[tcod->code].assign(first, first + udm_tcod_count(tcod));
            }
        }
        udm_model_destroy(&model);
    }
    udm_model_select(previous);
    return sets;
}

// The product PVT coefficients k0..k12 and ten points of the same model
// (deg.C, MPa, cu.cm/g), the upper zone last.
const char* const kCoefficients =
    "2.55605e+06 625.718 2.79642e+09 2.79642e+09 0 0 0 1.04477e+06 748.052 1.11857e+09 "
    "1.11857e+09 -1.119e+09 6.66667e+06";
const char* const kLowerRows =
    "  20 0 0.91852\n  80 0 0.931959\n  20 100 0.900961\n  80 100 0.910467\n"
    "  167.84 0 1.04618\n  182.84 100 1.01951\n";
const char* const kUpperRows =
    "  200 0 1.06778\n  280 0 1.12128\n  200 100 0.994457\n"
    "  280 100 1.02334\n";
const char* const kNoUpperRows =
    "  -16384 0 1.06778\n  280 0 1.12128\n  200 100 0.994457\n"
    "  280 100 1.02334\n";

std::string GradeText(const std::string& grade, const std::string& pvt, bool linked) {
    std::string text = "Supplier PVTTEST\nGrade " + grade + "\nHeader " + grade +
                       " test grade\nManufacturer \"Test Polymers\"\nTrade_Name \"" + grade +
                       "\"\nMaterial_Family \"PP\"\n";
    if (linked) text += "Generic_Link GENERIC PP\n";
    return text + "Melt__Temperature_Suggested 230\n" + pvt + "\n";
}

std::string Points(const char* upper) {
    return std::string(
               "PVT_Specific_Volume Temperature Pressure PVT_Specific_Volume deg.C MPa "
               "cu.cm/g\n") +
           kLowerRows + upper;
}

// The grades of the file, in label order: coefficients, points, points
// without an upper zone; each alone, then linked.
std::string MaterialFile() {
    const std::string coefficients = std::string("PVT_Specific_Volume ") + kCoefficients;
    return GradeText("OWNC", coefficients, false) + GradeText("OWNCL", coefficients, true) +
           GradeText("OWNP", Points(kUpperRows), false) +
           GradeText("OWNPL", Points(kUpperRows), true) +
           GradeText("LOWER", Points(kNoUpperRows), false) +
           GradeText("LOWERL", Points(kNoUpperRows), true);
}

class PvtPipelineCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pvtpipelineXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "db");
        WriteText(root_ / "pvt.asc", MaterialFile());
    }
    void TearDown() override { fs::remove_all(root_); }

    ProcessResult Run(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("tarnvel"), args, root_.string(),
                          {{"tmp", (root_ / "tmp").string()}});
    }

    // The database of db/ built from the material file, as -asc builds it.
    void BuildDatabase() {
        const fs::path start = fs::current_path();
        fs::current_path(root_ / "db");
        const std::string source = (root_ / "pvt.asc").string();
        int status = 1;
        md_build_personal_database(source.c_str(), static_cast<int>(source.size()), 0, status,
                                   [](const char* path) { return md_read_ascii_file(path); });
        md_close_all();
        fs::current_path(start);
        ASSERT_EQ(status, 1);
    }

    fs::path root_;
};

void ExpectOwnPvtModels(const std::map<int, Codes>& sets, const std::string& run) {
    ASSERT_EQ(sets.size(), 6u) << run;
    // Coefficients and points alike give the Tait model of the grade's own
    // coefficients; a link changes nothing (the linked Tait model stays out).
    for (int label : {1, 3}) {
        const Codes& own = sets.at(label);
        const Codes& linked = sets.at(label + 1);
        ASSERT_TRUE(own.contains(1004)) << run << " set " << label;
        EXPECT_EQ(own.at(1004).size(), 13u) << run;
        ASSERT_TRUE(linked.contains(1004)) << run << " set " << label + 1;
        EXPECT_EQ(linked.at(1004), own.at(1004)) << run << " set " << label + 1;
        EXPECT_NEAR(own.at(1004)[0], 273.15 + 167.84, 0.1) << run << " set " << label;
        EXPECT_EQ(linked.at(1000), own.at(1000)) << run;
        EXPECT_EQ(linked.at(1001), own.at(1001)) << run;
    }
    // The points were made from the coefficients: the zero-pressure volumes
    // of both domains and the transition agree (b5, b1m, b2m, b1s, b2s).
    for (std::size_t i : {0u, 2u, 3u, 6u, 7u}) {
        EXPECT_NEAR(sets.at(3).at(1004)[i], sets.at(1).at(1004)[i],
                    std::fabs(sets.at(1).at(1004)[i]) * 2e-3)
            << run << " b" << i;
    }
    // Without an upper zone the grade's model gives no Tait model and no
    // melt density, only the solid density of its lower zone (about
    // 1088 kg/m3 at 25 deg.C).
    const Codes& lower = sets.at(5);
    EXPECT_FALSE(lower.contains(1004)) << run;
    EXPECT_FALSE(lower.contains(1000)) << run;
    ASSERT_TRUE(lower.contains(1001)) << run;
    EXPECT_NEAR(lower.at(1001)[0], 1.0 / 0.91852e-3, 2.0) << run;
    // Linked, the generic Tait model stands in, named on the generic list.
    const Codes& linked = sets.at(6);
    ASSERT_TRUE(linked.contains(1004)) << run;
    EXPECT_TRUE(linked.contains(1000)) << run;
    ASSERT_TRUE(linked.contains(1890)) << run;
    EXPECT_NE(std::find(linked.at(1890).begin(), linked.at(1890).end(), 1004.0),
              linked.at(1890).end())
        << run;
    for (const auto& [label, codes] : sets) {
        for (const auto& [code, values] : codes) {
            for (double v : values) {
                EXPECT_TRUE(std::isfinite(v)) << run << " set " << label << " code " << code;
            }
        }
    }
}

TEST_F(PvtPipelineCli, AsciiRunGivesEveryGradeItsOwnPvtModel) {
    const ProcessResult result = Run({"-asc", "pvt.asc", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_NE(result.out.find("6 of 6, PVTTEST LOWERL\n"), std::string::npos) << result.out;
    ExpectOwnPvtModels(SetCodes(root_ / "out.udb"), "-asc");
}

TEST_F(PvtPipelineCli, DatabaseRunGivesEveryGradeItsOwnPvtModel) {
    BuildDatabase();
    const ProcessResult result = Run({"-rax", "db/mtip.rax", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    EXPECT_EQ(result.out.find("not found"), std::string::npos) << result.out;
    ExpectOwnPvtModels(SetCodes(root_ / "out.udb"), "-rax");
}

// ---- Coefficient lists with unset values -----------------------------------------------------
// A list shorter than its model, or with a gap, reaches the keyword file
// padded with (or holding) the unset marker; the builder takes such a model
// for absent.

// Eleven of the thirteen product PVT coefficients, as their own property
// and as PVT Specific Volume; all thirteen with the melt zone's k8 unset; a
// complete Tait list and one of ten values.
const char* const kShortCoefficients =
    "Vantorel_PVT_Coefficients 2.55605e+06 625.718 2.79642e+09 2.79642e+09 0 0 0 1.04477e+06 "
    "748.052 1.11857e+09 1.11857e+09";
const char* const kShortSpecificVolume =
    "PVT_Specific_Volume 2.55605e+06 625.718 2.79642e+09 2.79642e+09 0 0 0 1.04477e+06 "
    "748.052 1.11857e+09 1.11857e+09";
const char* const kGapCoefficients =
    "Vantorel_PVT_Coefficients 2.55605e+06 625.718 2.79642e+09 2.79642e+09 0 0 0 1.04477e+06 "
    "-16384 1.11857e+09 1.11857e+09 -1.119e+09 6.66667e+06";
const std::vector<double> kTait = {441,         1.5e-07,    0.00127383,  8.91678e-07, 1e+08,
                                   0.0045,      0.00114759, 2.98343e-07, 2.5e+08,     0.0035,
                                   0.000126235, 0.1,        1.5e-08};
const char* const kTaitList =
    "Modified_Tait_PVT_Coefficients 441 1.5e-07 0.00127383 8.91678e-07 1e+08 0.0045 0.00114759 "
    "2.98343e-07 2.5e+08 0.0035 0.000126235 0.1 1.5e-08";
const char* const kShortTaitList =
    "Modified_Tait_PVT_Coefficients 441 1.5e-07 0.00127383 8.91678e-07 1e+08 0.0045 0.00114759 "
    "2.98343e-07 2.5e+08 0.0035";

// Labels of the grades of the file below.
enum UnsetGrade {
    kNone = 1,
    kShort,
    kNoneLinked,
    kShortLinked,
    kGapLinked,
    kShortTait,
    kShortTaitLinked,
    kShortVolumeLinked,
};

std::string UnsetMaterialFile() {
    return GradeText("NONE", "", false) + GradeText("SHORT", kShortCoefficients, false) +
           GradeText("NONEL", "", true) + GradeText("SHORTL", kShortCoefficients, true) +
           GradeText("GAPL", kGapCoefficients, true) +
           GradeText("SHORTT", std::string(kShortCoefficients) + "\n" + kTaitList, false) +
           GradeText("TAITSL", kShortTaitList, true) +
           GradeText("SVOLL", kShortSpecificVolume, true);
}

// No value of the set is the marker or the marker taken for a temperature.
void ExpectNoMarker(const Codes& codes, int label) {
    for (const auto& [code, values] : codes) {
        for (double v : values) {
            EXPECT_NE(v, -16384.0) << "set " << label << " code " << code;
            EXPECT_NE(v, -16384.0 + 273.15) << "set " << label << " code " << code;
        }
    }
}

void ExpectFinite(const Codes& codes, int label) {
    for (const auto& [code, values] : codes) {
        for (double v : values)
            EXPECT_TRUE(std::isfinite(v)) << "set " << label << " code " << code;
    }
}

std::vector<int> KeysOf(const Codes& codes) {
    std::vector<int> keys;
    for (const auto& entry : codes) keys.push_back(entry.first);
    return keys;
}

TEST_F(PvtPipelineCli, AsciiRunTakesAPvtListWithUnsetValuesForAbsent) {
    WriteText(root_ / "unset.asc", UnsetMaterialFile());
    const ProcessResult result = Run({"-asc", "unset.asc", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    const std::map<int, Codes> sets = SetCodes(root_ / "out.udb");
    ASSERT_EQ(sets.size(), 8u) << result.out;
    for (const auto& [label, codes] : sets) ExpectNoMarker(codes, label);

    // Alone, the short list leaves the grade as one without a PVT model.
    EXPECT_FALSE(sets.at(kShort).contains(1004));
    EXPECT_EQ(KeysOf(sets.at(kShort)), KeysOf(sets.at(kNone)));
    // Neither has a density to give.
    EXPECT_FALSE(sets.at(kShort).contains(1000));
    EXPECT_FALSE(sets.at(kShort).contains(1001));

    // Linked, a grade whose own list is property 88 takes the linked
    // grade's Tait list, as one without a PVT model of its own does.
    const Codes& linked = sets.at(kNoneLinked);
    ASSERT_TRUE(linked.contains(1004));
    for (int label : {kShortLinked, kGapLinked}) {
        const Codes& codes = sets.at(label);
        ASSERT_TRUE(codes.contains(1004)) << label;
        EXPECT_EQ(codes.at(1004), linked.at(1004)) << label;
        EXPECT_EQ(codes.at(1000), linked.at(1000)) << label;
        EXPECT_EQ(codes.at(1001), linked.at(1001)) << label;
        ExpectFinite(codes, label);
    }
    // A grade with its own PVT Specific Volume or Tait list keeps the linked
    // PVT models away: the generic Tait model of the link stands in, named on
    // the generic list.
    for (int label : {kShortVolumeLinked, kShortTaitLinked}) {
        const Codes& codes = sets.at(label);
        ASSERT_TRUE(codes.contains(1004)) << label;
        ASSERT_EQ(codes.at(1004).size(), kTait.size());
        for (std::size_t i = 0; i < kTait.size(); ++i) {
            EXPECT_NEAR(codes.at(1004)[i], kTait[i], std::fabs(kTait[i]) * 1e-5) << label;
        }
        const std::vector<double>& list = codes.at(1890);
        EXPECT_NE(std::find(list.begin(), list.end(), 1004.0), list.end()) << label;
        ExpectFinite(codes, label);
    }
    EXPECT_EQ(sets.at(kShortVolumeLinked).at(1004), sets.at(kShortTaitLinked).at(1004));

    // A complete Tait list of the grade serves in place of the short list.
    const Codes& own_tait = sets.at(kShortTait);
    ASSERT_TRUE(own_tait.contains(1004));
    ASSERT_EQ(own_tait.at(1004).size(), kTait.size());
    for (std::size_t i = 0; i < kTait.size(); ++i) {
        EXPECT_NEAR(own_tait.at(1004)[i], kTait[i], std::fabs(kTait[i]) * 1e-6) << "b" << i;
    }
    ExpectFinite(own_tait, kShortTait);
}

}  // namespace
}  // namespace tarnvel::driver
