// Shows blocks in the HTML view, for looking at (and screenshots) by hand:
//   html_show [--framed] [--pictures] [--size W H] [--scroll PX] [--exit-after MS] [--file PATH] K-S ...
// where K-S is a kind index and a 1-based style number, e.g. 9-5;
// --pictures loads the page's pictures as the preview does; --size shows
// the view alone, W x H at the top left of the screen (for pictures of it).
#include <windows.h>

#include <cstdio>
#include <string>

#include "html/HtmlView_win.h"
#include "catalogue/Library.h"

namespace {

HWND g_view = nullptr;

LRESULT CALLBACK FrameProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_SIZE:
        if (g_view) MoveWindow(g_view, 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_TIMER:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    std::string html;
    bool framed = false, pictures = false;
    int scroll = 0, exitAfter = 0, width = 0, height = 0;
    for (int i = 1; i < __argc; ++i) {
        const std::wstring a = __wargv[i];
        if (a == L"--framed") {
            framed = true;
        } else if (a == L"--pictures") {
            pictures = true;
        } else if (a == L"--size" && i + 2 < __argc) {
            width = _wtoi(__wargv[++i]);
            height = _wtoi(__wargv[++i]);
        } else if (a == L"--scroll" && i + 1 < __argc) {
            scroll = _wtoi(__wargv[++i]);
        } else if (a == L"--exit-after" && i + 1 < __argc) {
            exitAfter = _wtoi(__wargv[++i]);
        } else if (a == L"--file" && i + 1 < __argc) {
            if (FILE* f = _wfopen(__wargv[++i], L"rb")) {
                char buf[65536];
                std::size_t n;
                while ((n = fread(buf, 1, sizeof buf, f)) > 0) html.append(buf, n);
                fclose(f);
            }
        } else {
            int kind = 0, style = 0;
            if (swscanf(a.c_str(), L"%d-%d", &kind, &style) == 2) html += mojian::BuiltInLibrary().Get(kind, style - 1);
        }
    }
    if (framed)
        html = "<HTML>\r\n<HEAD>\r\n<TITLE>\r\nNew Document\r\n</TITLE>\r\n</HEAD>\r\n<BODY>\r\n" + html +
               "\r\n</BODY>\r\n</HTML>\r\n";

    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = FrameProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = L"MojianHtmlShow";
    RegisterClassExW(&wc);
    const bool bare = width > 0 && height > 0;
    HWND frame = CreateWindowExW(0, wc.lpszClassName, L"墨笺 HTML view", bare ? WS_POPUP : WS_OVERLAPPEDWINDOW, 0, 0,
                                 bare ? width : 800, bare ? height : 760, nullptr, nullptr, instance, nullptr);
    RECT rc;
    GetClientRect(frame, &rc);
    g_view = mojian::html::CreateHtmlView(frame, 100, 0, 0, rc.right, rc.bottom);
    if (pictures) mojian::html::HtmlViewLoadPictures(g_view);
    mojian::html::HtmlViewSetHtml(g_view, html);
    ShowWindow(frame, SW_SHOW);
    if (scroll > 0) {
        for (int y = 0; y < scroll; y += 40) SendMessageW(g_view, WM_VSCROLL, SB_LINEDOWN, 0);
    }
    if (exitAfter > 0) SetTimer(frame, 1, static_cast<UINT>(exitAfter), nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
