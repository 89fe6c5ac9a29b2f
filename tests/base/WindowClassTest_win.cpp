#include "base/WindowClass_win.h"

#include <gtest/gtest.h>

namespace mojian {
namespace {

int extrasRun = 0;

LRESULT CALLBACK FirstProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) return 1;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

LRESULT CALLBACK SecondProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_APP) return 2;
    return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(WindowClass, IsRegisteredOnceAndTheFirstRegistrationStays) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    constexpr wchar_t kName[] = L"Mojian.WindowClassTest";
    const auto extras = [](WNDCLASSEXW& wc) {
        ++extrasRun;
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    };
    // The first window's call registers, every later one finds it there:
    // a later call neither fails nor changes the class.
    EXPECT_TRUE(EnsureWindowClass(instance, kName, FirstProc, extras));
    EXPECT_TRUE(EnsureWindowClass(instance, kName, SecondProc, extras));
    EXPECT_TRUE(EnsureWindowClass(instance, kName, SecondProc));
    EXPECT_EQ(extrasRun, 1);

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    ASSERT_TRUE(GetClassInfoExW(instance, kName, &wc));
    EXPECT_EQ(wc.hbrBackground, reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    EXPECT_NE(wc.hCursor, nullptr);

    const HWND hwnd = CreateWindowExW(0, kName, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, instance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(SendMessageW(hwnd, WM_APP, 0, 0), 1);
    DestroyWindow(hwnd);
}

}  // namespace
}  // namespace mojian
