// The installed product: this build installed into a temporary prefix lays
// the programs alone in bin/, the product tree with the Standard database in
// share/tarnvel/, the documentation, examples and manual pages in their
// usual places and nothing to edit; run from there, and again after the
// whole tree has been moved, the programs do the main job on the shipped
// examples with no variable set, in an empty folder.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "services/env_test_support.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;
using tarnvel::testing::TempDirectory;
using ::testing::HasSubstr;
using Environment = std::vector<std::pair<std::string, std::string>>;

// No product, database or registry setting of the caller takes part.
const Environment kClean = {{"TARNVEL_USER_REGISTRY", "/nonexistent/user.ini"},
                            {"TARNVEL_MACHINE_REGISTRY", "/nonexistent/machine.ini"},
                            {"TARNVEL_CONFIG", ""},
                            {"VTSYS_TERNWAY_MODULE", ""},
                            {"KOR_HOME", ""},
                            {"KES_HOME", ""},
                            {"KOR_DAT", ""},
                            {"KES_DAT", ""},
                            {"VTPATH", ""}};

class InstalledTree : public ::testing::Test {
  protected:
    // One install for the whole suite, into <root>/usr.
    static void SetUpTestSuite() {
        root_ = std::make_unique<TempDirectory>();
        const ProcessResult result =
            RunProcess(TARNVEL_CMAKE_COMMAND,
                       {"--install", TARNVEL_BUILD_DIR, "--prefix", root_->Path("usr")});
        install_status_ = result.exit_code;
        install_log_ = result.out + result.err;
    }
    static void TearDownTestSuite() { root_.reset(); }

    void SetUp() override { ASSERT_EQ(install_status_, 0) << install_log_; }

    // Runs an installed program of the tree under prefix in the empty folder.
    ProcessResult Run(const std::string& prefix, const std::string& program,
                      const std::vector<std::string>& args) {
        return RunProcess(prefix + "/bin/" + program, args, work.path(), kClean);
    }

    // The main job of the README from the tree under prefix.
    void ConvertsTheExamples(const std::string& prefix) {
        const std::string examples = prefix + "/share/doc/tarnvel/examples/";
        ProcessResult result =
            Run(prefix, "tarnvel", {"-rax", examples + "standard_grades.lst", "-udb", "s.udb"});
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
        EXPECT_THAT(result.out, HasSubstr("8 of 8, VARDENIK VX200\n"));
        result =
            Run(prefix, "tarnvel", {"-asc", examples + "moulding_grades.asc", "-udb", "m.udb"});
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
        EXPECT_THAT(result.out, HasSubstr("6 of 6, "));
        result = Run(prefix, "udmconv", {"--summary", "s.udb"});
        EXPECT_EQ(result.exit_code, 0) << result.err;
        EXPECT_THAT(result.out, HasSubstr("packed"));
        result = Run(prefix, "tarnvel-export",
                     {"-supplier", "QUILLMER", "-grade", "QC15", "-output", "qc15.txt"});
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }

    static std::unique_ptr<TempDirectory> root_;
    static int install_status_;
    static std::string install_log_;
    TempDirectory work;
};

std::unique_ptr<TempDirectory> InstalledTree::root_;
int InstalledTree::install_status_ = -1;
std::string InstalledTree::install_log_;

TEST_F(InstalledTree, EveryFileLiesWhereADebianProgramKeepsIt) {
    const fs::path usr = root_->Path("usr");
    std::set<std::string> programs;
    for (const fs::directory_entry& entry : fs::directory_iterator(usr / "bin")) {
        programs.insert(entry.path().filename());
    }
    EXPECT_EQ(programs, (std::set<std::string>{"matdb", "tarnvel", "tarnvel-export", "udmconv"}));
    for (const char* file :
         {"share/tarnvel/products.xml", "share/tarnvel/data/dat/vxmesage.dat",
          "share/tarnvel/data/dat/generic_data.udb", "share/tarnvel/data/dat/mtfs.rax",
          "share/tarnvel/data/dat/mtgs.rax", "share/tarnvel/data/dat/mtds.rax",
          "share/doc/tarnvel/README.md", "share/doc/tarnvel/copyright",
          "share/doc/tarnvel/changelog.gz", "share/doc/tarnvel/examples/standard_grades.lst",
          "share/doc/tarnvel/examples/moulding_grades.asc", "share/man/man1/tarnvel.1.gz",
          "share/man/man1/udmconv.1.gz", "share/man/man1/matdb.1.gz",
          "share/man/man1/tarnvel-export.1.gz", "share/man/man5/tarnvel-ascii.5.gz",
          "share/man/man5/tarnvel-grade-list.5.gz", "share/man/man5/tarnvel-udb.5.gz"}) {
        EXPECT_TRUE(fs::is_regular_file(usr / file)) << file;
    }
    // Nothing to configure: no ini file anywhere, no copy of the sources' tree.
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(usr)) {
        EXPECT_NE(entry.path().extension(), ".ini") << entry.path();
    }
    EXPECT_FALSE(fs::exists(usr / "share/tarnvel/product"));
}

TEST_F(InstalledTree, ProgramsRunFromTheTreeAndFromItsNewPlaceWhenMoved) {
    ConvertsTheExamples(root_->Path("usr"));
    // The whole tree moved elsewhere, as unpacking a package anywhere does.
    const std::string moved = root_->Path("moved/elsewhere");
    fs::create_directories(root_->Path("moved"));
    fs::rename(root_->Path("usr"), moved);
    ConvertsTheExamples(moved);
    fs::rename(moved, root_->Path("usr"));
}

TEST_F(InstalledTree, AProductDirectorySetByTheUserStillWins) {
    const std::string prefix = root_->Path("usr");
    const std::string empty = work.Path("empty");
    fs::create_directories(empty + "/data/dat");
    const ProcessResult result = RunProcess(
        prefix + "/bin/tarnvel-export",
        {"-supplier", "QUILLMER", "-grade", "QC15", "-output", "qc15.txt"}, work.path(), [&] {
            Environment env = kClean;
            env.emplace_back("KOR_HOME", empty);
            return env;
        }());
    EXPECT_EQ(result.exit_code, 1) << result.out;
    EXPECT_THAT(result.err, HasSubstr("not found"));
}

}  // namespace
