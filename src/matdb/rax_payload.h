// The two property chain payloads of a grade and their items.
//
// Primary payload (properties 1 to 16 as single points or standard points):
// word 0 the number n of index words that follow; word 1 the property mask
// (bit p - 1 for property p); one variable mask per present property (0: a
// single point; else bit k - 1 marks position k of the property's
// allowed-variable list as a column); one row count per standard-points
// property; after the n index words the values, property by property.
//
// Extended payload: entries of property, L (values + 5), format, model,
// standard flag, variable mask (bit v - 1 for variable number v), value
// count and the values; a property word of 0 ends it. Text values are bytes
// in word slots and keep the file's byte sequence in either byte order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "matdb/matdb.h"

namespace tarnvel::matdb {

// Decodes a payload into items appended to items. False when the payload's
// structure is damaged (an index, count or length beyond the payload, or a
// non-empty extended payload without its closing 0).
// Items whose contents cannot be represented in memory (a variable position
// outside the property's list, an unknown property, format or variable) are
// skipped and counted in skipped.
bool DecodePrimary(std::span<const std::int32_t> payload, std::vector<MdProperty>* items,
                   int* skipped);
bool DecodeExtended(std::span<const std::int32_t> payload, bool swapped,
                    std::vector<MdProperty>* items, int* skipped);

struct EncodedItems {
    std::vector<std::int32_t> primary;
    std::vector<std::int32_t> extended;
    // Items that cannot be stored (a variable given twice, values that do
    // not fill their rows, an unknown property or variable).
    int skipped = 0;
};

// Splits a grade's own items (inherited ones are not stored) into the two
// payloads. A property's first single point or standard-points item whose
// variables are all in its allowed list goes to the primary payload; every
// other item to the extended one.
EncodedItems EncodeItems(const std::vector<MdProperty>& items, bool swapped);

// Text packed four bytes to a word, zero-terminated, in the file's order.
std::vector<std::int32_t> PackText(const std::string& text, bool swapped);
std::string UnpackText(std::span<const std::int32_t> words, bool swapped);

}  // namespace tarnvel::matdb
