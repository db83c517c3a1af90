#include "matdb/rax_records.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstring>

namespace tarnvel::matdb {

int DefaultRecordLength(RaxFileKind kind) {
    switch (kind) {
        case RaxFileKind::kSupplier:
            return kSupplierRecordLength;
        case RaxFileKind::kGrade:
            return kGradeRecordLength;
        case RaxFileKind::kData:
            break;
    }
    return kDataRecordLength;
}

std::uint32_t ReverseBytes(std::uint32_t word) {
    return (word >> 24) | ((word >> 8) & 0xff00u) | ((word << 8) & 0xff0000u) | (word << 24);
}

std::int32_t GetWord(std::span<const std::uint8_t> record, int offset, bool swapped) {
    std::uint32_t word = 0;
    std::memcpy(&word, record.data() + offset, sizeof word);
    if (swapped) word = ReverseBytes(word);
    return static_cast<std::int32_t>(word);
}

void PutWord(std::span<std::uint8_t> record, int offset, std::int32_t value, bool swapped) {
    std::uint32_t word = static_cast<std::uint32_t>(value);
    if (swapped) word = ReverseBytes(word);
    std::memcpy(record.data() + offset, &word, sizeof word);
}

namespace {

// A word of a record: its byte offset and the member that holds it. Each
// record's encode and decode walk one table, so the two cannot disagree.
template <class Record>
struct WordField {
    int offset;
    std::int32_t Record::*member;
};

template <class Record, std::size_t N>
void PutWords(const Record& source, const std::array<WordField<Record>, N>& fields,
              std::span<std::uint8_t> record, bool swapped) {
    for (const WordField<Record>& field : fields) {
        PutWord(record, field.offset, source.*field.member, swapped);
    }
}

template <class Record, std::size_t N>
void GetWords(Record& target, const std::array<WordField<Record>, N>& fields,
              std::span<const std::uint8_t> record, bool swapped) {
    for (const WordField<Record>& field : fields) {
        target.*field.member = GetWord(record, field.offset, swapped);
    }
}

using H = HeaderRecord;
constexpr std::array<WordField<H>, 6> kHeaderWords = {{
    {H::kNextFreeOffset, &H::next_free},
    {H::kAllocatedOffset, &H::allocated},
    {H::kGenerationOffset, &H::generation},
    {H::kLimitOffset, &H::record_limit},
    {H::kMagicOffset, &H::magic},
    {H::kRecordLengthOffset, &H::record_length},
}};

using S = SupplierRecord;
constexpr std::array<WordField<S>, 4> kSupplierWords = {{
    {S::kNextOffset, &S::next},
    {S::kFirstGradeOffset, &S::first_grade},
    {S::kCountOffset, &S::grade_count},
    {S::kCountCopyOffset, &S::grade_count_copy},
}};

using G = GradeRecord;
constexpr std::array<WordField<G>, 5> kGradeWords = {{
    {G::kNextOffset, &G::next},
    {G::kPrimaryOffset, &G::primary},
    {G::kLinkSupplierOffset, &G::link_supplier},
    {G::kLinkGradeOffset, &G::link_grade},
    {G::kExtendedOffset, &G::extended},
}};

}  // namespace

void HeaderRecord::EncodeTo(std::span<std::uint8_t> record, bool swapped) const {
    std::fill(record.begin(), record.end(), 0);
    PutWords(*this, kHeaderWords, record, swapped);
}

HeaderRecord HeaderRecord::DecodeFrom(std::span<const std::uint8_t> record, bool swapped) {
    HeaderRecord header;
    GetWords(header, kHeaderWords, record, swapped);
    return header;
}

namespace {

std::string_view FieldText(const char* field, std::size_t width) {
    const char* end = static_cast<const char*>(std::memchr(field, '\0', width));
    return std::string_view(field, end != nullptr ? static_cast<std::size_t>(end - field) : width);
}

// Copies text into a fixed field, blank-padded on the right and cut to fit.
template <std::size_t N>
void FillField(std::array<char, N>& field, std::string_view text) {
    field.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), N), field.begin());
}

}  // namespace

std::string_view SupplierRecord::NameField() const {
    return FieldText(name.data(), name.size());
}

bool SupplierRecord::IsEmpty() const {
    return name[0] == '#' || name[0] == ' ' || name[0] == '\0';
}

void SupplierRecord::SetName(std::string_view text) {
    FillField(name, text);
}

void SupplierRecord::EncodeTo(std::span<std::uint8_t> record, bool swapped) const {
    std::fill(record.begin(), record.end(), 0);
    std::memcpy(record.data(), name.data(), name.size());
    PutWords(*this, kSupplierWords, record, swapped);
}

SupplierRecord SupplierRecord::DecodeFrom(std::span<const std::uint8_t> record, bool swapped) {
    SupplierRecord supplier;
    std::memcpy(supplier.name.data(), record.data(), supplier.name.size());
    GetWords(supplier, kSupplierWords, record, swapped);
    return supplier;
}

std::string_view GradeRecord::TextField() const {
    return FieldText(text.data(), text.size());
}

void GradeRecord::SetText(std::string_view code, std::string_view description) {
    // "%-6s %-73s", then cut to the field.
    std::string line(code);
    if (line.size() < kGradeCodeWidth) line.resize(kGradeCodeWidth, ' ');
    line += ' ';
    line += description;
    FillField(text, line);
}

void GradeRecord::EncodeTo(std::span<std::uint8_t> record, bool swapped) const {
    std::fill(record.begin(), record.end(), 0);
    std::memcpy(record.data(), text.data(), text.size());
    PutWords(*this, kGradeWords, record, swapped);
}

GradeRecord GradeRecord::DecodeFrom(std::span<const std::uint8_t> record, bool swapped) {
    GradeRecord grade;
    std::memcpy(grade.text.data(), record.data(), grade.text.size());
    GetWords(grade, kGradeWords, record, swapped);
    return grade;
}

void DataRecord::EncodeTo(std::span<std::uint8_t> record, bool swapped) const {
    for (int i = 0; i < kPayloadWords; ++i) PutWord(record, 4 * i, payload[i], swapped);
    PutWord(record, 4 * kPayloadWords, next, swapped);
}

DataRecord DataRecord::DecodeFrom(std::span<const std::uint8_t> record, bool swapped) {
    DataRecord data;
    for (int i = 0; i < kPayloadWords; ++i) data.payload[i] = GetWord(record, 4 * i, swapped);
    data.next = GetWord(record, 4 * kPayloadWords, swapped);
    return data;
}

std::string_view Trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::string_view FirstWord(std::string_view field) {
    field = FieldText(field.data(), field.size());
    while (!field.empty() && field.front() == ' ') field.remove_prefix(1);
    return field.substr(0, field.find(' '));
}

std::string Upper(std::string_view text) {
    std::string upper(text);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) ==
                      std::toupper(static_cast<unsigned char>(y));
           });
}

}  // namespace tarnvel::matdb
