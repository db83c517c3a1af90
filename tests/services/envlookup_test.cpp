// The sources behind the lookup chain: ini files, reference expansion, the
// documents folder, the registry and module file paths.
#include "services/envlookup.h"

#include <gtest/gtest.h>

#include <string>

#include "env_test_support.h"

namespace {

using namespace tarnvel::services;
using tarnvel::testing::EnvironmentGuard;
using tarnvel::testing::TempDirectory;

TEST(IniValue, SectionsAndKeysMatchWithoutCaseAndTheFirstCounts) {
    TempDirectory dir;
    const std::string path = dir.Write("a.ini",
                                       "; comment\n"
                                       "[Software\\Maker\\Environment]\n"
                                       "Key = first\n"
                                       "KEY = second\n"
                                       "[other]\n"
                                       "only = here\n");
    EXPECT_EQ(IniValue(path, "SOFTWARE\\MAKER\\ENVIRONMENT", "key"), "first");
    EXPECT_EQ(IniValue(path, "other", "ONLY"), "here");
    EXPECT_EQ(IniValue(path, "other", "key"), "");
    EXPECT_EQ(IniValue(path, "none", "only"), "");
    EXPECT_EQ(IniValue(dir.Path("missing.ini"), "other", "only"), "");
    EXPECT_EQ(IniValue("", "other", "only"), "");
}

TEST(IniValue, LongValuesAndSectionNamesAreReadWhole) {
    TempDirectory dir;
    const std::string value(300, 'v');
    // Registry keys with a long release text make long section names.
    const std::string section =
        "SOFTWARE\\Brenmoor\\kor\\" + std::string(60, '4') + "\\Environment";
    const std::string path = dir.Write(
        "long.ini", "[" + section + "]\n" + "long = \t" + value + " tail=oops  ; comment\n" +
                        "colon : " + value + "\n" + "; " + std::string(400, 'c') +
                        "\nafter = ok\n[" + section.substr(0, 49) + "]\nafter = wrong\n");
    EXPECT_EQ(IniValue(path, section, "long"), value + " tail=oops");
    EXPECT_EQ(IniValue(path, section, "colon"), value);
    EXPECT_EQ(IniValue(path, section, "tail"), "");
    // The long comment line is no key, and a cut section name is another one.
    EXPECT_EQ(IniValue(path, section, "after"), "ok");
    EXPECT_EQ(IniValue(path, section.substr(0, 49), "after"), "wrong");
    EXPECT_EQ(IniValue(path, section.substr(0, 49), "long"), "");
}

TEST(ExpandReferences, ReplacesSetVariablesAndKeepsTheRest) {
    EnvironmentGuard env;
    env.Set("EXPAND_A", "alpha");
    env.Set("EXPAND_EMPTY", "");
    env.Unset("EXPAND_UNSET");
    const std::pair<const char*, const char*> cases[] = {
        {"$EXPAND_A/x", "alpha/x"},
        {"${EXPAND_A}x", "alphax"},
        {"%EXPAND_A%x", "alphax"},
        {"a$EXPAND_A.b", "aalpha.b"},
        {"[$EXPAND_EMPTY]", "[]"},
        {"$EXPAND_UNSET/${EXPAND_UNSET}/%EXPAND_UNSET%",
         "$EXPAND_UNSET/${EXPAND_UNSET}/%EXPAND_UNSET%"},
        {"100% and %EXPAND_A%", "100% and alpha"},
        {"$ ${ ${} %% $1", "$ ${ ${} %% $1"},
        {"%EXPAND_UNSET%EXPAND_A%", "%EXPAND_UNSETalpha"},
    };
    for (const auto& [text, expanded] : cases) {
        EXPECT_EQ(ExpandReferences(text), expanded) << text;
    }
}

TEST(RegistryPaths, FollowTheOverridesAndTheConfigurationHome) {
    EnvironmentGuard env;
    env.Unset("TARNVEL_USER_REGISTRY");
    env.Unset("TARNVEL_MACHINE_REGISTRY");
    env.Unset("XDG_CONFIG_HOME");
    env.Set("HOME", "/home/someone");
    EXPECT_EQ(UserRegistryPath(), "/home/someone/.config/brenmoor/registry.ini");
    EXPECT_EQ(MachineRegistryPath(), "/etc/brenmoor/registry.ini");
    env.Set("XDG_CONFIG_HOME", "/cfg/");
    EXPECT_EQ(UserRegistryPath(), "/cfg/brenmoor/registry.ini");
    env.Set("TARNVEL_USER_REGISTRY", "/u.ini");
    env.Set("TARNVEL_MACHINE_REGISTRY", "/m.ini");
    EXPECT_EQ(UserRegistryPath(), "/u.ini");
    EXPECT_EQ(MachineRegistryPath(), "/m.ini");
}

TEST(ModuleIniPath, IsTheModulePathWithIniAppended) {
    EnvironmentGuard env;
    TempDirectory dir;
    env.Unset("VTSYS_TERNWAY_MODULE");
    const std::string executable = ExecutablePath();
    EXPECT_TRUE(executable.ends_with("/services_envlookup_test")) << executable;
    EXPECT_EQ(ExecutableDirectory() + "services_envlookup_test", executable);
    EXPECT_EQ(ModuleIniPath(), executable + ".ini");
    // Another module counts only when its file exists.
    env.Set("VTSYS_TERNWAY_MODULE", dir.Path("module.so"));
    EXPECT_EQ(ModuleIniPath(), executable + ".ini");
    dir.Write("module.so", "");
    EXPECT_EQ(ModuleIniPath(), dir.Path("module.so.ini"));
}

}  // namespace
