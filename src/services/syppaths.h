// Plain functions over the file system: paths, temporary files and
// directories, copying and directory listing. Misuse (null or empty
// arguments, buffers too small) is reported as an unexpected condition and
// returns the failure value; file-system failures return the codes below.
#pragma once

#include <cstddef>
#include <cstdio>

namespace tarnvel::services {

// File utility status codes.
enum SypStatus : int {
    kSypOk = 0,
    kSypOpenFailed = 300,
    kSypCloseFailed = 301,
    kSypMkdirFailed = 307,
    kSypRmdirFailed = 308,
    kSypChdirFailed = 309,
    kSypCopyFailed = 310,
};

// The usual size of a path buffer.
inline constexpr int kPathSize = 260;

// For tests only: forgets the chosen temporary directory, so that the next
// sypTempDirectory call chooses again from the current environment. The
// name counters keep growing.
void ResetTempDirectoryForTesting();

}  // namespace tarnvel::services

// One entry of a directory list: an owned copy of a name and the next entry.
struct SypListItem {
    char* name;
    SypListItem* next;
};

// Splits a path into its directory (ending in "/") and its file name. A path
// without "/" is taken relative to the current directory. Returns 1 or 0.
int sypSplitPath(const char* path, char* directory, char* name, int directory_size, int name_size);
// Joins directory, one "/", and name into output. Returns 1 or 0.
int sypJoinPath(const char* directory, const char* name, char* output, int size);
// The temporary directory (ending in "/"), chosen once per process and made
// absolute when chosen, so that a change of the working directory does not
// move it; null when none is usable.
const char* sypTempDirectory();
// Creates a new, empty, private file in the temporary directory and returns
// its path (a static buffer overwritten by the next call); null on failure.
// The file is on the cleanup list (services/sypcleanup.h): remove it with
// sypCleanupRemove.
const char* sypTempFileName();
// Creates a new private directory in the temporary directory and returns
// its path (a static buffer overwritten by the next call); null on failure.
// The directory is on the cleanup list: remove it with sypCleanupRemove.
const char* sypTempDirectoryName();
// Creates one directory: 0 or 307.
int sypMakeDirectory(const char* path);
// Removes a directory with everything below it: 0 or 308.
int sypRemoveTree(const char* path);
// Changes the current directory: 0 or 309.
int sypChangeDirectory(const char* path);
// Copies a file byte for byte: 0, 300 or 310.
int sypCopyFile(const char* source, const char* target);
// Opens a buffered file stream: 0 or 300.
int sypOpenFile(std::FILE** file, const char* path, const char* mode);
// Closes a buffered file stream: 0 or 301.
int sypCloseFile(std::FILE* file);
// 1 when the file can be opened for binary reading.
int sypFileExists(const char* path);
// 1 when the file can be opened for reading and is no directory; otherwise
// 0 with the reason in reason ("No such file or directory", "it is a
// directory").
int sypCheckReadable(const char* path, char* reason, int size);
// 1 when the file can be opened for appending (a file created by the check
// is removed again).
int sypCheckWritable(const char* path);
// The current directory into buffer (or a new sypMalloc copy for a null
// buffer); null on failure.
char* sypGetcwd(char* buffer, int size);
// Lists the names in a directory ("." included, ".." not) in the order
// found. The list is released with sypFreeList.
bool sypListAllFiles(const char* directory, int* count, SypListItem** list);
// Releases a list from sypListAllFiles.
void sypFreeList(SypListItem* list);
// Copies an entry's name into buffer, cut to fit. Returns true or false.
bool sypGetFilenameFromListItem(const SypListItem* item, char* buffer, int size);
// The names of a directory as an array of owned texts; null on failure.
char** sypListDirectory(const char* directory, int* count);
// Frees an array from sypListDirectory.
void sypFreeNameArray(char** names, int count);
// A copy made with the C runtime's malloc (release it with std::free), or
// null for null.
char* sypDuplicate(const char* text);
