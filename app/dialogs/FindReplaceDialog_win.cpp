#include "app/dialogs/FindReplaceDialog_win.h"

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/WinText_win.h"
#include "app/dialogs/DialogPlacement_win.h"
#include "app/dialogs/VirtualList_win.h"
#include "app/env/Environment.h"

namespace mojian {

namespace {

using fill::FieldKind;

constexpr wchar_t kNoticeTitle[] = L"温馨提示";

enum FoundColumn { kLineColumn, kEntryColumn, kContextColumn };

struct FindReplaceDialog {
    const FindReplaceHost* host = nullptr;
    FindReplaceMemory* memory = nullptr;
    HWND dialog = nullptr, list = nullptr;
    fill::PageFind found;
};

int AskUser(HWND dialog, const std::string& text, UINT flags) {
    return CurrentEnvironment().messageBox(dialog, Wide(text), kNoticeTitle, flags);
}

// The controls into the memory, and the query they make.
fill::FindQuery TakeQuery(FindReplaceDialog& d) {
    FindReplaceMemory& m = *d.memory;
    m.kind = IsDlgButtonChecked(d.dialog, IDC_FR_PICTURE) == BST_CHECKED ? FieldKind::Picture
             : IsDlgButtonChecked(d.dialog, IDC_FR_LINK) == BST_CHECKED  ? FieldKind::Link
                                                                          : FieldKind::Text;
    m.find = GetText(GetDlgItem(d.dialog, IDC_FR_FIND));
    m.replacement = GetText(GetDlgItem(d.dialog, IDC_FR_REPLACE));
    m.matchCase = IsDlgButtonChecked(d.dialog, IDC_FR_CASE) == BST_CHECKED;
    fill::FindQuery query;
    query.kind = m.kind;
    query.text = m.find;
    query.matchCase = m.matchCase;
    return query;
}

void ShowMatches(FindReplaceDialog& d, fill::PageFind found, const std::string& result) {
    d.found = std::move(found);
    SendMessageW(d.list, LVM_SETITEMCOUNT, d.found.matches.size(), 0);
    InvalidateRect(d.list, nullptr, FALSE);
    SetText(GetDlgItem(d.dialog, IDC_FR_RESULT), result);
}

// 查找: the count and the list; false when there is nothing to replace.
bool Find(FindReplaceDialog& d, const fill::FindQuery& query) {
    if (query.text.empty()) {
        ShowMatches(d, {}, "请输入要查找的内容。");
        SetFocus(GetDlgItem(d.dialog, IDC_FR_FIND));
        return false;
    }
    fill::PageFind found = d.host->find(query);
    const std::string result = found.matches.empty() ? fill::NotFoundMessage(query) : fill::FoundMessage(found);
    ShowMatches(d, std::move(found), result);
    return !d.found.matches.empty();
}

std::string Quoted(std::string_view text) { return "“" + std::string(text) + "”"; }

void ReplaceAll(FindReplaceDialog& d) {
    const fill::FindQuery query = TakeQuery(d);
    if (!Find(d, query)) return;
    if (!d.found.CanReplace()) {
        fill::PageChange refused;
        refused.error = fill::FillError::NoFreeNumber;
        refused.numbersNeeded = d.found.numbersNeeded;
        refused.numbersFree = d.found.numbersFree;
        AskUser(d.dialog, fill::RefusalMessage(refused), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::string& replacement = d.memory->replacement;
    const std::string question = "把 " + std::to_string(d.found.matches.size()) + " 处" + Quoted(query.text) +
                                 "全部替换为" + Quoted(replacement) + "？\r\n替换后可以用“撤销”（Ctrl+Z）一次改回。";
    if (AskUser(d.dialog, question, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) return;
    const fill::PageChange change = d.host->replaceAll(query, replacement);
    if (change.Refused()) {
        AskUser(d.dialog, fill::RefusalMessage(change), MB_OK | MB_ICONEXCLAMATION);
        return;
    }
    const std::string done = fill::ReplacedMessage(change);
    ShowMatches(d, {}, done);
    AskUser(d.dialog, done, MB_OK | MB_ICONINFORMATION);
}

void OnGetDispInfo(const FindReplaceDialog& d, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= d.found.matches.size())
        return;
    const fill::PageMatch& m = d.found.matches[static_cast<std::size_t>(item.iItem)];
    std::string text;
    switch (item.iSubItem) {
    case kLineColumn: text = std::to_string(m.line + 1); break;
    case kEntryColumn: text = m.entry; break;
    case kContextColumn:
        text = m.context.substr(0, m.matchBegin) + "【" + m.context.substr(m.matchBegin, m.matchEnd - m.matchBegin) +
               "】" + m.context.substr(m.matchEnd);
        break;
    default: break;
    }
    SetCellText(item, text);
}

void OnInitDialog(FindReplaceDialog& d, HWND dialog) {
    d.dialog = dialog;
    d.list = GetDlgItem(dialog, IDC_FR_MATCHES);
    const FindReplaceMemory& m = *d.memory;
    const int kind = m.kind == FieldKind::Picture ? IDC_FR_PICTURE : m.kind == FieldKind::Link ? IDC_FR_LINK : IDC_FR_TEXT;
    CheckRadioButton(dialog, IDC_FR_TEXT, IDC_FR_LINK, kind);
    SetText(GetDlgItem(dialog, IDC_FR_FIND), m.find);
    SetText(GetDlgItem(dialog, IDC_FR_REPLACE), m.replacement);
    CheckDlgButton(dialog, IDC_FR_CASE, m.matchCase ? BST_CHECKED : BST_UNCHECKED);

    SendMessageW(d.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    RECT rc{};
    GetClientRect(d.list, &rc);
    const int dpi = DpiOf(dialog);
    const int line = MulDiv(44, dpi, USER_DEFAULT_SCREEN_DPI), entry = MulDiv(110, dpi, USER_DEFAULT_SCREEN_DPI);
    AddListColumn(d.list, kLineColumn, L"行", line);
    AddListColumn(d.list, kEntryColumn, L"模块", entry);
    AddListColumn(d.list, kContextColumn, L"内容", std::max(60, static_cast<int>(rc.right) - line - entry -
                                                                GetSystemMetrics(SM_CXVSCROLL)));
    CentreOnOwner(dialog);
    const HWND find = GetDlgItem(dialog, IDC_FR_FIND);
    SetFocus(find);
    SendMessageW(find, EM_SETSEL, 0, -1);
}

INT_PTR CALLBACK FindReplaceProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<FindReplaceDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        d = reinterpret_cast<FindReplaceDialog*>(lp);
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        OnInitDialog(*d, dialog);
        return FALSE;  // the focus is set
    }
    if (!d) return FALSE;
    switch (msg) {
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lp);
        if (header.idFrom != IDC_FR_MATCHES) return FALSE;
        if (header.code == LVN_GETDISPINFOW) OnGetDispInfo(*d, *reinterpret_cast<NMLVDISPINFOW*>(lp));
        if (header.code == NM_DBLCLK) {
            const int row = reinterpret_cast<const NMITEMACTIVATE&>(header).iItem;
            if (row >= 0 && static_cast<std::size_t>(row) < d->found.matches.size() && d->host->showLine)
                d->host->showLine(d->found.matches[static_cast<std::size_t>(row)].line);
        }
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_FR_FINDBUTTON:
        case IDOK:  // Enter
            Find(*d, TakeQuery(*d));
            return TRUE;
        case IDC_FR_REPLACEALL:
            ReplaceAll(*d);
            return TRUE;
        case IDCANCEL:
            TakeQuery(*d);
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace

void ShowFindReplaceDialog(HWND owner, const FindReplaceHost& host, FindReplaceMemory& memory) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    FindReplaceDialog d;
    d.host = &host;
    d.memory = &memory;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FINDREPLACE), owner, &FindReplaceProc, reinterpret_cast<LPARAM>(&d));
}

}  // namespace mojian
