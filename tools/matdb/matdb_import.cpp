// matdb import: reads a tessel ASCII material file into the personal
// database of a folder, creating the folder and the database when absent.
// With --standard the file is read into a fresh personal database in a
// private temporary folder, whose three files are then written into the
// folder under the Standard names with the Standard magic word.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
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

// Reads the ASCII file into the personal database of an existing folder.
int ImportInto(const std::string& file, const std::string& folder) {
    char previous[4096];
    if (sypGetcwd(previous, sizeof previous) == nullptr ||
        sypChangeDirectory(folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: cannot enter the folder %s\n", folder.c_str());
        return kExitFailed;
    }
    sypUnsetEnvironment("VTCOMP");
    sypUnsetEnvironment("VTPROJ");
    md_close_all();
    MdAsciiResult result;
    if (OpenLocalForWriting()) {
        result = md_read_ascii_file(file.c_str());
    } else {
        std::fprintf(stderr, "matdb: cannot open the personal database in %s for writing\n",
                     folder.c_str());
    }
    md_close_all();
    sypChangeDirectory(previous);
    if (!result.opened || result.stored == 0) {
        if (result.opened) std::fprintf(stderr, "matdb: no grade stored from %s\n", file.c_str());
        return kExitFailed;
    }
    return kExitOk;
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

// Writes one personal file of the work folder into the target folder under
// its Standard name, the header's magic word changed to the Standard one.
// The personal files were just created here, so they are in native order.
bool WriteStandardFile(const std::string& work, const std::string& folder,
                       const StandardCopy& copy) {
    std::vector<std::uint8_t> bytes;
    const std::string source = work + "/" + copy.personal;
    const std::string target = folder + "/" + copy.standard;
    const auto header_length =
        static_cast<std::size_t>(tarnvel::matdb::DefaultRecordLength(copy.kind));
    if (!ReadWhole(source, &bytes) || bytes.size() < header_length) {
        std::fprintf(stderr, "matdb: cannot read %s\n", source.c_str());
        return false;
    }
    const std::span<std::uint8_t> record(bytes.data(), header_length);
    HeaderRecord header = HeaderRecord::DecodeFrom(record, false);
    header.magic = tarnvel::matdb::kStandardMagic;
    header.EncodeTo(record, false);
    const int status = sypWriteFile(target.c_str(), [&](std::FILE* out) {
        return std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    });
    if (status != 0) {
        std::fprintf(stderr, "matdb: cannot write %s\n", sypWriteFileError());
        return false;
    }
    return true;
}

// Imports into a private temporary folder beside the target and writes the
// Standard files from there; the temporary folder goes in every case.
int ImportStandard(const std::string& file, const std::string& folder) {
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
    int status = ImportInto(file, work);
    for (const StandardCopy& copy : kStandardCopies) {
        if (status == kExitOk && !WriteStandardFile(work, folder, copy)) status = kExitFailed;
    }
    sypCleanupRemove(work.c_str());
    return status;
}

}  // namespace

int RunImport(const Options& options) {
    std::error_code error;
    const std::string file = std::filesystem::absolute(options.words[0], error).string();
    const std::string& folder = options.words[1];
    if (!sypFileExists(file.c_str())) {
        std::fprintf(stderr, "matdb: cannot read %s\n", options.words[0].c_str());
        return kExitFailed;
    }
    if (!std::filesystem::is_directory(folder, error) && sypMakeDirectory(folder.c_str()) != 0) {
        std::fprintf(stderr, "matdb: cannot create the folder %s\n", folder.c_str());
        return kExitFailed;
    }
    return options.make_standard ? ImportStandard(file, folder) : ImportInto(file, folder);
}

}  // namespace matdb_tool
