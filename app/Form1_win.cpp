// Form1's window: its creation and set-up (Form_Load), one routine per
// message from one switch, and the exit (Form_Unload).
#include "app/Form1_win.h"

#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/Frame_win.h"
#include "app/WinText_win.h"
#include "app/dialogs/CheckReportDialog_win.h"
#include "app/gates/StartupGates.h"
#include "base/UserFolder.h"
#include "base/WindowClass_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "skin/Skin.h"

namespace mojian {

namespace {

using namespace form1;

constexpr wchar_t kForm1Class[] = L"MojianForm1";

void Form_Load(HWND form, Form1State& s) {
    // The skin goes on first, so the gates' own windows are adopted too.
    mojian::skin::SkinWindow(form);
    if (s.options.runStartupGates && !RunStartupGates(form, s.options.fileToOpen)) ExitProcess(0);

    SetText(form, "墨笺");
    s.view.title = form1_texts::kProductName;
    s.view.Preview().SetSilent(true);
    s.view.Preview().Navigate(kBlankPage);
    SetText(s.view.Control(kChoiceFrame), kKindCaptions[0]);
    for (int i = 0; i < kMaxStyles; ++i)
        SetText(s.view.Control(kStyleOptions + i), kThemeNames[static_cast<std::size_t>(i)]);
    s.view.Preview().Writeln(s.doc.page.GetBlock(9, 5));  // 搭配促销-样式6 until the first choice

    // The page's life outside the window: the run's mark and the recovery
    // file, the recent files.
    s.doc.user.folder = UserDataFolder();
    StartRecovery(form, s);
    StartLiveCheck(form, s);
    ReadRecentFiles(form, s);
    ShowPageState(form, s);
    s.view.loaded = true;
}

// Returns true when the window may close.
bool Form_Unload(HWND form, Form1State& s) {
    std::wstring question = form1_texts::kExitQuestion;
    if (s.doc.page.IsModified()) question += std::wstring(L"\r\n") + form1_texts::kExitNotSaved;
    if (Ask(form, question, form1_texts::kNoticeTitle, MB_YESNO | MB_ICONINFORMATION) != IDYES) return false;
    // The page as it stands is what 恢复上次的排版 opens next time.
    EndRecovery(s);
    std::vector<FileChange> cleanUp;
    for (int i = 1; i <= kMaxCustomSource; ++i) cleanUp.push_back({CustomSourcePath(CustomEntryName(i)), std::nullopt});
    s.view.workingFolder->Write(std::move(cleanUp));  // after every write still on its way
    return true;
}

bool OnCreate(HWND form, Form1State& s) {
    s.view.dpi = DpiOf(form);
    s.view.workingFolder = std::make_unique<WorkingFolderWriter>();
    if (!CreateControls(form, s)) return false;
    s.view.accelerators = LoadAcceleratorsW(s.view.instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    DragAcceptFiles(form, TRUE);
    ApplyLayout(form, s);
    return true;
}

// Notifications of the controls that are not commands.
bool OnControlNotification(HWND form, Form1State& s, int id, int code) {
    if (id >= kKindOptions && id < kKindOptions + kKindCount) {
        if (code == BN_CLICKED) {
            EndTyping(s);
            Option1_Click(form, s, id - kKindOptions);
        }
        return true;
    }
    if (id >= kStyleOptions && id < kStyleOptions + kMaxStyles) {
        if (code == BN_CLICKED) {
            EndTyping(s);
            Option2_Click(form, s);
        }
        return true;
    }
    switch (id) {
    case kCustomOption:
        if (code == BN_CLICKED) {
            EndTyping(s);
            Option4_Click(form, s);
        }
        return true;
    case kMineOption:
        if (code == BN_CLICKED) {
            EndTyping(s);
            MineOption_Click(form, s);
        }
        return true;
    case kList:
        if (code == LBN_SELCHANGE) {  // mouse and keyboard alike
            EndTyping(s);
            List1_SelChange(form, s);
        }
        if (code == LBN_DBLCLK) RunCommand(form, s, IDM_FILL, false);  // 填写内容 for the line
        return true;
    case kSiteLink:
        if (code == STN_CLICKED) Label5_Click(form);
        return true;
    case kEditor:
        if (code == EN_CHANGE) Text1_Change(form, s);
        return true;
    }
    return false;
}

void OnCommand(HWND form, Form1State& s, int id, int code, HWND control) {
    if (control && OnControlNotification(form, s, id, code)) return;
    // Enter in the 我的模块 list adds its block, as a double click does.
    if (id == IDOK && GetFocus() == s.view.Control(kMineList)) {
        EndTyping(s);
        AddChosenMine(form, s);
        return;
    }
    // Buttons say BN_CLICKED (0), menu items 0 and accelerators 1.
    if (control ? code == BN_CLICKED : code == 0 || code == 1) RunCommand(form, s, id, control != nullptr);
}

void OnDpiChanged(HWND form, Form1State& s, int dpi, const RECT& suggested) {
    s.view.dpi = dpi;
    SetWindowPos(form, nullptr, suggested.left, suggested.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ApplyLayout(form, s);
}

LRESULT CALLBACK Form1Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
    Form1State* s = StateOf(hwnd);
    if (!s) return DefWindowProcW(hwnd, msg, wp, lp);
    switch (msg) {
    case WM_CREATE:
        return OnCreate(hwnd, *s) ? 0 : -1;
    case WM_COMMAND:
        OnCommand(hwnd, *s, LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
        return 0;
    case WM_NOTIFY:
        if (const auto* header = reinterpret_cast<const NMHDR*>(lp); header->idFrom == kMineList)
            return MineList_Notify(hwnd, *s, *header);
        break;
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wp) == s->view.Control(kList)) {
            ShowListMenu(hwnd, *s, lp);
            return 0;
        }
        break;
    case WM_INITMENUPOPUP:
        OnInitMenuPopup(*s, reinterpret_cast<HMENU>(wp));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnCtlColor(*s, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_DRAWITEM:
        OnDrawItem(*s, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) == s->view.Control(kSiteLink)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_SIZE:
        if (s->view.statusBar) SendMessageW(s->view.statusBar, WM_SIZE, 0, 0);
        return 0;
    case WM_GETMINMAXINFO: {
        // The window keeps the size its controls need, even where the screen is smaller.
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMaxTrackSize.x = std::max(info->ptMaxTrackSize.x, s->view.windowSize.cx);
        info->ptMaxTrackSize.y = std::max(info->ptMaxTrackSize.y, s->view.windowSize.cy);
        return 0;
    }
    case WM_DPICHANGED:
        OnDpiChanged(hwnd, *s, LOWORD(wp), *reinterpret_cast<const RECT*>(lp));
        return 0;
    case WM_SHOWWINDOW:
        if (wp && !s->view.shown && s->view.loaded) {
            s->view.shown = true;
            PostMessageW(hwnd, kMsgShown, 0, 0);  // once the window is on the screen
        }
        break;
    case kMsgShown:
        AfterShown(hwnd, *s);
        return 0;
    case WM_TIMER:
        if (wp == kRecoveryTimer) RecoveryDue(hwnd, *s);
        return 0;
    case kMsgRecoveryFailed:
        RecoveryFailed(hwnd, *s);
        return 0;
    case WM_DROPFILES:
        OnDropFiles(hwnd, *s, reinterpret_cast<HDROP>(wp));
        return 0;
    case WM_COPYDATA:
        return OnCopyData(hwnd, *s, *reinterpret_cast<const COPYDATASTRUCT*>(lp)) ? TRUE : FALSE;
    case kMsgOpenHandedOver:
        OpenHandedOver(hwnd, *s);
        return 0;
    case kMsgCheckReady:
        CheckReady(*s);
        return 0;
    case kMsgCheckReportGoToLine:
        CheckReportGoToLine(hwnd, *s, static_cast<int>(wp));
        return 0;
    case kMsgCheckReportClosed:
        CheckReportClosed(*s, reinterpret_cast<HWND>(lp));
        return 0;
    case kMsgPreviewRedraw:
    case kMsgPreviewLoaded:
        if (s->view.preview) s->view.preview->OnFormMessage(msg);
        return 0;
    case WM_CLOSE:
        if (Form_Unload(hwnd, *s)) DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        StopRecovery(*s);
        StopLiveCheck(*s);
        s->view.workingFolder.reset();  // what is on its way reaches the folder first
        s->view.preview.reset();  // the browser lets go of its site while Frame4 still exists
        if (s->options.quitOnClose) PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        RemovePropW(hwnd, kNetworkWaitProp);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, 0);
        delete s;
        break;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

bool RegisterForm1Class(HINSTANCE instance) {
    return EnsureWindowClass(instance, kForm1Class, Form1Proc, [](WNDCLASSEXW& wc) {
        // The title bar and the task bar take the small and the big picture of
        // the program's icon, each drawn for its size rather than scaled.
        wc.hIcon = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), LR_SHARED));
        wc.hIconSm = static_cast<HICON>(LoadImageW(wc.hInstance, MAKEINTRESOURCEW(1), IMAGE_ICON,
                                                   GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                   LR_SHARED));
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    });
}

}  // namespace

HWND CreateForm1(HINSTANCE instance, const Form1Options& options) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&icc);
    if (!RegisterFrameClass(instance) || !RegisterForm1Class(instance)) return nullptr;
    auto state = std::make_unique<Form1State>();
    state->options = options;
    state->view.instance = instance;
    Form1State* raw = state.release();  // the window owns it from WM_NCCREATE on
    // The menu bar comes with the window and goes with it.
    const HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAINMENU));
    const HWND form = CreateWindowExW(WS_EX_CONTROLPARENT, kForm1Class, L"",
                                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, menu,
                                      instance, raw);
    if (!form) {  // WM_NCDESTROY has freed the state
        if (menu) DestroyMenu(menu);
        return nullptr;
    }
    Form_Load(form, *raw);
    return form;
}

HWND Form1Control(HWND form, int id) {
    const Form1State* s = StateOf(form);
    if (!s) return nullptr;
    if (id == kPreview) return s->view.preview ? s->view.preview->View() : nullptr;
    if (id == kStatusBar) return s->view.statusBar;
    return s->view.Control(id);
}

PreviewBrowser* Form1Preview(HWND form) {
    Form1State* s = StateOf(form);
    return s && s->view.preview ? &s->view.preview->Browser() : nullptr;
}

const PreviewDocument* Form1PreviewModel(HWND form) {
    const Form1State* s = StateOf(form);
    return s && s->view.preview ? s->view.preview->Model() : nullptr;
}

bool Form1TranslateMessage(HWND form, MSG& msg) {
    Form1State* s = StateOf(form);
    if (s && TranslateAccelerators(form, *s, msg)) return true;
    // The report's keys: tab, Enter and Esc there.
    if (s && s->view.checkReport && IsDialogMessageW(s->view.checkReport, &msg)) return true;
    return IsDialogMessageW(form, &msg) != 0;
}

}  // namespace mojian
