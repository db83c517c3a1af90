// UDM streams: the byte and token transport between a UDM file and the
// writer or reader of the model. A stream carries one file in one of nine
// encodings (udm_encodings.h): readable text, binary tokens, and variants of
// both that are compressed (raw deflate in a gzip-style container) and
// scrambled (XOR mask or keystream). All file transfer goes through
// 4096-byte buffers; tokens are encoded without per-token allocation.
//
// Writing: open a stream on a file (or a memory buffer), hand it tokens with
// udm_stream_put (or raw bytes with udm_stream_write), end with the end token
// or udm_stream_close. The file itself is closed by the caller.
//
// Reading: open a stream on a file (or memory); the encoding is detected
// from the first bytes. Text encodings hand out bytes (udm_stream_getc,
// udm_stream_read) for the text lexer, which the reader may install so that
// udm_stream_get serves tokens in every encoding; binary encodings hand out
// decoded tokens through udm_stream_get. Corrupt or truncated input ends the
// data cleanly and leaves a non-zero udm_stream_status.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

// Token codes shared by the writer, the stream encodings and the reader.
// The reader's keyword tokens start at 273 (UDM_TOKEN_FIRST_KEYWORD).
enum UdmTokenCode : int {
    // End of the token sequence; when written: finishes the output.
    UDM_TOKEN_END = 257,
    UDM_TOKEN_OPEN = 258,
    UDM_TOKEN_CLOSE = 259,
    UDM_TOKEN_FALSE = 260,
    UDM_TOKEN_TRUE = 261,
    // 8-bit unsigned integer (0..255) in `integer`.
    UDM_TOKEN_INT8 = 262,
    // 16-bit unsigned integer (0..65535) in `integer`.
    UDM_TOKEN_INT16 = 263,
    // 32-bit signed integer in `integer`.
    UDM_TOKEN_INT32 = 264,
    // Single-precision number, carried as a double in `real`.
    UDM_TOKEN_FLOAT = 265,
    // Double in `real`.
    UDM_TOKEN_DOUBLE = 266,
    // Word or keyword in `text` (keywords always carry four bytes).
    UDM_TOKEN_WORD = 267,
    // Quoted string in `text`, unescaped; a null text.data() is a missing text.
    UDM_TOKEN_STRING = 268,
    // Comment in `text`, written as it is.
    UDM_TOKEN_COMMENT = 269,
    // `integer` blanks (text encodings only; nothing in binary form).
    UDM_TOKEN_BLANKS = 270,
    // Reserved layout token; produces no bytes in any encoding.
    UDM_TOKEN_LAYOUT_RESERVED = 271,
    // `integer` line feeds (text encodings only; nothing in binary form).
    UDM_TOKEN_NEWLINES = 272,
    // First keyword token code of the reader (TITL).
    UDM_TOKEN_FIRST_KEYWORD = 273,
};

// One token with its value. Which member is meaningful depends on `code`.
// A token handed out by udm_stream_get points into the stream's buffer:
// `text` stays valid until the next call on that stream.
struct UdmToken {
    int code = UDM_TOKEN_END;
    // Integer tokens; the repeat count of blank and line-break tokens.
    std::int32_t integer = 0;
    // Double and single-precision tokens.
    double real = 0.0;
    // Word, keyword, quoted-string and comment tokens.
    std::string_view text;
};

// An open stream (opaque; one per open file, owned by whoever opened it).
struct UdmStream;

// A text token reader installed by the reader: fills *token from the bytes
// of the stream and returns its code (UDM_TOKEN_END at end of data).
using UdmTextTokenReader = int (*)(UdmStream* stream, UdmToken* token, void* state);

// ---- Writing -------------------------------------------------------------

// Opens a stream that writes encoding 0..8 to an open file: writes the
// encoding's header (unscrambled, uncompressed) and prepares deflate and the
// keystream as the encoding needs; fixes the process-wide float format on
// first use. The name is copied and used in diagnostics. Returns null for a
// missing file, an encoding outside 0..8, or exhausted memory (the caller
// reports 1021).
UdmStream* udm_stream_open_write(const char* name, int encoding, std::FILE* file);

// As udm_stream_open_write, appending the encoded bytes to *out instead of
// a file (the string must outlive the stream).
UdmStream* udm_stream_open_write_memory(const char* name, int encoding, std::string* out);

// Hands one token to the encoding's token writer. UDM_TOKEN_END finishes the
// output (flush; for compressed encodings: deflate finish, trailer,
// scrambling); later tokens are ignored. Blanks and line breaks produce no
// bytes in the binary encodings; a comment is a token there like any other
// (the writer leaves comments out of packed output itself).
void udm_stream_put(UdmStream* stream, const UdmToken& token);

// Writes bytes as stream content (before compression and container
// scrambling; the token-level scrambling of encodings 3 and 4 is not
// applied). Used for raw text output.
void udm_stream_write(UdmStream* stream, const void* data, std::size_t size);

// ---- Reading -------------------------------------------------------------

// Opens a stream that reads an open file. With encoding 0 the encoding is
// detected from the first bytes (fewer than 8 bytes: text); with 1..8 the
// header must match that encoding. *detected (may be null) receives the
// encoding found, 0 when the header does not match the requested encoding.
// Returns null when no stream can be made: no file, header mismatch, an
// unusable gzip header, a truncated container header, exhausted memory
// (the caller reports 1003). Encodings 2, 3, 4 and 6 are detected and read
// like the others; whether to accept them is the caller's choice.
UdmStream* udm_stream_open_read(const char* name, std::FILE* file, int encoding, int* detected);

// As udm_stream_open_read over bytes in memory (they must outlive the
// stream).
UdmStream* udm_stream_open_read_memory(const char* name, std::string_view data, int encoding,
                                       int* detected);

// The next content byte (0..255), or -1 at end of data (or after an error).
int udm_stream_getc(UdmStream* stream);

// Reads up to size content bytes; returns how many were read (0 at end).
std::size_t udm_stream_read(UdmStream* stream, void* buffer, std::size_t size);

// Installs the text token reader used by udm_stream_get for the text
// encodings (0, 1, 5, 6, 7). Without one, udm_stream_get on a text stream
// gives UDM_TOKEN_END.
void udm_stream_set_text_reader(UdmStream* stream, UdmTextTokenReader reader, void* state);

// The next token: the binary decoder for encodings 2, 3, 4 and 8, the
// installed text reader otherwise. Returns the token code; a type byte
// outside 0x02..0x0D, end of data or malformed data give UDM_TOKEN_END
// (malformed data also sets the status).
int udm_stream_get(UdmStream* stream, UdmToken* token);

// ---- Both directions -----------------------------------------------------

// The encoding of the stream (1..8 for read streams, as detected).
int udm_stream_encoding(const UdmStream* stream);

// The file name given when the stream was made ("" when none).
const char* udm_stream_name(const UdmStream* stream);

// 0 while all is well; 1020 once read data turned out truncated or corrupt
// (inflate error, missing or wrong trailer, a token cut short, a token
// length beyond bounds); 1003 after a read error of the file; 1021 after a
// write error of the file.
int udm_stream_status(const UdmStream* stream);

// Finishes a write stream (as UDM_TOKEN_END) and frees the stream; a null
// stream does nothing. Returns the final udm_stream_status.
int udm_stream_close(UdmStream* stream);

// ---- Float format --------------------------------------------------------

// The process-wide printf format of doubles in the text encodings, fixed on
// first use: the product variable PRODUCT_FLOAT_FORMAT when it is set, at
// least 2 characters long, holds exactly one floating conversion and prints
// the largest finite double as at least one character; "%e" otherwise.
const char* udm_float_format();
