// Filling a line in and finding and replacing across the page, on the page
// model: where the result goes, one undo step, refusals that change nothing.
#include "fill/PageFill.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "tests/compose/PageMirror.h"

namespace mojian::fill {
namespace {

using Names = std::vector<std::string>;

// Replaces the first `what` at or after `from` in `text`.
std::string ReplaceFirst(std::string text, std::string_view what, std::string_view with, std::size_t from = 0) {
    const std::size_t at = text.find(what, from);
    EXPECT_NE(at, std::string::npos) << what;
    if (at != std::string::npos) text.replace(at, what.size(), with);
    return text;
}

std::string ReplaceAll(std::string text, std::string_view what, std::string_view with) {
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + with.size()))
        text.replace(at, what.size(), with);
    return text;
}

std::size_t CountOf(std::string_view text, std::string_view what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string_view::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

std::size_t IndexOf(const FieldSet& set, FieldKind kind, std::string_view value, bool background = false) {
    for (std::size_t i = 0; i < set.fields.size(); ++i) {
        const Field& f = set.fields[i];
        if (f.kind == kind && f.background == background && (value.empty() || f.value == value)) return i;
    }
    ADD_FAILURE() << "no field " << value;
    return 0;
}

class PageFillTest : public mojian::testing::MirroredPageTest {
protected:
    int AddCustom(const std::string& text) { return Run(page.AddCustom(text)).newSource; }
};

TEST_F(PageFillTest, FillingABuiltInLineChangesThatLineInExactlyTheValuesFilledIn) {
    const std::string& block = BuiltInLibrary().Get(9, 5);
    Append({"搭配促销-样式6", "图片展示-样式1", "搭配促销-样式6"});
    page.Select(0);
    const std::string before = page.PageHtml();
    const std::size_t steps = page.UndoSteps();

    const std::optional<LineBlock> line = BlockOfLine(page, 0);
    ASSERT_TRUE(line.has_value());
    EXPECT_EQ(line->where, LineBlock::Where::BuiltIn);
    EXPECT_EQ(line->html, block);
    const FieldSet set = FindFields(line->html);
    const std::size_t name = IndexOf(set, FieldKind::Text, "请在此输入产品名称");
    const std::size_t price = IndexOf(set, FieldKind::Text, "￥158.00");
    const std::size_t picture = IndexOf(set, FieldKind::Picture, "");
    EXPECT_TRUE(set.fields[picture].placeholder);
    const std::string oldPicture = set.fields[picture].value;
    const std::vector<FieldValue> values{{name, "纯棉T恤 <男款> & 女款"},
                                         {price, "￥99.00"},
                                         {picture, "http://img.alicdn.com/imgextra/i1/123/my shirt.jpg"}};
    const PageChange change = FillLine(page, 0, set, values);
    ASSERT_FALSE(change.Refused());
    Run(change.effects);

    std::string filled = ReplaceFirst(block, "请在此输入产品名称", "纯棉T恤 &lt;男款&gt; &amp; 女款");
    filled = ReplaceFirst(filled, ">￥158.00<", ">￥99.00<");
    filled = ReplaceFirst(filled, oldPicture, "http://img.alicdn.com/imgextra/i1/123/my%20shirt.jpg");
    EXPECT_EQ(page.Lines(), (Names{"自定义源码-1", "图片展示-样式1", "搭配促销-样式6"}));
    EXPECT_EQ(page.LineHtml(0), filled);  // byte for byte, its CR LF included
    EXPECT_EQ(page.PageHtml(), filled + BuiltInLibrary().Get(1, 0) + block);
    EXPECT_EQ(page.Selected(), 0);
    EXPECT_EQ(page.UndoSteps(), steps + 1);
    ExpectMirrored();
    // the new line's own fields read back as typed
    const FieldSet again = FindFields(BlockOfLine(page, 0)->html);
    EXPECT_EQ(again.fields[name].value, "纯棉T恤 <男款> & 女款");
    EXPECT_FALSE(again.fields[picture].placeholder);

    Run(page.Undo());
    EXPECT_EQ(page.PageHtml(), before);
    EXPECT_EQ(page.CustomCounter(), 0);
    ExpectMirrored();
}

TEST_F(PageFillTest, FillingACustomSourceRewritesItsTextAndAnEditedBlockLineGetsItsOwnCopy) {
    const int n = AddCustom("<p>店名：某某旗舰店</p>\r\n<img src=\"C:\\图片\\a.jpg\">");
    Append({"图片展示-样式2"});
    const std::string edited = "<p>改过的块</p>";
    Run(page.SetBlock(1, 1, edited));
    const std::size_t steps = page.UndoSteps();

    FieldSet set = FindFields(BlockOfLine(page, 0)->html);
    ASSERT_EQ(set.fields.size(), 2u);
    EXPECT_TRUE(set.fields[1].localFile);
    PageChange change = FillLine(page, 0, set, std::vector<FieldValue>{{0, "店名：小店 \U0001F525"}});
    Run(change.effects);
    EXPECT_EQ(*page.CustomText(n), "<p>店名：小店 \U0001F525</p>\r\n<img src=\"C:\\图片\\a.jpg\">");
    // the file holds GBK, the emoji as a reference that reads back the same
    EXPECT_EQ(page.LineHtml(0), "<p>店名：小店 &#x1F525;</p>\r\n<img src=\"C:\\图片\\a.jpg\">\r\n");
    EXPECT_EQ(FindFields(*page.LineHtml(0)).fields[0].value, "店名：小店 \U0001F525");
    EXPECT_EQ(page.Lines().size(), 2u);
    EXPECT_EQ(page.CustomCounter(), n);
    EXPECT_EQ(page.UndoSteps(), steps + 1);

    // the same values again change nothing and make no step
    set = FindFields(BlockOfLine(page, 0)->html);
    EXPECT_FALSE(FillLine(page, 0, set, std::vector<FieldValue>{{0, set.fields[0].value}}).effects.Applied());
    EXPECT_EQ(page.UndoSteps(), steps + 1);

    // an edited block's line takes the edited text, without a CR LF to keep
    set = FindFields(BlockOfLine(page, 1)->html);
    EXPECT_TRUE(BlockOfLine(page, 1)->edited);
    Run(FillLine(page, 1, set, std::vector<FieldValue>{{0, "我的块"}}).effects);
    EXPECT_EQ(page.Lines()[1], "自定义源码-2");
    EXPECT_EQ(*page.CustomText(2), "<p>我的块</p>");
    EXPECT_EQ(page.GetBlock(1, 1), edited);  // the block itself is as it was
    ExpectMirrored();
}

TEST_F(PageFillTest, TheSellersBlockIsFilledAndReplacedInThePagesCopyWithoutANewNumber) {
    Run(page.AddMine("店铺承诺", "<p>店名：某某旗舰店</p><a href=\"https://a.taobao.com/\">进店</a>"));
    Append({"我的模块-店铺承诺"});
    FieldSet set = FindFields(BlockOfLine(page, 1)->html);
    EXPECT_EQ(BlockOfLine(page, 1)->where, LineBlock::Where::Mine);
    Run(FillLine(page, 1, set, std::vector<FieldValue>{{0, "店名：小店"}}).effects);
    const std::string filled = "<p>店名：小店</p><a href=\"https://a.taobao.com/\">进店</a>";
    EXPECT_EQ(*page.LineHtml(0), filled);  // both lines: one copy per page
    EXPECT_EQ(page.Lines(), (Names{"我的模块-店铺承诺", "我的模块-店铺承诺"}));
    EXPECT_EQ(page.CustomCounter(), 0);

    const FindQuery query{FieldKind::Link, "https://a.taobao.com/", true};
    EXPECT_EQ(FindInPage(page, query).numbersNeeded, 0);
    const PageChange change = ReplaceInPage(page, query, "https://b.taobao.com/");
    Run(change.effects);
    EXPECT_EQ(change.linesChanged, 2u);
    EXPECT_EQ(*page.LineHtml(1), "<p>店名：小店</p><a href=\"https://b.taobao.com/\">进店</a>");
    Run(page.Undo());
    EXPECT_EQ(*page.LineHtml(1), filled);
    ExpectMirrored();
}

TEST_F(PageFillTest, WithoutAFreeNumberFillingIsRefusedAndChangesNothing) {
    for (int i = 1; i <= 100; ++i) AddCustom("<p>" + std::to_string(i) + "</p>");
    Append({"售后说明-样式1", "自定义源码-101", "自定义源码-7"});
    const PageData before = page.Snapshot();
    const std::size_t steps = page.UndoSteps();

    const FieldSet set = FindFields(BlockOfLine(page, 100)->html);
    const PageChange refused = FillLine(page, 100, set, std::vector<FieldValue>{{0, "新的说明"}});
    EXPECT_EQ(refused.error, FillError::NoFreeNumber);
    EXPECT_EQ(refused.effects.outcome, Outcome::NoFreeNumber);
    EXPECT_EQ(page.Snapshot(), before);
    EXPECT_EQ(page.UndoSteps(), steps);
    EXPECT_EQ(RefusalMessage(refused),
              "需要新建 1 个自定义源码，但自定义源码编号只剩 0 个（最多 100 个），页面没有改动。\r\n"
              "可以先保存排版再重新打开，编号会从 1 重新排起。");

    // a custom source needs no number
    EXPECT_TRUE(FillLine(page, 102, FindFields("<p>7</p>"), std::vector<FieldValue>{{0, "七"}}).effects.Applied());
    // lines that show no block have nothing to fill
    for (const std::size_t line : {std::size_t{101}, std::size_t{103}}) {
        const PageChange nothing = ApplyFilledBlock(page, line, "<p>x</p>");
        EXPECT_EQ(nothing.error, FillError::NothingToFill);
        EXPECT_EQ(RefusalMessage(nothing), "这一行没有可以填写的模块内容。");
    }
}

// A page of 50 blocks with the shop's link in built-in blocks, custom
// sources and an edited block, and the same address as text and as a picture.
class ShopLinkPage : public PageFillTest {
protected:
    static constexpr const char* kOld = "http://shop.taobao.com/";
    static constexpr const char* kNew = "https://xiaodian.taobao.com/?from=desc&tab=1";

    // the kinds without the shop's link
    static constexpr int kOthers[] = {0, 1, 2, 3, 4, 6, 8, 9};

    void SetUp() override {
        PageFillTest::SetUp();
        const std::string custom = std::string("<p>本店地址 ") + kOld + " 欢迎光临</p>\r\n<a href=\"" + kOld +
                                   "\"><img src=\"" + kOld + "logo.jpg\"></a><a href='" + kOld + "'>进店</a>";
        Run(page.SetBlock(7, 0, "<a href=" + std::string(kOld) + ">店铺首页</a><br>\r\n"));
        for (int i = 0; i < 50; ++i) {
            if (i % 10 == 3) AddCustom(custom);
            else if (i % 10 == 6) Append({"关联营销-样式2"});  // the built-in block with the shop's link
            else if (i % 20 == 8) Append({"售后说明-样式1"});  // edited, with the link
            else Append({EntryName(kOthers[i % std::size(kOthers)], i % 3)});
        }
    }
};

TEST_F(ShopLinkPage, FindAndReplaceOfTheShopLinkChangesEveryOccurrenceAndNothingElse) {
    const FindQuery query{FieldKind::Link, kOld, true};
    std::vector<std::string> before;
    std::size_t occurrences = 0;
    for (std::size_t i = 0; i < page.Lines().size(); ++i) {
        before.emplace_back(*page.LineHtml(i));
        occurrences += CountOf(before.back(), std::string("href=\"") + kOld + "\"") +
                       CountOf(before.back(), std::string("href='") + kOld + "'") +
                       CountOf(before.back(), std::string("href=") + kOld + ">");
    }
    const std::size_t steps = page.UndoSteps();

    const PageFind find = FindInPage(page, query);
    EXPECT_EQ(find.matches.size(), occurrences);
    EXPECT_EQ(find.lines, 5u + 5u + 3u);
    EXPECT_EQ(find.numbersNeeded, 5);  // the five built-in lines; custom sources and the edited block need none
    EXPECT_TRUE(find.CanReplace());
    EXPECT_EQ(find.matches[0].line, 3u);
    EXPECT_EQ(find.matches[0].entry, "自定义源码-1");
    const PageMatch& m = find.matches[0];
    EXPECT_EQ(m.context.substr(m.matchBegin, m.matchEnd - m.matchBegin), kOld);
    EXPECT_EQ(FoundMessage(find), "找到 " + std::to_string(occurrences) +
                                      " 处，在 13 行中。替换时其中 5 行内置模块会转为自定义源码。");

    const PageChange change = ReplaceInPage(page, query, kNew);
    ASSERT_FALSE(change.Refused());
    Run(change.effects);
    EXPECT_EQ(change.replaced, occurrences);
    EXPECT_EQ(change.linesChanged, 13u);
    EXPECT_EQ(ReplacedMessage(change), "已替换 " + std::to_string(occurrences) + " 处，改动了 13 行。");
    EXPECT_EQ(page.UndoSteps(), steps + 1);
    ExpectMirrored();

    const std::string escaped = "https://xiaodian.taobao.com/?from=desc&amp;tab=1";
    for (std::size_t i = 0; i < page.Lines().size(); ++i) {
        std::string expected = ReplaceAll(before[i], std::string("href=\"") + kOld + "\"", "href=\"" + escaped + "\"");
        expected = ReplaceAll(expected, std::string("href='") + kOld + "'", "href='" + escaped + "'");
        expected = ReplaceAll(expected, std::string("href=") + kOld + ">", "href=\"" + escaped + "\">");
        EXPECT_EQ(page.LineHtml(i), expected) << i << " " << page.Lines()[i];
    }
    // the built-in lines got a custom source each; the edited block changed once for both its lines
    EXPECT_EQ(page.CustomCounter(), 10);
    EXPECT_EQ(page.Lines()[6], "自定义源码-6");
    EXPECT_EQ(page.Lines()[16], "自定义源码-7");
    EXPECT_EQ(page.Lines()[8], "售后说明-样式1");
    EXPECT_TRUE(FindInPage(page, query).matches.empty());

    Run(page.Undo());
    for (std::size_t i = 0; i < page.Lines().size(); ++i) EXPECT_EQ(page.LineHtml(i), before[i]);
    ExpectMirrored();
}

TEST_F(ShopLinkPage, ReplacingIsRefusedWhenTooFewNumbersAreLeftForTheBuiltInLines) {
    while (page.FreeCustomNumbers() > 4) Run(page.NewCustomSource("<p>占用</p>"));
    const FindQuery query{FieldKind::Link, kOld, true};
    const PageFind find = FindInPage(page, query);
    EXPECT_FALSE(find.CanReplace());
    EXPECT_EQ(FoundMessage(find), "找到 " + std::to_string(find.matches.size()) +
                                      " 处，在 13 行中。替换时其中 5 行内置模块会转为自定义源码。但自定义源码编号只剩 4 个，无法替换。");
    const PageData before = page.Snapshot();
    const std::size_t steps = page.UndoSteps();
    const PageChange refused = ReplaceInPage(page, query, kNew);
    EXPECT_EQ(refused.error, FillError::NoFreeNumber);
    EXPECT_EQ(refused.numbersNeeded, 5);
    EXPECT_EQ(refused.numbersFree, 4);
    EXPECT_EQ(refused.effects.outcome, Outcome::NoFreeNumber);
    EXPECT_EQ(page.Snapshot(), before);
    EXPECT_EQ(page.UndoSteps(), steps);

    // a replacement that changes nothing needs no number
    const PageChange same = ReplaceInPage(page, query, kOld);
    EXPECT_FALSE(same.Refused());
    EXPECT_FALSE(same.effects.Applied());
    EXPECT_EQ(page.UndoSteps(), steps);

    // texts and pictures are searched apart from links
    EXPECT_EQ(FindInPage(page, {FieldKind::Text, kOld, true}).matches.size(), 5u);
    EXPECT_EQ(FindInPage(page, {FieldKind::Picture, "SHOP.TAOBAO", false}).matches.size(), 5u);
    EXPECT_EQ(NotFoundMessage({FieldKind::Picture, "无此地址", true}), "图片地址中没有找到“无此地址”。");
    // what is not found changes nothing
    EXPECT_FALSE(ReplaceInPage(page, {FieldKind::Text, "无此文字", true}, "x").effects.Applied());
    EXPECT_EQ(page.UndoSteps(), steps);
}

TEST_F(PageFillTest, FindListsEachLineOfABlockWithContextCutAroundTheMatch) {
    AddCustom("<p>一二三四五六七八九十一二三四五六七八九十 店名 一二三四五六七八九十一二三四五六七八九十</p>"
              "<p>店名</p>");
    Append({"自定义源码-1", "自定义源码-101"});
    const PageFind find = FindInPage(page, {FieldKind::Text, "店名", true});
    ASSERT_EQ(find.matches.size(), 4u);
    EXPECT_EQ(find.lines, 2u);
    EXPECT_EQ(find.matches[0].context, "…七八九十一二三四五六七八九十 店名 一二三四五六七八九十一二三四…");
    EXPECT_EQ(find.matches[0].context.substr(find.matches[0].matchBegin, 6), "店名");
    EXPECT_EQ(find.matches[1].context, "店名");
    EXPECT_EQ(find.matches[2].line, 1u);
    EXPECT_EQ(find.matches[3].entry, "自定义源码-1");
    // one custom source on two lines is rewritten once
    const PageChange change = ReplaceInPage(page, {FieldKind::Text, "店名", true}, "小店");
    Run(change.effects);
    EXPECT_EQ(change.replaced, 4u);
    EXPECT_EQ(page.CustomCounter(), 1);
    EXPECT_EQ(CountOf(*page.CustomText(1), "小店"), 2u);
    ExpectMirrored();
}

}  // namespace
}  // namespace mojian::fill
