// The ASCII-file-to-UDB pipeline.
#include <cstdio>
#include <string>

#include "driver/rax_pipeline.h"
#include "matdb/md_index.h"
#include "services/sypcleanup.h"
#include "services/syppaths.h"

namespace tarnvel::driver {
namespace {

using services::kSypOk;

// The name of the input's copy in the temporary directory.
constexpr char kAsciiCopyName[] = "tarnvel.asc";
// The longest ASCII file name the database build takes.
constexpr std::size_t kBuildNameLimit = 255;

void Fail(const char* what, const char* path) {
    std::fprintf(stderr, "tarnvel: %s: %s\n", path, what);
}

// The run's temporary directory, removed with everything in it when the
// run ends whichever way it ends.
class TemporaryDirectory {
  public:
    TemporaryDirectory() {
        // The name is copied out of the static buffer at once. The directory
        // is on the cleanup list; the files the run makes inside it join it,
        // so that an interrupt, which removes only empty directories,
        // leaves nothing.
        if (const char* name = sypTempDirectoryName()) listed_ = name;
        path_ = listed_.empty() ? std::string() : MRaxToUdb::AbsolutePath(listed_.c_str());
        while (path_.size() > 1 && path_.back() == '/') path_.pop_back();
        if (path_.empty()) return;
        for (const char* file : kRunFiles) sypCleanupAddFile(File(file).c_str());
    }
    ~TemporaryDirectory() {
        if (path_.empty()) return;
        sypCleanupRemove(listed_.c_str());
        for (const char* file : kRunFiles) sypCleanupForget(File(file).c_str());
    }
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    // Empty when no directory could be made.
    const std::string& path() const { return path_; }
    std::string File(const char* name) const { return path_ + "/" + name; }

  private:
    // The files a run makes in the directory: the copy, the database and
    // its index.
    static constexpr const char* kRunFiles[] = {kAsciiCopyName, "mtfp.rax", "mtgp.rax", "mtdp.rax",
                                                kMdIndexFile};

    std::string listed_;
    std::string path_;
};

}  // namespace

bool MAsciiToUdb::Convert(const char* ascii_path, const char* output_path, const char* vtpath) {
    if (ascii_path == nullptr || output_path == nullptr) return false;
    if (!sypFileExists(ascii_path)) {
        Fail("cannot read the ASCII material file", ascii_path);
        return false;
    }
    if (!database_.CompleteForAscii()) {
        Fail("no material database to build", ascii_path);
        return false;
    }
    const TemporaryDirectory directory;
    if (directory.path().empty()) {
        Fail("cannot create a temporary directory", "tarnvel");
        return false;
    }
    const std::string data_path =
        vtpath != nullptr ? std::string(vtpath) : convert::MUdbConverter::DefaultDataPath();
    SetVtPath(data_path.c_str());
    const std::string index = directory.File(kMdIndexFile);
    // When the copy fails the build reads the input itself, named so that
    // it is found from the temporary directory too.
    const std::string name =
        sypCopyFile(ascii_path, directory.File(kAsciiCopyName).c_str()) == kSypOk
            ? std::string(kAsciiCopyName)
            : AbsolutePath(ascii_path);
    if (name.size() > kBuildNameLimit || !EnterDirectory(directory.path().c_str())) {
        RestoreVtPath();
        Fail("cannot prepare the material database build", ascii_path);
        return false;
    }
    int status = 1;
    database_.build_personal_database(name.c_str(), static_cast<int>(name.size()), 0, status);
    database_.close_all();
    const bool built = status == 1 && sypFileExists(index.c_str());
    const bool left = LeaveDirectory();
    RestoreVtPath();
    if (!left) {
        Fail("cannot return to the working directory", saved_directory_.c_str());
        return false;
    }
    if (!built) {
        Fail("cannot build a material database from it", ascii_path);
        return false;
    }
    const bool converted = MRaxToUdb::Convert(index.c_str(), output_path, data_path.c_str());
    database_.close_all();
    return converted;
}

}  // namespace tarnvel::driver
