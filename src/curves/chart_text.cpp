#include <string>

#include "curves/chart_paint.h"

namespace tarnvel::curves {
namespace {

constexpr std::string_view kEllipsis = "…";
constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// The length of the well-formed UTF-8 sequence at the start of text, or 0.
std::size_t SequenceLength(std::string_view text) {
    const auto lead = static_cast<unsigned char>(text[0]);
    if (lead < 0x80) return lead == 0 ? 0 : 1;
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || text.size() < length) return 0;
    unsigned long code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte & 0x3F);
    }
    constexpr unsigned long kLowest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
    return code < kLowest[length] || code > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::string WellFormed(std::string_view text) {
    std::string result;
    while (!text.empty()) {
        const std::size_t length = SequenceLength(text);
        result += length == 0 ? kReplacement : text.substr(0, length);
        text.remove_prefix(length == 0 ? 1 : length);
    }
    return result;
}

void SetFont(cairo_t* cr, double size, bool bold) {
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

double TextWidth(cairo_t* cr, std::string_view text) {
    cairo_text_extents_t extents;
    cairo_text_extents(cr, WellFormed(text).c_str(), &extents);
    return extents.x_advance;
}

void ShowText(cairo_t* cr, double x, double y, std::string_view text, Align across, Align down) {
    const std::string shown = WellFormed(text);
    cairo_font_extents_t font;
    cairo_font_extents(cr, &font);
    const double width = TextWidth(cr, shown);
    const double left = across == Align::kStart    ? x
                        : across == Align::kCentre ? x - width / 2
                                                   : x - width;
    const double baseline = down == Align::kStart    ? y + font.ascent
                            : down == Align::kCentre ? y + (font.ascent - font.descent) / 2
                                                     : y - font.descent;
    cairo_move_to(cr, left, baseline);
    cairo_show_text(cr, shown.c_str());
}

std::string Ellipsize(cairo_t* cr, std::string_view text, double width) {
    std::string shown = WellFormed(text);
    if (TextWidth(cr, shown) <= width) return shown;
    while (!shown.empty()) {
        // Drop the last character: its continuation bytes, then its lead.
        while (!shown.empty() && (static_cast<unsigned char>(shown.back()) & 0xC0) == 0x80) {
            shown.pop_back();
        }
        if (!shown.empty()) shown.pop_back();
        const std::string cut = shown + std::string(kEllipsis);
        if (TextWidth(cr, cut) <= width) return cut;
    }
    return std::string(kEllipsis);
}

}  // namespace tarnvel::curves
