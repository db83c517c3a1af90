// The console output layer of the material database modules: a buffered text
// whose complete lines go to a line sink. The default sink is the line
// printer, which hands every line to the record-file message routine, so
// that database and record-file messages share one destination and one
// on/off switch (the message unit).
#pragma once

#include <string_view>

// Receives the text that the buffer passes on: one line without its line
// feed in mode 64, the whole buffer in mode 4.
using VtOutSink = void (*)(std::string_view text);

// Buffering modes.
inline constexpr int kVtHoldAll = 0;
inline constexpr int kVtPassBuffer = 4;
inline constexpr int kVtPassLines = 64;

// Appends the text to the buffer and passes it on according to the mode.
// Returns the buffer (NUL-terminated): what the mode kept.
const char* vt_out(const char* text);

// Formats the text (at most 255 characters) and calls vt_out; a longer text
// is cut and a warning line follows it.
const char* vt_echo(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Saves the buffering mode and the sink (one level), and restores them.
void vtOutSave();
void vtOutRestore();

// Sets the buffering mode and the sink (null: the line printer).
void vtOutSetMode(int mode);
void vtOutSetSink(VtOutSink sink);

// A sink that drops every text; set it to silence the layer.
void vtOutDiscard(std::string_view text);

// The line printer, the default sink: a non-empty line goes to the message
// routine, an empty line becomes a single blank.
void vtOutPrintLine(std::string_view line);

// Empties the buffer without passing anything on.
void vtOutClear();

// True when text handed to vt_out now would go straight on to the message
// routine: nothing is held in the buffer, the mode passes text on at once,
// and the sink is the line printer with a message routine installed.
bool vtOutPassesToMessageRoutine();

// The message routine behind the line printer. Until one is installed
// (the record-file layer installs its message routine), a line goes to the
// standard output as one line.
using VtMessageRoutine = void (*)(std::string_view line);
void vtOutSetMessageRoutine(VtMessageRoutine routine);
