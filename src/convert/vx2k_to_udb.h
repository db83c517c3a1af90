// The legacy third-format converter: a UDM property file of the legacy type
// 20000 becomes a packed UDM property file of type 21000 in one step, one
// new property set per legacy set, without the material database.
#pragma once

#include <cstdint>
#include <string_view>

#include "convert/csv_table.h"

struct UdmModel;
struct UdmTset;

namespace tarnvel::convert {

// The text of the codes that a converted set marks as not available.
inline constexpr char kNotAvailableText[] = "Not Available";

class MVx2kToUdb {
  public:
    // Reads the generic class table from the product data directory.
    MVx2kToUdb();
    // Reads the generic class table from the given directory (taken as it
    // is); an empty directory leaves the table empty.
    explicit MVx2kToUdb(std::string_view data_directory);
    MVx2kToUdb(const MVx2kToUdb&) = delete;
    MVx2kToUdb& operator=(const MVx2kToUdb&) = delete;
    virtual ~MVx2kToUdb();

    // Writes the progress line "File %d of %d, Material %d of %d, %s %s\n"
    // on standard output; a null text prints as an empty text.
    virtual void print(int file_number, int file_count, int material_number, int material_count,
                       const char* text1, const char* text2) const;

    // Converts the legacy file at input into a packed property file of type
    // 21000 at output. False when the input cannot be read, is no property
    // file of type 20000, or the output cannot be written; then nothing is
    // left at output (an existing file there stays as it was).
    bool convert(const char* input, const char* output);
    // Converts every set of type 20000 of source into a new set of type
    // 21000 of target (same label where it is free), printing one progress
    // line per converted set. The current model is the same before and
    // after.
    bool convertModel(UdmModel* target, UdmModel* source, int file_number, int file_count);
    // Fills one new set from a legacy set; false only when either is null.
    bool convertSet(UdmTset* target, UdmTset* source);
    // The temperature of a generic class in degrees Celsius, as atof reads
    // the table's text; 0 for a class not in the table.
    double genericValue(std::string_view name) const;

  private:
    // Generic class name to temperature text, from generic_class.csv.
    CsvTable generic_classes_{CsvValueRule::kSecondField};
};

}  // namespace tarnvel::convert
