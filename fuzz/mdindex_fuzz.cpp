// Feeds arbitrary bytes to the index build as an ASCII material file.
// Whatever the content, the result is one of the documented values and
// every index line written has the fixed record layout.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "matdb/md_index.h"

namespace {

// A bar, seven fields of 8, 6, 10, 50, 50, 50 and 80 characters, each
// closed by a bar, and the line feed.
constexpr std::size_t kIndexLineLength = 1 + 8 + 6 + 10 + 50 + 50 + 50 + 80 + 7 + 1;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char path[] = "/tmp/mdindex_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    close(fd);

    std::FILE* index = std::tmpfile();
    if (index == nullptr) {
        std::remove(path);
        return 0;
    }
    const int result = MD4RAX(path, index, false);
    if (result > 0 || result < -10 || result == -4) std::abort();
    std::rewind(index);
    std::string text;
    for (int c; (c = std::fgetc(index)) != EOF;) text += static_cast<char>(c);
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = text.find('\n', start);
        if (end == std::string::npos || end + 1 - start != kIndexLineLength) std::abort();
        if (text[start] != '|' || text[end - 1] != '|') std::abort();
        start = end + 1;
    }
    std::fclose(index);
    std::remove(path);
    return 0;
}
