// The personal database build over real database files, with a stand-in
// for the ASCII reading step that stores each Supplier/Grade pair of the
// file as a grade.
#include "matdb/md_personal.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_index.h"
#include "rax_test_support.h"

namespace {

using namespace tarnvel::testing;

MdAsciiResult StorePairs(const char* path) {
    std::ifstream in(path);
    if (!in) return {};
    std::string word;
    std::string supplier;
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        words >> word;
        if (word == "Supplier") words >> supplier;
        if (word == "Grade") {
            std::string code;
            words >> code;
            MdGrade grade = Grade(supplier, code, "test grade", {Single(3, 900.0f)});
            md_write_grade(MD_ALL_WRITABLE, &grade);
        }
    }
    MdAsciiResult read;
    read.opened = true;
    return read;
}

std::string AsciiGrade(const std::string& supplier, const std::string& code,
                       bool manufacturer = true) {
    return "Supplier " + supplier + "\nGrade " + code + "\n" +
           (manufacturer ? "Manufacturer \"Maker\"\n" : "") + "Trade_Name \"Trade\"\n";
}

class PersonalBuildTest : public DatabaseTest {
  protected:
    int Build(const std::string& name, const std::string& text, int messages = 0) {
        std::ofstream(Path(name), std::ios::binary) << text;
        int status = 1;
        md_build_personal_database(name.c_str(), static_cast<int>(name.size()), messages, status,
                                   StorePairs);
        return status;
    }
    std::vector<std::string> IndexLines() const {
        std::ifstream in(Path(kMdIndexFile));
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    bool InLocal(const char* supplier, const char* code) {
        md_open(MD_LOCAL, MD_READ);
        const bool found = md_read_grade(md_find(MD_LOCAL, supplier, code)) != nullptr;
        md_close(MD_LOCAL);
        return found;
    }
};

TEST_F(PersonalBuildTest, ASecondBuildExtendsTheDatabaseAndItsIndex) {
    ASSERT_EQ(Build("first.asc", AsciiGrade("ALDERPOL", "AP100")), 1);
    ASSERT_EQ(IndexLines().size(), static_cast<std::size_t>(kMdIndexHeaderLines + 1));
    ASSERT_EQ(Build("second.asc", AsciiGrade("KESTREL", "KR7") + AsciiGrade("KESTREL", "KR8")), 1);
    const std::vector<std::string> lines = IndexLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMdIndexHeaderLines + 3));
    EXPECT_EQ(lines[0], "|1.0.0   |");
    EXPECT_EQ(lines[9].substr(0, 17), "|ALDERPOL|AP100 |");
    EXPECT_EQ(lines[11].substr(0, 17), "|KESTREL |KR8   |");
    EXPECT_TRUE(InLocal("ALDERPOL", "AP100"));
    EXPECT_TRUE(InLocal("KESTREL", "KR8"));
    // The build leaves the database closed.
    EXPECT_EQ(md_open_state(MD_LOCAL), 0);
}

TEST_F(PersonalBuildTest, ABuildWhoseIndexFailsLeavesDatabaseAndIndexAsTheyWere) {
    ASSERT_EQ(Build("first.asc", AsciiGrade("ALDERPOL", "AP100")), 1);
    const auto files = {"mtfp.rax", "mtgp.rax", "mtdp.rax", kMdIndexFile};
    std::vector<std::string> before;
    for (const char* name : files) before.push_back(ReadBytes(Path(name)));
    // The grade is written, but the build fails at the index step, so
    // nothing of it is kept.
    EXPECT_EQ(Build("grades.asc", AsciiGrade("KESTREL", "KR7", false)), 0);
    std::vector<std::string> after;
    for (const char* name : files) after.push_back(ReadBytes(Path(name)));
    EXPECT_EQ(after, before);
    EXPECT_FALSE(InLocal("KESTREL", "KR7"));
    // No private copy is left beside them.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(root_),
                            std::filesystem::directory_iterator()),
              6);
}

TEST_F(PersonalBuildTest, AMissingFileBuildsNothing) {
    int status = 1;
    md_build_personal_database("none.asc", 8, 1, status, StorePairs);
    EXPECT_EQ(status, 0);
    EXPECT_FALSE(std::filesystem::exists(Path(kMdIndexFile)));
    EXPECT_FALSE(std::filesystem::exists(Path("mtdp.rax")));
    EXPECT_NE(capture_.Take().find("[MAKPDB - 1] Unable to Find ASC File\nnone.asc\n"),
              std::string::npos);
}

TEST_F(PersonalBuildTest, MessagesOnlyWithDiagnostics) {
    ASSERT_EQ(Build("quiet.asc", AsciiGrade("ALDERPOL", "AP100")), 1);
    EXPECT_EQ(capture_.Take(), "");
    std::filesystem::remove(Path("mtdp.rax"));
    std::filesystem::remove(Path(kMdIndexFile));
    ASSERT_EQ(Build("loud.asc", AsciiGrade("KESTREL", "KR7"), 1), 1);
    const std::string said = capture_.Take();
    EXPECT_NE(said.find("Checking Local Personal RAX files\n"), std::string::npos) << said;
    EXPECT_NE(said.find("VTCOMP global variable not set\n"), std::string::npos);
    EXPECT_NE(said.find("|KESTREL |KR7   |"), std::string::npos);
}

TEST_F(PersonalBuildTest, MakpdbReadsTheAsciiFileAndExtendsAnExistingDatabase) {
    const auto make = [&](const std::string& name, const std::string& text) {
        std::ofstream(Path(name), std::ios::binary) << text;
        int status = 1;
        MAKPDB(name.c_str(), static_cast<int>(name.size()), 0, &status);
        return status;
    };
    ASSERT_EQ(make("first.asc", AsciiGrade("ALDERPOL", "AP100") + "Melt_Density 950\n"), 1);
    ASSERT_EQ(make("second.asc", AsciiGrade("KESTREL", "KR7") + "Melt_Density 1040\n"), 1);
    const std::vector<std::string> lines = IndexLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMdIndexHeaderLines + 2));
    EXPECT_EQ(lines[9].substr(0, 17), "|ALDERPOL|AP100 |");
    EXPECT_EQ(lines[10].substr(0, 17), "|KESTREL |KR7   |");
    // Both grades hold what their files said: the real reader stored them.
    md_open(MD_LOCAL, MD_READ);
    for (const auto& [code, density] : {std::pair{"AP100", 950.0f}, std::pair{"KR7", 1040.0f}}) {
        const std::unique_ptr<MdGrade> grade =
            md_read_grade(md_find(MD_LOCAL, code[0] == 'A' ? "ALDERPOL" : "KESTREL", code));
        ASSERT_NE(grade, nullptr) << code;
        ASSERT_FALSE(grade->items.empty());
        EXPECT_EQ(grade->items[0].property, 3);
        EXPECT_FLOAT_EQ(grade->items[0].values[0].real(), density);
    }
    md_close(MD_LOCAL);
    // A file that is not there leaves status 0.
    int status = 1;
    MAKPDB("none.asc", 8, 0, &status);
    EXPECT_EQ(status, 0);
}

// The reader takes keywords in any case and several grades per supplier
// line; the index does not. Each grade stored without an index line is
// named with its line, whatever the messages setting; indexed grades are not.
TEST_F(PersonalBuildTest, StoredGradesWithoutAnIndexLineAreNamed) {
    const auto make = [&](const std::string& name, const std::string& text) {
        std::ofstream(Path(name), std::ios::binary) << text;
        int status = 1;
        ::testing::internal::CaptureStderr();
        MAKPDB(name.c_str(), static_cast<int>(name.size()), 0, &status);
        return std::pair{status, ::testing::internal::GetCapturedStderr()};
    };
    const std::string lower_case = "supplier ALDERPOL\ngrade AP100\nManufacturer \"Maker\"\n";
    const std::string second_grade = "Grade KR8\nManufacturer \"Maker\"\nTrade_Name \"Trade\"\n";
    const auto [status, said] = make("odd.asc", lower_case + "Trade_Name \"Trade\"\n" +
                                                    AsciiGrade("KESTREL", "KR7") + second_grade);
    EXPECT_EQ(status, 1);
    EXPECT_NE(said.find("Warning at line 2: grade ALDERPOL AP100 is not converted"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("Warning at line 9: grade KESTREL KR8 is not converted"), std::string::npos)
        << said;
    EXPECT_EQ(said.find("KR7"), std::string::npos) << said;
    const std::vector<std::string> lines = IndexLines();
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(kMdIndexHeaderLines + 1));
    EXPECT_EQ(lines[9].substr(0, 17), "|KESTREL |KR7   |");

    // Names cut or written in another case in the Supplier and Grade words
    // still reach their stored grades.
    const auto [clean_status, clean_said] =
        make("clean.asc", AsciiGrade("Northfield", "np-pp120") + AsciiGrade("KESTREL", "KR9"));
    EXPECT_EQ(clean_status, 1);
    EXPECT_EQ(clean_said.find("Warning"), std::string::npos) << clean_said;
}

}  // namespace
