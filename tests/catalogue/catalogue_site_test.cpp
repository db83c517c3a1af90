// The catalogue of a database written to a folder: the index and one page
// per grade, the plots that an injected drawing gives, a write that fails
// midway, and matdb site as a process.
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue/catalogue_site.h"
#include "matdb/matdb.h"
#include "matdb/rax_test_support.h"
#include "services/vtout.h"
#include "support/process.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::catalogue::GradePlots;
using tarnvel::catalogue::PlotKind;
using tarnvel::catalogue::SiteOptions;
using tarnvel::catalogue::SiteReport;
using tarnvel::catalogue::WriteSite;
using tarnvel::testing::BuiltProgram;
using tarnvel::testing::Coefficients;
using tarnvel::testing::Grade;
using tarnvel::testing::Points;
using tarnvel::testing::ReadWholeFile;
using tarnvel::testing::RunProcess;
using tarnvel::testing::Single;
using tarnvel::testing::Text;

std::vector<MdGrade> Grades() {
    const MdProperty pvt = Points(12, {1, 4}, {200.0f, 0.0f, 0.00125f, 250.0f, 5e7f, 0.0012f});
    const MdProperty cross_wlf =
        Coefficients(83, 0, {5.2e12f, 263.15f, 0, 27, 51.6f, 25000, 0.28f});
    return {
        Grade("ACME", "PP100", "ACME PP <B> & \"Q\"",
              {Single(3, 752.308f), pvt, cross_wlf, Text(58, "PP"), Text(77, "ACMELENE <I>")}),
        Grade("ACME", "AB200", "ACME ABS", {Text(58, "ABS")}),
        Grade("A/B", "X.Y", "ODD NAMES", {Single(1, 0.2f)}),
    };
}

// The drawing the tests inject: a viscosity plot for a grade with a
// Cross-WLF model, a PVT plot for one with PVT points (with one point left
// out), each a tiny SVG document with an id of its own.
GradePlots TestPlots() {
    return [](const MdGrade& grade, PlotKind kind, std::vector<std::string>* warnings) {
        const int wanted = kind == PlotKind::kViscosity ? 83 : 12;
        for (const MdProperty& item : grade.items) {
            if (item.property != wanted) continue;
            if (kind == PlotKind::kPvt) warnings->push_back("PVT: 1 point <left out>");
            return std::string(
                "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" "
                "width=\"4\" height=\"4\"><clipPath id=\"clip1\"/>"
                "<rect clip-path=\"url(#clip1)\" width=\"4\" height=\"4\"/></svg>\n");
        }
        return std::string();
    };
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

class CatalogueSite : public ::testing::Test {
  protected:
    void SetUp() override {
        char name[] = "/tmp/catalogue-site-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        root_ = name;
        vtOutSetMode(kVtPassLines);
        vtOutSetSink(vtOutDiscard);
        database_ = root_ / "db";
        fs::create_directory(database_);
        fs::current_path(database_);
        ASSERT_EQ(md_open(MD_LOCAL, MD_CREATE), MD_CREATED);
        for (const MdGrade& grade : Grades()) md_write_grade(MD_LOCAL, &grade);
        md_close_all();
        fs::current_path(root_);
    }
    void TearDown() override {
        md_close_all();
        fs::current_path("/");
        fs::remove_all(root_);
    }

    // The catalogue of the database written into root/out (or where told).
    SiteReport Write(const fs::path& out, GradePlots plots) {
        fs::current_path(database_);
        EXPECT_NE(md_open(MD_LOCAL, MD_READ), MD_OPEN_FAILED);
        SiteOptions options;
        options.slot = MD_LOCAL;
        options.folder = out.string();
        options.database = "db <1>";
        options.plots = std::move(plots);
        const SiteReport report = WriteSite(options);
        md_close_all();
        fs::current_path(root_);
        return report;
    }

    // The regular files under a folder, relative to it.
    static std::vector<std::string> Files(const fs::path& folder) {
        std::vector<std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(folder))
            if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder));
        std::ranges::sort(files);
        return files;
    }

    fs::path root_;
    fs::path database_;
};

TEST_F(CatalogueSite, IndexListsEveryGradeWithItsPageAndFilters) {
    const SiteReport report = Write(root_ / "out" / "site", TestPlots());
    ASSERT_TRUE(report.written) << report.error;
    EXPECT_EQ(report.grades, 3);
    EXPECT_EQ(report.unreadable_grades, 0);
    EXPECT_EQ(Files(root_ / "out" / "site"),
              (std::vector<std::string>{"grades/ACME/AB200.html", "grades/ACME/PP100.html",
                                        "grades/A_2FB/X_2EY.html", "index.html"}));
    const std::string index = ReadWholeFile(root_ / "out" / "site" / "index.html");
    EXPECT_EQ(Count(index, "<tr data-s="), 3u);
    for (const char* page :
         {"grades/ACME/PP100.html", "grades/ACME/AB200.html", "grades/A_2FB/X_2EY.html"})
        EXPECT_NE(index.find(std::string("href=\"") + page + "\""), std::string::npos) << page;
    EXPECT_NE(index.find("ACME PP &lt;B&gt; &amp; &quot;Q&quot;"), std::string::npos);
    EXPECT_EQ(index.find("<B>"), std::string::npos);
    EXPECT_NE(index.find("Material database db &lt;1&gt;"), std::string::npos);
    EXPECT_NE(index.find("3 grades of 2 suppliers."), std::string::npos);
    // Both suppliers and both families can be chosen; a grade without a
    // family has family 0.
    EXPECT_NE(index.find(">ACME</option>"), std::string::npos);
    EXPECT_NE(index.find(">A/B</option>"), std::string::npos);
    EXPECT_NE(index.find(">ABS</option>"), std::string::npos);
    EXPECT_NE(index.find(">PP</option>"), std::string::npos);
    EXPECT_NE(index.find("data-f=\"0\"><td>A/B</td>"), std::string::npos);
    EXPECT_NE(index.find("id=\"filter-text\""), std::string::npos);
    // Nothing is loaded from elsewhere; only the index's own script runs.
    EXPECT_NE(index.find("default-src 'none'"), std::string::npos);
    EXPECT_NE(index.find("script-src 'unsafe-inline'"), std::string::npos);
    EXPECT_EQ(index.find("src="), std::string::npos);
    EXPECT_EQ(index.find("://"), std::string::npos);
}

TEST_F(CatalogueSite, GradePageHoldsPropertiesAndTheInjectedPlots) {
    const SiteReport report = Write(root_ / "site", TestPlots());
    ASSERT_TRUE(report.written) << report.error;
    EXPECT_EQ(report.plots, 2);
    EXPECT_EQ(report.plot_warnings, 1);
    const std::string page = ReadWholeFile(root_ / "site" / "grades" / "ACME" / "PP100.html");
    EXPECT_NE(page.find("<table id=\"properties\">"), std::string::npos);
    EXPECT_NE(page.find("<td>Melt Density</td><td class=\"num\">752.308</td><td>kg/cu.m</td>"),
              std::string::npos);
    EXPECT_NE(page.find("<th>Temperature [deg.C]</th>"), std::string::npos);
    EXPECT_NE(page.find("2 standard points"), std::string::npos);
    EXPECT_NE(page.find("5.2e+12, 263.15, 0, 27, 51.6, 25000, 0.28"), std::string::npos);
    EXPECT_NE(page.find("ACMELENE &lt;I&gt;"), std::string::npos);
    // Both drawings inline, their ids apart, no XML declaration.
    EXPECT_EQ(Count(page, "<svg "), 2u);
    EXPECT_NE(page.find("id=\"viscosity-clip1\""), std::string::npos);
    EXPECT_NE(page.find("url(#pvt-clip1)"), std::string::npos);
    EXPECT_EQ(page.find("<?xml"), std::string::npos);
    EXPECT_NE(page.find("PVT: 1 point &lt;left out&gt;"), std::string::npos);
    // A grade page runs no script, whatever a drawing holds.
    EXPECT_NE(page.find("default-src 'none'"), std::string::npos);
    EXPECT_EQ(page.find("script-src"), std::string::npos);
    // A grade without curves says so.
    const std::string plain = ReadWholeFile(root_ / "site" / "grades" / "ACME" / "AB200.html");
    EXPECT_EQ(Count(plain, "<svg"), 0u);
    EXPECT_EQ(Count(plain, "no curves"), 2u);
}

TEST_F(CatalogueSite, WithoutADrawingEveryPageSaysNoCurves) {
    const SiteReport report = Write(root_ / "site", tarnvel::catalogue::NoPlots());
    ASSERT_TRUE(report.written) << report.error;
    EXPECT_EQ(report.plots, 0);
    const std::string page = ReadWholeFile(root_ / "site" / "grades" / "ACME" / "PP100.html");
    EXPECT_EQ(Count(page, "no curves"), 2u);
}

TEST_F(CatalogueSite, AFailedWriteStopsTheRunAndLeavesNoPartialFile) {
    // A folder where a page must go.
    const fs::path site = root_ / "site";
    fs::create_directories(site / "grades" / "ACME" / "AB200.html");
    const SiteReport report = Write(site, TestPlots());
    EXPECT_FALSE(report.written);
    EXPECT_NE(report.error.find("AB200.html"), std::string::npos) << report.error;
    // No index and no sibling of a write in progress: only whole pages.
    for (const std::string& file : Files(site))
        EXPECT_TRUE(file.ends_with(".html") && file != "index.html") << file;
}

TEST_F(CatalogueSite, AFolderThatCannotBeMadeFails) {
    { std::ofstream(root_ / "plain") << "x"; }
    const SiteReport report = Write(root_ / "plain" / "site", TestPlots());
    EXPECT_FALSE(report.written);
    EXPECT_NE(report.error.find("cannot make the folder"), std::string::npos) << report.error;
}

TEST_F(CatalogueSite, GradesThatCannotBeReadAreCountedAndLeftOut) {
    // The data file cut after its header: the grade list reads, no grade does.
    fs::resize_file(database_ / "mtdp.rax", 28);
    const SiteReport report = Write(root_ / "site", TestPlots());
    ASSERT_TRUE(report.written) << report.error;
    EXPECT_EQ(report.grades, 0);
    EXPECT_EQ(report.unreadable_grades, 3);
    EXPECT_EQ(Files(root_ / "site"), std::vector<std::string>{"index.html"});
    const std::string index = ReadWholeFile(root_ / "site" / "index.html");
    EXPECT_NE(index.find("3 grades could not be read"), std::string::npos);
    EXPECT_EQ(index.find("<tr data-s="), std::string::npos);

    const auto damaged = RunProcess(BuiltProgram("matdb"),
                                    {"site", database_.string(), "-o", "out"}, root_.string());
    EXPECT_EQ(damaged.exit_code, 1);
    EXPECT_NE(damaged.out.find("unreadable grades: 3\n"), std::string::npos) << damaged.out;
    EXPECT_NE(damaged.err.find("3 grades and 0 suppliers could not be read"), std::string::npos)
        << damaged.err;
}

TEST_F(CatalogueSite, MatdbSiteWritesTheCatalogueAndReportsFailures) {
    const std::string matdb = BuiltProgram("matdb");
    const auto done = RunProcess(matdb, {"site", database_.string(), "-o", "out"}, root_.string());
    EXPECT_EQ(done.exit_code, 0) << done.err;
    // PP100 has two charts, drawn inline: its PVT points, and its Cross-WLF
    // list drawn around the class temperature of PP (it holds no melt
    // temperature); what its charts leave out is counted in the warnings.
    EXPECT_NE(done.out.find("grades: 3\nplots: 2\nplot warnings: 1\n"), std::string::npos)
        << done.out;
    EXPECT_TRUE(fs::is_regular_file(root_ / "out" / "index.html"));
    EXPECT_NE(ReadWholeFile(root_ / "out" / "grades" / "ACME" / "PP100.html").find("<svg"),
              std::string::npos);

    const auto no_output = RunProcess(matdb, {"site", database_.string()});
    EXPECT_EQ(no_output.exit_code, 2);
    EXPECT_NE(no_output.err.find("site needs -o FOLDER"), std::string::npos) << no_output.err;

    { std::ofstream(root_ / "plain") << "x"; }
    const auto blocked =
        RunProcess(matdb, {"site", database_.string(), "-o", (root_ / "plain" / "x").string()});
    EXPECT_EQ(blocked.exit_code, 1);
    EXPECT_NE(blocked.err.find("the catalogue is incomplete"), std::string::npos) << blocked.err;
}

}  // namespace
