// Form1's controls: their table in twips, the fonts and the layout for the
// window's DPI, the colours the table gives them, and the status bar below.
#include <windows.h>
#include <commctrl.h>

#include <array>
#include <string>
#include <vector>

#include "app/Form1State_win.h"
#include "app/Form1Texts.h"
#include "app/Frame_win.h"
#include "app/WinText_win.h"
#include "app/dialogs/VirtualList_win.h"
#include "catalogue/Catalogue.h"
#include "compose/EditorText.h"

namespace mojian {

namespace {

using namespace form1;

// The controls' client area; the status bar lies below it and the menu bar
// above, so the window grows by both.
constexpr int kClientWidthTwips = 12345;
constexpr int kClientHeightTwips = 10905;
constexpr int kKindFontTenthsPt = 105;   // "宋体" 10.5 pt: kind buttons, Option4, List1
constexpr int kNormalFontTenthsPt = 90;  // "宋体" 9 pt: everything else

// The status bar's parts at 96 dpi: file name, saved or not, lines; the
// last part takes the rest.
constexpr std::array<int, 3> kStatusPartWidthsPx96 = {330, 80, 90};

constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 0xFF);
constexpr COLORREF kRed = RGB(0xFF, 0, 0);
constexpr COLORREF kGreen = RGB(0, 0x80, 0);
constexpr COLORREF kPink = RGB(0xFF, 0xC0, 0xC0);
constexpr COLORREF kLightGreen = RGB(0xC0, 0xFF, 0xC0);

enum class FontKind { Normal, Kind };

struct ControlRow {
    int id;
    int container;  // 0: the window itself, else a frame's id
    const wchar_t* windowClass;
    std::wstring caption;
    int leftTwips, topTwips, widthTwips, heightTwips;
    DWORD style;
    DWORD exStyle;
    FontKind font;
};

constexpr DWORD kChild = WS_CHILD | WS_CLIPSIBLINGS;
constexpr DWORD kFrameStyle = kChild | WS_VISIBLE | WS_GROUP | WS_CLIPCHILDREN;
constexpr DWORD kButtonStyle = kChild | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_PUSHBUTTON;
constexpr DWORD kHiddenBuffer = kChild | ES_MULTILINE | ES_AUTOVSCROLL | ES_AUTOHSCROLL;

// The window's controls in creation (and tab) order; containers come before
// what they hold.
const std::vector<ControlRow>& Controls() {
    static const std::vector<ControlRow> table = [] {
        std::vector<ControlRow> t;
        constexpr std::array<int, 5> kKindLefts = {240, 1560, 2880, 4200, 5520};
        for (int k = 0; k < kKindCount; ++k) {
            const DWORD first = k == 0 ? WS_GROUP | WS_TABSTOP : 0;
            t.push_back({kKindOptions + k, 0, L"BUTTON", Wide(kKindCaptions[static_cast<std::size_t>(k)]),
                         kKindLefts[static_cast<std::size_t>(k % 5)], k < 5 ? 120 : 480, 1215, 255,
                         kChild | WS_VISIBLE | BS_AUTORADIOBUTTON | first, 0, FontKind::Kind});
        }
        t.push_back({kCustomOption, 0, L"BUTTON", Wide(kCustomSourceCaption), 240, 840, 1455, 255,
                     kChild | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, FontKind::Kind});
        t.push_back({kMineOption, 0, L"BUTTON", L"我的模块", 2880, 840, 1215, 255,
                     kChild | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, FontKind::Kind});
        t.push_back({kChoiceFrame, 0, kFrameClass, L"栏目文字", 240, 1200, 6375, 2535, kFrameStyle,
                     WS_EX_CONTROLPARENT, FontKind::Normal});
        constexpr std::array<int, 5> kStyleLefts = {240, 1410, 2580, 3750, 4920};
        constexpr std::array<int, 4> kStyleTops = {360, 840, 1320, 1800};
        for (int i = 0; i < kMaxStyles; ++i) {
            const DWORD first = i == 0 ? WS_GROUP | WS_TABSTOP : 0;
            t.push_back({kStyleOptions + i, kChoiceFrame, L"BUTTON", Wide(kThemeNames[static_cast<std::size_t>(i)]),
                         kStyleLefts[static_cast<std::size_t>(i % 5)], kStyleTops[static_cast<std::size_t>(i / 5)],
                         1095, 255, kChild | WS_VISIBLE | BS_AUTORADIOBUTTON | first, 0, FontKind::Normal});
        }
        t.push_back({kEditor, 0, L"EDIT", L"", 360, 1440, 6135, 2175,
                     kChild | WS_TABSTOP | WS_GROUP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                         ES_AUTOHSCROLL | ES_WANTRETURN,
                     WS_EX_CLIENTEDGE, FontKind::Normal});
        // In the editor's place: a virtual list, which shows a thousand blocks as fast as ten.
        t.push_back({kMineList, 0, WC_LISTVIEWW, L"", 360, 1440, 6135, 2175,
                     kChild | WS_TABSTOP | WS_GROUP | LVS_REPORT | LVS_OWNERDATA | LVS_SINGLESEL | LVS_SHOWSELALWAYS,
                     WS_EX_CLIENTEDGE, FontKind::Normal});
        t.push_back({kWelcomeLabel, 0, L"STATIC", L"欢迎使用墨笺，岚舟出品", 360, 3960, 2415, 255,
                     kChild | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_CENTERIMAGE, 0, FontKind::Normal});
        t.push_back({kSiteLink, 0, L"STATIC", L"访问官方网址", 3360, 3960, 1215, 255,
                     kChild | WS_VISIBLE | SS_LEFT | SS_NOTIFY | SS_CENTERIMAGE, 0, FontKind::Normal});
        // Owner-drawn for its light green face.
        t.push_back({kAddButton, 0, L"BUTTON", L"添加模块", 5160, 3800, 1455, 495,
                     kChild | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_OWNERDRAW, 0, FontKind::Normal});
        t.push_back({kListFrame, 0, kFrameClass, L"排版", 6840, 120, 5415, 3975, kFrameStyle, WS_EX_CONTROLPARENT,
                     FontKind::Normal});
        t.push_back({kList, kListFrame, L"LISTBOX", L"", 120, 240, 2535, 3630,
                     kChild | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                     WS_EX_CLIENTEDGE, FontKind::Kind});
        const std::array<std::pair<int, const wchar_t*>, 6> middle = {{{kMoveUpButton, L"上移一行"},
                                                                       {kMoveDownButton, L"下移一行"},
                                                                       {kDeleteButton, L"删除选中"},
                                                                       {kClearButton, L"清空内容"},
                                                                       {kPagePreviewButton, L"效果预览"},
                                                                       {kEditCodeButton, L"修改代码"}}};
        const std::array<int, 6> middleTops = {240, 864, 1488, 2112, 2730, 3360};
        for (std::size_t j = 0; j < middle.size(); ++j)
            t.push_back({middle[j].first, kListFrame, L"BUTTON", middle[j].second, 2760, middleTops[j], 1215, 495,
                         kButtonStyle, 0, FontKind::Normal});
        const std::array<std::pair<int, const wchar_t*>, 6> right = {{{kCopyButton, L"复制代码"},
                                                                      {kExportButton, L"导出模版"},
                                                                      {kTutorialButton, L"使用教程"},
                                                                      {kPendingButton, L"待更新..."},
                                                                      {kAgentButton, L"联系代理"},
                                                                      {kServiceButton, L"联系客服"}}};
        const std::array<int, 6> rightTops = {240, 840, 1488, 2112, 2730, 3360};
        for (std::size_t j = 0; j < right.size(); ++j)
            t.push_back({right[j].first, kListFrame, L"BUTTON", right[j].second, 4080, rightTops[j], 1215, 495,
                         kButtonStyle, 0, FontKind::Normal});
        t.push_back({kVersionLabel, 0, L"STATIC", L"软件当前版本：1.0", 10680, 4140, 1545, 180,
                     kChild | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, FontKind::Normal});
        t.push_back({kPreviewFrame, 0, kFrameClass, L"效果预览（文字及图片请安装代码后在淘宝编辑器内修改替换）", 120,
                     4318, 12135, 6495, kFrameStyle, WS_EX_CONTROLPARENT, FontKind::Normal});
        // Buffers the user never sees, outside the client area.
        t.push_back({kEntrySource, 0, L"EDIT", L"", 12600, 120, 1200, 495, kHiddenBuffer, 0, FontKind::Normal});
        t.push_back({kPageBuffer, 0, L"EDIT", L"", 12600, 720, 1200, 495, kHiddenBuffer, 0, FontKind::Normal});
        t.push_back({kLatestCustom, 0, L"STATIC", L"1", 12600, 1320, 1200, 255, kChild, 0, FontKind::Normal});
        return t;
    }();
    return table;
}

// The 我的模块 list's columns: name, where it came from, when it was saved;
// together the list's width less its border and scroll bar.
constexpr std::array<std::pair<const wchar_t*, int>, 3> kMineColumnsTwips = {
    {{L"名称", 2580}, {L"来自", 1700}, {L"保存时间", 1560}}};

// WebBrowser1's place in Frame4.
constexpr RECT kPreviewTwips{120, 240, 120 + 11895, 240 + 6135};

RECT PreviewPx(const Form1State& s) {
    return {s.view.Px(kPreviewTwips.left), s.view.Px(kPreviewTwips.top), s.view.Px(kPreviewTwips.right), s.view.Px(kPreviewTwips.bottom)};
}

SIZE WindowSizeForClient(HWND hwnd, int dpi, int clientWidth, int clientHeight) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT rc{0, 0, clientWidth, clientHeight};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    const BOOL menu = GetMenu(hwnd) != nullptr;
    if (!(adjustForDpi && adjustForDpi(&rc, style, menu, exStyle, static_cast<UINT>(dpi))))
        AdjustWindowRectEx(&rc, style, menu, exStyle);
    return {rc.right - rc.left, rc.bottom - rc.top};
}

// Sizes the window so its client area is exactly `width` × `height`,
// whatever the menu bar turns out to need.
void SizeClient(HWND form, Form1State& s, int width, int height) {
    SIZE& size = s.view.windowSize;  // also what WM_GETMINMAXINFO allows
    size = WindowSizeForClient(form, s.view.dpi, width, height);
    for (int attempt = 0; attempt < 2; ++attempt) {
        SetWindowPos(form, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        RECT client{};
        GetClientRect(form, &client);
        const int dx = width - client.right, dy = height - client.bottom;
        if (dx == 0 && dy == 0) return;
        size.cx += dx;  // a menu bar that wrapped, or a frame the system measures otherwise
        size.cy += dy;
    }
}

Font MakeFont(int tenthsOfPoint, int dpi) {
    LOGFONTW lf{};
    lf.lfHeight = -MulDiv(tenthsOfPoint, dpi, 720);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = GB2312_CHARSET;
    lf.lfQuality = DEFAULT_QUALITY;
    wcscpy(lf.lfFaceName, L"宋体");
    return Font(CreateFontIndirectW(&lf));
}

int StatusBarHeight(const Form1State& s) {
    if (!s.view.statusBar) return 0;
    RECT rc{};
    GetWindowRect(s.view.statusBar, &rc);
    return rc.bottom - rc.top;
}

}  // namespace

Form1State* StateOf(HWND form) { return reinterpret_cast<Form1State*>(GetWindowLongPtrW(form, GWLP_USERDATA)); }

int DpiOf(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (getDpiForWindow) {
        if (const UINT dpi = getDpiForWindow(hwnd)) return static_cast<int>(dpi);
    }
    ClientDc screen(nullptr);
    const int dpi = screen.get() ? GetDeviceCaps(screen.get(), LOGPIXELSY) : 0;
    return dpi > 0 ? dpi : USER_DEFAULT_SCREEN_DPI;
}

bool CreateControls(HWND form, Form1State& s) {
    s.view.pinkBrush.reset(CreateSolidBrush(kPink));
    s.view.lightGreenBrush.reset(CreateSolidBrush(kLightGreen));
    for (const ControlRow& c : Controls()) {
        const HWND parent = c.container ? s.view.Control(c.container) : form;
        const HWND hwnd = CreateWindowExW(c.exStyle, c.windowClass, c.caption.c_str(), c.style, 0, 0, 0, 0, parent,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), s.view.instance, nullptr);
        if (!hwnd) return false;
        s.view.controls[c.id] = hwnd;
    }
    SendMessageW(s.view.Control(kKindOptions), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(s.view.Control(kStyleOptions), BM_SETCHECK, BST_CHECKED, 0);
    // No edit box of ours may cut a long page or source at 32K characters.
    for (int id : {kEditor, kEntrySource, kPageBuffer}) SendMessageW(s.view.Control(id), EM_SETLIMITTEXT, 0, 0);
    SetText(s.view.Control(kEditor), DefaultEditorText());
    // The editor and the 我的模块 list lie over the style grid: keep them above the frame.
    for (const int id : {kMineList, kEditor})
        SetWindowPos(s.view.Control(id), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const HWND mine = s.view.Control(kMineList);
    SendMessageW(mine, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    for (std::size_t i = 0; i < kMineColumnsTwips.size(); ++i)
        AddListColumn(mine, static_cast<int>(i), kMineColumnsTwips[i].first, 0);  // sized by ApplyLayout

    s.view.preview = CreatePreviewHost(form, s.view.Control(kPreviewFrame), kPreview, PreviewPx(s));
    if (!s.view.preview || !s.view.preview->View()) return false;

    s.view.statusBar = CreateWindowExW(0, STATUSCLASSNAMEW, nullptr, WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, form,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusBar)), s.view.instance, nullptr);

    s.view.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr, s.view.instance, nullptr);
    if (s.view.tooltip) {
        std::wstring tip = L"修改后记得添加模块喔";
        TTTOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = s.view.Control(kListFrame);
        info.uId = reinterpret_cast<UINT_PTR>(s.view.Control(kEditCodeButton));
        info.lpszText = tip.data();
        SendMessageW(s.view.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    SetWindowSubclass(s.view.Control(kPagePreviewButton), &Command7Proc, 0, reinterpret_cast<DWORD_PTR>(form));
    return true;
}

void ApplyLayout(HWND form, Form1State& s) {
    // The old fonts go only once no control uses them any more.
    Font normalFont = MakeFont(kNormalFontTenthsPt, s.view.dpi);
    Font kindFont = MakeFont(kKindFontTenthsPt, s.view.dpi);
    for (const ControlRow& c : Controls()) {
        const HWND hwnd = s.view.Control(c.id);
        MoveWindow(hwnd, s.view.Px(c.leftTwips), s.view.Px(c.topTwips), s.view.Px(c.widthTwips), s.view.Px(c.heightTwips), TRUE);
        const HFONT font = c.font == FontKind::Kind ? kindFont.get() : normalFont.get();
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    for (std::size_t i = 0; i < kMineColumnsTwips.size(); ++i)
        SendMessageW(s.view.Control(kMineList), LVM_SETCOLUMNWIDTH, i, s.view.Px(kMineColumnsTwips[i].second));
    if (s.view.preview) {
        s.view.preview->Place(PreviewPx(s));
        SendMessageW(s.view.preview->View(), WM_SETFONT, reinterpret_cast<WPARAM>(normalFont.get()), TRUE);
    }
    if (s.view.statusBar) {
        // The bar takes its height from its font; it moves itself to the
        // bottom when the window's size changes.
        SendMessageW(s.view.statusBar, WM_SETFONT, reinterpret_cast<WPARAM>(normalFont.get()), FALSE);
        SendMessageW(s.view.statusBar, WM_SIZE, 0, 0);
        std::array<int, kStatusPartWidthsPx96.size() + 1> edges{};
        int right = 0;
        for (std::size_t i = 0; i < kStatusPartWidthsPx96.size(); ++i) {
            right += MulDiv(kStatusPartWidthsPx96[i], s.view.dpi, USER_DEFAULT_SCREEN_DPI);
            edges[i] = right;
        }
        edges.back() = -1;
        SendMessageW(s.view.statusBar, SB_SETPARTS, edges.size(), reinterpret_cast<LPARAM>(edges.data()));
    }
    s.view.normalFont = std::move(normalFont);
    s.view.kindFont = std::move(kindFont);
    SizeClient(form, s, s.view.Px(kClientWidthTwips), s.view.Px(kClientHeightTwips) + StatusBarHeight(s));
    if (s.view.statusBar) SendMessageW(s.view.statusBar, WM_SIZE, 0, 0);
}

void UpdateStatusBar(Form1State& s) {
    if (!s.view.statusBar) return;
    using namespace form1_texts;
    std::wstring name = kNewPageName;
    if (!s.doc.file.Path().empty()) {
        const std::wstring path = Wide(s.doc.file.Path());
        name = path.substr(path.find_last_of(L"\\/") + 1);
    }
    const wchar_t* saved = s.doc.page.IsModified() ? kStatusModified : s.doc.file.Path().empty() ? L"" : kStatusSaved;
    const std::wstring lines = std::to_wstring(s.doc.page.Lines().size()) + kStatusLines;
    const std::wstring note = Wide(s.view.statusNote);
    const std::array<const wchar_t*, 4> parts = {name.c_str(), saved, lines.c_str(), note.c_str()};
    for (std::size_t i = 0; i < parts.size(); ++i) {
        // Unchanged parts are left alone: the bar repaints what it is given.
        const auto length = LOWORD(SendMessageW(s.view.statusBar, SB_GETTEXTLENGTHW, i, 0));
        std::wstring now(length + 1u, L'\0');
        SendMessageW(s.view.statusBar, SB_GETTEXTW, i, reinterpret_cast<LPARAM>(now.data()));
        now.resize(length);
        if (now != parts[i]) SendMessageW(s.view.statusBar, SB_SETTEXTW, i, reinterpret_cast<LPARAM>(parts[i]));
    }
}

LRESULT OnCtlColor(Form1State& s, HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    COLORREF text = GetSysColor(COLOR_BTNTEXT);
    HBRUSH brush = GetSysColorBrush(COLOR_BTNFACE);
    COLORREF back = GetSysColor(COLOR_BTNFACE);
    if ((id >= kKindOptions && id < kKindOptions + kKindCount) || id == kCustomOption || id == kMineOption) text = kBlack;
    if (id >= kStyleOptions && id < kStyleOptions + kMaxStyles) text = kBlue;
    if (id == kSiteLink) text = kRed;
    if (id == kWelcomeLabel) {
        text = kGreen;
        back = kPink;
        brush = s.view.pinkBrush.get();
    }
    SetTextColor(dc, text);
    SetBkColor(dc, back);
    return reinterpret_cast<LRESULT>(brush);
}

// Command1's light green face.
void OnDrawItem(Form1State& s, const DRAWITEMSTRUCT& di) {
    if (di.CtlType != ODT_BUTTON) return;
    RECT rc = di.rcItem;
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    FillRect(di.hDC, &rc, s.view.lightGreenBrush.get());
    DrawEdge(di.hDC, &rc, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const int length = GetWindowTextLengthW(di.hwndItem);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(di.hwndItem, caption.data(), length + 1)));
    Selection font(di.hDC, s.view.normalFont.get());
    SetBkMode(di.hDC, TRANSPARENT);
    SetTextColor(di.hDC, GetSysColor((di.itemState & ODS_DISABLED) ? COLOR_GRAYTEXT : COLOR_BTNTEXT));
    if (pressed) OffsetRect(&rc, 1, 1);
    DrawTextW(di.hDC, caption.c_str(), static_cast<int>(caption.size()), &rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (di.itemState & ODS_FOCUS) {
        RECT focus = di.rcItem;
        InflateRect(&focus, -4, -4);
        DrawFocusRect(di.hDC, &focus);
    }
}

}  // namespace mojian
