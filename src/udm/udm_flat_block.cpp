// Measuring and creating flat entity blocks from binary token bytes: one
// walk over the family's fields decodes every value and checks the form,
// and the entity is made from the decoded values only once the whole block
// has the form its fields ask for.
#include "udm/udm_flat_block.h"

#include <array>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "udm/udm_binary_tokens.h"
#include "udm/udm_classes.h"
#include "udm/udm_model.h"

namespace tarnvel::udm {
namespace {

constexpr std::uint8_t TypeOf(int code) {
    return binary_form_of_code(code)->type;
}
constexpr std::uint8_t kOpenType = TypeOf(UDM_TOKEN_OPEN);
constexpr std::uint8_t kCloseType = TypeOf(UDM_TOKEN_CLOSE);
constexpr std::uint8_t kFalseType = TypeOf(UDM_TOKEN_FALSE);
constexpr std::uint8_t kTrueType = TypeOf(UDM_TOKEN_TRUE);
constexpr std::uint8_t kInt16Type = TypeOf(UDM_TOKEN_INT16);
constexpr std::uint8_t kInt32Type = TypeOf(UDM_TOKEN_INT32);
constexpr std::uint8_t kFloatType = TypeOf(UDM_TOKEN_FLOAT);
constexpr std::uint8_t kDoubleType = TypeOf(UDM_TOKEN_DOUBLE);
constexpr std::uint8_t kStringType = TypeOf(UDM_TOKEN_STRING);

// Reads the values of a block's tokens as the general reader takes them:
// an integer from a 16- or 32-bit integer or a boolean, a real from those
// or a single or double precision number, a text from a quoted string.
// Each read takes a whole token or nothing.
class TokenBytes {
  public:
    TokenBytes(const std::uint8_t* at, const std::uint8_t* end) : at_(at), end_(end) {}

    bool Take(std::uint8_t type) {
        if (at_ == end_ || *at_ != type) return false;
        ++at_;
        ++tokens_;
        return true;
    }
    bool At(std::uint8_t type) const { return at_ != end_ && *at_ == type; }

    bool Integer(std::int32_t* out) {
        if (at_ == end_) return false;
        const std::uint8_t type = *at_;
        if (type == kFalseType || type == kTrueType) {
            *out = type == kTrueType ? 1 : 0;
            return Advance(1);
        }
        if (type == kInt32Type && Left() >= 5) {
            *out = static_cast<std::int32_t>(get_be32(at_ + 1));
            return Advance(5);
        }
        if (type == kInt16Type && Left() >= 3) {
            *out = (at_[1] << 8) | at_[2];
            return Advance(3);
        }
        return false;
    }

    bool Real(double* out) {
        if (at_ == end_) return false;
        const std::uint8_t type = *at_;
        if (type == kDoubleType && Left() >= 9) {
            const std::uint64_t wide = (std::uint64_t{get_be32(at_ + 1)} << 32) | get_be32(at_ + 5);
            std::memcpy(out, &wide, sizeof wide);
            return Advance(9);
        }
        if (type == kFloatType && Left() >= 5) {
            const std::uint32_t bits = get_be32(at_ + 1);
            float single;
            std::memcpy(&single, &bits, sizeof single);
            *out = single;
            return Advance(5);
        }
        std::int32_t integer = 0;
        if (!Integer(&integer)) return false;
        *out = integer;
        return true;
    }

    bool Text(std::string_view* out) {
        if (!At(kStringType) || Left() < 5) return false;
        const std::uint32_t length = get_be32(at_ + 1);
        if (Left() - 5 < length) return false;
        *out = std::string_view(reinterpret_cast<const char*>(at_ + 5), length);
        return Advance(5 + std::size_t{length});
    }

    // How many whole double tokens come next.
    std::size_t DoubleRun() const {
        const std::size_t whole = Left() / 9;
        std::size_t count = 0;
        while (count < whole && at_[9 * count] == kDoubleType) ++count;
        return count;
    }
    // Takes count double tokens (counted by DoubleRun), their values into
    // out, or passing over them when out is null.
    void TakeDoubles(std::size_t count, double* out) {
        if (out != nullptr) {
            for (std::size_t n = 0; n < count; ++n) {
                const std::uint8_t* token = at_ + 9 * n;
                const std::uint64_t wide =
                    (std::uint64_t{get_be32(token + 1)} << 32) | get_be32(token + 5);
                std::memcpy(&out[n], &wide, sizeof wide);
            }
        }
        at_ += 9 * count;
        tokens_ += count;
    }
    // Whether a number (an integer or a real, no boolean) comes next.
    bool AtNumber() const {
        return At(kInt16Type) || At(kInt32Type) || At(kFloatType) || At(kDoubleType);
    }

    const std::uint8_t* at() const { return at_; }
    std::size_t tokens() const { return tokens_; }

  private:
    std::size_t Left() const { return static_cast<std::size_t>(end_ - at_); }
    bool Advance(std::size_t size) {
        at_ += size;
        ++tokens_;
        return true;
    }

    const std::uint8_t* at_;
    const std::uint8_t* end_;
    std::size_t tokens_ = 0;
};

// What storing a block came to.
enum class Walk { kOk, kShape, kMemory };

// One field after the label, decoded into its value as the family's
// general reader takes it.
bool DecodeField(TokenBytes* in, const Field& field, FlatValue* value) {
    switch (field.kind) {
        case FieldKind::kFlag6:
        case FieldKind::kFlag7:
        case FieldKind::kLayer:
        case FieldKind::kColour:
        case FieldKind::kDisplay:
        case FieldKind::kTypeEnabled:
        case FieldKind::kInt:
        case FieldKind::kNode:
            return in->Integer(&value->integer);
        case FieldKind::kTset:
            return in->Integer(&value->integer) && in->Integer(&value->second);
        case FieldKind::kDouble:
            return in->Real(&value->real);
        case FieldKind::kText:
            value->text = std::string_view();
            if (in->Text(&value->text)) return true;
            // Old files leave an optional text out.
            return (field.flags & kFieldOptional) != 0 && !in->At(kStringType);
        default:
            return false;
    }
}

Walk StoreText(char** slot, std::string_view text) {
    if (text.empty()) return Walk::kOk;
    try {
        const std::string copy(text);
        return ReplaceText(slot, copy.c_str()) ? Walk::kOk : Walk::kMemory;
    } catch (const std::bad_alloc&) {
        return Walk::kMemory;
    }
}

// Stores a decoded field as the family's general reader stores it.
Walk StoreField(void* payload, const Field& field, const FlatValue& value) {
    EntityHeader* header = HeaderOf(payload);
    char* const place = static_cast<char*>(payload) + field.offset;
    switch (field.kind) {
        case FieldKind::kFlag6:
        case FieldKind::kFlag7:
            udm_entity_set_flag(payload, field.kind == FieldKind::kFlag6 ? 6 : 7,
                                value.integer != 0);
            return Walk::kOk;
        case FieldKind::kLayer:
            header->layer = value.integer;
            return Walk::kOk;
        case FieldKind::kColour:
            header->colour = static_cast<std::uint16_t>(value.integer);
            return Walk::kOk;
        case FieldKind::kDisplay:
            header->value = static_cast<std::uint8_t>(value.integer);
            return Walk::kOk;
        case FieldKind::kTypeEnabled:
            header->value = (value.integer & 2) != 0 ? 1 : 0;
            udm_entity_set_flag(payload, 7, value.integer & 1);
            return Walk::kOk;
        case FieldKind::kInt:
        case FieldKind::kNode:
            std::memcpy(place, &value.integer, sizeof value.integer);
            return Walk::kOk;
        case FieldKind::kTset:
            std::memcpy(place, &value.integer, sizeof value.integer);
            std::memcpy(place + sizeof value.integer, &value.second, sizeof value.second);
            return Walk::kOk;
        case FieldKind::kDouble:
            std::memcpy(place, &value.real, sizeof value.real);
            return Walk::kOk;
        case FieldKind::kText:
            return StoreText(reinterpret_cast<char**>(place), value.text);
        default:
            return Walk::kShape;
    }
}

bool IsFlatField(FieldKind kind) {
    switch (kind) {
        case FieldKind::kKey2:
        case FieldKind::kTransform:
        case FieldKind::kPlane:
        case FieldKind::kNodeList:
            return false;
        default:
            return true;
    }
}

bool IsFlat(const FamilyLayout* family_layout) {
    if (family_layout == nullptr || family_layout->fields.empty()) return false;
    const FamilyTail& tail = family_layout->tail;
    if (tail.write != nullptr || tail.read != nullptr) return false;
    const UdmFamily* family = ClassInfoOf(family_layout->entity_class).family;
    if (family == nullptr || family->create != &FamilyCreate) return false;
    if (family_layout->fields[0].kind != FieldKind::kKey1) return false;
    if (family_layout->fields.size() > kMaxFlatFields) return false;
    for (const Field& field : family_layout->fields) {
        if (!IsFlatField(field.kind)) return false;
    }
    return true;
}

bool g_in_place = true;

}  // namespace

bool InPlaceDecoding() {
    return g_in_place;
}

void SetInPlaceDecoding(bool enabled) {
    g_in_place = enabled;
}

const FamilyLayout* FlatLayoutOf(int entity_class) {
    static const auto flat = [] {
        std::array<const FamilyLayout*, UDM_CLASS_COUNT> layouts{};
        for (int n = 0; n < UDM_CLASS_COUNT; ++n) {
            const FamilyLayout* family_layout = LayoutOfClass(n);
            layouts[static_cast<std::size_t>(n)] = IsFlat(family_layout) ? family_layout : nullptr;
        }
        return layouts;
    }();
    return IsValidClass(entity_class) ? flat[static_cast<std::size_t>(entity_class)] : nullptr;
}

bool MeasureFlatBlock(std::span<const std::uint8_t> bytes, const FamilyLayout& family_layout,
                      FlatBlock* block) {
    TokenBytes in(bytes.data(), bytes.data() + bytes.size());
    if (!in.Take(kOpenType) || !in.Integer(&block->label)) return false;
    const std::span<const Field> fields = family_layout.fields.subspan(1);
    for (std::size_t n = 0; n < fields.size(); ++n) {
        if (!DecodeField(&in, fields[n], &block->values[n])) return false;
    }
    if (!in.Take(kCloseType)) return false;
    block->tokens = in.tokens();
    block->size = static_cast<std::size_t>(in.at() - bytes.data());
    return true;
}

void CreateFlatEntity(const FamilyLayout& family_layout, const FlatBlock& block,
                      UdmStream* stream) {
    const int entity_class = family_layout.entity_class;
    void* payload = nullptr;
    const int status = NewEntity(entity_class, block.label, UDM_KEY_NONE, &payload);
    if (status != UDM_OK) {
        ReportCreateFailure(stream, entity_class, status);
        return;
    }
    const std::span<const Field> fields = family_layout.fields.subspan(1);
    for (std::size_t n = 0; n < fields.size(); ++n) {
        if (StoreField(payload, fields[n], block.values[n]) != Walk::kOk) {
            // The form was measured, so only memory can fail here.
            udm_entity_delete(payload);
            ReportBadMemory(stream, entity_class);
            return;
        }
    }
}

std::size_t MeasurePackedCode(std::span<const std::uint8_t> bytes, std::int32_t* code,
                              std::string_view* description, ValueList* values,
                              std::size_t* tokens) {
    TokenBytes in(bytes.data(), bytes.data() + bytes.size());
    values->Clear();
    if (!in.Take(kOpenType) || !(in.At(kInt32Type) || in.At(kInt16Type)) || !in.Integer(code) ||
        !in.Text(description)) {
        return 0;
    }
    while (in.AtNumber()) {
        if (const std::size_t run = in.DoubleRun(); run > 0) {
            in.TakeDoubles(run, values->Extend(run));
            continue;
        }
        double value = 0.0;
        if (!in.Real(&value)) return 0;
        values->Push(value);
    }
    if (!in.Take(kCloseType)) return 0;
    *tokens = in.tokens();
    return static_cast<std::size_t>(in.at() - bytes.data());
}

}  // namespace tarnvel::udm
