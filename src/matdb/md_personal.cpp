#include "matdb/md_personal.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_ascii.h"
#include "matdb/md_index.h"
#include "matdb/rax_index.h"
#include "services/sypenvvalue.h"
#include "services/syppaths.h"
#include "services/sypsafewrite.h"
#include "services/vtout.h"

namespace {

using tarnvel::services::kSypOk;

// The record-file codes of the Local database.
constexpr int kLocalCode = 1;
constexpr int kLocalCreateCode = 5;
// The data file whose presence marks an existing Local database.
constexpr char kLocalDataFile[] = "mtdp.rax";
// The longest directory a location variable names.
constexpr std::size_t kPathLimit = 255;
constexpr const char* kPersonalFiles[] = {"mtfp.rax", "mtgp.rax", kLocalDataFile};

// Prints the build's messages, or nothing at all: without messages the
// console output of the database layer is silenced for the whole build.
class BuildMessages {
  public:
    explicit BuildMessages(bool on) : on_(on) {
        if (on_) return;
        vtOutSave();
        vtOutSetSink(vtOutDiscard);
    }
    ~BuildMessages() {
        if (!on_) vtOutRestore();
    }
    BuildMessages(const BuildMessages&) = delete;
    BuildMessages& operator=(const BuildMessages&) = delete;

    void Say(const std::string& line) const {
        if (on_) vt_out((line + "\n").c_str());
    }
    // A message and, on the next line, the file it is about.
    void Say(const char* message, const std::string& file) const {
        Say(message);
        Say(file);
    }
    bool on() const { return on_; }

  private:
    bool on_;
};

std::string InDirectory(const std::string& directory, const char* name) {
    return directory.empty() || directory.back() == '/' ? directory + name : directory + "/" + name;
}

bool HasPersonalFiles(const std::string& directory) {
    for (const char* name : kPersonalFiles) {
        if (!sypFileExists(InDirectory(directory, name).c_str())) return false;
    }
    return true;
}

// Names the locations without a complete personal database; informational.
void CheckLocations(const BuildMessages& messages) {
    if (!HasPersonalFiles("")) messages.Say("Checking Local Personal RAX files");
    struct Location {
        const char* variable;
        const char* checking;
        const char* unset;
    };
    constexpr Location kLocations[] = {
        {"VTCOMP", "Checking Company Personal RAX files in directory",
         "VTCOMP global variable not set"},
        {"VTPROJ", "Checking Project Personal RAX files in directory",
         "VTPROJ global variable not set"},
    };
    for (const Location& location : kLocations) {
        std::string directory;
        if (sypEnvironmentValue(location.variable, kPathLimit, &directory) != kSypEnvSet) {
            messages.Say(location.unset);
        } else if (!HasPersonalFiles(directory)) {
            messages.Say(std::string(location.checking) + " " + directory);
        }
    }
}

bool OpenLocal(const BuildMessages& messages) {
    if (sypFileExists(kLocalDataFile)) {
        if (md_fopen(kLocalCode) != MD_OPEN_FAILED) return true;
        messages.Say("[MAKPDB - 1] Unable to Open Personel Databasee");
        return false;
    }
    CheckLocations(messages);
    md_fclos(kLocalCode);
    if (md_fopen(kLocalCreateCode) != MD_OPEN_FAILED) return true;
    messages.Say("[MAKPDB - 1] Unable to Create Personel Database");
    return false;
}

// The index file as it will be: an existing index and the lines this build
// adds, or a new index with its header, gathered in memory and written
// (through the safe write) only after the database is saved, so that the
// index never names a grade the database does not hold.
class IndexText {
  public:
    IndexText() = default;
    ~IndexText() {
        if (stream_ != nullptr) std::fclose(stream_);
        std::free(buffer_);
    }
    IndexText(const IndexText&) = delete;
    IndexText& operator=(const IndexText&) = delete;

    // Starts the text from the existing index, or from a new header; false
    // after printing the build's message.
    bool Start(const BuildMessages& messages) {
        stream_ = open_memstream(&buffer_, &size_);
        if (!sypFileExists(kMdIndexFile)) {
            if (stream_ != nullptr && sypCheckWritable(kMdIndexFile) != 0 &&
                md_write_index_header(stream_))
                return true;
            messages.Say("[MAKPDB - 3] Cannot Open Index file ", kMdIndexFile);
            return false;
        }
        if (stream_ != nullptr && sypCheckWritable(kMdIndexFile) != 0 && CopyExisting())
            return true;
        messages.Say("[MAKPDB - 4 ] Cannot Open Index Information", kMdIndexFile);
        return false;
    }
    std::FILE* stream() const { return stream_; }
    // Writes the index file whole: true when it is in place.
    bool Save() {
        const bool complete = std::fclose(stream_) == 0;
        stream_ = nullptr;
        return complete && sypWriteFile(kMdIndexFile, [this](std::FILE* out) {
                               return std::fwrite(buffer_, 1, size_, out) == size_;
                           }) == kSypOk;
    }

  private:
    bool CopyExisting() {
        std::FILE* in = nullptr;
        if (sypOpenFile(&in, kMdIndexFile, "rb") != kSypOk) return false;
        std::array<char, 8192> block{};
        std::size_t count = 0;
        bool copied = true;
        while (copied && (count = std::fread(block.data(), 1, block.size(), in)) > 0) {
            copied = std::fwrite(block.data(), 1, count, stream_) == count;
        }
        copied = copied && std::ferror(in) == 0;
        return sypCloseFile(in) == kSypOk && copied;
    }

    std::FILE* stream_ = nullptr;
    char* buffer_ = nullptr;
    std::size_t size_ = 0;
};

// A name as a grade lookup compares it: its first blank-delimited word,
// upper-cased, cut to the index field's width.
std::string LookupKey(std::string_view name, int field) {
    const std::size_t start = std::min(name.find_first_not_of(' '), name.size());
    name = name.substr(start, name.find(' ', start) - start);
    std::string key(name.substr(0, tarnvel::matdb::IndexLayout()[field].line_width));
    for (char& c : key) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return key;
}

// Names every grade the read stored that no index line reaches: the index
// takes a grade only from a "Grade" line after its own "Supplier" line, both
// keywords spelt in this case, while the reader takes them in any case and
// more than one grade per supplier line. Such a grade is not converted.
void NameUnindexed(const std::vector<MdAsciiGrade>& stored, const MdIndexedGrades& indexed) {
    std::set<std::pair<std::string, std::string>> reached;
    for (const auto& [supplier, grade] : indexed)
        reached.emplace(LookupKey(supplier, 0), LookupKey(grade, 1));
    for (const MdAsciiGrade& grade : stored) {
        if (reached.count({LookupKey(grade.supplier, 0), LookupKey(grade.code, 1)}) != 0) continue;
        std::fprintf(stderr,
                     "Warning at line %d: grade %.79s %.79s is not converted: the index takes a "
                     "grade only from a \"Grade\" line after its own \"Supplier\" line, both "
                     "keywords written exactly so.\n",
                     grade.line, grade.supplier.c_str(), grade.code.c_str());
    }
}

// Ends a build that failed: the database is left as it was before it.
void Abandon(int& status) {
    md_discard(MD_LOCAL);
    status = 0;
}

}  // namespace

void md_build_personal_database(const char* name, int length, int messages_flag, int& status,
                                MdAsciiFileReader read_ascii) {
    status = 1;
    const BuildMessages messages(messages_flag != 0);
    const std::string file =
        name == nullptr || length < 0 ? std::string() : std::string(name, length);
    if (file.empty() || !sypFileExists(file.c_str())) {
        status = 0;
        messages.Say("[MAKPDB - 1] Unable to Find ASC File", file);
        return;
    }
    if (!OpenLocal(messages)) {
        status = 0;
        return;
    }
    IndexText index;
    if (!index.Start(messages)) return Abandon(status);
    const MdAsciiResult read = read_ascii != nullptr ? read_ascii(file.c_str()) : MdAsciiResult{};
    MdIndexedGrades indexed;
    if (MD4RAX(file.c_str(), index.stream(), messages.on(), &indexed) != 0) {
        messages.Say("[MAKPDB - 6 ] Cannot Create Index Information", file);
        return Abandon(status);
    }
    NameUnindexed(read.grades, indexed);
    if (md_open_state(MD_STANDARD) != 0) md_close(MD_STANDARD);
    // The database layer says why a save failed.
    if (md_commit(MD_LOCAL) == 0) {
        status = 0;
        return;
    }
    if (!index.Save()) {
        messages.Say("[MAKPDB - 5] Cannot Close Index Information", kMdIndexFile);
        status = 0;
    }
}

void MAKPDB(const char* name, int length, int messages, int* status) {
    int built = 1;
    md_build_personal_database(name, length, messages, built,
                               [](const char* path) { return md_read_ascii_file(path); });
    if (status != nullptr) *status = built;
}
