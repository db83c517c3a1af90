#include "services/sypenvvalue.h"

#include <cstdlib>
#include <cstring>

SypEnvStatus sypEnvironmentValue(const char* name, std::size_t max_length, std::string* value) {
    value->clear();
    const char* text = name != nullptr ? std::getenv(name) : nullptr;
    if (text == nullptr || *text == '\0') return kSypEnvUnset;
    if (std::strlen(text) > max_length) return kSypEnvTooLong;
    value->assign(text);
    return kSypEnvSet;
}
