#include "app/dialogs/CheckReportDialog_win.h"

#include <commctrl.h>

#include <algorithm>
#include <array>
#include <memory>

#include "app/CommandIds.h"
#include "app/WinText_win.h"

namespace mojian {

namespace {

// The report's own state, freed at WM_NCDESTROY.
struct ReportState {
    std::vector<std::wstring> explanations;  // by row
    std::vector<int> lines;                  // by row; -1 for the whole page
    std::vector<bool> errors;                // by row
    SIZE minimum{};                          // the size it opened with
};

ReportState* ReportOf(HWND report) { return reinterpret_cast<ReportState*>(GetWindowLongPtrW(report, DWLP_USER)); }

// Column widths in dialog units; the explanation takes what is left.
constexpr std::array<int, 3> kColumnWidthsDlu = {26, 84, 120};
constexpr COLORREF kErrorColour = RGB(0xC0, 0, 0);
constexpr int kMarginDlu = 7;
constexpr int kGapDlu = 4;
constexpr int kSummaryHeightDlu = 10;
constexpr int kDetailHeightDlu = 40;
constexpr int kButtonWidthDlu = 50, kButtonHeightDlu = 14;

RECT Dlu(HWND dialog, int left, int top, int right, int bottom) {
    RECT r{left, top, right, bottom};
    MapDialogRect(dialog, &r);
    return r;
}

int DluX(HWND dialog, int x) { return Dlu(dialog, x, 0, 0, 0).left; }

void Place(HWND control, int left, int top, int width, int height) {
    MoveWindow(control, left, top, std::max(0, width), std::max(0, height), TRUE);
}

void Layout(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    const RECT m = Dlu(dialog, kMarginDlu, kMarginDlu, kGapDlu, kGapDlu);
    const RECT sizes = Dlu(dialog, kButtonWidthDlu, kButtonHeightDlu, kSummaryHeightDlu, kDetailHeightDlu);
    const int width = client.right - 2 * m.left;
    const int buttonTop = client.bottom - m.top - sizes.top;
    const int detailTop = buttonTop - m.bottom - sizes.bottom;
    const int listTop = m.top + sizes.right + m.bottom;
    Place(GetDlgItem(dialog, IDC_CHECK_SUMMARY), m.left, m.top, width, sizes.right);
    Place(GetDlgItem(dialog, IDC_CHECK_LIST), m.left, listTop, width, detailTop - m.bottom - listTop);
    Place(GetDlgItem(dialog, IDC_CHECK_DETAIL), m.left, detailTop, width, sizes.bottom);
    Place(GetDlgItem(dialog, IDCANCEL), client.right - m.left - sizes.left, buttonTop, sizes.left, sizes.top);
    // The explanation column fills the list's width.
    const HWND list = GetDlgItem(dialog, IDC_CHECK_LIST);
    RECT inner{};
    GetClientRect(list, &inner);
    int rest = inner.right;
    for (std::size_t i = 0; i < kColumnWidthsDlu.size(); ++i) rest -= DluX(dialog, kColumnWidthsDlu[i]);
    SendMessageW(list, LVM_SETCOLUMNWIDTH, kColumnWidthsDlu.size(), std::max(rest, DluX(dialog, 80)));
}

void AddColumns(HWND dialog, HWND list) {
    static constexpr std::array<const wchar_t*, 4> kTitles = {L"级别", L"位置", L"规则", L"说明"};
    for (std::size_t i = 0; i < kTitles.size(); ++i) {
        LVCOLUMNW c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
        c.pszText = const_cast<wchar_t*>(kTitles[i]);
        c.cx = i < kColumnWidthsDlu.size() ? DluX(dialog, kColumnWidthsDlu[i]) : DluX(dialog, 200);
        c.iSubItem = static_cast<int>(i);
        SendMessageW(list, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&c));
    }
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP | LVS_EX_DOUBLEBUFFER);
}

int SelectedRow(HWND list) {
    return static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void ShowDetail(HWND dialog) {
    const ReportState* st = ReportOf(dialog);
    const int row = SelectedRow(GetDlgItem(dialog, IDC_CHECK_LIST));
    const bool valid = st && row >= 0 && static_cast<std::size_t>(row) < st->explanations.size();
    SetWindowTextW(GetDlgItem(dialog, IDC_CHECK_DETAIL),
                   valid ? st->explanations[static_cast<std::size_t>(row)].c_str() : L"双击一项，跳到排版列表里的那一行。");
}

void GoToRow(HWND dialog, int row) {
    const ReportState* st = ReportOf(dialog);
    if (!st || row < 0 || static_cast<std::size_t>(row) >= st->lines.size()) return;
    const int line = st->lines[static_cast<std::size_t>(row)];
    if (line >= 0) SendMessageW(GetWindow(dialog, GW_OWNER), kMsgCheckReportGoToLine, static_cast<WPARAM>(line), 0);
}

std::wstring PlaceText(const check::Finding& f) {
    if (f.line < 0) return L"整页";
    return L"第 " + std::to_wstring(f.line + 1) + L" 行 " + Wide(f.entry);
}

std::wstring RuleText(const check::Finding& f) {
    return Wide(f.detail.empty() ? f.title : f.title + "：" + f.detail);
}

// Errors in red, warnings in the list's own colour.
LRESULT OnCustomDraw(HWND dialog, NMLVCUSTOMDRAW& draw) {
    if (draw.nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (draw.nmcd.dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    const ReportState* st = ReportOf(dialog);
    const auto row = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
    if (st && row < st->errors.size() && st->errors[row]) draw.clrText = kErrorColour;
    return CDRF_DODEFAULT;
}

bool OnNotify(HWND dialog, NMHDR& n) {
    if (n.idFrom != IDC_CHECK_LIST) return false;
    switch (n.code) {
    case NM_CUSTOMDRAW:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, OnCustomDraw(dialog, reinterpret_cast<NMLVCUSTOMDRAW&>(n)));
        return true;
    case NM_DBLCLK:
        GoToRow(dialog, reinterpret_cast<const NMITEMACTIVATE&>(n).iItem);
        return true;
    case NM_RETURN:
        GoToRow(dialog, SelectedRow(n.hwndFrom));
        return true;
    case LVN_ITEMCHANGED:
        if (reinterpret_cast<const NMLISTVIEW&>(n).uChanged & LVIF_STATE) ShowDetail(dialog);
        return true;
    }
    return false;
}

// Beside the main window when the screen has room for it there, so the
// list and the preview of a line gone to stay in sight; else at the
// screen's right edge, over the main window's right-hand side.
void PlaceBesideOwner(HWND dialog) {
    const HWND owner = GetWindow(dialog, GW_OWNER);
    RECT o{}, d{};
    if (!owner || !GetWindowRect(owner, &o) || !GetWindowRect(dialog, &d)) return;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (!GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) return;
    const RECT& work = monitor.rcWork;
    const int width = d.right - d.left, height = d.bottom - d.top;
    const int left = o.right + width <= work.right ? o.right : std::max(work.left, work.right - width);
    const int top = std::clamp(o.top + (o.bottom - o.top - height) / 2, work.top, std::max(work.top, work.bottom - height));
    SetWindowPos(dialog, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK ReportProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_INITDIALOG: {
        auto* st = new ReportState;
        SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(st));
        RECT r{};
        GetWindowRect(dialog, &r);
        st->minimum = {r.right - r.left, r.bottom - r.top};
        AddColumns(dialog, GetDlgItem(dialog, IDC_CHECK_LIST));
        Layout(dialog);
        ShowDetail(dialog);
        PlaceBesideOwner(dialog);
        return TRUE;
    }
    case WM_SIZE:
        Layout(dialog);
        return TRUE;
    case WM_GETMINMAXINFO:
        if (const ReportState* st = ReportOf(dialog)) {
            auto* info = reinterpret_cast<MINMAXINFO*>(lp);
            info->ptMinTrackSize.x = st->minimum.cx * 2 / 3;
            info->ptMinTrackSize.y = st->minimum.cy * 2 / 3;
        }
        return TRUE;
    case WM_NOTIFY:
        if (OnNotify(dialog, *reinterpret_cast<NMHDR*>(lp))) return TRUE;
        return FALSE;
    case WM_COMMAND:
        // Enter, wherever the focus is but on the button, goes to the selected finding.
        if (LOWORD(wp) == IDOK) {
            GoToRow(dialog, SelectedRow(GetDlgItem(dialog, IDC_CHECK_LIST)));
            return TRUE;
        }
        if (LOWORD(wp) == IDCANCEL) {
            DestroyWindow(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        if (const HWND owner = GetWindow(dialog, GW_OWNER))
            SendMessageW(owner, kMsgCheckReportClosed, 0, reinterpret_cast<LPARAM>(dialog));
        return FALSE;
    case WM_NCDESTROY:
        delete ReportOf(dialog);
        SetWindowLongPtrW(dialog, DWLP_USER, 0);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

HWND CreateCheckReport(HWND owner) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_CHECK_REPORT), owner, &ReportProc, 0);
}

void FillCheckReport(HWND report, const std::wstring& summary, const std::vector<check::Finding>& findings) {
    ReportState* st = ReportOf(report);
    if (!st) return;
    SetWindowTextW(GetDlgItem(report, IDC_CHECK_SUMMARY), summary.c_str());
    const HWND list = GetDlgItem(report, IDC_CHECK_LIST);
    const int selected = SelectedRow(list);
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    st->explanations.clear();
    st->lines.clear();
    st->errors.clear();
    for (const check::Finding& f : findings) {
        const int row = static_cast<int>(st->lines.size());
        std::array<std::wstring, 4> cells = {f.severity == check::Severity::Error ? L"错误" : L"提示", PlaceText(f),
                                            RuleText(f), Wide(f.explanation)};
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.pszText = cells[0].data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        for (int col = 1; col < 4; ++col) {
            item.iSubItem = col;
            item.pszText = cells[static_cast<std::size_t>(col)].data();
            SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        }
        st->lines.push_back(f.line);
        st->errors.push_back(f.severity == check::Severity::Error);
        st->explanations.push_back(RuleText(f) + L"\r\n" + Wide(f.explanation));
    }
    if (selected >= 0 && selected < static_cast<int>(findings.size())) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&state));
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
    ShowDetail(report);
}

std::vector<std::vector<std::wstring>> CheckReportRows(HWND report) {
    std::vector<std::vector<std::wstring>> rows;
    const HWND list = GetDlgItem(report, IDC_CHECK_LIST);
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; ++row) {
        std::vector<std::wstring> cells;
        for (int col = 0; col < 4; ++col) {
            std::wstring text(4096, L'\0');
            LVITEMW item{};
            item.iSubItem = col;
            item.pszText = text.data();
            item.cchTextMax = static_cast<int>(text.size());
            const auto n =
                SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
            text.resize(static_cast<std::size_t>(n));
            cells.push_back(std::move(text));
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

}  // namespace mojian
