// Writing a grade into a writable database.
//
// The records are updated in place in the slot's private copies of its
// files (saved over the files only when the slot is closed or committed),
// and the write is ordered to keep the old grade readable in the copies
// when it is abandoned part way:
// every record number is allocated before anything is written; newly
// allocated data records are written first, then the old chain records that
// are reused; the grade record, which holds the chain starts, follows; the
// links that make a new grade or supplier reachable and the grade counts
// come last. Nothing is ever written at record 0 or 1 (the header).
#include <unordered_set>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_print.h"
#include "matdb/md_read.h"
#include "matdb/md_slots.h"
#include "matdb/md_walk.h"
#include "matdb/rax_chain.h"
#include "matdb/rax_payload.h"

namespace tarnvel::matdb {

namespace {

// Where the grade goes and what must be linked once its records are written.
struct WritePlan {
    int slot = MD_NO_SLOT;
    int supplier = 0;
    int grade = 0;
    bool new_supplier = false;
    bool new_grade = false;
    // The supplier list's and the supplier's grade list's last records.
    int last_supplier = 0;
    int last_grade = 0;
    GradeRecord old_record;
};

int WritableSlot(int slot) {
    if (slot == MD_ALL_OPEN || slot == MD_ALL_WRITABLE) {
        for (int candidate = kMdHighestSlot; candidate >= 0; --candidate) {
            if (md_writable(candidate) != 0) return candidate;
        }
        return MD_NO_SLOT;
    }
    return md_writable(slot) != 0 ? slot : MD_NO_SLOT;
}

template <typename Record>
bool WriteListRecord(int slot, RaxFileKind kind, int number, const Record& record) {
    RaxFile* file = SlotFile(slot, kind);
    if (file == nullptr) return false;
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(file->record_length()));
    record.EncodeTo(bytes, file->swapped());
    return file->WriteRecord(number, bytes);
}

// Finds the supplier and grade, reads and merges an existing grade, and
// allocates the records a new supplier or grade needs.
bool PlanRecords(int slot, MdGrade& grade, WritePlan* plan) {
    plan->slot = slot;
    int found = 0;
    const FindStatus supplier = FindSupplierIn(slot, grade.supplier, &found, &plan->last_supplier);
    if (supplier == FindStatus::kDamaged) return false;
    RaxFile* suppliers = SlotFile(slot, RaxFileKind::kSupplier);
    RaxFile* grades = SlotFile(slot, RaxFileKind::kGrade);
    if (supplier == FindStatus::kNotFound) {
        plan->new_supplier = plan->new_grade = true;
        plan->supplier = suppliers->Allocate(1);
        plan->grade = plan->supplier != 0 ? grades->Allocate(1) : 0;
        return plan->grade != 0;
    }
    plan->supplier = found;
    const FindStatus status = FindGradeIn(slot, found, grade.code, &found, &plan->last_grade);
    if (status == FindStatus::kDamaged) return false;
    if (status == FindStatus::kNotFound) {
        plan->new_grade = true;
        plan->grade = grades->Allocate(1);
        return plan->grade != 0;
    }
    plan->grade = found;
    MdPosition position = md_position(slot);
    position.supplier = SupplierOffset(slot, plan->supplier);
    position.grade = GradeOffset(slot, plan->grade);
    position.valid = 1;
    std::unique_ptr<MdGrade> old = ReadGrade(position, false, 0);
    if (old == nullptr || !ReadGradeRecord(slot, plan->grade, &plan->old_record)) return false;
    md_merge_grade(grade, std::move(*old));
    return true;
}

// Makes a new grade (and supplier) reachable and counts it.
bool LinkNewRecords(const WritePlan& plan, const MdGrade& grade) {
    const int slot = plan.slot;
    if (plan.new_supplier) {
        SupplierRecord record;
        record.SetName(grade.supplier);
        record.first_grade = plan.grade;
        record.grade_count = record.grade_count_copy = 1;
        if (!WriteListRecord(slot, RaxFileKind::kSupplier, plan.supplier, record)) return false;
        if (plan.supplier <= 2 || plan.last_supplier == 0) return true;
        SupplierRecord last;
        if (!ReadSupplierRecord(slot, plan.last_supplier, &last)) return false;
        last.next = plan.supplier;
        return WriteListRecord(slot, RaxFileKind::kSupplier, plan.last_supplier, last);
    }
    SupplierRecord supplier;
    if (!ReadSupplierRecord(slot, plan.supplier, &supplier)) return false;
    if (plan.last_grade == 0) {
        supplier.first_grade = plan.grade;
    } else {
        GradeRecord last;
        if (!ReadGradeRecord(slot, plan.last_grade, &last)) return false;
        last.next = plan.grade;
        if (!WriteListRecord(slot, RaxFileKind::kGrade, plan.last_grade, last)) return false;
    }
    ++supplier.grade_count;
    ++supplier.grade_count_copy;
    return WriteListRecord(slot, RaxFileKind::kSupplier, plan.supplier, supplier);
}

bool WriteGrade(int slot, MdGrade& grade) {
    WritePlan plan;
    if (!PlanRecords(slot, grade, &plan)) return false;
    md_sort_items(grade);
    MdPrint("Writing %s %s to %s database.\n", grade.supplier.c_str(), grade.code.c_str(),
            md_database_name(slot));
    RaxFile& data = *SlotFile(slot, RaxFileKind::kData);
    const EncodedItems encoded = EncodeItems(grade.items, data.swapped());
    if (encoded.skipped > 0) {
        MdPrint("Warning: %d item(s) of grade %s %s cannot be stored and were not written.\n",
                encoded.skipped, grade.supplier.c_str(), grade.code.c_str());
    }
    std::unordered_set<int> used;
    ChainPlan primary;
    ChainPlan extended;
    if (!PlanChain(data, encoded.primary.size(), plan.old_record.primary, &used, &primary))
        return false;
    if (!encoded.extended.empty() &&
        !PlanChain(data, encoded.extended.size(), plan.old_record.extended, &used, &extended))
        return false;
    for (bool fresh : {true, false}) {
        if (!WriteChainRecords(data, primary, encoded.primary, fresh) ||
            !WriteChainRecords(data, extended, encoded.extended, fresh) || !data.Flush())
            return false;
    }
    GradeRecord record;
    record.SetText(grade.code, grade.description);
    record.next = plan.old_record.next >= 1 ? plan.old_record.next : 0;
    record.primary = primary.first();
    record.extended = extended.first();
    if (!WriteListRecord(slot, RaxFileKind::kGrade, plan.grade, record)) return false;
    if (!SlotFile(slot, RaxFileKind::kGrade)->Flush()) return false;
    if (plan.new_grade && !LinkNewRecords(plan, grade)) return false;
    bool flushed = true;
    for (RaxFileKind kind : {RaxFileKind::kSupplier, RaxFileKind::kGrade, RaxFileKind::kData}) {
        flushed = SlotFile(slot, kind)->Flush() && flushed;
    }
    return flushed;
}

}  // namespace

}  // namespace tarnvel::matdb

namespace md = tarnvel::matdb;

int md_store_grade(int slot, const MdGrade* grade) {
    if (grade == nullptr) {
        md::MdPrint("Grade not available for writing.\nError writing grade - abandoned.\n");
        return 0;
    }
    const int target = md::WritableSlot(slot);
    if (target == MD_NO_SLOT) {
        const bool known = md::Slot(slot) != nullptr;
        md::MdPrint("%sDatabase not open for writing.\nError writing grade - abandoned.\n",
                    known ? (std::string(md_database_name(slot)) + " ").c_str() : "");
        return 0;
    }
    MdGrade copy = *grade;
    copy.supplier = md::WantedName(copy.supplier, md::kSupplierNameWidth);
    copy.code = md::WantedName(copy.code, md::kGradeCodeWidth);
    if (copy.description.size() > md::kGradeTextWidth) copy.description.resize(md::kGradeTextWidth);
    if (copy.supplier.empty() || copy.code.empty()) {
        md::MdPrint(copy.supplier.empty() ? "Error: supplier name not set.\n"
                                          : "Error: grade name not set.\n");
    } else if (md::WriteGrade(target, copy)) {
        return 1;
    }
    md::MdPrint("Error writing grade - abandoned.\n");
    ++md::Slot(target)->write_failures;
    return 0;
}

void md_write_grade(int slot, const MdGrade* grade) {
    md_store_grade(slot, grade);
}
