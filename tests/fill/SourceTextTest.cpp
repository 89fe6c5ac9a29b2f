#include "fill/SourceText.h"

#include <gtest/gtest.h>

#include <string>

#include "html/Entities.h"

namespace mojian::fill {
namespace {

html::SourceRange All(std::string_view s) { return {0, s.size()}; }

// The raw bytes standing for `needle` in the decoded text, with what the
// widening took in around it.
std::string RawOf(std::string_view source, const DecodedText& d, std::string_view needle, std::string* head = nullptr,
                  std::string* tail = nullptr) {
    const std::size_t at = d.text.find(needle);
    EXPECT_NE(at, std::string::npos) << needle;
    return std::string(d.RawRange(at, at + needle.size(), head, tail).Of(source));
}

TEST(DecodeText, ReadsTextAsThePageShowsItAndKnowsWhereEachPartCameFrom) {
    const std::string s = "  价格&amp;运费\t\r\n  包邮&nbsp;&#x1F525;&#32; 到家 ";
    const DecodedText d = DecodeText(s, All(s), Spaces::Collapse);
    EXPECT_EQ(d.text, " 价格&运费 包邮\u00A0\U0001F525 到家 ");
    EXPECT_EQ(RawOf(s, d, "价格&运费"), "价格&amp;运费");
    EXPECT_EQ(RawOf(s, d, "运费 包邮"), "运费\t\r\n  包邮");
    // a reference of white space joins the spaces around it
    EXPECT_EQ(RawOf(s, d, "\U0001F525 到"), "&#x1F525;&#32; 到");
    // part of a literal run maps byte for byte
    EXPECT_EQ(RawOf(s, d, "格"), "格");

    // The pieces tile the text and the raw range without gaps.
    std::size_t text = 0, raw = 0;
    for (const TextPiece& p : d.pieces) {
        EXPECT_EQ(p.begin, text);
        EXPECT_EQ(p.rawBegin, raw);
        text = p.end;
        raw = p.rawEnd;
    }
    EXPECT_EQ(text, d.text.size());
    EXPECT_EQ(raw, s.size());
}

TEST(DecodeText, AgreesWithTheDecoderOnEveryKindOfReference) {
    for (const std::string s : {"a&ampb&amp;c", "&copy2024 &lt;&gt&#169&#xA9;", "&unknown; & &; &# &#x; &#65",
                                "&nbspx&nbsp;", "&#0;&#x110000;&#128;", "tail&am"}) {
        const DecodedText d = DecodeText(s, All(s), Spaces::Keep);
        EXPECT_EQ(d.text, html::DecodeEntities(s)) << s;
        EXPECT_EQ(DecodedValue(s, All(s), Spaces::Keep), d.text) << s;
    }
}

TEST(DecodeText, APartInsideAReferenceTakesInTheWholeReference) {
    // "&nbspy" reads as a no-break space and "y": one reference, never cut,
    // since "&nbsp" before a new ";" would read differently
    const std::string s = "x&nbspy";
    const DecodedText d = DecodeText(s, All(s), Spaces::Keep);
    ASSERT_EQ(d.text, "x\u00A0y");
    std::string head, tail;
    EXPECT_EQ(RawOf(s, d, "x\u00A0", &head, &tail), "x&nbspy");
    EXPECT_EQ(head, "");
    EXPECT_EQ(tail, "y");
    EXPECT_EQ(RawOf(s, d, "y", &head, &tail), "&nbspy");
    EXPECT_EQ(head, "\u00A0");
    EXPECT_EQ(tail, "");

    const std::string ampx = "&ampx";  // one reference standing for "&x"
    const DecodedText a = DecodeText(ampx, All(ampx), Spaces::Keep);
    ASSERT_EQ(a.text, "&x");
    EXPECT_EQ(RawOf(ampx, a, "x", &head, &tail), "&ampx");
    EXPECT_EQ(head, "&");
    EXPECT_EQ(tail, "");
}

TEST(DecodeText, PreformattedTextKeepsItsLinesAsLineFeeds) {
    const std::string s = "第一行\r\n第二行\r第三行\n  缩进";
    const DecodedText d = DecodeText(s, All(s), Spaces::Lines);
    EXPECT_EQ(d.text, "第一行\n第二行\n第三行\n  缩进");
    EXPECT_EQ(RawOf(s, d, "行\n第二"), "行\r\n第二");
}

TEST(EscapeText, EscapesMarkupAndTurnsLineBreaksIntoBreaksWhereThePageCollapsesThem) {
    EXPECT_EQ(EscapeText("<b>A&B</b> \"引号\" '单'", false), "&lt;b&gt;A&amp;B&lt;/b&gt; \"引号\" '单'");
    EXPECT_EQ(EscapeText("一\r\n二\n三\r四", false), "一<br>二<br>三<br>四");
    EXPECT_EQ(EscapeText("一\r\n二\n三", true), "一\r\n二\n三");
    EXPECT_EQ(EscapeText("火\U0001F525 &nbsp;", false), "火\U0001F525 &amp;nbsp;");
}

TEST(EscapeAttribute, WritesTheValueInTheQuotesItHasOrGivesItSome) {
    const std::string v = "http://a.cn/x?a=1&b=\"2\"&c='3'";
    EXPECT_EQ(EscapeAttribute(v, html::Quote::Double), "http://a.cn/x?a=1&amp;b=&quot;2&quot;&amp;c='3'");
    EXPECT_EQ(EscapeAttribute(v, html::Quote::Single), "http://a.cn/x?a=1&amp;b=\"2\"&amp;c=&#39;3&#39;");
    EXPECT_EQ(EscapeAttribute("http://a.cn/x.jpg?a&b", html::Quote::Unquoted), "http://a.cn/x.jpg?a&amp;b");
    EXPECT_EQ(EscapeAttribute("x.jpg?a=1", html::Quote::Unquoted), "\"x.jpg?a=1\"");
    EXPECT_EQ(EscapeAttribute("a b", html::Quote::Unquoted), "\"a b\"");
    EXPECT_EQ(EscapeAttribute("", html::Quote::Unquoted), "\"\"");
    EXPECT_EQ(EscapeAttribute("x.jpg", html::Quote::None), "=\"x.jpg\"");
}

TEST(ApplyEdits, RewritesOnlyTheEditedRangesInAnyOrder) {
    const std::string s = "0123456789";
    EXPECT_EQ(ApplyEdits(s, {{{7, 9}, "七八"}, {{0, 1}, ""}, {{3, 3}, "+"}, {{4, 5}, "[4]"}}), "12+3[4]56七八9");
    EXPECT_EQ(ApplyEdits(s, {}), s);
    // an edit overlapping an earlier one, or outside the source, is not applied
    EXPECT_EQ(ApplyEdits(s, {{{2, 5}, "x"}, {{4, 6}, "y"}, {{8, 20}, "z"}}), "01x56789");
}

TEST(Characters, CutsAtCharactersNotBytes) {
    EXPECT_EQ(FirstCharacters("价格a\U0001F525b", 4), "价格a\U0001F525");
    EXPECT_EQ(LastCharacters("价格a\U0001F525b", 2), "\U0001F525b");
    EXPECT_EQ(LastCharacters("ab", 5), "ab");
    EXPECT_EQ(FirstCharacters("", 3), "");
}

}  // namespace
}  // namespace mojian::fill
