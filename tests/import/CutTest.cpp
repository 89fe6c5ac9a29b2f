// Where a page is cut: after a CR LF between top-level nodes, never inside
// anything that spans the line break, and not at all where a browser would
// keep something open that the parser closed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "catalogue/Library.h"
#include "import/Cut.h"
#include "tests/import/WholePieces.h"

namespace mojian::import {
namespace {

using Cuts = std::vector<std::size_t>;

// The pieces a text is cut into.
std::vector<std::string> Pieces(const std::string& text) {
    const Cuts cuts = CutPoints(text);
    testing::ExpectWholePieces(text, cuts);
    std::vector<std::string> pieces;
    for (std::size_t i = 0; i + 1 < cuts.size(); ++i) pieces.push_back(text.substr(cuts[i], cuts[i + 1] - cuts[i]));
    return pieces;
}

using P = std::vector<std::string>;

TEST(CutPoints, TopLevelNodesAndTextSplitAtCrLfOnly) {
    EXPECT_EQ(Pieces("<p>a</p>\r\n<img src=x>\r\n文字\r\n第二行\r\n"),
              (P{"<p>a</p>\r\n", "<img src=x>\r\n", "文字\r\n", "第二行\r\n"}));
    // a line feed or a carriage return alone does not end a piece (a custom
    // source's file always ends with CR LF), nor does a break inside a line
    EXPECT_EQ(Pieces("<p>a</p>\n<p>b</p>\r<p>c</p><br>\r\n"), (P{"<p>a</p>\n<p>b</p>\r<p>c</p><br>\r\n"}));
    // every built-in block ends with CR LF and is two pieces: its table and its <br>
    const std::string& block = BuiltInLibrary().Get(2, 0);
    const P pieces = Pieces(block);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0] + pieces[1], block);
    EXPECT_EQ(pieces[1], "<br>\r\n");
}

TEST(CutPoints, NothingThatSpansALineBreakIsCut) {
    const std::string lines = "<table>\r\n<tr><td>a\r\n</td></tr>\r\n</table>\r\n";
    EXPECT_EQ(Pieces(lines + "<br>\r\n"), (P{lines, "<br>\r\n"}));
    for (const std::string& spanning : {
             std::string("<!-- note\r\n<p>x</p>\r\n-->\r\n"),                   // a comment
             std::string("<script>\r\nvar a = '<p>';\r\n</script>\r\n"),       // raw text
             std::string("<style>\r\np { color: red }\r\n</style>\r\n"),
             std::string("<img src=\"a.jpg\"\r\n alt=\"x\">\r\n"),             // a tag over two lines
             std::string("<td\r\nwidth=5>\r\n"),                               // a stray tag over two lines
             std::string("<textarea>\r\n</div>\r\n</textarea>\r\n"),
         }) {
        EXPECT_EQ(Pieces(spanning + "<br>\r\n").front(), spanning) << spanning;
    }
    EXPECT_EQ(Pieces("<div>\r\n<p>never closed\r\n<br>\r\n").size(), 1u);  // open to the end
}

TEST(CutPoints, TheDocumentFrameStaysWithTheFirstAndLastPiece) {
    const std::string head = "<!DOCTYPE html>\r\n<html>\r\n<head>\r\n<meta charset=\"utf-8\">\r\n<title>t</title>\r\n"
                             "</head>\r\n<body bgcolor=\"#fff\">\r\n";
    const std::string tail = "</body>\r\n</html>\r\n";
    EXPECT_EQ(Pieces(head + "<p>a</p>\r\n<p>b</p>\r\n" + tail), (P{head, "<p>a</p>\r\n", "<p>b</p>\r\n", tail}));
    // what a fragment puts in the head before its body starts
    EXPECT_EQ(Pieces("<style>p{}</style>\r\n<meta name=a>\r\n<p>a</p>\r\n"),
              (P{"<style>p{}</style>\r\n<meta name=a>\r\n", "<p>a</p>\r\n"}));
    // after the body's end tag nothing is cut
    EXPECT_EQ(Pieces("<p>a</p>\r\n</body>\r\n<p>b</p>\r\n"), (P{"<p>a</p>\r\n", "</body>\r\n<p>b</p>\r\n"}));
}

// What the parser closed but a browser keeps open would run into the next
// piece wherever that piece goes: nothing after it is cut.
TEST(CutPoints, NoCutAfterWhatBrowsersKeepOpen) {
    const std::string after = "<p>next</p>\r\n<p>last</p>\r\n";
    for (const std::string& leaking : {
             std::string("<div><font color=red>red\r\n</div>\r\n"),  // reopened after the div
             std::string("<b><p>bold\r\n</b>\r\n</p>\r\n"),         // the paragraph stays open
             std::string("<table><tr><td>x</td></tr><b>\r\n</table>\r\n"),
         }) {
        EXPECT_EQ(Pieces(leaking + after), (P{leaking + after})) << leaking;
    }
    // inside a table cell both end with the cell, and other elements do
    // close with their parent; an <a> ends an open <a>
    EXPECT_EQ(Pieces("<a href=1>one\r\n<a href=2>two</a>\r\n" + after),
              (P{"<a href=1>one\r\n", "<a href=2>two</a>\r\n", "<p>next</p>\r\n", "<p>last</p>\r\n"}));
    for (const std::string& closed : {
             std::string("<table><tr><td><font color=red>x</td></tr></table>\r\n"),
             std::string("<div><span>x\r\n</div>\r\n"),
             std::string("<ul><li>a\r\n<li>b\r\n</ul>\r\n"),
         }) {
        EXPECT_EQ(Pieces(closed + after), (P{closed, "<p>next</p>\r\n", "<p>last</p>\r\n"})) << closed;
    }
}

TEST(CutPoints, ContentMovedBeforeATableStaysInsideTheTablesPiece) {
    const std::string table = "<table>\r\n<b>moved</b>\r\n<tr><td>x</td></tr>\r\n</table>\r\n";
    EXPECT_EQ(Pieces(table + "<br>\r\n"), (P{table, "<br>\r\n"}));
}

TEST(CutPoints, PastTheDepthLimitThePageIsOnePieceFromItsTopNode) {
    std::string deep;
    for (int i = 0; i < 3000; ++i) deep += "<div>\r\n";
    for (int i = 0; i < 3000; ++i) deep += "</div>\r\n";
    const std::string page = "<p>first</p>\r\n" + deep + "<p>after</p>\r\n";
    const Cuts cuts = CutPoints(page);
    EXPECT_EQ(cuts, (Cuts{0, 14, page.size()}));
    // shallower nesting is cut as usual
    std::string shallow;
    for (int i = 0; i < 100; ++i) shallow += "<div>\r\n";
    for (int i = 0; i < 100; ++i) shallow += "</div>\r\n";
    EXPECT_EQ(Pieces(shallow + "<p>after</p>\r\n"), (P{shallow, "<p>after</p>\r\n"}));
}

}  // namespace
}  // namespace mojian::import
