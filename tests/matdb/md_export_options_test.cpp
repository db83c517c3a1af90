#include "matdb/md_export_options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnvel::matdb {
namespace {

std::optional<MdExportOptions> Parse(std::vector<std::string> words) {
    std::vector<const char*> argv = {"export"};
    for (const std::string& w : words) argv.push_back(w.c_str());
    return md_export_parse(static_cast<int>(argv.size()), argv.data());
}

TEST(ExportOptionsTest, ReadsEveryOptionAndMatchesAllButTheSupplierByPrefix) {
    const auto o = Parse({"-supplier", "ACME", "-gradeX", "G1", "-databaseS", "local", "-output",
                          "out.kwd", "-diagnostics", "-kes"});
    ASSERT_TRUE(o);
    EXPECT_EQ(o->supplier, "ACME");
    EXPECT_EQ(o->grade, "G1");
    EXPECT_EQ(o->database, "local");
    EXPECT_EQ(o->output, "out.kwd");
    EXPECT_TRUE(o->diagnostic);
    EXPECT_TRUE(o->kes);
    const auto plain = Parse({"-supplier", "ACME", "-grade", "G1", "-output", "o"});
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->database, "");
    EXPECT_FALSE(plain->diagnostic || plain->kes);
}

TEST(ExportOptionsTest, RefusesWhatTheUsageLineDoesNotAllow) {
    const std::string name48(48, 'S');
    EXPECT_TRUE(Parse({"-supplier", name48, "-grade", "G", "-output", "o"}));
    EXPECT_FALSE(Parse({"-supplier", name48 + "S", "-grade", "G", "-output", "o"}));
    EXPECT_FALSE(Parse({"-supplierX", "A", "-grade", "G", "-output", "o"}));
    EXPECT_FALSE(Parse({"-sup", "A", "-grade", "G", "-output", "o"}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-gr", "G", "-output", "o"}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-grade", "G", "-output", "o", "-d", "x"}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-grade", "G", "-output"}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-grade", "G"}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-output", "o"}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-grade", std::string(49, 'G'), "-output", "o"}));
    EXPECT_TRUE(Parse({"-supplier", "A", "-grade", "G", "-output", std::string(255, 'o')}));
    EXPECT_FALSE(Parse({"-supplier", "A", "-grade", "G", "-output", std::string(256, 'o')}));
    EXPECT_EQ(md_export_usage("tarnvel-export"),
              "\n\nUsage: tarnvel-export -supplier sup -grade code -output file [-database db] "
              "[-kes]\n");
    EXPECT_EQ(md_export_usage(nullptr),
              "\n\nUsage:  -supplier sup -grade code -output file [-database db] [-kes]\n");
}

TEST(ModelPreferencesTest, DefaultsWordsNumbersAndLimits) {
    const MdModelPreferences d = md_model_preferences(nullptr, "", "  ");
    EXPECT_EQ((std::vector<int>(d.viscosity.begin(), d.viscosity.begin() + 7)),
              (std::vector<int>{2, 1, 4, 5, 6, 3, kMdNoPreference}));
    EXPECT_EQ((std::vector<int>(d.pvt.begin(), d.pvt.begin() + 5)),
              (std::vector<int>{1, 2, 4, 3, kMdNoPreference}));
    EXPECT_EQ(d.shrinkage[0], 2);
    EXPECT_EQ(d.shrinkage[1], 1);

    const MdModelPreferences p =
        md_model_preferences("matrix 7 CROSS-WLF 1", "VANTOREL TAIT vantroel", "RESIDUAL_STRAIN");
    EXPECT_EQ(p.viscosity[0], 3);
    EXPECT_EQ(p.viscosity[1], 6);
    EXPECT_EQ(p.viscosity[2], 1);
    EXPECT_EQ(p.viscosity[3], kMdNoPreference);
    EXPECT_EQ(p.pvt[0], 1);
    EXPECT_EQ(p.pvt[1], 2);
    EXPECT_EQ(p.pvt[2], 1);
    EXPECT_EQ(p.shrinkage[0], 1);
    EXPECT_EQ(p.shrinkage[1], kMdNoPreference);
    // At most 10 viscosity entries are kept.
    const MdModelPreferences many = md_model_preferences("1 2 3 4 5 6 1 2 3 4 5 6", "", "");
    EXPECT_EQ(many.viscosity[9], 4);
}

}  // namespace
}  // namespace tarnvel::matdb
