// The shared shape of the entity families. Most families are a run of
// header values and payload fields written one after the other; a family
// describes its run once, as a table of fields, and the same table drives
// its writer, its creator from a read block, its deep copy, its release and
// the rewriting of its references on merge. What a table cannot say (node
// lists of variable length, facets, sub-records, layer attributes, blob
// bodies) a family adds as a tail of its own.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "udm/udm_classes.h"
#include "udm/udm_mesh.h"
#include "udm/udm_model.h"
#include "udm/udm_stream.h"

namespace tarnvel::udm {

// ---- A block as read ------------------------------------------------------------

// One value of an entity block: a number, a text, or a nested group (a
// keyword and its braces, or bare braces). Sixteen bytes, so that the
// values of a long block cost little more than the file holds.
struct BlockItem {
    enum class Kind : std::uint8_t { kInteger, kReal, kString, kWord, kGroup };
    // Where a text lies in the block's text store.
    struct TextSpan {
        std::uint32_t begin;
        std::uint32_t size;
    };

    Kind kind;
    // kGroup and kWord: the keyword code (0 for bare braces or a plain word).
    std::uint16_t keyword;
    // kGroup: the index after its last item.
    std::uint32_t end;
    union {
        std::int32_t integer;
        double real;
        TextSpan text;
    };

    static BlockItem Integer(std::int32_t value) {
        BlockItem item{Kind::kInteger, 0, 0, {}};
        item.integer = value;
        return item;
    }
    static BlockItem Real(double value) {
        BlockItem item{Kind::kReal, 0, 0, {}};
        item.real = value;
        return item;
    }
    static BlockItem Text(Kind kind, int keyword, std::size_t begin, std::size_t size) {
        BlockItem item{kind, static_cast<std::uint16_t>(keyword), 0, {}};
        item.text = {static_cast<std::uint32_t>(begin), static_cast<std::uint32_t>(size)};
        return item;
    }
    static BlockItem Group() { return BlockItem{Kind::kGroup, 0, 0, {}}; }
};
static_assert(sizeof(BlockItem) == 16);

// The content of one entity block between its braces, filled by the parser
// and handed to the family's creator. Its storage is reused block by block.
struct EntityBlock {
    // The block's keyword code (old-version codes included).
    int keyword = 0;
    std::vector<BlockItem> items;
    std::string texts;

    void Clear() {
        items.clear();
        texts.clear();
    }
    std::string_view Text(const BlockItem& item) const {
        return std::string_view(texts).substr(item.text.begin, item.text.size);
    }
};

// Walks the items of a block or of one of its groups.
class BlockCursor {
  public:
    BlockCursor(const EntityBlock& block, std::size_t begin, std::size_t end)
        : block_(&block), pos_(begin), end_(end) {}
    explicit BlockCursor(const EntityBlock& block) : BlockCursor(block, 0, block.items.size()) {}

    bool AtEnd() const { return pos_ >= end_; }
    std::size_t Remaining() const { return AtEnd() ? 0 : end_ - pos_; }
    bool AtInteger() const { return !AtEnd() && Here().kind == BlockItem::Kind::kInteger; }
    bool AtNumber() const {
        return AtInteger() || (!AtEnd() && Here().kind == BlockItem::Kind::kReal);
    }
    bool AtString() const { return !AtEnd() && Here().kind == BlockItem::Kind::kString; }
    bool AtWord() const { return !AtEnd() && Here().kind == BlockItem::Kind::kWord; }
    bool AtGroup(int keyword) const {
        return !AtEnd() && Here().kind == BlockItem::Kind::kGroup && Here().keyword == keyword;
    }

    // Each takes the next item when it has the kind asked for; false (and
    // nothing taken) otherwise. A real accepts an integer.
    bool Integer(std::int32_t* out);
    bool Real(double* out);
    bool String(std::string_view* out);
    // A plain word (as cut by keyword recognition to its first 4 bytes).
    bool Word(std::string_view* out);
    // Takes a group with the keyword (0: bare braces) and gives its items.
    bool Group(int keyword, BlockCursor* inner);

  private:
    const BlockItem& Here() const { return block_->items[pos_]; }

    const EntityBlock* block_;
    std::size_t pos_;
    std::size_t end_;
};

// What reading a block, or a part of it, came to.
enum class ReadResult {
    kOk,
    // The items do not have the family's shape: the entity is dropped.
    kShape,
    // Memory ran out: the entity is dropped.
    kMemory,
    // The part reported its own message and the entity is dropped.
    kDropped,
};

// Reports a diagnostic of the read in progress.
void ReportRead(UdmStream* stream, const char* message);
// Reports a failed allocation of the read in progress, which ends the read.
void ReportReadMemory(UdmStream* stream, const char* message);
// Reports "bad <KEYWORD> memory" for an entity of the class, a failed
// allocation that ends the read.
void ReportBadMemory(UdmStream* stream, int entity_class);
// Reports why an entity of the class could not be made (the status of
// NewEntity): "bad <KEYWORD> label" for a taken label, "bad <KEYWORD>
// memory" otherwise (ending the read when memory ran out).
void ReportCreateFailure(UdmStream* stream, int entity_class, int status);

// ---- Field tables -------------------------------------------------------------------

enum class FieldKind : std::uint8_t {
    // Header values: key1 (the label, or a BLOB's type), key2 (a BLOB's
    // label), flag bit 6 (LABEL_ON, a layer's VISIBLE), flag bit 7, layer
    // (32-bit), colour and display (16-bit tokens).
    kKey1,
    kKey2,
    kFlag6,
    kFlag7,
    kLayer,
    kColour,
    kDisplay,
    // A local coordinate system's TYPE&ENABLED: 2 for a non-zero display
    // code (modelling plane) plus flag bit 7 (enabled).
    kTypeEnabled,
    // Payload values: an int32, an int32 node label, a property set
    // reference (two int32: type, label), a double, an owned text (char*,
    // null when empty).
    kInt,
    kNode,
    kTset,
    kDouble,
    kText,
    // A Transform on a line of its own: "TRAN{" and 4 rows of 4 doubles.
    kTransform,
    // A Plane on a line of its own: "PLNE{A B C D}".
    kPlane,
    // A NodeList: the node labels, 5 to a line.
    kNodeList,
};

// Field flags.
inline constexpr std::uint8_t kFieldOptional = 1;

struct Field {
    FieldKind kind;
    // Offset of the value in the payload (payload kinds only).
    std::uint16_t offset = 0;
    // kFieldOptional: a text that old files leave out, a transform that
    // may be absent.
    std::uint8_t flags = 0;
};

constexpr Field MakeField(FieldKind kind, std::size_t offset = 0, std::uint8_t flags = 0) {
    return Field{kind, static_cast<std::uint16_t>(offset), flags};
}

// The header run of drawable entities: LABEL LABEL_ON LAYER COLOR DISPLAY.
inline constexpr std::array<Field, 5> kDrawableHeader = {
    MakeField(FieldKind::kKey1), MakeField(FieldKind::kFlag6), MakeField(FieldKind::kLayer),
    MakeField(FieldKind::kColour), MakeField(FieldKind::kDisplay)};
// LABEL LABEL_ON LAYER COLOR, the run of nodes and texts (no DISPLAY).
inline constexpr std::array<Field, 4> kPointHeader = {
    MakeField(FieldKind::kKey1), MakeField(FieldKind::kFlag6), MakeField(FieldKind::kLayer),
    MakeField(FieldKind::kColour)};

// Two runs of fields one after the other.
template <std::size_t First, std::size_t Second>
constexpr std::array<Field, First + Second> JoinFields(const std::array<Field, First>& first,
                                                       const std::array<Field, Second>& second) {
    std::array<Field, First + Second> joined{};
    for (std::size_t n = 0; n < First; ++n) joined[n] = first[n];
    for (std::size_t n = 0; n < Second; ++n) joined[First + n] = second[n];
    return joined;
}

using Transform = UdmTransform;
using Plane = UdmPlane;

// A variable list of node labels.
using NodeList = std::vector<std::int32_t>;

// The hooks of a family beyond its field table (each may be null).
struct FamilyTail {
    // Writes what follows the fields, before the close brace.
    void (*write)(UdmStream* stream, const void* payload);
    // Reads what follows the fields from the rest of the block.
    ReadResult (*read)(BlockCursor* cursor, void* payload, const EntityBlock& block,
                       UdmStream* stream);
    // Deep copy of what the fields do not cover; a UdmStatus.
    int (*copy)(void* target, const void* source);
    // Rewrites references the fields do not cover.
    void (*fix_references)(void* payload);
};

// A family: its class, its fields in written order, its tail, and how its
// payload is constructed and destroyed.
struct FamilyLayout {
    int entity_class;
    std::span<const Field> fields;
    FamilyTail tail;
    void (*construct)(void* payload);
    void (*destroy)(void* payload);
};

// The field description of a class, or null when the class is not table-driven.
const FamilyLayout* LayoutOfClass(int entity_class);

// The generic family functions, driven by the field description of the entity's class.
void FamilyRelease(void* payload);
int FamilyCopy(void* target, const void* source);
void FamilyFixReferences(void* payload);
void FamilyWrite(UdmStream* stream, const void* payload);
void FamilyCreate(int entity_class, const EntityBlock& block, UdmStream* stream);

template <typename Payload>
void ConstructAs(void* payload) {
    new (payload) Payload{};
}
template <typename Payload>
void DestroyAs(void* payload) {
    static_cast<Payload*>(payload)->~Payload();
}

// The field description of a payload type built and destroyed as a C++ object.
template <typename Payload>
constexpr FamilyLayout TableLayout(int entity_class, std::span<const Field> fields,
                                   FamilyTail tail = {}) {
    return FamilyLayout{entity_class, fields, tail, ConstructAs<Payload>, DestroyAs<Payload>};
}

// The UdmFamily of a table-driven payload type.
template <typename Payload>
constexpr UdmFamily TableFamily(const char* comment) {
    return UdmFamily{sizeof(Payload), comment,     ConstructAs<Payload>,
                     FamilyRelease,   FamilyCopy,  FamilyFixReferences,
                     FamilyWrite,     FamilyCreate};
}

// A colour reference rewritten on merge: the colour's new label, the label
// itself for the system colours (1 to 32) that have no entity, else 0.
int MergeMapColour(int colour);

// Writes values n to a line: each line after a line break and `indent`
// blanks, the values of a line one blank apart.
void WriteDoubleRows(UdmStream* stream, std::span<const double> values, int per_line, int indent);

// A seam for tests of the memory messages: when set, it is asked before
// the content of each geometric sub-record (CIPT, SIPT, RIPT, GCRV, GSRF,
// ICRV, OTLP, INLP) and of each TSRF or GRGN is stored, with that record's
// keyword; true makes the allocation fail as exhausted memory would. Null
// (the default) asks nothing.
using SubRecordAllocationHook = bool (*)(std::string_view keyword);
void SetSubRecordAllocationHook(SubRecordAllocationHook hook);

// Reads all remaining numbers of a cursor as doubles.
ReadResult ReadDoubles(BlockCursor* cursor, std::vector<double>* out);

}  // namespace tarnvel::udm
