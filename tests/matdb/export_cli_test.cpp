// tarnvel-export as a process, over a Local database the test builds.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "rax_test_support.h"
#include "support/process.h"

namespace {

using tarnvel::testing::BuildPersonal;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::Coefficients;
using tarnvel::testing::Grade;
using tarnvel::testing::ReadBytes;
using tarnvel::testing::RunProcess;
using tarnvel::testing::Single;
using tarnvel::testing::Text;

class ExportCliTest : public tarnvel::testing::DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        BuildPersonal(root_, {Grade("ACME", "PP1", "A POLYPROPYLENE",
                                    {Single(1, 0.21f), Text(58, "PP"),
                                     Coefficients(88, 0, std::vector<float>(13, 1.0f)),
                                     Coefficients(89, 0, std::vector<float>(13, 2.0f))})});
    }
    tarnvel::testing::ProcessResult Run(const std::vector<std::string>& args,
                                        const std::string& pvt_order = "",
                                        const std::string& standard = "") {
        return RunProcess(BuiltProgram("tarnvel-export"), args, root_,
                          {{"VTPATH", standard},
                           {"VTPROJ", ""},
                           {"VTCOMP", ""},
                           {"VTPVTORDER", pvt_order},
                           {"VTORDER", ""},
                           {"VTSHRINKORDER", ""}});
    }
};

TEST_F(ExportCliTest, WritesTheKeywordFileAndPrintsTheReport) {
    const auto r = Run({"-supplier", "ACME", "-grade", "PP1", "-output", "pp1.kwd"});
    EXPECT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_NE(r.out.find("GRADE code             : PP1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Thermal Properties:\n"), std::string::npos) << r.out;
    const std::string file = ReadBytes(Path("pp1.kwd"));
    EXPECT_NE(file.find("MATERIAL_THERMAL_CONDUCTIVITY_SINGLE: 0.210000E+00\n"), std::string::npos)
        << file;
    EXPECT_NE(file.find("MATERIAL_MATERIAL_FAMILY: PP\n"), std::string::npos);
    EXPECT_NE(r.out.find("Models chosen: viscosity NONE, PVT VANTOREL, shrinkage NONE\n"),
              std::string::npos)
        << r.out;
    // The database layer's messages are diagnostics.
    EXPECT_EQ(r.out.find("database"), std::string::npos) << r.out;
}

TEST_F(ExportCliTest, ThePvtOrderVariableChoosesTheModel) {
    const auto tait = Run({"-supplier", "ACME", "-grade", "PP1", "-output", "pp1.kwd"}, "TAIT");
    EXPECT_NE(tait.out.find("PVT TAIT,"), std::string::npos) << tait.out;
    const auto json =
        Run({"-supplier", "ACME", "-grade", "PP1", "-output", "pp1.kwd", "--json"}, "MATRIX 2");
    EXPECT_EQ(json.exit_code, 0);
    EXPECT_EQ(json.out,
              "{\n"
              "  \"found\": true,\n"
              "  \"grade\": \"PP1\",\n"
              "  \"models\": {\n"
              "    \"pvt\": \"TAIT\",\n"
              "    \"shrinkage\": \"NONE\",\n"
              "    \"viscosity\": \"NONE\"\n"
              "  },\n"
              "  \"output\": \"pp1.kwd\",\n"
              "  \"supplier\": \"ACME\",\n"
              "  \"written\": true\n"
              "}\n");
}

TEST_F(ExportCliTest, ExitCodesForUsageMissingGradesAndUnwritableFiles) {
    const auto usage = Run({"-supplier", "ACME", "-output", "x.kwd"});
    EXPECT_EQ(usage.exit_code, 2);
    EXPECT_NE(usage.err.find("Usage: "), std::string::npos);
    const auto help = Run({"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("-supplier S"), std::string::npos);
    const auto missing = Run({"-supplier", "ACME", "-grade", "NONE", "-output", "x.kwd"});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_NE(missing.err.find("grade ACME NONE not found on any open database\n"),
              std::string::npos)
        << missing.err;
    EXPECT_EQ(missing.out.find("not found"), std::string::npos) << missing.out;
    const auto diagnosed =
        Run({"-supplier", "ACME", "-grade", "NONE", "-output", "x.kwd", "-diagnostic"});
    EXPECT_EQ(diagnosed.exit_code, 1);
    EXPECT_NE(diagnosed.out.find("Grade ACME NONE not found on any open database.\n"),
              std::string::npos)
        << diagnosed.out;
    const auto unwritable =
        Run({"-supplier", "ACME", "-grade", "PP1", "-output", "no/such/dir/x.kwd"});
    EXPECT_EQ(unwritable.exit_code, 1);
    EXPECT_NE(unwritable.err.find("no/such/dir/x.kwd: keyword file not written"),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(Path("x.kwd")));
}

// PVT Specific Volume held as the product PVT coefficients is the grade's
// own PVT model: written, chosen, and keeping the linked grade's models out.
TEST_F(ExportCliTest, PvtSpecificVolumeCoefficientsAreTheGradesOwnModel) {
    const std::string standard = MakeDir("std");
    tarnvel::testing::BuildStandard(
        standard, {Grade("GENERIC", "PP", "Generic PP",
                         {Coefficients(88, 0, std::vector<float>(13, 7.0f)),
                          Coefficients(89, 0, std::vector<float>(13, 2.0f)), Text(106, "Tait")})});
    const std::vector<float> own = {
        2.55605e+06f, 625.718f, 2.79642e+09f, 2.79642e+09f, 0,           0,           0,
        1.04477e+06f, 748.052f, 1.11857e+09f, 1.11857e+09f, -1.119e+09f, 6.66667e+06f};
    BuildPersonal(
        root_, {Grade("ACME", "OWN", "OWN PVT", {Coefficients(12, 0, own), Text(17, "GENERIC PP")}),
                Grade("ACME", "LINK", "LINKED ONLY", {Text(17, "GENERIC PP")})});
    const auto r = Run({"-supplier", "ACME", "-grade", "OWN", "-output", "own.kwd"}, "", standard);
    ASSERT_EQ(r.exit_code, 0) << r.out << r.err;
    EXPECT_EQ(r.out.find("not a usable model format"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("PVT VANTOREL,"), std::string::npos) << r.out;
    const std::string file = ReadBytes(Path("own.kwd"));
    EXPECT_NE(file.find("MATERIAL_PVT_VANTOREL_COEFFICIENTS: \\\n  0.255605E+07 \\\n"),
              std::string::npos)
        << file;
    EXPECT_EQ(file.find("TAIT"), std::string::npos) << file;
    // The linked Tait model is not the grade's: preferring it finds none.
    const auto tait =
        Run({"-supplier", "ACME", "-grade", "OWN", "-output", "own.kwd"}, "TAIT", standard);
    EXPECT_NE(tait.out.find("PVT NONE,"), std::string::npos) << tait.out;
    const auto linked =
        Run({"-supplier", "ACME", "-grade", "LINK", "-output", "link.kwd"}, "TAIT", standard);
    EXPECT_NE(linked.out.find("PVT TAIT,"), std::string::npos) << linked.out;
}

}  // namespace
