// The product's generic material knowledge: five CSV link tables and two UDB
// files of generic and filler property sets, loaded once from the product
// data directory, and the lookups that fill gaps in a grade's own data.
//
// A missing data directory, table or data file only makes the lookups find
// nothing; nothing is reported.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "convert/csv_table.h"

struct UdmModel;

namespace tarnvel::convert {

// The capacity of a caller's generic value buffer. A generic code with more
// values is cut to this many, with a condition report.
inline constexpr std::size_t kGenericValueCapacity = 256;

// The type of the property sets that the converter writes, and the legacy
// type; generic data sets carry either.
inline constexpr std::int32_t kPropertySetType = 21000;
inline constexpr std::int32_t kLegacySetType = 20000;
// The type of the filler property sets.
inline constexpr std::int32_t kFillerSetType = 21200;

// The file names in the data directory.
inline constexpr char kFamilyNameFile[] = "family_name.csv";
inline constexpr char kLinkFile[] = "link.csv";
inline constexpr char kPvtMechanicalLinkFile[] = "pvt_and_mechanical_link.csv";
inline constexpr char kClassMechanicalFile[] = "genericclass2mechanical.csv";
inline constexpr char kGenericClassFile[] = "generic_class.csv";
inline constexpr char kGenericDataFile[] = "generic_data.udb";
inline constexpr char kFillerDataFile[] = "filler.udb";

// Turns every "\" into "/" and collapses every run of "/" into one, so that
// "C:/prog//data" and "C:\prog\\data" both become "C:/prog/data".
std::string NormaliseDataPath(std::string_view path);

// The directory, "/" and the file name; empty when the directory is empty.
std::string DataFilePath(std::string_view directory, std::string_view file);

class MUdbConverter {
  public:
    // Loads the tables and data files from DefaultDataPath().
    MUdbConverter();
    // Loads the tables and data files from the given directory (taken as it
    // is, without normalisation); an empty directory loads nothing.
    explicit MUdbConverter(std::string_view data_directory);
    MUdbConverter(const MUdbConverter&) = delete;
    MUdbConverter& operator=(const MUdbConverter&) = delete;
    // Frees both data models, then the tables.
    virtual ~MUdbConverter();

    // The product variable "PRODUCT_DAT", normalised by NormaliseDataPath;
    // empty when the variable has no value. Computed afresh on every call.
    static std::string DefaultDataPath();

    // The display name of a material family; empty when absent.
    std::string_view FamilyDisplayName(std::string_view family) const;
    // The generic set id of a generic link (as atoi reads it; 0 when absent).
    int LinkSetId(std::string_view generic_link) const;
    // The generic PVT and mechanical set id of a generic link (0 when absent).
    int PvtMechanicalSetId(std::string_view generic_link) const;
    // The generic mechanical set id of a family; when that is 0, the one of
    // "MISC-CRYSTALLINE" (crystalline set) or "MISC" (clear).
    int ClassMechanicalSetId(std::string_view family, bool crystalline) const;
    // The temperature in degrees Celsius at which the viscosity index of a
    // family is evaluated (as atof reads it; 0 when absent).
    double ClassTemperature(std::string_view family) const;

    // Finds a code in the generic property sets (types 21000 and 20000) that
    // match the set id: by the set's label, or by its code 1991 when that
    // holds exactly one value. A matching set without the code does not end
    // the search. On success `count` receives the number of values copied
    // into `values` (at most kGenericValueCapacity). Set id 0 finds nothing.
    // The caller's current UDM model is the same before and after.
    bool GenericValues(std::int32_t code, int set_id, int& count,
                       std::span<double, kGenericValueCapacity> values) const;

    // Builds the filler composition of a filler list ("name(share)" entries
    // joined by ","; a name part may join several names with "&", which
    // share the percentage). For every filler name, in ascending name order,
    // that finds a filler set (equal name, else a name containing it, else
    // "Miscellaneous", all without regard to case): `names` gets the set's
    // name (or the filler's own name for the "Miscellaneous" fallback), the
    // entries joined by "|", and `values` gets the name's total percentage
    // followed by the set's codes 3002, 3102, 3202, 3602, 3702, 3802, 3912
    // (a missing code occupies its default number of zeros). True when at
    // least one name found a set. An empty filler list fails and leaves both
    // outputs alone; otherwise `values` is cleared, and `names` is cleared
    // when the list names at least one filler.
    bool FillerComposition(std::string_view fillers, std::string& names,
                           std::vector<double>& values) const;

    // The generic data and filler models (null only when allocation failed).
    UdmModel* GenericDataModel() const { return generic_data_; }
    UdmModel* FillerDataModel() const { return filler_data_; }

  private:
    void Load(std::string_view data_directory);

    CsvTable family_names_;
    CsvTable links_;
    CsvTable pvt_mechanical_links_;
    CsvTable class_mechanical_;
    CsvTable class_temperatures_;
    UdmModel* generic_data_ = nullptr;
    UdmModel* filler_data_ = nullptr;
};

}  // namespace tarnvel::convert
