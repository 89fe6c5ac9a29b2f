#include "html/Parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/Utf.h"
#include "tests/html/SourceRangeCheck.h"

namespace mojian::html {
namespace {

// A compact picture of the tree: <tag attr=value>children</tag>, text as is.
std::string Shape(const Node& n) {
    if (n.IsText()) return Utf16ToUtf8(n.text);
    if (n.kind == NodeKind::Comment) return "<!--" + Utf16ToUtf8(n.text) + "-->";
    if (n.kind == NodeKind::Doctype) return "<!" + Utf16ToUtf8(n.text) + ">";
    std::string out = "<" + n.tag;
    for (const Attribute& a : n.attrs)
        if (!a.duplicate) out += " " + a.name + "=" + a.value;
    out += ">";
    for (const auto& c : n.children) out += Shape(*c);
    return out + "</" + n.tag + ">";
}

std::string Children(const Node& n) {
    std::string out;
    for (const auto& c : n.children) out += Shape(*c);
    return out;
}

std::string Body(const std::string& html) { return Children(*ParseHtml(html).body); }

// The range of the first occurrence of `what` in `source` (after `from`).
SourceRange Find(const std::string& source, const std::string& what, std::size_t from = 0) {
    const std::size_t at = source.find(what, from);
    EXPECT_NE(at, std::string::npos) << what;
    return {at, at + what.size()};
}

const Node* FirstElement(const Node& n, const std::string& tag) {
    for (const auto& c : n.children) {
        if (c->IsElement() && c->tag == tag) return c.get();
        if (const Node* inner = FirstElement(*c, tag)) return inner;
    }
    return nullptr;
}

TEST(HtmlParser, TheDoctypeSetsTheRenderingMode) {
    const struct {
        const char* source;
        Compat compat;
    } cases[] = {
        {"<p>no doctype</p>", Compat::Quirks},
        {"<!DOCTYPE html><p>x", Compat::NoQuirks},
        {"<!-- first --><!doctype HTML>", Compat::NoQuirks},
        {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">",
         Compat::LimitedQuirks},
        {"<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Strict//EN\" "
         "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-strict.dtd\">",
         Compat::NoQuirks},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\" \"http://www.w3.org/TR/html4/loose.dtd\">",
         Compat::LimitedQuirks},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">", Compat::Quirks},
        {"<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 3.2 Final//EN\">", Compat::Quirks},
        {"<!DOCTYPE svg>", Compat::Quirks},
        {"<p>text</p><!DOCTYPE html>", Compat::Quirks},  // too late to count
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(ParseHtml(c.source).compat, c.compat);
    }
}

TEST(HtmlParser, TagsAndAttributesInAnyCaseAndQuoting) {
    EXPECT_EQ(Body("<TABLE Width=750 BORDER='0' cellSpacing=\"2\"><TR><TD>x</TD></TR></TABLE>"),
              "<table width=750 border=0 cellspacing=2><tbody><tr><td>x</td></tr></tbody></table>");
    EXPECT_EQ(Body("<img src=a.jpg alt=商品 width=100>"), "<img src=a.jpg alt=商品 width=100></img>");
    EXPECT_EQ(Body("<a href=x nowrap>y</a>"), "<a href=x nowrap=>y</a>");
    // The first of two equal attributes wins, as in browsers.
    const Document doc = ParseHtml("<b id=1 ID=2>z</b>");
    EXPECT_EQ(Children(*doc.body), "<b id=1>z</b>");
    const Node& b = *doc.body->children.front();
    ASSERT_EQ(b.attrs.size(), 2u);
    EXPECT_EQ(*b.Attr("id"), "1");
    EXPECT_TRUE(b.attrs[1].duplicate);
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
    // Every name of HTML's table, two-character ones too; the longest name wins.
    EXPECT_EQ(Body("Addr&zwnj;ess &eacute;t&eacute; &NotSquareSubsetEqual; &fjlig; &notin; &notit;"),
              "Addr\u200Cess \u00E9t\u00E9 \u22E2 fj \u2209 \u00ACit;");
    // In attributes an old name followed by a letter, digit or "=" stays as written (query strings).
    EXPECT_EQ(Body("<a href=\"?a=1&copy=2&copyx&copy;\"></a>"), "<a href=?a=1&copy=2&copyx\u00A9></a>");
}

TEST(HtmlParser, ImpliedEndTags) {
    EXPECT_EQ(Body("<p>one<p>two"), "<p>one</p><p>two</p>");
    EXPECT_EQ(Body("<ul><li>a<li>b</ul>"), "<ul><li>a</li><li>b</li></ul>");
    EXPECT_EQ(Body("<table><tr><td>a<td>b<tr><td>c</table>"),
              "<table><tbody><tr><td>a</td><td>b</td></tr><tr><td>c</td></tr></tbody></table>");
    // A cell straight in a table gets its row and section; a div closes an open p.
    EXPECT_EQ(Body("<table><td>a</table>"), "<table><tbody><tr><td>a</td></tr></tbody></table>");
    EXPECT_EQ(Body("<p>a<div>b</div>"), "<p>a</p><div>b</div>");
    // A p inside a cell does not close across the cell; without a doctype
    // (quirks mode) a table does not close a p, with one it does.
    EXPECT_EQ(Body("<p><table><tr><td><p>x</td></tr></table>"),
              "<p><table><tbody><tr><td><p>x</p></td></tr></tbody></table></p>");
    EXPECT_EQ(Body("<!DOCTYPE html><p><table><tr><td><p>x</td></tr></table>"),
              "<p></p><table><tbody><tr><td><p>x</p></td></tr></tbody></table>");
}

TEST(HtmlParser, StrayAndMisnestedEndTagsAreKeptAsStrays) {
    const std::string src = "a</span></div>b";
    const Document doc = ParseHtml(src);
    EXPECT_EQ(Children(*doc.body), "ab");
    ASSERT_EQ(doc.strayTags.size(), 2u);
    EXPECT_EQ(doc.strayTags[0].name, "span");
    EXPECT_TRUE(doc.strayTags[0].endTag);
    EXPECT_EQ(doc.strayTags[0].range, Find(src, "</span>"));
    EXPECT_EQ(doc.strayTags[1].range, Find(src, "</div>"));
    // The i that </b> closed opens again, as browsers do.
    EXPECT_EQ(Body("<b>x<i>y</b>z"), "<b>x<i>y</i></b><i>z</i>");
    // An end tag inside a cell never closes what is outside the table.
    EXPECT_EQ(Body("<div><table><tr><td>a</div>b</td></tr></table>c</div>d"),
              "<div><table><tbody><tr><td>ab</td></tr></tbody></table>c</div>d");
    EXPECT_EQ(Body("x</br>y"), "x<br></br>y");
    // A cell outside any table and a second body are strays; their content stays.
    const std::string cells = "<td>c</td><body bgcolor=red>d";
    const Document c = ParseHtml(cells);
    EXPECT_EQ(Children(*c.body), "cd");
    ASSERT_EQ(c.strayTags.size(), 3u);
    EXPECT_EQ(c.strayTags[0].range, Find(cells, "<td>"));
    EXPECT_EQ(c.strayTags[1].range, Find(cells, "</td>"));
    EXPECT_EQ(c.strayTags[2].range, Find(cells, "<body bgcolor=red>"));
    EXPECT_TRUE(c.body->implied);
}

TEST(HtmlParser, WholeDocumentsKeepHeadScriptStyleAndComments) {
    const std::string src =
        "\xEF\xBB\xBF<!DOCTYPE html>\r\n<HTML lang=zh>\r\n<HEAD>\r\n<TITLE>\r\nNew &amp; Document\r\n</TITLE>\r\n"
        "<meta charset=gbk><link rel=stylesheet href=a.css><style>p{color:red}</style></HEAD>\r\n"
        "<BODY bgcolor=#fff>\r\n<script>if (a < b) document.write('<p>no</p>');</script>"
        "<!-- <b>hidden</b> --><b>shown</b><?xml x?></ junk>\r\n</BODY>\r\n</HTML>\r\n";
    const Document doc = ParseHtml(src);
    ExpectConsistentRanges(src, doc);
    ASSERT_EQ(doc.root->children.size(), 2u);
    EXPECT_EQ(doc.root->children[0]->kind, NodeKind::Doctype);
    EXPECT_EQ(doc.root->children[0]->text, u"DOCTYPE html");
    EXPECT_EQ(doc.root->children[0]->range, Find(src, "<!DOCTYPE html>"));
    EXPECT_FALSE(doc.html->implied);
    EXPECT_EQ(*doc.html->Attr("lang"), "zh");
    EXPECT_EQ(doc.html->startTag, Find(src, "<HTML lang=zh>"));
    EXPECT_EQ(doc.html->endTag, Find(src, "</HTML>"));
    // The head holds its elements with their positions; the title's text is decoded.
    EXPECT_EQ(doc.head->startTag, Find(src, "<HEAD>"));
    EXPECT_EQ(doc.head->endTag, Find(src, "</HEAD>"));
    std::vector<std::string> head;
    for (const auto& c : doc.head->children)
        if (c->IsElement()) head.push_back(c->tag);
    EXPECT_EQ(head, (std::vector<std::string>{"title", "meta", "link", "style"}));
    const Node* title = FirstElement(*doc.head, "title");
    ASSERT_EQ(title->children.size(), 1u);
    EXPECT_EQ(title->children[0]->text, u"\nNew & Document\n");  // line breaks as LF
    EXPECT_EQ(title->children[0]->range, Find(src, "\r\nNew &amp; Document\r\n"));
    EXPECT_EQ(title->endTag, Find(src, "</TITLE>"));
    EXPECT_EQ(FirstElement(*doc.head, "link")->FindAttr("href")->valueRange, Find(src, "a.css"));
    EXPECT_EQ(Shape(*FirstElement(*doc.head, "style")), "<style>p{color:red}</style>");
    // The body: a script's text is not markup, a comment is a node; white
    // space after </BODY> and </HTML> still joins the body, as in browsers.
    EXPECT_EQ(doc.body->startTag, Find(src, "<BODY bgcolor=#fff>"));
    EXPECT_EQ(doc.body->endTag, Find(src, "</BODY>"));
    EXPECT_EQ(Children(*doc.body),
              "\n<script>if (a < b) document.write('<p>no</p>');</script><!-- <b>hidden</b> --><b>shown</b>"
              "<!--?xml x?--><!-- junk-->\n\n\n");
    EXPECT_EQ(FirstElement(*doc.body, "script")->endTag, Find(src, "</script>"));
    EXPECT_TRUE(doc.strayTags.empty());
}

TEST(HtmlParser, FragmentsGetTheDocumentAroundThem) {
    const std::string src = "  <table><td>x</table>";
    const Document doc = ParseHtml(src);
    ExpectConsistentRanges(src, doc);
    for (const Node* n : {doc.html, doc.head, doc.body}) {
        EXPECT_TRUE(n->implied) << n->tag;
        EXPECT_EQ(n->startTag, (SourceRange{2, 2})) << n->tag;
        EXPECT_FALSE(n->endTag) << n->tag;
    }
    EXPECT_TRUE(doc.head->children.empty());
    EXPECT_EQ(doc.body->range, (SourceRange{2, src.size()}));
    // The made-up row starts where its first cell does and has no end tag.
    const Node* tr = FirstElement(*doc.body, "tr");
    ASSERT_NE(tr, nullptr);
    EXPECT_TRUE(tr->implied);
    EXPECT_EQ(tr->startTag, (SourceRange{9, 9}));
    EXPECT_EQ(tr->range, Find(src, "<td>x"));
    EXPECT_EQ(FirstElement(*doc.body, "table")->endTag, Find(src, "</table>"));
    // Head elements before any content go to the head, after it they stay put.
    const Document late = ParseHtml("<title>t</title>x<meta charset=gbk>");
    EXPECT_EQ(Children(*late.head), "<title>t</title>");
    EXPECT_EQ(Children(*late.body), "x<meta charset=gbk></meta>");
}

TEST(HtmlParser, TextInsideTableStructureMovesBeforeTheTable) {
    // White space between rows stays where it is, as in browsers' trees.
    EXPECT_EQ(Body("<table>\r\n\t<tr>oops<td>a</td></tr></table>"),
              "oops<table>\n\t<tbody><tr><td>a</td></tr></tbody></table>");
    EXPECT_EQ(Body("<table><tr><div>d</div><td>a</td></tr></table>"),
              "<div>d</div><table><tbody><tr><td>a</td></tr></tbody></table>");
    // Comments and scripts stay where they are written.
    EXPECT_EQ(Body("<table><!--c--><script>s</script><tr><td>a</table>"),
              "<table><!--c--><script>s</script><tbody><tr><td>a</td></tr></tbody></table>");
}

TEST(HtmlParser, ATableWhereOnlyRowsBelongFollowsTheTableItEnds) {
    EXPECT_EQ(Body("<table><tr><td>a</td></tr><tr><table><tr><td>b</td></tr></table></tr><tr><td>c</td></tr></table>"),
              "<table><tbody><tr><td>a</td></tr><tr></tr></tbody></table><table><tbody><tr><td>b</td></tr></tbody>"
              "</table>c");
}

TEST(HtmlParser, LiteralLessThanAndTruncatedTags) {
    EXPECT_EQ(Body("1 < 2 <3"), "1 < 2 <3");
    EXPECT_EQ(ParseHtml("1 < 2 <3").body->children.size(), 1u);  // one text run
    EXPECT_EQ(Body("<b>x</b"), "<b>x</b>");
    // A tag the end cuts short is nothing to browsers: a stray here.
    const Document cut = ParseHtml("x<img src=\"a");
    EXPECT_EQ(Children(*cut.body), "x");
    ASSERT_EQ(cut.strayTags.size(), 1u);
    EXPECT_EQ(cut.strayTags[0].range, (SourceRange{1, 12}));
}

TEST(HtmlParser, AttributeRangesAsWritten) {
    const std::string src = "<TD Width=750 class = 'a b' title=\"x&amp;y\" nowrap WIDTH=\"1\" data-x=>c</TD>";
    const Document doc = ParseHtml("<table><tr>" + src + "</table>");
    const std::string all = "<table><tr>" + src + "</table>";
    ExpectConsistentRanges(all, doc);
    const Node* td = FirstElement(*doc.body, "td");
    ASSERT_NE(td, nullptr);
    ASSERT_EQ(td->attrs.size(), 6u);
    const Attribute& width = td->attrs[0];
    EXPECT_EQ(width.name, "width");
    EXPECT_EQ(width.nameRange, Find(all, "Width"));
    EXPECT_EQ(width.valueRange, Find(all, "750"));
    EXPECT_EQ(width.range, Find(all, "Width=750"));
    EXPECT_EQ(width.quote, Quote::Unquoted);
    const Attribute& cls = td->attrs[1];
    EXPECT_EQ(cls.value, "a b");
    EXPECT_EQ(cls.quote, Quote::Single);
    EXPECT_EQ(cls.valueRange, Find(all, "a b"));
    EXPECT_EQ(cls.range, Find(all, "class = 'a b'"));
    const Attribute& title = td->attrs[2];
    EXPECT_EQ(title.value, "x&y");  // decoded, next to its raw text
    EXPECT_EQ(title.valueRange, Find(all, "x&amp;y"));
    EXPECT_EQ(title.quote, Quote::Double);
    const Attribute& nowrap = td->attrs[3];
    EXPECT_EQ(nowrap.quote, Quote::None);
    EXPECT_EQ(nowrap.range, Find(all, "nowrap"));
    EXPECT_EQ(nowrap.valueRange, (SourceRange{nowrap.range.end, nowrap.range.end}));
    const Attribute& again = td->attrs[4];
    EXPECT_TRUE(again.duplicate);
    const std::size_t repeat = all.find("WIDTH=\"1");
    EXPECT_EQ(again.valueRange, (SourceRange{repeat + 7, repeat + 8}));
    EXPECT_EQ(*td->Attr("width"), "750");
    const Attribute& empty = td->attrs[5];
    EXPECT_EQ(empty.quote, Quote::Unquoted);
    EXPECT_TRUE(empty.valueRange.empty());
    EXPECT_EQ(td->startTag, Find(all, src.substr(0, src.find(">c") + 1)));
    EXPECT_EQ(td->endTag, Find(all, "</TD>"));
}

TEST(HtmlParser, ElementAndTextRanges) {
    const std::string src = "<P>a&amp;b<p>c</P>\r\n<b>x<i>y</b>z</i>";
    const Document doc = ParseHtml(src);
    ExpectConsistentRanges(src, doc);
    const auto& kids = doc.body->children;
    ASSERT_GE(kids.size(), 3u);
    // The first p ends where the second begins; it has no end tag.
    EXPECT_EQ(kids[0]->range, Find(src, "<P>a&amp;b"));
    EXPECT_FALSE(kids[0]->endTag);
    EXPECT_EQ(kids[0]->children[0]->range, Find(src, "a&amp;b"));
    EXPECT_EQ(kids[0]->children[0]->text, u"a&b");
    EXPECT_EQ(kids[1]->range, Find(src, "<p>c</P>"));
    EXPECT_EQ(kids[1]->endTag, Find(src, "</P>"));
    // Misnested: </b> closes the i too (without an end tag of its own), and
    // a copy of it, made up where the z stands, holds the z and ends at </i>.
    const Node* i = FirstElement(*doc.body, "i");
    ASSERT_NE(i, nullptr);
    EXPECT_FALSE(i->endTag);
    EXPECT_EQ(i->range, Find(src, "<i>y"));
    const Node& copy = *doc.body->children.back();
    EXPECT_EQ(copy.tag, "i");
    EXPECT_TRUE(copy.implied);
    EXPECT_EQ(copy.reopens, i);
    EXPECT_EQ(copy.startTag, (SourceRange{Find(src, "z</i>").begin, Find(src, "z</i>").begin}));
    EXPECT_EQ(copy.endTag, Find(src, "</i>"));
    EXPECT_TRUE(doc.strayTags.empty());
}

TEST(HtmlParser, NastyInputKeepsEveryRangeTrue) {
    const std::vector<std::string> docs = {
        std::string("a\0b<b\0c x=\0>d</b\0c>", 20),
        "<div class=\"never closed",
        "x<!-- never closed <b>",
        "<script>never closed <b>",
        "<title>a &amp; b",
        "<table><tr><td>a</td></tr>",
        "<a href=x>1<a href=y>2</a></a>",
        "<TABLE><TBODY><TR><TD>A<TD>B</TABLE>",
        "<p>a\r\n<p>b\r\n</p></p>",
        "<img src=x/><br/><input disabled/>",
        "<!--><b>x</b>-->",
        "<html><html a=1><head><head></head><body><body></html></body>tail",
        "</br><</b></ x><3 <",
        "<xmp><b>raw</b></xmp><textarea>&lt;b&gt;</textarea>",
        "\xEF\xBB\xBF<p>bom",
        "<td>orphan</td><tr><tbody><caption><col>",
        "<ul><li>a<li>b</ul><dl><dt>t<dd>d</dl>",
        "\xE4\xB8<b\xFF>\xE4\xB8\xAD</b>",
        "<table>x<tr>y<td>z</td>w</tr>v</table>",
    };
    for (const std::string& src : docs) {
        SCOPED_TRACE(src);
        ExpectConsistentRanges(src, ParseHtml(src));
    }
    // A tag an unterminated attribute value runs to the end of is a stray, as
    // browsers drop it; its bytes still have a range.
    const std::string open = "<p>x<div class=\"never closed";
    const Document unterminated = ParseHtml(open);
    EXPECT_EQ(Children(*unterminated.body), "<p>x</p>");
    ASSERT_EQ(unterminated.strayTags.size(), 1u);
    EXPECT_EQ(unterminated.strayTags[0].range, Find(open, "<div class=\"never closed"));
    // An unterminated comment and script run to the end.
    // So do an unterminated comment and script.
    const Document comment = ParseHtml("x<!-- never closed <b>");
    EXPECT_EQ(comment.body->children.back()->kind, NodeKind::Comment);
    EXPECT_EQ(comment.body->children.back()->text, u" never closed <b>");
    const Document script = ParseHtml("<script>never closed <b>");
    EXPECT_FALSE(FirstElement(*script.head, "script")->endTag);
    // NUL bytes: body text drops them, names and raw text have U+FFFD.
    const std::string nul("a\0b<b\0c><xmp>\0</xmp>", 20);
    const Document n = ParseHtml(nul);
    EXPECT_EQ(Children(*n.body), "ab<b\xEF\xBF\xBD" "c><xmp>\xEF\xBF\xBD</xmp></b\xEF\xBF\xBD" "c>");
    ExpectConsistentRanges(nul, n);
}

TEST(HtmlParser, DeepNestingIsFlattenedNotRecursedInto) {
    std::string deep;
    for (int i = 0; i < 5000; ++i) deep += "<div>";
    deep += "x";
    for (int i = 0; i < 5000; ++i) deep += "</div>";
    const Document doc = ParseHtml(deep);
    int depth = 0;
    const Node* n = doc.body;
    while (!n->children.empty() && !n->children.front()->IsText()) {
        n = n->children.front().get();
        ++depth;
    }
    EXPECT_LE(depth, kMaxDepth);
    EXPECT_GE(depth, kMaxDepth - 2);
    ExpectConsistentRanges(deep, doc);
    // the document says where its tree begins to be flatter than a browser's
    EXPECT_EQ(doc.flattenedFrom, 5u * (kMaxDepth - 1));
    EXPECT_EQ(ParseHtml("<div><br><img><script>x</script></div>").flattenedFrom, std::string_view::npos);
    std::string voids;  // elements that hold nothing lose nothing past the limit
    for (int i = 1; i < kMaxDepth; ++i) voids += "<div>";
    EXPECT_EQ(ParseHtml(voids + "<br><img><div>").flattenedFrom, voids.size() + 9);
}

TEST(HtmlParser, OneValueChangesAndEveryOtherByteStays) {
    // What the ranges are for: change one attribute and one text, rebuild the
    // source around them, and parse it again.
    const std::string src = "<TABLE width=750 BgColor='#fff'><tr><td>价格：&yen;99</td></tr></TABLE><!-- keep -->";
    const Document doc = ParseHtml(src);
    const SourceRange bg = FirstElement(*doc.body, "table")->FindAttr("bgcolor")->valueRange;
    const SourceRange price = FirstElement(*doc.body, "td")->children.front()->range;
    ASSERT_LT(bg.end, price.begin);
    const std::string edited = src.substr(0, bg.begin) + "#ff6600" + src.substr(bg.end, price.begin - bg.end) +
                               "价格：&yen;79" + src.substr(price.end);
    EXPECT_EQ(edited, "<TABLE width=750 BgColor='#ff6600'><tr><td>价格：&yen;79</td></tr></TABLE><!-- keep -->");
    const Document again = ParseHtml(edited);
    EXPECT_EQ(*FirstElement(*again.body, "table")->Attr("bgcolor"), "#ff6600");
    EXPECT_EQ(Children(*again.body), "<table width=750 bgcolor=#ff6600><tbody><tr><td>价格：\xC2\xA5" "79</td></tr></tbody></table>"
                                     "<!-- keep -->");
}

}  // namespace
}  // namespace mojian::html

namespace mojian::html {
namespace {

struct TreeSize {
    std::size_t nodes = 0;
    int depth = 0;
};

TreeSize SizeOf(const Node& root) {
    TreeSize size;
    std::vector<std::pair<const Node*, int>> pending{{&root, 0}};
    while (!pending.empty()) {
        const auto [n, depth] = pending.back();
        pending.pop_back();
        ++size.nodes;
        size.depth = std::max(size.depth, depth);
        for (const auto& c : n->children) pending.push_back({c.get(), depth + 1});
    }
    return size;
}

std::string Repeat(std::string_view piece, int times) {
    std::string out;
    out.reserve(piece.size() * static_cast<std::size_t>(times));
    for (int i = 0; i < times; ++i) out += piece;
    return out;
}

// Hostile pages where browsers' rules make up elements for every token
// (reopened formatting elements, fostered content, implied rows): the tree
// stays within the depth limit and has no more nodes than the source has
// bytes. (Each parses in time in proportion to its length; no test times it.
// Thirty thousand repeats are far past every limit and keep the test quick
// under the sanitizers.)
TEST(HtmlParser, HostileNestingStaysBoundedByTheSource) {
    constexpr int n = 30000;
    std::string numbered;  // formatting elements all different, so three-alike never drops one
    for (int i = 0; i < n; ++i) numbered += "<font color=#" + std::to_string(i) + ">";
    std::string reopening;  // each round closes every reopened element again
    for (int i = 0; i < n / 10; ++i) reopening += "<div><b id=" + std::to_string(i) + "></div><div>x</div>";
    const struct {
        const char* what;
        std::string source;
    } cases[] = {
        {"nested divs", Repeat("<div>", n) + "x"},
        {"unclosed b", Repeat("<b>", n) + "x"},
        {"unclosed numbered fonts", numbered + "x"},
        {"fonts closed by blocks, reopened for text", Repeat("<p><font>x</p>", n)},
        {"reopened by every text", reopening},
        {"misnested b and p", Repeat("<b><p>x</b>y", n)},
        {"nested a in blocks", Repeat("<a><div>", n)},
        {"table cells", "<table>" + Repeat("<td>x", n)},
        {"nested tables", Repeat("<table><tr><td>", n)},
        {"fostered out of tables", Repeat("<table>x<b>y", n)},
        {"tables in rows", Repeat("<table><tr>z<table>", n)},
        {"lists and headings", Repeat("<li><dd><h1><h2><p><button>", n)},
        {"select options", "<select>" + Repeat("<option><optgroup>", n)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Document doc = ParseHtml(c.source);
        const TreeSize size = SizeOf(*doc.root);
        EXPECT_LE(size.depth, kMaxDepth + 4);
        EXPECT_LE(size.nodes, c.source.size());
    }
}

}  // namespace
}  // namespace mojian::html

namespace mojian::html {
namespace {

// A block's content parsed as an element's: nothing goes to the head and no
// document tag means anything.
TEST(HtmlParser, FragmentsAreAnElementsContent) {
    const struct {
        const char* source;
        const char* body;
        std::size_t strays;
    } cases[] = {
        {"<title>t</title><style>p{}</style><p>x", "<title>t</title><style>p{}</style><p>x</p>", 0},
        {"<body bgcolor=red>x</body>y</html>z", "xyz", 3},
        {"<html lang=zh><head><frameset>a", "a", 3},
        {"<td>c<tr>d", "cd", 2},
        {"<p>a</p></p>", "<p>a</p><p></p>", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source);
        const Document doc = ParseHtmlFragment(c.source);
        ExpectConsistentRanges(c.source, doc);
        EXPECT_EQ(Children(*doc.body), c.body);
        EXPECT_TRUE(doc.head->children.empty());
        EXPECT_TRUE(doc.body->attrs.empty() && doc.html->attrs.empty());
        EXPECT_EQ(doc.strayTags.size(), c.strays);
    }
}

// Nodes browsers move or make up say so, at the place they were made, and
// the moved ones keep the bytes they came from.
TEST(HtmlParser, MovedAndMadeUpNodesKeepTheirPlaces) {
    const std::string fostered = "<table>ab<tr><td>c</table>";
    const Document f = ParseHtml(fostered);
    ExpectConsistentRanges(fostered, f);
    EXPECT_EQ(Children(*f.body), "ab<table><tbody><tr><td>c</td></tr></tbody></table>");
    EXPECT_EQ(f.body->children[0]->range, (SourceRange{7, 9}));  // "ab", after "<table>"
    const Node* tbody = FirstElement(*f.body, "tbody");
    EXPECT_TRUE(tbody->implied);
    EXPECT_EQ(tbody->startTag, (SourceRange{Find(fostered, "<tr>").begin, Find(fostered, "<tr>").begin}));

    // The p ends the link; a copy of the link, made where </a> stands, holds the y.
    const std::string misnested = "<a href=x><p>y</a>z";
    const Document m = ParseHtml(misnested);
    ExpectConsistentRanges(misnested, m);
    EXPECT_EQ(Children(*m.body), "<a href=x></a><p><a href=x>y</a>z</p>");
    const Node* original = m.body->children[0].get();
    EXPECT_FALSE(original->implied);
    const Node* copy = FirstElement(*m.body->children[1], "a");
    EXPECT_TRUE(copy->implied);
    EXPECT_EQ(copy->reopens, original);
    const std::size_t end = Find(misnested, "</a>").begin;
    EXPECT_EQ(copy->startTag, (SourceRange{end, end}));
    EXPECT_EQ(copy->FindAttr("href")->valueRange, original->FindAttr("href")->valueRange);

    // The copy in the p closes at once: "3" follows it and nothing reopens later.
    const std::string twice = "<b>1<p>2</b>3<div>4</b>5";
    const Document t = ParseHtml(twice);
    ExpectConsistentRanges(twice, t);
    const Node* first = t.body->children[0].get();
    std::vector<const Node*> copies;
    std::vector<const Node*> pending{t.body};
    while (!pending.empty()) {
        const Node* n = pending.back();
        pending.pop_back();
        for (const auto& c : n->children) {
            if (c->tag == "b" && c.get() != first) copies.push_back(c.get());
            pending.push_back(c.get());
        }
    }
    EXPECT_EQ(Children(*t.body), "<b>1</b><p><b>2</b>3</p><div>45</div>");
    ASSERT_EQ(copies.size(), 1u);
    for (const Node* c : copies) EXPECT_EQ(c->reopens, first);
}

}  // namespace
}  // namespace mojian::html
