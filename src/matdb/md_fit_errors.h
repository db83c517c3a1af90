// The numbered error report of the model fits, and the one place their
// printed lines go through.
#pragma once

#include <string_view>

namespace tarnvel::matdb {

// The extra integer that prints nothing after the message line.
inline constexpr int kMdNoExtra = -16384;

// The error contexts (code / 1000) the fits report under.
inline constexpr int kMdViscosityContext = 9;
inline constexpr int kMdGelTimeContext = 10;
inline constexpr int kMdPvtContext = 15;

// Prints the error report of a code: the banner, then the context line
// (code / 1000, when above 0) and the message line (code mod 1000) with the
// extra integer in 10 columns unless it is kMdNoExtra. A code whose context
// is above 19, or whose message is 0, negative or above 125, prints the
// generic "ERROR NUMBER =" line with the code and the extra integer.
void md_fit_error(int code, int extra = kMdNoExtra);

// The fixed 45-character texts, numbered from 1; "" outside the tables.
std::string_view md_fit_context_text(int context);
std::string_view md_fit_message_text(int message);

// Passes text to the console output of the material database.
void md_fit_print(std::string_view text);

}  // namespace tarnvel::matdb
