// Word, number and prompt parsing on blank-padded fields. Messages go
// through WRTMSG. Questions read their answers from a unit; at the end of
// the input an answer is empty (the default is taken) and a question that
// would be repeated ends instead.
#pragma once

#include <span>
#include <string_view>

// Splits the input into words separated by runs of delimiter characters.
// The words go into consecutive fields of field_length characters of the
// word array (word i at (i - 1) * field_length), blank-padded, with their
// lengths; at most max_words words are stored. Modes 2 and above keep
// double-quoted words whole. Returns the number of words.
int BRKWOR(std::string_view input, int mode, std::string_view delimiters, std::span<char> words,
           std::span<int> lengths, int field_length, int max_words, int levels, int* status);
// Reads the numbers of the input (at most 20; a blank delimiter text means
// blank and comma); words that are not numbers are counted and skipped.
int STRNUM(std::string_view delimiters, std::string_view input, int* non_numbers,
           std::span<float> values);
// Reads a single-precision real from a field; error is -1 for text that is
// not a number (empty, longer than 38, hexadecimal, INF, NAN, junk), else 0.
float RDREAL(std::string_view field, int* error);
// Compares two reals with a relative tolerance: "EQ", "NE", "GT", "GE",
// "LT", "LE" (either case). -1 true, 0 false.
int RELCMP(float first, std::string_view op, float second);
void UPCASE(std::span<char> field, int length);
void LOCASE(std::span<char> field, int length);
// Looks the input up among the keywords (fields of keyword_length) by
// prefix. -1 and the keyword's number when it is unique or the one exact
// match; else 0 with the number of matches.
int LOOKUP(std::string_view keywords, int keyword_length, int keyword_count, std::string_view input,
           int input_length, std::span<int> matches, int* match_count, int* match);
// Reads one record of the unit into the buffer, control characters blanked;
// the used length, -1 at end of file, -2 on a read error.
int RDLINE(int unit, int* length, std::span<char> buffer);
// Reads a line of numbers (at most 20).
int RDNUMS(int unit, int* value_count, int* line_status, std::span<char> text,
           std::span<float> values);
// Asks a yes/no question: -1 for yes, 0 for no.
int YESNO(int unit, std::string_view question, std::string_view default_answer, int repeat,
          int levels, int* status);
// Asks for one of the menu items: its number, or 0.
int RDMENU(int unit, std::string_view prompt, std::string_view items, std::string_view default_item,
           int repeat, int levels, int* status);
// Checks (and with flag bit 0 first asks for) a file name with the suffix.
// The extension result is 0 when the name has or was given the suffix, -1
// when it keeps another extension; an invalid name leaves length 0.
void GETFIL(std::string_view prompt, std::string_view suffix, int flags,
            std::string_view default_name, int* extension, std::span<char> name, int* name_length);
// Prints "STOP " and the text, closes the work units and ends the program
// with status 1.
[[noreturn]] void STOPRG(std::string_view text);
// The decimal digits of the integer, left-justified in the field.
void INTSTR(int value, std::span<char> text, int* length);
