// Numbers as the curve tools print them: the shortest decimal that reads
// back to the same double ("230", "0.28", "1e+06").
#pragma once

#include <charconv>
#include <string>

namespace tarnvel::curves {

inline std::string NumberText(double value) {
    char text[32];
    const std::to_chars_result end = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end.ptr);
}

}  // namespace tarnvel::curves
