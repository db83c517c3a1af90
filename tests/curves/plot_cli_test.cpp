// matdb plot and udmconv plot end to end: charts of shipped Standard grades
// and of the sets of a UDB file that tarnvel writes, in SVG and PNG. The SVG
// must hold, in each material's colour, one stroked path for every line the
// CSV table of the same run lists for that material; the PNG must decode.
// With TARNVEL_PLOT_SAMPLES naming a folder, the charts are kept there for
// people to look at.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <pugixml.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "chart_readback.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using namespace tarnvel::testing;
using tarnvel::curves::testing::CountPaths;
using tarnvel::curves::testing::ParseCsv;

const std::string kStandard = std::string(TARNVEL_PRODUCT_DIR) + "/data/dat";

class PlotCli : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "plot-cli-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        if (const char* keep = std::getenv("TARNVEL_PLOT_SAMPLES")) {
            for (const auto& entry : fs::directory_iterator(dir_)) {
                if (entry.path().extension() != ".csv")
                    fs::copy_file(entry.path(), fs::path(keep) / entry.path().filename(),
                                  fs::copy_options::overwrite_existing);
            }
        }
        std::error_code ignored;
        fs::remove_all(dir_, ignored);
    }
    std::string Path(const std::string& name) const { return dir_ + "/" + name; }
    std::string dir_;
};

ProcessResult RunTool(const std::string& program, const std::vector<std::string>& args) {
    return RunProcess(BuiltProgram(program), args);
}

// For each material of a CSV table, in the order of first appearance: the
// number of lines drawn (model curves and transition lines; measured values
// are markers).
std::vector<std::pair<std::string, int>> LinesPerMaterial(const std::string& csv) {
    std::vector<std::vector<std::string>> rows = ParseCsv(csv);
    if (!rows.empty()) rows.erase(rows.begin());  // the header
    std::vector<std::pair<std::string, int>> counts;
    std::set<std::vector<std::string>> seen;
    for (const std::vector<std::string>& fields : rows) {
        EXPECT_EQ(fields.size(), 5u);
        if (fields.size() != 5) continue;
        for (const std::string& field : fields) EXPECT_EQ(field.find("nan"), std::string::npos);
        if (counts.empty() || counts.back().first != fields[0]) counts.emplace_back(fields[0], 0);
        const bool markers = fields[1] == "points" || fields[1] == "PVT matrix";
        if (!markers && seen.insert({fields[0], fields[1], fields[2]}).second)
            ++counts.back().second;
    }
    return counts;
}

// The SVG holds, in each material's colour, a path per line of the table.
void ExpectSvgMatchesTable(const std::string& svg_path, const std::string& csv_path,
                           std::size_t materials) {
    pugi::xml_document svg;
    const pugi::xml_parse_result parsed = svg.load_file(svg_path.c_str());
    ASSERT_TRUE(parsed) << svg_path << ": " << parsed.description();
    const auto lines = LinesPerMaterial(ReadWholeFile(csv_path));
    ASSERT_EQ(lines.size(), materials) << csv_path;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_GT(lines[i].second, 0) << lines[i].first;
        EXPECT_EQ(CountPaths(svg, static_cast<int>(i)).stroked, lines[i].second) << lines[i].first;
    }
}

void ExpectPngDecodes(const std::string& path) {
    cairo_surface_t* image = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(image), CAIRO_STATUS_SUCCESS) << path;
    EXPECT_EQ(cairo_image_surface_get_width(image), 800);
    EXPECT_EQ(cairo_image_surface_get_height(image), 600);
    cairo_surface_destroy(image);
}

const std::vector<std::string> kThreeGrades = {"ALDERPOL", "AP120",   "KESTREL",
                                               "KR450",    "BRACKEN", "BA6"};

TEST_F(PlotCli, ThreeStandardGradesInOneChartOfEachKindAndFormat) {
    for (const std::string kind : {"viscosity", "pvt"}) {
        for (const std::string format : {"svg", "png"}) {
            std::vector<std::string> args = {"plot", kStandard};
            args.insert(args.end(), kThreeGrades.begin(), kThreeGrades.end());
            const std::string out = Path("standard-" + kind + "." + format);
            const std::string csv = Path(kind + ".csv");
            args.insert(args.end(), {"--" + kind, "-o", out, "--csv", csv});
            const ProcessResult result = RunTool("matdb", args);
            ASSERT_EQ(result.exit_code, 0) << result.err;
            if (format == "svg") {
                ExpectSvgMatchesTable(out, csv, 3);
            } else {
                ExpectPngDecodes(out);
            }
        }
    }
    const ProcessResult pdf =
        RunTool("matdb", {"plot", kStandard, "ALDERPOL", "AP120", "--pvt", "-o", Path("one.PDF")});
    ASSERT_EQ(pdf.exit_code, 0) << pdf.err;
    EXPECT_EQ(ReadWholeFile(Path("one.PDF")).rfind("%PDF", 0), 0u);
}

TEST_F(PlotCli, SetsOfAUdbFileThatTarnvelWrote) {
    const std::string udb = Path("examples.udb");
    const ProcessResult made = RunTool(
        "tarnvel",
        {"-asc", std::string(TARNVEL_SOURCE_DIR) + "/examples/moulding_grades.asc", "-udb", udb});
    ASSERT_EQ(made.exit_code, 0) << made.err;
    for (const std::string kind : {"viscosity", "pvt"}) {
        const std::string out = Path("sets-" + kind + ".svg");
        const std::string csv = Path("sets-" + kind + ".csv");
        const ProcessResult result =
            RunTool("udmconv", {"plot", udb, "--set", "21000/1", "--set", "21000/2", "--" + kind,
                                "-o", out, "--csv", csv});
        ASSERT_EQ(result.exit_code, 0) << result.err;
        ExpectSvgMatchesTable(out, csv, 2);
        // Each set is named by its type, label and grade.
        EXPECT_EQ(ReadWholeFile(csv).find("\n21000/1 "), ReadWholeFile(csv).find('\n'));
    }
    const ProcessResult png =
        RunTool("udmconv", {"plot", udb, "--viscosity", "-o", Path("all.png")});
    ASSERT_EQ(png.exit_code, 0) << png.err;
    ExpectPngDecodes(Path("all.png"));
}

// Usage errors are exit 2 before anything is read; a file that cannot be
// written or a missing grade is exit 1; nothing is left behind.
TEST_F(PlotCli, BadRequestsAndUnwritableOutputs) {
    struct Case {
        std::string program;
        std::vector<std::string> args;
        int exit_code;
        std::string message;
    };
    const std::string grade[] = {"ALDERPOL", "AP120"};
    const std::vector<Case> cases = {
        {"matdb",
         {"plot", kStandard, grade[0], grade[1], "-o", Path("a.svg")},
         2,
         "exactly one of --viscosity and --pvt"},
        {"matdb",
         {"plot", kStandard, grade[0], grade[1], "--pvt", "--viscosity", "-o", Path("a.svg")},
         2,
         "exactly one of"},
        {"matdb",
         {"plot", kStandard, grade[0], grade[1], "AP340I", "--pvt", "-o", Path("a.svg")},
         2,
         "SUPPLIER GRADE pairs"},
        {"matdb",
         {"plot", kStandard, grade[0], grade[1], "--pvt", "-o", Path("a.txt")},
         2,
         "give it the extension .svg, .png or .pdf"},
        {"matdb", {"plot", kStandard, grade[0], grade[1], "--pvt"}, 2, "needs -o"},
        {"matdb",
         {"plot", kStandard, grade[0], "NOSUCH", "--pvt", "-o", Path("a.svg")},
         1,
         "grade ALDERPOL NOSUCH not found"},
        {"matdb",
         {"plot", kStandard, grade[0], grade[1], "--pvt", "-o", Path("none/a.svg")},
         1,
         "none/a.svg"},
        {"udmconv", {"plot", Path("missing.udb"), "--pvt", "-o", Path("a.svg")}, 1, "missing.udb"},
        {"udmconv", {"plot", Path("missing.udb"), "-o", Path("a.svg")}, 2, "exactly one of"},
        {"udmconv", {"list", Path("missing.udb"), "--pvt"}, 2, "only for plot"},
    };
    for (const Case& c : cases) {
        const ProcessResult result = RunTool(c.program, c.args);
        EXPECT_EQ(result.exit_code, c.exit_code) << c.program << " " << c.args.back() << result.err;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_TRUE(fs::is_empty(dir_)) << c.args.back();
    }
}

// A grade with a viscosity model but neither points nor melt temperatures
// is drawn around the class temperature of its family (PP: 230 °C in the
// product's table), by matdb plot and in matdb site's pages; a family the
// table lacks leaves nothing to draw, and says why.
TEST_F(PlotCli, AGradeWithoutTemperaturesIsDrawnAroundItsClassTemperature) {
    const auto grade = [](const std::string& code, const std::string& family) {
        return "Supplier HARBOUR\nGrade " + code +
               "\nManufacturer \"Harbour Plastics\"\nTrade_Name \"T\"\nMaterial_Family \"" +
               family +
               "\"\nCross-WLF_Viscosity_Coefficients 5.2e+12 263.15 0 27 51.6 25000 0.28\n";
    };
    std::ofstream(Path("grades.asc")) << grade("HP700", "PP") + grade("HP701", "NOCLASS");
    const std::string db = Path("db");
    ASSERT_EQ(RunTool("matdb", {"import", Path("grades.asc"), db}).exit_code, 0);

    const ProcessResult known = RunTool("matdb", {"plot", db, "HARBOUR", "HP700", "--viscosity",
                                                  "-o", Path("a.svg"), "--csv", Path("a.csv")});
    ASSERT_EQ(known.exit_code, 0) << known.err;
    std::set<std::string> temperatures;
    for (const std::vector<std::string>& row : ParseCsv(ReadWholeFile(Path("a.csv"))))
        if (row.size() > 2 && row[1] == "Cross-WLF") temperatures.insert(row[2]);
    EXPECT_EQ(temperatures, (std::set<std::string>{"210", "230", "250"}));

    const ProcessResult unknown =
        RunTool("matdb", {"plot", db, "HARBOUR", "HP701", "--viscosity", "-o", Path("b.svg")});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_NE(unknown.err.find("HARBOUR HP701: viscosity models not drawn: no temperature"),
              std::string::npos)
        << unknown.err;

    const ProcessResult site = RunTool("matdb", {"site", db, "-o", Path("site")});
    ASSERT_EQ(site.exit_code, 0) << site.err;
    EXPECT_NE(site.out.find("plots: 1\n"), std::string::npos) << site.out;
}

}  // namespace
