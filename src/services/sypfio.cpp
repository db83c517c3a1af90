// Single files and the current directory: open, close, copy, existence and
// writability checks, creating a directory, and changing or asking for the
// current directory.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "services/sypcleanup.h"
#include "services/syperror.h"
#include "services/sypmem.h"
#include "services/syppaths.h"
#include "services/sypsafewrite.h"

namespace {

using tarnvel::services::kSypChdirFailed;
using tarnvel::services::kSypCloseFailed;
using tarnvel::services::kSypCopyFailed;
using tarnvel::services::kSypMkdirFailed;
using tarnvel::services::kSypOk;
using tarnvel::services::kSypOpenFailed;

// The size of the blocks a copy reads and writes.
constexpr std::size_t kCopyBlockSize = 1024;
// Permissions asked for new directories and files (the umask applies).
constexpr mode_t kNewDirectoryMode = 0777;
constexpr mode_t kNewFileMode = 0666;

bool IsMissing(const char* text) {
    return text == nullptr || *text == '\0';
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// True when both paths name one existing file: copying a file onto itself
// would truncate it before the first byte is read.
bool IsSameFile(const char* first, const char* second) {
    struct stat first_status {};
    struct stat second_status {};
    return stat(first, &first_status) == 0 && stat(second, &second_status) == 0 &&
           first_status.st_dev == second_status.st_dev &&
           first_status.st_ino == second_status.st_ino;
}

// Copies until a read returns less than a whole block. False when a write
// falls short or the source could not be read to its end.
bool CopyBlocks(std::FILE* source, std::FILE* target) {
    std::array<char, kCopyBlockSize> block{};
    for (;;) {
        const std::size_t got = std::fread(block.data(), 1, block.size(), source);
        if (got > 0 && std::fwrite(block.data(), 1, got, target) != got) return false;
        if (got < block.size()) return std::ferror(source) == 0;
    }
}

// Records why the path cannot be written, for sypWriteFileError.
int NotWritable(const char* path, int error) {
    tarnvel::services::SetWriteFileError(
        path, error == EISDIR ? "it is a directory" : std::strerror(error));
    return 0;
}

}  // namespace

int sypMakeDirectory(const char* path) {
    if (IsMissing(path)) {
        SYP_REPORT_MISUSE();
        return kSypMkdirFailed;
    }
    return mkdir(path, kNewDirectoryMode) == 0 ? kSypOk : kSypMkdirFailed;
}

int sypChangeDirectory(const char* path) {
    if (IsMissing(path)) {
        SYP_REPORT_MISUSE();
        return kSypChdirFailed;
    }
    return chdir(path) == 0 ? kSypOk : kSypChdirFailed;
}

int sypCopyFile(const char* source, const char* target) {
    if (IsMissing(source) || IsMissing(target)) {
        SYP_REPORT_MISUSE();
        return kSypCopyFailed;
    }
    if (IsSameFile(source, target)) return kSypCopyFailed;
    FilePtr in(std::fopen(source, "rb"));
    if (!in) return kSypOpenFailed;
    FilePtr out(std::fopen(target, "wb"));
    if (!out) return kSypOpenFailed;
    const bool copied = CopyBlocks(in.get(), out.get());
    // Buffered bytes reach the file on close, so a failed close is a failed copy.
    const bool closed = std::fclose(out.release()) == 0;
    return copied && closed ? kSypOk : kSypCopyFailed;
}

int sypOpenFile(std::FILE** file, const char* path, const char* mode) {
    if (file == nullptr || IsMissing(path) || IsMissing(mode)) {
        SYP_REPORT_MISUSE();
        return kSypOpenFailed;
    }
    *file = std::fopen(path, mode);
    return *file != nullptr ? kSypOk : kSypOpenFailed;
}

int sypCloseFile(std::FILE* file) {
    if (file == nullptr) {
        SYP_REPORT_MISUSE();
        return kSypCloseFailed;
    }
    return std::fclose(file) == 0 ? kSypOk : kSypCloseFailed;
}

// A directory opens for reading here but holds no bytes to read, so it does
// not count as an existing file.
int sypFileExists(const char* path) {
    if (IsMissing(path)) {
        SYP_REPORT_MISUSE();
        return 0;
    }
    const FilePtr file(std::fopen(path, "rb"));
    if (!file) return 0;
    struct stat status {};
    return fstat(fileno(file.get()), &status) == 0 && !S_ISDIR(status.st_mode) ? 1 : 0;
}

// The file is opened, not only looked at, so that permissions and special
// files answer as a later read would.
int sypCheckReadable(const char* path, char* reason, int size) {
    if (IsMissing(path) || reason == nullptr || size <= 0) {
        SYP_REPORT_MISUSE();
        return 0;
    }
    reason[0] = '\0';
    const int descriptor = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        std::snprintf(reason, static_cast<std::size_t>(size), "%s", std::strerror(errno));
        return 0;
    }
    struct stat status {};
    const bool directory = fstat(descriptor, &status) == 0 && S_ISDIR(status.st_mode);
    close(descriptor);
    if (directory) std::snprintf(reason, static_cast<std::size_t>(size), "it is a directory");
    return directory ? 0 : 1;
}

// An existing file is opened for appending and left as it was. A missing
// one is created exclusively and removed again, so that a file which
// existed before the check (readable or not) is never deleted by it.
int sypCheckWritable(const char* path) {
    if (IsMissing(path)) {
        SYP_REPORT_MISUSE();
        return 0;
    }
    // A FIFO is never opened here: opening it would meet a waiting reader,
    // which would then see the end of its input before the real write.
    struct stat status {};
    if (stat(path, &status) == 0 && S_ISFIFO(status.st_mode)) {
        return access(path, W_OK) == 0 ? 1 : NotWritable(path, errno);
    }
    int descriptor = open(path, O_WRONLY | O_APPEND | O_NONBLOCK);
    if (descriptor >= 0) {
        close(descriptor);
        return 1;
    }
    if (errno != ENOENT) return NotWritable(path, errno);
    // An interrupt must not leave the probe where the output belongs.
    const tarnvel::services::CleanupSignalsHeld held;
    descriptor = open(path, O_WRONLY | O_APPEND | O_CREAT | O_EXCL, kNewFileMode);
    if (descriptor < 0) return NotWritable(path, errno);
    close(descriptor);
    unlink(path);
    return 1;
}

char* sypGetcwd(char* buffer, int size) {
    if (buffer != nullptr && size <= 0) {
        SYP_REPORT_MISUSE();
        return nullptr;
    }
    const std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    if (!cwd) return nullptr;
    if (buffer == nullptr) return sypStrdup(cwd.get());
    const std::size_t length = std::strlen(cwd.get());
    const std::size_t room = static_cast<std::size_t>(size);
    if (length + 1 > room) {
        SYP_REPORT("sypGetcwd: buffer size %d exceeded.", size);
        std::memcpy(buffer, cwd.get(), room - 1);
        buffer[room - 1] = '\0';
        return buffer;
    }
    std::memcpy(buffer, cwd.get(), length + 1);
    return buffer;
}
