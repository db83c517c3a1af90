#include "matdb/md_report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "matdb/md_catalogue.h"
#include "recfile/recfile.h"
#include "services/vtout.h"

namespace tarnvel::matdb {
namespace {

// Labels are left-justified in this many columns.
constexpr const char* kLabelFormat = "%-45s";
// Values per line of a coefficient list.
constexpr std::size_t kCoefficientsPerLine = 4;
constexpr std::size_t kKineticPerLine = 6;
// The first Shrinkage value (after its two integers) of the perpendicular set.
constexpr std::size_t kPerpendicularShrinkageStart = 20;
// Shrinkage lists begin with two integers: flow and shrinkage versions.
constexpr std::size_t kShrinkageIntegers = 2;

void Appendf(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));

void Appendf(std::string& out, const char* format, ...) {
    char buffer[128];
    va_list args;
    va_start(args, format);
    const int length = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (length < 0) return;
    if (static_cast<std::size_t>(length) < sizeof buffer) {
        out.append(buffer, static_cast<std::size_t>(length));
        return;
    }
    // Longer than the buffer: format again into the text itself.
    const std::size_t start = out.size();
    out.resize(start + static_cast<std::size_t>(length) + 1);
    va_start(args, format);
    std::vsnprintf(out.data() + start, static_cast<std::size_t>(length) + 1, format, args);
    va_end(args);
    out.resize(start + static_cast<std::size_t>(length));
}

int PropertyUnit(int property) {
    const MdPropertyInfo* info = md_property(property);
    return info ? info->unit : 0;
}

int VariableUnit(int variable) {
    const MdVariableInfo* info = md_variable(variable);
    return info ? info->unit : 0;
}

// A stored value shown in the metric system.
double Shown(const MdWord& word, int unit) {
    return md_from_base(static_cast<double>(word.real()), unit, kMdSystemMetric);
}

std::string_view MetricName(int unit) {
    return md_unit_name(unit, kMdSystemMetric);
}

void AppendSummary(std::string& out, const MdGrade& grade, const char* database,
                   int viscosity_model, std::string_view viscosity_notes) {
    out += "\nMaterial DATABASE type : ";
    if (database)
        Appendf(out, "MATDB <%s>\n", database);
    else
        out += "OLD\n";
    Appendf(out, "SUPPLIER/file name     : %s\n", grade.supplier.c_str());
    Appendf(out, "GRADE code             : %s\n", grade.code.c_str());
    const bool has_viscosity =
        std::any_of(grade.items.begin(), grade.items.end(),
                    [](const MdProperty& item) { return item.property == kMdViscosity; });
    if (has_viscosity) {
        if (viscosity_model < 1)
            out += "Material MODEL order   : DEFAULT\n";
        else
            Appendf(out, "Material MODEL order   : %d\n", viscosity_model);
        out += viscosity_notes;
    }
    Appendf(out, "Material description   :\n%s %s\n\n", grade.code.c_str(),
            grade.description.c_str());
}

void AppendSinglePoint(std::string& out, const MdProperty& item) {
    if (item.values.empty()) {
        out += "Present, but not printable.\n";
        return;
    }
    const int unit = PropertyUnit(item.property);
    Appendf(out, "  %16.06f %-s\n", Shown(item.values[0], unit),
            std::string(MetricName(unit)).c_str());
}

void AppendStandardPoints(std::string& out, const MdProperty& item) {
    const int property_unit = PropertyUnit(item.property);
    out += "\n\n";
    for (int variable : item.variables)
        Appendf(out, " %16s ", std::string(md_variable_name(variable)).c_str());
    Appendf(out, " %16s\n", std::string(md_property_name(item.property)).c_str());
    for (int variable : item.variables)
        Appendf(out, " %16s ", std::string(MetricName(VariableUnit(variable))).c_str());
    Appendf(out, " %16s\n", std::string(MetricName(property_unit)).c_str());

    const std::size_t columns = item.variables.size() + 1;
    for (std::size_t row = 0; row + columns <= item.values.size(); row += columns) {
        for (std::size_t column = 0; column + 1 < columns; ++column)
            Appendf(out, " %16.03f ",
                    Shown(item.values[row + column], VariableUnit(item.variables[column])));
        Appendf(out, " %16.06f ", Shown(item.values[row + columns - 1], property_unit));
        out += "\n";
    }
}

void AppendCoefficients(std::string& out, const MdProperty& item) {
    std::size_t first = 0;
    if (item.property == kMdViscosity) Appendf(out, "Thermoset Model %d\n", item.model);
    const bool shrinkage = item.property == kMdShrinkage;
    if (shrinkage) {
        const auto integer = [&](std::size_t i) {
            return i < item.values.size() ? item.values[i].integer() : 0;
        };
        Appendf(out, "VTL %d SHR %d\n", integer(0), integer(1));
        out += "\n   Parallel Shrinkage Coefficients,Min,Max,Centroid";
        first = kShrinkageIntegers;
    }
    const bool kinetic = item.property == kMdKinetic;
    const std::size_t per_line = kinetic ? kKineticPerLine : kCoefficientsPerLine;
    for (std::size_t i = 0; first + i < item.values.size(); ++i) {
        if (i % per_line == 0) out += "\n";
        if (shrinkage && i == kPerpendicularShrinkageStart)
            out += "   Perpendicular Shrinkage Coefficients,Min,Max,Centroid\n";
        const double value = static_cast<double>(item.values[first + i].real());
        Appendf(out, kinetic ? " %10.04g " : " %16.06e ", value);
    }
    out += "\n";
}

void AppendItem(std::string& out, const MdProperty& item) {
    if (item.property == kMdGenericLink) {
        Appendf(out, "\nThis grade has a generic link to %s\n", item.text.c_str());
        return;
    }
    std::string label = item.inherited ? "Generic " : "";
    label += md_property_name(item.property);
    if (item.format == MD_STANDARD_POINTS || item.format == MD_COEFFICIENTS) out += "\n";
    Appendf(out, kLabelFormat, label.c_str());
    switch (item.format) {
        case MD_SINGLE_POINT:
            AppendSinglePoint(out, item);
            break;
        case MD_STANDARD_POINTS:
            AppendStandardPoints(out, item);
            break;
        case MD_COEFFICIENTS:
            AppendCoefficients(out, item);
            break;
        case MD_TEXT:
        case MD_TEXT_QUOTED:
            Appendf(out, "  \"%s\"\n", item.text.c_str());
            break;
        default:
            out += "Present, but not printable.\n";
            break;
    }
}

}  // namespace

std::string md_report_text(const MdGrade& grade, const char* database, int viscosity_model,
                           std::string_view viscosity_notes) {
    std::string out;
    AppendSummary(out, grade, database, viscosity_model, viscosity_notes);
    int last_group = -1;
    for (const MdProperty& item : grade.items) {
        const MdPropertyInfo* info = md_property(item.property);
        const int group = info ? info->group : 0;
        if (group != last_group) {
            out += md_group_heading(group);
            last_group = group;
        }
        AppendItem(out, item);
    }
    return out;
}

void md_print_report(const MdGrade& grade, const char* database, int viscosity_model,
                     std::string_view viscosity_notes) {
    // A report that would go nowhere (straight to the message routine while
    // the record-file messages are off, as in the pipelines' exports) is not
    // composed at all: it would cost more than the rest of the export.
    if (vtOutPassesToMessageRoutine() && !rfMessagesShown()) return;
    vt_out(md_report_text(grade, database, viscosity_model, viscosity_notes).c_str());
}

}  // namespace tarnvel::matdb
