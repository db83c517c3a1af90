#include "inspect/json_writer.h"

#include <algorithm>
#include <cmath>

namespace tarnvel::inspect {
namespace {
constexpr std::string_view kIndent = "                                ";
}  // namespace

void JsonWriter::Separate() {
    if (after_key_) {
        after_key_ = false;
        return;
    }
    if (levels_.empty()) return;
    Level& level = levels_.back();
    if (!level.empty) out_.Put(',');
    level.empty = false;
    if (level.flat) return;
    out_.Put('\n');
    out_.Put(kIndent.substr(0, std::min(kIndent.size(), 2 * levels_.size())));
}

void JsonWriter::Open(char bracket, bool flat) {
    Separate();
    out_.Put(bracket);
    // Inside a flat container everything stays on its line.
    const bool inherited = !levels_.empty() && levels_.back().flat;
    levels_.push_back({flat || inherited, true});
}

void JsonWriter::Close(char bracket) {
    const Level level = levels_.back();
    levels_.pop_back();
    if (!level.flat && !level.empty) {
        out_.Put('\n');
        out_.Put(kIndent.substr(0, std::min(kIndent.size(), 2 * levels_.size())));
    }
    out_.Put(bracket);
}

void JsonWriter::Key(std::string_view name) {
    Separate();
    out_.JsonString(name);
    out_.Put(levels_.back().flat ? ":" : ": ");
    after_key_ = true;
}

void JsonWriter::String(std::string_view text) {
    Separate();
    out_.JsonString(text);
}

void JsonWriter::Number(double value) {
    Separate();
    if (std::isfinite(value)) {
        out_.Number(value);
    } else {
        out_.Put('"');
        out_.Number(value);
        out_.Put('"');
    }
}

void JsonWriter::NumberArray(std::span<const double> values) {
    Separate();
    out_.Put('[');
    for (std::size_t n = 0; n < values.size(); ++n) {
        if (n > 0) out_.Put(',');
        if (std::isfinite(values[n])) {
            out_.Number(values[n]);
        } else {
            out_.Put('"');
            out_.Number(values[n]);
            out_.Put('"');
        }
    }
    out_.Put(']');
}

void JsonWriter::Integer(std::int64_t value) {
    Separate();
    out_.Integer(value);
}

void JsonWriter::Bool(bool value) {
    Separate();
    out_.Put(value ? "true" : "false");
}

void JsonWriter::Null() {
    Separate();
    out_.Put("null");
}

}  // namespace tarnvel::inspect
