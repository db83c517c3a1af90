#include "matdb/md_diff.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <unordered_map>

#include "matdb/md_catalogue.h"
#include "matdb/md_read.h"
#include "matdb/md_value_text.h"

namespace tarnvel::matdb {
namespace {

// ---- reading -------------------------------------------------------------

void ReadSupplierGrades(MdPosition supplier, bool resolve, MdSnapshot& snapshot) {
    for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
        if (at.supplier != supplier.supplier) break;
        std::unique_ptr<MdGrade> grade = ReadGrade(at, resolve, 0);
        if (!grade) {
            snapshot.complete = false;
            continue;
        }
        snapshot.grades.push_back(std::move(*grade));
    }
}

// ---- matching ------------------------------------------------------------

// Grades by supplier and code; the n-th grade of a name held twice gets
// occurrence n, so that nothing is shadowed.
using GradeKeys = std::unordered_map<std::string, std::size_t>;

std::vector<std::string> Keys(const std::vector<MdGrade>& grades) {
    std::unordered_map<std::string, int> seen;
    std::vector<std::string> keys;
    keys.reserve(grades.size());
    for (const MdGrade& grade : grades) {
        std::string name = grade.supplier + '\x1f' + grade.code;
        const int occurrence = seen[name]++;
        keys.push_back(name + '\x1f' + std::to_string(occurrence));
    }
    return keys;
}

GradeKeys IndexOf(const std::vector<std::string>& keys) {
    GradeKeys index;
    index.reserve(keys.size());
    for (std::size_t i = 0; i < keys.size(); ++i) index.emplace(keys[i], i);
    return index;
}

bool SameContent(const MdProperty& a, const MdProperty& b) {
    return a.format == b.format && a.model == b.model && a.variables == b.variables &&
           a.values == b.values && a.text == b.text;
}

using Items = std::vector<const MdProperty*>;
using Pairs = std::vector<std::pair<const MdProperty*, const MdProperty*>>;

// Pairs the items of one property of two grades: identical items first,
// then items of the same format and model, then the rest in order; an item
// left over is paired with null.
Pairs PairItems(Items old_items, Items new_items) {
    Pairs pairs;
    const auto take = [&](auto matches) {
        for (const MdProperty*& a : old_items) {
            if (a == nullptr) continue;
            for (const MdProperty*& b : new_items) {
                if (b == nullptr || !matches(*a, *b)) continue;
                pairs.emplace_back(a, b);
                a = b = nullptr;
                break;
            }
        }
    };
    take(SameContent);
    take([](const MdProperty& a, const MdProperty& b) {
        return a.format == b.format && a.model == b.model;
    });
    take([](const MdProperty&, const MdProperty&) { return true; });
    for (const MdProperty* a : old_items)
        if (a != nullptr) pairs.emplace_back(a, nullptr);
    for (const MdProperty* b : new_items)
        if (b != nullptr) pairs.emplace_back(nullptr, b);
    return pairs;
}

std::map<int, Items> ByProperty(const MdGrade& grade) {
    std::map<int, Items> items;
    for (const MdProperty& item : grade.items) items[item.property].push_back(&item);
    return items;
}

// ---- differences ---------------------------------------------------------

MdDiffSide Text(const std::string& text) {
    return {text, std::nullopt};
}

MdDiffSide Number(int value) {
    return {std::to_string(value), value};
}

MdDiffSide ValueAt(const MdProperty* item, std::size_t index) {
    if (item == nullptr || index >= item->values.size()) return {};
    const double value = md_item_value(*item, index);
    const bool integer =
        item->property == kMdShrinkage && item->format == MD_COEFFICIENTS && index < 2;
    const std::string text = integer ? std::to_string(item->values[index].integer())
                                     : md_shortest_text(item->values[index].real());
    return {text, value};
}

std::string VariableNames(const std::vector<int>& variables) {
    std::string names;
    for (int variable : variables) {
        if (!names.empty()) names += ", ";
        names += md_variable_name(variable);
    }
    return names;
}

class Differ {
  public:
    explicit Differ(std::vector<MdDifference>& out) : out_(out) {}

    void Grade(const MdGrade& old_grade, const MdGrade& new_grade) {
        grade_ = &old_grade;
        if (old_grade.description != new_grade.description)
            Add(MdChange::kChanged, MdDiffSubject::kDescription, 0, -1, Text(old_grade.description),
                Text(new_grade.description));
        std::map<int, Items> old_items = ByProperty(old_grade);
        std::map<int, Items> new_items = ByProperty(new_grade);
        for (auto& [property, items] : new_items) old_items.try_emplace(property);
        for (auto& [property, items] : old_items) {
            for (const auto& [a, b] : PairItems(items, new_items[property])) Item(a, b);
        }
    }

  private:
    void Add(MdChange change, MdDiffSubject subject, int property, int index, MdDiffSide before,
             MdDiffSide after) {
        out_.push_back({change, subject, grade_->supplier, grade_->code, property, index,
                        std::move(before), std::move(after)});
    }

    void Item(const MdProperty* a, const MdProperty* b) {
        const MdProperty& any = a != nullptr ? *a : *b;
        if (any.property == kMdGenericLink) {
            Link(a, b);
            return;
        }
        if (a == nullptr || b == nullptr) {
            Add(a == nullptr ? MdChange::kAdded : MdChange::kRemoved, MdDiffSubject::kProperty,
                any.property, -1, {}, {});
            return;
        }
        const int property = a->property;
        const auto changed = [&](MdDiffSubject subject, MdDiffSide before, MdDiffSide after) {
            Add(MdChange::kChanged, subject, property, -1, std::move(before), std::move(after));
        };
        if (a->format != b->format)
            changed(MdDiffSubject::kFormat, Number(a->format), Number(b->format));
        if (a->model != b->model)
            changed(MdDiffSubject::kModel, Number(a->model), Number(b->model));
        if (a->variables != b->variables)
            changed(MdDiffSubject::kVariables, Text(VariableNames(a->variables)),
                    Text(VariableNames(b->variables)));
        if (a->text != b->text) changed(MdDiffSubject::kText, Text(a->text), Text(b->text));
        const std::size_t count = std::max(a->values.size(), b->values.size());
        for (std::size_t i = 0; i < count; ++i) {
            const bool same =
                i < a->values.size() && i < b->values.size() && a->values[i] == b->values[i];
            if (!same)
                Add(MdChange::kChanged, MdDiffSubject::kValue, property, static_cast<int>(i),
                    ValueAt(a, i), ValueAt(b, i));
        }
    }

    void Link(const MdProperty* a, const MdProperty* b) {
        if (a != nullptr && b != nullptr) {
            if (a->text != b->text)
                Add(MdChange::kChanged, MdDiffSubject::kLink, kMdGenericLink, -1, Text(a->text),
                    Text(b->text));
            return;
        }
        if (a == nullptr) {
            Add(MdChange::kAdded, MdDiffSubject::kLink, kMdGenericLink, -1, {}, Text(b->text));
        } else {
            Add(MdChange::kRemoved, MdDiffSubject::kLink, kMdGenericLink, -1, Text(a->text), {});
        }
    }

    std::vector<MdDifference>& out_;
    const MdGrade* grade_ = nullptr;
};

void SupplierChanges(const MdSnapshot& before, const MdSnapshot& after,
                     std::vector<MdDifference>& out) {
    std::unordered_map<std::string, int> old_names;
    std::unordered_map<std::string, int> new_names;
    for (const std::string& name : before.suppliers) ++old_names[name];
    for (const std::string& name : after.suppliers) ++new_names[name];
    const auto report = [&out](const std::vector<std::string>& names,
                               std::unordered_map<std::string, int> mine,
                               std::unordered_map<std::string, int>& theirs, MdChange change) {
        for (const std::string& name : names) {
            // A name held n times here and m times there: n - m are extra.
            if (mine[name]-- > theirs[name])
                out.push_back({change, MdDiffSubject::kSupplier, name, "", 0, -1, {}, {}});
        }
    };
    report(before.suppliers, old_names, new_names, MdChange::kRemoved);
    report(after.suppliers, new_names, old_names, MdChange::kAdded);
}

MdDifference GradeChange(MdChange change, const MdGrade& grade) {
    return {change, MdDiffSubject::kGrade, grade.supplier, grade.code, 0, -1, {}, {}};
}

// A text in double quotes, with quotes, backslashes and control bytes
// escaped so that a difference stays on one line.
std::string QuotedText(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20 || byte == 0x7f) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string Side(const MdDiffSide& side, bool quoted) {
    if (!side.text) return "(none)";
    return quoted ? QuotedText(*side.text) : *side.text;
}

bool Quoted(MdDiffSubject subject) {
    return subject == MdDiffSubject::kVersion || subject == MdDiffSubject::kDescription ||
           subject == MdDiffSubject::kLink || subject == MdDiffSubject::kText;
}

}  // namespace

MdSnapshot md_read_snapshot(int slot, bool resolve) {
    MdSnapshot snapshot;
    snapshot.version = md_slot_version(slot);
    for (MdPosition supplier = md_first_supplier(md_position(slot)); supplier.valid;
         supplier = md_next_supplier(supplier)) {
        if (supplier.slot != slot) break;
        const std::unique_ptr<MdSupplierDetails> details = md_read_supplier_details(supplier);
        if (!details) {
            snapshot.complete = false;
            continue;
        }
        // A "$" supplier holds the version, not grades.
        if (details->name.starts_with('$')) continue;
        snapshot.suppliers.push_back(details->name);
        ReadSupplierGrades(supplier, resolve, snapshot);
    }
    return snapshot;
}

std::vector<MdDifference> md_diff(const MdSnapshot& before, const MdSnapshot& after) {
    std::vector<MdDifference> out;
    if (before.version && after.version && *before.version != *after.version)
        out.push_back({MdChange::kChanged, MdDiffSubject::kVersion, "", "", 0, -1,
                       Text(*before.version), Text(*after.version)});
    SupplierChanges(before, after, out);
    const std::vector<std::string> old_keys = Keys(before.grades);
    const std::vector<std::string> new_keys = Keys(after.grades);
    const GradeKeys old_index = IndexOf(old_keys);
    const GradeKeys new_index = IndexOf(new_keys);
    Differ differ(out);
    for (std::size_t i = 0; i < old_keys.size(); ++i) {
        const auto found = new_index.find(old_keys[i]);
        if (found == new_index.end()) {
            out.push_back(GradeChange(MdChange::kRemoved, before.grades[i]));
        } else {
            differ.Grade(before.grades[i], after.grades[found->second]);
        }
    }
    for (std::size_t i = 0; i < new_keys.size(); ++i) {
        if (!old_index.contains(new_keys[i]))
            out.push_back(GradeChange(MdChange::kAdded, after.grades[i]));
    }
    return out;
}

const char* md_change_word(MdChange change) {
    switch (change) {
        case MdChange::kAdded:
            return "added";
        case MdChange::kRemoved:
            return "removed";
        case MdChange::kChanged:
            return "changed";
    }
    return "";
}

const char* md_subject_word(MdDiffSubject subject) {
    static constexpr const char* kWords[] = {"version",   "supplier", "grade",  "description",
                                             "link",      "property", "format", "model",
                                             "variables", "text",     "value"};
    return kWords[static_cast<int>(subject)];
}

std::string md_difference_text(const MdDifference& d) {
    const std::string change = md_change_word(d.change);
    const std::string subject = md_subject_word(d.subject);
    const std::string grade = d.supplier + " " + d.grade;
    const bool quoted = Quoted(d.subject);
    const std::string sides = ": " + Side(d.before, quoted) + " -> " + Side(d.after, quoted);
    const std::string property = grade + " property " + std::to_string(d.property) + " " +
                                 std::string(md_property_name(d.property));
    switch (d.subject) {
        case MdDiffSubject::kVersion:
            return change + " version" + sides;
        case MdDiffSubject::kSupplier:
            return change + " supplier " + d.supplier;
        case MdDiffSubject::kGrade:
            return change + " grade " + grade;
        case MdDiffSubject::kDescription:
            return change + " " + grade + " description" + sides;
        case MdDiffSubject::kLink:
            if (d.change == MdChange::kChanged) return change + " " + grade + " link" + sides;
            return change + " " + grade + " link " +
                   Side(d.change == MdChange::kAdded ? d.after : d.before, true);
        case MdDiffSubject::kProperty:
            return change + " " + property;
        case MdDiffSubject::kValue:
            return change + " " + property + " [" + std::to_string(d.index) + "]" + sides;
        default:
            return change + " " + property + " " + subject + sides;
    }
}

}  // namespace tarnvel::matdb
