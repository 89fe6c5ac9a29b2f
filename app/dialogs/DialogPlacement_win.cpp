#include "app/dialogs/DialogPlacement_win.h"

#include <algorithm>

namespace mojian {

void CentreOnOwner(HWND dialog) {
    const HWND owner = GetWindow(dialog, GW_OWNER);
    RECT o{}, d{};
    if (!owner || !GetWindowRect(owner, &o) || !GetWindowRect(dialog, &d)) return;
    const int width = d.right - d.left, height = d.bottom - d.top;
    int x = o.left + (o.right - o.left - width) / 2, y = o.top + (o.bottom - o.top - height) / 2;
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    if (GetMonitorInfoW(MonitorFromWindow(owner, MONITOR_DEFAULTTONEAREST), &monitor)) {
        const RECT& work = monitor.rcWork;
        x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - width));
        y = std::max(static_cast<int>(work.top), std::min(y, static_cast<int>(work.bottom) - height));
    }
    SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeOverOwner(HWND dialog, int width, int height) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const HWND owner = GetWindow(dialog, GW_OWNER);
    GetMonitorInfoW(MonitorFromWindow(owner ? owner : dialog, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& work = monitor.rcWork;
    const int w = std::min(width, static_cast<int>(work.right - work.left));
    const int h = std::min(height, static_cast<int>(work.bottom - work.top));
    SetWindowPos(dialog, nullptr, 0, 0, w, h, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    CentreOnOwner(dialog);
}

void UseFont(HWND dialog, HFONT font) {
    if (!font) return;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
}

void PlaceControl(HWND dialog, int id, int x, int y, int w, int h) {
    MoveWindow(GetDlgItem(dialog, id), x, y, std::max(0, w), std::max(0, h), TRUE);
}

}  // namespace mojian
