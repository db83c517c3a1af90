// The database-to-UDB pipeline: every grade named in a grade list file is
// exported from the material database into a temporary keyword file, read
// back into a material record, built into one property set and merged into
// a single output model, which is written packed at the end.
//
// The two calls into the material database (the grade export entry and the
// version lookup) go through MaterialDatabase, so that the pipeline runs
// over any database that offers them.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "convert/udb_converter.h"
#include "material/asc_reader.h"

namespace tarnvel::driver {

// The database slot of the Local database in the working directory.
inline constexpr int kLocalSlot = 3;
// The header lines of a grade list file, skipped whatever they hold.
inline constexpr int kGradeListHeaderLines = 9;
// The longest grade list line read; a longer line ends the list.
inline constexpr std::size_t kGradeLineLimit = 1023;
// The environment variable that names the Standard database directory.
inline constexpr char kVtPathVariable[] = "VTPATH";

// The results of the grade export as the pipeline tells them apart; any
// other value than the first two counts as kExportFailed.
inline constexpr int kExportWritten = 0;
inline constexpr int kExportFailed = 1;
inline constexpr int kExportNotFound = 2;

// The material database as the pipeline uses it.
struct MaterialDatabase {
    // The grade export entry: argument count and vector as a program gets
    // them; kExportWritten when the keyword file was written,
    // kExportNotFound when no open database holds the grade.
    std::function<int(int argc, char** argv)> export_grade;
    // The same entry without its file, when the database offers it: the
    // keyword file text that export_grade would write for the argument
    // vector, or nothing where it would write none, with the result that
    // export_grade would give. The pipeline then hands the text to the
    // keyword file reader in memory, which spares every grade a write and a
    // read of the temporary keyword file.
    std::function<std::optional<std::string>(int argc, char** argv, int* result)> export_text;
    // The version of the database in a slot (0 to 3): the name, without its
    // "$", of the first supplier whose name begins with "$". The slot is
    // opened for reading and closed again; nothing when it does not open or
    // holds no such supplier.
    std::function<std::optional<std::string>(int slot)> slot_version;
    // The personal database build: reads the ASCII material file (name and
    // its length) into the Local database of the working directory and
    // writes its index file there; status stays 1 on success and becomes 0
    // on failure. Messages are printed when messages is not 0.
    std::function<void(const char* name, int length, int messages, int& status)>
        build_personal_database;
    // Closes every open database.
    std::function<void()> close_all;

    // True when the -rax road can run.
    bool Complete() const { return export_grade && slot_version; }
    // True when the -asc road can run too.
    bool CompleteForAscii() const { return Complete() && build_personal_database && close_all; }
};

// The argument vector that the pipeline hands to the grade export entry:
// entry 0, the program name, absent, then "-supplier", "-grade" and
// "-output" with their values.
class ExportArguments {
  public:
    static constexpr int kCount = 7;

    ExportArguments(const char* supplier, const char* grade, const char* keyword_path);
    ExportArguments(const ExportArguments&) = delete;
    ExportArguments& operator=(const ExportArguments&) = delete;

    char** argv() { return argv_.data(); }

  private:
    std::array<std::string, kCount - 1> words_;
    // Null-terminated, as a program's vector is.
    std::array<char*, kCount + 1> argv_{};
};

// The line appended to every exported keyword file: "MATERIAL_VERSION:" and
// the database version.
std::string VersionLine(const std::string& version);

// The database side: saved run state, the grade list and the version.
class MRaxToAsc {
  public:
    MRaxToAsc(const MRaxToAsc&) = delete;
    MRaxToAsc& operator=(const MRaxToAsc&) = delete;

    // Prints "%d of %d, %s %s\n" when supplier and grade are both present.
    virtual void PrintProgress(int index, int total, const char* supplier, const char* grade);

  protected:
    MRaxToAsc() = default;
    // Not virtual: the object is never deleted through this base.
    ~MRaxToAsc() = default;

    // The working directory saved by EnterDirectory.
    std::string saved_directory_;
    // The VTPATH value saved by SetVtPath; nothing when it was unset.
    std::optional<std::string> saved_vtpath_;
    // The grade list, open from the first ReadGradeLine to the loop's end.
    std::ifstream list_;
    // Non-empty lines after the header, counted when the list is opened.
    std::int32_t grade_count_ = 0;
    // The database version appended to every keyword file.
    std::string version_;
};

// The conversion side: the keyword file reader and the property set builder.
class MAscToUdb {
  public:
    MAscToUdb();
    // Loads the builder's generic data from the given data directory.
    explicit MAscToUdb(std::string_view data_directory);
    MAscToUdb(const MAscToUdb&) = delete;
    MAscToUdb& operator=(const MAscToUdb&) = delete;
    virtual ~MAscToUdb();

    virtual void PrintProgress(int index, int total, const char* supplier, const char* grade);

  protected:
    std::unique_ptr<material::MAscReader> reader_;
    std::unique_ptr<convert::MUdbConverter> converter_;
};

class MRaxToUdb : public MRaxToAsc, public MAscToUdb {
  public:
    explicit MRaxToUdb(MaterialDatabase database);
    MRaxToUdb(MaterialDatabase database, std::string_view data_directory);

    void PrintProgress(int index, int total, const char* supplier, const char* grade) override;

    // Converts every grade of the grade list into one property set of the
    // packed output. False, with a message naming the file, when a path is
    // absent, the list cannot be read, no temporary keyword file or output
    // model can be made, the output cannot be written, or the working
    // directory cannot be restored. An existing output is only replaced by
    // a complete new file.
    bool Convert(const char* list_path, const char* output_path, const char* vtpath);

    // Saves VTPATH, then sets it to text or removes it for null.
    void SetVtPath(const char* text);
    // Puts VTPATH back exactly as SetVtPath found it (unset stays unset).
    void RestoreVtPath();
    // Saves the working directory, creates the directory when missing and
    // makes it the working directory.
    bool EnterDirectory(const char* directory);
    // Makes the saved directory the working directory again.
    bool LeaveDirectory();
    // The next grade of the list; false at its end (both outputs empty).
    bool ReadGradeLine(const char* list_path, std::string& supplier, std::string& grade);
    // Exports one grade into the keyword file and appends the version line;
    // false when the export failed or the file cannot be appended to.
    bool ExportGrade(const char* supplier, const char* grade, const char* keyword_path);
    // Looks for the version in the slot (outside 0 to 3: in every slot).
    bool DetectDatabaseVersion(int slot);
    // Removes every "*.asc_log" file of the working directory.
    void RemoveKeywordLogs();

    // A relative path made absolute against the working directory.
    static std::string AbsolutePath(const char* path);

    std::int32_t GradeCount() const { return grade_count_; }
    const std::string& Version() const { return version_; }

  protected:
    MaterialDatabase database_;

  private:
    // How reading the grade list ended: at its end of file, or earlier at a
    // line that ends the list (one naming no grade, or one too long), or at
    // a last line without a line end, which is not read.
    enum class ListEnd { kEndOfFile, kNoGrade, kTooLong, kNoLineEnd };

    void OpenGradeList(const char* list_path);
    // Names every grade of the list that reading did not reach because the
    // list ended early: the grade list's rules end it silently otherwise.
    void ReportUnreadGrades(const char* list_path);
    // ExportGrade giving the export's result (kExportWritten, kExportNotFound
    // or another value when it failed or the file cannot be appended to).
    int ExportIntoFile(const char* supplier, const char* grade, const char* keyword_path);
    // Exports one grade and reads it back into a record: through the
    // keyword file, or in memory when the database offers the export text.
    // Null, with the reason in `why`, when the export failed or its keyword
    // text could not be read.
    std::unique_ptr<material::MaterialRecord> ExportAndRead(const char* supplier, const char* grade,
                                                            const char* keyword_path,
                                                            const char** why);
    bool ConvertGrades(const char* list_path, const char* keyword_path, UdmModel* output);

    // The number of the list line read last, and how the list ended.
    int list_line_ = 0;
    ListEnd list_end_ = ListEnd::kEndOfFile;
    // The text of the line that ended the list (a last line without line
    // end is not read, but its grade is named).
    std::string list_end_line_;
};

// The ASCII-file-to-UDB pipeline: a temporary personal database is built
// from the ASCII material file, and its index file becomes the grade list
// of the database-to-UDB pipeline.
class MAsciiToUdb : public MRaxToUdb {
  public:
    using MRaxToUdb::MRaxToUdb;

    // False, with a message naming the file, when a path is absent, the
    // ASCII file cannot be read, no temporary directory can be made, the
    // database build fails or leaves no index, or the -rax road fails. The
    // temporary directory is removed on every way out.
    bool Convert(const char* ascii_path, const char* output_path, const char* vtpath);
};

// The database that the tool is built with: the real grade export and
// version lookup once the material database offers them; incomplete (and
// the pipelines unavailable) until then.
MaterialDatabase BuiltInMaterialDatabase();
// The version of the database in a slot through the access layer: the
// slot is opened for reading, its first "$" supplier looked up, and the
// slot closed again.
std::optional<std::string> DatabaseVersion(int slot);

// True when a name matches a pattern of "*" (any run) and "?" (any one
// character), compared with case.
bool MatchesWildcard(std::string_view name, std::string_view pattern);

}  // namespace tarnvel::driver
