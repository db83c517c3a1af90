// Whole-file output through a private sibling renamed into place (see
// sypsafewrite.h).
#include "services/sypsafewrite.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <string>

#include "services/sypcleanup.h"
#include "services/syperror.h"
#include "services/syppaths.h"

namespace {

using tarnvel::services::kSypCloseFailed;
using tarnvel::services::kSypCopyFailed;
using tarnvel::services::kSypOk;
using tarnvel::services::kSypOpenFailed;
using tarnvel::services::SypWriteBody;

// How many links are followed before a path counts as a loop (as the
// kernel's own limit).
constexpr int kMaxLinkHops = 40;
// The suffix mkstemp replaces with a unique name.
constexpr char kSiblingSuffix[] = ".XXXXXX";

thread_local std::array<char, 1024> t_error{};

void SetError(const char* path, const char* format, ...) __attribute__((format(printf, 2, 3)));
void SetError(const char* path, const char* format, ...) {
    const int used = std::snprintf(t_error.data(), t_error.size(), "%s: ", path);
    if (used < 0 || static_cast<std::size_t>(used) >= t_error.size()) return;
    va_list args;
    va_start(args, format);
    std::vsnprintf(t_error.data() + used, t_error.size() - static_cast<std::size_t>(used), format,
                   args);
    va_end(args);
}

// The directory part of a path with its final "/", or "" for a bare name.
std::string DirectoryOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The path that a write to path really lands on: symbolic links are
// followed (a dangling link gives the path it points at). False when the
// links form a loop or cannot be read.
bool ResolveLinks(const char* path, std::string* target) {
    std::string current(path);
    for (int hop = 0; hop < kMaxLinkHops; ++hop) {
        struct stat status {};
        if (lstat(current.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            *target = current;
            return true;
        }
        std::array<char, PATH_MAX> link{};
        const ssize_t length = readlink(current.c_str(), link.data(), link.size() - 1);
        if (length <= 0) return false;
        const std::string next(link.data(), static_cast<std::size_t>(length));
        current = next.front() == '/' ? next : DirectoryOf(current) + next;
    }
    errno = ELOOP;
    return false;
}

// Flushes and closes the stream: true when every byte reached the file.
bool Finish(std::FILE* file, int* error) {
    bool sound = std::fflush(file) == 0 && std::ferror(file) == 0;
    if (!sound) *error = errno;
    if (std::fclose(file) != 0 && sound) {
        *error = errno;
        sound = false;
    }
    return sound;
}

// Runs the body on a stream over the descriptor; false (with the error set)
// when anything failed. The descriptor is closed in every case.
bool WriteThrough(int descriptor, const char* path, const SypWriteBody& body) {
    std::FILE* file = fdopen(descriptor, "wb");
    if (file == nullptr) {
        SetError(path, "cannot be written: %s", std::strerror(errno));
        close(descriptor);
        return false;
    }
    errno = 0;
    const bool made = body(file);
    int error = errno;
    const bool written = Finish(file, &error);
    if (made && written) return true;
    if (error == 0 || made) {
        SetError(path, "the write failed: %s", std::strerror(error != 0 ? error : EIO));
    } else {
        SetError(path, "the content could not be written: %s", std::strerror(error));
    }
    return false;
}

// A device or FIFO takes the bytes as they come: no sibling, no rename.
int WriteDirectly(const char* path, const std::string& target, const SypWriteBody& body) {
    const int descriptor = open(target.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) {
        SetError(path, "cannot be opened for writing: %s", std::strerror(errno));
        return kSypOpenFailed;
    }
    return WriteThrough(descriptor, path, body) ? kSypOk : kSypCopyFailed;
}

// The permission bits of a new file under the current umask.
mode_t NewFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

int WriteBySibling(const char* path, const std::string& target, const struct stat* existing,
                   const SypWriteBody& body) {
    std::string sibling = target + kSiblingSuffix;
    const int descriptor = sypMakeRegisteredTempFile(sibling.data());
    if (descriptor < 0) {
        SetError(path, "cannot create a file beside it: %s", std::strerror(errno));
        return kSypOpenFailed;
    }
    if (existing != nullptr) {
        // Owner and group carry over where the process may set them (as root).
        if (fchown(descriptor, existing->st_uid, existing->st_gid) != 0) errno = 0;
        fchmod(descriptor, existing->st_mode & 07777);
    } else {
        fchmod(descriptor, NewFileMode());
    }
    if (!WriteThrough(descriptor, path, body)) {
        sypCleanupRemove(sibling.c_str());
        return kSypCopyFailed;
    }
    if (std::rename(sibling.c_str(), target.c_str()) != 0) {
        SetError(path, "the new file cannot be put in place: %s", std::strerror(errno));
        sypCleanupRemove(sibling.c_str());
        return kSypCloseFailed;
    }
    sypCleanupForget(sibling.c_str());
    return kSypOk;
}

// An absolute form of path, for a name the working directory may change
// under.
std::string Absolute(const std::string& path) {
    if (!path.empty() && path.front() == '/') return path;
    std::array<char, PATH_MAX> cwd{};
    if (getcwd(cwd.data(), cwd.size()) == nullptr) return path;
    return std::string(cwd.data()) + "/" + path;
}

// Copies the whole of the file at source (opened for writing, so that a
// file the process may not change is refused) into the descriptor, and
// its permission bits and owner.
bool CopyInto(const std::string& source, int descriptor) {
    const int input = open(source.c_str(), O_RDWR | O_CLOEXEC);
    if (input < 0) return false;
    struct stat status {};
    bool copied = fstat(input, &status) == 0 && S_ISREG(status.st_mode);
    if (!copied && errno == 0) errno = EINVAL;
    if (copied) {
        if (fchown(descriptor, status.st_uid, status.st_gid) != 0) errno = 0;
        copied = fchmod(descriptor, status.st_mode & 07777) == 0;
    }
    std::array<char, 65536> block{};
    for (ssize_t got = 0; copied && (got = read(input, block.data(), block.size())) != 0;) {
        if (got < 0) {
            copied = errno == EINTR;
            continue;
        }
        for (ssize_t put = 0; copied && put < got;) {
            const ssize_t wrote = write(descriptor, block.data() + put, got - put);
            if (wrote < 0 && errno == EINTR) continue;
            copied = wrote > 0;
            if (copied) put += wrote;
        }
    }
    const int saved_errno = errno;
    close(input);
    errno = saved_errno;
    return copied;
}

}  // namespace

std::FILE* sypOpenSibling(const char* path, bool copy, std::string* sibling, std::string* target) {
    if (path == nullptr || *path == '\0' || sibling == nullptr || target == nullptr) {
        SYP_REPORT_MISUSE();
        errno = EINVAL;
        return nullptr;
    }
    std::string resolved;
    if (!ResolveLinks(path, &resolved)) return nullptr;
    *target = Absolute(resolved);
    *sibling = *target + kSiblingSuffix;
    const int descriptor = sypMakeRegisteredTempFile(sibling->data());
    if (descriptor < 0) return nullptr;
    const bool made = copy ? CopyInto(*target, descriptor) : fchmod(descriptor, NewFileMode()) == 0;
    std::FILE* stream = made ? fdopen(descriptor, "w+b") : nullptr;
    if (stream != nullptr) return stream;
    const int saved_errno = errno;
    close(descriptor);
    sypCleanupRemove(sibling->c_str());
    errno = saved_errno;
    return nullptr;
}

int sypSyncFile(std::FILE* stream) {
    if (stream == nullptr) return kSypCloseFailed;
    if (std::fflush(stream) != 0 || fsync(fileno(stream)) != 0) return kSypCloseFailed;
    return kSypOk;
}

void sypSyncDirectoryOf(const char* path) {
    if (path == nullptr) return;
    const std::string parent = DirectoryOf(path);
    const std::string directory = parent.empty() ? std::string(".") : parent;
    const int descriptor = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0) return;
    fsync(descriptor);
    close(descriptor);
}

void tarnvel::services::SetWriteFileError(const char* path, const char* reason) {
    SetError(path, "%s", reason);
}

int sypWriteFile(const char* path, const SypWriteBody& body) {
    t_error[0] = '\0';
    if (path == nullptr || *path == '\0' || !body) {
        SYP_REPORT_MISUSE();
        std::snprintf(t_error.data(), t_error.size(), "no output file named");
        return kSypOpenFailed;
    }
    std::string target;
    if (!ResolveLinks(path, &target)) {
        SetError(path, "the link cannot be followed: %s", std::strerror(errno));
        return kSypOpenFailed;
    }
    struct stat status {};
    if (stat(target.c_str(), &status) != 0) {
        if (errno != ENOENT) {
            SetError(path, "cannot be written: %s", std::strerror(errno));
            return kSypOpenFailed;
        }
        return WriteBySibling(path, target, nullptr, body);
    }
    if (S_ISREG(status.st_mode)) return WriteBySibling(path, target, &status, body);
    if (S_ISCHR(status.st_mode) || S_ISBLK(status.st_mode) || S_ISFIFO(status.st_mode)) {
        return WriteDirectly(path, target, body);
    }
    SetError(path, S_ISDIR(status.st_mode) ? "it is a directory"
                                           : "it is neither a regular file, a device nor a FIFO");
    return kSypOpenFailed;
}

const char* sypWriteFileError() {
    return t_error.data();
}
