// Record layouts of the three RAX database files, each with its encoding
// and decoding side by side. Every integer is a 32-bit word in the file's
// byte order (native, or reversed for a foreign-endian file); text fields
// are bytes and never reversed. Words are copied out of the byte buffers,
// never read through cast pointers, since several sit at unaligned offsets.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace tarnvel::matdb {

// The three files of a database.
enum class RaxFileKind : int { kSupplier = 0, kGrade = 1, kData = 2 };
inline constexpr int kRaxFileKinds = 3;

// Default record lengths of the supplier, grade and data files.
inline constexpr int kSupplierRecordLength = 42;
inline constexpr int kGradeRecordLength = 108;
inline constexpr int kDataRecordLength = 96;
int DefaultRecordLength(RaxFileKind kind);

// Magic words of the header: personal databases and the shipped Standard one.
inline constexpr std::int32_t kPersonalMagic = 133;
inline constexpr std::int32_t kStandardMagic = 27856;
// The record limit written into new headers (not used beyond that).
inline constexpr std::int32_t kRecordLimit = 32700;
// Payload words of a data record: all its words but the trailing link.
inline constexpr int kPayloadWords = (kDataRecordLength - 4) / 4;

// Field widths of the text fields.
inline constexpr int kSupplierNameWidth = 10;
inline constexpr int kGradeTextWidth = 80;
inline constexpr int kGradeCodeWidth = 6;

// Reads and writes one word at a byte offset of a record.
std::int32_t GetWord(std::span<const std::uint8_t> record, int offset, bool swapped);
void PutWord(std::span<std::uint8_t> record, int offset, std::int32_t value, bool swapped);
std::uint32_t ReverseBytes(std::uint32_t word);

// Header record (record 1 of each file).
struct HeaderRecord {
    // The record number the next allocation hands out.
    std::int32_t next_free = 2;
    // Records allocated after the header.
    std::int32_t allocated = 0;
    // The save the file belongs to: the three files of a database carry the
    // same number, raised in all three each time changes are saved, so that
    // a set mixed from two saves is recognised. 0 in a file never saved so.
    std::int32_t generation = 0;
    // Written as 32700, not otherwise used.
    std::int32_t record_limit = kRecordLimit;
    // 133 personal, 27856 Standard.
    std::int32_t magic = kPersonalMagic;
    // This file's record length; 0 stands for the default.
    std::int32_t record_length = 0;

    static constexpr int kNextFreeOffset = 0;
    static constexpr int kAllocatedOffset = 8;
    static constexpr int kGenerationOffset = 12;
    static constexpr int kLimitOffset = 16;
    static constexpr int kMagicOffset = 20;
    static constexpr int kRecordLengthOffset = 24;
    // The bytes that must be present for a header to be read.
    static constexpr int kSize = 28;

    void EncodeTo(std::span<std::uint8_t> record, bool swapped) const;
    static HeaderRecord DecodeFrom(std::span<const std::uint8_t> record, bool swapped);
};

// Supplier record (supplier file).
struct SupplierRecord {
    // Upper case, blank-padded to 10, not terminated.
    std::array<char, kSupplierNameWidth> name{};
    // Next supplier record (0 = last).
    std::int32_t next = 0;
    // The supplier's first grade record (0 = none).
    std::int32_t first_grade = 0;
    // Number of grades, stored twice (offsets 22 and 26).
    std::int32_t grade_count = 0;
    std::int32_t grade_count_copy = 0;

    static constexpr int kNextOffset = 10;
    static constexpr int kFirstGradeOffset = 14;
    static constexpr int kReservedOffset = 18;
    static constexpr int kCountOffset = 22;
    static constexpr int kCountCopyOffset = 26;

    // The name field as text (up to its first NUL).
    std::string_view NameField() const;
    // A first byte of "#", a blank or NUL marks a deleted or empty record.
    bool IsEmpty() const;
    // Sets the name "%-10s" from text cut to 10 characters.
    void SetName(std::string_view text);

    void EncodeTo(std::span<std::uint8_t> record, bool swapped) const;
    static SupplierRecord DecodeFrom(std::span<const std::uint8_t> record, bool swapped);
};

// Grade record (grade file).
struct GradeRecord {
    // "%-6s %-73s": grade code and description.
    std::array<char, kGradeTextWidth> text{};
    // The supplier's next grade record (0 = last).
    std::int32_t next = 0;
    // First data record of the primary property chain (0 = none).
    std::int32_t primary = 0;
    // Supplier and grade record of the grade's generic link (0 = none).
    std::int32_t link_supplier = 0;
    std::int32_t link_grade = 0;
    // First data record of the extended property chain (0 = none).
    std::int32_t extended = 0;

    static constexpr int kNextOffset = 80;
    static constexpr int kPrimaryOffset = 84;
    static constexpr int kLinkSupplierOffset = 88;
    static constexpr int kLinkGradeOffset = 92;
    static constexpr int kExtendedOffset = 100;

    // The text field as text (up to its first NUL).
    std::string_view TextField() const;
    // A first byte of "#" marks a deleted record.
    bool IsDeleted() const { return text[0] == '#'; }
    // Sets the text "%-6s %-73s", cut to its 80 bytes.
    void SetText(std::string_view code, std::string_view description);

    void EncodeTo(std::span<std::uint8_t> record, bool swapped) const;
    static GradeRecord DecodeFrom(std::span<const std::uint8_t> record, bool swapped);
};

// Data record (data file): payload words and the link to the next record of
// the chain, its last word.
struct DataRecord {
    std::array<std::int32_t, kPayloadWords> payload{};
    // Next record of the same chain (0 = last).
    std::int32_t next = 0;

    void EncodeTo(std::span<std::uint8_t> record, bool swapped) const;
    static DataRecord DecodeFrom(std::span<const std::uint8_t> record, bool swapped);
};

// The first blank-delimited word of a fixed text field (up to its first NUL).
std::string_view FirstWord(std::string_view field);
// Blanks (and tabs) removed from both ends.
std::string_view Trim(std::string_view text);
// An upper-case copy.
std::string Upper(std::string_view text);
// Equality ignoring case.
bool SameIgnoringCase(std::string_view a, std::string_view b);

}  // namespace tarnvel::matdb
