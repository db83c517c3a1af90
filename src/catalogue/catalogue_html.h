// Text and SVG made safe for the catalogue's HTML pages. Texts of the
// material database may hold any bytes: they are shown as UTF-8 where they
// are valid UTF-8, byte by byte as Latin-1 where not, and never as markup.
#pragma once

#include <string>
#include <string_view>

namespace tarnvel::catalogue {

// The text as HTML character data or a quoted attribute value: & < > " '
// escaped, valid UTF-8 kept, every other byte of 0xA0 to 0xFF taken as its
// Latin-1 character, and control characters (but tab and line breaks),
// 0x7F to 0x9F and bytes of broken sequences shown as U+FFFD.
std::string HtmlText(std::string_view text);

// An SVG document made fit to stand inline in an HTML page beside others:
// the XML declaration, comments and document type before the <svg> element
// go, and every id with the references to it (href="#ID", url(#ID)) gets the
// prefix, so that the ids of two drawings never clash. Empty when the text
// holds no <svg> element.
std::string InlineSvg(std::string_view svg, std::string_view id_prefix);

// The opening of every page up to and including <body>: UTF-8, a policy
// that lets the page load nothing from anywhere (inline style only, and
// inline script where the page has its own), the common style, and the
// title (escaped here).
enum class PageScript { kNone, kInline };
std::string PageStart(std::string_view title, PageScript script);
// The closing of a page.
inline constexpr std::string_view kPageEnd = "</body>\n</html>\n";

}  // namespace tarnvel::catalogue
