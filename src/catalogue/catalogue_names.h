// The file names of the catalogue's pages. Supplier names and grade codes
// may hold any bytes, so a name is spelt with upper-case letters, digits and
// '-' only, every other byte as "_" and two hexadecimal digits: no name can
// climb out of its folder ("..", "/"), two different names never give the
// same file name (not even on a file system that ignores case), and the
// name needs no escaping inside a link.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnvel::catalogue {

// The file-name form of a name (see above); "_" for an empty name, and a
// name that is a device name on some systems (CON, NUL, COM1 ...) has its
// first letter escaped.
std::string SafeFileStem(std::string_view name);

// Gives each grade of a site its page, relative to the site's folder:
// "grades/SUPPLIER/GRADE.html". A supplier and grade held twice in one
// database get "GRADE.2.html", "GRADE.3.html" ... ('.' never appears in a
// stem, so these cannot clash with another grade's page).
class PageNames {
  public:
    std::string Assign(std::string_view supplier, std::string_view code);
    // The page of the first grade of that supplier and code, or empty.
    std::string Find(std::string_view supplier, std::string_view code) const;
    // The folder of a supplier's pages: "grades/SUPPLIER".
    static std::string SupplierFolder(std::string_view supplier);

  private:
    std::unordered_map<std::string, int> seen_;
};

}  // namespace tarnvel::catalogue
