// Reading suppliers and grades: headers, the two property chains, the
// grade record's link words, and the resolution of generic links against
// the Standard database.
#include <algorithm>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"
#include "matdb/md_lookup_cache.h"
#include "matdb/md_print.h"
#include "matdb/md_read.h"
#include "matdb/md_slots.h"
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

bool ReadItems(int slot, const GradeRecord& record, std::vector<MdProperty>* items, int* skipped) {
    RaxFile* data = SlotFile(slot, RaxFileKind::kData);
    std::vector<std::int32_t> payload;
    if (ReadChain(data, record.primary, &payload) != ChainStatus::kOk ||
        !DecodePrimary(payload, items, skipped))
        return false;
    if (ReadChain(data, record.extended, &payload) != ChainStatus::kOk ||
        !DecodeExtended(payload, data != nullptr && data->swapped(), items, skipped))
        return false;
    return LinkItem(slot, record, items);
}

// The Standard grade a generic link names, read by name. A grade whose read
// printed nothing but its "Reading" line (no links of its own, nothing
// skipped) is remembered, and later links to it get a copy after the same
// line, so that thousands of grades linked to one generic grade read it
// once.
std::unique_ptr<MdGrade> ReadLinked(const std::string& supplier, const std::string& code,
                                    int depth) {
    const std::string key =
        WantedName(supplier, kSupplierNameWidth) + '\n' + WantedName(code, kGradeCodeWidth);
    if (const MdGrade* known = CachedLinkedGrade(key)) {
        MdPrint("Reading %s %s from %s database.\n", WantedName(supplier, 1024).c_str(),
                WantedName(code, 1024).c_str(), md_database_name(MD_STANDARD));
        return std::make_unique<MdGrade>(*known);
    }
    const long printed = MdPrintCount();
    std::unique_ptr<MdGrade> linked =
        ReadByName(MD_STANDARD, supplier.c_str(), code.c_str(), depth);
    if (linked != nullptr && MdPrintCount() == printed + 1) RememberLinkedGrade(key, *linked);
    return linked;
}

// Follows the grade's generic links that are not yet followed: the linked
// Standard grade's items come in marked inherited.
void ResolveLinks(MdGrade& grade, int depth) {
    for (;;) {
        const auto link =
            std::find_if(grade.items.begin(), grade.items.end(), [](const auto& item) {
                return item.property == kMdGenericLink && item.link_followed == 0;
            });
        if (link == grade.items.end()) break;
        link->link_followed = 1;
        const std::string text = link->text;
        if (depth >= kMaxLinkDepth) {
            MdPrint("Warning: generic link %s not followed: more than %d links in a row.\n",
                    text.c_str(), kMaxLinkDepth);
            continue;
        }
        const std::size_t blank = text.find(' ');
        const std::string supplier = text.substr(0, blank);
        const std::string code = blank == std::string::npos ? "" : text.substr(blank + 1);
        std::unique_ptr<MdGrade> linked = ReadLinked(supplier, code, depth + 1);
        if (linked == nullptr) continue;
        for (MdProperty& item : linked->items) item.inherited = 1;
        md_merge_grade(grade, std::move(*linked));
    }
    for (MdProperty& item : grade.items) {
        if (item.inherited != 0 &&
            (item.property == kMdShrinkage || item.property == kMdShrinkagePredictiveError))
            item.property = 0;
    }
}

std::unique_ptr<MdGrade> g_export_grade;
MdPosition g_export_position;
bool g_export_opened = false;

}  // namespace

std::unique_ptr<MdGrade> ReadGrade(MdPosition position, bool resolve, int depth) {
    std::unique_ptr<MdGrade> grade = md_read_grade_header(position);
    if (grade == nullptr) return nullptr;
    if (grade->supplier.starts_with('$')) return grade;
    GradeRecord record;
    int skipped = 0;
    if (!ReadGradeRecord(position.slot, GradeNumber(position), &record) ||
        !ReadItems(position.slot, record, &grade->items, &skipped)) {
        MdPrint("Error reading data for grade.\n");
        return nullptr;
    }
    if (skipped > 0) {
        MdPrint("Warning: %d item(s) of grade %s %s could not be read and were skipped.\n", skipped,
                grade->supplier.c_str(), grade->code.c_str());
    }
    if (resolve) ResolveLinks(*grade, depth);
    md_sort_items(*grade);
    return grade;
}

std::unique_ptr<MdGrade> ReadByName(int slot, const char* supplier, const char* grade, int depth) {
    const MdPosition position = md_find(slot, supplier, grade);
    const std::string supplier_name = WantedName(supplier != nullptr ? supplier : "", 1024);
    const std::string grade_name = WantedName(grade != nullptr ? grade : "", 1024);
    if (position.valid == 0) {
        MdPrint("Grade %s %s not found.\n", supplier_name.c_str(), grade_name.c_str());
        return nullptr;
    }
    MdPrint("Reading %s %s from %s database.\n", supplier_name.c_str(), grade_name.c_str(),
            md_database_name(position.slot));
    return ReadGrade(position, true, depth);
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
    return md::ReadByName(slot, supplier, grade, 0);
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
