#include "bench/wine/MyBlocksBench_win.h"

#include <commctrl.h>

#include <string>
#include <vector>

#include "app/CommandIds.h"
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
    std::vector<double> opens, choices;
    int listed = 0;
    for (int run = 0; run < 5; ++run) {
        double shown = 0;
        DialogScript script(
            [&](HWND dialog) {
                RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                GdiFlush();
                shown = NowMs();
                const HWND list = GetDlgItem(dialog, IDC_MB_LIST);
                listed = DialogScript::Rows(list);
                if (run > 0) return;
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
    rows.Time("我的模块 with 1,000 blocks: the dialog shown and painted with all of them listed", opens, 100);
    rows.Time("  the list of them read from the folder (the first read builds its cache)", lists, 100);
    rows.Time("  choosing one of the 1,000: read, parsed and laid out in the preview", choices, 16);
}

}  // namespace mojian::bench
