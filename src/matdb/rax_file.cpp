#include "matdb/rax_file.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <vector>

#include "matdb/md_print.h"
#include "services/sypcleanup.h"
#include "services/sypsafewrite.h"

namespace tarnvel::matdb {

namespace {

// The registry of foreign-endian files. A file enters it when it adopts a
// swapped header and leaves it when it is closed, on every path.
std::array<const RaxFile*, kMaxSwappedFiles> g_swapped{};

bool RegisterSwapped(const RaxFile* file) {
    for (const RaxFile*& entry : g_swapped) {
        if (entry == nullptr) {
            entry = file;
            return true;
        }
    }
    return false;
}

void UnregisterSwapped(const RaxFile* file) {
    for (const RaxFile*& entry : g_swapped) {
        if (entry == file) entry = nullptr;
    }
}

}  // namespace

int SwappedFileCount() {
    return static_cast<int>(std::count_if(g_swapped.begin(), g_swapped.end(),
                                          [](const RaxFile* entry) { return entry != nullptr; }));
}

RaxFile::RaxFile(std::FILE* file, std::string path, RaxFileKind kind, bool writable)
    : file_(file),
      path_(std::move(path)),
      kind_(kind),
      writable_(writable),
      record_length_(DefaultRecordLength(kind)) {
    if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::max<long>(std::ftell(file_), 0);
}

RaxFile::~RaxFile() {
    if (registered_) UnregisterSwapped(this);
    std::fclose(file_);
    // A copy that was never saved is thrown away: the file stays as it was.
    if (!sibling_.empty()) sypCleanupRemove(sibling_.c_str());
}

std::unique_ptr<RaxFile> RaxFile::Open(const std::string& path, RaxFileKind kind, bool writable,
                                       int* saved_errno) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), writable ? "rb+" : "rb");
    *saved_errno = errno;
    if (file == nullptr) return nullptr;
    return std::unique_ptr<RaxFile>(new RaxFile(file, path, kind, writable));
}

std::unique_ptr<RaxFile> RaxFile::OpenStaged(const std::string& path, RaxFileKind kind,
                                             int* saved_errno) {
    std::string sibling;
    std::string target;
    errno = 0;
    std::FILE* copy = sypOpenSibling(path.c_str(), true, &sibling, &target);
    *saved_errno = errno;
    if (copy == nullptr) return nullptr;
    std::unique_ptr<RaxFile> file(new RaxFile(copy, path, kind, true));
    file->sibling_ = std::move(sibling);
    file->target_ = std::move(target);
    return file;
}

std::unique_ptr<RaxFile> RaxFile::Create(const std::string& path, RaxFileKind kind,
                                         std::int32_t magic, int* saved_errno) {
    HeaderRecord header;
    header.magic = magic;
    header.record_length = DefaultRecordLength(kind);
    std::vector<std::uint8_t> record(static_cast<std::size_t>(header.record_length));
    header.EncodeTo(record, false);
    std::string sibling;
    std::string target;
    errno = 0;
    std::FILE* made = sypOpenSibling(path.c_str(), false, &sibling, &target);
    *saved_errno = errno;
    if (made == nullptr) return nullptr;
    std::unique_ptr<RaxFile> file(new RaxFile(made, path, kind, true));
    file->sibling_ = std::move(sibling);
    file->target_ = std::move(target);
    if (!file->WriteAt(0, record) || !file->Flush()) {
        *saved_errno = errno != 0 ? errno : EIO;
        return nullptr;
    }
    return file;
}

bool RaxFile::ReadRawMagic(std::int32_t* magic) {
    std::array<std::uint8_t, HeaderRecord::kSize> bytes{};
    if (size_ < HeaderRecord::kSize || !ReadAt(0, bytes)) return false;
    *magic = GetWord(bytes, HeaderRecord::kMagicOffset, false);
    return true;
}

bool RaxFile::AdoptHeader(bool swapped, std::string* why) {
    std::array<std::uint8_t, HeaderRecord::kSize> bytes{};
    if (size_ < HeaderRecord::kSize || !ReadAt(0, bytes)) {
        *why = "header record of " + path_ + " is truncated";
        return false;
    }
    header_ = HeaderRecord::DecodeFrom(bytes, swapped);
    const int standard_length = DefaultRecordLength(kind_);
    if (header_.record_length != 0 && header_.record_length != standard_length) {
        *why = "record length " + std::to_string(header_.record_length) + " of " + path_ +
               " is not " + std::to_string(standard_length);
        return false;
    }
    if (swapped && !registered_) {
        if (!RegisterSwapped(this)) {
            *why = "too many foreign byte order files are open";
            return false;
        }
        registered_ = true;
    }
    swapped_ = swapped;
    return true;
}

int RaxFile::RecordCount() const {
    return static_cast<int>(std::min<std::int64_t>(size_ / record_length_, INT_MAX));
}

bool RaxFile::ValidRecord(std::int64_t number) const {
    return number >= 2 && number * record_length_ <= size_ && number * record_length_ <= INT_MAX;
}

int RaxFile::NumberAt(std::int64_t offset) const {
    if (offset < 0 || offset % record_length_ != 0) return 0;
    const std::int64_t number = offset / record_length_ + 1;
    return ValidRecord(number) ? static_cast<int>(number) : 0;
}

bool RaxFile::ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer) {
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    return std::fread(buffer.data(), 1, buffer.size(), file_) == buffer.size();
}

bool RaxFile::WriteAt(std::int64_t offset, std::span<const std::uint8_t> buffer) {
    if (std::fseek(file_, static_cast<long>(offset), SEEK_SET) != 0) return false;
    if (std::fwrite(buffer.data(), 1, buffer.size(), file_) != buffer.size()) return false;
    size_ = std::max<std::int64_t>(size_, offset + static_cast<std::int64_t>(buffer.size()));
    return true;
}

bool RaxFile::ReadRecord(int number, std::span<std::uint8_t> buffer) {
    if (!ValidRecord(number) || buffer.size() != static_cast<std::size_t>(record_length_))
        return false;
    return ReadAt(OffsetOf(number), buffer);
}

bool RaxFile::WriteRecord(int number, std::span<const std::uint8_t> buffer) {
    if (!writable_ || number < 2 || buffer.size() != static_cast<std::size_t>(record_length_))
        return false;
    if (static_cast<std::int64_t>(number) * record_length_ > INT_MAX) return false;
    return WriteAt(OffsetOf(number), buffer);
}

void RaxFile::ReportAllocationFailure(int saved_errno, const char* words) {
    MdPrint("md_rax: File expansion error,%d,%d,%d,%d\n: %s\n", std::feof(file_) != 0 ? 1 : 0,
            std::ferror(file_) != 0 ? 1 : 0, HeaderRecord::kNextFreeOffset,
            HeaderRecord::kAllocatedOffset, ErrorText(saved_errno, words).c_str());
}

int RaxFile::Allocate(int count) {
    std::array<std::uint8_t, HeaderRecord::kSize> bytes{};
    errno = 0;
    if (!writable_ || !ReadAt(0, bytes)) {
        ReportAllocationFailure(
            errno, writable_ ? "header record cannot be read" : "file is not open for writing");
        return 0;
    }
    const std::int32_t next_free = GetWord(bytes, HeaderRecord::kNextFreeOffset, swapped_);
    const std::int32_t allocated = GetWord(bytes, HeaderRecord::kAllocatedOffset, swapped_);
    const std::int64_t new_next = static_cast<std::int64_t>(next_free) + count;
    const std::int64_t new_allocated = static_cast<std::int64_t>(allocated) + count;
    if (count < 1 || next_free < 2 || allocated < 0) {
        ReportAllocationFailure(0, "damaged header (next free record or count out of range)");
        return 0;
    }
    // Records are never freed, so a next-free word inside the file would
    // hand out records that hold data.
    if (next_free <= RecordCount()) {
        ReportAllocationFailure(0, "damaged header (next free record inside the file)");
        return 0;
    }
    if (new_next * record_length_ > INT_MAX || new_allocated > INT_MAX) {
        ReportAllocationFailure(0, "file would exceed its largest size");
        return 0;
    }
    std::array<std::uint8_t, 4> word{};
    PutWord(word, 0, static_cast<std::int32_t>(new_next), swapped_);
    errno = 0;
    bool written = WriteAt(HeaderRecord::kNextFreeOffset, word);
    PutWord(word, 0, static_cast<std::int32_t>(new_allocated), swapped_);
    written = written && WriteAt(HeaderRecord::kAllocatedOffset, word);
    if (!written) {
        ReportAllocationFailure(errno, "header record cannot be written");
        return 0;
    }
    header_.next_free = static_cast<std::int32_t>(new_next);
    header_.allocated = static_cast<std::int32_t>(new_allocated);
    return next_free;
}

bool RaxFile::Flush() {
    return std::fflush(file_) == 0;
}

bool RaxFile::PrepareSave(std::int32_t generation) {
    std::array<std::uint8_t, 4> word{};
    PutWord(word, 0, generation, swapped_);
    if (!writable_ || !WriteAt(HeaderRecord::kGenerationOffset, word)) return false;
    header_.generation = generation;
    return sypSyncFile(file_) == 0;
}

}  // namespace tarnvel::matdb
