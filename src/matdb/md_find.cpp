#include "matdb/md_find.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"

namespace tarnvel::matdb {
namespace {

constexpr int kFamily = 58;

// Upper case, each run of blanks and underscores one underscore, no
// underscore at either end.
std::string NameKey(std::string_view text) {
    std::string key;
    for (char c : text) {
        if (c == ' ' || c == '_' || c == '\t') {
            if (!key.empty() && key.back() != '_') key += '_';
        } else {
            key += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        }
    }
    if (!key.empty() && key.back() == '_') key.pop_back();
    return key;
}

std::string_view Trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return NameKey(a) == NameKey(b);
}

bool ContainsIgnoringCase(std::string_view text, std::string_view word) {
    const auto upper = [](char c) { return std::toupper(static_cast<unsigned char>(c)); };
    return std::search(text.begin(), text.end(), word.begin(), word.end(),
                       [&](char a, char b) { return upper(a) == upper(b); }) != text.end();
}

bool IsText(const MdProperty& item) {
    return item.format == MD_TEXT || item.format == MD_TEXT_QUOTED;
}

struct Operator {
    std::string_view text;
    MdCompare compare;
};
// Two-character operators first, so that "<=" is not read as "<".
constexpr Operator kOperators[] = {
    {"<=", MdCompare::kLessEqual}, {">=", MdCompare::kGreaterEqual}, {"!=", MdCompare::kNotEqual},
    {"<", MdCompare::kLess},       {">", MdCompare::kGreater},       {"=", MdCompare::kEqual},
};

bool Holds(float value, MdCompare compare, float limit) {
    switch (compare) {
        case MdCompare::kLess:
            return value < limit;
        case MdCompare::kLessEqual:
            return value <= limit;
        case MdCompare::kEqual:
            return value == limit;
        case MdCompare::kGreaterEqual:
            return value >= limit;
        case MdCompare::kGreater:
            return value > limit;
        case MdCompare::kNotEqual:
            return value != limit;
    }
    return false;
}

// The values of an item that carry the property's unit.
bool AnyValueHolds(const MdProperty& item, const MdCondition& condition) {
    std::size_t step = 1;
    std::size_t first = 0;
    if (item.format == MD_STANDARD_POINTS) {
        step = item.variables.size() + 1;
        first = item.variables.size();
    } else if (item.format != MD_SINGLE_POINT) {
        return false;
    }
    for (std::size_t i = first; i < item.values.size(); i += step) {
        const float value = item.values[i].real();
        if (!md_is_unset(value) && Holds(value, condition.compare, condition.value)) return true;
    }
    return false;
}

bool HasItem(const MdGrade& grade, int property) {
    return std::any_of(grade.items.begin(), grade.items.end(),
                       [property](const MdProperty& item) { return item.property == property; });
}

bool ConditionHolds(const MdGrade& grade, const MdCondition& condition) {
    return std::any_of(grade.items.begin(), grade.items.end(), [&](const MdProperty& item) {
        return item.property == condition.property && AnyValueHolds(item, condition);
    });
}

bool FamilyIs(const MdGrade& grade, std::string_view family) {
    return std::any_of(grade.items.begin(), grade.items.end(), [&](const MdProperty& item) {
        return item.property == kFamily && IsText(item) &&
               SameIgnoringCase(Trimmed(item.text), Trimmed(family));
    });
}

bool MentionsWord(const MdGrade& grade, std::string_view word) {
    if (ContainsIgnoringCase(grade.supplier, word) || ContainsIgnoringCase(grade.code, word) ||
        ContainsIgnoringCase(grade.description, word))
        return true;
    return std::any_of(grade.items.begin(), grade.items.end(), [&](const MdProperty& item) {
        return IsText(item) && ContainsIgnoringCase(item.text, word);
    });
}

// True when only the grade's names decide (no item is needed).
bool NamesOnly(const MdQuery& query) {
    return query.family.empty() && query.words.empty() && query.has.empty() && query.where.empty();
}

}  // namespace

int md_property_by_name(std::string_view text) {
    const std::string_view trimmed = Trimmed(text);
    int number = 0;
    const auto [end, error] =
        std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), number);
    const auto placeholder = [](int n) { return md_property_name(n) == "EMPTY"; };
    if (error == std::errc() && end == trimmed.data() + trimmed.size())
        return number >= 1 && number <= kMdLastProperty && !placeholder(number) ? number : 0;
    const std::string key = NameKey(trimmed);
    for (int n = 1; n <= kMdLastProperty; ++n) {
        if (!placeholder(n) && NameKey(md_property_name(n)) == key) return n;
    }
    return 0;
}

std::optional<MdCondition> md_parse_condition(std::string_view text, std::string* why) {
    const std::size_t at = text.find_first_of("<>=!");
    if (at == std::string_view::npos) {
        *why = "no operator (one of < <= = >= > !=)";
        return std::nullopt;
    }
    const Operator* found = nullptr;
    for (const Operator& op : kOperators) {
        if (text.substr(at).starts_with(op.text)) {
            found = &op;
            break;
        }
    }
    if (found == nullptr) {
        *why = "no operator (one of < <= = >= > !=)";
        return std::nullopt;
    }
    MdCondition condition;
    condition.compare = found->compare;
    const std::string_view name = Trimmed(text.substr(0, at));
    condition.property = md_property_by_name(name);
    if (condition.property == 0) {
        *why = std::string("no property named \"").append(name).append("\"");
        return std::nullopt;
    }
    const std::string_view number = Trimmed(text.substr(at + found->text.size()));
    const auto [end, error] =
        std::from_chars(number.data(), number.data() + number.size(), condition.value);
    if (number.empty() || error != std::errc() || end != number.data() + number.size()) {
        *why = std::string("\"").append(number).append("\" is not a number");
        return std::nullopt;
    }
    return condition;
}

bool md_grade_matches(const MdGrade& grade, const MdQuery& query) {
    if (!query.supplier.empty() && !SameIgnoringCase(grade.supplier, query.supplier)) return false;
    if (!query.family.empty() && !FamilyIs(grade, query.family)) return false;
    for (const std::string& word : query.words)
        if (!MentionsWord(grade, word)) return false;
    for (int property : query.has)
        if (!HasItem(grade, property)) return false;
    for (const MdCondition& condition : query.where)
        if (!ConditionHolds(grade, condition)) return false;
    return true;
}

MdFindResult md_find_grades(int slot, const MdQuery& query) {
    MdFindResult result;
    for (MdPosition supplier = md_first_supplier(md_position(slot)); supplier.valid;
         supplier = md_next_supplier(supplier)) {
        if (supplier.slot != slot) break;
        for (MdPosition at = md_first_grade(supplier); at.valid; at = md_next_grade(at)) {
            if (at.supplier != supplier.supplier) break;
            std::unique_ptr<MdGrade> grade = md_read_grade_header(at);
            if (grade && !query.supplier.empty() &&
                !SameIgnoringCase(grade->supplier, query.supplier))
                continue;
            if (grade && !NamesOnly(query)) grade = md_read_grade(at);
            if (!grade) {
                result.complete = false;
                continue;
            }
            if (md_grade_matches(*grade, query))
                result.grades.push_back({grade->supplier, grade->code, grade->description});
        }
    }
    return result;
}

}  // namespace tarnvel::matdb
