// Grades written as a tessel ASCII material file that the file reader
// (md_ascii.h) reads back into the same grades: names, description, texts,
// generic link and every numeric item with its form, variables and model,
// each value as a decimal that reads back to the same 32-bit float.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// Something of a grade the file cannot carry so that it reads back as the
// database holds it. Property 0: the grade's names or description.
struct MdAsciiLoss {
    std::string supplier;
    std::string code;
    int property = 0;
    std::string what;
};

// A value as the file writes it. The reader gathers a number's digits in
// single precision before scaling them, so a few values (about one in fifty
// of all bit patterns, none written with seven significant digits or fewer)
// have no decimal it reads back to exactly: then the text is the one that
// reads back nearest (one unit in the last place away) and exact is false.
struct MdAsciiNumber {
    std::string text;
    bool exact = false;
};
// The unit a number is written in: a catalogue unit in a system (SI: the
// value as it is stored).
struct MdUnitChoice {
    int unit = 0;
    int system = -1;
};
// The shortest text found that reads back to the same bits, else the
// nearest; none for NaN and the infinities (and a value the unit cannot
// hold).
std::optional<MdAsciiNumber> md_ascii_number(float value, MdUnitChoice unit = {});

// Appends one grade: SUPPLIER and GRADE lines, HEADER, the generic link,
// then the items in the grade's order. Items that came in through a generic
// link are left out unless resolved asks for them. What cannot be written
// to read back unchanged is written as near as the file allows (or left
// out when the reader would refuse it) and added to losses.
void md_ascii_grade_text(const MdGrade& grade, bool resolved, std::string& text,
                         std::vector<MdAsciiLoss>& losses);

}  // namespace tarnvel::matdb
