// The same cases run against iconv natively and against the Windows
// conversion functions under Wine: both back ends must agree.
#include "base/Gbk.h"

#include <gtest/gtest.h>

namespace mojian {
namespace {

TEST(Gbk, EncodesChineseTextAndTheEuroSign) {
    EXPECT_EQ(Utf8ToGbk("墨笺"), "\xC4\xAB\xBC\xE3");
    EXPECT_EQ(Utf8ToGbk("€"), "\x80");                 // code page 936's single-byte euro
    EXPECT_EQ(Utf8ToGbk("￥"), "\xA3\xA4");            // full-width yen, as in prices
    EXPECT_EQ(Utf8ToGbk("\xE3\x80\x80"), "\xA1\xA1");  // full-width space
    EXPECT_EQ(Utf8ToGbk("<td>a\r\n</td>"), "<td>a\r\n</td>");
    EXPECT_EQ(Utf8ToGbk(""), "");
}

TEST(Gbk, DecodesWhatItEncodes) {
    const std::string text = "自定义源码-3：价格 ￥99 元，€5 × 2\r\n<font color=\"#ff0000\">样式13</font>";
    EXPECT_EQ(GbkToUtf8(Utf8ToGbk(text)), text);
    EXPECT_EQ(GbkToUtf8("\x80"), "€");
}

TEST(Gbk, CharactersOutsideGbkBecomeCharacterReferences) {
    // emoji and a CJK Extension B character have no GBK code; a "?" would lose them
    EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80" "b"), "a&#x1F600;b");
    EXPECT_EQ(Utf8ToGbk("\xF0\xA0\x80\x80墨"), "&#x20000;\xC4\xAB");
    EXPECT_EQ(Utf8ToGbk("\xE2\x82\xA9"), "&#x20A9;");  // won sign, not in GBK
    // nothing else around them changes, and a real "?" stays a "?"
    EXPECT_EQ(Utf8ToGbk("?\xF0\x9F\x8E\x81?"), "?&#x1F381;?");
}

TEST(Gbk, InvalidBytesBecomeReplacementCharactersAndTheRestSurvives) {
    const std::string fffd = "\xEF\xBF\xBD";
    EXPECT_EQ(GbkToUtf8("a\xFF" "b"), "a" + fffd + "b");              // 0xFF is never GBK
    EXPECT_EQ(GbkToUtf8("\xC4\xAB\xC4"), "墨" + fffd);                // a lead byte cut off at the end
    EXPECT_EQ(GbkToUtf8("\xC4\x0A\xBC\xE3"), fffd + "\n笺");           // a lead byte before a line feed
    EXPECT_EQ(GbkToUtf8(std::string("x\0y", 3)), std::string("x\0y", 3));
}

TEST(Gbk, LongTextWithOneBadSpotKeepsEverythingElse) {
    std::string text;
    for (int i = 0; i < 2000; ++i) text += "模块" + std::to_string(i) + "\r\n";
    std::string bytes = Utf8ToGbk(text);
    const std::size_t middle = bytes.find("\r\n", bytes.size() / 2) + 2;  // a character boundary
    bytes.insert(middle, 1, '\xFF');
    const std::string back = GbkToUtf8(bytes);
    EXPECT_EQ(back.size(), text.size() + 3);
    EXPECT_NE(back.find("模块1999\r\n"), std::string::npos);
    EXPECT_NE(back.find("\xEF\xBF\xBD"), std::string::npos);
}

}  // namespace
}  // namespace mojian
