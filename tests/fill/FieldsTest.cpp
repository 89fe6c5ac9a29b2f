// Finding a block's fields: what counts as a field, what each one says, and
// the bytes it stands for.
#include "fill/Fields.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::fill {
namespace {

std::vector<std::string> Values(const FieldSet& set, FieldKind kind) {
    std::vector<std::string> values;
    for (const Field& f : set.fields)
        if (f.kind == kind) values.push_back(f.value);
    return values;
}

const Field& Nth(const FieldSet& set, FieldKind kind, std::size_t n) {
    for (const Field& f : set.fields)
        if (f.kind == kind && n-- == 0) return f;
    ADD_FAILURE() << "not that many fields";
    static const Field none;
    return none;
}

using Strings = std::vector<std::string>;

TEST(FindFields, TextsAreWhatABrowserShowsInTheOrderItShowsThem) {
    const std::string html =
        "<!-- 注释 --><style>td{color:red}</style><title>标题</title>\r\n"
        "<table><tr><td>  产品名称：<b>请在此输入产品名称</b>  </td><td>&nbsp;&#12288; </td></tr>"
        "文字在表格里</table>\r\n"
        "<script>var a = \"<b>no</b>\";</script><noscript>请开启脚本</noscript>"
        "<div style=\"display:none\">隐藏的<b>字</b></div><p hidden>也隐藏</p>"
        "<p>第一行\r\n   第二行 &amp; 更多&lt;</p>"
        "<pre>  保留\r\n  换行 </pre><textarea>a&lt;b\nc</textarea><xmp><b>原样</b></xmp>";
    const FieldSet set = FindFields(html);
    // the text written inside the table shows before it
    EXPECT_EQ(Values(set, FieldKind::Text), (Strings{"文字在表格里", "产品名称：", "请在此输入产品名称",
                                                     "第一行 第二行 & 更多<", "保留\n  换行", "a<b\nc"}));
    EXPECT_EQ(set.texts, 6u);
    EXPECT_EQ(set.Count(FieldKind::Text), 6u);

    // the range leaves the white space at the ends where it was
    const Field& name = Nth(set, FieldKind::Text, 1);
    EXPECT_EQ(name.range.Of(html), "产品名称：");
    EXPECT_FALSE(name.keepsLineBreaks);
    EXPECT_EQ(Nth(set, FieldKind::Text, 3).range.Of(html), "第一行\r\n   第二行 &amp; 更多&lt;");
    EXPECT_TRUE(Nth(set, FieldKind::Text, 4).keepsLineBreaks);
    EXPECT_TRUE(Nth(set, FieldKind::Text, 5).keepsLineBreaks);
}

TEST(FindFields, PicturesKnowTheirAddressAltTextAndSize) {
    const std::string html =
        "<table width=\"750\"><tr>"
        "<td width=\"375\"><img src=\"http://img.cn/a.jpg\" width=\"210\" height=\"210\" alt=\"商品图 210*210\"></td>"
        "<td width=\"375\" background='http://img.cn/bg.jpg'><div style=\"height:40px\">背景</div></td></tr></table>"
        "<img src=http://img.cn/full.jpg width=\"100%\">"
        "<img src=\"http://img.cn/own.jpg\">"
        "<img style=\"width:120px;height:80px\" alt=\"空\">"
        "<img src=\"C:\\Users\\店主\\图片\\主图.jpg\" width=50 height=50>"
        "<img src=\"file:///D:/x.png\"><img src=\"\\\\nas\\share\\y.png\"><img src=\"//img.cn/z.png\">";
    const FieldSet set = FindFields(html);
    ASSERT_EQ(set.pictures, 9u);

    const Field& a = Nth(set, FieldKind::Picture, 0);
    EXPECT_EQ(a.value, "http://img.cn/a.jpg");
    EXPECT_EQ(a.range.Of(html), "http://img.cn/a.jpg");
    EXPECT_EQ(a.quote, html::Quote::Double);
    EXPECT_EQ(a.alt, "商品图 210*210");
    EXPECT_EQ(a.width, 210);
    EXPECT_EQ(a.height, 210);
    EXPECT_FALSE(a.measured);

    // a cell's background fills the cell: its height comes from the layout
    const Field& bg = Nth(set, FieldKind::Picture, 1);
    EXPECT_TRUE(bg.background);
    EXPECT_EQ(bg.value, "http://img.cn/bg.jpg");
    EXPECT_EQ(bg.quote, html::Quote::Single);
    EXPECT_EQ(bg.width, 375);
    EXPECT_GE(bg.height, 40);
    EXPECT_TRUE(bg.measured);

    // a percentage is measured; a side nobody gives is the picture's own
    const Field& full = Nth(set, FieldKind::Picture, 2);
    EXPECT_EQ(full.quote, html::Quote::Unquoted);
    EXPECT_EQ(full.width, 750);
    EXPECT_EQ(full.height, 0);
    EXPECT_TRUE(full.measured);
    const Field& own = Nth(set, FieldKind::Picture, 3);
    EXPECT_EQ(own.width, 0);
    EXPECT_EQ(own.height, 0);

    // no src: the field is where one would go
    const Field& none = Nth(set, FieldKind::Picture, 4);
    EXPECT_TRUE(none.missingAttribute);
    EXPECT_EQ(none.value, "");
    EXPECT_EQ(none.range.begin, html.find("<img style") + 4);
    EXPECT_TRUE(none.range.empty());
    EXPECT_EQ(none.width, 120);
    EXPECT_EQ(none.height, 80);

    // found without measuring, the same sizes come when measured later
    FieldSet later = FindFields(html, FindOptions{false, true});
    EXPECT_TRUE(later.fields[3].widthPending);  // 100%
    EXPECT_TRUE(later.fields[1].heightPending);
    EXPECT_FALSE(later.fields[1].widthPending);
    MeasurePictures(html, later);
    for (std::size_t i = 0; i < set.fields.size(); ++i) {
        EXPECT_EQ(later.fields[i].width, set.fields[i].width) << i;
        EXPECT_EQ(later.fields[i].height, set.fields[i].height) << i;
        EXPECT_FALSE(later.fields[i].widthPending || later.fields[i].heightPending) << i;
    }

    std::vector<bool> local;
    for (std::size_t i = 5; i < 9; ++i) local.push_back(Nth(set, FieldKind::Picture, i).localFile);
    EXPECT_EQ(local, (std::vector<bool>{true, true, true, false}));
    EXPECT_FALSE(a.localFile);
}

TEST(FindFields, LinksAreAnchorAndAreaAddressesAnywhereThePageHasThem) {
    const std::string html =
        "<a name=\"top\">锚点</a><a href=\"http://shop.taobao.com/?a=1&amp;b=2\"><img src=\"x.jpg\"></a>"
        "<map name=\"m\"><area href='http://item.taobao.com/item.htm?id=1' shape=rect></map>"
        "<a href>空</a><A HREF=http://UPPER.cn/>大写</A>";
    const FieldSet set = FindFields(html);
    EXPECT_EQ(Values(set, FieldKind::Link), (Strings{"http://shop.taobao.com/?a=1&b=2", "http://item.taobao.com/item.htm?id=1",
                                                     "", "http://UPPER.cn/"}));
    EXPECT_EQ(Nth(set, FieldKind::Link, 0).range.Of(html), "http://shop.taobao.com/?a=1&amp;b=2");
    EXPECT_EQ(Nth(set, FieldKind::Link, 2).quote, html::Quote::None);
    EXPECT_EQ(Nth(set, FieldKind::Link, 3).quote, html::Quote::Unquoted);
    // the picture inside the first link comes right after it
    EXPECT_EQ(set.fields[1].kind, FieldKind::Link);
    EXPECT_EQ(set.fields[2].kind, FieldKind::Picture);
}

TEST(FindFields, MalformedHtmlStillGivesTheFieldsABrowserShows) {
    const std::string html = "<table><tr><td>价格 < 100 & 包邮<td><b>未闭合<i>嵌套</b>尾巴"
                             "<img src=\"http://a.cn/x.jpg alt=坏><a href='http://b.cn/>链接";
    const FieldSet set = FindFields(html);
    EXPECT_EQ(Values(set, FieldKind::Text), (Strings{"价格 < 100 & 包邮", "未闭合", "嵌套", "尾巴"}));
    // the unclosed quote runs to the end of the source, and browsers drop
    // a tag the end cuts short: no picture
    EXPECT_EQ(set.pictures, 0u);
    EXPECT_EQ(set.fields.size(), 4u);
    for (const Field& f : set.fields) EXPECT_LE(f.range.end, html.size());
}

TEST(FindFields, PlaceholdersAreValuesStillFromTheBuiltInBlocks) {
    const std::string& block = BuiltInLibrary().Get(9, 5);  // 搭配促销-样式6
    const FieldSet set = FindFields(block);
    ASSERT_GT(set.fields.size(), 10u);
    for (const Field& f : set.fields) EXPECT_TRUE(f.placeholder) << f.value;

    const FieldSet own = FindFields("<img src=\"http://my.shop/a.jpg\">" + block.substr(0, block.find("<TD width=\"36\"")));
    EXPECT_FALSE(own.fields[0].placeholder);
    EXPECT_TRUE(own.fields[1].placeholder);
    EXPECT_FALSE(FindFields(block, FindOptions{true, false}).fields[0].placeholder);
}

TEST(FindFields, HintsAreTheNeighbouringTextsCutToADozenCharacters) {
    const std::string html = "<td>单价 <span>￥158.00</span></td><img src=a.jpg>"
                             "<p>一二三四五六七八九十壹贰叁肆</p><p>末尾</p>";
    const FieldSet set = FindFields(html);
    ASSERT_EQ(set.fields.size(), 5u);
    const FieldHint price = HintFor(set, 1);
    EXPECT_EQ(price.before, "单价");
    EXPECT_EQ(price.after, "一二三四五六七八九十壹贰");
    const FieldHint last = HintFor(set, 4);
    EXPECT_EQ(last.before, "三四五六七八九十壹贰叁肆");
    EXPECT_EQ(last.after, "");
    EXPECT_EQ(HintFor(set, 0).before, "");
    EXPECT_EQ(HintFor(set, 99).before, "");
}

TEST(FindFields, EveryBuiltInBlockHasFieldsThatStandForTheirOwnBytes) {
    for (int kind = 0; kind < kKindCount; ++kind) {
        for (int style = 0; style < kStyleCounts[static_cast<std::size_t>(kind)]; ++style) {
            const std::string& block = BuiltInLibrary().Get(kind, style);
            const FieldSet set = FindFields(block);
            SCOPED_TRACE(EntryName(kind, style));
            // picture showcases and review appeals may be pictures alone; size
            // charts and after-sales notes texts alone
            EXPECT_GT(set.texts + set.pictures, 0u);
            if (kind != 2 && kind != 7) {
                EXPECT_GT(set.pictures, 0u);
            }
            std::vector<html::SourceRange> ranges;
            for (const Field& f : set.fields) {
                ranges.push_back(f.range);
                if (f.kind == FieldKind::Picture && !f.background) {
                    EXPECT_GT(f.width, 0) << f.value;
                    EXPECT_GT(f.height, 0) << f.value;
                }
            }
            std::sort(ranges.begin(), ranges.end(),
                      [](const html::SourceRange& a, const html::SourceRange& b) { return a.begin < b.begin; });
            for (std::size_t i = 1; i < ranges.size(); ++i) EXPECT_LE(ranges[i - 1].end, ranges[i].begin);
        }
    }
}

TEST(Addresses, AreWrittenAsBrowsersReadThem) {
    EXPECT_EQ(AddressAsWritten("  http://img.cn/my pic.jpg\r\n"), "http://img.cn/my%20pic.jpg");
    EXPECT_EQ(AddressAsWritten("http://img.cn/a\tb.jpg"), "http://img.cn/ab.jpg");
    EXPECT_EQ(AddressAsWritten("C:\\我的 图片\\a b.jpg "), "C:\\我的 图片\\a b.jpg");
    EXPECT_EQ(AddressAsWritten("   "), "");
    EXPECT_EQ(AddressAsWritten("a b", true), "a b");
    EXPECT_EQ(AddressAsWritten("a b", false), "a%20b");

    EXPECT_TRUE(IsLocalAddress("c:/a.jpg"));
    EXPECT_TRUE(IsLocalAddress(" FILE://server/a.jpg"));
    EXPECT_TRUE(IsLocalAddress("\\\\nas\\a.jpg"));
    EXPECT_FALSE(IsLocalAddress("https://img.cn/a.jpg"));
    EXPECT_FALSE(IsLocalAddress("images/a.jpg"));
}

}  // namespace
}  // namespace mojian::fill
