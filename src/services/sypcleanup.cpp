// The cleanup list of temporary files and directories (see sypcleanup.h).
// Entries are plain nodes made with the C runtime's malloc, so that the
// signal handler reads nothing but pointers and ready-made paths, and the
// exit cleanup does not depend on the allocator of the global operators.
#include "services/sypcleanup.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "services/syperror.h"
#include "services/syppaths.h"

namespace {

using tarnvel::services::kSypMkdirFailed;
using tarnvel::services::kSypOk;
using tarnvel::services::kSypRmdirFailed;

struct CleanupNode {
    CleanupNode* next;
    bool directory;
    char path[1];  // NUL-terminated, allocated to its length
};

// The signals whose handlers clean up before the process ends by them.
constexpr std::array<int, 4> kCleanupSignals = {SIGINT, SIGTERM, SIGHUP, SIGXFSZ};

// Newest first. Changed only with the cleanup signals blocked and the mutex
// held; read by the signal handler.
CleanupNode* volatile g_head = nullptr;
int g_size = 0;

std::mutex& ListLock() {
    static std::mutex lock;
    return lock;
}

// Holds the cleanup signals back in this thread, and holds the list's lock,
// for its lifetime.
class ListGuard {
  public:
    ListGuard() { ListLock().lock(); }
    ~ListGuard() { ListLock().unlock(); }
    ListGuard(const ListGuard&) = delete;
    ListGuard& operator=(const ListGuard&) = delete;

  private:
    // Declared first: the signals are held before the lock is taken and
    // let through after it is released.
    tarnvel::services::CleanupSignalsHeld held_;
};

// Unlinks the listed files, then removes the listed directories with rmdir;
// nothing here but async-signal-safe calls.
extern "C" void HandleCleanupSignal(int signal_number) {
    const int saved_errno = errno;
    for (CleanupNode* node = g_head; node != nullptr; node = node->next) {
        if (!node->directory) unlink(node->path);
    }
    for (CleanupNode* node = g_head; node != nullptr; node = node->next) {
        if (node->directory) rmdir(node->path);
    }
    errno = saved_errno;
    // The handler was installed to reset itself, so this ends the process by
    // the signal's default action, as the caller of the process expects.
    raise(signal_number);
}

// Installs the handler for each cleanup signal that is not ignored (a
// program started under nohup keeps ignoring SIGHUP).
void InstallSignalHandlers() {
    for (int signal_number : kCleanupSignals) {
        struct sigaction previous {};
        if (sigaction(signal_number, nullptr, &previous) != 0) continue;
        if (previous.sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_handler = HandleCleanupSignal;
        sigemptyset(&action.sa_mask);
        for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
        action.sa_flags = SA_RESETHAND | SA_NODEFER;
        sigaction(signal_number, &action, nullptr);
    }
}

void RunAtExit() {
    sypCleanupRunAll();
}

// The handlers and the exit cleanup are set up with the first entry.
void PrepareOnce() {
    static std::once_flag once;
    std::call_once(once, [] {
        InstallSignalHandlers();
        std::atexit(RunAtExit);
    });
}

CleanupNode* NewNode(const char* path, bool directory) {
    const std::size_t length = std::strlen(path);
    auto* node = static_cast<CleanupNode*>(std::malloc(sizeof(CleanupNode) + length));
    if (node == nullptr) return nullptr;
    node->next = nullptr;
    node->directory = directory;
    std::memcpy(node->path, path, length + 1);
    return node;
}

// The link that points at the node of the path, or null. Needs the guard.
CleanupNode* volatile* FindLink(const char* path) {
    for (CleanupNode* volatile* link = &g_head; *link != nullptr; link = &(*link)->next) {
        if (std::strcmp((*link)->path, path) == 0) return link;
    }
    return nullptr;
}

// Puts a ready node at the head of the list. Needs the guard.
void Push(CleanupNode* node) {
    node->next = g_head;
    g_head = node;
    ++g_size;
}

// Unlinks the node from the list and returns it. Needs the guard.
CleanupNode* Unlink(CleanupNode* volatile* link) {
    CleanupNode* node = *link;
    *link = node->next;
    --g_size;
    return node;
}

int Add(const char* path, bool directory) {
    if (path == nullptr || *path == '\0') {
        SYP_REPORT_MISUSE();
        return 1;
    }
    PrepareOnce();
    CleanupNode* node = NewNode(path, directory);
    if (node == nullptr) return 1;
    const ListGuard guard;
    if (FindLink(path) != nullptr) {
        std::free(node);
        return 0;
    }
    Push(node);
    return 0;
}

// Removes the path of a node outside a signal handler.
bool RemovePath(const CleanupNode* node) {
    if (node->directory) {
        struct stat status {};
        if (lstat(node->path, &status) != 0) return errno == ENOENT;
        return sypRemoveTree(node->path) == kSypOk;
    }
    return unlink(node->path) == 0 || errno == ENOENT;
}

}  // namespace

int sypCleanupAddFile(const char* path) {
    return Add(path, false);
}

int sypCleanupAddDirectory(const char* path) {
    return Add(path, true);
}

void sypCleanupForget(const char* path) {
    if (path == nullptr) return;
    CleanupNode* node = nullptr;
    {
        const ListGuard guard;
        if (CleanupNode* volatile* link = FindLink(path)) node = Unlink(link);
    }
    std::free(node);
}

// The removal runs under the guard, so that a signal cannot find the path
// gone from the list but still on disk.
int sypCleanupRemove(const char* path) {
    if (path == nullptr) return kSypRmdirFailed;
    CleanupNode* node = nullptr;
    {
        const ListGuard guard;
        CleanupNode* volatile* link = FindLink(path);
        if (link == nullptr || !RemovePath(*link)) return kSypRmdirFailed;
        node = Unlink(link);
    }
    std::free(node);
    return kSypOk;
}

void sypCleanupRunAll() {
    // Files first, then directories newest first, as in the signal handler.
    for (const bool directories : {false, true}) {
        const ListGuard guard;
        for (CleanupNode* volatile* link = &g_head; *link != nullptr;) {
            if ((*link)->directory != directories || !RemovePath(*link)) {
                link = &(*link)->next;
                continue;
            }
            std::free(Unlink(link));
        }
    }
}

int sypCleanupRenameInto(const char* const* from, const char* const* to, int count) {
    if (from == nullptr || to == nullptr || count < 0) {
        SYP_REPORT_MISUSE();
        return 0;
    }
    const ListGuard guard;
    for (int i = 0; i < count; ++i) {
        if (std::rename(from[i], to[i]) != 0) return i;
        if (CleanupNode* volatile* link = FindLink(from[i])) std::free(Unlink(link));
    }
    return count;
}

int sypMakeRegisteredTempFile(char* path_template) {
    if (path_template == nullptr || std::strlen(path_template) < 6) {
        SYP_REPORT_MISUSE();
        return -1;
    }
    PrepareOnce();
    // The node is made first with the template's length, and filled with the
    // real name under the guard, so that no signal falls between creating
    // the file and listing it.
    CleanupNode* node = NewNode(path_template, false);
    if (node == nullptr) return -1;
    const ListGuard guard;
    const int descriptor = mkstemp(node->path);
    if (descriptor < 0) {
        std::free(node);
        return -1;
    }
    std::memcpy(path_template, node->path, std::strlen(node->path));
    Push(node);
    return descriptor;
}

int sypMakeRegisteredTempDirectory(char* path_template) {
    if (path_template == nullptr || std::strlen(path_template) < 6) {
        SYP_REPORT_MISUSE();
        return kSypMkdirFailed;
    }
    PrepareOnce();
    CleanupNode* node = NewNode(path_template, true);
    if (node == nullptr) return kSypMkdirFailed;
    const ListGuard guard;
    if (mkdtemp(node->path) == nullptr) {
        std::free(node);
        return kSypMkdirFailed;
    }
    std::memcpy(path_template, node->path, std::strlen(node->path));
    Push(node);
    return kSypOk;
}

tarnvel::services::CleanupSignalsHeld::CleanupSignalsHeld() {
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal_number : kCleanupSignals) sigaddset(&blocked, signal_number);
    pthread_sigmask(SIG_BLOCK, &blocked, &saved_);
}

tarnvel::services::CleanupSignalsHeld::~CleanupSignalsHeld() {
    pthread_sigmask(SIG_SETMASK, &saved_, nullptr);
}

int tarnvel::services::CleanupListSize() {
    const ListGuard guard;
    return g_size;
}
