// The product data files a converter loads (link tables, generic data) and
// the one warning line that names those it could not load: a conversion
// without them still runs, but with values taken from defaults, so the user
// is told which directory and which files were missing.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::convert {

class DataFileReport {
  public:
    explicit DataFileReport(std::string_view directory) : directory_(directory) {}
    DataFileReport(const DataFileReport&) = delete;
    DataFileReport& operator=(const DataFileReport&) = delete;
    // Prints the warning (when any file was missed) as it goes.
    ~DataFileReport();

    // Notes whether the file was loaded.
    void Note(std::string_view file, bool loaded);

  private:
    std::string directory_;
    std::vector<std::string> missed_;
};

}  // namespace tarnvel::convert
