// Small file and text helpers of the material database modules: opening a
// file with a message, the record files' data directory, word comparison
// and bounded line reading with the shared line counter.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

// Opens the file (a mode beginning with "i" has that letter dropped). On
// failure "Could not open PATH for reading|writing: REASON" goes to the
// console output's line printer and the result is null.
std::FILE* vtOpenFile(const char* path, const char* mode);

// The record files' product data directory, ending in "/": VTPATH when set
// (at most 255 characters), else the product data directory. The length is
// the position of the last character above the blank. A buffer too small
// for the directory gets an empty text and length 0.
void vtDataPath(std::span<char> buffer, int* length);

// A copy without leading blanks, at most max_length characters, upper-cased,
// trailing white space removed.
std::string vtTrimUpperCopy(std::string_view text, std::size_t max_length);
// Equality, and whether the first is a prefix of the second, of the trimmed
// upper-cased texts. The callers' texts are left alone.
bool vtSameWord(std::string_view first, std::string_view second);
bool vtWordPrefix(std::string_view prefix, std::string_view text);

// Reads a line into the buffer (its line feed replaced by a NUL; a longer
// line is cut to the buffer and its rest skipped) and counts it. 1, or 0 at
// end of input.
int vtReadLine(std::FILE* stream, std::span<char> buffer);
// Reads up to a line feed, at most max characters (the buffer holds max + 1
// bytes). 1 for a line (counted), 2 when the maximum was reached first (the
// rest of the line stays in the stream), 0 at end of input.
int vtReadLineBounded(std::FILE* stream, std::span<char> buffer, int max);

// The line counter shared by the line readers and the token reader.
int vtLineNumber();
void vtSetLineNumber(int line);
void vtCountLine();
