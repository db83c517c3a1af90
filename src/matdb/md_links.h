// Resolving the generic links of a grade against the Standard database.
//
// One read of a grade is one resolution: every linked grade is read and
// resolved at most once in it (later links to the same grade reuse that
// result), and a link that leads back to a grade whose links are being
// followed (a cycle) is not followed but reported. So one read costs at most
// one read of each grade of the database, however the links fan out.
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// The state of one resolution.
class LinkResolution {
  public:
    // A grade as stored: its slot and grade record number.
    using Key = std::pair<int, int>;

    // Starts the resolution of the grade at position.
    explicit LinkResolution(const MdPosition& position);

    // The linked grade at position resolved, read once per resolution (and
    // kept while the Standard database stays open when its read had nothing
    // to say). Null when it cannot be read, or leads back to a grade whose
    // links are being followed; both are reported naming the link text.
    const MdGrade* Follow(const std::string& text, int depth);

  private:
    // Grades resolved so far; null where the grade could not be read.
    std::map<Key, std::unique_ptr<MdGrade>> done_;
    // The grades whose links are being followed, from the grade read on.
    std::set<Key> open_;
};

// Follows the grade's generic links that are not yet followed, in item order
// (a link merged sorts the grade, so the later ones go by their text), and
// merges the linked grades' items in marked inherited: the grade's own data
// wins, then the first link. Inherited Shrinkage items are dropped.
void ResolveLinks(MdGrade& grade, LinkResolution& links, int depth);

}  // namespace tarnvel::matdb
