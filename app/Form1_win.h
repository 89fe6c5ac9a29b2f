// The main window Form1: its controls, the window set-up, the handlers of
// the block choice and the composition list, the page's projects (new,
// open, save, recovery) and undo.
//
// The page itself is a Composition (compose/Composition.h) in the window's
// document (doc/Document.h); the list box, its selection, the captions, the
// custom-source files in the working folder and the previews reflect it. Features that
// change the page go through Form1Change, so the window, the title, the
// status bar and the recovery file follow.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

#include "compose/Composition.h"
#include "compose/PreviewBrowser.h"
#include "mobile/MakeMobile_win.h"

namespace mojian {

// Control identifiers; an array's element i is its base + i. Each button's
// identifier is also its command's (app/Form1Commands_win.cpp).
namespace form1 {
inline constexpr int kKindOptions = 100;    // Option1(0..9): the block kinds
inline constexpr int kCustomOption = 120;   // Option4: "自定义源码"
inline constexpr int kMineOption = 121;     // "我的模块": the seller's own blocks, listed where the styles are
inline constexpr int kStyleOptions = 200;   // Option2(0..19): the styles, in Frame1
inline constexpr int kChoiceFrame = 300;    // Frame1
inline constexpr int kListFrame = 301;      // Frame2: "排版"
inline constexpr int kPreviewFrame = 302;   // Frame4
inline constexpr int kEditor = 400;         // Text1: the custom-source editor
inline constexpr int kEntrySource = 401;    // Text3: the source of the entry last previewed (hidden)
inline constexpr int kPageBuffer = 402;     // Text4: the copy's page buffer (hidden, empty at rest)
inline constexpr int kMineList = 403;       // the seller's blocks, over the style grid while 我的模块 is chosen
inline constexpr int kLatestCustom = 501;   // Label1: the number of the latest custom source (hidden)
inline constexpr int kVersionLabel = 502;   // Label2
inline constexpr int kWelcomeLabel = 504;   // Label4
inline constexpr int kSiteLink = 505;       // Label5: the link to the maker's site
inline constexpr int kList = 600;           // List1: the composition list
inline constexpr int kAddButton = 701;       // Command1: "添加模块"
inline constexpr int kDeleteButton = 702;    // Command2: "删除选中"
inline constexpr int kClearButton = 703;     // Command3: "清空内容"
inline constexpr int kCopyButton = 704;      // Command4: "复制代码"
inline constexpr int kMoveDownButton = 705;  // Command5: "下移一行"
inline constexpr int kMoveUpButton = 706;    // Command6: "上移一行"
inline constexpr int kPagePreviewButton = 707;  // Command7: "效果预览" (mouse press and release only)
inline constexpr int kPendingButton = 708;   // Command8: "待更新..." (does nothing)
inline constexpr int kExportButton = 709;    // Command9: "导出模版"
inline constexpr int kTutorialButton = 710;  // Command10: "使用教程" (does nothing)
inline constexpr int kServiceButton = 711;   // Command11: "联系客服"
inline constexpr int kAgentButton = 712;     // Command12: "联系代理"
inline constexpr int kEditCodeButton = 713;  // Command13: "修改代码"
inline constexpr int kPreview = 800;        // WebBrowser1, in Frame4
inline constexpr int kStatusBar = 900;      // below the controls: file, saved or not, lines, a note
}  // namespace form1

struct Form1Options {
    // The program runs the start-up gates; tests drive the window without.
    bool runStartupGates = true;
    // Closing the window ends the message loop (the program); tests keep theirs.
    bool quitOnClose = true;
    // Marks the run in the user's folder and writes the page to the recovery
    // file after every change.
    bool recovery = true;
    // Checks the page after every change and shows the count in the status
    // bar; without, the check runs only for 发布检查 and the copy.
    bool liveCheck = true;
    // A project file to open once the window is shown (UTF-8 path; the
    // command line's). A running copy is handed it instead.
    std::string fileToOpen;
    // What makes 生成手机详情's folder (mobile::MakeMobileDescription in the
    // program, so the window's library needs no painter; tests give a fake).
    // None: the command says it is not available.
    std::function<mobile::MakeOutcome(const mobile::MakeRequest&)> makeMobile;
};

// Creates Form1 hidden and runs Form_Load; the caller shows it. When a
// start-up gate refuses, the process has already ended.
HWND CreateForm1(HINSTANCE instance, const Form1Options& options = {});

// Any control of the form by identifier, wherever its container.
HWND Form1Control(HWND form, int id);

// The preview other parts of the window write into.
PreviewBrowser* Form1Preview(HWND form);
// The document the preview shows when it is our own model; else nothing.
const PreviewDocument* Form1PreviewModel(HWND form);

// Accelerators, then the keyboard through the form (tab order, arrow keys
// among options). Inside the code editor the edit box keeps its own keys.
bool Form1TranslateMessage(HWND form, MSG& msg);

// ---- The page, for the window's features ----

const Composition& Form1Page(HWND form);

// Runs `operation` on the page and makes the window reflect what it did
// (list, selection, files, captions, title, status bar, recovery).
PageEffects Form1Change(HWND form, const std::function<PageEffects(Composition&)>& operation);

// Before the page is replaced: when it has unsaved changes, asks
// 保存 / 不保存 / 取消 and saves when told. True when the page may go.
bool Form1ReadyToReplacePage(HWND form);

// Replaces the page by `page` as a new, unsaved page without a file (an
// import); the caller has asked Form1ReadyToReplacePage. False, with the
// user told, when the page was refused (too many lines).
bool Form1ReplacePage(HWND form, const PageData& page);

// The status bar's last part, left to features that report on the page.
void Form1SetStatusNote(HWND form, std::string_view text);

}  // namespace mojian
