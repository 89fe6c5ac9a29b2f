// Random and truncated documents through the parser and the layout: under
// the native build's sanitizers any crash, overflow or leak fails here, and
// every source range the parser records must still say what it claims.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "html/Layout.h"
#include "html/Parser.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "tests/html/SourceRangeCheck.h"

namespace mojian::html {
namespace {

constexpr const char* kPieces[] = {
    "<table", "<TABLE width=750 cellspacing=2 cellpadding=3 border=1>", "</table>", "<tr>", "</TR>", "<td",
    "<td colspan=3 rowspan=2 width=50% height=20 valign=bottom>", "<TD colspan=99999 rowspan=-4>", "</td>",
    "<tbody>", "</tbody>", "<div style=\"width:10px;float:right;padding:9999px\">", "</div>", "<p>", "</p>",
    "<span style=\"display:inline-block;border:3px solid red;line-height:-5px;font-size:0\">", "</span>",
    "<img src=x width=100 height=1e9 alt=\"图\">", "<img alt=\"未命名\">", "<br>", "</br>", "<hr size=30>",
    "<ul><li>", "<ol><li>", "</li>", "<center>", "</center>", "<font size=+9 color=zzz face=\"宋体\">",
    "</font>", "<script>", "</script>", "<style>", "<!--", "-->", "<!DOCTYPE html>", "<HTML><HEAD><TITLE>",
    "</TITLE></HEAD><BODY>", "</BODY></HTML>", "&nbsp;", "&#x1F600;", "&#9999999999;", "&", "&#", "&yen",
    "中文测试，", "Latin words here ", "\r\n\t", " ", "=", "\"", "'", "<", ">", "/", "<a href=x>", "</a>",
    "<strong style=\"letter-spacing:-900px\">", "</strong>", "<h1 align=center>", "</h1>",
    "<div style=\"display:none\">", "<span style=\"float:left;width:120%\">", "<table style=\"display:block\">",
    "<table style=\"display:inline-block;margin:0 auto\">", "<th>", "<caption>", "<col width=5>", "\xE4\xB8",
    "\xFF\xFE", "<td style=\"vertical-align:bottom;width:auto;height:50%\">", "<p style=\"margin:-40px 0\">",
    "<html lang=zh>", "<head>", "</head>", "<body bgcolor=red>", "</body>", "</html>", "<meta charset=gbk>",
    "<link rel=x href='a>", "<title>", "</title>", "<textarea>", "</textarea>", "<xmp>", "<?xml?>", "</ junk>",
    "<b x=1 X=2 y='3' z=\"4\" w>", "<br/>", "=\"", "&amp", "</span>", "</p>",
};

void LayOut(const std::string& html, float width) {
    FixedMeasurer m;
    const Document root = ParseHtml(html);
    ExpectConsistentRanges(html, root);
    const PageLayout p = LayoutDocument(root, LayoutOptions{width, 8}, m);
    for (const auto& op : p.ops) {
        ASSERT_TRUE(op.font < static_cast<int>(p.fonts.size()));
        ASSERT_FALSE(op.rect.x != op.rect.x || op.rect.y != op.rect.y);  // no NaN
    }
    ASSERT_GE(p.height, 0);
}

TEST(HtmlFuzz, RandomDocumentsNeverCrashOrHang) {
    std::mt19937 rng(20261208);
    const int count = 600;
    for (int i = 0; i < count; ++i) {
        std::string doc;
        const int parts = std::uniform_int_distribution<int>(1, 120)(rng);
        for (int k = 0; k < parts; ++k) {
            if (rng() % 8 == 0) {
                const int bytes = std::uniform_int_distribution<int>(1, 12)(rng);
                for (int b = 0; b < bytes; ++b) doc += static_cast<char>(rng() & 0xff);
            } else {
                doc += kPieces[rng() % std::size(kPieces)];
            }
        }
        SCOPED_TRACE(doc);
        LayOut(doc, static_cast<float>(std::uniform_int_distribution<int>(0, 900)(rng)));
        if (HasFailure()) return;
    }
}

TEST(HtmlFuzz, DeepNestingAndHugeSpansStayBounded) {
    for (const char* open : {"<div style=\"padding:1px\">", "<span style=\"display:inline-block\">",
                             "<table><tr><td>", "<ul><li>", "<font color=red>", "<span style=\"float:left\">"}) {
        std::string doc;
        for (int i = 0; i < 3000; ++i) doc += open;
        doc += "深处 text";
        SCOPED_TRACE(open);
        LayOut(doc, 750);
        if (HasFailure()) return;
    }
    std::string spans = "<table>";
    for (int r = 0; r < 2000; ++r) spans += "<tr><td colspan=1000 rowspan=2000>x<td colspan=900>y";
    LayOut(spans + "</table>", 750);
}

std::size_t CountNodes(const Node& n) {
    std::size_t count = 1;
    for (const auto& c : n.children) count += CountNodes(*c);
    return count;
}

// Shapes that make a tree builder quadratic: every new block reopening all
// formatting still open, every cell or fostered run walking what came
// before. The tree stays in proportion to the input (a reopened copy per
// element at most), and the parse ends well within the test's time limit.
TEST(HtmlFuzz, HundredThousandFoldShapesKeepTheTreeInProportion) {
    constexpr int kN = 100000;
    const auto times = [](std::string_view piece) {
        std::string out;
        for (int i = 0; i < kN; ++i) out += piece;
        return out;
    };
    const struct {
        const char* name;
        std::string html;
    } shapes[] = {
        {"nesting", times("<div>") + "deep"},
        {"unclosed formatting", times("<b>") + times("<p>x")},
        {"distinct formatting then blocks", times("<font color=red>") + times("<div>x</div>")},
        {"cells", "<table><tr>" + times("<td>x")},
        {"fostered text", times("<table>x")},
        {"misnested formatting", times("<b><i></b></i>")},
    };
    for (const auto& shape : shapes) {
        SCOPED_TRACE(shape.name);
        const Document doc = ParseHtml(shape.html);
        EXPECT_LE(CountNodes(*doc.root), 4u * kN + 16);
    }
}

TEST(HtmlFuzz, TruncatedAndSplicedBlocksNeverCrash) {
    std::mt19937 rng(750);
    for (int kind = 0; kind < static_cast<int>(kStyleCounts.size()); ++kind) {
        for (int style = 0; style < kStyleCounts[static_cast<std::size_t>(kind)]; ++style) {
            const std::string& block = BuiltInLibrary().Get(kind, style);
            for (int cut = 0; cut < 3; ++cut) {
                const std::size_t at = rng() % (block.size() + 1);
                const std::size_t from = rng() % (block.size() + 1);
                const std::string doc = block.substr(0, at) + block.substr(from);
                SCOPED_TRACE(std::to_string(kind) + "-" + std::to_string(style) + " cut " + std::to_string(at));
                LayOut(doc, 766);
                if (HasFailure()) return;
            }
        }
    }
}

}  // namespace
}  // namespace mojian::html
