// The program's window classes: each registered once per process and module,
// by whichever window is made first, and found registered after that.
#pragma once

#include <windows.h>

namespace mojian {

// Sets what a class has beyond its procedure and the arrow cursor (icons, a
// background brush); runs only when the class is registered.
using WindowClassExtras = void (*)(WNDCLASSEXW& wc);

// True once the class `name` of `instance` is registered, now or before.
inline bool EnsureWindowClass(HINSTANCE instance, const wchar_t* name, WNDPROC proc,
                              WindowClassExtras extras = nullptr) {
    WNDCLASSEXW wc{};
    if (GetClassInfoExW(instance, name, &wc)) return true;
    wc = WNDCLASSEXW{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = name;
    if (extras) extras(wc);
    // Another thread may have registered it since the look above.
    return RegisterClassExW(&wc) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace mojian
