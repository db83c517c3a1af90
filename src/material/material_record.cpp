#include "material/material_record.h"

#include <algorithm>
#include <cstring>

namespace tarnvel::material {
namespace {

// Removes leading and trailing blanks (spaces only, not other white space).
void TrimBlanks(RecordText& field) {
    std::string_view text = TextOf(field);
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) {
        field[0] = '\0';
        return;
    }
    const std::size_t last = text.find_last_not_of(' ');
    const std::size_t length = last - first + 1;
    std::memmove(field.data(), field.data() + first, length);
    field[length] = '\0';
}

void ReplaceUnknown(RecordText& field, const RecordText& replacement) {
    if (TextOf(field).find(kUnknownText) != std::string_view::npos) field = replacement;
}

}  // namespace

std::string_view TextOf(const RecordText& field) {
    const auto end = std::find(field.begin(), field.begin() + kMaxTextLength, '\0');
    return std::string_view(field.data(), static_cast<std::size_t>(end - field.begin()));
}

void SetText(RecordText& field, std::string_view value) {
    const std::size_t length = std::min(value.size(), kMaxTextLength);
    std::memcpy(field.data(), value.data(), length);
    field[length] = '\0';
}

void AppendText(RecordText& field, std::string_view value) {
    const std::size_t used = TextOf(field).size();
    const std::size_t length = std::min(value.size(), kMaxTextLength - used);
    std::memcpy(field.data() + used, value.data(), length);
    field[used + length] = '\0';
}

void ApplyFinalRules(MaterialRecord& record) {
    for (RecordText MaterialRecord::*field : kRecordTextFields) TrimBlanks(record.*field);
    ReplaceUnknown(record.manufacturer, record.supplier);
    ReplaceUnknown(record.tradeName, record.grade);
}

}  // namespace tarnvel::material
