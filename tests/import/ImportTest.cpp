// The whole import: built-in blocks found as they stand, everything else in
// custom sources, and the page the lines give is the imported text byte for
// byte, through the page model, the working folder's files and the project
// file alike.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "compose/TextFile.h"
#include "import/Import.h"
#include "myblocks/MyBlocks.h"
#include "project/ProjectFile.h"
#include "tests/TempFolder.h"
#include "tests/compose/PageMirror.h"
#include "tests/import/RandomBlocks.h"

namespace mojian::import {
namespace {

using Names = std::vector<std::string>;
using testing::PageMirror;
using testing::TempFolder;

ImportedPage Imported(std::string_view text, const ImportContext& context = FreshPageContext()) {
    const ImportResult r = ImportDescriptionText(text, context);
    EXPECT_TRUE(r.Ok()) << ImportErrorMessage(r.error);
    return r.Ok() ? *r.imported : ImportedPage{};
}

// The page the import's lines give in a fresh model.
std::string PageOf(const ImportedPage& imported) {
    Composition page;
    EXPECT_TRUE(page.ReplaceLines(imported.page.lines, imported.page.customSources, imported.page.myBlocks).Applied());
    return page.PageHtml();
}

TEST(Import, EveryBlockAloneComesBackAsItsLine) {
    for (int k = 0; k < kKindCount; ++k) {
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s) {
            const std::string& block = BuiltInLibrary().Get(k, s);
            // from a GBK file, as the program writes them
            const ImportResult r = ImportDescription(Utf8ToGbk(block), FreshPageContext());
            ASSERT_TRUE(r.Ok()) << EntryName(k, s);
            EXPECT_EQ(r.imported->page.lines, Names{EntryName(k, s)});
            EXPECT_EQ(r.imported->builtInLines, 1);
            EXPECT_FALSE(r.imported->lineBreakAdded);
            EXPECT_TRUE(PageOf(*r.imported) == block) << EntryName(k, s);
        }
    }
}

TEST(Import, RandomPagesOfBuiltInBlocksComeBackLineForLine) {
    std::mt19937 rng(16);
    for (int round = 0; round < 40; ++round) {
        const testing::BlockPage page = testing::RandomBlockPage(rng, 1 + static_cast<int>(rng() % 200));
        const ImportedPage imported = Imported(page.html);
        ASSERT_EQ(imported.page.lines, page.lines) << "round " << round;
        EXPECT_TRUE(imported.page.customSources.empty());
        EXPECT_TRUE(PageOf(imported) == page.html);
    }
}

TEST(Import, OtherHtmlBecomesCustomSourcesAndThePageIsTheTextByteForByte) {
    const std::string& heading = BuiltInLibrary().Get(0, 18);  // 栏目文字-健康
    const std::string& pictures = BuiltInLibrary().Get(1, 2);
    const std::string text = "<p>开头 \xF0\x9F\x98\x80</p>\r\n" + heading + "<div>\r\n中间\r\n</div>\r\n" + pictures +
                             "<p>结尾</p>\r\n<p>没有换行</p>";
    const ImportedPage imported = Imported(text);
    EXPECT_EQ(imported.page.lines,
              (Names{"自定义源码-1", "栏目文字-健康", "自定义源码-2", "图片展示-样式3", "自定义源码-3", "自定义源码-4"}));
    EXPECT_EQ(imported.page.customSources,
              (std::map<int, std::string>{{1, "<p>开头 &#x1F600;</p>"},
                                          {2, "<div>\r\n中间\r\n</div>"},
                                          {3, "<p>结尾</p>"},
                                          {4, "<p>没有换行</p>"}}));
    EXPECT_EQ(imported.builtInLines, 2);
    EXPECT_TRUE(imported.lineBreakAdded);
    const std::string expected = GbkToUtf8(Utf8ToGbk(text)) + "\r\n";
    EXPECT_TRUE(PageOf(imported) == expected);
    EXPECT_EQ(ImportSummary(imported), "共导入 6 行，其中 2 行是内置模块，4 行是自定义源码。\r\n"
                                       "原文的末尾没有换行（回车换行），导入时在末尾补上了一个。");

    // the same page from the working folder's files and from a saved project
    TempFolder folder;
    ASSERT_TRUE(CreateFolder(WorkingFolder()));
    Composition page;
    PageMirror mirror;
    mirror.Reflect(page, page.ReplaceLines(imported.page.lines, imported.page.customSources));
    EXPECT_TRUE(page.PageHtml() == expected);
    mirror.Expect(page);
    const std::string path = JoinPath(folder.Utf8(), "导入.mojian");
    ASSERT_FALSE(project::SaveProjectFile(path, imported.page));
    const project::ProjectRead read = project::LoadProjectFile(path);
    ASSERT_TRUE(read.Ok());
    Composition reopened;
    reopened.Open(*read.page);
    EXPECT_TRUE(reopened.PageHtml() == expected);
}

// A block glued to the text before it has no cut at its start, and the
// stretches around it stay custom.
TEST(Import, ABlockIsFoundOnlyWhereItStartsAPiece) {
    const std::string text = "<p>x</p>" + BuiltInLibrary().Get(1, 0);
    const ImportedPage imported = Imported(text);
    EXPECT_EQ(imported.builtInLines, 0);
    EXPECT_TRUE(PageOf(imported) == text);
}

TEST(Import, BlocksEditedInThisRunCountAsTheyStandNow) {
    Composition page;
    const std::string edited = "<img src=\"https://img.example.invalid/new.jpg\" width=\"750\">\r\n<br>\r\n";
    page.SetBlock(1, 0, edited);
    const std::string original = BuiltInLibrary().Get(1, 0);
    const ImportedPage imported = Imported(edited + original + BuiltInLibrary().Get(0, 19), ContextFor(page));
    // the built-in text is now two custom pieces: its picture and its <br>
    EXPECT_EQ(imported.page.lines, (Names{"图片展示-样式1", "自定义源码-1", "自定义源码-2", "栏目文字-活力"}));
    // nor does a block edited to nothing match everywhere
    page.SetBlock(8, 0, "");
    EXPECT_EQ(Imported("<br>\r\n", ContextFor(page)).page.lines, Names{"自定义源码-1"});
}

TEST(Import, LineBreaksOfEveryKindInsidePiecesSurviveTheModelFilesAndProject) {
    const std::string text = "<p>a\nb\rc</p>\r\n" + BuiltInLibrary().Get(8, 1) + "<pre>\n\n\r\r</pre>\r\r\n\r\n";
    const ImportedPage imported = Imported(text);
    EXPECT_EQ(imported.page.lines, (Names{"自定义源码-1", "五分好评-样式2", "自定义源码-2"}));
    EXPECT_EQ(imported.page.customSources.at(1), "<p>a\nb\rc</p>");
    EXPECT_EQ(imported.page.customSources.at(2), "<pre>\n\n\r\r</pre>\r\r\n");  // the blank piece joined it
    EXPECT_FALSE(imported.lineBreakAdded);
    EXPECT_TRUE(PageOf(imported) == text);
    for (const auto& [number, source] : imported.page.customSources)
        EXPECT_EQ(GbkToUtf8(TextFileBytes(source)), source + "\r\n");
    project::ProjectError error;
    const auto bytes = project::SerializeProject(imported.page, error);
    ASSERT_TRUE(bytes);
    const project::ProjectRead read = project::ParseProject(*bytes);
    ASSERT_TRUE(read.Ok());
    EXPECT_EQ(read.page->customSources, imported.page.customSources);
}

std::string Paragraphs(int count) {
    std::string text;
    for (int i = 1; i <= count; ++i) text += "<p>第 " + std::to_string(i) + " 段</p>\r\n";
    return text;
}

TEST(Import, CustomSourcesAreMergedOnlyWhenTheFreeNumbersRunOut) {
    ImportedPage imported = Imported(Paragraphs(80));
    EXPECT_EQ(imported.page.customSources.size(), 80u);  // one a piece
    EXPECT_EQ(imported.page.customSources.at(80), "<p>第 80 段</p>");

    ImportContext context = FreshPageContext();
    context.firstCustomNumber = 41;  // forty given out in this run already
    context.freeCustomNumbers = 60;
    imported = Imported(Paragraphs(150), context);
    ASSERT_EQ(imported.page.lines.size(), 60u);
    EXPECT_EQ(imported.page.customSources.begin()->first, 41);
    EXPECT_EQ(imported.page.customSources.rbegin()->first, 100);
    EXPECT_EQ(imported.absorbedBlocks, 0);
    EXPECT_TRUE(PageOf(imported) == Paragraphs(150));
    // the smallest pairs are merged first, so the pieces come out even
    for (const auto& [number, source] : imported.page.customSources)
        EXPECT_LE(source.size(), 3 * (Paragraphs(150).size() / 60)) << number;

    // custom pieces between blocks: a block goes into a custom source only
    // when merging neighbours cannot make room
    const std::string mixed = "<p>a</p>\r\n" + BuiltInLibrary().Get(8, 0) + "<p>b</p>\r\n" + BuiltInLibrary().Get(8, 1) + "<p>c</p>\r\n<p>d</p>\r\n";
    context.freeCustomNumbers = 3;
    EXPECT_EQ(Imported(mixed, context).page.lines.size(), 5u);  // c and d merged
    context.freeCustomNumbers = 2;
    imported = Imported(mixed, context);
    EXPECT_EQ(imported.page.lines.size(), 3u);
    EXPECT_EQ(imported.builtInLines, 1);
    EXPECT_EQ(imported.absorbedBlocks, 1);
    EXPECT_TRUE(PageOf(imported) == mixed);
    EXPECT_NE(ImportSummary(imported).find("有 1 个内置模块并进了自定义源码"), std::string::npos);

    context.freeCustomNumbers = 0;
    const ImportResult refused = ImportDescriptionText(mixed, context);
    ASSERT_FALSE(refused.Ok());
    EXPECT_EQ(refused.error.kind, ImportErrorKind::NoCustomNumbers);
    EXPECT_TRUE(ImportDescriptionText(BuiltInLibrary().Get(8, 0), context).Ok());  // blocks need no numbers
}

TEST(Import, BlankPiecesJoinTheirNeighbours) {
    const std::string& block = BuiltInLibrary().Get(8, 2);
    const ImportedPage imported = Imported("\r\n<p>a</p>\r\n\r\n\r\n<p>b</p>\r\n" + block + "\r\n" + block);
    EXPECT_EQ(imported.page.lines, (Names{"自定义源码-1", "自定义源码-2", "五分好评-样式3", "自定义源码-3", "五分好评-样式3"}));
    EXPECT_EQ(imported.page.customSources.at(1), "\r\n<p>a</p>\r\n\r\n");
    EXPECT_EQ(imported.page.customSources.at(2), "<p>b</p>");
    EXPECT_EQ(imported.page.customSources.at(3), "");  // a blank line between two blocks is a source of its own
}

TEST(Import, APageMadeExactlyForTmallsColumnIsSaidToBe) {
    const struct {
        const char* html;
        DescriptionWidth width;
    } cases[] = {
        {"<table width=\"790\"><tr><td>x</td></tr></table>", DescriptionWidth::Tmall},
        {"<div style=\"margin:0 auto; WIDTH: 790px\">x</div>", DescriptionWidth::Tmall},
        {"<p><img src=a.jpg width=790px></p>", DescriptionWidth::Tmall},
        {"<table width=750><tr><td><img src=a.jpg width=7900></td></tr></table>", DescriptionWidth::Taobao},
        {"<div style=\"width:790em\">790</div><!-- width=790 -->", DescriptionWidth::Taobao},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html);
        const ImportResult r = ImportDescriptionText(c.html, FreshPageContext());
        ASSERT_TRUE(r.Ok());
        EXPECT_EQ(r.imported->madeFor, c.width);
        EXPECT_EQ(r.imported->page.width, DescriptionWidth::Taobao);  // the seller decides
        EXPECT_EQ(ImportSummary(*r.imported).find("790（天猫）") != std::string::npos,
                  c.width == DescriptionWidth::Tmall);
    }
}

TEST(Import, TheSellersBlocksBecomeTheirLinesWithTheirCopiesAndTheBuiltInOnesStayBuiltIn) {
    TempFolder folder;
    myblocks::MyBlocks store(JoinPath(folder.Utf8(), "我的模块"));
    const std::string service = "<div class=\"shou-hou\">七天无理由退换</div>\r\n";
    const std::string sizes = "<table><tr><td>尺码 S M L</td></tr></table>\r\n";
    const std::string& heading = BuiltInLibrary().Get(0, 18);  // 栏目文字-健康
    ASSERT_EQ(store.Save("售后承诺", "自定义源码-3", service), "");
    ASSERT_EQ(store.Save("尺码表", "自定义源码-4", sizes), "");
    ASSERT_EQ(store.Save("健康栏目", "栏目文字-健康", heading), "");  // saved unchanged: stays built-in
    ASSERT_EQ(store.Save("空行", "自定义源码-5", "\r\n"), "");  // would take every empty line
    ASSERT_TRUE(WriteWholeFile(JoinPath(store.Folder(), "坏.json"), "{"));
    ImportContext context = FreshPageContext();
    context.mine = MineBlocksIn(store.Folder());
    ASSERT_EQ(context.mine.size(), 4u);  // the damaged file is left out

    const std::string text = BuiltInLibrary().Get(1, 2) + service + heading + "<p>说明</p>\r\n\r\n" + sizes +
                             BuiltInLibrary().Get(8, 1);
    const ImportedPage imported = Imported(text, context);
    EXPECT_EQ(imported.page.lines, (Names{"图片展示-样式3", "我的模块-售后承诺", "栏目文字-健康", "自定义源码-1",
                                          "我的模块-尺码表", "五分好评-样式2"}));
    EXPECT_EQ(imported.page.myBlocks, (std::map<std::string, std::string>{{"售后承诺", service}, {"尺码表", sizes}}));
    EXPECT_EQ(ImportSummary(imported), "共导入 6 行，其中 3 行是内置模块，2 行是我的模块，1 行是自定义源码。");
    EXPECT_TRUE(PageOf(imported) == text);
    const std::string path = JoinPath(folder.Utf8(), "导入.mojian");
    ASSERT_FALSE(project::SaveProjectFile(path, imported.page));
    const project::ProjectRead read = project::LoadProjectFile(path);
    ASSERT_TRUE(read.Ok());
    Composition reopened;
    reopened.Open(*read.page);
    EXPECT_TRUE(reopened.PageHtml() == text);
    // without them, as before
    EXPECT_EQ(Imported(text).page.lines[1], "自定义源码-1");

    // a seller's block goes into a custom source like a built-in one when numbers run out
    context.freeCustomNumbers = 1;
    const ImportedPage squeezed = Imported("<p>a</p>\r\n" + service + "<p>b</p>\r\n", context);
    EXPECT_EQ(squeezed.page.lines, Names{"自定义源码-1"});
    EXPECT_TRUE(squeezed.page.myBlocks.empty());
    EXPECT_NE(ImportSummary(squeezed).find("有 1 个我的模块并进了自定义源码"), std::string::npos);

    // a file copied by hand holds a second block of a taken name: the page
    // has one copy per name, so only one of them can be its line
    const std::string other = "<p>另一份售后</p>\r\n";
    ASSERT_TRUE(WriteWholeFile(JoinPath(store.Folder(), "副本.json"),
                               myblocks::BlockFileText({"售后承诺", "2026-05-01T14:03:00+08:00", "x", other})));
    context = FreshPageContext();
    context.mine = MineBlocksIn(store.Folder());
    const ImportedPage twice = Imported(service + other, context);
    EXPECT_EQ(twice.mineLines, 1);
    EXPECT_TRUE(PageOf(twice) == service + other);
}

TEST(Import, TheSellersBlocksFollowTheRulesOfTheBuiltInOnes) {
    const std::string& one = BuiltInLibrary().Get(8, 0);
    const std::string& two = BuiltInLibrary().Get(8, 1);
    Composition edited;
    edited.SetBlock(8, 0, "<p>改过的</p>\r\n");
    const struct {
        const char* what;
        std::vector<MineBlock> mine;
        std::string text;
        Names lines;
        const Composition* page;
    } cases[] = {
        {"one line beats two", {{"两块", one + two}}, one + two, {"我的模块-两块"}, nullptr},
        {"the first of two alike", {{"甲", "<p>a</p>\r\n"}, {"乙", "<p>a</p>\r\n"}}, "<p>a</p>\r\n", {"我的模块-甲"}, nullptr},
        {"only where a piece starts", {{"甲", "<p>a</p>\r\n"}}, "<p>x</p><p>a</p>\r\n", {"自定义源码-1"}, nullptr},
        {"a block's old text kept by the seller, the block edited in this run", {{"旧", one}}, one + two,
         {"我的模块-旧", "五分好评-样式2"}, &edited},
    };
    for (const auto& c : cases) {
        ImportContext context = c.page ? ContextFor(*c.page) : FreshPageContext();
        context.mine = c.mine;
        const ImportedPage imported = Imported(c.text, context);
        EXPECT_EQ(imported.page.lines, c.lines) << c.what;
        EXPECT_TRUE(PageOf(imported) == c.text) << c.what;
    }
}

TEST(Import, TooManyLinesAreRefused) {
    std::string text;
    while (text.size() < kMaxImportBytes - 200) text += BuiltInLibrary().Get(8, 0);
    const ImportResult r = ImportDescriptionText(text, FreshPageContext());
    ASSERT_FALSE(r.Ok());
    EXPECT_EQ(r.error.kind, ImportErrorKind::TooManyLines);
}

}  // namespace
}  // namespace mojian::import
