// Feeds arbitrary bytes to the keyword file reader as a file and as text in
// memory. Whatever the content, a record comes back whose texts are
// terminated within their fields and free of outer blanks, and both roads
// give the same record.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "material/asc_reader.h"

namespace {

using tarnvel::material::kMaxTextLength;
using tarnvel::material::kRecordTextFields;
using tarnvel::material::MAscReader;
using tarnvel::material::MaterialRecord;
using tarnvel::material::RecordText;
using tarnvel::material::TextOf;

void CheckTexts(const MaterialRecord& record) {
    for (RecordText MaterialRecord::*field : kRecordTextFields) {
        const RecordText& text = record.*field;
        const std::string_view view = TextOf(text);
        if (view.size() > kMaxTextLength || text[view.size()] != '\0') std::abort();
        if (!view.empty() && (view.front() == ' ' || view.back() == ' ')) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    char path[] = "/tmp/ascreader_fuzz_XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 0;
    std::size_t written = 0;
    while (written < size) {
        const ssize_t n = write(fd, data + written, size - written);
        if (n <= 0) break;
        written += static_cast<std::size_t>(n);
    }
    close(fd);

    const auto record = MAscReader().Read(path);
    if (record == nullptr) std::abort();
    CheckTexts(*record);
    const std::string log = std::string(path) + "_memory_log";
    const auto from_text = MAscReader().ReadText(
        std::string_view(reinterpret_cast<const char*>(data), size), log.c_str());
    if (from_text == nullptr ||
        std::memcmp(record.get(), from_text.get(), sizeof(MaterialRecord)) != 0)
        std::abort();
    std::remove(log.c_str());

    std::remove(path);
    std::remove((std::string(path) + tarnvel::material::kKeywordLogSuffix).c_str());
    return 0;
}
