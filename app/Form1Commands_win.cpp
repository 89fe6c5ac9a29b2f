// Form1's commands: one table for its buttons, its menu items and the
// accelerators of the resource script. A command is a row here (its id,
// what it runs, when it is enabled) plus its routine; a menu item or an
// accelerator for it goes into app/Mojian.rc under the same id.
#include <windows.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/Form1State_win.h"
#include "app/WinText_win.h"
#include "app/dialogs/AboutDialog_win.h"
#include "base/File.h"
#include "project/Recovery.h"

namespace mojian {

using namespace form1;

namespace {

struct Command {
    int id;
    void (*run)(HWND form, Form1State& s);
    // Null: always. Menu items are greyed and accelerators do nothing while
    // it says no; buttons stay as they are and their routines refuse.
    bool (*enabled)(const Form1State& s);
    // Inside an edit box the command's keys stay the box's own (Ctrl+Z
    // undoes the typing there, not the page).
    bool editBoxKeepsKeys;
};

template <std::size_t Index>
void RunRecent(HWND form, Form1State& s) {
    OpenRecent(form, s, Index);
}

template <std::size_t Index>
bool HasRecent(const Form1State& s) {
    return s.doc.user.recent.Paths().size() > Index;
}

bool CanUndo(const Form1State& s) { return s.doc.page.CanUndo(); }
bool CanRedo(const Form1State& s) { return s.doc.page.CanRedo(); }
bool HasLastSession(const Form1State& s) {
    return !s.doc.user.folder.empty() && FileSize(project::LastSessionFilePath(s.doc.user.folder)).has_value();
}

// Closing asks the exit question; posted, so the window is never destroyed
// while a command still runs on it.
void Exit_Click(HWND form, Form1State&) { PostMessageW(form, WM_CLOSE, 0, 0); }
void About_Click(HWND form, Form1State&) { ShowAboutDialog(form); }

// 页面 → 描述宽度: one undo step; the preview and the check follow it.
template <DescriptionWidth Width>
void Width_Click(HWND form, Form1State& s) {
    Reflect(form, s, s.doc.page.SetWidth(Width));
}

const std::vector<Command>& Commands() {
    static const std::vector<Command> table = {
        // The buttons. "效果预览" acts on mouse presses alone; "使用教程" and
        // "待更新..." do nothing.
        {kAddButton, &Command1_Click, nullptr, false},
        {kDeleteButton, &Command2_Click, nullptr, false},
        {kClearButton, &Command3_Click, nullptr, false},
        {kCopyButton, &Command4_Click, nullptr, false},
        {kMoveDownButton, &Command5_Click, nullptr, false},
        {kMoveUpButton, &Command6_Click, nullptr, false},
        {kExportButton, &Command9_Click, nullptr, false},
        {kServiceButton, &ContactButton_Click, nullptr, false},
        {kAgentButton, &ContactButton_Click, nullptr, false},
        {kEditCodeButton, &Command13_Click, nullptr, false},
        // 文件
        {IDM_NEW, &New_Click, nullptr, false},
        {IDM_OPEN, &Open_Click, nullptr, false},
        {IDM_SAVE, &Save_Click, nullptr, false},
        {IDM_SAVEAS, &SaveAs_Click, nullptr, false},
        {IDM_RESTORE, &Restore_Click, &HasLastSession, false},
        {IDM_IMPORT_FILE, &ImportFile_Click, nullptr, false},
        // Enabled on an empty page too, to say why there is nothing to make.
        // Ctrl+M stays the code editor's own (a line break there).
        {IDM_MOBILE, &MobileDescription_Click, nullptr, true},
        {IDM_RECENT_FIRST + 0, &RunRecent<0>, &HasRecent<0>, false},
        {IDM_RECENT_FIRST + 1, &RunRecent<1>, &HasRecent<1>, false},
        {IDM_RECENT_FIRST + 2, &RunRecent<2>, &HasRecent<2>, false},
        {IDM_RECENT_FIRST + 3, &RunRecent<3>, &HasRecent<3>, false},
        {IDM_RECENT_FIRST + 4, &RunRecent<4>, &HasRecent<4>, false},
        {IDM_EXIT, &Exit_Click, nullptr, false},
        // 编辑
        {IDM_UNDO, &Undo_Click, &CanUndo, true},
        {IDM_REDO, &Redo_Click, &CanRedo, true},
        {IDM_IMPORT_CLIPBOARD, &ImportClipboard_Click, nullptr, false},
        {IDM_CHECK, &Check_Click, nullptr, false},
        {IDM_FILL, &Fill_Click, &HasSelectedLine, false},
        // Ctrl+H opens the dialog inside the code editor too, as in Notepad:
        // nobody types Backspace as Ctrl+H.
        {IDM_FINDREPLACE, &FindReplace_Click, &HasLines, false},
        // 页面
        {IDM_WIDTH_TAOBAO, &Width_Click<DescriptionWidth::Taobao>, nullptr, false},
        {IDM_WIDTH_TMALL, &Width_Click<DescriptionWidth::Tmall>, nullptr, false},
        // 我的模块
        {IDM_MINE_SAVE, &SaveAsMine_Click, &HasSelectedBlock, false},
        {IDM_MYBLOCKS, &MyBlocks_Click, nullptr, false},
        // 帮助
        {IDM_ABOUT, &About_Click, nullptr, false},
    };
    return table;
}

const Command* Find(int id) {
    for (const Command& c : Commands())
        if (c.id == id) return &c;
    return nullptr;
}

bool IsEnabled(const Command& c, const Form1State& s) { return !c.enabled || c.enabled(s); }

bool IsEditBox(HWND hwnd) {
    wchar_t cls[16] = {};
    GetClassNameW(hwnd, cls, 16);
    return _wcsicmp(cls, L"Edit") == 0;
}

// Whether the key just pressed is one of the resource's accelerators that
// the edit box with the focus keeps for itself.
bool EditBoxKeeps(HACCEL accelerators, const MSG& msg) {
    if (!IsEditBox(msg.hwnd)) return false;
    std::vector<ACCEL> keys(static_cast<std::size_t>(CopyAcceleratorTableW(accelerators, nullptr, 0)));
    CopyAcceleratorTableW(accelerators, keys.data(), static_cast<int>(keys.size()));
    BYTE held = FVIRTKEY;
    if (GetKeyState(VK_CONTROL) < 0) held |= FCONTROL;
    if (GetKeyState(VK_SHIFT) < 0) held |= FSHIFT;
    if (GetKeyState(VK_MENU) < 0) held |= FALT;
    for (const ACCEL& key : keys) {
        if (key.key != msg.wParam || (key.fVirt & ~FNOINVERT) != held) continue;
        const Command* c = Find(key.cmd);
        if (c && c->editBoxKeepsKeys) return true;
    }
    return false;
}

std::wstring RecentItemText(std::size_t index, const std::string& path) {
    constexpr UINT kShownChars = 60;  // the middle of a long path gives way to "..."
    wchar_t shown[MAX_PATH] = {};
    const std::wstring wide = Wide(path);
    std::wstring text = wide;
    if (wide.size() < MAX_PATH && PathCompactPathExW(shown, wide.c_str(), kShownChars, 0)) text = shown;
    std::wstring escaped;
    for (wchar_t c : text) {
        if (c == L'&') escaped += L'&';  // a literal ampersand, not a mnemonic
        escaped += c;
    }
    return L"&" + std::to_wstring(index + 1) + L" " + escaped;
}

}  // namespace

bool RunCommand(HWND form, Form1State& s, int id, bool fromControl) {
    const Command* c = Find(id);
    if (!c) return false;
    if (!fromControl && !IsEnabled(*c, s)) return true;
    EndTyping(s);
    c->run(form, s);  // may end with the window gone: nothing of `s` after this
    return true;
}

void OnInitMenuPopup(Form1State& s, HMENU popup) {
    const int count = GetMenuItemCount(popup);
    for (int i = 0; i < count; ++i) {
        const UINT id = GetMenuItemID(popup, i);
        if (id == static_cast<UINT>(-1)) continue;  // a submenu
        if (const Command* c = Find(static_cast<int>(id)))
            EnableMenuItem(popup, id, MF_BYCOMMAND | (IsEnabled(*c, s) ? MF_ENABLED : MF_GRAYED));
    }
    // The page's width is the one checked (a radio pair; other menus lack it).
    CheckMenuRadioItem(popup, IDM_WIDTH_TAOBAO, IDM_WIDTH_TMALL,
                       s.doc.page.Width() == DescriptionWidth::Tmall ? IDM_WIDTH_TMALL : IDM_WIDTH_TAOBAO, MF_BYCOMMAND);
}

void ShowRecentFiles(HWND form, const Form1State& s) {
    const HMENU menu = GetMenu(form);
    if (!menu) return;
    for (int i = 0; i < static_cast<int>(project::RecentFiles::kMaxFiles); ++i)
        DeleteMenu(menu, IDM_RECENT_FIRST + i, MF_BYCOMMAND);
    DeleteMenu(menu, IDM_RECENT_SEPARATOR, MF_BYCOMMAND);
    // They stand just above 退出, with a line of their own below them.
    const HMENU file = GetSubMenu(menu, 0);
    int exitAt = -1;
    for (int i = 0; i < GetMenuItemCount(file); ++i)
        if (GetMenuItemID(file, i) == IDM_EXIT) exitAt = i;
    if (exitAt < 0 || s.doc.user.recent.Paths().empty()) return;
    const auto& paths = s.doc.user.recent.Paths();
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::wstring text = RecentItemText(i, paths[i]);
        InsertMenuW(file, static_cast<UINT>(exitAt) + static_cast<UINT>(i), MF_BYPOSITION | MF_STRING,
                    IDM_RECENT_FIRST + i, text.c_str());
    }
    MENUITEMINFOW line{};
    line.cbSize = sizeof line;
    line.fMask = MIIM_FTYPE | MIIM_ID;
    line.fType = MFT_SEPARATOR;
    line.wID = IDM_RECENT_SEPARATOR;
    InsertMenuItemW(file, static_cast<UINT>(exitAt) + static_cast<UINT>(paths.size()), TRUE, &line);
}

bool TranslateAccelerators(HWND form, Form1State& s, MSG& msg) {
    if (!s.view.accelerators || (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN)) return false;
    // Keys pressed in another window (a dialog of ours) are that window's.
    if (msg.hwnd != form && !IsChild(form, msg.hwnd)) return false;
    if (EditBoxKeeps(s.view.accelerators, msg)) return false;
    return TranslateAcceleratorW(form, s.view.accelerators, &msg) != 0;
}

}  // namespace mojian
