// Fixed-length, blank-padded text fields and the internal formatting of
// numbers into them ("E12.6", "I8" and list-directed output).
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarnvel::recfile {

// Assigns the text to the field: cut to its length or padded with blanks.
void rfAssign(std::span<char> field, std::string_view text);
// The field up to its last character above the blank (a NUL ends it).
std::string_view rfUsed(std::string_view field);
// The used part: from the first non-blank to the last character above the
// blank (a NUL ends the field).
std::string_view rfUsedPart(std::string_view field);
// The 1-based position of the first occurrence of the part, 0 when absent
// (an empty part is found at position 1).
int rfIndex(std::string_view text, std::string_view part);
// The nearest whole number, halves rounded away from zero (saturating).
int rfNearest(double value);

// A value in the Ew.d form: "0.123456E+03", "-.123456E+03"; an exponent of
// three digits drops the "E" ("0.123456+100"). A value that does not fit
// fills the field with "*".
std::string rfFormatE(double value, int width = 12, int digits = 6);
// An integer right-justified in the field, "*" when it does not fit.
std::string rfFormatI(long long value, int width = 8);
// The list-directed form of a real: the shortest text that reads back as
// the same single-precision value, in fixed or exponent notation.
std::string rfFormatList(float value);
// A list-directed record of reals: each value after one blank.
std::string rfListRecord(std::span<const float> values);

// Reads a real from a text field (blanks ignored, "D" taken as "E").
// Returns 0 and the value, or a positive status for text that is not a
// decimal number (hexadecimal, INF, NAN and trailing junk among them).
int rfReadReal(std::string_view field, double* value);
// Reads an integer from a field; 0 or a positive status.
int rfReadInt(std::string_view field, long long* value);

}  // namespace tarnvel::recfile
