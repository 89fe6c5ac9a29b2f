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
#include "tests/app/BoxAnswerer_win.h"

namespace mojian::testing {

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
