// Reading grades, with the depth of generic links followed so far.
#pragma once

#include <memory>

#include "matdb/matdb.h"
#include "matdb/md_links.h"

namespace tarnvel::matdb {

// Generic links followed in a row before a chain of links is stopped: it
// bounds how deeply the reads of linked grades nest (a chain that returns to
// an earlier grade is stopped where it closes).
inline constexpr int kMaxLinkDepth = 8;

// Reads a grade; with resolve its generic links are followed (depth: links
// already followed in a row to reach it).
std::unique_ptr<MdGrade> ReadGrade(MdPosition position, bool resolve, int depth);
// Reads a linked grade whose links are followed as part of the resolution
// of the grade that links to it.
std::unique_ptr<MdGrade> ReadLinkedGrade(MdPosition position, LinkResolution& links, int depth);

}  // namespace tarnvel::matdb
