// The product environment: the lookup chain, the value cache, the default
// values, the registry key, product selection and its reports.
#include "services/libvxenv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "env_test_support.h"

namespace {

using tarnvel::testing::EnvironmentGuard;
using tarnvel::testing::ShippedConfigurationPath;
using tarnvel::testing::TempDirectory;
using ::testing::HasSubstr;

// The registry section of product kor, release 4.0.
const char kKorSection[] = "[SOFTWARE\\Brenmoor\\kor\\4.0\\Environment]\n";

std::string Text(const char* value) {
    return value != nullptr ? value : "(null)";
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Every test starts from a fresh environment state with the shipped
// configuration, no product variables set, a home directory of its own and
// registry and module ini files in its temporary directory.
class ProductEnvironment : public ::testing::Test {
  protected:
    void SetUp() override {
        env.UnsetPrefixed("KOR_");
        env.UnsetPrefixed("KES_");
        for (const char* name : {"HOMEDRIVE", "HOMEPATH", "XDG_DOCUMENTS_DIR", "XDG_CONFIG_HOME",
                                 "VT_BUILDREL", "VT_BUILDCODE", "PROBE_BASE", "UNSET_PROBE"}) {
            env.Unset(name);
        }
        env.Set("TARNVEL_CONFIG", ShippedConfigurationPath());
        home = dir.Path("home");
        mkdir(home.c_str(), 0700);
        env.Set("HOME", home);
        env.Set("TARNVEL_USER_REGISTRY", dir.Path("user.ini"));
        env.Set("TARNVEL_MACHINE_REGISTRY", dir.Path("machine.ini"));
        env.Set("VTSYS_TERNWAY_MODULE", dir.Write("module", ""));
        envResetForTesting();
    }

    void TearDown() override { envResetForTesting(); }

    TempDirectory dir;
    EnvironmentGuard env;
    std::string home;
};

TEST_F(ProductEnvironment, LookupChainTakesTheFirstSourceThatHasAValue) {
    env.Set("KOR_PROBE", "from-env");
    dir.Write("user.ini", std::string(kKorSection) + "KOR_PROBE=from-user\n");
    dir.Write("machine.ini", std::string(kKorSection) + "KOR_PROBE=from-machine\n");
    // The module ini file is matched without regard to case.
    dir.Write("module.ini", "[environment]\nkor_probe = from-module\n");

    // A plain name is looked up afresh every time, so each removal shows.
    EXPECT_EQ(Text(envGetValue("KOR_PROBE")), "from-env");
    env.Set("KOR_PROBE", "");
    EXPECT_EQ(Text(envGetValue("KOR_PROBE")), "from-user");
    dir.Write("user.ini", std::string(kKorSection) + "OTHER=1\n");
    EXPECT_EQ(Text(envGetValue("KOR_PROBE")), "from-machine");
    dir.Write("machine.ini", "[SOFTWARE\\Brenmoor\\kes\\4.0\\Environment]\nKOR_PROBE=wrong key\n");
    EXPECT_EQ(Text(envGetValue("KOR_PROBE")), "from-module");
    dir.Write("module.ini", "[OTHER]\nKOR_PROBE=wrong section\n");
    EXPECT_EQ(envGetValue("KOR_PROBE"), nullptr);
    EXPECT_EQ(envLookup("KOR_PROBE"), nullptr);
}

TEST_F(ProductEnvironment, RegistryValuesAreExpandedAndModuleValuesAreNot) {
    env.Set("PROBE_BASE", "/srv");
    dir.Write("user.ini", std::string(kKorSection) + "KOR_A=${PROBE_BASE}/a\n");
    dir.Write("module.ini", "[ENVIRONMENT]\nKOR_E=$PROBE_BASE/e\n");
    EXPECT_EQ(Text(envLookup("KOR_A")), "/srv/a");
    EXPECT_EQ(Text(envLookup("KOR_E")), "$PROBE_BASE/e");
}

TEST_F(ProductEnvironment, LongValuesFollowTheLimitsOfTheirSource) {
    // A registry value counts up to 259 characters; the module ini file
    // gives at most 255.
    const std::string fits(259, 'r');
    dir.Write("user.ini", std::string(kKorSection) + "KOR_FITS=" + fits +
                              "\nKOR_LONG=" + std::string(260, 'r') + "\n");
    dir.Write("module.ini", "[ENVIRONMENT]\nKOR_LONG=" + std::string(300, 'm') + "\n");
    EXPECT_EQ(Text(envLookup("KOR_FITS")), fits);
    EXPECT_EQ(Text(envLookup("KOR_LONG")), std::string(255, 'm'));

    // A long release makes a long registry key, still found.
    const std::string release = "4." + std::string(40, '1');
    env.Set("VT_BUILDREL", release);
    dir.Write("machine.ini",
              "[SOFTWARE\\Brenmoor\\kor\\" + release + "\\Environment]\nKOR_REL=long\n");
    EXPECT_EQ(Text(envLookup("KOR_REL")), "long");
}

TEST_F(ProductEnvironment, DocumentsMarkerBecomesTheDocumentsFolder) {
    dir.Write("machine.ini", std::string(kKorSection) +
                                 "KOR_DOCS=%MY_DOCUMENTS%\\projects\n"
                                 "KOR_DROPPED=before%MY_DOCUMENTS%/x/y\n"
                                 "KOR_NO_SEPARATOR=%MY_DOCUMENTS%z\n");
    EXPECT_EQ(Text(envLookup("KOR_DOCS")), home + "/Documents/projects");
    EXPECT_TRUE(IsDirectory(home + "/Documents"));
    EXPECT_EQ(Text(envLookup("KOR_DROPPED")), home + "/Documents/x/y");
    EXPECT_EQ(Text(envLookup("KOR_NO_SEPARATOR")), "%MY_DOCUMENTS%z");

    env.Set("XDG_DOCUMENTS_DIR", dir.Path("papers"));
    EXPECT_EQ(Text(envLookup("KOR_DOCS")), dir.Path("papers") + "/projects");
    EXPECT_TRUE(IsDirectory(dir.Path("papers")));

    // A folder that cannot be made leaves the value as it was expanded.
    env.Set("XDG_DOCUMENTS_DIR", dir.Path("missing/parent"));
    EXPECT_EQ(Text(envLookup("KOR_DOCS")), "%MY_DOCUMENTS%\\projects");
}

TEST_F(ProductEnvironment, GenericValuesAreCachedAndPlainNamesAreNot) {
    env.Set("KOR_HOME", "/opt/kor");
    env.Set("PLAIN_PROBE", "one");
    const char* data = envGetValue("PRODUCT_DAT");
    EXPECT_EQ(Text(data), "/opt/kor/data/dat");
    EXPECT_EQ(Text(envGetValue("PLAIN_PROBE")), "one");

    env.Set("KOR_DAT", "/elsewhere");
    env.Set("PLAIN_PROBE", "two");
    EXPECT_EQ(envGetValue("PRODUCT_DAT"), data);
    EXPECT_EQ(Text(envGetValue("PLAIN_PROBE")), "two");

    // A variable that resolved to nothing is resolved again.
    EXPECT_EQ(envGetValue("PRODUCT_LOCALE"), nullptr);
    env.Set("KOR_LOCALE", "de_DE");
    EXPECT_EQ(Text(envGetValue("PRODUCT_LOCALE")), "de_DE");
    EXPECT_EQ(Text(envGetValueByIndex(4)), "de_DE");
    env.Unset("PLAIN_PROBE");
}

TEST_F(ProductEnvironment, DefaultValuesFollowTheTable) {
    env.Set("KOR_HOME", "/opt/kor");
    env.Set("KOR_USER_HOME", "/home/u/kor/");
    // One row of each kind: the product tree, the user's tree, a nested
    // path, and the file in the data directory.
    const std::vector<std::pair<int, std::string>> expected = {
        {2, "/opt/kor/data/dat"},
        {18, "/opt/kor/bin/instdata.qf3d"},
        {30, "/home/u/kor/workspace"},
        {19, "/opt/kor/data/dat/vxss.dat"},
    };
    for (const auto& [index, path] : expected) {
        EXPECT_EQ(Text(envDefaultValue(index)), path) << "index " << index;
    }
    for (int index : {0, 1, 4, 5, 6, 7, 12, 20, 21, 23, 27}) {
        EXPECT_EQ(envDefaultValue(index), nullptr) << "index " << index;
    }
}

TEST_F(ProductEnvironment, SystemSettingsFileFollowsTheDataDirectory) {
    env.Set("KOR_HOME", "/opt/kor");
    env.Set("KOR_DAT", "/var/kor-data");
    EXPECT_EQ(Text(envDefaultValue(19)), "/var/kor-data/vxss.dat");
}

TEST_F(ProductEnvironment, MisuseIsReportedAndGivesNull) {
    env.Set("KOR_HOME", "/opt/kor");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(envDefaultValue(-1), nullptr);
    EXPECT_EQ(envDefaultValue(31), nullptr);
    EXPECT_EQ(envGetValue(nullptr), nullptr);
    const std::string err = ::testing::internal::GetCapturedStderr();
    const std::string box =
        "\n-----\n| \aUnexpected Condition Encountered:\n| Returned on Assertion Failure:\n-----\n";
    EXPECT_EQ(err, box + box + box);
}

TEST_F(ProductEnvironment, VariableNamesOfTheCurrentProduct) {
    env.Set("KOR_HOME", "/opt/kor");
    EXPECT_EQ(Text(envGetVariableName("PRODUCT_DAT")), "KOR_DAT");
    EXPECT_EQ(Text(envGetVariableName("PRODUCT_FLOAT_FORMAT")), "KOR_FLOAT_FORMAT");
    EXPECT_EQ(Text(envGetVariableName("VANTOREL_UDM_PRINT_ERROR")), "VANTOREL_UDM_PRINT_ERROR");
    // Generic names are matched exactly; anything else is its own name.
    const char* plain = "product_dat";
    EXPECT_EQ(envGetVariableName(plain), plain);

    env.Set("KES_HOME", "/opt/kes");
    envSelectProduct(1, false);
    EXPECT_EQ(Text(envGetVariableName("PRODUCT_DAT")), "KES_DAT");
    EXPECT_EQ(Text(envGetVariableName("VANTOREL_UDM_PRINT_ERROR")), "VANTOREL_UDM_PRINT_ERROR");
}

TEST_F(ProductEnvironment, RegistryKeyFollowsTheRelease) {
    env.Set("KOR_HOME", "/opt/kor");
    // With no release given, the build entry's release serves.
    EXPECT_EQ(Text(envGetRegistryKey()), "SOFTWARE\\Brenmoor\\kor\\4.0");
    envSetRelease("5.1");
    EXPECT_EQ(Text(envGetRegistryKey()), "SOFTWARE\\Brenmoor\\kor\\5.1");
    env.Set("VT_BUILDREL", "R7.3b");
    EXPECT_EQ(Text(envGetRegistryKey()), "SOFTWARE\\Brenmoor\\kor\\7.3b");
    env.Set("VT_BUILDREL", "none");
    EXPECT_EQ(Text(envGetRegistryKey()), "SOFTWARE\\Brenmoor\\kor\\");

    env.Set("VT_BUILDREL", "7.3");
    dir.Write("user.ini", "[SOFTWARE\\Brenmoor\\kor\\7.3\\Environment]\nKOR_Q=seven\n");
    EXPECT_EQ(Text(envLookup("KOR_Q")), "seven");
    env.Set("VT_BUILDREL", "4.0");
    EXPECT_EQ(envLookup("KOR_Q"), nullptr);
}

TEST_F(ProductEnvironment, ReleaseIsCutTo255Characters) {
    env.Set("KOR_HOME", "/opt/kor");
    // The order of the program entry: the release, then the product.
    envSetRelease(std::string(300, '9').c_str());
    envSelectProduct(0, true);
    EXPECT_EQ(Text(envGetRegistryKey()), "SOFTWARE\\Brenmoor\\kor\\" + std::string(255, '9'));
}

TEST_F(ProductEnvironment, SelectingAProductResolvesItsDirectories) {
    env.Set("KES_HOME", "/opt/kes");
    EXPECT_TRUE(envSelectProduct(1, true));
    EXPECT_EQ(Text(envGetProductName()), "kes");
    EXPECT_EQ(Text(envGetValue("PRODUCT_HOME")), "/opt/kes");
    EXPECT_EQ(Text(envGetValue("PRODUCT_USER_HOME")), home + "/kes");
    EXPECT_EQ(Text(envGetValue("PRODUCT_DAT")), "/opt/kes/data/dat");

    // Selecting again re-resolves the two directories; other values stay.
    env.Set("KOR_HOME", "/opt/kor");
    env.Set("KOR_USER_HOME", "/u/kor");
    EXPECT_TRUE(envSelectProduct(0, true));
    EXPECT_EQ(Text(envGetProductName()), "kor");
    EXPECT_EQ(Text(envGetValue("PRODUCT_HOME")), "/opt/kor");
    EXPECT_EQ(Text(envGetValue("PRODUCT_USER_HOME")), "/u/kor");
    EXPECT_EQ(Text(envGetValue("PRODUCT_DAT")), "/opt/kes/data/dat");
}

TEST_F(ProductEnvironment, UserDirectoryLiesInTheHomeDirectory) {
    env.Set("KOR_HOME", "/opt/kor");
    env.Set("HOMEDRIVE", "/drive");
    env.Set("HOMEPATH", "/users/me");
    EXPECT_TRUE(envSelectProduct(0, true));
    EXPECT_EQ(Text(envHomeDirectory()), "/drive/users/me");
    EXPECT_EQ(Text(envGetValue("PRODUCT_USER_HOME")), "/drive/users/me/kor");
    EXPECT_EQ(Text(envDefaultValue(16)), "/drive/users/me/kor/udb");
}

TEST_F(ProductEnvironment, MissingProductDirectoryIsReportedByItsLookupName) {
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(envSelectProduct(0, true));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n-----\n| \aUnexpected Condition Encountered:\n"
              "| Could not determine product directory \n"
              "| The environment variable KOR_HOME must be set\n-----\n");

    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(envSelectProduct(1, false));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(ProductEnvironment, MissingUserDirectoryIsReportedByItsLookupName) {
    env.Set("KES_HOME", "/opt/kes");
    env.Set("HOME", "");
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(envSelectProduct(1, true));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "\n-----\n| \aUnexpected Condition Encountered:\n"
              "| Could not determine product user directory \n"
              "| The environment variable KES_USER_HOME is not set and the users home\n"
              "| directory could not be determined.\n-----\n");
    EXPECT_EQ(envHomeDirectory(), nullptr);
}

TEST_F(ProductEnvironment, BuildCodeChoosesTheProductImplicitly) {
    env.Set("KES_HOME", "/opt/kes");
    env.Set("VT_BUILDCODE", "kes-nightly");
    EXPECT_EQ(Text(envGetValue("PRODUCT_HOME")), "/opt/kes");
    EXPECT_EQ(Text(envGetProductName()), "kes");
    EXPECT_EQ(buildCurrentIndex(), 1);
}

TEST_F(ProductEnvironment, WithoutBuildCodeTheFirstProductServes) {
    env.Set("KOR_HOME", "/opt/kor");
    EXPECT_EQ(Text(envGetProductName()), "kor");
    EXPECT_EQ(buildCurrentIndex(), 0);
    // The implicit choice does not report a missing user directory.
    env.Set("HOME", "");
    envResetForTesting();
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Text(envGetValue("PRODUCT_HOME")), "/opt/kor");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST_F(ProductEnvironment, ConcurrentCallersSeeTheSameValues) {
    env.Set("KOR_HOME", "/opt/kor");
    const char* expected = envGetValue("PRODUCT_HOME");
    std::atomic<int> mismatches{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                if (envGetValue("PRODUCT_HOME") != expected) ++mismatches;
                if (Text(envGetValue("PRODUCT_TOOLS")) != "/opt/kor/tools") ++mismatches;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(mismatches.load(), 0);
}

using ProductEnvironmentDeathTest = ProductEnvironment;

TEST_F(ProductEnvironmentDeathTest, ProductIndexOutOfRangeEndsTheProcess) {
    EXPECT_EXIT(envSelectProduct(2, true), ::testing::ExitedWithCode(1), "See source listing");
    EXPECT_EXIT(envSelectProduct(-1, false), ::testing::ExitedWithCode(1), "See source listing");
}

TEST_F(ProductEnvironmentDeathTest, EmptyConfigurationEndsTheProcessOnFirstUse) {
    env.Set("TARNVEL_CONFIG", dir.Write("empty.xml", "<configuration/>\n"));
    env.Set("KOR_HOME", "/opt/kor");
    EXPECT_EXIT(envSelectProduct(0, true), ::testing::ExitedWithCode(1), "See source listing");
    EXPECT_EXIT(envGetValue("PRODUCT_HOME"), ::testing::ExitedWithCode(1), "See source listing");
}

TEST_F(ProductEnvironmentDeathTest, MalformedConfigurationIsReportedThenEndsTheProcess) {
    const std::string path = dir.Write("bad.xml", "<configuration><variables></configuration>");
    env.Set("TARNVEL_CONFIG", path);
    EXPECT_EXIT(envSelectProduct(0, true), ::testing::ExitedWithCode(1),
                "Cannot read the product configuration:\n\\| " + path +
                    "\n\\| Start-end tags mismatch at offset 28(.|\n)*See source listing");
}

}  // namespace
