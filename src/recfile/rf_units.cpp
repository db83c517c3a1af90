// The unit table of the record-file runtime.
#include "recfile/rf_units.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <vector>

namespace tarnvel::recfile {
namespace {

struct StreamCloser {
    void operator()(std::FILE* stream) const { std::fclose(stream); }
};
using Stream = std::unique_ptr<std::FILE, StreamCloser>;

enum class LastTransfer { kNone, kRead, kWrite };

struct Unit {
    Stream stream;
    // The name as opened, and its absolute form for inquiries.
    std::string name;
    std::string key;
    int record_length = 0;
    bool read_only = false;
    // Where each record read or written began, for stepping back.
    std::vector<long> record_starts;
    bool at_end = false;
    // The last record read ended at the end of the file without a line feed;
    // a record written after it must first end that line.
    bool line_open = false;
    LastTransfer last = LastTransfer::kNone;
};

std::map<int, Unit>& Units() {
    static std::map<int, Unit> units;
    return units;
}

std::string UsedName(std::string_view name) {
    name = name.substr(0, name.find('\0'));
    const auto first = name.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = name.find_last_not_of(' ');
    return std::string(name.substr(first, last - first + 1));
}

std::string KeyOf(const std::string& name) {
    std::error_code error;
    const auto path =
        std::filesystem::weakly_canonical(std::filesystem::absolute(name, error), error);
    return error ? name : path.string();
}

bool Exists(const std::string& name) {
    std::error_code error;
    return std::filesystem::exists(name, error) && !error;
}

Unit* Find(int unit) {
    auto found = Units().find(unit);
    return found == Units().end() ? nullptr : &found->second;
}

bool IsStandard(int unit) {
    return unit == kStandardInput || unit == kStandardOutput;
}

std::FILE* OpenStream(const std::string& name, const RfOpenOptions& options, int* status) {
    const bool exists = Exists(name);
    RfStatus how = options.status;
    if (how == RfStatus::kUnknown) how = exists ? RfStatus::kOld : RfStatus::kNew;
    if (how == RfStatus::kOld && !exists) {
        *status = kRfNotFound;
        return nullptr;
    }
    if (how == RfStatus::kNew && exists) {
        *status = kRfExists;
        return nullptr;
    }
    std::FILE* stream = nullptr;
    if (options.read_only) {
        stream = std::fopen(name.c_str(), "rb");
    } else if (how == RfStatus::kOld) {
        stream = std::fopen(name.c_str(), "r+b");
    } else {
        // Exclusive creation: a file that appeared meanwhile is not replaced.
        stream = std::fopen(name.c_str(), "w+bx");
    }
    if (stream == nullptr) *status = kRfOpenFailed;
    return stream;
}

// A C stream must be positioned between a read and a write.
void Turn(Unit& unit, LastTransfer next) {
    if (unit.last != LastTransfer::kNone && unit.last != next) {
        std::fseek(unit.stream.get(), 0, SEEK_CUR);
    }
    unit.last = next;
}

int ReadLine(std::FILE* stream, std::string* record, bool* ended_by_eof) {
    record->clear();
    int c;
    while ((c = std::getc(stream)) != EOF && c != '\n') record->push_back(static_cast<char>(c));
    if (std::ferror(stream)) return kRfIoError;
    if (c == EOF && record->empty()) return kRfEnd;
    *ended_by_eof = c == EOF;
    if (!record->empty() && record->back() == '\r') record->pop_back();
    return kRfOk;
}

}  // namespace

int rfOpen(int unit, std::string_view name, const RfOpenOptions& options) {
    if (unit < 0 || IsStandard(unit)) return kRfBadUnit;
    if (options.direct && options.record_length < 1) return kRfBadOptions;
    rfClose(unit);
    Unit opened;
    int status = kRfOk;
    if (options.status == RfStatus::kScratch) {
        opened.stream.reset(std::tmpfile());
        if (!opened.stream) return kRfOpenFailed;
    } else {
        opened.name = UsedName(name);
        if (opened.name.empty()) return kRfOpenFailed;
        opened.key = KeyOf(opened.name);
        RfInquiry inquiry;
        rfInquire(opened.name, &inquiry);
        if (inquiry.opened) return kRfInUse;
        opened.stream.reset(OpenStream(opened.name, options, &status));
        if (!opened.stream) return status;
    }
    opened.record_length = options.direct ? options.record_length : 0;
    opened.read_only = options.read_only;
    if (options.append) {
        std::fseek(opened.stream.get(), 0, SEEK_END);
        opened.at_end = true;
    }
    Units()[unit] = std::move(opened);
    return kRfOk;
}

int rfClose(int unit, bool delete_file) {
    if (IsStandard(unit)) {
        std::fflush(stdout);
        return kRfOk;
    }
    auto found = Units().find(unit);
    if (found == Units().end()) return kRfOk;
    const std::string name = found->second.name;
    const bool closed = std::fclose(found->second.stream.release()) == 0;
    Units().erase(found);
    if (delete_file && !name.empty() && std::remove(name.c_str()) != 0) return kRfDeleteFailed;
    return closed ? kRfOk : kRfIoError;
}

int rfInquire(std::string_view name, RfInquiry* inquiry) {
    *inquiry = {};
    const std::string used = UsedName(name);
    if (used.empty()) return kRfBadOptions;
    inquiry->exists = Exists(used);
    const std::string key = KeyOf(used);
    for (const auto& [number, unit] : Units()) {
        if (!unit.key.empty() && unit.key == key) {
            inquiry->opened = true;
            inquiry->unit = number;
            break;
        }
    }
    return kRfOk;
}

bool rfIsOpen(int unit) {
    return IsStandard(unit) || Find(unit) != nullptr;
}

std::string rfUnitName(int unit) {
    const Unit* found = Find(unit);
    return found == nullptr ? std::string() : found->name;
}

int rfRecordLength(int unit) {
    const Unit* found = Find(unit);
    return found == nullptr ? 0 : found->record_length;
}

int rfReadRecord(int unit, std::string* record) {
    bool ended_by_eof = false;
    if (unit == kStandardInput) return ReadLine(stdin, record, &ended_by_eof);
    Unit* found = Find(unit);
    if (found == nullptr || found->record_length > 0) return kRfNotOpen;
    Turn(*found, LastTransfer::kRead);
    const long start = std::ftell(found->stream.get());
    const int status = ReadLine(found->stream.get(), record, &ended_by_eof);
    if (status == kRfEnd) found->at_end = true;
    if (status != kRfOk) return status;
    found->record_starts.push_back(start);
    found->line_open = ended_by_eof;
    return kRfOk;
}

int rfReadField(int unit, std::span<char> field) {
    std::string record;
    const int status = rfReadRecord(unit, &record);
    if (status != kRfOk) return status;
    for (std::size_t i = 0; i < field.size(); ++i) field[i] = i < record.size() ? record[i] : ' ';
    return kRfOk;
}

int rfWriteRecord(int unit, std::string_view record) {
    std::FILE* stream = unit == kStandardOutput ? stdout : nullptr;
    if (stream == nullptr) {
        Unit* found = Find(unit);
        if (found == nullptr || found->read_only || found->record_length > 0) return kRfNotOpen;
        Turn(*found, LastTransfer::kWrite);
        stream = found->stream.get();
        if (found->line_open && std::fputc('\n', stream) == EOF) return kRfIoError;
        found->line_open = false;
        found->at_end = false;
        found->record_starts.push_back(std::ftell(stream));
    }
    if (std::fwrite(record.data(), 1, record.size(), stream) != record.size() ||
        std::fputc('\n', stream) == EOF) {
        return kRfIoError;
    }
    return kRfOk;
}

int rfBackspace(int unit) {
    Unit* found = Find(unit);
    if (found == nullptr || found->record_length > 0) return kRfNotOpen;
    std::FILE* stream = found->stream.get();
    found->last = LastTransfer::kNone;
    if (found->at_end) {
        found->at_end = false;
        return std::fseek(stream, 0, SEEK_END) == 0 ? kRfOk : kRfIoError;
    }
    if (found->record_starts.empty()) return kRfOk;
    const long start = found->record_starts.back();
    found->record_starts.pop_back();
    found->line_open = false;
    return std::fseek(stream, start, SEEK_SET) == 0 ? kRfOk : kRfIoError;
}

int rfFlush(int unit) {
    std::FILE* stream = unit == kStandardOutput ? stdout : nullptr;
    if (stream == nullptr) {
        Unit* found = Find(unit);
        if (found == nullptr) return kRfNotOpen;
        stream = found->stream.get();
    }
    return std::fflush(stream) == 0 ? kRfOk : kRfIoError;
}

int rfReadDirect(int unit, int record, std::span<char> bytes) {
    Unit* found = Find(unit);
    if (found == nullptr || found->record_length == 0) return kRfNotOpen;
    if (record < 1 || bytes.size() > static_cast<std::size_t>(found->record_length)) {
        return kRfBadRecord;
    }
    Turn(*found, LastTransfer::kRead);
    std::FILE* stream = found->stream.get();
    const long offset = static_cast<long>(record - 1) * found->record_length;
    std::vector<char> buffer(found->record_length);
    if (std::fseek(stream, offset, SEEK_SET) != 0 ||
        std::fread(buffer.data(), 1, buffer.size(), stream) != buffer.size()) {
        return kRfBadRecord;
    }
    std::copy_n(buffer.begin(), bytes.size(), bytes.begin());
    return kRfOk;
}

int rfWriteDirect(int unit, int record, std::span<const char> bytes) {
    Unit* found = Find(unit);
    if (found == nullptr || found->record_length == 0 || found->read_only) return kRfNotOpen;
    if (record < 1 || bytes.size() > static_cast<std::size_t>(found->record_length)) {
        return kRfBadRecord;
    }
    Turn(*found, LastTransfer::kWrite);
    std::FILE* stream = found->stream.get();
    std::vector<char> buffer(found->record_length, '\0');
    std::copy(bytes.begin(), bytes.end(), buffer.begin());
    const long offset = static_cast<long>(record - 1) * found->record_length;
    if (std::fseek(stream, offset, SEEK_SET) != 0 ||
        std::fwrite(buffer.data(), 1, buffer.size(), stream) != buffer.size()) {
        return kRfIoError;
    }
    return kRfOk;
}

void rfCloseAll() {
    while (!Units().empty()) rfClose(Units().begin()->first);
}

}  // namespace tarnvel::recfile
