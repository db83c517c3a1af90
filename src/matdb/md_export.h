// The grade export: one grade of the material databases written as a
// keyword file, entered through an argument vector like a program of its
// own ("-supplier", "-grade", "-output", "-database", "-diagnostic",
// "-kes").
#pragma once

#include <optional>
#include <string>

#include "matdb/matdb.h"
#include "matdb/md_export_options.h"

namespace tarnvel::matdb {

// The models chosen for a grade from the preference lists; 0 where the
// grade supports none of the list's entries.
struct MdModelChoice {
    // 1 1st order, 2 2nd order, 3 matrix, 4 Cross, 5 Carreau, 6 Cross-WLF.
    int viscosity = 0;
    // 1 the product's own, 2 Tait, 3 compressibility factor, 4 matrix.
    int pvt = 0;
    // 2 residual stress, 1 residual strain.
    int shrinkage = 0;
};

// The keyword file text of a grade: the grade is unpacked (warnings for
// items of unusable forms, the fits of its standard points), the models
// chosen and the grade report printed, then every keyword line whose
// condition holds is composed in order.
std::string md_export_text(const MdGrade& grade, const MdExportOptions& options,
                           const MdModelPreferences& preferences, const char* database,
                           MdModelChoice& chosen);

// Which console output of an export is shown. The report is the grade
// report with the unpack warnings and the fit reports; diagnostics are the
// messages of the record-file and database layers (environment lookup,
// database opening, generic links, grade not found, file writing). What is
// not shown goes to no screen: the record-file message unit is none then.
struct MdExportMessages {
    bool report = false;
    bool diagnostics = false;
};

enum class MdExportStatus { kWritten, kNotFound, kNotWritten };

// One export with parsed options: the Standard location from KESPATH with
// "-kes", the grade found (the databases opened on the first call and again
// when a later call finds them all closed), unpacked, reported and written
// whole through the safe write, so a failed export leaves the path as it
// was. `chosen` receives the model choice of a grade that was found.
MdExportStatus md_export_run(const MdExportOptions& options, MdExportMessages messages,
                             MdModelChoice* chosen = nullptr);

// The entry: 0 when the keyword file was written, 1 otherwise (usage,
// grade not found, file not written). Without "-diagnostic" nothing of the
// export reaches the screen; with it the report and every diagnostic do.
// When status is given it receives why (a bad vector is kNotWritten).
int md_export_entry(int argc, const char* const* argv, MdExportStatus* status = nullptr);

// The entry without its file: the keyword file text that md_export_entry
// would write for the argument vector, after the same messages and report;
// nothing where the entry would return 1 before writing. When status is
// given it receives why, as for md_export_entry.
std::optional<std::string> md_export_entry_text(int argc, const char* const* argv,
                                                MdExportStatus* status = nullptr);

}  // namespace tarnvel::matdb
