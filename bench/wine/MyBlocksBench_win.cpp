#include "bench/wine/MyBlocksBench_win.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/Form1_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "myblocks/MyBlocks.h"
#include "tests/app/DialogScript_win.h"
#include "tests/app/ScriptedEnvironment_win.h"

namespace mojian::bench {

namespace {

using testing::DialogScript;

constexpr int kBlocks = 1000;

// Sellers' blocks are a built-in block or two filled in: 2 to 20 KB each.
bool SeedLibrary(myblocks::MyBlocks& store) {
    for (int i = 0; i < kBlocks; ++i) {
        const int kind = i % kKindCount, style = (i / kKindCount) % kStyleCounts[static_cast<std::size_t>(kind)];
        std::string html = BuiltInLibrary().Get(kind, style);
        if (i % 3 == 0) html += BuiltInLibrary().Get((kind + 1) % kKindCount, 0);
        const std::string name = "店铺模块 " + std::to_string(i) + " " + EntryName(kind, style);
        if (!store.Save(name, EntryName(kind, style), html, true).empty()) return false;
    }
    return true;
}

// The floor under the dialog: a window of the same make (the dialog class,
// owned by the form and so skinned as ours is, a label, a list of 1,000 rows
// asked for their text, six buttons, in the form's font) shown and painted,
// with none of our work in it.
INT_PTR CALLBACK BareProc(HWND, UINT msg, WPARAM, LPARAM lp) {
    if (msg != WM_NOTIFY || reinterpret_cast<const NMHDR*>(lp)->code != LVN_GETDISPINFOW) return FALSE;
    LVITEMW& item = reinterpret_cast<NMLVDISPINFOW*>(lp)->item;
    static const wchar_t* const kCells[] = {L"店铺模块 12 售后说明-样式1", L"2026-12-10 03:39", L"售后说明-样式1", L"5 KB"};
    if ((item.mask & LVIF_TEXT) && item.iSubItem >= 0 && item.iSubItem < 4)
        lstrcpynW(item.pszText, kCells[item.iSubItem], item.cchTextMax);
    return TRUE;
}

double ShowBareWindow(HWND form, const RECT& frame, HFONT font) {
    const double start = NowMs();
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    const HWND bare = CreateWindowExW(WS_EX_DLGMODALFRAME, L"#32770", L"我的模块",
                                      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN, frame.left,
                                      frame.top, frame.right - frame.left, frame.bottom - frame.top, form, nullptr,
                                      instance, nullptr);
    if (!bare) return -1;
    SetWindowLongPtrW(bare, DWLP_DLGPROC, reinterpret_cast<LONG_PTR>(&BareProc));
    const auto child = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h) {
        const HWND c = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, bare, nullptr, instance, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return c;
    };
    child(L"STATIC", L"共 1000 个。双击或按“添加到页面”加到排版的末尾。", SS_NOPREFIX, 8, 8, 600, 20);
    const HWND list = child(WC_LISTVIEWW, L"", LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS | WS_BORDER | WS_TABSTOP,
                            8, 28, 390, 520);
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER | LVS_EX_LABELTIP);
    const wchar_t* const headings[] = {L"名称", L"保存时间", L"来自", L"大小"};
    for (int i = 0; i < 4; ++i) {
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = i == 3 ? 56 : 100;
        column.pszText = const_cast<wchar_t*>(headings[i]);
        SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    SendMessageW(list, LVM_SETITEMCOUNT, kBlocks, 0);
    const wchar_t* const buttons[] = {L"添加到页面(&A)", L"重命名(&R)…", L"删除(&D)", L"导出(&E)…", L"导入(&I)…", L"关闭"};
    for (int i = 0; i < 6; ++i)
        child(L"BUTTON", buttons[i], (i == 0 ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP, 8 + (i % 3) * 128,
              556 + (i / 3) * 32, 122, 26);
    ShowWindow(bare, SW_SHOWNORMAL);
    SetFocus(list);
    RedrawWindow(bare, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    const double shown = NowMs() - start;
    DestroyWindow(bare);
    return shown;
}

}  // namespace

void MeasureMyBlocks(Rows& rows, HWND form) {
    testing::ScriptedEnvironment env;
    myblocks::MyBlocks store(myblocks::UserBlocksFolder());
    if (!SeedLibrary(store)) return rows.Failure("我的模块 with 1,000 blocks", "could not be saved");

    std::vector<double> lists;
    for (int run = 0; run < 5; ++run) {
        const double start = NowMs();
        if (store.List().size() != kBlocks) return rows.Failure("我的模块 with 1,000 blocks", "not listed");
        lists.push_back(NowMs() - start);
    }
    // Where blocks are chosen: 我的模块 beside the kinds, from another kind.
    std::vector<double> kinds;
    const HWND mineOption = Form1Control(form, form1::kMineOption), mineList = Form1Control(form, form1::kMineList);
    for (int run = 0; run < 5; ++run) {
        SendMessageW(Form1Control(form, form1::kKindOptions), BM_CLICK, 0, 0);
        DialogScript::Pump();
        const double start = NowMs();
        SendMessageW(mineOption, BM_CLICK, 0, 0);
        RedrawWindow(form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
        kinds.push_back(NowMs() - start);
        if (DialogScript::Rows(mineList) != kBlocks) return rows.Failure("我的模块 with 1,000 blocks", "not listed in the window");
    }
    rows.Time("我的模块 with 1,000 blocks: chosen beside the kinds, all of them listed and the first previewed, painted",
              kinds, 100);
    std::vector<double> chosenInWindow;
    for (int i = 1; i <= 30; ++i) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        const double start = NowMs();
        SendMessageW(mineList, LVM_SETITEMSTATE, static_cast<WPARAM>(i * 37 % kBlocks), reinterpret_cast<LPARAM>(&state));
        RedrawWindow(form, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
        chosenInWindow.push_back(NowMs() - start);
    }
    rows.Time("  choosing one of them there: read, parsed, laid out and painted in the window's preview", chosenInWindow, 16);
    SendMessageW(Form1Control(form, form1::kKindOptions), BM_CLICK, 0, 0);
    DialogScript::Pump();

    std::vector<double> opens, choices;
    int listed = 0;
    RECT frame{};
    HFONT font = nullptr;
    for (int run = 0; run < 5; ++run) {
        double shown = 0;
        DialogScript script(
            [&](HWND dialog) {
                RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                GdiFlush();
                shown = NowMs();
                const HWND list = GetDlgItem(dialog, IDC_MB_LIST);
                listed = DialogScript::Rows(list);
                GetWindowRect(dialog, &frame);
                font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
                if (run > 0) return;
                DialogScript::PumpFor(50);  // the first preview, which waits for the dialog to show
                // Choosing a block: the click's selection until the preview is laid out.
                for (int i = 1; i <= 30; ++i) {
                    LVITEMW state{};
                    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
                    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
                    state.state = LVIS_SELECTED | LVIS_FOCUSED;
                    const double start = NowMs();
                    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(i * 31 % kBlocks), reinterpret_cast<LPARAM>(&state));
                    choices.push_back(NowMs() - start);
                }
            },
            true);
        const double start = NowMs();
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(IDM_MYBLOCKS, 0), 0);
        if (!script.Ran() || listed != kBlocks) return rows.Failure("我的模块 with 1,000 blocks", "not listed");
        opens.push_back(shown - start);
    }
    // The dialog that manages them is a new window each time, and a new
    // window alone takes Wine about as long (the row below).
    rows.Add({"  the dialog that manages them shown and painted with all of them listed (median of 5, worst " +
                  Fixed(Max(opens), 1) + " ms)",
              Fixed(Median(opens), 2) + " ms", "-", "-", "-", true});
    std::vector<double> bare;
    for (int run = 0; run < 5; ++run) {
        const double ms = ShowBareWindow(form, frame, font);
        if (ms < 0) return rows.Failure("我的模块's bare window", "could not be made");
        bare.push_back(ms);
        DialogScript::Pump();
    }
    rows.Add({"  a bare window of the same make (no list read, no preview, no layout) shown and painted (median of 5)",
              Fixed(Median(bare), 2) + " ms", "-", "-", "-", true});
    rows.Time("  the list of them read from the folder (the first read builds its cache)", lists, 100);
    rows.Time("  choosing one of the 1,000: read, parsed and laid out in the preview", choices, 16);
}

}  // namespace mojian::bench
