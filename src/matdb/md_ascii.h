// The tessel ASCII material file reader: suppliers, grades, descriptions
// and property data read with the token reader, each completed grade
// stored with md_store_grade into the first writable database.
#pragma once

#include <cstdio>

struct MdAsciiResult {
    // Grades actually stored.
    int stored = 0;
    // Of them, grades merged into one stored before in the same read (their
    // names equal after the cut to 8 and 6 characters, or given twice).
    int merged = 0;
    // The file could be opened.
    bool opened = false;
    // The read ended with an error (the grade in progress was lost).
    bool aborted = false;
};

// Reads the stream from its current position (line numbers from 1).
MdAsciiResult md_read_ascii(std::FILE* stream);
// Opens, reads and closes the file and prints the grade count line.
MdAsciiResult md_read_ascii_file(const char* path);
