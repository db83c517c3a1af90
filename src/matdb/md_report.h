// The readable report of a grade that the export prints on the console: a
// short summary, then every property item under its group's heading, with
// values converted from base units into the metric display system.
#pragma once

#include <string>
#include <string_view>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// The report of a grade, items in the grade's order. database names the
// database the grade was read from (null: none); viscosity_model is the
// selected viscosity model number (below 1: the default); viscosity_notes
// (whole lines) follow the model line of a grade with Viscosity, saying
// which fitted models are unavailable and why.
std::string md_report_text(const MdGrade& grade, const char* database, int viscosity_model,
                           std::string_view viscosity_notes = {});

// Prints the report through the console output.
void md_print_report(const MdGrade& grade, const char* database, int viscosity_model,
                     std::string_view viscosity_notes = {});

}  // namespace tarnvel::matdb
