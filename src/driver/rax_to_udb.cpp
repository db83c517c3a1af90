// The classes of the database-to-UDB pipeline, the grade list reader and
// the run itself.
#include <array>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>

#include "convert/property_set_builder.h"
#include "convert/udm_scope.h"
#include "driver/rax_pipeline.h"
#include "services/sypcleanup.h"
#include "services/syppaths.h"
#include "udm/udm.h"

namespace tarnvel::driver {
namespace {

using services::kPathSize;

// The separators of a grade list line's words.
constexpr std::string_view kGradeSeparators = "| \t\r\n";
// The version text when the database names none.
constexpr char kUnknownVersion[] = "UNKNOWN";
// Read mode 2 of udm_model_open: a new model without a file.
constexpr int kNoFileReadMode = 2;

void Fail(const char* what, const char* path) {
    std::fprintf(stderr, "tarnvel: %s: %s\n", path, what);
}

// Why a grade of the list was not converted.
constexpr char kSkipNotFound[] = "not found on any open database";
constexpr char kSkipExportFailed[] = "the export failed";
constexpr char kSkipUnreadable[] = "its keyword text could not be read";
constexpr char kSkipNoPropertySet[] = "no property set could be built from it";

// A skipped grade is always named, whatever messages the run shows
// otherwise: the run still succeeds, so this line is all that tells the
// output lacks it.
void ReportSkipped(const std::string& supplier, const std::string& grade, const char* why) {
    std::fprintf(stderr, "tarnvel: grade %s %s skipped: %s\n", supplier.c_str(), grade.c_str(),
                 why);
}

// What reading one grade list line gave.
enum class ListRead { kLine, kEnd, kTooLong, kNoLineEnd };

// Reads one line of at most kGradeLineLimit characters, its line feed
// dropped. Only kLine is a line of the list: at the end, for a last line
// without a line feed and for a longer line (which ends the list) line
// holds what was read of it.
ListRead ReadListLine(std::ifstream& list, std::string& line) {
    std::array<char, kGradeLineLimit + 1> buffer{};
    list.getline(buffer.data(), buffer.size());
    line.assign(buffer.data());
    if (!list.fail() && !list.eof()) return ListRead::kLine;
    if (list.eof()) return list.gcount() > 0 ? ListRead::kNoLineEnd : ListRead::kEnd;
    return list.gcount() > 0 ? ListRead::kTooLong : ListRead::kEnd;
}

// The next word of text at or after position, as the C library's token
// splitting finds it; empty when there is none.
std::string_view NextWord(std::string_view text, std::size_t& position) {
    const std::size_t start = text.find_first_not_of(kGradeSeparators, position);
    if (start == std::string_view::npos) {
        position = text.size();
        return {};
    }
    std::size_t end = text.find_first_of(kGradeSeparators, start);
    if (end == std::string_view::npos) end = text.size();
    position = end;
    return text.substr(start, end - start);
}

// The temporary keyword file and the log that the keyword file reader may
// write beside it, removed when the run ends whichever way it ends.
class TemporaryKeywordFile {
  public:
    TemporaryKeywordFile() {
        // The file is on the cleanup list already; its log joins it, so that
        // an interrupt leaves neither behind.
        if (const char* name = sypTempFileName()) {
            listed_ = name;
            path_ = MRaxToUdb::AbsolutePath(name);
            sypCleanupAddFile(Log().c_str());
        }
    }
    ~TemporaryKeywordFile() { Remove(); }
    TemporaryKeywordFile(const TemporaryKeywordFile&) = delete;
    TemporaryKeywordFile& operator=(const TemporaryKeywordFile&) = delete;

    // Empty when no temporary file could be made.
    const std::string& path() const { return path_; }
    void Remove() {
        if (listed_.empty()) return;
        sypCleanupRemove(listed_.c_str());
        if (sypFileExists(Log().c_str())) {
            sypCleanupRemove(Log().c_str());
        } else {
            sypCleanupForget(Log().c_str());
        }
        listed_.clear();
        path_.clear();
    }

  private:
    std::string Log() const { return listed_ + material::kKeywordLogSuffix; }

    std::string listed_;
    std::string path_;
};

// Writes the current model packed to path; false when the write failed.
bool WriteOutput(const char* path) {
    return udm_model_write_packed(path) == UDM_OK;
}

}  // namespace

void MRaxToAsc::PrintProgress(int index, int total, const char* supplier, const char* grade) {
    if (supplier == nullptr || grade == nullptr) return;
    std::printf("%d of %d, %s %s\n", index, total, supplier, grade);
    std::fflush(stdout);
}

MAscToUdb::MAscToUdb() : MAscToUdb(convert::MUdbConverter::DefaultDataPath()) {}

MAscToUdb::MAscToUdb(std::string_view data_directory)
    : reader_(std::make_unique<material::MAscReader>()),
      converter_(std::make_unique<convert::MUdbConverter>(data_directory)) {}

MAscToUdb::~MAscToUdb() {
    converter_.reset();
    reader_.reset();
}

void MAscToUdb::PrintProgress(int, int, const char*, const char*) {}

MRaxToUdb::MRaxToUdb(MaterialDatabase database) : database_(std::move(database)) {}

MRaxToUdb::MRaxToUdb(MaterialDatabase database, std::string_view data_directory)
    : MAscToUdb(data_directory), database_(std::move(database)) {}

void MRaxToUdb::PrintProgress(int index, int total, const char* supplier, const char* grade) {
    MRaxToAsc::PrintProgress(index, total, supplier, grade);
}

// Made absolute so that the path still names the same file after the
// working directory has changed.
std::string MRaxToUdb::AbsolutePath(const char* path) {
    if (path[0] == '/') return path;
    std::array<char, kPathSize> cwd{};
    if (sypGetcwd(cwd.data(), kPathSize) == nullptr) return path;
    std::string joined(cwd.data());
    if (joined.empty() || joined.back() != '/') joined += '/';
    return joined + path;
}

void MRaxToUdb::OpenGradeList(const char* list_path) {
    list_.open(list_path, std::ios::binary);
    if (!list_.is_open()) return;
    std::string line;
    for (int i = 0; i < kGradeListHeaderLines && ReadListLine(list_, line) == ListRead::kLine;
         ++i) {
        ++list_line_;
    }
    const std::streampos first = list_.tellg();
    grade_count_ = 0;
    while (ReadListLine(list_, line) == ListRead::kLine) {
        if (!line.empty()) ++grade_count_;
    }
    list_.clear();
    list_.seekg(first);
}

bool MRaxToUdb::ReadGradeLine(const char* list_path, std::string& supplier, std::string& grade) {
    supplier.clear();
    grade.clear();
    if (!list_.is_open() && list_path != nullptr) OpenGradeList(list_path);
    if (!list_.is_open() || !list_.good()) return false;
    std::string line;
    do {
        const ListRead read = ReadListLine(list_, line);
        ++list_line_;
        if (read != ListRead::kLine) {
            list_end_ = read == ListRead::kTooLong     ? ListEnd::kTooLong
                        : read == ListRead::kNoLineEnd ? ListEnd::kNoLineEnd
                                                       : ListEnd::kEndOfFile;
            list_end_line_ = line;
            return false;
        }
    } while (line.empty());
    std::size_t position = 0;
    const std::string_view first = NextWord(line, position);
    const std::string_view second = NextWord(line, position);
    if (second.empty()) {
        list_end_ = ListEnd::kNoGrade;
        list_end_line_ = line;
        return false;
    }
    supplier = first;
    grade = second;
    return true;
}

std::unique_ptr<material::MaterialRecord> MRaxToUdb::ExportAndRead(const char* supplier,
                                                                   const char* grade,
                                                                   const char* keyword_path,
                                                                   const char** why) {
    int result = kExportFailed;
    std::unique_ptr<material::MaterialRecord> record;
    if (!database_.export_text) {
        result = ExportIntoFile(supplier, grade, keyword_path);
        if (result == kExportWritten) record = reader_->Read(keyword_path);
    } else {
        ExportArguments arguments(supplier, grade, keyword_path);
        std::optional<std::string> text =
            database_.export_text(ExportArguments::kCount, arguments.argv(), &result);
        if (text && result == kExportWritten) {
            *text += VersionLine(version_);
            // The reader's log of unrecognised lines is the one it keeps
            // beside the keyword file, as when it reads the file.
            record = reader_->ReadText(
                *text, (std::string(keyword_path) + material::kKeywordLogSuffix).c_str());
        } else if (result == kExportWritten) {
            result = kExportFailed;
        }
    }
    if (!record) {
        *why = result == kExportNotFound  ? kSkipNotFound
               : result != kExportWritten ? kSkipExportFailed
                                          : kSkipUnreadable;
    }
    return record;
}

bool MRaxToUdb::ConvertGrades(const char* list_path, const char* keyword_path, UdmModel* output) {
    std::string supplier;
    std::string grade;
    for (int index = 1; ReadGradeLine(list_path, supplier, grade); ++index) {
        const char* why = nullptr;
        const std::unique_ptr<material::MaterialRecord> record =
            ExportAndRead(supplier.c_str(), grade.c_str(), keyword_path, &why);
        UdmModel* model = record ? convert::BuildPropertySet(*converter_, *record) : nullptr;
        if (model == nullptr) {
            ReportSkipped(supplier, grade, record ? kSkipNoPropertySet : why);
            continue;
        }
        udm_model_merge(output, model);
        udm_model_destroy(&model);
        PrintProgress(index, grade_count_, supplier.c_str(), grade.c_str());
    }
    return true;
}

void MRaxToUdb::ReportUnreadGrades(const char* list_path) {
    if (list_end_ == ListEnd::kEndOfFile) return;
    const auto grade_of = [](std::string_view line, std::string& supplier, std::string& grade) {
        std::size_t position = 0;
        supplier = NextWord(line, position);
        grade = NextWord(line, position);
        return !grade.empty();
    };
    std::string supplier;
    std::string grade;
    if (list_end_ == ListEnd::kNoLineEnd) {
        if (grade_of(list_end_line_, supplier, grade))
            ReportSkipped(supplier, grade, "the last line of the list has no line end");
        return;
    }
    const std::string what = list_end_ == ListEnd::kNoGrade
                                 ? std::string("names no grade")
                                 : std::string("is longer than ")
                                       .append(std::to_string(kGradeLineLimit))
                                       .append(" characters");
    std::fprintf(stderr, "tarnvel: %s: line %d %s; the list ends there\n", list_path, list_line_,
                 what.c_str());
    const std::string why =
        std::string("the list ends before it, at line ").append(std::to_string(list_line_));
    list_.clear();
    if (list_end_ == ListEnd::kTooLong)
        list_.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    for (std::string line; std::getline(list_, line);) {
        if (grade_of(line, supplier, grade)) ReportSkipped(supplier, grade, why.c_str());
    }
}

bool MRaxToUdb::Convert(const char* list_path, const char* output_path, const char* vtpath) {
    if (list_path == nullptr || output_path == nullptr) return false;
    const std::string list = AbsolutePath(list_path);
    if (!sypFileExists(list.c_str())) {
        Fail("cannot read the grade list", list_path);
        return false;
    }
    TemporaryKeywordFile keyword;
    if (keyword.path().empty()) {
        Fail("cannot create a temporary keyword file", "tarnvel");
        return false;
    }
    convert::ScopedCurrentModel restore_model;
    UdmModel* output = nullptr;
    if (udm_model_open(nullptr, kNoFileReadMode, &output) != UDM_OK || output == nullptr) {
        Fail("cannot create the output model", output_path);
        return false;
    }
    // Checked without truncating: an existing output stays as it is until
    // the complete new file replaces it.
    if (sypCheckWritable(output_path) == 0) {
        udm_model_destroy(&output);
        Fail("cannot write the output file", output_path);
        return false;
    }

    RemoveKeywordLogs();
    const std::string data_path =
        vtpath != nullptr ? std::string(vtpath) : convert::MUdbConverter::DefaultDataPath();
    SetVtPath(data_path.c_str());
    std::array<char, kPathSize> directory{};
    std::array<char, kPathSize> name{};
    const bool entered =
        sypSplitPath(list.c_str(), directory.data(), name.data(), kPathSize, kPathSize) == 1 &&
        EnterDirectory(directory.data());
    if (!DetectDatabaseVersion(kLocalSlot)) version_ = kUnknownVersion;

    ConvertGrades(list.c_str(), keyword.path().c_str(), output);
    ReportUnreadGrades(list_path);

    keyword.Remove();
    list_.close();
    list_.clear();
    const bool left = !entered || LeaveDirectory();
    if (left) RemoveKeywordLogs();
    RestoreVtPath();
    if (!left) {
        udm_model_destroy(&output);
        Fail("cannot return to the working directory", saved_directory_.c_str());
        return false;
    }

    udm_model_select(output);
    udm_global_set("UDMW", "TYPE", "21000");
    const bool written = WriteOutput(output_path);
    udm_model_destroy(&output);
    if (!written) Fail("cannot write the output file", output_path);
    return written;
}

}  // namespace tarnvel::driver
