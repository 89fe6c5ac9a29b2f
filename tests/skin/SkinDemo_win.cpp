// A form of the program's kind with the skin on, driven by a script of real
// input (cursor moves, a click, a message box) so that it can be watched or
// captured under Xvfb: skin_demo [milliseconds to stay open].
#include <windows.h>

#include <cstdio>
#include <cstdlib>

#include "base/Scoped_win.h"
#include "skin/Skin.h"

using namespace mojian::skin;

namespace {

HWND g_form, g_add, g_copy, g_preview;

POINT CentreOf(HWND w) {
    RECT r;
    GetWindowRect(w, &r);
    return {(r.left + r.right) / 2, (r.top + r.bottom) / 2};
}

void CALLBACK Step(HWND, UINT, UINT_PTR id, DWORD) {
    static int step = 0;
    switch (step++) {
    case 0: {  // the mouse comes over a button: it fades to hot
        const POINT p = CentreOf(g_add);
        SetCursorPos(p.x, p.y);
        break;
    }
    case 1: {  // and presses another one
        const POINT p = CentreOf(g_preview);
        SetCursorPos(p.x, p.y);
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
        SendInput(1, &in, sizeof(in));
        break;
    }
    case 2: {
        INPUT in{};
        in.type = INPUT_MOUSE;
        in.mi.dwFlags = MOUSEEVENTF_LEFTUP;
        SendInput(1, &in, sizeof(in));
        break;
    }
    case 3:  // a message box: adopted by the skin while it shows
        std::printf("message box answered %d\n",
                    MessageBoxW(g_form, L"是否确定退出？", L"温馨提示", MB_YESNO | MB_ICONQUESTION));
        break;
    case 4:  // (inside the box's own loop) answer it
        if (HWND box = GetLastActivePopup(g_form); box != g_form) {
            std::printf("box skinned: %d\n", GetPropA(box, "PROCADDR") != nullptr);
            PostMessageW(box, WM_COMMAND, IDNO, 0);
        }
        break;
    default:
        KillTimer(nullptr, id);
        break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int stayMs = argc > 1 ? std::atoi(argv[1]) : 8000;
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.lpszClassName = L"Mojian.Form1";
    RegisterClassW(&wc);
    g_form = CreateWindowExW(0, L"Mojian.Form1", L"墨笺 - 淘宝宝贝描述模板", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 60, 60,
                             520, 240, nullptr, nullptr, wc.hInstance, nullptr);
    const mojian::Font font(CreateFontW(-12, 0, 0, 0, FW_NORMAL, 0, 0, 0, GB2312_CHARSET, 0, 0, 0, 0, L"宋体"));
    auto add = [&](const wchar_t* cls, const wchar_t* text, DWORD style, int x, int y, int w, int h, DWORD ex = 0) {
        HWND c = CreateWindowExW(ex, cls, text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | style, x, y, w, h, g_form, nullptr,
                                 wc.hInstance, nullptr);
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font.get()), FALSE);
        return c;
    };
    g_add = add(L"Button", L"添加模块", BS_PUSHBUTTON, 20, 20, 100, 28);
    g_copy = add(L"Button", L"复制代码", BS_DEFPUSHBUTTON, 130, 20, 100, 28);
    g_preview = add(L"Button", L"效果预览", BS_PUSHBUTTON, 240, 20, 100, 28);
    HWND off = add(L"Button", L"导出模板", BS_PUSHBUTTON, 350, 20, 100, 28);
    add(L"Button", L"样式1", BS_AUTORADIOBUTTON, 20, 70, 80, 20);
    add(L"Button", L"样式2", BS_AUTORADIOBUTTON, 110, 70, 80, 20);
    add(L"Button", L"静默预览", BS_AUTOCHECKBOX, 200, 70, 100, 20);
    add(L"Edit", L"图片展示-样式3", ES_AUTOHSCROLL, 20, 110, 330, 24, WS_EX_CLIENTEDGE);
    EnableWindow(off, FALSE);

    std::printf("SkinWindow: %d\n", SkinWindow(g_form));
    std::printf("attached: %d\n", SkinEngineState().attached);
    SetTimer(nullptr, 0, 1500, Step);
    SetTimer(g_form, 99, static_cast<UINT>(stayMs), nullptr);

    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.hwnd == g_form && msg.message == WM_TIMER && msg.wParam == 99) break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    DestroyWindow(g_form);
    std::printf("after close: attached %d, initialised %d\n", SkinEngineState().attached,
                SkinEngineState().initialised ? 1 : 0);
    return 0;
}
