// Where each database's files live and what they are called.
#pragma once

#include <string>

#include "matdb/rax_records.h"

namespace tarnvel::matdb {

// Length limits of the location variables.
inline constexpr std::size_t kVtPathLimit = 255;
inline constexpr std::size_t kVtPersonalLimit = 80;

// The directory of a slot's database, ending in "/" (empty for Local, whose
// files are bare names in the working directory). False, with words saying
// why, when the location is not set or too long for its field.
bool DatabaseDirectory(int slot, std::string* directory, std::string* why);

// The file name from the slot's template ("mtXs.rax" for Standard,
// "mtXp.rax" otherwise) with f, g or d put in place of the X.
std::string RaxFileName(int slot, RaxFileKind kind);

// The path under which an existing file is found: the name as formed, or
// else the name in upper case (databases copied from other systems often
// carry upper-case names). The formed name when neither exists.
std::string ExistingRaxPath(const std::string& directory, int slot, RaxFileKind kind);

}  // namespace tarnvel::matdb
