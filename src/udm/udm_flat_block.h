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
const FamilySpec* FlatSpecOf(int entity_class);

// The size of a flat block, from its open brace up to and including its
// close brace, at the start of bytes; 0 when the bytes do not hold such a
// block whole. *tokens is set to the tokens it holds, braces included.
std::size_t MeasureFlatBlock(std::span<const std::uint8_t> bytes, const FamilySpec& family_spec,
                             std::size_t* tokens);

// Makes the entity of a block measured by MeasureFlatBlock, with the
// messages of the general creator (ReportCreateFailure, ReportBadMemory).
void CreateFlatEntity(const FamilySpec& family_spec, std::span<const std::uint8_t> block,
                      UdmStream* stream);

// The size of a TCOD block (open brace: code, description, numbers, close
// brace) at the start of bytes, read as the general reader reads it: the
// code a 16- or 32-bit integer, the numbers pushed onto values (cleared
// first). 0 when the bytes do not hold such a block whole; values may then
// hold part of it.
std::size_t MeasurePackedCode(std::span<const std::uint8_t> bytes, std::int32_t* code,
                              std::string_view* description, ValueList* values,
                              std::size_t* tokens);

}  // namespace tarnvel::udm
