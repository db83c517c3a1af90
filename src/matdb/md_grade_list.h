// The grade list of a whole database: the index file's header and one line
// per grade of a slot, its search fields taken from the grade's own texts
// (Material Family, Manufacturer, Trade Name, Fillers, Melt Flow Rate), so
// that the list names every grade the database holds, however it came in.
#pragma once

#include <string>
#include <vector>

struct MdGradeList {
    // The whole file: header lines, then the grade lines.
    std::string text;
    int grades = 0;
    // Grades whose supplier name is longer than a grade list line holds
    // (8 characters), as "SUPPLIER GRADE": the line cannot name them.
    std::vector<std::string> unlisted;
    // False when a supplier or grade of the slot could not be read.
    bool complete = true;
};

// Builds the grade list of an open slot in walk order.
MdGradeList md_grade_list(int slot);
