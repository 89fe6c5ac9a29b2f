// Drives the real Form1 in this process: clicks its controls, reads its
// list, captions and files, puts pages in place through the window's own
// page operations, and answers its message boxes from inside their modal
// loops.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/Form1_win.h"
#include "app/WinText_win.h"
#include "base/File.h"
#include "base/UserFolder.h"
#include "tests/TempFolder.h"
#include "tests/app/BoxAnswerer_win.h"

namespace mojian::testing {

// What the copy button says when the page went to the clipboard.
inline constexpr char kCopyDone[] =
    "代码己生成，并复制到粘贴板，请直接粘贴到装修模板代码里使用！\r\n"
    "在使用过程中如果您有任何问题或建意，请反馈给我们！谢谢！\r\n"
    "祝：生意兴隆---";


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
        SetUserDataFolder(JoinPath(folder_->Utf8(), "user"));
        StartForm();
    }
    // A Form1 as the program makes it, without the start-up gates.
    void StartForm() {
        Form1Options options;
        options.runStartupGates = false;
        options.quitOnClose = false;
        Configure(options);
        form = CreateForm1(GetModuleHandleW(nullptr), options);
        ASSERT_NE(form, nullptr);
        Pump();
    }
    // What a fixture changes in the options before the window is made.
    virtual void Configure(Form1Options&) {}
    void TearDown() override {
        if (IsWindow(form)) DestroyWindow(form);
        Pump();
        SetUserDataFolder({});
        folder_.reset();
    }

    HWND C(int id) const { return Form1Control(form, id); }
    HWND Kind(int k) const { return C(form1::kKindOptions + k); }
    HWND Style(int i) const { return C(form1::kStyleOptions + i); }
    HWND List() const { return C(form1::kList); }

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
    // A line at the end of the list, as an add leaves it (any text, also
    // names that resolve to nothing).
    void AddLine(const std::string& text) { AddLines(text, 1); }
    void AddLines(const std::string& text, int count) {
        Form1Change(form, [&](Composition& page) {
            page.BeginCompound();
            for (int i = 0; i < count; ++i) page.InsertLine(static_cast<int>(page.Lines().size()), text);
            return page.EndCompound();
        });
    }
    // Custom source `number` holding `text`, as typed into the editor; its
    // file in the working folder is the text in GBK and a line break.
    void SetCustomSource(int number, const std::string& text) {
        Form1Change(form, [&](Composition& page) { return page.WriteCustomSource(number, text); });
    }
    // Line `index` chosen in the list box (-1: none), as the keyboard does.
    void Select(int index) {
        SendMessageW(List(), LB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(form1::kList, LBN_SELCHANGE), reinterpret_cast<LPARAM>(List()));
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
    // Whether the file comes to hold `bytes` (nothing: is gone) while the
    // working folder catches up with a change of many custom sources.
    bool FileBecomes(const std::string& path, const std::optional<std::string>& bytes) {
        const DWORD start = GetTickCount();
        while (ReadWholeFile(path) != bytes) {
            if (GetTickCount() - start > 10000) return false;
            Sleep(5);
        }
        return true;
    }
    const Composition& Page() const { return Form1Page(form); }

    // A menu item chosen.
    void Menu(int id) {
        SendMessageW(form, WM_COMMAND, MAKEWPARAM(id, 0), 0);
        Pump();
    }
    // Ctrl and `key` pressed while `target` has the keyboard, as the
    // program's message loop hands the key on.
    void PressCtrl(HWND target, WORD key) {
        BYTE keys[256];
        GetKeyboardState(keys);
        const BYTE before = keys[VK_CONTROL];
        keys[VK_CONTROL] = 0x80;
        SetKeyboardState(keys);
        MSG msg{};
        msg.hwnd = target;
        msg.message = WM_KEYDOWN;
        msg.wParam = key;
        msg.lParam = 1;
        if (!Form1TranslateMessage(form, msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Pump();
        keys[VK_CONTROL] = before;
        SetKeyboardState(keys);
    }

    HWND form = nullptr;

private:
    std::unique_ptr<TempFolder> folder_;
};

}  // namespace mojian::testing
