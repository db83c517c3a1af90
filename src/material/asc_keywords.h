// The keywords of the material keyword file: which record field each one
// fills and the form in which its value stands in the file.
#pragma once

#include <span>
#include <string_view>
#include <variant>

#include "material/material_record.h"

namespace tarnvel::material {

// Separators of a keyword line's parts (as in "KEYWORD: value").
inline constexpr std::string_view kKeySeparators = ":\t\n\r\\";
// Separators of the values of a list; the key separators and the blank.
inline constexpr std::string_view kListSeparators = ":\t\n\r\\ ";

// Where and how a keyword's value is written.
enum class ValueForm {
    // The second part of the keyword line, as text.
    kSameLineText,
    // The second part of the keyword line, as a real.
    kSameLineReal,
    // The second part of the keyword line, as an integer.
    kSameLineInt,
    // The first part of the following line, as text.
    kNextLineText,
    // The whole following line, as text.
    kNextLineLine,
    // The first part of the following line: "YES" somewhere in it sets the flag.
    kNextLineYesNo,
    // Reals on the following lines (and after the keyword's colon).
    kRealList,
    // Integers on the following lines (and after the keyword's colon).
    kIntList,
    // "name(share)" entries on the following lines (and after the colon).
    kFillerList,
    // The second word of the keyword line's second part.
    kLink,
};

// The record field a keyword fills; its type matches the keyword's form.
using FieldRef = std::variant<RecordText MaterialRecord::*, double MaterialRecord::*,
                              std::int32_t MaterialRecord::*, bool MaterialRecord::*,
                              RealArray MaterialRecord::*, IntArray MaterialRecord::*>;

struct KeywordEntry {
    // The keyword in upper case.
    std::string_view keyword;
    ValueForm form;
    FieldRef field;
};

// All keywords in matching order: a line belongs to the first keyword of the
// table that occurs in it.
std::span<const KeywordEntry> KeywordTable();

// A keyword found in a line.
struct KeywordMatch {
    // The table entry; null when the line holds no keyword.
    const KeywordEntry* entry = nullptr;
    // Where the keyword starts in the line.
    std::size_t position = 0;
};

// The first keyword of the table that occurs anywhere in the line, compared
// without regard to case.
KeywordMatch ClassifyLine(std::string_view line);

}  // namespace tarnvel::material
