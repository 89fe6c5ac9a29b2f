#include "catalogue/Library.h"

#include <gtest/gtest.h>

#include <set>
#include <utility>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "tests/TempFolder.h"

namespace mojian {
namespace {

using testing::TempFolder;

ResolvedEntry BuiltIn(int kind, int style) { return {ResolvedEntry::What::BuiltIn, kind, style, 0}; }
ResolvedEntry Custom(int n) { return {ResolvedEntry::What::Custom, -1, -1, n}; }

TEST(ResolveEntry, EveryBuiltInNameFindsItsOwnBlock) {
    int found = 0;
    for (int k = 0; k < kKindCount; ++k)
        for (int i = 0; i < kStyleCounts[k]; ++i, ++found) EXPECT_EQ(ResolveEntry(EntryName(k, i)), BuiltIn(k, i));
    EXPECT_EQ(found, 90);
    EXPECT_EQ(ResolveEntry("栏目文字-活力"), BuiltIn(0, 19));
    EXPECT_EQ(ResolveEntry("栏目文字-健康"), BuiltIn(0, 18));
    EXPECT_EQ(ResolveEntry("图片展示-样式5"), BuiltIn(1, 4));
    EXPECT_EQ(ResolveEntry("搭配促销-样式6"), BuiltIn(9, 5));
}

TEST(ResolveEntry, CustomSourcesOneToHundred) {
    EXPECT_EQ(ResolveEntry("自定义源码-1"), Custom(1));
    EXPECT_EQ(ResolveEntry("自定义源码-42"), Custom(42));
    EXPECT_EQ(ResolveEntry("自定义源码-100"), Custom(100));
}

TEST(ResolveEntry, EverythingElseIsNothing) {
    for (const char* name : {
             "栏目文字-样式1",       // a style number with kind 0
             "图片展示-炫黑",        // a theme name with another kind
             "图片展示-样式6",       // beyond the kind's count
             "五分好评-样式4",
             "图片展示-样式0",
             "图片展示-样式03",      // leading zero
             "图片展示-样式３",      // full-width digit
             "图片展示－样式3",      // full-width hyphen
             "图片展示-样式3 ",      // no trimming
             " 图片展示-样式3",
             "图片展示-样式",
             "自定义源码-101",
             "自定义源码-05",
             "自定义源码-0",
             "自定义源码--1",
             "自定义源码-+1",
             "自定义源码-",
             "自定义源码",
             "",
         }) {
        EXPECT_TRUE(ResolveEntry(name).IsNothing()) << name;
    }
    // an embedded NUL does not cut the comparison short
    EXPECT_TRUE(ResolveEntry(std::string_view("自定义源码-1\0", sizeof("自定义源码-1"))).IsNothing());
}

TEST(TemplateLibrary, HoldsNinetyFragmentsInKindAndStyleOrder) {
    const TemplateLibrary library;
    std::set<std::string> distinct;
    for (int k = 0; k < kKindCount; ++k) {
        for (int i = 0; i < kStyleCounts[k]; ++i) {
            const std::string& html = library.Get(k, i);
            ASSERT_FALSE(html.empty()) << EntryName(k, i);
            EXPECT_EQ(html.find("<html"), std::string::npos) << EntryName(k, i);
            EXPECT_EQ(html.find("<body"), std::string::npos) << EntryName(k, i);
            EXPECT_EQ(html.find("\r\n\n"), std::string::npos) << "CR LF kept: " << EntryName(k, i);
            distinct.insert(html);
        }
    }
    EXPECT_EQ(distinct.size(), 90u);
    EXPECT_TRUE(library.Get(1, 5).empty());
    EXPECT_TRUE(library.Get(10, 0).empty());
    EXPECT_TRUE(library.Get(-1, 0).empty());
}

class CustomSource : public ::testing::Test {
protected:
    void Write(const std::string& entry, const std::string& gbkBytes) {
        ASSERT_TRUE(CreateFolder(WorkingFolder()));
        ASSERT_TRUE(WriteWholeFile(CustomSourcePath(entry), gbkBytes));
    }
    TempFolder dir_;
};

TEST_F(CustomSource, PathIsProgramFolderVexaEntryTxt) {
    EXPECT_EQ(CustomSourcePath("自定义源码-3"),
              JoinPath(JoinPath(dir_.Utf8(), "Vexa"), "自定义源码-3.txt"));
}

TEST(NormaliseLines, EveryLineEndsWithCrLf) {
    const std::pair<std::string, std::string> cases[] = {
        {"<p>\r\n墨笺\r\n</p>", "<p>\r\n墨笺\r\n</p>\r\n"},  // last line without a break
        {"a\rb\r\rc\r\n", "a\r\nb\r\n\r\nc\r\n"},          // a CR alone ends a line too
        {"one\ntwo\nthree", "one\ntwo\nthree\r\n"},                // a lone LF does not end a line
        {"", ""},
    };
    for (const auto& [text, lines] : cases) EXPECT_EQ(NormaliseLines(text), lines) << text;
}

TEST_F(CustomSource, WholeReadKeepsTheTextUnchangedAndBadBytesDoNotStopIt) {
    const std::string text = "abc\r\n<td>\n价格￥9\r</td>";
    Write("自定义源码-4", Utf8ToGbk(text));
    EXPECT_EQ(ReadCustomSourceWhole("自定义源码-4"), text);
    Write("自定义源码-5", "ok\r\n\xFF\r\n" + Utf8ToGbk("尾"));
    EXPECT_EQ(ReadCustomSourceWhole("自定义源码-5"), "ok\r\n\xEF\xBF\xBD\r\n尾");
    EXPECT_FALSE(ReadCustomSourceWhole("自定义源码-7").has_value());
}

}  // namespace
}  // namespace mojian
