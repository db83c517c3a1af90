// The four databases together: opening and its messages, the Standard
// database being read-only, search order, the "db.SUPPLIER" form, and
// generic links resolved against Standard.
#include <gtest/gtest.h>

#include "matdb/matdb.h"
#include "matdb/md_lookup_cache.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;

using Databases = DatabaseTest;

TEST_F(Databases, StandardOpensReadOnly) {
    BuildStandard(Path("std"), {Grade("$V2024", "X", "", {}), Grade("BASF", "PA6", "Nylon", {})});
    capture_.Take();
    EXPECT_EQ(md_open(MD_STANDARD, MD_WRITE), MD_OPENED_READ);
    const std::string text = capture_.Take();
    EXPECT_NE(text.find("Cannot write to Standard Database.\n"), std::string::npos);
    EXPECT_NE(text.find("Opened Standard database for reading.\n"), std::string::npos);
    EXPECT_EQ(md_writable(MD_STANDARD), 0);
    EXPECT_EQ(md_database_version(), std::optional<std::string>("$V2024"));
    // Creating it is refused the same way and leaves its files alone.
    EXPECT_EQ(md_fopen(4), MD_OPENED_READ);
    EXPECT_NE(capture_.Take().find("Cannot write to Standard Database.\n"), std::string::npos);
    const MdGrade grade = Grade("BASF", "PA66", "", {Single(3, 1.0f)});
    md_write_grade(MD_STANDARD, &grade);
    EXPECT_EQ(capture_.Take(),
              "Standard Database not open for writing.\nError writing grade - abandoned.\n");
    EXPECT_EQ(md_find(MD_STANDARD, "BASF", "PA66").valid, 0);
}

TEST_F(Databases, OpenCodesAndMessages) {
    EXPECT_EQ(md_fopen(9), 0);
    EXPECT_EQ(md_open(7, MD_READ), 0);
    md_fclos(4);
    EXPECT_EQ(capture_.Take(),
              "Bad argument to md_fopen\nBad argument to md_open.\nBad arg to md_fclos\n");
    // Code -5 creates Local (slot 3); code 1 reopens it for writing.
    EXPECT_EQ(md_fopen(-5), MD_CREATED);
    EXPECT_EQ(md_open_state(MD_LOCAL), MD_CREATED);
    md_fclos(1);
    EXPECT_EQ(md_open_state(MD_LOCAL), 0);
    EXPECT_EQ(md_fopen(1), MD_OPENED_WRITE);
    EXPECT_EQ(md_current_write_database(), MD_LOCAL);
    // Already open for writing: a read request keeps it as it is.
    EXPECT_EQ(md_open(MD_LOCAL, MD_READ), MD_OPENED_WRITE);
    capture_.Take();
    md_close(MD_LOCAL);
    EXPECT_EQ(capture_.Take(), "Closed Local database.\n");
}

TEST_F(Databases, UnsetPersonalLocationsCannotOpen) {
    EXPECT_EQ(md_open(MD_COMPANY, MD_READ), 0);
    EXPECT_EQ(md_open(MD_PROJECT, MD_CREATE), 0);
    const std::string text = capture_.Take();
    EXPECT_NE(text.find("Could not open Company database for reading: VTCOMP is not set\n"),
              std::string::npos);
    EXPECT_NE(text.find("Could not create Project database.\n"), std::string::npos);
    // Nothing was created in the working directory or at the root.
    EXPECT_FALSE(std::filesystem::exists(Path("mtfp.rax")));
    setenv("VTCOMP", std::string(81, 'a').c_str(), 1);
    EXPECT_EQ(md_open(MD_COMPANY, MD_READ), 0);
    EXPECT_NE(capture_.Take().find("VTCOMP is longer than 80 characters"), std::string::npos);
}

TEST_F(Databases, SearchOrderLocalFirstAndNamedDatabases) {
    BuildStandard(Path("std"), {Grade("BASF", "PA6", "From standard", {Single(3, 1.0f)})});
    BuildPersonal(Path("proj"), {Grade("BASF", "PA6", "From project", {Single(3, 2.0f)}),
                                 Grade("DOW", "PE1", "Only project", {})});
    setenv("VTPROJ", Path("proj").c_str(), 1);
    BuildPersonal(root_, {Grade("BASF", "PA6", "From local", {Single(3, 3.0f)})});
    EXPECT_EQ(md_open_all(), 3);
    EXPECT_EQ(md_find(MD_ALL_OPEN, "basf", "pa6").slot, MD_LOCAL);
    EXPECT_EQ(md_find(MD_ALL_OPEN, "DOW", "PE1").slot, MD_PROJECT);
    EXPECT_EQ(md_find(MD_ALL_OPEN, "sta.BASF", "PA6").slot, MD_STANDARD);
    EXPECT_EQ(md_find(MD_ALL_OPEN, "loc.DOW", "PE1").valid, 0);
    EXPECT_EQ(md_find(MD_ALL_OPEN, "loc.BASF", "PA6").slot, MD_LOCAL);
    capture_.Take();
    EXPECT_EQ(md_find(MD_ALL_OPEN, "xyz.BASF", "PA6").valid, 0);
    EXPECT_EQ(capture_.Take(),
              "\"xyz\" is not a valid database\nValid databases:\n\tStandard (open)\n"
              "\tCompany (not open)\n\tProject (open)\n\tLocal (open)\n");
    EXPECT_EQ(md_find(MD_ALL_OPEN, "comp.BASF", "PA6").valid, 0);
    EXPECT_EQ(capture_.Take(), "\"comp\" is not open\n");
    // A supplier walk over every database visits Local, Project, Standard.
    std::vector<int> slots;
    for (MdPosition p = md_first_supplier(md_position(MD_ALL_OPEN)); p.valid != 0;
         p = md_next_supplier(p))
        slots.push_back(p.slot);
    EXPECT_EQ(slots, (std::vector<int>{MD_LOCAL, MD_PROJECT, MD_PROJECT, MD_STANDARD}));
}

TEST_F(Databases, ExportTakesTheSupplierLiterally) {
    BuildPersonal(root_, {Grade("A.B", "G1", "Dotted supplier", {Single(3, 5.0f)})});
    EXPECT_EQ(md_find_for_export("A.B", "G1", "local"), 1);
    ASSERT_NE(md_export_grade(), nullptr);
    EXPECT_EQ(md_export_grade()->supplier, "A.B");
    EXPECT_EQ(md_export_position().slot, MD_LOCAL);
    capture_.Take();
    EXPECT_EQ(md_find_for_export("A.B", "G2", "anything"), 0);
    EXPECT_EQ(capture_.Take(), "Grade A.B G2 not found on any open database.\n");
}

class Links : public DatabaseTest {
  protected:
    void SetUp() override {
        DatabaseTest::SetUp();
        BuildStandard(Path("std"),
                      {Grade("GENERIC", "PP", "Generic PP",
                             {Single(1, 0.2f), Single(3, 900.0f), Points(6, {1, 6}, {200, 10, 500}),
                              Coefficients(83, 0, {1, 2, 3}), Coefficients(105, 0, {5}),
                              Points(12, {1, 4}, {200, 0, 1.1f}), Coefficients(89, 0, {1, 2}),
                              Coefficients(59, 0, {1, 2}), Coefficients(65, 0, {0.1f, 0.2f}),
                              Text(77, "Generic trade name")})});
    }
};

TEST_F(Links, LinkedItemsAreInheritedWithTheModelExclusions) {
    // The grade has its own Viscosity and Melt Density but no PVT data.
    BuildPersonal(
        root_,
        {Grade("ACME", "PP1", "Linked",
               {Text(17, "GENERIC PP"), Single(3, 905.0f), Points(6, {1, 6}, {210, 10, 450})})});
    md_open_all();
    capture_.Take();
    auto grade = md_read_by_name(MD_ALL_OPEN, "acme", "pp1");
    ASSERT_NE(grade, nullptr);
    const std::string text = capture_.Take();
    EXPECT_NE(text.find("Reading ACME PP1 from Local database.\n"), std::string::npos);
    EXPECT_NE(text.find("Reading GENERIC PP from Standard database.\n"), std::string::npos);
    EXPECT_EQ(Item(*grade, 3)->values[0].real(), 905.0f);
    EXPECT_EQ(Item(*grade, 3)->inherited, 0);
    EXPECT_EQ(Item(*grade, 1)->inherited, 1);
    EXPECT_EQ(Item(*grade, 77)->text, "Generic trade name");
    // Own viscosity: the linked viscosity model items stay out; no own PVT:
    // the linked PVT items come in.
    EXPECT_EQ(Item(*grade, 83), nullptr);
    EXPECT_EQ(Item(*grade, 105), nullptr);
    ASSERT_NE(Item(*grade, 12), nullptr);
    EXPECT_NE(Item(*grade, 89), nullptr);
    // Inherited shrinkage items are dropped.
    EXPECT_EQ(Item(*grade, 59), nullptr);
    EXPECT_EQ(Item(*grade, 65), nullptr);
    ASSERT_NE(Item(*grade, 17), nullptr);
    EXPECT_EQ(Item(*grade, 17)->link_followed, 1);
    // The link item sorts last.
    EXPECT_EQ(grade->items.back().property, 17);
}

// What a grade read with its links holds, item by item.
std::string Describe(const MdGrade& grade) {
    std::string text;
    for (const MdProperty& item : grade.items) {
        text += std::to_string(item.property) + "/" + std::to_string(item.format) + "/" +
                std::to_string(item.inherited) + "/" + item.text + ":";
        for (const MdWord& word : item.values) text += std::to_string(word.bits) + ",";
        text += "\n";
    }
    return text;
}

TEST_F(Links, AGenericGradeIsReadOnceWhileTheStandardDatabaseStaysOpen) {
    BuildPersonal(root_, {Grade("ACME", "PP1", "", {Text(17, "GENERIC PP"), Single(3, 905.0f)}),
                          Grade("ACME", "PP2", "", {Text(17, "GENERIC PP"), Single(2, 1800.0f)})});
    md_open_all();
    capture_.Take();
    const std::string first = Describe(*md_read_by_name(MD_LOCAL, "ACME", "PP1"));
    const std::string second = Describe(*md_read_by_name(MD_LOCAL, "ACME", "PP2"));
    const std::string again = Describe(*md_read_by_name(MD_LOCAL, "ACME", "PP1"));
    // Every link still says where it reads from.
    const std::string said = capture_.Take();
    std::size_t lines = 0;
    for (std::size_t at = said.find("Reading GENERIC PP from Standard database.\n");
         at != std::string::npos; at = said.find("Reading GENERIC PP", at + 1))
        ++lines;
    EXPECT_EQ(lines, 3u) << said;
    EXPECT_EQ(first, again);
    EXPECT_NE(first, second);
    // The same grades read without the remembered lookups.
    tarnvel::matdb::SetLookupCacheEnabled(false);
    EXPECT_EQ(Describe(*md_read_by_name(MD_LOCAL, "ACME", "PP1")), first);
    EXPECT_EQ(Describe(*md_read_by_name(MD_LOCAL, "ACME", "PP2")), second);
    tarnvel::matdb::SetLookupCacheEnabled(true);
    // A Standard database opened again is read again: nothing stale stays.
    md_close_all();
    BuildStandard(Path("std"), {Grade("GENERIC", "PP", "Generic PP", {Single(1, 0.5f)})});
    md_open_all();
    const auto reread = md_read_by_name(MD_LOCAL, "ACME", "PP1");
    ASSERT_NE(Item(*reread, 1), nullptr);
    EXPECT_EQ(Item(*reread, 1)->values[0].real(), 0.5f);
}

TEST_F(Links, MissingTargetKeepsTheGradeAndLoopsStop) {
    BuildPersonal(root_, {Grade("ACME", "PP2", "", {Text(17, "GENERIC NONE"), Single(3, 1.0f)})});
    md_open_all();
    auto grade = md_read_by_name(MD_LOCAL, "ACME", "PP2");
    ASSERT_NE(grade, nullptr);
    EXPECT_EQ(grade->items.size(), 2u);
    EXPECT_NE(capture_.Take().find("Grade GENERIC NONE not found.\n"), std::string::npos);
    // A Standard grade linked to itself: the cycle is not followed.
    md_close_all();
    BuildStandard(Path("loop"), {Grade("SELF", "S1", "", {Text(17, "SELF S1"), Single(2, 1.0f)})});
    md_open(MD_STANDARD, MD_READ);
    capture_.Take();
    grade = md_read_by_name(MD_STANDARD, "SELF", "S1");
    ASSERT_NE(grade, nullptr);
    EXPECT_EQ(capture_.Take(),
              "Reading SELF S1 from Standard database.\n"
              "Warning: generic link SELF S1 not followed: it leads back to a grade whose links "
              "are being followed.\n");
    EXPECT_EQ(Item(*grade, 2)->inherited, 0);
}

}  // namespace

namespace {

using namespace tarnvel::testing;

TEST_F(Databases, UpperCaseFileNamesAreFound) {
    BuildPersonal(root_, {Grade("ACME", "G1", "", {Single(3, 1)})});
    for (const char* name : {"mtfp.rax", "mtgp.rax", "mtdp.rax"}) {
        std::string upper = name;
        for (char& c : upper) c = static_cast<char>(std::toupper(c));
        std::filesystem::rename(Path(name), Path(upper));
    }
    ASSERT_EQ(md_open(MD_LOCAL, MD_READ), MD_OPENED_READ);
    EXPECT_NE(md_read_grade(md_find(MD_LOCAL, "ACME", "G1")), nullptr);
}

}  // namespace
