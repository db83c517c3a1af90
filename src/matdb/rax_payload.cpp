#include "matdb/rax_payload.h"

#include <algorithm>
#include <array>
#include <numeric>

#include "matdb/md_catalogue.h"
#include "matdb/rax_records.h"

namespace tarnvel::matdb {

namespace {

constexpr int kPrimaryMaskBits = 30;
constexpr int kMaskBits = 32;

bool IsKnownFormat(int format) {
    return format == MD_SINGLE_POINT || format == MD_STANDARD_POINTS || format == MD_COEFFICIENTS ||
           format == MD_TEXT || format == MD_TEXT_QUOTED;
}

bool IsText(int format) {
    return format == MD_TEXT || format == MD_TEXT_QUOTED;
}

// The set bits of a mask, as 1-based positions in ascending order.
std::vector<int> MaskPositions(std::uint32_t mask, int bits) {
    std::vector<int> positions;
    for (int bit = 0; bit < bits; ++bit) {
        if ((mask >> bit) & 1u) positions.push_back(bit + 1);
    }
    return positions;
}

std::vector<MdWord> Words(std::span<const std::int32_t> values) {
    std::vector<MdWord> words;
    words.reserve(values.size());
    for (std::int32_t value : values) words.push_back(MdWord::Integer(value));
    return words;
}

// A cursor over a payload that refuses to read past its end.
class Cursor {
  public:
    explicit Cursor(std::span<const std::int32_t> payload) : payload_(payload) {}
    bool Has(std::int64_t count) const {
        return count >= 0 && count <= static_cast<std::int64_t>(payload_.size() - at_);
    }
    std::int32_t Next() { return payload_[at_++]; }
    std::span<const std::int32_t> Take(std::size_t count) {
        const auto taken = payload_.subspan(at_, count);
        at_ += count;
        return taken;
    }
    std::size_t at() const { return at_; }
    void Seek(std::size_t at) { at_ = at; }
    bool AtEnd() const { return at_ >= payload_.size(); }

  private:
    std::span<const std::int32_t> payload_;
    std::size_t at_ = 0;
};

}  // namespace

bool DecodePrimary(std::span<const std::int32_t> payload, std::vector<MdProperty>* items,
                   int* skipped) {
    if (payload.empty()) return true;
    Cursor index(payload);
    if (!index.Has(2)) return false;
    const std::int32_t n = index.Next();
    const auto mask = static_cast<std::uint32_t>(index.Next());
    if (n < 1 || !Cursor(payload).Has(static_cast<std::int64_t>(n) + 1)) return false;
    const std::vector<int> properties = MaskPositions(mask, kPrimaryMaskBits);
    // Every index word must lie among the n index words.
    std::vector<std::uint32_t> variable_masks;
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (index.at() > static_cast<std::size_t>(n)) return false;
        variable_masks.push_back(static_cast<std::uint32_t>(index.Next()));
    }
    std::vector<std::int32_t> rows(properties.size(), 0);
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (variable_masks[i] == 0) continue;
        if (index.at() > static_cast<std::size_t>(n)) return false;
        rows[i] = index.Next();
        if (rows[i] < 0) return false;
    }
    Cursor values(payload);
    values.Seek(static_cast<std::size_t>(n) + 1);
    for (std::size_t i = 0; i < properties.size(); ++i) {
        MdProperty item;
        item.property = properties[i];
        const std::vector<int> positions = MaskPositions(variable_masks[i], kMaskBits);
        const std::int64_t count =
            positions.empty() ? 1 : static_cast<std::int64_t>(rows[i]) * (positions.size() + 1);
        if (!values.Has(count)) return false;
        item.values = Words(values.Take(static_cast<std::size_t>(count)));
        item.format = positions.empty() ? MD_SINGLE_POINT : MD_STANDARD_POINTS;
        bool mapped = true;
        for (int position : positions) {
            const int variable = md_allowed_variable(item.property, position);
            mapped = mapped && variable != 0;
            item.variables.push_back(variable);
        }
        if (!mapped) {
            ++*skipped;
            continue;
        }
        items->push_back(std::move(item));
    }
    return true;
}

bool DecodeExtended(std::span<const std::int32_t> payload, bool swapped,
                    std::vector<MdProperty>* items, int* skipped) {
    Cursor entry(payload);
    while (!entry.AtEnd()) {
        const std::int32_t property = entry.Next();
        if (property == 0) return true;
        if (!entry.Has(1)) return false;
        const std::int32_t length = entry.Next();
        if (length < 5 || !entry.Has(length)) return false;
        const std::int32_t format = entry.Next();
        const std::int32_t model = entry.Next();
        const std::int32_t standard = entry.Next();
        const auto variable_mask = static_cast<std::uint32_t>(entry.Next());
        const std::int32_t count = entry.Next();
        if (count != length - 5) return false;
        const auto values = entry.Take(static_cast<std::size_t>(count));

        MdProperty item;
        item.property = property;
        item.format = format;
        item.model = model;
        item.standard = standard != 0 ? 1 : 0;
        item.variables = MaskPositions(variable_mask, kMaskBits);
        const bool known_variables =
            item.variables.empty() || item.variables.back() <= kMdLastVariable;
        const bool rows_fill = format != MD_STANDARD_POINTS ||
                               count % static_cast<std::int32_t>(item.variables.size() + 1) == 0;
        if (property < 1 || property > kMdLastProperty || !IsKnownFormat(format) ||
            !known_variables || !rows_fill) {
            ++*skipped;
            continue;
        }
        if (IsText(format)) {
            item.text = UnpackText(values, swapped);
        } else {
            item.values = Words(values);
        }
        items->push_back(std::move(item));
    }
    // Entries that run to the payload's end without the closing 0: the
    // chain was cut short.
    return payload.empty();
}

std::vector<std::int32_t> PackText(const std::string& text, bool swapped) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.resize((bytes.size() / 4 + 1) * 4, 0);
    std::vector<std::int32_t> words(bytes.size() / 4);
    for (std::size_t i = 0; i < words.size(); ++i) {
        words[i] = GetWord(std::span<const std::uint8_t>(bytes).subspan(4 * i, 4), 0, swapped);
    }
    return words;
}

std::string UnpackText(std::span<const std::int32_t> words, bool swapped) {
    std::string text;
    for (std::int32_t word : words) {
        std::array<std::uint8_t, 4> bytes{};
        PutWord(bytes, 0, word, swapped);
        for (std::uint8_t byte : bytes) {
            if (byte == 0) return text;
            text += static_cast<char>(byte);
        }
    }
    return text;
}

namespace {

// The order of an item's columns when sorted by their keys (mask bit
// positions), or empty when two columns share a key.
std::vector<std::size_t> ColumnOrder(const std::vector<int>& keys) {
    std::vector<std::size_t> order(keys.size());
    std::iota(order.begin(), order.end(), 0);
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    for (std::size_t i = 1; i < order.size(); ++i) {
        if (keys[order[i]] == keys[order[i - 1]]) return {};
    }
    return order;
}

// Values of a standard-points item with its columns put in the given order
// (the property value stays last in each row).
void AppendRows(const MdProperty& item, const std::vector<std::size_t>& order,
                std::vector<std::int32_t>* out) {
    const std::size_t width = item.variables.size() + 1;
    for (std::size_t row = 0; row + width <= item.values.size(); row += width) {
        for (std::size_t column : order) out->push_back(item.values[row + column].integer());
        out->push_back(item.values[row + width - 1].integer());
    }
}

std::uint32_t MaskOf(const std::vector<int>& keys) {
    std::uint32_t mask = 0;
    for (int key : keys) mask |= 1u << (key - 1);
    return mask;
}

bool RowsFill(const MdProperty& item) {
    return item.values.size() % (item.variables.size() + 1) == 0;
}

// The allowed-list positions of a standard-points item's variables, or
// empty when one is not in the list.
std::vector<int> PrimaryPositions(const MdProperty& item) {
    std::vector<int> positions;
    for (int variable : item.variables) {
        const int position = md_allowed_position(item.property, variable);
        if (position == 0) return {};
        positions.push_back(position);
    }
    return positions;
}

bool FitsPrimary(const MdProperty& item) {
    if (item.inherited != 0 || item.standard != 0) return false;
    if (item.property < 1 || item.property > kMdLastPrimaryProperty) return false;
    if (item.format == MD_SINGLE_POINT) return item.values.size() == 1 && item.variables.empty();
    if (item.format != MD_STANDARD_POINTS || item.variables.empty() || !RowsFill(item))
        return false;
    const std::vector<int> positions = PrimaryPositions(item);
    return !positions.empty() && !ColumnOrder(positions).empty();
}

std::vector<std::int32_t> EncodePrimary(const std::vector<const MdProperty*>& primary) {
    std::vector<std::int32_t> masks;
    std::vector<std::int32_t> rows;
    std::vector<std::int32_t> values;
    std::uint32_t property_mask = 0;
    for (const MdProperty* item : primary) {
        property_mask |= 1u << (item->property - 1);
        if (item->format == MD_SINGLE_POINT) {
            masks.push_back(0);
            values.push_back(item->values[0].integer());
            continue;
        }
        const std::vector<int> positions = PrimaryPositions(*item);
        masks.push_back(static_cast<std::int32_t>(MaskOf(positions)));
        rows.push_back(static_cast<std::int32_t>(item->values.size() / (positions.size() + 1)));
        AppendRows(*item, ColumnOrder(positions), &values);
    }
    std::vector<std::int32_t> payload;
    payload.push_back(static_cast<std::int32_t>(1 + masks.size() + rows.size()));
    payload.push_back(static_cast<std::int32_t>(property_mask));
    payload.insert(payload.end(), masks.begin(), masks.end());
    payload.insert(payload.end(), rows.begin(), rows.end());
    payload.insert(payload.end(), values.begin(), values.end());
    return payload;
}

bool EncodeExtendedEntry(const MdProperty& item, bool swapped, std::vector<std::int32_t>* out) {
    if (item.property < 1 || item.property > kMdLastProperty || !IsKnownFormat(item.format))
        return false;
    std::vector<std::int32_t> values;
    std::uint32_t mask = 0;
    if (IsText(item.format)) {
        values = PackText(item.text, swapped);
    } else if (item.format == MD_STANDARD_POINTS) {
        const bool known = std::all_of(item.variables.begin(), item.variables.end(),
                                       [](int v) { return v >= 1 && v <= kMdLastVariable; });
        const std::vector<std::size_t> order = ColumnOrder(item.variables);
        if (!known || !RowsFill(item) || (order.empty() && !item.variables.empty())) return false;
        mask = MaskOf(item.variables);
        AppendRows(item, order, &values);
    } else {
        for (const MdWord& word : item.values) values.push_back(word.integer());
    }
    const auto count = static_cast<std::int32_t>(values.size());
    out->insert(out->end(), {item.property, count + 5, item.format, item.model, item.standard,
                             static_cast<std::int32_t>(mask), count});
    out->insert(out->end(), values.begin(), values.end());
    return true;
}

}  // namespace

EncodedItems EncodeItems(const std::vector<MdProperty>& items, bool swapped) {
    EncodedItems encoded;
    std::array<const MdProperty*, kMdLastPrimaryProperty + 1> primary{};
    std::vector<const MdProperty*> extended;
    for (const MdProperty& item : items) {
        if (item.inherited != 0 || item.property == 0) continue;
        if (FitsPrimary(item) && primary[item.property] == nullptr) {
            primary[item.property] = &item;
        } else {
            extended.push_back(&item);
        }
    }
    std::vector<const MdProperty*> in_order;
    for (const MdProperty* item : primary) {
        if (item != nullptr) in_order.push_back(item);
    }
    encoded.primary = EncodePrimary(in_order);
    if (!items.empty()) {
        for (const MdProperty* item : extended) {
            if (!EncodeExtendedEntry(*item, swapped, &encoded.extended)) ++encoded.skipped;
        }
        encoded.extended.push_back(0);
    }
    return encoded;
}

}  // namespace tarnvel::matdb
