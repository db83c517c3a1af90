// The record-file runtime: numbered units over C streams. A formatted record
// is one text line; a last line without a line feed is a record, and a
// carriage return before the line feed is not part of it. Direct-access
// units hold records of a fixed length in bytes, numbered from 1. Units 5
// and 6 are the standard input and output and are never closed.
//
// Statuses follow the record-file convention: 0 success, a negative value
// for end of file, a positive value for an error.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace tarnvel::recfile {

inline constexpr int kRfOk = 0;
inline constexpr int kRfEnd = -1;
// Errors of the runtime.
inline constexpr int kRfNotOpen = 10;
inline constexpr int kRfOpenFailed = 11;
inline constexpr int kRfExists = 12;
inline constexpr int kRfNotFound = 13;
inline constexpr int kRfInUse = 14;
inline constexpr int kRfBadUnit = 15;
inline constexpr int kRfBadRecord = 16;
inline constexpr int kRfIoError = 17;
inline constexpr int kRfDeleteFailed = 18;
inline constexpr int kRfBadOptions = 19;

inline constexpr int kStandardInput = 5;
inline constexpr int kStandardOutput = 6;

enum class RfStatus { kOld, kNew, kScratch, kUnknown };

struct RfOpenOptions {
    RfStatus status = RfStatus::kOld;
    // Direct access with records of record_length bytes; else sequential.
    bool direct = false;
    // Sequential, positioned after the last record.
    bool append = false;
    bool unformatted = false;
    int record_length = 0;
    // Read action, shared with other readers.
    bool read_only = false;
};

struct RfInquiry {
    bool exists = false;
    bool opened = false;
    // The unit the file is open on, or 0.
    int unit = 0;
};

// Opens the named file (blank padding ignored) on the unit; an open unit is
// closed first (kept). A scratch file has no name.
int rfOpen(int unit, std::string_view name, const RfOpenOptions& options);
// Closes the unit, keeping or deleting its file. Closing a unit that is not
// open, or unit 5 or 6, succeeds and does nothing.
int rfClose(int unit, bool delete_file = false);
// Whether the named file exists and whether (and on which unit) it is open.
int rfInquire(std::string_view name, RfInquiry* inquiry);
bool rfIsOpen(int unit);
// The name a unit was opened with ("" for a scratch or standard unit).
std::string rfUnitName(int unit);
// The record length of a direct-access unit, 0 for a sequential one.
int rfRecordLength(int unit);

// Reads the next sequential record into the text (without its line end).
int rfReadRecord(int unit, std::string* record);
// Reads the next record into a blank-padded field: cut or padded ("(A)").
int rfReadField(int unit, std::span<char> field);
// Writes one sequential record.
int rfWriteRecord(int unit, std::string_view record);
// Steps back one record: the next read or write acts on the record before.
// After end of file the unit is positioned at its end.
int rfBackspace(int unit);
// Pushes what was written to the operating system.
int rfFlush(int unit);

// Direct access: record numbers from 1. A short text is padded with NULs on
// write; reading a record beyond the end is an error.
int rfReadDirect(int unit, int record, std::span<char> bytes);
int rfWriteDirect(int unit, int record, std::span<const char> bytes);

// Closes every unit except 5 and 6 (for tests and program end).
void rfCloseAll();

}  // namespace tarnvel::recfile
