// matdb diff: the comparison of two databases read into memory, and the tool
// over databases built through the access layer (personal, Standard, the
// shipped Standard database, a damaged one).
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_diff.h"
#include "rax_test_support.h"
#include "services/vtout.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tarnvel::matdb::kMdGenericLink;
using tarnvel::matdb::md_diff;
using tarnvel::matdb::md_difference_text;
using tarnvel::matdb::MdSnapshot;
using tarnvel::testing::BuildPersonal;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::Grade;
using tarnvel::testing::MakeStandard;
using tarnvel::testing::Points;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;
using tarnvel::testing::Single;
using tarnvel::testing::Text;

const fs::path kShipped = fs::path(TARNVEL_BIN_DIR) / "../share/tarnvel/data/dat";

MdProperty PvtTable(float last) {
    return Points(12, {1, 4}, {200.0f, 0.0f, 0.001f, 250.0f, 0.0f, last});
}

std::vector<MdGrade> Sample() {
    return {
        Grade("ACME", "PP100", "GENERAL PURPOSE",
              {Single(3, 752.308f), PvtTable(0.00105f), Text(58, "PP")}),
        Grade("ACME", "PP200", "HIGH FLOW", {Single(1, 0.21f)}),
        Grade("BETA", "PA66", "NYLON", {Single(2, 1700.0f), Text(kMdGenericLink, "GSUP GEN1")})};
}

MdSnapshot Snapshot(std::vector<MdGrade> grades) {
    MdSnapshot snapshot;
    for (const MdGrade& grade : grades)
        if (std::find(snapshot.suppliers.begin(), snapshot.suppliers.end(), grade.supplier) ==
            snapshot.suppliers.end())
            snapshot.suppliers.push_back(grade.supplier);
    snapshot.grades = std::move(grades);
    return snapshot;
}

std::vector<std::string> Lines(const std::vector<MdGrade>& before,
                               const std::vector<MdGrade>& after) {
    std::vector<std::string> lines;
    for (const auto& d : md_diff(Snapshot(before), Snapshot(after)))
        lines.push_back(md_difference_text(d));
    return lines;
}

using Expected = std::vector<std::string>;

TEST(MdDiff, NamesEachChangeOfAGradeExactly) {
    EXPECT_EQ(Lines(Sample(), Sample()), Expected{});
    std::vector<MdGrade> after = Sample();
    after[0].items[0].values[0] = MdWord::Real(760.0f);
    after[0].items[1] = PvtTable(0.0011f);
    after[0].items[1].variables = {1};
    after[0].items[2].text = "PE";
    after[0].description = "SPECIAL";
    after[1].items[0].format = MD_COEFFICIENTS;
    after[1].items[0].model = 2;
    EXPECT_EQ(Lines(Sample(), after),
              (Expected{
                  "changed ACME PP100 description: \"GENERAL PURPOSE\" -> \"SPECIAL\"",
                  "changed ACME PP100 property 3 Melt Density [0]: 752.308 -> 760",
                  "changed ACME PP100 property 12 PVT Specific Volume variables: "
                  "Temperature, Pressure -> Temperature",
                  "changed ACME PP100 property 12 PVT Specific Volume [5]: 0.00105 -> 0.0011",
                  "changed ACME PP100 property 58 Material Family text: \"PP\" -> \"PE\"",
                  "changed ACME PP200 property 1 Conductivity format: 1 -> 4",
                  "changed ACME PP200 property 1 Conductivity model: 0 -> 2",
              }));
}

TEST(MdDiff, ValuesAddedOrDroppedAtTheEndAreNamedByIndex) {
    std::vector<MdGrade> after = Sample();
    after[0].items[0].values.push_back(MdWord::Real(1.5f));
    EXPECT_EQ(Lines(Sample(), after),
              Expected{"changed ACME PP100 property 3 Melt Density [1]: (none) -> 1.5"});
    EXPECT_EQ(Lines(after, Sample()),
              Expected{"changed ACME PP100 property 3 Melt Density [1]: 1.5 -> (none)"});
}

TEST(MdDiff, TextsWithQuotesAndControlBytesStayOnOneLine) {
    std::vector<MdGrade> after = Sample();
    after[0].items[2].text = "A \"B\"\n\\C";
    EXPECT_EQ(Lines(Sample(), after),
              Expected{"changed ACME PP100 property 58 Material Family text: \"PP\" -> "
                       "\"A \\\"B\\\"\\x0a\\\\C\""});
}

TEST(MdDiff, SuppliersGradesPropertiesAndLinksAddedAndRemoved) {
    std::vector<MdGrade> after = Sample();
    after.erase(after.begin() + 1);                // ACME PP200 gone
    after[1].supplier = "GAMMA";                   // BETA gone, GAMMA new
    after[0].items.erase(after[0].items.begin());  // property 3 gone
    after[0].items.push_back(Single(2, 900.0f));   // property 2 new
    after[0].items.push_back(Text(kMdGenericLink, "G X"));
    EXPECT_EQ(Lines(Sample(), after), (Expected{
                                          "removed supplier BETA",
                                          "added supplier GAMMA",
                                          "added ACME PP100 property 2 Specific Heat",
                                          "removed ACME PP100 property 3 Melt Density",
                                          "added ACME PP100 link \"G X\"",
                                          "removed grade ACME PP200",
                                          "removed grade BETA PA66",
                                          "added grade GAMMA PA66",
                                      }));
}

TEST(MdDiff, LinksAreComparedAsLinksAndVersionsWhenBothHaveOne) {
    std::vector<MdGrade> after = Sample();
    after[2].items[1].text = "GSUP GEN2";
    MdSnapshot old_db = Snapshot(Sample());
    MdSnapshot new_db = Snapshot(after);
    old_db.version = "$V1";
    EXPECT_EQ(md_diff(old_db, new_db).size(), 1u);
    new_db.version = "$V2";
    std::vector<std::string> lines;
    for (const auto& d : md_diff(old_db, new_db)) lines.push_back(md_difference_text(d));
    EXPECT_EQ(lines, (Expected{"changed version: \"$V1\" -> \"$V2\"",
                               "changed BETA PA66 link: \"GSUP GEN1\" -> \"GSUP GEN2\""}));
}

TEST(MdDiff, AGradeHeldTwiceIsMatchedOccurrenceByOccurrence) {
    std::vector<MdGrade> twice = Sample();
    twice.push_back(twice[1]);
    twice.back().items[0].values[0] = MdWord::Real(0.5f);
    std::vector<MdGrade> changed = twice;
    changed.back().items[0].values[0] = MdWord::Real(0.6f);
    EXPECT_EQ(Lines(twice, changed),
              Expected{"changed ACME PP200 property 1 Conductivity [0]: 0.5 -> 0.6"});
    EXPECT_EQ(Lines(twice, Sample()), Expected{"removed grade ACME PP200"});
}

// ---- the tool ----------------------------------------------------------

class MatdbDiff : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/matdb-diff-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(vtOutDiscard);
    }
    void TearDown() override {
        md_close_all();
        fs::remove_all(root_);
    }

    fs::path Build(const std::string& name, const std::vector<MdGrade>& grades) {
        BuildPersonal((root_ / name).string(), grades);
        return root_ / name;
    }

    // A personal database made a Standard one: files renamed, Standard magic.
    fs::path BuildStandard(const std::string& name, const std::vector<MdGrade>& grades) {
        const fs::path folder = Build(name, grades);
        MakeStandard(folder.string());
        return folder;
    }

    ProcessResult Run(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("matdb"), args, "", {{"VTPATH", ""}});
    }

    fs::path root_;
};

TEST_F(MatdbDiff, TheShippedStandardDatabaseEqualsItself) {
    ASSERT_TRUE(fs::exists(kShipped / "mtds.rax")) << kShipped;
    const ProcessResult out = Run({"diff", kShipped.string(), kShipped.string()});
    EXPECT_EQ(out.exit_code, 0) << out.err;
    EXPECT_EQ(out.out, "");
}

// The shipped database's source imported as a personal database holds the
// same grades; one number edited in the source is the one difference.
TEST_F(MatdbDiff, TheShippedSourceImportedAsPersonalDiffersOnlyInTheEditedValue) {
    std::ifstream in(fs::path(TARNVEL_SOURCE_DIR) / "product/data/dat/standard.asc");
    std::string text{std::istreambuf_iterator<char>(in), {}};
    const std::string from = "Melt_Density 752.308 kg/cu.m";
    const std::size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos);
    std::ofstream(root_ / "same.asc") << text;
    std::ofstream(root_ / "edited.asc")
        << text.replace(at, from.size(), "Melt_Density 760 kg/cu.m");
    for (const char* name : {"same", "edited"}) {
        const ProcessResult import = Run(
            {"import", (root_ / (std::string(name) + ".asc")).string(), (root_ / name).string()});
        ASSERT_EQ(import.exit_code, 0) << import.out << import.err;
    }
    EXPECT_EQ(Run({"diff", kShipped.string(), (root_ / "same").string()}).exit_code, 0);
    const ProcessResult out = Run({"diff", kShipped.string(), (root_ / "edited").string()});
    EXPECT_EQ(out.exit_code, 1) << out.err;
    EXPECT_EQ(out.out, "changed ALDERPOL AP120 property 3 Melt Density [0]: 752.308 -> 760\n");
}

TEST_F(MatdbDiff, OneChangedValueIsTheOnlyLine) {
    std::vector<MdGrade> changed = Sample();
    changed[0].items[0].values[0] = MdWord::Real(760.0f);
    const fs::path a = Build("a", Sample());
    const fs::path b = Build("b", changed);
    const ProcessResult out = Run({"diff", a.string(), b.string()});
    EXPECT_EQ(out.exit_code, 1) << out.err;
    EXPECT_EQ(out.out, "changed ACME PP100 property 3 Melt Density [0]: 752.308 -> 760\n");

    const ProcessResult doc = Run({"diff", "--json", a.string(), b.string()});
    EXPECT_EQ(doc.exit_code, 1) << doc.err;
    const json expected = json::parse(R"({"equal": false, "count": 1, "differences": [
        {"change": "changed", "subject": "value", "supplier": "ACME", "grade": "PP100",
         "property": 3, "name": "Melt Density", "index": 0, "old": 752.308, "new": 760}]})");
    EXPECT_EQ(json::parse(doc.out), expected);
    const ProcessResult same = Run({"diff", "--json", a.string(), a.string()});
    EXPECT_EQ(same.exit_code, 0) << same.err;
    EXPECT_EQ(json::parse(same.out)["equal"], true);
}

TEST_F(MatdbDiff, APersonalDatabaseAgainstAStandardOneInBothOrders) {
    const fs::path personal = Build("personal", Sample());
    std::vector<MdGrade> fewer = Sample();
    fewer.pop_back();
    const fs::path standard = BuildStandard("standard", fewer);
    const ProcessResult out = Run({"diff", standard.string(), personal.string()});
    EXPECT_EQ(out.exit_code, 1) << out.err;
    EXPECT_EQ(out.out, "added supplier BETA\nadded grade BETA PA66\n");
    const ProcessResult back = Run({"diff", personal.string(), standard.string()});
    EXPECT_EQ(back.out, "removed supplier BETA\nremoved grade BETA PA66\n");
    // Two Standard databases: both can only be opened in the Standard slot.
    fewer[1].items[0].values[0] = MdWord::Real(0.25f);
    const fs::path other = BuildStandard("standard2", fewer);
    const ProcessResult two = Run({"diff", standard.string(), other.string()});
    EXPECT_EQ(two.exit_code, 1) << two.err;
    EXPECT_EQ(two.out, "changed ACME PP200 property 1 Conductivity [0]: 0.21 -> 0.25\n");
    EXPECT_EQ(Run({"diff", other.string(), other.string()}).exit_code, 0);
}

TEST_F(MatdbDiff, AChangedLinkIsALinkUnlessResolvedAgainstAStandardDatabase) {
    MdGrade gen1 = Grade("GSUP", "GEN1", "GENERIC", {Single(3, 700.0f)});
    MdGrade gen2 = Grade("GSUP", "GEN2", "GENERIC", {Single(3, 700.0f)});
    const fs::path standard = BuildStandard("std", {gen1, gen2});
    const fs::path a =
        Build("a", {Grade("BETA", "PA66", "NYLON", {Text(kMdGenericLink, "GSUP GEN1")})});
    const fs::path b =
        Build("b", {Grade("BETA", "PA66", "NYLON", {Text(kMdGenericLink, "GSUP GEN2")})});
    const ProcessResult stored = Run({"diff", a.string(), b.string()});
    EXPECT_EQ(stored.exit_code, 1) << stored.err;
    EXPECT_EQ(stored.out, "changed BETA PA66 link: \"GSUP GEN1\" -> \"GSUP GEN2\"\n");
    // Resolved, the link still differs but the inherited data is the same.
    const ProcessResult resolved =
        Run({"diff", a.string(), b.string(), "--standard", standard.string()});
    EXPECT_EQ(resolved.out, stored.out) << resolved.err;
    const fs::path own = Build("own", {Grade("BETA", "PA66", "NYLON", {Single(3, 700.0f)})});
    const ProcessResult inherited =
        Run({"diff", a.string(), own.string(), "--standard", standard.string()});
    EXPECT_EQ(inherited.out, "removed BETA PA66 link \"GSUP GEN1\"\n") << inherited.err;
    const ProcessResult unresolved = Run({"diff", a.string(), own.string()});
    EXPECT_EQ(unresolved.out,
              "added BETA PA66 property 3 Melt Density\nremoved BETA PA66 link \"GSUP GEN1\"\n");
}

TEST_F(MatdbDiff, ADamagedOrMissingDatabaseIsTroubleNamingTheFolder) {
    const fs::path good = Build("good", Sample());
    const fs::path bad = Build("bad", Sample());
    fs::resize_file(bad / "mtdp.rax", fs::file_size(bad / "mtdp.rax") / 2);
    for (const auto& args : {std::vector<std::string>{"diff", good.string(), bad.string()},
                             std::vector<std::string>{"diff", bad.string(), good.string()}}) {
        const ProcessResult out = Run(args);
        EXPECT_EQ(out.exit_code, 2) << out.out;
        EXPECT_NE(out.err.find(bad.string()), std::string::npos) << out.err;
        EXPECT_EQ(out.out, "");
    }
    const ProcessResult missing = Run({"diff", good.string(), (root_ / "none").string()});
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_NE(missing.err.find((root_ / "none").string()), std::string::npos);
    EXPECT_EQ(Run({"diff", good.string()}).exit_code, 2);
}

}  // namespace
