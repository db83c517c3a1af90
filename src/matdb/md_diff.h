// Comparing two material databases: each read whole into memory once (a
// database at a time, so that two databases of the same kind can be
// compared), then matched supplier by supplier and grade by grade by name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// A database as read: its version (the "$" supplier's name, if any) and its
// grades in walk order.
struct MdSnapshot {
    std::optional<std::string> version;
    // Supplier names in walk order (a supplier without grades included).
    std::vector<std::string> suppliers;
    std::vector<MdGrade> grades;
    // False when a supplier or grade could not be read.
    bool complete = true;
};

// Reads every supplier and grade of an open slot. Without resolve each
// grade is read as stored (a generic link stays a link item, property 17);
// with resolve its links are followed against the Standard database.
MdSnapshot md_read_snapshot(int slot, bool resolve);

enum class MdChange { kAdded, kRemoved, kChanged };

// What a difference is about.
enum class MdDiffSubject {
    kVersion,
    kSupplier,
    kGrade,
    kDescription,
    kLink,
    kProperty,
    kFormat,
    kModel,
    kVariables,
    kText,
    kValue,
};

// One side of a change: absent, a number or a text.
struct MdDiffSide {
    std::optional<std::string> text;
    std::optional<double> number;
};

struct MdDifference {
    MdChange change = MdChange::kChanged;
    MdDiffSubject subject = MdDiffSubject::kGrade;
    std::string supplier;
    std::string grade;
    // Property number (subjects property to value), else 0.
    int property = 0;
    // Value index (subject value), else -1.
    int index = -1;
    MdDiffSide before;
    MdDiffSide after;
};

// The differences from old to new: suppliers and grades added and removed,
// and for grades in both the description, the links and the property items
// (added, removed, and changed in format, model, variables, text or values,
// value by value). Suppliers and grades are matched by name; a name held
// twice in one database is matched occurrence by occurrence. The version is
// compared when both databases carry one.
std::vector<MdDifference> md_diff(const MdSnapshot& before, const MdSnapshot& after);

// One line of text for a difference, e.g.
// "changed ACME PP100 property 3 Melt Density [0]: 752.308 -> 760".
std::string md_difference_text(const MdDifference& difference);
// The words of a change and a subject as the text and JSON forms use them.
const char* md_change_word(MdChange change);
const char* md_subject_word(MdDiffSubject subject);

}  // namespace tarnvel::matdb
