// The class temperatures of material families: the product's table that
// maps a family (PP, ABS, ...) to the temperature (°C) its viscosity is
// compared at. The curves of a grade that holds neither viscosity points
// nor melt temperatures are drawn around it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "convert/csv_table.h"

namespace tarnvel::curves {

// Above this a class temperature (°C) is taken for damage.
inline constexpr double kHighestClassTemperature = 1000.0;

class ClassTemperatures {
  public:
    // Reads the table from the product data directory; a directory without
    // the table knows no family.
    explicit ClassTemperatures(const std::string& data_directory);

    // The class temperature of the family: none for a family the table
    // does not hold, and none for a value that is not a positive number up
    // to kHighestClassTemperature (the table's reader gives 0 for an
    // absent one).
    std::optional<double> Of(std::string_view family) const;

  private:
    convert::CsvTable table_;
};

// The product data directory of the running program (empty when the
// product environment names none).
std::string ProductDataDirectory();

}  // namespace tarnvel::curves
