// Saving the changes of a database slot open for writing. The slot's three
// files were copied to private siblings when it was opened; the changes went
// to the copies. Saving raises the generation word in the three headers,
// writes the copies to the disk and renames them over the files together,
// with the signals that end the process held back, so that the database is
// either as it was or as written. A process killed outright between two of
// the renames leaves files of two generations, which an open reports as a
// damaged database instead of reading a grade half from each.
#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstring>

#include "matdb/md_print.h"
#include "matdb/md_slots.h"
#include "services/sypcleanup.h"
#include "services/sypsafewrite.h"

namespace tarnvel::matdb {

namespace {

// The generation the next save gets: one above the highest of the files,
// starting again at 1 after the largest word.
std::int32_t NextGeneration(const SlotState& entry) {
    std::int32_t highest = 0;
    for (const auto& file : entry.files) highest = std::max(highest, file->header().generation);
    return highest >= INT32_MAX ? 1 : highest + 1;
}

bool Fail(const SlotState& entry, int saved_errno, const char* what) {
    MdPrint("Error saving %s database: %s: %s\n", entry.name, what, std::strerror(saved_errno));
    return false;
}

}  // namespace

bool SaveSlotFiles(SlotState& entry) {
    if (!entry.writable) return true;
    for (const auto& file : entry.files) {
        if (file == nullptr || file->sibling().empty()) return true;
    }
    const std::int32_t generation = NextGeneration(entry);
    for (const auto& file : entry.files) {
        errno = 0;
        if (!file->PrepareSave(generation)) {
            return Fail(entry, errno != 0 ? errno : EIO, "the changes cannot be written");
        }
    }
    std::array<const char*, kRaxFileKinds> from{};
    std::array<const char*, kRaxFileKinds> to{};
    for (int i = 0; i < kRaxFileKinds; ++i) {
        from[i] = entry.files[i]->sibling().c_str();
        to[i] = entry.files[i]->target().c_str();
    }
    errno = 0;
    const int renamed = sypCleanupRenameInto(from.data(), to.data(), kRaxFileKinds);
    const int saved_errno = errno != 0 ? errno : EIO;
    for (int i = 0; i < renamed; ++i) entry.files[i]->Saved();
    sypSyncDirectoryOf(entry.files[0]->target().c_str());
    if (renamed == kRaxFileKinds) return true;
    return Fail(entry, saved_errno,
                renamed == 0 ? "the files cannot be replaced"
                             : "the files were replaced in part and the database is damaged");
}

}  // namespace tarnvel::matdb
