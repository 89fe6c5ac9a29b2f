#include <gtest/gtest.h>

#include <thread>

#include "skin/Skin.h"
#include "tests/skin/WinSupport.h"

namespace mojian::skin {
namespace {

using testing::HasPropA;
using testing::TestForm;

TEST(SkinFrame, SkinWindowSkinsAFormOnceAndItsChildrenByGroup) {
    const int buildsBefore = SkinEngineState().builds;
    TestForm form;
    HWND push = form.Button(L"添加模块", 10, 10);
    HWND radio = form.Button(L"样式1", 10, 40, 75, 20, BS_AUTORADIOBUTTON);
    HWND check = form.Button(L"勾选", 10, 70, 75, 20, BS_AUTOCHECKBOX);
    HWND group = form.Button(L"分组", 100, 10, 150, 100, BS_GROUPBOX);
    HWND owner = form.Button(L"自绘", 100, 120, 75, 23, BS_OWNERDRAW);
    HWND edit = form.Add(L"Edit", L"text", 0, 260, 10, 100, 22, WS_EX_CLIENTEDGE);
    const WNDPROC editProc = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC));

    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    EXPECT_EQ(SkinEngineState().builds, buildsBefore + 1);
    EXPECT_EQ(SkinEngineState().attached, 7);
    EXPECT_TRUE(SkinEngineState().initialised);
    for (HDC skin : SkinEngineState().skins) EXPECT_NE(skin, nullptr);

    // A second call changes nothing and sets nothing up again.
    EXPECT_EQ(SkinWindow(form.hwnd()), 0);
    EXPECT_EQ(AttachSkin(push), 0);
    EXPECT_EQ(AttachSkin(nullptr), 0);
    EXPECT_EQ(SkinEngineState().builds, buildsBefore + 1);
    EXPECT_EQ(SkinEngineState().attached, 7);

    for (const char* p : testing::kButtonProps) EXPECT_TRUE(HasPropA(push, p)) << p;
    EXPECT_EQ(GetWindowLongPtrW(push, GWL_STYLE) & 0x0F, BS_OWNERDRAW);

    // The auto radio button is an option button: its style stays untouched.
    EXPECT_EQ(GetWindowLongPtrW(radio, GWL_STYLE) & 0x0F, BS_AUTORADIOBUTTON);
    EXPECT_EQ(GroupOf(radio), ClassGroup::Option);
    EXPECT_EQ(GroupOf(check), ClassGroup::CheckBox);
    for (HWND w : {radio, check}) {
        EXPECT_TRUE(HasPropA(w, "PROCADDR"));
        EXPECT_TRUE(HasPropA(w, "MOUSEFLAG"));
        EXPECT_TRUE(HasPropA(w, "OLDSTATE"));
        EXPECT_FALSE(HasPropA(w, "OLDSTYLE"));
        EXPECT_FALSE(HasPropA(w, "0HDC"));
    }
    // Group boxes, owner-drawn buttons and other classes only get the procedure.
    for (HWND w : {group, owner, edit}) {
        EXPECT_TRUE(HasPropA(w, "PROCADDR"));
        EXPECT_FALSE(HasPropA(w, "MOUSEFLAG"));
        EXPECT_FALSE(HasPropA(w, "OLDSTYLE"));
        EXPECT_EQ(GetWindowLongPtrW(w, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SkinWndProc));
    }
    EXPECT_EQ(GetWindowLongPtrW(owner, GWL_STYLE) & 0x0F, BS_OWNERDRAW);
    EXPECT_EQ(GetWindowLongPtrW(group, GWL_STYLE) & 0x0F, BS_GROUPBOX);
    // The window keeps its behaviour: text still goes in and out whole.
    SetWindowTextW(edit, L"宝贝描述 €");
    wchar_t buf[32] = {};
    GetWindowTextW(edit, buf, 32);
    EXPECT_STREQ(buf, L"宝贝描述 €");
    EXPECT_EQ(WindowTextOf(edit), L"宝贝描述 €");
    SetWindowTextW(push, L"复制代码");
    EXPECT_EQ(WindowTextOf(push), L"复制代码");
    EXPECT_TRUE(IsWindowUnicode(push));

    // Detaching the edit by hand gives its procedure back.
    EXPECT_EQ(DetachSkin(edit), 1);
    EXPECT_EQ(DetachSkin(edit), 0);
    EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongPtrW(edit, GWLP_WNDPROC)), editProc);
    EXPECT_FALSE(HasPropA(edit, "PROCADDR"));
    EXPECT_EQ(SkinEngineState().attached, 6);
    EXPECT_EQ(DetachSkin(nullptr), 0);

    // Closing the last skinned form releases the shared surfaces.
    form.Destroy();
    EXPECT_EQ(SkinEngineState().attached, 0);
    EXPECT_FALSE(SkinEngineState().initialised);
    for (HDC skin : SkinEngineState().skins) EXPECT_EQ(skin, nullptr);

    // And a later SkinWindow builds them again.
    TestForm again;
    HWND b = again.Button(L"确定", 10, 10);
    EXPECT_EQ(SkinWindow(again.hwnd()), 1);
    EXPECT_EQ(SkinEngineState().builds, buildsBefore + 2);
    for (HDC skin : SkinEngineState().skins) EXPECT_NE(skin, nullptr);
    EXPECT_TRUE(HasPropA(b, "0HDC"));
}

TEST(SkinFrame, SmallWindowRoutines) {
    TestForm form;
    HWND edit = form.Add(L"Edit", L"宽字符 text", 0, 10, 10, 120, 24, WS_EX_CLIENTEDGE);
    HWND list = form.Add(L"ListBox", L"", WS_VSCROLL | WS_BORDER, 10, 40, 120, 80);
    EXPECT_EQ(WindowClassOf(edit), "edit");
    EXPECT_EQ(WindowClassOf(form.hwnd()), "mojian.testform");
    EXPECT_EQ(WindowClassOf(nullptr), "");
    EXPECT_EQ(WindowTextOf(edit), L"宽字符 text");
    EXPECT_EQ(WindowTextOf(list), L"");
    const Borders eb = BorderWidths(edit);
    EXPECT_EQ(eb.bx, 2);
    EXPECT_EQ(eb.by, 2);
    const Borders lb = BorderWidths(list);
    EXPECT_EQ(lb.bx, 1);  // the scroll bar is not a border
    EXPECT_EQ(lb.by, 1);
    const Box box = WindowBox(edit);
    EXPECT_EQ(box.width, 120);
    EXPECT_EQ(box.height, 24);
    EXPECT_EQ(box.right - box.left, box.width);

    EXPECT_TRUE(ApiExists("User32", "TrackMouseEvent"));
    EXPECT_TRUE(ApiExists("comctl32", "_TrackMouseEvent"));
    EXPECT_FALSE(ApiExists("User32", "NoSuchFunctionAnywhere"));
    EXPECT_FALSE(ApiExists("no_such_library_here", "TrackMouseEvent"));
}

TEST(SkinFrame, AdoptsWindowsThatAppearLater) {
    TestForm form;
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    const int base = SkinEngineState().attached;

    // A drop-down list asking for its colours.
    HWND list = form.Add(L"ListBox", L"", 0, 10, 10, 80, 60);
    SendMessageW(form.hwnd(), WM_CTLCOLORLISTBOX, 0, reinterpret_cast<LPARAM>(list));
    EXPECT_TRUE(HasPropA(list, "PROCADDR"));
    // A window idle in a dialog loop.
    HWND popup = CreateWindowExW(0, L"Static", L"idle", WS_POPUP, 0, 0, 50, 20, form.hwnd(), nullptr, nullptr, nullptr);
    SendMessageW(form.hwnd(), WM_ENTERIDLE, MSGF_DIALOGBOX, reinterpret_cast<LPARAM>(popup));
    EXPECT_TRUE(HasPropA(popup, "PROCADDR"));
    // Activation: an owned window, and another form, but not a stranger.
    HWND owned = form.Add(L"Static", L"owned", 0, 100, 0, 50, 20);
    TestForm other(200, 100, L"Mojian.OtherForm");
    HWND stranger = CreateWindowExW(0, L"Static", L"x", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    SendMessageW(form.hwnd(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(owned));
    SendMessageW(form.hwnd(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(other.hwnd()));
    SendMessageW(form.hwnd(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(stranger));
    EXPECT_TRUE(HasPropA(owned, "PROCADDR"));
    EXPECT_TRUE(HasPropA(other.hwnd(), "PROCADDR"));
    EXPECT_FALSE(HasPropA(stranger, "PROCADDR"));
    EXPECT_EQ(SkinEngineState().attached, base + 4);

    // Windows of another thread are never taken over.
    HWND foreign = nullptr;
    const KernelHandle ready(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    const KernelHandle quit(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    std::thread live([&] {
        foreign = CreateWindowExW(0, L"Mojian.OtherForm", L"f", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
        SetEvent(ready.get());
        WaitForSingleObject(quit.get(), 10000);
        DestroyWindow(foreign);
    });
    WaitForSingleObject(ready.get(), 10000);
    EXPECT_EQ(AttachSkin(foreign), 0);
    SendMessageW(form.hwnd(), WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(foreign));
    EXPECT_FALSE(HasPropA(foreign, "PROCADDR"));
    SetEvent(quit.get());
    live.join();

    DestroyWindow(stranger);
    DestroyWindow(owned);
    EXPECT_FALSE(HasPropA(owned, "PROCADDR"));
    DestroyWindow(popup);
    other.Destroy();
    EXPECT_EQ(SkinEngineState().attached, base + 1);  // the list box lives on the form
}

// Another procedure installed on top of ours: destroying the window must
// neither cut it off nor leave anything of ours behind.
WNDPROC g_under = nullptr;
bool g_procAddrLeft = true;
LRESULT CALLBACK OnTopProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    const LRESULT r = CallWindowProcW(g_under, hwnd, msg, wp, lp);
    if (msg == WM_NCDESTROY) g_procAddrLeft = GetPropA(hwnd, "PROCADDR") != nullptr;
    return r;
}

// A form that closes itself when one of its buttons is clicked.
LRESULT CALLBACK ClosingFormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_COMMAND && HIWORD(wp) == BN_CLICKED) {
        DestroyWindow(hwnd);
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(SkinFrame, WindowsThatGoAwayUnderneathTheSkin) {
    {
        TestForm form;
        HWND b = form.Button(L"确定", 10, 10);
        ASSERT_EQ(SkinWindow(form.hwnd()), 1);
        g_under = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(b, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(OnTopProc)));
        ASSERT_EQ(g_under, SkinWndProc);
        SendMessageW(b, WM_MOUSEMOVE, 0, MAKELPARAM(3, 3));  // still skinned underneath
        EXPECT_EQ(GetPropA(b, "OLDSTATE"), reinterpret_cast<HANDLE>(1));
        form.Destroy();
        EXPECT_FALSE(g_procAddrLeft);
        EXPECT_EQ(SkinEngineState().attached, 0);
    }
    {
        WNDCLASSW wc{};
        wc.lpfnWndProc = ClosingFormProc;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"Mojian.ClosingForm";
        RegisterClassW(&wc);
        HWND form = CreateWindowExW(0, L"Mojian.ClosingForm", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100,
                                    testing::TestHost(), nullptr, nullptr, nullptr);
        HWND b = CreateWindowExW(0, L"Button", L"关闭", WS_CHILD | WS_VISIBLE, 10, 10, 75, 23, form, nullptr, nullptr,
                                 nullptr);
        ASSERT_EQ(SkinWindow(form), 1);
        SendMessageW(b, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
        SendMessageW(b, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));  // the click closes the form
        EXPECT_FALSE(IsWindow(form));
        EXPECT_EQ(SkinEngineState().attached, 0);
        EXPECT_FALSE(SkinEngineState().initialised);
    }
}

// A message box opened from a skinned form: answered from a timer while it
// shows, after looking at it.
struct BoxSeen {
    HWND form = nullptr;
    HWND box = nullptr;
    bool skinned = false;
    int skinnedButtons = 0;
    int ownerDrawButtons = 0;
};
BoxSeen* g_seen = nullptr;

BOOL CALLBACK FindBox(HWND w, LPARAM) {
    if (GetWindow(w, GW_OWNER) == g_seen->form && WindowClassOf(w) == "#32770") {
        g_seen->box = w;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK LookAtButton(HWND w, LPARAM) {
    if (WindowClassOf(w) != "button") return TRUE;
    if (testing::HasPropA(w, "PROCADDR") && testing::HasPropA(w, "0HDC")) ++g_seen->skinnedButtons;
    if ((GetWindowLongPtrW(w, GWL_STYLE) & 0x0F) == BS_OWNERDRAW) ++g_seen->ownerDrawButtons;
    return TRUE;
}

void CALLBACK AnswerBox(HWND, UINT, UINT_PTR id, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), FindBox, 0);
    if (!g_seen->box) return;  // not up yet
    KillTimer(nullptr, id);
    testing::Pump(50);
    g_seen->skinned = testing::HasPropA(g_seen->box, "PROCADDR");
    EnumChildWindows(g_seen->box, LookAtButton, 0);
    PostMessageW(g_seen->box, WM_COMMAND, IDCANCEL, 0);
    PostMessageW(g_seen->box, WM_COMMAND, IDNO, 0);
}

TEST(SkinFrame, MessageBoxesFromASkinnedFormTakeTheSkin) {
    TestForm form;
    form.Button(L"确定", 10, 10);
    // Message boxes belong to the top-level window: skin that.
    ASSERT_EQ(SkinWindow(testing::TestHost()), 1);
    const int base = SkinEngineState().attached;
    EXPECT_TRUE(HasPropA(form.hwnd(), "PROCADDR"));
    BoxSeen seen;
    seen.form = testing::TestHost();
    g_seen = &seen;
    const UINT_PTR timer = SetTimer(nullptr, 0, 50, AnswerBox);
    const int answer = MessageBoxW(testing::TestHost(), L"确定要退出吗？", L"温馨提示", MB_YESNOCANCEL | MB_ICONQUESTION);
    KillTimer(nullptr, timer);
    g_seen = nullptr;
    EXPECT_NE(answer, 0);
    ASSERT_NE(seen.box, nullptr);
    EXPECT_TRUE(seen.skinned);
    EXPECT_EQ(seen.skinnedButtons, 3);
    EXPECT_EQ(seen.ownerDrawButtons, 3);
    // The box gave everything back when it closed.
    EXPECT_EQ(SkinEngineState().attached, base);
    EXPECT_TRUE(SkinEngineState().initialised);
    EXPECT_EQ(DetachSkin(testing::TestHost()), 1);
    EXPECT_EQ(SkinEngineState().attached, 0);
    EXPECT_FALSE(HasPropA(form.hwnd(), "PROCADDR"));
}

// Attaching and destroying a thousand windows (two hundred forms of five)
// leaves the process's GDI
// object count where it was.
TEST(SkinFrame, AThousandAttachDetachCyclesLeakNoGdiObjects) {
    auto cycle = [] {
        TestForm form(300, 120, L"Mojian.TestForm", false);
        form.Button(L"添加模块", 10, 10);
        form.Button(L"默认", 100, 10, 75, 23, BS_DEFPUSHBUTTON);
        HWND disabled = form.Button(L"禁用", 100, 40);
        EnableWindow(disabled, FALSE);
        SkinWindow(form.hwnd());
        SendMessageW(disabled, WM_ENABLE, TRUE, 0);
        SetFocus(disabled);
        SetWindowPos(disabled, nullptr, 0, 0, 90, 30, SWP_NOMOVE | SWP_NOZORDER);
    };
    cycle();  // first use sets up what stays for the run (stock objects, caches)
    testing::Pump(50);
    const int before = testing::LiveGdiObjects();
    for (int i = 0; i < 200; ++i) {
        cycle();
        if (i % 50 == 0) testing::Pump(0);
    }
    testing::Pump(50);
    const int after = testing::LiveGdiObjects();
    std::printf("GDI objects before %d, after 1000 windows %d\n", before, after);
    EXPECT_EQ(after, before);
    EXPECT_EQ(SkinEngineState().attached, 0);
}


TEST(SkinFrame, ControlsMadeAfterSkinningAreAdoptedAtTheFormsNextPaint) {
    TestForm form;
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    HWND radio = form.Button(L"样式1", 10, 10, 100, 20, BS_AUTORADIOBUTTON);
    HWND push = form.Button(L"确定", 10, 40);
    EXPECT_FALSE(HasPropA(radio, "PROCADDR"));  // not while it is being made
    RedrawWindow(form.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_TRUE(HasPropA(radio, "PROCADDR"));
    EXPECT_TRUE(HasPropA(radio, "OLDSTATE"));
    EXPECT_TRUE(HasPropA(push, "0HDC"));
    EXPECT_FALSE(HasPropA(form.hwnd(), "SKINADOPT"));
}

}  // namespace
}  // namespace mojian::skin
