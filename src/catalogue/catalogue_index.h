// The index page of a catalogue: every grade with its supplier, code,
// description and family, filtered by a supplier and a family selector and
// by the words typed into a text box, as one types (an inline script; the
// whole list shows without it).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnvel::catalogue {

struct IndexRow {
    std::string supplier;
    std::string code;
    std::string description;
    // Empty when the grade has none.
    std::string family;
    // The grade's page relative to the site's folder.
    std::string page;
};

struct IndexHeading {
    // The database as the user named it.
    std::string database;
    std::optional<std::string> version;
    // Grades that could not be read, and so are not listed.
    int unreadable = 0;
};

std::string IndexHtml(const std::vector<IndexRow>& rows, const IndexHeading& heading);

}  // namespace tarnvel::catalogue
