// The publish check in Form1, under Wine: the status bar's count after the
// check's thread has run, the 发布检查 report and its way to a line, and the
// copy message's extra line.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "Form1Harness_win.h"
#include "app/CommandIds.h"
#include "app/dialogs/CheckReportDialog_win.h"
#include "check/Check.h"
#include "html/GdiFonts_win.h"
#include "html/Layout.h"

namespace mojian::testing {
namespace {

using namespace form1;

// Planted: an event attribute, a script, a table wider than the column, a
// local picture; a line that names nothing; a clean line.
constexpr char kClick[] = R"~(<a href="https://shop.taobao.com/" onclick="go()">进店看看</a>)~";
constexpr char kScript[] = "<p>限时优惠</p><script>track()</script>";
constexpr char kWide[] = R"(<table width="980"><tr><td>整行的宽图</td></tr></table>)";
constexpr char kLocal[] = R"(<img src="C:\图片\主图.jpg" width="300" height="300">)";
constexpr char kClean[] = "<p>纯棉面料，亲肤透气，机洗不变形。</p>";

class CheckWindowTest : public Form1Test {
protected:
    std::string StatusNote() const {
        const HWND bar = C(kStatusBar);
        const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 3, 0));
        std::wstring text(length + 1u, L'\0');
        SendMessageW(bar, SB_GETTEXTW, 3, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        return Narrow(text);
    }
    // The check's findings of the page as it stands, made here.
    std::vector<check::Finding> Findings() const {
        html::GdiFonts fonts;
        html::PicturesLoading pictures;
        check::Checker checker(check::RuleSet::BuiltIn(), fonts, pictures);
        return checker.CheckPage(check::LinesOf(Page()));
    }
    std::string ExpectedStatus() const {
        const auto findings = Findings();
        return check::StatusText(check::Summarise(findings, check::CountPageCharacters(check::LinesOf(Page()))),
                                 check::RuleSet::BuiltIn().PageCharacterLimit());
    }
    // Handles messages, sleeping in GetMessage between them, until the
    // status bar says `text` (false after ten seconds): the check's thread
    // wakes this loop with its message.
    bool StatusBecomes(const std::string& text) {
        const UINT_PTR deadline = SetTimer(nullptr, 0, 10000, nullptr);
        bool late = false;
        MSG msg;
        while (StatusNote() != text && !late && GetMessageW(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == deadline) late = true;
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        KillTimer(nullptr, deadline);
        return StatusNote() == text;
    }
    void PlantErrors() {
        const char* sources[] = {kClick, kScript, kWide, kLocal, kClean};
        for (int i = 0; i < 5; ++i) SetCustomSource(i + 1, sources[i]);
        AddLine("自定义源码-1");
        AddLine("图片展示-样式1");
        AddLine("自定义源码-2");
        AddLine("自定义源码-5");
        AddLine("没有这个模块");
        AddLine("自定义源码-3");
        AddLine("自定义源码-4");
    }
    HWND Report() const {
        const HWND report = FindWindowW(L"#32770", L"发布检查");
        return report && GetWindow(report, GW_OWNER) == form ? report : nullptr;
    }
    void DoubleClickRow(HWND report, int row) {
        const HWND list = GetDlgItem(report, IDC_CHECK_LIST);
        RECT rc{LVIR_LABEL, 0, 0, 0};
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
        const LPARAM at = MAKELPARAM(rc.left + 2, (rc.top + rc.bottom) / 2);
        SendMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        SendMessageW(list, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        SendMessageW(list, WM_LBUTTONUP, 0, at);
        Pump();
    }
    std::string Copied() {
        BoxAnswerer answer(IDOK);
        Click(C(kCopyButton));
        EXPECT_EQ(answer.Seen().size(), 1u);
        return answer.Seen().empty() ? std::string() : answer.Seen()[0].text;
    }
};

TEST_F(CheckWindowTest, TheStatusBarAndTheReportShowTheChecksFindingsAndLeadToTheirLines) {
    EXPECT_EQ(StatusNote(), "");  // nothing to count on an empty list
    PlantErrors();
    const auto findings = Findings();
    ASSERT_TRUE(StatusBecomes(ExpectedStatus())) << StatusNote() << " / " << ExpectedStatus();
    // Each planted error on its line, and nothing else counted as one.
    std::vector<std::pair<int, std::string>> errors;
    for (const auto& f : findings)
        if (f.severity == check::Severity::Error) errors.emplace_back(f.line, f.rule);
    EXPECT_EQ(errors, (std::vector<std::pair<int, std::string>>{{0, "event-attribute"},
                                                                 {2, "forbidden-element"},
                                                                 {4, "empty-line"},
                                                                 {5, "too-wide"},
                                                                 {6, "unloadable-picture"}}));

    MSG f7{form, WM_KEYDOWN, VK_F7, 1, 0, {}};
    ASSERT_TRUE(Form1TranslateMessage(form, f7));
    Pump();
    const HWND report = Report();
    ASSERT_NE(report, nullptr);
    EXPECT_TRUE(IsWindowVisible(report));
    const auto rows = CheckReportRows(report);
    ASSERT_EQ(rows.size(), findings.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& f = findings[i];
        EXPECT_EQ(Narrow(rows[i][0]), f.severity == check::Severity::Error ? "错误" : "提示");
        EXPECT_EQ(Narrow(rows[i][1]), f.line < 0 ? "整页" : "第 " + std::to_string(f.line + 1) + " 行 " + f.entry);
        EXPECT_EQ(Narrow(rows[i][2]).rfind(f.title, 0), 0u) << Narrow(rows[i][2]);
        EXPECT_EQ(Narrow(rows[i][3]), f.explanation);
    }
    EXPECT_EQ(GetText(GetDlgItem(report, IDC_CHECK_SUMMARY)), ExpectedStatus());

    // A double click on the script's finding: its line selected and previewed as a click would.
    std::size_t script = 0;
    while (script < findings.size() && findings[script].line != 2) ++script;
    ASSERT_LT(script, findings.size());
    Select(0);
    DoubleClickRow(report, static_cast<int>(script));
    EXPECT_EQ(Selection(), 2);
    const std::string preview = Doc().Source(), source = GetText(C(kEntrySource));
    EXPECT_NE(preview.find("track()"), std::string::npos);
    Select(0);
    ClickLine(2);
    EXPECT_EQ(Doc().Source(), preview);
    EXPECT_EQ(GetText(C(kEntrySource)), source);

    // Enter on a selected finding goes there too, and leaves the report open.
    const HWND list = GetDlgItem(report, IDC_CHECK_LIST);
    const int last = static_cast<int>(findings.size()) - 1;  // the last line's picture
    ASSERT_EQ(findings.back().line, 6);
    LVITEMW state{};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(last), reinterpret_cast<LPARAM>(&state));
    SetFocus(list);
    MSG enter{list, WM_KEYDOWN, VK_RETURN, 1, 0, {}};
    EXPECT_TRUE(Form1TranslateMessage(form, enter));
    Pump();
    EXPECT_EQ(Selection(), 6);
    EXPECT_TRUE(IsWindow(report));

    // A second F7 refreshes the same window; fixed, the page says it has nothing.
    Form1Change(form, [](Composition& page) { return page.Clear(); });
    SetCustomSource(9, kClean);
    AddLine("自定义源码-9");
    Menu(IDM_CHECK);
    EXPECT_EQ(Report(), report);
    EXPECT_TRUE(CheckReportRows(report).empty());
    EXPECT_NE(GetText(GetDlgItem(report, IDC_CHECK_SUMMARY)).find("没有发现问题"), std::string::npos);
    EXPECT_EQ(StatusNote(), ExpectedStatus());
    SendMessageW(report, WM_COMMAND, IDCANCEL, 0);
    Pump();
    EXPECT_FALSE(IsWindow(report));
    Menu(IDM_CHECK);  // opens again after closing
    EXPECT_NE(Report(), nullptr);
}

TEST_F(CheckWindowTest, TheCopyMessageCountsTheErrorsOfThePageAsCopied) {
    SetCustomSource(1, kClean);
    AddLine("自定义源码-1");
    EXPECT_EQ(Copied(), kCopyDone);
    // Errors planted and copied at once, before any result came back: the
    // copy checks the page it copies.
    PlantErrors();
    int errors = 0;
    for (const auto& f : Findings()) errors += f.severity == check::Severity::Error;
    EXPECT_EQ(Copied(), std::string(kCopyDone) + "\r\n发布检查发现这一页有 " + std::to_string(errors) +
                            " 个错误，粘贴后可能被删改；按 F7 查看。");
    EXPECT_EQ(StatusNote(), ExpectedStatus());
    Form1Change(form, [](Composition& page) { return page.Clear(); });
    SetCustomSource(1, kClean);
    AddLine("自定义源码-1");
    EXPECT_EQ(Copied(), kCopyDone);
}

TEST_F(CheckWindowTest, ABurstOfEditsEndsOnTheLastPagesFigures) {
    SetCustomSource(1, kClean);
    AddLine("自定义源码-1");
    AddLines("图片展示-样式3", 40);
    AddLine("自定义源码-1");
    // Typing into the source: every other keystroke another error count,
    // the messages handled in between so results come back while it goes on.
    Select(0);
    Click(C(kEditCodeButton));
    const HWND editor = C(kEditor);
    std::string typed;
    for (int i = 0; i < 40; ++i) {
        const std::string piece = i % 3 == 0 ? "<b onclick=x>" : "字";
        for (const wchar_t c : Wide(piece)) SendMessageW(editor, WM_CHAR, c, 0);
        if (i % 4 == 0) Pump();
    }
    const std::string last = ExpectedStatus();
    EXPECT_TRUE(StatusBecomes(last)) << StatusNote() << " / " << last;
    // Nothing older arrives after it.
    for (int i = 0; i < 20; ++i) {
        Pump();
        Sleep(5);
    }
    EXPECT_EQ(StatusNote(), last);
    EXPECT_NE(last.find(" 个错误"), std::string::npos);
}

}  // namespace
}  // namespace mojian::testing
