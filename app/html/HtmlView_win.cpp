// For now the view shows the document's source as read-only text.
#include "app/html/HtmlView.h"

#include "base/Utf.h"

namespace mojian {

namespace {

LRESULT CALLBACK HtmlViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_CREATE: {
        CreateWindowExW(0, L"EDIT", L"",
                        WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, 0, 0,
                        0, 0, hwnd, reinterpret_cast<HMENU>(1), GetModuleHandleW(nullptr), nullptr);
        return 0;
    }
    case WM_SIZE:
        MoveWindow(GetDlgItem(hwnd, 1), 0, 0, LOWORD(lp), HIWORD(lp), TRUE);
        return 0;
    case WM_CONTEXTMENU:
        return 0;  // the preview has no context menu
    default:
        return DefWindowProcW(hwnd, msg, wp, lp);
    }
}

}  // namespace

bool RegisterHtmlViewClass(HINSTANCE instance) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, kHtmlViewClass, &wc)) return true;
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = HtmlViewProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = kHtmlViewClass;
    return RegisterClassExW(&wc) != 0;
}

HWND CreateHtmlView(HWND parent, int id, int x, int y, int width, int height) {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(parent, GWLP_HINSTANCE));
    if (!RegisterHtmlViewClass(instance)) return nullptr;
    return CreateWindowExW(0, kHtmlViewClass, L"", WS_CHILD | WS_VISIBLE, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

void HtmlViewSetHtml(HWND view, const std::string& utf8Html) {
    const HWND edit = GetDlgItem(view, 1);
    SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);  // no 32K cap on long pages
    const std::u16string text = Utf8ToUtf16(utf8Html);
    SetWindowTextW(edit, reinterpret_cast<const wchar_t*>(text.c_str()));
}

}  // namespace mojian
