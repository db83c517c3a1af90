// Record access and list walks shared by the reading and writing halves of
// the access layer.
#pragma once

#include <string>

#include "matdb/matdb.h"
#include "matdb/rax_records.h"

namespace tarnvel::matdb {

bool ReadSupplierRecord(int slot, int number, SupplierRecord* record);
bool ReadGradeRecord(int slot, int number, GradeRecord* record);
// Record numbers of a position's supplier and grade (0 when not valid).
int SupplierNumber(const MdPosition& position);
int GradeNumber(const MdPosition& position);
int SupplierOffset(int slot, int number);
int GradeOffset(int slot, int number);

enum class FindStatus { kFound, kNotFound, kDamaged };

// Finds a supplier by name in one open slot. When none matches, last is the
// list's last record (0 for an empty list).
FindStatus FindSupplierIn(int slot, std::string_view name, int* found, int* last);
// Finds a grade by name among a supplier's grades; last as above.
FindStatus FindGradeIn(int slot, int supplier, std::string_view name, int* found, int* last);

// Finds supplier and grade in slot or, for -1 and -3, in each database of
// the search order; the supplier text is taken literally.
MdPosition FindLiteral(int scope, const char* supplier, const char* grade);

// The wanted name as compared: trimmed, upper case, cut to the field width.
std::string WantedName(std::string_view name, std::size_t width);

}  // namespace tarnvel::matdb
