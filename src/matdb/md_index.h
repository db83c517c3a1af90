// The index file of a personal database (mtip.rax): a header of nine lines
// and one line of search fields per grade, built from the tessel ASCII
// material file the database was built from.
#pragma once

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// The index file's name in the database directory.
inline constexpr char kMdIndexFile[] = "mtip.rax";
// The header lines of an index file.
inline constexpr int kMdIndexHeaderLines = 9;

// Writes the header (version line, field count, seven field lines) to the
// index stream: true when every line was written.
bool md_write_index_header(std::FILE* index);

// Reads the ASCII material file at path and appends one index line per
// grade to the index stream. Every grade needs a "Supplier" line before its
// "Grade" line, and "Manufacturer" and "Trade_Name" lines; "Material_Family",
// "Fillers" and "Melt_Flow_Rate" are optional. With messages, every problem
// and every index line written is printed. Returns 0 on success, otherwise
// the negative number of the first problem: -1 the file cannot be opened,
// -2 not closed, -3 a read error or a grade without its required fields,
// -5 to -8 a manufacturer, filler list, trade name or melt flow rate too
// long, -9 a grade without its supplier line, -10 a family too long.
// When indexed is given, the supplier and grade of every line written are
// added to it as the line holds them.
using MdIndexedGrades = std::vector<std::pair<std::string, std::string>>;
int MD4RAX(const char* path, std::FILE* index, bool messages, MdIndexedGrades* indexed = nullptr);
