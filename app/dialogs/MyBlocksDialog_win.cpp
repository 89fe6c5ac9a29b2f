#include "app/dialogs/MyBlocksDialog_win.h"

#include <commctrl.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/WinText_win.h"
#include "app/dialogs/DialogPlacement_win.h"
#include "app/dialogs/NameDialog_win.h"
#include "app/dialogs/VirtualList_win.h"
#include "app/env/Environment.h"
#include "html/HtmlView_win.h"
#include "myblocks/Names.h"

namespace mojian {

// Named, so that its helpers never meet another file's in a unity build.
namespace blocks_dialog {
namespace {

using myblocks::Entry;
using myblocks::State;

constexpr wchar_t kTitle[] = L"我的模块";
constexpr wchar_t kSetFilter[] = L"墨笺我的模块 (*.json)\0*.json\0所有文件 (*.*)\0*.*\0\0";

// Layout, in pixels at 96 DPI.
constexpr int kMarginPx = 8;
constexpr int kGapPx = 6;
constexpr int kListSideWidthPx = 390;
constexpr int kButtonWidthPx = 122;
constexpr int kButtonHeightPx = 26;
constexpr int kLabelHeightPx = 20;
constexpr int kPreviewFramePx = 33;  // beside the page's column: the view's margins and its scroll bar
constexpr int kDialogHeightPx = 640;
constexpr int kDialogMinWidthPx = 640, kDialogMinHeightPx = 400;

enum Column { kNameColumn, kSavedColumn, kSourceColumn, kSizeColumn };

// The first preview comes once the dialog is up: the list shows first. A
// timer, because a dialog shows only when its queue is empty, and a posted
// message would come before; a timer waits for the paint.
constexpr UINT_PTR kFirstPreviewTimer = 1;

struct MyBlocksDialog {
    const MyBlocksHost* host = nullptr;
    HWND dialog = nullptr, list = nullptr, preview = nullptr;
    int dpi = USER_DEFAULT_SCREEN_DPI;
    std::vector<Entry> entries;  // as the list shows them
    std::string note;            // what the last action did, after the count
    bool previewing = false;     // off until the dialog is up
    int layouts = 0;             // each one moves every control: a dozen round trips under Wine

    int Px(int px) const { return MulDiv(px, dpi, USER_DEFAULT_SCREEN_DPI); }
    myblocks::MyBlocks& Store() const { return *host->store; }
};

int Tell(const MyBlocksDialog& d, const std::string& text, UINT flags = MB_OK | MB_ICONEXCLAMATION) {
    return CurrentEnvironment().messageBox(d.dialog, Wide(text), kTitle, flags);
}

std::string Quoted(std::string_view text) { return "“" + std::string(text) + "”"; }

std::vector<int> SelectedRows(const MyBlocksDialog& d) {
    std::vector<int> rows;
    for (int row = -1; (row = static_cast<int>(SendMessageW(d.list, LVM_GETNEXTITEM, static_cast<WPARAM>(row),
                                                            LVNI_SELECTED))) >= 0;)
        rows.push_back(row);
    return rows;
}

void SelectRow(HWND list, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void ShowSummary(const MyBlocksDialog& d) {
    std::string text;
    if (d.entries.empty()) {
        text = "还没有我的模块。在排版列表中选中一行，按 Ctrl+B（或右键 → 存为我的模块）就能保存。";
    } else {
        const auto damaged = std::count_if(d.entries.begin(), d.entries.end(),
                                           [](const Entry& e) { return e.state == State::Damaged; });
        text = "共 " + std::to_string(d.entries.size()) + " 个";
        if (damaged > 0) text += "，其中 " + std::to_string(damaged) + " 个文件已损坏";
        text += "。双击或按“添加到页面”加到排版的末尾。";
    }
    if (!d.note.empty()) text = d.note + " " + text;
    SetText(GetDlgItem(d.dialog, IDC_MB_SUMMARY), text);
}

void ShowPreview(MyBlocksDialog& d) {
    if (!d.previewing) return;
    const std::vector<int> rows = SelectedRows(d);
    std::string html;
    if (rows.size() == 1) html = d.Store().PreviewHtml(d.entries[static_cast<std::size_t>(rows[0])]);
    html::HtmlViewSetHtml(d.preview, html);
}

// The list afresh from the folder; the rows named in `select` selected.
void Reload(MyBlocksDialog& d, const std::set<std::string>& select) {
    d.entries = d.Store().List();
    LVITEMW none{};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(d.list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
    SendMessageW(d.list, LVM_SETITEMCOUNT, d.entries.size(), 0);
    InvalidateRect(d.list, nullptr, FALSE);
    for (std::size_t i = 0; i < d.entries.size(); ++i)
        if (select.count(d.entries[i].name)) SelectRow(d.list, static_cast<int>(i));
    ShowSummary(d);
    ShowPreview(d);
}

std::string ShownSize(std::size_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " 字节";
    return std::to_string((bytes + 512) / 1024) + " KB";
}

void OnGetDispInfo(const MyBlocksDialog& d, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= d.entries.size()) return;
    const Entry& e = d.entries[static_cast<std::size_t>(item.iItem)];
    std::string text;
    switch (item.iSubItem) {
    case kNameColumn: text = e.name; break;
    case kSavedColumn: text = myblocks::ShownSaved(e); break;
    case kSourceColumn: text = myblocks::ShownSource(e); break;
    case kSizeColumn: text = e.state == State::Damaged ? std::string() : ShownSize(e.htmlBytes); break;
    default: break;
    }
    SetCellText(item, text);
}

// ---- The actions --------------------------------------------------------------------

void Add(MyBlocksDialog& d) {
    const std::vector<int> rows = SelectedRows(d);
    if (rows.empty()) {
        Tell(d, "请先在列表中选中要添加的模块。", MB_OK | MB_ICONINFORMATION);
        return;
    }
    int added = 0;
    std::string last;
    for (const int row : rows) {
        std::string why;
        const auto block = d.Store().ReadToAdd(d.entries[static_cast<std::size_t>(row)], why);
        if (!block) {
            Tell(d, why);
            continue;
        }
        if (!d.host->add(*block)) break;
        ++added;
        last = block->name;
    }
    if (added == 1) d.note = "已把" + Quoted(last) + "加到排版的末尾。";
    else if (added > 1) d.note = "已把 " + std::to_string(added) + " 个模块加到排版的末尾。";
    ShowSummary(d);
}

void Rename(MyBlocksDialog& d) {
    const std::vector<int> rows = SelectedRows(d);
    if (rows.size() != 1) {
        Tell(d, "请选中一个要改名的模块。", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const Entry entry = d.entries[static_cast<std::size_t>(rows[0])];
    if (entry.ReadOnly()) {
        Tell(d, entry.state == State::Damaged ? Quoted(entry.name) + "的文件已损坏，不能改名，只能删除。"
                                              : Quoted(entry.name) + "是较新版本的墨笺保存的，这个版本不改动它。");
        return;
    }
    NameQuestion question;
    question.title = "重命名我的模块";
    question.prompt = "新名称(&N)：";
    question.initial = entry.name;
    myblocks::MyBlocks& store = d.Store();
    question.fault = [&store, &entry](const std::string& typed) {
        const std::string name = myblocks::TidyName(typed);
        if (std::string fault = myblocks::NameFault(name); !fault.empty()) return fault;
        if (myblocks::CaseFold(name) != myblocks::CaseFold(entry.name) && store.Get(name))
            return "已经有名为" + Quoted(name) + "的模块了，请换一个名称。";
        return std::string();
    };
    const std::optional<std::string> name = AskName(d.dialog, question);
    if (!name) return;
    const std::string tidy = myblocks::TidyName(*name);
    if (const std::string error = store.Rename(entry.name, tidy); !error.empty()) {
        Tell(d, error);
        return;
    }
    d.note = "已改名为" + Quoted(tidy) + "。";
    Reload(d, {tidy});
}

void Delete(MyBlocksDialog& d) {
    const std::vector<int> rows = SelectedRows(d);
    if (rows.empty()) {
        Tell(d, "请先在列表中选中要删除的模块。", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::string what = rows.size() == 1 ? Quoted(d.entries[static_cast<std::size_t>(rows[0])].name)
                                              : "选中的 " + std::to_string(rows.size()) + " 个模块";
    if (Tell(d, "删除" + what + "？\r\n删除后无法恢复。已经用到它的排版不受影响：排版文件里存有它的代码。",
             MB_OKCANCEL | MB_ICONQUESTION) != IDOK)
        return;
    std::string errors;
    int deleted = 0;
    for (const int row : rows) {
        const Entry& entry = d.entries[static_cast<std::size_t>(row)];
        const std::string error =
            entry.state == State::Damaged ? d.Store().DeleteDamaged(entry.file) : d.Store().Delete(entry.name);
        if (error.empty()) ++deleted;
        else errors += error + "\r\n";
    }
    if (!errors.empty()) Tell(d, errors);
    d.note = "已删除 " + std::to_string(deleted) + " 个。";
    Reload(d, {});
}

FileQuestion SetFileQuestion(bool save) {
    FileQuestion q;
    q.save = save;
    q.title = save ? L"导出我的模块" : L"导入我的模块";
    q.suggestedPath = save ? "我的模块.json" : "";
    q.filter.assign(kSetFilter, sizeof kSetFilter / sizeof kSetFilter[0] - 1);
    q.extension = L"json";
    return q;
}

void Export(MyBlocksDialog& d) {
    std::vector<int> rows = SelectedRows(d);
    if (rows.empty())  // nothing chosen: the whole library
        for (std::size_t i = 0; i < d.entries.size(); ++i) rows.push_back(static_cast<int>(i));
    std::vector<std::string> names;
    for (const int row : rows) {
        const Entry& entry = d.entries[static_cast<std::size_t>(row)];
        if (entry.state != State::Damaged) names.push_back(entry.name);
    }
    if (names.empty()) {
        Tell(d, "没有可以导出的模块。", MB_OK | MB_ICONINFORMATION);
        return;
    }
    const std::optional<std::string> path = CurrentEnvironment().chooseFile(d.dialog, SetFileQuestion(true));
    if (!path) return;
    if (const std::string error = d.Store().Export(names, *path); !error.empty()) {
        Tell(d, error);
        return;
    }
    d.note = "已导出 " + std::to_string(names.size()) + " 个模块。";
    ShowSummary(d);
}

myblocks::Clash AskClash(const MyBlocksDialog& d, const std::string& name, bool canReplace) {
    if (!canReplace) {
        const int answer = Tell(d, "已经有名为" + Quoted(name) + "的模块，它是较新版本的墨笺保存的，不能替换。\r\n\r\n" +
                                       "是：两个都保留（导入的改名）\r\n否：跳过这一个",
                                MB_YESNO | MB_ICONQUESTION);
        return answer == IDYES ? myblocks::Clash::KeepBoth : myblocks::Clash::Skip;
    }
    const int answer = Tell(d, "已经有名为" + Quoted(name) + "的模块。\r\n\r\n是：用导入的替换它\r\n" +
                                   "否：两个都保留（导入的改名）\r\n取消：跳过这一个",
                            MB_YESNOCANCEL | MB_ICONQUESTION);
    return answer == IDYES ? myblocks::Clash::Replace : answer == IDNO ? myblocks::Clash::KeepBoth : myblocks::Clash::Skip;
}

void Import(MyBlocksDialog& d) {
    const std::optional<std::string> path = CurrentEnvironment().chooseFile(d.dialog, SetFileQuestion(false));
    if (!path) return;
    const myblocks::ImportReport report =
        d.Store().Import(*path, [&d](const std::string& name, bool canReplace) { return AskClash(d, name, canReplace); });
    if (!report.error.empty()) {
        Tell(d, report.error);
        return;
    }
    std::set<std::string> names(report.added.begin(), report.added.end());
    names.insert(report.replaced.begin(), report.replaced.end());
    for (const auto& [from, to] : report.renamed) names.insert(to);
    d.note = "导入完成：新增 " + std::to_string(report.added.size() + report.renamed.size()) + " 个（其中改名 " +
             std::to_string(report.renamed.size()) + " 个），替换 " + std::to_string(report.replaced.size()) +
             " 个，跳过 " + std::to_string(report.skipped.size()) + " 个。";
    Reload(d, names);
}

// ---- Layout ---------------------------------------------------------------------

void Layout(MyBlocksDialog& d) {
    ++d.layouts;
    RECT rc{};
    GetClientRect(d.dialog, &rc);
    const int m = d.Px(kMarginPx), gap = d.Px(kGapPx), bh = d.Px(kButtonHeightPx), bw = d.Px(kButtonWidthPx);
    const int width = rc.right, height = rc.bottom, label = d.Px(kLabelHeightPx);
    const int side = std::min(d.Px(kListSideWidthPx), width / 2);
    const int top = m + label;
    const int secondRow = height - m - bh, firstRow = secondRow - gap - bh;

    PlaceControl(d.dialog, IDC_MB_SUMMARY, m, m, width - 2 * m, label);
    PlaceControl(d.dialog, IDC_MB_LIST, m, top, side, firstRow - gap - top);
    const int ids[] = {IDC_MB_ADD, IDC_MB_RENAME, IDC_MB_DELETE, IDC_MB_EXPORT, IDC_MB_IMPORT};
    for (int i = 0; i < 5; ++i)
        PlaceControl(d.dialog, ids[i], m + (i % 3) * (bw + gap), i < 3 ? firstRow : secondRow, bw, bh);

    const int left = m + side + m;
    MoveWindow(d.preview, left, top, std::max(0, width - left - m), std::max(0, firstRow - gap - top), TRUE);
    PlaceControl(d.dialog, IDCANCEL, width - m - bw, secondRow, bw, bh);

    const int fixed = static_cast<int>(SendMessageW(d.list, LVM_GETCOLUMNWIDTH, kSavedColumn, 0) +
                                       SendMessageW(d.list, LVM_GETCOLUMNWIDTH, kSizeColumn, 0));
    const int room = std::max(d.Px(160), side - fixed - GetSystemMetrics(SM_CXVSCROLL) - d.Px(4));
    SendMessageW(d.list, LVM_SETCOLUMNWIDTH, kNameColumn, room / 2);
    SendMessageW(d.list, LVM_SETCOLUMNWIDTH, kSourceColumn, room - room / 2);
}

// Wide enough for the list and the page's column beside it.
void SizeToScreen(MyBlocksDialog& d) {
    RECT frame{0, 0, 0, 0};
    AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(d.dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(d.dialog, GWL_EXSTYLE)));
    const int clientWidth = d.Px(kMarginPx * 3 + kListSideWidthPx + WidthPixels(d.host->width) + kPreviewFramePx);
    SizeOverOwner(d.dialog, clientWidth + static_cast<int>(frame.right - frame.left), d.Px(kDialogHeightPx));
}

void OnInitDialog(MyBlocksDialog& d, HWND dialog) {
    d.dialog = dialog;
    d.list = GetDlgItem(dialog, IDC_MB_LIST);
    d.dpi = DpiOf(dialog);
    SendMessageW(d.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    AddListColumn(d.list, kNameColumn, L"名称", d.Px(150));
    AddListColumn(d.list, kSavedColumn, L"保存时间", d.Px(112));
    AddListColumn(d.list, kSourceColumn, L"来自", d.Px(90));
    AddListColumn(d.list, kSizeColumn, L"大小", d.Px(56));
    UseFont(dialog, d.host->font);
    d.preview = html::CreateHtmlView(dialog, IDC_MB_PREVIEW, 0, 0, 10, 10);
    SizeToScreen(d);
    if (d.layouts == 0) Layout(d);  // the size it was made at was already right
    Reload(d, {});
    if (!d.entries.empty()) SelectRow(d.list, 0);
    SetFocus(d.list);
    SetTimer(dialog, kFirstPreviewTimer, 0, nullptr);
}

INT_PTR CALLBACK MyBlocksProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<MyBlocksDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        d = reinterpret_cast<MyBlocksDialog*>(lp);
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        OnInitDialog(*d, dialog);
        return FALSE;  // the focus is set
    }
    if (!d) return FALSE;
    switch (msg) {
    case WM_SIZE:
        Layout(*d);
        return TRUE;
    case WM_TIMER:
        if (wp != kFirstPreviewTimer) return FALSE;
        KillTimer(dialog, kFirstPreviewTimer);
        d->previewing = true;
        ShowPreview(*d);
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize = {d->Px(kDialogMinWidthPx), d->Px(kDialogMinHeightPx)};
        return TRUE;
    }
    case WM_NOTIFY: {
        const auto& header = *reinterpret_cast<const NMHDR*>(lp);
        if (header.idFrom != IDC_MB_LIST) return FALSE;
        if (header.code == LVN_GETDISPINFOW) OnGetDispInfo(*d, *reinterpret_cast<NMLVDISPINFOW*>(lp));
        if (header.code == LVN_ITEMCHANGED) {
            const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
            if ((change.uChanged & LVIF_STATE) && ((change.uNewState ^ change.uOldState) & LVIS_SELECTED)) ShowPreview(*d);
        }
        if (header.code == LVN_ODSTATECHANGED) ShowPreview(*d);
        if (header.code == NM_DBLCLK && reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) Add(*d);
        if (header.code == LVN_KEYDOWN && reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_DELETE) Delete(*d);
        return TRUE;
    }
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDOK:  // Enter
        case IDC_MB_ADD: Add(*d); return TRUE;
        case IDC_MB_RENAME: Rename(*d); return TRUE;
        case IDC_MB_DELETE: Delete(*d); return TRUE;
        case IDC_MB_EXPORT: Export(*d); return TRUE;
        case IDC_MB_IMPORT: Import(*d); return TRUE;
        case IDCANCEL: EndDialog(dialog, IDCANCEL); return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

}  // namespace
}  // namespace blocks_dialog

void ShowMyBlocksDialog(HWND owner, const MyBlocksHost& host) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    html::RegisterHtmlViewClass(instance);
    blocks_dialog::MyBlocksDialog d;
    d.host = &host;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MYBLOCKS), owner, &blocks_dialog::MyBlocksProc, reinterpret_cast<LPARAM>(&d));
}

}  // namespace mojian
