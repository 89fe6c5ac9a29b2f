// Inside Form1: the per-window state (the document and the window's view of
// it) and the routines its source files share.
// Form1_win.cpp has the window procedure; Form1Layout_win.cpp the control
// table, DPI, colours and the status bar; Form1Actions_win.cpp the handlers
// of the block choice, the list, the copy, the code editor and the export;
// Form1Page_win.cpp how the window reflects the page, undo and recovery;
// Form1Projects_win.cpp new, open, save, recent files and restore;
// Form1Commands_win.cpp the command table, the menu and the accelerators;
// Form1Fill_win.cpp filling in a line and find and replace; Form1Mobile_win.cpp
// the mobile description; Form1Mine_win.cpp 我的模块.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Form1_win.h"
#include "app/Preview_win.h"
#include "check/LiveCheck.h"
#include "app/dialogs/FindReplaceDialog_win.h"
#include "base/Scoped_win.h"
#include "compose/WorkingFolderWriter.h"
#include "doc/Document.h"
#include "myblocks/MyBlocks.h"
#include "project/RecoveryWriter.h"

namespace mojian {

// Posted to the form by itself and by the recovery writer.
inline constexpr UINT kMsgShown = WM_APP + 10;           // once, after the window was first shown
inline constexpr UINT kMsgRecoveryFailed = WM_APP + 11;  // the writer could not write the page
inline constexpr UINT kMsgOpenHandedOver = WM_APP + 12;  // a file another start handed over waits
inline constexpr UINT kMsgCheckReady = WM_APP + 30;      // the live check has a result
inline constexpr UINT_PTR kRecoveryTimer = 1;

// The window's own state: its handles, fonts and brushes, the preview, the
// captions last set, and the workers that report to it by message. The
// page and everything about it is the document's (doc/Document.h).
struct Form1View {
    HINSTANCE instance = nullptr;
    int dpi = USER_DEFAULT_SCREEN_DPI;
    SIZE windowSize{};  // what the layout needs; larger than the screen at a high DPI on a small one
    std::map<int, HWND> controls;  // the control table's, the status bar and the preview's view excepted
    HWND statusBar = nullptr;
    HWND tooltip = nullptr;
    HACCEL accelerators = nullptr;  // a resource of the module: nothing to free
    Font normalFont;
    Font kindFont;
    Brush pinkBrush;
    Brush lightGreenBrush;
    std::unique_ptr<PreviewHost> preview;
    bool loaded = false;  // Form_Load has run
    bool shown = false;   // the window has been shown once
    std::wstring title;   // the caption last set
    std::string statusNote;
    // Set while the program itself changes the editor's text (loading a
    // block, an export): those changes are not the user's edits.
    bool suppressWriteThrough = false;
    HWND checkReport = nullptr;  // 发布检查, while it is open (it is owned, so it goes with the form)
    FindReplaceMemory findReplace;  // what 查找和替换 held last
    // The 我的模块 kind: the seller's blocks as its list shows them, and the
    // name chosen there last (chosen again when the list is read afresh).
    std::vector<myblocks::Entry> mineEntries;
    std::string mineChosen;
    bool mineListing = false;  // while the list is refilled: its own selection changes preview nothing

    // Threads that follow the document and post to the window.
    std::unique_ptr<WorkingFolderWriter> workingFolder;  // the page's custom-source files
    std::unique_ptr<project::RecoveryWriter> recoveryWriter;
    std::unique_ptr<check::LiveCheck> liveCheck;

    HWND Control(int id) const {
        const auto it = controls.find(id);
        return it == controls.end() ? nullptr : it->second;
    }
    int Px(int twips) const { return MulDiv(twips, dpi, 1440); }
    PreviewBrowser& Preview() { return preview->Browser(); }
};

// Everything one Form1 holds; created in CreateForm1, owned by the window
// from WM_NCCREATE (GWLP_USERDATA) and freed at WM_NCDESTROY.
struct Form1State {
    Form1Options options;
    doc::Document doc;
    Form1View view;
};

Form1State* StateOf(HWND form);

// ---- Form1Layout_win.cpp ----
bool CreateControls(HWND form, Form1State& s);
void ApplyLayout(HWND form, Form1State& s);
LRESULT OnCtlColor(Form1State& s, HDC dc, HWND control);
void OnDrawItem(Form1State& s, const DRAWITEMSTRUCT& di);
int DpiOf(HWND hwnd);
// The status bar's parts from the page: file name, saved or not, lines, note.
void UpdateStatusBar(Form1State& s);

// ---- Form1Actions_win.cpp: the handlers ----
void Option1_Click(HWND form, Form1State& s, int kind);
void Option2_Click(HWND form, Form1State& s);
void Option4_Click(HWND form, Form1State& s);
// The style buttons hidden, for what takes their place over the frame.
void HideStyles(Form1State& s);
// The user chose a line in the list box (mouse or keyboard).
void List1_SelChange(HWND form, Form1State& s);
// Previews the selected line's entry.
void List1_Click(HWND form, Form1State& s);
void Command1_Click(HWND form, Form1State& s);
void Command2_Click(HWND form, Form1State& s);
void Command3_Click(HWND form, Form1State& s);
void Command4_Click(HWND form, Form1State& s);
void Command5_Click(HWND form, Form1State& s);
void Command6_Click(HWND form, Form1State& s);
void Command9_Click(HWND form, Form1State& s);
void Command13_Click(HWND form, Form1State& s);
void ContactButton_Click(HWND form, Form1State& s);
void Text1_Change(HWND form, Form1State& s);
void Label5_Click(HWND form);
LRESULT CALLBACK Command7Proc(HWND button, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR refData);
// The option buttons set to the page's choice, as the user's clicks would.
void ShowChoice(HWND form, Form1State& s);
// The program's own change of the editor: previewed, never written through.
void SetEditorTextQuietly(HWND form, Form1State& s, std::string_view text);
bool IsChecked(HWND button);
// A modal message box through the environment.
int Ask(HWND form, std::wstring_view text, std::wstring_view title, UINT flags);

// ---- Form1Page_win.cpp: the window reflects the page ----
// The page's selection into the list box; the page holds it, the list box
// only shows it.
void ShowSelection(Form1State& s);
// Selects a line for the user (-1: none), shows it and previews its entry.
void SelectLine(HWND form, Form1State& s, int line);
// Makes everything outside the page follow `effects`. False when a
// custom-source file could not be written (the page itself is whole).
bool Reflect(HWND form, Form1State& s, const PageEffects& effects);
// The title and status bar after any change of the page or its file.
void ShowPageState(HWND form, Form1State& s);
void Undo_Click(HWND form, Form1State& s);
void Redo_Click(HWND form, Form1State& s);
void EndTyping(Form1State& s);
// Recovery: the session, the writer, and the page handed over after changes.
void StartRecovery(HWND form, Form1State& s);
void RecoveryDue(HWND form, Form1State& s);
void RecoveryFailed(HWND form, Form1State& s);
// A normal exit: the latest page written, the session ended.
void EndRecovery(Form1State& s);
void StopRecovery(Form1State& s);

// ---- Form1Projects_win.cpp ----
void New_Click(HWND form, Form1State& s);
void Open_Click(HWND form, Form1State& s);
void Save_Click(HWND form, Form1State& s);
void SaveAs_Click(HWND form, Form1State& s);
void Restore_Click(HWND form, Form1State& s);
void OpenRecent(HWND form, Form1State& s, std::size_t index);
bool ReadyToReplacePage(HWND form, Form1State& s);
// Opens the file as a restart would, the save question first; a file that
// is no page is refused with its reason and the page stays as it was.
bool OpenProjectFile(HWND form, Form1State& s, const std::string& path);
// Replaces the page; `path` names it (empty: a new page without a file);
// `saved`: the page as replaced has nothing to save.
bool ReplacePage(HWND form, Form1State& s, const PageData& page, const std::string& path, bool saved);
void OnDropFiles(HWND form, Form1State& s, HDROP drop);
bool OnCopyData(HWND form, Form1State& s, const COPYDATASTRUCT& data);
void OpenHandedOver(HWND form, Form1State& s);
// Once the window is shown: the restore offer, then the command line's file.
void AfterShown(HWND form, Form1State& s);
void ReadRecentFiles(HWND form, Form1State& s);

// ---- Form1Fill_win.cpp ----
void Fill_Click(HWND form, Form1State& s);
void FindReplace_Click(HWND form, Form1State& s);
bool HasSelectedLine(const Form1State& s);
bool HasLines(const Form1State& s);

// ---- Form1Commands_win.cpp ----
// A WM_COMMAND from a button (`fromControl`), a menu item or an accelerator.
// False when `id` is no command.
bool RunCommand(HWND form, Form1State& s, int id, bool fromControl);
void OnInitMenuPopup(Form1State& s, HMENU popup);
// The 文件 menu's &1..&5 from the recent-files list.
void ShowRecentFiles(HWND form, const Form1State& s);
bool TranslateAccelerators(HWND form, Form1State& s, MSG& msg);

// ---- Form1Import_win.cpp ----
void ImportFile_Click(HWND form, Form1State& s);       // 文件 → 导入描述…
void ImportClipboard_Click(HWND form, Form1State& s);  // 编辑 → 从粘贴板导入
// ---- Form1Mobile_win.cpp ----
void MobileDescription_Click(HWND form, Form1State& s);  // 文件 → 生成手机详情…
// ---- Form1Mine_win.cpp: 我的模块 ----
void SaveAsMine_Click(HWND form, Form1State& s);  // 我的模块 → 把选中的行存为我的模块…
void MyBlocks_Click(HWND form, Form1State& s);    // 我的模块 → 管理和添加我的模块…
// The 我的模块 option beside the kinds: the seller's blocks listed over the
// style grid, the chosen one previewed; 添加模块 adds it.
void MineOption_Click(HWND form, Form1State& s);
bool MineKindChosen(const Form1State& s);
void AddChosenMine(HWND form, Form1State& s);
LRESULT MineList_Notify(HWND form, Form1State& s, const NMHDR& header);
bool HasSelectedBlock(const Form1State& s);
// The composition list's right-click menu at `at` (WM_CONTEXTMENU's point).
void ShowListMenu(HWND form, Form1State& s, LPARAM at);
// After a page was opened: the seller's blocks it carries that this PC
// lacks, or keeps otherwise, offered to 我的模块.
void OfferPageBlocks(HWND form, const PageData& page);
// ---- Form1Check_win.cpp: the publish check ----
void StartLiveCheck(HWND form, Form1State& s);
void StopLiveCheck(Form1State& s);
// After every change of the page: the status bar's count follows it.
void FollowPageWithCheck(Form1State& s);
void CheckReady(Form1State& s);
// The check of the page as it stands, waited for when the last result is
// older (nothing without a check); the status bar and the report show it.
std::optional<check::LiveCheck::Result> CheckPageNow(Form1State& s);
// The copy message's extra line when the page has errors; empty without.
std::wstring CopyCheckNote(Form1State& s);
void Check_Click(HWND form, Form1State& s);
void CheckReportGoToLine(HWND form, Form1State& s, int line);
void CheckReportClosed(Form1State& s, HWND report);

}  // namespace mojian
