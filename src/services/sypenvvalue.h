// Reading one environment variable with a length limit.
#pragma once

#include <string>

// The outcome of sypEnvironmentValue.
enum SypEnvStatus : int {
    kSypEnvSet = 0,
    // Unset, or set to the empty text (which counts as unset).
    kSypEnvUnset = 1,
    // Longer than the limit; the value is left empty.
    kSypEnvTooLong = 2,
};

// Reads the variable name into value when it is set, not empty and at most
// max_length characters long.
SypEnvStatus sypEnvironmentValue(const char* name, std::size_t max_length, std::string* value);
