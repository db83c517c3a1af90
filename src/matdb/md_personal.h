// Building (or extending) the Local personal database of the working
// directory from a tessel ASCII material file, with its index file.
#pragma once

#include "matdb/md_ascii.h"

// Reads an ASCII material file into the open writable database; its result
// says whether the file could be read and which grades it stored.
using MdAsciiFileReader = MdAsciiResult (*)(const char* path);

// The personal database build with the given ASCII reading step: status
// stays 1 when the database and the index were built and becomes 0
// otherwise. The name is the ASCII file's path (length characters of it);
// with messages not 0 the numbered messages are printed, otherwise the
// build prints nothing. The database's changes are saved only when the
// build succeeds, and the index file is written after them; a build that
// fails (or is cut off by a signal) leaves both as they were. A grade the
// reading step stored that gets no index line is named on the error stream,
// whatever the messages setting: it would not be converted.
void md_build_personal_database(const char* name, int length, int messages, int& status,
                                MdAsciiFileReader read_ascii);

// The personal database build as the ASCII-file-to-UDB pipeline calls it:
// the ASCII file's name (length characters of it), the messages flag, and
// the status (1 when the database and the index were built, 0 otherwise),
// with the tessel ASCII reader as its reading step.
void MAKPDB(const char* name, int length, int messages, int* status);
