#include "check/Check.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "catalogue/Library.h"
#include "check/Placeholders.h"
#include "check/Report.h"
#include "compose/Composition.h"
#include "html/Layout.h"
#include "html/Parser.h"
#include "html/Style.h"
#include "tests/check/CheckSupport.h"

namespace mojian::check {
namespace {

using testing::Hits;
using V = std::vector<std::string>;

class CheckTest : public ::testing::Test {
protected:
    std::vector<Finding> Line(std::string_view html) { return checker_.CheckLine(0, "自定义源码-1", html); }
    V HitsOf(std::string_view html) { return Hits(Line(html), html); }
    // Only the findings of one rule.
    V HitsOf(std::string_view html, std::string_view rule) {
        V out;
        for (const Finding& f : Line(html))
            if (f.rule == rule) out.push_back(std::string(f.range.Of(html)));
        return out;
    }

    html::FixedMeasurer measurer_;
    testing::SizedPictures pictures_;
    Checker checker_{RuleSet::BuiltIn(), measurer_, pictures_};
};

TEST_F(CheckTest, ScriptAddressesAreReadAsBrowsersReadThem) {
    // Each of these runs a script when clicked or loaded.
    for (const char* a : {
             R"~(<a href="javascript:alert(1)">x</a>)~",
             R"~(<a href="JaVaScRiPt:alert(1)">x</a>)~",
             R"~(<a href="  javascript:alert(1)">x</a>)~",
             "<a href=\"java\tscript:alert(1)\">x</a>",
             "<a href=\"java\r\nscript:alert(1)\">x</a>",
             R"~(<a href="java&#x09;script:alert(1)">x</a>)~",
             R"~(<a href="&#106;avascript:alert(1)">x</a>)~",
             R"~(<a href="&#x6A&#x61vascript:alert(1)">x</a>)~",
             R"~(<a href="javascript&colon;alert(1)">x</a>)~",
             R"~(<a href="java&Tab;script:alert(1)">x</a>)~",
             R"~(<a href="&#0000106;avascript:alert(1)">x</a>)~",
             R"~(<a href=javascript:alert(1)>x</a>)~",
             R"~(<img src="vbscript:msgbox(1)" width=10 height=10>)~",
             R"~(<table background="javascript:alert(1)"><tr><td>x</td></tr></table>)~",
             R"~(<div style="background:url(javascript:alert(1))">x</div>)~",
             R"~(<div style="background-image: URL( 'javascript:alert(1)' )">x</div>)~",
             R"~(<div style="background:url(\6a avascript:alert(1))">x</div>)~",
         }) {
        EXPECT_EQ(HitsOf(a, "script-address").size(), 1u) << a;
    }
    // These only mention the word.
    for (const char* a : {
             R"~(<a href="https://img.alicdn.com/javascript:x.jpg">x</a>)~",
             R"~(<a href="#javascript:">x</a>)~",
             R"~(<a href="/help?go=javascript:x">x</a>)~",
             R"~(<img alt="javascript: 入门" src="https://img.alicdn.com/a.jpg" width=10 height=10>)~",
             R"~(<p title="javascript:alert(1)">javascript:alert(1)</p>)~",
             R"~(<div style="content:'url(javascript:x)'">x</div>)~",
         }) {
        EXPECT_EQ(HitsOf(a, "script-address"), V{}) << a;
    }
    // A script in a picture's place is a script, not a picture that fails to load.
    EXPECT_EQ(HitsOf(R"~(<img src="javascript:go()" width=1 height=1>)~"), V{R"~(script-address: src="javascript:go()")~"});
    // The finding points at the whole attribute.
    EXPECT_EQ(HitsOf(R"~(<a class=x href="java&#x09;script:go()">买</a>)~", "script-address"),
              V{R"~(href="java&#x09;script:go()")~"});
}

TEST_F(CheckTest, EventAttributesAnywhereEvenOnTagsTheTreeDrops) {
    EXPECT_EQ(HitsOf(R"~(<div onclick="go()">x</div><img src="https://img.alicdn.com/a.jpg" width=1 height=1 ONERROR=go()>)~",
                     "event-attribute"),
              (V{R"~(onclick="go()")~", "ONERROR=go()"}));
    // A second body gives the real one its handler in browsers; a cell
    // outside a table is dropped, but the filter reads the text all the same.
    const std::string page = R"~(<p>x</p><body onload="go()"><td onmouseover='go()'>y)~";
    EXPECT_EQ(HitsOf(page, "event-attribute"), (V{R"~(onload="go()")~", "onmouseover='go()'"}));
    // Names that only begin like one, or hold one in their value.
    EXPECT_EQ(HitsOf(R"~(<div data-onclick="x" title="onclick" on>x</div>)~", "event-attribute"), V{});
}

TEST_F(CheckTest, ForbiddenElementsWhereverTheParserPutsThem) {
    // Head elements before any content go to the head; they still count.
    const std::string page =
        R"~(<meta charset="utf-8"><style>p{}</style><p>x</p><script>go()</script>)~"
        R"~(<form action="/buy"><input name=q><button>买</button><select><option>1</select><textarea>t</textarea></form>)~"
        R"~(<iframe src="https://x.cn/"></iframe><object data="a.swf"><embed src="a.swf"></object><applet code=A></applet>)~"
        R"~(<frameset><frame src=a></frameset><link rel=stylesheet href=a.css><base href="https://x.cn/">)~";
    EXPECT_EQ(HitsOf(page, "forbidden-element"),
              (V{R"~(<meta charset="utf-8">)~", "<style>", "<script>", R"~(<form action="/buy">)~", "<input name=q>",
                 "<button>", "<select>", "<textarea>", R"~(<iframe src="https://x.cn/">)~", R"~(<object data="a.swf">)~",
                 R"~(<embed src="a.swf">)~", "<applet code=A>", "<frameset>", "<frame src=a>",
                 "<link rel=stylesheet href=a.css>", R"~(<base href="https://x.cn/">)~"}));
    // Names that merely look alike, and end tags without a start.
    EXPECT_EQ(HitsOf("<noscript>x</noscript><scripts>y</scripts><p>z</p></script></form>", "forbidden-element"), V{});
}

TEST_F(CheckTest, PictureAddressesABuyerCannotLoad) {
    struct Case {
        const char* src;
        const char* why;
    };
    for (const Case& c : {
             Case{"", "空地址"},
             Case{"   ", "空地址"},
             Case{"file:///C:/Users/店主/图片/1.jpg", "file:"},
             Case{"C:\\Users\\店主\\图片\\1.jpg", "盘符"},
             Case{"d:/pic/1.jpg", "盘符"},
             Case{"\\\\nas\\pic\\1.jpg", "网络共享"},
             Case{"images/1.jpg", "相对路径"},
             Case{"/imgextra/1.jpg", "相对路径"},
             Case{"1.jpg", "相对路径"},
             Case{"blob:https://x.cn/abc", "blob:"},
         }) {
        const std::string page = std::string("<img src=\"") + c.src + "\" width=100 height=100>";
        const auto f = Line(page);
        ASSERT_EQ(f.size(), 1u) << page;
        EXPECT_EQ(f[0].rule, "unloadable-picture");
        EXPECT_EQ(f[0].range.Of(page), std::string("src=\"") + c.src + "\"");
        EXPECT_NE(f[0].detail.find(c.why), std::string::npos) << f[0].detail;
    }
    // A picture without any address points at its tag; backgrounds are read too.
    EXPECT_EQ(HitsOf(R"~(<img width=10 height=10><table><tr><td background="bg.jpg">x</td></tr></table>)~"
                     R"~(<div style="background:url('C:\\a.jpg')">x</div>)~",
                     "unloadable-picture"),
              (V{"<img width=10 height=10>", R"~(background="bg.jpg")~", R"~(style="background:url('C:\\a.jpg')")~"}));
    // Two failing pictures in one attribute are one thing to fix.
    EXPECT_EQ(HitsOf(R"~(<div style="background:url(a.png),url(b.png)">x</div>)~"),
              V{R"~(unloadable-picture: style="background:url(a.png),url(b.png)")~"});
    // An empty background or url() loads nothing and breaks nothing.
    EXPECT_EQ(HitsOf(R"~(<table background=""><tr><td style="background:url()">x</td></tr></table>)~"), V{});
    // What a buyer's browser does load.
    for (const char* src : {"https://img.alicdn.com/imgextra/i1/1/a.jpg", "http://img.alicdn.com/a.jpg",
                            "//img.alicdn.com/a.jpg", " https://gd1.alicdn.com/a.jpg ", "//gdp.alicdn.com/a.jpg",
                            "http://img04.taobaocdn.com/imgextra/i4/1/a.jpg", "//img01.taobaocdn.com/a.jpg",
                            "http://a.tbcdn.cn/p/a.png"})
        EXPECT_EQ(HitsOf(std::string("<img src=\"") + src + "\" width=100 height=100>"), V{}) << src;
}

TEST_F(CheckTest, PicturesOffTheMarketplaceHostsAreWarned) {
    EXPECT_EQ(HitsOf(R"~(<img src="https://alicdn.com/a.jpg" width=1 height=1>)~"
                     R"~(<img src="https://IMG.ALICDN.COM/a.jpg" width=1 height=1>)~"),
              V{});
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com.example.cn/a.jpg" width=1 height=1>)~"
                     R"~(<img src="https://notalicdn.com/a.jpg" width=1 height=1>)~"
                     R"~(<img src="http://img01.taobaocdn.com.example.cn/a.jpg" width=1 height=1>)~"
                     R"~(<img src="https://example.cn/x.jpg?from=img.alicdn.com" width=1 height=1>)~"
                     R"~(<img src="data:image/gif;base64,R0lGODlhAQABAAAAACw=" width=1 height=1>)~"
                     R"~(<table><tr><td style="background:url(http://cdn.example.cn/bg.png)">x</td></tr></table>)~",
                     "foreign-picture-host"),
              (V{R"~(src="https://img.alicdn.com.example.cn/a.jpg")~", R"~(src="https://notalicdn.com/a.jpg")~",
                 R"~(src="http://img01.taobaocdn.com.example.cn/a.jpg")~",
                 R"~(src="https://example.cn/x.jpg?from=img.alicdn.com")~",
                 R"~(src="data:image/gif;base64,R0lGODlhAQABAAAAACw=")~",
                 R"~(style="background:url(http://cdn.example.cn/bg.png)")~"}));
}

TEST_F(CheckTest, IdsReservedClassesAndTheStylesTheEditorDrops) {
    EXPECT_EQ(HitsOf(R"~(<div id="top" class="box tb-main J_TModule j_tx">x</div><p class="xtb-a J_t">y</p>)~"),
              (V{R"~(id-attribute: id="top")~", R"~(reserved-class: class="box tb-main J_TModule j_tx")~"}));
    const std::string css = R"~(<div style="position:absolute;top:0">a</div>)~"
                            R"~(<div style="FLOAT: Left !important">b</div>)~"
                            R"~(<div style="flo\61t:right">c</div>)~"
                            R"~(<div style="float:none;position:static">d</div>)~"
                            R"~(<div style="/* position:fixed */ color:red">e</div>)~"
                            R"~(<div style="background:url('a;position:fixed')">f</div>)~";
    const auto f = Line(css);
    V found;
    for (const auto& x : f)
        if (x.rule == "css-position-float") found.push_back(x.detail);
    EXPECT_EQ(found, (V{"position: absolute", "float: Left", "float: right"}));
}

TEST_F(CheckTest, TheCheckAndTheViewReadAStyleAttributeAlike) {
    // A float in a comment, in a string, escaped, important, and dropped for its stray bracket.
    const std::string page = R"~(<div style="/*float:left;*/background:url('x;float:left') ; FLO\61T : right !important;)~"
                             R"~(width:100px;float:none)">x</div>)~";
    V found;
    for (const auto& x : Line(page))
        if (x.rule == "css-position-float") found.push_back(x.detail);
    EXPECT_EQ(found, V{"float: right"});
    const html::Document doc = html::ParseHtml(page);
    const html::Style view = html::ComputeStyle(*doc.body->children.front(), html::RootStyle());
    EXPECT_EQ(view.floating, html::Float::Right);
    EXPECT_EQ(view.backgroundImage.url, "x;float:left");
    EXPECT_EQ(view.width.value, 100);
}

TEST_F(CheckTest, WhatLayoutDrawsWiderThanTheDescription) {
    // Exactly the description's width fits; a pixel more does not.
    EXPECT_EQ(HitsOf("<table width=750 cellspacing=0><tr><td>x</td></tr></table>"), V{});
    EXPECT_EQ(HitsOf("<table width=751 cellspacing=0><tr><td>x</td></tr></table>"),
              V{"too-wide: <table width=751 cellspacing=0>"});
    // Padding and borders count, and only the outermost element is named.
    EXPECT_EQ(HitsOf(R"~(<div style="width:740px;padding:0 10px"><p>x</p></div>)~"),
              V{R"~(too-wide: <div style="width:740px;padding:0 10px">)~"});
    // Nothing in the source says 750: a long unbreakable text, a cell that
    // grows to hold it, a block pushed right, a float wider than the column.
    const std::string word(100, 'W');
    EXPECT_EQ(HitsOf("<p>" + word + "</p>"), V{"too-wide: <p>"});
    EXPECT_EQ(HitsOf("<table width=750><tr><td>" + word + "</td></tr></table>"), V{"too-wide: <table width=750>"});
    EXPECT_EQ(HitsOf(R"~(<p style="margin-left:100px;width:700px">x</p>)~"),
              V{R"~(too-wide: <p style="margin-left:100px;width:700px">)~"});
    EXPECT_EQ(HitsOf(R"~(<div style="float:right;width:800px">x</div>)~", "too-wide"),
              V{R"~(<div style="float:right;width:800px">)~"});
    // Text straight in the fragment: the line's whole body is named.
    const std::string bare = "前言" + word;
    EXPECT_EQ(HitsOf(bare), V{"too-wide: " + bare});
    // What an ancestor cuts off is not drawn; white space at a line's end hangs undrawn.
    EXPECT_EQ(HitsOf(R"~(<div style="width:750px;overflow:hidden"><table width=900><tr><td>x</td></tr></table></div>)~"),
              V{});
    EXPECT_EQ(HitsOf("<table width=750 cellspacing=0 cellpadding=0><tr><td>\n  <img src=\"https://img.alicdn.com/a.jpg\""
                     " width=750 height=10>\n  </td></tr></table>"),
              V{});
}

TEST_F(CheckTest, WidthsHeldByMaxWidthAreLeftAlone) {
    // The layout does not know max-width; a browser draws these 680 and 750 wide.
    EXPECT_EQ(HitsOf(R"~(<div style="width:900px;max-width:100%">x</div>)~"), V{});
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/a_1200x800.jpg" style="max-width:100%">)~"), V{});
    // But what is too wide whatever max-width does still is.
    EXPECT_EQ(HitsOf(R"~(<table width=900><tr><td><img src="https://img.alicdn.com/a.jpg" style="max-width:100%">)~"
                     "</td></tr></table>"),
              V{"too-wide: <table width=900>"});
}

TEST_F(CheckTest, PicturesWiderThanTheDescription) {
    // The width given in the tag, in the style (which wins) or by the picture itself.
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/a.jpg" width="790" height="300">)~"),
              V{R"~(wide-picture: width="790")~"});
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/a.jpg" width="700" style="width:800px;height:1px">)~"),
              V{R"~(wide-picture: style="width:800px;height:1px")~"});
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/a.jpg" width="100%">)~"), V{});
    const auto f = Line(R"~(<p><img src="https://img.alicdn.com/big_1200x800.jpg"></p>)~");
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].rule, "wide-picture");
    EXPECT_EQ(f[0].detail, "原图宽 1200 像素");
    // A natural size that the page scales down, or does not know yet, is no error.
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/big_1200x800.jpg" width=750>)~"), V{});
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/big_1200x800.jpg" height=400>)~"), V{});
    EXPECT_EQ(HitsOf(R"~(<img src="https://img.alicdn.com/unknown.jpg">)~"), V{});
    // The picture is named once, not again for the cell it widens; the table it widens is.
    EXPECT_EQ(HitsOf(R"~(<table width=750><tr><td><img src="https://img.alicdn.com/a.jpg" width=800 height=1>)~"
                     "</td></tr></table>"),
              (V{"too-wide: <table width=750>", "wide-picture: width=800"}));
}

TEST(CheckAtWidth, ATmallDescriptionFitsAt790AndIsTooWideAt750) {
    // Made like a Tmall seller's description: a 790 table of pictures and a
    // size chart, a 790 banner, all on the marketplace's picture host.
    const std::string tmall =
        R"~(<p><img src="https://img.alicdn.com/imgextra/i1/banner.jpg" width="790" height="300"></p>)~"
        R"~(<table width="790" border="0" cellspacing="0" cellpadding="0"><tr>)~"
        R"~(<td width="395"><img src="https://gdp.alicdn.com/imgextra/i2/a.jpg" width="395" height="500"></td>)~"
        R"~(<td width="395"><img src="https://gdp.alicdn.com/imgextra/i3/b.jpg" width="395" height="500"></td>)~"
        R"~(</tr><tr><td colspan="2" style="font-size:14px">尺码 S M L XL，平铺测量，误差 1-2 厘米</td></tr></table>)~";
    struct Case {
        DescriptionWidth width;
        std::vector<std::string> hits;
        std::string title;  // the width rule's, as the finding says it
    };
    const std::vector<Case> cases = {
        {DescriptionWidth::Tmall, {}, "超出 790 像素宽"},
        {DescriptionWidth::Taobao,
         {R"~(wide-picture: width="790")~", R"~(too-wide: <table width="790" border="0" cellspacing="0" cellpadding="0">)~"},
         "超出 750 像素宽"},
    };
    for (const Case& c : cases) {
        html::FixedMeasurer measurer;
        html::PicturesLoading pictures;
        const RuleSet& rules = RuleSet::BuiltIn(c.width);
        Checker checker(rules, measurer, pictures);
        const auto found = checker.CheckPage({{"自定义源码-1", tmall}});
        EXPECT_EQ(Hits(found, tmall), c.hits) << WidthPixels(c.width);  // no picture-host warning either
        EXPECT_EQ(rules.Find("too-wide")->title, c.title);
    }
}

TEST_F(CheckTest, PlaceholdersComeFromTheBlocks) {
    const auto& texts = PlaceholderTexts({"请输入", "请在此输入"});
    EXPECT_NE(std::find(texts.begin(), texts.end(), "请在此输入产品名称"), texts.end());
    EXPECT_NE(std::find(texts.begin(), texts.end(), "请输入栏目标题"), texts.end());
    EXPECT_EQ(std::find(texts.begin(), texts.end(), "原价"), texts.end());  // a label, kept on purpose
    // The sample pictures of the blocks, but not their icons.
    const auto& pictures = PlaceholderPictures(64);
    EXPECT_GT(pictures.size(), 100u);
    for (const std::string& p : pictures) EXPECT_EQ(p.find("http"), 0u) << p;

    // In a seller's own HTML: the placeholder itself is pointed at.
    const std::string page = "<p>新品&nbsp;请在此输入产品名称</p><span>品牌：请输入品牌名称</span><b>真丝连衣裙</b>";
    EXPECT_EQ(HitsOf(page), (V{"placeholder-text: 请在此输入产品名称", "placeholder-text: 品牌：请输入品牌名称"}));
    // Written another way, the whole text run.
    const std::string other = "<p>请在此输入&#20135;品名称</p>";
    EXPECT_EQ(HitsOf(other), V{"placeholder-text: 请在此输入&#20135;品名称"});
    // In a comment, an attribute or a script it is not shown.
    EXPECT_EQ(HitsOf(R"~(<!-- 请在此输入产品名称 --><img alt="请输入栏目标题" src="https://img.alicdn.com/a.jpg" width=1 height=1>)~"),
              V{});
    // A sample picture left in place.
    const std::string sample = *PlaceholderPictures(64).begin();
    EXPECT_EQ(HitsOf("<img src=\" " + sample + "\" width=10 height=10>"),
              V{"placeholder-picture: src=\" " + sample + "\""});
}

TEST_F(CheckTest, LinesThatProduceNothing) {
    Composition page;
    page.AddBuiltIn(1, 0);
    page.InsertLine(1, "图片展示-样式6");
    page.InsertLine(2, "自定义源码-101");
    page.InsertLine(3, "自定义源码-7");  // a custom source without a text
    page.AddCustom(" \r\n\t");
    page.AddCustom("<p>好</p>");
    page.InsertLine(6, "我的模块-尺码表");  // a seller's block the page has no copy of
    const auto lines = LinesOf(page);
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[0].entry, "图片展示-样式1");
    EXPECT_EQ(*lines[0].html, BuiltInLibrary().Get(1, 0));
    EXPECT_FALSE(lines[1].html);
    std::vector<std::pair<int, std::string>> empty;
    for (const Finding& f : checker_.CheckPage(lines))
        if (f.rule == "empty-line") empty.emplace_back(f.line, f.detail);
    EXPECT_EQ(empty, (std::vector<std::pair<int, std::string>>{{1, "“图片展示-样式6”对不上任何模块"},
                                                               {2, "“自定义源码-101”对不上任何模块"},
                                                               {3, "自定义源码还没有内容"},
                                                               {4, "这一行只有空白"},
                                                               {6, "这个排版里没有我的模块“尺码表”的代码"}}));
}

TEST_F(CheckTest, PageLengthCountsCharactersNotBytes) {
    // 24,995 Chinese characters (three bytes each) and five ASCII ones: the limit exactly.
    std::string chinese;
    for (int i = 0; i < 24995; ++i) chinese += "字";
    std::vector<PageLine> lines{{"a", chinese}, {"b", std::nullopt}, {"c", "<br>x"}};
    EXPECT_EQ(CountPageCharacters(lines), 25000u);
    EXPECT_EQ(checker_.CheckPageLength(lines), std::vector<Finding>{});
    // One more: the finding points at the first character past the limit.
    lines[2].html = "<br>x好的";
    const auto f = checker_.CheckPageLength(lines);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].rule, "page-too-long");
    EXPECT_EQ(f[0].line, 2);
    EXPECT_EQ(f[0].entry, "c");
    EXPECT_EQ(f[0].range.Of(*lines[2].html), "好的");
    EXPECT_EQ(f[0].detail, "整页 25,002 个字符，超出 2 个；从这一行起超出");

    // Too short: nothing at all, or four characters.
    for (const auto& short_page : {std::vector<PageLine>{}, std::vector<PageLine>{{"a", "<br>"}}}) {
        const auto s = checker_.CheckPageLength(short_page);
        ASSERT_EQ(s.size(), 1u);
        EXPECT_EQ(s[0].rule, "page-too-short");
        EXPECT_EQ(s[0].line, -1);
    }
    EXPECT_EQ(checker_.CheckPageLength({{"a", "<br>"}, {"b", "好"}}), std::vector<Finding>{});
}

TEST_F(CheckTest, ReportsAsJsonAndText) {
    const std::vector<PageLine> lines{{"栏目文字-炫黑", "<p>x</p>\r\n<p>天</p><div id=a onclick=\"go()\">" +
                                                        std::string(300, 'y') + "</div>"},
                                      {"自定义源码-101", std::nullopt}};
    const auto findings = checker_.CheckPage(lines);
    const auto json = nlohmann::json::parse(ReportJson(findings, lines, RuleSet::BuiltIn()));
    EXPECT_EQ(json["format"], "mojian-check");
    EXPECT_EQ(json["version"], 1);
    EXPECT_EQ(json["characters"], CountPageCharacters(lines));
    EXPECT_EQ(json["limit"], 25000);
    EXPECT_EQ(json["errors"], 3);  // the event, the width of the div's text, the empty line
    EXPECT_EQ(json["warnings"], 1);
    V seen;
    for (const auto& f : json["findings"]) seen.push_back(f["rule"].get<std::string>());
    EXPECT_EQ(seen, (V{"too-wide", "id-attribute", "event-attribute", "empty-line"}));
    const auto& event = json["findings"][2];
    EXPECT_EQ(event["severity"], "error");
    EXPECT_EQ(event["line"], 1);
    EXPECT_EQ(event["entry"], "栏目文字-炫黑");
    EXPECT_EQ(event["row"], 2);
    EXPECT_EQ(event["column"], 19);  // after "<p>天</p><div id=a "
    EXPECT_EQ(event["text"], "onclick=\"go()\"");
    EXPECT_EQ(event["detail"], "onclick");
    EXPECT_FALSE(event["explanation"].get<std::string>().empty());
    // A long range is quoted in part.
    const std::string wide = json["findings"][0]["text"];
    EXPECT_EQ(wide, "<div id=a onclick=\"go()\">");
    EXPECT_EQ(json["findings"][3]["line"], 2);

    const std::string text = ReportText(findings, lines, RuleSet::BuiltIn());
    EXPECT_NE(text.find("[错误] 第 1 行「栏目文字-炫黑」2:19 事件属性：onclick\n    "), std::string::npos) << text;
    EXPECT_NE(text.find("[错误] 第 2 行「自定义源码-101」"), std::string::npos);
    EXPECT_EQ(text.substr(text.rfind('\n', text.size() - 2) + 1), StatusText(Summarise(findings, CountPageCharacters(lines)), 25000) + "\n");

    // A page-wide finding has no line.
    const auto page = nlohmann::json::parse(ReportJson(checker_.CheckPage({}), {}, RuleSet::BuiltIn()));
    EXPECT_TRUE(page["findings"][0]["line"].is_null());
    EXPECT_TRUE(page["findings"][0]["entry"].is_null());
    EXPECT_EQ(ReportText({}, {{"a", "<p>好的</p>"}}, RuleSet::BuiltIn()), "没有发现问题。\n9 / 25,000 字 · 0 个错误 · 0 个提示\n");
}

TEST(CheckStatus, StatusBarWords) {
    EXPECT_EQ(StatusText({12345, 2, 5}, 25000), "12,345 / 25,000 字 · 2 个错误 · 5 个提示");
    EXPECT_EQ(StatusText({0, 0, 0}, 0), "0 字 · 0 个错误 · 0 个提示");
    EXPECT_EQ(GroupDigits(999), "999");
    EXPECT_EQ(GroupDigits(1000), "1,000");
    EXPECT_EQ(GroupDigits(1234567), "1,234,567");
}

}  // namespace
}  // namespace mojian::check
