// Flat entity blocks of the packed encoding. A family whose block is only a
// run of header values and plain payload fields (numbers, property set
// references, texts: NODE, the fixed-size elements, COLR, TEXT) is read
// here straight from the binary token bytes: the bytes are decoded against
// the family's fields, and only a block that has exactly the form the
// fields ask for, whole in the bytes given, is taken; the entity is then
// made from what was decoded, with the messages of the general creator. Anything else (comments,
// words, a block cut by the end of the window) is left to the general reader, so both give the same
// model and the same messages for every input. Property code entries (TCOD) of the packed encoding
// are measured here the same way.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "udm/udm_family.h"
#include "udm/udm_stream.h"
#include "udm/udm_value_list.h"

namespace tarnvel::udm {

// Whether the parser decodes flat blocks and TCODs of packed files in
// place (the default). Off, every block is collected token by token; tests
// read the same bytes both ways and compare.
bool InPlaceDecoding();
void SetInPlaceDecoding(bool enabled);

// The field description of a class whose blocks are flat, or null.
const FamilyLayout* FlatLayoutOf(int entity_class);

// The most fields a flat family has.
inline constexpr std::size_t kMaxFlatFields = 16;
// The largest payload of a flat family; a family with a larger one is read
// token by token.
inline constexpr std::size_t kMaxFlatPayload = 96;
// The most texts a flat block carries.
inline constexpr std::size_t kMaxFlatTexts = 4;

// An entity as a flat block describes it: its header and payload, made
// from the class's defaults and the values decoded.
struct alignas(16) EntityImage {
    EntityHeader header;
    std::array<unsigned char, kMaxFlatPayload> payload;
};

// A text of a flat block: where its pointer lies in the payload, and the
// text itself (pointing into the bytes decoded).
struct FlatText {
    std::uint16_t offset;
    std::string_view text;
};

// The texts of a flat block that are not empty.
struct FlatTexts {
    std::array<FlatText, kMaxFlatTexts> items;
    std::size_t count = 0;
};

// A run of flat blocks of one class, read straight from the binary token
// bytes. Each block is decoded in one walk over the family's fields into
// the image of its entity; only a block that has exactly the form the
// fields ask for, whole in the bytes given, is taken, and the entity is then
// made from its image with the messages of the general creator. The
// family's initialiser must allocate nothing (the image is copied).
class FlatRun {
  public:
    explicit FlatRun(const FamilyLayout& family_layout);

    // Decodes the flat block at the start of bytes; false when the bytes do
    // not hold such a block whole (nothing is made then).
    bool Measure(std::span<const std::uint8_t> bytes);
    // The bytes of the block measured last, from its open brace up to and
    // including its close brace, and its tokens (braces included).
    std::size_t size() const { return size_; }
    std::size_t tokens() const { return tokens_; }
    // Makes the entity of the block measured last (its texts still in their
    // bytes), reporting as the general creator does (ReportCreateFailure,
    // ReportBadMemory).
    void Create(UdmStream* stream);

  private:
    const FamilyLayout& layout_;
    EntityRun run_;
    // The class's defaults: a new payload and header as NewEntity leaves them.
    EntityImage defaults_;
    // The block measured last.
    EntityImage image_;
    std::int32_t label_ = 0;
    FlatTexts texts_;
    std::size_t size_ = 0;
    std::size_t tokens_ = 0;
};

// A run of double tokens left in the bytes: where its first token starts
// and how many follow one another.
struct DoubleRun {
    const std::uint8_t* first = nullptr;
    std::size_t count = 0;
};

// Decodes a run of double tokens into out.
void DecodeDoubleRun(const DoubleRun& run, double* out);

// The size of a TCOD block (open brace: code, description, numbers, close
// brace) at the start of bytes, read as the general reader reads it: the
// code a 16- or 32-bit integer. Numbers that are one run of double tokens
// (as the writer writes them) are left in the bytes and described in *run;
// any others are pushed onto values (cleared first) and *run is empty. 0
// when the bytes do not hold such a block whole; values may then hold part
// of it.
std::size_t MeasurePackedCode(std::span<const std::uint8_t> bytes, std::int32_t* code,
                              std::string_view* description, ValueList* values, DoubleRun* run,
                              std::size_t* tokens);

}  // namespace tarnvel::udm
