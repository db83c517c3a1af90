#include "services/envlookup.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include <ini.h>

#ifndef TARNVEL_PRODUCT_TREE_FROM_BIN
#define TARNVEL_PRODUCT_TREE_FROM_BIN "../share/tarnvel"
#endif

namespace tarnvel::services {

const char kProductTreeFromProgram[] = TARNVEL_PRODUCT_TREE_FROM_BIN;

namespace {

// A non-empty environment value, or null.
const char* NonEmptyVariable(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : nullptr;
}

std::string JoinPath(const std::string& directory, std::string_view name) {
    std::string path = directory;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

bool IsDirectory(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
}

// The ini parser reads lines into a buffer of a fixed size (about 200
// bytes) and keeps only the first 49 characters of a section name, while
// values of up to kRegistryValueSize bytes and registry keys with long
// release texts must still be read. Such a line is handed to the parser
// with its section name or value replaced by a short marker, and the
// handler puts the text back; the parser's own rules decide everything
// else about the line. Lines are read up to kLongLineLength characters.
constexpr std::size_t kLongLineLength = 4096;
constexpr std::size_t kParserSectionLength = 49;
// A marker is kMarkerEdge, the decimal index of the kept text, kMarkerEdge.
constexpr char kMarkerEdge = '\x1f';
// The inline comment prefix of the parser, and the separators of a key.
constexpr char kInlineComment = ';';
constexpr std::string_view kKeySeparators = "=:";
constexpr std::string_view kBlanks = " \t\r\n\v\f";

struct IniReader {
    std::FILE* file;
    // The texts that markers stand for.
    std::vector<std::string> kept;

    std::string Mark(std::string_view text) {
        kept.emplace_back(text);
        return kMarkerEdge + std::to_string(kept.size() - 1) + kMarkerEdge;
    }

    // The text a marker stands for; any other text as it is.
    std::string_view Resolve(std::string_view text) const {
        if (text.size() < 3 || text.front() != kMarkerEdge || text.back() != kMarkerEdge) {
            return text;
        }
        std::size_t index = 0;
        const std::string_view digits = text.substr(1, text.size() - 2);
        const auto [end, error] =
            std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (error != std::errc() || end != digits.data() + digits.size() || index >= kept.size()) {
            return text;
        }
        return kept[index];
    }
};

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t start = text.find_first_not_of(kBlanks);
    if (start == std::string_view::npos) return {};
    return text.substr(start, text.find_last_not_of(kBlanks) - start + 1);
}

// Where an inline comment (the prefix after a blank) or one of chars comes
// first in text; the size of text when neither does.
std::size_t FindCharsOrComment(std::string_view text, std::string_view chars) {
    bool after_blank = false;
    for (std::size_t at = 0; at < text.size(); ++at) {
        if (chars.find(text[at]) != std::string_view::npos) return at;
        if (after_blank && text[at] == kInlineComment) return at;
        after_blank = kBlanks.find(text[at]) != std::string_view::npos;
    }
    return text.size();
}

// The line without its leading blanks.
std::string_view LineStart(std::string_view line) {
    return line.substr(std::min(line.find_first_not_of(kBlanks), line.size()));
}

// The name of a section header line, or nothing when the line is none.
std::optional<std::string_view> SectionName(std::string_view line) {
    const std::string_view start = LineStart(line);
    if (!start.starts_with('[')) return std::nullopt;
    const std::string_view rest = start.substr(1);
    const std::size_t close = FindCharsOrComment(rest, "]");
    if (close == rest.size() || rest[close] != ']') return std::nullopt;
    return rest.substr(0, close);
}

// The line handed to the parser in place of one it cannot take whole: a
// section header or a key with a marker for its name or value, indented as
// the line was (an indented line continues the key before it); empty
// (skipped) for a comment or a line that is neither.
std::string MarkedLine(IniReader& reader, std::string_view line) {
    const std::string_view start = LineStart(line);
    const std::string indent(line.substr(0, line.size() - start.size()));
    if (const std::optional<std::string_view> section = SectionName(line)) {
        return indent + "[" + reader.Mark(*section) + "]";
    }
    const std::size_t separator = FindCharsOrComment(start, kKeySeparators);
    if (separator == start.size() ||
        kKeySeparators.find(start[separator]) == std::string_view::npos) {
        return "";
    }
    std::string_view value = start.substr(separator + 1);
    value = TrimBlanks(value.substr(0, FindCharsOrComment(value, "")));
    return indent + std::string(start.substr(0, separator + 1)) + reader.Mark(value);
}

// One line of the file without its line end, cut to kLongLineLength
// characters; false at the end of the file.
bool ReadLine(std::FILE* file, std::string& line) {
    line.clear();
    int c = std::fgetc(file);
    if (c == EOF) return false;
    for (; c != EOF && c != '\n'; c = std::fgetc(file)) {
        if (line.size() < kLongLineLength) line.push_back(static_cast<char>(c));
    }
    return true;
}

// Hands the parser its next line (size bytes with the terminator).
char* ReadIniLine(char* buffer, int size, void* context) {
    IniReader& reader = *static_cast<IniReader*>(context);
    std::string line;
    if (size <= 0 || !ReadLine(reader.file, line)) return nullptr;
    const std::optional<std::string_view> section = SectionName(line);
    if (line.size() >= static_cast<std::size_t>(size) ||
        (section && section->size() > kParserSectionLength)) {
        line = MarkedLine(reader, line);
    }
    if (line.size() >= static_cast<std::size_t>(size)) line.clear();
    std::memcpy(buffer, line.data(), line.size());
    buffer[line.size()] = '\0';
    return buffer;
}

struct IniQuery {
    std::string_view section;
    std::string_view key;
    const IniReader* reader = nullptr;
    bool found = false;
    std::string value;
};

bool EqualNoCase(std::string_view text, std::string_view wanted) {
    return text.size() == wanted.size() &&
           ::strncasecmp(text.data(), wanted.data(), wanted.size()) == 0;
}

int CollectIniValue(void* user, const char* section, const char* name, const char* value) {
    IniQuery& query = *static_cast<IniQuery*>(user);
    if (!query.found && EqualNoCase(query.reader->Resolve(section), query.section) &&
        EqualNoCase(name, query.key)) {
        query.found = true;
        query.value = query.reader->Resolve(value);
    }
    return 1;
}

bool IsNameStart(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) || c == '_';
}
bool IsNameChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_';
}

// The length of the reference at the start of text and its variable name,
// or 0 when text does not start with one.
std::size_t ReferenceAt(std::string_view text, std::string& name) {
    std::size_t end = 0;
    std::size_t name_start = 0;
    if (text.starts_with("${")) {
        name_start = 2;
        end = text.find('}', name_start);
        if (end == std::string_view::npos) return 0;
        name.assign(text.substr(name_start, end - name_start));
        return name.empty() ? 0 : end + 1;
    }
    if (text.starts_with('$')) {
        if (text.size() < 2 || !IsNameStart(text[1])) return 0;
        end = 2;
        while (end < text.size() && IsNameChar(text[end])) ++end;
        name.assign(text.substr(1, end - 1));
        return end;
    }
    if (text.starts_with('%')) {
        end = text.find('%', 1);
        if (end == std::string_view::npos || end == 1) return 0;
        name.assign(text.substr(1, end - 1));
        return end + 1;
    }
    return 0;
}

}  // namespace

std::string IniValue(const std::string& path, std::string_view section, std::string_view key) {
    if (path.empty()) return "";
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr) return "";
    std::string value = IniValueIn(file, section, key);
    std::fclose(file);
    return value;
}

std::string IniValueIn(std::FILE* file, std::string_view section, std::string_view key) {
    IniReader reader{file, {}};
    IniQuery query{section, key, &reader, false, ""};
    ini_parse_stream(ReadIniLine, &reader, CollectIniValue, &query);
    return query.value;
}

std::string ExpandReferences(std::string_view text) {
    std::string expanded;
    std::string name;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = ReferenceAt(text.substr(at), name);
        const char* value = length > 0 ? std::getenv(name.c_str()) : nullptr;
        if (value != nullptr) {
            expanded += value;
            at += length;
        } else {
            expanded += text[at++];
        }
    }
    return expanded;
}

std::string DocumentsFolder(const char* home) {
    std::string folder;
    if (const char* documents = NonEmptyVariable("XDG_DOCUMENTS_DIR")) {
        folder = documents;
    } else if (home != nullptr && *home != '\0') {
        folder = JoinPath(home, "Documents");
    } else {
        return "";
    }
    if (!IsDirectory(folder)) ::mkdir(folder.c_str(), 0777);
    return IsDirectory(folder) ? folder : "";
}

std::string ResolveDocumentsMarker(const std::string& value, const char* home) {
    const std::size_t marker = value.find(kDocumentsMarker);
    if (marker == std::string::npos) return value;
    const std::size_t separator = marker + std::strlen(kDocumentsMarker);
    if (separator >= value.size() || (value[separator] != '\\' && value[separator] != '/')) {
        return value;
    }
    const std::string folder = DocumentsFolder(home);
    if (folder.empty()) return value;
    const std::string_view rest = std::string_view(value).substr(separator + 1);
    return rest.empty() ? folder : JoinPath(folder, rest);
}

std::string UserRegistryPath() {
    if (const char* named = NonEmptyVariable("TARNVEL_USER_REGISTRY")) return named;
    if (const char* config = NonEmptyVariable("XDG_CONFIG_HOME")) {
        return JoinPath(config, "brenmoor/registry.ini");
    }
    if (const char* home = NonEmptyVariable("HOME")) {
        return JoinPath(home, ".config/brenmoor/registry.ini");
    }
    return "";
}

std::string MachineRegistryPath() {
    if (const char* named = NonEmptyVariable("TARNVEL_MACHINE_REGISTRY")) return named;
    return "/etc/brenmoor/registry.ini";
}

std::string ExecutablePath() {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) return "";
        if (static_cast<std::size_t>(length) < buffer.size()) {
            return std::string(buffer.data(), static_cast<std::size_t>(length));
        }
        buffer.resize(buffer.size() * 2);
    }
}

std::string ExecutableDirectory() {
    const std::string path = ExecutablePath();
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

std::string ModulePath() {
    const char* module = NonEmptyVariable("VTSYS_TERNWAY_MODULE");
    if (module != nullptr && IsRegularFile(module)) return module;
    return ExecutablePath();
}

std::string ModuleIniPath() {
    const std::string module = ModulePath();
    return module.empty() ? "" : module + ".ini";
}

std::string ProductTreeBesideModule() {
    const std::string module = ModulePath();
    const std::size_t slash = module.rfind('/');
    if (slash == std::string::npos) return "";
    const std::string tree = module.substr(0, slash + 1) + kProductTreeFromProgram;
    char canonical[PATH_MAX];
    if (::realpath(tree.c_str(), canonical) == nullptr || !IsDirectory(canonical)) return "";
    return canonical;
}

std::string FromFirstDigit(const char* text, std::size_t max_length) {
    if (text == nullptr) return "";
    const char* digit = std::strpbrk(text, "0123456789");
    if (digit == nullptr) return "";
    return std::string(digit, strnlen(digit, max_length));
}

}  // namespace tarnvel::services
