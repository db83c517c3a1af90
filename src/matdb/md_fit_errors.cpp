#include "matdb/md_fit_errors.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>
#include <string>

#include "services/vtout.h"

namespace tarnvel::matdb {
namespace {

constexpr std::array<std::string_view, 19> kContextLines = {
    "Error in reading MTC data",
    "Error in reading PVT data",
    "Error in reading Shrinkage Data",
    "Error in retrieving Conductivity Data",
    "Error in retrieving Specific Heat Data",
    "Error in retrieving Density Data",
    "Error in retrieving Freeze Temperature Data",
    "Error in retrieving No Flow Temp Data",
    "Error in retrieving Viscosity Data",
    "Error in retrieving Gel Time Data",
    "Error in retrieving Tensile Modulus Data",
    "Error in retrieving Poisson Ratio Data",
    "Error in retrieving Deg of Crystallinity Data",
    "Error in retrieving Deg of Orientation Data",
    "Error in retrieving PVT Data",
    "Error in retrieving Shrinkage Data",
    "Error in retrieving Generic linked data",
    "Error in retrieving Processing Property data",
    "Error in reading Processing Property data",
};
constexpr std::array<std::string_view, 125> kMessageLines = {
    "Unable to access STANDARD database RAX files",
    "Unable to access PERSONAL database RAX files",
    "No write access database RAX files.   PRSNL=",
    "Read/write error on RAX files.        PRSNL=",
    "Read/write -STANDARD DB supplier file. IOS=",
    "Read/write -STANDARD DB grade file.    IOS=",
    "Read/write -STANDARD DB data file.     IOS=",
    "Read/write -PERSONAL DB supplier file. IOS=",
    "Read/write -PERSONAL DB grade file.    IOS=",
    "Read/write -PERSONAL DB data file.     IOS=",
    "Invalid header for supplier file.    PRSNL=",
    "Invalid header for grade file.       PRSNL=",
    "Invalid header for data file.        PRSNL=",
    "Data for grade is in invalid format. PRSNL=",
    "Numeric data expected",
    "Grade description expected",
    "SUPPLIER name must be alphanumeric",
    "SUPPLIER name too long - truncated",
    "GRADE code must be alphanumeric",
    "GRADE code too long - truncated",
    "SUPPLIER not found.                   PRSNL=",
    "GRADE not found.                      PRSNL=",
    "GRADE/SUPPLIER combination not found. PRSNL=",
    "Invalid parameter for this command",
    "Data relationship not retrievable .",
    "Too many sets of data points to analyse Max=",
    "Incorrect number of sets of data points.",
    "1st order fit error - +ve gradient wrt shear",
    "2nd differential wrt shear is positive",
    "Temperatures not in ascending order",
    "Shear rates not in ascending order for temp.",
    "Varying number of temperatures in block",
    "Inconsistent shear rates",
    "Redundant entries - shear rates same",
    "More than 10 shear rates per temperature",
    "More that 10 different temperatures",
    "Unrecognised command.",
    "This command requires PERSONAL database.",
    "Property retrieval not yet implemented. num=",
    "SUPPLIER already exists on database.  PRSNL=",
    "Datatype storage full - CONTACT VT.    MAX =",
    "Maximum number of suppliers exceeded. PRSNL=",
    "Max grades per supplier exceeded.     PRSNL=",
    "Data file record number invalid.      PRSNL=",
    "Datatype or property list is required param.",
    "Datatype name must be alphanumeric",
    "Datatype name too long - truncated.",
    "Datatype name already exists.",
    "Datatype name does not exist.",
    "Property number invalid, must be in range 1:",
    "0 cannot be selected with other numbers.",
    "Numbers must be in increasing order.",
    "Supplier NOT created                  PRSNL=",
    "Incorrect number of inputs. Each line needs",
    "Number of sets must be in range 1:100",
    "Data file not found.                   ERRR=",
    "Selection out of valid range. MAXIMUM VALUE=",
    "0 is not a valid selection number.",
    "Too many data values",
    "Selected value is not in valid list.  VALUE=",
    "Temporary working area not initialised.",
    "Property not included in data. PROPERTY NUM=",
    "Property already in data.      PROPERTY NUM=",
    "Help list is not available.",
    "Help not available on selected topic.",
    "Data NOT written to RAX files",
    "Grade information NOT written to RAX files",
    "Supplier information NOT written to RAX file",
    "Unable to update Supplier info in RAX files",
    "Unable to update Grade info in RAX files",
    "Unable to update Data info in RAX files",
    "ABORTING due to open log file error",
    "ABORTING due to list file open error",
    "ABORTING -error reading file/supplier name",
    "Error in setting up RAX supplier file",
    "SUPPLIER is required parameter for command",
    "GRADE code is required parameter for command",
    "Search string is required parameter",
    "Grade description expected in input.   Line=",
    "Numeric data values expected in input. Line=",
    "3 values per line expectd in input.    Line=",
    "Read error in input data file. Line number =",
    "MTC numeric line expect 5 or 9 values. Line=",
    "VTLP-PVT or CRSYT id line expected.  . Line=",
    "Parallel/Perpendicular line expected.  Line=",
    "PVT Data invalid ratios for analysis",
    "No Generic data linked to this grade",
    "No Grades found for this supplier.    PRSNL=",
    "Command is restricted to Personal DB ONLY",
    "Plot type is required parameter for command",
    "Plot type invalid",
    "Too many divisons.              Maximum is =",
    "Graphing not yet implemented for property  =",
    "Invalid paramter MDGTIC - Contact VANTOREL",
    "Too many labels generated - Some lost   MAX=",
    "Shear value <= 0 => infinite log value",
    "Generated Viscosity <=0 =>infinite log value",
    "Generated PVT value = 0 => infinite Spec Vol",
    "Range value too small for plot type",
    "Range values too large for plot type",
    "Min range value exceeds max range value",
    "VTPROJ global variable not set",
    "VTCOMP global variable not set",
    "GRADE  Description must be non-blank",
    "Personal DB not initilaised for VTPROJ dir",
    "Personal DB not initilaised for VTCOMP dir",
    "Same Pressures for the Lower Zone Isobars",
    "Same Temperatures for Lower Zone Isobars",
    "Same Specific Volume for Lower Zone Isobars",
    "Could not get parameter ests for Lower Zone",
    "Same Intercepts for the Lower Zone",
    "Same Gradients for the Lower Zone",
    "Same Temperatures for the Boundary Line",
    "Same Pressures for the Boundary Line",
    "Same Pressures for the Upper Zone Isobars",
    "Same Temperatures for Upper Zone Isobars",
    "Same Specific Volume for Upper Zone Isobars",
    "Same Gradients for the Upper Zone",
    "Same Intercepts for the Upper Zone",
    "Material Family string expected. Line =",
    "Min melt temp must be < max melt temp Line=",
    "Min mold temp must be < max mold temp Line=",
    "Recommended melt temp out of range.   Line=",
    "Recommended mold temp out of range.   Line=",
    "obsolete command - use HELP",
};

// The width of a message entry, before the extra integer.
constexpr int kTextWidth = 45;

std::string_view Entry(std::span<const std::string_view> table, int number) {
    if (number < 1 || number > static_cast<int>(table.size())) return {};
    return table[static_cast<std::size_t>(number - 1)];
}

std::string Format(const char* format, auto... values) {
    char line[128];
    const int length = std::snprintf(line, sizeof line, format, values...);
    return std::string(line, static_cast<std::size_t>(std::max(length, 0)));
}

}  // namespace

std::string_view md_fit_context_text(int context) {
    return Entry(kContextLines, context);
}

std::string_view md_fit_message_text(int message) {
    return Entry(kMessageLines, message);
}

void md_fit_error(int code, int extra) {
    md_fit_print("********* TESSEL ERROR *******\n");
    const int context = code / 1000;
    const int message = code % 1000;
    const std::string_view context_text = md_fit_context_text(context);
    const std::string_view message_text = md_fit_message_text(message);
    if (message_text.empty() || context < 0 || (context > 0 && context_text.empty())) {
        md_fit_print(Format("ERROR NUMBER =%4d IPARAM = %10d\n", code, extra));
        return;
    }
    if (context > 0) md_fit_print(std::string(context_text) + "\n");
    if (extra == kMdNoExtra) {
        md_fit_print(std::string(message_text) + "\n");
    } else {
        const std::string text(message_text);
        md_fit_print(Format("%-*s %10d\n", kTextWidth, text.c_str(), extra));
    }
}

void md_fit_print(std::string_view text) {
    vt_out(std::string(text).c_str());
}

}  // namespace tarnvel::matdb
