// Directory listings (as a list or an array of names), removal of a whole
// directory tree, and plain text copies.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>

#include "services/syperror.h"
#include "services/sypmem.h"
#include "services/syppaths.h"

namespace {

using tarnvel::services::kPathSize;
using tarnvel::services::kSypOk;
using tarnvel::services::kSypRmdirFailed;

bool IsMissing(const char* text) {
    return text == nullptr || *text == '\0';
}

bool IsDotName(std::string_view name) {
    return name == "." || name == "..";
}

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

struct ListReleaser {
    void operator()(SypListItem* list) const { sypFreeList(list); }
};
using ListPtr = std::unique_ptr<SypListItem, ListReleaser>;

// Prints the system's error text for a path, as a failed removal is shown.
void PrintErrorFor(const char* path, int error) {
    std::fprintf(stderr, "%s: %s\n", path, std::strerror(error));
}

// True when the path itself is a directory. Symbolic links are not
// followed, so a link to a directory counts as a plain entry. A status
// failure other than a missing entry is reported.
bool IsRealDirectory(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat status {};
    if (lstat(path.c_str(), &status) == 0) return S_ISDIR(status.st_mode);
    const int error = errno;
    if (error != ENOENT && error != ENOTDIR) {
        SYP_REPORT("stat() failed on \"%s\": %s", path.c_str(), std::strerror(error));
    }
    return false;
}

// Builds a directory list in the order names are appended; whatever it
// still holds is released with it.
class ListBuilder {
  public:
    ListBuilder() = default;
    ListBuilder(const ListBuilder&) = delete;
    ListBuilder& operator=(const ListBuilder&) = delete;
    ~ListBuilder() { sypFreeList(head_); }

    // Appends an owned copy of the name. A name already listed is reported
    // and left out. False when memory runs out.
    bool Append(const char* name) {
        if (seen_.contains(name)) {
            SYP_REPORT_MISUSE();
            return true;
        }
        auto* item = static_cast<SypListItem*>(sypMalloc(sizeof(SypListItem)));
        char* copy = sypStrdup(name);
        if (item == nullptr || copy == nullptr) {
            sypFree(item);
            sypFree(copy);
            SYP_REPORT("Out of memory!");
            return false;
        }
        *item = SypListItem{copy, nullptr};
        *tail_ = item;
        tail_ = &item->next;
        seen_.insert(copy);
        ++count_;
        return true;
    }

    int count() const { return count_; }

    SypListItem* Release() {
        SypListItem* list = head_;
        head_ = nullptr;
        tail_ = &head_;
        count_ = 0;
        return list;
    }

  private:
    SypListItem* head_ = nullptr;
    SypListItem** tail_ = &head_;
    std::unordered_set<std::string_view> seen_;
    int count_ = 0;
};

// Removes every entry below the directory; failures are printed and the
// walk goes on, so the caller's removal of the directory reports the rest.
void RemoveEntries(const char* path) {
    int count = 0;
    char** names = sypListDirectory(path, &count);
    std::string prefix(path);
    if (prefix.back() != '/') prefix += '/';
    for (int index = 0; index < count; ++index) {
        if (IsDotName(names[index])) continue;
        const std::string child = prefix + names[index];
        if (IsRealDirectory(child)) {
            sypRemoveTree(child.c_str());
        } else if (unlink(child.c_str()) != 0) {
            PrintErrorFor(child.c_str(), errno);
        }
    }
    sypFreeNameArray(names, count);
}

}  // namespace

bool sypListAllFiles(const char* directory, int* count, SypListItem** list) {
    if (count != nullptr) *count = 0;
    if (list != nullptr) *list = nullptr;
    if (IsMissing(directory) || count == nullptr || list == nullptr) {
        SYP_REPORT_MISUSE();
        return false;
    }
    const DirPtr dir(opendir(directory));
    if (!dir) {
        SYP_REPORT("sypListAllFiles: Cannot find directory \"%s\": %s", directory,
                   std::strerror(errno));
        return false;
    }
    ListBuilder builder;
    while (const dirent* entry = readdir(dir.get())) {
        if (std::strcmp(entry->d_name, "..") == 0) continue;
        if (!builder.Append(entry->d_name)) return false;
    }
    *count = builder.count();
    *list = builder.Release();
    return true;
}

void sypFreeList(SypListItem* list) {
    while (list != nullptr) {
        SypListItem* next = list->next;
        sypFree(list->name);
        sypFree(list);
        list = next;
    }
}

bool sypGetFilenameFromListItem(const SypListItem* item, char* buffer, int size) {
    if (item == nullptr || item->name == nullptr || buffer == nullptr || size <= 1) {
        SYP_REPORT_MISUSE();
        return false;
    }
    const std::size_t length = std::strlen(item->name);
    const std::size_t room = static_cast<std::size_t>(size);
    const std::size_t copied = std::min(length, room - 1);
    if (length + 1 > room) {
        SYP_REPORT(
            "sypGetFilenameFromListItem: Return buffer overflow. \"%s\": %d needed, %d "
            "available",
            item->name, static_cast<int>(length + 1), size);
    }
    std::memcpy(buffer, item->name, copied);
    buffer[copied] = '\0';
    return true;
}

char** sypListDirectory(const char* directory, int* count) {
    if (count == nullptr) {
        SYP_REPORT_MISUSE();
        return nullptr;
    }
    *count = 0;
    int listed = 0;
    SypListItem* raw_list = nullptr;
    if (!sypListAllFiles(directory, &listed, &raw_list)) return nullptr;
    const ListPtr list(raw_list);
    auto** names = static_cast<char**>(sypCalloc(std::max(listed, 1), sizeof(char*)));
    if (names == nullptr) {
        SYP_REPORT("Out of memory!");
        return nullptr;
    }
    std::array<char, kPathSize> name{};
    int filled = 0;
    for (const SypListItem* item = list.get(); item != nullptr; item = item->next) {
        sypGetFilenameFromListItem(item, name.data(), kPathSize);
        names[filled] = sypStrdup(name.data());
        if (names[filled] == nullptr) {
            sypFreeNameArray(names, filled);
            SYP_REPORT("Out of memory!");
            return nullptr;
        }
        ++filled;
    }
    *count = filled;
    return names;
}

void sypFreeNameArray(char** names, int count) {
    if (names == nullptr) return;
    for (int index = 0; index < count; ++index) sypFree(names[index]);
    sypFree(names);
}

// Symbolic links inside the tree are removed as links and never followed,
// and a path that is itself a link is not descended into: only what lies
// below the named directory is ever removed.
int sypRemoveTree(const char* path) {
    if (IsMissing(path)) {
        SYP_REPORT_MISUSE();
        return kSypRmdirFailed;
    }
    if (IsRealDirectory(path)) RemoveEntries(path);
    if (rmdir(path) != 0) {
        PrintErrorFor(path, errno);
        return kSypRmdirFailed;
    }
    return kSypOk;
}

char* sypDuplicate(const char* text) {
    if (text == nullptr) return nullptr;
    const std::size_t size = std::strlen(text) + 1;
    auto* copy = static_cast<char*>(std::malloc(size));
    if (copy != nullptr) std::memcpy(copy, text, size);
    return copy;
}
