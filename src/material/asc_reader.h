// The reader of material keyword files: one grade per file, one keyword per
// line, read into a MaterialRecord.
#pragma once

#include <memory>
#include <string_view>

#include "material/material_record.h"

namespace tarnvel::material {

// The suffix of the keyword log beside a keyword file: lines that hold no
// known keyword are appended to "<keyword file>_log".
inline constexpr char kKeywordLogSuffix[] = "_log";

class MAscReader {
  public:
    MAscReader() = default;
    MAscReader(const MAscReader&) = default;
    MAscReader& operator=(const MAscReader&) = default;
    virtual ~MAscReader();

    // Reads the keyword file at path into a new record owned by the caller.
    // A file that cannot be opened, or holds nothing usable, gives the
    // initial record (after the final rules); any content gives a record.
    // Returns null only when path is null.
    std::unique_ptr<MaterialRecord> Read(const char* path) const;
    // Reads keyword file text already in memory, as Read reads the file
    // that holds it; unrecognised lines go to the log at log_path.
    std::unique_ptr<MaterialRecord> ReadText(std::string_view text, const char* log_path) const;
};

}  // namespace tarnvel::material
