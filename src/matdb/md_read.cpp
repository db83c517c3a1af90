// Reading suppliers and grades: headers, the two property chains and the
// grade record's link words; the generic links are resolved in md_links.
#include <algorithm>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_links.h"
#include "matdb/md_print.h"
#include "matdb/md_read.h"
#include "matdb/md_slots.h"
#include "matdb/md_visits.h"
#include "matdb/md_walk.h"
#include "matdb/rax_chain.h"
#include "matdb/rax_payload.h"
#include "services/vtout.h"

namespace tarnvel::matdb {

namespace {

std::string SupplierName(const SupplierRecord& record) {
    return Upper(Trim(record.NameField()));
}

void SplitGradeText(const GradeRecord& record, MdGrade* grade) {
    const std::string_view text = record.TextField();
    grade->code = Upper(Trim(text.substr(0, kGradeCodeWidth)));
    std::string description = Upper(Trim(text));
    if (!grade->code.empty() && description.starts_with(grade->code)) {
        description = std::string(Trim(std::string_view(description).substr(grade->code.size())));
    }
    grade->description = description;
}

// The text item "SUPPLIER GRADE" of a grade record's link words, when both
// are set. False when they do not name readable records.
bool LinkItem(int slot, const GradeRecord& record, std::vector<MdProperty>* items) {
    if (record.link_supplier <= 0 || record.link_grade <= 0) return true;
    SupplierRecord supplier;
    GradeRecord linked;
    if (!ReadSupplierRecord(slot, record.link_supplier, &supplier) ||
        !ReadGradeRecord(slot, record.link_grade, &linked))
        return false;
    MdGrade names;
    SplitGradeText(linked, &names);
    MdProperty item;
    item.property = kMdGenericLink;
    item.format = MD_TEXT;
    item.text = SupplierName(supplier) + " " + names.code;
    items->push_back(std::move(item));
    return true;
}

// The items of grade record number: its two chains reach every data
// record once, and only records no other grade's chains reached.
bool ReadItems(int slot, int number, const GradeRecord& record, std::vector<MdProperty>* items,
               int* skipped) {
    RaxFile* data = SlotFile(slot, RaxFileKind::kData);
    const int walk = NewWalk();
    const ChainVisitor visit = [slot, number, walk](int reached) {
        return Visit(slot, RaxFileKind::kData, number, walk, reached);
    };
    std::vector<std::int32_t> payload;
    if (ReadChain(data, record.primary, &payload, visit) != ChainStatus::kOk ||
        !DecodePrimary(payload, items, skipped))
        return false;
    if (ReadChain(data, record.extended, &payload, visit) != ChainStatus::kOk ||
        !DecodeExtended(payload, data != nullptr && data->swapped(), items, skipped))
        return false;
    return LinkItem(slot, record, items);
}

std::unique_ptr<MdGrade> g_export_grade;
MdPosition g_export_position;
bool g_export_opened = false;

}  // namespace

namespace {

// Reads a grade; with links its generic links are followed as part of that
// resolution.
std::unique_ptr<MdGrade> ReadItemsAndLinks(MdPosition position, LinkResolution* links, int depth) {
    std::unique_ptr<MdGrade> grade = md_read_grade_header(position);
    if (grade == nullptr) return nullptr;
    if (grade->supplier.starts_with('$')) return grade;
    GradeRecord record;
    int skipped = 0;
    const int number = GradeNumber(position);
    if (!ReadGradeRecord(position.slot, number, &record) ||
        !ReadItems(position.slot, number, record, &grade->items, &skipped)) {
        MdPrint("Error reading data for grade.\n");
        return nullptr;
    }
    if (skipped > 0) {
        MdPrint("Warning: %d item(s) of grade %s %s could not be read and were skipped.\n", skipped,
                grade->supplier.c_str(), grade->code.c_str());
    }
    if (links != nullptr) ResolveLinks(*grade, *links, depth);
    md_sort_items(*grade);
    return grade;
}

std::unique_ptr<MdGrade> ReadByName(int slot, const char* supplier, const char* grade) {
    const MdPosition position = md_find(slot, supplier, grade);
    const std::string supplier_name = WantedName(supplier != nullptr ? supplier : "", 1024);
    const std::string grade_name = WantedName(grade != nullptr ? grade : "", 1024);
    if (position.valid == 0) {
        MdPrint("Grade %s %s not found.\n", supplier_name.c_str(), grade_name.c_str());
        return nullptr;
    }
    MdPrint("Reading %s %s from %s database.\n", supplier_name.c_str(), grade_name.c_str(),
            md_database_name(position.slot));
    return ReadGrade(position, true, 0);
}

}  // namespace

std::unique_ptr<MdGrade> ReadGrade(MdPosition position, bool resolve, int depth) {
    if (!resolve) return ReadItemsAndLinks(position, nullptr, depth);
    LinkResolution links(position);
    return ReadItemsAndLinks(position, &links, depth);
}

std::unique_ptr<MdGrade> ReadLinkedGrade(MdPosition position, LinkResolution& links, int depth) {
    return ReadItemsAndLinks(position, &links, depth);
}

}  // namespace tarnvel::matdb

namespace md = tarnvel::matdb;

std::unique_ptr<MdSupplierDetails> md_read_supplier_details(MdPosition position) {
    md::SupplierRecord record;
    if (!md::ReadSupplierRecord(position.slot, md::SupplierNumber(position), &record))
        return nullptr;
    auto details = std::make_unique<MdSupplierDetails>();
    details->name = std::string(md::Trim(record.NameField()));
    details->grade_count = record.grade_count;
    return details;
}

std::unique_ptr<MdGrade> md_read_grade_header(MdPosition position) {
    md::SupplierRecord supplier;
    md::GradeRecord record;
    if (!md::ReadSupplierRecord(position.slot, md::SupplierNumber(position), &supplier) ||
        !md::ReadGradeRecord(position.slot, md::GradeNumber(position), &record)) {
        md::MdPrint("Error reading grade header.\n");
        return nullptr;
    }
    auto grade = std::make_unique<MdGrade>();
    grade->supplier = md::SupplierName(supplier);
    md::SplitGradeText(record, grade.get());
    return grade;
}

std::unique_ptr<MdGrade> md_read_grade(MdPosition position) {
    return md::ReadGrade(position, true, 0);
}

std::unique_ptr<MdGrade> md_read_by_name(int slot, const char* supplier, const char* grade) {
    return md::ReadByName(slot, supplier, grade);
}

int md_find_for_export(const char* supplier, const char* grade, const char* database) {
    if (!md::g_export_opened) {
        md::g_export_opened = true;
        vtOutSave();
        vtOutSetSink(vtOutDiscard);
        md_open_all();
        vtOutRestore();
    }
    int slot = MD_ALL_OPEN;
    const std::string_view name = database != nullptr ? database : "";
    static constexpr std::pair<const char*, int> kNames[] = {{"standard", MD_STANDARD},
                                                             {"project", MD_PROJECT},
                                                             {"company", MD_COMPANY},
                                                             {"local", MD_LOCAL}};
    for (const auto& [prefix, named] : kNames) {
        if (name.starts_with(prefix)) slot = named;
    }
    md::g_export_grade.reset();
    const MdPosition position = md::FindLiteral(slot, supplier, grade);
    if (position.valid == 0) {
        md::MdPrint("Grade %s %s not found on any open database.\n",
                    md::WantedName(supplier != nullptr ? supplier : "", 1024).c_str(),
                    md::WantedName(grade != nullptr ? grade : "", 1024).c_str());
        return 0;
    }
    md::g_export_grade = md_read_grade(position);
    md::g_export_position = position;
    return md::g_export_grade != nullptr ? 1 : 0;
}

const MdGrade* md_export_grade() {
    return md::g_export_grade.get();
}
MdPosition md_export_position() {
    return md::g_export_position;
}

std::optional<std::string> md_slot_version(int slot) {
    for (MdPosition position = md_first_supplier(md_position(slot)); position.valid != 0;
         position = md_next_supplier(position)) {
        std::unique_ptr<MdSupplierDetails> details = md_read_supplier_details(position);
        if (details != nullptr && details->name.starts_with('$')) return details->name;
    }
    return std::nullopt;
}
