// Walking the suppliers and grades of the open databases, and finding them
// by name. Every link read from a file is checked and every walk reaches
// each record at most once (md_visits.h), so a damaged list ends the walk.
#include "matdb/md_walk.h"

#include <vector>

#include "matdb/md_lookup_cache.h"
#include "matdb/md_print.h"
#include "matdb/md_slots.h"
#include "matdb/md_visits.h"

namespace tarnvel::matdb {

namespace {

template <typename Record>
bool ReadListRecord(int slot, RaxFileKind kind, int number, Record* record) {
    RaxFile* file = SlotFile(slot, kind);
    if (file == nullptr) return false;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file->record_length()));
    if (!file->ReadRecord(number, bytes)) return false;
    *record = Record::DecodeFrom(bytes, file->swapped());
    return true;
}

void ReportDamage(int slot, RaxFileKind kind) {
    RaxFile* file = SlotFile(slot, kind);
    MdPrint("Error: the %s list of the %s database is damaged (%s).\n",
            kind == RaxFileKind::kSupplier ? "supplier" : "grade", md_database_name(slot),
            file != nullptr ? file->path().c_str() : "");
}

// The first supplier record of a slot's list (0 when the list is empty).
int FirstSupplierRecord(int slot) {
    RaxFile* file = SlotFile(slot, RaxFileKind::kSupplier);
    if (file == nullptr || file->header().allocated < 1 || !file->ValidRecord(2)) return 0;
    return 2;
}

int FirstGradeRecord(int slot, int supplier) {
    SupplierRecord record;
    if (!ReadSupplierRecord(slot, supplier, &record)) return -1;
    return record.first_grade;
}

// Moves along owner's list from number (inclusive) to the first record a
// walk shows: suppliers that are not empty, grades that are not deleted. 0
// at the end of the list; -1 when the list is damaged (reported).
template <typename Record>
int Visible(int slot, RaxFileKind kind, int owner, int walk, int number) {
    while (number > 0) {
        Record record;
        if (!Visit(slot, kind, owner, walk, number) ||
            !ReadListRecord(slot, kind, number, &record)) {
            ReportDamage(slot, kind);
            return -1;
        }
        bool hidden = false;
        if constexpr (std::is_same_v<Record, SupplierRecord>) {
            hidden = record.IsEmpty();
        } else {
            hidden = record.IsDeleted();
        }
        if (!hidden) return number;
        number = record.next;
    }
    return 0;
}

// The walk a position continues: its own, or for a position that a find
// gave, a new one that has reached the position's record.
int ContinuedWalk(int slot, RaxFileKind kind, int owner, int walk, int number) {
    if (walk != 0) return walk;
    walk = NewWalk();
    Visit(slot, kind, owner, walk, number);
    return walk;
}

bool InScope(int scope, int slot) {
    SlotState* entry = Slot(slot);
    if (entry == nullptr || entry->state == 0) return false;
    return scope != MD_ALL_WRITABLE || entry->writable;
}

bool IsMulti(int scope) {
    return scope == MD_ALL_OPEN || scope == MD_ALL_WRITABLE;
}

MdPosition Invalid() {
    return MdPosition{};
}

// The first visible supplier of slot or, for a walk over several
// databases, of the next database in search order that has one. A walk
// from the first supplier begins a walk over the whole database: the
// records earlier walks reached are forgotten, and from here on a grade
// record reached from the lists of two suppliers is damage.
MdPosition SupplierWalkFrom(int scope, int slot) {
    for (; slot >= 0; --slot) {
        if (!InScope(scope, slot)) {
            if (!IsMulti(scope)) break;
            continue;
        }
        ForgetVisits(slot, RaxFileKind::kSupplier);
        ForgetVisits(slot, RaxFileKind::kGrade);
        const int walk = NewWalk();
        const int number = Visible<SupplierRecord>(slot, RaxFileKind::kSupplier, 0, walk,
                                                   FirstSupplierRecord(slot));
        if (number > 0) {
            MdPosition position;
            position.slot = slot;
            position.scope = scope;
            position.supplier = SupplierOffset(slot, number);
            position.valid = 1;
            position.supplier_walk = walk;
            return position;
        }
        if (!IsMulti(scope)) break;
    }
    return Invalid();
}

int StartSlot(int scope) {
    if (IsMulti(scope)) return kMdHighestSlot;
    return scope;
}

// Walks owner's list from its first record in chain order, every record
// reached once (hidden ones too), until a visible record's first word
// matches.
template <typename Record>
FindStatus FindInList(int slot, RaxFileKind kind, int owner, int first, std::string_view wanted,
                      int* found, int* last) {
    *found = 0;
    *last = 0;
    const int walk = NewWalk();
    for (int number = first; number > 0;) {
        Record record;
        if (!Visit(slot, kind, owner, walk, number) ||
            !ReadListRecord(slot, kind, number, &record)) {
            ReportDamage(slot, kind);
            return FindStatus::kDamaged;
        }
        *last = number;
        std::string_view field;
        bool hidden = false;
        if constexpr (std::is_same_v<Record, SupplierRecord>) {
            hidden = record.IsEmpty();
            field = std::string_view(record.name.data(), record.name.size());
        } else {
            hidden = record.IsDeleted();
            field = std::string_view(record.text.data(), record.text.size());
        }
        if (!hidden && SameIgnoringCase(FirstWord(field), wanted)) {
            *found = number;
            return FindStatus::kFound;
        }
        number = record.next;
    }
    return FindStatus::kNotFound;
}

}  // namespace

bool ReadSupplierRecord(int slot, int number, SupplierRecord* record) {
    return ReadListRecord(slot, RaxFileKind::kSupplier, number, record);
}

bool ReadGradeRecord(int slot, int number, GradeRecord* record) {
    return ReadListRecord(slot, RaxFileKind::kGrade, number, record);
}

int SupplierNumber(const MdPosition& position) {
    RaxFile* file = SlotFile(position.slot, RaxFileKind::kSupplier);
    return file != nullptr && position.supplier >= 0 ? file->NumberAt(position.supplier) : 0;
}

int GradeNumber(const MdPosition& position) {
    RaxFile* file = SlotFile(position.slot, RaxFileKind::kGrade);
    return file != nullptr && position.grade >= 0 ? file->NumberAt(position.grade) : 0;
}

int SupplierOffset(int slot, int number) {
    RaxFile* file = SlotFile(slot, RaxFileKind::kSupplier);
    return file != nullptr ? file->OffsetOf(number) : -2;
}

int GradeOffset(int slot, int number) {
    RaxFile* file = SlotFile(slot, RaxFileKind::kGrade);
    return file != nullptr ? file->OffsetOf(number) : -2;
}

std::string WantedName(std::string_view name, std::size_t width) {
    std::string wanted = Upper(Trim(name));
    if (wanted.size() > width) wanted.resize(width);
    return wanted;
}

FindStatus FindSupplierIn(int slot, std::string_view name, int* found, int* last) {
    const int first = FirstSupplierRecord(slot);
    const std::string wanted = WantedName(name, kSupplierNameWidth);
    if (const auto cached = CachedFind(slot, RaxFileKind::kSupplier, 0, first, wanted, found, last))
        return *cached;
    return FindInList<SupplierRecord>(slot, RaxFileKind::kSupplier, 0, first, wanted, found, last);
}

FindStatus FindGradeIn(int slot, int supplier, std::string_view name, int* found, int* last) {
    const int first = FirstGradeRecord(slot, supplier);
    if (first < 0) {
        *found = *last = 0;
        ReportDamage(slot, RaxFileKind::kSupplier);
        return FindStatus::kDamaged;
    }
    const std::string wanted = WantedName(name, kGradeCodeWidth);
    if (const auto cached =
            CachedFind(slot, RaxFileKind::kGrade, supplier, first, wanted, found, last))
        return *cached;
    return FindInList<GradeRecord>(slot, RaxFileKind::kGrade, supplier, first, wanted, found, last);
}

}  // namespace tarnvel::matdb

namespace md = tarnvel::matdb;

MdPosition md_position(int slot) {
    MdPosition position;
    position.slot = slot;
    position.scope = slot;
    return position;
}

MdPosition md_first_supplier(MdPosition position) {
    const int scope = position.slot;
    if (!md::IsMulti(scope) && !md::InScope(scope, scope)) return md::Invalid();
    return md::SupplierWalkFrom(scope, md::StartSlot(scope));
}

MdPosition md_next_supplier(MdPosition position) {
    const int number = md::SupplierNumber(position);
    if (position.valid == 0 || number == 0) return md::Invalid();
    const int walk = md::ContinuedWalk(position.slot, md::RaxFileKind::kSupplier, 0,
                                       position.supplier_walk, number);
    md::SupplierRecord record;
    int next = -1;
    if (md::ReadSupplierRecord(position.slot, number, &record)) {
        next = md::Visible<md::SupplierRecord>(position.slot, md::RaxFileKind::kSupplier, 0, walk,
                                               record.next);
    }
    if (next > 0) {
        position.supplier = md::SupplierOffset(position.slot, next);
        position.grade = -2;
        position.supplier_walk = walk;
        return position;
    }
    if (next == 0 && md::IsMulti(position.scope))
        return md::SupplierWalkFrom(position.scope, position.slot - 1);
    return md::Invalid();
}

MdPosition md_first_grade(MdPosition position) {
    if (position.supplier == -1) position = md_first_supplier(md_position(position.slot));
    const int supplier = md::SupplierNumber(position);
    if (supplier == 0) return md::Invalid();
    const int first = md::FirstGradeRecord(position.slot, supplier);
    const int walk = md::NewWalk();
    const int number = first < 0
                           ? -1
                           : md::Visible<md::GradeRecord>(position.slot, md::RaxFileKind::kGrade,
                                                          supplier, walk, first);
    position.grade = number > 0 ? md::GradeOffset(position.slot, number) : -2;
    position.valid = number > 0 ? 1 : 0;
    position.grade_walk = walk;
    return position;
}

MdPosition md_next_grade(MdPosition position) {
    const int number = md::GradeNumber(position);
    const int supplier = md::SupplierNumber(position);
    if (position.valid == 0 || number == 0) return md::Invalid();
    const int walk = md::ContinuedWalk(position.slot, md::RaxFileKind::kGrade, supplier,
                                       position.grade_walk, number);
    md::GradeRecord record;
    int next = -1;
    if (md::ReadGradeRecord(position.slot, number, &record)) {
        next = md::Visible<md::GradeRecord>(position.slot, md::RaxFileKind::kGrade, supplier, walk,
                                            record.next);
    }
    position.grade = next > 0 ? md::GradeOffset(position.slot, next) : -2;
    position.valid = next > 0 ? 1 : 0;
    position.grade_walk = walk;
    return position;
}

MdPosition md_find_supplier(MdPosition position, const char* supplier) {
    if (supplier == nullptr || md::Trim(supplier).empty()) {
        md::MdPrint("Error: supplier name not set.\n");
        return md::Invalid();
    }
    const int scope = position.slot;
    MdPosition result = md::Invalid();
    for (int slot = md::StartSlot(scope); slot >= 0; --slot) {
        if (md::InScope(scope, slot)) {
            int found = 0;
            int last = 0;
            const md::FindStatus status = md::FindSupplierIn(slot, supplier, &found, &last);
            result = md_position(slot);
            result.scope = scope;
            const int number = status == md::FindStatus::kFound ? found : last;
            result.supplier = number > 0 ? md::SupplierOffset(slot, number) : -2;
            result.valid = status == md::FindStatus::kFound ? 1 : 0;
            if (result.valid != 0) return result;
        }
        if (!md::IsMulti(scope)) break;
    }
    return result;
}

MdPosition md_find_grade(MdPosition position, const char* grade) {
    if (grade == nullptr || md::Trim(grade).empty()) {
        md::MdPrint("Error: grade name not set.\n");
        position.valid = 0;
        return position;
    }
    if (position.supplier == -1) position = md_first_supplier(md_position(position.slot));
    const int supplier = md::SupplierNumber(position);
    position.valid = 0;
    position.grade = -2;
    position.grade_walk = 0;
    if (supplier == 0) return position;
    int found = 0;
    int last = 0;
    const md::FindStatus status = md::FindGradeIn(position.slot, supplier, grade, &found, &last);
    const int number = status == md::FindStatus::kFound ? found : last;
    position.grade = number > 0 ? md::GradeOffset(position.slot, number) : -2;
    position.valid = status == md::FindStatus::kFound ? 1 : 0;
    return position;
}

namespace {

// The slot named by the text before the "." of a "db.SUPPLIER" text, or -2
// (the valid databases listed).
int NamedSlot(std::string_view prefix) {
    for (int slot = 0; slot <= kMdHighestSlot && !prefix.empty(); ++slot) {
        const std::string_view name = md_database_name(slot);
        if (prefix.size() <= name.size() &&
            md::SameIgnoringCase(name.substr(0, prefix.size()), prefix))
            return slot;
    }
    const std::string text(prefix);
    md::MdPrint("\"%s\" is not a valid database\nValid databases:\n", text.c_str());
    for (int slot = 0; slot <= kMdHighestSlot; ++slot) {
        md::MdPrint("\t%s (%s)\n", md_database_name(slot),
                    md_open_state(slot) != 0 ? "open" : "not open");
    }
    return MD_NO_SLOT;
}

}  // namespace

MdPosition md::FindLiteral(int scope, const char* supplier, const char* grade) {
    for (int slot = md::StartSlot(scope); slot >= 0; --slot) {
        if (md::InScope(scope, slot)) {
            const MdPosition found = md_find_supplier(md_position(slot), supplier);
            if (found.valid != 0) {
                const MdPosition graded = md_find_grade(found, grade);
                if (graded.valid != 0) return graded;
            }
        }
        if (!md::IsMulti(scope)) break;
    }
    return md::Invalid();
}

MdPosition md_find(int slot, const char* supplier, const char* grade) {
    if (supplier == nullptr || md::Trim(supplier).empty()) {
        md::MdPrint("Error: supplier name not set.\n");
        return md::Invalid();
    }
    const std::string_view text(supplier);
    const std::size_t dot = text.find('.');
    if (slot != MD_ALL_OPEN || dot == std::string_view::npos)
        return md::FindLiteral(slot, supplier, grade);
    const int named = NamedSlot(md::Trim(text.substr(0, dot)));
    if (named == MD_NO_SLOT) return md::Invalid();
    if (md_open_state(named) == 0) {
        const std::string prefix(md::Trim(text.substr(0, dot)));
        md::MdPrint("\"%s\" is not open\n", prefix.c_str());
        return md::Invalid();
    }
    const std::string name(text.substr(dot + 1));
    return md::FindLiteral(named, name.c_str(), grade);
}
