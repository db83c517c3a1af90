// Cairo names the definitions of every SVG document alike ("glyph0-1",
// "clip1") and the drawing group after a process-wide surface counter
// ("surface7"). Charts inlined in one HTML page would then share names, and
// one chart would show the glyphs of another; and the same chart would come
// out differently from one call to the next. So the surface groups are
// numbered in the document's own order, and every name gets a prefix made
// from the document's content: the same chart always gives the same text,
// and two different charts never share a name.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "curves/chart_paint.h"

namespace tarnvel::curves {
namespace {

constexpr std::string_view kSurface = "surface";
// The places a name stands in cairo's SVG: where it is defined and where it
// is referred to.
constexpr std::string_view kNameMarks[] = {"id=\"", "href=\"#", "url(#"};

std::uint32_t Fnv1a(std::string_view text) {
    std::uint32_t hash = 2166136261u;
    for (const char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
    return hash;
}

// Where every name of the text starts, in the order of the text.
std::vector<std::size_t> NamePositions(const std::string& svg) {
    std::vector<std::size_t> names;
    for (const std::string_view mark : kNameMarks) {
        for (std::size_t at = svg.find(mark); at != std::string::npos;
             at = svg.find(mark, at + 1)) {
            names.push_back(at + mark.size());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The digits of a "surfaceN" name at a position: where they start and how
// many there are (none for any other name).
std::pair<std::size_t, std::size_t> SurfaceNumber(const std::string& svg, std::size_t at) {
    if (svg.compare(at, kSurface.size(), kSurface) != 0) return {at, 0};
    std::size_t end = at + kSurface.size();
    while (end < svg.size() && std::isdigit(static_cast<unsigned char>(svg[end]))) ++end;
    return {at + kSurface.size(), end - at - kSurface.size()};
}

// "surfaceN" names renumbered 1, 2... in the order they first appear.
void RenumberSurfaces(std::string* svg) {
    const std::vector<std::size_t> names = NamePositions(*svg);
    std::map<std::string, std::string> numbers;
    for (const std::size_t at : names) {
        const auto [from, length] = SurfaceNumber(*svg, at);
        if (length > 0)
            numbers.emplace(svg->substr(from, length), std::to_string(numbers.size() + 1));
    }
    // From the end, so that the positions before stay where they were.
    for (auto at = names.rbegin(); at != names.rend(); ++at) {
        const auto [from, length] = SurfaceNumber(*svg, *at);
        if (length > 0) svg->replace(from, length, numbers[svg->substr(from, length)]);
    }
}

}  // namespace

std::string WithOwnNames(std::string svg) {
    RenumberSurfaces(&svg);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "c%08x-", static_cast<unsigned>(Fnv1a(svg)));
    const std::vector<std::size_t> names = NamePositions(svg);
    for (auto at = names.rbegin(); at != names.rend(); ++at) svg.insert(*at, prefix);
    return svg;
}

}  // namespace tarnvel::curves
