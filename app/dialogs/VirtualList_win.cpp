#include "app/dialogs/VirtualList_win.h"

#include <algorithm>

#include "app/WinText_win.h"

namespace mojian {

void AddListColumn(HWND list, int index, const wchar_t* title, int widthPx) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(title);
    column.cx = widthPx;
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void SetCellText(LVITEMW& item, const std::string& text) {
    if (!item.pszText || item.cchTextMax <= 0) return;
    const std::wstring wide = Wide(text);
    const std::size_t n = std::min(wide.size(), static_cast<std::size_t>(item.cchTextMax - 1));
    wide.copy(item.pszText, n);
    item.pszText[n] = L'\0';
}

}  // namespace mojian
