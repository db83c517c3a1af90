#include "matdb/md_export.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "matdb/md_export_unpack.h"
#include "matdb/md_fit_geltime.h"
#include "matdb/md_print.h"
#include "matdb/md_report.h"
#include "services/sypenv.h"
#include "services/sypsafewrite.h"
#include "services/vtout.h"

namespace tarnvel::matdb {
namespace {

// The forms a property's keyword lines take.
enum class Form { kSingle, kPoints, kCoefficients, kText };

// The properties held as standard points (the fitted ones), texts and
// coefficient lists; every other property is a single point.
Form FormOf(int property) {
    switch (property) {
        case 6:
        case 7:
        case 12:
        case 108:
            return Form::kPoints;
        case 17:
        case 58:
        case 75:
        case 76:
        case 77:
        case 78:
        case 109:
            return Form::kText;
        case 59:
        case 60:
        case 65:
        case 74:
        case 91:
        case 94:
        case 96:
        case 97:
        case 107:
            return Form::kCoefficients;
        default:
            break;
    }
    if (property >= 98 && property <= 106) return Form::kText;
    if (property >= 79 && property <= 90) return Form::kCoefficients;
    return Form::kSingle;
}

Form FormOfFormat(int format) {
    switch (format) {
        case MD_SINGLE_POINT:
            return Form::kSingle;
        case MD_STANDARD_POINTS:
            return Form::kPoints;
        case MD_COEFFICIENTS:
            return Form::kCoefficients;
        default:
            return Form::kText;
    }
}

const char* FormName(Form form) {
    switch (form) {
        case Form::kSingle:
            return "Single Point";
        case Form::kPoints:
            return "Standard Points";
        case Form::kCoefficients:
            return "Coeffient type data";
        case Form::kText:
            return "Text";
    }
    return "";
}

bool KnownFormat(int format) {
    return format == MD_SINGLE_POINT || format == MD_STANDARD_POINTS || format == MD_COEFFICIENTS ||
           format == MD_TEXT || format == MD_TEXT_QUOTED;
}

std::vector<double> Reals(const MdProperty& item) {
    std::vector<double> out;
    for (const MdWord& w : item.values) out.push_back(w.real());
    return out;
}

// The fits of a standard-points item; false when the fit failed.
bool FitPoints(const MdProperty& item, MdExportSlots& s) {
    const std::vector<double> values = Reals(item);
    const MdPointTable table{item.variables, values};
    switch (item.property) {
        case kMdViscosity:
            s.viscosity = md_fit_viscosity(table);
            return s.viscosity.error == 0;
        case kMdPvtSpecificVolume:
            s.pvt = md_fit_pvt(table, true);
            if (s.pvt.error != 0) return false;
            for (std::size_t i = 0; i < table.rows(); ++i) {
                s.pvt_points.insert(s.pvt_points.end(),
                                    {table.at(i, 0), table.at(i, 1), table.property(i)});
            }
            return true;
        case 7:
            // Gel-time segments are checked but carried by no keyword.
            return md_fit_gel_time(table).error == 0;
        default:
            s.pvt_matrix = md_copy_pvt_matrix(table);
            return s.pvt_matrix.error == 0;
    }
}

void Unpack(const MdProperty& item, MdExportSlots& s) {
    const int p = item.property;
    if (p < 1 || p > kMdLastProperty || !KnownFormat(item.format)) {
        MdPrint("Warning: Unexpected Property/Format found (%d,%d)\n", p, item.format);
        return;
    }
    if (p == kMdGenericLink) {
        s.has_link = true;
        s.link = item.text;
        return;
    }
    // PVT matrix rows come as points or as a coefficient list of rows.
    const bool matrix_list = p == 108 && item.format == MD_COEFFICIENTS;
    const Form form = matrix_list ? Form::kCoefficients : FormOf(p);
    if (FormOfFormat(item.format) != form) {
        const std::string name(md_property_name(p));
        MdPrint("Warning: \"%s\" is not a usable model format for \"%s\"\n",
                FormName(FormOfFormat(item.format)), name.c_str());
        s.present[p] = true;
        return;
    }
    switch (form) {
        case Form::kSingle:
            s.single[p] = item.values.empty() ? kMdUnset : item.values[0].real();
            break;
        case Form::kText:
            s.text[p] = item.text;
            break;
        case Form::kCoefficients:
            s.reals[p] = Reals(item);
            for (const MdWord& w : item.values) s.integers[p].push_back(w.integer());
            if (p == kMdShrinkagePredictiveError && item.values.size() != 2) {
                const std::string name(md_property_name(p));
                MdPrint("Warning: %s should have 2 coefficients, not %d - Discarded.\n",
                        name.c_str(), static_cast<int>(item.values.size()));
                return;
            }
            break;
        case Form::kPoints:
            if (!FitPoints(item, s)) return;
            break;
    }
    s.present[p] = true;
}

// True when the grade supports the viscosity model of that code.
bool Supports(const MdExportSlots& s, int code) {
    switch (code) {
        case 1:
            return s.present[79] || (s.present[kMdViscosity] && s.viscosity.first_order);
        case 2:
            return s.present[80] || (s.present[kMdViscosity] && s.viscosity.second_order);
        case 3:
            return s.present[kMdViscosity] && s.viscosity.matrix;
        case 4:
            return s.present[81];
        case 5:
            return s.present[82];
        case 6:
            return s.present[83];
        default:
            return false;
    }
}

// Opens the databases again when an earlier export left them all closed.
void ReopenIfClosed() {
    for (int slot = 0; slot <= kMdHighestSlot; ++slot) {
        if (md_open_state(slot) != 0) return;
    }
    vtOutSave();
    vtOutSetSink(vtOutDiscard);
    md_open_all();
    vtOutRestore();
}

// Writes the whole text through the safe write, so that a failed export
// leaves the path as it was.
bool WriteFile(const std::string& path, const std::string& text) {
    const int status = sypWriteFile(path.c_str(), [&](std::FILE* out) {
        return std::fwrite(text.data(), 1, text.size(), out) == text.size();
    });
    if (status == 0) return true;
    MdPrint("Could not write %s\n", sypWriteFileError());
    return false;
}

std::string Cut(const std::string& text, std::size_t length) {
    return text.substr(0, length);
}

}  // namespace

MdExportSlots md_export_unpack(const MdGrade& grade) {
    MdExportSlots s;
    s.single.fill(kMdUnset);
    s.pvt.k.fill(kMdUnset);
    for (const MdProperty& item : grade.items) Unpack(item, s);
    return s;
}

int md_export_viscosity_model(const MdExportSlots& s, const MdModelPreferences& preferences) {
    if (Supports(s, preferences.viscosity[0])) return preferences.viscosity[0];
    for (std::size_t i = 0; i < 6; ++i) {
        if (Supports(s, preferences.viscosity[i])) return preferences.viscosity[i];
    }
    return 0;
}

std::string md_export_text(const MdGrade& grade, const MdExportOptions& options,
                           const MdModelPreferences& preferences, const char* database,
                           int& viscosity_model) {
    const MdExportSlots slots = md_export_unpack(grade);
    viscosity_model = md_export_viscosity_model(slots, preferences);
    md_print_report(grade, database, viscosity_model);
    return md_export_lines(grade, slots, options);
}

int md_export_entry(int argc, const char* const* argv) {
    const auto options = md_export_parse(argc, argv);
    if (!options) {
        vt_out(md_export_usage(argc > 0 ? argv[0] : nullptr).c_str());
        return 1;
    }
    const MdModelPreferences preferences = md_model_preferences_from_environment();
    if (options->kes) {
        const char* kes = std::getenv("KESPATH");
        if (kes != nullptr && *kes != '\0' && sypSetEnvironment("VTPATH", kes) != 1) return 1;
    }
    const std::string supplier = Cut(options->supplier, 10);
    const std::string code = Cut(options->grade, 6);
    const std::string database = Cut(options->database, 20);
    ReopenIfClosed();
    if (md_find_for_export(supplier.c_str(), code.c_str(), database.c_str()) != 1) return 1;
    const MdGrade* grade = md_export_grade();
    if (grade == nullptr) return 1;
    int viscosity_model = 0;
    const std::string text =
        md_export_text(*grade, *options, preferences, md_database_name(md_export_position().slot),
                       viscosity_model);
    return WriteFile(options->output, text) ? 0 : 1;
}

}  // namespace tarnvel::matdb
