// Form1's layout, start-up state, block choice and exit, under Wine.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <filesystem>

#include "Form1Harness_win.h"
#include "base/Scoped_win.h"
#include "base/File.h"
#include "base/Gbk.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/EditorText.h"

namespace mojian::testing {
namespace {

using namespace form1;

int ScreenDpi() {
    ClientDc screen(nullptr);
    return GetDeviceCaps(screen.get(), LOGPIXELSY);
}

// The control's rectangle inside its container, in pixels.
RECT PlaceOf(HWND hwnd) {
    RECT rc;
    GetWindowRect(hwnd, &rc);
    MapWindowPoints(nullptr, GetParent(hwnd), reinterpret_cast<POINT*>(&rc), 2);
    return rc;
}

RECT Twips(int left, int top, int width, int height, int dpi) {
    return {MulDiv(left, dpi, 1440), MulDiv(top, dpi, 1440), MulDiv(left, dpi, 1440) + MulDiv(width, dpi, 1440),
            MulDiv(top, dpi, 1440) + MulDiv(height, dpi, 1440)};
}

void ExpectPlace(HWND hwnd, const RECT& want, const char* what) {
    const RECT got = PlaceOf(hwnd);
    EXPECT_TRUE(EqualRect(&got, &want)) << what << ": got " << got.left << "," << got.top << "," << got.right << ","
                                        << got.bottom << " want " << want.left << "," << want.top << ","
                                        << want.right << "," << want.bottom;
}

// The controls' area is the window's client area above the status bar,
// exactly; the menu bar above and the status bar below add to the window.
void ExpectClientAreaWithBarsOutside(HWND form, int dpi) {
    RECT client, bar;
    GetClientRect(form, &client);
    GetWindowRect(Form1Control(form, kStatusBar), &bar);
    MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&bar), 2);
    EXPECT_NE(GetMenu(form), nullptr);
    EXPECT_EQ(client.right, MulDiv(12345, dpi, 1440));
    EXPECT_EQ(bar.top, MulDiv(10905, dpi, 1440));
    EXPECT_GT(bar.bottom - bar.top, 10);
    EXPECT_EQ(bar.bottom, client.bottom);
    EXPECT_EQ(bar.left, 0);
    EXPECT_EQ(bar.right, client.right);
}

TEST_F(Form1Test, StartsLaidOutAsTheControlTableSays) {
    const int dpi = ScreenDpi();
    EXPECT_EQ(GetText(form), "墨笺");
    ExpectClientAreaWithBarsOutside(form, dpi);
    RECT client;
    GetClientRect(form, &client);

    ExpectPlace(Kind(0), Twips(240, 120, 1215, 255, dpi), "Option1(0)");
    ExpectPlace(Kind(7), Twips(2880, 480, 1215, 255, dpi), "Option1(7)");
    ExpectPlace(C(kCustomOption), Twips(240, 840, 1455, 255, dpi), "Option4");
    ExpectPlace(C(kChoiceFrame), Twips(240, 1200, 6375, 2535, dpi), "Frame1");
    ExpectPlace(Style(13), Twips(3750, 1320, 1095, 255, dpi), "Option2(13)");
    ExpectPlace(C(kEditor), Twips(360, 1440, 6135, 2175, dpi), "Text1");
    ExpectPlace(C(kAddButton), Twips(5160, 3800, 1455, 495, dpi), "Command1");
    ExpectPlace(List(), Twips(120, 240, 2535, 3630, dpi), "List1");
    ExpectPlace(C(kPagePreviewButton), Twips(2760, 2730, 1215, 495, dpi), "Command7");
    ExpectPlace(C(kExportButton), Twips(4080, 840, 1215, 495, dpi), "Command9");
    ExpectPlace(C(kVersionLabel), Twips(10680, 4140, 1545, 180, dpi), "Label2");
    ExpectPlace(C(kPreviewFrame), Twips(120, 4318, 12135, 6495, dpi), "Frame4");
    ExpectPlace(C(kPreview), Twips(120, 240, 11895, 6135, dpi), "WebBrowser1");

    // frames really hold their controls
    EXPECT_EQ(GetParent(Style(0)), C(kChoiceFrame));
    EXPECT_EQ(GetParent(List()), C(kListFrame));
    EXPECT_EQ(GetParent(C(kServiceButton)), C(kListFrame));
    EXPECT_EQ(GetParent(C(kPreview)), C(kPreviewFrame));

    EXPECT_EQ(GetText(C(kChoiceFrame)), "栏目文字");
    EXPECT_EQ(GetText(C(kListFrame)), "排版");
    EXPECT_EQ(GetText(C(kPreviewFrame)), "效果预览（文字及图片请安装代码后在淘宝编辑器内修改替换）");
    EXPECT_EQ(GetText(C(kSiteLink)), "访问官方网址");
    EXPECT_EQ(GetText(C(kVersionLabel)), "软件当前版本：1.0");
    EXPECT_NE(GetText(C(kWelcomeLabel)).find("岚舟"), std::string::npos);
    const std::pair<int, const char*> captions[] = {
        {kAddButton, "添加模块"},      {kMoveUpButton, "上移一行"},   {kMoveDownButton, "下移一行"},
        {kDeleteButton, "删除选中"},   {kClearButton, "清空内容"},    {kPagePreviewButton, "效果预览"},
        {kEditCodeButton, "修改代码"}, {kCopyButton, "复制代码"},     {kExportButton, "导出模版"},
        {kTutorialButton, "使用教程"}, {kPendingButton, "待更新..."}, {kAgentButton, "联系代理"},
        {kServiceButton, "联系客服"}};
    for (const auto& [id, caption] : captions) EXPECT_EQ(GetText(C(id)), caption) << id;
    for (int k = 0; k < kKindCount; ++k) EXPECT_EQ(GetText(Kind(k)), kKindCaptions[static_cast<std::size_t>(k)]);
    EXPECT_EQ(GetText(C(kCustomOption)), "自定义源码");

    // the catalogue as choosing 栏目文字 leaves it, the editor hidden with its advert
    EXPECT_TRUE(Checked(Kind(0)));
    EXPECT_FALSE(Checked(C(kCustomOption)));
    for (int i = 0; i < kMaxStyles; ++i) {
        EXPECT_TRUE(Shown(Style(i))) << i;
        EXPECT_EQ(GetText(Style(i)), kThemeNames[static_cast<std::size_t>(i)]);
        EXPECT_EQ(Checked(Style(i)), i == 0) << i;
    }
    EXPECT_FALSE(Shown(C(kEditor)));
    EXPECT_EQ(GetText(C(kEditor)), DefaultEditorText());

    // the hidden ones, out of sight
    for (int id : {kEntrySource, kPageBuffer, kLatestCustom}) {
        EXPECT_FALSE(Shown(C(id))) << id;
        EXPECT_GE(PlaceOf(C(id)).left, client.right) << id;
    }
    EXPECT_EQ(GetText(C(kLatestCustom)), "1");
    EXPECT_EQ(SendMessageW(List(), LB_GETCOUNT, 0, 0), 0);
    EXPECT_TRUE(GetWindowLongW(List(), GWL_STYLE) & LBS_NOTIFY);

    // 宋体 10.5 pt on the kinds and the list, at this DPI
    for (HWND hwnd : {Kind(0), C(kCustomOption), List()}) {
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof lf, &lf);
        EXPECT_STREQ(lf.lfFaceName, L"宋体");
        EXPECT_EQ(lf.lfHeight, -MulDiv(105, dpi, 720));
        EXPECT_EQ(lf.lfWeight, FW_NORMAL);
    }

    // the start-up block, written once into the freshly loaded blank page
    EXPECT_EQ(Doc().Source(), Page().GetBlock(9, 5) + "\r\n");
}

// What the control is painted with, asked the way the control asks: through
// its parent, so a frame must pass the question on to the form.
struct Painted {
    COLORREF text;
    COLORREF back;
};
Painted PaintedWith(HWND control) {
    ClientDc screen(nullptr);
    const OwnedDc dc = CreateMemoryDc(screen.get());
    SendMessageW(GetParent(control), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc.get()),
                 reinterpret_cast<LPARAM>(control));
    return Painted{GetTextColor(dc.get()), GetBkColor(dc.get())};
}

BOOL CALLBACK FindToolTip(HWND hwnd, LPARAM lp) {
    wchar_t cls[32] = {};
    GetClassNameW(hwnd, cls, 32);
    if (_wcsicmp(cls, L"tooltips_class32") != 0) return TRUE;
    *reinterpret_cast<HWND*>(lp) = hwnd;
    return FALSE;
}

TEST_F(Form1Test, TheTitleBarAndTheTaskBarTakeTheProgramsIconDrawnForTheirSizes) {
    const auto big = reinterpret_cast<HICON>(GetClassLongPtrW(form, GCLP_HICON));
    const auto small = reinterpret_cast<HICON>(GetClassLongPtrW(form, GCLP_HICONSM));
    ASSERT_NE(big, nullptr);
    ASSERT_NE(small, nullptr);
    const auto width = [](HICON icon) {
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return 0;
        BITMAP bm{};
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        return static_cast<int>(bm.bmWidth);
    };
    EXPECT_EQ(width(big), GetSystemMetrics(SM_CXICON));
    EXPECT_EQ(width(small), GetSystemMetrics(SM_CXSMICON));
}

TEST_F(Form1Test, ColoursAndToolTipAsTheControlTableSays) {
    EXPECT_EQ(PaintedWith(Style(7)).text, RGB(0, 0, 0xFF));  // asked through Frame1
    EXPECT_EQ(PaintedWith(Kind(4)).text, RGB(0, 0, 0));
    EXPECT_EQ(PaintedWith(C(kCustomOption)).text, RGB(0, 0, 0));
    EXPECT_EQ(PaintedWith(C(kSiteLink)).text, RGB(0xFF, 0, 0));
    EXPECT_EQ(PaintedWith(C(kWelcomeLabel)).text, RGB(0, 0x80, 0));
    EXPECT_EQ(PaintedWith(C(kWelcomeLabel)).back, RGB(0xFF, 0xC0, 0xC0));
    EXPECT_TRUE(GetWindowLongW(C(kAddButton), GWL_STYLE) & BS_OWNERDRAW);  // its light green face is ours

    HWND tip = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), &FindToolTip, reinterpret_cast<LPARAM>(&tip));
    ASSERT_NE(tip, nullptr);
    ASSERT_EQ(SendMessageW(tip, TTM_GETTOOLCOUNT, 0, 0), 1);
    wchar_t text[80] = {};
    TTTOOLINFOW info{};
    info.cbSize = TTTOOLINFOW_V2_SIZE;
    info.lpszText = text;
    ASSERT_TRUE(SendMessageW(tip, TTM_ENUMTOOLSW, 0, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(reinterpret_cast<HWND>(info.uId), C(kEditCodeButton));
    EXPECT_STREQ(text, L"修改后记得添加模块喔");
}

TEST_F(Form1Test, ScalesItsLayoutWhenTheDpiChanges) {
    for (int dpi : {120, 144, 192, 96}) {
        SCOPED_TRACE(dpi);
        RECT suggested{10, 10, 900, 900};
        SendMessageW(form, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
        ExpectPlace(List(), Twips(120, 240, 2535, 3630, dpi), "List1");
        ExpectPlace(Style(19), Twips(4920, 1800, 1095, 255, dpi), "Option2(19)");
        ExpectPlace(C(kPreview), Twips(120, 240, 11895, 6135, dpi), "WebBrowser1");
        ExpectClientAreaWithBarsOutside(form, dpi);
        LOGFONTW lf{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Kind(3), WM_GETFONT, 0, 0)), sizeof lf, &lf);
        EXPECT_EQ(lf.lfHeight, -MulDiv(105, dpi, 720)) << dpi;
    }
}

int CountVisible(const Form1Test&, const std::vector<HWND>& buttons) {
    return static_cast<int>(std::count_if(buttons.begin(), buttons.end(), [](HWND b) { return Shown(b); }));
}

TEST_F(Form1Test, EveryKindShowsItsStylesAndPreviewsItsFirstBlock) {
    std::vector<HWND> styles;
    for (int i = 0; i < kMaxStyles; ++i) styles.push_back(Style(i));
    for (int k : {1, 2, 3, 4, 5, 6, 7, 8, 9, 0}) {
        Click(Kind(k));
        const int n = kStyleCounts[static_cast<std::size_t>(k)];
        EXPECT_EQ(CountVisible(*this, styles), n) << k;
        for (int i = 0; i < n; ++i) {
            EXPECT_TRUE(Shown(Style(i)));
            EXPECT_EQ(GetText(Style(i)), StyleCaptionFor(k, i));
            EXPECT_EQ(Checked(Style(i)), i == 0);
        }
        EXPECT_EQ(GetText(C(kChoiceFrame)), kKindCaptions[static_cast<std::size_t>(k)]);
        EXPECT_EQ(Doc().Body(), Page().GetBlock(k, 0)) << k;
        EXPECT_FALSE(Shown(C(kEditor)));
    }
    // back at 栏目文字 after 五分好评 and the rest: twenty themes again
    EXPECT_EQ(GetText(Style(13)), "玖红");
    EXPECT_EQ(GetText(Style(5)), "拼色");

    // a style chosen, then another kind: the style goes back to the first
    Click(Kind(1));
    Click(Style(4));
    EXPECT_EQ(Doc().Body(), Page().GetBlock(1, 4));
    Click(Kind(3));
    EXPECT_TRUE(Checked(Style(0)));
    EXPECT_FALSE(Checked(Style(4)));
    EXPECT_EQ(GetText(Style(12)), "样式13");
}

TEST_F(Form1Test, StyleClickReplacesOnlyTheBodyOfTheDocument) {
    Click(C(kCustomOption));
    EXPECT_EQ(Doc().Title(), "New Document");
    Click(Kind(9));
    Click(Style(12));
    EXPECT_EQ(Doc().Body(), Page().GetBlock(9, 12));
    EXPECT_EQ(Doc().Title(), "New Document");
    Click(Style(2));
    EXPECT_EQ(Doc().Body(), Page().GetBlock(9, 2));
    EXPECT_EQ(Doc().Title(), "New Document");
}

TEST_F(Form1Test, CustomSourceShowsTheEditorAndPreviewsItFramed) {
    SetText(C(kEditor), "");
    Click(C(kCustomOption));
    EXPECT_TRUE(Checked(C(kCustomOption)));
    for (int k = 0; k < kKindCount; ++k) EXPECT_FALSE(Checked(Kind(k)));
    for (int i = 0; i < kMaxStyles; ++i) EXPECT_FALSE(Shown(Style(i)));
    EXPECT_TRUE(Shown(C(kEditor)));
    EXPECT_EQ(GetText(C(kChoiceFrame)), "自定义源码-1");  // before any add: Label1's "1"
    EXPECT_EQ(Doc().Title(), "New Document");
    EXPECT_EQ(Doc().Body(), "\r\n\r\n");  // one empty line

    SetText(C(kEditor), "<b>墨笺</b>");
    Click(C(kCustomOption));
    EXPECT_EQ(Doc().Body(), "\r\n<b>墨笺</b>\r\n");

    // three adds: the frame names the latest until the next one
    for (int n = 0; n < 3; ++n) Click(C(kAddButton));
    Click(Kind(2));
    Click(C(kCustomOption));
    EXPECT_EQ(GetText(C(kChoiceFrame)), "自定义源码-3");
    EXPECT_EQ(GetText(C(kEditor)), "<b>墨笺</b>");  // the editor keeps its text

    // back to a kind: styles again, editor hidden
    Click(Kind(8));
    EXPECT_FALSE(Shown(C(kEditor)));
    EXPECT_TRUE(Shown(Style(2)));
    EXPECT_FALSE(Shown(Style(3)));
}

TEST_F(Form1Test, ButtonsWithoutAHandlerDoNothing) {
    AddLine("图片展示-样式1");
    const std::string before = Doc().Source();
    BoxAnswerer answer(IDOK);
    Click(C(kTutorialButton));
    Click(C(kPendingButton));
    EXPECT_TRUE(answer.Seen().empty());
    EXPECT_EQ(Doc().Source(), before);
    EXPECT_EQ(Lines(), std::vector<std::string>{"图片展示-样式1"});
}

void WriteFile(const std::string& path, const std::string& bytes) { ASSERT_TRUE(WriteWholeFile(path, bytes)); }

TEST_F(Form1Test, ExitAsksAndNoKeepsEverything) {
    const auto close = [&] {
        BoxAnswerer answer(IDNO);
        SendMessageW(form, WM_CLOSE, 0, 0);
        EXPECT_EQ(answer.Seen().size(), 1u);
        return answer.Seen().empty() ? SeenBox{} : answer.Seen()[0];
    };
    const SeenBox fresh = close();  // nothing to lose: the question alone
    EXPECT_EQ(fresh.title, "温馨提示");
    EXPECT_EQ(fresh.text, "确定要退出本软件吗?(Y/N)");
    EXPECT_EQ(fresh.icon, LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_EQ(fresh.buttons, (std::vector<int>{IDYES, IDNO}));

    AddLine("图片展示-样式1");
    ASSERT_TRUE(CreateFolder(WorkingFolder()));
    WriteFile(CustomSourcePath("自定义源码-1"), "x");
    // unsaved work: the same box says where to find it again
    const SeenBox box = close();
    EXPECT_EQ(box.title, "温馨提示");
    EXPECT_EQ(box.text, "确定要退出本软件吗?(Y/N)\r\n当前排版还没有保存，退出后可以通过“文件 → 恢复上次的排版”找回。");
    EXPECT_EQ(box.icon, LoadIconW(nullptr, IDI_INFORMATION));
    EXPECT_EQ(box.buttons, (std::vector<int>{IDYES, IDNO}));
    EXPECT_TRUE(IsWindow(form));
    EXPECT_EQ(Lines(), std::vector<std::string>{"图片展示-样式1"});
    EXPECT_TRUE(ReadWholeFile(CustomSourcePath("自定义源码-1")).has_value());
}

TEST_F(Form1Test, ExitWithYesDeletesCustomSourcesOneToHundredOnly) {
    ASSERT_TRUE(CreateFolder(WorkingFolder()));
    for (int n : {1, 2, 50, 100, 101, 1000}) WriteFile(CustomSourcePath(CustomEntryName(n)), "x");
    WriteFile(JoinPath(WorkingFolder(), "导出模板1.txt"), "page");
    WriteFile(JoinPath(WorkingFolder(), "自定义源码-05.txt"), "x");
    BoxAnswerer answer(IDYES);
    SendMessageW(form, WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(answer.Seen().size(), 1u);
    EXPECT_FALSE(IsWindow(form));
    for (int n : {1, 2, 50, 100}) EXPECT_FALSE(ReadWholeFile(CustomSourcePath(CustomEntryName(n)))) << n;
    for (int n : {101, 1000}) EXPECT_TRUE(ReadWholeFile(CustomSourcePath(CustomEntryName(n)))) << n;
    EXPECT_TRUE(ReadWholeFile(JoinPath(WorkingFolder(), "导出模板1.txt")));
    EXPECT_TRUE(ReadWholeFile(JoinPath(WorkingFolder(), "自定义源码-05.txt")));
}

TEST_F(Form1Test, ExitWithoutAWorkingFolderSaysNothingMore) {
    ASSERT_FALSE(FolderExists(WorkingFolder()));
    BoxAnswerer answer(IDYES);
    SendMessageW(form, WM_CLOSE, 0, 0);
    Pump();
    EXPECT_EQ(answer.Seen().size(), 1u);
    EXPECT_FALSE(IsWindow(form));
    EXPECT_FALSE(FolderExists(WorkingFolder()));
}

}  // namespace
}  // namespace mojian::testing
