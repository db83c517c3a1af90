// The process-wide units table: found along the data-file templates, loaded
// on the first lookup (and again at each later lookup while loading fails),
// and released by an exit cleanup.
#include "services/uniconv.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "services/libvxenv.h"
#include "services/syperror.h"
#include "services/sypfind.h"
#include "services/sypmem.h"

namespace {

using tarnvel::services::UnitsEntry;
using tarnvel::services::UnitsReadStatus;
using tarnvel::services::UnitsTable;

// Where the units file lies below the product directory, and its name.
constexpr char kUnitsSubdirectory[] = "data/dat";
constexpr char kUnitsBaseName[] = "units97";
constexpr char kUnitsExtension[] = ".dat";

constexpr char kLoadFailedText[] =
    "ERROR: Loading units table failed.  Check and see if the\n"
    "       correct units data file is used, or something else\n"
    "       is wrong.\n";

// The loaded table, or null. The holder itself is never destroyed, so the
// exit cleanup that releases the table cannot meet a destroyed holder
// whatever the order of exit-time work.
std::unique_ptr<UnitsTable>& Table() {
    static auto* holder = new std::unique_ptr<UnitsTable>;
    return *holder;
}
bool g_cleanup_registered = false;

void ReleaseTable() {
    Table().reset();
}

// The lookup name of a product variable for messages; the generic name
// when the product defines none.
const char* LookupName(const char* generic_name) {
    const char* name = envGetVariableName(generic_name);
    return name != nullptr ? name : generic_name;
}

// Tells that the units file was not found and which variables to check.
void ReportMissingFile() {
    const char* home = LookupName("PRODUCT_HOME");
    const char* dat = LookupName("PRODUCT_DAT");
    const bool misdirected =
        envGetValue("PRODUCT_HOME") != nullptr && envGetValue("PRODUCT_DAT") == nullptr;
    if (misdirected) {
        std::printf("Cannot find units data file: environment variable \"%s\" incorrectly set\n",
                    home);
        SYP_REPORT(
            "Cannot find units data file: environment variables \"%s\" and \"%s\" incorrectly "
            "set\n",
            home, dat);
    } else {
        std::printf("Cannot find units data file: environment variable \"%s\" unset\n", home);
        SYP_REPORT("Cannot find units data file: environment variables \"%s\" or \"%s\" unset\n",
                   home, dat);
    }
    std::fflush(stdout);
}

// Reads the table from the found file; null when it cannot be opened or
// read, after a report that names the file and the fault.
std::unique_ptr<UnitsTable> ReadTable(const char* path) {
    std::FILE* file = std::fopen(path, "r");
    if (file == nullptr) {
        SYP_REPORT("Cannot open units data file \"%s\": %s", path, std::strerror(errno));
        return nullptr;
    }
    std::unique_ptr<UnitsTable> table;
    std::string fault = "out of memory";
    UnitsReadStatus status = UnitsReadStatus::kNoMemory;
    try {
        table = std::make_unique<UnitsTable>();
        status = tarnvel::services::unitsReadFile(file, *table, &fault);
    } catch (const std::bad_alloc&) {
        table.reset();
    }
    std::fclose(file);
    if (status == UnitsReadStatus::kOk) return table;
    SYP_REPORT("Cannot read units data file \"%s\": %s", path, fault.c_str());
    return nullptr;
}

// The unit of a key in a system, loading the table first; null when the
// table cannot be loaded or holds no such unit.
const UnitsEntry* FindUnit(const char* system_name, const char* unit_key) {
    if (unitsLoad() != kUnitsOk) return nullptr;
    if (system_name == nullptr || unit_key == nullptr) return nullptr;
    return Table()->find(system_name, unit_key);
}

void SetCode(int* code, int value) {
    if (code != nullptr) *code = value;
}

}  // namespace

int unitsLoad() {
    if (Table() != nullptr) return kUnitsOk;
    char* path = sypFindDataFile(kUnitsSubdirectory, kUnitsBaseName, kUnitsExtension,
                                 kSypStandardDataTemplates);
    if (path == nullptr) {
        ReportMissingFile();
        return kUnitsFailed;
    }
    std::unique_ptr<UnitsTable> table = ReadTable(path);
    sypFree(path);
    if (table == nullptr) {
        std::fputs(kLoadFailedText, stdout);
        std::fflush(stdout);
        return kUnitsFailed;
    }
    if (!g_cleanup_registered) g_cleanup_registered = sypRegisterExitCleanup(ReleaseTable) == 0;
    Table() = std::move(table);
    return kUnitsOk;
}

double unitsConvert(const char* system_name, const char* unit_key, double value, int* code) {
    const UnitsEntry* unit = FindUnit(system_name, unit_key);
    SetCode(code, unit != nullptr ? kUnitsOk : kUnitsFailed);
    return unit != nullptr ? unit->factor * value + unit->offset : value;
}

char* unitsDisplayName(const char* system_name, const char* unit_key, int* code) {
    const UnitsEntry* unit = FindUnit(system_name, unit_key);
    if (unit == nullptr) {
        SetCode(code, kUnitsFailed);
        return nullptr;
    }
    char* copy = sypStrdup(unit->display_name.c_str());
    SetCode(code, copy != nullptr ? kUnitsOk : kUnitsNoCopy);
    return copy;
}

namespace tarnvel::services {

void UnitsResetForTesting() {
    Table().reset();
}

}  // namespace tarnvel::services
