#include "check/Rules.h"

#include <gtest/gtest.h>


#include "base/File.h"
#include "base/Utf.h"
#include "check/Check.h"
#include "html/Layout.h"
#include "tests/TempFolder.h"

namespace mojian::check {
namespace {

TEST(CheckRules, TheBuiltInFileHoldsEveryRuleWithItsSourceAndDate) {
    const RuleSet& rules = RuleSet::BuiltIn();
    std::vector<std::string> ids;
    for (const Rule& r : rules.Rules()) {
        ids.push_back(r.id);
        EXPECT_FALSE(r.source.empty()) << r.id;
        EXPECT_EQ(r.checked.size(), 10u) << r.id;
        // The explanations are for the seller: in Chinese, tag names aside.
        std::size_t chinese = 0, all = 0;
        for (std::size_t pos = 0; pos < r.explanation.size(); ++all)
            if (NextCodePoint(r.explanation, pos) >= 0x3000) ++chinese;
        EXPECT_GT(chinese * 3, all) << r.id;
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"page-too-long", "page-too-short", "empty-line", "forbidden-element",
                                             "event-attribute", "script-address", "too-wide", "wide-picture",
                                             "unloadable-picture", "css-position-float", "id-attribute",
                                             "reserved-class", "foreign-picture-host", "placeholder-text",
                                             "placeholder-picture"}));
    for (const char* warning : {"css-position-float", "id-attribute", "reserved-class", "foreign-picture-host",
                                "placeholder-text", "placeholder-picture"})
        EXPECT_EQ(rules.Find(warning)->severity, Severity::Warning) << warning;
    EXPECT_EQ(rules.Find("too-wide")->severity, Severity::Error);
    EXPECT_EQ(rules.PageCharacterLimit(), 25000u);
    EXPECT_EQ(rules.Find("forbidden-element")->names.size(), 16u);
    EXPECT_EQ(rules.Find("nothing"), nullptr);
}

TEST(CheckRules, AFileThatIsNotARuleFileSaysWhatIsWrong) {
    const std::string good =
        R"~({"format":"mojian-check-rules","version":1,"rules":[{"id":"x","severity":"warning","title":"t",)~"
        R"~("match":{"kind":"elements","elements":["marquee"]},"explanation":"e","source":"s","checked":"2026-12-09"}]})~";
    ASSERT_TRUE(RuleSet::FromJson(good));
    struct Case {
        std::string json;
        const char* says;
    };
    const auto with = [&](const std::string& from, const std::string& to) {
        std::string j = good;
        j.replace(j.find(from), from.size(), to);
        return j;
    };
    for (const Case& c : {
             Case{"{", "不是有效的 JSON"},
             Case{"[]", "不是墨笺的检查规则文件"},
             Case{with("\"version\":1", "\"version\":2"), "版本"},
             Case{with("\"rules\":[", "\"rulez\":["), "缺少规则列表"},
             Case{with("\"id\":\"x\",", ""), "第 1 条规则缺少文字“id”"},
             Case{with("\"warning\"", "\"fatal\""), "severity"},
             Case{with("\"elements\",\"elements\"", "\"tags\",\"elements\""), "match 类型“tags”不认识"},
             Case{with("[\"marquee\"]", "[]"), "非空的列表“elements”"},
             Case{with("2026-12-09", "9 Dec 2026"), "YYYY-MM-DD"},
             Case{with("\"explanation\":\"e\",", ""), "explanation"},
             Case{with("}]}", "},{\"id\":\"x\",\"severity\":\"error\",\"title\":\"t\",\"match\":{\"kind\":\"empty-line\"},"
                               "\"explanation\":\"e\",\"source\":\"s\",\"checked\":\"2026-12-09\"}]}"),
                  "第 2 条规则（x）的 id 与前面的规则重复"},
             Case{with("{\"kind\":\"elements\",\"elements\":[\"marquee\"]}", "{\"kind\":\"drawn-width\",\"width\":\"wide\"}"),
                  "数值“width”"},
         }) {
        std::string error;
        EXPECT_FALSE(RuleSet::FromJson(c.json, &error)) << c.json;
        EXPECT_NE(error.find(c.says), std::string::npos) << error;
    }
    std::string error;
    EXPECT_FALSE(RuleSet::FromFile("/nowhere/rules.json", &error));
    EXPECT_NE(error.find("读不到规则文件"), std::string::npos);
}

TEST(CheckRules, ARuleFileChangesTheCheckWithoutCode) {
    // The same matchers with other words: a narrower page, one more element,
    // a stricter length; the file's own rules only.
    mojian::testing::TempFolder folder;
    const std::string path = JoinPath(folder.Utf8(), "rules.json");
    ASSERT_TRUE(WriteWholeFile(path, R"~({"format":"mojian-check-rules","version":1,"rules":[
      {"id":"narrow","severity":"error","title":"窄","match":{"kind":"drawn-width","width":600},
       "explanation":"e","source":"s","checked":"2026-12-09"},
      {"id":"marquee","severity":"warning","title":"跑马灯","match":{"kind":"elements","elements":["MARQUEE"]},
       "explanation":"e","source":"s","checked":"2026-12-09"},
      {"id":"short","severity":"error","title":"长","match":{"kind":"page-max-characters","limit":10},
       "explanation":"e","source":"s","checked":"2026-12-09"}]})~"));
    std::string error;
    const auto rules = RuleSet::FromFile(path, &error);
    ASSERT_TRUE(rules) << error;
    EXPECT_EQ(rules->PageCharacterLimit(), 10u);
    html::FixedMeasurer measurer;
    html::NoPictures pictures;
    Checker checker(*rules, measurer, pictures);
    const std::string html = R"~(<table width=700><tr><td>x</td></tr></table><marquee onclick="x">y</marquee>)~";
    std::vector<std::string> found;
    for (const Finding& f : checker.CheckPage({{"自定义源码-1", html}})) found.push_back(f.rule);
    EXPECT_EQ(found, (std::vector<std::string>{"short", "narrow", "marquee"}));

    // At Tmall's width the width rule moves with the column; the others stay.
    const RuleSet tmall = rules->AtWidth(DescriptionWidth::Tmall);
    EXPECT_EQ(tmall.Find("narrow")->number, 640);
    EXPECT_EQ(tmall.Find("short")->number, 10);
}

TEST(CheckRules, AtAnotherWidthOnlyTheWidthItselfIsRenamed) {
    const auto rules = RuleSet::FromJson(R"~({"format":"mojian-check-rules","version":1,"rules":[
      {"id":"w","severity":"error","title":"超出 750 像素宽","match":{"kind":"picture-width","width":750},
       "explanation":"750 像素以内；7500 像素、1750 像素和 750px 不变，750","source":"750","checked":"2026-12-09"}]})~");
    ASSERT_TRUE(rules);
    const RuleSet tmall = rules->AtWidth(DescriptionWidth::Tmall);
    const Rule& r = tmall.Rules().front();
    EXPECT_EQ(r.title, "超出 790 像素宽");
    EXPECT_EQ(r.explanation, "790 像素以内；7500 像素、1750 像素和 790px 不变，790");
    EXPECT_EQ(r.source, "750");  // where the rule comes from does not change
    EXPECT_EQ(rules->AtWidth(DescriptionWidth::Taobao).Rules().front().explanation, rules->Rules().front().explanation);
}

}  // namespace
}  // namespace mojian::check
