// Filling fields in and replacing inside a block: the new values read back
// as typed, and every byte the seller did not change stays as it was.
#include "fill/Fill.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::fill {
namespace {

// What a field reads back as once `typed` is written into it.
std::string ReadsBackAs(const Field& f, const std::string& typed) {
    return f.kind == FieldKind::Text ? typed : AddressAsWritten(typed);
}

// Fills `values` into `html` and checks the result: the same fields in the
// same order, the filled ones reading back as typed, the others unchanged,
// and the bytes between fields exactly as they were.
std::string FillAndCheck(const std::string& html, const FieldSet& set, const std::vector<FieldValue>& values,
                         bool sameBytesBetween = true) {
    const std::string filled = FillFields(html, set, values);
    const FieldSet again = FindFields(filled, FindOptions{false, false});
    EXPECT_EQ(again.fields.size(), set.fields.size());
    if (again.fields.size() != set.fields.size()) return filled;
    std::vector<std::string> expected;
    for (const Field& f : set.fields) expected.push_back(f.value);
    for (const FieldValue& v : values) expected[v.field] = ReadsBackAs(set.fields[v.field], v.value);
    for (std::size_t i = 0; i < set.fields.size(); ++i) {
        EXPECT_EQ(again.fields[i].kind, set.fields[i].kind) << i;
        EXPECT_EQ(again.fields[i].value, expected[i]) << i;
    }
    if (!sameBytesBetween) return filled;
    std::vector<std::size_t> order(set.fields.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return set.fields[a].range.begin < set.fields[b].range.begin; });
    std::size_t before = 0, after = 0;
    for (const std::size_t i : order) {
        const html::SourceRange o = set.fields[i].range, n = again.fields[i].range;
        EXPECT_EQ(filled.substr(after, n.begin - after), html.substr(before, o.begin - before)) << "before field " << i;
        before = o.end;
        after = n.end;
    }
    EXPECT_EQ(filled.substr(after), html.substr(before));
    return filled;
}

// Values with everything that needs escaping, and characters GBK lacks.
std::string TrickyValue(const Field& f, std::size_t i) {
    if (f.kind == FieldKind::Text) return "新<b>文字</b>&amp;\"双\"'单'\U0001F525#" + std::to_string(i);
    return "http://img.cn/新 图/\"q\"'a'?x=1&y=<" + std::to_string(i) + ">";
}

TEST(FillFields, EveryFieldOfEveryBuiltInBlockTakesAnyValueAndTouchesNothingElse) {
    for (int kind = 0; kind < kKindCount; ++kind) {
        for (int style = 0; style < kStyleCounts[static_cast<std::size_t>(kind)]; ++style) {
            SCOPED_TRACE(EntryName(kind, style));
            const std::string& block = BuiltInLibrary().Get(kind, style);
            const FieldSet set = FindFields(block, FindOptions{false, false});
            std::vector<FieldValue> values;
            for (std::size_t i = 0; i < set.fields.size(); ++i) values.push_back({i, TrickyValue(set.fields[i], i)});
            FillAndCheck(block, set, values);
            // and a value given back unchanged writes nothing
            std::vector<FieldValue> same;
            for (std::size_t i = 0; i < set.fields.size(); ++i) same.push_back({i, set.fields[i].value});
            EXPECT_TRUE(FillEdits(set, same).empty());
        }
    }
}

TEST(FillFields, LineBreaksInAnOrdinaryTextBecomeBreaksAndStayInPreformattedText) {
    const std::string html = "<td>\r\n\t请在此输入产品名称\r\n</td><pre>代码</pre>";
    const FieldSet set = FindFields(html);
    const std::vector<FieldValue> values{{0, "第一行\r\n第二行"}, {1, "一\r\n二"}};
    EXPECT_EQ(FillFields(html, set, values), "<td>\r\n\t第一行<br>第二行\r\n</td><pre>一\r\n二</pre>");
}

TEST(FillFields, AttributesKeepTheirQuotesGetThemWhenNeededOrAreAddedWhenMissing) {
    const std::string html = "<a href=http://a.cn/x>x</a><a href='http://b.cn'>b</a><a href>c</a>"
                             "<img src=http://a.cn/y.jpg><img width=10 alt=\"无\">";
    const FieldSet set = FindFields(html);
    ASSERT_EQ(set.fields.size(), 8u);
    // fields: link, text, link, text, link, text, picture, picture
    EXPECT_EQ(FillFields(html, set, std::vector<FieldValue>{{0, "http://new.cn/?a&b"}}),
              "<a href=http://new.cn/?a&amp;b>x</a>" + html.substr(html.find("<a href='")));
    EXPECT_EQ(FillFields(html, set, std::vector<FieldValue>{{0, "http://new.cn/?a=1"}}).substr(0, 29),
              "<a href=\"http://new.cn/?a=1\">");
    EXPECT_EQ(FillFields(html, set, std::vector<FieldValue>{{0, "http://new.cn/it's here"}}).substr(0, 45),
              "<a href=\"http://new.cn/it's%20here\">x</a><a h");
    EXPECT_EQ(FillFields(html, set, std::vector<FieldValue>{{2, "http://b.cn/'q'"}}),
              "<a href=http://a.cn/x>x</a><a href='http://b.cn/&#39;q&#39;'>b</a>" + html.substr(html.find("<a href>")));
    const std::string filled = FillFields(html, set, std::vector<FieldValue>{{4, "c.htm"}, {7, "D:\\图 片\\z.jpg"}});
    EXPECT_NE(filled.find("<a href=\"c.htm\">c</a>"), std::string::npos);
    EXPECT_NE(filled.find("<img src=\"D:\\图 片\\z.jpg\" width=10 alt=\"无\">"), std::string::npos);
    const FieldSet again = FindFields(filled);
    EXPECT_TRUE(again.fields[7].localFile);
    EXPECT_FALSE(again.fields[7].missingAttribute);
    // an empty address for a picture without one adds nothing
    EXPECT_EQ(FillFields(html, set, std::vector<FieldValue>{{7, "  "}}), html);
    // the last value given for a field wins; fields out of range are ignored
    EXPECT_EQ(FillFields(html, set, std::vector<FieldValue>{{1, "甲"}, {1, "乙"}, {99, "丙"}}),
              "<a href=http://a.cn/x>乙</a>" + html.substr(html.find("<a href='")));
}

TEST(FillFields, ABigCustomSourceWithThousandsOfFieldsIsFilledWithoutTouchingTheRest) {
    std::string html;
    for (int i = 0; html.size() < (1u << 20); ++i) html += BuiltInLibrary().Get(i % kKindCount, i % 3);
    const FieldSet set = FindFields(html);
    ASSERT_GT(set.fields.size(), 5000u);
    std::vector<FieldValue> values;
    for (std::size_t i = 0; i < set.fields.size(); i += 97) values.push_back({i, TrickyValue(set.fields[i], i)});
    FillAndCheck(html, set, values);
}

TEST(MatchFields, FindsDecodedValuesOfOneKindWithoutOverlaps) {
    const std::string html = "<a href=\"http://x.cn/?a=1&amp;b=2&amp;c\">店铺 aaa AAA</a><img src=\"http://x.cn/a.jpg\">";
    const FieldSet set = FindFields(html);
    const auto links = MatchFields(set, {FieldKind::Link, "&", true});
    ASSERT_EQ(links.size(), 2u);
    EXPECT_EQ(links[0].field, 0u);
    EXPECT_EQ(set.fields[0].value.substr(links[0].begin, 3), "&b=");
    EXPECT_EQ(MatchFields(set, {FieldKind::Text, "aa", true}).size(), 1u);
    EXPECT_EQ(MatchFields(set, {FieldKind::Text, "aa", false}).size(), 2u);
    EXPECT_EQ(MatchFields(set, {FieldKind::Picture, "X.CN", false}).size(), 1u);
    EXPECT_EQ(MatchFields(set, {FieldKind::Picture, "X.CN", true}).size(), 0u);
    EXPECT_TRUE(MatchFields(set, {FieldKind::Text, "", true}).empty());
}

std::string Replace(const std::string& html, const FindQuery& query, std::string_view replacement) {
    const FieldSet set = FindFields(html);
    return ApplyEdits(html, ReplaceEdits(html, set, MatchFields(set, query), replacement));
}

TEST(ReplaceEdits, ReplaceOnlyTheMatchedBytesEscapedForWhereTheyStand) {
    // the other references in the address stay as written
    const std::string ww = "<a href=\"http://www.taobao.com/webww/ww.php?ver=3&amp;touid=请输入旺旺名&amp;siteid=cntaobao\">"
                           "请输入旺旺名</a>";
    EXPECT_EQ(Replace(ww, {FieldKind::Link, "请输入旺旺名", true}, "小店 A&B"),
              "<a href=\"http://www.taobao.com/webww/ww.php?ver=3&amp;touid=小店%20A&amp;B&amp;siteid=cntaobao\">"
              "请输入旺旺名</a>");
    // text across collapsed white space and references
    EXPECT_EQ(Replace("<p>欢迎光临\r\n   某某&nbsp;旗舰店！<b>某某</b></p>", {FieldKind::Text, "光临 某某\u00A0旗舰店", true}, "<新店>"),
              "<p>欢迎&lt;新店&gt;！<b>某某</b></p>");
    EXPECT_EQ(Replace("<p>A&amp;B a&amp;b</p>", {FieldKind::Text, "&", true}, "和\n"), "<p>A和<br>B a和<br>b</p>");
    // a match inside a reference takes in the whole reference
    EXPECT_EQ(Replace("<p>x&nbspy</p>", {FieldKind::Text, "y", true}, "z"), "<p>x\u00A0z</p>");
    // an unquoted address that can stay so, and one that cannot
    EXPECT_EQ(Replace("<img src=http://a.cn/x.jpg>", {FieldKind::Picture, "a.cn", true}, "b.cn"),
              "<img src=http://b.cn/x.jpg>");
    EXPECT_EQ(Replace("<img src=http://a.cn/x.jpg?a&amp;b>", {FieldKind::Picture, "x.jpg", true}, "y.jpg?q=1"),
              "<img src=\"http://a.cn/y.jpg?q=1?a&amp;b\">");
    EXPECT_EQ(Replace("<img src='http://a.cn/x.jpg'>", {FieldKind::Picture, "x", false}, "it's"),
              "<img src='http://a.cn/it&#39;s.jpg'>");
}

// Light fuzzing: blocks broken at random, random fields filled with random
// values; the filled fields read back as typed and the others as they were.
TEST(FillFields, RandomlyBrokenBlocksTakeRandomValues) {
    std::mt19937 random(20240518);
    const std::string junk[] = {"<", ">", "&", "\"", "'", "=", "</td>", "<b>", "<!--", "&amp", "<img src=x",
                                "<a href=", "<table>", "</tr>", "\r\n", " ", "<pre>", "<textarea>"};
    const std::string letters[] = {"价", "格", "<", ">", "&", "\"", "'", "=", ";", "#", "x1F", "\U0001F525", "a", "Z",
                                   "9", "/", "amp"};
    for (int round = 0; round < 300; ++round) {
        const int k = static_cast<int>(random() % kKindCount);
        std::string html = BuiltInLibrary().Get(k, static_cast<int>(random() % static_cast<unsigned>(kStyleCounts[static_cast<std::size_t>(k)])));
        for (int cuts = static_cast<int>(random() % 6); cuts > 0; --cuts) {
            const std::size_t at = random() % html.size();
            html.erase(at, random() % 40);
            html.insert(std::min(at, html.size()), junk[random() % std::size(junk)]);
        }
        const FieldSet set = FindFields(html, FindOptions{false, false});
        std::vector<FieldValue> values;
        for (std::size_t i = 0; i < set.fields.size(); ++i) {
            if (random() % 3 != 0) continue;
            std::string value;
            for (int n = 1 + static_cast<int>(random() % 8); n > 0; --n) {
                value += letters[random() % std::size(letters)];
                if (set.fields[i].kind != FieldKind::Text && random() % 4 == 0) value += ' ';
            }
            values.push_back({i, value + "x"});
        }
        SCOPED_TRACE(html);
        FillAndCheck(html, set, values, false);
        if (::testing::Test::HasFailure()) break;
    }
}

}  // namespace
}  // namespace mojian::fill
