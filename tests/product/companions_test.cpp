// The companion programs as a user meets them: each answers --version with
// its name and the project's one version, and each finds the Standard
// database of the build's product tree as tarnvel does, unless a variable
// set by the user names another place.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "services/env_test_support.h"
#include "support/process.h"
#include "tarnvel_version.h"

namespace {

using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::ReadText;
using tarnvel::testing::RunProcess;
using tarnvel::testing::TempDirectory;
using ::testing::HasSubstr;
using Environment = std::vector<std::pair<std::string, std::string>>;

// No product, database or registry setting of the caller takes part; an
// empty value counts as unset.
Environment Clean(Environment extra = {}) {
    Environment env = {{"TARNVEL_USER_REGISTRY", "/nonexistent/user.ini"},
                       {"TARNVEL_MACHINE_REGISTRY", "/nonexistent/machine.ini"},
                       {"TARNVEL_CONFIG", ""},
                       {"VTSYS_TERNWAY_MODULE", ""},
                       {"KOR_HOME", ""},
                       {"KES_HOME", ""},
                       {"KOR_DAT", ""},
                       {"KES_DAT", ""},
                       {"VTPATH", ""},
                       {"VTPROJ", ""},
                       {"VTCOMP", ""},
                       {"KESPATH", ""}};
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

TEST(CompanionVersion, EachCompanionNamesItselfAndTheProjectVersion) {
    // The version is the one of the project line of the build description.
    const std::string lists = ReadText(std::string(TARNVEL_SOURCE_DIR) + "/CMakeLists.txt");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(lists, match, std::regex(R"(project\(tarnvel VERSION (\S+))")));
    EXPECT_EQ(match[1].str(), TARNVEL_VERSION);

    for (const std::string name : {"udmconv", "matdb", "tarnvel-export"}) {
        const ProcessResult result = RunProcess(BuiltProgram(name), {"--version"});
        EXPECT_EQ(result.exit_code, 0) << name;
        EXPECT_EQ(result.out, name + " " + TARNVEL_VERSION + "\n");
        EXPECT_EQ(result.err, "") << name;
        // The help text names the option.
        EXPECT_THAT(RunProcess(BuiltProgram(name), {"--help"}).out, HasSubstr("--version")) << name;
    }
}

class StandardDatabase : public ::testing::Test {
  protected:
    ProcessResult Export(Environment extra = {}) {
        return RunProcess(BuiltProgram("tarnvel-export"),
                          {"-supplier", "ALDERPOL", "-grade", "AP120", "-output", "ap120.txt"},
                          work.path(), Clean(std::move(extra)));
    }
    bool Written() const { return std::filesystem::exists(work.Path("ap120.txt")); }

    TempDirectory work;
};

TEST_F(StandardDatabase, ExportFindsAShippedGradeWithoutAnySetting) {
    const ProcessResult result = Export();
    ASSERT_EQ(result.exit_code, 0) << result.out << result.err;
    ASSERT_TRUE(Written());
    EXPECT_THAT(ReadText(work.Path("ap120.txt")), HasSubstr("AP120"));
}

TEST_F(StandardDatabase, AVariableSetByTheUserWins) {
    const std::string empty = work.Path("empty");
    std::filesystem::create_directories(empty + "/data/dat");
    // VTPATH names the Standard database's folder.
    ProcessResult result = Export({{"VTPATH", empty}});
    EXPECT_EQ(result.exit_code, 1) << result.out;
    EXPECT_THAT(result.err, HasSubstr("not found"));
    EXPECT_FALSE(Written());
    // The product directory names the tree whose data directory holds it.
    result = Export({{"KOR_HOME", empty}});
    EXPECT_EQ(result.exit_code, 1) << result.out;
    EXPECT_FALSE(Written());
    // And a product data directory of its own.
    result = Export({{"KOR_DAT", empty}});
    EXPECT_EQ(result.exit_code, 1) << result.out;
    EXPECT_FALSE(Written());
}

}  // namespace
