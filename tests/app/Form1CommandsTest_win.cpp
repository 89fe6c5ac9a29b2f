// Form1's menu bar, accelerators and commands under Wine: what the resource
// script gives, that buttons, menu items and keys reach the same commands,
// that disabled commands follow the page, that the code editor keeps its
// own keys, and 关于墨笺.
#include <windows.h>

#include <string>
#include <vector>

#include "Form1Harness_win.h"
#include "ScriptedEnvironment_win.h"
#include "app/CommandIds.h"
#include "compose/EditorText.h"
#include "html/HtmlView_win.h"

namespace mojian::testing {
namespace {

using namespace form1;
using Names = std::vector<std::string>;

std::string ItemText(HMENU menu, UINT id) {
    wchar_t text[256] = {};
    GetMenuStringW(menu, id, text, 256, MF_BYCOMMAND);
    return Narrow(text);
}

TEST_F(Form1Test, TheMenuBarAndItsKeysAreAsTheResourceScriptSays) {
    const HMENU bar = GetMenu(form);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 5);
    Names tops;
    for (UINT i = 0; i < 5; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(bar, i, text, 64, MF_BYPOSITION);
        tops.push_back(Narrow(text));
    }
    EXPECT_EQ(tops, (Names{"文件(&F)", "编辑(&E)", "页面(&P)", "我的模块(&B)", "帮助(&H)"}));
    EXPECT_EQ(ItemText(bar, IDM_WIDTH_TAOBAO), "描述宽度 750（淘宝）(&7)");
    EXPECT_EQ(ItemText(bar, IDM_WIDTH_TMALL), "描述宽度 790（天猫）(&9)");
    EXPECT_EQ(ItemText(bar, IDM_OPEN), "打开排版(&O)…\tCtrl+O");
    EXPECT_EQ(ItemText(bar, IDM_RESTORE), "恢复上次的排版(&R)");
    EXPECT_EQ(ItemText(bar, IDM_ABOUT), "关于墨笺(&A)");
    EXPECT_EQ(ItemText(bar, IDM_CHECK), "发布检查(&K)\tF7");
    EXPECT_EQ(ItemText(bar, IDM_FINDREPLACE), "查找和替换(&H)…\tCtrl+H");
    EXPECT_EQ(ItemText(bar, IDM_MOBILE), "生成手机详情(&M)…\tCtrl+M");

    // every key of the accelerator table is the one its menu item names
    const HACCEL keys = LoadAcceleratorsW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_ACCELERATORS));
    std::vector<ACCEL> table(static_cast<std::size_t>(CopyAcceleratorTableW(keys, nullptr, 0)));
    CopyAcceleratorTableW(keys, table.data(), static_cast<int>(table.size()));
    ASSERT_EQ(table.size(), 10u);
    for (const ACCEL& key : table) {
        EXPECT_EQ(key.fVirt & (FVIRTKEY | FALT), FVIRTKEY);
        const bool function = key.key >= VK_F1 && key.key <= VK_F24;
        const std::string name =
            function ? "F" + std::to_string(key.key - VK_F1 + 1) : std::string(1, static_cast<char>(key.key));
        const std::string named =
            std::string("\t") + ((key.fVirt & FCONTROL) ? "Ctrl+" : "") + ((key.fVirt & FSHIFT) ? "Shift+" : "") + name;
        const std::string text = ItemText(bar, key.cmd);
        ASSERT_GE(text.size(), named.size()) << text;
        EXPECT_EQ(text.substr(text.size() - named.size()), named) << text;
        EXPECT_NE(function, (key.fVirt & FCONTROL) != 0) << text;  // letters go with Ctrl, function keys alone
    }
}

// What the 编辑 menu would show now.
std::pair<bool, bool> UndoRedoEnabled(HWND form) {
    const HMENU edit = GetSubMenu(GetMenu(form), 1);
    SendMessageW(form, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(edit), 1);
    const auto enabled = [&](UINT id) { return (GetMenuState(edit, id, MF_BYCOMMAND) & MF_GRAYED) == 0; };
    return {enabled(IDM_UNDO), enabled(IDM_REDO)};
}

TEST_F(Form1Test, TheDescriptionWidthIsARadioPairThatTheUndoAndThePreviewFollow) {
    const HWND view = C(form1::kPreview);
    const HMENU page = GetSubMenu(GetMenu(form), 2);
    const auto checked = [&] {
        SendMessageW(form, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(page), 2);
        const bool taobao = (GetMenuState(page, IDM_WIDTH_TAOBAO, MF_BYCOMMAND) & MF_CHECKED) != 0;
        const bool tmall = (GetMenuState(page, IDM_WIDTH_TMALL, MF_BYCOMMAND) & MF_CHECKED) != 0;
        return taobao == tmall ? 0 : taobao ? 750 : 790;
    };
    EXPECT_EQ(checked(), 750);
    EXPECT_EQ(html::HtmlViewLayoutWidth(view), 766);  // the column and the view's margins
    Menu(IDM_WIDTH_TMALL);
    EXPECT_EQ(Page().Width(), DescriptionWidth::Tmall);
    EXPECT_EQ(checked(), 790);
    EXPECT_EQ(html::HtmlViewLayoutWidth(view), 806);
    EXPECT_TRUE(Page().IsModified());
    Menu(IDM_UNDO);
    EXPECT_EQ(checked(), 750);
    EXPECT_EQ(html::HtmlViewLayoutWidth(view), 766);
    EXPECT_FALSE(Page().IsModified());
}

TEST_F(Form1Test, ButtonsMenuItemsAndKeysRunTheSameCommandsWhileTheyAreEnabled) {
    ScriptedEnvironment env;
    EXPECT_EQ(UndoRedoEnabled(form), std::make_pair(false, false));
    // nothing to undo: neither the key nor the item (sent anyway) does a thing
    PressCtrl(List(), 'Z');
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(IDM_UNDO, 0), 0);
    EXPECT_TRUE(Lines().empty());

    Click(Kind(8));
    Click(C(kAddButton));  // the button
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(kAddButton, 1), 0);  // its command, as a key would send it
    EXPECT_EQ(Lines(), Names(2, "五分好评-样式1"));
    EXPECT_EQ(UndoRedoEnabled(form), std::make_pair(true, false));

    PressCtrl(List(), 'Z');  // the key
    EXPECT_EQ(Lines().size(), 1u);
    Menu(IDM_UNDO);  // the menu item
    EXPECT_TRUE(Lines().empty());
    EXPECT_EQ(UndoRedoEnabled(form), std::make_pair(false, true));
    PressCtrl(List(), 'Y');
    Menu(IDM_REDO);
    EXPECT_EQ(Lines().size(), 2u);
    PressCtrl(List(), 'Y');  // nothing more to redo
    EXPECT_EQ(Lines().size(), 2u);

    // the 文件 menu: nothing to restore in a user folder that never had a run
    const HMENU file = GetSubMenu(GetMenu(form), 0);
    SendMessageW(form, WM_INITMENUPOPUP, reinterpret_cast<WPARAM>(file), 0);
    EXPECT_TRUE(GetMenuState(file, IDM_RESTORE, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_FALSE(GetMenuState(file, IDM_SAVE, MF_BYCOMMAND) & MF_GRAYED);
    Menu(IDM_RESTORE);
    EXPECT_TRUE(env.boxes.empty());

    // 退出 asks as closing the window does
    env.boxAnswers = {IDNO};
    Menu(IDM_EXIT);
    ASSERT_EQ(env.boxes.size(), 1u);
    EXPECT_EQ(env.boxes[0].text.rfind("确定要退出本软件吗?(Y/N)", 0), 0u);
    EXPECT_TRUE(IsWindow(form));
}

TEST_F(Form1Test, InsideTheCodeEditorTheUndoKeysAreTheEditBoxsOwn) {
    ScriptedEnvironment env;
    AddLine("图片展示-样式1");
    AddLine("图片展示-样式2");
    const std::size_t steps = Page().UndoSteps();
    Click(C(kCustomOption));
    SetFocus(C(kEditor));
    PressCtrl(C(kEditor), 'Z');
    PressCtrl(C(kEditor), 'Y');
    EXPECT_EQ(Page().UndoSteps(), steps);
    EXPECT_EQ(Lines().size(), 2u);
    // keys the edit box has no use for still reach the window
    env.files = {JoinPath(Folder().Utf8(), "from the editor.mojian")};
    PressCtrl(C(kEditor), 'S');
    EXPECT_EQ(env.fileQuestions.size(), 1u);
    EXPECT_EQ(GetText(form), "墨笺 - from the editor.mojian");
}

TEST_F(Form1Test, AboutNamesTheVersionTheMakerAndTheSite) {
    BoxAnswerer answer(IDOK);
    Menu(IDM_ABOUT);
    ASSERT_EQ(answer.Seen().size(), 1u);
    const SeenBox& about = answer.Seen()[0];
    EXPECT_EQ(about.title, "关于墨笺");
    EXPECT_NE(about.text.find("版本 1.0"), std::string::npos) << about.text;
    EXPECT_NE(about.text.find("岚舟"), std::string::npos);
    EXPECT_NE(about.text.find(std::string(kMakerSiteAddress)), std::string::npos);
    EXPECT_NE(about.icon, nullptr);
    EXPECT_EQ(about.buttons, std::vector<int>{IDOK});
}

}  // namespace
}  // namespace mojian::testing
