// The process-wide list of temporary files and directories that must not
// outlive the process. Everything on the list is removed when the process
// ends normally (exit, return from main, a failed assertion), when a caller
// asks for it, and from the handlers of SIGINT, SIGTERM, SIGHUP and SIGXFSZ,
// which then end the process by the same signal.
//
// Usage:
//   - A temporary file or directory made by sypTempFileName,
//     sypTempDirectoryName or sypMakeRegisteredTemp is on the list already.
//     Anything else the process creates and must not leave behind (a file it
//     writes into a registered directory, say) is added with
//     sypCleanupAddFile / sypCleanupAddDirectory right after it is made.
//   - When the owner is done with a path it calls sypCleanupRemove (removes
//     it now: a directory with its whole tree) or, when the path has become
//     a kept file (renamed into place), sypCleanupForget.
//
// In a signal handler only async-signal-safe calls are allowed, so there a
// registered file is unlinked and a registered directory is removed with
// rmdir, which succeeds only when it is empty: files are removed before
// directories, and directories newest first (a subdirectory registered after
// its parent goes before it). A directory tree holding files that were never
// registered is removed whole on normal exit only; register each file a
// pipeline writes into its temporary directory so that a signal leaves
// nothing either.
//
// The list is changed with the four signals blocked, so a handler never sees
// it half changed. The list is meant for a single-threaded program; a signal
// delivered to another thread while one thread changes the list may miss an
// entry.
#pragma once

#include <signal.h>

// Adds a path to the list: 0, or 1 when it could not be added (no memory, or
// misuse). A path already on the list is not added twice.
int sypCleanupAddFile(const char* path);
int sypCleanupAddDirectory(const char* path);
// Takes a path off the list without touching it.
void sypCleanupForget(const char* path);
// Removes a listed path now (a directory with everything below it) and
// takes it off the list: 0 on success, 308 when the removal failed (the
// entry stays on the list). A path that is not on the list is left alone
// and gives 308.
int sypCleanupRemove(const char* path);
// Removes everything on the list, as the exit cleanup does.
void sypCleanupRunAll();
// Renames each listed file from[i] over to[i], in order, with the signals
// blocked, and takes each off the list as it is renamed: a set of private
// siblings is put in place together, with no signal falling between the
// renames. Returns how many were renamed: count, or the index of the first
// rename that failed (errno tells why; the ones after it are not tried).
int sypCleanupRenameInto(const char* const* from, const char* const* to, int count);
// Creates a private file (mkstemp) or directory (mkdtemp) from a template
// whose last six characters are "XXXXXX" and puts it on the list with the
// signals blocked, so that no signal can leave it behind. The file variant
// returns the open descriptor (-1 on failure); the directory variant 0 or 307.
int sypMakeRegisteredTempFile(char* path_template);
int sypMakeRegisteredTempDirectory(char* path_template);

namespace tarnvel::services {

// The number of paths on the list (for tests).
int CleanupListSize();

// Holds back the four cleanup signals in this thread for its lifetime (a
// signal that comes meanwhile is delivered when it ends). A file that is
// created and removed again within such a scope, a probe of whether a
// folder takes new files, is thus never left behind by an interrupt.
class CleanupSignalsHeld {
  public:
    CleanupSignalsHeld();
    ~CleanupSignalsHeld();
    CleanupSignalsHeld(const CleanupSignalsHeld&) = delete;
    CleanupSignalsHeld& operator=(const CleanupSignalsHeld&) = delete;

  private:
    sigset_t saved_{};
};

}  // namespace tarnvel::services
