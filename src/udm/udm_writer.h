// The writer primitives: each hands one token of the UDM file to a stream,
// whose encoding turns it into bytes. The class writers of the entity
// families are built from these. Comments, blanks and line breaks are left
// out while the current model's compact-output flag is set (packed writes).
#pragma once

#include <cstdint>

struct UdmStream;

void udm_put_open(UdmStream* stream);
void udm_put_close(UdmStream* stream);
// The boolean token (true for non-zero).
void udm_put_bool(UdmStream* stream, int flag);
// An 8-bit unsigned integer (0..255; other values are cut to 8 bits).
void udm_put_int8(UdmStream* stream, int value);
// A 16-bit unsigned integer (0..65535; other values are cut to 16 bits).
void udm_put_int16(UdmStream* stream, int value);
void udm_put_int(UdmStream* stream, std::int32_t value);
void udm_put_double(UdmStream* stream, double value);
// A keyword: the first four characters of the name.
void udm_put_keyword(UdmStream* stream, const char* name);
// A quoted string; null is written as an empty string.
void udm_put_string(UdmStream* stream, const char* text);
// Comment text as it is; nothing for null or in compact output.
void udm_put_comment(UdmStream* stream, const char* text);
// n blanks / n line breaks; nothing for n <= 0 or in compact output.
void udm_put_blanks(UdmStream* stream, int count);
void udm_put_newlines(UdmStream* stream, int count);

namespace tarnvel::udm {

// The comment and the entities of one class, in key order.
void WriteClass(UdmStream* stream, int entity_class);

}  // namespace tarnvel::udm
