// The legacy third-format converter: one converted set (copied, marked and
// derived codes), a whole model (labels, order, progress lines) and whole
// files (packed output, rejected inputs, nothing left behind on failure).
#include "convert/vx2k_to_udb.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "convert_test_support.h"

namespace {

using convert_test::Code;
using convert_test::Model;
using convert_test::ScratchDir;
using convert_test::Set;
using convert_test::TextOf;
using convert_test::ValuesOf;
using convert_test::WritePropertyFile;
using convert_test::WriteText;
using tarnvel::convert::MVx2kToUdb;

using Values = std::vector<double>;

const std::vector<std::int32_t> kNotAvailable = {1011, 1012, 1142, 1143, 1242, 1243,
                                                 1315, 1316, 1332, 1333, 1556, 1557,
                                                 1684, 1685, 4021, 4022, 4031, 4032};

// b5, b6, b1m, b2m, b3m, b4m, b1s, b2s, b3s, b4s, b7, b8, b9.
const Values kTait = {450, 1e-7, 1.3e-3, 9e-7, 1e8, 4.5e-3, 1.15e-3, 3e-7, 2.5e8, 3.5e-3, 0, 0, 0};
// n, tau*, D1, D2, D3, A1, A2: n = 1 makes the shear term 1, so the
// viscosity is half the zero-shear viscosity.
Values CrossWlf(double d1, double d2 = 263.15, double a1 = 0, double a2 = 10) {
    return {1, 1, d1, d2, 0, a1, a2};
}

// A data directory whose generic class table the test writes.
struct ClassTableDir {
    ClassTableDir() {
        WriteText(dir.File("generic_class.csv"), "PP,230\nCOLD,-25.5\nPA66,Polyamide 6,6\n");
    }
    ScratchDir dir;
};

class Vx2kTest : public ::testing::Test {
  protected:
    // A legacy set with every code the converter reads or copies.
    static Set FullSet(std::int32_t label) {
        return {20000,
                label,
                "NP-PP 120 : Northfield",
                {
                    {1004, "Tait", kTait},
                    {11002, "Melt", {503.15}},
                    {1800, "Melt range", {473.15, 553.15}},
                    {1802, "Mould range", {293.15, 353.15}},
                    {11106, "Mould", {323.15}},
                    {1550, "Transition", {396.15}},
                    {1313, "Cross", CrossWlf(5)},
                    {1997, "Northfield"},
                    {1998, "NP-PP 120"},
                    {1999, "PP"},
                    {1992, "Polypropylene"},
                    {1140, "Cp", {503.15, 2740, 0}},
                    {2016, nullptr, {1, 2, 3}},
                    // Not carried over: not in the copy list.
                    {1993, "grade code"},
                    {1000, "old density", {1}},
                    {1011, "own", {7}},
                }};
    }

    // Converts one source set into a fresh target set of label 1.
    UdmTset* Convert(const Set& source_set) {
        source_ = std::make_unique<Model>(std::vector<Set>{source_set});
        target_ = std::make_unique<Model>(std::vector<Set>{{21000, 1}});
        UdmTset* target = target_->Find(21000, 1);
        EXPECT_TRUE(
            converter_.convertSet(target, source_->Find(source_set.type, source_set.label)));
        return target;
    }
    // Converts a set that differs from the full set in a few codes.
    UdmTset* ConvertWith(const std::vector<Code>& changes, std::int32_t label = 3) {
        Set set = FullSet(label);
        for (const Code& change : changes) {
            std::erase_if(set.codes, [&](const Code& c) { return c.code == change.code; });
            if (change.text != nullptr || !change.values.empty()) set.codes.push_back(change);
        }
        return Convert(set);
    }

    ClassTableDir data_;
    MVx2kToUdb converter_{data_.dir.path()};
    std::unique_ptr<Model> source_;
    std::unique_ptr<Model> target_;
};

// ---- One set ------------------------------------------------------------------------------------

TEST_F(Vx2kTest, SetGetsMarkedCopiedAndDerivedCodes) {
    UdmTset* target = Convert(FullSet(42));
    EXPECT_STREQ(udm_tset_description(target), "NP-PP 120 : Northfield");

    std::set<std::int32_t> codes;
    for (const UdmTcod* tcod = target->codes; tcod != nullptr; tcod = tcod->next) {
        codes.insert(udm_tcod_code(tcod));
    }
    std::set<std::int32_t> expected(kNotAvailable.begin(), kNotAvailable.end());
    expected.insert({1004, 11002, 1800, 1808, 11108, 1550, 1554, 1313, 1997, 1998,
                     1999, 1992,  1140, 2016, 1310,  1000, 1001, 1801, 1991, 1328});
    EXPECT_EQ(codes, expected);

    for (std::int32_t code : kNotAvailable) {
        EXPECT_EQ(TextOf(target, code), "Not Available") << code;
        EXPECT_EQ(ValuesOf(target, code), Values{}) << code;
    }
}

TEST_F(Vx2kTest, CopiedCodesKeepTextAndValues) {
    UdmTset* target = Convert(FullSet(42));
    EXPECT_EQ(ValuesOf(target, 1004), kTait);
    EXPECT_EQ(TextOf(target, 1004), "Tait");
    EXPECT_EQ(ValuesOf(target, 1140), (Values{503.15, 2740, 0}));
    EXPECT_EQ(ValuesOf(target, 2016), (Values{1, 2, 3}));
    EXPECT_EQ(TextOf(target, 2016), std::nullopt);
    EXPECT_EQ(TextOf(target, 1998), "NP-PP 120");
    // 1550 goes to both 1550 and 1554; the mould codes change number.
    EXPECT_EQ(ValuesOf(target, 1550), Values{396.15});
    EXPECT_EQ(ValuesOf(target, 1554), Values{396.15});
    EXPECT_EQ(TextOf(target, 1554), "Transition");
    EXPECT_EQ(ValuesOf(target, 1808), (Values{293.15, 353.15}));
    EXPECT_EQ(TextOf(target, 1808), "Mould range");
    EXPECT_EQ(ValuesOf(target, 11108), Values{323.15});
}

TEST_F(Vx2kTest, DerivedValues) {
    UdmTset* target = Convert(FullSet(42));
    EXPECT_EQ(ValuesOf(target, 1310), Values{1.0});
    const double melt_volume = kTait[2] + (503.15 - kTait[0]) * kTait[3];
    const double solid_volume = kTait[6] + (298.15 - kTait[0]) * kTait[7];
    EXPECT_EQ(ValuesOf(target, 1000), Values{1.0 / melt_volume});
    EXPECT_EQ(ValuesOf(target, 1001), Values{1.0 / solid_volume});
    EXPECT_EQ(ValuesOf(target, 1801), Values{553.15 + 40});
    EXPECT_EQ(TextOf(target, 1991), "42");
    EXPECT_EQ(ValuesOf(target, 1991), Values{});
}

TEST_F(Vx2kTest, DensitiesNeedThirteenTaitValues) {
    Values twelve(kTait.begin(), kTait.end() - 1);
    UdmTset* target = ConvertWith({{1004, "Tait", twelve}});
    EXPECT_EQ(ValuesOf(target, 1000), std::nullopt);
    EXPECT_EQ(ValuesOf(target, 1001), std::nullopt);
    EXPECT_EQ(ValuesOf(target, 1004), twelve);

    // Without a melt temperature only the solid density is derived.
    target = ConvertWith({{11002}});
    EXPECT_EQ(ValuesOf(target, 1000), std::nullopt);
    EXPECT_TRUE(ValuesOf(target, 1001).has_value());
    EXPECT_EQ(ValuesOf(target, 11002), std::nullopt);
}

TEST_F(Vx2kTest, MeltMaximumNeedsTwoRangeValues) {
    EXPECT_EQ(ValuesOf(ConvertWith({{1800, nullptr, {473.15}}}), 1801), std::nullopt);
    EXPECT_EQ(ValuesOf(ConvertWith({{1800}}), 1801), std::nullopt);
}

TEST_F(Vx2kTest, SetIdIsTheLabelAsUnsigned) {
    EXPECT_EQ(TextOf(ConvertWith({}, 0), 1991), std::nullopt);
    EXPECT_EQ(TextOf(ConvertWith({}, -1), 1991), "4294967295");
}

// ---- Viscosity index
// ------------------------------------------------------------------------------

TEST_F(Vx2kTest, ViscosityIndexRoundsHalfAwayFromZero) {
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, CrossWlf(5)}}), 1328), "VI(230)3");
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, CrossWlf(-5)}}), 1328), "VI(230)-3");
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, CrossWlf(4.98)}}), 1328), "VI(230)2");
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, CrossWlf(5.02)}}), 1328), "VI(230)3");
}

TEST_F(Vx2kTest, ViscosityIndexFollowsTheClassTemperature) {
    // eta = D1 exp(-A1 d / (A2 + d)) / 2 with d = T - D2.
    const Values cross = CrossWlf(1000, 263.15, 1, 10);
    const auto expected = [](double celsius) {
        const double d = celsius + 273.15 - 263.15;
        return std::lround(1000 * std::exp(-d / (10 + d)) / 2);
    };
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, cross}}), 1328),
              "VI(230)" + std::to_string(expected(230)));
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, cross}, {1999, "COLD"}}), 1328),
              "VI(-25.5)" + std::to_string(expected(-25.5)));
    // A class missing from the table is evaluated at 0 C.
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, cross}, {1999, "NO-SUCH-CLASS"}}), 1328),
              "VI(0)" + std::to_string(expected(0)));
    // The table keeps the second field only.
    EXPECT_EQ(converter_.genericValue("PA66"), 0.0);
    EXPECT_EQ(converter_.genericValue("COLD"), -25.5);
}

TEST_F(Vx2kTest, ViscosityIndexNeedsSevenCoefficientsAndAClass) {
    Values six = CrossWlf(5);
    six.pop_back();
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, six}}), 1328), std::nullopt);
    EXPECT_EQ(TextOf(ConvertWith({{1999}}), 1328), std::nullopt);
    // The code 1999 without a text names no class.
    EXPECT_EQ(TextOf(ConvertWith({{1999, nullptr, {1}}}), 1328), std::nullopt);
}

TEST_F(Vx2kTest, ViscosityThatIsNoNumberGivesNoIndex) {
    // exp overflows: infinity over infinity.
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, {0.5, 1, 1e300, 263.15, 0, -1000, 10}}}), 1328),
              std::nullopt);
    // Beyond the int range.
    EXPECT_EQ(TextOf(ConvertWith({{1313, nullptr, CrossWlf(1e12)}}), 1328), std::nullopt);
}

TEST_F(Vx2kTest, MissingSetFails) {
    Model model({{21000, 1}, {20000, 1}});
    EXPECT_FALSE(converter_.convertSet(nullptr, model.Find(20000, 1)));
    EXPECT_FALSE(converter_.convertSet(model.Find(21000, 1), nullptr));
}

// ---- Whole model
// ----------------------------------------------------------------------------------

// Keeps the progress lines instead of printing them.
class RecordingConverter : public MVx2kToUdb {
  public:
    using MVx2kToUdb::MVx2kToUdb;
    void print(int file_number, int file_count, int material_number, int material_count,
               const char* text1, const char* text2) const override {
        lines.push_back(std::to_string(file_number) + "/" + std::to_string(file_count) + " " +
                        std::to_string(material_number) + "/" + std::to_string(material_count) +
                        " " + (text1 ? text1 : "-") + " " + (text2 ? text2 : "-"));
    }
    mutable std::vector<std::string> lines;
};

Set Grade(std::int32_t label, const char* supplier, const char* grade) {
    return {20000, label, grade, {{1997, supplier}, {1998, grade}}};
}

TEST(Vx2kModel, EverySetConvertedUnderItsLabelWithProgress) {
    Model source({Grade(5, "A", "g5"), Grade(7, "B", "g7"), Grade(9, "C", nullptr)});
    Model target;
    Model other;
    udm_model_select(other.get());
    RecordingConverter converter("");
    EXPECT_TRUE(converter.convertModel(target.get(), source.get(), 2, 3));
    EXPECT_EQ(udm_model_current(), other.get());
    udm_model_select(nullptr);

    EXPECT_EQ(converter.lines,
              (std::vector<std::string>{"2/3 1/3 A g5", "2/3 2/3 B g7", "2/3 3/3 C -"}));
    EXPECT_EQ(udm_typed_type(target.get()), 21000);
    EXPECT_EQ(udm_typed_count(target.get()), 3);
    for (std::int32_t label : {5, 7, 9}) {
        EXPECT_EQ(TextOf(target.Find(21000, label), 1991), std::to_string(label));
    }
}

TEST(Vx2kModel, OnlySetsOfTheLegacyTypeAreConverted) {
    Model source({{10000, 1, "older"}, Grade(3, "A", "g3"), {21000, 4, "newer"}});
    Model target;
    RecordingConverter converter("");
    converter.convertModel(target.get(), source.get(), 1, 1);
    // The count is that of every set in the model.
    EXPECT_EQ(converter.lines, std::vector<std::string>{"1/1 1/3 A g3"});
    EXPECT_EQ(udm_typed_count(target.get()), 1);
    EXPECT_NE(target.Find(21000, 3), nullptr);
}

TEST(Vx2kModel, TakenLabelGetsAnAutomaticOne) {
    Model source({Grade(5, "A", "g5"), Grade(7, "B", "g7"), Grade(9, "C", "g9")});
    Model target({{21000, 7, "already there"}});
    RecordingConverter converter("");
    converter.convertModel(target.get(), source.get(), 1, 1);
    EXPECT_EQ(converter.lines.size(), 3u);
    EXPECT_STREQ(udm_tset_description(target.Find(21000, 7)), "already there");
    EXPECT_EQ(TextOf(target.Find(21000, 8), 1991), "7");
    EXPECT_EQ(TextOf(target.Find(21000, 9), 1991), "9");
}

TEST(Vx2kModel, ProgressLineFormat) {
    const MVx2kToUdb converter("");
    ::testing::internal::CaptureStdout();
    converter.print(1, 2, 3, 4, "Supplier", "Grade 1");
    converter.print(1, 1, 1, 1, nullptr, nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "File 1 of 2, Material 3 of 4, Supplier Grade 1\nFile 1 of 1, Material 1 of 1,  \n");
}

// ---- Whole files
// ----------------------------------------------------------------------------------

class Vx2kFile : public ::testing::Test {
  protected:
    bool Convert(const std::string& input, const std::string& output) {
        ::testing::internal::CaptureStdout();
        const bool ok = converter_.convert(input.c_str(), output.c_str());
        progress_ = ::testing::internal::GetCapturedStdout();
        return ok;
    }

    ScratchDir dir_;
    MVx2kToUdb converter_{""};
    std::string progress_;
};

TEST_F(Vx2kFile, WritesAPackedPropertyFile) {
    WritePropertyFile(dir_.File("in.udm"), "20000", {Grade(5, "A", "g5"), Grade(7, "B", "g7")});
    ASSERT_TRUE(Convert(dir_.File("in.udm"), dir_.File("out.udb")));
    EXPECT_EQ(progress_,
              "File 1 of 1, Material 1 of 2, A g5\nFile 1 of 1, Material 2 of 2, B g7\n");

    // Packed: the text reader refuses it.
    Model probe;
    udm_model_select(probe.get());
    EXPECT_EQ(udm_model_read(dir_.File("out.udb").c_str(), UDM_MODE_TEXT), UDM_BAD_ARGUMENT);
    udm_model_select(nullptr);

    UdmModel* output = udm_typed_open(dir_.File("out.udb").c_str(), UDM_MODE_PACKED);
    ASSERT_NE(output, nullptr);
    EXPECT_EQ(udm_typed_type(output), 21000);
    EXPECT_EQ(udm_typed_count(output), 2);
    udm_model_select(output);
    void* first = udm_entity_first(UDM_CLASS_TSET, 21000);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(udm_entity_label(first), 5);
    EXPECT_EQ(TextOf(static_cast<UdmTset*>(first), 1997), "A");
    udm_typed_close(output);
    EXPECT_EQ(udm_model_current(), nullptr);
}

TEST_F(Vx2kFile, AcceptsPackedInputAndAnyTypeTextOf20000) {
    WritePropertyFile(dir_.File("in.udb"), "2.000000E+04", {Grade(1, "A", "g")}, UDM_MODE_PACKED);
    EXPECT_TRUE(Convert(dir_.File("in.udb"), dir_.File("out.udb")));
}

TEST_F(Vx2kFile, RejectedInputsWriteNothing) {
    WritePropertyFile(dir_.File("new.udm"), "21000", {{21000, 1, "x"}});
    WritePropertyFile(dir_.File("untyped.udm"), nullptr, {Grade(1, "A", "g")});
    WriteText(dir_.File("text.txt"), "this is no UDM file\n");
    WriteText(dir_.File("broken.udm"), "TITL{ NAME{\"x\"} {{{{ ENDF");
    for (const char* input : {"new.udm", "untyped.udm", "text.txt", "broken.udm", "absent.udm"}) {
        SCOPED_TRACE(input);
        EXPECT_FALSE(Convert(dir_.File(input), dir_.File("out.udb")));
        EXPECT_EQ(progress_, "");
    }
    EXPECT_EQ(dir_.Names(),
              (std::vector<std::string>{"broken.udm", "new.udm", "text.txt", "untyped.udm"}));
}

TEST_F(Vx2kFile, UnwritableOutputFailsWithoutLeftovers) {
    WritePropertyFile(dir_.File("in.udm"), "20000", {Grade(1, "A", "g")});
    EXPECT_FALSE(Convert(dir_.File("in.udm"), dir_.File("no-such-dir/out.udb")));
    std::filesystem::create_directory(dir_.File("out.udb"));
    EXPECT_FALSE(Convert(dir_.File("in.udm"), dir_.File("out.udb")));
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"in.udm", "out.udb"}));
    EXPECT_TRUE(std::filesystem::is_empty(dir_.File("out.udb")));
}

TEST_F(Vx2kFile, ReplacesAnExistingOutputAndKeepsItsMode) {
    WritePropertyFile(dir_.File("in.udm"), "20000", {Grade(1, "A", "g")});
    WriteText(dir_.File("out.udb"), "previous");
    std::filesystem::permissions(dir_.File("out.udb"), std::filesystem::perms(0640));
    ASSERT_TRUE(Convert(dir_.File("in.udm"), dir_.File("out.udb")));
    EXPECT_NE(convert_test::ReadText(dir_.File("out.udb")), "previous");
    EXPECT_EQ(std::filesystem::status(dir_.File("out.udb")).permissions(),
              std::filesystem::perms(0640));
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"in.udm", "out.udb"}));
}

TEST_F(Vx2kFile, MissingPathsFail) {
    EXPECT_FALSE(converter_.convert(nullptr, dir_.File("out.udb").c_str()));
    EXPECT_FALSE(converter_.convert(dir_.File("in.udm").c_str(), nullptr));
}

}  // namespace
