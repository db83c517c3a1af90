#include "inspect/model_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tarnvel::inspect {
namespace {

constexpr std::array<const char*, UDM_CLASS_COUNT> kClassKeywords = {
    "COLR", "LYER", "TSET", "VIEW", "NODE", "TEXT", "1DET", "TRI3", "CURV", "SURF",
    "REGN", "NDBC", "SUBC", "CTPL", "LOCS", "TET4", "STLR", "BLOB", "WEDG", "INTE"};

struct Encoding {
    int number;
    const char* name;
};
constexpr std::array<Encoding, 4> kEncodings = {{
    {1, "text"},
    {5, "gzip text"},
    {7, "scrambled compressed text"},
    {8, "packed"},
}};

const char* ReadFailure(int status) {
    switch (status) {
        case UDM_BAD_ARGUMENT:
            return "not a UDM file in an encoding that can be read";
        case UDM_PARSE_FAILED:
            return "the file could not be parsed";
        case UDM_NO_MEMORY:
            return "memory exhausted";
        default:
            return "the file could not be read";
    }
}

// Opens the input; null with a message when it cannot be, or when it is a
// directory (which opens, but holds no bytes to read).
std::FILE* OpenInput(const std::string& path, std::string* message) {
    if (path == "-") return stdin;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *message = "cannot open " + InputName(path) + ": " + std::strerror(errno);
        return nullptr;
    }
    struct stat status {};
    if (fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode)) {
        std::fclose(file);
        *message = "cannot read " + InputName(path) + ": it is a directory";
        return nullptr;
    }
    return file;
}

std::string Dropped(const std::string& path, int dropped) {
    return InputName(path) + ": " + std::to_string(dropped) + " construct" +
           (dropped == 1 ? "" : "s") + " dropped, first at " + udm_read_first_message();
}

}  // namespace

std::string InputName(const std::string& path) {
    return path == "-" ? std::string("the standard input") : "'" + path + "'";
}

ModelFile::~ModelFile() {
    if (model_ != nullptr) udm_model_destroy(&model_);
}

bool ModelFile::Load(const std::string& path, bool lenient, std::string* message) {
    std::FILE* file = OpenInput(path, message);
    if (file == nullptr) return false;
    const bool loaded = LoadStream(file, path, lenient, message);
    if (file != stdin) std::fclose(file);
    return loaded;
}

bool ModelFile::LoadStream(std::FILE* file, const std::string& path, bool lenient,
                           std::string* message) {
    if (model_ != nullptr) udm_model_destroy(&model_);
    int status = udm_model_open(nullptr, UDM_MODE_AS_LOADED, &model_);
    if (status == UDM_OK) status = udm_model_read_file(file, path.c_str(), UDM_MODE_AS_LOADED);
    encoding_ = udm_read_encoding();
    const int dropped = udm_read_dropped_count();
    if (status != UDM_OK) {
        *message = "cannot read " + InputName(path) + ": status " + std::to_string(status) + ": " +
                   ReadFailure(status);
        if (dropped > 0) *message += std::string(", at ") + udm_read_first_message();
        return false;
    }
    if (dropped > 0) {
        if (!lenient) {
            *message = "cannot read " + Dropped(path, dropped);
            return false;
        }
        warning_ = Dropped(path, dropped);
    }
    return true;
}

const char* ClassKeyword(int entity_class) {
    return entity_class >= 0 && entity_class < UDM_CLASS_COUNT ? kClassKeywords[entity_class] : "?";
}

const char* EncodingName(int encoding) {
    for (const Encoding& known : kEncodings) {
        if (known.number == encoding) return known.name;
    }
    return "unknown";
}

std::array<TitleSlot, 6> TitleOfCurrent() {
    const auto text = [](int slot) {
        const char* value = udm_title_text(slot);
        return std::string(value != nullptr ? value : "");
    };
    const int version = udm_model_current() != nullptr ? udm_file_version() : 0;
    return {{
        {"NAME", text(UDM_TITLE_NAME)},
        {"VRSN", text(UDM_TITLE_VRSN)},
        {"KEYW", text(UDM_TITLE_KEYW)},
        {"DATE", text(UDM_TITLE_DATE)},
        {"TIME", text(UDM_TITLE_TIME)},
        {"UDMV", version > 0 ? "UDM V" + std::to_string(version) : std::string()},
    }};
}

std::vector<GlobalEntry> GlobalsOfCurrent() {
    std::vector<GlobalEntry> entries;
    udm_global_visit(
        [](const char* group, const char* key, const char* value, void* context) {
            static_cast<std::vector<GlobalEntry>*>(context)->push_back({group, key, value});
        },
        &entries);
    return entries;
}

std::vector<SetRef> SetsOfCurrent() {
    std::vector<SetRef> sets;
    ForEachSet([&](const SetRef& set) { sets.push_back(set); });
    return sets;
}

int CodeCount(const UdmTset* tset) {
    int count = 0;
    for (const UdmTcod* tcod = tset->codes; tcod != nullptr; tcod = tcod->next) ++count;
    return count;
}

}  // namespace tarnvel::inspect
