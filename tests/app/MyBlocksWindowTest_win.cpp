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
