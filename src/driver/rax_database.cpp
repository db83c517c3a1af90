// The material database calls of the pipelines as the tool is built.
#include <optional>
#include <string>

#include "driver/rax_pipeline.h"
#include "matdb/matdb.h"

namespace tarnvel::driver {

std::optional<std::string> DatabaseVersion(int slot) {
    if (md_open(slot, MD_READ) == MD_OPEN_FAILED) return std::nullopt;
    std::optional<std::string> name = md_slot_version(slot);
    md_close(slot);
    if (!name || name->empty() || name->front() != '$') return std::nullopt;
    return name->substr(1);
}

// The version lookup and the closing of the databases come from the access
// layer. The grade export entry and the personal database build are not
// part of the build yet: the database stays incomplete, and the tool
// reports the -rax and -asc conversions as unavailable instead of running
// them over nothing.
MaterialDatabase BuiltInMaterialDatabase() {
    MaterialDatabase database;
    database.slot_version = DatabaseVersion;
    database.close_all = md_close_all;
    return database;
}

}  // namespace tarnvel::driver
