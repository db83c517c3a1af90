// Reading grades, with the depth of generic links followed so far.
#pragma once

#include <memory>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// Generic links followed in a row before a chain of links is stopped (a
// chain that returns to an earlier grade would not end otherwise).
inline constexpr int kMaxLinkDepth = 8;

// Reads a grade; with resolve its generic links are followed.
std::unique_ptr<MdGrade> ReadGrade(MdPosition position, bool resolve, int depth);
std::unique_ptr<MdGrade> ReadByName(int slot, const char* supplier, const char* grade, int depth);

}  // namespace tarnvel::matdb
