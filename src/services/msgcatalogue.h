// The records of a message file and their reader, and the formatter that
// turns a record with its strings and values into text. The process-wide
// catalogue of msgvw.cpp is built from these.
#pragma once

#include <cstddef>
#include <cstdio>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarnvel::services {

// The longest line of a message file, in characters; longer lines are cut.
inline constexpr std::size_t kMsgMaxLine = 1023;
// The value of a header field that is not given.
inline constexpr int kMsgFieldMissing = -1;

// One message of the catalogue.
class msgClass {
  public:
    msgClass() = default;
    msgClass(const msgClass&) = default;
    msgClass(msgClass&&) = default;
    msgClass& operator=(const msgClass&) = default;
    msgClass& operator=(msgClass&&) = default;
    virtual ~msgClass() = default;

    // The sections of the text. The body is handed out whole; the row
    // section, the trailer and the units section start one character after
    // the line feed that ends the section before them.
    std::string_view body() const;
    std::string_view rowSection() const;
    std::string_view trailer() const;
    std::string_view unitsSection() const;

    // Header field 1: the message number.
    int number = kMsgFieldMissing;
    // Header field 2: lines of the body section.
    int body_lines = 0;
    // Header field 3: lines of the row section.
    int row_lines = kMsgFieldMissing;
    // Header field 4: lines of the trailer section.
    int trailer_lines = kMsgFieldMissing;
    // Header field 5: numeric values that precede the rows.
    int leading_values = kMsgFieldMissing;
    // Header field 6: numeric values consumed by one row.
    int values_per_row = 0;
    // Header field 7, at least 1.
    int width = 1;
    // Header field 8, at least 0; bit 0 set means the text is shown.
    int flags = 0;
    // Every line after the header, each followed by "\n".
    std::string text;
    // Offsets into text just past the last "\n" of the body, row and
    // trailer sections.
    std::size_t body_end = 0;
    std::size_t row_end = 0;
    std::size_t trailer_end = 0;
    // Value placeholders of the three sections; -1 until first counted.
    int placeholder_count = -1;
};

// The records of a message file in file order, and the first record of
// each number.
class MessageCatalogue {
  public:
    // Reads every record of the stream (replacing what was held). Records
    // whose header lacks field 2 or 6, or whose text is shorter than their
    // sections, are left out; faults (when given) receives a description of
    // each with the line of its header.
    void read(std::FILE* file, std::vector<std::string>* faults = nullptr);
    // The first record with the number, or null.
    msgClass* find(int number);
    std::size_t size() const { return records_.size(); }
    // The records in file order (first records of their numbers or not).
    msgClass& record(std::size_t index) { return records_[index]; }
    void clear();

  private:
    std::vector<msgClass> records_;
    std::map<int, std::size_t> first_by_number_;
};

// What a message is formatted with.
struct MessageArguments {
    std::span<const float> values;
    std::span<const char* const> strings;
    // The unit system that unit placeholders show values in.
    const char* units_system = "METRIC";
};

// The text of a record formatted with the arguments (strings and values are
// consumed left to right across body, rows and trailer), or nothing when
// rows are due but the record has no row section (reported on stderr).
std::optional<std::string> msgFormatRecord(msgClass& record, const MessageArguments& arguments);

}  // namespace tarnvel::services
