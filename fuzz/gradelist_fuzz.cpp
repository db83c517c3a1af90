// Feeds arbitrary bytes to the grade list reader as a file. Whatever the
// content, every grade read is a pair of words free of separators, and no
// more grades are read than the list has lines.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/rax_pipeline.h"

namespace {

using tarnvel::driver::MaterialDatabase;
using tarnvel::driver::MRaxToUdb;

bool IsWord(const std::string& text) {
    return !text.empty() && text.find_first_of("| \t\r\n") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char path[] = "/tmp/gradelist_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 0;
    std::size_t written = 0;
    std::size_t lines = 0;
    for (std::size_t i = 0; i < size; ++i) lines += data[i] == '\n';
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    close(fd);

    MRaxToUdb reader(MaterialDatabase{}, "");
    MRaxToUdb* pipeline = &reader;
    std::string supplier;
    std::string grade;
    std::size_t read = 0;
    while (pipeline->ReadGradeLine(path, supplier, grade)) {
        if (!IsWord(supplier) || !IsWord(grade) || ++read > lines) std::abort();
    }
    if (!supplier.empty() || !grade.empty()) std::abort();
    if (pipeline->GradeCount() < 0 || static_cast<std::size_t>(pipeline->GradeCount()) > lines) {
        std::abort();
    }
    std::remove(path);
    return 0;
}
