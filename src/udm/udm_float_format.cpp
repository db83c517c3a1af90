// The process-wide printf format of doubles in the UDM text encodings.
// The product variable PRODUCT_FLOAT_FORMAT may replace the default "%e".
// The value comes from the user's environment and is handed to printf, so
// only a format with exactly one floating conversion is taken: anything
// else ("%s", "%n", two conversions, '*' widths) would read arguments that
// are not there. The numbers it prints must also read back: a few probe
// values printed with it must each lex as one number equal to the value
// within the format's precision, or every value written with it would be
// lost on reading ("x%e", "%%%e%%", hexadecimal "%a").
#include <array>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "services/libvxenv.h"
#include "udm/udm_encodings.h"
#include "udm/udm_lexer.h"
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

// The one conversion of a format: its letter and its precision (-1 when
// the format gives none).
struct Conversion {
    char letter = 0;
    int precision = -1;
};

// True when the format holds exactly one conversion: "%", flags, a width
// and a precision of a few digits, an optional 'l' (no effect on a double)
// and one of e E f F g G a A; "%%" aside. *found receives it.
bool is_single_double_format(std::string_view format, Conversion* found) {
    int conversions = 0;
    for (std::size_t at = 0; at < format.size(); ++at) {
        if (format[at] != '%') continue;
        if (++at < format.size() && format[at] == '%') continue;
        while (at < format.size() && contains("-+ #0", format[at])) ++at;
        if (!skip_digits(format, at, kMaxFieldDigits)) return false;
        if (at < format.size() && format[at] == '.') {
            const std::size_t digits = ++at;
            if (!skip_digits(format, at, kMaxFieldDigits)) return false;
            found->precision = at == digits ? 0 : std::stoi(std::string(format.substr(digits)));
        }
        if (at < format.size() && format[at] == 'l') ++at;
        if (at >= format.size() || !contains("eEfFgGaA", format[at])) return false;
        found->letter = format[at];
        ++conversions;
    }
    return conversions == 1;
}

// The values every usable format must carry through a text file.
constexpr std::array<double, 4> kProbeValues = {0.0, -1.5, 1e-300, 1e300};

// How far a value read back may lie from the value printed: a relative
// error of the significant digits printed (precision digits after the point
// for e and f, precision significant digits for g) and, for f, the
// absolute error of the last decimal place.
bool within_precision(const Conversion& conversion, double value, double read) {
    const char letter = static_cast<char>(conversion.letter | 0x20);
    const int precision = conversion.precision < 0 ? 6 : conversion.precision;
    const int significant = letter == 'g' ? std::max(precision, 1) - 1 : precision;
    const double error = std::fabs(read - value);
    if (error <= std::fabs(value) * std::pow(10.0, 1 - significant)) return true;
    return letter == 'f' && error <= std::pow(10.0, -precision);
}

// The text lexed as exactly one number (blanks around it aside).
bool lexes_as_one_number(const std::string& text, double* value) {
    UdmStream* stream =
        udm_stream_open_read_memory("float format", text, tarnvel::udm::kEncodingText, nullptr);
    if (stream == nullptr) return false;
    bool one_number = false;
    {
        tarnvel::udm::TextLexer lexer(stream);
        UdmToken token;
        const int code = lexer.Next(&token);
        if (code == UDM_TOKEN_INT32 || code == UDM_TOKEN_DOUBLE) {
            *value = code == UDM_TOKEN_INT32 ? token.integer : token.real;
            one_number = lexer.Next(&token) == UDM_TOKEN_END;
        }
    }
    udm_stream_close(stream);
    return one_number;
}

// True when every probe value printed with the format reads back.
bool probes_read_back(const char* format, const Conversion& conversion) {
    for (double probe : kProbeValues) {
        const int length = std::snprintf(nullptr, 0, format, probe);
        if (length < 1) return false;
        std::string text(static_cast<std::size_t>(length) + 1, '\0');
        std::snprintf(text.data(), text.size(), format, probe);
        text.resize(static_cast<std::size_t>(length));
        double read = 0.0;
        if (!lexes_as_one_number(text, &read) || !within_precision(conversion, probe, read)) {
            return false;
        }
    }
    return true;
}

}  // namespace

namespace tarnvel::udm {

bool is_usable_float_format(const char* value) {
    if (value == nullptr) return false;
    std::string_view format(value);
    if (format.size() < 2 || format.size() >= kFormatCapacity) return false;
    Conversion conversion;
    if (!is_single_double_format(format, &conversion)) return false;
    std::array<char, 2> probe;
    if (std::snprintf(probe.data(), probe.size(), value, DBL_MAX) < 1) return false;
    return probes_read_back(value, conversion);
}

}  // namespace tarnvel::udm

namespace {

std::array<char, kFormatCapacity> choose_float_format() {
    std::array<char, kFormatCapacity> chosen{};
    const char* value = envGetValue("PRODUCT_FLOAT_FORMAT");
    const bool usable = tarnvel::udm::is_usable_float_format(value);
    if (value != nullptr && !usable) {
        std::fprintf(stderr,
                     "warning: %s \"%s\" is not a float format whose numbers read back; "
                     "\"%s\" is used\n",
                     envGetVariableName("PRODUCT_FLOAT_FORMAT"), value, kDefaultFloatFormat);
        std::fflush(stderr);
    }
    const char* source = usable ? value : kDefaultFloatFormat;
    std::memcpy(chosen.data(), source, std::strlen(source) + 1);
    return chosen;
}

}  // namespace

const char* udm_float_format() {
    static const std::array<char, kFormatCapacity> format = choose_float_format();
    return format.data();
}
