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
                                        const std::string& pvt_order = "") {
        return RunProcess(BuiltProgram("tarnvel-export"), args, root_,
                          {{"VTPATH", ""},
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

}  // namespace
