// Printing the access layer's messages through the console output.
#pragma once

#include <string>

namespace tarnvel::matdb {

// Formats with printf rules (no length limit) and passes the text to vt_out.
void MdPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints as MdPrint does and keeps the text for md_take_notices: a warning
// the user must see whatever the message settings.
void MdNotice(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The number of MdPrint calls so far, so that a caller can tell whether a
// step printed anything.
long MdPrintCount();

// The system error text of a saved error number, or the given words when
// there was no system error.
std::string ErrorText(int saved_errno, const char* words);

}  // namespace tarnvel::matdb
