#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "skin/ButtonMachine.h"
#include "skin/Skin.h"
#include "tests/skin/Png.h"
#include "tests/skin/WinSupport.h"

namespace mojian::skin {
namespace {

using testing::Canvas;
using testing::HasPropA;
using testing::TestForm;

using testing::Prop;
using testing::Shown;

// The pre-rendered image of one state, as the button holds it.
std::unique_ptr<Canvas> StateImage(HWND btn, int state) {
    const Box b = WindowBox(btn);
    auto c = std::make_unique<Canvas>(b.width, b.height);
    const char* names[] = {"0HDC", "1HDC", "2HDC", "3HDC"};
    testing::CopyFrom(reinterpret_cast<HDC>(GetPropA(btn, names[state])), *c);
    return c;
}

// The window shows the image of `state` wherever its region lets it show.
void ExpectShows(HWND btn, int state, const char* where) {
    const auto shown = Shown(btn);
    const auto image = StateImage(btn, state);
    const Region rgn(CreateRectRgn(0, 0, 0, 0));
    GetWindowRgn(btn, rgn.get());
    int diffs = 0;
    for (int y = 0; y < shown->height(); ++y)
        for (int x = 0; x < shown->width(); ++x)
            if (PtInRegion(rgn.get(), x, y) && shown->At(x, y) != image->At(x, y)) ++diffs;
    EXPECT_EQ(diffs, 0) << where << ": state " << state;
}

// Tile colours from the skin: row 0 column 3 is each tile's frame colour.
std::uint32_t TilePixel(int state, int x, int y) { return SkinArt(SkinBitmap::Button).At(x, 21 * state + y); }

class SkinnedButtons : public ::testing::Test {
protected:
    void SetUp() override {
        button = form.Button(L"添加模块", 20, 20);
        other = form.Button(L"&Copy", 120, 20, 75, 23, BS_DEFPUSHBUTTON);
        ASSERT_EQ(SkinWindow(form.hwnd()), 1);
        testing::Pump(50);
    }
    TestForm form;
    HWND button = nullptr;
    HWND other = nullptr;
};

TEST_F(SkinnedButtons, FourImagesOneForEachState) {
    ASSERT_NE(GetFocus(), button);
    for (int s = 0; s < 4; ++s) {
        const auto img = StateImage(button, s);
        ASSERT_EQ(img->width(), 75);
        EXPECT_EQ(img->At(3, 0), TilePixel(s, 3, 0)) << s;
        EXPECT_EQ(img->At(37, 0), TilePixel(s, 3, 0)) << s;      // the top edge stretched
        EXPECT_EQ(img->At(0, 11), TilePixel(s, 0, 10)) << s;     // the left side
        EXPECT_EQ(img->At(74, 22), TilePixel(s, 6, 20)) << s;    // the bottom-right corner
        EXPECT_EQ(img->At(37, 1), TilePixel(s, 3, 1)) << s;
    }
    // Black captions, grey-blue when disabled.
    const auto normal = StateImage(button, StateNormal);
    const auto disabled = StateImage(button, StateDisabled);
    // (Text is smoothed: count the pixels the ink covers in full or nearly.)
    EXPECT_GT(normal->CountNear(0x000000, 0x60), 8);
    EXPECT_GT(disabled->CountNear(0x798A96, 12), 5);
    EXPECT_EQ(disabled->CountNear(0x000000, 0x60), 0);
    // The caption sits inside the 2-pixel inset, centred.
    int minX = 75, maxX = -1;
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 75; ++x)
            if ((normal->At(x, y) & 0xFF) < 0x80 && (normal->At(x, y) >> 16) < 0x80) minX = std::min(minX, x), maxX = std::max(maxX, x);
    EXPECT_GE(minX, 2);
    EXPECT_LE(maxX, 72);
    EXPECT_LE(std::abs((minX + maxX) - 74), 4);

    // Slightly rounded corners: a 3 x 3 rounding on a W x H region.
    const Region rgn(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(button, rgn.get()), ERROR);
    RECT box{};
    GetRgnBox(rgn.get(), &box);
    EXPECT_EQ(box.right, 75);
    EXPECT_EQ(box.bottom, 23);
    EXPECT_FALSE(PtInRegion(rgn.get(), 0, 0));
    EXPECT_FALSE(PtInRegion(rgn.get(), 74, 22));
    EXPECT_TRUE(PtInRegion(rgn.get(), 2, 0));
    EXPECT_TRUE(PtInRegion(rgn.get(), 0, 2));
    EXPECT_TRUE(PtInRegion(rgn.get(), 37, 11));
}

TEST_F(SkinnedButtons, FocusRendersTheRectangleAtInsetTwoAndFadesIn) {
    const auto before = StateImage(button, StateNormal);
    SetFocus(button);
    ASSERT_EQ(GetFocus(), button);
    EXPECT_EQ(Prop(button, "TIMERID"), FadeTimerId);
    EXPECT_EQ(Prop(button, "ALPHALEVEL"), 0);
    // Only the dotted ring at inset 2 is new.
    const auto after = StateImage(button, StateNormal);
    int ring = 0;
    for (int y = 0; y < 23; ++y) {
        for (int x = 0; x < 75; ++x) {
            if (after->At(x, y) == before->At(x, y)) continue;
            const bool onRing = (x == 2 || x == 72 || y == 2 || y == 20) && x >= 2 && x <= 72 && y >= 2 && y <= 20;
            EXPECT_TRUE(onRing) << x << "," << y;
            ++ring;
        }
    }
    EXPECT_GT(ring, 30);
    // Focus leaves: rendered again without the rectangle.
    SetFocus(other);
    const auto again = StateImage(button, StateNormal);
    for (int y = 0; y < 23; ++y)
        for (int x = 0; x < 75; ++x) ASSERT_EQ(again->At(x, y), before->At(x, y)) << x << "," << y;
}

TEST_F(SkinnedButtons, PaintShowsTheStateInFull) {
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ExpectShows(button, StateNormal, "after a paint");
    EXPECT_EQ(Prop(button, "ALPHALEVEL"), 255);
    EXPECT_EQ(Prop(button, "TIMERID"), 0);
}

TEST_F(SkinnedButtons, HoverFadesInPressShowsAtOnceReleaseFadesOut) {
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    EXPECT_EQ(Prop(button, "MOUSEFLAG"), 1);
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateHot);
    EXPECT_EQ(Prop(button, "TIMERID"), FadeTimerId);
    // The real timer drives the fade...
    EXPECT_TRUE(testing::PumpUntil([&] { return Prop(button, "ALPHALEVEL") > 0; }));
    // ...and however the ticks come, it ends on the hot image and stops.
    int ticks = 0;
    while (Prop(button, "TIMERID") != 0 && ticks < 200) {
        SendMessageW(button, WM_TIMER, FadeTimerId, 0);
        ++ticks;
    }
    EXPECT_LE(ticks, 86);
    EXPECT_EQ(Prop(button, "TIMERID"), 0);
    ExpectShows(button, StateHot, "end of the fade");

    SendMessageW(button, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ExpectShows(button, StatePressed, "pressed");
    EXPECT_EQ(Prop(button, "OLDSTATE"), StatePressed);
    EXPECT_EQ(Prop(button, "TIMERID"), 0);

    // Dragged away while captured: the pressed image stays in full.
    SetCursorPos(1200, 1000);
    SendMessageW(button, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(400, 300));
    EXPECT_EQ(Prop(button, "ALPHALEVEL"), 255);
    ExpectShows(button, StatePressed, "captured outside");

    SendMessageW(button, WM_LBUTTONUP, 0, MAKELPARAM(400, 300));
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateNormal);
    EXPECT_EQ(Prop(button, "ALPHALEVEL"), 60);
    EXPECT_EQ(Prop(button, "TIMERID"), FadeTimerId);
    EXPECT_EQ(Prop(button, "MOUSEFLAG"), 0);
    EXPECT_EQ(GetCapture(), nullptr);
    for (int i = 0; i < 100 && Prop(button, "TIMERID") != 0; ++i) SendMessageW(button, WM_TIMER, FadeTimerId, 0);
    ExpectShows(button, StateNormal, "faded back");

    // Leaving: back to normal through a fade.
    SendMessageW(button, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    SendMessageW(button, WM_MOUSELEAVE, 0, 0);
    EXPECT_EQ(Prop(button, "MOUSEFLAG"), 0);
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateNormal);
    EXPECT_EQ(Prop(button, "TIMERID"), FadeTimerId);
}

TEST_F(SkinnedButtons, SpaceBarPressesAndReleases) {
    SetFocus(button);
    SendMessageW(button, WM_KEYDOWN, VK_SPACE, 0x00390001);
    EXPECT_EQ(Prop(button, "OLDSTATE"), StatePressed);
    ExpectShows(button, StatePressed, "space down");
    SendMessageW(button, WM_KEYUP, VK_SPACE, static_cast<LPARAM>(0xC0390001u));
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateNormal);
    EXPECT_EQ(Prop(button, "TIMERID"), FadeTimerId);
    // Other keys are only passed on.
    SendMessageW(button, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateNormal);
}

TEST_F(SkinnedButtons, DisablingShowsTheDisabledImage) {
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    EnableWindow(button, FALSE);
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateDisabled);
    ExpectShows(button, StateDisabled, "disabled");
    EnableWindow(button, TRUE);
    EXPECT_EQ(Prop(button, "OLDSTATE"), StateNormal);
    ExpectShows(button, StateNormal, "enabled again");

    // A button attached while disabled starts in the disabled state.
    HWND late = form.Button(L"禁用", 20, 60);
    EnableWindow(late, FALSE);
    ASSERT_EQ(AttachSkin(late), 1);
    EXPECT_EQ(Prop(late, "OLDSTATE"), StateDisabled);
    RedrawWindow(late, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ExpectShows(late, StateDisabled, "attached disabled");
    EXPECT_GT(Shown(late)->CountNear(0x798A96, 12), 3);
}

TEST_F(SkinnedButtons, ResizingRebuildsImagesAndRegion) {
    SetWindowPos(button, nullptr, 0, 0, 120, 40, SWP_NOMOVE | SWP_NOZORDER);
    BITMAP bm{};
    GetObjectW(reinterpret_cast<HBITMAP>(GetCurrentObject(reinterpret_cast<HDC>(GetPropA(button, "0HDC")), OBJ_BITMAP)),
               sizeof(bm), &bm);
    EXPECT_EQ(bm.bmWidth, 120);
    EXPECT_EQ(bm.bmHeight, 40);
    const auto img = StateImage(button, StateNormal);
    EXPECT_EQ(img->At(116, 0), TilePixel(0, 3, 0));
    EXPECT_EQ(img->At(119, 39), TilePixel(0, 6, 20));
    const Region rgn(CreateRectRgn(0, 0, 0, 0));
    ASSERT_NE(GetWindowRgn(button, rgn.get()), ERROR);
    RECT box{};
    GetRgnBox(rgn.get(), &box);
    EXPECT_EQ(box.right, 120);
    EXPECT_EQ(box.bottom, 40);
    EXPECT_FALSE(PtInRegion(rgn.get(), 119, 39));
    EXPECT_TRUE(PtInRegion(rgn.get(), 117, 39));
    RedrawWindow(button, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    ExpectShows(button, StateNormal, "resized");
}

TEST_F(SkinnedButtons, DetachGivesEverythingBack) {
    const LONG_PTR style = GetWindowLongPtrW(other, GWL_STYLE);
    SendMessageW(other, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));  // a fade runs
    ASSERT_EQ(Prop(other, "TIMERID"), FadeTimerId);
    const LONG_PTR originalStyle = Prop(other, "OLDSTYLE");
    EXPECT_EQ(originalStyle & 0x0F, BS_DEFPUSHBUTTON);
    EXPECT_NE(style, originalStyle);
    ASSERT_EQ(DetachSkin(other), 1);
    EXPECT_EQ(GetWindowLongPtrW(other, GWL_STYLE), originalStyle);
    const Region rgn(CreateRectRgn(0, 0, 0, 0));
    EXPECT_EQ(GetWindowRgn(other, rgn.get()), ERROR);
    EXPECT_FALSE(KillTimer(other, FadeTimerId));
    for (const char* p : testing::kButtonProps) EXPECT_FALSE(HasPropA(other, p)) << p;
    EXPECT_NE(GetWindowLongPtrW(other, GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(SkinWndProc));
}

// A command button of the old kind that draws itself: attached and tracked,
// never painted over.
LRESULT CALLBACK RedButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_PAINT) {
        const PaintDc paint(hwnd);
        const Brush red(CreateSolidBrush(RGB(255, 0, 0)));
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(paint.get(), &r, red.get());
        return 0;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(SkinnedCommandButtons, OwnerDrawnOnesKeepTheirOwnPainting) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = RedButtonProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"ThunderRT6CommandButton";
    RegisterClassW(&wc);
    TestForm form;
    HWND own = form.Add(L"ThunderRT6CommandButton", L"x", BS_OWNERDRAW, 10, 10, 60, 24);
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    EXPECT_EQ(GroupOf(own), ClassGroup::PushButton);
    EXPECT_EQ(Prop(own, "OLDSTYLE") & 0x0F, BS_OWNERDRAW);
    EXPECT_TRUE(HasPropA(own, "0HDC"));
    RedrawWindow(own, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    SendMessageW(own, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    for (int i = 0; i < 90; ++i) SendMessageW(own, WM_TIMER, FadeTimerId, 0);
    const auto shown = Shown(own);
    EXPECT_EQ(shown->At(30, 12), 0xFF0000u);
    EXPECT_EQ(shown->At(2, 12), 0xFF0000u);
}

// A form of buttons in every state, saved for the eye.
TEST(SkinnedButtonForm, LooksRightOnScreen) {
    TestForm form(420, 160);
    HWND add = form.Button(L"添加模块", 20, 20, 90, 26);
    HWND copy = form.Button(L"复制代码", 120, 20, 90, 26, BS_DEFPUSHBUTTON);
    HWND hot = form.Button(L"效果预览", 220, 20, 90, 26);
    HWND off = form.Button(L"导出模板", 320, 20, 80, 26);
    HWND pressed = form.Button(L"&Pressed", 20, 60, 90, 26);
    HWND focus = form.Button(L"A long caption cut short", 120, 60, 90, 26);
    form.Button(L"样式1", 220, 60, 80, 20, BS_AUTORADIOBUTTON);
    EnableWindow(off, FALSE);
    ASSERT_EQ(SkinWindow(form.hwnd()), 1);
    SetFocus(focus);
    RedrawWindow(form.hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_ERASE);
    SendMessageW(hot, WM_MOUSEMOVE, 0, MAKELPARAM(5, 5));
    for (int i = 0; i < 90; ++i) SendMessageW(hot, WM_TIMER, FadeTimerId, 0);
    SendMessageW(pressed, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    ReleaseCapture();
    for (HWND b : {add, copy, off}) ExpectShows(b, Prop(b, "OLDSTATE"), "form");
    ExpectShows(hot, StateHot, "hot");
    ExpectShows(pressed, StatePressed, "pressed");

    RECT r;
    GetClientRect(form.hwnd(), &r);
    Canvas shot(r.right, r.bottom);
    {
        const ClientDc dc(form.hwnd());
        BitBlt(shot.dc(), 0, 0, r.right, r.bottom, dc.get(), 0, 0, SRCCOPY);
    }
    constexpr int kScale = 2;
    testing::Png png(r.right * kScale, r.bottom * kScale);
    for (int y = 0; y < r.bottom; ++y)
        for (int x = 0; x < r.right; ++x) png.Block(x * kScale, y * kScale, kScale, shot.At(x, y));
    EXPECT_TRUE(png.Write(MOJIAN_SKIN_SCREEN));
}

}  // namespace
}  // namespace mojian::skin
