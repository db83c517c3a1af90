// Text on charts: labels cut with an ellipsis at a character boundary, and
// the names of SVG documents made their own.
#include <cairo.h>
#include <gtest/gtest.h>

#include <string>

#include "curves/chart_paint.h"

namespace tarnvel::curves {
namespace {

// A context on a small image, with the tick font.
class TextContext : public ::testing::Test {
  protected:
    TextContext()
        : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 10, 10)),
          cr_(cairo_create(surface_)) {
        SetFont(cr_, 10.0);
    }
    ~TextContext() override {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }
    cairo_surface_t* surface_;
    cairo_t* cr_;
};

bool WellFormedUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80    ? 1
                                   : lead >= 0xF0 ? 4
                                   : lead >= 0xE0 ? 3
                                   : lead >= 0xC0 ? 2
                                                  : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        }
        i += length;
    }
    return true;
}

TEST_F(TextContext, EllipsizeKeepsTextThatFits) {
    EXPECT_EQ(Ellipsize(cr_, "230 °C", 200.0), "230 °C");
}

TEST_F(TextContext, EllipsizeCutsAtACharacterBoundaryToFitTheWidth) {
    const std::string label = "ALDERPOL AP120, Cross-WLF, 230 °C, 1.5 cm³/g, 350 Pa·s °°°°°°°°";
    for (const double width : {20.0, 60.0, 150.0}) {
        const std::string cut = Ellipsize(cr_, label, width);
        EXPECT_LE(TextWidth(cr_, cut), width) << cut;
        ASSERT_GE(cut.size(), 3u);
        EXPECT_EQ(cut.substr(cut.size() - 3), "…") << cut;
        EXPECT_EQ(label.rfind(cut.substr(0, cut.size() - 3), 0), 0u)
            << "a beginning of the label: " << cut;
        EXPECT_TRUE(WellFormedUtf8(cut)) << cut;
    }
    // Cut inside a run of two-byte characters.
    const std::string degrees =
        Ellipsize(cr_, std::string(40, 'x').replace(5, 35, "°°°°°°°°°°°°°°°°°°°°°°°°°°°"), 50.0);
    EXPECT_TRUE(WellFormedUtf8(degrees)) << degrees;
}

TEST_F(TextContext, EllipsizeReplacesBytesThatAreNotText) {
    const std::string shown = Ellipsize(cr_,
                                        "a\xff"
                                        "b\xe2\x82",
                                        500.0);
    EXPECT_TRUE(WellFormedUtf8(shown)) << shown;
    EXPECT_EQ(shown,
              "a\xEF\xBF\xBD"
              "b\xEF\xBF\xBD\xEF\xBF\xBD");
    EXPECT_EQ(cairo_status(cr_), CAIRO_STATUS_SUCCESS);
}

TEST(WithOwnNames, PrefixesEveryNameAndReferenceAlikeAndNumbersSurfacesInOrder) {
    const std::string svg =
        "<svg><defs><symbol id=\"glyph0-1\"/><clipPath id=\"clip1\"/></defs>"
        "<g id=\"surface17\"><use xlink:href=\"#glyph0-1\"/><g clip-path=\"url(#clip1)\"/>"
        "<use xlink:href=\"#surface17\"/><g id=\"surface9\"/></g></svg>";
    const std::string named = WithOwnNames(svg);
    const std::string prefix = named.substr(named.find("id=\"") + 4, 10);
    ASSERT_EQ(prefix.front(), 'c');
    ASSERT_EQ(prefix.back(), '-');
    EXPECT_EQ(named, "<svg><defs><symbol id=\"" + prefix + "glyph0-1\"/><clipPath id=\"" + prefix +
                         "clip1\"/></defs><g id=\"" + prefix + "surface1\"><use xlink:href=\"#" +
                         prefix + "glyph0-1\"/><g clip-path=\"url(#" + prefix +
                         "clip1)\"/><use xlink:href=\"#" + prefix + "surface1\"/><g id=\"" +
                         prefix + "surface2\"/></g></svg>");
    // Only the surface numbers differ: the same text, the same names.
    std::string renumbered = svg;
    renumbered.replace(renumbered.find("surface17"), 9, "surface40");
    renumbered.replace(renumbered.find("surface17"), 9, "surface40");
    EXPECT_EQ(WithOwnNames(renumbered), named);
    EXPECT_NE(WithOwnNames(svg + " "), named + " ") << "other content, other names";
}

}  // namespace
}  // namespace tarnvel::curves
