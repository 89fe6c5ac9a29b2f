// Times the real program under Wine with QueryPerformanceCounter: its
// start-up and memory next to a minimal Win32 program's, started in the same
// run, and the user's actions on the real window in this process. Writes one
// row per figure (figure, value, bound, ratio, target, met) to a TSV file.
//
//   app_bench --program Mojian.exe --minimal MinimalWindow.exe --out rows.tsv [--runs N] [--only fill]
#include <windows.h>
#include <commctrl.h>
#include <psapi.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/Clipboard_win.h"
#include "app/CommandIds.h"
#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "app/gates/StartupGates.h"
#include "base/File.h"
#include "base/UserFolder.h"
#include "base/Scoped_win.h"
#include "bench/wine/BenchRows_win.h"
#include "bench/wine/FillBench_win.h"
#include "bench/wine/MyBlocksBench_win.h"
#include "catalogue/Catalogue.h"
#include "catalogue/Library.h"
#include "check/Check.h"
#include "compose/PreviewDocument.h"
#include "project/ProjectFile.h"
#include "tests/app/BoxAnswerer_win.h"
#include "tests/app/ScriptedEnvironment_win.h"

namespace mojian::bench {
namespace {

// ---- Start-up and memory, in separate processes ----------------------------------

struct Started {
    double shownMs = 0;      // process creation to the shown window answering
    double networkMs = 0;    // of which the gates waited on the network
    double privateMb = 0;    // private memory once shown
    double settledMb = 0;    // and again after the settling time asked for
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
Started StartAndMeasure(const std::wstring& exe, const std::wstring& expectedClass, DWORD settleMs = 0) {
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
        const auto privateMb = [&] {
            PROCESS_MEMORY_COUNTERS_EX memory{};
            memory.cb = sizeof memory;
            if (!GetProcessMemoryInfo(pi.hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory))
                return 0.0;
            // PagefileUsage is the commit charge, which is the private
            // memory; Wine fills only that field for another process.
            return static_cast<double>(memory.PrivateUsage ? memory.PrivateUsage : memory.PagefileUsage) /
                   (1024.0 * 1024.0);
        };
        result.privateMb = privateMb();
        if (settleMs > 0) {
            Sleep(settleMs);
            result.settledMb = privateMb();
        }
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
    std::vector<double> ours, oursWithNetwork, theirs, oursMb, oursSettledMb, theirsMb;
    for (int run = 0; run < runs; ++run) {
        // Alternating which goes first, so neither always finds the machine warmer.
        for (int turn = 0; turn < 2; ++turn) {
            const bool programTurn = (run + turn) % 2 == 0;
            // The program is measured again once the start page's pictures
            // are in and the threads that fetched them have ended.
            const Started s = programTurn ? StartAndMeasure(program, L"MojianForm1", 4000)
                                          : StartAndMeasure(minimal, L"MinimalWindow");
            if (!s.failure.empty()) {
                rows.Failure("start-up", s.failure);
                return;
            }
            if (programTurn) {
                ours.push_back(s.shownMs - s.networkMs);
                oursWithNetwork.push_back(s.shownMs);
                oursMb.push_back(s.privateMb);
                oursSettledMb.push_back(s.settledMb);
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
    rows.Add({"private memory of Mojian.exe 4 s after start-up (idle threads ended)",
              Fixed(Median(oursSettledMb), 1) + " MB", "minimal " + Fixed(minimalMb, 1) + " MB",
              Fixed(Median(oursSettledMb) / minimalMb, 2), "< 2", Median(oursSettledMb) < 2 * minimalMb});
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

// The entry name of the i-th of the ninety blocks, going round.
std::string BlockName(int i) {
    int s = i % kBuiltInBlockCount, k = 0;
    while (s >= kStyleCounts[static_cast<std::size_t>(k)]) s -= kStyleCounts[static_cast<std::size_t>(k++)];
    return EntryName(k, s);
}

// A page of 1,000 lines, a hundred of them custom sources of about 2 KB.
PageData LargePage() {
    PageData page;
    for (int i = 0; i < 1000; ++i) {
        if (i % 10 != 9) {
            page.lines.push_back(BlockName(i));
            continue;
        }
        const int n = i / 10 + 1;
        page.lines.push_back(CustomEntryName(n));
        std::string text;
        while (text.size() < 2000) text += "<p>自定义源码 " + std::to_string(n) + "：墨笺排版的一段文字</p>\r\n";
        page.customSources[n] = text;
    }
    return page;
}

struct ActionTimes {
    std::vector<double> adds, styles, keys;
};

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
        SetUserDataFolder(Narrow((folder_ / L"user").wstring()));
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
                if (!PreviewHolds(BuiltInLibrary().Get(k, 0))) ++wrong;
                for (int i = 1; i < kStyleCounts[static_cast<std::size_t>(k)]; ++i) {
                    styles.push_back(Timed([&] { SendMessageW(C(form1::kStyleOptions + i), BM_CLICK, 0, 0); }));
                    if (!PreviewHolds(BuiltInLibrary().Get(k, i))) ++wrong;
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
        FillList(1000);
        const std::string page = Form1Page(form_).PageHtml();
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
        FillList(100);
        const Composition& page = Form1Page(form_);
        PreviewDocument expected;
        expected.LoadBlank();
        for (std::size_t i = 0; i < page.Lines().size(); ++i) {
            if (const auto html = page.LineHtml(i)) expected.Writeln(*html);
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

    // Save and open of a large page through the menu, the file dialog
    // answered at once.
    void Projects() {
        testing::ScriptedEnvironment env;
        const PageData page = LargePage();
        Form1ReplacePage(form_, page);
        Pump();
        const std::string html = Form1Page(form_).PageHtml();
        const std::string file = Narrow((folder_ / L"大排版.mojian").wstring());
        std::vector<double> saves, opens, files;
        for (int i = 0; i < 7; ++i) {
            env.files = {file};
            saves.push_back(Timed([&] { SendMessageW(form_, WM_COMMAND, IDM_SAVEAS, 0); }));
            if (!FileSize(file) || Form1Page(form_).IsModified())
                return rows_.Failure("save of 1,000 lines with 100 custom sources", "not saved");
            SendMessageW(form_, WM_COMMAND, IDM_NEW, 0);  // so the open replaces a page, as it would
            Pump();
            env.files = {file};
            const double start = NowMs();
            opens.push_back(Timed([&] { SendMessageW(form_, WM_COMMAND, IDM_OPEN, 0); }));
            if (Form1Page(form_).PageHtml() != html)
                return rows_.Failure("open of 1,000 lines with 100 custom sources", "another page");
            // The files follow on the working folder's thread, the last one last.
            while (!ReadCustomSourceWhole(CustomEntryName(100)) && NowMs() - start < 30000) Sleep(1);
            files.push_back(NowMs() - start);
        }
        const double mb = static_cast<double>(FileSize(file).value_or(0)) / 1048576.0;
        rows_.Time("save of a page of 1,000 lines with 100 custom sources (" + Fixed(mb, 2) + " MB file)", saves, 100);
        rows_.Time("open of that page until the window shows it", opens, 100);
        rows_.Add({"  its 100 custom-source files in Vexa, written on the working folder's thread (median of " +
                       std::to_string(files.size()) + ")",
                   Fixed(Median(files), 1) + " ms", "-", "-", "-", true});
    }

    // Two hundred steps of every kind on the large page, then each undone
    // and redone through the menu.
    void UndoRedo() {
        testing::ScriptedEnvironment env;
        Form1ReplacePage(form_, LargePage());
        SendMessageW(C(form1::kKindOptions + 5), BM_CLICK, 0, 0);
        const HWND list = C(form1::kList);
        const HWND editor = C(form1::kEditor);
        for (int i = 0; Form1Page(form_).UndoSteps() < 200 && i < 2000; ++i) {
            switch (i % 4) {
            case 0: SendMessageW(C(form1::kAddButton), BM_CLICK, 0, 0); break;
            case 1:
                SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i % 900), 0);
                SendMessageW(form_, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
                SendMessageW(C(form1::kMoveUpButton), BM_CLICK, 0, 0);
                break;
            case 2:
                SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i % 700), 0);
                SendMessageW(form_, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
                SendMessageW(C(form1::kDeleteButton), BM_CLICK, 0, 0);
                break;
            case 3:
                SendMessageW(list, LB_SETCURSEL, static_cast<WPARAM>(i % 500), 0);
                SendMessageW(form_, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
                SendMessageW(C(form1::kEditCodeButton), BM_CLICK, 0, 0);
                SendMessageW(editor, WM_CHAR, L'x', 0);
                break;
            }
            Pump();
        }
        const std::string top = Form1Page(form_).PageHtml();
        std::vector<double> undos, redos;
        while (Form1Page(form_).CanUndo())
            undos.push_back(Timed([&] { SendMessageW(form_, WM_COMMAND, IDM_UNDO, 0); }));
        while (Form1Page(form_).CanRedo())
            redos.push_back(Timed([&] { SendMessageW(form_, WM_COMMAND, IDM_REDO, 0); }));
        if (Form1Page(form_).PageHtml() != top) return rows_.Failure("undo and redo", "redone to another page");
        rows_.Time("undo of one step on that page (adds, moves, deletes, typing; the open too)", undos, 16);
        rows_.Time("redo of one step on that page", redos, 16);
    }

    // The same actions with the recovery file written after every change
    // (this window) and without it (a second window with no writer).
    void RecoveryCost() {
        std::vector<double> snapshots;
        Form1ReplacePage(form_, LargePage());
        for (int i = 0; i < 20; ++i)
            snapshots.push_back(Timed([&] { (void)Form1Page(form_).Snapshot(); }));
        rows_.Time("recovery: the page taken for the writer on the GUI thread (1,000 lines)", snapshots, 16);

        const ActionTimes with = ActionsOn(form_);
        Form1Options options;
        options.recovery = false;
        const auto without = ActionsOnAnotherWindow(options);
        if (!without) return rows_.Failure("actions without the recovery writer", "no second window");
        rows_.Time("add on a page of 1,000 lines, recovery writer running", with.adds, 16);
        rows_.Time("add on a page of 1,000 lines, no recovery writer", without->adds, 16);
        rows_.Time("style click, recovery writer running", with.styles, 16);
        rows_.Time("style click, no recovery writer", without->styles, 16);
        rows_.Time("keystroke into a block (written through, previewed), recovery writer running", with.keys, 16);
        rows_.Time("keystroke into a block (written through, previewed), no recovery writer", without->keys, 16);
    }

    // Keystrokes into a block with the publish check following the page
    // (this window) and without it (a second window), and how long the
    // status bar's count takes to follow.
    void LiveCheckCost() {
        double start = NowMs();
        Form1ReplacePage(form_, LargePage());
        if (!CountFollows(form_, start)) return rows_.Failure("live check", "the count never came");
        const double first = NowMs() - start;
        std::vector<double> handOvers;
        for (int i = 0; i < 20; ++i)
            handOvers.push_back(Timed([&] { (void)check::LinesOf(Form1Page(form_)); }));

        // One keystroke at a time into the first line's block (the editor
        // writes through to the selected line only), each left to be counted.
        SendMessageW(C(form1::kList), LB_SETCURSEL, 0, 0);
        SendMessageW(form_, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(C(form1::kList)));
        SendMessageW(C(form1::kEditCodeButton), BM_CLICK, 0, 0);
        Pump();
        const HWND editor = Form1Control(form_, form1::kEditor);
        const int end = GetWindowTextLengthW(editor);
        SendMessageW(editor, EM_SETSEL, static_cast<WPARAM>(end), end);
        std::vector<double> follows;
        for (int i = 0; i < 15; ++i) {
            Pump();
            start = NowMs();
            SendMessageW(editor, WM_CHAR, L'a' + i, 0);
            if (!CountFollows(form_, start)) return rows_.Failure("live check", "the count did not follow a keystroke");
            follows.push_back(NowMs() - start);
        }
        // Both on windows of their own, which differ only in the live check.
        Form1Options options;
        const auto with = ActionsOnAnotherWindow(options);
        options.liveCheck = false;
        const auto without = ActionsOnAnotherWindow(options);
        if (!with || !without) return rows_.Failure("actions with and without the live check", "no second window");
        rows_.Add({"live check: the first check of the page of 1,000 lines, on its thread", Fixed(first, 0) + " ms",
                   "-", "-", "-", true});
        rows_.Time("live check: the page handed to its thread on the GUI thread (1,000 lines)", handOvers, 16);
        rows_.Time("keystroke into a block (written through, previewed), live check following", with->keys, 16);
        rows_.Time("keystroke into a block (written through, previewed), no live check", without->keys, 16);
        rows_.Time("add on a page of 1,000 lines, live check following", with->adds, 16);
        rows_.Time("add on a page of 1,000 lines, no live check", without->adds, 16);
        rows_.Add({"live check: a keystroke until the status bar shows its count (median of " +
                       std::to_string(follows.size()) + ")",
                   Fixed(Median(follows), 1) + " ms", "-", "-", "-", true});
    }

    void Fill() { MeasureFillDialogs(rows_, form_); }
    void MyBlocks() { MeasureMyBlocks(rows_, form_); }

private:
    HWND C(int id) const { return Form1Control(form_, id); }

    static std::wstring CountShown(HWND form) {
        const HWND bar = Form1Control(form, form1::kStatusBar);
        const auto length = LOWORD(SendMessageW(bar, SB_GETTEXTLENGTHW, 3, 0));
        std::wstring text(length + 1u, L'\0');
        SendMessageW(bar, SB_GETTEXTW, 3, reinterpret_cast<LPARAM>(text.data()));
        text.resize(length);
        return text;
    }

    // Handles messages until the status bar's count changes (false after 60 s).
    bool CountFollows(HWND form, double since) {
        const std::wstring before = CountShown(form);
        while (CountShown(form) == before) {
            if (NowMs() - since > 60000) return false;
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
            Pump();
        }
        return true;
    }
    int LineCount() const { return static_cast<int>(SendMessageW(C(form1::kList), LB_GETCOUNT, 0, 0)); }

    // The action, everything it posted, and the painting it caused.
    double Timed(const std::function<void()>& action, HWND window = nullptr) {
        const double start = NowMs();
        action();
        Pump();
        RedrawWindow(window ? window : form_, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
        GdiFlush();
        return NowMs() - start;
    }

    // The actions on a second window made with `options` (without the
    // start-up gates); nothing when it could not be made.
    std::optional<ActionTimes> ActionsOnAnotherWindow(Form1Options options) {
        options.runStartupGates = false;
        options.quitOnClose = false;
        // Never the recovery session of the window already open: a second
        // one would take its mark for a run that ended abnormally, take its
        // recovery file for the last session's page and ask whether to
        // restore it, in a message box nobody answers (the bench hung there,
        // waiting with no CPU, whenever the first window's page had been
        // written out by then).
        options.recovery = false;
        const HWND other = CreateForm1(GetModuleHandleW(nullptr), options);
        if (!other) return std::nullopt;
        ShowWindow(other, SW_SHOWNORMAL);
        Pump();
        const ActionTimes times = ActionsOn(other);
        DestroyWindow(other);
        Pump();
        return times;
    }

    // Adds, style clicks and keystrokes typed into a block, on a large page.
    ActionTimes ActionsOn(HWND form) {
        const auto c = [form](int id) { return Form1Control(form, id); };
        ActionTimes times;
        Form1ReplacePage(form, LargePage());
        Pump();
        SendMessageW(c(form1::kKindOptions + 3), BM_CLICK, 0, 0);
        for (int i = 0; i < 30; ++i)
            times.styles.push_back(Timed([&] { SendMessageW(c(form1::kStyleOptions + i % 13), BM_CLICK, 0, 0); }, form));
        for (int i = 0; i < 30; ++i)
            times.adds.push_back(Timed([&] { SendMessageW(c(form1::kAddButton), BM_CLICK, 0, 0); }, form));
        SendMessageW(c(form1::kList), LB_SETCURSEL, 0, 0);
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(c(form1::kList)));
        SendMessageW(c(form1::kEditCodeButton), BM_CLICK, 0, 0);
        Pump();
        const HWND editor = c(form1::kEditor);
        for (int i = 0; i < 60; ++i) {
            const int end = GetWindowTextLengthW(editor);
            SendMessageW(editor, EM_SETSEL, static_cast<WPARAM>(end), end);
            times.keys.push_back(Timed([&] { SendMessageW(editor, WM_CHAR, L'a' + i % 26, 0); }, form));
        }
        return times;
    }

    bool PreviewHolds(const std::string& block) const {
        const PreviewDocument* shown = Form1PreviewModel(form_);
        return shown && shown->Source().find(block) != std::string::npos;
    }

    // A page of `count` lines going round all ninety blocks.
    std::vector<std::string> FillList(int count) {
        PageData page;
        for (int i = 0; i < count; ++i) page.lines.push_back(BlockName(i));
        Form1ReplacePage(form_, page);
        Pump();
        return page.lines;
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
        std::fprintf(stderr, "usage: app_bench --program Mojian.exe --minimal MinimalWindow.exe --out rows.tsv [--runs N] [--only fill|myblocks|startup]\n");
        return 2;
    }
    const int runs = std::max(1, _wtoi(Option(argc, argv, L"--runs").value_or(L"7").c_str()));

    // --only fill (myblocks, startup): the window's fill and replace rows
    // (我的模块's, the start-up's) alone, for a quick look.
    const std::wstring only = Option(argc, argv, L"--only").value_or(L"");
    const bool onlyFill = only == L"fill", onlyMine = only == L"myblocks", onlyStartUp = only == L"startup";

    Rows rows;
    if (only.empty() || onlyStartUp) MeasureStartUp(rows, *program, *minimal, runs);
    if (!onlyStartUp) {
        FormBench bench(rows);
        if (!bench.Open()) {
            rows.Failure("the main window", "could not be created");
        } else if (onlyFill) {
            bench.Fill();
        } else if (onlyMine) {
            bench.MyBlocks();
        } else {
            // Each section says when it starts, so a harness killed at its
            // deadline tells where it stood.
            const std::pair<const char*, void (FormBench::*)()> sections[] = {
                {"style clicks", &FormBench::StyleClicks}, {"adds", &FormBench::Adds},
                {"copy", &FormBench::Copy},                {"page preview", &FormBench::PagePreview},
                {"projects", &FormBench::Projects},        {"undo and redo", &FormBench::UndoRedo},
                {"recovery", &FormBench::RecoveryCost},    {"live check", &FormBench::LiveCheckCost},
                {"fill", &FormBench::Fill},                {"my blocks", &FormBench::MyBlocks}};
            for (const auto& [name, section] : sections) {
                std::fprintf(stderr, "app_bench: %s\n", name);
                std::fflush(stderr);
                (bench.*section)();
            }
        }
    }
    MeasureExeSize(rows, *program);
    if (!rows.Write(*out)) {
        std::fprintf(stderr, "cannot write the rows\n");
        return 1;
    }
    return 0;
}
