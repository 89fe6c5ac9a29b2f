#include "base/Utf.h"

#include <gtest/gtest.h>

#include <vector>

#ifdef _WIN32
#include "base/Utf_win.h"
#endif

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

#ifdef _WIN32
TEST(Utf, WideFormsAreTheUtf16OfTheWin32Calls) {
    struct Case {
        std::string utf8;
        std::wstring wide;
        std::string back;  // what the wide form turns into again
    };
    const Case cases[] = {
        {"", L"", ""},
        {"墨笺 ￥199 \xF0\x9F\x98\x80", L"墨笺 ￥199 \U0001F600", "墨笺 ￥199 \xF0\x9F\x98\x80"},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3), std::string("a\0b", 3)},  // NUL inside is kept
        {"x\xE5\xA2", L"x\uFFFD\uFFFD", "x\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Wide(c.utf8), c.wide) << c.utf8;
        EXPECT_EQ(Narrow(c.wide), c.back) << c.utf8;
    }
    // An unpaired surrogate from a window's text becomes U+FFFD.
    EXPECT_EQ(Narrow(std::wstring(1, wchar_t(0xDC00)) + L"z"), "\xEF\xBF\xBDz");
    // A Win32 buffer ends at its terminator.
    const wchar_t buffer[8] = L"墨笺";
    EXPECT_EQ(Narrow(buffer), "墨笺");
}
#endif

}  // namespace
}  // namespace mojian
