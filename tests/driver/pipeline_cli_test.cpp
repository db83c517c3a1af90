// tarnvel -asc and -rax run as real processes over databases built from
// the shipped ASCII material files; the packed output is read back.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/pipeline_test_support.h"
#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "matdb/md_personal.h"
#include "support/process.h"

namespace tarnvel::driver {
namespace {

namespace fs = std::filesystem;
using namespace pipeline_testing;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

const std::string kSource = TARNVEL_SOURCE_DIR;

// Every value of a code of the set with the label; empty when absent.
std::vector<double> CodeValues(const fs::path& udb, int label, int code) {
    UdmModel* previous = udm_model_current();
    UdmModel* model = nullptr;
    std::vector<double> values;
    if (udm_model_open(udb.c_str(), 1, &model) == UDM_OK) {
        void* tset = nullptr;
        if (udm_entity_find(UDM_CLASS_TSET, 21000, label, &tset) == UDM_OK) {
            const UdmTcod* tcod = udm_tset_code(static_cast<UdmTset*>(tset), code, 0);
            if (tcod != nullptr) {
                const double* first = udm_tcod_values(tcod);
                values.assign(first, first + udm_tcod_count(tcod));
            }
        }
        udm_model_destroy(&model);
    }
    udm_model_select(previous);
    return values;
}

double CodeValue(const fs::path& udb, int label, int code) {
    const std::vector<double> values = CodeValues(udb, label, code);
    return values.empty() ? -1 : values[0];
}

class PipelineCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pipelinecliXXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        fs::create_directories(root_ / "tmp");
        fs::create_directories(root_ / "db");
    }
    void TearDown() override { fs::remove_all(root_); }

    ProcessResult Run(const std::vector<std::string>& args) {
        return RunProcess(BuiltProgram("tarnvel"), args, root_.string(),
                          {{"tmp", (root_ / "tmp").string()}});
    }
    bool TempEmpty() const { return fs::is_empty(root_ / "tmp"); }

    fs::path root_;
};

TEST_F(PipelineCli, TheExampleAsciiFileConvertsOneSetPerGrade) {
    const ProcessResult result =
        Run({"-asc", kSource + "/examples/moulding_grades.asc", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("6 of 6, HAWKSMOR HB20G\n"), std::string::npos);
    // Every generic link of the file names a grade of the Standard database.
    EXPECT_EQ(result.out.find("not found"), std::string::npos) << result.out;
    const Output output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 6u);
    EXPECT_EQ(output.type, "21000");
    EXPECT_EQ(output.sets[0].supplier, "MERRIDEW");
    EXPECT_EQ(output.sets[0].grade, "ML210");
    EXPECT_EQ(output.sets[5].grade, "HB20G");
    // Melt temperature: 230 deg.C in the file, in kelvin in the set.
    EXPECT_NEAR(CodeValue(root_ / "out.udb", 1, 11002), 503.15, 1e-3);
    EXPECT_TRUE(TempEmpty());
}

TEST_F(PipelineCli, TheExampleListConvertsFromTheBuiltStandardDatabase) {
    // The build makes the Standard database of its product tree; the
    // program's ini file points the product data directory there.
    const ProcessResult result =
        Run({"-rax", kSource + "/examples/standard_grades.lst", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    // The export runs without diagnostics: its report stays off the screen.
    EXPECT_EQ(result.out.find("Material DATABASE type"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("1 of 8, ALDERPOL AP120\n"), std::string::npos);
    EXPECT_NE(result.out.find("8 of 8, VARDENIK VX200\n"), std::string::npos);
    const Output output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 8u);
    EXPECT_EQ(output.sets[6].supplier, "QUILLMER");
    EXPECT_EQ(output.sets[6].grade, "QC15");
    // Suggested melt temperatures of 230 and 300 deg.C, in kelvin.
    EXPECT_NEAR(CodeValue(root_ / "out.udb", 1, 11002), 503.15, 1e-3);
    EXPECT_NEAR(CodeValue(root_ / "out.udb", 7, 11002), 573.15, 1e-3);
    EXPECT_TRUE(TempEmpty());
}

TEST_F(PipelineCli, TheExampleListInheritsFromTheGenericGrades) {
    const ProcessResult result =
        Run({"-rax", kSource + "/examples/standard_grades.lst", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    // The export runs without diagnostics, so neither its report nor the
    // link messages are printed; what the links bring shows in the sets.
    EXPECT_EQ(result.out.find("Reading GENERIC"), std::string::npos) << result.out;
    // No supplier grade of the list has extensional viscosity coefficients:
    // those of set 1 (ALDERPOL AP120) are the GENERIC PP grade's, and the
    // parameters computed from them are written too.
    const std::vector<double> coefficients = CodeValues(root_ / "out.udb", 1, 1361);
    ASSERT_EQ(coefficients.size(), 4u);
    EXPECT_NEAR(coefficients[0], -0.6957, 1e-6);
    EXPECT_NEAR(coefficients[1], 0.1, 1e-6);
    EXPECT_NEAR(coefficients[2], -0.01, 1e-7);
    EXPECT_NEAR(coefficients[3], -0.0005, 1e-8);
    EXPECT_EQ(CodeValues(root_ / "out.udb", 1, 1360).size(), 2u);
    // Set 6 (BRACKEN BA66G5) inherits from GENERIC PA66, whose suggested
    // melt temperature (285 deg.C) differs from that of GENERIC PP.
    const std::vector<double> pa66 = CodeValues(root_ / "out.udb", 6, 1361);
    ASSERT_EQ(pa66.size(), 4u);
    EXPECT_NEAR(pa66[0], -0.1457, 1e-6);
}

TEST_F(PipelineCli, GradesWithoutManufacturerFailAtTheIndex) {
    WriteText(root_ / "grades.asc",
              "Supplier ALDERPOL\nGrade AP100\nTrade_Name \"T\"\n"
              "Melt_Density 950\n");
    const ProcessResult result = Run({"-asc", "grades.asc", "-udb", "out.udb"});
    EXPECT_EQ(result.exit_code, 4);
    EXPECT_NE(result.err.find("grades.asc"), std::string::npos);
    EXPECT_FALSE(fs::exists(root_ / "out.udb"));
    EXPECT_TRUE(TempEmpty());
}

TEST_F(PipelineCli, AGradeListOverABuiltDatabaseConvertsEveryGrade) {
    // The shipped Standard grades, built into a Local database of db/.
    const fs::path start = fs::current_path();
    fs::current_path(root_ / "db");
    const std::string source = kSource + "/product/data/dat/standard.asc";
    int status = 1;
    md_build_personal_database(source.c_str(), static_cast<int>(source.size()), 0, status,
                               [](const char* path) { return md_read_ascii_file(path); });
    md_close_all();
    fs::current_path(start);
    ASSERT_EQ(status, 1);

    const ProcessResult result = Run({"-rax", "db/mtip.rax", "-udb", "out.udb"});
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("1 of 48, ALDERPOL AP120\n"), std::string::npos);
    EXPECT_NE(result.out.find("36 of 48, VARDENIK VB260\n"), std::string::npos);
    EXPECT_NE(result.out.find("48 of 48, GENERIC LDPE\n"), std::string::npos);
    // Every generic link of the Standard grades resolves.
    EXPECT_EQ(result.out.find("not found"), std::string::npos);
    const Output output = ReadOutput(root_ / "out.udb");
    ASSERT_EQ(output.sets.size(), 48u);
    EXPECT_EQ(output.sets[47].label, 48);
    EXPECT_TRUE(TempEmpty());
    // An output in a missing directory fails before any grade.
    const ProcessResult missing = Run({"-rax", "db/mtip.rax", "-udb", "none/out.udb"});
    EXPECT_EQ(missing.exit_code, 6);
    EXPECT_EQ(missing.out.find(" of 48,"), std::string::npos);
}

// The grade list's rules end it at a line naming no grade or one over 1023
// characters, and leave out a last line without a line end. The run still
// succeeds with the grades before, and names every grade it left unread.
TEST_F(PipelineCli, AListThatEndsEarlyNamesEveryGradeItLeavesUnread) {
    std::ifstream example(kSource + "/examples/standard_grades.lst", std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(example, line);) lines.push_back(line + "\n");
    ASSERT_EQ(lines.size(), 17u);
    const auto joined = [&](std::size_t from, std::size_t to) {
        std::string text;
        for (std::size_t i = from; i < to; ++i) text += lines[i];
        return text;
    };
    const auto convert = [&](const std::string& text) {
        WriteText(root_ / "grades.lst", text);
        return Run({"-rax", "grades.lst", "-udb", "out.udb"});
    };

    const ProcessResult clean = convert(joined(0, 17));
    ASSERT_EQ(clean.exit_code, 0) << clean.err;
    EXPECT_EQ(clean.err, "");

    const ProcessResult blank = convert(joined(0, 11) + " \t \r\n" + joined(11, 17));
    ASSERT_EQ(blank.exit_code, 0) << blank.err;
    EXPECT_NE(blank.err.find("tarnvel: grades.lst: line 12 names no grade; the list ends there\n"),
              std::string::npos)
        << blank.err;
    EXPECT_NE(blank.err.find("grade KESTREL KR450 skipped: the list ends before it, at line 12\n"),
              std::string::npos);
    EXPECT_NE(blank.err.find("grade VARDENIK VX200 skipped: the list ends before it, at line 12\n"),
              std::string::npos);
    EXPECT_EQ(ReadOutput(root_ / "out.udb").sets.size(), 2u);

    const ProcessResult long_line =
        convert(joined(0, 10) + std::string(1100, 'X') + "\n" + joined(15, 17));
    EXPECT_NE(long_line.err.find("line 11 is longer than 1023 characters; the list ends there\n"),
              std::string::npos)
        << long_line.err;
    EXPECT_NE(
        long_line.err.find("grade QUILLMER QC15 skipped: the list ends before it, at line 11"),
        std::string::npos);
    EXPECT_EQ(long_line.err.find("XXXX"), std::string::npos);

    std::string unended = joined(0, 12);
    unended.pop_back();
    const ProcessResult last = convert(unended);
    EXPECT_NE(last.err.find("grade KESTREL KR450 skipped: the last line of the list has no line "
                            "end\n"),
              std::string::npos)
        << last.err;
    EXPECT_NE(last.out.find("2 of 2, ALDERPOL AP30G\n"), std::string::npos) << last.out;
    EXPECT_EQ(ReadOutput(root_ / "out.udb").sets.size(), 2u);
}

TEST_F(PipelineCli, AnInterruptLeavesNothingInTheTemporaryDirectory) {
    // Enough grades that the run is still going when the signal comes.
    std::string text;
    for (int i = 0; i < 5000; ++i) {
        text += "Supplier S" + std::to_string(i % 100) + "\nGrade G" + std::to_string(i) +
                "\nManufacturer \"M\"\nTrade_Name \"T\"\nMelt_Density 950\n"
                "Cross-WLF_Viscosity_Coefficients 1e12 263.15 0 27 51.6 25000 0.28\n";
    }
    WriteText(root_ / "many.asc", text);
    for (int signal_number : {SIGINT, SIGTERM}) {
        const pid_t child = fork();
        if (child == 0) {
            const int null_fd = open("/dev/null", O_WRONLY);
            dup2(null_fd, STDOUT_FILENO);
            dup2(null_fd, STDERR_FILENO);
            if (chdir(root_.c_str()) != 0) _exit(127);
            setenv("tmp", (root_ / "tmp").c_str(), 1);
            const std::string program = BuiltProgram("tarnvel");
            execl(program.c_str(), program.c_str(), "-asc", "many.asc", "-udb", "out.udb",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        // Wait until the run has made its temporary files, then interrupt it.
        for (int i = 0; i < 500 && TempEmpty(); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        kill(child, signal_number);
        int status = 0;
        waitpid(child, &status, 0);
        // The run was interrupted (the handler ends it by the same signal).
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
        EXPECT_TRUE(TempEmpty()) << "signal " << signal_number;
    }
}

}  // namespace
}  // namespace tarnvel::driver
