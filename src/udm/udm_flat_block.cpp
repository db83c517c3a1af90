// Measuring and creating flat entity blocks from binary token bytes. One
// walk over the family's fields serves both: measuring runs it with the
// values thrown away, creating runs it again storing them, so the two can
// never disagree about a block's form.
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

    // Takes the run of double tokens that comes next, handing each value
    // to sink; false when memory ran out.
    template <typename Sink>
    bool Doubles(Sink&& sink) {
        const std::uint8_t* at = at_;
        std::size_t taken = 0;
        while (end_ - at >= 9 && *at == kDoubleType) {
            const std::uint64_t wide = (std::uint64_t{get_be32(at + 1)} << 32) | get_be32(at + 5);
            double value;
            std::memcpy(&value, &wide, sizeof wide);
            if (!sink(value)) return false;
            at += 9;
            ++taken;
        }
        at_ = at;
        tokens_ += taken;
        return true;
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

// Where a walk puts the values: nowhere while measuring, into the entity's
// header and payload while creating.
struct Target {
    EntityHeader* header = nullptr;
    char* payload = nullptr;

    template <typename T>
    T* At(const Field& field) const {
        return reinterpret_cast<T*>(payload + field.offset);
    }
};

// What a walk came to.
enum class Walk { kOk, kShape, kMemory };

Walk StoreText(const Target& target, const Field& field, std::string_view text) {
    if (target.header == nullptr || text.empty()) return Walk::kOk;
    try {
        const std::string copy(text);
        return ReplaceText(target.At<char*>(field), copy.c_str()) ? Walk::kOk : Walk::kMemory;
    } catch (const std::bad_alloc&) {
        return Walk::kMemory;
    }
}

// One field after the label, read and, when creating, stored as the
// family's general reader stores it.
Walk WalkField(TokenBytes* in, const Field& field, const Target& target) {
    const bool store = target.header != nullptr;
    EntityHeader* header = target.header;
    std::int32_t value = 0;
    switch (field.kind) {
        case FieldKind::kFlag6:
        case FieldKind::kFlag7:
            if (!in->Integer(&value)) return Walk::kShape;
            if (store)
                udm_entity_set_flag(target.payload, field.kind == FieldKind::kFlag6 ? 6 : 7,
                                    value != 0);
            return Walk::kOk;
        case FieldKind::kLayer:
            if (!in->Integer(&value)) return Walk::kShape;
            if (store) header->layer = value;
            return Walk::kOk;
        case FieldKind::kColour:
            if (!in->Integer(&value)) return Walk::kShape;
            if (store) header->colour = static_cast<std::uint16_t>(value);
            return Walk::kOk;
        case FieldKind::kDisplay:
            if (!in->Integer(&value)) return Walk::kShape;
            if (store) header->value = static_cast<std::uint8_t>(value);
            return Walk::kOk;
        case FieldKind::kTypeEnabled:
            if (!in->Integer(&value)) return Walk::kShape;
            if (store) {
                header->value = (value & 2) != 0 ? 1 : 0;
                udm_entity_set_flag(target.payload, 7, value & 1);
            }
            return Walk::kOk;
        case FieldKind::kInt:
        case FieldKind::kNode:
            if (!in->Integer(&value)) return Walk::kShape;
            if (store) *target.At<std::int32_t>(field) = value;
            return Walk::kOk;
        case FieldKind::kTset: {
            std::int32_t label = 0;
            if (!in->Integer(&value) || !in->Integer(&label)) return Walk::kShape;
            if (store) {
                target.At<std::int32_t>(field)[0] = value;
                target.At<std::int32_t>(field)[1] = label;
            }
            return Walk::kOk;
        }
        case FieldKind::kDouble: {
            double real = 0.0;
            if (!in->Real(&real)) return Walk::kShape;
            if (store) *target.At<double>(field) = real;
            return Walk::kOk;
        }
        case FieldKind::kText: {
            std::string_view text;
            if (!in->Text(&text)) {
                // Old files leave an optional text out.
                const bool optional = (field.flags & kFieldOptional) != 0;
                return optional && !in->At(kStringType) ? Walk::kOk : Walk::kShape;
            }
            return StoreText(target, field, text);
        }
        default:
            return Walk::kShape;
    }
}

// Walks a block from its open brace: the label, the other fields, the
// close brace.
Walk WalkBlock(TokenBytes* in, const FamilySpec& family_spec, const Target& target,
               std::int32_t* label) {
    if (!in->Take(kOpenType) || !in->Integer(label)) return Walk::kShape;
    for (const Field& field : family_spec.fields.subspan(1)) {
        if (const Walk walk = WalkField(in, field, target); walk != Walk::kOk) return walk;
    }
    return in->Take(kCloseType) ? Walk::kOk : Walk::kShape;
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

bool IsFlat(const FamilySpec* family_spec) {
    if (family_spec == nullptr || family_spec->fields.empty()) return false;
    const FamilyTail& tail = family_spec->tail;
    if (tail.write != nullptr || tail.read != nullptr) return false;
    const UdmFamily* family = ClassInfoOf(family_spec->entity_class).family;
    if (family == nullptr || family->create != &FamilyCreate) return false;
    if (family_spec->fields[0].kind != FieldKind::kKey1) return false;
    for (const Field& field : family_spec->fields) {
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

const FamilySpec* FlatSpecOf(int entity_class) {
    static const auto flat = [] {
        std::array<const FamilySpec*, UDM_CLASS_COUNT> specs{};
        for (int n = 0; n < UDM_CLASS_COUNT; ++n) {
            const FamilySpec* family_spec = SpecOf(n);
            specs[static_cast<std::size_t>(n)] = IsFlat(family_spec) ? family_spec : nullptr;
        }
        return specs;
    }();
    return IsValidClass(entity_class) ? flat[static_cast<std::size_t>(entity_class)] : nullptr;
}

std::size_t MeasureFlatBlock(std::span<const std::uint8_t> bytes, const FamilySpec& family_spec,
                             std::size_t* tokens) {
    TokenBytes in(bytes.data(), bytes.data() + bytes.size());
    std::int32_t label = 0;
    if (WalkBlock(&in, family_spec, Target{}, &label) != Walk::kOk) return 0;
    *tokens = in.tokens();
    return static_cast<std::size_t>(in.at() - bytes.data());
}

void CreateFlatEntity(const FamilySpec& family_spec, std::span<const std::uint8_t> block,
                      UdmStream* stream) {
    const int entity_class = family_spec.entity_class;
    TokenBytes label_bytes(block.data() + 1, block.data() + block.size());
    std::int32_t label = 0;
    label_bytes.Integer(&label);
    void* payload = nullptr;
    const int status = NewEntity(entity_class, label, UDM_KEY_NONE, &payload);
    if (status != UDM_OK) {
        ReportCreateFailure(stream, entity_class, status);
        return;
    }
    TokenBytes in(block.data(), block.data() + block.size());
    const Target target{HeaderOf(payload), static_cast<char*>(payload)};
    if (WalkBlock(&in, family_spec, target, &label) == Walk::kOk) return;
    // The form was measured, so only memory can fail here.
    udm_entity_delete(payload);
    ReportBadMemory(stream, entity_class);
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
    const auto push = [values](double value) {
        values->Push(value);
        return true;
    };
    while (in.AtNumber()) {
        double value = 0.0;
        if (!in.Real(&value)) return 0;
        values->Push(value);
        in.Doubles(push);
    }
    if (!in.Take(kCloseType)) return 0;
    *tokens = in.tokens();
    return static_cast<std::size_t>(in.at() - bytes.data());
}

}  // namespace tarnvel::udm
