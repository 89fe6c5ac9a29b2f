#include "app/dialogs/MobileDialog_win.h"

#include <commctrl.h>
#include <wincodec.h>

#include <algorithm>
#include <atomic>
#include <exception>
#include <initializer_list>
#include <iterator>
#include <thread>

#include "app/CommandIds.h"
#include "app/WinText_win.h"
#include "app/dialogs/DialogPlacement_win.h"
#include "app/dialogs/VirtualList_win.h"
#include "app/env/Environment.h"
#include "base/File.h"
#include "base/Scoped_win.h"
#include "mobile/MakeOptions.h"
#include "mobile/Pack.h"

namespace mojian {

namespace {

// Posted by the worker: wParam the stage, lParam the progress in thousandths.
constexpr UINT kMsgProgress = WM_APP + 50;
// Posted by the worker once its outcome is in place, as its last act.
constexpr UINT kMsgDone = WM_APP + 51;
// Greying the options and giving them back cost Wine 15-55 ms (ten
// skinned controls redrawn while the encoders take every core): one
// control a message, so that the window answers between them. wParam: the
// step (ShowWorkingStep).
constexpr UINT kMsgGreyOptions = WM_APP + 52;
constexpr UINT kMsgOptionsBack = WM_APP + 53;
// The outcome's text, after the rest of it: the text box takes Wine 12-17 ms.
constexpr UINT kMsgOutcomeText = WM_APP + 54;
// The pieces' rows come into the list a few per message, each painted in
// its own: painting all of them at once held the window 21 ms under Wine.
constexpr UINT kMsgMoreRows = WM_APP + 55;
constexpr std::size_t kRowsPerStep = 2;


// The contact sheet scaled to its box, ready to draw.
struct SheetPicture {
    Bitmap bitmap;
    SIZE size{};
};

// The dialog's state, owned by ShowMobileDialog's frame for the dialog's
// whole life. The worker thread reads `request`, `input` and `sheetBox`,
// writes `outcome` and `made` once, reads `cancel` and posts messages;
// nothing else. The dialog reads `outcome` and `made` only after joining
// it, and never ends while it runs.
struct MobileDialog {
    const MobileDialogInput* input = nullptr;
    HWND dialog = nullptr, list = nullptr, sheetView = nullptr;
    mobile::MakeRequest request;  // the run going on, or the last one
    std::thread worker;
    std::atomic<bool> cancel{false};
    mobile::MakeOutcome outcome;
    std::vector<mobile::PieceRow> pieces;  // as the list shows them
    std::size_t listed = 0;                // of them, the rows the list has been given
    int shownStage = -1;  // the stage the progress line names; its text is redrawn only when it changes
    SIZE sheetBox{};    // where the sheet is shown, measured before the run
    SheetPicture made;  // the worker's decoding of the run's sheet
    Bitmap sheet;  // the contact sheet scaled to its box; none before a run
    SIZE sheetSize{};

    bool Working() const { return worker.joinable(); }
};

HWND Item(const MobileDialog& d, int id) { return GetDlgItem(d.dialog, id); }

int Ask(const MobileDialog& d, const std::string& text, UINT flags) {
    return CurrentEnvironment().messageBox(d.dialog, Wide(text), kMobileTitle, flags);
}

void SetItemText(const MobileDialog& d, int id, const std::string& text) {
    SetWindowTextW(Item(d, id), Wide(text).c_str());
}

// While it works only 取消 and 关闭 answer; the options wait for the next
// run. Step 0 sets 取消 (and 打开文件夹 while working), step k the k-th
// option: 生成 last, so that it comes back only once everything else has.
constexpr int kOptionIds[] = {IDC_MOBILE_W750, IDC_MOBILE_W1242, IDC_MOBILE_AUTO,   IDC_MOBILE_JPEG, IDC_MOBILE_PNG,
                              IDC_MOBILE_HEIGHT, IDC_MOBILE_FOLDER, IDC_MOBILE_BROWSE, IDC_MOBILE_MAKE};
constexpr int kWorkingSteps = 1 + static_cast<int>(std::size(kOptionIds));

void ShowWorkingStep(MobileDialog& d, bool working, int step) {
    if (step > 0) {
        EnableWindow(Item(d, kOptionIds[step - 1]), !working);
        return;
    }
    EnableWindow(Item(d, IDC_MOBILE_STOP), working);
    if (working) EnableWindow(Item(d, IDC_MOBILE_OPEN), FALSE);
}

void ShowWorking(MobileDialog& d, bool working) {
    for (int step = 0; step < kWorkingSteps; ++step) ShowWorkingStep(d, working, step);
}

// The contact sheet decoded with WIC and scaled to fit `box`, keeping its
// shape. On the worker: decoding a sheet of a few megapixels would hold the
// window for a fifth of a second.
SheetPicture LoadSheet(const std::string& file, SIZE box) {
    SheetPicture out;
    const HRESULT joined = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    IWICBitmapScaler* scaler = nullptr;
    IWICFormatConverter* converter = nullptr;
    UINT w = 0, h = 0;
    if (SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory))) &&
        SUCCEEDED(factory->CreateDecoderFromFilename(Wide(file).c_str(), nullptr, GENERIC_READ,
                                                     WICDecodeMetadataCacheOnDemand, &decoder)) &&
        SUCCEEDED(decoder->GetFrame(0, &frame)) && SUCCEEDED(frame->GetSize(&w, &h)) && w > 0 && h > 0 &&
        box.cx > 0 && box.cy > 0) {
        const double scale = std::min({static_cast<double>(box.cx) / w, static_cast<double>(box.cy) / h, 1.0});
        const UINT sw = std::max(1u, static_cast<UINT>(w * scale)), sh = std::max(1u, static_cast<UINT>(h * scale));
        if (SUCCEEDED(factory->CreateBitmapScaler(&scaler)) &&
            SUCCEEDED(scaler->Initialize(frame, sw, sh, WICBitmapInterpolationModeFant)) &&
            SUCCEEDED(factory->CreateFormatConverter(&converter)) &&
            SUCCEEDED(converter->Initialize(scaler, GUID_WICPixelFormat32bppBGR, WICBitmapDitherTypeNone, nullptr, 0.0,
                                            WICBitmapPaletteTypeCustom))) {
            BITMAPINFO info{};
            info.bmiHeader.biSize = sizeof info.bmiHeader;
            info.bmiHeader.biWidth = static_cast<LONG>(sw);
            info.bmiHeader.biHeight = -static_cast<LONG>(sh);  // top-down
            info.bmiHeader.biPlanes = 1;
            info.bmiHeader.biBitCount = 32;
            info.bmiHeader.biCompression = BI_RGB;
            void* bits = nullptr;
            Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
            if (bitmap && SUCCEEDED(converter->CopyPixels(nullptr, sw * 4, sw * sh * 4, static_cast<BYTE*>(bits)))) {
                out.bitmap = std::move(bitmap);
                out.size = {static_cast<LONG>(sw), static_cast<LONG>(sh)};
            }
        }
    }
    for (IUnknown* p : std::initializer_list<IUnknown*>{converter, scaler, frame, decoder, factory})
        if (p) p->Release();
    if (SUCCEEDED(joined)) CoUninitialize();
    return out;
}

void DrawSheet(const MobileDialog& d, const DRAWITEMSTRUCT& di) {
    const RECT& r = di.rcItem;
    FillRect(di.hDC, &r, GetSysColorBrush(COLOR_BTNFACE));
    if (!d.sheet) return;
    OwnedDc memory(CreateCompatibleDC(di.hDC));
    const HGDIOBJ old = SelectObject(memory.get(), d.sheet.get());
    const int x = r.left + (r.right - r.left - d.sheetSize.cx) / 2;
    const int y = r.top + (r.bottom - r.top - d.sheetSize.cy) / 2;
    BitBlt(di.hDC, x, y, d.sheetSize.cx, d.sheetSize.cy, memory.get(), 0, 0, SRCCOPY);
    SelectObject(memory.get(), old);
}

// Only what shows something is cleared: at the click on 生成, an edit box
// given even empty text held the window 8-13 ms under Wine.
void ClearResult(MobileDialog& d) {
    if (!d.pieces.empty()) {
        d.pieces.clear();
        d.listed = 0;
        SendMessageW(d.list, LVM_SETITEMCOUNT, 0, 0);
    }
    if (GetWindowTextLengthW(Item(d, IDC_MOBILE_RESULT)) > 0) SetItemText(d, IDC_MOBILE_RESULT, {});
    d.sheet.reset();
    InvalidateRect(d.sheetView, nullptr, TRUE);
}

void Start(MobileDialog& d) {
    ClearResult(d);
    d.cancel = false;
    d.request.cancel = &d.cancel;
    // Posted only when the shown figure changes: a maker reporting every
    // row must not flood the dialog's queue.
    d.request.progress = [dialog = d.dialog, stage = -1, shown = -1](mobile::MakeStage now, double fraction) mutable {
        const int permille = mobile::OverallProgress(now, fraction);
        if (static_cast<int>(now) == stage && permille == shown) return;
        stage = static_cast<int>(now);
        shown = permille;
        PostMessageW(dialog, kMsgProgress, static_cast<WPARAM>(now), permille);
    };
    SendMessageW(Item(d, IDC_MOBILE_PROGRESS), PBM_SETPOS, 0, 0);
    SetItemText(d, IDC_MOBILE_STAGE, mobile::StageText(mobile::MakeStage::Pictures) + "…");
    d.shownStage = static_cast<int>(mobile::MakeStage::Pictures);
    // Posted before the worker starts, so it always comes before its end.
    PostMessageW(d.dialog, kMsgGreyOptions, 0, 0);
    RECT box{};
    GetClientRect(d.sheetView, &box);
    d.sheetBox = {box.right - 2, box.bottom - 2};
    d.made = {};
    d.worker = std::thread([&d] {
        // Below the window's thread, and so are the encoders it starts: with
        // every core busy encoding, the window still answers at once.
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
        try {
            d.outcome = d.input->make(d.request);
            const mobile::MakeOutcome& o = d.outcome;
            if (o.pack.ok && !o.contactSheet.empty())
                d.made = LoadSheet(mobile::IsFullFolderPath(o.contactSheet) ? o.contactSheet
                                                                             : JoinPath(o.pack.folder, o.contactSheet),
                                   d.sheetBox);
        } catch (const std::exception& e) {
            d.outcome = {};
            d.outcome.pack.errors.push_back(std::string("生成时出错：") + e.what());
        } catch (...) {
            d.outcome = {};
            d.outcome.pack.errors.push_back("生成时出错。");
        }
        PostMessageW(d.dialog, kMsgDone, 0, 0);
    });
}

// 生成: the options checked, the existing folder asked about, then the run.
void Make(MobileDialog& d) {
    if (d.Working()) return;  // Enter reaches the default button even while it is greyed
    mobile::TypedOptions typed;
    typed.outputWidth = IsDlgButtonChecked(d.dialog, IDC_MOBILE_W1242) == BST_CHECKED ? 1242 : 750;
    typed.format = IsDlgButtonChecked(d.dialog, IDC_MOBILE_JPEG) == BST_CHECKED  ? mobile::FormatChoice::Jpeg
                   : IsDlgButtonChecked(d.dialog, IDC_MOBILE_PNG) == BST_CHECKED ? mobile::FormatChoice::Png
                                                                                 : mobile::FormatChoice::Auto;
    typed.maxHeight = GetText(Item(d, IDC_MOBILE_HEIGHT));
    typed.folder = GetText(Item(d, IDC_MOBILE_FOLDER));
    const mobile::CheckedOptions checked = mobile::CheckOptions(typed, mobile::MobileRules::BuiltIn());
    if (!checked.error.empty()) {
        Ask(d, checked.error, MB_OK | MB_ICONEXCLAMATION);
        const HWND box = Item(d, checked.field == mobile::OptionField::MaxHeight ? IDC_MOBILE_HEIGHT : IDC_MOBILE_FOLDER);
        SetFocus(box);
        SendMessageW(box, EM_SETSEL, 0, -1);
        return;
    }
    mobile::MakeRequest& r = d.request;
    r = {};
    r.pageHtml = d.input->pageHtml;
    r.lineOffsets = d.input->lineOffsets;
    r.column = d.input->column;
    r.outputWidth = typed.outputWidth;
    r.format = typed.format;
    r.maxHeight = checked.maxHeight;
    r.folder = checked.folder;
    if (FolderExists(r.folder) || FileSize(r.folder)) {
        if (Ask(d, mobile::OverwriteQuestion(r.folder), MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
        r.overwrite = true;
    }
    Start(d);
}

void ShowOutcome(MobileDialog& d) {
    const mobile::MakeOutcome& o = d.outcome;
    const mobile::PackResult& pack = o.pack;
    SetItemText(d, IDC_MOBILE_STAGE, pack.ok ? "完成" : pack.cancelled ? "已取消" : "没有生成");
    SendMessageW(Item(d, IDC_MOBILE_PROGRESS), PBM_SETPOS, pack.ok ? 1000 : 0, 0);
    // The list asks for what it shows: a row at a time cost Wine a
    // millisecond a cell.
    d.pieces = mobile::PieceRows(pack);  // the list was emptied when the run started
    PostMessageW(d.dialog, kMsgMoreRows, 0, 0);
    if (pack.ok && d.made.bitmap) {
        d.sheet = std::move(d.made.bitmap);
        d.sheetSize = d.made.size;
        InvalidateRect(d.sheetView, nullptr, TRUE);
    }
    EnableWindow(Item(d, IDC_MOBILE_OPEN), pack.ok);
}

// Each step is two messages, the new rows and then their paint: in one,
// they held the window 15 ms under Wine where the scroll bar comes.
void ListMoreRows(MobileDialog& d, bool paint) {
    if (paint) {
        UpdateWindow(d.list);
        if (d.listed < d.pieces.size()) PostMessageW(d.dialog, kMsgMoreRows, 0, 0);
        return;
    }
    if (d.listed >= d.pieces.size()) return;
    d.listed = std::min(d.pieces.size(), d.listed + kRowsPerStep);
    // Rows past the list's height are not painted, but each count past it
    // moves the scroll bar, which costs Wine 7-12 ms: they come in one step.
    const auto shown = static_cast<std::size_t>(std::max<LRESULT>(0, SendMessageW(d.list, LVM_GETCOUNTPERPAGE, 0, 0)));
    if (d.listed > shown) d.listed = d.pieces.size();
    SendMessageW(d.list, LVM_SETITEMCOUNT, d.listed, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
    PostMessageW(d.dialog, kMsgMoreRows, 1, 0);  // before the paint, which waits for an empty queue
}

void OnGetDispInfo(const MobileDialog& d, NMLVDISPINFOW& info) {
    LVITEMW& item = info.item;
    if (!(item.mask & LVIF_TEXT) || item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= d.pieces.size()) return;
    const mobile::PieceRow& row = d.pieces[static_cast<std::size_t>(item.iItem)];
    const std::string* cells[] = {&row.file, &row.size, &row.bytes, &row.areas};
    if (item.iSubItem >= 0 && item.iSubItem < 4) SetCellText(item, *cells[item.iSubItem]);
}

void Done(MobileDialog& d) {
    if (!d.Working()) return;
    d.worker.join();
    const mobile::MakeOutcome& o = d.outcome;
    if (o.stoppedForPictures && !o.failedPictures.empty() && !d.cancel) {
        if (Ask(d, mobile::FailedPicturesQuestion(o.failedPictures), MB_YESNO | MB_ICONWARNING) == IDYES) {
            d.request.goOnWithBrokenPictures = true;
            Start(d);
            return;
        }
    }
    ShowOutcome(d);
    PostMessageW(d.dialog, kMsgOutcomeText, 0, 0);
    PostMessageW(d.dialog, kMsgOptionsBack, 0, 0);
}

// Closing while it works cancels and waits: the worker writes into this
// dialog's state, which goes when the dialog does.
void Close(MobileDialog& d) {
    if (d.Working()) {
        d.cancel = true;
        d.worker.join();
    }
    EndDialog(d.dialog, IDCANCEL);
}

// The folder picked is where the pictures' folder goes, never the folder
// itself: replacing it would take whatever else the seller keeps there.
void Browse(MobileDialog& d) {
    const std::string typed = GetText(Item(d, IDC_MOBILE_FOLDER));
    const std::string start = typed.empty() ? d.input->projectPath : typed;
    const auto parent = CurrentEnvironment().chooseFolder(d.dialog, L"选择手机详情放在哪个文件夹里", start);
    if (!parent) return;
    const std::string suggested = mobile::DefaultFolder(d.input->projectPath);
    const auto slash = suggested.find_last_of("\\/");
    const std::string leaf = suggested.empty() ? "手机详情" : suggested.substr(slash == std::string::npos ? 0 : slash + 1);
    SetItemText(d, IDC_MOBILE_FOLDER, JoinPath(*parent, leaf));
}

void Init(MobileDialog& d) {
    UseFont(d.dialog, d.input->font);
    d.list = Item(d, IDC_MOBILE_PIECES);
    d.sheetView = Item(d, IDC_MOBILE_SHEET);
    CheckRadioButton(d.dialog, IDC_MOBILE_W750, IDC_MOBILE_W1242, IDC_MOBILE_W750);
    CheckRadioButton(d.dialog, IDC_MOBILE_AUTO, IDC_MOBILE_PNG, IDC_MOBILE_AUTO);
    const int limit = mobile::MobileRules::BuiltIn().maxHeight;
    SetItemText(d, IDC_MOBILE_HEIGHT, std::to_string(limit));
    SendMessageW(Item(d, IDC_MOBILE_HEIGHT), EM_LIMITTEXT, 5, 0);
    SetItemText(d, IDC_MOBILE_HEIGHT_NOTE, "像素（" + std::to_string(mobile::kLowestMaxHeight) + " 到 " +
                                               std::to_string(limit) + "，图片从这里切开）");
    SetItemText(d, IDC_MOBILE_COLUMN, std::string("页面栏宽 ") + std::to_string(WidthPixels(d.input->column)) +
                                          (d.input->column == DescriptionWidth::Tmall ? "（天猫）" : "（淘宝）"));
    SetItemText(d, IDC_MOBILE_FOLDER, mobile::DefaultFolder(d.input->projectPath));
    SendMessageW(Item(d, IDC_MOBILE_PROGRESS), PBM_SETRANGE32, 0, 1000);
    SendMessageW(d.list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
    RECT box{};
    GetClientRect(d.list, &box);
    const int width = box.right - GetSystemMetrics(SM_CXVSCROLL);
    const wchar_t* names[] = {L"文件", L"宽 × 高", L"大小", L"热区"};
    const int shares[] = {25, 35, 22, 18};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
        column.fmt = i == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT;
        column.cx = width * shares[i] / 100;
        column.pszText = const_cast<wchar_t*>(names[i]);
        SendMessageW(d.list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    ShowWorking(d, false);
    EnableWindow(Item(d, IDC_MOBILE_OPEN), FALSE);
    CentreOnOwner(d.dialog);
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* d = reinterpret_cast<MobileDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG:
        d = reinterpret_cast<MobileDialog*>(lp);
        SetWindowLongPtrW(hwnd, DWLP_USER, lp);
        d->dialog = hwnd;
        Init(*d);
        return TRUE;
    case WM_COMMAND:
        if (!d) return FALSE;
        switch (LOWORD(wp)) {
        case IDC_MOBILE_MAKE: Make(*d); return TRUE;
        case IDC_MOBILE_STOP:
            if (!d->Working()) return TRUE;  // the run ended; its options come back next
            d->cancel = true;
            SetItemText(*d, IDC_MOBILE_STAGE, "正在取消…");
            EnableWindow(Item(*d, IDC_MOBILE_STOP), FALSE);
            return TRUE;
        case IDC_MOBILE_BROWSE: Browse(*d); return TRUE;
        case IDC_MOBILE_OPEN: CurrentEnvironment().openFolder(d->outcome.pack.folder); return TRUE;
        case IDCANCEL: Close(*d); return TRUE;
        default: return FALSE;
        }
    case WM_CLOSE:
        if (d) Close(*d);
        return TRUE;
    case kMsgProgress:
        if (d && d->Working() && !d->cancel) {
            SendMessageW(Item(*d, IDC_MOBILE_PROGRESS), PBM_SETPOS, static_cast<WPARAM>(lp), 0);
            if (static_cast<int>(wp) != d->shownStage) {
                d->shownStage = static_cast<int>(wp);
                SetItemText(*d, IDC_MOBILE_STAGE, mobile::StageText(static_cast<mobile::MakeStage>(wp)) + "…");
            }
        }
        return TRUE;
    case kMsgDone:
        if (d) Done(*d);
        return TRUE;
    case kMsgMoreRows:
        if (d && !d->Working()) ListMoreRows(*d, wp != 0);
        return TRUE;
    case kMsgOutcomeText:
        if (d && !d->Working()) SetItemText(*d, IDC_MOBILE_RESULT, mobile::OutcomeText(d->outcome));
        return TRUE;
    case kMsgGreyOptions:
    case kMsgOptionsBack: {
        // A run that ended, or a new one, overtakes the steps left.
        const bool working = msg == kMsgGreyOptions;
        if (!d || d->Working() != working) return TRUE;
        const int step = static_cast<int>(wp);
        if (step < 0 || step >= kWorkingSteps) return TRUE;
        ShowWorkingStep(*d, working, step);
        if (step + 1 < kWorkingSteps) PostMessageW(hwnd, msg, static_cast<WPARAM>(step + 1), 0);
        return TRUE;
    }
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lp);
        if (!d || header->idFrom != IDC_MOBILE_PIECES || header->code != LVN_GETDISPINFOW) return FALSE;
        OnGetDispInfo(*d, *reinterpret_cast<NMLVDISPINFOW*>(lp));
        return TRUE;
    }
    case WM_DRAWITEM:
        if (d && wp == IDC_MOBILE_SHEET) {
            DrawSheet(*d, *reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
            return TRUE;
        }
        return FALSE;
    default: return FALSE;
    }
}

}  // namespace

void ShowMobileDialog(HWND owner, const MobileDialogInput& input) {
    MobileDialog d;
    d.input = &input;
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_MOBILE), owner, &DialogProc,
                    reinterpret_cast<LPARAM>(&d));
    // Should the dialog fail to be made, or end another way, the worker still goes first.
    if (d.worker.joinable()) {
        d.cancel = true;
        d.worker.join();
    }
}

}  // namespace mojian
