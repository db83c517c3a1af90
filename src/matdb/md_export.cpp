#include "matdb/md_export.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "matdb/md_export_unpack.h"
#include "matdb/md_fit_geltime.h"
#include "matdb/md_print.h"
#include "matdb/md_report.h"
#include "recfile/recfile.h"
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

// PVT Specific Volume comes as points (fitted) or as the product PVT
// coefficients themselves; PVT matrix rows as points or as a coefficient
// list of rows.
bool TakesListForm(int property, int format) {
    return format == MD_COEFFICIENTS && (property == kMdPvtSpecificVolume || property == 108);
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
    const Form form = TakesListForm(p, item.format) ? Form::kCoefficients : FormOf(p);
    if (FormOfFormat(item.format) != form) {
        const std::string name(md_property_name(p));
        MdPrint("Warning: \"%s\" is not a usable model format for \"%s\"\n",
                FormName(FormOfFormat(item.format)), name.c_str());
        // A one-real keyword is still written, with the unset marker; a
        // skipped list, table or text leaves its property absent.
        if (form == Form::kSingle) s.present[p] = true;
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

// True when the grade holds a coefficient list whose first value is set,
// the condition of its keyword line.
bool HasList(const MdExportSlots& s, int property) {
    const std::vector<double>& values = s.reals[property];
    return s.present[property] && !values.empty() && !md_is_unset(values[0]);
}

bool SupportsViscosity(const MdExportSlots& s, int code) {
    const bool points = s.present[kMdViscosity];
    switch (code) {
        case 1:
            return HasList(s, 79) || (points && s.viscosity.first_order);
        case 2:
            return HasList(s, 80) || (points && s.viscosity.second_order);
        case 3:
            return points && s.viscosity.matrix;
        case 4:
            return HasList(s, 81);
        case 5:
            return HasList(s, 82);
        case 6:
            return HasList(s, 83);
        default:
            return false;
    }
}

bool SupportsPvt(const MdExportSlots& s, int code) {
    switch (code) {
        case 1:
            return HasList(s, 88) || HasList(s, kMdPvtSpecificVolume) ||
                   (s.present[kMdPvtSpecificVolume] && s.pvt.available);
        case 2:
            return HasList(s, 89);
        case 3:
            return HasList(s, 90);
        case 4:
            return s.present[108];
        default:
            return false;
    }
}

bool SupportsShrinkage(const MdExportSlots& s, int code) {
    switch (code) {
        case 1:
            return s.present[kMdShrinkage];
        case 2:
            return HasList(s, 107);
        default:
            return false;
    }
}

// The batch form of the model choice: the first entry when supported,
// otherwise the first supported one among the leading `considered`.
template <std::size_t N>
int Choose(const std::array<int, N>& list, std::size_t considered, const MdExportSlots& s,
           bool (*supports)(const MdExportSlots&, int)) {
    if (supports(s, list[0])) return list[0];
    for (std::size_t i = 0; i < std::min(considered, N); ++i) {
        if (supports(s, list[i])) return list[i];
    }
    return 0;
}

// Sets the record-file message unit to none while it lives, unless the
// messages are to be shown.
class MessageUnit {
  public:
    explicit MessageUnit(bool shown) : saved_(rfSettings().message_unit) {
        if (!shown) rfSettings().message_unit = kRfNone;
    }
    ~MessageUnit() { rfSettings().message_unit = saved_; }
    MessageUnit(const MessageUnit&) = delete;
    MessageUnit& operator=(const MessageUnit&) = delete;

  private:
    int saved_;
};

// The longest Standard location a variable may name.
constexpr std::size_t kStandardPathLimit = 255;

// With "-kes": a set KESPATH becomes the Standard location (VTPATH) for the
// rest of the run. Unset, VTPATH stays; false when it cannot be taken.
bool TakeKesPath() {
    std::array<char, 1024> value{};
    int length = 0;
    int status = 0;
    VTGVAR(0, "KESPATH", value, &length, 0, &status);
    if (status == -40) return true;
    if (status != 0) return false;
    const std::string path(value.data(), static_cast<std::size_t>(std::max(length, 0)));
    if (path.size() > kStandardPathLimit) {
        WRTMSG(" KESPATH is longer than 255 characters");
        return false;
    }
    if (sypSetEnvironment("VTPATH", path.c_str()) == 1) return true;
    WRTMSG(" Could not set VTPATH from KESPATH");
    return false;
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

MdModelChoice md_export_choose_models(const MdExportSlots& s,
                                      const MdModelPreferences& preferences) {
    MdModelChoice chosen;
    chosen.viscosity = Choose(preferences.viscosity, 6, s, SupportsViscosity);
    chosen.pvt = Choose(preferences.pvt, 4, s, SupportsPvt);
    chosen.shrinkage = Choose(preferences.shrinkage, 4, s, SupportsShrinkage);
    return chosen;
}

std::string md_export_text(const MdGrade& grade, const MdExportOptions& options,
                           const MdModelPreferences& preferences, const char* database,
                           MdModelChoice& chosen) {
    const MdExportSlots slots = md_export_unpack(grade);
    chosen = md_export_choose_models(slots, preferences);
    const std::string notes =
        slots.present[kMdViscosity] ? md_viscosity_fit_notes(slots.viscosity) : std::string();
    md_print_report(grade, database, chosen.viscosity, notes);
    return md_export_lines(grade, slots, options);
}

namespace {

// The keyword text of the grade the options name, composed as md_export_run
// composes it. kWritten when a text was composed.
MdExportStatus ComposeText(const MdExportOptions& options, MdExportMessages messages,
                           MdModelChoice* chosen, std::string* text) {
    const MdModelPreferences preferences = md_model_preferences_from_environment();
    std::optional<MessageUnit> quiet(std::in_place, messages.diagnostics);
    if (options.kes && !TakeKesPath()) return MdExportStatus::kNotWritten;
    const std::string supplier = Cut(options.supplier, 10);
    const std::string code = Cut(options.grade, 6);
    const std::string database = Cut(options.database, 20);
    ReopenIfClosed();
    if (md_find_for_export(supplier.c_str(), code.c_str(), database.c_str()) != 1) {
        return MdExportStatus::kNotFound;
    }
    const MdGrade* grade = md_export_grade();
    if (grade == nullptr) return MdExportStatus::kNotFound;
    quiet.emplace(messages.report);
    MdModelChoice models;
    *text = md_export_text(*grade, options, preferences,
                           md_database_name(md_export_position().slot), models);
    if (chosen != nullptr) *chosen = models;
    return MdExportStatus::kWritten;
}

// The parsed argument vector; the usage text is printed for a bad one.
std::optional<MdExportOptions> ParseOrUsage(int argc, const char* const* argv) {
    std::optional<MdExportOptions> options = md_export_parse(argc, argv);
    if (!options) vt_out(md_export_usage(argc > 0 ? argv[0] : nullptr).c_str());
    return options;
}

}  // namespace

MdExportStatus md_export_run(const MdExportOptions& options, MdExportMessages messages,
                             MdModelChoice* chosen) {
    std::string text;
    const MdExportStatus composed = ComposeText(options, messages, chosen, &text);
    if (composed != MdExportStatus::kWritten) return composed;
    const MessageUnit quiet(messages.diagnostics);
    return WriteFile(options.output, text) ? MdExportStatus::kWritten : MdExportStatus::kNotWritten;
}

int md_export_entry(int argc, const char* const* argv, MdExportStatus* status) {
    MdExportStatus ignored;
    MdExportStatus& result = status != nullptr ? *status : ignored;
    result = MdExportStatus::kNotWritten;
    const std::optional<MdExportOptions> options = ParseOrUsage(argc, argv);
    if (!options) return 1;
    const MdExportMessages messages{options->diagnostic, options->diagnostic};
    result = md_export_run(*options, messages);
    return result == MdExportStatus::kWritten ? 0 : 1;
}

std::optional<std::string> md_export_entry_text(int argc, const char* const* argv,
                                                MdExportStatus* status) {
    MdExportStatus ignored;
    MdExportStatus& result = status != nullptr ? *status : ignored;
    result = MdExportStatus::kNotWritten;
    const std::optional<MdExportOptions> options = ParseOrUsage(argc, argv);
    if (!options) return std::nullopt;
    const MdExportMessages messages{options->diagnostic, options->diagnostic};
    std::string text;
    result = ComposeText(*options, messages, nullptr, &text);
    if (result != MdExportStatus::kWritten) return std::nullopt;
    return text;
}

}  // namespace tarnvel::matdb
