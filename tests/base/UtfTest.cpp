#include "base/Utf.h"

#include <gtest/gtest.h>

namespace mojian {
namespace {

TEST(Utf, RoundTripsEveryPlane) {
    const std::string text = "abc 墨笺 ￥12.5 € \xF0\x9F\x98\x80 \xF0\xA0\x80\x80 \xE3\x80\x80";
    const std::u16string wide = Utf8ToUtf16(text);
    EXPECT_EQ(wide, u"abc 墨笺 ￥12.5 € 😀 𠀀 \u3000");
    EXPECT_EQ(Utf16ToUtf8(wide), text);
}

TEST(Utf, IllFormedInputBecomesReplacementCharacters) {
    // a stray continuation byte, a truncated sequence, an overlong '/', a surrogate
    EXPECT_EQ(Utf8ToUtf16("a\x80" "b"), u"a\uFFFDb");
    EXPECT_EQ(Utf8ToUtf16("x\xE5\xA2"), u"x\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");
    EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");
    // an unpaired surrogate on the UTF-16 side
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD83D)) + u"z"), "\xEF\xBF\xBDz");
}

}  // namespace
}  // namespace mojian
