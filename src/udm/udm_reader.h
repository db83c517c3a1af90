// The UDM reader inside the library: the token source that serves the
// parser (text lexer or binary decoder, then keyword recognition), the
// parser that fills the current model, and its diagnostics.
//
// The parser, its current token and the value buffer are process-wide: one
// read runs at a time in the process (udm_model_read_file serialises them).
#pragma once

#include "udm/udm_stream.h"

// Results of udm_parse.
enum UdmParseResult : int {
    // ENDF reached.
    UDM_PARSE_ACCEPTED = 0,
    // Error recovery failed (end of input while recovering, a lexer error).
    UDM_PARSE_RECOVERY_FAILED = 1,
    // The nesting of braces went beyond what the parser holds.
    UDM_PARSE_STACK_OVERFLOW = 2,
    // An allocation failed: the model would miss what the file holds.
    UDM_PARSE_NO_MEMORY = 3,
};

// Parses the stream into the current model. Text streams need their lexer
// attached first (TextLexer::Attach).
int udm_parse(UdmStream* stream);

// The next token of the stream with keyword recognition applied: a word of
// four or more bytes found in the keyword table becomes its keyword token
// (text: the four bytes), other words keep their text cut to four bytes; an
// 8-bit integer token stands for the keyword of code value + 273, or the
// end of input above ENDF. Returns the token code.
int udm_next_token(UdmStream* stream, UdmToken* token);

// Reports a diagnostic when the product variable VANTOREL_UDM_PRINT_ERROR
// is set: "File %s, Line %d", then the message extended with the current
// token, as an unexpected condition.
void udm_report(UdmStream* stream, const char* message);

// Reports a failed allocation like udm_report; the read then ends with
// UDM_PARSE_NO_MEMORY at the end of the block being read, since going on
// would give a model with data silently missing.
void udm_report_no_memory(UdmStream* stream, const char* message);

namespace tarnvel::udm {
// Forgets what an earlier read dropped; called as each read starts.
void ResetDropRecord();
// True once udm_report_no_memory was called during the current read.
bool ReadRanOutOfMemory();
}  // namespace tarnvel::udm

namespace tarnvel::udm {

// The deepest nesting of braces the parser follows; deeper input ends the
// parse with "parser stack overflow".
inline constexpr int kMaxBraceNesting = 64;

// True when diagnostics are printed (looked up once per process).
bool ReaderPrintsErrors();

}  // namespace tarnvel::udm
