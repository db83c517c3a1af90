// The version options and the product choice of tarnvel, run as a real
// process: the banner of -ver and -verdbg, where the product configuration
// is found, and which product -prod selects.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "../services/env_test_support.h"
#include "support/process.h"

namespace {

using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::ReadText;
using tarnvel::testing::RunProcess;
using tarnvel::testing::ShippedConfigurationPath;
using tarnvel::testing::TempDirectory;
using ::testing::HasSubstr;
using ::testing::Not;
using Environment = std::vector<std::pair<std::string, std::string>>;

// Keeps the caller's registry files and product variables out of the runs.
Environment Isolated(Environment extra = {}) {
    Environment env = {{"TARNVEL_USER_REGISTRY", "/nonexistent/user.ini"},
                       {"TARNVEL_MACHINE_REGISTRY", "/nonexistent/machine.ini"},
                       {"TARNVEL_CONFIG", ""},
                       {"VT_BUILDCODE", ""},
                       {"VT_BUILDREL", ""},
                       {"KOR_HOME", ""},
                       {"KES_HOME", ""},
                       {"KOR_DAT", ""},
                       {"KES_DAT", ""},
                       {"KOR_USER_HOME", ""},
                       {"KES_USER_HOME", ""}};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

ProcessResult Tarnvel(const std::vector<std::string>& args, Environment extra = {},
                      const std::string& program = BuiltProgram("tarnvel")) {
    return RunProcess(program, args, "", Isolated(std::move(extra)));
}

std::size_t Lines(const std::string& text) {
    return std::count(text.begin(), text.end(), '\n');
}

// The shipped configuration with the release of one product changed.
std::string WithRelease(const std::string& product, const std::string& release) {
    std::string text = ReadText(ShippedConfigurationPath());
    const std::size_t definition = text.find("<" + product + "_product>");
    const std::string old_release = "<build_release value=\"4.0\"/>";
    const std::size_t at = text.find(old_release, definition);
    return text.replace(at, old_release.size(), "<build_release value=\"" + release + "\"/>");
}

TEST(VersionBanner, ShortAndLongForms) {
    const ProcessResult brief = Tarnvel({"-ver"});
    EXPECT_EQ(brief.exit_code, 0);
    EXPECT_EQ(brief.err, "");
    const std::size_t years = brief.out.find("2009  2010  2011  2012");
    ASSERT_NE(years, std::string::npos) << brief.out;
    EXPECT_LT(years, brief.out.find("4.0"));
    EXPECT_THAT(brief.out, HasSubstr("12293"));
    EXPECT_THAT(brief.out, HasSubstr("18-Jul-2012"));
    EXPECT_THAT(brief.out, Not(HasSubstr("19:28:49")));
    // Messages 1, 2, 3, 5 and 0 of the shipped catalogue, in that order.
    EXPECT_EQ(brief.out,
              "tarnvel - plastic-material property data to UDB converter\n"
              "  2009  2010  2011  2012  \n"
              "Copyright Brenmoor for the years above. All rights reserved.\n"
              "Release 4.0, build 12293, built on 18-Jul-2012\n\n");

    const ProcessResult detailed = Tarnvel({"-verdbg"});
    EXPECT_EQ(detailed.exit_code, 0);
    EXPECT_EQ(detailed.err, "");
    EXPECT_THAT(detailed.out, HasSubstr("19:28:49"));
    EXPECT_THAT(detailed.out, HasSubstr("Linux"));
    // Messages 6, 7 and 8 are the three more lines of the long form.
    EXPECT_EQ(Lines(detailed.out), Lines(brief.out) + 3);
}

TEST(VersionBanner, OnlyALoneVersionArgumentShowsIt) {
    EXPECT_THAT(Tarnvel({"-version"}).out, HasSubstr("12293"));
    const ProcessResult with_value = Tarnvel({"-ver", "4.0"});
    EXPECT_EQ(with_value.exit_code, 2);
    EXPECT_THAT(with_value.out, Not(HasSubstr("12293")));
}

// A copy of the program in a tree of its own, with its ini file pointing at
// the sample product tree of the source.
class InstalledCopy : public ::testing::Test {
  protected:
    void SetUp() override {
        program = dir.Write("bin/tarnvel", "");
        std::filesystem::copy_file(BuiltProgram("tarnvel"), program,
                                   std::filesystem::copy_options::overwrite_existing);
        const std::string product = std::string(TARNVEL_SOURCE_DIR) + "/product";
        dir.Write("bin/tarnvel.ini",
                  "[ENVIRONMENT]\nKOR_HOME=" + product + "\nKES_HOME=" + product + "\n");
    }

    std::string Banner(Environment extra = {}) {
        const ProcessResult result = Tarnvel({"-ver"}, std::move(extra), program);
        EXPECT_EQ(result.exit_code, 0);
        return result.out;
    }

    TempDirectory dir;
    std::string program;
};

TEST_F(InstalledCopy, ConfigurationIsSearchedInOrder) {
    // Nothing beside the program: the compiled-in copy serves.
    EXPECT_THAT(Banner(), HasSubstr("4.0"));
    dir.Write("share/tarnvel/products.xml", WithRelease("kor", "7.2"));
    EXPECT_THAT(Banner(), HasSubstr("7.2"));
    dir.Write("bin/products.xml", WithRelease("kor", "6.1"));
    EXPECT_THAT(Banner(), HasSubstr("6.1"));
    const std::string named = dir.Write("named.xml", WithRelease("kor", "5.3"));
    EXPECT_THAT(Banner({{"TARNVEL_CONFIG", named}}), HasSubstr("5.3"));
}

TEST(ProductOption, SelectsTheNamedProduct) {
    // Without a home directory, the user directory of the selected product
    // is reported by its lookup name.
    const std::vector<std::string> tail = {"-ver", "4.0", "-rax", "/nonexistent/x", "-udb", "y"};
    auto run = [&](const std::string& product) {
        std::vector<std::string> args = {"-prod", product};
        args.insert(args.end(), tail.begin(), tail.end());
        return Tarnvel(args, {{"HOME", ""}}).err;
    };
    const std::string kes = run("kes");
    EXPECT_THAT(kes, HasSubstr("KES_USER_HOME"));
    EXPECT_THAT(kes, Not(HasSubstr("KOR_")));
    const std::string kor = run("kor");
    EXPECT_THAT(kor, HasSubstr("KOR_USER_HOME"));
    EXPECT_THAT(kor, Not(HasSubstr("KES_")));
    // Both words: product 1 first, then product 0.
    const std::string both = run("kes/kor");
    ASSERT_NE(both.find("KES_USER_HOME"), std::string::npos);
    EXPECT_LT(both.find("KES_USER_HOME"), both.find("KOR_USER_HOME"));
}

TEST(ProductOption, FreshBuildFindsTheSampleProductTree) {
    TempDirectory dir;
    const ProcessResult result =
        Tarnvel({"-prod", "kor", "-ver", "4.0", "-rax", "/nonexistent/x", "-udb", "y"},
                {{"HOME", dir.path()}});
    EXPECT_THAT(result.err, Not(HasSubstr("Could not determine")));
}

TEST(ProductOption, MalformedConfigurationEndsTheRunOnProductUse) {
    TempDirectory dir;
    const std::string config = dir.Write("bad.xml", "<configuration><products>");
    const ProcessResult result =
        Tarnvel({"-prod", "kor", "-ver", "4.0", "-rax", "/nonexistent/x", "-udb", "y"},
                {{"TARNVEL_CONFIG", config}});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_THAT(result.err, HasSubstr(config));
    EXPECT_THAT(result.err, HasSubstr("Start-end tags mismatch"));
    EXPECT_THAT(result.err, HasSubstr("See source listing"));
}

}  // namespace
