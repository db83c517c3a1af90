// One open RAX record file: records addressed by number, the header, record
// allocation, and the file's byte order. Every record number read from a
// file is checked before use: a record number n is valid when 2 <= n and
// n x record length <= the file's size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <span>
#include <string>

#include "matdb/rax_records.h"

namespace tarnvel::matdb {

class RaxFile {
  public:
    // Opens an existing file ("rb+" when writable, else "rb"); its header is
    // decoded later with the byte order the data file decides. Null with
    // the saved error number on failure.
    static std::unique_ptr<RaxFile> Open(const std::string& path, RaxFileKind kind, bool writable,
                                         int* saved_errno);
    // Opens an existing file for writing through a private copy: a sibling
    // "PATH.XXXXXX" in the same directory, on the cleanup list, holding the
    // file's bytes and permission bits. Every read and write goes to the
    // copy; the file itself is untouched until the copy is renamed over it
    // (PrepareSave, then Saved). path() stays the file's own path. Null
    // with the saved error number when the file cannot be opened for
    // writing or the copy cannot be made.
    static std::unique_ptr<RaxFile> OpenStaged(const std::string& path, RaxFileKind kind,
                                               int* saved_errno);
    // Creates the file anew holding only its header record, as a private
    // sibling like OpenStaged's: an existing file under the name stays as
    // it is until the new one is saved over it.
    static std::unique_ptr<RaxFile> Create(const std::string& path, RaxFileKind kind,
                                           std::int32_t magic, int* saved_errno);
    ~RaxFile();
    RaxFile(const RaxFile&) = delete;
    RaxFile& operator=(const RaxFile&) = delete;

    // The raw magic word of the header as stored (native order), and
    // whether the header could be read at all.
    bool ReadRawMagic(std::int32_t* magic);
    // Adopts a byte order and reads the header with it; false (with words
    // saying why) when the header is short or its record length is neither
    // 0 nor the file's default. A swapped file is registered as such; false
    // too when the registry of swapped files is full.
    bool AdoptHeader(bool swapped, std::string* why);

    bool swapped() const { return swapped_; }
    bool writable() const { return writable_; }
    int record_length() const { return record_length_; }
    const std::string& path() const { return path_; }
    RaxFileKind kind() const { return kind_; }
    const HeaderRecord& header() const { return header_; }
    // Size of the file in bytes.
    std::int64_t size() const { return size_; }
    // Whole records the file holds.
    int RecordCount() const;
    bool ValidRecord(std::int64_t number) const;
    // Byte offset of a record, and the record at a byte offset (0 when the
    // offset is not the start of a valid record).
    int OffsetOf(int number) const { return (number - 1) * record_length_; }
    int NumberAt(std::int64_t offset) const;

    // Reads a valid record into buffer (record_length() bytes).
    bool ReadRecord(int number, std::span<std::uint8_t> buffer);
    // Writes a record; never at a number below 2 (the header is record 1).
    bool WriteRecord(int number, std::span<const std::uint8_t> buffer);
    // Allocates count consecutive records: the next-free word and the
    // allocated count of the header grow by count, and the first new record
    // number is returned. The records are not written here. On failure the
    // md_rax message is printed and 0 returned.
    int Allocate(int count);
    bool Flush();

    // The private copy the updates go to (an absolute path), and the path
    // it is to be renamed over; sibling() is empty for a file opened in
    // place and once the copy was saved.
    const std::string& sibling() const { return sibling_; }
    const std::string& target() const { return target_; }
    // Writes the generation word into the copy's header and flushes the
    // copy to the disk; false (errno set) when that failed.
    bool PrepareSave(std::int32_t generation);
    // The copy has been renamed over the file: the handle is the file's now.
    void Saved() { sibling_.clear(); }

  private:
    RaxFile(std::FILE* file, std::string path, RaxFileKind kind, bool writable);
    bool ReadAt(std::int64_t offset, std::span<std::uint8_t> buffer);
    bool WriteAt(std::int64_t offset, std::span<const std::uint8_t> buffer);
    void ReportAllocationFailure(int saved_errno, const char* words);

    std::FILE* file_;
    std::string path_;
    std::string sibling_;
    std::string target_;
    RaxFileKind kind_;
    bool writable_;
    bool swapped_ = false;
    bool registered_ = false;
    int record_length_;
    std::int64_t size_ = 0;
    HeaderRecord header_;
};

// Files registered as foreign-endian at present (at most 32).
inline constexpr int kMaxSwappedFiles = 32;
int SwappedFileCount();

}  // namespace tarnvel::matdb
