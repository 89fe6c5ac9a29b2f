// Form1's publish check: the count in the status bar that follows every
// change of the page, the 发布检查 report (F7), and what the copy adds to
// its message when the page has errors.
//
// The check runs on a thread of its own (check/LiveCheck.h). A change hands
// the page over at once when that thread is idle; while it is busy the
// change is only noted, and the newest page goes over when the result
// comes, so a burst of keystrokes costs one hand-over per check, and a
// result that is already behind the page is never shown.
#include <string>

#include "app/CommandIds.h"
#include "app/Form1State_win.h"
#include "app/WinText_win.h"
#include "app/dialogs/CheckReportDialog_win.h"
#include "html/GdiFonts_win.h"

namespace mojian {

using namespace form1;

namespace {

constexpr wchar_t kEmptyPageReport[] = L"排版列表是空的，还没有可以检查的内容。";
constexpr wchar_t kNothingFound[] = L"没有发现问题，可以放心粘贴。";

void HandOver(Form1State& s) {
    s.doc.check.behind = false;
    s.doc.check.asked = s.view.liveCheck->Check(check::LinesOf(s.doc.page), s.doc.page.Width());
}

std::wstring SummaryText(const check::Summary& summary) {
    return Wide(check::StatusText(summary, check::RuleSet::BuiltIn().PageCharacterLimit()));
}

// The result on the window: the status bar's count and the open report.
void Show(Form1State& s, const check::LiveCheck::Result& r) {
    const bool empty = s.doc.page.Lines().empty();
    s.view.statusNote = empty ? std::string() : check::StatusText(r.summary, check::RuleSet::BuiltIn().PageCharacterLimit());
    UpdateStatusBar(s);
    if (!s.view.checkReport) return;
    if (empty) {
        FillCheckReport(s.view.checkReport, kEmptyPageReport, {});
        return;
    }
    std::wstring summary = SummaryText(r.summary);
    if (r.findings.empty()) summary += std::wstring(L"　") + kNothingFound;
    FillCheckReport(s.view.checkReport, summary, r.findings);
}

}  // namespace

void StartLiveCheck(HWND form, Form1State& s) {
    s.view.liveCheck = std::make_unique<check::LiveCheck>(
        check::RuleSet::BuiltIn(), [] { return std::make_unique<html::GdiFonts>(); },
        [form] { PostMessageW(form, kMsgCheckReady, 0, 0); });
}

void StopLiveCheck(Form1State& s) { s.view.liveCheck.reset(); }

void FollowPageWithCheck(Form1State& s) {
    if (!s.view.liveCheck || !s.options.liveCheck) return;
    if (s.view.liveCheck->Busy()) s.doc.check.behind = true;  // the newest page goes over when the result comes
    else HandOver(s);
}

void CheckReady(Form1State& s) {
    if (!s.view.liveCheck) return;
    const auto result = s.view.liveCheck->Take();
    if (s.doc.check.behind) {
        if (!s.view.liveCheck->Busy()) HandOver(s);
        return;  // whatever came is of an older page
    }
    if (result) Show(s, *result);
}

std::optional<check::LiveCheck::Result> CheckPageNow(Form1State& s) {
    if (!s.view.liveCheck) return std::nullopt;
    if (s.doc.check.behind || s.doc.check.asked == 0 || !s.options.liveCheck) HandOver(s);
    const check::LiveCheck::Result r = s.view.liveCheck->Wait(s.doc.check.asked);
    Show(s, r);
    return r;
}

std::wstring CopyCheckNote(Form1State& s) {
    const auto r = CheckPageNow(s);
    if (!r || r->summary.errors == 0) return {};
    return L"\r\n发布检查发现这一页有 " + std::to_wstring(r->summary.errors) + L" 个错误，粘贴后可能被删改；按 F7 查看。";
}

void Check_Click(HWND form, Form1State& s) {
    if (!s.view.checkReport) {
        s.view.checkReport = CreateCheckReport(form);
        if (!s.view.checkReport) return;
    }
    CheckPageNow(s);  // fills the report
    ShowWindow(s.view.checkReport, SW_SHOW);
    SetForegroundWindow(s.view.checkReport);
    SetFocus(GetDlgItem(s.view.checkReport, IDC_CHECK_LIST));
}

void CheckReportGoToLine(HWND form, Form1State& s, int line) {
    if (line < 0 || line >= static_cast<int>(s.doc.page.Lines().size())) return;
    SelectLine(form, s, line);
}

void CheckReportClosed(Form1State& s, HWND report) {
    if (s.view.checkReport == report) s.view.checkReport = nullptr;
}

}  // namespace mojian
