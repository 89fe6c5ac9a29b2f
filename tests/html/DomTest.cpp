#include "html/Dom.h"

#include <gtest/gtest.h>

#include <string>

#include "base/Utf.h"

namespace mojian::html {
namespace {

// A compact picture of the tree: <tag attr=value>children</tag>, text as is.
std::string Shape(const Node& n) {
    if (n.isText) return Utf16ToUtf8(n.text);
    std::string out = "<" + n.tag;
    for (const auto& [k, v] : n.attrs) out += " " + k + "=" + v;
    out += ">";
    for (const auto& c : n.children) out += Shape(*c);
    return out + "</" + n.tag + ">";
}

std::string Body(const std::string& html) {
    auto root = ParseHtml(html);
    std::string out;
    for (const auto& c : root->children) out += Shape(*c);
    return out;
}

TEST(HtmlParser, TagsAndAttributesInAnyCaseAndQuoting) {
    EXPECT_EQ(Body("<TABLE Width=750 BORDER='0' cellSpacing=\"2\"><TR><TD>x</TD></TR></TABLE>"),
              "<table width=750 border=0 cellspacing=2><tr><td>x</td></tr></table>");
    EXPECT_EQ(Body("<img src=a.jpg alt=商品 width=100>"), "<img src=a.jpg alt=商品 width=100></img>");
    EXPECT_EQ(Body("<a href=x nowrap>y</a>"), "<a href=x nowrap=>y</a>");
    // The first of two equal attributes wins, as in browsers.
    EXPECT_EQ(Body("<b id=1 ID=2>z</b>"), "<b id=1>z</b>");
}

TEST(HtmlParser, CharacterReferences) {
    EXPECT_EQ(Body("&yen;5&nbsp;&times;2 &amp; &lt;b&gt; &quot;&copy;"),
              "\xC2\xA5" "5\xC2\xA0\xC3\x97" "2 & <b> \"\xC2\xA9");
    EXPECT_EQ(Body("&#20013;&#x6587;&#X41;&#65"), "中文AA");
    // Unknown names and lone ampersands stay as written; bad numbers become U+FFFD.
    EXPECT_EQ(Body("&bogus; AT&T &#;"), "&bogus; AT&T &#;");
    EXPECT_EQ(Body("&#0;&#x110000;&#99999999999999;"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
    // Legacy names work without a semicolon; references in attributes too.
    EXPECT_EQ(Body("&nbspx<a title=\"a&amp;b&#x4e2d;\"></a>"), "\xC2\xA0x<a title=a&b中></a>");
}

TEST(HtmlParser, ImpliedEndTags) {
    EXPECT_EQ(Body("<p>one<p>two"), "<p>one</p><p>two</p>");
    EXPECT_EQ(Body("<ul><li>a<li>b</ul>"), "<ul><li>a</li><li>b</li></ul>");
    EXPECT_EQ(Body("<table><tr><td>a<td>b<tr><td>c</table>"),
              "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></table>");
    // A cell straight in a table gets its row; a div closes an open p.
    EXPECT_EQ(Body("<table><td>a</table>"), "<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(Body("<p>a<div>b</div>"), "<p>a</p><div>b</div>");
    // A p inside a cell does not close across the cell.
    EXPECT_EQ(Body("<p><table><tr><td><p>x</td></tr></table>"),
              "<p></p><table><tr><td><p>x</p></td></tr></table>");
}

TEST(HtmlParser, StrayAndMisnestedEndTags) {
    EXPECT_EQ(Body("a</span></div>b"), "ab");
    EXPECT_EQ(Body("<b>x<i>y</b>z"), "<b>x<i>y</i></b>z");
    // An end tag inside a cell never closes what is outside the table.
    EXPECT_EQ(Body("<div><table><tr><td>a</div>b</td></tr></table>c</div>d"),
              "<div><table><tr><td>ab</td></tr></table>c</div>d");
    EXPECT_EQ(Body("x</br>y"), "x<br></br>y");
}

TEST(HtmlParser, DocumentWrapperScriptStyleAndComments) {
    const std::string doc =
        "<HTML>\r\n<HEAD>\r\n<TITLE>\r\nNew Document\r\n</TITLE>\r\n<style>p{color:red}</style></HEAD>\r\n<BODY>\r\n"
        "<script>if (a < b) document.write('<p>no</p>');</script><!-- <b>hidden</b> --><b>shown</b>\r\n"
        "</BODY>\r\n</HTML>\r\n";
    const std::string shape = Body(doc);
    EXPECT_EQ(shape.find("New Document"), std::string::npos);
    EXPECT_EQ(shape.find("color"), std::string::npos);
    EXPECT_EQ(shape.find("no"), std::string::npos);
    EXPECT_EQ(shape.find("hidden"), std::string::npos);
    EXPECT_NE(shape.find("<b>shown</b>"), std::string::npos);
    EXPECT_EQ(shape.find("<html"), std::string::npos);
    EXPECT_EQ(shape.find("<body"), std::string::npos);
}

TEST(HtmlParser, TextInsideTableStructureMovesBeforeTheTable) {
    EXPECT_EQ(Body("<table>\r\n\t<tr>oops<td>a</td></tr></table>"),
              "oops<table><tr><td>a</td></tr></table>");
    EXPECT_EQ(Body("<table><tr><div>d</div><td>a</td></tr></table>"),
              "<div>d</div><table><tr><td>a</td></tr></table>");
}

TEST(HtmlParser, LiteralLessThanAndTruncatedTags) {
    EXPECT_EQ(Body("1 < 2 <3"), "1 < 2 <3");
    EXPECT_EQ(Body("<b>x</b"), "<b>x</b>");
    EXPECT_EQ(Body("<img src=\"a"), "<img src=a></img>");
}

TEST(HtmlParser, DeepNestingIsFlattenedNotRecursedInto) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    deep += "x";
    auto root = ParseHtml(deep);
    int depth = 0;
    const Node* n = root.get();
    while (!n->children.empty() && !n->children.front()->isText) {
        n = n->children.front().get();
        ++depth;
    }
    EXPECT_LE(depth, kMaxDepth);
    EXPECT_GE(depth, kMaxDepth - 2);
}

}  // namespace
}  // namespace mojian::html
