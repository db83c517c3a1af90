// Searching a material database: the grades that meet every condition of a
// query (supplier, family, a word in their texts, properties they have,
// comparisons of property values in the units they are stored and shown in).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MdGrade;

namespace tarnvel::matdb {

enum class MdCompare { kLess, kLessEqual, kEqual, kGreaterEqual, kGreater, kNotEqual };

// PROPERTY OP VALUE: the value compared as the 32-bit float it reads as, so
// that a number copied from matdb show matches the stored value exactly.
struct MdCondition {
    int property = 0;
    MdCompare compare = MdCompare::kEqual;
    float value = 0.0f;
};

struct MdQuery {
    // Empty: any. Supplier and family are compared whole, words are looked
    // for inside texts; all three ignore case.
    std::string supplier;
    std::string family;
    std::vector<std::string> words;
    // Property numbers the grade must have an item of.
    std::vector<int> has;
    std::vector<MdCondition> where;
};

// A property by its number (1 to 109) or its catalogue name, in any case,
// with blanks or underscores between the words ("melt density",
// "MELT_DENSITY", "Melt  Temperature Minimum"); 0 when there is none.
int md_property_by_name(std::string_view text);

// Parses "PROPERTY OP VALUE" (OP one of < <= = >= > !=); on failure gives
// nothing and sets why (naming the part that is wrong).
std::optional<MdCondition> md_parse_condition(std::string_view text, std::string* why);

// True when the grade meets every condition. A condition on values holds
// when any of the property's values with a unit meets it: the value of a
// single point, or the property column of any row of standard points;
// unset values never do, coefficient lists and texts are not compared.
bool md_grade_matches(const MdGrade& grade, const MdQuery& query);

struct MdFound {
    std::string supplier;
    std::string code;
    std::string description;
};

struct MdFindResult {
    std::vector<MdFound> grades;
    // False when a supplier or grade of the slot could not be read.
    bool complete = true;
};

// The grades of an open slot that match, in walk order (generic links
// resolved as md_read_grade resolves them).
MdFindResult md_find_grades(int slot, const MdQuery& query);

}  // namespace tarnvel::matdb
