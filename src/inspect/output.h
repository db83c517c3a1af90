// A buffered text sink over a C stream for the inspection tools: plain
// text, numbers in their shortest exact form and JSON strings. A failed
// write is remembered (with the system's reason) and reported by Finish.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

namespace tarnvel::inspect {

class Output {
  public:
    explicit Output(std::FILE* file) : file_(file) { buffer_.reserve(kFlushAt + 4096); }
    Output(const Output&) = delete;
    Output& operator=(const Output&) = delete;

    void Put(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kFlushAt) Flush();
    }
    void Put(char c) {
        buffer_.push_back(c);
        if (buffer_.size() >= kFlushAt) Flush();
    }
    void Integer(std::int64_t value);
    // The shortest text that reads back to the same double; "inf", "-inf"
    // and "nan" for the values that have no number form.
    void Number(double value);
    // The text as a JSON string (see AppendJsonString).
    void JsonString(std::string_view text);
    // Writes out what is buffered and flushes the stream; false when any
    // write failed.
    bool Finish();
    // The errno of the first failed write, 0 when none failed.
    int error() const { return error_; }

  private:
    static constexpr std::size_t kFlushAt = 64 * 1024;
    void Flush();

    std::FILE* file_;
    std::string buffer_;
    int error_ = 0;
};

// Appends the text as a quoted JSON string: quotation mark, backslash and
// control characters escaped, valid UTF-8 sequences as they are, and every
// other byte taken as the Latin-1 character of that number (so that no
// byte of a text is lost or replaced).
void AppendJsonString(std::string* out, std::string_view text);

// The shortest text that reads back to the same double (std::to_chars), or
// "inf", "-inf", "nan"; negative zero is "-0.0", which JSON parsers do not
// take for the integer 0.
std::string_view NumberText(double value, char (&buffer)[32]);

}  // namespace tarnvel::inspect
