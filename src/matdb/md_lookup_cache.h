// Remembers where suppliers and grades were found by name, so that finding
// one of thousands of grades does not walk the supplier and grade lists
// from their heads every time. The files stay as they are; the memory is
// rebuilt from them after every close.
//
// What this system writes only ever appends to a list (a new record is
// linked from the list's last record) and rewrites records in place, so a
// remembered record is checked by reading it once, and a name not seen yet
// is looked for from the last record remembered onwards.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "matdb/matdb.h"
#include "matdb/md_walk.h"
#include "matdb/rax_file.h"

namespace tarnvel::matdb {

// The answer for a wanted name (upper case, cut as compared) in the list of
// the given kind that starts at first: the supplier list of a slot
// (supplier 0), or the grade list of a supplier record. Null when the cache
// cannot answer (a remembered record changed, or the list is damaged): the
// caller then walks the list itself, and reports what it finds.
std::optional<FindStatus> CachedFind(int slot, RaxFileKind kind, int supplier, int first,
                                     std::string_view wanted, int* found, int* last);

// The Standard grades that generic links have read, by wanted supplier and
// grade name: a grade linked by thousands of grades is read once while the
// Standard database stays open. Null when the grade is not remembered (or
// the cache is off).
const MdGrade* CachedLinkedGrade(const std::string& key);
void RememberLinkedGrade(const std::string& key, const MdGrade& grade);

// Forgets everything remembered about a slot's lists, and the records its
// walks reached (md_visits.h).
void ForgetLookups(int slot);

// Turns the cache off (every find walks its list) and on again, for
// comparing both ways in one benchmark or test run. On by default.
void SetLookupCacheEnabled(bool enabled);

}  // namespace tarnvel::matdb
