// The units table: for each named unit system, how a quantity given in a
// known unit is shown in that system (display name, factor and offset). It
// is read from the product data file "units97.dat" on first use and kept
// until the process ends. A missing or broken file never stops the tool:
// lookups fail with their codes and callers keep the unconverted value.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

// Result codes of the units operations.
inline constexpr int kUnitsOk = 0;
// The copy of a display name could not be made.
inline constexpr int kUnitsNoCopy = 1;
// The table failed to load, or the system or unit is not in it.
inline constexpr int kUnitsFailed = 4;

// factor * value + offset for a value given in the unit named by unit_key,
// expressed in the display unit of the system; the value unchanged on any
// failure. code (may be null) receives the result code.
double unitsConvert(const char* system_name, const char* unit_key, double value, int* code);
// A copy of the unit's display name in the system (release with sypFree),
// or null. code (may be null) receives the result code.
char* unitsDisplayName(const char* system_name, const char* unit_key, int* code);
// Loads the table if it is not loaded yet: kUnitsOk or kUnitsFailed.
int unitsLoad();

namespace tarnvel::services {

// The longest token of a units file, in characters; longer tokens are cut.
inline constexpr std::size_t kUnitsMaxToken = 127;

// How a quantity given in one unit is shown in a system.
struct UnitsEntry {
    // The name of the system's unit for the quantity.
    std::string display_name;
    // The unit the quantity is given in (compared without regard to case).
    std::string key;
    double factor = 1.0;
    double offset = 0.0;
};

// The outcome of reading a units file.
enum class UnitsReadStatus {
    kOk,
    // The stream reported a read error.
    kReadError,
    // "USYS" or "UNIT" was not followed by "{".
    kMissingBrace,
    // A system, a unit or an index node could not be allocated.
    kNoMemory,
};

// Unit systems ordered by name, each with its units ordered by key; names
// and keys are ordered by their ASCII lower-case bytes as unsigned values.
class UnitsTable {
  public:
    UnitsTable();
    ~UnitsTable();
    UnitsTable(const UnitsTable&) = delete;
    UnitsTable& operator=(const UnitsTable&) = delete;

    // The unit of a key in a system, or null.
    const UnitsEntry* find(std::string_view system_name, std::string_view unit_key) const;
    // Whether a system of that name (in any case) exists.
    bool hasSystem(std::string_view system_name) const;
    // The number of systems.
    std::size_t systemCount() const;

    // Creates an empty system. *created is false when a system of that name
    // exists already (the table is then unchanged).
    UnitsReadStatus addSystem(std::string_view system_name, bool* created);
    // Adds a unit to the most recently created system unless its key is
    // there already.
    UnitsReadStatus addUnit(UnitsEntry entry);

  private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Reads the tokens of a units file from an open stream into the table. On
// failure the table may hold what was read before the fault, and fault
// (when given) receives a description of it, with its line where it has one.
UnitsReadStatus unitsReadFile(std::FILE* file, UnitsTable& table, std::string* fault = nullptr);

// For tests only: forgets the loaded table, so that the next lookup loads
// the units file again from the current data directory.
void UnitsResetForTesting();

}  // namespace tarnvel::services
