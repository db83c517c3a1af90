// The export's slots of one grade: what the grade holds of every property,
// in the forms the keyword lines take.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_export.h"
#include "matdb/md_export_options.h"
#include "matdb/md_fit_pvt.h"
#include "matdb/md_fit_viscosity.h"

namespace tarnvel::matdb {

struct MdExportSlots {
    // True for every property the grade holds in any form (false after a
    // failed fit or a discarded list).
    std::array<bool, kMdPropertyCount> present{};
    // Single points; the unset marker unless held as a single point.
    std::array<double, kMdPropertyCount> single{};
    std::array<std::string, kMdPropertyCount> text;
    // Coefficient lists as reals, and as integers (the same words).
    std::array<std::vector<double>, kMdPropertyCount> reals;
    std::array<std::vector<std::int32_t>, kMdPropertyCount> integers;
    // The fits of the standard points.
    MdViscosityFit viscosity;
    MdPvtFit pvt;
    // The PVT points, rows of (temperature, pressure, volume).
    std::vector<double> pvt_points;
    MdPvtMatrix pvt_matrix;
    bool has_link = false;
    std::string link;
};

// Unpacks a grade, printing the warnings of unusable items and the fit
// reports.
MdExportSlots md_export_unpack(const MdGrade& grade);

// The models of the preference lists: each the list's first entry when
// the grade supports it, else the first supported entry among the first six
// (viscosity) or four (PVT, shrinkage); 0 when none is supported.
MdModelChoice md_export_choose_models(const MdExportSlots& slots,
                                      const MdModelPreferences& preferences);

// The keyword lines of the unpacked grade.
std::string md_export_lines(const MdGrade& grade, const MdExportSlots& slots,
                            const MdExportOptions& options);

}  // namespace tarnvel::matdb
