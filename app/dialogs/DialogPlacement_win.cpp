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

}  // namespace mojian
