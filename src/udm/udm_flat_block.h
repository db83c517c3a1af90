// Flat entity blocks of the packed encoding. A family whose block is only a
// run of header values and plain payload fields (numbers, property set
// references, texts: NODE, the fixed-size elements, COLR, TEXT) is read
// here straight from the binary token bytes: the bytes are first measured
// against the family's fields, and only a block that has exactly the form
// the fields ask for, whole in the bytes given, is taken; the entity is then
// made and filled from the same bytes, with the messages of the general
// creator. Anything else (comments, words, a block cut by the end of the
// window) is left to the general reader, so both give the same model and
// the same messages for every input. Property code entries (TCOD) of the
// packed encoding are measured here the same way.
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

// A field's value as decoded: an integer (a property set reference takes
// two), a real or a text (pointing into the bytes decoded).
struct FlatValue {
    std::int32_t integer = 0;
    std::int32_t second = 0;
    double real = 0.0;
    std::string_view text;
};

// A flat block as measured: its bytes from its open brace up to and
// including its close brace, its tokens (braces included), its label and
// the values of its other fields in field order.
struct FlatBlock {
    std::size_t size = 0;
    std::size_t tokens = 0;
    std::int32_t label = 0;
    std::array<FlatValue, kMaxFlatFields> values;
};

// Decodes the flat block at the start of bytes; false when the bytes do
// not hold such a block whole.
bool MeasureFlatBlock(std::span<const std::uint8_t> bytes, const FamilyLayout& family_layout,
                      FlatBlock* block);

// Makes the entity of a measured block (its texts still in their bytes),
// with the messages of the general creator (ReportCreateFailure,
// ReportBadMemory).
void CreateFlatEntity(const FamilyLayout& family_layout, const FlatBlock& block, UdmStream* stream);

// The size of a TCOD block (open brace: code, description, numbers, close
// brace) at the start of bytes, read as the general reader reads it: the
// code a 16- or 32-bit integer, the numbers pushed onto values (cleared
// first). 0 when the bytes do not hold such a block whole; values may then
// hold part of it.
std::size_t MeasurePackedCode(std::span<const std::uint8_t> bytes, std::int32_t* code,
                              std::string_view* description, ValueList* values,
                              std::size_t* tokens);

}  // namespace tarnvel::udm
