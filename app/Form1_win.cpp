#include "app/Form1_win.h"

#include <commctrl.h>

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Clipboard_win.h"
#include "app/Frame_win.h"
#include "base/Scoped_win.h"
#include "app/PagePreview_win.h"
#include "app/Preview_win.h"
#include "app/WinText_win.h"
#include "app/gates/StartupGates.h"
#include "skin/Skin.h"
#include "base/File.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/CompositionList.h"
#include "compose/EditorText.h"
#include "compose/PageAssembly.h"
#include "compose/TextFile.h"

#if __has_include("app/gates/ContactButtons.h")
#include "app/gates/ContactButtons.h"
#define MOJIAN_HAS_CONTACT_BUTTONS 1
#endif

namespace mojian {

namespace {

using namespace form1;

constexpr wchar_t kForm1Class[] = L"MojianForm1";

// ---- Texts the window says ------------------------------------------------

constexpr wchar_t kNoticeTitle[] = L"温馨提示";
constexpr wchar_t kExitQuestion[] = L"确定要退出本软件吗?(Y/N)";
constexpr wchar_t kClearQuestion[] = L"清空后将无法恢复，是否要清空现有的内容？";
constexpr wchar_t kListFull[] = L"排版列表最多只能放 32767 行，已经放满了，不能再添加模块。";
constexpr wchar_t kSourceNotSaved[] =
    L"模块已经添加到排版列表，但自定义源码没能保存到程序所在文件夹的 Vexa 文件夹里"
    L"（文件夹无法创建或文件无法写入），预览和复制时这一行将没有内容。\r\n"
    L"请检查程序所在的文件夹是否可以写入。";
constexpr wchar_t kCopyEmptyList[] = L"请先添加您需要复制的模块，再点击复制代码按钮！";
constexpr wchar_t kCopyDone[] =
    L"代码己生成，并复制到粘贴板，请直接粘贴到装修模板代码里使用！\r\n"
    L"在使用过程中如果您有任何问题或建意，请反馈给我们！谢谢！\r\n"
    L"祝：生意兴隆---";
constexpr wchar_t kCopyFailed[] =
    L"代码没有复制到粘贴板：粘贴板正被其他程序占用。\r\n"
    L"请稍后再点击复制代码按钮。";
constexpr wchar_t kAddModuleTitle[] = L"添加模块";
constexpr wchar_t kEditEmptyList[] = L"请添加模块后修改!";
constexpr wchar_t kEditAllQuestion[] = L"您目前尚未选择任何模块，是否进行修改列表中所有模块?(Y/N)";
constexpr wchar_t kExportEmptyList[] = L"您尚未添加任何模块，无法导出!";
constexpr wchar_t kExportTitle[] = L"导出模板";
constexpr wchar_t kExportDone[] = L"当前模版导出成功！请到程序文件夹下查看！";
constexpr wchar_t kExportFailed[] =
    L"模版没有导出：程序所在文件夹里的 Vexa 文件夹无法创建，或导出文件无法写入。\r\n"
    L"请检查程序所在的文件夹是否可以写入。";

// ---- Layout, in twips relative to the container ---------------------------

constexpr int kClientWidthTwips = 12345;
constexpr int kClientHeightTwips = 10905;
constexpr int kTwipsPerInch = 1440;
constexpr int kKindFontTenthsPt = 105;   // "宋体" 10.5 pt: kind buttons, Option4, List1
constexpr int kNormalFontTenthsPt = 90;  // "宋体" 9 pt: everything else

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
            t.push_back({kOption1 + k, 0, L"BUTTON", Wide(kKindCaptions[static_cast<std::size_t>(k)]),
                         kKindLefts[static_cast<std::size_t>(k % 5)], k < 5 ? 120 : 480, 1215, 255,
                         kChild | WS_VISIBLE | BS_AUTORADIOBUTTON | first, 0, FontKind::Kind});
        }
        t.push_back({kOption4, 0, L"BUTTON", Wide(kCustomSourceCaption), 240, 840, 1455, 255,
                     kChild | WS_VISIBLE | BS_AUTORADIOBUTTON, 0, FontKind::Kind});
        t.push_back({kFrame1, 0, kFrameClass, L"栏目文字", 240, 1200, 6375, 2535, kFrameStyle, WS_EX_CONTROLPARENT,
                     FontKind::Normal});
        constexpr std::array<int, 5> kStyleLefts = {240, 1410, 2580, 3750, 4920};
        constexpr std::array<int, 4> kStyleTops = {360, 840, 1320, 1800};
        for (int i = 0; i < kMaxStyles; ++i) {
            const DWORD first = i == 0 ? WS_GROUP | WS_TABSTOP : 0;
            t.push_back({kOption2 + i, kFrame1, L"BUTTON", Wide(kThemeNames[static_cast<std::size_t>(i)]),
                         kStyleLefts[static_cast<std::size_t>(i % 5)], kStyleTops[static_cast<std::size_t>(i / 5)],
                         1095, 255, kChild | WS_VISIBLE | BS_AUTORADIOBUTTON | first, 0, FontKind::Normal});
        }
        t.push_back({kText1, 0, L"EDIT", L"", 360, 1440, 6135, 2175,
                     kChild | WS_TABSTOP | WS_GROUP | WS_VSCROLL | WS_HSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                         ES_AUTOHSCROLL | ES_WANTRETURN,
                     WS_EX_CLIENTEDGE, FontKind::Normal});
        t.push_back({kLabel4, 0, L"STATIC", L"欢迎使用墨笺，岚舟出品", 360, 3960, 2415, 255,
                     kChild | WS_VISIBLE | WS_GROUP | SS_LEFT | SS_CENTERIMAGE, 0, FontKind::Normal});
        t.push_back({kLabel5, 0, L"STATIC", L"访问官方网址", 3360, 3960, 1215, 255,
                     kChild | WS_VISIBLE | SS_LEFT | SS_NOTIFY | SS_CENTERIMAGE, 0, FontKind::Normal});
        // Owner-drawn for its light green face.
        t.push_back({kCommand + 1, 0, L"BUTTON", L"添加模块", 5160, 3800, 1455, 495,
                     kChild | WS_VISIBLE | WS_TABSTOP | WS_GROUP | BS_OWNERDRAW, 0, FontKind::Normal});
        t.push_back({kFrame2, 0, kFrameClass, L"排版", 6840, 120, 5415, 3975, kFrameStyle, WS_EX_CONTROLPARENT,
                     FontKind::Normal});
        t.push_back({kList1, kFrame2, L"LISTBOX", L"", 120, 240, 2535, 3630,
                     kChild | WS_VISIBLE | WS_TABSTOP | WS_GROUP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT,
                     WS_EX_CLIENTEDGE, FontKind::Kind});
        const std::array<std::pair<int, const wchar_t*>, 6> middle = {{{6, L"上移一行"},
                                                                       {5, L"下移一行"},
                                                                       {2, L"删除选中"},
                                                                       {3, L"清空内容"},
                                                                       {7, L"效果预览"},
                                                                       {13, L"修改代码"}}};
        const std::array<int, 6> middleTops = {240, 864, 1488, 2112, 2730, 3360};
        for (std::size_t j = 0; j < middle.size(); ++j)
            t.push_back({kCommand + middle[j].first, kFrame2, L"BUTTON", middle[j].second, 2760, middleTops[j], 1215,
                         495, kButtonStyle, 0, FontKind::Normal});
        const std::array<std::pair<int, const wchar_t*>, 6> right = {{{4, L"复制代码"},
                                                                      {9, L"导出模版"},
                                                                      {10, L"使用教程"},
                                                                      {8, L"待更新..."},
                                                                      {12, L"联系代理"},
                                                                      {11, L"联系客服"}}};
        const std::array<int, 6> rightTops = {240, 840, 1488, 2112, 2730, 3360};
        for (std::size_t j = 0; j < right.size(); ++j)
            t.push_back({kCommand + right[j].first, kFrame2, L"BUTTON", right[j].second, 4080, rightTops[j], 1215,
                         495, kButtonStyle, 0, FontKind::Normal});
        t.push_back({kLabel2, 0, L"STATIC", L"软件当前版本：1.0", 10680, 4140, 1545, 180,
                     kChild | WS_VISIBLE | WS_GROUP | SS_LEFT, 0, FontKind::Normal});
        t.push_back({kFrame4, 0, kFrameClass, L"效果预览（文字及图片请安装代码后在淘宝编辑器内修改替换）", 120, 4318,
                     12135, 6495, kFrameStyle, WS_EX_CONTROLPARENT, FontKind::Normal});
        // Buffers the user never sees, outside the client area.
        t.push_back({kText3, 0, L"EDIT", L"", 12600, 120, 1200, 495, kHiddenBuffer, 0, FontKind::Normal});
        t.push_back({kText4, 0, L"EDIT", L"", 12600, 720, 1200, 495, kHiddenBuffer, 0, FontKind::Normal});
        t.push_back({kLabel1, 0, L"STATIC", L"1", 12600, 1320, 1200, 255, kChild, 0, FontKind::Normal});
        return t;
    }();
    return table;
}

// WebBrowser1's place in Frame4.
constexpr RECT kWebBrowser1Twips{120, 240, 120 + 11895, 240 + 6135};

// ---- Per-window state -------------------------------------------------------

struct Form1State {
    Form1Options options;
    HINSTANCE instance = nullptr;
    int dpi = USER_DEFAULT_SCREEN_DPI;
    std::map<int, HWND> controls;
    Font normalFont;
    Font kindFont;
    Brush pinkBrush{CreateSolidBrush(kPink)};
    Brush lightGreenBrush{CreateSolidBrush(kLightGreen)};
    std::unique_ptr<PreviewHost> preview;
    HWND tooltip = nullptr;
    int customCounter = 0;  // custom sources added in this run
    int exportCounter = 0;  // the last export number used in this run
    // Set while the program itself changes the editor's text (loading a
    // block, an export): those changes are not the user's edits.
    bool suppressWriteThrough = false;

    HWND Control(int id) const {
        const auto it = controls.find(id);
        return it == controls.end() ? nullptr : it->second;
    }
    int Px(int twips) const { return MulDiv(twips, dpi, kTwipsPerInch); }
    PreviewBrowser& Preview() { return preview->Browser(); }
};

Form1State* StateOf(HWND hwnd) { return reinterpret_cast<Form1State*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)); }

// ---- DPI ------------------------------------------------------------------

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

SIZE WindowSizeForClient(HWND hwnd, int dpi, int clientWidth, int clientHeight) {
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjustForDpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    RECT rc{0, 0, clientWidth, clientHeight};
    const DWORD style = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_STYLE));
    const DWORD exStyle = static_cast<DWORD>(GetWindowLongPtrW(hwnd, GWL_EXSTYLE));
    if (!(adjustForDpi && adjustForDpi(&rc, style, FALSE, exStyle, static_cast<UINT>(dpi))))
        AdjustWindowRectEx(&rc, style, FALSE, exStyle);
    return {rc.right - rc.left, rc.bottom - rc.top};
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

// Places every control and sets the fonts for the window's current DPI.
void ApplyLayout(HWND form, Form1State& s) {
    // The old fonts go only once no control uses them any more.
    Font normalFont = MakeFont(kNormalFontTenthsPt, s.dpi);
    Font kindFont = MakeFont(kKindFontTenthsPt, s.dpi);
    for (const ControlRow& c : Controls()) {
        const HWND hwnd = s.Control(c.id);
        MoveWindow(hwnd, s.Px(c.leftTwips), s.Px(c.topTwips), s.Px(c.widthTwips), s.Px(c.heightTwips), TRUE);
        const HFONT font = c.font == FontKind::Kind ? kindFont.get() : normalFont.get();
        SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (s.preview) {
        const RECT px{s.Px(kWebBrowser1Twips.left), s.Px(kWebBrowser1Twips.top), s.Px(kWebBrowser1Twips.right),
                      s.Px(kWebBrowser1Twips.bottom)};
        s.preview->Place(px);
        SendMessageW(s.preview->View(), WM_SETFONT, reinterpret_cast<WPARAM>(normalFont.get()), TRUE);
    }
    s.normalFont = std::move(normalFont);
    s.kindFont = std::move(kindFont);
    const SIZE size = WindowSizeForClient(form, s.dpi, s.Px(kClientWidthTwips), s.Px(kClientHeightTwips));
    SetWindowPos(form, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// ---- Small control helpers --------------------------------------------------

bool IsChecked(HWND button) { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Show(HWND hwnd, bool visible) { ShowWindow(hwnd, visible ? SW_SHOWNA : SW_HIDE); }

// A kind click relabels and shows or hides twenty style buttons; most keep
// their caption and visibility, and each real change repaints the button.
void SetCaption(HWND hwnd, std::string_view text) {
    if (GetText(hwnd) != text) SetText(hwnd, text);
}

void ShowIfChanged(HWND hwnd, bool visible) {
    if (((GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0) != visible) Show(hwnd, visible);
}

int Ask(HWND form, const wchar_t* text, const wchar_t* title, UINT flags) {
    return MessageBoxW(form, text, title, flags);
}

HWND Option1(const Form1State& s, int k) { return s.Control(kOption1 + k); }
HWND Option2(const Form1State& s, int i) { return s.Control(kOption2 + i); }

// The first checked of the `count` buttons from `base`, or -1. Each look is a
// message to a skinned control, so a click asks each group once instead of
// every kind-style pair.
int CheckedOf(const Form1State& s, int base, int count) {
    for (int i = 0; i < count; ++i)
        if (IsChecked(s.Control(base + i))) return i;
    return -1;
}

void SelectStyle(const Form1State& s, int index) {
    for (int i = 0; i < kMaxStyles; ++i)
        SendMessageW(Option2(s, i), BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
}

// ---- Block choice -----------------------------------------------------------

void Option2_Click(HWND, Form1State& s);

void Option1_Click(HWND, Form1State& s, int kind) {
    // The captions the kind ends with: numbered styles, or the theme names.
    const auto caption = [kind](int i) {
        return kind == 0 ? std::string(kThemeNames[static_cast<std::size_t>(i)]) : StyleCaption(i);
    };
    for (int i = 0; i < kMaxStyles; ++i) SetCaption(Option2(s, i), caption(i));
    ShowIfChanged(s.Control(kText1), false);
    const bool wasSelected = IsChecked(Option2(s, 0));
    SelectStyle(s, 0);
    if (!wasSelected) Option2_Click(nullptr, s);  // as the click on style 1 would
    s.Preview().SetBodyInnerHtml(GetBlock(kind, 0));
    SetText(s.Control(kFrame1), kKindCaptions[static_cast<std::size_t>(kind)]);
    const int styles = kStyleCounts[static_cast<std::size_t>(kind)];
    for (int i = 0; i < kMaxStyles; ++i) ShowIfChanged(Option2(s, i), i < styles);
}

// Depends only on which kind and style are selected, not on the button.
void Option2_Click(HWND, Form1State& s) {
    const int kind = CheckedOf(s, kOption1, kKindCount);
    if (kind < 0) return;
    const int style = CheckedOf(s, kOption2, kStyleCounts[static_cast<std::size_t>(kind)]);
    if (style >= 0) s.Preview().SetBodyInnerHtml(GetBlock(kind, style));
}

void Option4_Click(HWND, Form1State& s) {
    for (int i = 0; i < kMaxStyles; ++i) Show(Option2(s, i), false);
    const HWND editor = s.Control(kText1);
    SetWindowPos(editor, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    SetText(s.Control(kFrame1), std::string(kCustomEntryPrefix) + GetText(s.Control(kLabel1)));
    WriteFramedPreview(s.Preview(), GetText(editor));
}

// ---- The composition list ---------------------------------------------------

std::string ListLine(HWND list, int index) {
    const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == LB_ERR) return {};
    std::wstring buf(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT got = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data()));
    buf.resize(got == LB_ERR ? 0 : static_cast<std::size_t>(got));
    return Narrow(buf);
}

int LineCount(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0)); }
int Selected(HWND list) { return static_cast<int>(SendMessageW(list, LB_GETCURSEL, 0, 0)); }

void AppendLine(HWND list, std::string_view text) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

// The list is full: say so instead of adding.
bool RefuseWhenFull(HWND form, HWND list) {
    if (CanAddLine(LineCount(list))) return false;
    Ask(form, kListFull, kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
    return true;
}

void List1_Click(HWND, Form1State& s) {
    const HWND list = s.Control(kList1);
    const int selected = Selected(list);
    const std::string name = selected >= 0 ? ListLine(list, selected) : std::string();
    const ResolvedEntry entry = ResolveEntry(name);
    if (entry.IsBuiltIn()) {
        const std::string& block = GetBlock(entry.kind, entry.style);
        s.Preview().SetBodyInnerHtml(block);
        SetText(s.Control(kText3), block);
    } else if (entry.IsCustom()) {
        const auto text = ReadCustomSource(name);
        if (!text) return;  // a missing file leaves the preview as it was
        SetText(s.Control(kText3), *text);
        WriteFramedPreview(s.Preview(), *text);
    }
}

void Command1_Click(HWND form, Form1State& s) {
    const HWND list = s.Control(kList1);
    // One kind and one style are checked at most (each is an option group).
    const int kind = CheckedOf(s, kOption1, kKindCount);
    const int style = kind >= 0 ? CheckedOf(s, kOption2, kMaxStyles) : -1;
    if (style >= 0) {
        if (RefuseWhenFull(form, list)) return;
        AppendLine(list, GetText(Option1(s, kind)) + "-" + GetText(Option2(s, style)));
    }
    if (!IsChecked(s.Control(kOption4))) return;
    if (RefuseWhenFull(form, list)) return;
    const int number = ++s.customCounter;
    const std::string name = CustomEntryName(number);
    SetText(s.Control(kFrame1), name);
    AppendLine(list, name);
    SetText(s.Control(kLabel1), std::to_string(number));
    const std::string folder = WorkingFolder();
    const bool saved = (FolderExists(folder) || CreateFolder(folder)) &&
                       WriteTextFile(CustomSourcePath(name), GetText(s.Control(kText1)));
    if (!saved) Ask(form, kSourceNotSaved, kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
}

void Command2_Click(HWND, Form1State& s) {
    const HWND list = s.Control(kList1);
    const int selected = Selected(list);
    if (selected < 0) return;
    SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(selected), 0);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(-1), 0);
}

void Command3_Click(HWND form, Form1State& s) {
    const HWND list = s.Control(kList1);
    if (LineCount(list) == 0) return;
    if (Ask(form, kClearQuestion, kNoticeTitle, MB_OKCANCEL) == IDOK) SendMessageW(list, LB_RESETCONTENT, 0, 0);
}

void MoveLine(HWND form, Form1State& s, const std::optional<LineMove>& move) {
    if (!move) return;
    const HWND list = s.Control(kList1);
    const std::wstring text = Wide(ListLine(list, Selected(list)));
    SendMessageW(list, LB_INSERTSTRING, static_cast<WPARAM>(move->insertAt), reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageW(list, LB_DELETESTRING, static_cast<WPARAM>(move->removeAt), 0);
    SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(move->selectAfter), 0);
    List1_Click(form, s);  // the selection changed: preview the moved entry
}

void Command5_Click(HWND form, Form1State& s) {
    const HWND list = s.Control(kList1);
    MoveLine(form, s, MoveDownPlan(Selected(list), LineCount(list)));
}

void Command6_Click(HWND form, Form1State& s) {
    const HWND list = s.Control(kList1);
    MoveLine(form, s, MoveUpPlan(Selected(list), LineCount(list)));
}

// ---- Copy, page preview, code editing and export ------------------------------

void Option4_Click(HWND, Form1State& s);

// The page HTML put on the clipboard; nothing when the list is empty or the
// clipboard could not be set (the user has been told either way).
std::optional<std::string> Cop(HWND form, Form1State& s) {
    const std::vector<std::string> lines = ListLines(s.Control(kList1));
    if (lines.empty()) {
        EmptyClipboardText(form);
        Ask(form, kCopyEmptyList, kNoticeTitle, MB_OK | MB_ICONINFORMATION);
        return std::nullopt;
    }
    // The page buffer (Text4): a string that lives only while the copy runs.
    std::string page = AssemblePage(lines);
    ClearPreview(form);
    const bool copied = PutClipboardText(form, page);  // empties the clipboard, then sets it
    std::optional<std::string> result;
    if (copied) result = std::move(page);
    page.clear();
    // The clipboard is closed again before any message box shows.
    if (copied) Ask(form, kCopyDone, kNoticeTitle, MB_OK);
    else Ask(form, kCopyFailed, kNoticeTitle, MB_OK | MB_ICONEXCLAMATION);
    ShowPagePreview(form);
    return result;
}

std::optional<std::string> Command4_Click(HWND form, Form1State& s) { return Cop(form, s); }

void Command7_MouseDown(HWND form, Form1State& s) {
    if (LineCount(s.Control(kList1)) > 0) ClearPreview(form);
}

void Command7_MouseUp(HWND form, Form1State& s) {
    if (LineCount(s.Control(kList1)) > 0) ShowPagePreview(form);
}

// Command7 acts on any mouse button's press and release, never on a click:
// the keyboard cannot trigger it.
LRESULT CALLBACK Command7Proc(HWND button, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR refData) {
    const auto form = reinterpret_cast<HWND>(refData);
    Form1State* s = StateOf(form);
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        if (s) Command7_MouseDown(form, *s);
        // The button captures only for the left button; the release of the
        // others must reach us wherever it happens too.
        if (msg != WM_LBUTTONDOWN && msg != WM_LBUTTONDBLCLK) SetCapture(button);
        break;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP: {
        const LRESULT result = DefSubclassProc(button, msg, wp, lp);
        if (msg != WM_LBUTTONUP && GetCapture() == button) ReleaseCapture();
        if (s) Command7_MouseUp(form, *s);
        return result;
    }
    case WM_NCDESTROY:
        RemoveWindowSubclass(button, &Command7Proc, 0);
        break;
    }
    return DefSubclassProc(button, msg, wp, lp);
}

// Sets the custom-source kind, running its choice only when it was not set.
void SelectCustomKind(HWND form, Form1State& s) {
    const HWND option4 = s.Control(kOption4);
    if (IsChecked(option4)) return;
    for (int k = 0; k < kKindCount; ++k) SendMessageW(Option1(s, k), BM_SETCHECK, BST_UNCHECKED, 0);
    SendMessageW(option4, BM_SETCHECK, BST_CHECKED, 0);
    Option4_Click(form, s);
}

void ShowEditor(const Form1State& s) {
    SetWindowPos(s.Control(kText1), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
}

void Text1_Change(HWND form, Form1State& s);

// The program's own change of the editor: previewed, never written through.
// A multi-line edit box sends no EN_CHANGE for WM_SETTEXT, so the change
// handler runs here, as it would for a change the user makes.
void SetEditorTextQuietly(HWND form, Form1State& s, std::string_view text) {
    const bool was = s.suppressWriteThrough;
    s.suppressWriteThrough = true;
    SetText(s.Control(kText1), text);
    Text1_Change(form, s);
    s.suppressWriteThrough = was;
}

// A custom source's text as the editor shows it: its lines as the
// single-entry preview reads them, less the CR LF the file format adds at
// the end, so that saving it unchanged gives back the same file.
std::string CustomSourceForEditor(std::string_view name) {
    std::string text = ReadCustomSource(name).value_or(std::string());
    if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
    return text;
}

void Command13_Click(HWND form, Form1State& s) {
    const HWND list = s.Control(kList1);
    if (LineCount(list) == 0) {
        Ask(form, kEditEmptyList, kAddModuleTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const int selected = Selected(list);
    if (selected < 0) {
        if (Ask(form, kEditAllQuestion, kNoticeTitle, MB_YESNO | MB_ICONINFORMATION) != IDYES) return;
        // The page the copy produced, not whatever the clipboard holds by now.
        const std::optional<std::string> page = Command4_Click(form, s);
        if (!page) return;  // not copied: the editor keeps the user's text
        SelectCustomKind(form, s);
        ShowEditor(s);
        SetEditorTextQuietly(form, s, "");
        SetEditorTextQuietly(form, s, *page);
        return;
    }
    const std::string name = ListLine(list, selected);
    const ResolvedEntry entry = ResolveEntry(name);
    std::string html;
    if (entry.IsBuiltIn()) html = GetBlock(entry.kind, entry.style);
    else if (entry.IsCustom()) html = CustomSourceForEditor(name);
    SelectCustomKind(form, s);
    ShowEditor(s);
    // Loading is no edit: the entry's block stays exactly as it is.
    SetEditorTextQuietly(form, s, html);
}

void Text1_Change(HWND form, Form1State& s) {
    (void)form;
    if (!s.preview) return;  // the editor's starting text, set while the window is built
    const std::string text = GetText(s.Control(kText1));
    if (!s.suppressWriteThrough) {
        const HWND list = s.Control(kList1);
        const int selected = Selected(list);
        const std::string name = selected >= 0 ? ListLine(list, selected) : std::string();
        const ResolvedEntry entry = ResolveEntry(name);
        if (entry.IsBuiltIn()) {
            SetBlock(entry.kind, entry.style, text);
        } else if (entry.IsCustom()) {
            // A failed write is not reported on every keystroke; the text
            // stays in the editor and the next change tries again.
            const std::string folder = WorkingFolder();
            if (FolderExists(folder) || CreateFolder(folder)) WriteTextFile(CustomSourcePath(name), text);
        }
    }
    WriteFramedPreview(s.Preview(), text);
}

void Command9_Click(HWND form, Form1State& s) {
    if (LineCount(s.Control(kList1)) == 0) {
        Ask(form, kExportEmptyList, kAddModuleTitle, MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::string before = GetText(s.Control(kText1));
    SetEditorTextQuietly(form, s, "");
    const std::optional<std::string> page = Command4_Click(form, s);
    if (!page) {
        SetEditorTextQuietly(form, s, before);  // nothing exported: give the user's text back
        return;
    }
    SetEditorTextQuietly(form, s, *page);
    const std::string folder = WorkingFolder();
    const bool exported = (FolderExists(folder) || CreateFolder(folder)) &&
                          WriteNextExportFile(folder, s.exportCounter, *page).has_value();
    if (exported) Ask(form, kExportDone, kExportTitle, MB_OK | MB_ICONINFORMATION);
    else Ask(form, kExportFailed, kExportTitle, MB_OK | MB_ICONEXCLAMATION);
}

void ContactButton_Click(HWND form) {
#ifdef MOJIAN_HAS_CONTACT_BUTTONS
    OpenContactAddress(form);
#else
    (void)form;
#endif
}

// ---- The window ---------------------------------------------------------------

void Label5_Click(HWND) {
    std::wstring commandLine = L"explorer " + Wide(kMakerSiteAddress);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION pi{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        // Nothing to wait for: the handles go at once.
        KernelHandle thread(pi.hThread), process(pi.hProcess);
    }
}

void Form_Load(HWND form, Form1State& s) {
    // The skin goes on first, so the gates' own windows are adopted too.
    mojian::skin::SkinWindow(form);
    if (s.options.runStartupGates && !RunStartupGates(form)) ExitProcess(0);

    SetText(form, "墨笺");
    s.Preview().SetSilent(true);
    s.Preview().Navigate(kBlankPage);
    SetText(s.Control(kFrame1), kKindCaptions[0]);
    for (int i = 0; i < kMaxStyles; ++i) SetText(Option2(s, i), kThemeNames[static_cast<std::size_t>(i)]);
    s.Preview().Writeln(GetBlock(9, 5));  // 搭配促销-样式6 until the first choice
}

// Returns true when the window may close.
bool Form_Unload(HWND form, Form1State&) {
    if (Ask(form, kExitQuestion, kNoticeTitle, MB_YESNO | MB_ICONINFORMATION) != IDYES) return false;
    for (int i = 1; i <= kMaxCustomSource; ++i) RemoveFile(CustomSourcePath(CustomEntryName(i)));
    return true;
}

bool OnCreate(HWND form, Form1State& s) {
    s.dpi = DpiOf(form);
    for (const ControlRow& c : Controls()) {
        const HWND parent = c.container ? s.Control(c.container) : form;
        const HWND hwnd = CreateWindowExW(c.exStyle, c.windowClass, c.caption.c_str(), c.style, 0, 0, 0, 0, parent,
                                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)), s.instance, nullptr);
        if (!hwnd) return false;
        s.controls[c.id] = hwnd;
    }
    SendMessageW(Option1(s, 0), BM_SETCHECK, BST_CHECKED, 0);
    SendMessageW(Option2(s, 0), BM_SETCHECK, BST_CHECKED, 0);
    // No edit box of ours may cut a long page or source at 32K characters.
    for (int id : {kText1, kText3, kText4}) SendMessageW(s.Control(id), EM_SETLIMITTEXT, 0, 0);
    SetText(s.Control(kText1), DefaultEditorText());
    // The editor lies over the style grid: keep it above the frame.
    SetWindowPos(s.Control(kText1), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    const RECT px{s.Px(kWebBrowser1Twips.left), s.Px(kWebBrowser1Twips.top), s.Px(kWebBrowser1Twips.right),
                  s.Px(kWebBrowser1Twips.bottom)};
    s.preview = CreatePreviewHost(form, s.Control(kFrame4), kWebBrowser1, px);
    if (!s.preview || !s.preview->View()) return false;

    s.tooltip = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, form, nullptr, s.instance, nullptr);
    if (s.tooltip) {
        std::wstring tip = L"修改后记得添加模块喔";
        TTTOOLINFOW info{};
        info.cbSize = TTTOOLINFOW_V2_SIZE;
        info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        info.hwnd = s.Control(kFrame2);
        info.uId = reinterpret_cast<UINT_PTR>(s.Control(kCommand + 13));
        info.lpszText = tip.data();
        SendMessageW(s.tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&info));
    }
    SetWindowSubclass(s.Control(kCommand + 7), &Command7Proc, 0, reinterpret_cast<DWORD_PTR>(form));
    ApplyLayout(form, s);
    return true;
}

void OnCommand(HWND form, Form1State& s, int id, int code) {
    if (id >= kOption1 && id < kOption1 + kKindCount) {
        if (code == BN_CLICKED) Option1_Click(form, s, id - kOption1);
        return;
    }
    if (id >= kOption2 && id < kOption2 + kMaxStyles) {
        if (code == BN_CLICKED) Option2_Click(form, s);
        return;
    }
    if (id == kList1) {
        if (code == LBN_SELCHANGE) List1_Click(form, s);  // mouse and keyboard alike
        return;
    }
    if (id == kLabel5) {
        if (code == STN_CLICKED) Label5_Click(form);
        return;
    }
    if (id == kText1) {
        if (code == EN_CHANGE) Text1_Change(form, s);
        return;
    }
    if (code != BN_CLICKED) return;
    switch (id) {
    case kOption4: Option4_Click(form, s); break;
    case kCommand + 1: Command1_Click(form, s); break;
    case kCommand + 2: Command2_Click(form, s); break;
    case kCommand + 3: Command3_Click(form, s); break;
    case kCommand + 5: Command5_Click(form, s); break;
    case kCommand + 6: Command6_Click(form, s); break;
    case kCommand + 4: Command4_Click(form, s); break;
    case kCommand + 9: Command9_Click(form, s); break;
    case kCommand + 13: Command13_Click(form, s); break;
    case kCommand + 11:  // 联系客服
    case kCommand + 12:  // 联系代理
        ContactButton_Click(form);
        break;
    default: break;  // "使用教程" and "待更新..." do nothing
    }
}

LRESULT OnCtlColor(Form1State& s, HDC dc, HWND control) {
    const int id = GetDlgCtrlID(control);
    COLORREF text = GetSysColor(COLOR_BTNTEXT);
    HBRUSH brush = GetSysColorBrush(COLOR_BTNFACE);
    COLORREF back = GetSysColor(COLOR_BTNFACE);
    if ((id >= kOption1 && id < kOption1 + kKindCount) || id == kOption4) text = kBlack;
    if (id >= kOption2 && id < kOption2 + kMaxStyles) text = kBlue;
    if (id == kLabel5) text = kRed;
    if (id == kLabel4) {
        text = kGreen;
        back = kPink;
        brush = s.pinkBrush.get();
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
    FillRect(di.hDC, &rc, s.lightGreenBrush.get());
    DrawEdge(di.hDC, &rc, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const int length = GetWindowTextLengthW(di.hwndItem);
    std::wstring caption(static_cast<std::size_t>(length) + 1, L'\0');
    caption.resize(static_cast<std::size_t>(GetWindowTextW(di.hwndItem, caption.data(), length + 1)));
    Selection font(di.hDC, s.normalFont.get());
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

void OnDpiChanged(HWND form, Form1State& s, int dpi, const RECT& suggested) {
    s.dpi = dpi;
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
        OnCommand(hwnd, *s, LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
        return OnCtlColor(*s, reinterpret_cast<HDC>(wp), reinterpret_cast<HWND>(lp));
    case WM_DRAWITEM:
        OnDrawItem(*s, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
        return TRUE;
    case WM_SETCURSOR:
        if (reinterpret_cast<HWND>(wp) == s->Control(kLabel5)) {
            SetCursor(LoadCursorW(nullptr, IDC_HAND));
            return TRUE;
        }
        break;
    case WM_DPICHANGED:
        OnDpiChanged(hwnd, *s, LOWORD(wp), *reinterpret_cast<const RECT*>(lp));
        return 0;
    case kMsgPreviewRedraw:
    case kMsgPreviewLoaded:
        if (s->preview) s->preview->OnFormMessage(msg);
        return 0;
    case WM_CLOSE:
        if (Form_Unload(hwnd, *s)) DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        s->preview.reset();  // the browser lets go of its site while Frame4 still exists
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
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, kForm1Class, &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = Form1Proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kForm1Class;
    return RegisterClassExW(&wc) != 0;
}

}  // namespace

HWND CreateForm1(HINSTANCE instance, const Form1Options& options) {
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&icc);
    if (!RegisterFrameClass(instance) || !RegisterForm1Class(instance)) return nullptr;
    auto state = std::make_unique<Form1State>();
    state->options = options;
    state->instance = instance;
    Form1State* raw = state.release();  // the window owns it from WM_NCCREATE on
    const HWND form = CreateWindowExW(WS_EX_CONTROLPARENT, kForm1Class, L"",
                                      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN,
                                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr,
                                      instance, raw);
    if (!form) return nullptr;  // WM_NCDESTROY has freed the state
    Form_Load(form, *raw);
    return form;
}

HWND Form1Control(HWND form, int id) {
    const Form1State* s = StateOf(form);
    if (!s) return nullptr;
    if (id == kWebBrowser1) return s->preview ? s->preview->View() : nullptr;
    return s->Control(id);
}

PreviewBrowser* Form1Preview(HWND form) {
    Form1State* s = StateOf(form);
    return s && s->preview ? &s->preview->Browser() : nullptr;
}

const PreviewDocument* Form1PreviewModel(HWND form) {
    const Form1State* s = StateOf(form);
    return s && s->preview ? s->preview->Model() : nullptr;
}

bool Form1TranslateMessage(HWND form, MSG& msg) { return IsDialogMessageW(form, &msg) != 0; }

}  // namespace mojian
