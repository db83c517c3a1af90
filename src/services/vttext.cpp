// File and text helpers of the material database modules.
#include "services/vttext.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "services/libvxenv.h"
#include "services/vtout.h"

namespace {

constexpr std::size_t kMaxDataPath = 255;

int line_number = 1;

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    std::string copy(text.substr(first));
    while (!copy.empty() && IsSpace(copy.back())) copy.pop_back();
    return Upper(copy);
}

}  // namespace

std::FILE* vtOpenFile(const char* path, const char* mode) {
    if (mode[0] == 'i') ++mode;
    errno = 0;
    std::FILE* stream = std::fopen(path, mode);
    if (stream == nullptr) {
        const std::string line = std::string("Could not open ") + path + " for " +
                                 (std::strchr(mode, 'r') != nullptr ? "reading" : "writing") +
                                 ": " + std::strerror(errno);
        vtOutPrintLine(line);
    }
    return stream;
}

void vtDataPath(std::span<char> buffer, int* length) {
    const char* value = std::getenv("VTPATH");
    std::string path = value != nullptr ? value : "";
    if (path.size() > kMaxDataPath) path.clear();
    while (!path.empty() && static_cast<unsigned char>(path.back()) <= ' ') path.pop_back();
    if (path.empty()) {
        const char* data = envGetValue("PRODUCT_DAT");
        path = data != nullptr ? data : "";
    }
    if (!path.empty() && path.back() != '/') path += '/';
    *length = 0;
    if (buffer.empty()) return;
    if (path.size() >= buffer.size()) path.clear();
    std::fill(buffer.begin(), buffer.end(), '\0');
    std::copy(path.begin(), path.end(), buffer.begin());
    *length = static_cast<int>(path.size());
}

std::string vtTrimUpperCopy(std::string_view text, std::size_t max_length) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    std::string copy(text.substr(first, max_length));
    while (!copy.empty() && IsSpace(copy.back())) copy.pop_back();
    return Upper(copy);
}

bool vtSameWord(std::string_view first, std::string_view second) {
    return Trimmed(first) == Trimmed(second);
}

bool vtWordPrefix(std::string_view prefix, std::string_view text) {
    return Trimmed(text).starts_with(Trimmed(prefix));
}

int vtReadLine(std::FILE* stream, std::span<char> buffer) {
    if (buffer.empty()) return 0;
    ++line_number;
    std::size_t used = 0;
    int c;
    while ((c = std::getc(stream)) != EOF && c != '\n') {
        if (used + 1 < buffer.size()) buffer[used++] = static_cast<char>(c);
    }
    buffer[used] = '\0';
    return c == EOF && used == 0 ? 0 : 1;
}

int vtReadLineBounded(std::FILE* stream, std::span<char> buffer, int max) {
    max = std::min<int>(max, static_cast<int>(buffer.size()) - 1);
    if (max < 0) return 0;
    int used = 0;
    int c = 0;
    while (used < max && (c = std::getc(stream)) != EOF && c != '\n') {
        buffer[used++] = static_cast<char>(c);
    }
    buffer[used] = '\0';
    if (used == max && c != '\n') {
        // The maximum came first, unless the line feed follows at once.
        c = std::getc(stream);
        if (c == '\n') {
            ++line_number;
            return 1;
        }
        if (c == EOF) return used == 0 ? 0 : 1;
        std::ungetc(c, stream);
        return 2;
    }
    if (c == '\n') {
        ++line_number;
        return 1;
    }
    return used == 0 ? 0 : 1;
}

int vtLineNumber() {
    return line_number;
}

void vtSetLineNumber(int line) {
    line_number = line;
}

void vtCountLine() {
    ++line_number;
}
