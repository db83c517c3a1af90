// The material database calls of the pipelines as the tool is built.
#include <cstdio>
#include <optional>
#include <string>

#include "driver/rax_pipeline.h"
#include "matdb/matdb.h"
#include "matdb/md_export.h"
#include "matdb/md_personal.h"

namespace tarnvel::driver {

std::optional<std::string> DatabaseVersion(int slot) {
    if (md_open(slot, MD_READ) == MD_OPEN_FAILED) return std::nullopt;
    std::optional<std::string> name = md_slot_version(slot);
    md_close(slot);
    if (!name || name->empty() || name->front() != '$') return std::nullopt;
    return name->substr(1);
}

namespace {

// The export's status as the pipeline's result code.
int ExportResult(matdb::MdExportStatus status) {
    switch (status) {
        case matdb::MdExportStatus::kWritten:
            return kExportWritten;
        case matdb::MdExportStatus::kNotFound:
            return kExportNotFound;
        default:
            return kExportFailed;
    }
}

// The database's warnings that must be seen (a generic link whose grade
// cannot be read) go to the standard error stream: the export runs with the
// database messages discarded.
void PrintNotices() {
    for (const std::string& notice : md_take_notices()) std::fputs(notice.c_str(), stderr);
}

int ExportGrade(int argc, char** argv) {
    matdb::MdExportStatus status = matdb::MdExportStatus::kNotWritten;
    matdb::md_export_entry(argc, argv, &status);
    PrintNotices();
    return ExportResult(status);
}

std::optional<std::string> ExportText(int argc, char** argv, int* result) {
    matdb::MdExportStatus status = matdb::MdExportStatus::kNotWritten;
    std::optional<std::string> text = matdb::md_export_entry_text(argc, argv, &status);
    PrintNotices();
    *result = ExportResult(status);
    return text;
}

void BuildPersonalDatabase(const char* name, int length, int messages, int& status) {
    MAKPDB(name, length, messages, &status);
}

}  // namespace

// The grade export entry, the version lookup, the personal database build
// over the tessel ASCII reader, and the closing of the databases.
MaterialDatabase BuiltInMaterialDatabase() {
    MaterialDatabase database;
    database.export_grade = ExportGrade;
    database.export_text = ExportText;
    database.slot_version = DatabaseVersion;
    database.build_personal_database = BuildPersonalDatabase;
    database.close_all = md_close_all;
    return database;
}

}  // namespace tarnvel::driver
