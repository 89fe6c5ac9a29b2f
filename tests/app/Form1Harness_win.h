// Drives the real Form1 in this process: clicks its controls, reads its
// list, captions and files, and answers its message boxes from a timer that
// runs inside their modal loops.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "tests/TempFolder.h"

namespace mojian::testing {

struct SeenBox {
    std::string title;
    std::string text;
    HICON icon = nullptr;              // the icon shown, if any
    std::vector<int> buttons;          // the visible buttons' ids
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
    std::vector<SeenBox> seen_;
};

inline void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

class Form1Test : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = std::make_unique<TempFolder>();
        Form1Options options;
        options.runStartupGates = false;
        options.quitOnClose = false;
        form = CreateForm1(GetModuleHandleW(nullptr), options);
        ASSERT_NE(form, nullptr);
        Pump();
    }
    void TearDown() override {
        if (IsWindow(form)) DestroyWindow(form);
        Pump();
        folder_.reset();
    }

    HWND C(int id) const { return Form1Control(form, id); }
    HWND Kind(int k) const { return C(form1::kOption1 + k); }
    HWND Style(int i) const { return C(form1::kOption2 + i); }
    HWND Command(int n) const { return C(form1::kCommand + n); }
    HWND List() const { return C(form1::kList1); }

    void Click(HWND button) {
        SendMessageW(button, BM_CLICK, 0, 0);
        Pump();
    }
    bool Checked(HWND button) const { return SendMessageW(button, BM_GETCHECK, 0, 0) == BST_CHECKED; }

    const PreviewDocument& Doc() const { return *Form1PreviewModel(form); }

    std::vector<std::string> Lines() const {
        std::vector<std::string> out;
        const int n = static_cast<int>(SendMessageW(List(), LB_GETCOUNT, 0, 0));
        for (int i = 0; i < n; ++i) {
            const auto len = SendMessageW(List(), LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            std::wstring buf(static_cast<std::size_t>(len) + 1, L'\0');
            SendMessageW(List(), LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf.data()));
            buf.resize(static_cast<std::size_t>(len));
            out.push_back(Narrow(buf));
        }
        return out;
    }
    int Selection() const { return static_cast<int>(SendMessageW(List(), LB_GETCURSEL, 0, 0)); }
    void AddLine(const std::string& text) {
        SendMessageW(List(), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(text).c_str()));
    }
    void Select(int index) {
        SendMessageW(List(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        Pump();
    }
    // A real mouse click on line `index`.
    void ClickLine(int index) {
        RECT rc{};
        SendMessageW(List(), LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&rc));
        const LPARAM at = MAKELPARAM((rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2);
        SendMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
        SendMessageW(List(), WM_LBUTTONUP, 0, at);
        Pump();
    }

    const TempFolder& Folder() const { return *folder_; }

    HWND form = nullptr;

private:
    std::unique_ptr<TempFolder> folder_;
};

}  // namespace mojian::testing
