// 关于墨笺: the program's name, version, maker and web site, in a modal
// dialog of its own (IDD_ABOUT in the resource script).
#pragma once

#include <windows.h>

namespace mojian {

void ShowAboutDialog(HWND owner);

}  // namespace mojian
