#include "app/dialogs/FillDialog_win.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/WinText_win.h"
#include "app/dialogs/DialogPlacement_win.h"
#include "app/dialogs/VirtualList_win.h"
#include "app/env/Environment.h"
#include "fill/Fields.h"
#include "fill/Fill.h"
#include "html/HtmlView_win.h"

namespace mojian {

namespace {

using fill::Field;
using fill::FieldKind;

// Sent to the dialog by the in-place editor: wParam says how the edit ends.
constexpr UINT kMsgEndEdit = WM_APP + 40;
enum EndEdit : WPARAM { kKeep, kDiscard, kKeepAndNext, kKeepAndPrevious };
constexpr UINT kMsgMeasure = WM_APP + 41;  // sizes the finding left for after the dialog shows
constexpr UINT_PTR kPreviewTimer = 1;
// The preview follows typing at most this often: one relayout per pause.
constexpr UINT kPreviewDelayMs = 50;
// Blocks up to this size have their pictures measured before the dialog
// shows; larger custom sources right after.
constexpr std::size_t kMeasureAtOnceBytes = 64 * 1024;

// Layout, in pixels at 96 DPI.
constexpr int kMarginPx = 8;
constexpr int kGapPx = 6;
constexpr int kButtonWidthPx = 96;
constexpr int kWideButtonWidthPx = 150;
constexpr int kButtonHeightPx = 26;
constexpr int kLabelHeightPx = 20;
constexpr int kNoteHeightPx = 36;
constexpr int kPreviewFramePx = 33;  // beside the page's column: the view's margins and its scroll bar
constexpr int kFormMinWidthPx = 400;
constexpr int kDialogWidthPx = 1400, kDialogHeightPx = 780;
constexpr int kDialogMinWidthPx = 720, kDialogMinHeightPx = 460;
constexpr int kEditorRowsOfText = 3;  // the in-place editor's height, in list rows

enum Column { kNumberColumn, kKindColumn, kValueColumn, kNoteColumn };

struct FillDialog {
    const FillDialogInput* input = nullptr;
    fill::FieldSet set;
    bool measured = false;
    // The seller's value per field; nothing where it is still the block's.
    std::vector<std::optional<std::string>> values;
    std::optional<std::string> result;

    HWND dialog = nullptr, list = nullptr, preview = nullptr, editor = nullptr;
    int editing = -1;  // the row the in-place editor stands on
    int dpi = USER_DEFAULT_SCREEN_DPI;
    bool previewDue = false;

    int Px(int px96) const { return MulDiv(px96, dpi, USER_DEFAULT_SCREEN_DPI); }
    const Field& FieldAt(std::size_t i) const { return set.fields[i]; }
    const std::string& ValueOf(std::size_t i) const { return values[i] ? *values[i] : set.fields[i].value; }
};

std::vector<fill::FieldValue> ChangedValues(const FillDialog& d) {
    std::vector<fill::FieldValue> out;
    for (std::size_t i = 0; i < d.values.size(); ++i)
        if (d.values[i]) out.push_back({i, *d.values[i]});
    return out;
}

std::string FilledHtml(const FillDialog& d) {
    const std::vector<fill::FieldValue> values = ChangedValues(d);
    return values.empty() ? d.input->html : fill::FillFields(d.input->html, d.set, values);
}

bool IsLocalPicture(const FillDialog& d, std::size_t i) {
    return d.FieldAt(i).kind == FieldKind::Picture && fill::IsLocalAddress(d.ValueOf(i));
}

std::string KindName(const Field& f) {
    switch (f.kind) {
    case FieldKind::Text: return "文字";
    case FieldKind::Picture: return f.background ? "背景图" : "图片";
    case FieldKind::Link: return "链接";
    }
    return {};
}

// What the list shows of a value: one line, its line breaks as arrows.
std::string OneLine(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\r') continue;
        if (value[i] == '\n') out += "↵";
        else out += value[i];
    }
    return out;
}

std::string SizeText(const Field& f) {
    if (f.widthPending || f.heightPending) return "尺寸计算中";
    const auto side = [](int px) { return px > 0 ? std::to_string(px) : std::string("自动"); };
    if (f.width <= 0 && f.height <= 0) return "尺寸由图片决定";
    return side(f.width) + "×" + side(f.height);
}

// The 说明 column: what tells a field from its neighbours, and its state.
std::string NoteOf(const FillDialog& d, std::size_t i) {
    const Field& f = d.FieldAt(i);
    std::vector<std::string> parts;
    if (d.values[i]) parts.push_back("已修改");
    else if (f.placeholder)
        parts.push_back(f.kind == FieldKind::Picture ? "占位图" : f.kind == FieldKind::Link ? "原链接" : "原文");
    if (f.kind == FieldKind::Picture) {
        if (IsLocalPicture(d, i)) parts.push_back("本机图片，上传前买家看不到");
        parts.push_back(SizeText(f));
        if (!f.alt.empty()) parts.push_back("说明文字：" + OneLine(f.alt));
    }
    const fill::FieldHint hint = fill::HintFor(d.set, i);
    if (!hint.before.empty() || !hint.after.empty())
        parts.push_back(OneLine(hint.before) + "【此处】" + OneLine(hint.after));
    std::string text;
    for (const std::string& p : parts) text += (text.empty() ? "" : "；") + p;
    return text;
}

void OnGetDispInfo(const FillDialog& d, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= d.set.fields.size()) return;
    const auto i = static_cast<std::size_t>(item.iItem);
    std::string text;
    switch (item.iSubItem) {
    case kNumberColumn: text = std::to_string(i + 1); break;
    case kKindColumn: text = KindName(d.FieldAt(i)); break;
    case kValueColumn: text = OneLine(d.ValueOf(i)); break;
    case kNoteColumn: text = NoteOf(d, i); break;
    default: break;
    }
    SetCellText(item, text);
}

int SelectedRow(const FillDialog& d) {
    return static_cast<int>(SendMessageW(d.list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(const FillDialog& d, int row) {
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(d.list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
    SendMessageW(d.list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

void ShowNote(const FillDialog& d) {
    std::size_t local = 0;
    for (std::size_t i = 0; i < d.set.fields.size(); ++i)
        if (d.values[i] && IsLocalPicture(d, i)) ++local;
    std::string note = "双击一项或按 Enter 修改，Tab 转到下一项；文字里按 Ctrl+Enter 换行。";
    if (local > 0)
        note += "\r\n有 " + std::to_string(local) + " 张图片是本机文件：买家看不到，请上传到图片空间后换成网络地址。";
    SetText(GetDlgItem(d.dialog, IDC_FILL_NOTE), note);
    const int row = SelectedRow(d);
    EnableWindow(GetDlgItem(d.dialog, IDC_FILL_BROWSE),
                 row >= 0 && d.FieldAt(static_cast<std::size_t>(row)).kind == FieldKind::Picture);
    EnableWindow(GetDlgItem(d.dialog, IDC_FILL_EDIT), row >= 0);
}

void RedrawRow(const FillDialog& d, int row) {
    SendMessageW(d.list, LVM_REDRAWITEMS, static_cast<WPARAM>(row), row);
}

// ---- The preview --------------------------------------------------------------

void ShowPreview(FillDialog& d) {
    d.previewDue = false;
    KillTimer(d.dialog, kPreviewTimer);
    const int scrolled = html::HtmlViewScrollPos(d.preview);
    html::HtmlViewSetHtml(d.preview, FilledHtml(d));
    html::HtmlViewScrollTo(d.preview, scrolled);  // the seller keeps looking where they were
}

void PreviewSoon(FillDialog& d) {
    if (d.previewDue) return;
    d.previewDue = SetTimer(d.dialog, kPreviewTimer, kPreviewDelayMs, nullptr) != 0;
    if (!d.previewDue) ShowPreview(d);
}

// ---- Editing in place ---------------------------------------------------------

// The editor's text as a value: its CR LF as the LF the values hold.
std::string EditorValue(HWND editor) {
    std::string text = GetText(editor);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out += text[i] == '\r' ? '\n' : text[i];
    }
    return out;
}

std::string WithCrLf(std::string_view value) {
    std::string out;
    for (const char c : value) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

void SetValue(FillDialog& d, int row, std::string value) {
    const auto i = static_cast<std::size_t>(row);
    if (value == d.FieldAt(i).value) d.values[i].reset();
    else d.values[i] = std::move(value);
    RedrawRow(d, row);
    PreviewSoon(d);
}

LRESULT CALLBACK EditorProc(HWND editor, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
    const auto dialog = reinterpret_cast<HWND>(ref);
    const bool ctrl = GetKeyState(VK_CONTROL) < 0;
    switch (msg) {
    case WM_GETDLGCODE:
        return DefSubclassProc(editor, msg, wp, lp) | DLGC_WANTALLKEYS;
    case WM_KEYDOWN:
        if (wp == VK_RETURN && ctrl) {
            SendMessageW(editor, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(L"\r\n"));
            return 0;
        }
        if (wp == VK_RETURN) return PostMessageW(dialog, kMsgEndEdit, kKeep, reinterpret_cast<LPARAM>(editor)), 0;
        if (wp == VK_ESCAPE) return PostMessageW(dialog, kMsgEndEdit, kDiscard, reinterpret_cast<LPARAM>(editor)), 0;
        if (wp == VK_TAB) {
            const WPARAM how = GetKeyState(VK_SHIFT) < 0 ? kKeepAndPrevious : kKeepAndNext;
            return PostMessageW(dialog, kMsgEndEdit, how, reinterpret_cast<LPARAM>(editor)), 0;
        }
        break;
    case WM_CHAR:
        if (wp == '\r' || wp == '\n' || wp == VK_ESCAPE || wp == '\t') return 0;  // handled as keys above
        break;
    case WM_KILLFOCUS:
        PostMessageW(dialog, kMsgEndEdit, kKeep, reinterpret_cast<LPARAM>(editor));
        break;
    case WM_NCDESTROY:
        RemoveWindowSubclass(editor, &EditorProc, 0);
        break;
    }
    return DefSubclassProc(editor, msg, wp, lp);
}

void EndEditing(FillDialog& d, bool keep) {
    if (d.editing < 0) return;
    const int row = d.editing;
    const HWND editor = d.editor;
    d.editing = -1;
    d.editor = nullptr;
    if (keep) SetValue(d, row, EditorValue(editor));
    const bool hadFocus = GetFocus() == editor;
    DestroyWindow(editor);
    if (hadFocus) SetFocus(d.list);
    ShowNote(d);
}

void BeginEditing(FillDialog& d, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= d.set.fields.size()) return;
    EndEditing(d, true);
    SelectRow(d, row);
    RECT cell{};
    cell.top = kValueColumn;
    cell.left = LVIR_LABEL;
    if (!SendMessageW(d.list, LVM_GETSUBITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&cell))) return;
    RECT client{};
    GetClientRect(d.list, &client);
    const LONG rowHeight = cell.bottom - cell.top;
    cell.bottom = std::min(cell.top + rowHeight * kEditorRowsOfText, client.bottom);
    cell.top = std::max(cell.top, LONG{0});
    cell.right = std::min(cell.right, client.right);
    MapWindowPoints(d.list, d.dialog, reinterpret_cast<POINT*>(&cell), 2);
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(d.dialog, GWLP_HINSTANCE));
    d.editor = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_BORDER | ES_MULTILINE | ES_AUTOVSCROLL,
                               cell.left, cell.top, cell.right - cell.left, cell.bottom - cell.top, d.dialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_FILL_INPLACE)), instance, nullptr);
    if (!d.editor) return;
    d.editing = row;
    SendMessageW(d.editor, WM_SETFONT, SendMessageW(d.list, WM_GETFONT, 0, 0), FALSE);
    SetText(d.editor, WithCrLf(d.ValueOf(static_cast<std::size_t>(row))));
    SetWindowSubclass(d.editor, &EditorProc, 0, reinterpret_cast<DWORD_PTR>(d.dialog));
    SetWindowPos(d.editor, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SendMessageW(d.editor, EM_SETSEL, 0, -1);
    SetFocus(d.editor);
}

void OnEndEdit(FillDialog& d, WPARAM how, HWND editor) {
    if (editor != d.editor || d.editing < 0) return;  // already ended
    const int row = d.editing;
    EndEditing(d, how != kDiscard);
    const int count = static_cast<int>(d.set.fields.size());
    if (how == kKeepAndNext && row + 1 < count) BeginEditing(d, row + 1);
    if (how == kKeepAndPrevious && row > 0) BeginEditing(d, row - 1);
}

// A picture on this computer, chosen in the open dialog.
void BrowsePicture(FillDialog& d) {
    const int row = SelectedRow(d);
    if (row < 0 || d.FieldAt(static_cast<std::size_t>(row)).kind != FieldKind::Picture) return;
    EndEditing(d, true);
    FileQuestion question;
    question.title = L"选择本机图片";
    question.filter = std::wstring(L"图片 (*.jpg;*.jpeg;*.png;*.gif;*.bmp)\0*.jpg;*.jpeg;*.png;*.gif;*.bmp\0"
                                   L"所有文件 (*.*)\0*.*\0\0",
                                   70);
    question.extension = L"jpg";
    const std::optional<std::string> path = CurrentEnvironment().chooseFile(d.dialog, question);
    if (!path) return;
    SetValue(d, row, *path);
    ShowNote(d);
}

// ---- Layout ---------------------------------------------------------------------

void Layout(FillDialog& d) {
    EndEditing(d, true);
    RECT rc{};
    GetClientRect(d.dialog, &rc);
    const int m = d.Px(kMarginPx), gap = d.Px(kGapPx), bh = d.Px(kButtonHeightPx), bw = d.Px(kButtonWidthPx);
    const int width = rc.right, height = rc.bottom;
    const int previewWidth = std::min(d.Px(WidthPixels(d.input->width) + kPreviewFramePx), std::max(d.Px(240), width - 3 * m - d.Px(kFormMinWidthPx)));
    const int formWidth = width - 3 * m - previewWidth;
    const int bottom = height - m - bh;  // the 确定 and 取消 row
    const int label = d.Px(kLabelHeightPx), note = d.Px(kNoteHeightPx);

    PlaceControl(d.dialog, IDC_FILL_SUMMARY, m, m, formWidth, label);
    const int listTop = m + label;
    const int listBottom = bottom - gap - note - gap - bh - gap;
    PlaceControl(d.dialog, IDC_FILL_FIELDS, m, listTop, formWidth, listBottom - listTop);
    PlaceControl(d.dialog, IDC_FILL_EDIT, m, listBottom + gap, bw, bh);
    PlaceControl(d.dialog, IDC_FILL_BROWSE, m + bw + gap, listBottom + gap, d.Px(kWideButtonWidthPx), bh);
    PlaceControl(d.dialog, IDC_FILL_NOTE, m, listBottom + gap + bh + gap, formWidth, note);

    const int previewLeft = m + formWidth + m;
    PlaceControl(d.dialog, IDC_FILL_PREVIEW_LABEL, previewLeft, m, previewWidth, label);
    MoveWindow(d.preview, previewLeft, listTop, previewWidth, bottom - gap - listTop, TRUE);
    PlaceControl(d.dialog, IDCANCEL, width - m - bw, bottom, bw, bh);
    PlaceControl(d.dialog, IDOK, width - m - bw - gap - bw, bottom, bw, bh);

    // The value and the note share what the number and the kind leave.
    const int fixed = static_cast<int>(SendMessageW(d.list, LVM_GETCOLUMNWIDTH, kNumberColumn, 0) +
                                       SendMessageW(d.list, LVM_GETCOLUMNWIDTH, kKindColumn, 0));
    const int room = std::max(d.Px(240), formWidth - fixed - GetSystemMetrics(SM_CXVSCROLL) - d.Px(4));
    SendMessageW(d.list, LVM_SETCOLUMNWIDTH, kValueColumn, room / 2);
    SendMessageW(d.list, LVM_SETCOLUMNWIDTH, kNoteColumn, room - room / 2);
}

std::string Summary(const FillDialog& d) {
    if (d.set.fields.empty()) return "这个模块里没有可以填写的文字、图片或链接。";
    return "共 " + std::to_string(d.set.fields.size()) + " 项：文字 " + std::to_string(d.set.texts) + "，图片 " +
           std::to_string(d.set.pictures) + "，链接 " + std::to_string(d.set.links) + "。";
}

bool OnInitDialog(FillDialog& d, HWND dialog) {
    d.dialog = dialog;
    d.list = GetDlgItem(dialog, IDC_FILL_FIELDS);
    d.dpi = DpiOf(dialog);
    SetText(dialog, "填写内容 - 第 " + std::to_string(d.input->line + 1) + " 行：" + d.input->entry);

    fill::FindOptions options;
    options.measurePictures = d.input->html.size() <= kMeasureAtOnceBytes;
    d.set = fill::FindFields(d.input->html, options);
    d.measured = options.measurePictures;
    d.values.assign(d.set.fields.size(), std::nullopt);

    SendMessageW(d.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    AddListColumn(d.list, kNumberColumn, L"序号", d.Px(38));
    AddListColumn(d.list, kKindColumn, L"类型", d.Px(50));
    AddListColumn(d.list, kValueColumn, L"内容", d.Px(220));
    AddListColumn(d.list, kNoteColumn, L"说明", d.Px(260));
    SendMessageW(d.list, LVM_SETITEMCOUNT, d.set.fields.size(), LVSICF_NOINVALIDATEALL);
    SetText(GetDlgItem(dialog, IDC_FILL_SUMMARY), Summary(d));

    d.preview = html::CreateHtmlView(dialog, IDC_FILL_PREVIEW, 0, 0, 10, 10);
    SizeOverOwner(dialog, d.Px(kDialogWidthPx), d.Px(kDialogHeightPx));
    Layout(d);
    if (!d.set.fields.empty()) SelectRow(d, 0);
    ShowNote(d);
    SetFocus(d.list);
    // A large source shows its list first; its sizes and preview follow. (A
    // dialog box shows itself only once its queue is empty: show it now.)
    if (d.measured) ShowPreview(d);
    else {
        ShowWindow(dialog, SW_SHOWNORMAL);
        UpdateWindow(dialog);
        PostMessageW(dialog, kMsgMeasure, 0, 0);
        PreviewSoon(d);
    }
    return false;  // the focus is set
}

void OnNotify(FillDialog& d, const NMHDR& header) {
    if (header.idFrom != IDC_FILL_FIELDS) return;
    switch (header.code) {
    case LVN_GETDISPINFOW:
        OnGetDispInfo(d, *reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
        break;
    case NM_DBLCLK:
        BeginEditing(d, reinterpret_cast<const NMITEMACTIVATE&>(header).iItem);
        break;
    case LVN_KEYDOWN:
        if (reinterpret_cast<const NMLVKEYDOWN&>(header).wVKey == VK_F2) BeginEditing(d, SelectedRow(d));
        break;
    case LVN_ITEMCHANGED:
        ShowNote(d);
        break;
    case LVN_BEGINSCROLL:
        EndEditing(d, true);
        break;
    default: break;
    }
}

void Finish(FillDialog& d) {
    EndEditing(d, true);
    std::string filled = FilledHtml(d);
    if (filled != d.input->html) d.result = std::move(filled);
    EndDialog(d.dialog, d.result ? IDOK : IDCANCEL);
}

INT_PTR CALLBACK FillProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<FillDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        d = reinterpret_cast<FillDialog*>(lp);
        SetWindowLongPtrW(dialog, DWLP_USER, lp);
        return OnInitDialog(*d, dialog) ? TRUE : FALSE;
    }
    if (!d) return FALSE;
    switch (msg) {
    case WM_SIZE:
        Layout(*d);
        return TRUE;
    case WM_GETMINMAXINFO: {
        auto* info = reinterpret_cast<MINMAXINFO*>(lp);
        info->ptMinTrackSize = {d->Px(kDialogMinWidthPx), d->Px(kDialogMinHeightPx)};
        return TRUE;
    }
    case WM_NOTIFY:
        OnNotify(*d, *reinterpret_cast<const NMHDR*>(lp));
        return TRUE;
    case WM_TIMER:
        if (wp == kPreviewTimer) ShowPreview(*d);
        return TRUE;
    case kMsgEndEdit:
        OnEndEdit(*d, wp, reinterpret_cast<HWND>(lp));
        return TRUE;
    case kMsgMeasure:
        fill::MeasurePictures(d->input->html, d->set);
        d->measured = true;
        InvalidateRect(d->list, nullptr, FALSE);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wp)) {
        case IDC_FILL_INPLACE:
            if (HIWORD(wp) == EN_CHANGE && d->editing >= 0) {
                const auto i = static_cast<std::size_t>(d->editing);
                const std::string value = EditorValue(d->editor);
                if (value == d->FieldAt(i).value) d->values[i].reset();
                else d->values[i] = value;
                PreviewSoon(*d);
            }
            return TRUE;
        case IDC_FILL_EDIT:
            BeginEditing(*d, SelectedRow(*d));
            return TRUE;
        case IDC_FILL_BROWSE:
            BrowsePicture(*d);
            return TRUE;
        case IDOK:
            // Enter in the list edits the row rather than closing.
            if (GetKeyState(VK_RETURN) < 0 && GetFocus() == d->list && SelectedRow(*d) >= 0)
                BeginEditing(*d, SelectedRow(*d));
            else Finish(*d);
            return TRUE;
        case IDCANCEL:
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    case WM_DESTROY:
        KillTimer(dialog, kPreviewTimer);
        return FALSE;
    }
    return FALSE;
}

}  // namespace

std::optional<std::string> ShowFillDialog(HWND owner, const FillDialogInput& input) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(owner, GWLP_HINSTANCE));
    html::RegisterHtmlViewClass(instance);
    FillDialog d;
    d.input = &input;
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FILL), owner, &FillProc, reinterpret_cast<LPARAM>(&d));
    return std::move(d.result);
}

}  // namespace mojian
