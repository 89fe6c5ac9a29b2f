#include "html/Style.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "html/Parser.h"

namespace mojian::html {
namespace {

// The style of the first element in `html`, inside a default root.
Style StyleOf(const std::string& html) {
    const Document doc = ParseHtml(html);
    const Node* n = doc.body;
    Style s = RootStyle();
    while (!n->children.empty()) {
        n = n->children.front().get();
        if (n->IsText()) break;
        s = ComputeStyle(*n, s);
        if (n->Attr("id")) break;
    }
    return s;
}

TEST(HtmlStyle, Colours) {
    EXPECT_EQ(ParseColor("#FF6600"), 0xff6600u);
    EXPECT_EQ(ParseColor(" #f60 "), 0xff6600u);
    EXPECT_EQ(ParseColor("ff6600"), 0xff6600u);  // attributes often omit the '#'
    EXPECT_EQ(ParseColor("Red"), 0xff0000u);
    EXPECT_EQ(ParseColor("rgb(1, 2, 255)"), 0x0102ffu);
    EXPECT_EQ(ParseColor("rgba(0,0,0,0.5)"), 0x808080u);  // over the white page
    EXPECT_FALSE(ParseColor("#12345"));
    EXPECT_FALSE(ParseColor("notacolour"));
    EXPECT_FALSE(ParseColor("rgb(1,2"));
}

TEST(HtmlStyle, Lengths) {
    EXPECT_EQ(ParseLength("750px", 16)->value, 750);
    EXPECT_EQ(ParseLength("100%", 16)->unit, Length::Percent);
    EXPECT_EQ(ParseLength("2em", 14)->value, 28);
    EXPECT_EQ(ParseLength("12pt", 16)->value, 16);
    EXPECT_TRUE(ParseLength("auto", 16)->IsAuto());
    EXPECT_FALSE(ParseLength("wide", 16));
}

TEST(HtmlStyle, InlineStyleOverridesAttributesAndInherits) {
    const Style s = StyleOf("<table bgcolor=#111111 width=700 style=\"background-color:#222222;width:750px;"
                            "font-family:'微软雅黑',sans-serif;color:#FFFFFF;font-size:18px\"><tr><td id=x>t");
    EXPECT_FALSE(s.background);  // backgrounds do not inherit
    EXPECT_EQ(s.color, 0xffffffu);
    EXPECT_EQ(s.fontSize, 18);
    EXPECT_EQ(s.fontFamily, u"微软雅黑,sans-serif");
    const Style t = StyleOf("<table id=t bgcolor=#111111 width=700 style=\"background-color:#222222;width:750px\">");
    EXPECT_EQ(t.background, 0x222222u);
    EXPECT_EQ(t.width.value, 750);
}

TEST(HtmlStyle, TableAttributesReachTheCells) {
    const Style cell = StyleOf("<table border=1 cellpadding=5 cellspacing=0><tr valign=top><td id=c align=center>x");
    EXPECT_EQ(cell.padding[0], 5);
    EXPECT_EQ(cell.padding[3], 5);
    EXPECT_EQ(cell.border[0].width, 1);
    EXPECT_EQ(cell.verticalAlign, VAlign::Top);
    EXPECT_EQ(cell.textAlign, TextAlign::Center);
    const Style plain = StyleOf("<table><tr><td id=c>x");
    EXPECT_EQ(plain.padding[0], 1);  // the browsers' default cell padding
    EXPECT_EQ(plain.verticalAlign, VAlign::Middle);
    EXPECT_EQ(plain.border[0].width, 0);
}

TEST(HtmlStyle, ShorthandsAndFontElement) {
    const Style s = StyleOf("<div id=d style=\"padding:1px 2px 3px;margin:0 auto;border:2px solid #ccc;"
                            "border-bottom:none;font-weight:700;text-decoration:line-through;display:inline-block\">");
    EXPECT_EQ(s.padding[0], 1);
    EXPECT_EQ(s.padding[1], 2);
    EXPECT_EQ(s.padding[2], 3);
    EXPECT_EQ(s.padding[3], 2);
    EXPECT_TRUE(s.margin[1].IsAuto());
    const Style sides = StyleOf("<span id=s style=\"padding:4px;padding-left:14px;margin-top:-3px;margin-right:auto\">");
    EXPECT_EQ(sides.padding[3], 14);
    EXPECT_EQ(sides.padding[1], 4);
    EXPECT_EQ(sides.margin[0].value, -3);
    EXPECT_TRUE(sides.margin[1].IsAuto());
    EXPECT_EQ(sides.margin[2].value, 0);
    EXPECT_EQ(s.margin[0].value, 0);
    EXPECT_EQ(s.border[0].width, 2);
    EXPECT_EQ(s.border[0].color, 0xccccccu);
    EXPECT_EQ(s.border[2].width, 0);
    EXPECT_TRUE(s.bold);
    EXPECT_TRUE(s.strike);
    EXPECT_EQ(s.display, Display::InlineBlock);
    const Style f = StyleOf("<font id=f color=\"#ff4400\" size=\"4\" face=\"宋体\">");
    EXPECT_EQ(f.color, 0xff4400u);
    EXPECT_EQ(f.fontSize, 18);
    EXPECT_EQ(f.fontFamily, u"宋体");
    EXPECT_EQ(StyleOf("<span id=s style=\"display:none\">").display, Display::None);
    EXPECT_EQ(StyleOf("<h1 id=h>").fontSize, 32);
}

TEST(HtmlStyle, BackgroundSizeFromItsPropertyAndTheShorthand) {
    using Size = BackgroundImage::Size;
    struct Case {
        const char* css;
        Size size;
        Length width, height;
    };
    const Case cases[] = {
        {"background-size:cover", Size::Cover, {}, {}},
        {"background:url(a.png) center / contain no-repeat", Size::Contain, {}, {}},
        {"background:url(a.png) 0 0/100% auto", Size::Lengths, {Length::Percent, 100}, {}},
        {"background-size:2em 30px", Size::Lengths, {Length::Px, 20}, {Length::Px, 30}},
        {"background-size:cover;background:url(a.png)", Size::Natural, {}, {}},  // the shorthand resets it
        {"background-size:cover;background-size:-5px", Size::Cover, {}, {}},     // a bad size is dropped
    };
    for (const Case& c : cases) {
        const BackgroundImage b = StyleOf(std::string("<div id=x style=\"font-size:10px;") + c.css + "\">").backgroundImage;
        EXPECT_EQ(b.size, c.size) << c.css;
        EXPECT_EQ(b.width.unit, c.width.unit) << c.css;
        EXPECT_EQ(b.width.value, c.width.value) << c.css;
        EXPECT_EQ(b.height.unit, c.height.unit) << c.css;
        EXPECT_EQ(b.height.value, c.height.value) << c.css;
    }
    // The position before the slash is kept.
    const BackgroundImage p = StyleOf("<div id=x style=\"background:url(a.png) right bottom/cover\">").backgroundImage;
    EXPECT_EQ(p.x.value, 100);
    EXPECT_EQ(p.y.value, 100);
}

TEST(HtmlStyle, FontShorthandAndTextSpacing) {
    const Style s = StyleOf("<p style=\"font-size:10px\"><span id=x style=\"font:italic bold 12px/30px Georgia, "
                            "'Times New Roman', serif;letter-spacing:2px;word-spacing:0.5em;text-transform:uppercase\">");
    EXPECT_TRUE(s.italic);
    EXPECT_TRUE(s.bold);
    EXPECT_EQ(s.fontSize, 12);
    EXPECT_EQ(s.lineHeight, 30);
    EXPECT_EQ(s.fontFamily, u"Georgia,Times New Roman,serif");
    EXPECT_EQ(s.letterSpacing, 2);
    EXPECT_EQ(s.wordSpacing, 6);
    EXPECT_EQ(s.textTransform, Style::Transform::Upper);
    // The shorthand resets the weight and style it leaves out; without a family it is dropped whole.
    const Style reset = StyleOf("<b><i><span id=x style=\"font:150% Arial\">");
    EXPECT_FALSE(reset.bold);
    EXPECT_FALSE(reset.italic);
    EXPECT_EQ(reset.fontSize, 24);
    const Style dropped = StyleOf("<b><span id=x style=\"font:12px\">");
    EXPECT_TRUE(dropped.bold);
    EXPECT_EQ(dropped.fontSize, 16);
}

TEST(HtmlStyle, BorderLonghandsListsAndCollapse) {
    // A width alone draws nothing until a style shows the line; the colour waits for it too.
    const Style w = StyleOf("<td id=x style=\"border-top-width:1px;border-top-color:#eee\">");
    EXPECT_EQ(w.border[0].width, 0);
    const Style ws = StyleOf("<div id=x style=\"border-top-width:1px;border-top-color:#eee;border-top-style:solid\">");
    EXPECT_EQ(ws.border[0].width, 1);
    EXPECT_EQ(ws.border[0].color, 0xeeeeeeu);
    const Style lists = StyleOf("<div id=x style=\"border-style:solid none;border-width:2px 4px;border-color:red blue\">");
    EXPECT_EQ(lists.border[0].width, 2);
    EXPECT_EQ(lists.border[1].width, 0);  // no style on the sides
    EXPECT_EQ(lists.border[2].color, 0xff0000u);
    EXPECT_EQ(lists.border[3].color, 0x0000ffu);
    // Medium is 3 pixels; "border: solid" alone draws a medium line.
    EXPECT_EQ(StyleOf("<div id=x style=\"border:solid\">").border[2].width, 3);
    const Style collapsed = StyleOf("<table id=x style=\"border-collapse:collapse\">");
    EXPECT_TRUE(collapsed.collapseBorders);
    EXPECT_EQ(StyleOf("<table id=x style=\"border-spacing:6px\">").cellSpacing, 6);
    EXPECT_EQ(StyleOf("<br id=x clear=all>").clear, Clear::Both);
    EXPECT_TRUE(StyleOf("<div dir=rtl><p id=x>").rtl);
    EXPECT_EQ(StyleOf("<div style=\"font-size:20px\"><span id=x style=\"font-size:0\">").fontSize, 0);
}

TEST(HtmlStyle, BackgroundPicturesFromAttributesAndEveryWayCssWritesThem) {
    const Style cell = StyleOf("<table><tr><td id=x background=\" tile.png \">");
    EXPECT_EQ(cell.backgroundImage.url, "tile.png");
    EXPECT_TRUE(cell.backgroundImage.repeatX && cell.backgroundImage.repeatY);
    const Style all = StyleOf("<div id=x style=\"background:#ff0000 url('a b.jpg') no-repeat right 10px\">");
    EXPECT_EQ(all.backgroundImage.url, "a b.jpg");
    EXPECT_EQ(all.background, 0xff0000u);
    EXPECT_FALSE(all.backgroundImage.repeatX || all.backgroundImage.repeatY);
    EXPECT_EQ(all.backgroundImage.x.unit, Length::Percent);
    EXPECT_EQ(all.backgroundImage.x.value, 100);
    EXPECT_EQ(all.backgroundImage.y.unit, Length::Px);
    EXPECT_EQ(all.backgroundImage.y.value, 10);
    const Style longhands = StyleOf("<div id=x style=\"background-image:url(&quot;x.png&quot;);background-repeat:"
                                    "repeat-x;background-position:center;background-color:blue\">");
    EXPECT_EQ(longhands.backgroundImage.url, "x.png");
    EXPECT_TRUE(longhands.backgroundImage.repeatX);
    EXPECT_FALSE(longhands.backgroundImage.repeatY);
    EXPECT_EQ(longhands.backgroundImage.x.value, 50);
    EXPECT_EQ(longhands.backgroundImage.y.value, 50);
    EXPECT_EQ(longhands.background, 0x0000ffu);
    // The shorthand resets what it does not name.
    const Style reset = StyleOf("<div style=\"background:url(a.png) repeat-y\"><p id=x style=\"background:red\">");
    EXPECT_TRUE(reset.backgroundImage.url.empty());
}

TEST(HtmlStyle, MinMaxSizesBoxSizingAndPictureProportions) {
    const Style s = StyleOf("<div id=x style=\"max-width:100%;min-width:20px;max-height:none;min-height:3em;"
                            "box-sizing:border-box\">");
    EXPECT_EQ(s.maxWidth.unit, Length::Percent);
    EXPECT_EQ(s.minWidth.value, 20);
    EXPECT_TRUE(s.maxHeight.IsAuto());
    EXPECT_EQ(s.minHeight.value, 48);
    EXPECT_TRUE(s.borderBox);
    EXPECT_FLOAT_EQ(StyleOf("<img id=x width=600 height=300>").aspectRatio, 2);
    EXPECT_EQ(StyleOf("<img id=x width=600 height=50%>").aspectRatio, 0);
    EXPECT_EQ(StyleOf("<img id=x width=600>").aspectRatio, 0);
}

TEST(HtmlStyle, CascadeImportanceAndInheritance) {
    const struct {
        const char* html;
        std::function<bool(const Style&)> holds;
    } kCases[] = {
        // !important wins over a later declaration; otherwise the last one wins.
        {"<div id=x style=\"color:red !important;color:blue\">", [](const Style& s) { return s.color == 0xff0000u; }},
        {"<div id=x style=\"color:red;color:blue\">", [](const Style& s) { return s.color == 0x0000ffu; }},
        // The style attribute over the attributes, the attributes over the browser's sheet.
        {"<table id=x width=300 style=\"width:50%\">", [](const Style& s) { return s.width.unit == Length::Percent; }},
        {"<table id=x cellspacing=0>", [](const Style& s) { return s.cellSpacing == 0; }},
        {"<table><tr><th id=x align=left>", [](const Style& s) { return s.bold && s.textAlign == TextAlign::Left; }},
        // Ems are the element's own font size, wherever the attribute sets it.
        {"<div id=x style=\"margin-top:1em;font-size:20px\">", [](const Style& s) { return s.margin[0].value == 20; }},
        {"<p id=x style=\"font-size:20px\">", [](const Style& s) { return s.margin[0].value == 20; }},
        {"<h1 id=x style=\"font:10px serif\">", [](const Style& s) { return std::abs(s.margin[2].value - 6.7f) < 0.01f && !s.bold; }},
        // A border without a colour takes the final text colour.
        {"<div id=x style=\"border:1px solid;color:#ff0000\">", [](const Style& s) { return s.border[3].color == 0xff0000u; }},
        // A ";" inside url() does not end the declaration.
        {"<div id=x style=\"background:url(data:image/png;base64,AA) no-repeat;color:red\">",
         [](const Style& s) { return s.backgroundImage.url == "data:image/png;base64,AA" && s.color == 0xff0000u; }},
        // Inherited: font and colour; not: background, margins, borders.
        {"<div style=\"color:red;font-size:20px;background:blue;margin:5px;border:1px solid\"><span id=x>",
         [](const Style& s) {
             return s.color == 0xff0000u && s.fontSize == 20 && !s.background && s.margin[0].value == 0 &&
                    s.border[0].width == 0;
         }},
        // What the browser's sheet says beyond the tag name.
        {"<ul><li><ul id=x>", [](const Style& s) { return s.margin[0].value == 0 && s.padding[3] == 40; }},
        {"<a id=x href=#>", [](const Style& s) { return s.underline && s.color == 0x0000eeu; }},
        {"<a id=x>", [](const Style& s) { return !s.underline; }},
        {"<hr id=x width=50%>", [](const Style& s) { return s.width.unit == Length::Percent && s.margin[1].IsAuto(); }},
    };
    for (const auto& c : kCases) EXPECT_TRUE(c.holds(StyleOf(c.html))) << c.html;
}

TEST(HtmlStyle, ShorthandsExpandAndInvalidOnesAreDropped) {
    const struct {
        const char* html;
        std::function<bool(const Style&)> holds;
    } kCases[] = {
        {"<div id=x style=\"margin:1px 2px 3px 4px\">",
         [](const Style& s) { return s.margin[0].value == 1 && s.margin[1].value == 2 && s.margin[3].value == 4; }},
        {"<div id=x style=\"margin:5px;margin:1px 2px 3px 4px 5px\">", [](const Style& s) { return s.margin[3].value == 5; }},
        {"<div id=x style=\"padding:5px;padding:auto 1px\">", [](const Style& s) { return s.padding[1] == 5; }},
        {"<div id=x style=\"border:2px solid;border-width:1px wide\">", [](const Style& s) { return s.border[1].width == 2; }},
        {"<div id=x style=\"border:2px solid;border-left:none\">",
         [](const Style& s) { return s.border[3].width == 0 && s.border[1].width == 2; }},
        {"<div id=x style=\"background-color:red;background-repeat:no-repeat;background:url(a.png)\">",
         [](const Style& s) { return !s.background && s.backgroundImage.repeatX && s.backgroundImage.url == "a.png"; }},
        {"<b><span id=x style=\"font:small-caps 12px Arial\">", [](const Style& s) { return !s.bold && s.fontSize == 12; }},
        {"<b><span id=x style=\"font:900 italic larger/2 Arial\">",
         [](const Style& s) { return s.bold && s.italic && s.fontSize == 19.2f && s.lineHeight == 2 * 19.2f; }},
        {"<ol><li id=x style=\"list-style:square disc inside\">", [](const Style& s) { return !s.orderedList; }},
        {"<u><span id=x style=\"text-decoration:none\">", [](const Style& s) { return !s.underline; }},
    };
    for (const auto& c : kCases) EXPECT_TRUE(c.holds(StyleOf(c.html))) << c.html;
}

TEST(HtmlStyle, PresentationalAttributesAsBrowsersMapThem) {
    const struct {
        const char* html;
        std::function<bool(const Style&)> holds;
    } kCases[] = {
        {"<font size=+1><span id=x>", [](const Style& s) { return s.fontSize == 18; }},
        {"<font id=x size=-9 color=nonsense>", [](const Style& s) { return s.fontSize == 10 && s.color == 0; }},
        {"<div style=\"color:#00ff00\"><img id=x border=2>", [](const Style& s) { return s.border[0].color == 0x00ff00u; }},
        {"<table><tr><td id=x nowrap colspan=0 rowspan=70000 width=0>",
         [](const Style& s) { return s.noWrap && s.colSpan == 1 && s.rowSpan == 65534 && s.width.IsAuto(); }},
        {"<table><tr valign=bottom><td id=x>", [](const Style& s) { return s.verticalAlign == VAlign::Bottom; }},
        {"<table id=x align=center border>", [](const Style& s) {
             return s.margin[1].IsAuto() && s.explicitAlign && s.border[0].width == 1 && s.tableCellBorder;
         }},
        {"<img id=x align=right width=60% height=20>", [](const Style& s) {
             return s.floating == Float::Right && s.width.unit == Length::Percent && s.aspectRatio == 0;
         }},
        {"<div id=x width=300 bgcolor=red>", [](const Style& s) { return s.width.IsAuto() && !s.background; }},
        {"<div align=center><p id=x>", [](const Style& s) { return s.textAlign == TextAlign::Center && s.alignBlocks; }},
        {"<center><table id=x>", [](const Style& s) { return !s.alignBlocks && s.textAlign == TextAlign::Start; }},
    };
    for (const auto& c : kCases) EXPECT_TRUE(c.holds(StyleOf(c.html))) << c.html;
    const Document doc = ParseHtml("<body leftmargin=3 marginheight=4 topmargin=5 text=blue>");
    const Style body = ComputeBodyStyle(*doc.body, RootStyle(), 8);
    EXPECT_EQ(body.margin[0].value, 5);  // IE's attribute over the other
    EXPECT_EQ(body.margin[1].value, 8);
    EXPECT_EQ(body.margin[2].value, 4);
    EXPECT_EQ(body.margin[3].value, 3);
    EXPECT_EQ(body.color, 0x0000ffu);
}

TEST(HtmlStyle, TheBrowsersSheet) {
    const struct {
        const char* html;
        Display display;
        float marginTop, fontSize;
        bool bold, italic;
    } kCases[] = {
        {"<p id=x>", Display::Block, 16, 16, false, false},
        {"<h2 id=x>", Display::Block, 0.83f * 24, 24, true, false},
        {"<h6 id=x>", Display::Block, 2.33f * 0.67f * 16, 0.67f * 16, true, false},
        {"<blockquote id=x>", Display::Block, 16, 16, false, false},
        {"<ul id=x>", Display::Block, 16, 16, false, false},
        {"<li id=x>", Display::ListItem, 0, 16, false, false},
        {"<hr id=x>", Display::Block, 8, 16, false, false},
        {"<em id=x>", Display::Inline, 0, 16, false, true},
        {"<strong id=x>", Display::Inline, 0, 16, true, false},
        {"<small id=x>", Display::Inline, 0, 16 / 1.2f, false, false},
        {"<sup id=x>", Display::Inline, 0, 0.83f * 16, false, false},
        {"<iframe id=x>", Display::InlineBlock, 0, 16, false, false},
        {"<span id=x>", Display::Inline, 0, 16, false, false},
        {"<table><colgroup id=x>", Display::None, 0, 16, false, false},
    };
    for (const auto& c : kCases) {
        const Style s = StyleOf(c.html);
        EXPECT_EQ(s.display, c.display) << c.html;
        EXPECT_NEAR(s.margin[0].value, c.marginTop, 0.01f) << c.html;
        EXPECT_NEAR(s.fontSize, c.fontSize, 0.01f) << c.html;
        EXPECT_EQ(s.bold, c.bold) << c.html;
        EXPECT_EQ(s.italic, c.italic) << c.html;
    }
    const Style hr = StyleOf("<hr id=x>");
    EXPECT_EQ(hr.border[0].color, 0x9a9a9au);
    EXPECT_EQ(hr.border[2].color, 0xeeeeeeu);
    EXPECT_TRUE(StyleOf("<pre id=x>").noWrap);
    EXPECT_TRUE(StyleOf("<ol id=x>").orderedList);
}

TEST(HtmlStyle, AStyleAttributeReadOnceStillResolvesAgainstEachElement) {
    // The same attribute under different fonts, and after many others were read.
    EXPECT_EQ(StyleOf("<div style=\"font-size:10px\"><p id=x style=\"margin:1em;color:red\">").margin[0].value, 10);
    EXPECT_EQ(StyleOf("<div style=\"font-size:20px\"><p id=x style=\"margin:1em;color:red\">").margin[0].value, 20);
    for (int i = 0; i < 5000; ++i) StyleOf("<p id=x style=\"width:" + std::to_string(i) + "px\">");
    EXPECT_EQ(StyleOf("<p id=x style=\"width:7px\">").width.value, 7);
    EXPECT_EQ(StyleOf("<div style=\"font-size:30px\"><p id=x style=\"margin:1em;color:red\">").margin[0].value, 30);
}

}  // namespace
}  // namespace mojian::html
