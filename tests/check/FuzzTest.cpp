// Pieces of what the check looks for, thrown together at random and cut
// anywhere: under the native build's sanitizers any crash or overflow fails
// here, and every finding must point inside its line.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "check/Check.h"
#include "tests/check/CheckSupport.h"

namespace mojian::check {
namespace {

constexpr const char* kPieces[] = {
    "<table width=790>", "<table>", "</table>", "<tr>", "<td", "<td background=\"C:\\a.jpg\">", "</td>",
    "<img src=\"https://img.alicdn.com/a_1200x900.jpg\">", "<img src=\"\" width=800>", "<img style=\"width:9e9px\">",
    "<img src=\" file:///x \" style=\"max-width:100%\">", "<div style=\"max-width:10px;width:900px\">", "</div>",
    "<div style=\"background:url(\\6a avascript:x)", "url('", "\\", "/*", "*/", "<a href=\"java&#x09;script:x\">",
    "<a href=javascript&colon;", "</a>", "<p onclick=x onload>", "<body onload=\"x\">", "<td onmouseover=y>",
    "<script>", "</script>", "<style>", "<meta", "<form><input><select>", "<frameset><frame>", "<object><embed>",
    "请在此输入产品名称", "请输入", "&#35831;输入栏目标题", "<p class=\"tb-x J_T\" id=a>", "<span style=\"float:right;position:absolute\">",
    "WWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWWW",
    "中文", " ", "\r\n", "\"", "'", "<", ">", "=", "&", "\xE4\xB8", "\xFF", "<!--", "-->",
};

TEST(CheckFuzz, RandomLinesNeverCrashAndFindingsStayInside) {
    std::mt19937 rng(20261209);
    html::FixedMeasurer measurer;
    testing::SizedPictures pictures;
    Checker checker(RuleSet::BuiltIn(), measurer, pictures);
    for (int i = 0; i < 400; ++i) {
        std::string line;
        const int parts = std::uniform_int_distribution<int>(1, 60)(rng);
        for (int k = 0; k < parts; ++k) line += kPieces[rng() % std::size(kPieces)];
        line.resize(std::uniform_int_distribution<std::size_t>(0, line.size())(rng));
        for (const Finding& f : checker.CheckLine(i, "自定义源码-1", line)) {
            ASSERT_LE(f.range.begin, f.range.end) << line;
            ASSERT_LE(f.range.end, line.size()) << line;
            ASSERT_FALSE(f.explanation.empty());
        }
        checker.CheckPageLength({{"自定义源码-1", line}});
    }
}

}  // namespace
}  // namespace mojian::check
