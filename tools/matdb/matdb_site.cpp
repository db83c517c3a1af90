// matdb site: the database as a static HTML catalogue in a folder.
#include <cstdio>
#include <string>

#include "catalogue/catalogue_page.h"
#include "catalogue/catalogue_site.h"
#include "curves/class_temperature.h"
#include "curves/curves.h"
#include "matdb/matdb.h"
#include "matdb_tool.h"

namespace matdb_tool {

int RunSite(const Options& options, const OpenedDatabase& database) {
    tarnvel::catalogue::SiteOptions site;
    site.slot = database.slot;
    site.folder = options.output;
    site.database = database.folder;
    const tarnvel::curves::ClassTemperatures classes(tarnvel::curves::ProductDataDirectory());
    site.plots = [&classes](const MdGrade& grade, tarnvel::catalogue::PlotKind kind,
                            std::vector<std::string>* warnings) {
        tarnvel::curves::SamplingOptions sampling;
        sampling.class_temperature = classes.Of(tarnvel::catalogue::GradeFamily(grade));
        return tarnvel::curves::GradeChartSvg(grade,
                                              kind == tarnvel::catalogue::PlotKind::kPvt
                                                  ? tarnvel::curves::PlotKind::kPvt
                                                  : tarnvel::curves::PlotKind::kViscosity,
                                              warnings, sampling);
    };
    const tarnvel::catalogue::SiteReport report = tarnvel::catalogue::WriteSite(site);
    if (!report.written) {
        std::fprintf(stderr, "matdb: the catalogue is incomplete: %s\n", report.error.c_str());
        return kExitFailed;
    }
    std::printf(
        "site: %s/index.html\ngrades: %d\nplots: %d\nplot warnings: %d\n"
        "unreadable grades: %d\n",
        options.output.c_str(), report.grades, report.plots, report.plot_warnings,
        report.unreadable_grades);
    if (report.unreadable_grades > 0 || report.unreadable_suppliers > 0) {
        std::fprintf(stderr,
                     "matdb: %s: the database is damaged: %d grades and %d suppliers could not "
                     "be read and are not in the catalogue\n",
                     database.folder.c_str(), report.unreadable_grades,
                     report.unreadable_suppliers);
        return kExitFailed;
    }
    if (LayerReportedDamage()) {
        std::fprintf(stderr,
                     "matdb: %s: the database is damaged; what could not be read is not in the "
                     "catalogue\n",
                     database.folder.c_str());
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace matdb_tool
