// The page model's operations: what each handler does to the page, and what
// it tells the window and the working folder to do.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/Composition.h"
#include "tests/compose/PageMirror.h"

namespace mojian {
namespace {

using Names = std::vector<std::string>;
using Kind = LineEdit::Kind;

using CompositionTest = testing::MirroredPageTest;

TEST_F(CompositionTest, AddsAppendTheChoiceAndNumberCustomSourcesOnAfterDeletes) {
    page.SetChoice(Choice::BuiltIn(1, 2));
    PageEffects e = Run(page.AddChosen("ignored"));
    EXPECT_TRUE(e.Applied());
    EXPECT_EQ(e.lines, (std::vector<LineEdit>{{Kind::Inserted, 0, "图片展示-样式3"}}));
    EXPECT_TRUE(e.sources.empty());
    Run(page.AddChosen(""));  // no duplicate check
    Run(page.AddBuiltIn(0, 18));
    EXPECT_EQ(page.Lines(), (Names{"图片展示-样式3", "图片展示-样式3", "栏目文字-健康"}));
    EXPECT_EQ(page.Selected(), -1);
    EXPECT_EQ(page.CustomCaptionNumber(), 1);  // Label1 before any custom add

    page.SetChoice(Choice::Custom());
    e = Run(page.AddChosen("<p>墨笺</p>"));
    EXPECT_EQ(e.newSource, 1);
    EXPECT_EQ(e.sources, std::set<int>{1});
    EXPECT_TRUE(e.counterChanged);
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), Utf8ToGbk("<p>墨笺</p>") + "\r\n");
    page.Select(3);
    Run(page.DeleteSelected());
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), Utf8ToGbk("<p>墨笺</p>") + "\r\n");  // stays
    e = Run(page.AddChosen(""));
    EXPECT_EQ(e.newSource, 2);
    EXPECT_EQ(page.CustomCaptionNumber(), 2);
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), "\r\n");
    EXPECT_EQ(page.Lines().back(), "自定义源码-2");
    ExpectMirrored();

    // the selection stays where it was while lines are appended
    page.Select(0);
    Run(page.AddBuiltIn(8, 2));
    EXPECT_EQ(page.Selected(), 0);
    // positions that hold no block add nothing
    EXPECT_EQ(page.AddBuiltIn(1, 5).outcome, Outcome::Nothing);
    EXPECT_EQ(page.AddBuiltIn(10, 0).outcome, Outcome::Nothing);
}

TEST_F(CompositionTest, TheHundredAndFirstCustomSourceIsWrittenButAddsNothingToThePage) {
    page.SetChoice(Choice::Custom());
    for (int i = 1; i <= 100; ++i) Run(page.AddChosen("<b>" + std::to_string(i) + "</b>"));
    const std::string before = page.PageHtml();
    const PageEffects e = Run(page.AddChosen("<b>101</b>"));
    EXPECT_EQ(e.newSource, 101);
    EXPECT_EQ(page.Lines().back(), "自定义源码-101");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-101")), "<b>101</b>\r\n");
    EXPECT_EQ(page.PageHtml(), before);
    EXPECT_FALSE(page.LineHtml(100).has_value());
    ExpectMirrored();
    // and the write-through does not reach it
    page.Select(100);
    EXPECT_EQ(page.WriteThroughSelected("changed", false).outcome, Outcome::Nothing);
    EXPECT_EQ(*page.CustomText(101), "<b>101</b>");
}

TEST_F(CompositionTest, ALineGetsItsOwnCopyOnlyWhileANumberUpTo100IsFree) {
    Append({"图片展示-样式1", "图片展示-样式1"});
    page.Select(1);
    const std::size_t steps = page.UndoSteps();
    const PageEffects e = Run(page.ReplaceLineWithNewSource(1, "<p>mine</p>"));
    EXPECT_TRUE(e.Applied());
    EXPECT_EQ(e.newSource, 1);
    EXPECT_EQ(page.UndoSteps(), steps + 1);
    EXPECT_EQ(page.Lines(), (Names{"图片展示-样式1", "自定义源码-1"}));
    EXPECT_EQ(page.Selected(), 1);
    EXPECT_EQ(page.FreeCustomNumbers(), 99);
    ExpectMirrored();
    EXPECT_FALSE(page.ReplaceLineWithNewSource(2, "x").Applied());  // no such line

    page.SetChoice(Choice::Custom());
    for (int i = 2; i <= 100; ++i) Run(page.AddChosen("<b>" + std::to_string(i) + "</b>"));
    EXPECT_EQ(page.FreeCustomNumbers(), 0);
    const PageData before = page.Snapshot();
    const PageEffects refused = page.ReplaceLineWithNewSource(0, "<p>too many</p>");
    EXPECT_EQ(refused.outcome, Outcome::NoFreeNumber);
    EXPECT_TRUE(refused.sources.empty());
    EXPECT_EQ(page.Snapshot(), before);
    EXPECT_EQ(page.CustomCounter(), 100);
    EXPECT_EQ(page.CustomText(101), nullptr);
}

TEST_F(CompositionTest, AFullListRefusesBothKindsOfAddWithoutTakingANumber) {
    PageData full;
    full.lines.assign(32766, "图片展示-样式1");
    Run(page.Open(full));
    EXPECT_TRUE(Run(page.AddBuiltIn(2, 0)).Applied());
    EXPECT_EQ(page.AddBuiltIn(2, 0).outcome, Outcome::PageFull);
    const PageEffects e = page.AddCustom("x");
    EXPECT_EQ(e.outcome, Outcome::PageFull);
    EXPECT_TRUE(e.sources.empty());
    EXPECT_EQ(page.CustomCounter(), 0);
    EXPECT_EQ(page.Lines().size(), 32767u);
    EXPECT_EQ(page.InsertLine(0, "x").outcome, Outcome::PageFull);

    full.lines.push_back("one too many");
    full.lines.push_back("two too many");
    EXPECT_EQ(page.Open(full).outcome, Outcome::PageFull);
    EXPECT_EQ(page.Lines().size(), 32767u);
}

TEST_F(CompositionTest, DeleteMoveAndClearSayWhichLinesChanged) {
    Append({"图片展示-样式1", "尺码表格-样式2", "五分好评-样式3"});
    // nothing selected, as right after an add: nothing happens
    for (auto op : {&Composition::MoveDown, &Composition::MoveUp, &Composition::DeleteSelected})
        EXPECT_EQ((page.*op)().outcome, Outcome::Nothing);

    page.Select(1);
    PageEffects e = Run(page.MoveDown());
    EXPECT_EQ(e.lines, (std::vector<LineEdit>{{Kind::Removed, 1, ""}, {Kind::Inserted, 2, "尺码表格-样式2"}}));
    EXPECT_EQ(page.Lines(), (Names{"图片展示-样式1", "五分好评-样式3", "尺码表格-样式2"}));
    EXPECT_EQ(page.Selected(), 2);
    EXPECT_TRUE(e.selectionChanged);
    EXPECT_EQ(page.MoveDown().outcome, Outcome::Nothing);  // already last

    page.Select(1);
    e = Run(page.MoveUp());
    EXPECT_EQ(e.lines, (std::vector<LineEdit>{{Kind::Removed, 1, ""}, {Kind::Inserted, 0, "五分好评-样式3"}}));
    EXPECT_EQ(page.Lines(), (Names{"五分好评-样式3", "图片展示-样式1", "尺码表格-样式2"}));
    EXPECT_EQ(page.Selected(), 0);
    EXPECT_EQ(page.MoveUp().outcome, Outcome::Nothing);  // already first

    page.Select(1);
    e = Run(page.DeleteSelected());
    EXPECT_EQ(e.lines, (std::vector<LineEdit>{{Kind::Removed, 1, ""}}));
    EXPECT_EQ(page.Lines(), (Names{"五分好评-样式3", "尺码表格-样式2"}));
    EXPECT_EQ(page.Selected(), -1);

    Run(page.AddCustom("kept"));
    page.Select(0);
    e = Run(page.Clear());
    EXPECT_TRUE(e.allLines);
    EXPECT_TRUE(page.Lines().empty());
    EXPECT_EQ(page.Selected(), -1);
    EXPECT_EQ(*page.CustomText(1), "kept");  // neither texts nor counters go
    EXPECT_EQ(page.CustomCounter(), 1);
    EXPECT_EQ(page.Clear().outcome, Outcome::Nothing);
    ExpectMirrored();

    page.Select(5);  // beyond the list: nothing selected
    EXPECT_EQ(page.Selected(), -1);
}

TEST_F(CompositionTest, TheWriteThroughGoesToTheSelectedEntryForEveryLineThatNamesIt) {
    Append({"图片展示-样式2", "栏目文字-炫黑", "图片展示-样式2", "图片展示-样式6"});
    Run(page.AddCustom("first"));
    Run(page.InsertLine(1, "自定义源码-1"));  // the same custom source on two lines

    // nothing selected, or a line that resolves to nothing: nothing is written
    EXPECT_EQ(page.WriteThroughSelected("x", false).outcome, Outcome::Nothing);
    page.Select(4);
    EXPECT_EQ(page.WriteThroughSelected("x", false).outcome, Outcome::Nothing);

    page.Select(0);
    PageEffects e = Run(page.WriteThroughSelected("<i>mine</i>", false));
    EXPECT_EQ(e.blocks, (std::set<BlockId>{{1, 1}}));
    EXPECT_EQ(page.GetBlock(1, 1), "<i>mine</i>");
    // writing the same text again changes nothing
    EXPECT_EQ(page.WriteThroughSelected("<i>mine</i>", false).outcome, Outcome::Nothing);

    page.Select(1);
    e = Run(page.WriteThroughSelected("second \xF0\x9F\x98\x80", false));
    EXPECT_EQ(e.sources, std::set<int>{1});
    EXPECT_EQ(*page.CustomText(1), "second \xF0\x9F\x98\x80");  // the text as typed
    const std::string custom = "second &#x1F600;\r\n";            // as its file reads back
    EXPECT_EQ(page.ReadCustomSource(1), custom);
    EXPECT_FALSE(page.ReadCustomSource(2).has_value());
    EXPECT_EQ(page.PageHtml(), "<i>mine</i>" + custom + BuiltInLibrary().Get(0, 0) + "<i>mine</i>" + custom);
    ExpectMirrored();

    // a block typed back to its built-in text is no edit any more
    page.Select(0);
    Run(page.WriteThroughSelected(BuiltInLibrary().Get(1, 1), false));
    EXPECT_TRUE(page.EditedBlocks().empty());
    EXPECT_EQ(page.GetBlock(1, 1), BuiltInLibrary().Get(1, 1));
}

TEST_F(CompositionTest, TheSellersBlockIsOneCopyPerPageKeptByteForByteAndUndoable) {
    // bytes a custom source's GBK file would change: a bare LF, an emoji, no CR LF at the end
    const std::string saved = "<p>售后\n承诺 \xF0\x9F\x98\x80</p>";
    PageEffects e = Run(page.AddMine("售后承诺", saved));
    EXPECT_EQ(e.lines, (std::vector<LineEdit>{{Kind::Inserted, 0, "我的模块-售后承诺"}}));
    EXPECT_EQ(e.mine, std::set<std::string>{"售后承诺"});
    Append({"栏目文字-炫黑", "我的模块-售后承诺", "我的模块-别人的"});  // the last: no copy on this page
    EXPECT_EQ(page.PageHtml(), saved + BuiltInLibrary().Get(0, 0) + saved);

    page.Select(2);
    Run(page.WriteThroughSelected("<p>改过</p>", false));
    Run(page.WriteThroughSelected("<p>改过了</p>", true));  // one burst, one step
    EXPECT_EQ(*page.LineHtml(0), "<p>改过了</p>");  // every line naming it
    EXPECT_EQ(page.UndoSteps(), 5u);

    const PageData snapshot = page.Snapshot();
    EXPECT_EQ(snapshot.myBlocks, (std::map<std::string, std::string>{{"售后承诺", "<p>改过了</p>"}}));
    Run(page.Undo());
    EXPECT_EQ(page.PageHtml(), saved + BuiltInLibrary().Get(0, 0) + saved);

    // another page takes its own copies; undoing the open brings these back
    Composition other;
    other.Open(snapshot);
    EXPECT_EQ(other.PageHtml(), "<p>改过了</p>" + BuiltInLibrary().Get(0, 0) + "<p>改过了</p>");
    Run(page.Open({}));
    EXPECT_EQ(page.MineHtml("售后承诺"), nullptr);
    Run(page.Undo());
    EXPECT_EQ(*page.MineHtml("售后承诺"), saved);
    ExpectMirrored();
}

TEST_F(CompositionTest, OpenStartsANewPageAndRenumbersItsCustomSourcesInOrderOfUse) {
    Run(page.AddCustom("old one"));
    Run(page.AddCustom("old two"));
    Run(page.SetBlock(3, 0, "<i>old edit</i>"));
    page.Select(0);
    page.SetExportCounter(4);

    PageData file;
    file.lines = {"自定义源码-7", "图片展示-样式1", "自定义源码-3", "自定义源码-7", "自定义源码-101", "自定义源码-50",
                  "图片展示-样式9"};
    file.customSources = {{3, "three"}, {7, "seven"}, {42, "named by no line"}};
    file.editedBlocks = {{{1, 0}, "<i>new edit</i>"}, {{1, 9}, "no such block"}, {{2, 0}, BuiltInLibrary().Get(2, 0)}};
    file.choice = Choice::BuiltIn(4, 12);
    const PageEffects e = Run(page.Open(file));

    EXPECT_TRUE(e.allLines);
    EXPECT_EQ(page.Lines(), (Names{"自定义源码-1", "图片展示-样式1", "自定义源码-2", "自定义源码-1", "自定义源码-101",
                                   "自定义源码-3", "图片展示-样式9"}));
    EXPECT_EQ(*page.CustomText(1), "seven");
    EXPECT_EQ(*page.CustomText(2), "three");
    EXPECT_EQ(page.CustomText(3), nullptr);  // named, but the file held no text: it adds nothing
    EXPECT_EQ(page.CustomNumbers(), (std::vector<int>{1, 2}));
    EXPECT_EQ(page.CustomCounter(), 3);
    EXPECT_EQ(page.ExportCounter(), 0);
    EXPECT_EQ(page.Selected(), -1);
    EXPECT_EQ(page.CurrentChoice(), Choice::BuiltIn(4, 12));
    // the old edit is gone, the file's applies; the unknown and unchanged ones are dropped
    EXPECT_EQ(page.EditedBlocks(), (std::map<BlockId, std::string>{{{1, 0}, "<i>new edit</i>"}}));
    EXPECT_EQ(e.blocks, (std::set<BlockId>{{1, 0}, {3, 0}}));
    EXPECT_EQ(page.GetBlock(3, 0), BuiltInLibrary().Get(3, 0));
    // files 1 to 100 are cleaned up as at exit, then the page's are written
    EXPECT_EQ(e.sources.size(), 100u);
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), "seven\r\n");
    EXPECT_FALSE(ReadWholeFile(CustomSourcePath("自定义源码-3")).has_value());
    EXPECT_EQ(page.PageHtml(), "seven\r\n<i>new edit</i>three\r\nseven\r\n");
    ExpectMirrored();

    // the next custom add goes on after the page's numbers
    EXPECT_EQ(Run(page.AddCustom("four")).newSource, 4);
}

// What an import does: every line replaced and new custom sources added in
// one step, while the run goes on (unlike Open).
TEST_F(CompositionTest, ReplaceLinesIsOneStepAndTheRunGoesOn) {
    Run(page.AddCustom("kept"));
    Run(page.AddCustom("kept too"));
    Run(page.SetBlock(1, 0, "<i>edited</i>\r\n"));
    Append({"图片展示-样式1"});
    page.SetChoice(Choice::BuiltIn(4, 2));
    page.SetExportCounter(3);
    page.Select(1);
    const std::vector<std::string> before = page.Lines();
    const std::size_t steps = page.UndoSteps();

    const PageEffects e = Run(page.ReplaceLines({"自定义源码-3", "图片展示-样式1", "自定义源码-4", "自定义源码-3"},
                                                {{3, "<p>a\nb</p>"}, {4, ""}}));
    EXPECT_TRUE(e.Applied());
    EXPECT_TRUE(e.allLines);
    EXPECT_EQ(e.sources, (std::set<int>{3, 4}));
    EXPECT_TRUE(e.counterChanged);
    EXPECT_TRUE(e.blocks.empty());
    EXPECT_EQ(page.UndoSteps(), steps + 1);
    EXPECT_EQ(page.Selected(), -1);
    EXPECT_EQ(page.CustomCounter(), 4);
    EXPECT_EQ(*page.CustomText(1), "kept");  // the run's other sources, edits, choice and counters stay
    EXPECT_EQ(page.GetBlock(1, 0), "<i>edited</i>\r\n");
    EXPECT_EQ(page.CurrentChoice(), Choice::BuiltIn(4, 2));
    EXPECT_EQ(page.ExportCounter(), 3);
    EXPECT_EQ(page.PageHtml(), "<p>a\nb</p>\r\n<i>edited</i>\r\n\r\n<p>a\nb</p>\r\n");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-3")), "<p>a\nb</p>\r\n");
    ExpectMirrored();
    EXPECT_EQ(Run(page.AddCustom("next")).newSource, 5);
    Run(page.Undo());

    // undo takes the whole import back, files included
    Run(page.Undo());
    EXPECT_EQ(page.Lines(), before);
    EXPECT_EQ(page.CustomCounter(), 2);
    EXPECT_EQ(page.CustomText(3), nullptr);
    EXPECT_FALSE(ReadWholeFile(CustomSourcePath("自定义源码-3")).has_value());
    ExpectMirrored();
    Run(page.Redo());
    EXPECT_EQ(page.Lines().size(), 4u);
    ExpectMirrored();

    // numbers the run gave out already, and lists too long, are refused untouched
    EXPECT_EQ(page.ReplaceLines({"自定义源码-4"}, {{4, "again"}}).outcome, Outcome::Nothing);
    EXPECT_EQ(page.ReplaceLines(std::vector<std::string>(32768, "图片展示-样式1"), {}).outcome, Outcome::PageFull);
    EXPECT_EQ(page.Lines().size(), 4u);
    EXPECT_EQ(*page.CustomText(4), "");
}

TEST_F(CompositionTest, ACompoundIsOneStepAndReportsEverythingItDid) {
    Append({"图片展示-样式1", "图片展示-样式2", "图片展示-样式3"});
    page.Select(2);
    const PageData before = page.Snapshot();
    const std::size_t steps = page.UndoSteps();

    // a fill-in: the middle line becomes a new custom source; a replace: the first changes name
    page.BeginCompound();
    const int number = page.NewCustomSource("<p>filled</p>").newSource;
    page.ReplaceLine(1, CustomEntryName(number));
    page.ReplaceLine(0, "五分好评-样式1");
    page.RemoveLine(0);  // lines above the selection move it along
    EXPECT_EQ(page.Selected(), 1);
    const PageEffects e = Run(page.EndCompound());

    EXPECT_TRUE(e.Applied());
    EXPECT_EQ(e.sources, std::set<int>{1});
    EXPECT_TRUE(e.counterChanged);
    EXPECT_EQ(page.UndoSteps(), steps + 1);
    EXPECT_EQ(page.Lines(), (Names{"自定义源码-1", "图片展示-样式3"}));
    ExpectMirrored();

    Run(page.Undo());
    EXPECT_EQ(page.Snapshot(), before);
    EXPECT_EQ(page.Selected(), 2);
    EXPECT_EQ(page.CustomCounter(), 0);
    EXPECT_FALSE(ReadWholeFile(CustomSourcePath("自定义源码-1")).has_value());
    ExpectMirrored();

    // an empty compound records nothing
    page.BeginCompound();
    EXPECT_FALSE(page.EndCompound().Applied());
    EXPECT_TRUE(page.CanRedo());
}

}  // namespace
}  // namespace mojian
