// The program: Form1 and its message loop.
#include <windows.h>

#include "app/Form1_win.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
    const HWND form = mojian::CreateForm1(instance);
    if (!form) return 1;
    ShowWindow(form, show);
    UpdateWindow(form);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (mojian::Form1TranslateMessage(form, msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}
