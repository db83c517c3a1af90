// Drives the whole -rax road in process: a Local database made of three
// fuzzed files and a fuzzed grade list are converted into a UDB file, the
// grades exported, read back, built into property sets (with the product's
// generic data and its Standard database for generic links, when the build
// has made them) and written packed. Whatever the bytes, the run succeeds,
// converts no more grades than the list names, writes an output that reads
// back with one set per converted grade, restores the working directory and
// VTPATH, and leaves nothing in the temporary directory.
//
// Input: three 16-bit little-endian lengths (supplier file, grade file,
// grade list lines), then the supplier file, the grade file, the grade
// list lines (the nine header lines of a list are put before them) and,
// with the rest, the data file.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "driver/rax_pipeline.h"
#include "matdb/matdb.h"
#include "services/syppaths.h"
#include "services/vtout.h"
#include "udm/udm.h"

namespace {

namespace fs = std::filesystem;
using tarnvel::driver::BuiltInMaterialDatabase;
using tarnvel::driver::kVtPathVariable;
using tarnvel::driver::MRaxToUdb;

constexpr std::size_t kLengthBytes = 6;
constexpr const char* kFiles[] = {"mtfp.rax", "mtgp.rax", "mtdp.rax"};
// The product data of the build (generic data, link tables and the
// Standard database), when it has been made.
constexpr char kProductData[] = TARNVEL_PRODUCT_DAT;

void Require(bool condition) {
    if (!condition) std::abort();
}

// The private folder of the run: "db" holds the database and the list,
// "tmp" is the temporary directory, "run" the working directory.
fs::path& Folder() {
    static fs::path folder;
    return folder;
}

void RemoveFolder() {
    md_close_all();
    std::error_code ignored;
    fs::current_path("/", ignored);
    fs::remove_all(Folder(), ignored);
}

void EnterFolder() {
    if (!Folder().empty()) return;
    char name[] = "/tmp/pipeline-fuzz-XXXXXX";
    Require(mkdtemp(name) != nullptr);
    Folder() = name;
    for (const char* sub : {"db", "tmp", "run"}) fs::create_directory(Folder() / sub);
    fs::current_path(Folder() / "run");
    // Only the fuzzed Local database and the build's Standard database are
    // searched; the temporary files go where the check below sees them.
    unsetenv("VTPROJ");
    unsetenv("VTCOMP");
    unsetenv("KESPATH");
    unsetenv("temp");
    unsetenv("TMPDIR");
    setenv("tmp", (Folder() / "tmp").c_str(), 1);
    tarnvel::services::ResetTempDirectoryForTesting();
    setenv(kVtPathVariable, "before", 1);
    vtOutSetMode(kVtPassLines);
    vtOutSetSink(vtOutDiscard);
    std::atexit(RemoveFolder);
}

void WriteFile(const fs::path& path, const std::string& head, const std::uint8_t* data,
               std::size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    Require(file != nullptr);
    std::fwrite(head.data(), 1, head.size(), file);
    if (size != 0) std::fwrite(data, 1, size, file);
    std::fclose(file);
}

std::size_t Length(const std::uint8_t* data) {
    return static_cast<std::size_t>(data[0]) | static_cast<std::size_t>(data[1]) << 8;
}

std::size_t Lines(const std::uint8_t* data, std::size_t size) {
    std::size_t lines = 0;
    for (std::size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    return lines;
}

// The pipeline with its progress lines counted instead of printed.
class CountingPipeline : public MRaxToUdb {
  public:
    CountingPipeline() : MRaxToUdb(BuiltInMaterialDatabase(), DataDirectory()) {}
    void PrintProgress(int, int, const char* supplier, const char* grade) override {
        converted += supplier != nullptr && grade != nullptr;
    }
    int converted = 0;

  private:
    static std::string DataDirectory() {
        struct stat status {};
        return stat(kProductData, &status) == 0 ? kProductData : "";
    }
};

// The property sets of type 21000 in the output; nothing when it does not
// read.
std::optional<int> SetsInOutput(const fs::path& path) {
    UdmModel* previous = udm_model_current();
    UdmModel* model = nullptr;
    if (udm_model_open(path.c_str(), 1, &model) != UDM_OK) return std::nullopt;
    int sets = 0;
    for (void* entity = udm_entity_first(UDM_CLASS_TSET, 21000); entity != nullptr;
         entity = udm_entity_next(UDM_CLASS_TSET, 21000, udm_entity_label(entity))) {
        ++sets;
    }
    udm_model_destroy(&model);
    udm_model_select(previous);
    return sets;
}

std::string ListHeader() {
    std::string header;
    for (int i = 1; i <= tarnvel::driver::kGradeListHeaderLines; ++i) header += "header\n";
    return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnterFolder();
    if (size < kLengthBytes) return 0;
    const std::array<std::size_t, 3> sizes{Length(data), Length(data + 2), Length(data + 4)};
    if (kLengthBytes + sizes[0] + sizes[1] + sizes[2] > size) return 0;
    const std::uint8_t* at = data + kLengthBytes;
    const fs::path db = Folder() / "db";
    WriteFile(db / kFiles[0], "", at, sizes[0]);
    WriteFile(db / kFiles[1], "", at + sizes[0], sizes[1]);
    const std::uint8_t* list = at + sizes[0] + sizes[1];
    WriteFile(db / "list.lst", ListHeader(), list, sizes[2]);
    const std::uint8_t* rest = list + sizes[2];
    WriteFile(db / kFiles[2], "", rest, static_cast<std::size_t>(data + size - rest));

    const fs::path start = fs::current_path();
    const fs::path output = Folder() / "run" / "out.udb";
    int converted = 0;
    {
        CountingPipeline pipeline;
        Require(pipeline.Convert((db / "list.lst").c_str(), output.c_str(), kProductData));
        converted = pipeline.converted;
    }
    // The databases are opened afresh for the next input's files.
    md_close_all();
    Require(fs::current_path() == start);
    const char* vtpath = std::getenv(kVtPathVariable);
    Require(vtpath != nullptr && std::string(vtpath) == "before");
    Require(fs::is_empty(Folder() / "tmp"));
    Require(static_cast<std::size_t>(converted) <= Lines(list, sizes[2]));
    const std::optional<int> sets = SetsInOutput(output);
    Require(sets && *sets == converted);
    fs::remove(output);
    return 0;
}
