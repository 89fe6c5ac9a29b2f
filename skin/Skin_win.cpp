// The frame of the skinning engine: attaching and detaching windows, the
// per-window properties, the one window procedure and its dispatch, and the
// adoption of windows that appear later.
#include <windows.h>
#include <commctrl.h>

#include "skin/Draw_win.h"
#include "skin/SkinFrame_win.h"

namespace mojian::skin {

namespace {

struct Engine {
    bool initialised = false;
    bool userTrackMouseEvent = false;
    int attached = 0;
    int builds = 0;
    SkinSurfaces skins;
    SIZE glyph{0, 0};  // 0 x 0 until read
};

Engine& TheEngine() {
    static Engine engine;
    return engine;
}

// How many windows are marked "SKINGONE": while there are none, the window
// procedure need not look for the mark, a property read (a round trip to
// the server under Wine) on every message.
int& GoneWindows() {
    static int gone = 0;
    return gone;
}

// The window the procedure last looked up, with its previous procedure. A
// list box read line by line or a button being repainted gets runs of
// messages, and every "PROCADDR" read is a round trip to the server under
// Wine (about 20 us, more than the rest of the message). The property stays
// the truth: every place that sets or removes it forgets the window here.
// Skinned windows belong to the thread that skinned them, so one per thread.
struct LastLookup {
    HWND hwnd = nullptr;
    WNDPROC prev = nullptr;
};
thread_local LastLookup tLastLookup;

void ForgetLookup(HWND hwnd) {
    if (tLastLookup.hwnd == hwnd) tLastLookup = {};
}

WNDPROC PrevProc(HWND hwnd) {
    if (hwnd && tLastLookup.hwnd == hwnd) return tLastLookup.prev;
    const auto prev = reinterpret_cast<WNDPROC>(::GetPropA(hwnd, PropProcAddr));
    if (prev) tLastLookup = {hwnd, prev};
    return prev;
}

void SetProcProp(HWND hwnd, WNDPROC prev) {
    ForgetLookup(hwnd);
    ::SetPropA(hwnd, PropProcAddr, reinterpret_cast<HANDLE>(prev));
}

void DropProcProp(HWND hwnd) {
    ForgetLookup(hwnd);
    ::RemovePropA(hwnd, PropProcAddr);
}

void Repaint(HWND hwnd) {
    // A window not on screen (a form's controls are skinned before the form
    // first shows) draws nothing now and is painted whole when it shows.
    if (!::IsWindowVisible(hwnd)) return;
    ::SendMessageW(hwnd, WM_NCPAINT, 1, 0);
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_INTERNALPAINT);
}

BOOL CALLBACK AttachChild(HWND child, LPARAM) {
    AttachSkin(child);
    return TRUE;
}

BOOL CALLBACK DetachChild(HWND child, LPARAM) {
    DetachSkin(child);
    return TRUE;
}

void AttachGroup(HWND hwnd, ClassGroup group) {
    switch (group) {
    case ClassGroup::PushButton:
        AttachButton(hwnd);
        break;
    case ClassGroup::Combo:
    case ClassGroup::DriveList:
    case ClassGroup::CheckBox:
    case ClassGroup::Option:
        SetPropInt(hwnd, PropMouseFlag, 0);
        SetPropInt(hwnd, PropOldState, 0);
        break;
    case ClassGroup::Header:
        SetPropInt(hwnd, PropMouseFlag, 0);
        SetPropInt(hwnd, PropHdIndex, -1);
        SetPropInt(hwnd, PropHmIndex, -1);
        break;
    default:
        break;
    }
}

constexpr const char* PropAdoptPending = "SKINADOPT";

void DetachGroup(HWND hwnd, ClassGroup group) {
    switch (group) {
    case ClassGroup::Form:
        DropProp(hwnd, PropAdoptPending);
        break;
    case ClassGroup::PushButton:
        DetachButton(hwnd);
        break;
    case ClassGroup::Combo:
    case ClassGroup::DriveList:
    case ClassGroup::CheckBox:
    case ClassGroup::Option:
        DropProp(hwnd, PropMouseFlag);
        DropProp(hwnd, PropOldState);
        break;
    case ClassGroup::Header:
        DropProp(hwnd, PropMouseFlag);
        DropProp(hwnd, PropHdIndex);
        DropProp(hwnd, PropHmIndex);
        break;
    default:
        break;
    }
}

void ReleaseEngine() {
    Engine& e = TheEngine();
    e.attached = 0;
    for (Surface& s : e.skins) s.reset();
    ReleaseDisplay();
    e.glyph = {0, 0};
    e.initialised = false;
}

// --- message reactions of the frame ------------------------------------------

LRESULT FormMessage(const SkinMessage& m);

// Messages that the class groups paint on; groups without a painter forward.
LRESULT RouteToGroup(const SkinMessage& m) {
    switch (m.group) {
    case ClassGroup::Form:
        return FormMessage(m);
    case ClassGroup::PushButton:
        return m.msg == WM_NCPAINT ? FlatBorderNcPaint(m) : ButtonMessage(m);
    case ClassGroup::Combo:
    case ClassGroup::DriveList:
        return ComboMessage(m);
    case ClassGroup::CheckBox:
    case ClassGroup::Option:
        return GlyphMessage(m);
    case ClassGroup::Header:
        return HeaderMessage(m);
    case ClassGroup::Progress:
        return ProgressMessage(m);
    case ClassGroup::DataList:
    case ClassGroup::DropDownList:
    case ClassGroup::Grid:
        return FramedListMessage(m);
    default:
        return BorderedMessage(m);
    }
}

LRESULT OnDestroy(const SkinMessage& m) {
    DetachSkin(m.hwnd);
    return ::CallWindowProcW(m.prev, m.hwnd, m.msg, m.wParam, m.lParam);
}

// Reached only when the detach at WM_DESTROY could not take the procedure
// back (another procedure was installed on top of ours): nothing of ours
// may outlive the window.
LRESULT OnNcDestroy(const SkinMessage& m) {
    DetachSkin(m.hwnd);
    DropProcProp(m.hwnd);
    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(m.hwnd, GWLP_WNDPROC)) == SkinWndProc) {
        ::SetWindowLongPtrW(m.hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m.prev));
    }
    return ::CallWindowProcW(m.prev, m.hwnd, m.msg, m.wParam, m.lParam);
}

LRESULT OnActivate(const SkinMessage& m) {
    const HWND other = reinterpret_cast<HWND>(m.lParam);
    if (other) {
        if (::GetParent(other) == m.hwnd) {
            AttachSkin(other);
        } else if (GroupOf(other) == ClassGroup::Form) {
            AttachSkin(other);
        }
    }
    return Forward(m);
}

// WM_ENTERIDLE (the idle dialog box or the window holding a menu) and
// WM_CTLCOLORLISTBOX (a list box asking for colours, such as a drop-down
// list): the window named by lParam is adopted.
LRESULT OnAdoptLParam(const SkinMessage& m) {
    const LRESULT r = Forward(m);
    if (m.lParam) AttachSkin(reinterpret_cast<HWND>(m.lParam));
    return r;
}

// A form that makes its controls after SkinWindow (as ours does at load)
// notes each new child and adopts them all at its next paint, when the
// children have their text, font and style and before they show.
LRESULT FormMessage(const SkinMessage& m) {
    switch (m.msg) {
    case WM_PARENTNOTIFY:
        if (LOWORD(m.wParam) == WM_CREATE) SetPropInt(m.hwnd, PropAdoptPending, 1);
        return Forward(m);
    case WM_PAINT:
        if (PropInt(m.hwnd, PropAdoptPending)) {
            DropProp(m.hwnd, PropAdoptPending);
            ::EnumChildWindows(m.hwnd, AttachChild, 0);
        }
        return Forward(m);
    default:
        return BorderedMessage(m);
    }
}

LRESULT OnLeftUp(const SkinMessage& m) {
    const LRESULT r = RouteToGroup(m);
    if (::IsWindow(m.hwnd)) {
        const HWND parent = ::GetParent(m.hwnd);
        ::EnumChildWindows(parent ? parent : m.hwnd, RefreshChecks, 0);
    }
    return r;
}

}  // namespace

// --- properties and small window routines -------------------------------------

std::intptr_t PropInt(HWND hwnd, const char* name) {
    return reinterpret_cast<std::intptr_t>(::GetPropA(hwnd, name));
}

void SetPropInt(HWND hwnd, const char* name, std::intptr_t value) {
    ::SetPropA(hwnd, name, reinterpret_cast<HANDLE>(value));
}

void DropProp(HWND hwnd, const char* name) { ::RemovePropA(hwnd, name); }

namespace {
BOOL CALLBACK FindProp(HWND, LPSTR name, HANDLE, ULONG_PTR wanted) {
    // Properties set by atom come with an atom in place of a name.
    if (IS_INTRESOURCE(name)) return TRUE;
    return lstrcmpiA(name, reinterpret_cast<const char*>(wanted)) != 0;
}
}  // namespace

bool HasProp(HWND hwnd, const char* name) {
    if (::GetPropA(hwnd, name)) return true;
    return ::EnumPropsExA(hwnd, FindProp, reinterpret_cast<LPARAM>(name)) == FALSE;
}

HDC SkinDc(SkinBitmap which) { return TheEngine().skins[static_cast<std::size_t>(which)].dc(); }

bool IsSkinned(HWND hwnd) { return PrevProc(hwnd) != nullptr; }

SIZE GlyphSize() {
    Engine& e = TheEngine();
    if (e.glyph.cx > 0 && e.glyph.cy > 0 && e.initialised) return e.glyph;
    const SIZE now{::GetSystemMetrics(SM_CXMENUCHECK), ::GetSystemMetrics(SM_CYMENUCHECK)};
    if (e.initialised) e.glyph = now;
    return now;
}

LRESULT Forward(const SkinMessage& m) { return ::CallWindowProcW(m.prev, m.hwnd, m.msg, m.wParam, m.lParam); }

std::string WindowClassOf(HWND hwnd) {
    char buf[256] = {};
    const int n = ::GetClassNameA(hwnd, buf, 255);
    return AsciiLowered(std::string_view(buf, n > 0 ? static_cast<std::size_t>(n) : 0));
}

std::wstring WindowTextOf(HWND hwnd) {
    const int n = ::GetWindowTextLengthW(hwnd);
    if (n <= 0) return {};
    std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
    const int got = ::GetWindowTextW(hwnd, text.data(), n + 1);
    text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return text;
}

Box WindowBox(HWND hwnd) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    return {r.left, r.top, r.right, r.bottom, r.right - r.left, r.bottom - r.top};
}

Borders BorderWidths(HWND hwnd) {
    RECT w{}, c{};
    ::GetWindowRect(hwnd, &w);
    ::GetClientRect(hwnd, &c);
    const LONG_PTR style = ::GetWindowLongPtrW(hwnd, GWL_STYLE);
    return BorderWidthsFrom(w.right - w.left, w.bottom - w.top, c.right - c.left, c.bottom - c.top,
                            (style & WS_VSCROLL) ? ::GetSystemMetrics(SM_CXVSCROLL) : 0,
                            (style & WS_HSCROLL) ? ::GetSystemMetrics(SM_CYHSCROLL) : 0);
}

bool ApiExists(const char* library, const char* function) {
    HMODULE module = ::GetModuleHandleA(library);
    bool loaded = false;
    if (!module) {
        module = ::LoadLibraryA(library);
        if (!module) return false;
        loaded = true;
    }
    const bool found = ::GetProcAddress(module, function) != nullptr;
    if (loaded) ::FreeLibrary(module);
    return found;
}

bool UnderCursor(HWND hwnd) {
    POINT pt{};
    ::GetCursorPos(&pt);
    return ::WindowFromPoint(pt) == hwnd;
}

void ArmLeave(HWND hwnd) {
    if (PropInt(hwnd, PropMouseFlag) != 0) return;
    SetPropInt(hwnd, PropMouseFlag, 1);
    TrackLeave(hwnd);
}

void TrackLeave(HWND hwnd) {
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_LEAVE;
    tme.hwndTrack = hwnd;
    tme.dwHoverTime = 0;
    if (TheEngine().userTrackMouseEvent) {
        ::TrackMouseEvent(&tme);
        return;
    }
    using Fn = BOOL(WINAPI*)(LPTRACKMOUSEEVENT);
    HMODULE comctl = ::GetModuleHandleA("comctl32");
    if (!comctl) comctl = ::LoadLibraryA("comctl32");  // kept: called on every hover
    if (comctl) {
        if (auto fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(comctl, "_TrackMouseEvent")))) fn(&tme);
    }
}

ClassGroup GroupOf(HWND hwnd) {
    const std::string cls = WindowClassOf(hwnd);
    const auto style = static_cast<std::uint32_t>(::GetWindowLongPtrW(hwnd, GWL_STYLE));
    // A skinned push button has been made owner-drawn; it is still one of
    // ours, as its state surfaces say. Only an owner-drawn button can be one,
    // so options and check boxes are told by their style alone.
    if (cls == "button" && (style & 0x0F) == BS_OWNERDRAW &&
        (::GetPropA(hwnd, PropStateDc[0]) || ::GetPropA(hwnd, PropOldStyle))) {
        return ClassGroup::PushButton;
    }
    return GroupOfClass(cls, style);
}

// --- attach and detach ---------------------------------------------------------

int SkinWindow(HWND hwnd) {
    Engine& e = TheEngine();
    if (!e.initialised) {
        e.initialised = true;
        e.userTrackMouseEvent = ApiExists("User32", "TrackMouseEvent");
        HoldDisplay();
        e.skins = BuildSkinBitmaps();
        ++e.builds;
    }
    return AttachSkin(hwnd);
}

int AttachSkin(HWND hwnd) {
    if (!hwnd || IsSkinned(hwnd)) return 0;
    // Only our own windows: another thread's or process's window cannot
    // carry our procedure (adoption sees such windows on activation).
    if (!::IsWindow(hwnd) || ::GetWindowThreadProcessId(hwnd, nullptr) != ::GetCurrentThreadId()) return 0;
    const ClassGroup group = GroupOf(hwnd);
    if (group == ClassGroup::Form) ::EnumChildWindows(hwnd, AttachChild, 0);
    AttachGroup(hwnd, group);

    Engine& e = TheEngine();
    ++e.attached;
    ::SetLastError(0);
    const LONG_PTR prev = ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SkinWndProc));
    if (prev == 0 && ::GetLastError() != 0) {
        // Refused by the system: leave the window as it was.
        DetachGroup(hwnd, group);
        if (--e.attached <= 0) ReleaseEngine();
        return 0;
    }
    SetProcProp(hwnd, reinterpret_cast<WNDPROC>(prev));
    Repaint(hwnd);
    return 1;
}

int DetachSkin(HWND hwnd) {
    if (!hwnd) return 0;
    const WNDPROC prev = PrevProc(hwnd);
    if (!prev) return 0;
    if (GoneWindows() > 0 && ::GetPropA(hwnd, "SKINGONE")) return 0;  // released already
    const ClassGroup group = GroupOf(hwnd);
    if (group == ClassGroup::Form) ::EnumChildWindows(hwnd, DetachChild, 0);
    DetachGroup(hwnd, group);

    if (reinterpret_cast<WNDPROC>(::GetWindowLongPtrW(hwnd, GWLP_WNDPROC)) == SkinWndProc) {
        DropProcProp(hwnd);
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(prev));
        Repaint(hwnd);
    } else {
        // Someone subclassed the window after us; pulling our procedure out
        // would cut them off. Ours stays, forwarding everything, and lets go
        // of "PROCADDR" at WM_NCDESTROY; the window counts as released now.
        if (!::GetPropA(hwnd, "SKINGONE")) ++GoneWindows();
        ::SetPropA(hwnd, "SKINGONE", reinterpret_cast<HANDLE>(1));
    }
    Engine& e = TheEngine();
    if (--e.attached <= 0) ReleaseEngine();
    return 1;
}

LRESULT CALLBACK SkinWndProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (!hwnd) return 0;
    const WNDPROC prev = PrevProc(hwnd);
    if (!prev) return ::DefWindowProcW(hwnd, msg, wParam, lParam);
    if (GoneWindows() > 0 && ::GetPropA(hwnd, "SKINGONE")) {
        if (msg == WM_NCDESTROY) {
            DropProp(hwnd, "SKINGONE");
            DropProcProp(hwnd);
            --GoneWindows();
        }
        return ::CallWindowProcW(prev, hwnd, msg, wParam, lParam);
    }
    // The class group costs property reads (a round trip each under Wine),
    // so it is looked up only for the messages the skin reacts to; the rest
    // pass straight through.
    const auto m = [&] { return SkinMessage{hwnd, msg, wParam, lParam, prev, GroupOf(hwnd)}; };
    if (msg == WM_SETTINGCHANGE || msg == WM_DISPLAYCHANGE || msg == WM_DPICHANGED) TheEngine().glyph = {0, 0};
    switch (msg) {
    case WM_DESTROY:
        return OnDestroy(m());
    case WM_NCDESTROY:
        return OnNcDestroy(m());
    case WM_ACTIVATE:
        return OnActivate(m());
    case WM_ENTERIDLE:
    case WM_CTLCOLORLISTBOX:
        return OnAdoptLParam(m());
    case WM_LBUTTONUP:
        return OnLeftUp(m());
    case WM_SIZE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_PAINT:
    case WM_PRINTCLIENT:
    case WM_WINDOWPOSCHANGING:
    case WM_NCPAINT:
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_TIMER:
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSELEAVE:
    case WM_GETDLGCODE:
    case BM_SETSTYLE:
    case WM_PARENTNOTIFY:
        return RouteToGroup(m());
    default:
        return ::CallWindowProcW(prev, hwnd, msg, wParam, lParam);
    }
}

SkinEngineInfo SkinEngineState() {
    const Engine& e = TheEngine();
    SkinEngineInfo info;
    info.initialised = e.initialised;
    info.attached = e.attached;
    info.builds = e.builds;
    for (int i = 0; i < SkinBitmapCount; ++i) info.skins[i] = e.skins[static_cast<std::size_t>(i)].dc();
    return info;
}

}  // namespace mojian::skin
