// The grade export: one grade of the material databases written as a
// keyword file, entered through an argument vector like a program of its
// own ("-supplier", "-grade", "-output", "-database", "-diagnostic",
// "-kes").
#pragma once

#include <string>

#include "matdb/matdb.h"
#include "matdb/md_export_options.h"

namespace tarnvel::matdb {

// The keyword file text of a grade: the grade is unpacked (warnings for
// items of unusable forms, the fits of its standard points), the viscosity
// model chosen and the grade report printed, then every keyword line whose
// condition holds is composed in order. viscosity_model receives the
// chosen viscosity model number (below 1: none supported).
std::string md_export_text(const MdGrade& grade, const MdExportOptions& options,
                           const MdModelPreferences& preferences, const char* database,
                           int& viscosity_model);

// The entry: 0 when the keyword file was written, 1 otherwise (usage,
// grade not found, file not written). A file that cannot be written in
// full is removed.
int md_export_entry(int argc, const char* const* argv);

}  // namespace tarnvel::matdb
