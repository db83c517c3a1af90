// The process-wide printf format of doubles in the UDM text encodings.
// The product variable PRODUCT_FLOAT_FORMAT may replace the default "%e".
// The value comes from the user's environment and is handed to printf, so
// only a format with exactly one floating conversion is taken: anything
// else ("%s", "%n", two conversions, '*' widths) would read arguments that
// are not there.
#include <array>
#include <cfloat>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "services/libvxenv.h"
#include "udm/udm_stream.h"
#include "udm/udm_stream_impl.h"

namespace {

constexpr char kDefaultFloatFormat[] = "%e";
// Room for the format text; a longer value is not taken.
constexpr std::size_t kFormatCapacity = 64;
// Width and precision digits allowed in the conversion.
constexpr std::size_t kMaxFieldDigits = 3;

// Moves past at most max_digits decimal digits; false when there are more.
bool skip_digits(std::string_view format, std::size_t& at, std::size_t max_digits) {
    std::size_t start = at;
    while (at < format.size() && format[at] >= '0' && format[at] <= '9') ++at;
    return at - start <= max_digits;
}

bool contains(std::string_view set, char byte) {
    return set.find(byte) != std::string_view::npos;
}

// True when the format holds exactly one conversion: "%", flags, a width
// and a precision of a few digits, an optional 'l' (no effect on a double)
// and one of e E f F g G a A; "%%" aside.
bool is_single_double_format(std::string_view format) {
    int conversions = 0;
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format[at] != '%') continue;
        if (++at < format.size() && format[at] == '%') continue;
        while (at < format.size() && contains("-+ #0", format[at])) ++at;
        if (!skip_digits(format, at, kMaxFieldDigits)) return false;
        if (at < format.size() && format[at] == '.') {
            ++at;
            if (!skip_digits(format, at, kMaxFieldDigits)) return false;
        }
        if (at < format.size() && format[at] == 'l') ++at;
        if (at >= format.size() || !contains("eEfFgGaA", format[at])) return false;
        ++conversions;
    }
    return conversions == 1;
}

}  // namespace

namespace tarnvel::udm {

bool is_usable_float_format(const char* value) {
    if (value == nullptr) return false;
    std::string_view format(value);
    if (format.size() < 2 || format.size() >= kFormatCapacity) return false;
    if (!is_single_double_format(format)) return false;
    std::array<char, 2> probe;
    return std::snprintf(probe.data(), probe.size(), value, DBL_MAX) >= 1;
}

}  // namespace tarnvel::udm

namespace {

std::array<char, kFormatCapacity> choose_float_format() {
    std::array<char, kFormatCapacity> chosen{};
    const char* value = envGetValue("PRODUCT_FLOAT_FORMAT");
    const char* source = tarnvel::udm::is_usable_float_format(value) ? value : kDefaultFloatFormat;
    std::memcpy(chosen.data(), source, std::strlen(source) + 1);
    return chosen;
}

}  // namespace

const char* udm_float_format() {
    static const std::array<char, kFormatCapacity> format = choose_float_format();
    return format.data();
}
