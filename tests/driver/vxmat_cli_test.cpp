// tarnvel -vxmat run as a real process: legacy property files written by the
// test are converted, and the packed output is read back with the library.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/process.h"
#include "udm/udm.h"

namespace {

using tarnvel::testing::BuiltProgram;
using tarnvel::testing::ProcessResult;
using tarnvel::testing::RunProcess;

// A private directory removed with everything in it.
class Scratch {
  public:
    Scratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "vxmatcliXXXXXX").string();
        path_ = mkdtemp(pattern.data()) == nullptr ? std::string() : pattern;
    }
    ~Scratch() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    bool Exists(const std::string& name) const { return std::filesystem::exists(File(name)); }

  private:
    std::string path_;
};

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A legacy set in UDM text: supplier, grade, class and Cross-WLF coefficients
// whose viscosity at shear rate 1000 is D1 / 2 at any temperature.
std::string LegacySet(int label, const std::string& supplier, const std::string& grade,
                      const std::string& family, double d1) {
    return "TSET{20000 " + std::to_string(label) + " \"" + grade + " : " + supplier + "\"\n" +
           "  TCOD{1997 \"" + supplier + "\"}\n  TCOD{1998 \"" + grade + "\"}\n" +
           "  TCOD{1999 \"" + family + "\"}\n  TCOD{1550 \"Transition\" 396.15}\n" +
           "  TCOD{1800 \"Melt range\" 473.15 553.15}\n" + "  TCOD{1313 \"Cross-WLF\" 1 1 " +
           std::to_string(d1) + " 263.15 0 0 10}}\n";
}

std::string LegacyFile(const std::string& type, const std::string& sets) {
    return "TITL{NAME{\"legacy\"} VRSN{\"VANTOREL\"} KEYW{\"1\"} DATE{\"JAN-01-2024\"}\n"
           "  TIME{\"00:00:00\"} UDMV{\"UDM V4\"}}\n"
           "GLBL{UDMW{\"TYPE\" \"" +
           type + "\"}}\n" + sets + "ENDF\n";
}

class VxmatCli : public ::testing::Test {
  protected:
    VxmatCli() {
        WriteText(data_.File("generic_class.csv"), "PP,230\nABS,240\n");
        WriteText(dir_.File("grades.udm"),
                  LegacyFile("20000", LegacySet(5, "Northfield", "NP 1", "PP", 5) +
                                          LegacySet(7, "Kestrel", "KR 2", "ABS", -5) +
                                          LegacySet(9, "Alder", "AC 3", "NONE", 7)));
    }

    ProcessResult Run(const std::string& input, const std::string& output,
                      const std::string& data_dir) {
        return RunProcess(BuiltProgram("tarnvel"), {"-vxmat", input, "-udb", output}, "",
                          {{"KOR_DAT", data_dir}});
    }
    ProcessResult Run(const std::string& input, const std::string& output) {
        return Run(input, output, data_.File(""));
    }

    Scratch data_;
    Scratch dir_;
};

// The packed output as a property file; closed by the object.
class Output {
  public:
    explicit Output(const std::string& path)
        : model_(udm_typed_open(path.c_str(), UDM_MODE_PACKED)) {}
    ~Output() {
        if (model_ != nullptr) udm_typed_close(model_);
    }
    UdmModel* get() const { return model_; }
    // The text of a code of the set (21000, label), or "<none>".
    std::string Text(int label, int code) const {
        const UdmTcod* tcod = Code(label, code);
        return tcod == nullptr || udm_tcod_text(tcod) == nullptr ? "<none>" : udm_tcod_text(tcod);
    }
    // The values of a code of the set (21000, label); none when it is absent.
    std::vector<double> Values(int label, int code) const {
        const UdmTcod* tcod = Code(label, code);
        if (tcod == nullptr) return {};
        const double* values = udm_tcod_values(tcod);
        return std::vector<double>(values, values + udm_tcod_count(tcod));
    }

  private:
    const UdmTcod* Code(int label, int code) const {
        UdmModel* previous = udm_model_current();
        udm_model_select(model_);
        void* set = nullptr;
        udm_entity_find(UDM_CLASS_TSET, 21000, label, &set);
        const UdmTcod* tcod =
            set == nullptr ? nullptr : udm_tset_code(static_cast<UdmTset*>(set), code, 0);
        udm_model_select(previous);
        return tcod;
    }

    UdmModel* model_;
};

TEST_F(VxmatCli, ConvertsEveryGradeWithProgress) {
    const ProcessResult result = Run(dir_.File("grades.udm"), dir_.File("out.udb"));
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.out,
              "File 1 of 1, Material 1 of 3, Northfield NP 1\n"
              "File 1 of 1, Material 2 of 3, Kestrel KR 2\n"
              "File 1 of 1, Material 3 of 3, Alder AC 3\n");
    EXPECT_EQ(result.err, "");

    const Output output(dir_.File("out.udb"));
    ASSERT_NE(output.get(), nullptr) << "the output is a packed property file";
    EXPECT_EQ(udm_typed_type(output.get()), 21000);
    EXPECT_EQ(udm_typed_count(output.get()), 3);
    EXPECT_EQ(output.Text(5, 1991), "5");
    EXPECT_EQ(output.Text(9, 1998), "AC 3");
    EXPECT_EQ(output.Text(7, 1554), "Transition");
    EXPECT_EQ(output.Text(5, 1011), "Not Available");
    // Viscosity D1 / 2, rounded half away from zero, at the class temperature
    // from KOR_DAT (0 C for a class the table lacks).
    EXPECT_EQ(output.Text(5, 1328), "VI(230)3");
    EXPECT_EQ(output.Text(7, 1328), "VI(240)-3");
    EXPECT_EQ(output.Text(9, 1328), "VI(0)4");
}

// A data directory that is missing or unreadable keeps the result (the
// index at 0 C) and says so in one line naming the directory and table.
TEST_F(VxmatCli, DataDirectoryWithoutTablesStillConvertsWithAWarning) {
    const auto expect_warning = [](const ProcessResult& result, const std::string& directory) {
        EXPECT_EQ(result.err, "tarnvel: warning: product data directory " + directory +
                                  ": cannot load generic_class.csv (values that come from them "
                                  "are left at their defaults)\n");
    };
    const ProcessResult result =
        Run(dir_.File("grades.udm"), dir_.File("out.udb"), dir_.File("none"));
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(Output(dir_.File("out.udb")).Text(5, 1328), "VI(0)3");
    expect_warning(result, dir_.File("none"));

    // A directory holding other files but not the table.
    const ProcessResult empty = Run(dir_.File("grades.udm"), dir_.File("out.udb"), dir_.File(""));
    ASSERT_EQ(empty.exit_code, 0) << empty.err;
    expect_warning(empty, dir_.File(""));

    if (geteuid() == 0) return;  // root reads a directory whatever its mode
    const std::string locked = data_.File("");
    ASSERT_EQ(chmod(locked.c_str(), 0), 0);
    const ProcessResult unreadable = Run(dir_.File("grades.udm"), dir_.File("out.udb"), locked);
    chmod(locked.c_str(), 0700);
    ASSERT_EQ(unreadable.exit_code, 0) << unreadable.err;
    EXPECT_EQ(Output(dir_.File("out.udb")).Text(5, 1328), "VI(0)3");
    expect_warning(unreadable, locked);
}

TEST_F(VxmatCli, RejectedInputsExitFiveAndWriteNothing) {
    WriteText(dir_.File("new.udm"), LegacyFile("21000", LegacySet(1, "S", "G", "PP", 5)));
    WriteText(dir_.File("garbage.udm"), std::string("\x1f\x8b\x08\x00garbage", 11));
    std::filesystem::create_directory(dir_.File("folder.udm"));
    // Each failure says in one line what failed, naming the input.
    const std::pair<const char*, const char*> cases[] = {
        {"new.udm", "not 20000"},
        {"garbage.udm", "no readable UDM"},
        {"absent.udm", "No such file"},
        {"folder.udm", "it is a directory"},
    };
    for (const auto& [input, reason] : cases) {
        SCOPED_TRACE(input);
        const ProcessResult result = Run(dir_.File(input), dir_.File("out.udb"));
        EXPECT_EQ(result.exit_code, 5);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(dir_.File(input)), std::string::npos) << result.err;
        EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_FALSE(dir_.Exists("out.udb"));
    }
}

// A code dropped by the reader keeps the exit status but gives one warning
// naming the file, the count and the first message with its line.
TEST_F(VxmatCli, ADroppedCodeIsWarnedAbout) {
    WriteText(dir_.File("dropped.udm"),
              LegacyFile("20000",
                         "TSET{20000 4 \"a\"\n TCOD{1997 \"S\" 1,34e+09}\n"
                         " TCOD{1998 \"G\"}}\n"));
    const ProcessResult result = Run(dir_.File("dropped.udm"), dir_.File("out.udb"));
    EXPECT_EQ(result.exit_code, 0) << result.err;
    EXPECT_EQ(result.err, "tarnvel: warning: " + dir_.File("dropped.udm") +
                              ": 1 construct dropped while reading, first at Line 5: parse "
                              "error : [,]\n");
    EXPECT_EQ(Run(dir_.File("grades.udm"), dir_.File("out.udb")).err, "");
}

TEST_F(VxmatCli, FailureLeavesAnExistingOutputAlone) {
    WriteText(dir_.File("out.udb"), "previous");
    EXPECT_EQ(Run(dir_.File("absent.udm"), dir_.File("out.udb")).exit_code, 5);
    EXPECT_EQ(ReadText(dir_.File("out.udb")), "previous");
    const ProcessResult result = Run(dir_.File("grades.udm"), dir_.File("missing-dir/out.udb"));
    EXPECT_EQ(result.exit_code, 5);
    EXPECT_NE(result.err.find("cannot write " + dir_.File("missing-dir/out.udb")),
              std::string::npos)
        << result.err;
}

TEST_F(VxmatCli, ShippedExampleWithShippedData) {
    const std::string source(TARNVEL_SOURCE_DIR);
    const ProcessResult result = Run(source + "/examples/legacy_grades.udm", dir_.File("demo.udb"),
                                     source + "/product/data/dat");
    ASSERT_EQ(result.exit_code, 0) << result.err;
    EXPECT_NE(result.out.find("Material 6 of 6"), std::string::npos);
    const Output output(dir_.File("demo.udb"));
    ASSERT_EQ(udm_typed_count(output.get()), 6);
    // Every grade's class is in the shipped table: the index is evaluated
    // at the class temperature, not at 0 C.
    EXPECT_EQ(output.Text(101, 1328).rfind("VI(230)", 0), 0u) << output.Text(101, 1328);
    EXPECT_EQ(output.Text(310, 1328).rfind("VI(280)", 0), 0u) << output.Text(310, 1328);
    // Every grade's melt flow test: temperature (K) above its melt's Tait
    // transition, a standard load (kg) and a rate (g/10 min) that injection
    // moulding grades have; and its modulus.
    for (const int label : {101, 102, 205, 310, 311, 420}) {
        SCOPED_TRACE(label);
        const std::vector<double> flow = output.Values(label, 1330);
        ASSERT_EQ(flow.size(), 3u);
        const std::vector<double> tait = output.Values(label, 1004);
        ASSERT_FALSE(tait.empty());
        EXPECT_GT(flow[0], tait[0]);
        EXPECT_GE(flow[1], 1.2);
        EXPECT_LE(flow[1], 10.0);
        EXPECT_GT(flow[2], 1.0);
        EXPECT_LT(flow[2], 200.0);
        // The tensile modulus in Pa, like every stress of the file.
        EXPECT_GT(output.Values(label, 1602).at(0), 1e8);
    }
}

}  // namespace
