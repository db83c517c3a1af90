#include "catalogue/catalogue_site.h"

#include <sys/stat.h>

#include <cstdio>
#include <unordered_set>
#include <utility>

#include "catalogue/catalogue_html.h"
#include "catalogue/catalogue_index.h"
#include "catalogue/catalogue_names.h"
#include "services/syppaths.h"
#include "services/sypsafewrite.h"

namespace tarnvel::catalogue {
namespace {

// A grade found by the walk, with its page.
struct Entry {
    MdPosition position;
    std::string page;
};

bool IsFolder(const std::string& path) {
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Makes a folder and its missing parents; false with the reason in error.
bool MakeFolders(const std::string& path, std::string& error) {
    if (path.empty() || IsFolder(path)) return true;
    const std::size_t slash = path.find_last_of('/', path.size() - 2);
    if (slash != std::string::npos && slash > 0 && !MakeFolders(path.substr(0, slash), error))
        return false;
    if (sypMakeDirectory(path.c_str()) == 0 || IsFolder(path)) return true;
    error = path + ": cannot make the folder";
    return false;
}

// The walk over the slot's grades, in stored order: the position and page
// of each grade whose header reads.
std::vector<Entry> WalkGrades(int slot, PageNames& names, SiteReport& report) {
    std::vector<Entry> entries;
    for (MdPosition supplier = md_first_supplier(md_position(slot)); supplier.valid;
         supplier = md_next_supplier(supplier)) {
        if (supplier.slot != slot) break;
        if (!md_read_supplier_details(supplier)) {
            ++report.unreadable_suppliers;
            continue;
        }
        for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
            if (at.supplier != supplier.supplier) break;
            const std::unique_ptr<MdGrade> header = md_read_grade_header(at);
            if (!header) {
                ++report.unreadable_grades;
                continue;
            }
            entries.push_back({at, names.Assign(header->supplier, header->code)});
        }
    }
    return entries;
}

bool WriteText(const std::string& path, const std::string& text, std::string& error) {
    const int status = sypWriteFile(path.c_str(), [&](std::FILE* out) {
        return std::fwrite(text.data(), 1, text.size(), out) == text.size();
    });
    if (status != 0) error = sypWriteFileError();
    return status == 0;
}

std::vector<PagePlot> DrawPlots(const MdGrade& grade, const GradePlots& plots, SiteReport& report) {
    std::vector<PagePlot> drawn;
    for (const auto& [kind, prefix] :
         {std::pair{PlotKind::kViscosity, "viscosity-"}, std::pair{PlotKind::kPvt, "pvt-"}}) {
        PagePlot& plot = drawn.emplace_back();
        plot.kind = kind;
        if (!plots) continue;
        const std::string svg = plots(grade, kind, &plot.warnings);
        plot.svg = InlineSvg(svg, prefix);
        if (!svg.empty() && plot.svg.empty())
            plot.warnings.push_back("the drawing is no SVG document; left out");
        report.plots += plot.svg.empty() ? 0 : 1;
        report.plot_warnings += static_cast<int>(plot.warnings.size());
    }
    return drawn;
}

// Reads each grade whole, writes its page and adds its index row.
bool WritePages(const SiteOptions& options, const std::vector<Entry>& entries,
                const PageNames& names, std::vector<IndexRow>& rows, SiteReport& report) {
    PageLinks links;
    // Generic links lead into the Standard database: only its own catalogue
    // holds their grades.
    if (options.slot == MD_STANDARD)
        links.page_of = [&](const std::string& supplier, const std::string& code) {
            return names.Find(supplier, code);
        };
    std::unordered_set<std::string> folders;
    for (const Entry& entry : entries) {
        const std::unique_ptr<MdGrade> grade = md_read_grade(entry.position);
        if (!grade) {
            ++report.unreadable_grades;
            continue;
        }
        const std::string folder =
            options.folder + "/" + PageNames::SupplierFolder(grade->supplier);
        if (folders.insert(folder).second && !MakeFolders(folder, report.error)) return false;
        const std::vector<PagePlot> plots = DrawPlots(*grade, options.plots, report);
        if (!WriteText(options.folder + "/" + entry.page, GradePageHtml(*grade, plots, links),
                       report.error))
            return false;
        ++report.grades;
        rows.push_back(
            {grade->supplier, grade->code, grade->description, GradeFamily(*grade), entry.page});
    }
    return true;
}

}  // namespace

SiteReport WriteSite(const SiteOptions& options) {
    SiteReport report;
    if (!MakeFolders(options.folder, report.error)) return report;
    PageNames names;
    const std::vector<Entry> entries = WalkGrades(options.slot, names, report);
    std::vector<IndexRow> rows;
    rows.reserve(entries.size());
    if (!WritePages(options, entries, names, rows, report)) return report;
    IndexHeading heading;
    heading.database = options.database;
    heading.version = md_slot_version(options.slot);
    heading.unreadable = report.unreadable_grades;
    report.written =
        WriteText(options.folder + "/index.html", IndexHtml(rows, heading), report.error);
    return report;
}

GradePlots NoPlots() {
    return [](const MdGrade&, PlotKind, std::vector<std::string>*) { return std::string(); };
}

}  // namespace tarnvel::catalogue
