// The generic data and link tables: the data directory, the table lookups
// with their fallbacks, generic values by set id, the filler composition,
// and the shipped sample data that they read.
#include "convert/udb_converter.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "convert_test_support.h"
#include "services/env_test_support.h"
#include "services/libvxenv.h"

namespace {

using convert_test::Code;
using convert_test::ScratchDir;
using convert_test::Set;
using convert_test::WritePropertyFile;
using convert_test::WriteText;
using tarnvel::convert::CsvTable;
using tarnvel::convert::kGenericValueCapacity;
using tarnvel::convert::MUdbConverter;
using tarnvel::convert::NormaliseDataPath;

using Values = std::array<double, kGenericValueCapacity>;

std::vector<double> Range(double first, int count) {
    std::vector<double> values;
    for (int i = 0; i < count; ++i) values.push_back(first + i);
    return values;
}

// The properties of a filler set, in the order of the composition values.
const std::vector<double> kGlassCodes = {2540,  840,  1.0,  72000, 72000, 0.22, 0.22,
                                         29500, 5e-6, 5e-6, 3400,  3400,  20};
// Talc lacks 3602 (five zeros) and carries three 3702 values.
const std::vector<double> kTalcCodes = {2750, 870,  2.1,  0,    0,   0,   0,
                                        0,    8e-6, 8e-6, 9e-6, 200, 200, 10};
const std::vector<double> kMiscCodes = {2500,  850,  1.0,  50000, 50000, 0.25, 0.25,
                                        20000, 7e-6, 7e-6, 500,   500,   1};

Set FillerSet(std::int32_t label, const char* name, const std::vector<double>& v, bool talc) {
    Set set{21200, label, name};
    set.codes = {{3002, nullptr, {v[0]}}, {3102, nullptr, {v[1]}}, {3202, nullptr, {v[2]}}};
    if (talc) {
        set.codes.push_back({3702, nullptr, {v[8], v[9], v[10]}});
        set.codes.push_back({3802, nullptr, {v[11], v[12]}});
        set.codes.push_back({3912, nullptr, {v[13]}});
    } else {
        set.codes.push_back({3602, nullptr, {v[3], v[4], v[5], v[6], v[7]}});
        set.codes.push_back({3702, nullptr, {v[8], v[9]}});
        set.codes.push_back({3802, nullptr, {v[10], v[11]}});
        set.codes.push_back({3912, nullptr, {v[12]}});
    }
    return set;
}

// A data directory written by the test.
class DataDir {
  public:
    explicit DataDir(bool with_miscellaneous = true) {
        WriteText(dir_.File("family_name.csv"), "PP,Polypropylene\nPA66,Polyamide 6,6\n");
        WriteText(dir_.File("link.csv"), "GEN-PP,50\nGEN-BAD,abc\nGEN-BIG,99999999999\n");
        WriteText(dir_.File("pvt_and_mechanical_link.csv"), "GEN-PP,60\n");
        WriteText(dir_.File("genericclass2mechanical.csv"),
                  "PP,101\nABS,0\nMISC,900\nMISC-CRYSTALLINE,901\n");
        WriteText(dir_.File("generic_class.csv"), "PP,230.5\nABS,abc\n");
        WritePropertyFile(dir_.File("generic_data.udb"), "2.100000E+04", GenericSets());
        std::vector<Set> fillers = {
            {21000, 1, "Wood Flour", {{3002, nullptr, {1}}}},
            FillerSet(1, "Glass Fibre", kGlassCodes, false),
            FillerSet(2, "Talc", kTalcCodes, true),
        };
        if (with_miscellaneous) fillers.push_back(FillerSet(3, "MISCELLANEOUS", kMiscCodes, false));
        WritePropertyFile(dir_.File("filler.udb"), "2.120000E+04", fillers);
    }
    const std::string& path() const { return dir_.path(); }

  private:
    static std::vector<Set> GenericSets() {
        return {
            // Sets of type 20000 come first in the model's order.
            {20000,
             4,
             "legacy without 11002",
             {{1991, nullptr, {60}}, {1602, nullptr, Range(1, 5)}}},
            {21000,
             1,
             "by 1991",
             {{1991, nullptr, {50}}, {1004, nullptr, Range(0, 13)}, {11002, nullptr, {500}}}},
            {21000, 2, "by label", {{11002, nullptr, {510}}}},
            {21000,
             3,
             "second match",
             {{1991, nullptr, {60}}, {11002, nullptr, {520}}, {1602, nullptr, {9}}}},
            {21000, 6, "id zero", {{1991, nullptr, {0}}, {11002, nullptr, {530}}}},
            {21000, 7, "two ids", {{1991, nullptr, {80, 81}}, {11002, nullptr, {540}}}},
            {21000, 8, "long code", {{1991, nullptr, {90}}, {1700, nullptr, Range(0, 300)}}},
            {21000, 9, "fractional id", {{1991, nullptr, {70.9}}, {11002, nullptr, {550}}}},
            {21200, 10, "filler type", {{1991, nullptr, {75}}, {11002, nullptr, {560}}}},
        };
    }

    ScratchDir dir_;
};

// ---- Data directory ---------------------------------------------------------------------------

TEST(DataPath, SeparatorsBecomeOneSlash) {
    EXPECT_EQ(NormaliseDataPath("C:/prog//data"), "C:/prog/data");
    EXPECT_EQ(NormaliseDataPath("C:\\prog\\\\data"), "C:/prog/data");
    EXPECT_EQ(NormaliseDataPath("\\\\/\\srv///x\\"), "/srv/x/");
    EXPECT_EQ(NormaliseDataPath("plain"), "plain");
    EXPECT_EQ(NormaliseDataPath(""), "");
}

TEST(DataPath, DefaultComesFromTheProductVariable) {
    DataDir data;
    tarnvel::testing::EnvironmentGuard env;
    env.Set("KOR_DAT", "/" + data.path() + "//");
    envResetForTesting();
    EXPECT_EQ(MUdbConverter::DefaultDataPath(), data.path() + "/");
    // The default constructor loads from there.
    const MUdbConverter converter;
    EXPECT_EQ(converter.FamilyDisplayName("PP"), "Polypropylene");
    envResetForTesting();
}

// ---- Missing data ------------------------------------------------------------------------------

TEST(MissingData, LookupsFindNothing) {
    ScratchDir empty;
    for (const std::string& directory : {empty.File("absent"), std::string()}) {
        const MUdbConverter converter(directory);
        EXPECT_EQ(converter.FamilyDisplayName("PP"), "");
        EXPECT_EQ(converter.LinkSetId("GEN-PP"), 0);
        EXPECT_EQ(converter.PvtMechanicalSetId("GEN-PP"), 0);
        EXPECT_EQ(converter.ClassMechanicalSetId("PP", true), 0);
        EXPECT_EQ(converter.ClassTemperature("PP"), 0.0);
        Values values{};
        int count = -1;
        EXPECT_FALSE(converter.GenericValues(11002, 50, count, values));
        std::string names = "kept";
        std::vector<double> filler_values{1};
        EXPECT_FALSE(converter.FillerComposition("Talc(10%)", names, filler_values));
        EXPECT_TRUE(filler_values.empty());
    }
}

TEST(MissingData, UnreadableDataFileLeavesItsModelEmpty) {
    ScratchDir dir;
    WriteText(dir.File("generic_data.udb"), "TSET{21000 1 \"x\" TCOD{11002 \"\" 500}} garbage {{{");
    WriteText(dir.File("link.csv"), "GEN-PP,1\n");
    ::testing::internal::CaptureStderr();
    const MUdbConverter converter(dir.path());
    const std::string warning = ::testing::internal::GetCapturedStderr();
    Values values{};
    int count = 0;
    EXPECT_FALSE(converter.GenericValues(11002, 1, count, values));
    EXPECT_EQ(converter.LinkSetId("GEN-PP"), 1);
    // One line names the directory and every file not loaded, the damaged
    // one among them; the table that loaded is not named.
    EXPECT_EQ(warning, "tarnvel: warning: product data directory " + dir.path() +
                           ": cannot load family_name.csv, pvt_and_mechanical_link.csv, "
                           "genericclass2mechanical.csv, generic_class.csv, generic_data.udb, "
                           "filler.udb (values that come from them are left at their "
                           "defaults)\n");
}

TEST(MissingData, CompleteDataDirectoryLoadsWithoutAWord) {
    const std::string shipped = std::string(TARNVEL_SOURCE_DIR) + "/product/data/dat";
    ::testing::internal::CaptureStderr();
    { const MUdbConverter converter(shipped); }
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

// ---- Table lookups ----------------------------------------------------------------------------

TEST(TableLookups, ValuesAsTextIntegerAndReal) {
    DataDir data;
    const MUdbConverter converter(data.path());
    EXPECT_EQ(converter.FamilyDisplayName("PA66"), "Polyamide 6,6");
    EXPECT_EQ(converter.FamilyDisplayName("pp"), "");
    EXPECT_EQ(converter.LinkSetId("GEN-PP"), 50);
    EXPECT_EQ(converter.LinkSetId("GEN-BAD"), 0);
    EXPECT_EQ(converter.LinkSetId("GEN-BIG"), 2147483647);
    EXPECT_EQ(converter.PvtMechanicalSetId("GEN-PP"), 60);
    EXPECT_EQ(converter.PvtMechanicalSetId("GEN-ABS"), 0);
    EXPECT_DOUBLE_EQ(converter.ClassTemperature("PP"), 230.5);
    EXPECT_EQ(converter.ClassTemperature("ABS"), 0.0);
}

TEST(TableLookups, ClassMechanicalFallsBackByCrystallinity) {
    DataDir data;
    const MUdbConverter converter(data.path());
    EXPECT_EQ(converter.ClassMechanicalSetId("PP", false), 101);
    EXPECT_EQ(converter.ClassMechanicalSetId("PP", true), 101);
    // A family that maps to 0 falls back like a missing one.
    EXPECT_EQ(converter.ClassMechanicalSetId("ABS", false), 900);
    EXPECT_EQ(converter.ClassMechanicalSetId("XYZ", false), 900);
    EXPECT_EQ(converter.ClassMechanicalSetId("XYZ", true), 901);
}

TEST(TableLookups, NoFallbackEntriesGiveZero) {
    ScratchDir dir;
    WriteText(dir.File("genericclass2mechanical.csv"), "PP,101\n");
    const MUdbConverter converter(dir.path());
    EXPECT_EQ(converter.ClassMechanicalSetId("ABS", true), 0);
}

// ---- Generic values ---------------------------------------------------------------------------

class GenericValuesTest : public ::testing::Test {
  protected:
    // The values found, or an empty list with found false.
    std::vector<double> Find(std::int32_t code, int set_id, bool& found) const {
        Values values{};
        int count = -1;
        found = converter_.GenericValues(code, set_id, count, values);
        if (!found) return {};
        return std::vector<double>(values.begin(), values.begin() + count);
    }
    std::vector<double> Find(std::int32_t code, int set_id) const {
        bool found = false;
        return Find(code, set_id, found);
    }

    DataDir data_;
    MUdbConverter converter_{data_.path()};
};

TEST_F(GenericValuesTest, MatchesByCode1991OrByLabel) {
    EXPECT_EQ(Find(11002, 50), std::vector<double>{500});
    EXPECT_EQ(Find(1004, 50), Range(0, 13));
    EXPECT_EQ(Find(11002, 2), std::vector<double>{510});
    // Set 1 is addressed by its label as well as by its code 1991.
    EXPECT_EQ(Find(11002, 1), std::vector<double>{500});
    // The id of code 1991 is the value truncated to an integer.
    EXPECT_EQ(Find(11002, 70), std::vector<double>{550});
}

TEST_F(GenericValuesTest, MatchingSetWithoutTheCodeContinuesTheSearch) {
    // Set (20000, 4) comes first and lacks 11002; (21000, 3) has it.
    EXPECT_EQ(Find(11002, 60), std::vector<double>{520});
    // For 1602 the first matching set wins.
    EXPECT_EQ(Find(1602, 60), Range(1, 5));
}

TEST_F(GenericValuesTest, ThingsThatFindNothing) {
    bool found = true;
    Find(11002, 0, found);
    EXPECT_FALSE(found) << "set id 0";
    Find(11002, 80, found);
    EXPECT_FALSE(found) << "code 1991 with two values";
    Find(11002, 75, found);
    EXPECT_FALSE(found) << "a set of another type";
    Find(12345, 50, found);
    EXPECT_FALSE(found) << "a code no matching set has";
    Find(11002, 4711, found);
    EXPECT_FALSE(found) << "an unknown id";
}

TEST_F(GenericValuesTest, LongCodeIsCutToTheBufferWithReport) {
    ::testing::internal::CaptureStderr();
    const std::vector<double> values = Find(1700, 90);
    const std::string report = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(values, Range(0, kGenericValueCapacity));
    EXPECT_NE(report.find("Unexpected Condition Encountered"), std::string::npos);
    EXPECT_NE(report.find("300 values"), std::string::npos);
}

TEST_F(GenericValuesTest, CallersCurrentModelStaysCurrent) {
    convert_test::Model mine;
    udm_model_select(mine.get());
    Find(11002, 50);
    std::string names;
    std::vector<double> values;
    converter_.FillerComposition("Talc(1%)", names, values);
    EXPECT_EQ(udm_model_current(), mine.get());
    udm_model_select(nullptr);
    Find(11002, 50);
    EXPECT_EQ(udm_model_current(), nullptr);
}

// ---- Filler composition -----------------------------------------------------------------------

class FillerTest : public ::testing::Test {
  protected:
    bool Compose(const char* fillers, const MUdbConverter& converter) {
        names_ = "before";
        values_ = {-1};
        return converter.FillerComposition(fillers, names_, values_);
    }
    bool Compose(const char* fillers) { return Compose(fillers, converter_); }

    static std::vector<double> Entry(double share, const std::vector<double>& codes) {
        std::vector<double> values{share};
        values.insert(values.end(), codes.begin(), codes.end());
        return values;
    }
    static std::vector<double> Join(std::vector<double> a, const std::vector<double>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    DataDir data_;
    MUdbConverter converter_{data_.path()};
    std::string names_;
    std::vector<double> values_;
};

TEST_F(FillerTest, SharedPercentagesAddUpPerName) {
    ASSERT_TRUE(Compose("Glass Fibre&Talc(40%),Talc(10%)"));
    EXPECT_EQ(names_, "Glass Fibre|Talc");
    EXPECT_EQ(values_, Join(Entry(20, kGlassCodes), Entry(30, kTalcCodes)));
}

TEST_F(FillerTest, OnlyTheFirstPieceOfAnEntryNamesFillers) {
    // As typed in a grade file: one entry, whose name part is "Glass Fibre".
    ASSERT_TRUE(Compose("Glass Fibre(30%) & Talc(10%)"));
    EXPECT_EQ(names_, "Glass Fibre");
    EXPECT_EQ(values_, Entry(30, kGlassCodes));
    // As the keyword reader stores it: two entries.
    ASSERT_TRUE(Compose("Glass Fibre(30%),Talc(10%)"));
    EXPECT_EQ(names_, "Glass Fibre|Talc");
    EXPECT_EQ(values_, Join(Entry(30, kGlassCodes), Entry(10, kTalcCodes)));
}

TEST_F(FillerTest, NamesInAscendingOrder) {
    ASSERT_TRUE(Compose("Talc(5%),Glass Fibre(15%)"));
    EXPECT_EQ(names_, "Glass Fibre|Talc");
    EXPECT_EQ(values_, Join(Entry(15, kGlassCodes), Entry(5, kTalcCodes)));
}

TEST_F(FillerTest, PartialNameFindsTheSetThatContainsIt) {
    ASSERT_TRUE(Compose("glass(12.5%)"));
    EXPECT_EQ(names_, "Glass Fibre");
    EXPECT_EQ(values_, Entry(12.5, kGlassCodes));
}

TEST_F(FillerTest, UnknownFillerUsesMiscellaneousUnderItsOwnName) {
    // The set named "Wood Flour" has another type and is not a filler set.
    ASSERT_TRUE(Compose("Wood Flour(20%)"));
    EXPECT_EQ(names_, "Wood Flour");
    EXPECT_EQ(values_, Entry(20, kMiscCodes));
}

TEST_F(FillerTest, PercentageIsTheFirstFiniteNonZeroNumber) {
    // "Nanoclay" would read as "nan"; it is no percentage.
    ASSERT_TRUE(Compose("Nanoclay(0%)(5%)"));
    EXPECT_EQ(names_, "Nanoclay");
    EXPECT_EQ(values_, Entry(5, kMiscCodes));
    ASSERT_TRUE(Compose("Talc"));
    EXPECT_EQ(values_, Entry(0, kTalcCodes));
}

TEST_F(FillerTest, EmptyTextFailsAndChangesNothing) {
    EXPECT_FALSE(Compose(""));
    EXPECT_EQ(names_, "before");
    EXPECT_EQ(values_, std::vector<double>{-1});
}

TEST_F(FillerTest, NothingFoundFails) {
    DataDir no_misc(false);
    const MUdbConverter converter(no_misc.path());
    EXPECT_FALSE(Compose("Wood(20%)", converter));
    EXPECT_TRUE(values_.empty());
    EXPECT_EQ(names_, "");
    // One found name is enough.
    EXPECT_TRUE(Compose("Wood(20%),Talc(5%)", converter));
    EXPECT_EQ(names_, "Talc");
    // Separators only: no names, the names text stays.
    EXPECT_FALSE(Compose(",,&(%)", converter));
    EXPECT_EQ(names_, "before");
}

// ---- Shipped sample data ----------------------------------------------------------------------

class SampleData : public ::testing::Test {
  protected:
    static std::string Dir() { return std::string(TARNVEL_SOURCE_DIR) + "/product/data/dat"; }
    static CsvTable Table(const char* name) {
        CsvTable table;
        EXPECT_TRUE(table.Load(Dir() + "/" + name)) << name;
        return table;
    }
    std::vector<double> Generic(std::int32_t code, int set_id, int at_least) const {
        Values values{};
        int count = 0;
        EXPECT_TRUE(converter_.GenericValues(code, set_id, count, values))
            << "code " << code << " of set " << set_id;
        EXPECT_GE(count, at_least) << "code " << code << " of set " << set_id;
        return std::vector<double>(values.begin(), values.begin() + count);
    }

    MUdbConverter converter_{Dir()};
};

TEST_F(SampleData, EveryLinkFindsPlausibleGenericData) {
    const CsvTable links = Table("link.csv");
    ASSERT_GE(links.size(), 12u);
    for (const auto& [link, value] : links.entries()) {
        SCOPED_TRACE(link);
        const int pvt = converter_.PvtMechanicalSetId(link);
        const int set = converter_.LinkSetId(link);
        ASSERT_NE(pvt, 0);
        ASSERT_NE(set, 0);
        const std::vector<double> tait = Generic(1004, set, 13);
        // Densities of melt and solid from the Tait line at zero pressure.
        const double melt = Generic(11002, pvt, 1)[0];
        const double melt_density = 1.0 / (tait[2] + (melt - tait[0]) * tait[3]);
        const double solid_density = 1.0 / (tait[6] + (298.15 - tait[0]) * tait[7]);
        EXPECT_GT(melt_density, 650);
        EXPECT_LT(melt_density, solid_density);
        EXPECT_GT(solid_density, 850);
        EXPECT_LT(solid_density, 1500);
        const std::vector<double> range = Generic(1800, pvt, 2);
        EXPECT_LT(range[0], melt);
        EXPECT_GT(range[1], melt);
        EXPECT_GT(Generic(1801, pvt, 1)[0], range[1]);
        const std::vector<double> mould = Generic(1808, pvt, 2);
        const double mould_default = Generic(11108, pvt, 1)[0];
        EXPECT_LT(mould[0], mould_default);
        EXPECT_GT(mould[1], mould_default);
        // Ejection below no-flow, both between mould and melt temperatures.
        const double ejection = Generic(1504, pvt, 1)[0];
        const double no_flow = Generic(1553, pvt, 1)[0];
        EXPECT_GT(ejection, mould[1]);
        EXPECT_LT(ejection + 10, no_flow);
        EXPECT_LT(no_flow, range[0]);
        EXPECT_GT(Generic(1804, set, 1)[0], 0);
        EXPECT_GT(Generic(1806, set, 1)[0], 0);
    }
}

TEST_F(SampleData, EveryFamilyHasNameClassTemperatureAndMechanicalData) {
    const CsvTable families = Table("family_name.csv");
    ASSERT_GE(families.size(), 12u);
    for (const auto& [family, name] : families.entries()) {
        SCOPED_TRACE(family);
        EXPECT_FALSE(name.empty());
        const double temperature = converter_.ClassTemperature(family);
        EXPECT_GT(temperature, 150);
        EXPECT_LT(temperature, 350);
        for (const bool crystalline : {false, true}) {
            const int set = converter_.ClassMechanicalSetId(family, crystalline);
            const std::vector<double> mechanical = Generic(1602, set, 5);
            // E1, E2, v12, v23, G12 of an isotropic polymer, moduli in Pa.
            EXPECT_GT(mechanical[0], 1e8);
            EXPECT_LT(mechanical[0], 1e10);
            EXPECT_EQ(mechanical[1], mechanical[0]);
            EXPECT_GT(mechanical[2], 0.3);
            EXPECT_LT(mechanical[2], 0.5);
            EXPECT_NEAR(mechanical[4], mechanical[0] / (2 * (1 + mechanical[2])),
                        mechanical[0] * 1e-4);
            EXPECT_GT(Generic(1702, set, 2)[0], 0);
        }
    }
    EXPECT_EQ(converter_.ClassMechanicalSetId("NO-SUCH-FAMILY", false), 900);
    EXPECT_EQ(converter_.ClassMechanicalSetId("NO-SUCH-FAMILY", true), 901);
    Generic(1602, 900, 5);
    Generic(1602, 901, 5);
}

TEST_F(SampleData, FillersFindTheirOwnSets) {
    std::string names;
    std::vector<double> values;
    ASSERT_TRUE(converter_.FillerComposition(
        "Glass Fibre(30%),Carbon Fibre(10%),Talc(5%),Mineral(5%),Sawdust(1%)", names, values));
    EXPECT_EQ(names, "Carbon Fibre|Glass Fibre|Mineral|Sawdust|Talc");
    // Five fillers of 14 values each, all codes present.
    ASSERT_EQ(values.size(), 5u * 14u);
    EXPECT_EQ(values[0], 10);
    EXPECT_EQ(values[14], 30);
    EXPECT_EQ(values[15], 2540);  // glass density, kg/m3
    // Glass moduli and strengths in Pa, like every stress of the sets.
    EXPECT_EQ(values[18], 72e9);
    EXPECT_EQ(values[22], 29.5e9);
    EXPECT_EQ(values[25], 3.4e9);
}

}  // namespace
