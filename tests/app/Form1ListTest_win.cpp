// The composition list of Form1 under Wine: adding, moving, deleting,
// clearing, and previewing a clicked line.
#include "Form1Harness_win.h"
#include "base/File.h"
#include "base/Gbk.h"
#include "base/Utf.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

TEST_F(Form1Test, AddWritesTheEntryNameOfTheChoice) {
    const std::string preview = Doc().Source();
    Click(Kind(1));
    Click(Style(2));
    Click(C(kAddButton));
    Click(C(kAddButton));  // no duplicate check
    Click(Kind(0));
    Click(Style(18));
    Click(C(kAddButton));
    Click(Style(4));
    Click(C(kAddButton));
    Click(Kind(9));
    Click(Style(12));
    const std::string chosen = Doc().Source();
    Click(C(kAddButton));
    EXPECT_EQ(Lines(), (Names{"图片展示-样式3", "图片展示-样式3", "栏目文字-健康", "栏目文字-雅黑", "搭配促销-样式13"}));
    EXPECT_EQ(Selection(), -1);           // the new line is not selected
    EXPECT_EQ(Doc().Source(), chosen);    // nor previewed
    EXPECT_NE(chosen, preview);
    EXPECT_FALSE(FolderExists(WorkingFolder()));  // built-in adds write nothing
}

TEST_F(Form1Test, CustomAddsAreNumberedForTheRunAndWrittenAsGbk) {
    Click(C(kCustomOption));
    SetText(C(kEditor), "<p>墨笺\r\n第二行</p>");
    Click(C(kAddButton));
    EXPECT_EQ(Lines(), Names{"自定义源码-1"});
    EXPECT_EQ(GetText(C(kChoiceFrame)), "自定义源码-1");
    EXPECT_EQ(GetText(C(kLatestCustom)), "1");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), Utf8ToGbk("<p>墨笺\r\n第二行</p>") + "\r\n");

    // deleting does not give the number back; an empty editor still writes a line break
    Select(0);
    Click(C(kDeleteButton));
    SetText(C(kEditor), "");
    Click(C(kAddButton));
    EXPECT_EQ(Lines(), Names{"自定义源码-2"});
    EXPECT_EQ(GetText(C(kLatestCustom)), "2");
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-2")), "\r\n");
    EXPECT_EQ(Selection(), -1);
}

TEST_F(Form1Test, AnUnwritableWorkingFolderStillAddsTheLineAndSaysSo) {
    WriteWholeFile(WorkingFolder(), "a file where the folder should be");
    Click(C(kCustomOption));
    BoxAnswerer answer(IDOK);
    Click(C(kAddButton));
    EXPECT_EQ(Lines(), Names{"自定义源码-1"});
    ASSERT_EQ(answer.Seen().size(), 1u);
    EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
    EXPECT_NE(answer.Seen()[0].text.find("自定义源码没能保存"), std::string::npos) << answer.Seen()[0].text;
    EXPECT_TRUE(IsWindow(form));
    // the next add goes on numbering
    Click(C(kAddButton));
    EXPECT_EQ(Lines(), (Names{"自定义源码-1", "自定义源码-2"}));
}

TEST_F(Form1Test, MovesSwapNeighboursKeepTheLineSelectedAndPreviewIt) {
    for (const char* name : {"图片展示-样式1", "尺码表格-样式2", "五分好评-样式3"}) AddLine(name);
    // nothing selected, as right after an add: nothing happens
    const std::string before = Doc().Source();
    Click(C(kMoveDownButton));
    Click(C(kMoveUpButton));
    Click(C(kDeleteButton));
    EXPECT_EQ(Lines(), (Names{"图片展示-样式1", "尺码表格-样式2", "五分好评-样式3"}));
    EXPECT_EQ(Doc().Source(), before);

    Select(1);
    Click(C(kMoveDownButton));
    EXPECT_EQ(Lines(), (Names{"图片展示-样式1", "五分好评-样式3", "尺码表格-样式2"}));
    EXPECT_EQ(Selection(), 2);
    EXPECT_EQ(Doc().Body(), Page().GetBlock(2, 1));
    Click(C(kMoveDownButton));  // already last
    EXPECT_EQ(Lines(), (Names{"图片展示-样式1", "五分好评-样式3", "尺码表格-样式2"}));

    Select(1);
    Click(C(kMoveUpButton));
    EXPECT_EQ(Lines(), (Names{"五分好评-样式3", "图片展示-样式1", "尺码表格-样式2"}));
    EXPECT_EQ(Selection(), 0);
    EXPECT_EQ(Doc().Body(), Page().GetBlock(8, 2));
    Click(C(kMoveUpButton));  // already first
    EXPECT_EQ(Lines(), (Names{"五分好评-样式3", "图片展示-样式1", "尺码表格-样式2"}));

    Select(1);
    Click(C(kDeleteButton));
    EXPECT_EQ(Lines(), (Names{"五分好评-样式3", "尺码表格-样式2"}));
    EXPECT_EQ(Selection(), -1);
}

TEST_F(Form1Test, ClearAsksOnlyWhenThereIsSomethingToClear) {
    {
        BoxAnswerer answer(IDOK);
        Click(C(kClearButton));
        EXPECT_TRUE(answer.Seen().empty());
    }
    AddLine("图片展示-样式1");
    AddLine("自定义源码-1");
    {
        BoxAnswerer answer(IDCANCEL);
        Click(C(kClearButton));
        ASSERT_EQ(answer.Seen().size(), 1u);
        EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
        EXPECT_EQ(answer.Seen()[0].text, "清空后将无法恢复，是否要清空现有的内容？");
        EXPECT_EQ(answer.Seen()[0].icon, nullptr);
        EXPECT_EQ(answer.Seen()[0].buttons, (std::vector<int>{IDOK, IDCANCEL}));
    }
    EXPECT_EQ(Lines().size(), 2u);
    {
        BoxAnswerer answer(IDOK);
        Click(C(kClearButton));
        EXPECT_EQ(answer.Seen().size(), 1u);
    }
    EXPECT_TRUE(Lines().empty());
}

TEST_F(Form1Test, ClickingALinePreviewsThatEntryAlone) {
    SetCustomSource(100, "第一行\n还是第一行\r\n第二行");
    for (const char* name : {"栏目文字-活力", "栏目文字-样式1", "自定义源码-100", "图片展示-样式6", "自定义源码-101",
                             "自定义源码-05", "自定义源码-7", "五分好评-样式3"})
        AddLine(name);

    ClickLine(0);
    EXPECT_EQ(Doc().Body(), Page().GetBlock(0, 19));
    EXPECT_EQ(GetText(C(kEntrySource)), Page().GetBlock(0, 19));

    // names that resolve to nothing change nothing
    const std::string shown = Doc().Source();
    ClickLine(1);
    EXPECT_EQ(Selection(), 1);
    EXPECT_EQ(Doc().Source(), shown);
    EXPECT_EQ(GetText(C(kEntrySource)), Page().GetBlock(0, 19));

    ClickLine(2);
    const std::string custom = "第一行\n还是第一行\r\n第二行\r\n";
    EXPECT_EQ(GetText(C(kEntrySource)), custom);
    EXPECT_EQ(Doc().Title(), "New Document");
    EXPECT_EQ(Doc().Body(), "\r\n" + custom + "\r\n");

    for (int i : {3, 4, 5, 6}) {  // 样式6 of five, 101, 05, and a custom source that was never added
        ClickLine(i);
        EXPECT_EQ(Doc().Body(), "\r\n" + custom + "\r\n") << i;
        EXPECT_EQ(GetText(C(kEntrySource)), custom) << i;
    }

    // the keyboard moves the selection and previews as a click does; the
    // built-in block replaces only the body, so the title stays
    SetFocus(List());
    SendMessageW(List(), WM_KEYDOWN, VK_DOWN, 0);
    Pump();
    EXPECT_EQ(Selection(), 7);
    EXPECT_EQ(Doc().Body(), Page().GetBlock(8, 2));
    EXPECT_EQ(Doc().Title(), "New Document");
}

TEST_F(Form1Test, AnEmptyCustomSourcePreviewsOneEmptyLineInTheFrame) {
    // added from an empty editor, its file holds one line break
    SetCustomSource(2, "");
    AddLine("栏目文字-炫黑");
    AddLine("自定义源码-2");
    ClickLine(0);
    ClickLine(1);
    EXPECT_EQ(GetText(C(kEntrySource)), "\r\n");
    EXPECT_EQ(Doc().Title(), "New Document");
    EXPECT_EQ(Doc().Body(), "\r\n\r\n\r\n");
}

TEST_F(Form1Test, LongSourcesAreKeptWholeInEveryTextBuffer) {
    std::string longText;
    while (longText.size() < 200000) longText += "<p>墨笺 long custom source line</p>\r\n";
    const std::u16string wide = Utf8ToUtf16(longText);
    Click(C(kCustomOption));
    SetText(C(kEditor), longText);
    EXPECT_EQ(GetWindowTextLengthW(C(kEditor)), static_cast<int>(wide.size()));
    // typed text, too, goes past the edit box's usual 32K
    SendMessageW(C(kEditor), EM_SETSEL, static_cast<WPARAM>(-1), -1);
    SendMessageW(C(kEditor), WM_CHAR, 'x', 0);
    EXPECT_EQ(GetWindowTextLengthW(C(kEditor)), static_cast<int>(wide.size()) + 1);
    SetText(C(kEditor), longText);

    Click(C(kAddButton));
    EXPECT_EQ(ReadWholeFile(CustomSourcePath("自定义源码-1")), Utf8ToGbk(longText) + "\r\n");
    ClickLine(0);
    EXPECT_EQ(GetText(C(kEntrySource)), longText + "\r\n");
    SetText(C(kPageBuffer), longText);
    EXPECT_EQ(GetText(C(kPageBuffer)), longText);
}

TEST_F(Form1Test, AFullListRefusesFurtherAddsWithAMessage) {
    AddLines("图片展示-样式1", 32766);
    Click(Kind(2));
    Click(C(kAddButton));  // the last place
    EXPECT_EQ(SendMessageW(List(), LB_GETCOUNT, 0, 0), 32767);
    {
        BoxAnswerer answer(IDOK);
        Click(C(kAddButton));
        ASSERT_EQ(answer.Seen().size(), 1u);
        EXPECT_EQ(answer.Seen()[0].title, "温馨提示");
        EXPECT_NE(answer.Seen()[0].text.find("32767"), std::string::npos);
    }
    EXPECT_EQ(SendMessageW(List(), LB_GETCOUNT, 0, 0), 32767);

    // nor a custom source: no number taken, no file written
    Click(C(kCustomOption));
    {
        BoxAnswerer answer(IDOK);
        Click(C(kAddButton));
        EXPECT_EQ(answer.Seen().size(), 1u);
    }
    EXPECT_EQ(GetText(C(kLatestCustom)), "1");
    EXPECT_FALSE(ReadWholeFile(CustomSourcePath("自定义源码-1")));
    EXPECT_EQ(SendMessageW(List(), LB_GETCOUNT, 0, 0), 32767);
}

}  // namespace
}  // namespace mojian::testing
