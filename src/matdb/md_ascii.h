// The tessel ASCII material file reader: suppliers, grades, descriptions
// and property data read with the token reader, each completed grade
// stored with md_store_grade into the first writable database.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// A supplier name or grade code longer than the database keeps, as the file
// writes it (upper-cased) and as it is stored.
struct MdAsciiCut {
    int line = 0;
    bool supplier = false;
    std::string before;
    std::string after;
};

// A grade stored under the names of one stored before in the same read:
// both as the file writes them, with the lines of their GRADE keywords.
struct MdAsciiMerge {
    int line = 0;
    std::string supplier;
    std::string code;
    int earlier_line = 0;
    std::string earlier_supplier;
    std::string earlier_code;
    // The same names given twice, rather than names equal after the cut.
    bool repeated = false;
};

// A grade stored by the read, by its stored names (upper-cased, cut), with
// the line of its GRADE keyword.
struct MdAsciiGrade {
    int line = 0;
    std::string supplier;
    std::string code;
};

struct MdAsciiResult {
    // Grades actually stored.
    int stored = 0;
    // Of them, grades merged into one stored before in the same read (their
    // names equal after the cut to 8 and 6 characters, or given twice).
    int merged = 0;
    // Every cut name and every merge, in file order.
    std::vector<MdAsciiCut> cuts;
    std::vector<MdAsciiMerge> merges;
    // Every grade stored, once each (a merged grade is its first's), in
    // file order.
    std::vector<MdAsciiGrade> grades;
    // The file could be opened.
    bool opened = false;
    // The read ended with an error (the grade in progress was lost).
    bool aborted = false;
};

// Reads the stream from its current position (line numbers from 1). A merge
// within the read is warned about on the error stream unless the caller
// reports the result's merges itself (warn_merges false).
MdAsciiResult md_read_ascii(std::FILE* stream, bool warn_merges = true);
// Opens, reads and closes the file and prints the grade count line.
MdAsciiResult md_read_ascii_file(const char* path, bool warn_merges = true);

// The properties whose items the reader takes as quoted texts.
bool md_ascii_text_property(int property);
