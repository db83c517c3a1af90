// Opening and closing the four databases.
#include "matdb/md_slots.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "matdb/matdb.h"
#include "matdb/md_lookup_cache.h"
#include "matdb/md_print.h"
#include "matdb/rax_location.h"

namespace tarnvel::matdb {

namespace {

std::array<SlotState, 4> g_slots = [] {
    std::array<SlotState, 4> slots;
    const char* names[] = {"Standard", "Company", "Project", "Local"};
    for (int slot = 0; slot < 4; ++slot) slots[slot].name = names[slot];
    return slots;
}();
int g_current_write = MD_NO_SLOT;
std::optional<std::string> g_version;

constexpr RaxFileKind kKinds[] = {RaxFileKind::kSupplier, RaxFileKind::kGrade, RaxFileKind::kData};

using FileSet = std::array<std::unique_ptr<RaxFile>, kRaxFileKinds>;

// The three files of a database are saved together; files from different
// saves (a save cut off between its renames) make the database damaged.
bool SameGeneration(const FileSet& files, std::string* why) {
    const std::int32_t first = files[0]->header().generation;
    const auto differs = [first](const auto& file) { return file->header().generation != first; };
    if (std::none_of(files.begin(), files.end(), differs)) return true;
    *why = "the database is damaged: its files come from different saves (generations";
    for (const auto& file : files)
        why->append(" ").append(std::to_string(file->header().generation));
    *why += ")";
    return false;
}

// Opens the three files of a slot and reads their headers in the byte order
// the data file's magic decides. False with the saved error number, or with
// words when there is no system error.
bool OpenFiles(int slot, bool writable, FileSet* files, int* saved_errno, std::string* why) {
    std::string directory;
    if (!DatabaseDirectory(slot, &directory, why)) return false;
    for (RaxFileKind kind : kKinds) {
        const std::string path = ExistingRaxPath(directory, slot, kind);
        auto& file = (*files)[static_cast<int>(kind)];
        file = writable ? RaxFile::OpenStaged(path, kind, saved_errno)
                        : RaxFile::Open(path, kind, false, saved_errno);
        if (file == nullptr) {
            *why = path;
            return false;
        }
    }
    RaxFile& data = *(*files)[static_cast<int>(RaxFileKind::kData)];
    std::int32_t magic = 0;
    if (!data.ReadRawMagic(&magic)) {
        *why = "header record of " + data.path() + " is truncated";
        return false;
    }
    const auto reversed =
        static_cast<std::int32_t>(ReverseBytes(static_cast<std::uint32_t>(magic)));
    const auto known = [](std::int32_t word) {
        return word == kPersonalMagic || word == kStandardMagic;
    };
    if (!known(magic) && !known(reversed)) {
        *why = "wrong magic number in " + data.path();
        return false;
    }
    const bool swapped = !known(magic);
    for (auto& file : *files) {
        if (!file->AdoptHeader(swapped, why)) return false;
    }
    return SameGeneration(*files, why);
}

bool CreateFiles(int slot, FileSet* files) {
    std::string directory;
    std::string why;
    if (!DatabaseDirectory(slot, &directory, &why)) return false;
    for (RaxFileKind kind : kKinds) {
        int saved_errno = 0;
        auto& file = (*files)[static_cast<int>(kind)];
        file = RaxFile::Create(directory + RaxFileName(slot, kind), kind, kPersonalMagic,
                               &saved_errno);
        if (file == nullptr) return false;
        if (!file->AdoptHeader(false, &why)) return false;
    }
    return true;
}

int Open(int slot, int mode) {
    SlotState& entry = g_slots[slot];
    FileSet files;
    int result = 0;
    if (mode == MD_CREATE) {
        result = CreateFiles(slot, &files) ? MD_CREATED : MD_OPEN_FAILED;
        MdPrint("%s %s database.\n", result != 0 ? "Initialized" : "Could not create", entry.name);
    } else {
        int saved_errno = 0;
        std::string why;
        bool opened = OpenFiles(slot, mode == MD_WRITE, &files, &saved_errno, &why);
        const int first_errno = saved_errno;
        const std::string first_why = why;
        if (!opened && mode == MD_WRITE) {
            files = FileSet{};
            opened = OpenFiles(slot, false, &files, &saved_errno, &why);
        }
        result = opened
                     ? (mode == MD_WRITE && files[0]->writable() ? MD_OPENED_WRITE : MD_OPENED_READ)
                     : MD_OPEN_FAILED;
        if (result == MD_OPEN_FAILED || (mode == MD_WRITE && result == MD_OPENED_READ)) {
            const bool asked_write = mode == MD_WRITE;
            const int errno_shown = asked_write ? first_errno : saved_errno;
            const std::string& why_shown = asked_write ? first_why : why;
            MdPrint("Could not open %s database for %s: %s\n", entry.name,
                    asked_write ? "writing" : "reading",
                    errno_shown != 0 ? (ErrorText(errno_shown, "") + " (" + why_shown + ")").c_str()
                                     : why_shown.c_str());
        }
        if (result != MD_OPEN_FAILED) {
            MdPrint("Opened %s database for %s.\n", entry.name,
                    result == MD_OPENED_WRITE ? "writing" : "reading");
        }
    }
    if (result == MD_OPEN_FAILED) return 0;
    entry.files = std::move(files);
    entry.state = result;
    entry.writable = result != MD_OPENED_READ;
    entry.write_failures = 0;
    if (entry.writable) g_current_write = slot;
    if (slot == MD_STANDARD) g_version = md_slot_version(MD_STANDARD);
    return result;
}

}  // namespace

SlotState* Slot(int slot) {
    return slot >= 0 && slot <= kMdHighestSlot ? &g_slots[slot] : nullptr;
}

RaxFile* SlotFile(int slot, RaxFileKind kind) {
    SlotState* entry = Slot(slot);
    if (entry == nullptr || entry->state == 0) return nullptr;
    return entry->files[static_cast<int>(kind)].get();
}

}  // namespace tarnvel::matdb

using tarnvel::matdb::g_current_write;
using tarnvel::matdb::Slot;
using tarnvel::matdb::SlotState;

int md_open(int slot, int mode) {
    SlotState* entry = Slot(slot);
    if (entry != nullptr && entry->state != 0 && (mode == MD_READ || entry->writable) &&
        mode != MD_CREATE)
        return (entry->writable ? 1 : 0) + 1;
    md_close(slot);
    if (slot == MD_STANDARD && mode != MD_READ) {
        tarnvel::matdb::MdPrint("Cannot write to Standard Database.\n");
        mode = MD_READ;
    }
    if (entry == nullptr || mode < MD_READ || mode > MD_CREATE) {
        tarnvel::matdb::MdPrint("Bad argument to md_open.\n");
        return 0;
    }
    return tarnvel::matdb::Open(slot, mode);
}

int md_fopen(int code) {
    std::fflush(nullptr);
    code = std::abs(code);
    // Codes 1 to 3 and 5 to 7 name Local, Project and Company in that order.
    static constexpr int kSlotOfCode[] = {MD_STANDARD, MD_LOCAL, MD_PROJECT, MD_COMPANY};
    if (code > 7) {
        tarnvel::matdb::MdPrint("Bad argument to md_fopen\n");
        return 0;
    }
    if (code == 0) return md_open(MD_STANDARD, MD_READ);
    return md_open(kSlotOfCode[code % 4], code >= 4 ? MD_CREATE : MD_WRITE);
}

void md_fclos(int code) {
    static constexpr int kSlotOfCode[] = {MD_STANDARD, MD_LOCAL, MD_PROJECT, MD_COMPANY};
    if (code < 0 || code > 3) {
        tarnvel::matdb::MdPrint("Bad arg to md_fclos\n");
        return;
    }
    md_close(kSlotOfCode[code]);
}

namespace {

// Closes the slot; the copies of a writable slot are saved first when save
// is set, and thrown away otherwise. False when saving failed.
bool CloseSlot(int slot, bool save) {
    SlotState* entry = Slot(slot);
    if (entry == nullptr) return false;
    const bool was_open = entry->state != 0;
    const bool saved = !was_open || !save || tarnvel::matdb::SaveSlotFiles(*entry);
    tarnvel::matdb::ForgetLookups(slot);
    for (auto& file : entry->files) file.reset();
    if (was_open) tarnvel::matdb::MdPrint("Closed %s database.\n", entry->name);
    entry->state = 0;
    entry->writable = false;
    return saved;
}

}  // namespace

void md_close(int slot) {
    CloseSlot(slot, true);
}

int md_commit(int slot) {
    return CloseSlot(slot, true) ? 1 : 0;
}

void md_discard(int slot) {
    CloseSlot(slot, false);
}

int md_write_failures(int slot) {
    SlotState* entry = Slot(slot);
    return entry != nullptr ? entry->write_failures : 0;
}

void md_close_all() {
    for (int slot : {MD_STANDARD, MD_LOCAL, MD_PROJECT, MD_COMPANY}) md_close(slot);
}

int md_open_all() {
    int sum = 0;
    for (int slot : {MD_LOCAL, MD_PROJECT, MD_COMPANY, MD_STANDARD}) sum += md_open(slot, MD_READ);
    return sum;
}

const char* md_database_name(int slot) {
    SlotState* entry = Slot(slot);
    return entry != nullptr ? entry->name : "";
}

int md_open_state(int slot) {
    SlotState* entry = Slot(slot);
    return entry != nullptr ? entry->state : 0;
}

int md_writable(int slot) {
    SlotState* entry = Slot(slot);
    return entry != nullptr && entry->writable ? 1 : 0;
}

int md_current_write_database() {
    return g_current_write;
}

std::optional<std::string> md_database_version() {
    return tarnvel::matdb::g_version;
}
