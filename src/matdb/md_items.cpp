// Grade items: value words, the catalogue ordering with its duplicate rule,
// and merging one grade into another.
#include <algorithm>
#include <bit>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "matdb/matdb.h"
#include "matdb/md_catalogue.h"

namespace md = tarnvel::matdb;

MdWord MdWord::Real(float value) {
    return MdWord{std::bit_cast<std::uint32_t>(value)};
}
MdWord MdWord::Integer(std::int32_t value) {
    return MdWord{static_cast<std::uint32_t>(value)};
}
float MdWord::real() const {
    return std::bit_cast<float>(bits);
}
std::int32_t MdWord::integer() const {
    return static_cast<std::int32_t>(bits);
}

namespace {

// The ordering keys of an item: dropped items last, generic links after all
// others (ordered by text), then catalogue group, order, format, property
// number and, except for standard points, model number.
struct ItemKey {
    int dropped;
    int link;
    int group;
    int order;
    int format;
    int property;
    int model;
};

ItemKey KeyOf(const MdProperty& item) {
    const md::MdPropertyInfo* info = md::md_property(item.property);
    const bool link = item.property == md::kMdGenericLink;
    return ItemKey{item.property == 0 ? 1 : 0,
                   link ? 1 : 0,
                   info != nullptr ? info->group : 0,
                   info != nullptr ? info->order : 0,
                   item.format,
                   item.property,
                   item.format == MD_STANDARD_POINTS ? 0 : item.model};
}

// Negative, zero or positive as the item of key ka and link text ta goes
// before, equals or goes after that of kb and tb.
int CompareKeys(const ItemKey& ka, const std::string& ta, const ItemKey& kb,
                const std::string& tb) {
    const int keys_a[] = {ka.dropped, ka.link,     ka.group, ka.order,
                          ka.format,  ka.property, ka.model};
    const int keys_b[] = {kb.dropped, kb.link,     kb.group, kb.order,
                          kb.format,  kb.property, kb.model};
    for (int i = 0; i < 7; ++i) {
        if (keys_a[i] != keys_b[i]) return keys_a[i] < keys_b[i] ? -1 : 1;
        // Two links are ordered by their text before anything else.
        if (i == 1 && ka.link != 0) return ta.compare(tb);
    }
    return 0;
}

bool HasOwn(const MdGrade& grade, int property) {
    return std::any_of(grade.items.begin(), grade.items.end(), [&](const MdProperty& item) {
        return item.property == property && item.inherited == 0;
    });
}

bool InRange(int property, int first, int last) {
    return property >= first && property <= last;
}

// The viscosity and PVT model items that a grade with its own Viscosity or
// PVT Specific Volume does not take from the grade it is merged with.
bool ExcludedModel(bool own_viscosity, bool own_pvt, int property) {
    if (own_viscosity && (InRange(property, 79, 87) || property == 105)) return true;
    if (own_pvt && (InRange(property, 88, 90) || property == 106)) return true;
    return false;
}

}  // namespace

void md_sort_items(MdGrade& grade) {
    auto& items = grade.items;
    // The keys are taken once per item rather than in every comparison.
    std::vector<ItemKey> keys;
    keys.reserve(items.size());
    for (const MdProperty& item : items) keys.push_back(KeyOf(item));
    std::vector<std::size_t> order(items.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    const auto compare = [&](std::size_t a, std::size_t b) {
        return CompareKeys(keys[a], items[a].text, keys[b], items[b].text);
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return compare(a, b) < 0; });
    // Of a run of items equal on every key, the first one that is not
    // inherited is kept (the first one when all are).
    std::vector<MdProperty> kept;
    kept.reserve(items.size());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t end = i + 1;
        while (end < order.size() && compare(order[i], order[end]) == 0) ++end;
        std::size_t keep = order[i];
        for (std::size_t k = i; k < end; ++k) {
            if (items[order[k]].inherited == 0) {
                keep = order[k];
                break;
            }
        }
        if (items[keep].property != 0) kept.push_back(std::move(items[keep]));
        i = end;
    }
    items = std::move(kept);
}

void md_merge_linked(MdGrade& into, const std::vector<const MdGrade*>& linked) {
    if (linked.empty()) return;
    const bool own_viscosity = HasOwn(into, md::kMdViscosity);
    const bool own_pvt = HasOwn(into, md::kMdPvtSpecificVolume);
    std::unordered_set<int> present;
    for (const MdProperty& item : into.items) present.insert(item.property);
    for (const MdGrade* from : linked) {
        if (into.code.empty()) into.code = from->code;
        if (into.supplier.empty()) into.supplier = from->supplier;
        if (into.description.empty()) into.description = from->description;
        const std::size_t before = into.items.size();
        for (const MdProperty& item : from->items) {
            if (ExcludedModel(own_viscosity, own_pvt, item.property) ||
                present.contains(item.property))
                continue;
            into.items.push_back(item);
            into.items.back().inherited = 1;
        }
        for (std::size_t i = before; i < into.items.size(); ++i)
            present.insert(into.items[i].property);
    }
    md_sort_items(into);
}

void md_merge_grade(MdGrade& into, MdGrade from) {
    if (into.code.empty()) into.code = from.code;
    if (into.supplier.empty()) into.supplier = from.supplier;
    if (into.description.empty()) into.description = from.description;
    const std::size_t own = into.items.size();
    const bool own_viscosity = HasOwn(into, md::kMdViscosity);
    const bool own_pvt = HasOwn(into, md::kMdPvtSpecificVolume);
    for (MdProperty& item : from.items) {
        if (ExcludedModel(own_viscosity, own_pvt, item.property)) continue;
        const auto begin = into.items.begin();
        const bool present =
            std::any_of(begin, begin + static_cast<std::ptrdiff_t>(own),
                        [&](const MdProperty& mine) { return mine.property == item.property; });
        if (!present) into.items.push_back(std::move(item));
    }
    md_sort_items(into);
}
