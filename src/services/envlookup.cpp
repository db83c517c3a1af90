#include "services/envlookup.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <ini.h>

namespace tarnvel::services {
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

// The ini parser reads at most a fixed number of bytes per line. A longer
// line would come back in pieces and its tail would read as a line of its
// own, so the reader swallows the rest of such a line and hands the parser
// an empty line in its place.
char* ReadWholeLine(char* buffer, int size, void* stream) {
    std::FILE* file = static_cast<std::FILE*>(stream);
    if (std::fgets(buffer, size, file) == nullptr) return nullptr;
    const std::size_t length = std::strlen(buffer);
    if (length == 0 || buffer[length - 1] == '\n') return buffer;
    int c = std::fgetc(file);
    if (c == EOF || c == '\n') return buffer;  // the line just fitted
    while (c != EOF && c != '\n') c = std::fgetc(file);
    buffer[0] = '\0';
    return buffer;
}

struct IniQuery {
    std::string_view section;
    std::string_view key;
    bool found = false;
    std::string value;
};

bool EqualNoCase(const char* text, std::string_view wanted) {
    return std::strlen(text) == wanted.size() &&
           ::strncasecmp(text, wanted.data(), wanted.size()) == 0;
}

int CollectIniValue(void* user, const char* section, const char* name, const char* value) {
    IniQuery& query = *static_cast<IniQuery*>(user);
    if (!query.found && EqualNoCase(section, query.section) && EqualNoCase(name, query.key)) {
        query.found = true;
        query.value = value;
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
    IniQuery query{section, key, false, ""};
    ini_parse_stream(ReadWholeLine, file, CollectIniValue, &query);
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

std::string ModuleIniPath() {
    const char* module = NonEmptyVariable("VTSYS_TERNWAY_MODULE");
    if (module != nullptr && IsRegularFile(module)) return std::string(module) + ".ini";
    const std::string executable = ExecutablePath();
    return executable.empty() ? "" : executable + ".ini";
}

std::string FromFirstDigit(const char* text, std::size_t max_length) {
    if (text == nullptr) return "";
    const char* digit = std::strpbrk(text, "0123456789");
    if (digit == nullptr) return "";
    return std::string(digit, strnlen(digit, max_length));
}

}  // namespace tarnvel::services
