#include "base/Utf.h"

#include <gtest/gtest.h>

#include <vector>

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

TEST(Utf, InPlaceFormsFitTheByteCountAndAgreeWithTheString) {
    // ASCII, Chinese, an emoji (a surrogate pair from four bytes), bad bytes
    // at the end: every mix fits in as many units as it has bytes.
    for (const std::string& text : {std::string("<td>套餐价 ￥199</td>"), std::string("限时\xF0\x9F\x94\xA5!"),
                                   std::string("ok\xE5\xA2"), std::string("\x80\x80\x80"), std::string()}) {
        const std::u16string expected = Utf8ToUtf16(text);
        ASSERT_LE(expected.size(), text.size());
        std::vector<wchar_t> wide(text.size() + 1, L'#');
        const std::size_t n = Utf8ToUtf16Units(text, wide.data());
        ASSERT_EQ(n, expected.size()) << text;
        EXPECT_EQ(wide[n], L'#');  // nothing written past the end
        for (std::size_t i = 0; i < n; ++i) EXPECT_EQ(static_cast<char16_t>(wide[i]), expected[i]) << i;
    }
}

}  // namespace
}  // namespace mojian
