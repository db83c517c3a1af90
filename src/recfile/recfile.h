// The record-file open, inquiry, environment and message routines. Text
// arguments are fixed-length, blank-padded fields: a string_view (its size is
// the field length) in, a span of characters out. Results are status values;
// messages go through WRTMSG, so that a message unit of none silences them.
#pragma once

#include <span>
#include <string_view>

// "None" for a unit setting.
inline constexpr int kRfNone = -16384;

// The process-wide unit settings.
struct RfSettings {
    int screen_unit = 6;
    int message_unit = 6;
    // Receives a copy of every message line.
    int text_output_unit = kRfNone;
    // 0 and -1: message lines are records on the message unit; 2: windowed
    // display (not available); other values show nothing.
    int screen_mode = 0;
};
RfSettings& rfSettings();
// True when a message line goes anywhere: the message unit or the text
// output unit is set.
bool rfMessagesShown();

// The three levels packed in a message-level code.
struct RfLevels {
    int first = 0;
    int second = 0;
    int third = 0;
};
RfLevels rfDecodeLevels(int code);

// The 1-based position of the last character above the blank within the
// window, or start - 1 when there is none.
int LSTNB(std::string_view field, int start, int end);
// The 1-based position of the first character that is not a blank within
// the window, or the end.
int FSTNB(std::string_view field, int start, int end);

// Opens a file with options chosen by letter (S status, A access, F form,
// R record length; the i-th letter takes the i-th value); access letter "R"
// opens read-only and shared. 0, or -1.
int OPNFIL(int unit, std::string_view name, std::span<const int> values, std::string_view letters,
           std::string_view access, int option_count, int access_count);
// Opens an existing file: 0, -1 or -8 (not found), -4 (in use), or the
// inquiry's status. A record length code >= 0 opens read-only.
int OPNOLD(int unit, std::string_view name, int levels, int record_length_code);
// Creates a new file, asking before an existing one is replaced according
// to the overwrite mode (updated). 0, -1, -2, -4, -8, -16 or a status.
int NEWFIL(int unit, std::string_view name, int* overwrite_mode, int levels, int record_length);
// Opens a file so that the next record written is appended; creates it when
// missing unless it must exist. 0, -32, or the status of the failed open.
int OPNAPN(int unit, std::string_view name, int levels, int record_length, bool must_exist);
// Closes a unit: blank closes, "K" keeps, "D" deletes; -1 for another letter.
int CLSFIL(int unit, char letter);
// Reads an environment variable into the value field (mode 1 adds a final
// "/"; mode 2, setting a variable, is not available). Status 0, -1, -30,
// -40 or -667.
void VTGVAR(int mode, std::string_view name, std::span<char> value, int* length, int levels,
            int* status);
// Writes one message line to the message unit and the text output unit.
void WRTMSG(std::string_view text);
// Writes the text up to its last non-blank character as one record.
void WRTLIN(int unit, std::string_view text);
// Makes what was written to the unit durable.
void FLSUNI(int unit);
