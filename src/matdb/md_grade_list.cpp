#include "matdb/md_grade_list.h"

#include <array>
#include <memory>

#include "matdb/matdb.h"
#include "matdb/rax_index.h"

namespace {

using tarnvel::matdb::IndexField;
using tarnvel::matdb::kIndexFieldCount;

using IndexFields = std::array<std::string, kIndexFieldCount>;

// The longest supplier name a grade list line holds.
constexpr std::size_t kListedSupplier = 8;

// The text properties that fill the optional fields.
struct TextField {
    int property;
    IndexField field;
};
constexpr TextField kTextFields[] = {
    {58, IndexField::kFamily},  {78, IndexField::kManufacturer}, {77, IndexField::kTradeName},
    {76, IndexField::kFillers}, {75, IndexField::kMeltFlowRate},
};

// A text as a field of a line: a bar or a control byte would break the
// line, so each becomes a blank.
std::string FieldText(const std::string& text) {
    std::string field = text;
    for (char& c : field) {
        if (c == '|' || static_cast<unsigned char>(c) < 0x20) c = ' ';
    }
    return field;
}

IndexFields FieldsOf(const MdGrade& grade) {
    IndexFields fields{};
    fields[static_cast<int>(IndexField::kSupplier)] = grade.supplier;
    fields[static_cast<int>(IndexField::kGrade)] = grade.code;
    for (const MdProperty& item : grade.items) {
        // Only the grade's own texts: an inherited one describes the
        // generic grade.
        if (item.inherited != 0 || (item.format != MD_TEXT && item.format != MD_TEXT_QUOTED))
            continue;
        for (const TextField& text : kTextFields) {
            if (text.property == item.property)
                fields[static_cast<int>(text.field)] = FieldText(item.text);
        }
    }
    return fields;
}

void AddGrade(const MdGrade& grade, MdGradeList& list) {
    if (grade.supplier.size() > kListedSupplier) {
        list.unlisted.push_back(grade.supplier + " " + grade.code);
        return;
    }
    list.text += tarnvel::matdb::IndexLine(FieldsOf(grade)) + "\n";
    ++list.grades;
}

}  // namespace

MdGradeList md_grade_list(int slot) {
    MdGradeList list;
    for (const std::string& line : tarnvel::matdb::IndexHeaderLines()) list.text += line + "\n";
    for (MdPosition supplier = md_first_supplier(md_position(slot)); supplier.valid;
         supplier = md_next_supplier(supplier)) {
        if (supplier.slot != slot) break;
        for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
            if (at.supplier != supplier.supplier) break;
            const std::unique_ptr<MdGrade> grade = md_read_grade(at);
            if (grade)
                AddGrade(*grade, list);
            else
                list.complete = false;
        }
    }
    return list;
}
