// Feeds arbitrary bytes to the CSV link table reader as a file, under both
// value rules. Whatever the content, every entry has a non-empty key free of
// key separators and a value free of value separators, and no line longer
// than the limit contributes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "convert/csv_table.h"

namespace {

using tarnvel::convert::CsvTable;
using tarnvel::convert::CsvValueRule;
using tarnvel::convert::kCsvMaxLineLength;

bool HasAny(std::string_view text, std::string_view characters) {
    return text.find_first_of(characters) != std::string_view::npos;
}

void Check(const CsvTable& table, CsvValueRule rule) {
    const std::string_view key_separators(",\r\n\t\"{}\0", 8);
    const std::string_view value_separators =
        rule == CsvValueRule::kRestOfField ? std::string_view("\r\n\t\"{}\0", 7) : key_separators;
    for (const auto& [key, value] : table.entries()) {
        if (key.empty() || HasAny(key, key_separators)) std::abort();
        if (HasAny(value, value_separators)) std::abort();
        if (key.size() + value.size() > kCsvMaxLineLength) std::abort();
        if (rule == CsvValueRule::kSecondField && value.empty()) std::abort();
        if (table.Find(key) != value) std::abort();
    }
}

void ReadAndCheck(const std::uint8_t* data, std::size_t size, CsvValueRule rule) {
    std::FILE* stream =
        size == 0 ? std::tmpfile() : fmemopen(const_cast<std::uint8_t*>(data), size, "r");
    if (stream == nullptr) return;
    CsvTable table(rule);
    table.Read(stream);
    std::fclose(stream);
    Check(table, rule);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReadAndCheck(data, size, CsvValueRule::kRestOfField);
    ReadAndCheck(data, size, CsvValueRule::kSecondField);
    return 0;
}
