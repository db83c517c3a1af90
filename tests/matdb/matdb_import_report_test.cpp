// matdb import as a process: the names it cuts, the grades of one file
// that collide, and the grade list it writes for tarnvel -rax.
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// One grade with the two fields a grade list needs.
std::string Grade(const std::string& supplier, const std::string& code, double conductivity) {
    return "Supplier " + supplier + "\nGrade " + code + "\nManufacturer \"Maker of " + code +
           "\"\nTrade_Name \"Trade " + code + "\"\nConductivity " + std::to_string(conductivity) +
           "\n";
}

class MatdbImportReport : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "matdb-report-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    ProcessResult Matdb(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("matdb"), args, root_.string(), {{"VTPATH", ""}});
    }
    ProcessResult Tarnvel(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("tarnvel"), args, root_.string(),
                          {{"tmp", (root_ / "tmp").string()}});
    }
    std::string Write(const std::string& name, const std::string& text) {
        std::ofstream(root_ / name) << text;
        return name;
    }
    // Every file of the database folder with its bytes.
    std::map<std::string, std::string> Snapshot() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::directory_iterator(root_ / "db"))
            files[entry.path().filename().string()] = ReadBytes(entry.path());
        return files;
    }
    fs::path root_;
};

TEST_F(MatdbImportReport, CutNamesAreNamedWithFileLineAndBothForms) {
    const std::string file =
        Write("cut.asc", Grade("LONGSUPPLIER", "ABCDEFGH", 0.2) + Grade("ACME", "SHORT", 0.3));
    const ProcessResult imported = Matdb({"import", file, "db"});
    ASSERT_EQ(imported.exit_code, 0) << imported.err;
    EXPECT_NE(imported.err.find("cut.asc:1: supplier name LONGSUPPLIER is cut to LONGSUPP\n"),
              std::string::npos)
        << imported.err;
    EXPECT_NE(imported.err.find("cut.asc:2: grade code ABCDEFGH is cut to ABCDEF\n"),
              std::string::npos)
        << imported.err;
    // Names that fit are not reported.
    EXPECT_EQ(imported.err.find("ACME"), std::string::npos) << imported.err;
    EXPECT_EQ(imported.err.find("SHORT"), std::string::npos) << imported.err;
}

TEST_F(MatdbImportReport, CollidingOrRepeatedGradesFailAndLeaveTheDatabaseAsItWas) {
    ASSERT_EQ(Matdb({"import", Write("first.asc", Grade("ACME", "BASE", 0.1)), "db"}).exit_code, 0);
    const auto before = Snapshot();
    ASSERT_EQ(before.count("mtip.rax"), 1u);

    // Two codes equal once cut: lines 1 and 6 hold their GRADE keywords.
    const std::string cut =
        Write("cut.asc", Grade("ACME", "ABCDEFGH", 0.2) + Grade("ACME", "ABCDEFGX", 0.3));
    const ProcessResult collided = Matdb({"import", cut, "db"});
    EXPECT_EQ(collided.exit_code, 1);
    EXPECT_NE(collided.err.find("cut.asc:7: grade ACME ABCDEFGX collides with grade ACME "
                                "ABCDEFGH of line 2"),
              std::string::npos)
        << collided.err;
    EXPECT_NE(collided.err.find("--merge"), std::string::npos);
    EXPECT_EQ(Snapshot(), before);

    // The same grade given twice.
    const std::string twice =
        Write("twice.asc", Grade("ACME", "NEW", 0.2) + Grade("ACME", "NEW", 0.3));
    const ProcessResult repeated = Matdb({"import", twice, "db"});
    EXPECT_EQ(repeated.exit_code, 1);
    EXPECT_NE(repeated.err.find("twice.asc:7: grade ACME NEW collides with grade ACME NEW of "
                                "line 2 (the same grade is given twice)"),
              std::string::npos)
        << repeated.err;
    EXPECT_EQ(Snapshot(), before);

    // A grade the database holds already is updated, not refused.
    EXPECT_EQ(Matdb({"import", Write("again.asc", Grade("ACME", "BASE", 0.5)), "db"}).exit_code, 0);

    // --merge asks for the merge: one grade ABCDEF, and the list names it once.
    const ProcessResult merged = Matdb({"import", "--merge", cut, "db"});
    ASSERT_EQ(merged.exit_code, 0) << merged.err;
    EXPECT_NE(merged.err.find("is merged into grade ACME ABCDEFGH of line 2"), std::string::npos)
        << merged.err;
    const ProcessResult listed = Matdb({"list", "db"});
    EXPECT_NE(listed.out.find("  ABCDEF "), std::string::npos) << listed.out;
    const std::string index = ReadBytes(root_ / "db" / "mtip.rax");
    EXPECT_NE(index.find("|ACME    |ABCDEF|"), std::string::npos) << index;
    EXPECT_EQ(index.find("|ACME    |ABCDEF|"), index.rfind("|ACME    |ABCDEF|")) << index;
}

TEST_F(MatdbImportReport, TheGradeListOfTheWholeDatabaseConvertsEveryGrade) {
    const std::string example = std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc";
    // The first import has its own list; the second one lists both files.
    ASSERT_EQ(Matdb({"import", Write("own.asc", Grade("OWNLAB", "OWN1", 0.2)), "db"}).exit_code, 0);
    const ProcessResult imported = Matdb({"import", example, "db"});
    ASSERT_EQ(imported.exit_code, 0) << imported.err;
    EXPECT_NE(imported.out.find("7 grade(s) listed in db/mtip.rax"), std::string::npos)
        << imported.out;

    const std::vector<std::string> lines = Lines(ReadBytes(root_ / "db" / "mtip.rax"));
    ASSERT_EQ(lines.size(), 9u + 7u);
    EXPECT_EQ(lines[0], "|1.0.0   |");
    // Search fields come from the grade's texts, padded to their widths.
    bool found = false;
    for (const std::string& line : lines) {
        if (line.rfind("|MERRIDEW|ML210 |PP        |Merridew Polymers", 0) != 0) continue;
        found = true;
        EXPECT_NE(line.find("|Merrilon ML210 "), std::string::npos) << line;
        EXPECT_NE(line.find("|18.3 g/10 min at 230 C, 2.16 kg"), std::string::npos) << line;
    }
    EXPECT_TRUE(found);

    const ProcessResult converted = Tarnvel({"-rax", "db/mtip.rax", "-udb", "out.udb"});
    ASSERT_EQ(converted.exit_code, 0) << converted.err;
    EXPECT_EQ(converted.err.find("skipped"), std::string::npos) << converted.err;
    EXPECT_NE(converted.out.find("1 of 7, OWNLAB OWN1"), std::string::npos) << converted.out;
    EXPECT_NE(converted.out.find("7 of 7, "), std::string::npos) << converted.out;

    // --no-index leaves the list alone.
    fs::remove(root_ / "db" / "mtip.rax");
    ASSERT_EQ(Matdb({"import", "--no-index", example, "db"}).exit_code, 0);
    EXPECT_FALSE(fs::exists(root_ / "db" / "mtip.rax"));
}

TEST_F(MatdbImportReport, AsciiConversionNamesTheGradeThatLacksAnIndexField) {
    const std::string file = Write("bare.asc",
                                   "Supplier ACME\nGrade G1\nManufacturer \"M\"\n"
                                   "Trade_Name \"T\"\nSupplier ACME\nGrade G2\n"
                                   "Manufacturer \"M\"\nConductivity 0.2\n");
    const ProcessResult converted = Tarnvel({"-asc", file, "-udb", "out.udb"});
    EXPECT_EQ(converted.exit_code, 4);
    EXPECT_NE(converted.err.find("Grade ACME G2 (line 6) has no \"Trade_Name\" line"),
              std::string::npos)
        << converted.err;
    EXPECT_EQ(converted.err.find("G1"), std::string::npos) << converted.err;
}

}  // namespace
