#include "html/Layout.h"

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "base/Utf.h"
#include "html/Parser.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::html {
namespace {

// Fixed advances: Latin half the font size, CJK the full size; at 16 px
// the ascent is 13, the descent 3 and a normal line 20.
PageLayout Lay(const std::string& html, float width = 750, float margin = 0) {
    FixedMeasurer m;
    const Document root = ParseHtml(html);
    return LayoutDocument(root, LayoutOptions{width, margin}, m);
}

// A picture source that knows some addresses and notes every question.
class FakePictures : public PictureSource {
public:
    PictureInfo Query(std::string_view url) override {
        asked.emplace_back(url);
        const auto it = known.find(std::string(url));
        return it == known.end() ? PictureInfo{} : it->second;
    }
    std::shared_ptr<const Picture> Pixels(std::string_view) override { return nullptr; }

    std::map<std::string, PictureInfo> known;
    std::vector<std::string> asked;
};

std::vector<Rect> Boxes(const PageLayout& p, const std::string& tag) {
    std::vector<Rect> out;
    for (const auto& b : p.boxes)
        if (b.tag == tag) out.push_back(b.rect);
    return out;
}

std::vector<const PaintOp*> Texts(const PageLayout& p) {
    std::vector<const PaintOp*> out;
    for (const auto& op : p.ops)
        if (op.kind == PaintOp::Kind::Text) out.push_back(&op);
    return out;
}

#define EXPECT_RECT(r, X, Y, W, H)  \
    do {                            \
        EXPECT_NEAR((r).x, X, 0.5); \
        EXPECT_NEAR((r).y, Y, 0.5); \
        EXPECT_NEAR((r).w, W, 0.5); \
        EXPECT_NEAR((r).h, H, 0.5); \
    } while (0)

TEST(HtmlLayout, TableWithFixedCellWidths) {
    const auto p = Lay("<table width=\"750\" cellspacing=0 cellpadding=0><tr><td width=130 height=40>a</td>"
                       "<td width=320>b</td><td width=300>c</td></tr><tr><td colspan=3 height=20></td></tr></table>");
    const auto t = Boxes(p, "table");
    const auto c = Boxes(p, "td");
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(c.size(), 4u);
    EXPECT_RECT(t[0], 0, 0, 750, 60);
    EXPECT_RECT(c[0], 0, 0, 130, 40);
    EXPECT_RECT(c[1], 130, 0, 320, 40);
    EXPECT_RECT(c[2], 450, 0, 300, 40);
    EXPECT_RECT(c[3], 0, 40, 750, 20);
}

TEST(HtmlLayout, DefaultSpacingPaddingAndShrinkToContent) {
    const auto p = Lay("<table><tr><td>ab</td><td>c</td></tr></table>");
    const auto t = Boxes(p, "table");
    const auto c = Boxes(p, "td");
    ASSERT_EQ(c.size(), 2u);
    // Text 16 + padding 2; spacing 2 around: 2 + 18 + 2 + 10 + 2.
    EXPECT_RECT(c[0], 2, 2, 18, 22);
    EXPECT_RECT(c[1], 22, 2, 10, 22);
    EXPECT_RECT(t[0], 0, 0, 34, 26);
}

TEST(HtmlLayout, RowSpanGrowsTheLastRowAndTableHeightStretchesRows) {
    const auto p = Lay("<table width=300 cellspacing=0 cellpadding=0><tr><td rowspan=2 width=100 height=80>a</td>"
                       "<td width=200 height=30>b</td></tr><tr><td width=200 height=30>c</td></tr></table>");
    const auto c = Boxes(p, "td");
    ASSERT_EQ(c.size(), 3u);
    EXPECT_RECT(c[0], 0, 0, 100, 80);
    EXPECT_RECT(c[1], 100, 0, 200, 30);
    EXPECT_RECT(c[2], 100, 30, 200, 50);
    const auto q = Lay("<table width=100 height=100 cellspacing=0 cellpadding=0><tr><td height=20></td></tr>"
                       "<tr><td height=30></td></tr></table>");
    const auto d = Boxes(q, "td");
    ASSERT_EQ(d.size(), 2u);
    EXPECT_RECT(d[0], 0, 0, 100, 40);
    EXPECT_RECT(d[1], 0, 40, 100, 60);
}

TEST(HtmlLayout, PercentWidthsAndCentring) {
    const auto p = Lay("<table width=100% cellspacing=0 cellpadding=0><tr><td width=\"50%\">a</td><td>b</td></tr>"
                       "</table><div style=\"width:730px;margin:0 auto\"><table width=700 align=center cellspacing=0>"
                       "<tr><td></td></tr></table></div><center><table width=100 cellspacing=0><tr><td></td></tr>"
                       "</table></center>",
                       760, 5);
    const auto t = Boxes(p, "table");
    const auto c = Boxes(p, "td");
    ASSERT_EQ(t.size(), 3u);
    EXPECT_RECT(t[0], 5, 5, 750, 20);
    EXPECT_NEAR(c[0].w, 375, 0.5);
    EXPECT_NEAR(c[1].x, 380, 0.5);
    EXPECT_NEAR(t[1].x, 5 + 10 + 15, 0.5);
    EXPECT_NEAR(t[2].x, 5 + 325, 0.5);
}

// border-radius rounds what the box itself paints (its background and its
// picture); text inside it is not clipped, and a radius past half a side is
// cut to half, as browsers do.
TEST(HtmlLayout, BorderRadiusRoundsTheBoxesOwnPaintingOnly) {
    const auto p = Lay("<div style=\"width:100px;height:40px;background:#f00;border-radius:10px\">x</div>"
                       "<img src=a.png width=60 height=30 style=\"display:block;border-radius:50%\">"
                       "<div style=\"width:20px;height:20px;background:#0f0;border-radius:30px 2px\"></div>"
                       "<div style=\"width:20px;height:20px;background:#00f;border-radius:-3px\"></div>");
    std::string kinds;
    std::vector<const PaintOp*> clips;
    for (const auto& op : p.ops) {
        kinds += "FTPBG()"[static_cast<int>(op.kind)];
        if (op.kind == PaintOp::Kind::ClipPush) clips.push_back(&op);
    }
    EXPECT_EQ(kinds.substr(0, 4), "(F)T") << kinds;
    EXPECT_EQ(kinds.substr(kinds.size() - 4), "(F)F") << "the negative radius is refused: " << kinds;
    ASSERT_EQ(clips.size(), 3u) << kinds;
    EXPECT_RECT(clips[0]->rect, 0, 0, 100, 40);
    EXPECT_FLOAT_EQ(clips[0]->radiusX, 10);
    EXPECT_FLOAT_EQ(clips[0]->radiusY, 10);
    EXPECT_FLOAT_EQ(clips[1]->radiusX, 30) << "50 % of the width across";
    EXPECT_FLOAT_EQ(clips[1]->radiusY, 15) << "and of the height down";
    EXPECT_FLOAT_EQ(clips[2]->radiusX, 10) << "the first radius, cut to half the side";
}

TEST(HtmlLayout, TableShownAsBlockKeepsItsOwnWidth) {
    // The column headings: a 750-pixel table displayed as a block around a 720-pixel cell.
    const auto p = Lay(BuiltInLibrary().Get(0, 0));
    const auto t = Boxes(p, "table");
    const auto c = Boxes(p, "td");
    ASSERT_EQ(t.size(), 1u);
    ASSERT_EQ(c.size(), 1u);
    EXPECT_RECT(t[0], 0, 0, 750, 30);
    EXPECT_RECT(c[0], 0, 0, 720, 30);
    // The strip's colour stands in for its picture.
    ASSERT_FALSE(p.ops.empty());
    EXPECT_EQ(p.ops[0].kind, PaintOp::Kind::Fill);
    EXPECT_EQ(p.ops[0].color, 0x1c1c1cu);
}

TEST(HtmlLayout, ChineseWrapsBetweenCharactersLatinAtSpaces) {
    auto lines = [](const PageLayout& p) {
        std::vector<std::string> out;
        float baseline = -1;
        for (const PaintOp* op : Texts(p)) {
            if (op->baseline != baseline) out.emplace_back();
            baseline = op->baseline;
            out.back() += Utf16ToUtf8(op->text);
        }
        return out;
    };
    EXPECT_EQ(lines(Lay("<div style=\"width:80px\">中文中文中文</div>")),
              (std::vector<std::string>{"中文中文中", "文"}));
    EXPECT_EQ(lines(Lay("<div style=\"width:100px\">hello world again</div>")),
              (std::vector<std::string>{"hello world ", "again"}));
    // No line starts with closing punctuation; a price keeps its sign.
    EXPECT_EQ(lines(Lay("<div style=\"width:64px\">中文中文，好</div>")),
              (std::vector<std::string>{"中文中", "文，好"}));
    EXPECT_EQ(lines(Lay("<div style=\"width:64px\">价格价￥99</div>")),
              (std::vector<std::string>{"价格价", "￥99"}));
    // Spaces collapse; <br> breaks; hidden elements are left out.
    EXPECT_EQ(lines(Lay("a  \r\n\t b<br>c<span style=\"display:none\">zzz</span>")),
              (std::vector<std::string>{"a b", "c"}));
}

TEST(HtmlLayout, WhatBrowsersDoNotShowIsLeftOut) {
    // The tree keeps the head, scripts, styles and comments; the page shows none of them.
    const auto plain = Lay("<p>a <b>shown</b></p>");
    const auto full = Lay("<!DOCTYPE html><HTML><HEAD><TITLE>New Document</TITLE><meta charset=gbk>"
                          "<style>p{color:red}</style></HEAD><BODY><p>a <!-- hidden --><b>shown</b>"
                          "<script>document.write('x')</script><textarea>t</textarea></p></BODY></HTML>");
    ASSERT_EQ(Texts(full).size(), Texts(plain).size());
    for (std::size_t i = 0; i < Texts(plain).size(); ++i) {
        EXPECT_EQ(Texts(full)[i]->text, Texts(plain)[i]->text);
        EXPECT_EQ(Texts(full)[i]->rect.x, Texts(plain)[i]->rect.x);
    }
    EXPECT_EQ(full.height, plain.height);
    EXPECT_EQ(full.ops.size(), plain.ops.size());
}

TEST(HtmlLayout, LinesStackByLineHeight) {
    const auto p = Lay("<div style=\"line-height:30px;font-size:16px\">a<br>b<br><br>c</div>");
    const auto t = Texts(p);
    ASSERT_EQ(t.size(), 3u);
    EXPECT_NEAR(t[1]->baseline - t[0]->baseline, 30, 0.5);
    EXPECT_NEAR(t[2]->baseline - t[1]->baseline, 60, 0.5);  // the empty line keeps its height
    EXPECT_NEAR(p.height, 120, 0.5);

    // A bare number is inherited as a number: 1.5 of the paragraph's own 10px.
    const auto number = Lay("<div style=\"font-size:20px;line-height:1.5\"><p style=\"font-size:10px;margin:0\">a</p></div>");
    ASSERT_EQ(Boxes(number, "p").size(), 1u);
    EXPECT_NEAR(Boxes(number, "p")[0].h, 15, 0.5);
    // line-height: 0 (sellers' picture wrappers) gives text lines no height at all.
    const auto none = Lay("<div style=\"line-height:0;font-size:16px\"><p style=\"margin:0\">a <b>b</b></p><p>c</p></div>");
    ASSERT_EQ(Boxes(none, "p").size(), 2u);
    EXPECT_NEAR(Boxes(none, "p")[0].h, 0, 0.01);
    EXPECT_NEAR(Boxes(none, "p")[1].y, 16, 0.01);  // only the second paragraph's margin above it
}

// The box of the first picture of `html` laid out in a 400-pixel block,
// every address failing except those `pictures` knows.
Rect PictureBox(const std::string& html, Compat compat = Compat::NoQuirks, PictureSource* pictures = nullptr) {
    FixedMeasurer m;
    NoPictures none;
    const Document doc = ParseHtml("<div style=\"width:400px\">" + html + "</div>");
    LayoutOptions options{750, 0};
    options.compat = compat;
    const PageLayout p = LayoutDocument(doc, options, m, pictures ? *pictures : none);
    const auto imgs = Boxes(p, "img");
    return imgs.empty() ? Rect{-1, -1, -1, -1} : imgs[0];
}

TEST(HtmlLayout, BrokenPicturesAreBoxedAsBrowsersBoxThem) {
    const struct {
        const char* html;
        float w, h;
    } standards[] = {
        // Without both sides, a broken picture is the 16 x 16 icon, whatever one side says.
        {"<img src=a.jpg width=750>", 16, 16},
        {"<img src=a.jpg height=60>", 16, 16},
        {"<img src=a.jpg style=\"width:100%;height:auto\">", 16, 16},
        {"<img src=a.jpg>", 16, 16},
        {"<img src=a.jpg style=\"padding:3px;border:2px solid red\">", 26, 26},
        // alt="" asks for nothing in its place.
        {"<img src=a.jpg alt=\"\">", 0, 0},
        {"<img src=a.jpg alt=\"\" style=\"display:block\">", 400, 0},
        // Both sides and no alt text: a framed box of that size.
        {"<img src=a.jpg width=300 height=200>", 300, 200},
        {"<img src=a.jpg alt=\"\" width=100 height=50>", 100, 50},
        // A side left to auto is given by the other side and the attributes' proportions.
        {"<img src=a.jpg width=300 height=150 style=\"height:auto\">", 300, 150},
        {"<img src=a.jpg width=300 height=150 style=\"width:100%;height:auto\">", 400, 200},
        {"<img src=a.jpg width=300 height=150 style=\"width:auto;height:auto\">", 16, 16},
        // Inline with alt text: an inline block of the icon and the words, sizes ignored.
        {"<img src=a.jpg alt=\"Hi\" width=300 height=200>", 16 + 16, 20},
        {"<img alt=\"Hi\">", 32, 20},
        // Not inline: a box of its display type and given size holding them.
        {"<img src=a.jpg alt=\"Hi\" width=300 height=200 style=\"display:block\">", 300, 200},
        {"<img src=a.jpg alt=\"Hi\" width=300 style=\"display:block\">", 300, 20},
        {"<img src=a.jpg style=\"display:block\">", 400, 16},
        {"<img src=a.jpg alt=\"Hi\" width=600 height=300 style=\"max-width:100%;height:auto;display:block\">", 400,
         200},
        // No address and no alt text: an empty box of the size given, like one still loading.
        {"<img width=100>", 100, 0},
        {"<img>", 0, 0},
    };
    for (const auto& c : standards) {
        SCOPED_TRACE(c.html);
        const Rect r = PictureBox(c.html);
        EXPECT_NEAR(r.w, c.w, 0.5);
        EXPECT_NEAR(r.h, c.h, 0.5);
    }
    // Old documents square a broken picture with one side and keep any with
    // both, alt text or not.
    const struct {
        const char* html;
        float w, h;
    } quirks[] = {
        {"<img src=a.jpg alt=\"Hi\" width=300 height=200>", 300, 200},
        {"<img src=a.jpg width=100 style=\"display:block\">", 100, 100},
        {"<img src=a.jpg alt=\"Pic\" width=100>", 100, 100},
        {"<img src=a.jpg alt=\"Hi\">", 32, 20},
    };
    for (const auto& c : quirks) {
        SCOPED_TRACE(c.html);
        const Rect r = PictureBox(c.html, Compat::Quirks);
        EXPECT_NEAR(r.w, c.w, 0.5);
        EXPECT_NEAR(r.h, c.h, 0.5);
    }
}

TEST(HtmlLayout, BrokenPicturesPaintAsFramesIconsOrAltText) {
    const auto p = Lay("<img src=\"http://x/a.jpg\" width=\"100\" height=\"50\" style=\"display:block\">"
                       "xx<img src=x alt=\"商品图\" width=40 height=\"30\">yy");
    const auto imgs = Boxes(p, "img");
    ASSERT_EQ(imgs.size(), 2u);
    EXPECT_RECT(imgs[0], 0, 0, 100, 50);
    // The alt text stands on the line after "xx": the icon, then the words, as wide as they are.
    EXPECT_RECT(imgs[1], 16, 50, 16 + 48, 20);
    std::vector<PaintOp::Kind> kinds;
    for (const auto& op : p.ops)
        if (op.kind != PaintOp::Kind::Fill) kinds.push_back(op.kind);
    ASSERT_EQ(kinds.size(), 5u);
    EXPECT_EQ(kinds[0], PaintOp::Kind::Picture);
    EXPECT_EQ(kinds[1], PaintOp::Kind::BrokenIcon);
    for (const auto& op : p.ops) {
        if (op.kind == PaintOp::Kind::Picture) {
            EXPECT_TRUE(op.broken);
        }
        if (op.kind == PaintOp::Kind::Text && op.text == u"商品图") {
            EXPECT_NEAR(op.rect.x, 32, 0.5);
        }
    }
}

TEST(HtmlLayout, LinesOfOnlyPicturesHaveNoStrutInOldDocuments) {
    for (const Compat compat : {Compat::NoQuirks, Compat::LimitedQuirks, Compat::Quirks}) {
        FixedMeasurer m;
        const Document doc = ParseHtml("<div><img src=a width=10 height=10></div><div><img src=a width=10 height=10>"
                                       "x</div><div><br></div>");
        LayoutOptions options{750, 0};
        options.compat = compat;
        const PageLayout p = LayoutDocument(doc, options, m);
        const auto imgs = Boxes(p, "img");
        ASSERT_EQ(imgs.size(), 2u);
        // The strut: 20 high with its baseline 15 down.
        const float alone = compat == Compat::NoQuirks ? 20 : 10;
        EXPECT_NEAR(imgs[1].y, alone + 5, 0.5);
        EXPECT_NEAR(p.height, alone + 20 + 20, 0.5);  // text and a line break keep the strut
    }
}

TEST(HtmlLayout, MiddleAlignedInlineBlockWithAFontOfItsOwn) {
    // The inline block's font is first measured while its line is being laid
    // out: the line's own metrics must survive the font list growing.
    const auto p = Lay("<div>x<span style=\"display:inline-block;vertical-align:middle;font-size:30px\">"
                       "<img width=10 height=10></span></div>");
    const auto imgs = Boxes(p, "img");
    ASSERT_EQ(imgs.size(), 1u);
    // The 30 px line inside is 37 high with its baseline at 27.5; the block's
    // middle sits 3.9 above the outer baseline.
    EXPECT_RECT(imgs[0], 8, 17.5, 10, 10);
    EXPECT_NEAR(p.height, 37, 0.5);
}

TEST(HtmlLayout, LoadedPicturesTakeTheirNaturalSizeAndProportions) {
    FakePictures pictures;
    pictures.known["a.jpg"] = {PictureInfo::State::Ready, 300, 200};
    pictures.known["wait.jpg"] = {PictureInfo::State::Loading, 0, 0};
    FixedMeasurer m;
    const Document doc = ParseHtml(
        "<table cellspacing=0><tr><td><img src=a.jpg><img src=a.jpg width=150><img src=a.jpg height=50>"
        "<img src=a.jpg width=10 height=10><img src=wait.jpg width=40><img src=b.jpg width=40 height=40><img alt=x>"
        "</td></tr></table>");
    const PageLayout p = LayoutDocument(doc, LayoutOptions{750, 0}, m, pictures);
    const auto imgs = Boxes(p, "img");
    ASSERT_EQ(imgs.size(), 7u);
    EXPECT_RECT(imgs[0], 1, imgs[0].y, 300, 200);
    EXPECT_RECT(imgs[1], 301, imgs[1].y, 150, 100);
    EXPECT_RECT(imgs[2], 451, imgs[2].y, 75, 50);
    EXPECT_RECT(imgs[3], 526, imgs[3].y, 10, 10);
    // Loading: no size of its own yet; failed and sized: a framed box; alt text in place of the last.
    EXPECT_RECT(imgs[4], 536, imgs[4].y, 40, 0);
    EXPECT_RECT(imgs[5], 576, imgs[5].y, 40, 40);
    EXPECT_NEAR(imgs[6].w, 16 + 8, 0.5);
    // The cell shrinks around the natural sizes; every picture sits on the baseline.
    EXPECT_NEAR(Boxes(p, "td")[0].w, 300 + 150 + 75 + 10 + 40 + 40 + 24 + 2, 0.5);
    EXPECT_NEAR(imgs[1].Bottom(), imgs[0].Bottom(), 0.5);
    // One question per address, however often layout sizes it; the page
    // notes which pictures sized a box (not the one with both sides given).
    EXPECT_EQ(pictures.asked, (std::vector<std::string>{"a.jpg", "wait.jpg", "b.jpg"}));
    ASSERT_EQ(p.pictures.size(), 3u);
    EXPECT_TRUE(p.pictures[0].sizesLayout);
    EXPECT_TRUE(p.pictures[1].sizesLayout);
    EXPECT_FALSE(p.pictures[2].sizesLayout);
    EXPECT_EQ(p.pictures[1].info.state, PictureInfo::State::Loading);
    // Painting gets each picture's address and content box.
    std::vector<const PaintOp*> ops;
    for (const auto& op : p.ops)
        if (op.kind == PaintOp::Kind::Picture) ops.push_back(&op);
    ASSERT_EQ(ops.size(), 6u);
    EXPECT_EQ(ops[1]->url, "a.jpg");
    EXPECT_FALSE(ops[1]->broken);
    EXPECT_RECT(ops[1]->rect, imgs[1].x, imgs[1].y, 150, 100);
    EXPECT_TRUE(ops[5]->broken);
}

TEST(HtmlLayout, PicturesKeepWithinTheirMinAndMaxSizes) {
    FakePictures pictures;
    pictures.known["big.jpg"] = {PictureInfo::State::Ready, 1500, 1000};
    pictures.known["wait.jpg"] = {PictureInfo::State::Loading, 0, 0};
    const struct {
        const char* html;
        float w, h;
    } cases[] = {
        {"<img src=big.jpg style=\"max-width:100%\">", 400, 266.67f},
        {"<img src=big.jpg style=\"max-width:300px;max-height:100px\">", 150, 100},
        {"<img src=big.jpg width=600 height=300 style=\"max-width:100%\">", 400, 300},
        {"<img src=big.jpg width=600 style=\"max-width:100%;height:auto\">", 400, 266.67f},
        {"<img src=big.jpg style=\"width:50px;min-width:80px\">", 80, 53.33f},
        // While loading, the width and height attributes give the proportions.
        {"<img src=wait.jpg width=600 height=300 style=\"width:100%;height:auto\">", 400, 200},
        {"<img src=wait.jpg width=600 height=300 style=\"width:100%\">", 400, 300},
        {"<img src=wait.jpg width=600 style=\"width:100%;height:auto\">", 400, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        const Rect r = PictureBox(c.html, Compat::NoQuirks, &pictures);
        EXPECT_NEAR(r.w, c.w, 0.5);
        EXPECT_NEAR(r.h, c.h, 0.5);
    }
}

TEST(HtmlLayout, CellContentIsCentredVerticallyByDefault) {
    const auto p = Lay("<table cellspacing=0 cellpadding=0><tr><td height=100>x</td><td valign=top height=100>y"
                       "</td><td valign=bottom>z</td></tr></table>");
    const auto t = Texts(p);
    ASSERT_EQ(t.size(), 3u);
    // A normal line is 20 high with its baseline 15 from the top.
    EXPECT_NEAR(t[0]->baseline, 40 + 15, 0.5);
    EXPECT_NEAR(t[1]->baseline, 15, 0.5);
    EXPECT_NEAR(t[2]->baseline, 100 - 5, 0.5);
}

TEST(HtmlLayout, FloatsGoToTheirSide) {
    const auto p = Lay("<div style=\"width:200px\">abc<span style=\"float:right;width:50px\">R</span></div>"
                       "<img src=x width=60 height=60 style=\"float:left\">text");
    auto textAt = [&](const std::u16string& text) {
        for (const PaintOp* op : Texts(p))
            if (op->text == text) return op->rect.x;
        return -1.0f;
    };
    EXPECT_NEAR(textAt(u"abc"), 0, 0.5);
    EXPECT_NEAR(textAt(u"R"), 150, 0.5);
    EXPECT_NEAR(textAt(u"text"), 60, 0.5);  // beside the floated picture
    const auto imgs = Boxes(p, "img");
    ASSERT_EQ(imgs.size(), 1u);
    EXPECT_NEAR(imgs[0].x, 0, 0.5);
}

TEST(HtmlLayout, InlineBoxesWithPaddingAndBackground) {
    const auto p = Lay("<span style=\"background-color:#ff0000;padding:2px 6px\">ab</span>c");
    const PaintOp* fill = nullptr;
    for (const auto& op : p.ops)
        if (op.kind == PaintOp::Kind::Fill && op.color == 0xff0000) fill = &op;
    ASSERT_NE(fill, nullptr);
    EXPECT_RECT(fill->rect, 0, 0, 28, 20);
    const auto t = Texts(p);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_NEAR(t[0]->rect.x, 6, 0.5);
    EXPECT_NEAR(t[1]->rect.x, 28, 0.5);
}

TEST(HtmlLayout, ListsRulesAndHeadings) {
    const auto p = Lay("<ol><li>one<li>two</ol><ul><li>dot</ul><hr><h1>Big</h1>", 400);
    std::vector<std::u16string> texts;
    std::vector<float> xs;
    for (const PaintOp* op : Texts(p)) {
        texts.push_back(op->text);
        xs.push_back(op->rect.x);
    }
    ASSERT_EQ(texts, (std::vector<std::u16string>{u"1.", u"one", u"2.", u"two", u"\u2022", u"dot", u"Big"}));
    EXPECT_NEAR(xs[1], 40, 0.5);  // the list's indent
    EXPECT_LT(xs[0] + 16, 40.5);  // the marker stands in it
    // The rule spans the width; the heading is twice the size and bold.
    bool rule = false;
    for (const auto& op : p.ops)
        if (op.kind == PaintOp::Kind::Fill && op.rect.w > 399 && op.rect.h <= 1.01f) rule = true;
    EXPECT_TRUE(rule);
    const PaintOp* big = Texts(p).back();
    EXPECT_EQ(p.fonts[static_cast<std::size_t>(big->font)].size, 32);
    EXPECT_TRUE(p.fonts[static_cast<std::size_t>(big->font)].bold);
}

TEST(HtmlLayout, EveryBlockFitsItsWidthAndShowsItsBoxes) {
    for (int kind = 0; kind < static_cast<int>(kStyleCounts.size()); ++kind) {
        for (int style = 0; style < kStyleCounts[static_cast<std::size_t>(kind)]; ++style) {
            SCOPED_TRACE(std::to_string(kind) + "-" + std::to_string(style + 1));
            const auto p = Lay(BuiltInLibrary().Get(kind, style));
            EXPECT_FALSE(p.boxes.empty());
            EXPECT_GT(p.height, 20);
            for (const auto& b : p.boxes) {
                EXPECT_GE(b.rect.x, -0.5) << b.tag;
                EXPECT_LE(b.rect.Right(), 750.5) << b.tag;
            }
        }
    }
}

}  // namespace
}  // namespace mojian::html

namespace mojian::html {
namespace {

// The first box of `tag` in `html` laid out 750 wide with fixed advances.
Rect First(const std::string& html, const std::string& tag, std::size_t index = 0) {
    const auto boxes = Boxes(Lay(html), tag);
    return index < boxes.size() ? boxes[index] : Rect{-1, -1, -1, -1};
}

TEST(HtmlLayout, FloatsStayInTheirContextAndLinesMakeRoomForThem) {
    // A float does not lengthen the paragraph it is in; the next one's lines
    // start beside it and go back to the full width below it.
    std::string words;
    for (int i = 0; i < 30; ++i) words += "cccc ";
    const auto p = Lay("<div style=\"width:400px\"><p style=\"margin:0\">ab<img src=x width=100 height=60 align=left></p>"
                       "<p style=\"margin:0\">" + words + "</p></div>");
    const auto ps = Boxes(p, "p");
    ASSERT_EQ(ps.size(), 2u);
    EXPECT_NEAR(ps[0].h, 20, 0.5);
    EXPECT_NEAR(ps[1].y, 20, 0.5);
    std::vector<float> lineX;
    for (const PaintOp* op : Texts(p))
        if (op->text.rfind(u"cccc", 0) == 0) lineX.push_back(op->rect.x);
    ASSERT_GE(lineX.size(), 3u);
    EXPECT_NEAR(lineX[0], 100, 0.5);  // beside the picture (20 to 60)
    EXPECT_NEAR(lineX[1], 100, 0.5);
    EXPECT_NEAR(lineX.back(), 0, 0.5);  // below it
    // Clearance and boxes of their own context: below the floats, or holding them.
    EXPECT_NEAR(First("<img src=x width=50 height=80 style=\"float:left\"><div style=\"clear:both\"><p>after</p></div>",
                      "p").y, 80 + 16, 0.5);
    EXPECT_NEAR(First("<div style=\"overflow:hidden\"><img src=x width=50 height=80 style=\"float:right\">x</div>", "div").h,
                80, 0.5);
    EXPECT_NEAR(First("<img src=x width=50 height=80 style=\"float:left\">a<br clear=all><p style=\"margin:0\">b</p>",
                      "p").y, 80, 0.5);
    // A table beside a float is as wide as the room left.
    const Rect table = First("<div style=\"width:400px\"><img src=x width=100 height=80 style=\"float:left\">"
                             "<table width=\"100%\" cellspacing=0 cellpadding=0><tr><td>t</td></tr></table></div>", "table");
    EXPECT_RECT(table, 100, 0, 300, 20);
}

TEST(HtmlLayout, VerticalAlignAndTheStrutOfEachLine) {
    // Super and sub move their text and make the line taller.
    const auto plain = Lay("<p style=\"margin:0\">a b</p>");
    const auto shifted = Lay("<p style=\"margin:0\">a <span style=\"vertical-align:super\">b</span> "
                             "<span style=\"vertical-align:sub\">c</span></p>");
    EXPECT_GT(shifted.height, plain.height + 8);
    auto baselineOf = [&](const std::u16string& text) {
        for (const PaintOp* op : Texts(shifted))
            if (op->text == text) return op->baseline;
        return -1.0f;
    };
    EXPECT_NEAR(baselineOf(u"b"), baselineOf(u"a ") - (16.0f / 3 + 1), 0.5);
    EXPECT_NEAR(baselineOf(u"c"), baselineOf(u"a ") + (16.0f / 5 + 1), 0.5);
    // font-size: 0 and line-height: 0 make a spacer cell exactly as high as it says.
    EXPECT_NEAR(First("<table cellspacing=0 cellpadding=0><tr><td height=3 style=\"font-size:0;line-height:0\">"
                      "&nbsp;</td></tr></table>", "td").h, 3, 0.5);
}

TEST(HtmlLayout, SizesInPercentAndWithinMinAndMax) {
    EXPECT_NEAR(First("<div style=\"height:120px\"><div style=\"height:50%\">x</div></div>", "div").h, 60, 0.5);
    EXPECT_NEAR(First("<div><div style=\"height:50%\">x</div></div>", "div").h, 20, 0.5);  // nothing to be half of
    const auto rows = Boxes(Lay("<table height=100 cellspacing=0 cellpadding=0><tr><td style=\"height:60%\">a</td></tr>"
                                "<tr><td>b</td></tr></table>"), "td");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NEAR(rows[0].h, 60, 0.5);
    EXPECT_NEAR(rows[1].h, 40, 0.5);
    EXPECT_RECT(First("<div style=\"max-width:300px;margin:0 auto\">centred</div>", "div"), 225, 0, 300, 20);
    EXPECT_NEAR(First("<div style=\"width:100px;min-width:200px\">x</div>", "div").w, 200, 0.5);
    EXPECT_NEAR(First("<div style=\"width:50%;padding:10px;border:5px solid\">x</div>", "div").w, 375 + 30, 0.5);
    EXPECT_NEAR(First("<div style=\"width:50%;padding:10px;border:5px solid;box-sizing:border-box\">x</div>", "div").w,
                375, 0.5);
    EXPECT_NEAR(First("<table width=\"100%\" style=\"max-width:500px\"><tr><td>x</td></tr></table>", "table").w, 500, 0.5);
    // Inline blocks in percent share a line (the spaces between them set in a font of size 0).
    const auto halves = Lay("<div style=\"font-size:0;width:600px\"><p style=\"display:inline-block;width:50%;"
                            "margin:0;font-size:16px\">a</p> <p style=\"display:inline-block;width:50%;margin:0;"
                            "font-size:16px\">b</p></div>");
    std::vector<const PaintOp*> words;
    for (const PaintOp* op : Texts(halves))
        if (op->text == u"a" || op->text == u"b") words.push_back(op);
    ASSERT_EQ(words.size(), 2u);
    EXPECT_NEAR(words[1]->rect.x, 300, 0.5);
    EXPECT_NEAR(words[1]->rect.y, words[0]->rect.y, 0.5);
    // The browser's margins are ems of the element's own font.
    EXPECT_NEAR(First("<p style=\"font-size:30px\">big</p>", "p").y, 30, 0.5);
}

TEST(HtmlLayout, TablesAsBrowsersSizeAndArrangeThem) {
    // Fixed columns too wide for the table share the shortfall in proportion to what they could give.
    const auto c = Boxes(Lay("<table width=378 cellspacing=0 cellpadding=0><tr><td width=110>品牌</td>"
                             "<td width=269 style=\"padding-left:12px\">请输入品牌</td></tr></table>"), "td");
    ASSERT_EQ(c.size(), 2u);
    EXPECT_NEAR(c[0].w, 16 + (110 - 16) * (378.0f - 44) / (391 - 44), 0.5);
    EXPECT_NEAR(c[0].w + c[1].w, 378, 0.5);
    // A cell shown as a block sits in an anonymous cell and keeps its own width and centring.
    const auto block = Boxes(Lay("<table width=750 cellspacing=0 cellpadding=0><tr><td></td><td style=\"display:block;"
                                 "max-width:600px;margin:0 auto\">x</td><td></td></tr></table>"), "td");
    ASSERT_EQ(block.size(), 3u);
    EXPECT_RECT(block[1], 75, 0, 600, 20);
    // Right to left, the first column is on the right.
    const auto rtl = Boxes(Lay("<table dir=rtl width=300 cellspacing=0 cellpadding=0><tr><td width=100>a</td><td>b</td>"
                               "</tr></table>"), "td");
    ASSERT_EQ(rtl.size(), 2u);
    EXPECT_NEAR(rtl[0].x, 200, 0.5);
    EXPECT_NEAR(rtl[1].x, 0, 0.5);
    // Alignment from align= stops at a table (which it centres); text-align
    // from CSS goes on into the table's cells (and moves no table).
    const auto aligned = Lay("<div align=center><table width=400 cellspacing=0 cellpadding=0><tr><td>x</td></tr>"
                             "</table></div><div style=\"text-align:center\"><table width=400 cellspacing=0 "
                             "cellpadding=0><tr><td>y</td></tr></table></div>");
    const auto inherited = Texts(aligned);
    ASSERT_EQ(inherited.size(), 2u);
    EXPECT_NEAR(inherited[0]->rect.x, 175, 0.5);
    EXPECT_NEAR(inherited[1]->rect.x, (400 - 8) / 2, 0.5);
    // A shrink-to-fit cell takes no room for the spaces around its content.
    EXPECT_NEAR(First("<table cellspacing=0 cellpadding=0><tr><td> <span style=\"display:inline-block;width:50px\">"
                      "</span> </td></tr></table>", "td").w, 50, 0.5);
}

TEST(HtmlLayout, TextTransformAndSpacing) {
    const auto page = Lay("<p style=\"text-transform:uppercase;letter-spacing:2px\">ab</p>"
                          "<p style=\"text-transform:capitalize;word-spacing:10px\">one two</p>");
    const auto t = Texts(page);
    ASSERT_EQ(t.size(), 2u);
    EXPECT_EQ(t[0]->text, u"AB");
    EXPECT_NEAR(t[0]->rect.w, 8 + 2 + 8 + 2, 0.5);
    EXPECT_EQ(t[1]->text, u"One Two");
    EXPECT_NEAR(t[1]->rect.w, 7 * 8 + 10, 0.5);
}

// The page at `zoom` device pixels per CSS pixel, in a viewport of 750 CSS px.
PageLayout LayZoomed(const std::string& html, float zoom, PictureSource& pictures) {
    FixedMeasurer m;
    LayoutOptions options{750 * zoom, 0};
    options.zoom = zoom;
    options.recordEveryBox = true;
    return LayoutDocument(ParseHtml(html), options, m, pictures);
}

TEST(HtmlLayout, ZoomLaysThePageOutInDevicePixels) {
    FakePictures pictures;
    pictures.known["a.jpg"] = {PictureInfo::State::Ready, 300, 200};
    const std::string cell = "<tr><td style=\"width:10px;height:10px\"></td></tr></table>";
    struct Case {
        std::string html;
        const char* tag;
        float zoom;
        Rect want;
    } cases[] = {
        {"<div style=\"width:12pt;height:1in;margin-left:1rem\"></div>", "div", 2, {32, 0, 32, 192}},
        {"<div style=\"font-size:10px;margin-left:2em;height:10px\"></div>", "div", 2, {40, 0, 1460, 20}},
        {"<div style=\"width:50%;height:10px\"></div>", "div", 2, {0, 0, 750, 20}},
        {"<table width=300 height=50 cellspacing=3 cellpadding=4><tr><td></td></tr></table>", "td", 2, {6, 6, 588, 88}},
        {"<img src=a.jpg style=\"display:block\">", "img", 1.5f, {0, 0, 450, 300}},
        // Borders and the spacing between cells keep to whole device pixels;
        // a border too thin to show takes one.
        {"<div style=\"border:1px solid;width:10px;height:10px\"></div>", "div", 1.656f, {0, 0, 18.56f, 18.56f}},
        {"<div style=\"border:0.5px solid;width:10px;height:10px\"></div>", "div", 1.656f, {0, 0, 18.56f, 18.56f}},
        {"<table border=1 cellspacing=0 cellpadding=0>" + cell, "table", 1.656f, {0, 0, 20.56f, 20.56f}},
        {"<table cellspacing=1 cellpadding=0>" + cell, "table", 1.656f, {0, 0, 18.56f, 18.56f}},
        // Text is measured at the zoomed size: a 14-px line at 1.656 is the
        // line of a 23-px font, not 1.656 lines of 14 px (28.15).
        {"<p style=\"margin:0;font-size:14px\">a</p>", "p", 1.656f, {0, 0, 1242, 28}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.html);
        const auto boxes = Boxes(LayZoomed(c.html, c.zoom, pictures), c.tag);
        ASSERT_FALSE(boxes.empty());
        EXPECT_RECT(boxes[0], c.want.x, c.want.y, c.want.w, c.want.h);
    }
    // With whole-pixel borders and a font the fixed measurer scales evenly,
    // a page at zoom 2 is the unzoomed one twice over, box for box.
    const std::string page = "<body style=\"margin:8px\"><p>one two</p><ul><li>item</li></ul><hr><table width=\"80%\" "
                             "border=2 cellpadding=5 align=center><tr><td width=100 style=\"padding:1em\">a b</td><td "
                             "height=40><img src=a.jpg style=\"max-width:60px\"><font size=6>big</font></td></tr></table>";
    const PageLayout plain = LayZoomed(page, 1, pictures), twice = LayZoomed(page, 2, pictures);
    ASSERT_EQ(plain.boxes.size(), twice.boxes.size());
    for (std::size_t i = 0; i < plain.boxes.size(); ++i) {
        const Rect& r = plain.boxes[i].rect;
        EXPECT_RECT(twice.boxes[i].rect, 2 * r.x, 2 * r.y, 2 * r.w, 2 * r.h);
    }
    EXPECT_NEAR(twice.height, 2 * plain.height, 0.5);
}

}  // namespace
}  // namespace mojian::html
