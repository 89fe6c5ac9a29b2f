#include "base/Text.h"

#include <gtest/gtest.h>

namespace mojian {
namespace {

TEST(Text, TrimmingKeepsWhatEachKindOfSpaceLeaves) {
    struct Case {
        std::string_view text;
        std::string_view html;      // TrimHtmlSpace
        std::string_view controls;  // TrimSpaceAndControls
    };
    const Case cases[] = {
        {"", "", ""},
        {" \t\n\f\r", "", ""},
        {"  color : red ;\r\n", "color : red ;", "color : red ;"},
        {"\f12px\f", "12px", "12px"},
        // a vertical tab and other controls are not HTML space
        {"\v x \x01", "\v x \x01", "x"},
        // nor is an ideographic space, whose bytes are not ASCII
        {"\xE3\x80\x80墨笺\xE3\x80\x80 ", "\xE3\x80\x80墨笺\xE3\x80\x80", "\xE3\x80\x80墨笺\xE3\x80\x80"},
        {"a b", "a b", "a b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TrimHtmlSpace(c.text), c.html) << c.text;
        EXPECT_EQ(TrimSpaceAndControls(c.text), c.controls) << c.text;
    }
    EXPECT_EQ(TrimHtmlSpace(std::u16string_view(u"\f 宋体 \t")), u"宋体");
    // one end at a time, each with its own set
    const auto blank = [](char c) { return c == ' '; };
    EXPECT_EQ(TrimFront(std::string_view("  x  "), blank), "x  ");
    EXPECT_EQ(TrimBack(std::string_view("  x  "), blank), "  x");
}

TEST(Text, LowerCasingTouchesOnlyAsciiLetters) {
    EXPECT_EQ(AsciiLowered("Font-FAMILY: Arial @[`{Z"), "font-family: arial @[`{z");
    // UTF-8 bytes, and the full-width Ａ (U+FF21) in UTF-16, stay as they are
    EXPECT_EQ(AsciiLowered("墨笺 \xC3\x80 ABC"), "墨笺 \xC3\x80 abc");
    EXPECT_EQ(AsciiLowered(std::u16string_view(u"SimSun \uFF21")), u"simsun \uFF21");
    EXPECT_EQ(AsciiLower('Q'), 'q');
    EXPECT_EQ(AsciiLower(char(0xC9)), char(0xC9));
}

}  // namespace
}  // namespace mojian
