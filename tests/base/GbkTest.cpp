// The same cases run against iconv natively and against the Windows
// conversion functions under Wine: both back ends must agree.
#include "base/Gbk.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "base/GbkCommon.h"
#include "base/Utf.h"

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
    // a private-use character Windows would write as the byte 0xFF, which
    // no GBK reader takes back
    EXPECT_EQ(Utf8ToGbk("a\xEF\xA3\xB5墨"), "a&#xF8F5;\xC4\xAB");
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

// ASCII is copied straight through and only the stretches between ASCII runs
// go to the back end, so the cases below put runs of every length at the
// start, the middle and the end of the text.
TEST(Gbk, AsciiRunsOfAnyLengthAroundChineseSurviveBothWays) {
    for (std::size_t n = 0; n <= 40; ++n) {
        std::string ascii;
        for (std::size_t i = 0; i < n; ++i) ascii += static_cast<char>('@' + i % 60);  // GBK trail range
        const std::string utf8 = ascii + "墨" + ascii + "笺" + ascii;
        const std::string gbk = ascii + "\xC4\xAB" + ascii + "\xBC\xE3" + ascii;
        EXPECT_EQ(Utf8ToGbk(utf8), gbk) << n;
        EXPECT_EQ(GbkToUtf8(gbk), utf8) << n;
    }
    const std::string nul("\0", 1);
    EXPECT_EQ(Utf8ToGbk("墨" + nul + "笺" + nul), "\xC4\xAB" + nul + "\xBC\xE3" + nul);
    EXPECT_EQ(GbkToUtf8("\xC4\xAB" + nul + "\xBC\xE3" + nul), "墨" + nul + "笺" + nul);
}

TEST(Gbk, TrailBytesThatLookLikeAsciiStayWithTheirLead) {
    const std::string at(20, '@');  // 0x40, the lowest trail byte
    EXPECT_EQ(GbkToUtf8("\x81\x40" + at), "丂" + at);
    EXPECT_EQ(GbkToUtf8(at + "\x81" + at), at + "丂" + at.substr(1));
    // three bytes of the lead range: a pair, then a lead that takes the '@'
    EXPECT_EQ(GbkToUtf8("\x81\x81\x81" + at), "亖丂" + at.substr(1));
    EXPECT_EQ(GbkToUtf8("\xC4\xAB\xBC\xE3" + at), "墨笺" + at);
}

TEST(Gbk, BadBytesNextToAsciiRunsGiveOneReplacementEach) {
    const std::string fffd = "\xEF\xBF\xBD";
    const std::string a(20, 'a'), b(20, 'b');
    EXPECT_EQ(GbkToUtf8(a + "\xFF" + b), a + fffd + b);
    EXPECT_EQ(GbkToUtf8("\xFF" + a), fffd + a);
    EXPECT_EQ(GbkToUtf8(a + "\xC4"), a + fffd);                   // a lead byte at the very end
    EXPECT_EQ(GbkToUtf8("\xC4<p>" + a), fffd + "<p>" + a);        // a lead byte before no trail
    EXPECT_EQ(GbkToUtf8(a + "\x80" + b), a + "€" + b);
    // one bad spot deep inside a long stretch of Chinese
    std::string gbk, utf8;
    for (int i = 0; i < 1500; ++i) gbk += "\xC4\xAB", utf8 += "墨";
    EXPECT_EQ(GbkToUtf8(gbk + "\xFF" + gbk), utf8 + fffd + utf8);
}

TEST(Gbk, CharactersPastTheBasicPlaneBecomeReferencesWherever) {
    const std::string a(20, 'a');
    EXPECT_EQ(Utf8ToGbk(a + "\xF0\x9F\x98\x80" + a), a + "&#x1F600;" + a);
    EXPECT_EQ(Utf8ToGbk("墨\xF0\x9F\x98\x80\xF0\x9F\x98\x81笺"), "\xC4\xAB&#x1F600;&#x1F601;\xBC\xE3");
    // a flag: the tag characters that spell the region must not be dropped
    EXPECT_EQ(Utf8ToGbk("\xF0\x9F\x8F\xB4\xF3\xA0\x81\xA7\xF3\xA0\x81\xA2\xF3\xA0\x81\xBF"),
              "&#x1F3F4;&#xE0067;&#xE0062;&#xE007F;");
    EXPECT_EQ(Utf8ToGbk("墨笺\xF3\xA0\x81\xA7墨笺"), "\xC4\xAB\xBC\xE3&#xE0067;\xC4\xAB\xBC\xE3");
    // cut short, or bytes that start nothing: one U+FFFD reference per byte
    EXPECT_EQ(Utf8ToGbk("abc\xF0\x9F\x98"), "abc&#xFFFD;&#xFFFD;&#xFFFD;");
    EXPECT_EQ(Utf8ToGbk("\xF8x\xFF"), "&#xFFFD;x&#xFFFD;");
    // one character GBK lacks deep inside a long stretch of Chinese
    std::string gbk, utf8;
    for (int i = 0; i < 1500; ++i) gbk += "\xC4\xAB", utf8 += "墨";
    EXPECT_EQ(Utf8ToGbk(utf8 + "\xE2\x82\xA9" + utf8 + "\xE5"), gbk + "&#x20A9;" + gbk + "&#xFFFD;");
}

// The back ends' UTF-16 output goes to UTF-8 in blocks; a pair may straddle two.
TEST(Gbk, WideOutputBecomesUtf8AsTheSharedConversionWouldMakeIt) {
    for (std::size_t lead = 250; lead <= 260; ++lead) {
        std::u16string wide(lead, u'a');
        wide += u"\U0001F600墨";
        wide += char16_t(0xD800);  // unpaired halves
        wide += u'b';
        wide += char16_t(0xDC00);
        std::string out = "x";
        gbk::AppendAsUtf8(out, wide.data(), wide.data() + wide.size());
        EXPECT_EQ(out, "x" + Utf16ToUtf8(wide)) << lead;
    }
}

TEST(Gbk, ThreadsConvertAtTheSameTimeWithoutMixingTheirText) {
    std::vector<std::thread> threads;
    std::vector<int> wrong(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &wrong] {
            std::string text, expected;
            for (int i = 0; i < 50; ++i) {
                const std::string line = "第" + std::to_string(t * 100 + i) + "行 墨笺 ";
                text += line + "\xF0\x9F\x98\x80 ₩\r\n";
                expected += line + "&#x1F600; &#x20A9;\r\n";
            }
            for (int i = 0; i < 100; ++i) {
                const std::string gbk = Utf8ToGbk(text);
                if (GbkToUtf8(gbk) != expected || GbkToUtf8("x\xFF" + gbk) != "x\xEF\xBF\xBD" + expected)
                    ++wrong[static_cast<std::size_t>(t)];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

}  // namespace
}  // namespace mojian
