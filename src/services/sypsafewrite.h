// The one way the project writes a whole output file, so that whatever
// happens during the write (a failure, a full disk, a file-size limit, a
// signal) the path holds either what it held before or the complete new
// file, never a part of it:
//
//   - a path that does not exist yet, or a regular file, is written through
//     a private sibling "NAME.XXXXXX" (mkstemp, on the cleanup list) that is
//     renamed over the path once the whole file is written and closed; an
//     existing file's permission bits carry over to the new one;
//   - a symbolic link is written through: the sibling is made beside the
//     file the link resolves to and renamed over it, and the link stays;
//   - a character or block device or a FIFO is opened and written directly
//     (no sibling, nothing renamed over it);
//   - anything else (a directory, a socket) is refused.
//
// Usage:
//   const int status = sypWriteFile(path, [&](std::FILE* out) {
//       return WriteEverything(out);   // false: the content failed
//   });
//   if (status != 0) report(sypWriteFileError());
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace tarnvel::services {

// Writes the body of a file to the stream; false when it could not make the
// whole content. Write errors of the stream are noticed by the caller too.
using SypWriteBody = std::function<bool(std::FILE*)>;

// Sets the text sypWriteFileError gives: "PATH: REASON".
void SetWriteFileError(const char* path, const char* reason);

}  // namespace tarnvel::services

// Writes the file at path through body as described above: 0, 300 when the
// output cannot be opened or created (or is refused), 310 when the body or
// the write failed, 301 when the file could not be closed or put in place.
// On failure nothing at path has changed (for a device or FIFO: whatever was
// written has been written) and no sibling is left.
int sypWriteFile(const char* path, const tarnvel::services::SypWriteBody& body);
// Why the last sypWriteFile (or failed sypCheckWritable) of this thread
// failed, one line without a final full stop and naming the file, e.g.
// "OUT: it is a directory"; empty after a successful sypWriteFile.
const char* sypWriteFileError();

// Files that are changed in place record by record (the material database)
// are changed through a private sibling instead, renamed over the file
// when the changes are complete:
//
//   std::string sibling, target;
//   std::FILE* copy = sypOpenSibling(path, true, &sibling, &target);
//   ... read and write copy ...
//   sypSyncFile(copy);                      // before the rename
//   sypCleanupRenameInto(&from, &to, 1);    // sypcleanup.h; many at once
//   sypSyncDirectoryOf(target.c_str());
//
// Opens a private sibling "TARGET.XXXXXX" (on the cleanup list) of the file
// at path for reading and writing ("w+b" position at the start). TARGET is
// path with its symbolic links followed, made absolute. With copy the file
// must exist and be open-able for writing: the sibling holds its bytes,
// permission bits and (where the process may set them) owner; otherwise
// the sibling is empty with the permission bits of a new file. The two
// absolute paths come back in sibling and target. Null (errno set) on
// failure, leaving no sibling.
std::FILE* sypOpenSibling(const char* path, bool copy, std::string* sibling, std::string* target);
// Flushes the stream and has the system write it to the disk: 0, or 301.
int sypSyncFile(std::FILE* stream);
// Has the system write the directory of path (its entries, after renames)
// to the disk, as far as it can.
void sypSyncDirectoryOf(const char* path);
