// 我的模块 through the real Form1 and its dialogs under Wine: a line saved
// under a name, the program started again, the block added to a new page
// and copied; the page's file opened where the block is missing.
#include <windows.h>

#include <string>
#include <vector>

#include "DialogScript_win.h"
#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/Clipboard_win.h"
#include "app/CommandIds.h"
#include "myblocks/MyBlocks.h"

namespace mojian::testing {
namespace {

using Names = std::vector<std::string>;

class MyBlocksWindowTest : public Form1Test {
protected:
    // The page 复制代码 puts on the clipboard; its message is no question of ours.
    std::string Copied() {
        const std::size_t boxes = env.boxes.size();
        Click(C(form1::kCopyButton));
        env.boxes.resize(boxes);
        return ClipboardText(form).value_or("<nothing copied>");
    }
    static myblocks::MyBlocks Store() { return myblocks::MyBlocks(myblocks::UserBlocksFolder()); }

    ScriptedEnvironment env;
};

TEST_F(MyBlocksWindowTest, ASavedLineComesBackByteForByteAfterARestartAndTravelsWithItsPage) {
    // what a custom source's file changes: a character GBK lacks, a lone line feed
    AddLine("栏目文字-炫黑");
    Form1Change(form, [](Composition& page) { return page.AddCustom("<p>售后承诺 \xF0\x9F\x98\x80\nsecond</p>"); });
    Select(1);
    const std::string line(Form1Page(form).LineHtml(1).value());

    std::string prompt;
    DialogScript save([&](HWND dialog) {
        prompt = GetText(GetDlgItem(dialog, IDC_MINE_NAME_PROMPT));
        DialogScript::TypeOver(GetDlgItem(dialog, IDC_MINE_NAME), "  售后承诺  ");
        DialogScript::Press(dialog, IDOK);
    });
    PressCtrl(List(), 'B');
    ASSERT_TRUE(save.Ran());
    EXPECT_EQ(save.Title(), "存为我的模块");
    EXPECT_EQ(prompt, "把第 2 行（自定义源码-1）存为我的模块，名称(&N)：");
    EXPECT_TRUE(env.boxes.empty());

    // the program again: the block added to a new page copies as the line did
    DestroyWindow(form);
    Pump();
    StartForm();
    Names listed;
    DialogScript add([&](HWND dialog) {
        const HWND list = GetDlgItem(dialog, IDC_MB_LIST);
        for (int i = 0; i < DialogScript::Rows(list); ++i) listed.push_back(DialogScript::Cell(list, i, 0));
        DialogScript::SelectRow(list, 0);
        DialogScript::Press(dialog, IDC_MB_ADD);
    });
    Menu(IDM_MYBLOCKS);
    ASSERT_TRUE(add.Ran());
    EXPECT_EQ(listed, Names{"售后承诺"});
    EXPECT_EQ(Lines(), Names{"我的模块-售后承诺"});
    EXPECT_EQ(Copied(), line);

    // its file opened where the block is missing: offered, and kept byte for byte
    const std::string path = JoinPath(Folder().Utf8(), "page.mojian");
    env.files = {path};
    Menu(IDM_SAVEAS);
    ASSERT_TRUE(Store().Delete("售后承诺").empty());
    Menu(IDM_NEW);
    env.files = {path};
    env.boxAnswers = {IDYES};
    Menu(IDM_OPEN);
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_NE(env.boxes[0].text.find("本机“我的模块”中没有的模块：“售后承诺”"), std::string::npos) << env.boxes[0].text;
    EXPECT_EQ(Copied(), line);
    const auto kept = Store().Get("售后承诺");
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->html, line);
}

// Shown menus close at once: the test goes on past TrackPopupMenu's loop.
void CALLBACK CloseMenu(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    EndMenu();
}

TEST_F(MyBlocksWindowTest, TheMineKindListsThemWhereTheStylesArePreviewsTheChosenOneAndAddsIt) {
    myblocks::MyBlocks store = Store();
    const std::string chart = "<table><tr><td>S</td><td>84</td></tr></table>";
    ASSERT_EQ(store.Save("尺码", "尺码表格-样式2", chart), "");
    ASSERT_EQ(store.Save("售后", "自定义源码-1", "<p>售后 \r\n承诺</p>"), "");
    ASSERT_TRUE(WriteWholeFile(JoinPath(store.Folder(), "坏.json"), "{"));
    const HWND mine = C(form1::kMineOption), list = C(form1::kMineList);
    const auto rows = [list] {
        Names names;
        for (int i = 0; i < DialogScript::Rows(list); ++i) names.push_back(DialogScript::Cell(list, i, 0));
        return names;
    };

    Click(mine);
    EXPECT_TRUE(Shown(list));
    EXPECT_FALSE(Shown(Style(0)));
    EXPECT_FALSE(Shown(C(form1::kEditor)));
    EXPECT_EQ(GetText(C(form1::kChoiceFrame)), "我的模块");
    EXPECT_EQ(rows(), (Names{"售后", "坏", "尺码"}));
    EXPECT_EQ(DialogScript::Cell(list, 2, 1), "尺码表格-样式2");
    EXPECT_EQ(Doc().Body(), "<p>售后 \r\n承诺</p>");  // the first, chosen for the seller

    DialogScript::SelectRow(list, 1);  // the damaged file: why, and nothing added
    EXPECT_NE(Doc().Body().find("已损坏"), std::string::npos);
    Click(C(form1::kAddButton));
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].text.rfind("“坏”的文件已损坏，无法添加：", 0), 0u) << env.boxes[0].text;
    EXPECT_TRUE(Lines().empty());

    DialogScript::SelectRow(list, 2);
    EXPECT_EQ(Doc().Body(), chart);
    Click(C(form1::kAddButton));
    EXPECT_EQ(Lines(), Names{"我的模块-尺码"});
    EXPECT_EQ(Page().LineHtml(0), chart);
    SetFocus(list);
    MSG enter{list, WM_KEYDOWN, VK_RETURN, 1, 0, {}};  // through the window's keys, as typed
    ASSERT_TRUE(Form1TranslateMessage(form, enter));
    Pump();
    EXPECT_EQ(Lines(), (Names{"我的模块-尺码", "我的模块-尺码"}));
    EXPECT_EQ(env.boxes.size(), 1u);

    // a kind takes the styles back; the list comes again on the block chosen last
    Click(Kind(2));
    EXPECT_FALSE(Shown(list));
    EXPECT_TRUE(Shown(Style(0)));
    EXPECT_FALSE(Checked(mine));
    ASSERT_TRUE(store.Delete("售后").empty());
    Click(mine);
    EXPECT_EQ(rows(), (Names{"坏", "尺码"}));
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 1);
    EXPECT_EQ(Doc().Body(), chart);

    // with none kept, the list says how to keep one
    ASSERT_TRUE(store.Delete("尺码").empty());
    ASSERT_TRUE(store.DeleteDamaged("坏.json").empty());
    Click(Kind(0));
    Click(mine);
    EXPECT_EQ(DialogScript::Rows(list), 0);
    EXPECT_NE(Doc().Body().find("还没有我的模块"), std::string::npos);
    Click(C(form1::kAddButton));
    EXPECT_EQ(env.boxes.back().text, "还没有我的模块可以添加。");
    EXPECT_EQ(Lines().size(), 2u);
}

TEST_F(MyBlocksWindowTest, ARightClickChoosesTheLineUnderThePointerForItsMenu) {
    AddLine("栏目文字-炫黑");
    AddLine("图片展示-样式2");
    RECT item{};
    SendMessageW(List(), LB_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&item));
    POINT at{(item.left + item.right) / 2, (item.top + item.bottom) / 2};
    ClientToScreen(List(), &at);
    SetTimer(nullptr, 0, 50, &CloseMenu);
    SendMessageW(List(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(List()), MAKELPARAM(at.x, at.y));
    Pump();
    EXPECT_EQ(Form1Page(form).Selected(), 1);
    EXPECT_EQ(SendMessageW(List(), LB_GETCURSEL, 0, 0), 1);
}

}  // namespace
}  // namespace mojian::testing
