// Reads and answers the message boxes of this thread from inside their own
// modal loops: for the tests that drive the real Form1, and for timing it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "app/WinText_win.h"

namespace mojian::testing {

struct SeenBox {
    std::string title;
    std::string text;
    HICON icon = nullptr;              // the icon shown, if any
    std::vector<int> buttons;          // the visible buttons' ids
    LONGLONG createdAt = 0;            // QueryPerformanceCounter when the box was made
};

// Whether the control is set to show (its own WS_VISIBLE; the form itself
// stays hidden in the tests, because hiding a shown top-level window costs
// Wine two seconds without a window manager).
inline bool Shown(HWND hwnd) { return (GetWindowLongW(hwnd, GWL_STYLE) & WS_VISIBLE) != 0; }

// While it lives, every message box of this thread is read and answered
// with `answer` (IDOK, IDCANCEL, IDYES, IDNO) as soon as it has set itself
// up, before it is shown; the box's own modal loop still runs.
class BoxAnswerer {
public:
    explicit BoxAnswerer(int answer) : answer_(answer) {
        current_ = this;
        hook_ = SetWindowsHookExW(WH_CBT, &OnCbt, nullptr, GetCurrentThreadId());
    }
    ~BoxAnswerer() {
        UnhookWindowsHookEx(hook_);
        current_ = nullptr;
    }
    BoxAnswerer(const BoxAnswerer&) = delete;
    BoxAnswerer& operator=(const BoxAnswerer&) = delete;

    const std::vector<SeenBox>& Seen() const { return seen_; }

private:
    static LRESULT CALLBACK OnCbt(int code, WPARAM wp, LPARAM lp) {
        if (code == HCBT_CREATEWND && current_) {
            const HWND hwnd = reinterpret_cast<HWND>(wp);
            wchar_t cls[16] = {};
            GetClassNameW(hwnd, cls, 16);
            if (wcscmp(cls, L"#32770") == 0) {
                LARGE_INTEGER now;
                QueryPerformanceCounter(&now);
                current_->createdAt_ = now.QuadPart;
                current_->boxProc_ = reinterpret_cast<WNDPROC>(
                    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&BoxProc)));
            }
        }
        return CallNextHookEx(nullptr, code, wp, lp);
    }
    static BOOL CALLBACK ReadChild(HWND child, LPARAM lp) {
        auto* box = reinterpret_cast<SeenBox*>(lp);
        wchar_t cls[16] = {};
        GetClassNameW(child, cls, 16);
        if (_wcsicmp(cls, L"Static") != 0 || !Shown(child)) return TRUE;
        if (const auto icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0))) box->icon = icon;
        else box->text += GetText(child);
        return TRUE;
    }
    static LRESULT CALLBACK BoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
        BoxAnswerer* self = current_;
        if (msg == WM_WINDOWPOSCHANGING && self->answeredBox_ == hwnd)
            reinterpret_cast<WINDOWPOS*>(lp)->flags &= ~static_cast<UINT>(SWP_SHOWWINDOW);  // already answered
        const LRESULT result = CallWindowProcW(self->boxProc_, hwnd, msg, wp, lp);
        if (msg == WM_INITDIALOG) {
            SeenBox seen;
            seen.createdAt = self->createdAt_;
            seen.title = GetText(hwnd);
            EnumChildWindows(hwnd, &ReadChild, reinterpret_cast<LPARAM>(&seen));
            for (int id : {IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
                const HWND b = GetDlgItem(hwnd, id);
                if (b && Shown(b)) seen.buttons.push_back(id);
            }
            self->seen_.push_back(seen);
            self->answeredBox_ = hwnd;
            EndDialog(hwnd, self->answer_);
        }
        return result;
    }

    static inline BoxAnswerer* current_ = nullptr;
    int answer_;
    HHOOK hook_ = nullptr;
    WNDPROC boxProc_ = nullptr;
    HWND answeredBox_ = nullptr;
    LONGLONG createdAt_ = 0;
    std::vector<SeenBox> seen_;
};

}  // namespace mojian::testing
