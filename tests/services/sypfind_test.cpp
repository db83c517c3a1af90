#include "services/sypfind.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "services/sypmem.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::services::DataFileCandidates;
using tarnvel::services::LocaleAbbreviation;
using Paths = std::vector<std::string>;

// A private product tree: KOR_DAT and KOR_HOME point into it, the registry
// files are looked for in an empty folder, and the prefix and product
// locale are unset. Product variables are fixed here once, before any
// lookup, because the product environment keeps what it resolved.
class ProductTree : public ::testing::Environment {
  public:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sypfind_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(Data());
        fs::create_directories(Home() + "/data/dat");
        fs::create_directories(root_ + "/config");
        setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        setenv("KOR_DAT", Data().c_str(), 1);
        setenv("KOR_HOME", Home().c_str(), 1);
        unsetenv("KOR_DAT_PREFIX");
        unsetenv("KOR_LOCALE");
        unsetenv("LC_ALL");
        unsetenv("LC_MESSAGES");
    }
    void TearDown() override { fs::remove_all(root_); }

    static std::string Data() { return root_ + "/dat"; }
    static std::string Home() { return root_ + "/home"; }

  private:
    static inline std::string root_;
};

::testing::Environment* const g_tree = ::testing::AddGlobalTestEnvironment(new ProductTree);

void WriteFile(const std::string& path) {
    fs::create_directories(fs::path(path).parent_path());
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_NE(file, nullptr) << path;
    std::fputs("data\n", file);
    std::fclose(file);
}

// The search result as a string ("" for none); the copy is released.
std::string Find(const char* base_name, const char* extension, const char* templates) {
    char* found = sypFindDataFile("data\\dat", base_name, extension, templates);
    std::string result = found != nullptr ? found : "";
    sypFree(found);
    return result;
}

TEST(LocaleNames, SettingsMapToThreeLetterNames) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"en_US", "ENU"}, {"en_US.UTF-8", "ENU"}, {"de_DE", "DEU"},   {"fr_FR", "FRA"},
        {"en_GB", "ENG"}, {"ja_JP.eucJP", "JPN"}, {"zh_CN", "CHS"},   {"zh_TW", "CHT"},
        {"it_IT", "ITA"}, {"es_ES@euro", "ESP"},  {"ko_KR", "KOR"},   {"pt_BR", "PTB"},
        {"C", "ENU"},     {"POSIX", "ENU"},       {"C.UTF-8", "ENU"}, {"", "ENU"},
        {"de_LU", "DEU"}, {"de", "DEU"},          {"xh_ZA", "XHZ"},   {"fil_PH", "FIL"},
    };
    for (const auto& [setting, name] : cases) {
        EXPECT_EQ(LocaleAbbreviation(setting), name) << setting;
    }
}

TEST(DataFileCandidates, StandardTemplatesGiveTheFourPlacesOnceEach) {
    setenv("LANG", "de_DE.UTF-8", 1);
    const std::string dat = ProductTree::Data();
    const std::string home = ProductTree::Home();
    EXPECT_EQ(DataFileCandidates("data\\dat", "units97", ".dat", kSypStandardDataTemplates),
              (Paths{dat + "/DEU/units97.dat", dat + "/units97.dat",
                     home + "/data/dat/DEU/units97.dat", home + "/data/dat/units97.dat"}));
}

TEST(DataFileCandidates, LocaleComesFromTheFirstSetLocaleVariable) {
    setenv("LANG", "de_DE", 1);
    setenv("LC_MESSAGES", "ja_JP", 1);
    EXPECT_EQ(DataFileCandidates("", "n", "", "%L"), Paths{"JPN"});
    setenv("LC_ALL", "ko_KR", 1);
    EXPECT_EQ(DataFileCandidates("", "n", "", "%L"), Paths{"KOR"});
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    unsetenv("LANG");
    EXPECT_EQ(DataFileCandidates("", "n", "", "%L"), Paths{"ENU"});
}

TEST(DataFileCandidates, ReferencesArePlainVariablesReplacedEverywhere) {
    setenv("SYPFIND_ROOT", "/opt/x", 1);
    unsetenv("SYPFIND_UNSET");
    EXPECT_EQ(DataFileCandidates("sub", "b", ".e",
                                 "$SYPFIND_ROOT$/%T/%N%S;$SYPFIND_ROOT$\\a;"
                                 "$SYPFIND_UNSET$/c;;"),
              (Paths{"/opt/x/sub/b.e", "/opt/x/a", "/c"}));
    // A value holding placeholders has them filled in as well.
    setenv("SYPFIND_ROOT", "/opt/%N", 1);
    EXPECT_EQ(DataFileCandidates("", "b", "", "$SYPFIND_ROOT$/f"), Paths{"/opt/b/f"});
}

TEST(DataFileCandidates, UnclosedAndSelfReferringVariablesEnd) {
    EXPECT_EQ(DataFileCandidates("", "b", "", "/a/$OPEN/%N"), Paths{"/a/$OPEN/b"});
    setenv("SYPFIND_LOOP", "$SYPFIND_LOOP$x", 1);
    const Paths grown = DataFileCandidates("", "b", "", "$SYPFIND_LOOP$");
    ASSERT_EQ(grown.size(), 1u);
    EXPECT_LE(grown[0].size(), 128u * 1024u);
    EXPECT_NE(grown[0].find("xx"), std::string::npos);
    // A value doubling itself on every round stops growing as well.
    setenv("SYPFIND_LOOP", "$SYPFIND_LOOP$$SYPFIND_LOOP$%P%L", 1);
    const Paths doubled = DataFileCandidates("", "b", ".dat", "$SYPFIND_LOOP$");
    ASSERT_EQ(doubled.size(), 1u);
    EXPECT_LE(doubled[0].size(), 128u * 1024u);
    setenv("SYPFIND_LOOP", "$", 1);
    EXPECT_EQ(DataFileCandidates("", "b", "", "$SYPFIND_LOOP$/f;$SYPFIND_LOOP$/g"), Paths{"/g"});
}

TEST(DataFileCandidates, SeparatorsCollapseAndNullTextsAreEmpty) {
    EXPECT_EQ(DataFileCandidates(nullptr, "b", nullptr, "/a//%l_%t\\\\%N;/a/%c%l/_/%N"),
              (Paths{"/a/b"}));
    EXPECT_TRUE(DataFileCandidates("a", "b", "c", nullptr).empty());
    EXPECT_EQ(sypFindDataFile(nullptr, nullptr, nullptr, nullptr), nullptr);
}

class DataFileSearch : public ::testing::Test {
  protected:
    void SetUp() override { setenv("LANG", "de_DE", 1); }
    void TearDown() override {
        for (const char* dir : {"DEU", "FRA"}) fs::remove_all(ProductTree::Data() + "/" + dir);
        fs::remove(ProductTree::Data() + "/units97.dat");
        fs::remove(ProductTree::Home() + "/data/dat/units97.dat");
    }
    const std::string dat_ = ProductTree::Data();
};

TEST_F(DataFileSearch, ThePlainDataFileIsFoundWhenNoLocaleFolderHoldsIt) {
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), "");
    WriteFile(dat_ + "/units97.dat");
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), dat_ + "/units97.dat");
}

TEST_F(DataFileSearch, TheLocaleFolderIsPreferred) {
    WriteFile(dat_ + "/units97.dat");
    WriteFile(dat_ + "/DEU/units97.dat");
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), dat_ + "/DEU/units97.dat");
    setenv("LANG", "fr_FR", 1);
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), dat_ + "/units97.dat");
}

TEST_F(DataFileSearch, ADirectoryOfTheFileNameIsPassedOver) {
    fs::create_directories(dat_ + "/DEU/units97.dat");
    const std::string home_file = ProductTree::Home() + "/data/dat/units97.dat";
    WriteFile(home_file);
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), home_file);
    fs::remove(home_file);
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), "");
}

TEST_F(DataFileSearch, AnUnreadableFileIsPassedOver) {
    if (geteuid() == 0) GTEST_SKIP() << "every file is readable for the superuser";
    WriteFile(dat_ + "/DEU/units97.dat");
    WriteFile(dat_ + "/units97.dat");
    chmod((dat_ + "/DEU/units97.dat").c_str(), 0);
    EXPECT_EQ(Find("units97", ".dat", kSypStandardDataTemplates), dat_ + "/units97.dat");
}

// Prints a mismatch for the parent to show, and counts it.
int Expect(const Paths& actual, const Paths& expected, const char* what) {
    if (actual == expected) return 0;
    std::fprintf(stderr, "%s: got", what);
    for (const std::string& path : actual) std::fprintf(stderr, " [%s]", path.c_str());
    std::fputc('\n', stderr);
    return 1;
}

// Runs in a fresh process, where the product variables can still be set.
void CheckPrefixAndProductLocale() {
    setenv("KOR_DAT_PREFIX", "pre_", 1);
    setenv("KOR_LOCALE", "XYZ", 1);
    setenv("LANG", "de_DE", 1);
    int failures = 0;
    failures += Expect(DataFileCandidates("", "units97", ".dat", "%P%N%S"), {"pre_units97.dat"},
                       "extension .dat");
    failures += Expect(DataFileCandidates("", "units97.dat", "", "%P%N"), {"pre_units97.dat"},
                       "name ending in .dat");
    failures += Expect(DataFileCandidates("", "vtrv_logo_a", ".bmp", "%P%N%S"),
                       {"pre_vtrv_logo_a.bmp"}, "logo");
    failures += Expect(DataFileCandidates("", "a.dat.dat", "", "%P%N"), {"a.dat.dat"},
                       "first .dat not at the end");
    failures += Expect(DataFileCandidates("", "units97", ".txt", "%P%N%S"), {"units97.txt"},
                       "other extension");
    failures += Expect(DataFileCandidates("", "n", "", "%L"), {"XYZ"}, "product locale");
    // The child leaves through exit, which skips the environment's tear-down:
    // it removes its own tree.
    g_tree->TearDown();
    std::exit(failures);
}

TEST(DataFileProductDeathTest, PrefixAndProductLocaleComeFromTheProduct) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(CheckPrefixAndProductLocale(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
