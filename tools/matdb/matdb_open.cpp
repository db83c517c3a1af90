#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "matdb/matdb.h"
#include "matdb_tool.h"
#include "services/sypenv.h"
#include "services/syppaths.h"
#include "services/vtout.h"

namespace matdb_tool {
namespace {

std::vector<std::string>& Captured() {
    static std::vector<std::string> lines;
    return lines;
}

void CaptureLine(std::string_view line) {
    Captured().emplace_back(line);
}

// The kind of database a folder holds, told by its data file.
enum class Kind { kNone, kPersonal, kStandard };

bool HasFile(const std::string& folder, const char* lower, const char* upper) {
    return sypFileExists((folder + "/" + lower).c_str()) ||
           sypFileExists((folder + "/" + upper).c_str());
}

Kind KindOf(const std::string& folder) {
    if (HasFile(folder, "mtdp.rax", "MTDP.RAX")) return Kind::kPersonal;
    if (HasFile(folder, "mtds.rax", "MTDS.RAX")) return Kind::kStandard;
    return Kind::kNone;
}

// A folder as an absolute path, so that a later change of directory keeps it.
std::string Absolute(const std::string& folder) {
    if (!folder.empty() && folder[0] == '/') return folder;
    char cwd[4096];
    if (!sypGetcwd(cwd, sizeof cwd)) return folder;
    return std::string(cwd) + "/" + folder;
}

bool OpenSlot(int slot, const std::string& folder) {
    if (md_open(slot, MD_READ) == MD_OPEN_FAILED) {
        std::fprintf(stderr, "matdb: %s: cannot open the %s database\n", folder.c_str(),
                     md_database_name(slot));
        PrintLayerMessages();
        return false;
    }
    return true;
}

bool OpenStandard(const std::string& folder) {
    if (KindOf(folder) != Kind::kStandard) {
        std::fprintf(stderr, "matdb: %s: no Standard database (mtfs.rax, mtgs.rax, mtds.rax)\n",
                     folder.c_str());
        return false;
    }
    sypSetEnvironment("VTPATH", Absolute(folder).c_str());
    return OpenSlot(MD_STANDARD, folder);
}

}  // namespace

void CaptureLayerMessages() {
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(CaptureLine);
}

bool LayerReportedError() {
    for (const std::string& line : Captured())
        if (line.starts_with("Error") || line.starts_with("Could not")) return true;
    return false;
}

bool LayerReportedDamage() {
    for (const std::string& line : Captured())
        if (line.find("could not be read") != std::string::npos) return true;
    return LayerReportedError();
}

bool IsStandardFolder(const std::string& folder) {
    return KindOf(folder) == Kind::kStandard;
}

void PrintLayerMessages() {
    for (const std::string& line : Captured()) std::fprintf(stderr, "%s\n", line.c_str());
    Captured().clear();
}

int OpenDatabase(const Options& options, OpenedDatabase& opened) {
    const std::string& folder = options.words.front();
    opened.folder = folder;
    // Only the databases named on the command line take part.
    sypUnsetEnvironment("VTCOMP");
    sypUnsetEnvironment("VTPROJ");
    switch (KindOf(folder)) {
        case Kind::kNone:
            std::fprintf(stderr, "matdb: %s: no material database (mtfp.rax ... or mtfs.rax ...)\n",
                         folder.c_str());
            return kExitFailed;
        case Kind::kStandard:
            if (!options.standard.empty()) {
                std::fprintf(stderr,
                             "matdb: %s is a Standard database; --standard names the "
                             "Standard database of a personal one\n",
                             folder.c_str());
                return kExitUsage;
            }
            opened.slot = MD_STANDARD;
            return OpenStandard(folder) ? kExitOk : kExitFailed;
        case Kind::kPersonal:
            break;
    }
    if (!options.standard.empty() && !OpenStandard(options.standard)) return kExitFailed;
    if (sypChangeDirectory(folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: %s: cannot enter the folder\n", folder.c_str());
        return kExitFailed;
    }
    opened.slot = MD_LOCAL;
    return OpenSlot(MD_LOCAL, folder) ? kExitOk : kExitFailed;
}

std::unique_ptr<MdGrade> ReadNamedGrade(const OpenedDatabase& database, const std::string& supplier,
                                        const std::string& code, MdPosition* at) {
    *at = md_find(database.slot, supplier.c_str(), code.c_str());
    if (!at->valid) {
        std::fprintf(stderr, "matdb: %s: grade %s %s not found\n", database.folder.c_str(),
                     supplier.c_str(), code.c_str());
        return nullptr;
    }
    std::unique_ptr<MdGrade> grade = md_read_grade(*at);
    if (!grade) {
        std::fprintf(stderr, "matdb: %s: grade %s %s cannot be read; the database is damaged\n",
                     database.folder.c_str(), supplier.c_str(), code.c_str());
    }
    return grade;
}

}  // namespace matdb_tool
