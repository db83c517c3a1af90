#include "catalogue/catalogue_names.h"

#include <array>
#include <cstdint>

namespace tarnvel::catalogue {
namespace {

bool KeptAsIs(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-';
}

void AppendEscaped(char c, std::string& out) {
    constexpr char kHex[] = "0123456789ABCDEF";
    const auto byte = static_cast<std::uint8_t>(c);
    out += '_';
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

// Names that some systems take for devices whatever follows the dot.
bool IsDeviceName(std::string_view name) {
    static constexpr std::array<std::string_view, 4> kPlain = {"CON", "PRN", "AUX", "NUL"};
    for (std::string_view device : kPlain)
        if (name == device) return true;
    const bool numbered = name.size() == 4 && name[3] >= '0' && name[3] <= '9';
    return numbered && (name.starts_with("COM") || name.starts_with("LPT"));
}

}  // namespace

std::string SafeFileStem(std::string_view name) {
    if (name.empty()) return "_";
    std::string stem;
    stem.reserve(name.size() * 3);
    for (std::size_t i = 0; i < name.size(); ++i) {
        const bool escape_device = i == 0 && IsDeviceName(name);
        if (KeptAsIs(name[i]) && !escape_device)
            stem += name[i];
        else
            AppendEscaped(name[i], stem);
    }
    return stem;
}

std::string PageNames::SupplierFolder(std::string_view supplier) {
    return "grades/" + SafeFileStem(supplier);
}

std::string PageNames::Assign(std::string_view supplier, std::string_view code) {
    std::string page = SupplierFolder(supplier) + "/" + SafeFileStem(code);
    const int occurrence = ++seen_[page];
    if (occurrence > 1) page.append(".").append(std::to_string(occurrence));
    return page + ".html";
}

std::string PageNames::Find(std::string_view supplier, std::string_view code) const {
    const std::string page = SupplierFolder(supplier) + "/" + SafeFileStem(code);
    return seen_.contains(page) ? page + ".html" : std::string();
}

}  // namespace tarnvel::catalogue
