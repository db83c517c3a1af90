// The steps of the database-to-UDB pipeline that change or read process
// state: VTPATH, the working directory, the keyword logs, the export of one
// grade and the database version.
#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/rax_pipeline.h"
#include "services/sypenv.h"
#include "services/syppaths.h"

namespace tarnvel::driver {
namespace {

using services::kPathSize;
using services::kSypOk;

// The keyword logs that the keyword file reader leaves beside its files.
constexpr char kKeywordLogPattern[] = "*.asc_log";
// The database slots, 0 Standard to 3 Local.
constexpr int kSlotCount = 4;

}  // namespace

void MRaxToUdb::SetVtPath(const char* text) {
    const char* current = std::getenv(kVtPathVariable);
    saved_vtpath_.reset();
    if (current != nullptr) saved_vtpath_ = current;
    if (text != nullptr) {
        sypSetEnvironment(kVtPathVariable, text);
    } else {
        sypUnsetEnvironment(kVtPathVariable);
    }
}

void MRaxToUdb::RestoreVtPath() {
    if (saved_vtpath_) {
        sypSetEnvironment(kVtPathVariable, saved_vtpath_->c_str());
    } else {
        sypUnsetEnvironment(kVtPathVariable);
    }
}

bool MRaxToUdb::EnterDirectory(const char* directory) {
    std::array<char, kPathSize> cwd{};
    if (directory == nullptr || sypGetcwd(cwd.data(), kPathSize) == nullptr) return false;
    saved_directory_ = cwd.data();
    if (!sypFileExists(directory)) sypMakeDirectory(directory);
    return sypChangeDirectory(directory) == kSypOk;
}

bool MRaxToUdb::LeaveDirectory() {
    return !saved_directory_.empty() && sypChangeDirectory(saved_directory_.c_str()) == kSypOk;
}

ExportArguments::ExportArguments(const char* supplier, const char* grade, const char* keyword_path)
    : words_{"-supplier", supplier, "-grade", grade, "-output", keyword_path} {
    for (std::size_t i = 0; i < words_.size(); ++i) argv_[i + 1] = words_[i].data();
}

std::string VersionLine(const std::string& version) {
    return "MATERIAL_VERSION:" + version + "\n";
}

bool MRaxToUdb::ExportGrade(const char* supplier, const char* grade, const char* keyword_path) {
    return ExportIntoFile(supplier, grade, keyword_path) == kExportWritten;
}

int MRaxToUdb::ExportIntoFile(const char* supplier, const char* grade, const char* keyword_path) {
    if (supplier == nullptr || grade == nullptr || keyword_path == nullptr) return kExportFailed;
    if (!database_.export_grade) return kExportFailed;
    ExportArguments arguments(supplier, grade, keyword_path);
    // A failed export leaves the file as it was (the previous grade's lines),
    // so its result decides, not whether the file exists.
    const int result = database_.export_grade(ExportArguments::kCount, arguments.argv());
    if (result != kExportWritten) return result;
    std::FILE* file = nullptr;
    if (sypOpenFile(&file, keyword_path, "a") != kSypOk) return kExportFailed;
    const std::string line = VersionLine(version_);
    const bool written = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    return sypCloseFile(file) == kSypOk && written ? kExportWritten : kExportFailed;
}

bool MRaxToUdb::DetectDatabaseVersion(int slot) {
    if (!database_.slot_version) return false;
    const bool one = slot >= 0 && slot < kSlotCount;
    for (int s = one ? slot : 0; s < (one ? slot + 1 : kSlotCount); ++s) {
        if (std::optional<std::string> version = database_.slot_version(s)) {
            version_ = std::move(*version);
            return true;
        }
    }
    return false;
}

void MRaxToUdb::RemoveKeywordLogs() {
    std::array<char, kPathSize> cwd{};
    if (sypGetcwd(cwd.data(), kPathSize) == nullptr) return;
    int count = 0;
    char** names = sypListDirectory(cwd.data(), &count);
    if (names == nullptr) return;
    for (int i = 0; i < count; ++i) {
        if (MatchesWildcard(names[i], kKeywordLogPattern)) std::remove(names[i]);
    }
    sypFreeNameArray(names, count);
}

bool MatchesWildcard(std::string_view name, std::string_view pattern) {
    // Iterative match with one backtrack point: the last "*" seen.
    std::size_t n = 0, p = 0, star = std::string_view::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == name[n])) {
            ++n;
            ++p;
        } else if (star != std::string_view::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

}  // namespace tarnvel::driver
