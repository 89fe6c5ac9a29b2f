#include <gtest/gtest.h>

#include <string>

#include "html/Layout.h"
#include "html/Parser.h"

namespace mojian::html {
namespace {

PageLayout Lay(const Document& doc, bool everyBox) {
    FixedMeasurer m;
    LayoutOptions options{750, 0};
    options.recordEveryBox = everyBox;
    return LayoutDocument(doc, options, m);
}

TEST(HtmlBoxRecords, EveryBoxLeadsBackToItsElement) {
    const std::string src = "<div id=a><p>x</p>text<table><tr><td>y</td></tr></table><img width=10 height=10></div>";
    const Document doc = ParseHtml(src);
    // By default only tables, cells and pictures, each with its element.
    const auto some = Lay(doc, false).boxes;
    ASSERT_EQ(some.size(), 3u);
    EXPECT_EQ(some[0].node->startTag.Of(src), "<table>");
    EXPECT_EQ(some[1].node->startTag.Of(src), "<td>");
    EXPECT_EQ(some[2].node->startTag.Of(src), "<img width=10 height=10>");
    // Every box: the body, the div, the p, the anonymous blocks around the
    // text and around the picture (made inside the div), the table and cell.
    std::vector<std::string> tags, owners;
    for (const BoxRecord& b : Lay(doc, true).boxes) {
        tags.push_back(b.tag);
        owners.push_back(b.node ? b.node->tag : "?");
    }
    EXPECT_EQ(tags, (std::vector<std::string>{"body", "div", "p", "", "table", "td", "", "img"}));
    EXPECT_EQ(owners, (std::vector<std::string>{"body", "div", "p", "div", "table", "td", "div", "img"}));
}

TEST(HtmlBoxRecords, WhatAReaderSeesOfABox) {
    const std::string word(120, 'W');  // 960 pixels of text that cannot break
    const Document doc = ParseHtml("<p style=\"width:300px\">" + word + "</p>"
                                   "<div style=\"width:400px;overflow:hidden\"><p style=\"width:600px\">" + word + "</p></div>"
                                   "<p style=\"width:8px\">a   </p>");
    std::vector<Rect> p;
    for (const BoxRecord& b : Lay(doc, true).boxes)
        if (b.tag == "p") p.push_back(b.visible);
    ASSERT_EQ(p.size(), 3u);
    // Its lines stick out of the box; inside a box that hides its overflow
    // they are cut at that box's edge; spaces at a line's end are not drawn.
    EXPECT_FLOAT_EQ(p[0].x, 0);
    EXPECT_FLOAT_EQ(p[0].w, 960);
    EXPECT_FLOAT_EQ(p[1].w, 400);
    EXPECT_FLOAT_EQ(p[2].w, 8);
}

}  // namespace
}  // namespace mojian::html
