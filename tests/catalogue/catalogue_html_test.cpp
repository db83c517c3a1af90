// Texts and drawings made safe for the catalogue's pages.
#include <string>

#include <gtest/gtest.h>

#include "catalogue/catalogue_html.h"

namespace {

using tarnvel::catalogue::HtmlText;
using tarnvel::catalogue::InlineSvg;

TEST(HtmlText, EscapesMarkupAndQuotes) {
    EXPECT_EQ(HtmlText("<script>alert('x')</script>"),
              "&lt;script&gt;alert(&#39;x&#39;)&lt;/script&gt;");
    EXPECT_EQ(HtmlText("A&B \"PP\" 10%"), "A&amp;B &quot;PP&quot; 10%");
    EXPECT_EQ(HtmlText(""), "");
}

TEST(HtmlText, KeepsValidUtf8AndReadsOtherBytesAsLatin1) {
    EXPECT_EQ(HtmlText("cm\xC2\xB3/g \xE2\x80\x93 \xF0\x9F\x98\x80"),
              "cm\xC2\xB3/g \xE2\x80\x93 \xF0\x9F\x98\x80");
    // A lone Latin-1 byte (0xE9, e acute; 0xB0, degree) becomes its character.
    EXPECT_EQ(HtmlText("caf\xE9 200\xB0"), "caf\xC3\xA9 200\xC2\xB0");
    // A truncated sequence at the end, an overlong '/' and a surrogate: no
    // byte of them passes as it stands.
    EXPECT_EQ(HtmlText("\xE2\x82"), "\xC3\xA2\xEF\xBF\xBD");
    EXPECT_EQ(HtmlText("\xC0\xAF"), "\xC3\x80\xC2\xAF");
    EXPECT_EQ(HtmlText("\xED\xA0\x80"), "\xC3\xAD\xC2\xA0\xEF\xBF\xBD");
}

TEST(HtmlText, ControlCharactersBecomeReplacements) {
    EXPECT_EQ(HtmlText(std::string("a\0b", 3)),
              "a\xEF\xBF\xBD"
              "b");
    EXPECT_EQ(HtmlText("a\x1B[0m\x7F"), "a\xEF\xBF\xBD[0m\xEF\xBF\xBD");
    // C1 controls, as raw bytes or as UTF-8.
    EXPECT_EQ(HtmlText("\x85\xC2\x85"), "\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(HtmlText("a\tb\nc\r"), "a\tb\nc\r");
}

TEST(InlineSvg, DropsThePrologAndPrefixesIdsAndTheirReferences) {
    const std::string svg =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- drawn -->\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"8\" height=\"8\">\n"
        "<defs><g id=\"glyph0-1\"><path d=\"M0 0\"/></g><clipPath id=\"clip1\"/></defs>\n"
        "<use xlink:href=\"#glyph0-1\" x=\"1\"/><rect fill=\"url(#clip1)\" grid=\"x\"/>\n"
        "</svg>\n";
    const std::string inline_svg = InlineSvg(svg, "pvt-");
    EXPECT_EQ(inline_svg.find("<?xml"), std::string::npos);
    EXPECT_EQ(inline_svg.find("drawn"), std::string::npos);
    EXPECT_TRUE(inline_svg.starts_with("<svg "));
    EXPECT_TRUE(inline_svg.ends_with("</svg>"));
    EXPECT_NE(inline_svg.find("<g id=\"pvt-glyph0-1\">"), std::string::npos);
    EXPECT_NE(inline_svg.find("<clipPath id=\"pvt-clip1\"/>"), std::string::npos);
    EXPECT_NE(inline_svg.find("xlink:href=\"#pvt-glyph0-1\""), std::string::npos);
    EXPECT_NE(inline_svg.find("url(#pvt-clip1)"), std::string::npos);
    // Only whole id attributes are renamed.
    EXPECT_NE(inline_svg.find("grid=\"x\""), std::string::npos);
    // Two drawings of one page keep apart.
    EXPECT_NE(InlineSvg(svg, "viscosity-"), inline_svg);
}

TEST(InlineSvg, TextWithoutAnSvgElementGivesNothing) {
    EXPECT_EQ(InlineSvg("", "p-"), "");
    EXPECT_EQ(InlineSvg("<html><body>no drawing</body></html>", "p-"), "");
    EXPECT_EQ(InlineSvg("<svg width=\"1\">cut short", "p-"), "");
}

}  // namespace
