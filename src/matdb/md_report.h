// The readable report of a grade that the export prints on the console: a
// short summary, then every property item under its group's heading, with
// values converted from base units into the metric display system.
#pragma once

#include <string>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// The report of a grade, items in the grade's order. database names the
// database the grade was read from (null: none); viscosity_model is the
// selected viscosity model number (below 1: the default).
std::string md_report_text(const MdGrade& grade, const char* database, int viscosity_model);

// Prints the report through the console output.
void md_print_report(const MdGrade& grade, const char* database, int viscosity_model);

}  // namespace tarnvel::matdb
