// matdb import: reads a tessel ASCII material file into the personal
// database of a folder, creating the folder and the database when absent.
// With --standard the file is read into a fresh personal database in a
// private temporary folder, whose three files are then written into the
// folder under the Standard names with the Standard magic word.
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "matdb/md_grade_list.h"
#include "matdb/md_index.h"
#include "matdb/rax_records.h"
#include "matdb_tool.h"
#include "services/sypcleanup.h"
#include "services/sypenv.h"
#include "services/syppaths.h"
#include "services/sypsafewrite.h"

namespace matdb_tool {
namespace {

// Opens the Local database of the current folder for writing, creating it
// when it does not exist yet.
bool OpenLocalForWriting() {
    if (sypFileExists("mtfp.rax") || sypFileExists("MTFP.RAX")) {
        return md_open(MD_LOCAL, MD_WRITE) == MD_OPENED_WRITE;
    }
    return md_open(MD_LOCAL, MD_CREATE) == MD_CREATED;
}

// What one import reads, where, and what it writes besides the database.
struct ImportRequest {
    // Absolute, since the import changes the working directory.
    std::string file;
    // The file as given, for messages.
    std::string shown;
    std::string folder;
    bool merge = false;
    bool write_index = true;
};

// Names every supplier name and grade code the database keeps shorter.
void ReportCuts(const ImportRequest& request, const MdAsciiResult& result) {
    for (const MdAsciiCut& cut : result.cuts) {
        std::fprintf(stderr, "matdb: %s:%d: %s %s is cut to %s\n", request.shown.c_str(), cut.line,
                     cut.supplier ? "supplier name" : "grade code", cut.before.c_str(),
                     cut.after.c_str());
    }
}

// Names both lines of every grade that would be merged into an earlier
// one of the same file.
void ReportCollisions(const ImportRequest& request, const MdAsciiResult& result) {
    for (const MdAsciiMerge& merge : result.merges) {
        std::fprintf(stderr,
                     "matdb: %s:%d: grade %s %s collides with grade %s %s of line %d (%s)\n",
                     request.shown.c_str(), merge.line, merge.supplier.c_str(), merge.code.c_str(),
                     merge.earlier_supplier.c_str(), merge.earlier_code.c_str(), merge.earlier_line,
                     merge.repeated ? "the same grade is given twice"
                                    : "the names are equal once cut to 8 and 6 characters");
    }
}

// Why an import fails, or null when it succeeded: the database's changes
// are saved only when it succeeds.
const char* ImportFailure(const MdAsciiResult& result, bool merge) {
    if (!result.opened) return "cannot read the file";
    if (result.aborted) return "the read was aborted";
    if (md_write_failures(MD_LOCAL) > 0) return "a grade could not be written";
    if (result.stored == 0) return "no grade stored";
    if (!merge && !result.merges.empty()) return "grades collide (--merge merges them)";
    return nullptr;
}

// Writes the grade list of the saved database; false after saying why.
bool WriteGradeList(const ImportRequest& request, const MdGradeList& list) {
    for (const std::string& grade : list.unlisted) {
        std::fprintf(stderr,
                     "matdb: grade %s is not in the grade list: its supplier name is longer "
                     "than 8 characters\n",
                     grade.c_str());
    }
    const int status = sypWriteFile(kMdIndexFile, [&list](std::FILE* out) {
        return std::fwrite(list.text.data(), 1, list.text.size(), out) == list.text.size();
    });
    if (status != 0) {
        std::fprintf(stderr, "matdb: cannot write the grade list: %s\n", sypWriteFileError());
        return false;
    }
    std::printf("%d grade(s) listed in %s/%s\n", list.grades, request.folder.c_str(), kMdIndexFile);
    return true;
}

// Reads the file into the open Local database and saves it, then writes
// the grade list; kExitOk or kExitFailed after saying why.
int ReadAndSave(const ImportRequest& request) {
    const MdAsciiResult result = md_read_ascii_file(request.file.c_str(), request.merge);
    ReportCuts(request, result);
    if (!request.merge) ReportCollisions(request, result);
    const char* failure = ImportFailure(result, request.merge);
    MdGradeList list;
    if (failure == nullptr && request.write_index) {
        // Read from the open slot's copy, before the save closes it.
        list = md_grade_list(MD_LOCAL);
        if (!list.complete) failure = "the database's grades cannot all be read back";
    }
    if (failure != nullptr) {
        md_discard(MD_LOCAL);
        std::fprintf(stderr, "matdb: %s: %s; the database in %s is left as it was\n",
                     request.shown.c_str(), failure, request.folder.c_str());
        return kExitFailed;
    }
    if (md_commit(MD_LOCAL) == 0) {
        std::fprintf(stderr, "matdb: the database in %s cannot be saved\n", request.folder.c_str());
        return kExitFailed;
    }
    if (request.write_index && !WriteGradeList(request, list)) return kExitFailed;
    return kExitOk;
}

// Reads the ASCII file into the personal database of an existing folder.
int ImportInto(const ImportRequest& request) {
    char previous[4096];
    if (sypGetcwd(previous, sizeof previous) == nullptr ||
        sypChangeDirectory(request.folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: cannot enter the folder %s\n", request.folder.c_str());
        return kExitFailed;
    }
    sypUnsetEnvironment("VTCOMP");
    sypUnsetEnvironment("VTPROJ");
    md_close_all();
    int status = kExitFailed;
    if (OpenLocalForWriting()) {
        status = ReadAndSave(request);
    } else {
        std::fprintf(stderr, "matdb: cannot open the personal database in %s for writing\n",
                     request.folder.c_str());
    }
    md_close_all();
    sypChangeDirectory(previous);
    return status;
}

using tarnvel::matdb::HeaderRecord;
using tarnvel::matdb::RaxFileKind;

struct StandardCopy {
    RaxFileKind kind;
    const char* personal;
    const char* standard;
};
constexpr StandardCopy kStandardCopies[] = {
    {RaxFileKind::kSupplier, "mtfp.rax", "mtfs.rax"},
    {RaxFileKind::kGrade, "mtgp.rax", "mtgs.rax"},
    {RaxFileKind::kData, "mtdp.rax", "mtds.rax"},
};

bool ReadWhole(const std::string& path, std::vector<std::uint8_t>* bytes) {
    std::FILE* in = nullptr;
    if (sypOpenFile(&in, path.c_str(), "rb") != 0) return false;
    std::uint8_t block[8192];
    std::size_t count = 0;
    while ((count = std::fread(block, 1, sizeof block, in)) > 0) {
        bytes->insert(bytes->end(), block, block + count);
    }
    const bool ok = std::ferror(in) == 0;
    return sypCloseFile(in) == 0 && ok;
}

// The highest generation word among the Standard files already in the
// folder (0 when there are none), so that the new set is told from the old.
std::int32_t OldGeneration(const std::string& folder) {
    std::int32_t highest = 0;
    for (const StandardCopy& copy : kStandardCopies) {
        std::vector<std::uint8_t> bytes;
        if (!ReadWhole(folder + "/" + copy.standard, &bytes) ||
            bytes.size() < static_cast<std::size_t>(HeaderRecord::kSize))
            continue;
        // A file in the other byte order shows a magic word that is neither.
        const std::int32_t magic =
            tarnvel::matdb::GetWord(bytes, HeaderRecord::kMagicOffset, false);
        const bool swapped =
            magic != tarnvel::matdb::kStandardMagic && magic != tarnvel::matdb::kPersonalMagic;
        highest = std::max(highest, HeaderRecord::DecodeFrom(bytes, swapped).generation);
    }
    return highest;
}

// One Standard file being made: a private sibling of its final name.
struct StagedFile {
    std::string sibling;
    std::string target;
};

// Writes one personal file of the work folder into a private sibling of its
// Standard name in the target folder, the header's magic word changed to
// the Standard one and its generation to the given one. The personal files
// were just created here, so they are in native order.
bool StageStandardFile(const std::string& work, const std::string& folder, const StandardCopy& copy,
                       std::int32_t generation, StagedFile* staged) {
    std::vector<std::uint8_t> bytes;
    const std::string source = work + "/" + copy.personal;
    const auto header_length =
        static_cast<std::size_t>(tarnvel::matdb::DefaultRecordLength(copy.kind));
    if (!ReadWhole(source, &bytes) || bytes.size() < header_length) {
        std::fprintf(stderr, "matdb: cannot read %s\n", source.c_str());
        return false;
    }
    const std::span<std::uint8_t> record(bytes.data(), header_length);
    HeaderRecord header = HeaderRecord::DecodeFrom(record, false);
    header.magic = tarnvel::matdb::kStandardMagic;
    header.generation = generation;
    header.EncodeTo(record, false);
    const std::string target = folder + "/" + copy.standard;
    std::FILE* out = sypOpenSibling(target.c_str(), false, &staged->sibling, &staged->target);
    const bool written = out != nullptr &&
                         std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size() &&
                         sypSyncFile(out) == 0;
    const bool closed = out != nullptr && std::fclose(out) == 0;
    if (!written || !closed) std::fprintf(stderr, "matdb: cannot write %s\n", target.c_str());
    return written && closed;
}

// Puts the three Standard files in place together.
bool WriteStandardFiles(const std::string& work, const std::string& folder) {
    const std::int32_t old = std::max(OldGeneration(folder), 0);
    const std::int32_t generation = old == INT32_MAX ? 1 : old + 1;
    std::array<StagedFile, 3> staged;
    bool written = true;
    for (std::size_t i = 0; i < staged.size() && written; ++i) {
        written = StageStandardFile(work, folder, kStandardCopies[i], generation, &staged[i]);
    }
    std::array<const char*, 3> from{};
    std::array<const char*, 3> to{};
    for (std::size_t i = 0; i < staged.size(); ++i) {
        from[i] = staged[i].sibling.c_str();
        to[i] = staged[i].target.c_str();
    }
    const int renamed = written ? sypCleanupRenameInto(from.data(), to.data(), 3) : 0;
    for (int i = renamed; i < 3; ++i) {
        if (!staged[i].sibling.empty()) sypCleanupRemove(staged[i].sibling.c_str());
    }
    if (written && renamed != 3)
        std::fprintf(stderr, "matdb: cannot put the files in %s in place\n", folder.c_str());
    if (renamed > 0) sypSyncDirectoryOf(to[0]);
    return renamed == 3;
}

// Imports into a private temporary folder beside the target and writes the
// Standard files from there; the temporary folder goes in every case.
int ImportStandard(ImportRequest request) {
    const std::string folder = request.folder;
    if (sypFileExists((folder + "/mtdp.rax").c_str()) ||
        sypFileExists((folder + "/MTDP.RAX").c_str())) {
        std::fprintf(stderr,
                     "matdb: %s holds a personal database; a Standard database is made in a "
                     "folder of its own\n",
                     folder.c_str());
        return kExitFailed;
    }
    // Absolute, since the import changes the working directory.
    std::error_code error;
    std::string work = std::filesystem::absolute(folder, error).string() + "/.matdb-import-XXXXXX";
    if (sypMakeRegisteredTempDirectory(work.data()) != 0) {
        std::fprintf(stderr, "matdb: cannot create a work folder in %s\n", folder.c_str());
        return kExitFailed;
    }
    // Registered before they exist, so that a signal removes them too.
    for (const StandardCopy& copy : kStandardCopies) {
        sypCleanupAddFile((work + "/" + copy.personal).c_str());
    }
    // The grade list names grades of a personal database; a Standard one is
    // found through VTPATH instead.
    request.folder = work;
    request.write_index = false;
    int status = ImportInto(request);
    if (status == kExitOk && !WriteStandardFiles(work, folder)) status = kExitFailed;
    sypCleanupRemove(work.c_str());
    return status;
}

// The absolute path of a file to import, after checking that it opens for
// reading; false after naming the file and the system's reason.
bool ReadableFile(const std::string& given, std::string* file) {
    std::error_code error;
    if (std::filesystem::is_directory(given, error)) {
        std::fprintf(stderr, "matdb: cannot read '%s': it is a directory\n", given.c_str());
        return false;
    }
    std::FILE* stream = std::fopen(given.c_str(), "rb");
    if (stream == nullptr) {
        std::fprintf(stderr, "matdb: cannot open '%s': %s\n", given.c_str(), std::strerror(errno));
        return false;
    }
    std::fclose(stream);
    // Absolute, since the import changes the working directory.
    *file = std::filesystem::absolute(given, error).string();
    return true;
}

// Copies the standard input into a private temporary file (on the cleanup
// list) whose path is returned; false after saying why.
bool CopyStandardInput(std::string* file) {
    const char* name = sypTempFileName();
    std::FILE* out = name != nullptr ? std::fopen(name, "wb") : nullptr;
    if (out == nullptr) {
        std::fprintf(stderr, "matdb: cannot make a temporary copy of the standard input\n");
        if (name != nullptr) sypCleanupRemove(name);
        return false;
    }
    *file = name;
    std::array<char, 65536> buffer;
    std::size_t count = 0;
    bool written = true;
    while (written && (count = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0)
        written = std::fwrite(buffer.data(), 1, count, out) == count;
    const bool read = std::ferror(stdin) == 0;
    const int error = errno;
    if (std::fclose(out) == 0 && written && read) return true;
    std::fprintf(stderr, "matdb: cannot read the standard input: %s\n", std::strerror(error));
    sypCleanupRemove(file->c_str());
    return false;
}

}  // namespace

int RunImport(const Options& options) {
    const std::string& folder = options.words[1];
    std::string file;
    const bool from_stdin = options.words[0] == "-";
    if (!(from_stdin ? CopyStandardInput(&file) : ReadableFile(options.words[0], &file)))
        return kExitFailed;
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error) && sypMakeDirectory(folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: cannot create the folder '%s': %s\n", folder.c_str(),
                     std::strerror(errno));
        return kExitFailed;
    }
    const std::string shown = from_stdin ? "(standard input)" : options.words[0];
    const ImportRequest request{file, shown, folder, options.merge, !options.no_index};
    const int status = options.make_standard ? ImportStandard(request) : ImportInto(request);
    if (from_stdin) sypCleanupRemove(file.c_str());
    return status;
}

}  // namespace matdb_tool
