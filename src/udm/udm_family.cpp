// The table-driven part of the entity families: writing, creating from a
// read block, copying, releasing and merge-remapping the fields a family
// lists, and handing the rest to the family's tail.
#include "udm/udm_family.h"

#include <algorithm>
#include <cstring>

#include "services/sypmem.h"
#include "udm/udm_keywords.h"
#include "udm/udm_reader.h"
#include "udm/udm_writer.h"

namespace tarnvel::udm {

extern const FamilyLayout kColrLayout, kLyerLayout, kViewLayout, kNodeLayout, kTextLayout,
    k1detLayout, kTri3Layout, kCurvLayout, kSurfLayout, kRegnLayout, kNdbcLayout, kSubcLayout,
    kCtplLayout, kLocsLayout, kTet4Layout, kStlrLayout, kBlobLayout, kWedgLayout, kInteLayout;

namespace {

// clang-format off
constexpr std::array<const FamilyLayout*, UDM_CLASS_COUNT> kLayouts = {
    &kColrLayout, &kLyerLayout, nullptr,    &kViewLayout, &kNodeLayout, &kTextLayout, &k1detLayout,
    &kTri3Layout, &kCurvLayout, &kSurfLayout, &kRegnLayout, &kNdbcLayout, &kSubcLayout, &kCtplLayout,
    &kLocsLayout, &kTet4Layout, &kStlrLayout, &kBlobLayout, &kWedgLayout, &kInteLayout};
// clang-format on

// Node labels of an element list are written five to a line.
constexpr int kNodesPerLine = 5;
// The greatest label of the system colours, which have no entity.
constexpr int kLastSystemColour = 32;

const FamilyLayout& FamilyLayoutOf(const void* payload) {
    return *kLayouts[ClassOf(HeaderOf(payload))];
}

template <typename T>
T& At(void* payload, const Field& field) {
    return *reinterpret_cast<T*>(static_cast<char*>(payload) + field.offset);
}
template <typename T>
const T& At(const void* payload, const Field& field) {
    return *reinterpret_cast<const T*>(static_cast<const char*>(payload) + field.offset);
}

bool StartsLine(FieldKind kind) {
    return kind == FieldKind::kTransform || kind == FieldKind::kPlane ||
           kind == FieldKind::kNodeList;
}

// ---- Writing ------------------------------------------------------------------------

void WriteTransform(UdmStream* stream, const Transform& transform) {
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, 2);
    udm_put_keyword(stream, "TRAN");
    udm_put_open(stream);
    for (int row = 0; row < 4; ++row) {
        udm_put_newlines(stream, 1);
        udm_put_blanks(stream, 3);
        for (int column = 0; column < 4; ++column) {
            udm_put_blanks(stream, 1);
            udm_put_double(stream, transform.values[row * 4 + column]);
        }
    }
    udm_put_close(stream);
}

void WritePlane(UdmStream* stream, const Plane& plane) {
    udm_put_newlines(stream, 1);
    udm_put_blanks(stream, 2);
    udm_put_keyword(stream, "PLNE");
    udm_put_open(stream);
    const double values[] = {plane.a, plane.b, plane.c, plane.d};
    for (int n = 0; n < 4; ++n) {
        if (n > 0) udm_put_blanks(stream, 1);
        udm_put_double(stream, values[n]);
    }
    udm_put_close(stream);
}

void WriteNodeList(UdmStream* stream, const NodeList& nodes) {
    for (std::size_t n = 0; n < nodes.size(); ++n) {
        if (n % kNodesPerLine == 0) {
            udm_put_newlines(stream, 1);
            udm_put_blanks(stream, 2);
        } else {
            udm_put_blanks(stream, 1);
        }
        udm_put_int(stream, nodes[n]);
    }
}

void WriteField(UdmStream* stream, const void* payload, const Field& field) {
    const EntityHeader* header = HeaderOf(payload);
    switch (field.kind) {
        case FieldKind::kKey1:
            return udm_put_int(stream, header->key1);
        case FieldKind::kKey2:
            return udm_put_int(stream, header->key2);
        case FieldKind::kFlag6:
            return udm_put_bool(stream, (header->class_flags >> 6) & 1);
        case FieldKind::kFlag7:
            return udm_put_bool(stream, (header->class_flags >> 7) & 1);
        case FieldKind::kLayer:
            return udm_put_int(stream, header->layer);
        case FieldKind::kColour:
            return udm_put_int16(stream, header->colour);
        case FieldKind::kDisplay:
            return udm_put_int16(stream, header->value);
        case FieldKind::kTypeEnabled:
            return udm_put_int(stream,
                               (header->value != 0 ? 2 : 0) | ((header->class_flags >> 7) & 1));
        case FieldKind::kInt:
        case FieldKind::kNode:
            return udm_put_int(stream, At<std::int32_t>(payload, field));
        case FieldKind::kTset: {
            const auto* pair = &At<std::int32_t>(payload, field);
            udm_put_int(stream, pair[0]);
            udm_put_blanks(stream, 1);
            return udm_put_int(stream, pair[1]);
        }
        case FieldKind::kDouble:
            return udm_put_double(stream, At<double>(payload, field));
        case FieldKind::kText:
            return udm_put_string(stream, At<char*>(payload, field));
        case FieldKind::kTransform:
            if (At<Transform>(payload, field).present) {
                WriteTransform(stream, At<Transform>(payload, field));
            }
            return;
        case FieldKind::kPlane:
            return WritePlane(stream, At<Plane>(payload, field));
        case FieldKind::kNodeList:
            return WriteNodeList(stream, At<NodeList>(payload, field));
    }
}

// ---- Reading ------------------------------------------------------------------------

ReadResult ReadTransform(BlockCursor* cursor, Transform* transform, bool optional) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(kKeyTRAN, &inner)) {
        transform->present = 0;
        return optional ? ReadResult::kOk : ReadResult::kShape;
    }
    for (double& value : transform->values) {
        if (!inner.Real(&value)) return ReadResult::kShape;
    }
    transform->present = 1;
    return inner.AtEnd() ? ReadResult::kOk : ReadResult::kShape;
}

ReadResult ReadPlane(BlockCursor* cursor, Plane* plane) {
    BlockCursor inner = *cursor;
    if (!cursor->Group(kKeyPLNE, &inner)) return ReadResult::kShape;
    const bool whole = inner.Real(&plane->a) && inner.Real(&plane->b) && inner.Real(&plane->c) &&
                       inner.Real(&plane->d) && inner.AtEnd();
    return whole ? ReadResult::kOk : ReadResult::kShape;
}

ReadResult ReadNodeList(BlockCursor* cursor, NodeList* nodes) {
    try {
        nodes->reserve(cursor->Remaining());
        std::int32_t label = 0;
        while (cursor->Integer(&label)) nodes->push_back(label);
    } catch (const std::bad_alloc&) {
        return ReadResult::kMemory;
    }
    return ReadResult::kOk;
}

// The display words of older files, in place of the DISPLAY number, as the
// reader sees them (words cut to 4 bytes), and the display codes they stand
// for.
struct DisplayWord {
    std::string_view word;
    std::uint8_t code;
};
constexpr std::array<DisplayWord, 2> kDisplayWords = {{{"shad", 1}, {"surf", 2}}};
// The last UDM version whose files write the display as a word.
constexpr int kLastDisplayWordVersion = 3;

// A display word: its code in files of the versions that write it; in a
// newer file it is reported as a syntax error and the display stays 0.
ReadResult ReadDisplayWord(BlockCursor* cursor, EntityHeader* header, UdmStream* stream) {
    std::string_view word;
    if (!cursor->Word(&word)) return ReadResult::kShape;
    const auto known = std::find_if(kDisplayWords.begin(), kDisplayWords.end(),
                                    [word](const DisplayWord& d) { return d.word == word; });
    if (known == kDisplayWords.end()) return ReadResult::kShape;
    if (udm_file_version() > kLastDisplayWordVersion) {
        ReportRead(stream, "syntax error");
        return ReadResult::kOk;
    }
    header->value = known->code;
    return ReadResult::kOk;
}

// An integer read into an 8-, 16- or 32-bit place.
bool ReadInteger(BlockCursor* cursor, std::int32_t* out) {
    return cursor->Integer(out);
}

ReadResult ReadField(BlockCursor* cursor, void* payload, const Field& field, UdmStream* stream) {
    EntityHeader* header = HeaderOf(payload);
    std::int32_t value = 0;
    const bool optional = (field.flags & kFieldOptional) != 0;
    switch (field.kind) {
        case FieldKind::kKey1:
        case FieldKind::kKey2:
            // Taken before the entity was made.
            return ReadResult::kOk;
        case FieldKind::kFlag6:
        case FieldKind::kFlag7: {
            if (!ReadInteger(cursor, &value)) return ReadResult::kShape;
            const int bit = field.kind == FieldKind::kFlag6 ? 6 : 7;
            udm_entity_set_flag(payload, bit, value != 0);
            return ReadResult::kOk;
        }
        case FieldKind::kLayer:
            if (!ReadInteger(cursor, &value)) return ReadResult::kShape;
            header->layer = value;
            return ReadResult::kOk;
        case FieldKind::kColour:
            if (!ReadInteger(cursor, &value)) return ReadResult::kShape;
            header->colour = static_cast<std::uint16_t>(value);
            return ReadResult::kOk;
        case FieldKind::kDisplay:
            if (cursor->AtWord()) return ReadDisplayWord(cursor, header, stream);
            if (!ReadInteger(cursor, &value)) return ReadResult::kShape;
            header->value = static_cast<std::uint8_t>(value);
            return ReadResult::kOk;
        case FieldKind::kTypeEnabled:
            if (!ReadInteger(cursor, &value)) return ReadResult::kShape;
            header->value = (value & 2) != 0 ? 1 : 0;
            udm_entity_set_flag(payload, 7, value & 1);
            return ReadResult::kOk;
        case FieldKind::kInt:
        case FieldKind::kNode:
            return cursor->Integer(&At<std::int32_t>(payload, field)) ? ReadResult::kOk
                                                                      : ReadResult::kShape;
        case FieldKind::kTset: {
            auto* pair = &At<std::int32_t>(payload, field);
            return cursor->Integer(&pair[0]) && cursor->Integer(&pair[1]) ? ReadResult::kOk
                                                                          : ReadResult::kShape;
        }
        case FieldKind::kDouble:
            return cursor->Real(&At<double>(payload, field)) ? ReadResult::kOk : ReadResult::kShape;
        case FieldKind::kText: {
            std::string_view text;
            if (!cursor->String(&text)) return optional ? ReadResult::kOk : ReadResult::kShape;
            if (text.empty()) return ReadResult::kOk;
            const std::string copy(text);
            return ReplaceText(&At<char*>(payload, field), copy.c_str()) ? ReadResult::kOk
                                                                         : ReadResult::kMemory;
        }
        case FieldKind::kTransform:
            return ReadTransform(cursor, &At<Transform>(payload, field), optional);
        case FieldKind::kPlane:
            return ReadPlane(cursor, &At<Plane>(payload, field));
        case FieldKind::kNodeList:
            return ReadNodeList(cursor, &At<NodeList>(payload, field));
    }
    return ReadResult::kShape;
}

ReadResult ReadFields(BlockCursor* cursor, void* payload, const FamilyLayout& family_layout,
                      const EntityBlock& block, UdmStream* stream) {
    for (const Field& field : family_layout.fields) {
        if (ReadResult result = ReadField(cursor, payload, field, stream);
            result != ReadResult::kOk) {
            return result;
        }
    }
    if (family_layout.tail.read != nullptr) {
        if (ReadResult result = family_layout.tail.read(cursor, payload, block, stream);
            result != ReadResult::kOk) {
            return result;
        }
    }
    return cursor->AtEnd() ? ReadResult::kOk : ReadResult::kShape;
}

// "bad <KEYWORD> <what>".
void ReportBad(UdmStream* stream, int entity_class, const char* what) {
    const std::string message =
        std::string("bad ") + ClassInfoOf(entity_class).keyword + " " + what;
    ReportRead(stream, message.c_str());
}

}  // namespace

void ReportBadMemory(UdmStream* stream, int entity_class) {
    const std::string message = std::string("bad ") + ClassInfoOf(entity_class).keyword + " memory";
    ReportReadMemory(stream, message.c_str());
}

void ReportCreateFailure(UdmStream* stream, int entity_class, int status) {
    if (status == UDM_NO_MEMORY) {
        ReportBadMemory(stream, entity_class);
    } else {
        ReportBad(stream, entity_class, status == UDM_KEY_IN_USE ? "label" : "memory");
    }
}

// ---- Block cursor ------------------------------------------------------------------

bool BlockCursor::Integer(std::int32_t* out) {
    if (!AtInteger()) return false;
    *out = Here().integer;
    ++pos_;
    return true;
}

bool BlockCursor::Real(double* out) {
    if (AtInteger()) {
        *out = Here().integer;
    } else if (!AtEnd() && Here().kind == BlockItem::Kind::kReal) {
        *out = Here().real;
    } else {
        return false;
    }
    ++pos_;
    return true;
}

bool BlockCursor::String(std::string_view* out) {
    if (!AtString()) return false;
    *out = block_->Text(Here());
    ++pos_;
    return true;
}

bool BlockCursor::Word(std::string_view* out) {
    if (!AtWord()) return false;
    *out = block_->Text(Here());
    ++pos_;
    return true;
}

bool BlockCursor::Group(int keyword, BlockCursor* inner) {
    if (!AtGroup(keyword)) return false;
    const std::size_t end = Here().end;
    *inner = BlockCursor(*block_, pos_ + 1, end);
    pos_ = end;
    return true;
}

void ReportRead(UdmStream* stream, const char* message) {
    udm_report(stream, message);
}

void ReportReadMemory(UdmStream* stream, const char* message) {
    udm_report_no_memory(stream, message);
}

const FamilyLayout* LayoutOfClass(int entity_class) {
    return IsValidClass(entity_class) ? kLayouts[entity_class] : nullptr;
}

// ---- The generic family functions -------------------------------------------------------

void FamilyRelease(void* payload) {
    const FamilyLayout& family_layout = FamilyLayoutOf(payload);
    for (const Field& field : family_layout.fields) {
        if (field.kind == FieldKind::kText) {
            sypFree(At<char*>(payload, field));
            At<char*>(payload, field) = nullptr;
        }
    }
    family_layout.destroy(payload);
}

int FamilyCopy(void* target, const void* source) {
    const FamilyLayout& family_layout = FamilyLayoutOf(source);
    for (const Field& field : family_layout.fields) {
        switch (field.kind) {
            case FieldKind::kInt:
            case FieldKind::kNode:
                At<std::int32_t>(target, field) = At<std::int32_t>(source, field);
                break;
            case FieldKind::kTset:
                std::memcpy(&At<std::int32_t>(target, field), &At<std::int32_t>(source, field),
                            2 * sizeof(std::int32_t));
                break;
            case FieldKind::kDouble:
                At<double>(target, field) = At<double>(source, field);
                break;
            case FieldKind::kText:
                if (!ReplaceText(&At<char*>(target, field), At<char*>(source, field))) {
                    return UDM_NO_MEMORY;
                }
                break;
            case FieldKind::kTransform:
                At<Transform>(target, field) = At<Transform>(source, field);
                break;
            case FieldKind::kPlane:
                At<Plane>(target, field) = At<Plane>(source, field);
                break;
            case FieldKind::kNodeList:
                try {
                    At<NodeList>(target, field) = At<NodeList>(source, field);
                } catch (const std::bad_alloc&) {
                    return UDM_NO_MEMORY;
                }
                break;
            default:
                // Header values are copied by the merge itself.
                break;
        }
    }
    return family_layout.tail.copy != nullptr ? family_layout.tail.copy(target, source) : UDM_OK;
}

void FamilyFixReferences(void* payload) {
    const FamilyLayout& family_layout = FamilyLayoutOf(payload);
    EntityHeader* header = HeaderOf(payload);
    for (const Field& field : family_layout.fields) {
        switch (field.kind) {
            case FieldKind::kLayer:
                header->layer = MergeMapLabel(UDM_CLASS_LYER, header->layer);
                break;
            case FieldKind::kColour:
                header->colour = static_cast<std::uint16_t>(MergeMapColour(header->colour));
                break;
            case FieldKind::kNode: {
                std::int32_t& node = At<std::int32_t>(payload, field);
                node = MergeMapLabel(UDM_CLASS_NODE, node);
                break;
            }
            case FieldKind::kTset: {
                auto* pair = &At<std::int32_t>(payload, field);
                MergeMapTset(&pair[0], &pair[1]);
                break;
            }
            case FieldKind::kNodeList:
                for (std::int32_t& node : At<NodeList>(payload, field)) {
                    node = MergeMapLabel(UDM_CLASS_NODE, node);
                }
                break;
            default:
                break;
        }
    }
    if (family_layout.tail.fix_references != nullptr) family_layout.tail.fix_references(payload);
}

void FamilyWrite(UdmStream* stream, const void* payload) {
    const FamilyLayout& family_layout = FamilyLayoutOf(payload);
    udm_put_newlines(stream, 1);
    udm_put_keyword(stream, ClassInfoOf(family_layout.entity_class).keyword);
    udm_put_open(stream);
    bool first = true;
    for (const Field& field : family_layout.fields) {
        if (!first && !StartsLine(field.kind)) udm_put_blanks(stream, 1);
        WriteField(stream, payload, field);
        first = false;
    }
    if (family_layout.tail.write != nullptr) family_layout.tail.write(stream, payload);
    udm_put_close(stream);
}

void FamilyCreate(int entity_class, const EntityBlock& block, UdmStream* stream) {
    const FamilyLayout& family_layout = *kLayouts[entity_class];
    BlockCursor cursor(block);
    std::int32_t key1 = 0;
    std::int32_t key2 = UDM_KEY_NONE;
    if (!cursor.Integer(&key1) ||
        (family_layout.fields.size() > 1 && family_layout.fields[1].kind == FieldKind::kKey2 &&
         !cursor.Integer(&key2))) {
        ReportRead(stream, "parse error");
        return;
    }
    void* payload = nullptr;
    const int status = NewEntity(entity_class, key1, key2, &payload);
    if (status != UDM_OK) {
        ReportCreateFailure(stream, entity_class, status);
        return;
    }
    const ReadResult result = ReadFields(&cursor, payload, family_layout, block, stream);
    if (result == ReadResult::kOk) return;
    udm_entity_delete(payload);
    if (result == ReadResult::kShape) ReportRead(stream, "parse error");
    if (result == ReadResult::kMemory) ReportBadMemory(stream, entity_class);
}

int MergeMapColour(int colour) {
    if (const int mapped = MergeMapLabel(UDM_CLASS_COLR, colour); mapped != 0) return mapped;
    return colour >= 1 && colour <= kLastSystemColour ? colour : 0;
}

void WriteDoubleRows(UdmStream* stream, std::span<const double> values, int per_line, int indent) {
    for (std::size_t n = 0; n < values.size(); ++n) {
        if (n % static_cast<std::size_t>(per_line) == 0) {
            udm_put_newlines(stream, 1);
            udm_put_blanks(stream, indent);
        } else {
            udm_put_blanks(stream, 1);
        }
        udm_put_double(stream, values[n]);
    }
}

ReadResult ReadDoubles(BlockCursor* cursor, std::vector<double>* out) {
    try {
        out->reserve(out->size() + cursor->Remaining());
        double value = 0.0;
        while (cursor->Real(&value)) out->push_back(value);
    } catch (const std::bad_alloc&) {
        return ReadResult::kMemory;
    }
    return ReadResult::kOk;
}

}  // namespace tarnvel::udm
