#include "matdb/md_lookup_cache.h"

#include <array>
#include <string>
#include <unordered_map>

#include "matdb/md_slots.h"
#include "matdb/md_visits.h"
#include "matdb/rax_records.h"

namespace tarnvel::matdb {
namespace {

// What is known of one list, from its first record up to tail.
struct ListIndex {
    // The first visible record of each name (upper case) seen so far.
    std::unordered_map<std::string, int> first_by_name;
    // The last record indexed; 0 before the first one.
    int tail = 0;
    // The walk that indexes the list (md_visits.h): it reaches every
    // record once, so a list whose links loop or cross another list is
    // found damaged. 0 until the first record is indexed.
    int walk = 0;
};

struct SlotIndex {
    ListIndex suppliers;
    // Grade lists by supplier record number.
    std::unordered_map<int, ListIndex> grades;
    // Grades read through generic links (Standard only).
    std::unordered_map<std::string, MdGrade> linked;
};

bool g_enabled = true;

std::array<SlotIndex, kMdHighestSlot + 1>& Indexes() {
    static std::array<SlotIndex, kMdHighestSlot + 1> indexes;
    return indexes;
}

// One list record as the lookup sees it.
struct Entry {
    std::string name;
    bool hidden = false;
    int next = 0;
};

bool ReadEntry(int slot, RaxFileKind kind, int number, Entry* entry) {
    if (kind == RaxFileKind::kSupplier) {
        SupplierRecord record;
        if (!ReadSupplierRecord(slot, number, &record)) return false;
        entry->name = Upper(FirstWord(std::string_view(record.name.data(), record.name.size())));
        entry->hidden = record.IsEmpty();
        entry->next = record.next;
    } else {
        GradeRecord record;
        if (!ReadGradeRecord(slot, number, &record)) return false;
        entry->name = Upper(FirstWord(std::string_view(record.text.data(), record.text.size())));
        entry->hidden = record.IsDeleted();
        entry->next = record.next;
    }
    return true;
}

ListIndex* IndexOf(int slot, RaxFileKind kind, int supplier) {
    if (slot < 0 || slot > kMdHighestSlot) return nullptr;
    SlotIndex& index = Indexes()[slot];
    return kind == RaxFileKind::kSupplier ? &index.suppliers : &index.grades[supplier];
}

// Confirms a remembered record: still shown, still of that name.
bool StillThere(int slot, RaxFileKind kind, int number, std::string_view wanted) {
    Entry entry;
    return ReadEntry(slot, kind, number, &entry) && !entry.hidden && entry.name == wanted;
}

// Indexes the list beyond its tail until wanted turns up or the list ends.
std::optional<FindStatus> Extend(int slot, RaxFileKind kind, int supplier, ListIndex& index,
                                 int first, std::string_view wanted, int* found, int* last) {
    int number = first;
    if (index.tail != 0) {
        Entry tail;
        if (!ReadEntry(slot, kind, index.tail, &tail)) return std::nullopt;
        number = tail.next;
    }
    if (index.walk == 0) index.walk = NewWalk();
    while (number > 0) {
        Entry entry;
        if (!Visit(slot, kind, supplier, index.walk, number) ||
            !ReadEntry(slot, kind, number, &entry))
            return std::nullopt;
        index.tail = number;
        if (!entry.hidden) {
            index.first_by_name.emplace(entry.name, number);
            if (entry.name == wanted) {
                *found = *last = number;
                return FindStatus::kFound;
            }
        }
        number = entry.next;
    }
    *found = 0;
    *last = index.tail;
    return FindStatus::kNotFound;
}

}  // namespace

std::optional<FindStatus> CachedFind(int slot, RaxFileKind kind, int supplier, int first,
                                     std::string_view wanted, int* found, int* last) {
    ListIndex* index = g_enabled ? IndexOf(slot, kind, supplier) : nullptr;
    if (index == nullptr) return std::nullopt;
    std::optional<FindStatus> status;
    const auto known = index->first_by_name.find(std::string(wanted));
    if (known == index->first_by_name.end()) {
        status = Extend(slot, kind, supplier, *index, first, wanted, found, last);
    } else if (StillThere(slot, kind, known->second, wanted)) {
        *found = *last = known->second;
        status = FindStatus::kFound;
    }
    if (!status) *index = ListIndex{};
    return status;
}

const MdGrade* CachedLinkedGrade(const std::string& key) {
    if (!g_enabled) return nullptr;
    const auto& linked = Indexes()[MD_STANDARD].linked;
    const auto found = linked.find(key);
    return found == linked.end() ? nullptr : &found->second;
}

void RememberLinkedGrade(const std::string& key, const MdGrade& grade) {
    if (g_enabled) Indexes()[MD_STANDARD].linked[key] = grade;
}

void SetLookupCacheEnabled(bool enabled) {
    g_enabled = enabled;
    for (int slot = 0; slot <= kMdHighestSlot; ++slot) ForgetLookups(slot);
}

void ForgetLookups(int slot) {
    if (slot >= 0 && slot <= kMdHighestSlot) Indexes()[slot] = SlotIndex{};
    ForgetAllVisits(slot);
}

}  // namespace tarnvel::matdb
