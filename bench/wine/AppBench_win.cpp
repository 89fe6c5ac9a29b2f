// Times the real program under Wine with QueryPerformanceCounter: its
// start-up and memory next to a minimal Win32 program's, started in the same
// run, and the user's actions on the real window in this process. Writes one
// row per figure (figure, value, bound, ratio, target, met) to a TSV file.
//
//   app_bench --program Mojian.exe --minimal MinimalWindow.exe --out rows.tsv [--runs N]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/Clipboard_win.h"
#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "app/gates/StartupGates.h"
#include "base/File.h"
#include "base/Scoped_win.h"
#include "bench/wine/BenchRows_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "compose/PageAssembly.h"
#include "compose/PreviewDocument.h"
#include "tests/app/BoxAnswerer_win.h"

namespace mojian::bench {
namespace {

// ---- Start-up and memory, in separate processes ----------------------------------

struct Started {
    double shownMs = 0;      // process creation to the shown window answering
    double networkMs = 0;    // of which the gates waited on the network
    double privateMb = 0;    // private memory once shown
    std::string failure;
};

struct WindowSearch {
    DWORD pid;
    HWND found = nullptr;
};

BOOL CALLBACK FindShownWindow(HWND hwnd, LPARAM lp) {
    auto* search = reinterpret_cast<WindowSearch*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    if (pid != search->pid || !IsWindowVisible(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

// Starts `exe`, waits until a window of it is shown and its thread answers
// (so the first paint is done), reads its memory, then ends it.
Started StartAndMeasure(const std::wstring& exe, const std::wstring& expectedClass) {
    Started result;
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION pi{};
    std::wstring commandLine = L"\"" + exe + L"\"";
    const double start = NowMs();
    if (!CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
        result.failure = "cannot start " + Narrow(exe);
        return result;
    }
    const KernelHandle thread(pi.hThread), process(pi.hProcess);
    WindowSearch search{pi.dwProcessId};
    for (;;) {
        EnumWindows(&FindShownWindow, reinterpret_cast<LPARAM>(&search));
        if (search.found) break;
        if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) {
            result.failure = Narrow(exe) + " ended before showing a window";
            break;
        }
        if (NowMs() - start > 60000) {
            result.failure = Narrow(exe) + " showed no window within 60 s";
            break;
        }
    }
    if (search.found) {
        DWORD_PTR answer = 0;
        SendMessageTimeoutW(search.found, WM_NULL, 0, 0, SMTO_NORMAL, 30000, &answer);
        result.shownMs = NowMs() - start;
        wchar_t cls[64] = {};
        GetClassNameW(search.found, cls, 64);
        if (expectedClass != cls) {
            result.failure = Narrow(exe) + " showed a " + Narrow(cls) + " window first (a message?)";
        }
        result.networkMs =
            static_cast<double>(reinterpret_cast<UINT_PTR>(GetPropW(search.found, kNetworkWaitProp))) / 1000.0;
        PROCESS_MEMORY_COUNTERS_EX memory{};
        memory.cb = sizeof memory;
        if (GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
            // PagefileUsage is the commit charge, which is the private
            // memory; Wine fills only that field for another process.
            result.privateMb =
                static_cast<double>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) / (1024.0 * 1024.0);
    }
    TerminateProcess(pi.hProcess, 0);
    WaitForSingleObject(pi.hProcess, 30000);
    return result;
}

void MeasureStartUp(Rows& rows, const std::wstring& program, const std::wstring& minimal, int runs) {
    // One start of each first, unmeasured: the first Wine process of a run
    // reads its libraries from disk, which neither program should be charged.
    StartAndMeasure(minimal, L"MinimalWindow");
    StartAndMeasure(program, L"MojianForm1");
    std::vector<double> ours, oursWithNetwork, theirs, oursMb, theirsMb;
    for (int run = 0; run < runs; ++run) {
        // Alternating which goes first, so neither always finds the machine warmer.
        for (int turn = 0; turn < 2; ++turn) {
            const bool programTurn = (run + turn) % 2 == 0;
            const Started s = programTurn ? StartAndMeasure(program, L"MojianForm1")
                                          : StartAndMeasure(minimal, L"MinimalWindow");
            if (!s.failure.empty()) {
                rows.Failure("start-up", s.failure);
                return;
            }
            if (programTurn) {
                ours.push_back(s.shownMs - s.networkMs);
                oursWithNetwork.push_back(s.shownMs);
                oursMb.push_back(s.privateMb);
            } else {
                theirs.push_back(s.shownMs);
                theirsMb.push_back(s.privateMb);
            }
        }
    }
    const double minimalMs = Median(theirs), programMs = Median(ours);
    const std::string n = std::to_string(runs);
    rows.Add({"start-up of a minimal Win32 window (median of " + n + ")", Fixed(minimalMs, 0) + " ms", "-", "-", "-",
              true});
    rows.Add({"start-up of Mojian.exe to its window, service exchanges excluded (median of " + n + ")",
              Fixed(programMs, 0) + " ms", "minimal " + Fixed(minimalMs, 0) + " ms", Fixed(programMs / minimalMs, 2),
              "< 1.5", programMs < 1.5 * minimalMs});
    rows.Add({"start-up of Mojian.exe with the service exchanges (local service)", Fixed(Median(oursWithNetwork), 0) + " ms",
              "-", "-", "-", true});
    const double minimalMb = Median(theirsMb), programMb = Median(oursMb);
    if (minimalMb <= 0 || programMb <= 0) {
        rows.Failure("private memory after start-up", "the system reported no private memory");
        return;
    }
    rows.Add({"private memory of a minimal Win32 window", Fixed(minimalMb, 1) + " MB", "-", "-", "-", true});
    rows.Add({"private memory of Mojian.exe after start-up", Fixed(programMb, 1) + " MB",
              "minimal " + Fixed(minimalMb, 1) + " MB", Fixed(programMb / minimalMb, 2), "< 2",
              programMb < 2 * minimalMb});
}

void MeasureExeSize(Rows& rows, const std::wstring& program) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(program.c_str(), GetFileExInfoStandard, &data)) {
        rows.Failure("size of the exe", "cannot read " + Narrow(program));
        return;
    }
    const double mb = static_cast<double>((static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow) /
                      (1024.0 * 1024.0);
    rows.Add({"size of Mojian.exe (static, blocks and skin inside)", Fixed(mb, 2) + " MB", "3 MB", Fixed(mb / 3, 2),
              "< 1", mb < 3});
}

// ---- The user's actions on the real window, in this process ------------------------

void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

double OwnMb() {
    PROCESS_MEMORY_COUNTERS c{};
    c.cb = sizeof c;
    GetProcessMemoryInfo(GetCurrentProcess(), &c, sizeof c);
    return static_cast<double>(c.PagefileUsage) / 1048576.0;
}

class FormBench {
public:
    explicit FormBench(Rows& rows) : rows_(rows) {}

    bool Open() {
        wchar_t temp[MAX_PATH] = {};
        GetTempPathW(MAX_PATH, temp);
        folder_ = std::filesystem::path(temp) / (L"mojian-bench-" + std::to_wstring(GetCurrentProcessId()));
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
        std::filesystem::create_directories(folder_, ec);
        SetProgramFolder(Narrow(folder_.wstring()));
        Form1Options options;
        options.runStartupGates = false;
        options.quitOnClose = false;
        // Where the start-up goes, inside the process: making the window
        // and its controls, then showing and painting it.
        const double memoryBefore = OwnMb();
        const double start = NowMs();
        form_ = CreateForm1(GetModuleHandleW(nullptr), options);
        if (!form_) return false;
        const double created = NowMs();
        ShowWindow(form_, SW_SHOWNORMAL);
        UpdateWindow(form_);
        Pump();
        const double shown = NowMs();
        rows_.Add({"inside start-up: Form1 and its controls made and skinned", Fixed(created - start, 0) + " ms",
                   "-", "-", "-", true});
        rows_.Add({"inside start-up: the window shown and first painted", Fixed(shown - created, 0) + " ms", "-", "-",
                   "-", true});
        rows_.Add({"inside private memory: the window and its controls",
                   Fixed(OwnMb() - memoryBefore, 1) + " MB", "-", "-", "-", true});
        return true;
    }
    ~FormBench() {
        if (form_ && IsWindow(form_)) DestroyWindow(form_);
        Pump();
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    FormBench(const FormBench&) = delete;
    FormBench& operator=(const FormBench&) = delete;

    // Every kind, then each of its styles in turn, twice: the first time each
    // block is shown its characters are measured and drawn for the first time
    // (the font engine's work); the second time they are known.
    void StyleClicks() {
        for (int pass = 0; pass < 2; ++pass) {
            std::vector<double> kinds, styles;
            int wrong = 0;
            for (int k = 0; k < kKindCount; ++k) {
                kinds.push_back(Timed([&] { SendMessageW(C(form1::kKindOptions + k), BM_CLICK, 0, 0); }));
                if (!PreviewHolds(GetBlock(k, 0))) ++wrong;
                for (int i = 1; i < kStyleCounts[static_cast<std::size_t>(k)]; ++i) {
                    styles.push_back(Timed([&] { SendMessageW(C(form1::kStyleOptions + i), BM_CLICK, 0, 0); }));
                    if (!PreviewHolds(GetBlock(k, i))) ++wrong;
                }
            }
            if (wrong) return rows_.Failure("style click", std::to_string(wrong) + " clicks left another block shown");
            const std::string when = pass == 0 ? ", first view of each block" : ", each block seen before";
            rows_.Time("style click until the preview shows the block" + when, styles, 16);
            rows_.Time("kind click until the preview shows its first style" + when, kinds, 16);
        }
    }

    void Adds() {
        SendMessageW(C(form1::kKindOptions + 3), BM_CLICK, 0, 0);
        SendMessageW(C(form1::kStyleOptions + 2), BM_CLICK, 0, 0);
        Pump();
        const int before = LineCount();
        std::vector<double> adds;
        for (int i = 0; i < 50; ++i) adds.push_back(Timed([&] { SendMessageW(C(form1::kAddButton), BM_CLICK, 0, 0); }));
        if (LineCount() != before + 50) return rows_.Failure("add", "the list did not grow by one line per add");
        rows_.Time("add of the shown block", adds, 16);

        SendMessageW(C(form1::kCustomOption), BM_CLICK, 0, 0);
        Pump();
        std::vector<double> customs;
        for (int i = 0; i < 20; ++i)
            customs.push_back(Timed([&] { SendMessageW(C(form1::kAddButton), BM_CLICK, 0, 0); }));
        if (LineCount() != before + 70 || !ReadCustomSourceWhole(CustomEntryName(20)))
            return rows_.Failure("add of a custom source", "no line or no file");
        rows_.Time("add of a custom source (its file written)", customs, 16);
    }

    void Copy() {
        const std::vector<std::string> lines = FillList(1000);
        const std::string page = AssemblePage(lines);
        std::vector<double> copies;
        for (int i = 0; i < 5; ++i) {
            // The success message is made once the clipboard holds the page.
            testing::BoxAnswerer boxes(IDOK);
            const double start = NowMs();
            SendMessageW(C(form1::kCopyButton), BM_CLICK, 0, 0);
            if (boxes.Seen().size() != 1) return rows_.Failure("copy of 1,000 lines", "no single message");
            copies.push_back(TicksToMs(boxes.Seen()[0].createdAt) - start);
            Pump();
        }
        const auto clip = ClipboardText(form_);
        if (!clip || *clip != page) return rows_.Failure("copy of 1,000 lines", "the clipboard does not hold the page");
        rows_.Time("copy of 1,000 lines (" + Fixed(static_cast<double>(page.size()) / 1e6, 1) +
                       " MB) until the clipboard holds the page",
                   copies, 100);
    }

    void PagePreview() {
        const std::vector<std::string> lines = FillList(100);
        PreviewDocument expected;
        expected.LoadBlank();
        for (const std::string& line : lines) {
            if (auto html = LineHtml(line)) expected.Writeln(*html);
        }
        const HWND button = C(form1::kPagePreviewButton);
        std::vector<double> previews;
        for (int i = 0; i < 10; ++i) {
            previews.push_back(Timed([&] {
                SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
                SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
            }));
            const PreviewDocument* shown = Form1PreviewModel(form_);
            if (!shown || shown->Source() != expected.Source())
                return rows_.Failure("whole-page preview of 100 blocks", "the preview does not show the page");
        }
        rows_.Time("whole-page preview of 100 blocks, press to painted", previews, 300);
    }

private:
    HWND C(int id) const { return Form1Control(form_, id); }
    int LineCount() const { return static_cast<int>(SendMessageW(C(form1::kList), LB_GETCOUNT, 0, 0)); }

    // The action, everything it posted, and the painting it caused.
    double Timed(const std::function<void()>& action) {
        const double start = NowMs();
        action();
        Pump();
        RedrawWindow(form_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
        return NowMs() - start;
    }

    bool PreviewHolds(const std::string& block) const {
        const PreviewDocument* shown = Form1PreviewModel(form_);
        return shown && shown->Source().find(block) != std::string::npos;
    }

    // A list of `count` lines going round all ninety blocks.
    std::vector<std::string> FillList(int count) {
        const HWND list = C(form1::kList);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        std::vector<std::string> lines;
        for (int i = 0; i < count; ++i) {
            int s = i % kBuiltInBlockCount, k = 0;
            while (s >= kStyleCounts[static_cast<std::size_t>(k)]) s -= kStyleCounts[static_cast<std::size_t>(k++)];
            lines.push_back(EntryName(k, s));
            SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(lines.back()).c_str()));
        }
        Pump();
        return lines;
    }

    Rows& rows_;
    std::filesystem::path folder_;
    HWND form_ = nullptr;
};

}  // namespace
}  // namespace mojian::bench

int wmain(int argc, wchar_t** argv) {
    using namespace mojian::bench;
    const auto program = Option(argc, argv, L"--program");
    const auto minimal = Option(argc, argv, L"--minimal");
    const auto out = Option(argc, argv, L"--out");
    if (!program || !minimal || !out) {
        std::fprintf(stderr, "usage: app_bench --program Mojian.exe --minimal MinimalWindow.exe --out rows.tsv [--runs N]\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(Option(argc, argv, L"--runs").value_or(L"7").c_str()));

    Rows rows;
    MeasureStartUp(rows, *program, *minimal, runs);
    {
        FormBench bench(rows);
        if (!bench.Open()) {
            rows.Failure("the main window", "could not be created");
        } else {
            bench.StyleClicks();
            bench.Adds();
            bench.Copy();
            bench.PagePreview();
        }
    }
    MeasureExeSize(rows, *program);
    if (!rows.Write(*out)) {
        std::fprintf(stderr, "cannot write the rows\n");
        return 1;
    }
    return 0;
}
