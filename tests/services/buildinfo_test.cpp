// The build information: the year list of the banner, the build table and
// the choice of its current entry by code.
#include "services/buildinfo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "env_test_support.h"
#include "services/libvxenv.h"

namespace {

using namespace tarnvel::services;
using tarnvel::testing::EnvironmentGuard;
using tarnvel::testing::ShippedConfigurationPath;
using tarnvel::testing::TempDirectory;
using Pieces = std::vector<std::string>;

TEST(YearList, RunsFrom2009AtTheEarliestToTheBuildYear) {
    EXPECT_EQ(BuildYear(), 2012);
    EXPECT_EQ(BuildYearPieces(2001), Pieces{"2009  2010  2011  2012  "});
    EXPECT_EQ(YearPieces(2010, 2012), Pieces{"2010  2011  2012  "});
    EXPECT_EQ(YearPieces(2001, 2005), Pieces{"2009  "});
    EXPECT_EQ(YearPieces(2013, 2012), Pieces{});
    EXPECT_EQ(YearPieces(2001, 2020), (Pieces{"2009  2010  2011  2012  2013  2014  2015",
                                              "  2016  2017  2018  2019  2020  "}));
}

class BuildTable : public ::testing::Test {
  protected:
    void SetUp() override {
        env.Unset("VT_BUILDCODE");
        env.Set("TARNVEL_CONFIG", ShippedConfigurationPath());
        envResetForTesting();
    }
    void TearDown() override { envResetForTesting(); }

    // Uses a configuration with the given product elements and definitions.
    void UseConfiguration(const std::string& products, const std::string& definitions) {
        env.Set("TARNVEL_CONFIG", dir.Write("c.xml", "<c><products>" + products + "</products>" +
                                                         definitions + "</c>"));
        envResetForTesting();
    }

    static std::string Definition(const std::string& name, const std::string& release,
                                  const std::string& code) {
        return "<" + name + "><build_release value='" + release + "'/><build_code value='" + code +
               "'/></" + name + ">";
    }

    TempDirectory dir;
    EnvironmentGuard env;
};

TEST_F(BuildTable, FirstEntryServesByDefault) {
    char buffer[kBuildReleaseSize] = "";
    EXPECT_EQ(buildCurrentIndex(), 0);
    EXPECT_EQ(buildGetRelease(buffer), buffer);
    EXPECT_STREQ(buffer, "4.0");
    EXPECT_STREQ(buildGetCode(nullptr), "kor");
    EXPECT_STREQ(buildGetNumber(buffer), "12293");
}

TEST_F(BuildTable, ProductOptionChoosesTheEntryAndTheLastMatchWins) {
    UseConfiguration(
        "<product index='0' value='a'/><product index='1' value='b'/>"
        "<product index='2' value='c'/>",
        Definition("a", "1.0", "k") + Definition("b", "2.0", "ke") +
            Definition("c", "3.0", "kes2"));
    char program[] = "tarnvel";
    char option[] = "-productname";
    char code[] = "kes";
    char* argv[] = {program, option, code, nullptr};
    envHandleVersionOptions(2001, 3, argv);
    EXPECT_EQ(buildCurrentIndex(), 1);
    EXPECT_STREQ(buildGetRelease(nullptr), "2.0");
    buildSelectByCode("kes2-x");
    EXPECT_EQ(buildCurrentIndex(), 2);
}

TEST_F(BuildTable, LongTextsAreCutAndEntriesWithoutCodeMatchNothing) {
    UseConfiguration(
        "<product index='0' value='a'/><product index='1' value='b'/>"
        "<product index='7' value='c'/>",
        Definition("a", std::string(40, '9'), std::string(20, 'x')) + Definition("b", "2.0", "") +
            Definition("c", "7.0", "far"));
    EXPECT_STREQ(buildGetRelease(nullptr), std::string(31, '9').c_str());
    EXPECT_STREQ(buildGetCode(nullptr), std::string(15, 'x').c_str());
    buildSelectByCode("anything");
    EXPECT_EQ(buildCurrentIndex(), 0);
    // An entry beyond the number of entries reads as the first.
    buildSelectByCode("far");
    EXPECT_EQ(buildCurrentIndex(), 0);
}

TEST_F(BuildTable, NoConfigurationGivesEmptyTexts) {
    env.Set("TARNVEL_CONFIG", dir.Write("c.xml", "<c/>"));
    envResetForTesting();
    EXPECT_EQ(buildCurrentIndex(), 0);
    EXPECT_STREQ(buildGetRelease(nullptr), "");
    EXPECT_STREQ(buildGetCode(nullptr), "");
}

}  // namespace
