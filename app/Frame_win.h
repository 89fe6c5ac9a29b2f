// A frame: a child window that holds controls, draws a group-box border with
// its caption, and passes its children's notifications on to the form.
#pragma once

#include <windows.h>

namespace mojian {

inline constexpr wchar_t kFrameClass[] = L"MojianFrame";

bool RegisterFrameClass(HINSTANCE instance);

}  // namespace mojian
