// Drives the program's own modal dialogs: the next dialog this thread
// opens runs a test's script from inside its modal loop once it has set
// itself up, kept hidden (or shown, for looking at it). Message boxes the dialog asks through the
// environment are answered by a ScriptedEnvironment.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

#include "app/WinText_win.h"

namespace mojian::testing {

class DialogScript {
public:
    explicit DialogScript(std::function<void(HWND dialog)> script, bool shown = false)
        : script_(std::move(script)), shown_(shown) {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, &OnCbt, nullptr, GetCurrentThreadId());
    }
    ~DialogScript() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    DialogScript(const DialogScript&) = delete;
    DialogScript& operator=(const DialogScript&) = delete;

    bool Ran() const { return ran_; }
    std::string Title() const { return title_; }

    // ---- What scripts do inside a dialog ----
    static void Pump() {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    // Pumps for a while, so timers due within it fire.
    static void PumpFor(DWORD ms) {
        const DWORD start = GetTickCount();
        do {
            Pump();
            Sleep(5);
        } while (GetTickCount() - start < ms);
        Pump();
    }
    static void Press(HWND dialog, int id) {
        SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
        Pump();
    }
    static int Rows(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }
    static std::string Cell(HWND list, int row, int column) {
        wchar_t text[1024] = {};
        LVITEMW item{};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = 1024;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
        return Narrow(text);
    }
    static void SelectRow(HWND list, int row) {
        LVITEMW state{};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&state));
        Pump();
    }
    // Types `text` over the whole of an edit box's text, as the keyboard
    // would (the box says it changed).
    static void TypeOver(HWND edit, const std::string& text) {
        SendMessageW(edit, EM_SETSEL, 0, -1);
        SendMessageW(edit, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
        Pump();
    }
    static void Key(HWND target, WORD key) {
        SendMessageW(target, WM_KEYDOWN, key, 1);
        SendMessageW(target, WM_KEYUP, key, 0xC0000001);
        Pump();
    }

private:
    static constexpr UINT kRun = WM_APP + 300;

    static LRESULT CALLBACK OnCbt(int code, WPARAM wp, LPARAM lp) {
        DialogScript* self = current_;
        if (code == HCBT_CREATEWND && self && !self->dialog_) {
            const HWND hwnd = reinterpret_cast<HWND>(wp);
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            if (wcscmp(cls, L"#32770") == 0) {
                self->dialog_ = hwnd;
                self->proc_ = reinterpret_cast<WNDPROC>(
                    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DialogProc)));
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static LRESULT CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        DialogScript* self = current_;
        // Never shown: hiding a shown window costs Wine seconds without a window manager.
        if (msg == WM_WINDOWPOSCHANGING && !self->shown_) reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);
        if (msg == kRun) {
            self->title_ = GetText(hwnd);
            self->ran_ = true;
            // The modal loop shows a dialog only once it is idle, after the script.
            if (self->shown_) ShowWindow(hwnd, SW_SHOWNORMAL);
            self->script_(hwnd);
            // A script that left the dialog open closes it, so the test goes on.
            if (IsWindow(hwnd)) PostMessageW(hwnd, WM_COMMAND, IDCANCEL, 0);
            return 0;
        }
        const LRESULT result = CallWindowProcW(self->proc_, hwnd, msg, wp, lp);
        if (msg == WM_INITDIALOG) PostMessageW(hwnd, kRun, 0, 0);
        return result;
    }

    static inline DialogScript* current_ = nullptr;
    std::function<void(HWND)> script_;
    bool shown_ = false;
    HHOOK hook_ = nullptr;
    HWND dialog_ = nullptr;
    WNDPROC proc_ = nullptr;
    bool ran_ = false;
    std::string title_;
};

}  // namespace mojian::testing
