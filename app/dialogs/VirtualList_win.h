// What the dialogs' virtual list views share: their columns, and the text
// of a cell handed back when the list asks for it (LVN_GETDISPINFOW).
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace mojian {

void AddListColumn(HWND list, int index, const wchar_t* title, int widthPx);

// Copies `text` into the item's buffer, cut to what it holds.
void SetCellText(LVITEMW& item, const std::string& text);

}  // namespace mojian
