// Measuring and creating flat entity blocks from binary token bytes: one
// walk over the family's fields decodes every value and checks the form,
// and the entity is made from the decoded values only once the whole block
// has the form its fields ask for.
#include "udm/udm_flat_block.h"

#include <endian.h>

#include <algorithm>
#include <array>
#include <cstring>
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
    TokenBytes(const std::uint8_t* at, const std::uint8_t* end, std::size_t tokens = 0)
        : at_(at), end_(end), tokens_(tokens) {}

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
        if (out != nullptr) DecodeDoubleRun(udm::DoubleRun{at_, count}, out);
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

void SetFlag(EntityHeader* header, int bit, bool on) {
    const auto mask = static_cast<std::uint8_t>(1u << bit);
    header->class_flags =
        static_cast<std::uint8_t>(on ? header->class_flags | mask : header->class_flags & ~mask);
}

template <typename Value>
void Put(unsigned char* payload, const Field& field, Value value) {
    std::memcpy(payload + field.offset, &value, sizeof value);
}

// One header value of a block after the label, decoded into the image as
// the family's general reader stores it.
bool DecodeHeaderField(TokenBytes* in, FieldKind kind, EntityHeader* header) {
    std::int32_t value = 0;
    if (!in->Integer(&value)) return false;
    switch (kind) {
        case FieldKind::kFlag6:
        case FieldKind::kFlag7:
            SetFlag(header, kind == FieldKind::kFlag6 ? 6 : 7, value != 0);
            return true;
        case FieldKind::kLayer:
            header->layer = value;
            return true;
        case FieldKind::kColour:
            header->colour = static_cast<std::uint16_t>(value);
            return true;
        case FieldKind::kDisplay:
            header->value = static_cast<std::uint8_t>(value);
            return true;
        default:  // kTypeEnabled
            header->value = (value & 2) != 0 ? 1 : 0;
            SetFlag(header, 7, (value & 1) != 0);
            return true;
    }
}

// One field after the label, decoded into the image; a text is noted
// (the image keeps its default until the entity is made).
bool DecodeField(TokenBytes* in, const Field& field, EntityImage* image, FlatTexts* texts) {
    unsigned char* const payload = image->payload.data();
    switch (field.kind) {
        case FieldKind::kInt:
        case FieldKind::kNode: {
            std::int32_t value = 0;
            if (!in->Integer(&value)) return false;
            Put(payload, field, value);
            return true;
        }
        case FieldKind::kTset: {
            std::int32_t type = 0;
            std::int32_t label = 0;
            if (!in->Integer(&type) || !in->Integer(&label)) return false;
            Put(payload, field, type);
            std::memcpy(payload + field.offset + sizeof type, &label, sizeof label);
            return true;
        }
        case FieldKind::kDouble: {
            double value = 0.0;
            if (!in->Real(&value)) return false;
            Put(payload, field, value);
            return true;
        }
        case FieldKind::kText: {
            std::string_view text;
            if (in->Text(&text)) {
                if (!text.empty()) texts->items[texts->count++] = FlatText{field.offset, text};
                return true;
            }
            // Old files leave an optional text out.
            return (field.flags & kFieldOptional) != 0 && !in->At(kStringType);
        }
        default:
            return DecodeHeaderField(in, field.kind, &image->header);
    }
}

// An owned copy of a text up to its first NUL byte, as a terminated copy
// of it would be; null when memory is exhausted.
char* CopyTextOf(std::string_view text) {
    const std::size_t length = std::min(text.find('\0'), text.size());
    auto* copy = static_cast<char*>(sypMalloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text.data(), length);
    copy[length] = '\0';
    return copy;
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
    const UdmFamily* family = ClassInfoOf(family_layout->entity_class).family;
    if (family == nullptr || family->payload_size > kMaxFlatPayload) return false;
    if (ClassInfoOf(family_layout->entity_class).keyed_by_type) return false;
    const FamilyTail& tail = family_layout->tail;
    if (tail.write != nullptr || tail.read != nullptr) return false;
    if (family->create != &FamilyCreate) return false;
    if (family_layout->fields[0].kind != FieldKind::kKey1) return false;
    if (family_layout->fields.size() > kMaxFlatFields) return false;
    std::size_t texts = 0;
    for (const Field& field : family_layout->fields) {
        if (!IsFlatField(field.kind)) return false;
        if (field.kind == FieldKind::kText) ++texts;
    }
    return texts <= kMaxFlatTexts;
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

FlatRun::FlatRun(const FamilyLayout& family_layout)
    : layout_(family_layout), run_(family_layout.entity_class) {
    // The defaults NewEntity gives: a zeroed header and payload, the
    // family's initialiser, and the active layer for drawable classes.
    const int entity_class = family_layout.entity_class;
    const ClassInfo& info = ClassInfoOf(entity_class);
    defaults_ = EntityImage{};
    defaults_.header.class_flags = static_cast<std::uint8_t>(entity_class);
    if (info.family->init != nullptr) info.family->init(defaults_.payload.data());
    if (info.has_colour_layer) defaults_.header.layer = udm_active_layer();
}

bool FlatRun::Measure(std::span<const std::uint8_t> bytes) {
    TokenBytes in(bytes.data(), bytes.data() + bytes.size());
    if (!in.Take(kOpenType) || !in.Integer(&label_)) return false;
    image_ = defaults_;
    texts_.count = 0;
    for (const Field& field : layout_.fields.subspan(1)) {
        if (!DecodeField(&in, field, &image_, &texts_)) return false;
    }
    if (!in.Take(kCloseType)) return false;
    tokens_ = in.tokens();
    size_ = static_cast<std::size_t>(in.at() - bytes.data());
    return true;
}

void FlatRun::Create(UdmStream* stream) {
    const int entity_class = layout_.entity_class;
    void* payload = nullptr;
    const int status = run_.New(label_, &image_.header, &payload);
    if (status != UDM_OK) {
        ReportCreateFailure(stream, entity_class, status);
        return;
    }
    for (std::size_t n = 0; n < texts_.count; ++n) {
        char* copy = CopyTextOf(texts_.items[n].text);
        if (copy == nullptr) {
            udm_entity_delete(payload);
            ReportBadMemory(stream, entity_class);
            return;
        }
        std::memcpy(static_cast<char*>(payload) + texts_.items[n].offset, &copy, sizeof copy);
    }
}

void DecodeDoubleRun(const DoubleRun& run, double* out) {
    for (std::size_t n = 0; n < run.count; ++n) {
        std::uint64_t wide;
        std::memcpy(&wide, run.first + 9 * n + 1, sizeof wide);
        wide = be64toh(wide);
        std::memcpy(&out[n], &wide, sizeof wide);
    }
}

std::size_t MeasurePackedCode(std::span<const std::uint8_t> bytes, std::int32_t* code,
                              std::string_view* description, ValueList* values, DoubleRun* run,
                              std::size_t* tokens) {
    TokenBytes in(bytes.data(), bytes.data() + bytes.size());
    values->Clear();
    *run = DoubleRun{};
    if (!in.Take(kOpenType) || !(in.At(kInt32Type) || in.At(kInt16Type)) || !in.Integer(code) ||
        !in.Text(description)) {
        return 0;
    }
    // The writer's form: one run of doubles, decoded later where it is kept.
    if (const std::size_t count = in.DoubleRun(); count > 0) {
        const std::uint8_t* first = in.at();
        in.TakeDoubles(count, nullptr);
        if (in.Take(kCloseType)) {
            *run = DoubleRun{first, count};
            *tokens = in.tokens();
            return static_cast<std::size_t>(in.at() - bytes.data());
        }
        in = TokenBytes(first, bytes.data() + bytes.size(), in.tokens() - count);
    }
    while (in.AtNumber()) {
        if (const std::size_t count = in.DoubleRun(); count > 0) {
            in.TakeDoubles(count, values->Extend(count));
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
