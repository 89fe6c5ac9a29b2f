#include "bench/wine/FillBench_win.h"

#include <string>
#include <vector>

#include "app/CommandIds.h"
#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/PageData.h"
#include "tests/app/DialogScript_win.h"
#include "tests/app/ScriptedEnvironment_win.h"

namespace mojian::bench {

namespace {

using testing::DialogScript;

constexpr int kRuns = 9;

// From the command to the dialog shown and painted, its list and preview
// filled: `runs` times on line 0 of the page.
std::vector<double> OpenFillDialog(HWND form, int runs, int* fields) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        double start = 0, shown = 0;
        DialogScript script(
            [&](HWND dialog) {
                RedrawWindow(dialog, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
                GdiFlush();
                shown = NowMs();
                *fields = DialogScript::Rows(GetDlgItem(dialog, IDC_FILL_FIELDS));
                DialogScript::Press(dialog, IDCANCEL);
            },
            true);
        start = NowMs();
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(IDM_FILL, 0), 0);
        if (!script.Ran()) return {};
        times.push_back(shown - start);
    }
    return times;
}

void SelectFirstLine(HWND form) {
    const HWND list = Form1Control(form, form1::kList);
    SendMessageW(list, LB_SETCURSEL, 0, 0);
    SendMessageW(form, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    DialogScript::Pump();
}

}  // namespace

void MeasureFillDialogs(Rows& rows, HWND form) {
    testing::ScriptedEnvironment env;
    // The largest of the ninety blocks.
    int kind = 0, style = 0;
    for (int k = 0; k < kKindCount; ++k)
        for (int s = 0; s < kStyleCounts[static_cast<std::size_t>(k)]; ++s)
            if (BuiltInLibrary().Get(k, s).size() > BuiltInLibrary().Get(kind, style).size()) kind = k, style = s;
    PageData page;
    page.lines.push_back(EntryName(kind, style));
    Form1ReplacePage(form, page);
    SelectFirstLine(form);
    int fields = 0;
    const std::vector<double> block = OpenFillDialog(form, kRuns, &fields);
    if (block.empty()) return rows.Failure("填写内容 on the largest block", "no dialog");
    rows.Time("填写内容 opens on the largest block (" + EntryName(kind, style) + ", " + std::to_string(fields) +
                  " fields), shown and painted",
              block, 100);

    // A megabyte of custom source: its list and preview come first, the
    // sizes of its pictures right after.
    std::string source;
    for (int n = 0; source.size() < (1u << 20); ++n)
        source += "<p>第" + std::to_string(n) + "段 <a href=\"https://shop.taobao.com/" + std::to_string(n) +
                  "\">进店</a><img src=\"https://img.alicdn.com/" + std::to_string(n) + ".jpg\" width=\"50%\"></p>\r\n";
    page = {};
    page.lines.push_back(CustomEntryName(1));
    page.customSources[1] = source;
    Form1ReplacePage(form, page);
    SelectFirstLine(form);
    const std::vector<double> large = OpenFillDialog(form, 3, &fields);
    if (large.empty()) return rows.Failure("填写内容 on a megabyte of custom source", "no dialog");
    const double median = Median(large);
    rows.Add({"  填写内容 on a megabyte of custom source (" + std::to_string(fields) +
                  " fields), shown with its sizes measured (median of 3)",
              Fixed(median, 1) + " ms", "-", "-", "-", true});

    // Find and replace of a link across 1,000 lines, from the button to the
    // page reflected (the count's question answered at once).
    page = {};
    for (int i = 0; i < 1000; ++i) {
        int k = 0, s = i % kBuiltInBlockCount;
        while (s >= kStyleCounts[static_cast<std::size_t>(k)]) s -= kStyleCounts[static_cast<std::size_t>(k++)];
        page.lines.push_back(i % 10 == 9 ? CustomEntryName(i / 10 + 1) : EntryName(k, s));
        if (i % 10 == 9)
            page.customSources[i / 10 + 1] = "<p><a href=\"https://oldshop.taobao.com/\">进店</a> 墨笺 " + std::to_string(i) +
                                             " <img src=\"https://img.alicdn.com/" + std::to_string(i) + ".jpg\"></p>";
    }
    std::vector<double> replaces;
    std::size_t boxes = 0;
    for (int run = 0; run < kRuns; ++run) {
        Form1ReplacePage(form, page);
        DialogScript::Pump();
        double took = 0;
        DialogScript script([&](HWND dialog) {
            CheckRadioButton(dialog, IDC_FR_TEXT, IDC_FR_LINK, IDC_FR_LINK);
            SetText(GetDlgItem(dialog, IDC_FR_FIND), "https://oldshop.taobao.com/");
            SetText(GetDlgItem(dialog, IDC_FR_REPLACE), "https://xiaodian.taobao.com/");
            const double start = NowMs();
            DialogScript::Press(dialog, IDC_FR_REPLACEALL);
            took = NowMs() - start;
            DialogScript::Press(dialog, IDCANCEL);
        });
        boxes = env.boxes.size();
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(IDM_FINDREPLACE, 0), 0);
        if (env.boxes.size() != boxes + 2 || env.boxes.back().text.rfind("已替换", 0) != 0)
            return rows.Failure("find and replace across 1,000 lines", "not replaced");
        replaces.push_back(took);
    }
    rows.Time("查找和替换 of a link across 1,000 lines (" + env.boxes.back().text.substr(0, env.boxes.back().text.find("，")) +
                  "), found, replaced and reflected",
              replaces, 200);
}

}  // namespace mojian::bench
