// A JSON writer that emits a document as it goes, into an Output: the
// caller opens and closes objects and arrays and hands in members and
// values; commas, indentation and escaping are the writer's. Nothing of the
// document is held in memory beyond the nesting of the open containers.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "inspect/output.h"

namespace tarnvel::inspect {

class JsonWriter {
  public:
    explicit JsonWriter(Output& out) : out_(out) {}

    void BeginObject() { Open('{', false); }
    void EndObject() { Close('}'); }
    // An array whose elements go on one line (flat) or one per line.
    void BeginArray(bool flat = false) { Open('[', flat); }
    void EndArray() { Close(']'); }
    // The name of the next member of the open object.
    void Key(std::string_view name);
    void String(std::string_view text);
    // A number in its shortest exact form; the strings "inf", "-inf" and
    // "nan" for the values JSON has no number for.
    void Number(double value);
    void Integer(std::int64_t value);
    // A flat array of numbers (as Number writes each).
    void NumberArray(std::span<const double> values);
    void Bool(bool value);
    void Null();
    // Ends the document with a line feed.
    void EndDocument() { out_.Put('\n'); }

  private:
    struct Level {
        bool flat;
        bool empty;
    };
    void Open(char bracket, bool flat);
    void Close(char bracket);
    // The comma and line break before a value or member.
    void Separate();

    Output& out_;
    std::vector<Level> levels_;
    bool after_key_ = false;
};

}  // namespace tarnvel::inspect
